// The text forms of configuration values: how each typed value is written after "key = ",
// and how it is read back. Reading fails (false, output untouched) when the text does not
// have the form; numbers beyond the int range are clamped.
#pragma once

#include <string>
#include <string_view>

#include "common/config/config_types.h"

namespace ov::config {

// The value's leading decimal number as the C library's atoi reads it (blanks, sign,
// digits; 0 when there are none), clamped to the int range.
int ParseLeadingInt(std::string_view text);

// Matches text against a pattern of literal characters and "%d" fields in the manner of
// sscanf: returns how many numbers were read before the first mismatch.
int ScanNumbers(std::string_view text, std::string_view pattern, int* numbers, int capacity);

// Strings: a value of two or more characters in double quotes reads without them.
std::string UnquoteString(std::string_view value);
// Booleans: "true" anywhere in the value.
bool ParseBool(std::string_view value);
std::string FormatBool(bool value);

std::string FormatColor(COLORREF color);  // RGB(r,g,b)
bool ParseColor(std::string_view value, COLORREF* color);
std::string FormatRect(const RECT& rect);  // RECT(l,t,r,b)
// RECT(l,t,r,b), or MARGIN(l,t,r,b) read into the same four fields.
bool ParseRect(std::string_view value, RECT* rect);
bool ParsePoint(std::string_view value, POINT* point);  // POINT(x,y)
bool ParseSize(std::string_view value, SIZE* size);     // SIZE(cx,cy)
// POSITION(value,kind, value,kind, value,kind, value,kind) for left, top, right, bottom; the
// kinds may be written as pstNone, pstPosLT, pstPosRB, pstSize.
bool ParsePosition(std::string_view value, OVPosition* position);
// FONT("face",height,bold,italic,underline) with the flags as true/false; bold is written
// for weights of 700 and more.
std::string FormatFont(const LOGFONT& font);
bool ParseFont(std::string_view value, LOGFONT* font);

}  // namespace ov::config
