#pragma once
// The window base: the static window procedure finds the object through
// GWLP_USERDATA and calls HandleMessage, whose switch is the class's message
// table. RunModalLoop/EndModalLoop pump messages until the window ends them.
#include <windows.h>

#include <string>

namespace platform {

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Registers the class once (per process) and creates the window.
    bool Create(const wchar_t* className, UINT classStyle, DWORD exStyle, const wchar_t* title, DWORD style,
                const RECT& rect, HWND parent, HCURSOR cursor = nullptr, HBRUSH background = nullptr);
    void Destroy();
    HWND hwnd() const { return hwnd_; }

    // Pumps messages until EndModalLoop; returns its result. Ends early when
    // the window is destroyed or the thread is asked to quit (the quit
    // message is posted again for the outer loop).
    int RunModalLoop();
    void EndModalLoop(int result);
    bool InModalLoop() const { return modal_; }
    int ModalResult() const { return modalResult_; }

protected:
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Called while the window is being created, before WM_CREATE.
    virtual void OnPreCreate() {}
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
    bool endModal_ = false;
    int modalResult_ = 0;
};

// The window's whole text.
std::wstring WindowText(HWND window);

// The screen's logical pixels per inch (96 at 100 %), and a length given in
// pixels at 96 scaled to it.
int ScreenDpi();
int ScaleToScreenDpi(int pixels);
// The pixels per inch of the monitor a window is on, where the system
// tells it per window; otherwise the screen's.
int WindowDpi(HWND window);

}  // namespace platform
