#include "shell/diagnostics/signal_names.h"

#include <csignal>

namespace ov::diagnostics {

namespace {

struct Named {
    int value;
    const char* name;
};

#define OV_NAMED(x) \
    Named {         \
        x, #x       \
    }

constexpr Named kSignals[] = {
    OV_NAMED(SIGSEGV), OV_NAMED(SIGBUS),  OV_NAMED(SIGFPE),  OV_NAMED(SIGILL),
    OV_NAMED(SIGABRT), OV_NAMED(SIGTRAP), OV_NAMED(SIGSYS),  OV_NAMED(SIGTERM),
    OV_NAMED(SIGINT),  OV_NAMED(SIGQUIT), OV_NAMED(SIGKILL), OV_NAMED(SIGUSR1),
    OV_NAMED(SIGUSR2), OV_NAMED(SIGPIPE), OV_NAMED(SIGXCPU), OV_NAMED(SIGXFSZ),
};

constexpr Named kSegvCodes[] = {OV_NAMED(SEGV_MAPERR), OV_NAMED(SEGV_ACCERR), OV_NAMED(SEGV_BNDERR),
                                OV_NAMED(SEGV_PKUERR)};
constexpr Named kBusCodes[] = {OV_NAMED(BUS_ADRALN), OV_NAMED(BUS_ADRERR), OV_NAMED(BUS_OBJERR),
                               OV_NAMED(BUS_MCEERR_AR), OV_NAMED(BUS_MCEERR_AO)};
constexpr Named kFpeCodes[] = {OV_NAMED(FPE_INTDIV), OV_NAMED(FPE_INTOVF), OV_NAMED(FPE_FLTDIV),
                               OV_NAMED(FPE_FLTOVF), OV_NAMED(FPE_FLTUND), OV_NAMED(FPE_FLTRES),
                               OV_NAMED(FPE_FLTINV), OV_NAMED(FPE_FLTSUB)};
constexpr Named kIllCodes[] = {OV_NAMED(ILL_ILLOPC), OV_NAMED(ILL_ILLOPN), OV_NAMED(ILL_ILLADR),
                               OV_NAMED(ILL_ILLTRP), OV_NAMED(ILL_PRVOPC), OV_NAMED(ILL_PRVREG),
                               OV_NAMED(ILL_COPROC), OV_NAMED(ILL_BADSTK)};
constexpr Named kTrapCodes[] = {OV_NAMED(TRAP_BRKPT), OV_NAMED(TRAP_TRACE)};
// The codes of a signal sent rather than raised by a fault; any signal may carry them.
constexpr Named kSentCodes[] = {OV_NAMED(SI_USER),  OV_NAMED(SI_KERNEL), OV_NAMED(SI_QUEUE),
                                OV_NAMED(SI_TIMER), OV_NAMED(SI_MESGQ),  OV_NAMED(SI_ASYNCIO),
                                OV_NAMED(SI_SIGIO), OV_NAMED(SI_TKILL)};

#undef OV_NAMED

template <std::size_t N>
const char* Find(const Named (&table)[N], int value) {
    for (const Named& n : table) {
        if (n.value == value)
            return n.name;
    }
    return nullptr;
}

}  // namespace

const char* SignalName(int signo) {
    return Find(kSignals, signo);
}

const char* SignalCodeName(int signo, int code) {
    // Codes above 0 come from the kernel and mean something per signal; the others say who
    // sent it.
    if (code <= 0 || code == SI_KERNEL)
        return Find(kSentCodes, code);
    switch (signo) {
        case SIGSEGV:
            return Find(kSegvCodes, code);
        case SIGBUS:
            return Find(kBusCodes, code);
        case SIGFPE:
            return Find(kFpeCodes, code);
        case SIGILL:
            return Find(kIllCodes, code);
        case SIGTRAP:
            return Find(kTrapCodes, code);
        default:
            return nullptr;
    }
}

std::string SignalDescription(int signo, int code) {
    const char* name = SignalName(signo);
    if (name == nullptr)
        return "Unknown Exception";
    std::string text = name;
    if (const char* codeName = SignalCodeName(signo, code))
        text.append(" / ").append(codeName);
    return text;
}

}  // namespace ov::diagnostics
