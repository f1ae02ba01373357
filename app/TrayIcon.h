#pragma once
// One notification-area icon. Changes to its window, id, icon, tip or
// callback are passed to the shell at once; a failed call only leaves the
// "added" flag as it is, so a later Apply, Add or shell restart tries again.
#include <windows.h>
#include <shellapi.h>

#include <string>

class TrayIcon {
public:
    static constexpr UINT kNoId = static_cast<UINT>(-1);
    // The first-version size of NOTIFYICONDATAW (window, id, flags,
    // callback, icon and a 64-character tip): 152 bytes in a 32-bit program,
    // 168 in a 64-bit one, whose handles are wider.
    static constexpr DWORD kDataSize = NOTIFYICONDATAW_V1_SIZE;

    TrayIcon();
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    bool Apply();
    bool Remove();
    bool Add();
    bool SetWindow(HWND window);
    bool SetId(UINT id);
    bool SetCallbackMessage(UINT message);
    bool SetIcon(HICON icon, bool owns);
    // A 16 x 16 icon from the program's resources.
    bool LoadIconResource(int id);
    // At most 62 characters of text are shown.
    bool SetTip(const std::wstring& tip);
    // A notification balloon at the icon: a title (at most 63 characters),
    // a text (at most 255) and icon as its picture (the shell copies it).
    // False when the icon is not in the notification area or the shell
    // refused.
    bool ShowBalloon(const std::wstring& title, const std::wstring& text, HICON icon);
    // After the shell restarted ("TaskbarCreated").
    bool Restore();

    bool IsAdded() const { return added_; }
    const NOTIFYICONDATAW& Data() const { return data_; }

private:
    void Reset();

    NOTIFYICONDATAW data_{};
    bool added_ = false;
    bool autoApply_ = true;
    bool ownsIcon_ = true;
};
