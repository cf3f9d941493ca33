// Keeps tests out of the real home: a fresh temporary directory that HOME, the writable XDG
// places, ORVANE_HOME and ORVANE_REGISTRY point into for the life of the object.
//
//   class MyTest : public ov::testing::TempHomeTest {};   // refuses to run otherwise
//   TEST_F(MyTest, Writes) {
//       QString home = QString::fromStdString(Home().DataHome());   // $ORVANE_HOME
//   }
//
// Layout under Root(): home/, data/ (XDG_DATA_HOME), config/ (XDG_CONFIG_HOME), cache/,
// state/, runtime/ (XDG_RUNTIME_DIR, 0700), data/orvane/ (ORVANE_HOME, 0700) and
// config/orvane/registry (ORVANE_REGISTRY). The search lists XDG_DATA_DIRS and
// XDG_CONFIG_DIRS are read-only and stay as they are.
//
// The environment is process-wide: one TempHome at a time, on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ov::testing {

class TempHome {
public:
    TempHome();
    ~TempHome();  // restores the previous environment and removes the directory
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& Root() const { return root_; }
    std::string DataHome() const;      // $ORVANE_HOME
    std::string RegistryPath() const;  // $ORVANE_REGISTRY

private:
    std::string root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Empty when HOME, ORVANE_HOME, ORVANE_REGISTRY, XDG_RUNTIME_DIR and every XDG_*_HOME of the
// environment lie inside root (a directory under the system's temporary directory);
// otherwise what is wrong.
std::string CheckEnvironmentInside(const std::string& root);

// A fixture whose SetUp creates a TempHome and stops the test unless the environment passed
// CheckEnvironmentInside.
class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TempHome& Home() { return *home_; }

private:
    std::optional<TempHome> home_;
};

}  // namespace ov::testing
