#include "capture/ResizeAppDlg.h"

#include "resources/resource.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"

#include <cwchar>
#include <cwctype>

namespace {

constexpr const wchar_t* kPresets[] = {L"640x480", L"800x600", L"1024x768"};
// What a window that does not say otherwise needs at least.
constexpr SIZE kDefaultMinimum{122, 27};

}  // namespace

WindowSizeVerdict ReadWindowSize(const std::wstring& text, int& width, int& height, SIZE minimum, SIZE screen) {
    std::wstring lower = text;
    for (wchar_t& c : lower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    bool wellFormed = false;
    const size_t x = lower.find(L'x');
    if (x != std::wstring::npos && lower.find(L'x', x + 1) == std::wstring::npos) {
        int value = 0;
        if (std::swscanf(lower.substr(0, x).c_str(), L"%d", &value) == 1) width = value;
        if (std::swscanf(lower.substr(x + 1).c_str(), L"%d", &value) == 1) height = value;
        wellFormed = width != 0 && height != 0;
    }
    // Compared as unsigned values: a negative size is larger than any screen.
    const auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
    const bool small = w < static_cast<unsigned>(minimum.cx) || h < static_cast<unsigned>(minimum.cy);
    if (small) return WindowSizeVerdict::TooSmall;
    if (!wellFormed || w > static_cast<unsigned>(screen.cx) || h > static_cast<unsigned>(screen.cy))
        return WindowSizeVerdict::TooLarge;
    return WindowSizeVerdict::Accepted;
}

// The size box takes digits, "x" and backspace; any other character is
// dropped with the warning beep. The editing shortcuts still work.
class CResizeAppDlg::SizeFilter : public platform::SubclassedWindow {
protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CHAR && !Passes(static_cast<wchar_t>(wParam))) {
            ::MessageBeep(MB_ICONEXCLAMATION);
            return 0;
        }
        return Default(message, wParam, lParam);
    }

private:
    static bool Passes(wchar_t c) {
        // Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+X and Ctrl+Z: select, copy, paste,
        // cut and undo, not characters of the text.
        return (c >= L'0' && c <= L'9') || c == L'x' || c == L'X' || c == 8 || c == 1 || c == 3 || c == 22 || c == 24 ||
               c == 26;
    }
};

CResizeAppDlg::CResizeAppDlg(HWND target) : target_(target) {}

CResizeAppDlg::~CResizeAppDlg() = default;

INT_PTR CResizeAppDlg::DoModal(HWND parent) {
    return RunModal(parent, platform::LoadDialogTemplate(IDD_RESIZE_APPLICATION));
}

SIZE CResizeAppDlg::MinimumSize() const {
    MINMAXINFO limits{};
    limits.ptMinTrackSize = POINT{kDefaultMinimum.cx, kDefaultMinimum.cy};
    // A hung window does not hold the dialog: it keeps the default minimum.
    DWORD_PTR ignored = 0;
    if (target_ != nullptr)
        ::SendMessageTimeoutW(target_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits),
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &ignored);
    return SIZE{limits.ptMinTrackSize.x, limits.ptMinTrackSize.y};
}

void CResizeAppDlg::OnInitDialog() {
    HWND box = ::GetDlgItem(hwnd(), IDC_RESIZE_SIZE);
    for (const wchar_t* preset : kPresets) ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(preset));
    ::SendMessageW(box, CB_SETCURSEL, 0, 0);
    if (HWND edit = ::FindWindowExW(box, nullptr, L"Edit", nullptr)) {
        filter_ = std::make_unique<SizeFilter>();
        filter_->Attach(edit);
    }
    ::SetDlgItemTextW(hwnd(), IDC_RESIZE_TEXT, ExpandText(L"ResizeApplicationStatic", true).c_str());
    ::SetWindowTextW(hwnd(), ExpandText(L"{applicationname}", false).c_str());
    ::SetDlgItemTextW(hwnd(), IDCANCEL, ExpandText(L"Cancel", true).c_str());
    ::SetDlgItemTextW(hwnd(), IDOK, ExpandText(L"OK", true).c_str());
    // The picked window is usually another program's: the dialog comes to
    // the front with the size ready to type over.
    ::SetForegroundWindow(hwnd());
    ::SetFocus(box);
}

bool CResizeAppDlg::Validate() {
    wchar_t text[64] = {};
    ::GetDlgItemTextW(hwnd(), IDC_RESIZE_SIZE, text, 64);
    const SIZE minimum = MinimumSize();
    // The largest size is that of the monitor the window is on.
    SIZE screen{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    MONITORINFO monitor{sizeof(monitor)};
    if (::GetMonitorInfoW(::MonitorFromWindow(target_, MONITOR_DEFAULTTOPRIMARY), &monitor))
        screen =
            SIZE{monitor.rcMonitor.right - monitor.rcMonitor.left, monitor.rcMonitor.bottom - monitor.rcMonitor.top};
    const WindowSizeVerdict verdict = ReadWindowSize(text, width_, height_, minimum, screen);
    if (verdict == WindowSizeVerdict::Accepted) return true;
    std::wstring message;
    if (verdict == WindowSizeVerdict::TooSmall) {
        const std::wstring format = ExpandText(L"InvalidWindowSizeSmall", true);
        // The translation is the format: only its two numbers are filled in.
        std::wstring safe;
        int numbers = 0;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L'd' && numbers < 2) {
                safe += std::to_wstring(numbers++ == 0 ? minimum.cx : minimum.cy);
                ++i;
            } else if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L'%') {
                safe += L'%';
                ++i;
            } else {
                safe += format[i];
            }
        }
        message = safe;
    } else {
        message = ExpandText(L"InvalidWindowSizeLarge", true);
    }
    ShowProgramMessage(message, MB_OK | MB_ICONERROR, hwnd());
    return false;
}

INT_PTR CResizeAppDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: OnInitDialog(); return FALSE;  // the focus is set
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                if (Validate()) End(IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                End(IDCANCEL);
                return TRUE;
            }
            break;
        case WM_DESTROY:
            if (filter_) filter_->Detach();
            break;
        default: break;
    }
    return FALSE;
}
