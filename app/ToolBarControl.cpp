#include "app/ToolBarControl.h"

#include "app/CaptureEngine.h"
#include "app/ShotDeskConstants.h"
#include "options/CaptureOptions.h"
#include "platform/Monitors.h"
#include "resources/resource.h"
#include "uikit/HotKey.h"
#include "uikit/TextCatalog.h"

#include <string>

namespace {

constexpr int kFullScreenId = ID_TOOLBAR_FULL_SCREEN;
constexpr int kWindowId = ID_TOOLBAR_WINDOW;
constexpr int kRegionId = ID_TOOLBAR_RECTANGLE;
constexpr int kResizeId = ID_TOOLBAR_RESIZE;
constexpr int kOptionsId = ID_TOOLBAR_OPTIONS;
constexpr int kAboutId = ID_TOOLBAR_ABOUT;

// The string resources of the button labels, whose texts are keys of the
// language files, by button.
struct ButtonText {
    int commandId;
    int labelId;
    const wchar_t* hotKeyOption;
};
constexpr ButtonText kButtons[] = {
    {kFullScreenId, IDS_LABEL_FULL_SCREEN, L"FullScreenCaptureKey"},
    {kWindowId, IDS_LABEL_WINDOW, L"WindowCaptureKey"},
    {kRegionId, IDS_LABEL_RECTANGLE, L"RegionCaptureKey"},
    {kResizeId, IDS_LABEL_RESIZE, L"ResizeApplicationKey"},
    {kOptionsId, IDS_LABEL_OPTIONS, nullptr},
    {kAboutId, IDS_LABEL_ABOUT, nullptr},
};

// The button a tooltip asks about: its id, or the id of the window it names.
int ToolTipId(const NMHDR& header, UINT flags) {
    return (flags & TTF_IDISHWND) ? ::GetDlgCtrlID(reinterpret_cast<HWND>(header.idFrom))
                                  : static_cast<int>(header.idFrom);
}

std::wstring StringResource(int id) {
    const wchar_t* text = nullptr;
    const int length =
        ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text != nullptr ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

}  // namespace

ToolBarControl::~ToolBarControl() {
    // A toolbar that goes with its engine while it shows (an automation
    // client released it) gives the tray icon back.
    if (hwnd() != nullptr && ::IsWindowVisible(hwnd())) TellMainWindow(false);
}

bool ToolBarControl::CreateHidden() {
    const std::wstring title = ExpandText(L"{applicationname}", false);
    const bool created = Create(L"SnapwellToolBar", CS_HREDRAW | CS_VREDRAW, WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, RECT{}, nullptr,
                                ::LoadCursorW(nullptr, IDC_ARROW), ::GetSysColorBrush(COLOR_BTNFACE));
    if (created) ::ShowWindow(hwnd(), SW_HIDE);
    return created;
}

bool ToolBarControl::OnCreate() {
    if (!bar_.Create(hwnd())) return true;  // a window without buttons still closes and moves
    bar_.LoadImageLists(platform::WindowDpi(hwnd()));
    bar_.ApplyImageLists();
    bar_.ComputeSizes(labelMode_);
    ::SendMessageW(bar_.hwnd(), TB_AUTOSIZE, 0, 0);
    // Restoring the place ends with the rebuild of the buttons.
    RestorePosition();
    // Only Move and Close are left in the system menu.
    if (HMENU menu = ::GetSystemMenu(hwnd(), FALSE)) {
        for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) ::DeleteMenu(menu, command, MF_BYCOMMAND);
    }
    return true;
}

void ToolBarControl::RebuildToolBar() {
    const bool visible = ::IsWindowVisible(hwnd()) != FALSE;
    try {
        if (CaptureOptions* options = engine_.Options()) {
            labelMode_ = options->GetProgramOption(L"ToolbarLabel", false) == L"ShowTextLabels"
                             ? CaptureButtonBar::kLabelsBelow
                             : CaptureButtonBar::kNoLabels;
            bar_.SetIconSize(options->GetProgramOption(L"ToolbarSize", false) == L"LargeIcon"
                                 ? CaptureButtonBar::kLargeIcons
                                 : CaptureButtonBar::kSmallIcons);
        }
    } catch (...) {
        // Unreadable options leave the look as it was.
    }
    if (bar_.hwnd() != nullptr) {
        bar_.ApplyImageLists();
        bar_.ComputeSizes(labelMode_);
        for (const ButtonText& button : kButtons) {
            std::wstring label = ExpandText(StringResource(button.labelId), true);
            TBBUTTONINFOW info{sizeof(info)};
            info.dwMask = TBIF_TEXT;
            info.pszText = label.data();
            ::SendMessageW(bar_.hwnd(), TB_SETBUTTONINFOW, static_cast<WPARAM>(button.commandId),
                           reinterpret_cast<LPARAM>(&info));
        }
        // Labels below the images or none: never beside them. The style
        // change fits the window to the buttons.
        LONG_PTR style = ::GetWindowLongPtrW(bar_.hwnd(), GWL_STYLE);
        style = labelMode_ == CaptureButtonBar::kLabelsRight ? (style | TBSTYLE_LIST)
                                                             : ((style & ~TBSTYLE_LIST) | TBSTYLE_FLAT);
        ::SetWindowLongPtrW(bar_.hwnd(), GWL_STYLE, style);
        bar_.ComputeSizes(labelMode_);
        bar_.FitParent();
    }
    ::SetWindowTextW(hwnd(), ExpandText(L"{applicationname}", false).c_str());
    ::ShowWindow(hwnd(), visible ? SW_SHOW : SW_HIDE);
}

std::wstring ToolBarControl::ToolTipText(int commandId) const {
    std::wstring text = ExpandText(L"ToolTips" + std::to_wstring(commandId), true);
    if (text.find(L"{1}") == std::wstring::npos) return text;
    std::wstring keyText;
    try {
        CaptureOptions* options = engine_.Options();
        for (const ButtonText& button : kButtons) {
            if (button.commandId != commandId || button.hotKeyOption == nullptr || options == nullptr) continue;
            const std::wstring stored = options->GetHotKeyValue(button.hotKeyOption);
            if (const std::optional<HotKey> key = ParseHotKeyText(stored); key && !stored.empty())
                keyText = FormatHotKeyForDisplay(key->modifiers, key->virtualKey);
        }
    } catch (...) {
        keyText.clear();
    }
    return FillFirstArgument(text, keyText);
}

void ToolBarControl::OnButton(int commandId) {
    // The toolbar's buttons are the program's own requests, whoever showed it.
    CCaptureEngine::ProgramRequest request;
    switch (commandId) {
        case kFullScreenId: engine_.CaptureFullScreen(); break;
        case kWindowId: engine_.CaptureWindow(); break;
        case kRegionId: engine_.CaptureRegion(); break;
        case kResizeId: engine_.ResizeApplication(); break;
        case kOptionsId:
        case kAboutId:
            // The toolbar steps aside while the dialog runs.
            ::ShowWindow(hwnd(), SW_HIDE);
            if (commandId == kOptionsId) {
                engine_.DisplayOptionsDlg();
            } else {
                engine_.About();
            }
            ::ShowWindow(hwnd(), SW_SHOW);
            break;
        default: break;
    }
}

void ToolBarControl::TellMainWindow(bool shown) const {
    if (HWND main = CCaptureEngine::ProcessMainWindow()) ::SendMessageW(main, kVisibilityMessage, shown ? 1 : 0, 0);
}

void ToolBarControl::Close() {
    SavePosition();
    ::ShowWindow(hwnd(), SW_HIDE);
    TellMainWindow(false);
}

void ToolBarControl::SavePosition() const {
    RECT window{};
    if (!::GetWindowRect(hwnd(), &window)) return;
    // The program's key is created where it is missing.
    const std::wstring key = ProgramKeyPath();
    const DWORD x = static_cast<DWORD>(window.left), y = static_cast<DWORD>(window.top);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"x", REG_DWORD, &x, sizeof(x));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"y", REG_DWORD, &y, sizeof(y));
}

namespace {

bool Holds(const RECT& area, POINT p) {
    return p.x >= area.left && p.x <= area.right && p.y >= area.top && p.y <= area.bottom;
}

POINT Centre(const RECT& area) { return POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2}; }

}  // namespace

POINT ToolBarControl::RestoredPosition(const DWORD* x, const DWORD* y, const std::vector<RECT>& workAreas) {
    const RECT primary = workAreas.empty() ? RECT{} : workAreas.front();
    const POINT centre = Centre(primary);
    if (x == nullptr || y == nullptr) return centre;
    // Stored as words: a place left of or above the primary monitor reads
    // back negative.
    const POINT stored{static_cast<LONG>(static_cast<int>(*x)), static_cast<LONG>(static_cast<int>(*y))};
    for (const RECT& area : workAreas)
        if (Holds(area, stored)) return stored;
    // On no monitor now (one that is gone, say): each edge beyond the
    // primary monitor's work area comes to its middle.
    return POINT{stored.x >= primary.left && stored.x <= primary.right ? stored.x : centre.x,
                 stored.y >= primary.top && stored.y <= primary.bottom ? stored.y : centre.y};
}

void ToolBarControl::RestorePosition() {
    // Only a REG_DWORD counts as a stored coordinate.
    const std::wstring key = ProgramKeyPath();
    const auto stored = [&key](const wchar_t* name, DWORD& value) {
        DWORD size = sizeof(value);
        return ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
               ERROR_SUCCESS;
    };
    DWORD x = 0, y = 0;
    const bool haveX = stored(L"x", x), haveY = stored(L"y", y);
    // Without a stored position (a first start included) the toolbar starts
    // in the middle of the screen rather than in its corner.
    const POINT at =
        RestoredPosition(haveX ? &x : nullptr, haveY ? &y : nullptr, platform::WorkAreas(platform::Monitors()));
    ::SetWindowPos(hwnd(), HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    RebuildToolBar();
}

POINT ToolBarControl::KeptOnScreen(const RECT& window, const std::vector<RECT>& workAreas, bool strict) {
    if (workAreas.empty()) return POINT{window.left, window.top};
    const auto touches = [&window](const RECT& area) {
        return window.left <= area.right && window.right >= area.left && window.top <= area.bottom &&
               window.bottom >= area.top;
    };
    const auto within = [&window](const RECT& area) {
        return window.left >= area.left && window.right <= area.right && window.top >= area.top &&
               window.bottom <= area.bottom;
    };
    // The monitor it is measured against: the one it overlaps most, or the
    // primary when it is on none.
    RECT home = workAreas.front();
    LONG best = -1;
    for (const RECT& area : workAreas) {
        if (strict ? within(area) : touches(area)) return POINT{window.left, window.top};
        RECT common{};
        if (::IntersectRect(&common, &window, &area)) {
            const LONG size = (common.right - common.left) * (common.bottom - common.top);
            if (size > best) best = size, home = area;
        }
    }
    // Each edge that leaves that monitor (wholly when lenient, at all when
    // strict) brings the toolbar to the monitor's middle on that axis.
    POINT at{window.left, window.top};
    const LONG width = window.right - window.left, height = window.bottom - window.top;
    const POINT centre = Centre(home);
    if (window.left > home.right || window.right < home.left ||
        (strict && (window.right > home.right || window.left < home.left)))
        at.x = centre.x - width / 2;
    if (window.top > home.bottom || window.bottom < home.top ||
        (strict && (window.bottom > home.bottom || window.top < home.top)))
        at.y = centre.y - height / 2;
    return at;
}

void ToolBarControl::KeepOnScreen(bool strict) {
    RECT window{};
    if (!::GetWindowRect(hwnd(), &window)) return;
    const POINT at = KeptOnScreen(window, platform::WorkAreas(platform::Monitors()), strict);
    if (at.x == window.left && at.y == window.top) return;
    ::SetWindowPos(hwnd(), HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT ToolBarControl::OnNotify(NMHDR* header) {
    switch (header->code) {
        case TTN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
            const std::wstring text = ToolTipText(ToolTipId(*header, info->uFlags));
            wcsncpy_s(info->szText, text.c_str(), _TRUNCATE);
            info->lpszText = info->szText;
            return 0;
        }
        case TTN_GETDISPINFOA: {
            auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
            const std::wstring text = ToolTipText(ToolTipId(*header, info->uFlags));
            ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, info->szText, sizeof(info->szText), nullptr, nullptr);
            info->szText[sizeof(info->szText) - 1] = '\0';
            info->lpszText = info->szText;
            return 0;
        }
        // The toolbar's own customising: moving and removing buttons is
        // allowed, nothing is added from outside, and the window follows
        // the bar's new size.
        case TBN_QUERYINSERT:
        case TBN_QUERYDELETE:
        case TBN_BEGINDRAG:
        case TBN_ENDDRAG:
        case TBN_BEGINADJUST:
        case TBN_ENDADJUST:
        case TBN_RESET:
        case TBN_CUSTHELP: return TRUE;
        case TBN_TOOLBARCHANGE: bar_.FitParent(); return 0;
        case TBN_GETBUTTONINFOW:
        case TBN_GETBUTTONINFOA: return FALSE;
        default: return 0;
    }
}

LRESULT ToolBarControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (Default(message, wParam, lParam) == -1) return -1;
            OnCreate();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) >= kFullScreenId && LOWORD(wParam) <= kAboutId) {
                OnButton(LOWORD(wParam));
                return 0;
            }
            break;
        case WM_CLOSE: Close(); return 0;
        case WM_KEYUP:
            if (wParam == VK_ESCAPE) Close();
            break;
        case WM_WINDOWPOSCHANGED: {
            const LRESULT result = Default(message, wParam, lParam);
            if (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) TellMainWindow(true);
            return result;
        }
        case WM_DISPLAYCHANGE: KeepOnScreen(true); return 0;
        case WM_DPICHANGED: {
            // Dragged onto a monitor of another scale: the images and buttons
            // are made for it, and the window goes where the system suggests.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            bar_.LoadImageLists(HIWORD(wParam));
            ::SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            RebuildToolBar();
            return 0;
        }
        case WM_STYLECHANGED: {
            const LRESULT result = Default(message, wParam, lParam);
            RebuildToolBar();
            return result;
        }
        case WM_NOTIFY: return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_SETTINGCHANGE: return 0;

        default: break;
    }
    return Default(message, wParam, lParam);
}
