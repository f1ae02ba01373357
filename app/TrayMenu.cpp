#include "app/TrayMenu.h"

#include "resources/resource.h"
#include "uikit/TextCatalog.h"

#include <vector>

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

namespace {

void AddHotKeyName(HMENU menu, UINT id, const std::wstring& key) {
    if (key.empty()) return;
    std::vector<wchar_t> text(1025, L'\0');
    if (::GetMenuStringW(menu, id, text.data(), 1024, MF_BYCOMMAND) <= 0) return;
    std::wstring item = std::wstring(text.data()) + L"\t" + key;
    MENUITEMINFOW write{sizeof(write)};
    write.fMask = MIIM_STRING;
    write.dwTypeData = item.data();
    ::SetMenuItemInfoW(menu, id, FALSE, &write);
}

}  // namespace

HMENU LoadTrayMenu(HMODULE module, const TrayMenuState& state) {
    HMENU bar = ::LoadMenuW(module, MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (bar == nullptr) return nullptr;
    HMENU popup = ::GetSubMenu(bar, 0);
    if (popup) ::RemoveMenu(bar, 0, MF_BYPOSITION);
    ::DestroyMenu(bar);
    if (popup == nullptr) {
        ::SetLastError(static_cast<DWORD>(E_FAIL));
        return nullptr;
    }
    TranslateMenu(popup);
    AddHotKeyName(popup, ID_TRAY_CAPTURE_FULL_SCREEN, state.fullScreenKey);
    AddHotKeyName(popup, ID_TRAY_CAPTURE_WINDOW, state.windowKey);
    AddHotKeyName(popup, ID_TRAY_CAPTURE_RECTANGLE, state.rectangleKey);
    if (!state.lastRectangleStored)
        ::EnableMenuItem(popup, ID_TRAY_CAPTURE_LAST_RECTANGLE, MF_BYCOMMAND | MF_GRAYED);
    return popup;
}
