// The data home, user directories (created private, removed whole, listed) and the login-name
// rule that guards them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "shell/core/private_files.h"
#include "shell/core/tests/test_files.h"
#include "shell/core/user_directories.h"

namespace ov::shell {
namespace {

using testing::CoreTest;
using testing::ModeOf;
using testing::ReadBytes;
using testing::WriteBytes;

TEST(DataHomeTest, OrvaneHomeThenXdgDataHomeThenHome) {
    QProcessEnvironment env;
    env.insert("HOME", "/h");
    EXPECT_EQ(ResolveDataHome(env), "/h/.local/share/orvane");
    env.insert("XDG_DATA_HOME", "/x");
    EXPECT_EQ(ResolveDataHome(env), "/x/orvane");
    env.insert("ORVANE_HOME", "/o");
    EXPECT_EQ(ResolveDataHome(env), "/o");
}

TEST(LoginNameTest, DialogCharactersOnly) {
    for (const char* name : {"alice", "a-b_c", "12345", "ov-3", "a.b", "x"})
        EXPECT_TRUE(IsValidLoginName(name)) << name;
    for (const char* name : {"", "Alice", "a b", "a/b", "/abs", "tab\t", "a\\b", "é"})
        EXPECT_FALSE(IsValidLoginName(QString::fromUtf8(name))) << name;
    EXPECT_FALSE(IsValidLoginName(QStringLiteral("张三")));
}

class UserDirectoriesTest : public CoreTest {};

TEST_F(UserDirectoriesTest, NamesOfDotsOnlyAreRefusedAndNeverLeaveUserdata) {
    for (const char* name : {".", "..", "...", "...."})
        EXPECT_FALSE(IsValidLoginName(name)) << name;
    for (const char* name : {".a", "a.", "a..b", "..a"})
        EXPECT_TRUE(IsValidLoginName(name)) << name;

    UserDirectories dirs(DataHome());
    ASSERT_TRUE(dirs.Create("alice"));
    const QString machine = dirs.MachineSettingsPath();
    WriteBytes(machine, "[LocalMachine]\n");
    WriteBytes(dirs.UserFile("alice", "setting.dat"), "x");

    for (const char* name : {".", ".."}) {
        EXPECT_TRUE(dirs.UserDirectory(name).isEmpty()) << name;
        EXPECT_TRUE(dirs.UserFile(name, "setting.dat").isEmpty()) << name;
        EXPECT_FALSE(dirs.Exists(name)) << name;
        EXPECT_FALSE(dirs.Create(name)) << name;
        EXPECT_FALSE(dirs.Remove(name)) << name;
    }
    // Deleting the data of a user called ".." must not empty the data home.
    EXPECT_EQ(ReadBytes(machine), "[LocalMachine]\n");
    EXPECT_EQ(ReadBytes(dirs.UserFile("alice", "setting.dat")), "x");
    EXPECT_EQ(dirs.KnownUsers(), QStringList{"alice"});
}

TEST_F(UserDirectoriesTest, CreateMakesPrivateDirectoriesAndParents) {
    const QString home = DataHome() + "/deeper/home";
    UserDirectories dirs(home);
    EXPECT_TRUE(dirs.KnownUsers().isEmpty());
    EXPECT_FALSE(dirs.Exists("alice"));
    ASSERT_TRUE(dirs.Create("alice"));
    EXPECT_TRUE(dirs.Exists("alice"));
    EXPECT_EQ(dirs.UserDirectory("alice"), home + "/userdata/alice");
    EXPECT_EQ(dirs.UserFile("alice", "list.dat"), home + "/userdata/alice/list.dat");
    EXPECT_EQ(dirs.MachineSettingsPath(), home + "/orvane.dat");
    for (const QString& dir :
         {DataHome() + "/deeper", home, home + "/userdata", home + "/userdata/alice"})
        EXPECT_EQ(ModeOf(dir), 0700) << dir.toStdString();
    ASSERT_TRUE(dirs.Create("alice"));  // again: nothing to do

    // A directory made by someone else with a looser mode is made private.
    ASSERT_TRUE(QDir().mkpath(home + "/userdata/bob"));
    QFile::setPermissions(home + "/userdata/bob",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    ASSERT_TRUE(dirs.Create("bob"));
    EXPECT_EQ(ModeOf(home + "/userdata/bob"), 0700);
    EXPECT_EQ(dirs.KnownUsers(), (QStringList{"alice", "bob"}));
}

TEST_F(UserDirectoriesTest, RemoveDeletesEveryFileThenTheDirectory) {
    UserDirectories dirs(DataHome());
    ASSERT_TRUE(dirs.Create("alice"));
    ASSERT_TRUE(dirs.Create("bob"));
    const QString outside = DataHome() + "/outside.txt";
    WriteBytes(outside, "keep");
    for (const char* name : {"setting.dat", "list.dat", ".hidden", "10001.msg"})
        WriteBytes(dirs.UserFile("alice", name), "x");
    // A link inside is removed as a link; what it points at stays.
    ASSERT_TRUE(QFile::link(outside, dirs.UserFile("alice", "link")));

    EXPECT_TRUE(dirs.Remove("alice"));
    EXPECT_FALSE(QDir(dirs.UserDirectory("alice")).exists());
    EXPECT_EQ(ReadBytes(outside), "keep");
    EXPECT_EQ(dirs.KnownUsers(), QStringList{"bob"});
    EXPECT_TRUE(dirs.Remove("alice"));  // already gone
    EXPECT_FALSE(dirs.Remove("No/Such"));
}

TEST_F(UserDirectoriesTest, PrivateFilesReplaceTheOldFileWhole) {
    const QString path = DataHome() + "/file";
    WriteBytes(path, "old contents");
    QFile::setPermissions(
        path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    ASSERT_TRUE(WritePrivateFile(path, "new"));
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(ModeOf(path), 0600);
    EXPECT_EQ(QDir(DataHome()).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});
    EXPECT_FALSE(WritePrivateFile(DataHome() + "/missing-dir/file", "x"));

    EXPECT_EQ(ReadWholeFile(path, 3).value_or("?"), "new");
    EXPECT_FALSE(ReadWholeFile(path, 2).has_value());
    EXPECT_FALSE(ReadWholeFile(DataHome() + "/none").has_value());
    EXPECT_FALSE(ReadWholeFile(DataHome()).has_value());  // a directory
    const QString fifo = DataHome() + "/fifo";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(fifo).has_value());  // refused at once, never waited on
    EXPECT_FALSE(MakePrivateDirectory(path));       // a file stands there
}

}  // namespace
}  // namespace ov::shell
