#include "transfer/transfer_names.h"

#include <cstddef>
#include <cstdint>

#include "platform/text/cp936.h"
#include "transfer/file_trans_records.h"

namespace ov::transfer {
namespace {

// Control characters are refused rather than stripped: no sender can produce them from a real
// file name, so their presence means a corrupt or hostile record, and stripping would turn
// "..\x01" into ".." or hide what the peer actually sent from the line the user reads.
bool HasControlCharacter(std::u16string_view text) {
    for (char16_t c : text) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F))
            return true;
    }
    return false;
}

// Length of the CP936 character starting at `at`: a lead byte 0x81..0xFE takes the next byte
// with it; anything else stands alone.
std::size_t CharLength(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<uint8_t>(bytes[at]);
    if (lead >= 0x81 && lead <= 0xFE && at + 1 < bytes.size())
        return 2;
    return 1;
}

// The longest prefix of `bytes` no longer than `limit` that ends between characters.
std::string_view CutAtCharacter(std::string_view bytes, std::size_t limit) {
    std::size_t end = 0;
    while (end < bytes.size()) {
        const std::size_t next = end + CharLength(bytes, end);
        if (next > limit)
            break;
        end = next;
    }
    return bytes.substr(0, end);
}

}  // namespace

SaveName SafeSaveName(std::string_view network_name_cp936) {
    // Split after decoding: in CP936 a '\' byte (0x5C) may be the second half of a character.
    const std::u16string text = Cp936ToUtf16(network_name_cp936);
    SaveName result;
    if (HasControlCharacter(text)) {
        result.refusal = NameRefusal::kControlCharacter;
        return result;
    }
    const std::size_t sep = text.find_last_of(u"/\\");
    const std::u16string_view last = sep == std::u16string::npos
                                         ? std::u16string_view(text)
                                         : std::u16string_view(text).substr(sep + 1);
    if (last.empty()) {
        result.refusal = NameRefusal::kEmpty;
        return result;
    }
    if (last == u"." || last == u"..") {
        result.refusal = NameRefusal::kDotName;
        return result;
    }
    result.name = Utf16ToUtf8(last);
    return result;
}

std::string WireName(std::string_view local_name_utf8) {
    const std::string bytes = Utf8ToCp936(local_name_utf8);
    if (bytes.size() <= kMaxWireNameBytes)
        return bytes;
    // '.' (0x2E) is never the second byte of a CP936 character, so this finds a real dot.
    const std::size_t dot = bytes.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        const std::string_view extension = std::string_view(bytes).substr(dot);
        if (extension.size() < kMaxWireNameBytes) {
            const std::string_view stem = CutAtCharacter(std::string_view(bytes).substr(0, dot),
                                                         kMaxWireNameBytes - extension.size());
            if (!stem.empty())
                return std::string(stem) + std::string(extension);
        }
    }
    return std::string(CutAtCharacter(bytes, kMaxWireNameBytes));
}

}  // namespace ov::transfer
