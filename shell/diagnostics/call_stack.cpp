#include "shell/diagnostics/call_stack.h"

#include <execinfo.h>

#include "shell/diagnostics/machine_context.h"

namespace ov::diagnostics {

namespace {

constexpr const char* kHeading = "------------- Call Stack ----------------\r\n";

void WriteAddress(ReportText& out, uintptr_t address) {
    out.Put("    address: ").Hex(address, 16, true).Put("\r\n");
}

}  // namespace

void PrepareCallStack() {
    void* frames[2];
    backtrace(frames, 2);
}

int CaptureCallStack(const ucontext_t* context, uintptr_t* out, int max) {
    void* frames[kMaxFrames + 16];
    const int n = backtrace(frames, kMaxFrames + 16);
    int first = 0;
    if (context != nullptr) {
        // The unwinder walks through the signal frame and reports the interrupted instruction
        // as it is; everything before it is the handler.
        const uintptr_t pc = InstructionPointerOf(*context);
        for (int i = 0; i < n; ++i) {
            if (reinterpret_cast<uintptr_t>(frames[i]) == pc) {
                first = i;
                break;
            }
        }
    }
    int count = 0;
    for (int i = first; i < n && count < max; ++i)
        out[count++] = reinterpret_cast<uintptr_t>(frames[i]);
    return count;
}

void WriteCallStack(ReportText& out, const std::vector<Frame>& frames) {
    out.Put(kHeading);
    for (const Frame& f : frames) {
        WriteAddress(out, f.address);
        if (f.module.empty())
            out.Put("  module not accessible\r\n");
        else
            out.Put("  module: ").Put(f.module).Put("\r\n");
        out.Put("  file: ").Put(f.file.empty() ? std::string_view("unknown") : f.file).Put("\r\n");
        if (f.line > 0)
            out.Put("  line: ").SignedDec(f.line).Put("\r\n");
        else
            out.Put("  line: <unknown>\r\n");
        out.Put("    function: ")
            .Put(f.function.empty() ? std::string_view("<unknown>") : f.function)
            .Put("\r\n");
    }
}

void WriteRawCallStack(ReportText& out, const uintptr_t* frames, int n) {
    out.Put(kHeading);
    for (int i = 0; i < n; ++i)
        WriteAddress(out, frames[i]);
}

}  // namespace ov::diagnostics
