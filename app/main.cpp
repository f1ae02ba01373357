#include "app/ShotDeskApp.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CShotDeskApp app;
    int exitCode = 0;
    if (app.InitInstance()) {
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            // A hot key registered while there was no main window arrives
            // as a thread message.
            if (msg.hwnd == nullptr && msg.message == WM_HOTKEY) {
                app.OnHotKey(msg.wParam, msg.lParam);
                continue;
            }
            if (msg.hwnd == nullptr && msg.message == CShotDeskApp::kLastObjectGoneMessage) {
                app.OnLastObjectGone();
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        exitCode = static_cast<int>(msg.wParam);
    }
    const int exitResult = app.ExitInstance();
    return exitCode != 0 ? exitCode : exitResult;
}
