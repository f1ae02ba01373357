#pragma once
// The save-as dialog of captures: the platform's standard save dialog with
// the four image types. The chosen name always ends in the extension of the
// type selected when the dialog closed, and when a file of that final name
// exists the user is asked before it is replaced.
#include <windows.h>

#include <string>

class CSaveAsDialog {
public:
    CSaveAsDialog(std::wstring initialPath, std::wstring fileType);

    // IDOK or IDCANCEL.
    INT_PTR DoModal();
    // The chosen path with the selected type's extension, or empty when no
    // name was accepted.
    std::wstring GetChosenPath() const;

    // 1-based filter entry for a file type ("png" -> 3), 0 when none matches.
    static unsigned FilterIndexForType(const std::wstring& fileType);
    // Drops a filter extension the path already ends in (compared with
    // case) and appends the one of entry filterIndex.
    static std::wstring WithFilterExtension(const std::wstring& path, unsigned filterIndex);

private:
    // Yes/No: whether the existing file may be replaced.
    static bool ConfirmReplace(HWND fileDialog, const std::wstring& path);
    static UINT_PTR CALLBACK HookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring initialPath_;
    std::wstring fileType_;
    std::wstring chosen_;
    unsigned filterIndex_ = 0;
    bool nameAccepted_ = false;
};
