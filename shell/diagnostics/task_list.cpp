#include "shell/diagnostics/task_list.h"

#include <dirent.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>

namespace ov::diagnostics {

void WriteTaskList(ReportText& out) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        out.Put("Snapshot of tasks could not be taken.\r\n");
        return;
    }
    uint64_t count = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
        std::string name;
        if (!std::getline(comm, name))
            continue;  // ended since the listing
        out.Put(name).Put(" : ").Dec(std::strtoull(entry->d_name, nullptr, 10)).Put("\r\n");
        ++count;
    }
    ::closedir(proc);
    out.Put("No Tasks: ").Dec(count).Put("\r\n");
}

}  // namespace ov::diagnostics
