#include "common/config/config_values.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace ov::config {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads an optionally signed decimal number at text[*pos] (after blanks); false when no digit
// follows. Clamps to the int range.
bool ReadNumber(std::string_view text, size_t* pos, int* value) {
    size_t i = *pos;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    long long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (n <= LLONG_MAX / 10 - 10)
            n = n * 10 + (text[i] - '0');
    }
    if (negative)
        n = -n;
    *value = n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : static_cast<int>(n);
    *pos = i;
    return true;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    size_t start = 0;
    for (size_t at; (at = text.find(from, start)) != std::string_view::npos;
         start = at + from.size()) {
        out.append(text.substr(start, at - start));
        out.append(to);
    }
    out.append(text.substr(start));
    return out;
}

}  // namespace

int ParseLeadingInt(std::string_view text) {
    size_t pos = 0;
    int value = 0;
    return ReadNumber(text, &pos, &value) ? value : 0;
}

int ScanNumbers(std::string_view text, std::string_view pattern, int* numbers, int capacity) {
    int count = 0;
    size_t t = 0;
    for (size_t p = 0; p < pattern.size(); ++p) {
        if (pattern[p] == '%' && p + 1 < pattern.size() && pattern[p + 1] == 'd') {
            ++p;
            if (count >= capacity || !ReadNumber(text, &t, &numbers[count]))
                return count;
            ++count;
        } else if (IsSpace(pattern[p])) {
            while (t < text.size() && IsSpace(text[t]))
                ++t;
        } else {
            if (t >= text.size() || text[t] != pattern[p])
                return count;
            ++t;
        }
    }
    return count;
}

std::string UnquoteString(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool ParseBool(std::string_view value) {
    return value.find("true") != std::string_view::npos;
}

std::string FormatBool(bool value) {
    return value ? "true" : "false";
}

std::string FormatColor(COLORREF color) {
    char text[48];
    std::snprintf(text, sizeof text, "RGB(%u,%u,%u)", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}

bool ParseColor(std::string_view value, COLORREF* color) {
    int n[3];
    if (ScanNumbers(value, "RGB(%d,%d,%d)", n, 3) != 3)
        return false;
    // As the platform's RGB macro: each part is taken as a byte.
    *color = static_cast<BYTE>(n[0]) | (static_cast<COLORREF>(static_cast<BYTE>(n[1])) << 8) |
             (static_cast<COLORREF>(static_cast<BYTE>(n[2])) << 16);
    return true;
}

std::string FormatRect(const RECT& rect) {
    char text[80];
    std::snprintf(text, sizeof text, "RECT(%d,%d,%d,%d)", rect.left, rect.top, rect.right,
                  rect.bottom);
    return text;
}

bool ParseRect(std::string_view value, RECT* rect) {
    int n[4];
    if (ScanNumbers(value, "RECT(%d,%d,%d,%d)", n, 4) != 4 &&
        ScanNumbers(value, "MARGIN(%d,%d,%d,%d)", n, 4) != 4)
        return false;
    *rect = RECT{n[0], n[1], n[2], n[3]};
    return true;
}

bool ParsePoint(std::string_view value, POINT* point) {
    int n[2];
    if (ScanNumbers(value, "POINT(%d,%d)", n, 2) != 2)
        return false;
    *point = POINT{n[0], n[1]};
    return true;
}

bool ParseSize(std::string_view value, SIZE* size) {
    int n[2];
    if (ScanNumbers(value, "SIZE(%d,%d)", n, 2) != 2)
        return false;
    *size = SIZE{n[0], n[1]};
    return true;
}

bool ParsePosition(std::string_view value, OVPosition* position) {
    std::string text = ReplaceAll(value, "pstNone", "0");
    text = ReplaceAll(text, "pstPosLT", "1");
    text = ReplaceAll(text, "pstPosRB", "2");
    text = ReplaceAll(text, "pstSize", "3");
    int n[8];
    if (ScanNumbers(text, "POSITION(%d,%d,%d,%d,%d,%d,%d,%d)", n, 8) != 8)
        return false;
    *position = OVPosition{{n[0], n[1]}, {n[2], n[3]}, {n[4], n[5]}, {n[6], n[7]}};
    return true;
}

std::string FormatFont(const LOGFONT& font) {
    const size_t faceLength = strnlen(font.lfFaceName, LF_FACESIZE - 1);
    return "FONT(\"" + std::string(font.lfFaceName, faceLength) + "\"," +
           std::to_string(font.lfHeight) + "," + FormatBool(font.lfWeight >= FW_BOLD) + "," +
           FormatBool(font.lfItalic != 0) + "," + FormatBool(font.lfUnderline != 0) + ")";
}

bool ParseFont(std::string_view value, LOGFONT* font) {
    constexpr std::string_view kHead = "FONT(\"";
    if (value.substr(0, kHead.size()) != kHead)
        return false;
    const std::string_view rest = value.substr(kHead.size());
    const size_t quote = rest.find('"');
    if (quote == std::string_view::npos || quote == 0 || quote > LF_FACESIZE - 1)
        return false;
    // The flags are words; the face name is left as written even if it contains one.
    std::string flags = ReplaceAll(rest.substr(quote + 1), "false", "0");
    flags = ReplaceAll(flags, "true", "1");
    int n[4];
    if (ScanNumbers(flags, ",%d,%d,%d,%d)", n, 4) != 4)
        return false;
    LOGFONT out{};
    std::memcpy(out.lfFaceName, rest.data(), quote);
    out.lfHeight = n[0];
    out.lfWeight = n[1] != 0 ? FW_BOLD : FW_NORMAL;
    out.lfItalic = n[2] != 0;
    out.lfUnderline = n[3] != 0;
    out.lfCharSet = DEFAULT_CHARSET;
    *font = out;
    return true;
}

}  // namespace ov::config
