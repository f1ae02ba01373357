#include "capture/ICaptureWnd.h"

#include <map>
#include <mutex>
#include <utility>

ICaptureWnd::ICaptureWnd() {
    m_savedCursor = ::GetCursor();
    ::GetCursorPos(&m_savedCursorPos);
}

HCURSOR ICaptureWnd::ProgramCursor(int id) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    // Drawn at 32 pixels for 100 %; on a scaled screen the cursor grows
    // with it, as the system's own do. Each scaled size is loaded once and
    // kept for the life of the process.
    const int size = platform::ScaleToScreenDpi(32);
    HCURSOR cursor = nullptr;
    if (size == ::GetSystemMetrics(SM_CXCURSOR)) {
        cursor = ::LoadCursorW(module, MAKEINTRESOURCEW(id));
    } else {
        static std::mutex guard;
        static std::map<std::pair<int, int>, HCURSOR> loaded;
        const std::lock_guard<std::mutex> lock(guard);
        HCURSOR& scaled = loaded[{id, size}];
        if (scaled == nullptr)
            scaled = static_cast<HCURSOR>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_CURSOR, size, size, 0));
        cursor = scaled;
    }
    return cursor ? cursor : ::LoadCursorW(nullptr, IDC_CROSS);
}

void ICaptureWnd::ShowCursorResource(int id) {
    m_overlayCursor = ProgramCursor(id);
    ::SetCursor(m_overlayCursor);
}

void ICaptureWnd::Cancel() {
    m_endCode = 2;
    EndModalLoop(ModalResult());
}

LRESULT ICaptureWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETCURSOR:
            // The overlay classes have no cursor of their own: the overlay's
            // is set again each time, so nothing that changed the thread's
            // cursor meanwhile shows over the overlay.
            if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd()) {
                if (m_overlayCursor) ::SetCursor(m_overlayCursor);
                return TRUE;
            }
            break;
        case WM_NCHITTEST: return m_hitTestLock == 1 ? HTTRANSPARENT : Default(message, wParam, lParam);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                Cancel();
                return 0;
            }
            break;
        case WM_RBUTTONUP: {
            const LRESULT result = Default(message, wParam, lParam);
            Cancel();
            return result;
        }
        case WM_KEYUP:
            if (wParam == VK_ESCAPE) Cancel();
            break;
        case WM_KILLFOCUS: {
            const LRESULT result = Default(message, wParam, lParam);
            ::PostMessageW(hwnd(), WM_KEYUP, VK_ESCAPE, 0);
            return result;
        }
        default: break;
    }
    return Default(message, wParam, lParam);
}
