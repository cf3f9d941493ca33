// The cache file's life: creation and replacement by Init, one object at a time, and what
// reaches the disk when the object is released, re-initialised, or never released.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include "cache/tests/cache_test_support.h"

extern char** environ;

namespace {

// Runs cache_exit_helper (built next to this test): Init on path, Add "carol", Delete "alice",
// then release the object or end the process without releasing it.
int RunHelper(const std::string& path, const char* how) {
    const std::string helper =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "cache_exit_helper")
            .string();
    std::string pathArg = path, howArg = how;
    char* argv[] = {const_cast<char*>(helper.c_str()), pathArg.data(), howArg.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(CacheTest, InitCreatesTheFileOrReplacesOneThatIsNoCache) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    EXPECT_EQ(StgIsStorageFile(path), S_OK);
    cache_.Reset();
    ComPtr<IStorage> root = OpenFile(path, STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(ElementNames(root.Get()),
              (std::vector<std::u16string>{u"UserIDTable", u"UserNameTable"}));
    EXPECT_TRUE(ElementNames(Child(root.Get(), u"UserIDTable").Get()).empty());
    root.Reset();

    // A text file, and a compound file without the tables, are replaced by an empty cache.
    const std::string text = File("text.dat");
    {
        std::ofstream out(text);
        out << "not a compound file\n";
    }
    cache_ = NewCache();
    ASSERT_EQ(Init(text), 1);
    EXPECT_EQ(Add("alice", 1, B("a")), 1);
    cache_.Reset();
    EXPECT_EQ(StgIsStorageFile(text), S_OK);

    const std::string foreign = File("foreign.dat");
    {
        ComPtr<IStorage> other;
        ASSERT_EQ(StgCreateDocfile(foreign, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                   other.ReleaseAndGetAddressOf()),
                  S_OK);
        ComPtr<IStorage> only;
        ASSERT_EQ(other->CreateStorage(u"UserNameTable", STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                       only.ReleaseAndGetAddressOf()),
                  S_OK);
    }
    cache_ = NewCache();
    ASSERT_EQ(Init(foreign), 1);
    EXPECT_EQ(ByName("alice"), None());
    ASSERT_EQ(Add("bob", 2, B("b")), 1);
    cache_.Reset();
    cache_ = NewCache();
    ASSERT_EQ(Init(foreign), 1);
    EXPECT_EQ(ById(2), B("b"));
}

TEST_F(CacheTest, ASecondObjectCannotOpenAFileInUseAndDoesNotDamageIt) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    ASSERT_EQ(Add("alice", 1, B("a")), 1);
    ComPtr<IOVCache> second = NewCache();
    EXPECT_EQ(Init(path, second.Get()), 0);
    ExpectFailure(1);
    cache_.Reset();  // commits alice
    EXPECT_EQ(Init(path, second.Get()), 1);
    cache_ = second;
    EXPECT_EQ(ByName("alice"), B("a"));
}

TEST_F(CacheTest, InitOfAnotherFileCommitsTheCurrentOne) {
    const std::string first = File("first.dat"), other = File("other.dat");
    ASSERT_EQ(Init(first), 1);
    ASSERT_EQ(Add("alice", 1, B("a")), 1);
    ASSERT_EQ(Init(other), 1);
    ComPtr<IOVCache> reader = NewCache();
    std::swap(reader, cache_);
    ASSERT_EQ(Init(first), 1);
    EXPECT_EQ(ByName("alice"), B("a"));
}

TEST_F(CacheTest, ChangesReachTheFileAtReleaseAndAreLostIfTheProcessEndsFirst) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    ASSERT_EQ(Add("alice", 1, B("a")), 1);
    cache_.Reset();
    const std::vector<uint8_t> before = ReadFileBytes(path);

    ASSERT_EQ(RunHelper(path, "exit"), 0);
    EXPECT_EQ(ReadFileBytes(path), before);  // carol's Add and alice's Delete never arrived
    cache_ = NewCache();
    ASSERT_EQ(Init(path), 1);
    EXPECT_EQ(ByName("alice"), B("a"));
    EXPECT_EQ(ByName("carol"), None());
    cache_.Reset();

    ASSERT_EQ(RunHelper(path, "release"), 0);
    cache_ = NewCache();
    ASSERT_EQ(Init(path), 1);
    EXPECT_EQ(ByName("alice"), None());
    EXPECT_EQ(ById(3), B("c"));
}
