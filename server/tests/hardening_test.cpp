// What the server leaves on disk and in its log: a database only its owner can read, and log
// lines that text from the network cannot forge.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "server/sqlite.h"
#include "server/store.h"
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode & 0777;
}

class DatabaseFileTest : public ::testing::Test {
protected:
    DatabaseFileTest() {
        char name[] = "/tmp/ovserver-files-XXXXXX";
        dir = mkdtemp(name);
        oldMask = umask(022);  // the usual mask, which leaves new files readable by all
    }
    ~DatabaseFileTest() override {
        umask(oldMask);
        fs::remove_all(dir);
    }
    std::string dir;
    mode_t oldMask;
};

TEST_F(DatabaseFileTest, ANewDatabaseAndItsSideFilesAreTheOwnersAlone) {
    if (TestDatabase::OnPostgres())
        GTEST_SKIP() << "SQLite files";
    std::string path = dir + "/server.db";
    std::string error;
    auto store = ov::server::Store::Open(path, &error);
    ASSERT_TRUE(store) << error;
    ov::server::UserRecord u;
    ASSERT_NE(store->CreateUser(&u, "hash"), 0u);
    ASSERT_TRUE(fs::exists(path + "-wal"));
    ASSERT_TRUE(fs::exists(path + "-shm"));
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(ModeOf(path + "-wal"), 0600u);
    EXPECT_EQ(ModeOf(path + "-shm"), 0600u);

    // A rollback journal, while a transaction writes.
    std::string other = dir + "/plain.db";
    auto db = ov::server::SqliteDatabase::Open(other, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Exec("CREATE TABLE t(x); BEGIN; INSERT INTO t VALUES(1);"));
    ASSERT_TRUE(fs::exists(other + "-journal"));
    EXPECT_EQ(ModeOf(other + "-journal"), 0600u);
    db->Exec("COMMIT");
}

TEST_F(DatabaseFileTest, AnExistingFileKeepsItsMode) {
    if (TestDatabase::OnPostgres())
        GTEST_SKIP() << "SQLite files";
    std::string path = dir + "/shared.db";
    {
        std::string error;
        ASSERT_TRUE(ov::server::Store::Open(path, &error)) << error;
    }
    chmod(path.c_str(), 0640);
    std::string error;
    auto store = ov::server::Store::Open(path, &error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(ModeOf(path), 0640u);
}

TEST(LogTest, ControlCharactersAreEscapedAndOtherBytesKept) {
    std::vector<std::string> lines;
    ov::server::Log log([&](std::string_view line) { lines.emplace_back(line); });
    // A name with a line break, a terminal sequence, DEL, and code page 936 text.
    log.Printf("registered %s", "x\nsession start: PIN 1\r\x1b[2J\x7f\xb0\xa1\t");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "registered x\\x0Asession start: PIN 1\\x0D\\x1B[2J\\x7F\xb0\xa1\\x09");
}

using LoggedNamesTest = ServerFixture;

TEST_F(LoggedNamesTest, ANameFromTheNetworkCannotWriteALineOfItsOwn) {
    TestClient& eve = Online("eve");
    // A black-list entry by a name that does not exist is refused with a log line naming it.
    eve.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(0, "a\nlogin ok\x1b[2J"));
    eve.Sync();
    EXPECT_TRUE(log.Contains("(a\\x0Alogin ok\\x1B[2J)"));
    EXPECT_FALSE(log.Contains("\n"));
    EXPECT_FALSE(log.Contains("\x1b"));
}

}  // namespace
}  // namespace ovt
