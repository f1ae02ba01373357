#include "capture/CountdownWnd.h"

#include "platform/Gdi.h"
#include "platform/Monitors.h"
#include "uikit/TextCatalog.h"

#include <algorithm>
#include <string>

namespace {

constexpr wchar_t kClassName[] = L"SnapwellCountdown";
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 50;
constexpr int kEscapeHotKey = 1;
constexpr COLORREF kBackground = RGB(32, 36, 44);
constexpr COLORREF kDigits = RGB(255, 255, 255);
constexpr COLORREF kHint = RGB(170, 180, 195);

// The monitor the pointer is on: its work area, or the primary's.
RECT PointerWorkArea() {
    POINT pointer{};
    ::GetCursorPos(&pointer);
    MONITORINFO info{sizeof(info)};
    if (::GetMonitorInfoW(::MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &info)) return info.rcWork;
    return platform::Monitors().front().work;
}

// Reads this thread's messages for ms milliseconds; false when the thread
// was asked to quit meanwhile (the quit message is posted again).
bool PumpFor(DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return false;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return true;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

}  // namespace

CountdownWnd::~CountdownWnd() {
    if (escapeHeld_) ::UnregisterHotKey(hwnd(), kEscapeHotKey);
}

RECT CountdownWnd::PlaceFor(const RECT& workArea, int dpi) {
    const int side = ::MulDiv(132, dpi, 96), margin = ::MulDiv(24, dpi, 96);
    const LONG right = workArea.right - margin, bottom = workArea.bottom - margin;
    return RECT{right - side, bottom - side, right, bottom};
}

CountdownWnd::Outcome CountdownWnd::Run(int seconds, const TickHandler& onTick, DWORD readyAheadMs) {
    if (seconds < 0 || seconds > kMaxSeconds) return Outcome::Cancelled;
    const ULONGLONG delay = static_cast<ULONGLONG>(seconds) * 1000;
    deadline_ = ::GetTickCount64() + delay - std::min<ULONGLONG>(readyAheadMs, delay);
    onTick_ = onTick;
    Result result = kElapsed;
    if (seconds > 0) {
        dpi_ = platform::ScreenDpi();
        const RECT place = PlaceFor(PointerWorkArea(), dpi_);
        // Never activated: the user's window keeps the focus and its active
        // look for the picture.
        if (!Create(kClassName, 0, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"", WS_POPUP, place,
                    nullptr, ::LoadCursorW(nullptr, IDC_HAND)))
            return Outcome::Cancelled;
        // The focus stays elsewhere, so Escape is taken as a hot key while
        // the countdown runs; a program that holds it leaves the click.
        escapeHeld_ = ::RegisterHotKey(hwnd(), kEscapeHotKey, 0, VK_ESCAPE) != FALSE;
        Tick();
        ::SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::UpdateWindow(hwnd());
        ::SetTimer(hwnd(), kTickTimer, kTickMs, nullptr);
        result = static_cast<Result>(RunModalLoop());
        RECT was{};
        ::GetWindowRect(hwnd(), &was);
        if (escapeHeld_) ::UnregisterHotKey(hwnd(), kEscapeHotKey);
        escapeHeld_ = false;
        Destroy();
        // What lay beneath is painted again before the delay is up, so that
        // the countdown is never in the picture.
        ::RedrawWindow(nullptr, &was, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::GdiFlush();
    }
    if (onTick_) onTick_(0);
    if (result == kElapsed) {
        const ULONGLONG now = ::GetTickCount64();
        if (now < deadline_ && !PumpFor(static_cast<DWORD>(deadline_ - now))) result = kQuit;
    }
    switch (result) {
        case kElapsed: return Outcome::Elapsed;
        case kCancelled: return Outcome::Cancelled;
        default: return Outcome::Quit;
    }
}

void CountdownWnd::Tick() {
    const ULONGLONG now = ::GetTickCount64();
    if (now + kRepaintMs >= deadline_) {
        ::KillTimer(hwnd(), kTickTimer);
        EndModalLoop(kElapsed);
        return;
    }
    const int left = static_cast<int>((deadline_ - now + 999) / 1000);
    if (left == shown_) return;
    shown_ = left;
    ::SetWindowTextW(hwnd(), std::to_wstring(left).c_str());
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    if (onTick_) onTick_(left);
}

void CountdownWnd::Cancel() {
    ::KillTimer(hwnd(), kTickTimer);
    EndModalLoop(kCancelled);
}

void CountdownWnd::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    platform::UniqueHbrush background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &client, background.get());
    ::SetBkMode(dc, TRANSPARENT);
    const int height = client.bottom - client.top;
    const int hintHeight = height / 5;
    RECT digits = client;
    digits.bottom -= hintHeight;
    platform::UniqueGdi<HFONT> big(::CreateFontW(-(height * 11 / 20), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                                 ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
    {
        platform::SelectedObject font(dc, big.get());
        ::SetTextColor(dc, kDigits);
        const std::wstring text = std::to_wstring(shown_ < 0 ? 0 : shown_);
        ::DrawTextW(dc, text.c_str(), -1, &digits, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    platform::UniqueGdi<HFONT> small(::CreateFontW(-(hintHeight * 3 / 5), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                                   CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
    RECT hint = client;
    hint.top = hint.bottom - hintHeight * 3 / 2;
    platform::SelectedObject font(dc, small.get());
    ::SetTextColor(dc, kHint);
    std::wstring cancel = ExpandText(L"CountdownCancelHint", true);
    // A process without the program's texts (snapctl) says it in English.
    if (cancel == L"CountdownCancelHint") cancel = L"Esc cancels";
    ::DrawTextW(dc, cancel.c_str(), -1, &hint, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

LRESULT CountdownWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam != kTickTimer) break;
            Tick();
            return 0;
        case WM_HOTKEY:
            if (wParam != kEscapeHotKey) break;
            Cancel();
            return 0;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            Cancel();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(hwnd(), &paint);
            Paint(dc);
            ::EndPaint(hwnd(), &paint);
            return 0;
        }
        default:
            break;
    }
    return Default(message, wParam, lParam);
}
