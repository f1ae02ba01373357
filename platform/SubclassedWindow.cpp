#include "platform/SubclassedWindow.h"

#include <commctrl.h>

namespace platform {

namespace {
// One subclass per object and window: the object's address tells them apart.
constexpr UINT_PTR kSubclassId = 1;
}  // namespace

SubclassedWindow::~SubclassedWindow() { Detach(); }

bool SubclassedWindow::Attach(HWND window) {
    if (hwnd_ != nullptr || window == nullptr) return false;
    if (!::SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
    hwnd_ = window;
    return true;
}

void SubclassedWindow::Detach() {
    if (hwnd_ == nullptr) return;
    ::RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
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
