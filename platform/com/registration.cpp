#include "platform/com/registration.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/win32/registry.h"

namespace {

const std::string kClsidKey = "CLSID\\";

std::string ClassKey(REFCLSID clsid) {
    return kClsidKey + GuidToString(clsid);
}

// Libraries loaded for instance creation stay loaded: objects and class factories of theirs
// may outlive any count we could keep.
struct LoadedLibraries {
    std::mutex mutex;  // guards byPath
    std::map<std::string, HMODULE> byPath;
};

LoadedLibraries& Loaded() {
    static LoadedLibraries* libs = new LoadedLibraries;  // never destroyed: used until exit
    return *libs;
}

HMODULE KeepLoaded(const std::string& path) {
    LoadedLibraries& libs = Loaded();
    std::lock_guard<std::mutex> lock(libs.mutex);
    auto it = libs.byPath.find(path);
    if (it != libs.byPath.end())
        return it->second;
    HMODULE module = LoadLibrary(path);
    if (module != nullptr)
        libs.byPath.emplace(path, module);
    return module;
}

HRESULT CallLibraryExport(const std::string& path, const char* name) {
    HMODULE module = LoadLibrary(path);
    if (module == nullptr)
        return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<PFN_DllRegisterServer>(GetProcAddress(module, name));
    HRESULT hr = fn ? fn() : CO_E_ERRORINDLL;
    FreeLibrary(module);
    return hr;
}

}  // namespace

HMODULE LoadLibrary(const std::string& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    return module && dlclose(module) == 0 ? TRUE : FALSE;
}

std::string GetModuleFileName(const void* addressInModule) {
    Dl_info info{};
    if (dladdr(addressInModule, &info) == 0 || info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr)
        return resolved;
    return info.dli_fname;
}

std::string GetProgramDirectory() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

HRESULT RegisterComponentClass(const ComponentClassInfo& info, const std::string& modulePath) {
    const std::string key = ClassKey(info.clsid);
    const std::string clsidText = GuidToString(info.clsid);
    bool ok = RegistryStore::Default().Transact([&](RegistryTree& tree) {
        auto set = [&](const std::string& path, const std::string& name, const std::string& value) {
            tree.Create(HKEY_CLASSES_ROOT, path).SetValue(name, value);
        };
        set(key, "", info.description);
        set(key + "\\InprocServer32", "", modulePath);
        set(key + "\\InprocServer32", "ThreadingModel", info.threadingModel);
        if (!info.progId.empty()) {
            set(key + "\\ProgID", "", info.progId);
            set(info.progId, "", info.description);
            set(info.progId + "\\CLSID", "", clsidText);
        }
        if (!info.versionIndependentProgId.empty()) {
            set(key + "\\VersionIndependentProgID", "", info.versionIndependentProgId);
            set(info.versionIndependentProgId, "", info.description);
            set(info.versionIndependentProgId + "\\CLSID", "", clsidText);
            if (!info.progId.empty())
                set(info.versionIndependentProgId + "\\CurVer", "", info.progId);
        }
        return true;
    });
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterComponentClass(const ComponentClassInfo& info) {
    bool ok = RegistryStore::Default().Transact([&](RegistryTree& tree) {
        tree.Remove(HKEY_CLASSES_ROOT, ClassKey(info.clsid));
        if (!info.progId.empty())
            tree.Remove(HKEY_CLASSES_ROOT, info.progId);
        if (!info.versionIndependentProgId.empty())
            tree.Remove(HKEY_CLASSES_ROOT, info.versionIndependentProgId);
        return true;
    });
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT RegisterServerLibrary(const std::string& path) {
    return CallLibraryExport(path, "DllRegisterServer");
}

HRESULT UnregisterServerLibrary(const std::string& path) {
    return CallLibraryExport(path, "DllUnregisterServer");
}

std::string RegisteredLibraryOf(REFCLSID clsid) {
    return RegistryStore::Default()
        .GetString(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\InprocServer32", "")
        .value_or("");
}

HRESULT EnsureRegisteredFrom(REFCLSID clsid, const std::string& libraryPath) {
    std::string registered = RegisteredLibraryOf(clsid);
    std::error_code ec;
    if (!registered.empty() && std::filesystem::equivalent(registered, libraryPath, ec))
        return S_FALSE;
    return RegisterServerLibrary(libraryPath);
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD, void*, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    const std::string path = RegisteredLibraryOf(clsid);
    // Checked here rather than left to dlopen, which would search its own paths for a name
    // that is not there and might load some other file of that name.
    std::error_code ec;
    if (path.empty() || path.front() != '/' || !std::filesystem::is_regular_file(path, ec))
        return REGDB_E_CLASSNOTREG;
    HMODULE module = KeepLoaded(path);
    if (module == nullptr)
        return REGDB_E_CLASSNOTREG;
    auto getClassObject =
        reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(module, "DllGetClassObject"));
    if (getClassObject == nullptr)
        return CO_E_ERRORINDLL;
    return getClassObject(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, clsctx, nullptr, IID_IClassFactory,
                                  factory.ReleaseAndGetVoidAddress());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(outer, riid, ppv);
}

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid) {
    if (clsid == nullptr)
        return E_POINTER;
    if (progId.empty())
        return CO_E_CLASSSTRING;
    std::optional<std::string> text =
        RegistryStore::Default().GetString(HKEY_CLASSES_ROOT, std::string(progId) + "\\CLSID", "");
    if (!text || !GuidFromString(*text, clsid))
        return CO_E_CLASSSTRING;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string* progId) {
    if (progId == nullptr)
        return E_POINTER;
    std::optional<std::string> text =
        RegistryStore::Default().GetString(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\ProgID", "");
    if (!text)
        return REGDB_E_CLASSNOTREG;
    *progId = *text;
    return S_OK;
}

std::string ThreadingModelOf(REFCLSID clsid) {
    return RegistryStore::Default()
        .GetString(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\InprocServer32", "ThreadingModel")
        .value_or("");
}
