// Programs that crash, abort, throw and hang on purpose leave reports with every section in
// order, a call stack that names the failing function and its file, and a stack dump that
// reaches an unreadable page. The reports are finished here, as the next start would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/diagnostics/raw_report.h"
#include "shell/diagnostics/tests/child_process.h"
#include "shell/diagnostics/tests/temp_folder_test.h"

namespace ov::diagnostics {
namespace {

namespace fs = std::filesystem;

class CrashReport : public testing::TempFolderTest {
protected:
    // Runs the child in that mode and returns its finished report.
    std::string RunAndReport(const std::string& mode, int* status) {
        const fs::path child =
            fs::read_symlink("/proc/self/exe").parent_path() / "diagnostics_crash_child";
        testing::ChildProcess process({child.string(), mode, dir_.string()});
        EXPECT_TRUE(process.Started());
        *status = process.Wait(std::chrono::seconds(60));
        FinishRawReports(dir_);
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().extension() == ".txt") {
                EXPECT_EQ(fs::status(entry.path()).permissions() & fs::perms::all,
                          fs::perms::owner_read | fs::perms::owner_write);
                std::ifstream in(entry.path(), std::ios::binary);
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
        }
        return {};
    }
};

// The positions of the texts in the report, each after the one before; npos once one is
// missing or out of order.
std::size_t InOrder(const std::string& report, const std::vector<std::string>& texts) {
    std::size_t at = 0;
    for (const std::string& t : texts) {
        at = report.find(t, at);
        if (at == std::string::npos)
            return at;
        at += t.size();
    }
    return at;
}

// The frame of the call stack that names the function, as its block of lines.
std::string FrameOf(const std::string& report, const std::string& function) {
    const std::size_t name = report.find("    function: " + function);
    if (name == std::string::npos)
        return {};
    const std::size_t start = report.rfind("    address: ", name);
    return report.substr(start, report.find("\r\n", name) - start);
}

void ExpectExceptionReport(const std::string& report, const std::string& description,
                           const std::string& function) {
    EXPECT_NE(InOrder(report, {"Exception Caught ... Exception Details\r\n", "Last Error : ",
                               description, "------------- Context ----------------\r\n",
                               "Register RAX : 0x", "Register RIP : 0x", "Register EFL : 0x",
                               "Register CS : 0x", "Register FCW : 0x",
                               "------------- Stack ----------------\r\n", " : ****\r\n",
                               "------------- Call Stack ----------------\r\n", "    address: "}),
              std::string::npos)
        << report;
    const std::string frame = FrameOf(report, function);
    EXPECT_NE(frame.find("  file: "), std::string::npos) << report;
    EXPECT_NE(frame.find("crash_child.cpp"), std::string::npos) << frame;
    EXPECT_NE(frame.find("  line: "), std::string::npos) << frame;
    EXPECT_EQ(frame.find("  line: <unknown>"), std::string::npos) << frame;
    EXPECT_NE(frame.find("diagnostics_crash_child"), std::string::npos) << frame;
    // What only the handler needed is gone.
    EXPECT_EQ(report.find("Memory Map"), std::string::npos);
}

TEST_F(CrashReport, ANullPointerIsNamedWithItsFunctionAndFile) {
    int status = 0;
    const std::string report = RunAndReport("null", &status);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    ExpectExceptionReport(report, "SIGSEGV / SEGV_MAPERR\r\n",
                          "(anonymous namespace)::CrashByNullPointer()");
}

TEST_F(CrashReport, AnAbortIsReportedAndStillEndsTheProgram) {
    int status = 0;
    const std::string report = RunAndReport("abort", &status);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
    ExpectExceptionReport(report, "SIGABRT / SI_TKILL\r\n",
                          "(anonymous namespace)::AbortOnPurpose()");
}

TEST_F(CrashReport, AnUncaughtExceptionSaysWhatWasThrown) {
    int status = 0;
    const std::string report = RunAndReport("throw", &status);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
    ExpectExceptionReport(report,
                          "Uncaught C++ exception: std::runtime_error: thrown on purpose\r\n",
                          "(anonymous namespace)::ThrowUncaught()");
}

TEST_F(CrashReport, AHungGuiThreadIsShownWhereItWaits) {
    int status = 0;
    const std::string report = RunAndReport("hang", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(InOrder(report, {"Hang detected\r\n", "Last Error : ", "\r\nContext : \r\n",
                               "------------- Context ----------------\r\n", "Register RSP : 0x",
                               "------------- Stack ----------------\r\n", " : ****\r\n",
                               "CONTEXT : ------------- Call Stack ----------------\r\n",
                               "\r\nLoaded Modules : \r\n", "diagnostics_crash_child : 0x",
                               "\r\nRunning Tasks : \r\n", "diagnostics_cra", "No Tasks: "}),
              std::string::npos)
        << report;
    const std::string frame = FrameOf(report, "(anonymous namespace)::SleepOnTheGuiThread()");
    EXPECT_NE(frame.find("crash_child.cpp"), std::string::npos) << report;
}

}  // namespace
}  // namespace ov::diagnostics
