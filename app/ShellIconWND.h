#pragma once
// The program's main window. Never shown: it owns the notification-area
// icon, receives its mouse notifications, shows the tray menu and carries
// out its commands, and is the window the global hot keys belong to.
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "output/PostProcessing.h"
#include "platform/Window.h"

#include <string>
#include <vector>

class CShotDeskApp;

class CShellIconWND : public platform::Window {
public:
    static constexpr UINT kTrayIconId = 128;
    static constexpr UINT kTrayCallback = WM_APP + 1;
    static constexpr UINT kShowToolbarMessage = WM_USER + 1;
    static constexpr UINT_PTR kIconRetryTimer = 1;
    static constexpr UINT_PTR kHeldKeyTimer = 2;
    static constexpr UINT_PTR kMenuCaptureTimer = 3;
    // A capture picked in the menu starts this long after the command came:
    // the menu has closed by then but its place on the screen may not have
    // been painted again yet.
    static constexpr UINT kMenuGoneMs = 200;

    explicit CShellIconWND(CShotDeskApp& app) : app_(app) {}

    TrayIcon& Icon() { return trayIcon_; }
    // Puts the icon back in the notification area; when the shell is too
    // busy to take it now, it is offered again every half second for ten
    // seconds, so a capture never leaves the program without its icon.
    void BringIconBack();
    TrayMenu& Menu() { return trayMenu_; }
    // The popup menu at the cursor, its texts translated.
    void ShowPopupMenu();
    // The icon stays away while the capture toolbar shows.
    bool ToolbarVisible() const { return toolbarVisible_; }
    // A capture the program asked for itself is done: unless the options
    // say "NotifyAfterCapture" "0", or the capture made nothing or its save
    // failed, a notification at the icon says where the picture went. The
    // icon is away during a capture, so it shows once the icon is back.
    void OnCaptureOutcome(const CaptureOutcome& outcome);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetUpTrayIcon();
    // The waiting notification, at the icon once it is in the tray.
    void ShowPendingNotification();
    // The default profile's folder, through the shell.
    void OpenCaptureFolder();
    int iconRetries_ = 0;
    bool OnCommand(UINT id);
    void RunMenuCapture(UINT id);
    // The captures after 3, 5 or 10 seconds: the countdown shows, and the
    // icon's tip says how long it still is.
    void RunDelayedCapture(UINT id);

    CShotDeskApp& app_;
    TrayIcon trayIcon_;
    TrayMenu trayMenu_;
    HWND menuOwner_ = nullptr;
    int doubleClickPending_ = 0;
    UINT pendingCapture_ = 0;
    bool toolbarVisible_ = false;
    bool notificationPending_ = false;
    std::wstring pendingText_;
    std::wstring pendingFile_;
    // The file of the newest balloon, opened in its folder by a click on
    // it; empty for one about the clipboard only.
    std::wstring balloonFile_;
    // The recent captures as the menu last showed them, for its commands.
    std::vector<std::wstring> recentShown_;
};
