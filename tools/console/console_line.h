// The kernel console's input language: one call per line, a member name and its arguments.
//   Login 0 "alice" "secret" 65535 0
//   SendToUser 10002 1 19760112 0 "你好"        (text for a byte-array argument: its CP936 bytes)
//   UpdateSelfUserInfo hex:0200000011270000...  (records and byte arrays as hex)
//   RequestUserInfo 0 null                      (a null BSTR)
// Numbers are decimal or 0x-hex; texts are double-quoted UTF-8 with \" \\ \n escapes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

namespace ov::console {

struct Token {
    enum class Kind { Number, Text, Hex, Null } kind = Kind::Number;
    int64_t number = 0;
    std::string text;   // Text: UTF-8
    std::string bytes;  // Hex: the bytes
};

struct Line {
    std::string name;  // empty for a blank or comment line
    std::vector<Token> args;
};

// Splits a line; false with a message for unbalanced quotes, bad escapes or bad numbers.
bool ParseLine(std::string_view text, Line* line, std::string* error);

// Converts a token into the VARIANT a parameter of the given kind takes ('L' number,
// 'S' BSTR, 'V' byte array); false with a message when the token does not fit.
bool ToArgument(char kind, const Token& token, Variant* out, std::string* error);

// Renders a value the way the console prints it: numbers in decimal, flags as -1/0,
// strings quoted (or null), byte arrays as hex:<lowercase hex>.
std::string FormatValue(const VARIANT& v);

std::string HexOf(std::string_view bytes);

}  // namespace ov::console
