#include "shell/diagnostics/toolkit.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>

#include "shell/diagnostics/call_stack.h"
#include "shell/diagnostics/hang_watchdog.h"
#include "shell/diagnostics/loaded_modules.h"
#include "shell/diagnostics/machine_context.h"
#include "shell/diagnostics/raw_report.h"
#include "shell/diagnostics/report_text.h"
#include "shell/diagnostics/signal_names.h"
#include "shell/diagnostics/symbolizer.h"
#include "shell/diagnostics/system_report.h"
#include "shell/diagnostics/task_list.h"
#include "shell/diagnostics/user_hang_keys.h"

namespace ov::diagnostics {

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers report fatal signals themselves, better than a report could.
constexpr bool kSanitizersOwnFatalSignals = true;
#else
constexpr bool kSanitizersOwnFatalSignals = false;
#endif

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Asks the GUI thread for its state; nothing else in the program uses it.
constexpr int kCaptureSignal = SIGUSR2;
constexpr std::size_t kAlternateStackSize = 64 * 1024;

// What the signal handlers reach: prepared at Init, since a handler may not allocate.
std::atomic<OVDizizIzuzuzo*> g_toolkit{nullptr};
char g_exceptionPath[PATH_MAX];
char g_uncaught[512];  // what the terminate handler saw, for the report of its abort
StackCopy g_stack;
uintptr_t g_frames[kMaxFrames];

// The GUI thread's state, taken by the capture signal's handler on that thread.
struct ThreadCapture {
    ucontext_t context;
#if defined(__x86_64__)
    _libc_fpstate fpu;
#endif
    int lastError = 0;
    uintptr_t frames[kMaxFrames];
    int frameCount = 0;
    StackCopy stack;
    sem_t done;
};
ThreadCapture g_capture;

void OnFatalSignal(int signo, siginfo_t* info, void* context) {
    static std::atomic<bool> entered{false};
    const int saved = errno;
    if (!entered.exchange(true)) {
        if (OVDizizIzuzuzo* toolkit = g_toolkit.load()) {
            errno = saved;
            toolkit->ReportException(signo, info, static_cast<const ucontext_t*>(context));
        }
    }
    // The action is the default again (SA_RESETHAND): raised once more, the signal ends the
    // process as it would have without the report, as soon as the handler returns.
    ::raise(signo);
}

void OnCaptureSignal(int, siginfo_t*, void* context) {
    const int saved = errno;
    const auto* c = static_cast<const ucontext_t*>(context);
    g_capture.lastError = saved;
    g_capture.context = *c;
#if defined(__x86_64__)
    // The floating-point state lives in the signal frame, gone once the handler returns.
    if (c->uc_mcontext.fpregs != nullptr) {
        g_capture.fpu = *c->uc_mcontext.fpregs;
        g_capture.context.uc_mcontext.fpregs = &g_capture.fpu;
    }
#endif
    CopyStack(StackPointerOf(*c), &g_capture.stack);
    g_capture.frameCount = CaptureCallStack(c, g_capture.frames, kMaxFrames);
    sem_post(&g_capture.done);
    errno = saved;
}

[[noreturn]] void OnUncaughtException() {
    std::string what = "Uncaught C++ exception";
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        what += ": " + Demangled(type->name());
        try {
            throw;
        } catch (const std::exception& e) {
            what += std::string(": ") + e.what();
        } catch (...) {
        }
    }
    std::strncpy(g_uncaught, what.c_str(), sizeof g_uncaught - 1);
    std::abort();  // the abort's report carries the text above
}

std::string TimeStamp(std::time_t t, const char* format) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// Creates what is missing of the path, each folder 0700: reports and the data home they live
// in are the user's alone.
void MakePrivateDirectory(const std::filesystem::path& directory) {
    std::filesystem::path path;
    for (const auto& part : directory) {
        path /= part;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return;
    }
    ::chmod(directory.c_str(), 0700);
}

}  // namespace

OVDizizIzuzuzo::OVDizizIzuzuzo(ToolkitOptions options) : options_(std::move(options)) {}

OVDizizIzuzuzo::~OVDizizIzuzuzo() {
    if (watchdog_)
        watchdog_->Stop();
    for (const auto& [signo, action] : previousActions_)
        ::sigaction(signo, &action, nullptr);
    if (previousTerminate_ != nullptr)
        std::set_terminate(previousTerminate_);
    if (g_toolkit.load() == this)
        g_toolkit.store(nullptr);
    if (alternateStack_ != nullptr) {
        stack_t none{};
        none.ss_flags = SS_DISABLE;
        ::sigaltstack(&none, nullptr);
        ::munmap(alternateStack_, kAlternateStackSize);
    }
    if (lockFd_ >= 0)
        ::close(lockFd_);  // the instance lock goes with it
}

bool OVDizizIzuzuzo::Init() {
    if (initialised_)
        return false;
    initialised_ = true;
    guiThread_ = ::pthread_self();
    onlyInstance_ = CheckOnlyInstance();
    if (onlyInstance_)
        CheckAbnormalExit();
    OVDizizIzuzuzo* none = nullptr;
    const bool first = g_toolkit.compare_exchange_strong(none, this);
    // Handlers are process-wide: a second toolkit in one process (tests) only checks the marker.
    if (first) {
        if (options_.reportExceptions && !kSanitizersOwnFatalSignals)
            InstallExceptionReporting();
        if (options_.detectHangs)
            InstallHangReporting();
    }
    return true;
}

bool OVDizizIzuzuzo::CheckOnlyInstance() {
    if (options_.lockDirectory.empty())
        return false;
    MakePrivateDirectory(options_.lockDirectory);
    const std::filesystem::path lock =
        options_.lockDirectory / ("OnlyInstance_" + options_.applicationId + ".lock");
    lockFd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0)
        return false;
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd_);
        lockFd_ = -1;
        return false;
    }
    // The lock file tells when the previous only instance began, so that its reports can be
    // told from older ones; then it tells this one's.
    char text[64] = {};
    if (::pread(lockFd_, text, sizeof text - 1, 0) > 0) {
        long long pid = 0;
        long long start = 0;
        if (std::sscanf(text, "%lld %lld", &pid, &start) == 2)
            previousStart_ = static_cast<std::time_t>(start);
    }
    const std::string now =
        std::to_string(::getpid()) + " " + std::to_string(std::time(nullptr)) + "\n";
    if (::ftruncate(lockFd_, 0) == 0)
        (void)!::pwrite(lockFd_, now.data(), now.size(), 0);
    return true;
}

void OVDizizIzuzuzo::CheckAbnormalExit() {
    // A crash of the previous run left its report unfinished: its frames are named now, so
    // that the report is whole before anyone is offered it.
    if (!options_.reportDirectory.empty()) {
        for (const auto& done : FinishRawReports(options_.reportDirectory)) {
            if (options_.log)
                options_.log("Exception report: " + done.string());
        }
    }
    if (options_.marker == nullptr)
        return;
    bool created = false;
    if (!options_.marker->OpenKey(&created))
        return;
    const std::string name = "EXIT_" + options_.applicationId;
    if (!created && options_.marker->Get(name) == 1u)
        OnAbnormalExit();
    options_.marker->Set(name, 1);
}

void OVDizizIzuzuzo::MarkCleanExit() {
    if (!onlyInstance_ || options_.marker == nullptr)
        return;
    bool created = false;
    if (options_.marker->OpenKey(&created))
        options_.marker->Set("EXIT_" + options_.applicationId, 0);
}

void OVDizizIzuzuzo::InstallExceptionReporting() {
    if (options_.reportDirectory.empty())
        return;
    MakePrivateDirectory(options_.reportDirectory);
    const std::string path =
        (options_.reportDirectory / ("exception-" + TimeStamp(std::time(nullptr), "%Y%m%d-%H%M%S") +
                                     "-" + std::to_string(::getpid()) + ".raw"))
            .string();
    if (path.size() >= sizeof g_exceptionPath)
        return;
    std::memcpy(g_exceptionPath, path.c_str(), path.size() + 1);
    PrepareCallStack();
    // A stack of its own, so that a stack overflow on the GUI thread still gets its report.
    void* stack = ::mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (stack != MAP_FAILED) {
        stack_t alternate{};
        alternate.ss_sp = stack;
        alternate.ss_size = kAlternateStackSize;
        if (::sigaltstack(&alternate, nullptr) == 0)
            alternateStack_ = stack;
        else
            ::munmap(stack, kAlternateStackSize);
    }
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    for (int signo : kFatalSignals) {
        struct sigaction previous {};
        if (::sigaction(signo, &action, &previous) == 0)
            previousActions_.emplace_back(signo, previous);
    }
    previousTerminate_ = std::set_terminate(OnUncaughtException);
}

void OVDizizIzuzuzo::InstallHangReporting() {
    PrepareCallStack();
    sem_init(&g_capture.done, 0, 0);
    struct sigaction action {};
    action.sa_sigaction = OnCaptureSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    struct sigaction previous {};
    if (::sigaction(kCaptureSignal, &action, &previous) == 0)
        previousActions_.emplace_back(kCaptureSignal, previous);
    std::function<bool()> keys = options_.userHangKeysHeld;
    if (options_.detectUserHangs && !keys) {
        // Opened on the watchdog's thread, the only one that asks.
        keys = [display = std::shared_ptr<UserHangKeys>()]() mutable {
            if (!display)
                display = std::make_shared<UserHangKeys>();
            return display->Held();
        };
    }
    if (!options_.detectUserHangs)
        keys = nullptr;
    watchdog_ =
        std::make_unique<HangWatchdog>(options_.hangAfter, options_.pollEvery, std::move(keys),
                                       [this](bool user) { ReportHang(user); });
    watchdog_->Start();
}

void OVDizizIzuzuzo::Heartbeat() {
    if (watchdog_)
        watchdog_->Beat();
}

void OVDizizIzuzuzo::ReportException(int signo, const siginfo_t* info, const ucontext_t* context) {
    const int lastError = errno;
    if (g_exceptionPath[0] == '\0')
        return;
    const int fd = ::open(g_exceptionPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    {
        ReportText out(fd);
        out.Put("Exception Caught ... Exception Details\r\n");
        out.Put("Last Error : ").Dec(static_cast<unsigned>(lastError)).Put("\r\n");
        if (signo == SIGABRT && g_uncaught[0] != '\0') {
            out.Put(g_uncaught);
        } else if (const char* name = SignalName(signo)) {
            out.Put(name);
            if (const char* code = SignalCodeName(signo, info != nullptr ? info->si_code : 0))
                out.Put(" / ").Put(code);
        } else {
            out.Put("Unknown Exception");
        }
        out.Put("\r\n");
        if (context != nullptr) {
            WriteRegisters(out, *context);
            CopyStack(StackPointerOf(*context), &g_stack);
            WriteStackDump(out, g_stack);
        }
        out.Put("\r\n");
        const int n = CaptureCallStack(context, g_frames, kMaxFrames);
        WriteRawCallStack(out, g_frames, n);
        WriteMemoryMapSection(out);
    }
    ::close(fd);
}

int OVDizizIzuzuzo::CreateReport(const char* kind, std::filesystem::path* path) {
    if (options_.reportDirectory.empty())
        return -1;
    MakePrivateDirectory(options_.reportDirectory);
    const std::string stem = std::string(kind) + "-" +
                             TimeStamp(std::time(nullptr), "%Y%m%d-%H%M%S") + "-" +
                             std::to_string(::getpid());
    for (int n = 0; n < 1000; ++n) {
        *path = options_.reportDirectory /
                (stem + (n == 0 ? std::string() : "-" + std::to_string(n)) + ".txt");
        const int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

std::filesystem::path OVDizizIzuzuzo::ReportHang(bool userTriggered) {
    std::unique_lock lock(reportMutex_);
    bool captured = false;
    if (g_toolkit.load() == this) {
        while (sem_trywait(&g_capture.done) == 0) {
        }
        if (::pthread_kill(guiThread_, kCaptureSignal) == 0) {
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_sec += 2;
            while (!(captured = sem_timedwait(&g_capture.done, &until) == 0) && errno == EINTR) {
            }
        }
    }
    std::filesystem::path path;
    const int fd = CreateReport(userTriggered ? "userhang" : "hang", &path);
    if (fd < 0)
        return {};
    {
        ReportText out(fd);
        out.Put(userTriggered ? "User hang detected\r\n" : "Hang detected\r\n");
        out.Put("Last Error : ").Dec(captured ? static_cast<unsigned>(g_capture.lastError) : 0);
        out.Put("\r\n");
        out.Put("\r\nContext : \r\n");
        if (captured) {
            WriteRegisters(out, g_capture.context);
            WriteStackDump(out, g_capture.stack);
        } else {
            out.Put("The thread did not answer.\r\n");
        }
        out.Put("CONTEXT : ");
        std::vector<Frame> frames;
        if (captured) {
            if (const auto names = Symbolizer::ForThisProcess())
                frames = names->Resolve(g_capture.frames, g_capture.frameCount);
        }
        WriteCallStack(out, frames);
        out.Put("\r\nLoaded Modules : \r\n");
        WriteModuleList(out, LoadedModules());
        out.Put("\r\nRunning Tasks : \r\n");
        WriteTaskList(out);
    }
    ::close(fd);
    lock.unlock();  // the log is told without it
    if (options_.log)
        options_.log(std::string(userTriggered ? "User hang" : "Hang") +
                     " report: " + path.string());
    return path;
}

std::filesystem::path OVDizizIzuzuzo::ReportAssert(const char* condition, const char* file,
                                                   unsigned long line, const char* text) {
    const int lastError = errno;
    ucontext_t context;
    const bool haveContext = getcontext(&context) == 0;
    std::filesystem::path path;
    const int fd = CreateReport("assert", &path);
    if (fd < 0)
        return {};
    {
        ReportText out(fd);
        out.Put("ASSERT : Condition ").Put(condition != nullptr ? condition : "");
        out.Put(" : ").Put(file != nullptr ? file : "").Put(" : Line ").Dec(line);
        out.Put(" : ").Put(text != nullptr ? text : "");
        out.Put(" : Last Error : ").Dec(static_cast<unsigned>(lastError));
        out.Put("\r\nContext : \r\n");
        if (haveContext)
            WriteRegisters(out, context);
        out.Put("\r\nLoaded Modules : \r\n");
        WriteModuleList(out, LoadedModules());
    }
    ::close(fd);
    if (options_.log)
        options_.log("Assertion report: " + path.string());
    return path;
}

bool OVDizizIzuzuzo::WriteSystemReport(const std::filesystem::path& path) {
    const std::string text = SystemReportText(options_.header ? options_.header() : std::string());
    return WritePrivateFile(path.string(), options_.encode ? options_.encode(text) : text);
}

std::vector<std::filesystem::path> OVDizizIzuzuzo::PreviousRunReports() const {
    std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> found;
    std::error_code ec;
    // The start is known to the second: a report of that same second counts.
    const auto since = std::filesystem::file_time_type::clock::now() -
                       std::chrono::seconds(std::time(nullptr) - previousStart_ + 1);
    for (const auto& entry : std::filesystem::directory_iterator(options_.reportDirectory, ec)) {
        if (entry.path().extension() != ".txt")
            continue;
        const auto written = entry.last_write_time(ec);
        if (!ec && previousStart_ != 0 && written >= since)
            found.emplace_back(written, entry.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::filesystem::path> paths;
    for (auto& [when, path] : found)
        paths.push_back(std::move(path));
    return paths;
}

}  // namespace ov::diagnostics
