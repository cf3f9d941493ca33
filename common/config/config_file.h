// OVConfigFile: a key file held as an ordered list of lines (code page 936 text), read and
// changed one entry at a time, and loaded or saved as a whole, in plain text or scrambled
// ("OVDB", see ovdb_codec.h). Used for skins, orvane.dat, setting.dat and config.dat.
//
//   [Window]                    a section header: at least 3 characters, "[" ... "]"
//   rectMain = RECT(0,0,640,480)
//   sTitle = "Orvane"           key, exactly " = ", value
//
//   OVConfigFile file;
//   file.LoadText(path);
//   RECT rect{0, 0, 100, 100};      // the default stays when the entry is missing or malformed
//   file.GetRect("Window", "rectMain", &rect);
//   file.SetInt("Window", "nShow", 1);  // a new key goes directly below its section's header
//   file.SaveText(path);
//
// Section names and keys compare exactly (case matters). GetRect, GetPoint, GetSize,
// GetPosition and GetFont add an empty section at the end when theirs is missing; the other
// getters change nothing. Saving writes a temporary file and renames it over the old one; a
// save that cannot store every line faithfully writes nothing and fails.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/config/config_types.h"

class OVConfigFile {
public:
    // Each replaces the whole list; the list is emptied first, so a file that cannot be
    // opened leaves it empty (and the call returns false).
    bool LoadText(const std::string& path);
    bool LoadScrambled(const std::string& path);
    bool SaveText(const std::string& path) const;
    bool SaveScrambled(const std::string& path) const;

    // The same on bytes in memory.
    // Plain text: lines end at LF (CRs before it are dropped) and at a zero byte; empty lines
    // and lines that start with ';' are dropped. Lines are kept whole, however long.
    bool ParseText(std::string_view text);
    bool ParseScrambled(std::string_view data);
    // False when a line holds a line break or a zero byte (or, scrambled, is longer than 1022
    // characters): it could not be read back as written.
    bool FormatText(std::string* text) const;
    bool FormatScrambled(std::string* data) const;

    // The index of the section's header line, or -1 (also for a null name).
    int FindSection(const char* section) const;
    // As FindSection, appending the header when it is missing; -1 only for a null name.
    int FindOrAddSection(const char* section);
    // From line start up to the next section header, the first entry for key: its line index
    // and value, or -1.
    int FindKey(int start, const char* key, std::string* value) const;

    // True and *value when the entry exists and parses; otherwise false, *value untouched.
    bool GetString(const char* section, const char* key, std::string* value) const;
    bool GetInt(const char* section, const char* key, int* value) const;
    bool GetBool(const char* section, const char* key, bool* value) const;
    bool GetColor(const char* section, const char* key, COLORREF* value) const;
    bool GetRect(const char* section, const char* key, RECT* value);
    bool GetPoint(const char* section, const char* key, POINT* value);
    bool GetSize(const char* section, const char* key, SIZE* value);
    bool GetPosition(const char* section, const char* key, OVPosition* value);
    bool GetFont(const char* section, const char* key, LOGFONT* value);

    // Replace the entry's line, or insert it directly after the section's header (adding the
    // section at the end when missing). False only for a null section or key.
    bool SetString(const char* section, const char* key, std::string_view value);
    bool SetInt(const char* section, const char* key, int value);
    bool SetBool(const char* section, const char* key, bool value);
    bool SetColor(const char* section, const char* key, COLORREF value);
    bool SetRect(const char* section, const char* key, const RECT& value);
    bool SetFont(const char* section, const char* key, const LOGFONT& value);

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    // The entry's value, looking the section up with or without adding it.
    bool FindValue(const char* section, const char* key, bool addSection, std::string* value);
    bool FindValue(const char* section, const char* key, std::string* value) const;
    bool SetLine(const char* section, const char* key, std::string_view value);

    std::vector<std::string> lines_;
};
