#include "shell/diagnostics/machine_context.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ov::diagnostics {

namespace {

// A pipe that takes the bytes when the kernel refuses process_vm_readv (a seccomp profile can):
// write(2) from an unreadable address fails with EFAULT instead of faulting.
bool ReadThroughPipe(uintptr_t address, void* out, std::size_t n) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    bool ok = ::write(fds[1], reinterpret_cast<const void*>(address), n) == static_cast<ssize_t>(n);
    if (ok)
        ok = ::read(fds[0], out, n) == static_cast<ssize_t>(n);
    ::close(fds[0]);
    ::close(fds[1]);
    return ok;
}

void Register(ReportText& out, const char* name, uint64_t value) {
    out.Put("Register ").Put(name).Put(" : 0x").Hex(value, 16).Put("\r\n");
}

}  // namespace

bool ReadMemory(uintptr_t address, void* out, std::size_t n) {
    iovec local{out, n};
    iovec remote{reinterpret_cast<void*>(address), n};
    const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (got == static_cast<ssize_t>(n))
        return true;
    if (got < 0 && (errno == ENOSYS || errno == EPERM))
        return n <= 4096 && ReadThroughPipe(address, out, n);
    return false;
}

#if defined(__x86_64__)

uintptr_t StackPointerOf(const ucontext_t& context) {
    return static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
}

uintptr_t InstructionPointerOf(const ucontext_t& context) {
    return static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RIP]);
}

void WriteRegisters(ReportText& out, const ucontext_t& context) {
    out.Put("------------- Context ----------------\r\n");
    const greg_t* g = context.uc_mcontext.gregs;
    struct {
        const char* name;
        int index;
    } const general[] = {
        {"RAX", REG_RAX}, {"RBX", REG_RBX}, {"RCX", REG_RCX}, {"RDX", REG_RDX}, {"RSI", REG_RSI},
        {"RDI", REG_RDI}, {"RBP", REG_RBP}, {"RSP", REG_RSP}, {"R8", REG_R8},   {"R9", REG_R9},
        {"R10", REG_R10}, {"R11", REG_R11}, {"R12", REG_R12}, {"R13", REG_R13}, {"R14", REG_R14},
        {"R15", REG_R15}, {"RIP", REG_RIP}, {"EFL", REG_EFL},
    };
    for (const auto& r : general)
        Register(out, r.name, static_cast<uint64_t>(g[r.index]));
    // CS, GS and FS share one slot, 16 bits each.
    const uint64_t segments = static_cast<uint64_t>(g[REG_CSGSFS]);
    Register(out, "CS", segments & 0xFFFF);
    Register(out, "GS", (segments >> 16) & 0xFFFF);
    Register(out, "FS", (segments >> 32) & 0xFFFF);
    Register(out, "ERR", static_cast<uint64_t>(g[REG_ERR]));
    Register(out, "TRAPNO", static_cast<uint64_t>(g[REG_TRAPNO]));
    Register(out, "CR2", static_cast<uint64_t>(g[REG_CR2]));
    if (const auto* fpu = context.uc_mcontext.fpregs) {
        Register(out, "FCW", fpu->cwd);
        Register(out, "FSW", fpu->swd);
        Register(out, "FTW", fpu->ftw);
        Register(out, "FOP", fpu->fop);
        Register(out, "FIP", fpu->rip);
        Register(out, "FDP", fpu->rdp);
        Register(out, "MXCSR", fpu->mxcsr);
    } else {
        out.Put("Register FPU : not saved\r\n");
    }
}

#else

uintptr_t StackPointerOf(const ucontext_t&) {
    return 0;
}

uintptr_t InstructionPointerOf(const ucontext_t&) {
    return 0;
}

void WriteRegisters(ReportText& out, const ucontext_t&) {
    out.Put("------------- Context ----------------\r\n");
    out.Put("Register Context : not read on this processor\r\n");
}

#endif

void CopyStack(uintptr_t stackPointer, StackCopy* copy) {
    copy->from = stackPointer & ~static_cast<uintptr_t>(kStackDumpRow - 1);
    // Rows never cross a page, so a row is readable or not as a whole.
    for (std::size_t row = 0; row < kStackDumpBytes / kStackDumpRow; ++row) {
        copy->readable[row] =
            copy->from != 0 && ReadMemory(copy->from + row * kStackDumpRow,
                                          copy->bytes + row * kStackDumpRow, kStackDumpRow);
    }
}

void WriteStackDump(ReportText& out, const StackCopy& copy) {
    out.Put("------------- Stack ----------------\r\n");
    for (std::size_t row = 0; row < kStackDumpBytes / kStackDumpRow; ++row) {
        out.Put("0x").Hex(copy.from + row * kStackDumpRow, 16).Put(" : ");
        if (!copy.readable[row]) {
            out.Put("****\r\n");
            continue;
        }
        const uint8_t* bytes = copy.bytes + row * kStackDumpRow;
        for (std::size_t i = 0; i < kStackDumpRow; ++i) {
            out.Hex(bytes[i], 2, true);
            if (i % 4 == 3)
                out.Put(' ');
        }
        out.Put(' ');
        for (std::size_t i = 0; i < kStackDumpRow; ++i)
            out.Put(bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.');
        out.Put("\r\n");
    }
}

}  // namespace ov::diagnostics
