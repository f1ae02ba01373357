#pragma once
// Stored hot-key text until the hot-key field lands.
#include <windows.h>

#include <optional>
#include <string>

struct HotKey {
    UINT modifiers = 0;
    UINT virtualKey = 0;
};

inline std::optional<HotKey> ParseHotKeyText(const std::wstring& text) {
    HotKey key;
    if (text.find(L"Ctrl") != std::wstring::npos) key.modifiers |= MOD_CONTROL;
    if (text.find(L"Alt") != std::wstring::npos) key.modifiers |= MOD_ALT;
    if (text.find(L"Shift") != std::wstring::npos) key.modifiers |= MOD_SHIFT;
    const size_t plus = text.rfind(L'+');
    const std::wstring number = plus == std::wstring::npos ? text : text.substr(plus + 1);
    key.virtualKey = static_cast<UINT>(std::wcstoul(number.c_str(), nullptr, 10));
    if (key.virtualKey == 0) return std::nullopt;
    return key;
}
