// Child process of the lifetime tests: opens a cache (registry from ORVANE_REGISTRY), changes
// it, and either releases the object or ends the process without releasing it.
// Usage: cache_exit_helper PATH release|exit. Exit code 0 when every call succeeded.
#include <cstdlib>
#include <cstring>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovcache.h"
#include "platform/com/com.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK)
        return 3;
    ComPtr<IOVCache> cache;
    if (CoCreateInstance(CLSID_OVCache, &cache) != S_OK)
        return 4;
    LONG ok = 0;
    if (cache->Init(Bstr::FromUtf8(argv[1]), &ok) != S_OK || ok != 1)
        return 5;
    CByteArrayVariant data("c");
    if (cache->Add(Bstr::FromUtf8("carol"), 3, data.Variant(), &ok) != S_OK || ok != 1)
        return 6;
    if (cache->Delete(Bstr::FromUtf8("alice"), &ok) != S_OK || ok != 1)
        return 7;
    if (std::strcmp(argv[2], "exit") == 0)
        std::_Exit(0);  // no release, no destructors: the process simply ends
    cache.Reset();
    CoUninitialize();
    return 0;
}
