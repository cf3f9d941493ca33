// What a report says of a stopped thread's machine state: its registers from the signal
// context, and a dump of its stack read without ever faulting. Everything here may run in a
// signal handler.
#pragma once

#include <ucontext.h>

#include <cstddef>
#include <cstdint>

#include "shell/diagnostics/report_text.h"

namespace ov::diagnostics {

inline constexpr std::size_t kStackDumpBytes = 4096;
inline constexpr std::size_t kStackDumpRow = 16;

// A copy of the stack from the stack pointer up; rows that could not be read are marked.
struct StackCopy {
    uintptr_t from = 0;  // the first row's address (the stack pointer, rounded down)
    uint8_t bytes[kStackDumpBytes] = {};
    bool readable[kStackDumpBytes / kStackDumpRow] = {};
};

// Copies n bytes at address into out; false (and nothing copied) when any of them is not
// readable. A system call reads them, so an unmapped page fails instead of faulting.
bool ReadMemory(uintptr_t address, void* out, std::size_t n);

uintptr_t StackPointerOf(const ucontext_t& context);
uintptr_t InstructionPointerOf(const ucontext_t& context);

void CopyStack(uintptr_t stackPointer, StackCopy* copy);

// "------------- Context ----------------" and one "Register %s : 0x%016lx" line for each of
// the general, segment, flag and floating-point control registers.
void WriteRegisters(ReportText& out, const ucontext_t& context);
// "------------- Stack ----------------" and a line per row: the address, four groups of four
// bytes in hexadecimal and the bytes as characters; "****" for a row that could not be read.
void WriteStackDump(ReportText& out, const StackCopy& copy);

}  // namespace ov::diagnostics
