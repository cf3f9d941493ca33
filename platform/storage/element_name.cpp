#include "platform/storage/element_name.h"

namespace ov::cfb {

namespace {

// Simple upper-case mapping of the scripts with case that names are likely to use. Both
// directions of the comparison use the same table, so the order is consistent whatever it
// leaves out.
char16_t ToUpper(char16_t c) {
    if (c < 0x80)
        return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)  // Latin-1 letters
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A pairs: even upper, odd lower, with the run 0x139..0x148 and
        // 0x179..0x17E shifted by one.
        const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool lower = shifted ? (c % 2 == 0) : (c % 2 == 1);
        return lower ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)  // Greek
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F)  // Cyrillic
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A)  // full-width Latin
        return static_cast<char16_t>(c - 0x20);
    return c;
}

}  // namespace

bool IsValidElementName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (char16_t c : name) {
        if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!')
            return false;
    }
    return true;
}

int CompareElementNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t x = ToUpper(a[i]);
        const char16_t y = ToUpper(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace ov::cfb
