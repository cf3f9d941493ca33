#include "shell/diagnostics/registry_marker_store.h"

namespace ov::diagnostics {

namespace {

constexpr const char* kKey = "SOFTWARE\\DIZIZIZUZUZO";

}  // namespace

bool RegistryMarkerStore::OpenKey(bool* created) {
    *created = !store_.KeyExists(HKEY_CURRENT_USER, kKey);
    return !*created || store_.CreateKey(HKEY_CURRENT_USER, kKey);
}

std::optional<uint32_t> RegistryMarkerStore::Get(const std::string& name) {
    return store_.GetDword(HKEY_CURRENT_USER, kKey, name);
}

void RegistryMarkerStore::Set(const std::string& name, uint32_t value) {
    store_.SetDword(HKEY_CURRENT_USER, kKey, name, value);
}

}  // namespace ov::diagnostics
