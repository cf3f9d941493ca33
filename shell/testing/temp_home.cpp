#include "shell/testing/temp_home.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace ov::testing {

namespace {

namespace fs = std::filesystem;

// Every variable the fixture points into its directory, with the place under the root.
struct Place {
    const char* variable;
    const char* relative;
    mode_t mode;  // 0: a file, only its directory is made
};
constexpr Place kPlaces[] = {
    {"HOME", "home", 0755},
    {"XDG_DATA_HOME", "data", 0700},
    {"XDG_CONFIG_HOME", "config", 0700},
    {"XDG_CACHE_HOME", "cache", 0700},
    {"XDG_STATE_HOME", "state", 0700},
    {"XDG_RUNTIME_DIR", "runtime", 0700},
    {"ORVANE_HOME", "data/orvane", 0700},
    {"ORVANE_REGISTRY", "config/orvane/registry", 0},
};

std::optional<std::string> Get(const char* name) {
    const char* value = ::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// The canonical form of a path whose last parts may not exist yet.
fs::path Canonical(const fs::path& path) {
    std::error_code error;
    return fs::weakly_canonical(path, error);
}

bool IsInside(const fs::path& path, const fs::path& root) {
    const fs::path p = Canonical(path);
    const fs::path r = Canonical(root);
    auto pi = p.begin();
    for (auto ri = r.begin(); ri != r.end(); ++ri, ++pi) {
        if (pi == p.end() || *pi != *ri)
            return false;
    }
    return true;
}

bool IsGuardedXdg(std::string_view name) {
    return name.starts_with("XDG_") && (name.ends_with("_HOME") || name == "XDG_RUNTIME_DIR");
}

}  // namespace

TempHome::TempHome() {
    std::string pattern = (fs::temp_directory_path() / "orvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return;  // Root() stays empty and CheckEnvironmentInside refuses it
    root_ = Canonical(pattern).string();
    for (const Place& place : kPlaces) {
        const fs::path path = fs::path(root_) / place.relative;
        std::error_code error;
        if (place.mode != 0) {
            fs::create_directories(path, error);
            ::chmod(path.c_str(), place.mode);
        } else {
            fs::create_directories(path.parent_path(), error);
        }
        saved_.emplace_back(place.variable, Get(place.variable));
        ::setenv(place.variable, path.c_str(), 1);
    }
    // Other writable XDG places this process may know of are sent into the root as well.
    std::vector<std::string> others;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view line(*entry);
        const std::string name(line.substr(0, line.find('=')));
        if (IsGuardedXdg(name) && !IsInside(Get(name.c_str()).value_or(""), root_))
            others.push_back(name);
    }
    for (const std::string& name : others) {
        saved_.emplace_back(name, Get(name.c_str()));
        const fs::path path = fs::path(root_) / "xdg" / name;
        std::error_code error;
        fs::create_directories(path, error);
        ::setenv(name.c_str(), path.c_str(), 1);
    }
}

TempHome::~TempHome() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second)
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            ::unsetenv(it->first.c_str());
    }
    if (!root_.empty()) {
        std::error_code error;
        // Tests may leave read-only files or directories behind; make them removable.
        for (auto i = fs::recursive_directory_iterator(root_, error);
             !error && i != fs::recursive_directory_iterator(); i.increment(error)) {
            if (i->is_directory(error) && !i->is_symlink(error))
                fs::permissions(i->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
        fs::remove_all(root_, error);
    }
}

std::string TempHome::DataHome() const {
    return (fs::path(root_) / "data/orvane").string();
}

std::string TempHome::RegistryPath() const {
    return (fs::path(root_) / "config/orvane/registry").string();
}

std::string CheckEnvironmentInside(const std::string& root) {
    if (root.empty())
        return "no temporary directory";
    const fs::path temp = fs::temp_directory_path();
    if (!IsInside(root, temp) || Canonical(root) == Canonical(temp))
        return root + " is not a directory under " + temp.string();
    std::string problems;
    const auto check = [&](const std::string& name) {
        const std::optional<std::string> value = Get(name.c_str());
        if (!value || !IsInside(*value, root))
            problems += name + "=" + value.value_or("(unset)") + " is outside " + root + "; ";
    };
    for (const Place& place : kPlaces)
        check(place.variable);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view line(*entry);
        const std::string name(line.substr(0, line.find('=')));
        if (IsGuardedXdg(name))
            check(name);
    }
    return problems;
}

void TempHomeTest::SetUp() {
    home_.emplace();
    const std::string problems = CheckEnvironmentInside(home_->Root());
    ASSERT_TRUE(problems.empty()) << "refusing to run outside a temporary home: " << problems;
}

void TempHomeTest::TearDown() {
    home_.reset();
}

}  // namespace ov::testing
