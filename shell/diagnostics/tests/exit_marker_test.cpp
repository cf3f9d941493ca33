// The exit marker: a start after a run that did not end cleanly is told so once; a clean end
// and a second instance leave no trace.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "shell/diagnostics/registry_marker_store.h"
#include "shell/diagnostics/tests/child_process.h"
#include "shell/diagnostics/tests/temp_folder_test.h"
#include "shell/diagnostics/toolkit.h"

namespace ov::diagnostics {
namespace {

namespace fs = std::filesystem;

class MapMarkerStore : public MarkerStore {
public:
    bool OpenKey(bool* created) override {
        *created = !exists;
        exists = true;
        return true;
    }
    std::optional<uint32_t> Get(const std::string& name) override {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    void Set(const std::string& name, uint32_t value) override { values[name] = value; }

    bool exists = false;
    std::map<std::string, uint32_t> values;
};

class CountingToolkit : public OVDizizIzuzuzo {
public:
    using OVDizizIzuzuzo::OVDizizIzuzuzo;
    void OnAbnormalExit() override { ++abnormal; }
    int abnormal = 0;
};

class ExitMarker : public testing::TempFolderTest {
protected:
    ToolkitOptions Options() {
        ToolkitOptions o;
        o.marker = &store_;
        o.lockDirectory = dir_ / "lock";
        o.reportDirectory = dir_ / "reports";
        o.reportExceptions = false;
        o.detectHangs = false;
        return o;
    }
    MapMarkerStore store_;
};

TEST_F(ExitMarker, OnlyARunThatDidNotEndCleanlyIsReported) {
    {
        CountingToolkit first(Options());
        ASSERT_TRUE(first.Init());
        EXPECT_FALSE(first.Init());  // once per process
        EXPECT_TRUE(first.OnlyInstance());
        EXPECT_EQ(first.abnormal, 0);  // the key was new
        EXPECT_EQ(store_.values["EXIT_Orvane"], 1u);
        // Ends without MarkCleanExit, as a crash would.
    }
    {
        CountingToolkit second(Options());
        second.Init();
        EXPECT_EQ(second.abnormal, 1);
        second.MarkCleanExit();
        EXPECT_EQ(store_.values["EXIT_Orvane"], 0u);
    }
    CountingToolkit third(Options());
    third.Init();
    EXPECT_EQ(third.abnormal, 0);
}

TEST_F(ExitMarker, ASecondInstanceNeitherChecksNorWrites) {
    store_.exists = true;
    store_.values["EXIT_Orvane"] = 1;
    CountingToolkit first(Options());
    first.Init();
    EXPECT_EQ(first.abnormal, 1);
    store_.values["EXIT_Orvane"] = 7;  // what a second instance must leave alone
    CountingToolkit second(Options());
    second.Init();
    EXPECT_FALSE(second.OnlyInstance());
    EXPECT_EQ(second.abnormal, 0);
    second.MarkCleanExit();
    EXPECT_EQ(store_.values["EXIT_Orvane"], 7u);
}

// Whole programs on the registry store: killed with SIGKILL, started again, ended normally.
class ExitMarkerProcesses : public ExitMarker {
protected:
    std::unique_ptr<testing::ChildProcess> Start(const char* mode) {
        const fs::path child =
            fs::read_symlink("/proc/self/exe").parent_path() / "diagnostics_marker_child";
        return std::make_unique<testing::ChildProcess>(std::vector<std::string>{
            child.string(), mode, (dir_ / "registry").string(), (dir_ / "lock").string()});
    }
    // The lines a start printed up to "ready".
    static std::vector<std::string> Lines(testing::ChildProcess& p) {
        std::vector<std::string> lines;
        for (std::string line = p.ReadLine(); !line.empty(); line = p.ReadLine()) {
            lines.push_back(line);
            if (line == "ready")
                break;
        }
        return lines;
    }
    std::optional<uint32_t> Marker() {
        return RegistryStore(dir_ / "registry")
            .GetDword(HKEY_CURRENT_USER, "SOFTWARE\\DIZIZIZUZUZO", "EXIT_Orvane");
    }
};

TEST_F(ExitMarkerProcesses, AKilledRunIsReportedAtTheNextStartOnly) {
    auto killed = Start("stay");
    EXPECT_EQ(Lines(*killed), (std::vector<std::string>{"only", "ready"}));
    EXPECT_EQ(Marker(), 1u);
    killed->Kill(SIGKILL);
    EXPECT_NE(killed->Wait(std::chrono::seconds(20)), -1);

    auto next = Start("exit");
    EXPECT_EQ(Lines(*next), (std::vector<std::string>{"abnormal", "only", "ready"}));
    EXPECT_NE(next->Wait(std::chrono::seconds(20)), -1);
    EXPECT_EQ(Marker(), 0u);

    auto after = Start("exit");
    EXPECT_EQ(Lines(*after), (std::vector<std::string>{"only", "ready"}));
}

TEST_F(ExitMarkerProcesses, ASecondRunningInstanceLeavesTheMarkerAlone) {
    auto first = Start("stay");
    EXPECT_EQ(Lines(*first), (std::vector<std::string>{"only", "ready"}));
    auto second = Start("exit");
    EXPECT_EQ(Lines(*second), (std::vector<std::string>{"second", "ready"}));
    EXPECT_NE(second->Wait(std::chrono::seconds(20)), -1);
    EXPECT_EQ(Marker(), 1u);  // the first still runs
    first->CloseInput();      // ends it normally
    EXPECT_NE(first->Wait(std::chrono::seconds(20)), -1);
    EXPECT_EQ(Marker(), 0u);
}

}  // namespace
}  // namespace ov::diagnostics
