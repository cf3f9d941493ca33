// Scrambled settings files are binary and may be damaged. Loading must stay within the data,
// and whatever loads must save and load back unchanged when the form can hold it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/config/config_file.h"
#include "common/config/ovdb_codec.h"
#include "common/config/tests/fuzz_getters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OVConfigFile file;
    file.ParseScrambled(std::string_view(reinterpret_cast<const char*>(data), size));
    bool fits = true;
    for (const std::string& line : file.Lines()) {
        if (line.empty() || line.size() > ov::config::kMaxScrambledRecord ||
            line.find('\0') != std::string::npos) {
            std::fprintf(stderr, "a loaded line is empty, too long or holds a zero\n");
            std::abort();
        }
        fits = fits && line.size() <= ov::config::kMaxScrambledLine;
    }
    std::string saved;
    if (file.FormatScrambled(&saved) != fits) {
        std::fprintf(stderr, "the writer's refusal does not match the line lengths\n");
        std::abort();
    }
    if (fits) {
        OVConfigFile again;
        if (!again.ParseScrambled(saved) || again.Lines() != file.Lines()) {
            std::fprintf(stderr, "save and load changed the lines\n");
            std::abort();
        }
    }
    RunEveryGetter(file);
    return 0;
}
