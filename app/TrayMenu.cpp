#include "app/TrayMenu.h"

TrayMenu::~TrayMenu() {
    for (int i = 0; i < 2; ++i)
        if (owned_[i] && menus_[i]) ::DestroyMenu(menus_[i]);
}

bool TrayMenu::SetMenu(int slot, HMENU menu, bool owned) {
    if (slot != 0 && slot != 1) {
        ::SetLastError(static_cast<DWORD>(E_INVALIDARG));
        return false;
    }
    if (menu != nullptr && !::IsMenu(menu)) {
        ::SetLastError(ERROR_INVALID_MENU_HANDLE);
        return false;
    }
    if (owned_[slot] && menus_[slot] && menus_[slot] != menu) ::DestroyMenu(menus_[slot]);
    menus_[slot] = menu;
    owned_[slot] = owned;
    return true;
}

void TrayMenu::CheckRadio(int slot, UINT first, UINT last, UINT selected) {
    if (HMENU menu = Menu(slot)) ::CheckMenuRadioItem(menu, first, last, selected, MF_BYCOMMAND);
}
