// The names of a fatal signal and its code, as an exception report describes what happened:
// "SIGSEGV / SEGV_MAPERR". Static strings only, so a signal handler may ask.
#pragma once

#include <string>

namespace ov::diagnostics {

// The signal's name ("SIGSEGV"); null for a signal the table does not know.
const char* SignalName(int signo);
// The name of si_code for that signal ("SEGV_MAPERR", "SI_TKILL"); null when unknown.
const char* SignalCodeName(int signo, int code);
// "SIGSEGV / SEGV_MAPERR", "SIGSEGV" for an unknown code, "Unknown Exception" for an unknown
// signal. Not for signal handlers (it builds a string).
std::string SignalDescription(int signo, int code);

}  // namespace ov::diagnostics
