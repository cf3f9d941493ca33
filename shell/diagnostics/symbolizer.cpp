#include "shell/diagnostics/symbolizer.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace ov::diagnostics {

namespace {

const Dwfl_Callbacks kCallbacks = {
    .find_elf = dwfl_linux_proc_find_elf,
    .find_debuginfo = dwfl_standard_find_debuginfo,
    .section_address = nullptr,
    .debuginfo_path = nullptr,
};

}  // namespace

std::string Demangled(const char* name) {
    int status = 0;
    char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || plain == nullptr)
        return name;
    std::string text = plain;
    std::free(plain);
    return text;
}

std::unique_ptr<Symbolizer> Symbolizer::ForThisProcess() {
    Dwfl* dwfl = dwfl_begin(&kCallbacks);
    if (dwfl == nullptr)
        return nullptr;
    dwfl_report_begin(dwfl);
    if (dwfl_linux_proc_report(dwfl, ::getpid()) != 0 ||
        dwfl_report_end(dwfl, nullptr, nullptr) != 0) {
        dwfl_end(dwfl);
        return nullptr;
    }
    return std::unique_ptr<Symbolizer>(new Symbolizer(dwfl));
}

std::unique_ptr<Symbolizer> Symbolizer::ForMemoryMap(std::string_view maps) {
    std::string copy(maps);
    FILE* file = fmemopen(copy.data(), copy.size(), "r");
    if (file == nullptr)
        return nullptr;
    Dwfl* dwfl = dwfl_begin(&kCallbacks);
    if (dwfl == nullptr) {
        fclose(file);
        return nullptr;
    }
    dwfl_report_begin(dwfl);
    // A line it cannot read ends the map there; the modules before it still count.
    dwfl_linux_proc_maps_report(dwfl, file);
    fclose(file);
    if (dwfl_report_end(dwfl, nullptr, nullptr) != 0) {
        dwfl_end(dwfl);
        return nullptr;
    }
    return std::unique_ptr<Symbolizer>(new Symbolizer(dwfl));
}

Symbolizer::~Symbolizer() {
    dwfl_end(dwfl_);
}

std::vector<Frame> Symbolizer::Resolve(const uintptr_t* addresses, int n) const {
    std::vector<Frame> frames;
    for (int i = 0; i < n; ++i)
        frames.push_back(Resolve(addresses[i], i > 0));
    return frames;
}

Frame Symbolizer::Resolve(uintptr_t address, bool returnAddress) const {
    Frame frame;
    frame.address = address;
    // A return address is the instruction after the call, which may belong to the next line
    // or even the next function.
    const Dwarf_Addr at = returnAddress && address > 0 ? address - 1 : address;
    Dwfl_Module* module = dwfl_addrmodule(dwfl_, at);
    if (module == nullptr)
        return frame;
    if (const char* symbol = dwfl_module_addrname(module, at))
        frame.function = Demangled(symbol);
    if (Dwfl_Line* line = dwfl_module_getsrc(module, at)) {
        int lineNumber = 0;
        if (const char* source =
                dwfl_lineinfo(line, nullptr, &lineNumber, nullptr, nullptr, nullptr)) {
            // Sources are named as the compiler was given them, often relative to its folder.
            std::filesystem::path file = source;
            if (file.is_relative()) {
                if (const char* folder = dwfl_line_comp_dir(line))
                    file = (std::filesystem::path(folder) / file).lexically_normal();
            }
            frame.file = file.string();
            frame.line = lineNumber;
        }
    }
    // The file's name is known once the lookups above opened it.
    const char* mainFile = nullptr;
    const char* name =
        dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, &mainFile, nullptr);
    frame.module = mainFile != nullptr ? mainFile : name != nullptr ? name : "";
    return frame;
}

}  // namespace ov::diagnostics
