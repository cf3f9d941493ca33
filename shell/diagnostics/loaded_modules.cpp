#include "shell/diagnostics/loaded_modules.h"

#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace ov::diagnostics {

namespace {

std::string ProgramPath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("(program)");
}

}  // namespace

std::vector<LoadedModule> LoadedModules() {
    std::vector<LoadedModule> modules;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto& list = *static_cast<std::vector<LoadedModule>*>(data);
            uintptr_t lowest = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
                    lowest = info->dlpi_phdr[i].p_vaddr;
            }
            if (lowest == UINTPTR_MAX)
                return 0;  // nothing mapped from a file (the vDSO's twin entries have no loads)
            LoadedModule m;
            // The program itself comes first and nameless.
            m.path = info->dlpi_name != nullptr && info->dlpi_name[0] != '\0' ? info->dlpi_name
                     : list.empty()                                           ? ProgramPath()
                                                                              : "(unnamed)";
            m.base = info->dlpi_addr + lowest;
            list.push_back(std::move(m));
            return 0;
        },
        &modules);
    return modules;
}

void WriteModuleList(ReportText& out, const std::vector<LoadedModule>& modules) {
    for (const LoadedModule& m : modules)
        out.Put(m.path).Put(" : 0x").Hex(m.base, 16).Put("\r\n");
}

void CopyMemoryMap(ReportText& out) {
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.Put(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    ::close(fd);
}

}  // namespace ov::diagnostics
