#include "platform/SubclassedWindow.h"

#include <commctrl.h>

namespace platform {

namespace {
// One subclass per object and window, told apart by the object's address:
// with one identifier for all, a second object attached to the same window
// (an editor hook over a hot-key field) would silently replace the first.
UINT_PTR SubclassIdOf(const SubclassedWindow* object) { return reinterpret_cast<UINT_PTR>(object); }
}  // namespace

SubclassedWindow::~SubclassedWindow() { Detach(); }

bool SubclassedWindow::Attach(HWND window) {
    if (hwnd_ != nullptr || window == nullptr) return false;
    if (!::SetWindowSubclass(window, SubclassProc, SubclassIdOf(this), reinterpret_cast<DWORD_PTR>(this))) return false;
    hwnd_ = window;
    return true;
}

void SubclassedWindow::Detach() {
    if (hwnd_ == nullptr) return;
    ::RemoveWindowSubclass(hwnd_, SubclassProc, SubclassIdOf(this));
    hwnd_ = nullptr;
}

LRESULT SubclassedWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT SubclassedWindow::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK SubclassedWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR data) {
    auto* self = reinterpret_cast<SubclassedWindow*>(data);
    const LRESULT result = self->HandleMessage(message, wParam, lParam);
    // The window is gone after this message; the object may outlive it.
    if (message == WM_NCDESTROY) self->Detach();
    return result;
}

}  // namespace platform
