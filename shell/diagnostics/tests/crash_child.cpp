// A program that ends badly on purpose, for the report tests:
//   diagnostics_crash_child <null|abort|throw|hang> <report directory>
// The failing function runs on a stack of its own with an unreadable page right above it, so
// that the stack dump reaches past the stack's end. Built without sanitizers.
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

#include "shell/diagnostics/toolkit.h"

namespace {

using ov::diagnostics::OVDizizIzuzuzo;

OVDizizIzuzuzo* g_toolkit = nullptr;
const char* g_mode = "";
ucontext_t g_main;

[[gnu::noinline]] void CrashByNullPointer() {
    volatile int* volatile pointer = nullptr;
    *pointer = 1;
}

[[gnu::noinline]] void AbortOnPurpose() {
    std::abort();
}

[[gnu::noinline]] void ThrowUncaught() {
    throw std::runtime_error("thrown on purpose");
}

[[gnu::noinline]] void SleepOnTheGuiThread() {
    g_toolkit->Heartbeat();
    timespec left{15, 0};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void RunMode() {
    if (std::strcmp(g_mode, "null") == 0)
        CrashByNullPointer();
    else if (std::strcmp(g_mode, "abort") == 0)
        AbortOnPurpose();
    else if (std::strcmp(g_mode, "throw") == 0)
        ThrowUncaught();
    else if (std::strcmp(g_mode, "hang") == 0)
        SleepOnTheGuiThread();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    g_mode = argv[1];
    ov::diagnostics::ToolkitOptions options;
    options.reportDirectory = argv[2];
    options.detectHangs = std::strcmp(g_mode, "hang") == 0;
    options.detectUserHangs = false;
    options.hangAfter = std::chrono::milliseconds(300);
    options.pollEvery = std::chrono::milliseconds(50);
    // The hang report is all this child is for: it ends once the report is written.
    options.log = [](const std::string&) { _exit(0); };
    OVDizizIzuzuzo toolkit(options);
    g_toolkit = &toolkit;
    toolkit.Init();

    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = 16 * page;
    auto* stack = static_cast<char*>(
        mmap(nullptr, size + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (stack == MAP_FAILED || mprotect(stack + size, page, PROT_NONE) != 0)
        return 3;
    ucontext_t context;
    getcontext(&context);
    context.uc_stack.ss_sp = stack;
    context.uc_stack.ss_size = size;
    context.uc_link = &g_main;
    makecontext(&context, RunMode, 0);
    swapcontext(&g_main, &context);
    return 4;  // every mode ends the program before this
}
