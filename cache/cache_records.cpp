#include "cache/cache_records.h"

#include <cstdio>

namespace ov::cache {

const char16_t* LoadComponentString(unsigned id) {
    switch (id) {
        case IDS_PROJNAME:
            return u"IOVCache";
        case IDS_USERNAMETABLE:
            return u"UserNameTable";
        case IDS_USERIDTABLE:
            return u"UserIDTable";
        case IDS_ALLOWDELETE:
            return u"bAllowDelete";
        default:
            return u"";
    }
}

std::u16string IdKey(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d", static_cast<int32_t>(id));
    std::u16string key;
    for (int i = 0; text[i] != '\0'; ++i)
        key.push_back(i < 10 && text[i] == ' ' ? u'0' : static_cast<char16_t>(text[i]));
    return key;
}

std::vector<uint8_t> EncodeIdEntry(std::u16string_view name) {
    const uint32_t count = name.empty() ? 0 : static_cast<uint32_t>((name.size() + 1) * 2);
    std::vector<uint8_t> bytes(4 + count, 0);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(count >> (8 * i));
    for (size_t i = 0; i < name.size(); ++i) {
        bytes[4 + 2 * i] = static_cast<uint8_t>(name[i]);
        bytes[5 + 2 * i] = static_cast<uint8_t>(name[i] >> 8);
    }
    return bytes;
}

bool DecodeIdEntry(std::span<const uint8_t> bytes, std::u16string* name) {
    name->clear();
    if (bytes.size() < 4)
        return false;
    const uint32_t count =
        bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    if (count > bytes.size() - 4)
        return false;
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[4 + i] | (bytes[5 + i] << 8));
        if (c == 0)
            break;
        name->push_back(c);
    }
    return true;
}

SYSTEMTIME OneMonthBefore(const SYSTEMTIME& now) {
    static constexpr WORD kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    SYSTEMTIME t = now;
    if (t.wMonth > 12)
        return t;  // not a date; the caller's conversion refuses it
    if (t.wMonth <= 1) {
        t.wMonth = 12;
        --t.wYear;
    } else {
        --t.wMonth;
    }
    const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
    const WORD last = t.wMonth == 2 && leap ? 29 : kDays[t.wMonth - 1];
    if (t.wDay > last)
        t.wDay = last;
    return t;
}

}  // namespace ov::cache
