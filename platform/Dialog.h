#pragma once
// The dialog base over in-memory templates: the static dialog procedure
// finds the object (DWLP_USER, set at WM_INITDIALOG) and calls
// HandleMessage, whose switch is the class's message table.
#include <windows.h>

#include <vector>

namespace platform {

class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog of this template modally; its result, or -1 when it
    // could not be created.
    INT_PTR RunModal(HWND parent, const std::vector<WORD>& dialogTemplate);
    // Creates it modeless (hidden unless the template says WS_VISIBLE).
    HWND CreateModeless(HWND parent, const std::vector<WORD>& dialogTemplate);
    void End(INT_PTR result);
    HWND hwnd() const { return hwnd_; }

protected:
    // TRUE when the message was handled (the result goes to DWLP_MSGRESULT
    // where the message has one); FALSE for the default dialog handling.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// The dialog template resource id of the program file, as words for
// RunModal; empty when there is none.
std::vector<WORD> LoadDialogTemplate(int id);

// Gives a window the program's icon (a resource of the program file) as its
// large and its small icon.
void SetWindowIcons(HWND window, int iconId);

}  // namespace platform
