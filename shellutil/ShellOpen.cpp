#include "shellutil/ShellOpen.h"

#include <shellapi.h>
#include <shlobj.h>

bool OpenWithShell(const std::wstring& path, HWND owner) {
    if (path.empty()) return false;
    // ShellExecute answers a value above 32 when it started something.
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) >
           32;
}

bool OpenFolderSelectingFile(const std::wstring& file, HWND owner) {
    if (file.empty()) return false;
    if (PIDLIST_ABSOLUTE item = ::ILCreateFromPathW(file.c_str())) {
        const HRESULT selected = ::SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
        ::ILFree(item);
        if (SUCCEEDED(selected)) return true;
    }
    const size_t slash = file.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    // "C:\" keeps its backslash; any other folder is named without one.
    std::wstring folder = file.substr(0, slash == 2 ? 3 : slash);
    return OpenWithShell(folder, owner);
}
