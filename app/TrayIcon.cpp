#include "app/TrayIcon.h"

#include <algorithm>
#include <iterator>

TrayIcon::TrayIcon() { Reset(); }

TrayIcon::~TrayIcon() {
    Remove();
    if (ownsIcon_ && data_.hIcon) ::DestroyIcon(data_.hIcon);
    Reset();
}

void TrayIcon::Reset() {
    data_ = NOTIFYICONDATAW{};
    data_.cbSize = kDataSize;
    data_.uID = kNoId;
    added_ = false;
}

bool TrayIcon::Apply() {
    if (!added_) {
        if (!(data_.uFlags & NIF_ICON)) return false;
        added_ = ::Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
        return added_;
    }
    if (data_.hWnd == nullptr || data_.uID == kNoId || data_.hIcon == nullptr) return Remove();
    if (data_.uFlags == 0) return true;
    if (!::Shell_NotifyIconW(NIM_MODIFY, &data_)) {
        added_ = false;
        return false;
    }
    return true;
}

bool TrayIcon::Remove() {
    if (!added_ || data_.hWnd == nullptr || data_.uID == kNoId) return false;
    if (!::Shell_NotifyIconW(NIM_DELETE, &data_)) return false;
    added_ = false;
    return true;
}

bool TrayIcon::Add() {
    if (added_ || !(data_.uFlags & NIF_ICON)) return false;
    added_ = ::Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
    return added_;
}

bool TrayIcon::SetWindow(HWND window) {
    if (window == data_.hWnd) return true;
    if (added_) Remove();
    data_.hWnd = window;
    return window == nullptr || Apply();
}

bool TrayIcon::SetId(UINT id) {
    if (id == data_.uID) return true;
    if (added_) Remove();
    data_.uID = id;
    return !autoApply_ || Apply();
}

bool TrayIcon::SetCallbackMessage(UINT message) {
    if (message == data_.uCallbackMessage) return true;
    data_.uCallbackMessage = message;
    data_.uFlags |= NIF_MESSAGE;
    return !autoApply_ || Apply();
}

bool TrayIcon::SetIcon(HICON icon, bool owns) {
    if (icon == reinterpret_cast<HICON>(-1)) icon = nullptr;
    if (icon == data_.hIcon) return true;
    if (ownsIcon_ && data_.hIcon) ::DestroyIcon(data_.hIcon);
    ownsIcon_ = owns;
    data_.hIcon = icon;
    data_.uFlags |= NIF_ICON;
    return !(autoApply_ && icon) || Apply();
}

bool TrayIcon::LoadIconResource(int id) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
    if (icon == nullptr) return false;
    return SetIcon(icon, true);
}

bool TrayIcon::SetTip(const std::wstring& tip) {
    const size_t n = std::min<size_t>(tip.size(), 62);
    std::fill(std::begin(data_.szTip), std::end(data_.szTip), L'\0');
    std::copy_n(tip.begin(), n, data_.szTip);
    data_.uFlags |= NIF_TIP;
    return !autoApply_ || Apply();
}

bool TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text, HICON icon) {
    if (!added_ || data_.hWnd == nullptr || data_.uID == kNoId) return false;
    // The balloon needs the whole structure; the icon's own data keeps its
    // first-version size.
    NOTIFYICONDATAW balloon{};
    balloon.cbSize = sizeof(balloon);
    balloon.hWnd = data_.hWnd;
    balloon.uID = data_.uID;
    balloon.uFlags = NIF_INFO;
    std::copy_n(title.begin(), std::min<size_t>(title.size(), std::size(balloon.szInfoTitle) - 1), balloon.szInfoTitle);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), std::size(balloon.szInfo) - 1), balloon.szInfo);
    balloon.dwInfoFlags = icon ? NIIF_USER | NIIF_LARGE_ICON : NIIF_INFO;
    balloon.hBalloonIcon = icon;
    balloon.uTimeout = 10000;
    return ::Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
}

bool TrayIcon::Restore() {
    if (added_ && data_.hWnd && data_.uID != kNoId && data_.uFlags) {
        if (!::Shell_NotifyIconW(NIM_MODIFY, &data_)) added_ = false;
    }
    if (!added_ && (data_.uFlags & NIF_ICON)) added_ = ::Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
    return added_;
}
