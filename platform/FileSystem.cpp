#include "platform/FileSystem.h"

#include "platform/UniqueHandle.h"

#include <algorithm>
#include <vector>

namespace platform {

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<ULONGLONG> LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < data.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(data.size() - done);
        if (!::ReadFile(file.get(), data.data() + done, want, &got, nullptr)) return std::nullopt;
        if (got == 0) break;  // the file shrank while we read it
        done += got;
    }
    data.resize(done);
    return data;
}

std::wstring CreateTempFileBeside(const std::wstring& path) {
    const std::wstring folder = FolderOf(path);
    wchar_t temp[MAX_PATH + 1] = {};
    if (folder.size() + 14 > MAX_PATH || !::GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"swo", 0, temp))
        return {};
    return temp;
}

bool MoveFileReplacing(const std::wstring& temp, const std::wstring& path) {
    // A virus scanner, an indexer or a viewer may hold a fresh file open for
    // a moment: a refused move is tried again for up to half a second.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = ::GetLastError();
        if (attempt >= 10 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                              error != ERROR_LOCK_VIOLATION))
            break;
        ::Sleep(50);
    }
    ::DeleteFileW(temp.c_str());
    return false;
}

bool CopyFileReplacing(const std::wstring& source, const std::wstring& target) {
    const std::wstring temp = CreateTempFileBeside(target);
    if (temp.empty()) return false;
    if (!::CopyFileW(source.c_str(), temp.c_str(), FALSE)) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(temp.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(temp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return MoveFileReplacing(temp, target);
}

bool ReplaceFileContents(const std::wstring& path, const std::string& data) {
    const std::wstring temp = CreateTempFileBeside(path);
    if (temp.empty()) return false;
    bool written = false;
    {
        UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            size_t done = 0;
            written = true;
            while (written && done < data.size()) {
                DWORD put = 0;
                const DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 20));
                written = ::WriteFile(file.get(), data.data() + done, want, &put, nullptr) && put == want;
                done += put;
            }
            written = written && ::FlushFileBuffers(file.get());
        }
    }
    if (written) return MoveFileReplacing(temp, path);
    ::DeleteFileW(temp.c_str());
    return false;
}

std::string_view ResourceData(int id, const wchar_t* type, HMODULE module) {
    if (module == nullptr) module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return bytes ? std::string_view(bytes, ::SizeofResource(module, found)) : std::string_view();
}

std::wstring ModuleFileName(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring GetProgramFolder() { return FolderOf(ModuleFileName()); }

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring WithTrailingBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path.push_back(L'\\');
    return path;
}

}  // namespace platform
