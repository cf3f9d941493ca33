// "OVDB", the scrambled form of configuration files: the four characters "OVDB", then one
// record per line: a 16-bit little-endian word holding the line's length XOR 0x004C, then two
// bytes per character. Each byte's high nibble carries half of the character XOR the low
// nibble of the next key character (the key restarts with every line); each low nibble is
// random noise chosen never to form a zero, CR or LF nibble.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ov::config {

// The longest line the scrambled form stores.
constexpr size_t kMaxScrambledLine = 1022;
// A record announcing more characters than this ends reading with failure.
constexpr size_t kMaxScrambledRecord = 2048;

// The whole file; false (and out untouched) when a line is longer than kMaxScrambledLine or
// holds a zero byte, which the form cannot carry faithfully.
bool EncodeScrambled(const std::vector<std::string>& lines, std::string* out);

// Appends the file's lines to lines, skipping lines that decode to nothing. A record length
// above kMaxScrambledRecord (or a negative one) ends the decoding with false; a record cut short
// by the end of the data ends it with true. Lines end at a decoded zero byte.
bool DecodeScrambled(std::string_view data, std::vector<std::string>* lines);

}  // namespace ov::config
