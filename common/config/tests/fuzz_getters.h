// Shared by the configuration fuzz targets: runs every typed getter on every entry.
#pragma once

#include <string>

#include "common/config/config_file.h"

inline void RunEveryGetter(OVConfigFile& file) {
    // Section and key names come from the file itself; the structured getters may add
    // sections, so the lines are copied first.
    const std::vector<std::string> lines = file.Lines();
    std::string section;
    for (const std::string& line : lines) {
        if (line.size() >= 3 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t sep = line.find(" = ");
        if (sep == std::string::npos)
            continue;
        const std::string key = line.substr(0, sep);
        std::string s;
        int n;
        bool b;
        COLORREF c;
        RECT r;
        POINT p;
        SIZE z;
        OVPosition pos;
        LOGFONT f;
        file.GetString(section.c_str(), key.c_str(), &s);
        file.GetInt(section.c_str(), key.c_str(), &n);
        file.GetBool(section.c_str(), key.c_str(), &b);
        file.GetColor(section.c_str(), key.c_str(), &c);
        file.GetRect(section.c_str(), key.c_str(), &r);
        file.GetPoint(section.c_str(), key.c_str(), &p);
        file.GetSize(section.c_str(), key.c_str(), &z);
        file.GetPosition(section.c_str(), key.c_str(), &pos);
        if (file.GetFont(section.c_str(), key.c_str(), &f)) {
            // The face name is always terminated within its array.
            bool terminated = false;
            for (char ch : f.lfFaceName)
                terminated = terminated || ch == '\0';
            if (!terminated)
                __builtin_trap();
        }
    }
}
