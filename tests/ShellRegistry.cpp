#include "tests/ShellRegistry.h"

#include "tests/TestFiles.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

void WriteValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

// The first part of a path: what the registration created and removes.
std::wstring TopKey(const std::wstring& path) {
    const size_t slash = path.find(L'\\');
    if (path.compare(0, 13, L"Applications\\") == 0) {
        const size_t next = path.find(L'\\', 13);
        return path.substr(0, next);
    }
    return path.substr(0, slash);
}

}  // namespace

ShellRegistry::~ShellRegistry() {
    for (const auto& [root, path] : created_) {
        ::RegDeleteTreeW(root, path.c_str());  // the key's contents
        ::RegDeleteKeyW(root, path.c_str());   // and the key itself
    }
}

void ShellRegistry::SetClass(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const std::wstring classes = L"Software\\Classes\\";
        const std::pair<HKEY, std::wstring> top{root, classes + TopKey(path)};
        if (std::find(created_.begin(), created_.end(), top) == created_.end()) {
            ::RegDeleteTreeW(root, top.second.c_str());
            created_.push_back(top);
        }
        WriteValue(root, classes + path, name, value);
    }
}

void ShellRegistry::SetRecent(const std::wstring& extension, const std::wstring& mruList,
                              const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    const std::wstring path =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\." + extension;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    created_.emplace_back(HKEY_CURRENT_USER, path);
    WriteValue(HKEY_CURRENT_USER, path + L"\\OpenWithList", L"MRUList", mruList);
    for (const auto& [name, exe] : values) WriteValue(HKEY_CURRENT_USER, path + L"\\OpenWithList", name.c_str(), exe);
}

std::wstring TestEditorsFolder() {
    std::wstring folder = SNAPWELL_TEST_EDITORS;
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    return folder;
}

std::vector<std::wstring> EditorLog(const wchar_t* editor) {
    std::vector<std::wstring> lines;
    const std::string bytes = testfiles::Read(TestEditorsFolder() + L"\\" + editor + L".log");
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        const int chars = ::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(chars), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wide.data(), chars);
        lines.push_back(wide);
    }
    return lines;
}

void ClearEditorLog(const wchar_t* editor) { testfiles::Remove(TestEditorsFolder() + L"\\" + editor + L".log"); }
