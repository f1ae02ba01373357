#include "tests/TestFiles.h"

#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"

#include <gtest/gtest.h>

namespace testfiles {

std::string Read(const std::wstring& path) {
    auto data = platform::ReadWholeFile(path);
    return data ? *data : std::string("<unreadable>");
}

void Write(const std::wstring& path, const std::string& data) {
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(file)) << "cannot write test file";
    DWORD put = 0;
    ASSERT_TRUE(::WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &put, nullptr));
}

void Remove(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

void RemoveTree(const std::wstring& folder) {
    const std::wstring base = platform::WithTrailingBackslash(folder);
    WIN32_FIND_DATAW data;
    platform::UniqueFind find(::FindFirstFileW((base + L"*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(base + name);
            else
                Remove(base + name);
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(folder.c_str());
}

std::vector<std::wstring> List(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    platform::UniqueFind find(::FindFirstFileW((platform::WithTrailingBackslash(folder) + L"*").c_str(), &data));
    if (!find) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

void SetWriteTime(const std::wstring& path, long long offsetSeconds) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart += offsetSeconds * 10000000LL;
    FILETIME when{t.LowPart, t.HighPart};
    platform::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(file));
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &when));
}

std::wstring UnwritableFolder() {
    // The build folder's link to a folder of the Linux kernel's settings, in
    // which even root cannot create a file.
    std::wstring folder = SNAPWELL_UNWRITABLE_FOLDER;
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    return folder;
}

}  // namespace testfiles
