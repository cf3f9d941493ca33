// The exports of OVCache.so: its one class, OVCache, and self-registration.
#include "platform/com/module.h"
#include "cache/ov_cache.h"

namespace {

const ComponentClassInfo kClassInfo{CLSID_OVCache, kOVCacheClassName, kOVCacheProgId,
                                    kOVCacheVersionIndependentProgId, kOVCacheThreadingModel};

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid == CLSID_OVCache)
        return GetClassFactory<COVCache>(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT DllRegisterServer() {
    return RegisterComponentClass(
        kClassInfo, GetModuleFileName(reinterpret_cast<const void*>(&DllRegisterServer)));
}

extern "C" HRESULT DllUnregisterServer() {
    return UnregisterComponentClass(kClassInfo);
}
