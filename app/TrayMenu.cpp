#include "app/TrayMenu.h"

#include "resources/resource.h"
#include "uikit/TextCatalog.h"

#include <algorithm>
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

// The submenu that holds the first recent capture's item.
HMENU RecentSubmenu(HMENU menu) {
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        HMENU sub = ::GetSubMenu(menu, i);
        if (sub && ::GetMenuState(sub, ID_TRAY_RECENT_FIRST, MF_BYCOMMAND) != static_cast<UINT>(-1)) return sub;
    }
    return nullptr;
}

void FillRecentCaptures(HMENU menu, const std::vector<std::wstring>& items) {
    HMENU recent = RecentSubmenu(menu);
    if (recent == nullptr) return;
    if (items.empty()) {
        ::EnableMenuItem(recent, ID_TRAY_RECENT_FIRST, MF_BYCOMMAND | MF_GRAYED);
        ::EnableMenuItem(recent, ID_TRAY_CLEAR_RECENT, MF_BYCOMMAND | MF_GRAYED);
        return;
    }
    ::DeleteMenu(recent, ID_TRAY_RECENT_FIRST, MF_BYCOMMAND);
    const UINT count = static_cast<UINT>(std::min<size_t>(items.size(), ID_TRAY_RECENT_LAST - ID_TRAY_RECENT_FIRST + 1));
    for (UINT i = 0; i < count; ++i) {
        std::wstring text = items[i];
        MENUITEMINFOW item{sizeof(item)};
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        item.fType = MFT_STRING;
        item.wID = ID_TRAY_RECENT_FIRST + i;
        item.dwTypeData = text.data();
        ::InsertMenuItemW(recent, i, TRUE, &item);
    }
}

}  // namespace

std::wstring RecentCaptureMenuText(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring text;
    for (const wchar_t c : slash == std::wstring::npos ? path : path.substr(slash + 1)) {
        if (c == L'&') text += L'&';
        text += c;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    SYSTEMTIME time{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        !::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !::FileTimeToSystemTime(&local, &time))
        return text;
    wchar_t date[128] = {}, clock[128] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128, nullptr);
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, 128);
    return text + L"\t" + date + L" " + clock;
}

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
    FillRecentCaptures(popup, state.recentCaptures);
    return popup;
}
