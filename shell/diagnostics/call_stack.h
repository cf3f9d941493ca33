// The call stack of the calling thread as raw addresses, and the call stack section of a
// report once the addresses have names.
//
//   PrepareCallStack();                 // at start-up: the unwinder loads before any handler
//   uintptr_t frames[64];
//   int n = CaptureCallStack(&context, frames, 64);   // in the handler
//   ... later, elsewhere: WriteCallStack(out, symbolizer.Resolve(frames, n));
#pragma once

#include <ucontext.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/diagnostics/report_text.h"

namespace ov::diagnostics {

inline constexpr int kMaxFrames = 64;

// One frame as a report names it; empty module, file and function, and line 0, are unknown.
struct Frame {
    uintptr_t address = 0;
    std::string module;
    std::string file;
    int line = 0;
    std::string function;
};

// The unwinder is a library loaded on first use, which a signal handler must not do.
void PrepareCallStack();

// Fills out with the addresses of the calling thread's frames, innermost first, and returns
// their count. With a signal context the frames begin where it stopped (the handler's own are
// left out), and the first address is the instruction itself rather than a return address.
// Safe in a signal handler once PrepareCallStack ran.
int CaptureCallStack(const ucontext_t* context, uintptr_t* out, int max);

// "------------- Call Stack ----------------" and the address, module, file, line and function
// of each frame.
void WriteCallStack(ReportText& out, const std::vector<Frame>& frames);
// The same section with the addresses alone: what a signal handler can write.
void WriteRawCallStack(ReportText& out, const uintptr_t* frames, int n);

}  // namespace ov::diagnostics
