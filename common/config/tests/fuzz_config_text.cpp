// Plain configuration text comes from skin folders anyone can fill. Whatever it holds must load,
// save back as it loaded, and let every typed getter run on every entry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/config/config_file.h"
#include "common/config/tests/fuzz_getters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OVConfigFile file;
    file.ParseText(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string saved;
    if (!file.FormatText(&saved)) {
        std::fprintf(stderr, "loaded lines cannot be saved\n");
        std::abort();
    }
    OVConfigFile again;
    again.ParseText(saved);
    if (again.Lines() != file.Lines()) {
        std::fprintf(stderr, "save and load changed the lines\n");
        std::abort();
    }
    RunEveryGetter(file);
    return 0;
}
