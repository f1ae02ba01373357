#pragma once
// File types and applications registered in the Wine prefix's real registry,
// the way an installer registers them, and removed again when the object
// goes. Wine 8 does not show HKCU\Software\Classes through HKEY_CLASSES_ROOT,
// so classes go to HKLM\Software\Classes as well.
#include <windows.h>

#include <string>
#include <vector>

class ShellRegistry {
public:
    ShellRegistry() = default;
    ~ShellRegistry();
    ShellRegistry(const ShellRegistry&) = delete;
    ShellRegistry& operator=(const ShellRegistry&) = delete;

    // A value under the classes root; name nullptr for the default value.
    void SetClass(const std::wstring& path, const wchar_t* name, const std::wstring& value);
    // The user's recent programs for a type ("swa"): MRUList and its values.
    void SetRecent(const std::wstring& extension, const std::wstring& mruList,
                   const std::vector<std::pair<std::wstring, std::wstring>>& values);

private:
    std::vector<std::pair<HKEY, std::wstring>> created_;
};

// The folder of the suite's stand-in editors.
std::wstring TestEditorsFolder();
// Reads an editor's log (UTF-8 lines) and removes it when asked.
std::vector<std::wstring> EditorLog(const wchar_t* editor);
void ClearEditorLog(const wchar_t* editor);
