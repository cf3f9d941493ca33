// QString to the components' BSTR (both UTF-16): for every text argument of a component call.
#pragma once

#include <QString>
#include <string_view>

#include "platform/com/bstr.h"

namespace ov::shell {

inline Bstr ToBstr(const QString& text) {
    return Bstr(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<size_t>(text.size())));
}

}  // namespace ov::shell
