#pragma once
// The floating capture toolbar of an engine: a small topmost tool window
// with six buttons. While it shows, the tray icon is away; closing it (the
// close box or Escape) remembers where it was and brings the icon back.
#include "app/CaptureButtonBar.h"
#include "platform/Window.h"

#include <string>
#include <vector>

class CCaptureEngine;

class ToolBarControl : public platform::Window {
public:
    // Sent to the program's main window when the toolbar is shown (wParam 1)
    // or closed (wParam 0): the tray icon goes away or comes back.
    static constexpr UINT kVisibilityMessage = WM_USER + 2;

    explicit ToolBarControl(CCaptureEngine& engine) : engine_(engine) {}
    ~ToolBarControl() override;

    // Creates the hidden toolbar window; false when the window could not
    // be made (the engine works on without it).
    bool CreateHidden();
    // The buttons, labels and title again from the current options and
    // language; the window stays shown or hidden as it was.
    void RebuildToolBar();
    // The tooltip text of a button: "ToolTips<id>" translated, with "{1}"
    // the display text of that capture's hot key.
    std::wstring ToolTipText(int commandId) const;
    CaptureButtonBar& Bar() { return bar_; }

    // workAreas are the monitors' work areas, the primary first.
    // Where a stored position puts the window's top-left corner: kept when
    // it lies on a monitor; without a stored value, the primary's centre.
    static POINT RestoredPosition(const DWORD* x, const DWORD* y, const std::vector<RECT>& workAreas);
    // Where a window must move to stay on the monitors (lenient: touching
    // one; strict: wholly on one); its own position when it may stay.
    static POINT KeptOnScreen(const RECT& window, const std::vector<RECT>& workAreas, bool strict);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool OnCreate();
    void OnButton(int commandId);
    void Close();
    void SavePosition() const;
    void RestorePosition();
    void KeepOnScreen(bool strict);
    LRESULT OnNotify(NMHDR* header);
    void TellMainWindow(bool shown) const;

    CCaptureEngine& engine_;
    CaptureButtonBar bar_;
    CaptureButtonBar::LabelMode labelMode_ = CaptureButtonBar::kNoLabels;
};
