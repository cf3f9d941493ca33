// Class registration and instance creation by class identifier.
//
// A component library exports DllGetClassObject, DllRegisterServer and DllUnregisterServer.
// Registration writes, under HKEY_CLASSES_ROOT of the registry store:
//   CLSID\{clsid}                       (default) = description
//   CLSID\{clsid}\InprocServer32        (default) = library path, ThreadingModel = "Free" | ...
//   CLSID\{clsid}\ProgID                (default) = versioned ProgID
//   CLSID\{clsid}\VersionIndependentProgID (default) = ProgID without version
//   <ProgID>\CLSID                      (default) = {clsid}   (both ProgIDs)
//   <VersionIndependentProgID>\CurVer   (default) = versioned ProgID
// CoCreateInstance reads the library path from there, loads the library with dlopen (it stays
// loaded for the life of the process) and asks its class factory for an object.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/comptr.h"
#include "platform/com/types.h"
#include "platform/com/unknown.h"

using HMODULE = void*;

// dlopen / dlsym / dlclose under their usual names. LoadLibrary resolves all symbols at once.
HMODULE LoadLibrary(const std::string& path);
void* GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);
// The file of the loaded module (library or program) that contains the address.
std::string GetModuleFileName(const void* addressInModule);
// The directory of the running program, ending with '/'.
std::string GetProgramDirectory();

using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PFN_DllRegisterServer = HRESULT (*)();

struct ComponentClassInfo {
    CLSID clsid;
    std::string description;
    std::string progId;                    // "Library.Class.1"
    std::string versionIndependentProgId;  // "Library.Class"
    std::string threadingModel;            // "Free", "Apartment" or "Both"
};

// For a library's DllRegisterServer / DllUnregisterServer. SELFREG_E_CLASS on failure.
HRESULT RegisterComponentClass(const ComponentClassInfo& info, const std::string& modulePath);
HRESULT UnregisterComponentClass(const ComponentClassInfo& info);

// Loads the library, calls its DllRegisterServer (or DllUnregisterServer) and frees it again.
// CO_E_DLLNOTFOUND when it cannot be loaded, CO_E_ERRORINDLL when the export is missing.
HRESULT RegisterServerLibrary(const std::string& path);
HRESULT UnregisterServerLibrary(const std::string& path);

// The library file registered for the class, or "" when none is.
std::string RegisteredLibraryOf(REFCLSID clsid);
// For a program that ships its components beside it: makes the class registered to exactly
// this library file, registering it again when the registry names another file (a different
// build tree or installation, or one that is gone). S_FALSE when it already was; otherwise
// the result of RegisterServerLibrary.
HRESULT EnsureRegisteredFrom(REFCLSID clsid, const std::string& libraryPath);

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* reserved, REFIID riid, void** ppv);
// REGDB_E_CLASSNOTREG when the class is not registered, its registered library file does
// not exist or cannot be loaded; CLASS_E_CLASSNOTAVAILABLE when the library does not offer it.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv);
// CO_E_CLASSSTRING for an unknown ProgID.
HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string* progId);
// The registered threading model ("" when the class is not registered).
std::string ThreadingModelOf(REFCLSID clsid);

template <class I>
HRESULT CoCreateInstance(REFCLSID clsid, ComPtr<I>* out) {
    if (out == nullptr)
        return E_POINTER;
    return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<I>(),
                            out->ReleaseAndGetVoidAddress());
}
