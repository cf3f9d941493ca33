// The diagnostics toolkit, one per program and initialised first thing: it notices that the
// previous run did not end cleanly, and writes a plain-text report when a fatal signal or an
// uncaught exception ends the program, when an assertion fails and when the GUI thread hangs
// (or the user asks with Ctrl+Alt+Shift+F12).
//
// The instance mutex is a lock file ("OnlyInstance_<id>.lock"); the exit marker is the value
// "EXIT_<id>" of the marker store (the registry in the program). Reports land in the report
// directory (0700), one file each (0600): a fatal signal's as "exception-....raw", finished into
// ".txt" with named frames by the next start; the others finished at once.
//
//   class Diagnostics : public OVDizizIzuzuzo { void OnAbnormalExit() override { ... } };
//   Diagnostics toolkit(options);
//   toolkit.Init();
//   ... a timer on the GUI thread: toolkit.Heartbeat() ...
//   toolkit.MarkCleanExit();   // at a normal end
#pragma once

#include <signal.h>
#include <ucontext.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ov::diagnostics {

class HangWatchdog;

// Where the exit marker lives: the registry's "SOFTWARE\DIZIZIZUZUZO" in the program.
class MarkerStore {
public:
    virtual ~MarkerStore() = default;
    // Opens the key, creating it when missing (*created says so); false when it cannot.
    virtual bool OpenKey(bool* created) = 0;
    virtual std::optional<uint32_t> Get(const std::string& name) = 0;
    virtual void Set(const std::string& name, uint32_t value) = 0;
};

struct ToolkitOptions {
    std::string applicationId = "Orvane";
    std::filesystem::path reportDirectory;
    std::filesystem::path lockDirectory;  // where the instance lock file is kept
    MarkerStore* marker = nullptr;        // none: no abnormal-exit check
    bool reportExceptions = true;         // fatal signals and uncaught C++ exceptions
    bool detectHangs = true;
    bool detectUserHangs = true;
    std::chrono::milliseconds hangAfter{10000};
    std::chrono::milliseconds pollEvery{250};  // the watchdog's look at the beat and the keys
    // Whether the user-hang keys are held; the X display's keyboard when null.
    std::function<bool()> userHangKeysHeld;
    // The program's header lines (program, version, build, time) that open the system report.
    std::function<std::string()> header;
    // Text for a file: the system report's bytes from its UTF-8 text. As it is when null.
    std::function<std::string(std::string_view)> encode;
    // Told a line for every report written (the diagnostics log).
    std::function<void(const std::string&)> log;
};

class OVDizizIzuzuzo {
public:
    explicit OVDizizIzuzuzo(ToolkitOptions options);
    virtual ~OVDizizIzuzuzo();
    OVDizizIzuzuzo(const OVDizizIzuzuzo&) = delete;
    OVDizizIzuzuzo& operator=(const OVDizizIzuzuzo&) = delete;

    // Once per process, on the GUI thread. False when it had run already.
    bool Init();
    // The previous run of the only instance did not end cleanly.
    virtual void OnAbnormalExit() {}
    void MarkCleanExit();
    bool OnlyInstance() const { return onlyInstance_; }

    // The GUI thread is alive; called from its event loop at least once a second.
    void Heartbeat();

    // The report of a fatal signal, written from the signal handler (async-signal-safe).
    void ReportException(int signo, const siginfo_t* info, const ucontext_t* context);
    // The GUI thread's state when it hangs (from the watchdog) or when the user asks. Returns
    // the report written (empty when none could be).
    std::filesystem::path ReportHang(bool userTriggered);
    std::filesystem::path ReportAssert(const char* condition, const char* file, unsigned long line,
                                       const char* text);
    // The full system report in one file (not in the report directory: the crash path puts
    // it on the desktop).
    bool WriteSystemReport(const std::filesystem::path& path);

    // Reports written since the previous run of the only instance began (the ones it left
    // behind, finished at Init), oldest first.
    std::vector<std::filesystem::path> PreviousRunReports() const;

private:
    bool CheckOnlyInstance();
    void CheckAbnormalExit();
    void InstallExceptionReporting();
    void InstallHangReporting();
    // A new report file "<kind>-<time>-<pid>[-n].txt", opened 0600; -1 when it cannot be.
    int CreateReport(const char* kind, std::filesystem::path* path);

    const ToolkitOptions options_;
    bool initialised_ = false;
    bool onlyInstance_ = false;
    int lockFd_ = -1;
    std::time_t previousStart_ = 0;  // when the previous run of the only instance began
    pthread_t guiThread_{};
    std::unique_ptr<HangWatchdog> watchdog_;
    std::mutex reportMutex_;  // guards the capture of the GUI thread: one hang report at a time
    std::vector<std::pair<int, struct sigaction>> previousActions_;
    void* alternateStack_ = nullptr;
    std::terminate_handler previousTerminate_ = nullptr;
};

}  // namespace ov::diagnostics
