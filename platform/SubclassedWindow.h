#pragma once
// The window base for a control of an existing class (a system control made
// by a dialog or a layout): Attach subclasses the window, so that its messages
// reach HandleMessage first; Default passes them on to the class's own
// procedure. The subclass goes when the window is destroyed or on Detach.
#include <windows.h>

namespace platform {

class SubclassedWindow {
public:
    SubclassedWindow() = default;
    virtual ~SubclassedWindow();
    SubclassedWindow(const SubclassedWindow&) = delete;
    SubclassedWindow& operator=(const SubclassedWindow&) = delete;

    // False when this object already has a window or the window cannot be
    // subclassed.
    bool Attach(HWND window);
    void Detach();
    HWND hwnd() const { return hwnd_; }

protected:
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);

    HWND hwnd_ = nullptr;
};

}  // namespace platform
