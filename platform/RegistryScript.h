#pragma once
// Registration scripts in the registrar's notation, as stored in the
// program's "REGISTRY" resources:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Name'
//           {
//               LocalServer32 = s '%MODULE%'
//               val AppID = s '%APPID%'
//           }
//       }
//   }
//
// A key may carry a default value (= s 'text' or = d number), named values
// (val Name = ...) and subkeys. Registering creates every key and value;
// ForceRemove deletes a key's old contents first. Unregistering deletes
// every key not marked NoRemove, with all below it; inside NoRemove keys
// it deletes the named values and goes on into the subkeys.
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct RegistryScriptValue {
    std::wstring name;  // empty for the key's default value
    bool isDword = false;
    std::wstring text;
    DWORD number = 0;
};

struct RegistryScriptKey {
    enum class Removal { Normal, NoRemove, ForceRemove };
    std::wstring name;
    Removal removal = Removal::Normal;
    std::vector<RegistryScriptValue> values;
    std::vector<RegistryScriptKey> subkeys;
};

struct RegistryScript {
    struct Root {
        HKEY key;
        std::vector<RegistryScriptKey> subkeys;
    };
    std::vector<Root> roots;
};

// Parses a script, replacing each %NAME% by its text (%% is a percent
// sign). Empty when the script is malformed or names an unknown variable.
std::optional<RegistryScript> ParseRegistryScript(const std::wstring& text,
                                                  const std::map<std::wstring, std::wstring>& variables);

// Both return false when a key or value could not be written or removed
// (keys that are already gone count as removed).
bool ApplyRegistryScript(const RegistryScript& script);
bool RemoveRegistryScript(const RegistryScript& script);

// The text of a "REGISTRY" resource of a module (8-bit text), or empty.
std::optional<std::wstring> LoadRegistryScriptResource(HMODULE module, int id);

}  // namespace platform
