// What a component library needs to offer its classes: a class factory per class and the
// lookup its DllGetClassObject does.
//
//   extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
//       if (clsid == CLSID_Widget) return GetClassFactory<CWidget>(riid, ppv);
//       return CLASS_E_CLASSNOTAVAILABLE;
//   }
#pragma once

#include "platform/com/object.h"
#include "platform/com/unknown.h"

template <class T>
class ClassFactory final : public ComObject<ClassFactory<T>, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        ComPtr<T> object = MakeComObject<T>();
        if (!object)
            return E_OUTOFMEMORY;
        return object->QueryInterface(riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }  // libraries are never unloaded
};

template <class T>
HRESULT GetClassFactory(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    return MakeComObject<ClassFactory<T>>()->QueryInterface(riid, ppv);
}

// Exports every component library defines (C linkage, looked up with dlsym).
extern "C" {
HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
}
