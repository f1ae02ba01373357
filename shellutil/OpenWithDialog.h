#pragma once
// The "Open With" dialog: every application the shell can open files with,
// one row per program, for the user to choose an editor from; "Other..."
// takes any program file. On OK it gives the chosen application's class
// name (for the editor options) and its friendly name.
#include "platform/Dialog.h"
#include "shellutil/OpenWith.h"

#include <string>
#include <vector>

class COpenWithDlg : public platform::Dialog {
public:
    static constexpr WORD kIconId = 11010, kPromptId = 11011, kChooseId = 11009, kListId = 11005, kOtherId = 10003;

    // fileName names the file or the type to open in the prompt.
    COpenWithDlg(HWND parent, std::wstring fileName);

    // IDOK with a choice, IDCANCEL without.
    INT_PTR DoModal();
    const std::wstring& ClassName() const { return className_; }
    const std::wstring& FriendlyName() const { return friendlyName_; }
    // The rows as listed, for a caller or a test.
    const std::vector<ApplicationGroup>& Applications() const { return applications_; }

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnInitDialog();
    void FillList();
    int SelectedRow() const;
    void ChooseOther();

    HWND parent_;
    std::wstring fileName_;
    std::wstring className_, friendlyName_;
    std::vector<ApplicationGroup> applications_;
};

// Makes a program file openable through the shell as "Applications\<name>"
// for this user (what the shell's own "Open With" does when a program is
// browsed for) and gives that class name; empty when it cannot.
std::wstring RegisterApplicationForUser(const std::wstring& programPath);
