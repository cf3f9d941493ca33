#include "shell/core/protocol_records.h"

#include "shell/core/cp936_text.h"

namespace ov::shell {

QString RecordText(const char* field, size_t size) {
    return FromCp936(std::string_view(field, strnlen(field, size)));
}

void SetRecordText(char* field, size_t size, const QString& text) {
    std::memset(field, 0, size);
    if (size == 0)
        return;
    // Cut after the last whole character: a lead byte 0x81-0xFE starts a pair.
    const std::string bytes = ToCp936(text);
    size_t end = 0;
    while (end < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[end]);
        const size_t width = (lead >= 0x81 && lead <= 0xFE) ? 2 : 1;
        if (end + width > size - 1 || end + width > bytes.size())
            break;
        end += width;
    }
    std::memcpy(field, bytes.data(), end);
}

}  // namespace ov::shell
