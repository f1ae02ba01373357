#include "app/SplashDialog.h"

INT_PTR CSplashDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const INT_PTR result = XmlDialog::HandleMessage(message, wParam, lParam);
            ::SetTimer(hwnd(), kCloseTimer, kShowMs, nullptr);
            return result;
        }
        case WM_TIMER:
            if (wParam != kCloseTimer) break;
            ::KillTimer(hwnd(), kCloseTimer);
            End(IDOK);
            return TRUE;
        default:
            break;
    }
    return XmlDialog::HandleMessage(message, wParam, lParam);
}
