#include "app/ShellIconWND.h"

#include "app/ShotDeskApp.h"
#include "app/ShotDeskConstants.h"
#include "app/ToolBarControl.h"
#include "capture/LastRectangle.h"
#include "output/RecentCaptures.h"
#include "resources/resource.h"
#include "shellutil/ShellOpen.h"
#include "uikit/TextCatalog.h"

#include <shlwapi.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const UINT g_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");

// The longest text a balloon shows.
constexpr size_t kBalloonTextLength = 255;

// Every "{1}", "{2}", ... of text replaced by the value of its number, in
// one pass, so that a file name with "{2}" in it stays as it is.
std::wstring FillArguments(const std::wstring& text, const std::vector<std::wstring>& values) {
    std::wstring filled;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t close = text[i] == L'{' ? text.find(L'}', i) : std::wstring::npos;
        if (close != std::wstring::npos && close == i + 2 && text[i + 1] >= L'1' &&
            static_cast<size_t>(text[i + 1] - L'1') < values.size()) {
            filled += values[static_cast<size_t>(text[i + 1] - L'1')];
            i = close;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

// The notification's lines: where the file went, and the clipboard. A
// folder too long for the balloon is shortened in its middle.
std::wstring NotificationText(const CaptureOutcome& outcome) {
    const std::wstring width = std::to_wstring(outcome.width), height = std::to_wstring(outcome.height);
    const std::wstring copied =
        outcome.copied ? FillArguments(ExpandText(L"NotifyCopied", true), {width, height}) : std::wstring();
    if (outcome.savedPath.empty()) return copied;
    const size_t slash = outcome.savedPath.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? outcome.savedPath : outcome.savedPath.substr(slash + 1);
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : outcome.savedPath.substr(0, slash);
    const auto make = [&] {
        const std::wstring saved = FillArguments(ExpandText(L"NotifySaved", true), {name, width, height, folder});
        return copied.empty() ? saved : saved + L"\n" + copied;
    };
    std::wstring text = make();
    if (text.size() > kBalloonTextLength && text.size() - folder.size() + 8 < kBalloonTextLength) {
        const size_t room = kBalloonTextLength - (text.size() - folder.size());
        std::vector<wchar_t> shortened(room + 1, L'\0');
        if (::PathCompactPathExW(shortened.data(), folder.c_str(), static_cast<UINT>(room + 1), 0)) {
            folder = shortened.data();
            text = make();
        }
    }
    return text.substr(0, kBalloonTextLength);
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
    TrayMenuState state;
    state.fullScreenKey = app_.RegisteredHotKeyName(L"FullScreenCaptureKey");
    state.windowKey = app_.RegisteredHotKeyName(L"WindowCaptureKey");
    state.rectangleKey = app_.RegisteredHotKeyName(L"RegionCaptureKey");
    RECT last{};
    state.lastRectangleStored = ReadLastRectangle(ProgramKeyPath(), last);
    recentShown_ = ReadRecentCaptures(ProgramKeyPath());
    for (const std::wstring& path : recentShown_) state.recentCaptures.push_back(RecentCaptureMenuText(path));
    // The menu of the previous showing is destroyed here; without a new one
    // the slot keeps it.
    if (HMENU popup = LoadTrayMenu(::GetModuleHandleW(nullptr), state)) trayMenu_.SetMenu(0, popup, true);
    if (HMENU other = trayMenu_.Menu(1)) TranslateMenu(other);
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

void CShellIconWND::RunMenuCapture(UINT id) {
    CCaptureEngine* engine = CCaptureEngine::ApplicationEngine();
    if (engine == nullptr) return;
    // As for a hot key, the icon is away while the capture runs.
    const bool iconWasThere = trayIcon_.Remove();
    CCaptureEngine::ProgramRequest request;
    switch (id) {
        case ID_TRAY_CAPTURE_FULL_SCREEN: engine->CaptureFullScreen(); break;
        case ID_TRAY_CAPTURE_WINDOW: engine->CaptureWindow(); break;
        case ID_TRAY_CAPTURE_RECTANGLE: engine->CaptureRegion(); break;
        case ID_TRAY_CAPTURE_LAST_RECTANGLE:
            if (engine->CaptureLastRectangle() == CCaptureEngine::kStatusNoLastRectangle)
                ::MessageBeep(MB_ICONWARNING);
            break;
        default: break;
    }
    if (iconWasThere && !toolbarVisible_) BringIconBack();
}

void CShellIconWND::RunDelayedCapture(UINT id) {
    CCaptureEngine* engine = CCaptureEngine::ApplicationEngine();
    if (engine == nullptr) return;
    static constexpr int kSeconds[3] = {3, 5, 10};
    const UINT index = id - ID_TRAY_FULL_SCREEN_AFTER_3;
    const auto capture = static_cast<CCaptureEngine::DelayedCapture>(index / 3);
    bool iconWasThere = false;
    CCaptureEngine::ProgramRequest request;
    engine->CaptureAfter(capture, kSeconds[index % 3], [&](int secondsLeft) {
        if (secondsLeft > 0) {
            trayIcon_.SetTip(FillFirstArgument(ExpandText(L"CaptureCountdownTip", true), std::to_wstring(secondsLeft)));
            return;
        }
        trayIcon_.SetTip(app_.GetProductName());
        // As for a hot key, the icon is away for the capture itself.
        iconWasThere = trayIcon_.Remove();
    });
    if (iconWasThere && !toolbarVisible_) BringIconBack();
}

bool CShellIconWND::OnCommand(UINT id) {
    try {
        if (id == ID_TRAY_CAPTURE) {
            CCaptureEngine::ProgramRequest request;
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
        } else if (id >= ID_TRAY_CAPTURE_FULL_SCREEN && id <= ID_TRAY_CAPTURE_LAST_RECTANGLE) {
            // The capture waits until the closed menu has left the screen,
            // so that it is not in the picture.
            pendingCapture_ = id;
            ::SetTimer(hwnd(), kMenuCaptureTimer, kMenuGoneMs, nullptr);
        } else if (id >= ID_TRAY_FULL_SCREEN_AFTER_3 && id <= ID_TRAY_RECTANGLE_AFTER_10) {
            // The countdown gives the menu time enough to go.
            RunDelayedCapture(id);
        } else if (id >= ID_TRAY_RECENT_FIRST && id <= ID_TRAY_RECENT_LAST) {
            const size_t index = id - ID_TRAY_RECENT_FIRST;
            if (index < recentShown_.size() && !OpenWithShell(recentShown_[index], hwnd())) ::MessageBeep(MB_ICONWARNING);
        } else if (id == ID_TRAY_CLEAR_RECENT) {
            ClearRecentCaptures(ProgramKeyPath());
            recentShown_.clear();
        } else if (id == ID_TRAY_OPEN_CAPTURE_FOLDER) {
            OpenCaptureFolder();
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

void CShellIconWND::OpenCaptureFolder() {
    CaptureOptions* options = app_.Options();
    std::wstring folder =
        options ? TrimTargetFolder(options->GetProfileOption(L"DefaultProfile", L"TargetFolder")) : std::wstring();
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(folder.c_str());
    // A folder that is not there (or none set) cannot be opened.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !OpenWithShell(folder, hwnd()))
        ::MessageBeep(MB_ICONWARNING);
}

void CShellIconWND::OnCaptureOutcome(const CaptureOutcome& outcome) {
    // A failed save showed its message box; that is all the user hears.
    if (outcome.failed || !outcome.Produced()) return;
    CaptureOptions* options = app_.Options();
    if (options && options->GetProgramOption(L"NotifyAfterCapture", false) == L"0") return;
    pendingText_ = NotificationText(outcome);
    pendingFile_ = outcome.savedPath;
    notificationPending_ = true;
    ShowPendingNotification();
}

void CShellIconWND::ShowPendingNotification() {
    if (!notificationPending_ || !trayIcon_.IsAdded()) return;
    notificationPending_ = false;
    // The program's icon in the size the shell draws a large balloon icon;
    // a shared icon, which nobody destroys.
    HICON icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                 IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                                 ::GetSystemMetrics(SM_CYICON), LR_SHARED));
    // Only the newest balloon's click counts.
    if (trayIcon_.ShowBalloon(app_.GetProductName(), pendingText_, icon)) balloonFile_ = pendingFile_;
}

void CShellIconWND::BringIconBack() {
    if (trayIcon_.Add() || trayIcon_.IsAdded()) {
        ShowPendingNotification();
        return;
    }
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
                case NIN_BALLOONUSERCLICK:
                    // The file of a notification opens in its folder; one
                    // about the clipboard alone has nothing to show.
                    if (!balloonFile_.empty()) OpenFolderSelectingFile(balloonFile_, hwnd());
                    return 0;
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
            if (wParam == kMenuCaptureTimer) {
                ::KillTimer(hwnd(), kMenuCaptureTimer);
                if (const UINT id = std::exchange(pendingCapture_, 0); id != 0) {
                    try {
                        RunMenuCapture(id);
                    } catch (...) {
                        // A failing capture leaves the tray as it was.
                    }
                }
                return 0;
            }
            if (wParam == kHeldKeyTimer) {
                app_.OnHeldKeyTimer();
                return 0;
            }
            if (wParam != kIconRetryTimer) break;
            if (toolbarVisible_ || trayIcon_.IsAdded() || trayIcon_.Add() || --iconRetries_ <= 0)
                ::KillTimer(hwnd(), kIconRetryTimer);
            ShowPendingNotification();
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
