// The fixture that keeps tests out of the real home points every writable place into its
// directory, and puts the environment back afterwards.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QStandardPaths>
#include <filesystem>

#include "shell/core/user_directories.h"
#include "shell/testing/temp_home.h"

namespace {

TEST(TempHomeTest, PointsEveryWritablePlaceInsideAndRestoresThem) {
    const std::string before = ::getenv("HOME") ? ::getenv("HOME") : "";
    ::setenv("XDG_SOMETHING_HOME", "/var/somewhere", 1);
    std::string root;
    {
        ov::testing::TempHome home;
        root = home.Root();
        EXPECT_EQ(ov::testing::CheckEnvironmentInside(root), "");
        EXPECT_TRUE(std::filesystem::is_directory(root));
        EXPECT_EQ(QDir::homePath().toStdString(), root + "/home");
        EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                        .startsWith(QString::fromStdString(root)));
        EXPECT_EQ(ov::shell::ResolveDataHome().toStdString(), home.DataHome());
        EXPECT_EQ(std::string(::getenv("ORVANE_REGISTRY")), home.RegistryPath());
        EXPECT_EQ(std::string(::getenv("XDG_SOMETHING_HOME")).rfind(root, 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(root));
    EXPECT_EQ(std::string(::getenv("HOME") ? ::getenv("HOME") : ""), before);
    EXPECT_EQ(std::string(::getenv("XDG_SOMETHING_HOME")), "/var/somewhere");
    ::unsetenv("XDG_SOMETHING_HOME");

    // Outside a TempHome the real places are refused.
    EXPECT_NE(ov::testing::CheckEnvironmentInside(root), "");
    EXPECT_NE(ov::testing::CheckEnvironmentInside("/"), "");
    EXPECT_NE(ov::testing::CheckEnvironmentInside(""), "");
}

}  // namespace
