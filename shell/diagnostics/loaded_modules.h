// The modules loaded into this process: the program and its shared libraries with their load
// addresses, as the report's module list shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/diagnostics/report_text.h"

namespace ov::diagnostics {

struct LoadedModule {
    std::string path;
    uintptr_t base = 0;  // where its first segment was mapped
};

std::vector<LoadedModule> LoadedModules();
// One "%s : 0x%016lx" line per module.
void WriteModuleList(ReportText& out, const std::vector<LoadedModule>& modules);
// The process's memory map (/proc/self/maps) as it stands, copied with read(2) and write(2)
// alone: what a signal handler keeps for whoever names the addresses later.
void CopyMemoryMap(ReportText& out);

}  // namespace ov::diagnostics
