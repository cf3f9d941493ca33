// Builds a key file line by line in a fixed order (OVConfigFile's setters put new keys at the
// top of their section), for the settings files whose every line is rebuilt on saving.
#pragma once

#include <QRect>
#include <QString>
#include <string>
#include <vector>

#include "common/config/config_types.h"

namespace ov::shell {

struct FontSetting;

class KeyFileLines {
public:
    // The longest line the scrambled form can store; plain files keep the same limit.
    static constexpr size_t kMaxLine = 1022;

    void Section(const char* name);
    void Int(const char* key, int value);
    void Bool(const char* key, bool value);
    // Code page 936; line breaks and zero characters, which a line cannot hold, are dropped.
    // A value too long for a line (kMaxLine) is cut after its last whole character.
    void String(const char* key, const QString& value);
    // Code page 936 escaped (common/text_escape.h), so that any text fits on one line; cut
    // after the last whole character (with its escapes) that fits.
    void EscapedString(const char* key, const QString& value);
    // The value as given (already code page 936 and free of line breaks).
    void Raw(const char* key, std::string value);
    void Color(const char* key, COLORREF value);
    void Rect(const char* key, const QRect& value);
    void Font(const char* key, const FontSetting& value);

    const std::vector<std::string>& Lines() const { return lines_; }
    // Written whole as a private file, plain or scrambled.
    bool Save(const QString& path, bool scrambled) const;

private:
    std::vector<std::string> lines_;
};

// QRect <-> RECT(left, top, right, bottom) with exclusive right and bottom edges. FromRect
// keeps any RECT from a file inside what QRect can hold (half the int range).
RECT ToRect(const QRect& rect);
QRect FromRect(const RECT& rect);

}  // namespace ov::shell
