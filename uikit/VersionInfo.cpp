#include "uikit/VersionInfo.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

size_t FormatFileVersion(const std::wstring& path, wchar_t* buffer, size_t capacity, bool shortForm) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return 0;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO))
        return 0;

    const long major = HIWORD(fixed->dwFileVersionMS), minor = LOWORD(fixed->dwFileVersionMS);
    const long build = HIWORD(fixed->dwFileVersionLS), revision = LOWORD(fixed->dwFileVersionLS);
    wchar_t text[1024];
    const int n = shortForm ? std::swprintf(text, 1024, L"%ld.%ld   Build %03ld", major, minor, build)
                            : std::swprintf(text, 1024, L"%ld.%ld.%ld.%ld", major, minor, build, revision);
    if (n <= 0) return 0;
    if (buffer != nullptr && capacity > 0) {
        const size_t copy = std::min<size_t>(static_cast<size_t>(n), capacity - 1);
        std::wmemcpy(buffer, text, copy);
        buffer[copy] = L'\0';
    }
    return static_cast<size_t>(n);
}

std::wstring FormatFileVersion(const std::wstring& path, bool shortForm) {
    wchar_t text[1024];
    const size_t n = FormatFileVersion(path, text, 1024, shortForm);
    return n == 0 ? std::wstring() : std::wstring(text);
}

uint32_t ParseDottedVersion(const std::wstring& text, bool low) {
    uint32_t parts[4] = {};
    size_t index = 0, pos = 0;
    while (index < 4 && pos <= text.size()) {
        uint32_t number = 0;
        size_t p = pos;
        while (p < text.size() && text[p] >= L'0' && text[p] <= L'9') {
            number = number * 10 + static_cast<uint32_t>(text[p] - L'0');
            ++p;
        }
        parts[index++] = number;
        const size_t dot = text.find(L'.', pos);
        if (dot == std::wstring::npos) break;
        pos = dot + 1;
    }
    const uint32_t first = low ? parts[2] : parts[0];
    const uint32_t second = low ? parts[3] : parts[1];
    return first * 65536u + second;
}

long long CompareDottedVersions(const std::wstring& a, const std::wstring& b) {
    const long long highA = ParseDottedVersion(a, false), highB = ParseDottedVersion(b, false);
    if (highA != highB) return highB - highA;
    return static_cast<long long>(ParseDottedVersion(b, true)) - ParseDottedVersion(a, true);
}
