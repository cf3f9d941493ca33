#include "common/config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/config/config_values.h"
#include "common/config/ovdb_codec.h"

namespace {

constexpr std::string_view kSeparator = " = ";

// "[name]". Built by appending: the obvious "[" + name + "]" trips a false -Wrestrict in g++ 12.
std::string SectionHeader(const char* section) {
    std::string header;
    header.reserve(std::char_traits<char>::length(section) + 2);
    header.push_back('[');
    header.append(section);
    header.push_back(']');
    return header;
}

bool IsSectionHeader(std::string_view line) {
    return line.size() >= 3 && line.front() == '[' && line.back() == ']';
}

bool ReadFile(const std::string& path, std::string* content) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes a temporary file beside the target and renames it over, so that a crash never
// leaves half a file.
bool ReplaceFile(const std::string& path, const std::string& content) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // Keep the permissions of the file being replaced.
    struct stat st {};
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool OVConfigFile::ParseText(std::string_view text) {
    lines_.clear();
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = line.substr(0, line.find('\0'));
        while (!line.empty() && line.back() == '\r')  // written on a platform with CR LF
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;
        lines_.emplace_back(line);
    }
    return true;
}

bool OVConfigFile::ParseScrambled(std::string_view data) {
    lines_.clear();
    return ov::config::DecodeScrambled(data, &lines_);
}

bool OVConfigFile::FormatText(std::string* text) const {
    std::string out;
    for (const std::string& line : lines_) {
        if (line.find_first_of(std::string_view("\n\0", 2)) != std::string::npos ||
            (!line.empty() && line.back() == '\r'))
            return false;
        out.append(line);
        out.push_back('\n');
    }
    *text = std::move(out);
    return true;
}

bool OVConfigFile::FormatScrambled(std::string* data) const {
    return ov::config::EncodeScrambled(lines_, data);
}

bool OVConfigFile::LoadText(const std::string& path) {
    lines_.clear();
    std::string content;
    return ReadFile(path, &content) && ParseText(content);
}

bool OVConfigFile::LoadScrambled(const std::string& path) {
    lines_.clear();
    std::string content;
    return ReadFile(path, &content) && ParseScrambled(content);
}

bool OVConfigFile::SaveText(const std::string& path) const {
    std::string content;
    return FormatText(&content) && ReplaceFile(path, content);
}

bool OVConfigFile::SaveScrambled(const std::string& path) const {
    std::string content;
    return FormatScrambled(&content) && ReplaceFile(path, content);
}

int OVConfigFile::FindSection(const char* section) const {
    if (section == nullptr)
        return -1;
    const std::string header = SectionHeader(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i] == header)
            return static_cast<int>(i);
    }
    return -1;
}

int OVConfigFile::FindOrAddSection(const char* section) {
    if (section == nullptr)
        return -1;
    const int found = FindSection(section);
    if (found >= 0)
        return found;
    lines_.push_back(SectionHeader(section));
    return static_cast<int>(lines_.size() - 1);
}

int OVConfigFile::FindKey(int start, const char* key, std::string* value) const {
    if (key == nullptr || start < 0)
        return -1;
    const std::string prefix = std::string(key) + std::string(kSeparator);
    for (size_t i = static_cast<size_t>(start); i < lines_.size(); ++i) {
        const std::string& line = lines_[i];
        if (IsSectionHeader(line))
            break;
        if (line.compare(0, prefix.size(), prefix) == 0) {
            if (value)
                *value = line.substr(prefix.size());
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool OVConfigFile::FindValue(const char* section, const char* key, std::string* value) const {
    const int header = FindSection(section);
    return header >= 0 && FindKey(header + 1, key, value) >= 0;
}

bool OVConfigFile::FindValue(const char* section, const char* key, bool addSection,
                             std::string* value) {
    const int header = addSection ? FindOrAddSection(section) : FindSection(section);
    return header >= 0 && FindKey(header + 1, key, value) >= 0;
}

bool OVConfigFile::GetString(const char* section, const char* key, std::string* value) const {
    std::string text;
    if (!FindValue(section, key, &text))
        return false;
    *value = ov::config::UnquoteString(text);
    return true;
}

bool OVConfigFile::GetInt(const char* section, const char* key, int* value) const {
    std::string text;
    if (!FindValue(section, key, &text))
        return false;
    *value = ov::config::ParseLeadingInt(text);
    return true;
}

bool OVConfigFile::GetBool(const char* section, const char* key, bool* value) const {
    std::string text;
    if (!FindValue(section, key, &text))
        return false;
    *value = ov::config::ParseBool(text);
    return true;
}

bool OVConfigFile::GetColor(const char* section, const char* key, COLORREF* value) const {
    std::string text;
    return FindValue(section, key, &text) && ov::config::ParseColor(text, value);
}

bool OVConfigFile::GetRect(const char* section, const char* key, RECT* value) {
    std::string text;
    return FindValue(section, key, true, &text) && ov::config::ParseRect(text, value);
}

bool OVConfigFile::GetPoint(const char* section, const char* key, POINT* value) {
    std::string text;
    return FindValue(section, key, true, &text) && ov::config::ParsePoint(text, value);
}

bool OVConfigFile::GetSize(const char* section, const char* key, SIZE* value) {
    std::string text;
    return FindValue(section, key, true, &text) && ov::config::ParseSize(text, value);
}

bool OVConfigFile::GetPosition(const char* section, const char* key, OVPosition* value) {
    std::string text;
    return FindValue(section, key, true, &text) && ov::config::ParsePosition(text, value);
}

bool OVConfigFile::GetFont(const char* section, const char* key, LOGFONT* value) {
    std::string text;
    return FindValue(section, key, true, &text) && ov::config::ParseFont(text, value);
}

bool OVConfigFile::SetLine(const char* section, const char* key, std::string_view value) {
    if (key == nullptr)
        return false;
    const int header = FindOrAddSection(section);
    if (header < 0)
        return false;
    std::string line = std::string(key) + std::string(kSeparator) + std::string(value);
    const int existing = FindKey(header + 1, key, nullptr);
    if (existing >= 0)
        lines_[static_cast<size_t>(existing)] = std::move(line);
    else
        lines_.insert(lines_.begin() + header + 1, std::move(line));
    return true;
}

bool OVConfigFile::SetString(const char* section, const char* key, std::string_view value) {
    return SetLine(section, key, value);
}

bool OVConfigFile::SetInt(const char* section, const char* key, int value) {
    return SetLine(section, key, std::to_string(value));
}

bool OVConfigFile::SetBool(const char* section, const char* key, bool value) {
    return SetLine(section, key, ov::config::FormatBool(value));
}

bool OVConfigFile::SetColor(const char* section, const char* key, COLORREF value) {
    return SetLine(section, key, ov::config::FormatColor(value));
}

bool OVConfigFile::SetRect(const char* section, const char* key, const RECT& value) {
    return SetLine(section, key, ov::config::FormatRect(value));
}

bool OVConfigFile::SetFont(const char* section, const char* key, const LOGFONT& value) {
    return SetLine(section, key, ov::config::FormatFont(value));
}
