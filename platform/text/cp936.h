// Conversion between the ANSI code page of this system (code page 936, GBK) and Unicode,
// through iconv. Texts on the wire and in files are CP936 bytes; the GUI and BSTRs are Unicode.
//
// Defined behaviour for what cannot be converted, never an empty string by surprise:
//  - a character CP936 cannot hold becomes '?';
//  - a byte sequence that is not valid CP936 decodes to U+FFFD, one per bad byte;
//  - invalid UTF-8 input decodes to U+FFFD per bad byte, a lone UTF-16 surrogate to U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace ov {

std::string Utf16ToCp936(std::u16string_view text);
std::u16string Cp936ToUtf16(std::string_view bytes);
std::string Utf8ToCp936(std::string_view text);
std::string Cp936ToUtf8(std::string_view bytes);

// Plain Unicode transforms (no iconv needed).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace ov
