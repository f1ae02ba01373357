#include "platform/Window.h"

namespace platform {

Window::~Window() { Destroy(); }

bool Window::Create(const wchar_t* className, UINT classStyle, DWORD exStyle, const wchar_t* title, DWORD style,
                    const RECT& rect, HWND parent, HCURSOR cursor, HBRUSH background) {
    WNDCLASSEXW wc{sizeof(wc)};
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!::GetClassInfoExW(instance, className, &wc)) {
        wc = WNDCLASSEXW{sizeof(wc)};
        wc.style = classStyle;
        wc.lpfnWndProc = StaticProc;
        wc.hInstance = instance;
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.lpszClassName = className;
        if (!::RegisterClassExW(&wc)) return false;
    }
    ::CreateWindowExW(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                      rect.bottom - rect.top, parent, nullptr, instance, this);
    return hwnd_ != nullptr;
}

void Window::Destroy() {
    if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK Window::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr && message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->OnPreCreate();
    }
    if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        if (self->modal_) self->endModal_ = true;
    }
    return result;
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }

int Window::RunModalLoop() {
    modal_ = true;
    endModal_ = false;
    MSG msg;
    while (!endModal_ && hwnd_ != nullptr) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    modal_ = false;
    return modalResult_;
}

void Window::EndModalLoop(int result) {
    modalResult_ = result;
    endModal_ = true;
    // Wakes GetMessage so that the loop sees the flag.
    if (hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_NULL, 0, 0);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int ScaleToScreenDpi(int pixels) { return ::MulDiv(pixels, ScreenDpi(), 96); }

int WindowDpi(HWND window) {
    // Windows 10 1607 and later; looked up so that older systems still start.
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowProc>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow != nullptr && window != nullptr ? getDpiForWindow(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : ScreenDpi();
}

}  // namespace platform
