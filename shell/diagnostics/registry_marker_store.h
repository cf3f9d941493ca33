// The exit marker in the registry store: HKEY_CURRENT_USER\SOFTWARE\DIZIZIZUZUZO.
#pragma once

#include "platform/win32/registry.h"
#include "shell/diagnostics/toolkit.h"

namespace ov::diagnostics {

class RegistryMarkerStore : public MarkerStore {
public:
    explicit RegistryMarkerStore(RegistryStore store) : store_(std::move(store)) {}

    bool OpenKey(bool* created) override;
    std::optional<uint32_t> Get(const std::string& name) override;
    void Set(const std::string& name, uint32_t value) override;

private:
    RegistryStore store_;
};

}  // namespace ov::diagnostics
