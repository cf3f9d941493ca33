#include "shell/core/cp936_text.h"

#include "platform/text/cp936.h"

namespace ov::shell {

std::string ToCp936(const QString& text) {
    return ov::Utf16ToCp936(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<size_t>(text.size())));
}

QString FromCp936(std::string_view bytes) {
    const std::u16string text = ov::Cp936ToUtf16(bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace ov::shell
