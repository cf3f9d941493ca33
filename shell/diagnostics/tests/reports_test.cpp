// The reports written without a crash: the assertion, the system report, the log, and the
// pieces a crash report is made of, checked in this process.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <thread>

#include "shell/diagnostics/call_stack.h"
#include "shell/diagnostics/diagnostics_log.h"
#include "shell/diagnostics/hang_watchdog.h"
#include "shell/diagnostics/loaded_modules.h"
#include "shell/diagnostics/machine_context.h"
#include "shell/diagnostics/raw_report.h"
#include "shell/diagnostics/signal_names.h"
#include "shell/diagnostics/system_report.h"
#include "shell/diagnostics/tests/temp_folder_test.h"
#include "shell/diagnostics/toolkit.h"

namespace ov::diagnostics {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Reports : public testing::TempFolderTest {
protected:
    ToolkitOptions Options() {
        ToolkitOptions o;
        o.reportDirectory = dir_ / "reports";
        o.lockDirectory = dir_ / "lock";
        o.reportExceptions = false;
        o.detectHangs = false;
        o.log = [this](const std::string& line) { logged_.push_back(line); };
        return o;
    }
    std::vector<std::string> logged_;
};

TEST_F(Reports, AnAssertionSaysWhatFailedWhereWithTheContextAndModules) {
    OVDizizIzuzuzo toolkit(Options());
    toolkit.Init();
    errno = ENOENT;
    const fs::path path = toolkit.ReportAssert("count == 3", "buddy_tree.cpp", 42, "lost a buddy");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(fs::status(dir_ / "reports").permissions() & fs::perms::all, fs::perms::owner_all);
    const std::string report = Read(path);
    EXPECT_EQ(report.rfind("ASSERT : Condition count == 3 : buddy_tree.cpp : Line 42 : lost a "
                           "buddy : Last Error : 2\r\nContext : \r\n"
                           "------------- Context ----------------\r\nRegister RAX : 0x",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find("\r\nLoaded Modules : \r\n"), std::string::npos);
    EXPECT_NE(report.find("diagnostics_tests : 0x"), std::string::npos);
    ASSERT_EQ(logged_.size(), 1u);
    EXPECT_EQ(logged_[0], "Assertion report: " + path.string());
}

TEST_F(Reports, ARawReportLeftByTheLastRunIsFinishedAndOfferedAtTheNextStart) {
    // A report as a handler leaves it, for an address inside this very test.
    std::string raw = "Exception Caught ... Exception Details\r\nLast Error : 0\r\n";
    {
        ReportText out(&raw);
        uintptr_t frames[4];
        const int n = CaptureCallStack(nullptr, frames, 4);
        WriteRawCallStack(out, frames, n);
        WriteMemoryMapSection(out);
    }
    {
        OVDizizIzuzuzo before(Options());  // the run that is to leave it
        before.Init();
    }
    fs::create_directories(dir_ / "reports");
    std::ofstream(dir_ / "reports" / "exception-1-1.raw", std::ios::binary) << raw;
    std::ofstream(dir_ / "reports" / "old.txt") << "a report of long ago";
    fs::last_write_time(dir_ / "reports" / "old.txt",
                        fs::file_time_type::clock::now() - std::chrono::hours(48));

    OVDizizIzuzuzo toolkit(Options());
    toolkit.Init();
    EXPECT_FALSE(fs::exists(dir_ / "reports" / "exception-1-1.raw"));
    const std::string report = Read(dir_ / "reports" / "exception-1-1.txt");
    EXPECT_NE(report.find("reports_test.cpp"), std::string::npos) << report;
    EXPECT_NE(report.find("ARawReportLeftByTheLastRun"), std::string::npos) << report;
    EXPECT_EQ(toolkit.PreviousRunReports(),
              std::vector<fs::path>{dir_ / "reports" / "exception-1-1.txt"});
    ASSERT_EQ(logged_.size(), 1u);
}

TEST_F(Reports, TheStackDumpShowsUnreadableRowsWithoutFaulting) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    auto* area = static_cast<uint8_t*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(area, MAP_FAILED);
    ASSERT_EQ(mprotect(area + page, page, PROT_NONE), 0);
    std::memcpy(area + page - 16, "Orvane stack!\0\x01\x7f", 16);
    static StackCopy copy;  // large for a test's own stack
    CopyStack(reinterpret_cast<uintptr_t>(area + page - 16), &copy);
    std::string dump;
    {
        ReportText out(&dump);
        WriteStackDump(out, copy);
    }
    munmap(area, 2 * page);
    const auto rows = std::count(dump.begin(), dump.end(), '\n');
    EXPECT_EQ(rows, static_cast<long>(1 + kStackDumpBytes / kStackDumpRow));
    std::ostringstream first;
    first << "0x" << std::hex << std::setw(16) << std::setfill('0')
          << reinterpret_cast<uintptr_t>(area + page - 16)
          << " : 4F727661 6E652073 7461636B 2100017F  Orvane stack!...\r\n";
    EXPECT_NE(dump.find(first.str()), std::string::npos) << dump.substr(0, 400);
    EXPECT_NE(dump.find(" : ****\r\n"), std::string::npos);
}

TEST_F(Reports, SignalsAreNamedWithTheirCodes) {
    EXPECT_EQ(SignalDescription(SIGSEGV, SEGV_MAPERR), "SIGSEGV / SEGV_MAPERR");
    EXPECT_EQ(SignalDescription(SIGSEGV, SEGV_ACCERR), "SIGSEGV / SEGV_ACCERR");
    EXPECT_EQ(SignalDescription(SIGFPE, FPE_INTDIV), "SIGFPE / FPE_INTDIV");
    EXPECT_EQ(SignalDescription(SIGBUS, BUS_ADRERR), "SIGBUS / BUS_ADRERR");
    EXPECT_EQ(SignalDescription(SIGILL, ILL_ILLOPC), "SIGILL / ILL_ILLOPC");
    EXPECT_EQ(SignalDescription(SIGABRT, SI_TKILL), "SIGABRT / SI_TKILL");
    EXPECT_EQ(SignalDescription(SIGSEGV, SI_KERNEL), "SIGSEGV / SI_KERNEL");
    EXPECT_EQ(SignalDescription(SIGSEGV, 99), "SIGSEGV");
    EXPECT_EQ(SignalDescription(77, 0), "Unknown Exception");
}

TEST_F(Reports, TheWatchdogReportsAHangOnceAndTheUserKeysOncePerPress) {
    std::atomic<bool> keys{false};
    std::atomic<int> polls{0};
    std::atomic<int> hangs{0};
    std::atomic<int> userHangs{0};
    HangWatchdog dog(
        std::chrono::milliseconds(100), std::chrono::milliseconds(5),
        [&] {
            ++polls;
            return keys.load();
        },
        [&](bool user) { ++(user ? userHangs : hangs); });
    dog.Start();
    // Waits (bounded) for a count to reach a value.
    auto reaches = [](std::atomic<int>& count, int value) {
        for (int i = 0; i < 2000 && count.load() < value; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return count.load() >= value;
    };
    // No beat yet: a start-up that takes long is no hang.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(hangs.load(), 0);
    dog.Beat();
    EXPECT_TRUE(reaches(hangs, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(hangs.load(), 1);  // the same hang goes on
    dog.Beat();
    EXPECT_TRUE(reaches(hangs, 2));  // a new one after the thread came back

    keys = true;
    EXPECT_TRUE(reaches(userHangs, 1));
    EXPECT_TRUE(reaches(polls, polls.load() + 3));
    EXPECT_EQ(userHangs.load(), 1);  // held down: one report
    keys = false;
    EXPECT_TRUE(reaches(polls, polls.load() + 2));  // the release is seen
    keys = true;
    EXPECT_TRUE(reaches(userHangs, 2));
    dog.Stop();
}

TEST_F(Reports, TheSystemReportDescribesThisMachine) {
    ToolkitOptions options = Options();
    options.header = [] { return std::string("Orvane 0.1\r\n"); };
    OVDizizIzuzuzo toolkit(options);
    const fs::path path = dir_ / "OVCrash.TXT";
    ASSERT_TRUE(toolkit.WriteSystemReport(path));
    const std::string report = Read(path);
    EXPECT_EQ(report.rfind("Orvane 0.1\r\n", 0), 0u);
    // What the machine says of itself, read here the plain way.
    std::string pretty;
    {
        std::ifstream in("/etc/os-release");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("PRETTY_NAME=", 0) == 0)
                pretty = line.substr(12);
        }
        pretty.erase(std::remove(pretty.begin(), pretty.end(), '"'), pretty.end());
    }
    std::string model;
    {
        std::ifstream in("/proc/cpuinfo");
        for (std::string line; std::getline(in, line) && model.empty();) {
            if (line.rfind("model name", 0) == 0)
                model = line.substr(line.find(':') + 2);
        }
    }
    std::size_t at = 0;
    for (const std::string& part :
         {std::string("系统目录: /"), std::string("Windows目录: /\r\n"), pretty,
          std::string("Processor : "), model, std::string("(/) "), std::string(" MB free of "),
          std::string("\r\nLoaded Modules : \r\n"), std::string("\r\nRunning Tasks : \r\n"),
          std::string("No Tasks: "), std::string("\r\nFree Disk Space : ")}) {
        const std::size_t found = report.find(part, at);
        ASSERT_NE(found, std::string::npos) << "no \"" << part << "\" in order:\n" << report;
        at = found + part.size();
    }
    EXPECT_TRUE(report.find("\r\nno printer\r\n") != std::string::npos ||
                report.find("\r\nDevice ") != std::string::npos);
}

TEST_F(Reports, TheLogRotatesAtOneMegabyteAndKeepsThreeFiles) {
    DiagnosticsLog log(dir_ / "orvane.log",
                       [](std::string_view text) { return "<" + std::string(text) + ">"; });
    log.Write("first");
    EXPECT_NE(Read(dir_ / "orvane.log").find("]\r\n<first>\r\n"), std::string::npos);
    const std::string entry(100 * 1024, 'x');
    for (int i = 0; i < 40; ++i)
        log.Write(entry);
    for (const char* name : {"orvane.log", "orvane.log.1", "orvane.log.2"}) {
        ASSERT_TRUE(fs::exists(dir_ / name)) << name;
        EXPECT_LE(fs::file_size(dir_ / name), DiagnosticsLog::kRotateAt) << name;
        EXPECT_EQ(fs::status(dir_ / name).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_FALSE(fs::exists(dir_ / "orvane.log.3"));
    EXPECT_EQ(Read(dir_ / "orvane.log").find("<first>"), std::string::npos);
}

TEST_F(Reports, TextThatIsNoRawReportIsLeftAsItIs) {
    EXPECT_FALSE(ParseRawReport("Hang detected\r\n"));
    EXPECT_EQ(FinishRawReport("Hang detected\r\n"), "Hang detected\r\n");
    const std::string raw =
        "x\r\n------------- Call Stack ----------------\r\n    address: 00000000DEADBEEF\r\n"
        "    address: zz\r\n    address: 12\r\n" +
        std::string(kMemoryMapHeading) + "00400000-00401000 r-xp 00000000 00:00 0 /nowhere\n";
    const auto parsed = ParseRawReport(raw);  // views into raw
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->before, "x\r\n");
    EXPECT_EQ(parsed->frames, (std::vector<uintptr_t>{0xDEADBEEF, 0x12}));
    // A map whose files are gone names nothing, and says so.
    const std::string finished = FinishRawReport(
        "x\r\n------------- Call Stack ----------------\r\n    address: 0000000000400010\r\n" +
        std::string(kMemoryMapHeading) + "00400000-00401000 r-xp 00000000 00:00 0 /nowhere\n");
    EXPECT_NE(finished.find("  line: <unknown>\r\n    function: <unknown>\r\n"), std::string::npos)
        << finished;
}

}  // namespace
}  // namespace ov::diagnostics
