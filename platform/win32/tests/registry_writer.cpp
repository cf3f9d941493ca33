// Child process of the registry tests: writes `count` DWORD values named "<prefix>_<i>" (value
// i) and then a string "<prefix>_name" under HKCU\Software\Orvane\Stress of the store named by
// $ORVANE_REGISTRY. Exits non-zero if any write fails.
//
//   registry_writer <prefix> <count>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/registry.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: registry_writer <prefix> <count>\n");
        return 2;
    }
    const std::string prefix = argv[1];
    const int count = std::atoi(argv[2]);
    RegistryStore store = RegistryStore::Default();
    const char* key = "Software\\Orvane\\Stress";
    for (int i = 0; i < count; ++i) {
        if (!store.SetDword(HKEY_CURRENT_USER, key, prefix + "_" + std::to_string(i),
                            static_cast<DWORD>(i))) {
            return 1;
        }
    }
    return store.SetString(HKEY_CURRENT_USER, key, prefix + "_name", "进程 \"" + prefix + "\"") ? 0
                                                                                                : 1;
}
