#pragma once
// The menus the tray window tracks: two slots, each with an owned flag; an
// owned menu is destroyed when it is replaced or with the holder.
#include <windows.h>

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
