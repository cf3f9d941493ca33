// Names code addresses: module, source file, line and function, from the DWARF line tables
// and symbol tables of the modules (libdw). It works for this process as it runs, and for a
// process that is gone from a copy of its memory map - never inside a signal handler.
//
//   auto names = Symbolizer::ForMemoryMap(mapsText);
//   std::vector<Frame> frames = names->Resolve(addresses, n);
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shell/diagnostics/call_stack.h"

struct Dwfl;

namespace ov::diagnostics {

// A C++ symbol as it is written in the source ("ns::f(int)"); the name itself when it is no
// mangled name.
std::string Demangled(const char* name);

class Symbolizer {
public:
    // The modules this process has loaded now.
    static std::unique_ptr<Symbolizer> ForThisProcess();
    // The modules of a memory map in the form of /proc/<pid>/maps.
    static std::unique_ptr<Symbolizer> ForMemoryMap(std::string_view maps);
    ~Symbolizer();
    Symbolizer(const Symbolizer&) = delete;
    Symbolizer& operator=(const Symbolizer&) = delete;

    // The first address is where the thread stopped; the others are return addresses, named
    // by the call instruction before them.
    std::vector<Frame> Resolve(const uintptr_t* addresses, int n) const;
    Frame Resolve(uintptr_t address, bool returnAddress) const;

private:
    explicit Symbolizer(Dwfl* dwfl) : dwfl_(dwfl) {}
    Dwfl* dwfl_;
};

}  // namespace ov::diagnostics
