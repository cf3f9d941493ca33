// Runs a fuzz target over every file of the given corpus directories (or files), the way
// libFuzzer would replay them, so ordinary builds keep the corpus passing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    // Copy into an exact-size heap block so a read past the end is caught by the sanitizers.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return 0;
}

int main(int argc, char** argv) {
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p)) {
                if (e.is_regular_file()) {
                    failures += RunFile(e.path());
                    ++files;
                }
            }
        } else {
            failures += RunFile(p);
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    if (files == 0) {
        std::fprintf(stderr, "no corpus inputs found\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
