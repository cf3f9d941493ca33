#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/text/cp936.h"

namespace {
// Layout: 4-byte byte count, the characters, a zero character. The BSTR points at the
// characters, so it can be read as a zero-terminated UTF-16 string.
struct Header {
    uint32_t bytes;
};

UINT Length16(const OLECHAR* text) {
    UINT n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (std::numeric_limits<uint32_t>::max() - 16) / sizeof(OLECHAR))
        return nullptr;
    size_t bytes = size_t{length} * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(sizeof(Header) + bytes + sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    reinterpret_cast<Header*>(block)->bytes = static_cast<uint32_t>(bytes);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(Header));
    if (text != nullptr)
        std::memcpy(chars, text, bytes);
    else
        std::memset(chars, 0, bytes);
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr)
        return nullptr;
    return SysAllocStringLen(text, Length16(text));
}

void SysFreeString(BSTR text) {
    if (text != nullptr)
        std::free(reinterpret_cast<char*>(text) - sizeof(Header));
}

UINT SysStringByteLen(BSTR text) {
    if (text == nullptr)
        return 0;
    return reinterpret_cast<const Header*>(reinterpret_cast<char*>(text) - sizeof(Header))->bytes;
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

Bstr::Bstr(std::u16string_view text)
    : p_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

Bstr Bstr::FromUtf8(std::string_view utf8) {
    return Bstr(std::u16string_view(ov::Utf8ToUtf16(utf8)));
}

Bstr Bstr::FromCp936(std::string_view bytes) {
    return Bstr(std::u16string_view(ov::Cp936ToUtf16(bytes)));
}

std::string Bstr::ToUtf8() const {
    return ov::Utf16ToUtf8(View());
}

std::string Bstr::ToCp936() const {
    return ov::Utf16ToCp936(View());
}
