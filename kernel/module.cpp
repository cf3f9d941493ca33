// OVKernel.so: the component library's exports.
#include "platform/com/module.h"
#include "kernel/service.h"

namespace {
const ComponentClassInfo kClassInfo{CLSID_OVService, "OVService Class", "OVKernel.OVService.1",
                                    "OVKernel.OVService", "Free"};
}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid == CLSID_OVService)
        return GetClassFactory<ov::kernel::COVService>(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT DllRegisterServer() {
    return RegisterComponentClass(
        kClassInfo, GetModuleFileName(reinterpret_cast<const void*>(&DllRegisterServer)));
}

extern "C" HRESULT DllUnregisterServer() {
    return UnregisterComponentClass(kClassInfo);
}
