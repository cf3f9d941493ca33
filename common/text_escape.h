// The escaping used for message bodies and the stored offline leave-word: backslash as "\\",
// NUL as "\0", line feed as "\n", carriage return as "\r". Works on bytes (CP936 text).
#pragma once

#include <string>
#include <string_view>

namespace ov {

std::string EscapeText(std::string_view text);
// Reverses EscapeText; a backslash before any other character yields that character, and a
// backslash at the very end is kept as it is.
std::string UnescapeText(std::string_view text);

}  // namespace ov
