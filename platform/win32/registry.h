// The registry store: hierarchical keys holding DWORD and string values, kept in one text
// file shared by every process of the user. Each change is a read-modify-write of the whole
// file under an inter-process lock, written to a temporary file and renamed over the old one,
// so concurrent writers lose nothing and a crash never leaves half a file.
//
//   RegistryStore reg = RegistryStore::Default();
//   const char* setting = "Software\\Tallowby\\Orvane\\Setting";
//   reg.SetDword(HKEY_CURRENT_USER, setting, "AllowMutilInstance", 0);
//   std::optional<DWORD> v = reg.GetDword(HKEY_CURRENT_USER, setting, "AllowMutilInstance");
//
// Key paths use '\' between their parts and, like value names, match without regard to ASCII
// case. Strings are UTF-8. The empty value name is the key's default value.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/win32/types.h"

enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };
inline constexpr RegRoot HKEY_CURRENT_USER = RegRoot::CurrentUser;
inline constexpr RegRoot HKEY_LOCAL_MACHINE = RegRoot::LocalMachine;
inline constexpr RegRoot HKEY_CLASSES_ROOT = RegRoot::ClassesRoot;

using RegValue = std::variant<DWORD, std::string>;

// Names of keys and values compare in this folded (ASCII lower-case) form.
inline std::string RegistryFoldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

// In-memory tree of one store file; what a transaction edits.
class RegistryTree {
public:
    struct Key {
        std::string name;  // as first written
        // Lower-cased value name -> (name as written, value).
        std::map<std::string, std::pair<std::string, RegValue>> values;
        // Lower-cased sub-key name -> sub-key.
        std::map<std::string, std::unique_ptr<Key>> subkeys;

        // A value that exists keeps the spelling of its name as first written.
        void SetValue(std::string_view valueName, RegValue value) {
            auto it =
                values.try_emplace(RegistryFoldCase(valueName), std::string(valueName), RegValue{})
                    .first;
            it->second.second = std::move(value);
        }
        const RegValue* GetValue(std::string_view valueName) const {
            auto it = values.find(RegistryFoldCase(valueName));
            return it == values.end() ? nullptr : &it->second.second;
        }
        bool EraseValue(std::string_view valueName) {
            return values.erase(RegistryFoldCase(valueName)) > 0;
        }
    };

    RegistryTree();
    // Null when the key does not exist; Create makes it and its parents.
    Key* Find(RegRoot root, std::string_view path);
    const Key* Find(RegRoot root, std::string_view path) const;
    Key& Create(RegRoot root, std::string_view path);
    // Removes the key with all it holds; false when it did not exist.
    bool Remove(RegRoot root, std::string_view path);

    std::string Serialize() const;
    // Lines that do not parse are skipped, never fatal.
    static RegistryTree Parse(std::string_view text);

private:
    Key roots_[3];
};

class RegistryStore {
public:
    // The store at $ORVANE_REGISTRY, else $XDG_CONFIG_HOME/orvane/registry, else
    // ~/.config/orvane/registry. The environment is read at each call.
    static RegistryStore Default();
    explicit RegistryStore(std::filesystem::path file);

    const std::filesystem::path& path() const { return file_; }

    bool SetDword(RegRoot root, std::string_view key, std::string_view name, DWORD value);
    bool SetString(RegRoot root, std::string_view key, std::string_view name,
                   std::string_view value);
    std::optional<DWORD> GetDword(RegRoot root, std::string_view key, std::string_view name) const;
    std::optional<std::string> GetString(RegRoot root, std::string_view key,
                                         std::string_view name) const;
    // False when the value (or key) did not exist.
    bool DeleteValue(RegRoot root, std::string_view key, std::string_view name);
    bool DeleteKey(RegRoot root, std::string_view key);
    bool CreateKey(RegRoot root, std::string_view key);
    bool KeyExists(RegRoot root, std::string_view key) const;
    std::vector<std::string> SubKeyNames(RegRoot root, std::string_view key) const;
    std::vector<std::string> ValueNames(RegRoot root, std::string_view key) const;

    // Runs edit on the current tree under the inter-process lock and writes the result back
    // when edit returns true. Returns false when the file could not be locked or written (an
    // edit that returns false writes nothing and is no failure). edit must not call back into
    // a store: the lock is held.
    bool Transact(const std::function<bool(RegistryTree&)>& edit);
    // Reads the current tree (under the lock, so never a half-written state).
    RegistryTree Snapshot() const;

private:
    std::filesystem::path file_;
};
