#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/registry.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr const char* kStress = "Software\\Orvane\\Stress";

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class RegistryStoreTest : public testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::path(testing::TempDir()) / "ovreg-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Starts registry_writer (built next to this test) on the given store file.
    static pid_t SpawnWriter(const fs::path& store, const std::string& prefix, int count) {
        const std::string helper =
            (fs::read_symlink("/proc/self/exe").parent_path() / "registry_writer").string();
        std::vector<std::string> env_text = {"ORVANE_REGISTRY=" + store.string()};
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string_view(*e).substr(0, 16) != "ORVANE_REGISTRY=") {
                env_text.push_back(*e);
            }
        }
        std::vector<char*> envp;
        for (auto& s : env_text) {
            envp.push_back(s.data());
        }
        envp.push_back(nullptr);
        std::string count_text = std::to_string(count);
        std::string prefix_text = prefix;
        char* argv[] = {const_cast<char*>(helper.c_str()), prefix_text.data(), count_text.data(),
                        nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            return -1;
        }
        return pid;
    }

    static int ExitCode(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                return -1;
            }
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Every value a writer with this prefix and count must have left.
    static void ExpectWriterValues(const RegistryStore& store, const std::string& prefix,
                                   int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(store.GetDword(HKEY_CURRENT_USER, kStress, prefix + "_" + std::to_string(i)),
                      static_cast<DWORD>(i))
                << prefix << " " << i;
        }
        EXPECT_EQ(store.GetString(HKEY_CURRENT_USER, kStress, prefix + "_name"),
                  "进程 \"" + prefix + "\"");
    }

    fs::path dir_;
};

TEST_F(RegistryStoreTest, ValuesRoundTripThroughTheFile) {
    const fs::path file = dir_ / "nested" / "dirs" / "registry";
    RegistryStore writer(file);
    const std::string tricky = "路径 \"C:\\Program Files\\Orvane\"\n第二行\\";
    ASSERT_TRUE(writer.SetDword(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane\\Setting",
                                "AllowMutilInstance", 42));
    ASSERT_TRUE(writer.SetString(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane\\Setting",
                                 "LastPath", tricky));
    ASSERT_TRUE(writer.SetString(HKEY_CLASSES_ROOT, "orvane", "", "URL:Orvane"));

    RegistryStore reader(file);  // nothing cached between instances
    EXPECT_EQ(reader.GetDword(HKEY_CURRENT_USER, "software\\TALLOWBY\\orvane\\setting",
                              "allowmutilinstance"),
              42u);
    EXPECT_EQ(
        reader.GetString(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane\\Setting", "LASTPATH"),
        tricky);
    EXPECT_EQ(reader.GetString(HKEY_CLASSES_ROOT, "Orvane", ""), "URL:Orvane");
    // A value of the other type is not returned; roots are separate.
    EXPECT_EQ(reader.GetString(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane\\Setting",
                               "AllowMutilInstance"),
              std::nullopt);
    EXPECT_EQ(reader.GetString(HKEY_LOCAL_MACHINE, "Orvane", ""), std::nullopt);

    // Overwriting with another case keeps the first spelling.
    ASSERT_TRUE(writer.SetDword(HKEY_CURRENT_USER, "SOFTWARE\\Tallowby\\Orvane\\Setting",
                                "ALLOWMUTILINSTANCE", 1));
    EXPECT_EQ(reader.ValueNames(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane\\Setting"),
              (std::vector<std::string>{"AllowMutilInstance", "LastPath"}));

    // The file is readable text, and no lock or temporary file is left but the lock file.
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Tallowby\\Orvane\\Setting]\n"
                        "\"AllowMutilInstance\"=dword:00000001\n"),
              std::string::npos);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST_F(RegistryStoreTest, KeysEnumerateAndDelete) {
    RegistryStore store(dir_ / "registry");
    EXPECT_TRUE(store.CreateKey(HKEY_CURRENT_USER, "Software\\Orvane\\Empty"));
    EXPECT_TRUE(store.CreateKey(HKEY_CURRENT_USER, "Software\\Orvane\\Empty"));  // exists: fine
    store.SetDword(HKEY_CURRENT_USER, "Software\\Orvane\\Users\\alice", "Uin", 10001);
    store.SetDword(HKEY_CURRENT_USER, "Software\\Orvane\\Users\\bob", "Uin", 10002);
    store.SetString(HKEY_CURRENT_USER, "Software\\Orvane", "Version", "2.0");

    EXPECT_TRUE(store.KeyExists(HKEY_CURRENT_USER, "software\\orvane\\empty"));
    EXPECT_EQ(store.SubKeyNames(HKEY_CURRENT_USER, "Software\\Orvane"),
              (std::vector<std::string>{"Empty", "Users"}));
    EXPECT_EQ(store.SubKeyNames(HKEY_CURRENT_USER, "Software\\Orvane\\Users"),
              (std::vector<std::string>{"alice", "bob"}));
    EXPECT_EQ(store.ValueNames(HKEY_CURRENT_USER, "Software\\Orvane"),
              std::vector<std::string>{"Version"});
    EXPECT_TRUE(store.SubKeyNames(HKEY_CURRENT_USER, "Missing").empty());

    EXPECT_TRUE(store.DeleteValue(HKEY_CURRENT_USER, "Software\\Orvane", "version"));
    EXPECT_FALSE(store.DeleteValue(HKEY_CURRENT_USER, "Software\\Orvane", "version"));
    EXPECT_FALSE(store.DeleteValue(HKEY_CURRENT_USER, "Missing", "x"));

    EXPECT_TRUE(store.DeleteKey(HKEY_CURRENT_USER, "SOFTWARE\\ORVANE\\USERS"));
    EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, "Software\\Orvane\\Users\\alice"));
    EXPECT_EQ(store.GetDword(HKEY_CURRENT_USER, "Software\\Orvane\\Users\\alice", "Uin"),
              std::nullopt);
    EXPECT_TRUE(store.KeyExists(HKEY_CURRENT_USER, "Software\\Orvane\\Empty"));
    EXPECT_FALSE(store.DeleteKey(HKEY_CURRENT_USER, "Software\\Orvane\\Users"));

    EXPECT_FALSE(store.CreateKey(HKEY_CURRENT_USER, "Bad\nName"));  // cannot be stored
}

TEST_F(RegistryStoreTest, MissingOrGarbageFileReadsAsEmpty) {
    RegistryStore missing(dir_ / "absent" / "registry");
    EXPECT_FALSE(missing.KeyExists(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(missing.GetDword(HKEY_CURRENT_USER, "Software", "x"), std::nullopt);

    const fs::path file = dir_ / "registry";
    {
        std::ofstream out(file, std::ios::binary);
        out << "\x7f"
               "ELF\x01\x02[[[\n\"x\"=dword:1\n[HKEY_CURRENT_USER\\Software";
        for (int i = 0; i < 1000; ++i) {
            out << static_cast<char>(i * 37);
        }
    }
    RegistryStore store(file);
    EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, "Software"));
    ASSERT_TRUE(store.SetDword(HKEY_CURRENT_USER, "Software", "x", 5));  // writing repairs it
    EXPECT_EQ(store.GetDword(HKEY_CURRENT_USER, "Software", "x"), 5u);
}

TEST_F(RegistryStoreTest, DefaultPathFollowsTheEnvironment) {
    const std::string explicit_file = (dir_ / "explicit").string();
    const std::string config = (dir_ / "config").string();
    const std::string home = (dir_ / "home").string();
    {
        ScopedEnv a("ORVANE_REGISTRY", explicit_file.c_str());
        ScopedEnv b("XDG_CONFIG_HOME", config.c_str());
        EXPECT_EQ(RegistryStore::Default().path(), explicit_file);
    }
    {
        ScopedEnv a("ORVANE_REGISTRY", nullptr);
        ScopedEnv b("XDG_CONFIG_HOME", config.c_str());
        EXPECT_EQ(RegistryStore::Default().path(), dir_ / "config" / "orvane" / "registry");
    }
    {
        ScopedEnv a("ORVANE_REGISTRY", "");
        ScopedEnv b("XDG_CONFIG_HOME", nullptr);
        ScopedEnv c("HOME", home.c_str());
        RegistryStore store = RegistryStore::Default();
        EXPECT_EQ(store.path(), dir_ / "home" / ".config" / "orvane" / "registry");
        EXPECT_TRUE(store.SetDword(HKEY_CURRENT_USER, "K", "v", 1));  // parents are created
        EXPECT_TRUE(fs::exists(store.path()));
    }
}

TEST_F(RegistryStoreTest, ThreadsOfOneProcessLoseNothing) {
    const fs::path file = dir_ / "registry";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&file, t] {
            RegistryStore store(file);
            for (int i = 0; i < 25; ++i) {
                const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_TRUE(store.SetDword(HKEY_CURRENT_USER, kStress, name, i));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(RegistryStore(file).ValueNames(HKEY_CURRENT_USER, kStress).size(), 100u);
}

TEST_F(RegistryStoreTest, SurvivesAProcessRestart) {
    const fs::path file = dir_ / "registry";
    const pid_t child = SpawnWriter(file, "first", 5);
    ASSERT_GT(child, 0);
    ASSERT_EQ(ExitCode(child), 0);
    ExpectWriterValues(RegistryStore(file), "first", 5);
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    const fs::path file = dir_ / "registry";
    const pid_t a = SpawnWriter(file, "a", 200);
    const pid_t b = SpawnWriter(file, "b", 200);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(ExitCode(a), 0);
    EXPECT_EQ(ExitCode(b), 0);

    const RegistryStore store(file);
    EXPECT_EQ(store.ValueNames(HKEY_CURRENT_USER, kStress).size(), 402u);
    ExpectWriterValues(store, "a", 200);
    ExpectWriterValues(store, "b", 200);
}

}  // namespace
