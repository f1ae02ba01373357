#include "app/ShellIconWND.h"

#include "app/ShotDeskApp.h"
#include "app/ToolBarControl.h"
#include "resources/resource.h"
#include "uikit/TextCatalog.h"

#include <vector>

namespace {

const UINT g_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");

// Replaces every item text of a menu (and its submenus) by its translation.
void TranslateMenu(HMENU menu) {
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info{sizeof(info)};
        info.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_ID;
        if (!::GetMenuItemInfoW(menu, i, TRUE, &info) || (info.fType & MFT_SEPARATOR)) continue;
        std::vector<wchar_t> text(1025, L'\0');
        MENUITEMINFOW read{sizeof(read)};
        read.fMask = MIIM_STRING;
        read.dwTypeData = text.data();
        read.cch = 1024;
        if (!::GetMenuItemInfoW(menu, i, TRUE, &read)) continue;
        std::wstring translated = ExpandText(text.data(), true);
        MENUITEMINFOW write{sizeof(write)};
        write.fMask = MIIM_STRING;
        write.dwTypeData = translated.data();
        ::SetMenuItemInfoW(menu, i, TRUE, &write);
        if (info.hSubMenu) TranslateMenu(info.hSubMenu);
    }
}

}  // namespace

void CShellIconWND::SetUpTrayIcon() {
    if (trayIcon_.Data().uID != kTrayIconId) trayIcon_.SetId(kTrayIconId);
    if (trayIcon_.Data().uCallbackMessage != kTrayCallback) trayIcon_.SetCallbackMessage(kTrayCallback);
    trayIcon_.SetWindow(hwnd());
    trayIcon_.LoadIconResource(IDI_TRAY);
    trayIcon_.SetTip(app_.GetProductName());
}

void CShellIconWND::ShowPopupMenu() {
    long selected = ID_TRAY_MODE_FIRST + 2;  // 134 unless the options say otherwise
    if (::IsWindow(hwnd())) {
        menuOwner_ = hwnd();
    } else {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    if (HMENU bar = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU))) {
        HMENU popup = ::GetSubMenu(bar, 0);
        if (popup) {
            ::RemoveMenu(bar, 0, MF_BYPOSITION);
            trayMenu_.SetMenu(0, popup, true);
        } else {
            ::SetLastError(static_cast<DWORD>(E_FAIL));
        }
        ::DestroyMenu(bar);
    }
    for (int slot = 0; slot < 2; ++slot)
        if (HMENU menu = trayMenu_.Menu(slot)) TranslateMenu(menu);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    if (CaptureOptions* options = app_.Options()) {
        platform::Variant mode;
        if (options->GetProperty(L"CaptureMode", mode) && mode.type() == VT_I4) selected = mode.get().lVal;
    }
    trayMenu_.CheckRadio(0, ID_TRAY_MODE_FIRST, ID_TRAY_MODE_LAST, static_cast<UINT>(selected));
    if (trayMenu_.Menu(0) && menuOwner_) {
        ::SetForegroundWindow(menuOwner_);
        ::TrackPopupMenu(trayMenu_.Menu(0), 0, cursor.x, cursor.y, 0, menuOwner_, nullptr);
        // Lets the menu close properly when the user clicks elsewhere.
        ::PostMessageW(menuOwner_, WM_NULL, 0, 0);
    } else {
        ::SetLastError(ERROR_INVALID_FUNCTION);
    }
}

bool CShellIconWND::OnCommand(UINT id) {
    try {
        if (id == ID_TRAY_CAPTURE) {
            if (ICaptureEngine* engine = app_.Engine()) engine->Capture();
        } else if (id >= ID_TRAY_MODE_FIRST && id <= ID_TRAY_MODE_LAST) {
            if (CaptureOptions* options = app_.Options())
                options->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(id)));
        } else if (id == ID_TRAY_PROPERTIES) {
            // Through the engine, whose busy state keeps captures and a
            // second dialog away while this one is open.
            if (ICaptureEngine* engine = app_.Engine()) engine->DisplayOptionsDlg();
        } else if (id == ID_TRAY_OPEN) {
            if (ICaptureEngine* engine = app_.Engine()) engine->ShowToolBar();
        } else if (id == ID_TRAY_EXIT) {
            ::PostQuitMessage(0);
        } else {
            return id == 138 || id == 140;
        }
    } catch (...) {
        // A failing command leaves the tray as it was.
    }
    return true;
}

void CShellIconWND::BringIconBack() {
    if (trayIcon_.Add() || trayIcon_.IsAdded()) return;
    iconRetries_ = 20;
    ::SetTimer(hwnd(), kIconRetryTimer, 500, nullptr);
}

LRESULT CShellIconWND::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_taskbarCreated && g_taskbarCreated != 0) {
        trayIcon_.Restore();
        return 1;
    }
    switch (message) {
        case WM_CREATE: {
            const LRESULT result = Default(message, wParam, lParam);
            if (result == -1) return -1;
            SetUpTrayIcon();
            // A shell still busy at sign-in may refuse the first icon.
            if (!trayIcon_.IsAdded()) BringIconBack();
            return 0;
        }
        case kTrayCallback:
            if (wParam != kTrayIconId) break;
            switch (lParam) {
                case WM_LBUTTONDOWN:
                    doubleClickPending_ = 0;
                    break;
                case WM_LBUTTONDBLCLK:
                    doubleClickPending_ = 1;
                    return 0;
                case WM_LBUTTONUP:
                    if (doubleClickPending_) {
                        ::PostMessageW(hwnd(), kShowToolbarMessage, 0, 0);
                        doubleClickPending_ = 0;
                    }
                    return 0;
                case WM_RBUTTONUP:
                    ShowPopupMenu();
                    break;
                default:
                    break;
            }
            break;
        case ToolBarControl::kVisibilityMessage:
            // The toolbar takes the icon's place while it shows.
            toolbarVisible_ = wParam != 0;
            if (toolbarVisible_) {
                ::KillTimer(hwnd(), kIconRetryTimer);
                trayIcon_.Remove();
            } else {
                BringIconBack();
            }
            return 0;
        case WM_TIMER:
            if (wParam == kHeldKeyTimer) {
                app_.OnHeldKeyTimer();
                return 0;
            }
            if (wParam != kIconRetryTimer) break;
            if (toolbarVisible_ || trayIcon_.IsAdded() || trayIcon_.Add() || --iconRetries_ <= 0)
                ::KillTimer(hwnd(), kIconRetryTimer);
            return 0;
        case kShowToolbarMessage:
            if (ICaptureEngine* engine = app_.Engine()) engine->ShowToolBar();
            return 1;
        case WM_HOTKEY:
            app_.OnHotKey(wParam, lParam);
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && OnCommand(LOWORD(wParam))) return 0;
            break;
        case WM_ENDSESSION:
            if (wParam) app_.OnEndSession();
            return 0;
        case WM_DESTROY:
            // Whoever closes the main window (WM_CLOSE from another program,
            // an installer, taskkill) ends the program through its normal
            // exit steps instead of leaving it running without a window.
            ::PostQuitMessage(0);
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}
