#pragma once
// Handing the foreground to one of this program's windows while another
// program has it: this thread joins the foreground thread's input state for
// the moment it takes.
#include <windows.h>

namespace platform {

inline void BringToForeground(HWND window) {
    const DWORD self = ::GetCurrentThreadId();
    const HWND foreground = ::GetForegroundWindow();
    const DWORD other = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    const bool attached = other != 0 && other != self && ::AttachThreadInput(self, other, TRUE);
    ::SetForegroundWindow(window);
    ::SetFocus(window);
    if (attached) {
        ::AttachThreadInput(self, other, FALSE);
        // Detaching can leave no window active at all (Wine does, while the
        // other thread answers its deactivation): asked once more, now from
        // this thread's own input state, the window keeps the foreground.
        if (::GetForegroundWindow() != window) ::SetForegroundWindow(window);
    }
}

}  // namespace platform
