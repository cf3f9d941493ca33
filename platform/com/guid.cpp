#include <cstdio>

#include "platform/com/types.h"

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on any non-hex character.
bool ReadHex(std::string_view text, size_t pos, int digits, uint64_t* out) {
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexValue(text[pos + i]);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    *out = v;
    return true;
}
}  // namespace

bool GuidFromString(std::string_view t, GUID* guid) {
    if (guid == nullptr || t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' ||
        t[14] != '-' || t[19] != '-' || t[24] != '-')
        return false;
    GUID g{};
    uint64_t v;
    if (!ReadHex(t, 1, 8, &v))
        return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!ReadHex(t, 10, 4, &v))
        return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(t, 15, 4, &v))
        return false;
    g.Data3 = static_cast<uint16_t>(v);
    const size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(t, bytePos[i], 2, &v))
            return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *guid = g;
    return true;
}
