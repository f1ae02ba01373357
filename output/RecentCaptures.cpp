#include "output/RecentCaptures.h"

#include "platform/UniqueHandle.h"

#include <algorithm>
#include <cwctype>

namespace {

// The longest path the system's wide functions take.
constexpr size_t kLongestPath = 32767;

std::wstring ValueName(int index) { return L"Recent" + std::to_wstring(index + 1); }

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// The value as text when it is a REG_SZ short enough to be a path; the
// size is asked first, so a hostile value of any length is never read.
bool ReadPathValue(HKEY key, const std::wstring& name, std::wstring& text) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ || size > (kLongestPath + 1) * sizeof(wchar_t)) return false;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer.resize(std::min<size_t>(buffer.size(), read / sizeof(wchar_t)));
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    text = std::move(buffer);
    return true;
}

// The stored full paths in their order, whether or not their files exist.
std::vector<std::wstring> StoredPaths(const std::wstring& programKey) {
    std::vector<std::wstring> paths;
    HKEY raw = nullptr;
    if (programKey.empty() ||
        ::RegOpenKeyExW(HKEY_CURRENT_USER, programKey.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return paths;
    platform::UniqueHkey key(raw);
    for (int i = 0; i < kRecentCaptureCount; ++i) {
        std::wstring path;
        if (ReadPathValue(key.get(), ValueName(i), path) && IsRecentCapturePath(path)) paths.push_back(path);
    }
    return paths;
}

}  // namespace

bool IsRecentCapturePath(const std::wstring& path) {
    if (path.empty() || path.size() > kLongestPath || path.find(L'\0') != std::wstring::npos) return false;
    const bool drive = path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
    const bool network = path.size() >= 5 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\' &&
                         path.find(L'\\', 2) != std::wstring::npos;
    return drive || network;
}

std::vector<std::wstring> ReadRecentCaptures(const std::wstring& programKey) {
    std::vector<std::wstring> files;
    for (std::wstring& path : StoredPaths(programKey)) {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (std::none_of(files.begin(), files.end(), [&](const std::wstring& f) { return SamePath(f, path); }))
            files.push_back(std::move(path));
    }
    return files;
}

bool AddRecentCapture(const std::wstring& programKey, const std::wstring& path) {
    if (programKey.empty() || !IsRecentCapturePath(path)) return false;
    std::vector<std::wstring> paths{path};
    for (std::wstring& stored : StoredPaths(programKey))
        if (std::none_of(paths.begin(), paths.end(), [&](const std::wstring& p) { return SamePath(p, stored); }))
            paths.push_back(std::move(stored));
    if (paths.size() > static_cast<size_t>(kRecentCaptureCount)) paths.resize(kRecentCaptureCount);
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, programKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                          nullptr) != ERROR_SUCCESS)
        return false;
    platform::UniqueHkey key(raw);
    bool written = true;
    for (int i = 0; i < kRecentCaptureCount; ++i) {
        const std::wstring name = ValueName(i);
        if (static_cast<size_t>(i) >= paths.size()) {
            // A hostile value that was left out goes with the rewrite.
            ::RegDeleteValueW(key.get(), name.c_str());
            continue;
        }
        const std::wstring& value = paths[static_cast<size_t>(i)];
        written = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
                  written;
    }
    return written;
}

void ClearRecentCaptures(const std::wstring& programKey) {
    HKEY raw = nullptr;
    if (programKey.empty() ||
        ::RegOpenKeyExW(HKEY_CURRENT_USER, programKey.c_str(), 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
        return;
    platform::UniqueHkey key(raw);
    for (int i = 0; i < kRecentCaptureCount; ++i) ::RegDeleteValueW(key.get(), ValueName(i).c_str());
}
