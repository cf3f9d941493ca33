// The store file reads like a .reg export, so that a user can inspect or fix it by hand:
//
//   [HKEY_CURRENT_USER\Software\Tallowby\Orvane\Setting]
//   "AllowMutilInstance"=dword:00000000
//   "LastPath"="C:\\Orvane \"beta\"\nsecond line"
//   @="the key's default value"
//
// Every key is written as its own section, so that empty keys survive a round trip.
#include "platform/win32/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>

namespace {

struct RootName {
    RegRoot root;
    const char* name;
    const char* short_name;
};
constexpr std::array<RootName, 3> kRoots = {{
    {RegRoot::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegRoot::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegRoot::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
}};

// The non-empty parts of a '\'-separated key path.
std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const size_t cut = path.find('\\');
        std::string_view part = path.substr(0, cut);
        if (!part.empty()) {
            parts.push_back(part);
        }
        if (cut == std::string_view::npos) {
            break;
        }
        path.remove_prefix(cut + 1);
    }
    return parts;
}

// Key names end up in section lines, which cannot hold line breaks or other controls.
bool IsValidKeyPath(std::string_view path) {
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

// ---- Text format ----

void AppendQuoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at the start of *in and consumes it; false if it is malformed.
bool ReadQuoted(std::string_view* in, std::string* out) {
    std::string_view s = *in;
    if (s.empty() || s[0] != '"') {
        return false;
    }
    out->clear();
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            in->remove_prefix(i + 1);
            return true;
        }
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (++i == s.size()) {
            return false;
        }
        switch (s[i]) {
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case 'x': {
                const int hi = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
                const int lo = i + 2 < s.size() ? HexDigit(s[i + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    return false;
                }
                *out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                *out += s[i];
                break;  // \" and \\ and anything unexpected: the char itself
        }
    }
    return false;
}

bool ReadDword(std::string_view s, DWORD* value) {
    if (s.empty() || s.size() > 8) {
        return false;
    }
    DWORD v = 0;
    for (char c : s) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        v = v * 16 + static_cast<DWORD>(digit);
    }
    *value = v;
    return true;
}

// Parses `"Name"=...` or `@=...`; false for anything else.
bool ParseValueLine(std::string_view line, std::string* name, RegValue* value) {
    if (!line.empty() && line[0] == '@') {
        name->clear();
        line.remove_prefix(1);
    } else if (!ReadQuoted(&line, name)) {
        return false;
    }
    if (line.empty() || line[0] != '=') {
        return false;
    }
    line.remove_prefix(1);
    constexpr std::string_view kDword = "dword:";
    if (line.substr(0, kDword.size()) == kDword) {
        DWORD v;
        if (!ReadDword(line.substr(kDword.size()), &v)) {
            return false;
        }
        *value = v;
        return true;
    }
    std::string text;
    if (!ReadQuoted(&line, &text) || !line.empty()) {
        return false;
    }
    *value = std::move(text);
    return true;
}

void SerializeKey(const RegistryTree::Key& key, const std::string& path, std::string& out) {
    out += '[';
    out += path;
    out += "]\n";
    for (const auto& [lower, entry] : key.values) {
        const auto& [name, value] = entry;
        if (name.empty()) {
            out += '@';
        } else {
            AppendQuoted(out, name);
        }
        out += '=';
        if (const DWORD* d = std::get_if<DWORD>(&value)) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "dword:%08x", *d);
            out += hex;
        } else {
            AppendQuoted(out, std::get<std::string>(value));
        }
        out += '\n';
    }
    out += '\n';
    for (const auto& [lower, sub] : key.subkeys) {
        SerializeKey(*sub, path + '\\' + sub->name, out);
    }
}

// ---- File access ----

// Serialises store access between threads of this process. flock alone would do on a local
// file system, but where it is emulated with process-wide POSIX locks (NFS) threads would not
// exclude each other.
std::mutex g_store_mutex;

// An flock on "<file>.lock". A separate file, because rename replaces the store's inode and
// a lock on the old inode would not exclude a process that opened the new one.
class FileLock {
public:
    FileLock(const std::filesystem::path& store, bool exclusive) {
        const std::string lock_path = store.string() + ".lock";
        fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            fd_ = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd_ < 0) {
            return;
        }
        int rc;
        do {
            rc = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            ::close(fd_);  // releases the lock
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The file's text; empty when it does not exist or cannot be read.
std::string ReadAll(const std::filesystem::path& file) {
    std::string text;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fd);
    return text;
}

bool WriteAllAndSync(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return ::fsync(fd) == 0;
}

// Writes a temporary file next to the store and renames it over, so that readers see either
// the old or the new file, never half of one.
bool ReplaceFile(const std::filesystem::path& file, std::string_view text) {
    std::string temp = file.string() + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAllAndSync(fd, text);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here leaves a complete file either way.
    const int dir = ::open(file.parent_path().empty() ? "." : file.parent_path().c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::filesystem::path HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

}  // namespace

// ---- RegistryTree ----

RegistryTree::RegistryTree() {
    for (const RootName& r : kRoots) {
        roots_[static_cast<int>(r.root)].name = r.name;
    }
}

RegistryTree::Key* RegistryTree::Find(RegRoot root, std::string_view path) {
    Key* key = &roots_[static_cast<int>(root)];
    for (std::string_view part : SplitPath(path)) {
        auto it = key->subkeys.find(RegistryFoldCase(part));
        if (it == key->subkeys.end()) {
            return nullptr;
        }
        key = it->second.get();
    }
    return key;
}

const RegistryTree::Key* RegistryTree::Find(RegRoot root, std::string_view path) const {
    return const_cast<RegistryTree*>(this)->Find(root, path);
}

RegistryTree::Key& RegistryTree::Create(RegRoot root, std::string_view path) {
    Key* key = &roots_[static_cast<int>(root)];
    for (std::string_view part : SplitPath(path)) {
        auto& slot = key->subkeys[RegistryFoldCase(part)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = std::string(part);
        }
        key = slot.get();
    }
    return *key;
}

bool RegistryTree::Remove(RegRoot root, std::string_view path) {
    std::vector<std::string_view> parts = SplitPath(path);
    if (parts.empty()) {
        return false;  // a root cannot be removed
    }
    Key* key = &roots_[static_cast<int>(root)];
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = key->subkeys.find(RegistryFoldCase(parts[i]));
        if (it == key->subkeys.end()) {
            return false;
        }
        key = it->second.get();
    }
    return key->subkeys.erase(RegistryFoldCase(parts.back())) > 0;
}

std::string RegistryTree::Serialize() const {
    std::string out = "; Orvane registry\n\n";
    for (const Key& root : roots_) {
        if (!root.values.empty()) {
            SerializeKey(root, root.name, out);
        } else {
            for (const auto& [lower, sub] : root.subkeys) {
                SerializeKey(*sub, root.name + '\\' + sub->name, out);
            }
        }
    }
    return out;
}

RegistryTree RegistryTree::Parse(std::string_view text) {
    RegistryTree tree;
    Key* current = nullptr;  // null until a valid section line; values before it are dropped
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            current = nullptr;
            if (line.back() != ']') {
                continue;
            }
            std::string_view path = line.substr(1, line.size() - 2);
            const std::string root_name = RegistryFoldCase(path.substr(0, path.find('\\')));
            for (const RootName& r : kRoots) {
                if (root_name == RegistryFoldCase(r.name) ||
                    root_name == RegistryFoldCase(r.short_name)) {
                    const size_t cut = path.find('\\');
                    path = cut == std::string_view::npos ? "" : path.substr(cut + 1);
                    if (IsValidKeyPath(path)) {
                        current = &tree.Create(r.root, path);
                    }
                    break;
                }
            }
            continue;
        }
        std::string name;
        RegValue value;
        if (current != nullptr && ParseValueLine(line, &name, &value)) {
            current->SetValue(name, std::move(value));
        }
    }
    return tree;
}

// ---- RegistryStore ----

RegistryStore RegistryStore::Default() {
    if (const char* file = std::getenv("ORVANE_REGISTRY"); file != nullptr && *file != '\0') {
        return RegistryStore(file);
    }
    // Relative XDG paths are invalid and ignored, as the base-directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME");
        config != nullptr && config[0] == '/') {
        return RegistryStore(std::filesystem::path(config) / "orvane" / "registry");
    }
    return RegistryStore(HomeDirectory() / ".config" / "orvane" / "registry");
}

RegistryStore::RegistryStore(std::filesystem::path file) : file_(std::move(file)) {}

bool RegistryStore::Transact(const std::function<bool(RegistryTree&)>& edit) {
    std::lock_guard process_lock(g_store_mutex);
    if (file_.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(file_.parent_path(), ec);
    }
    FileLock lock(file_, true);
    if (!lock.held()) {
        return false;
    }
    RegistryTree tree = RegistryTree::Parse(ReadAll(file_));
    if (!edit(tree)) {
        return true;  // nothing to write
    }
    return ReplaceFile(file_, tree.Serialize());
}

RegistryTree RegistryStore::Snapshot() const {
    std::lock_guard process_lock(g_store_mutex);
    // Without a lock file (a missing or read-only directory) nobody can be writing the store,
    // so reading it unlocked is safe.
    FileLock lock(file_, false);
    return RegistryTree::Parse(ReadAll(file_));
}

bool RegistryStore::SetDword(RegRoot root, std::string_view key, std::string_view name,
                             DWORD value) {
    if (!IsValidKeyPath(key)) {
        return false;
    }
    return Transact([&](RegistryTree& tree) {
        tree.Create(root, key).SetValue(name, value);
        return true;
    });
}

bool RegistryStore::SetString(RegRoot root, std::string_view key, std::string_view name,
                              std::string_view value) {
    if (!IsValidKeyPath(key)) {
        return false;
    }
    return Transact([&](RegistryTree& tree) {
        tree.Create(root, key).SetValue(name, std::string(value));
        return true;
    });
}

std::optional<DWORD> RegistryStore::GetDword(RegRoot root, std::string_view key,
                                             std::string_view name) const {
    const RegistryTree tree = Snapshot();
    const RegistryTree::Key* k = tree.Find(root, key);
    const RegValue* value = k != nullptr ? k->GetValue(name) : nullptr;
    if (const DWORD* d = value != nullptr ? std::get_if<DWORD>(value) : nullptr) {
        return *d;
    }
    return std::nullopt;
}

std::optional<std::string> RegistryStore::GetString(RegRoot root, std::string_view key,
                                                    std::string_view name) const {
    const RegistryTree tree = Snapshot();
    const RegistryTree::Key* k = tree.Find(root, key);
    const RegValue* value = k != nullptr ? k->GetValue(name) : nullptr;
    if (const std::string* text = value != nullptr ? std::get_if<std::string>(value) : nullptr) {
        return *text;
    }
    return std::nullopt;
}

bool RegistryStore::DeleteValue(RegRoot root, std::string_view key, std::string_view name) {
    bool existed = false;
    const bool ok = Transact([&](RegistryTree& tree) {
        RegistryTree::Key* k = tree.Find(root, key);
        existed = k != nullptr && k->EraseValue(name);
        return existed;
    });
    return ok && existed;
}

bool RegistryStore::DeleteKey(RegRoot root, std::string_view key) {
    bool existed = false;
    const bool ok = Transact([&](RegistryTree& tree) {
        existed = tree.Remove(root, key);
        return existed;
    });
    return ok && existed;
}

bool RegistryStore::CreateKey(RegRoot root, std::string_view key) {
    if (!IsValidKeyPath(key)) {
        return false;
    }
    return Transact([&](RegistryTree& tree) {
        if (tree.Find(root, key) != nullptr) {
            return false;  // already there; no need to rewrite the file
        }
        tree.Create(root, key);
        return true;
    });
}

bool RegistryStore::KeyExists(RegRoot root, std::string_view key) const {
    return Snapshot().Find(root, key) != nullptr;
}

std::vector<std::string> RegistryStore::SubKeyNames(RegRoot root, std::string_view key) const {
    std::vector<std::string> names;
    const RegistryTree tree = Snapshot();
    if (const RegistryTree::Key* k = tree.Find(root, key)) {
        for (const auto& [lower, sub] : k->subkeys) {
            names.push_back(sub->name);
        }
    }
    return names;
}

std::vector<std::string> RegistryStore::ValueNames(RegRoot root, std::string_view key) const {
    std::vector<std::string> names;
    const RegistryTree tree = Snapshot();
    if (const RegistryTree::Key* k = tree.Find(root, key)) {
        for (const auto& [lower, entry] : k->values) {
            names.push_back(entry.first);
        }
    }
    return names;
}
