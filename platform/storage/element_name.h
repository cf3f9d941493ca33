// Names of compound file elements: what is a valid name, and the order the format keeps them in.
#pragma once

#include <string_view>

namespace ov::cfb {

constexpr size_t kMaxNameLength = 31;  // UTF-16 code units, without the terminating zero

// 1 to 31 code units, none of them zero, '/', '\\', ':' or '!'.
bool IsValidElementName(std::u16string_view name);

// The format's order of sibling names: a shorter name comes first; names of equal length
// compare code unit by code unit after conversion to upper case. Names that compare equal are
// the same element.
int CompareElementNames(std::u16string_view a, std::u16string_view b);

struct ElementNameLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        return CompareElementNames(a, b) < 0;
    }
};

}  // namespace ov::cfb
