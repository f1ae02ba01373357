#include "capture/LastRectangle.h"

namespace {

constexpr const wchar_t* kNames[4] = {L"LastRectLeft", L"LastRectTop", L"LastRectRight", L"LastRectBottom"};

}  // namespace

bool ReadLastRectangle(const std::wstring& programKey, RECT& rect) {
    if (programKey.empty()) return false;
    LONG values[4] = {};
    for (int i = 0; i < 4; ++i) {
        DWORD value = 0, size = sizeof(value);
        if (::RegGetValueW(HKEY_CURRENT_USER, programKey.c_str(), kNames[i], RRF_RT_REG_DWORD, nullptr, &value,
                           &size) != ERROR_SUCCESS)
            return false;
        values[i] = static_cast<LONG>(value);
    }
    const RECT stored{values[0], values[1], values[2], values[3]};
    // Compared as 64-bit numbers: hostile values near the limits of a LONG
    // must not wrap into a plausible size.
    if (static_cast<long long>(stored.right) - stored.left <= 0 ||
        static_cast<long long>(stored.bottom) - stored.top <= 0)
        return false;
    if (::MonitorFromRect(&stored, MONITOR_DEFAULTTONULL) == nullptr) return false;
    rect = stored;
    return true;
}

bool WriteLastRectangle(const std::wstring& programKey, const RECT& rect) {
    if (programKey.empty() || rect.right <= rect.left || rect.bottom <= rect.top) return false;
    const LONG values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    for (int i = 0; i < 4; ++i) {
        const DWORD value = static_cast<DWORD>(values[i]);
        if (::RegSetKeyValueW(HKEY_CURRENT_USER, programKey.c_str(), kNames[i], REG_DWORD, &value, sizeof(value)) !=
            ERROR_SUCCESS)
            return false;
    }
    return true;
}
