// One start of a program with the toolkit, for the exit-marker tests:
//   diagnostics_marker_child <stay|exit> <registry file> <lock directory>
// It prints "abnormal" when told the previous run ended badly, "only" or "second", then
// "ready"; "exit" ends cleanly at once, "stay" when its input closes.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "shell/diagnostics/registry_marker_store.h"
#include "shell/diagnostics/toolkit.h"

namespace {

class Toolkit : public ov::diagnostics::OVDizizIzuzuzo {
public:
    using OVDizizIzuzuzo::OVDizizIzuzuzo;
    void OnAbnormalExit() override { std::puts("abnormal"); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    ov::diagnostics::RegistryMarkerStore store{RegistryStore(argv[2])};
    ov::diagnostics::ToolkitOptions options;
    options.marker = &store;
    options.lockDirectory = argv[3];
    options.reportExceptions = false;
    options.detectHangs = false;
    Toolkit toolkit(options);
    toolkit.Init();
    std::puts(toolkit.OnlyInstance() ? "only" : "second");
    std::puts("ready");
    std::fflush(stdout);
    if (std::strcmp(argv[1], "stay") == 0) {
        char c;
        while (read(0, &c, 1) > 0) {
        }
    }
    toolkit.MarkCleanExit();
    return 0;
}
