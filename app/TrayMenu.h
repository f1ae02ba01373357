#pragma once
// The menus the tray window tracks: two slots, each with an owned flag; an
// owned menu is destroyed when it is replaced or with the holder.
#include <windows.h>

#include <string>
#include <vector>

class TrayMenu {
public:
    TrayMenu() = default;
    ~TrayMenu();
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    // False (with the thread's last error set) for another slot or a
    // handle that is not a menu.
    bool SetMenu(int slot, HMENU menu, bool owned);
    HMENU Menu(int slot) const { return (slot == 0 || slot == 1) ? menus_[slot] : nullptr; }
    void CheckRadio(int slot, UINT first, UINT last, UINT selected);

private:
    HMENU menus_[2] = {};
    bool owned_[2] = {};
};

// What the tray menu shows beyond its resource: the display names of the
// capture hot keys that are registered (empty for one that is not), and
// whether a last rectangle is stored to be captured again.
struct TrayMenuState {
    std::wstring fullScreenKey;
    std::wstring windowKey;
    std::wstring rectangleKey;
    bool lastRectangleStored = false;
    // The items of "Recent captures", newest first: each file's name, "\t"
    // and its time (RecentCaptureMenuText). At most ten are shown.
    std::vector<std::wstring> recentCaptures;
};

// A recent capture's item: the file name (its "&" doubled, so that it is
// not read as a mnemonic), "\t" and the file's last change in the user's
// short date and time.
std::wstring RecentCaptureMenuText(const std::wstring& path);

// Replaces every item text of a menu (and its submenus) by its translation.
void TranslateMenu(HMENU menu);
// The popup of the tray menu resource of module, detached from its menu bar,
// its texts translated, each capture item followed by "\t" and its hot key,
// "Capture last rectangle" greyed without a stored rectangle, and the recent
// captures in their submenu (a greyed "(empty)" and "Clear this list"
// without any). The caller
// owns it; nullptr (the last error set) when the resource has no popup.
HMENU LoadTrayMenu(HMODULE module, const TrayMenuState& state);
