// The cache file's vocabulary: element names, the ID key, the ID table's entry format and the
// ageing threshold.
//
//   root
//     UserNameTable/<user name>/ID            4 bytes, the ID (little-endian)
//     UserNameTable/<user name>/DATA          the record's bytes
//     UserNameTable/<user name>/bAllowDelete  optional, 4 bytes; 0 exempts from AutoDelete
//     UserIDTable/<ID key>                    the user name (EncodeIdEntry)
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/time.h"

namespace ov::cache {

// The component's string table.
constexpr unsigned IDS_PROJNAME = 100;
constexpr unsigned IDS_USERNAMETABLE = 101;
constexpr unsigned IDS_USERIDTABLE = 102;
constexpr unsigned IDS_ALLOWDELETE = 103;
// The string of that id; empty for an unknown id.
const char16_t* LoadComponentString(unsigned id);

constexpr char16_t kIdStream[] = u"ID";
constexpr char16_t kDataStream[] = u"DATA";

// The ID printed with "%10d" as a signed 32-bit number, leading blanks turned into '0':
// 12345 -> "0000012345", 4294967295 -> "00000000-1".
std::u16string IdKey(uint32_t id);

// An ID table entry: the byte count of the UTF-16 name with its terminating zero (0 for no
// name) as 4 bytes little-endian, then those bytes.
std::vector<uint8_t> EncodeIdEntry(std::u16string_view name);
// The name up to its first zero; false when the count does not fit the bytes.
bool DecodeIdEntry(std::span<const uint8_t> bytes, std::u16string* name);

// One calendar month before the given local time: the month goes back by one (January to
// December of the year before), day and time of day stay; a day that the earlier month lacks
// (31 March -> February) becomes that month's last day.
SYSTEMTIME OneMonthBefore(const SYSTEMTIME& now);

}  // namespace ov::cache
