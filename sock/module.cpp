// The exports of the component library OVSock.so: its one class, OVSocket.
#include "platform/com/module.h"

#include "platform/com/registration.h"
#include "sock/ovsocket.h"

namespace {

const ComponentClassInfo kOVSocketClass{CLSID_OVSocket, "OVSocket Class", "OVSock.OVSocket.1",
                                        "OVSock.OVSocket", "Free"};

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid == CLSID_OVSocket)
        return GetClassFactory<ov::sock::COVSocket>(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT DllRegisterServer() {
    return RegisterComponentClass(
        kOVSocketClass, GetModuleFileName(reinterpret_cast<const void*>(&DllRegisterServer)));
}

extern "C" HRESULT DllUnregisterServer() {
    return UnregisterComponentClass(kOVSocketClass);
}
