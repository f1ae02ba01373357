#include "uikit/PathFieldHelpers.h"

#include "uikit/PathEditCtrl.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>

namespace {

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length == 0 || length >= MAX_PATH ? path : std::wstring(full, length);
}

}  // namespace

namespace pathfield {

int AutomaticButtonWidth(int clientHeight) { return clientHeight * 8 / 10; }

bool IsValidMode(DWORD mode) {
    const DWORD browse = mode & (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile | PathEditCtrl::kFolder);
    if (browse == 0) return false;
    if ((mode & PathEditCtrl::kFolder) && (mode & (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile))) return false;
    return (mode & (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile)) !=
           (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile);
}

std::wstring FolderOf(const std::wstring& path) {
    wchar_t drive[_MAX_DRIVE] = {}, directory[_MAX_DIR] = {};
    if (_wsplitpath_s(path.c_str(), drive, _MAX_DRIVE, directory, _MAX_DIR, nullptr, 0, nullptr, 0) != 0) return {};
    return std::wstring(drive) + directory;
}

std::wstring JoinPaths(const std::vector<std::wstring>& paths, const std::wstring& separator) {
    if (paths.empty()) return {};
    std::wstring text = paths.front();
    const std::wstring folder = FolderOf(paths.front());
    for (size_t i = 1; i < paths.size(); ++i) {
        text += separator;
        const std::wstring& path = paths[i];
        const bool sameFolder = !folder.empty() && path.size() > folder.size() &&
                                path.compare(0, folder.size(), folder) == 0 &&
                                path.find_first_of(L"\\/", folder.size()) == std::wstring::npos;
        text += sameFolder ? path.substr(folder.size()) : path;
    }
    return text;
}

bool IsShortcutFile(const std::wstring& path) {
    if (path.size() < 4) return false;
    std::wstring end = path.substr(path.size() - 4);
    for (wchar_t& c : end) c = static_cast<wchar_t>(std::towlower(c));
    return end == L".lnk" || end == L".pif";
}

std::wstring ResolveShortcut(const std::wstring& path) {
    // A COM initialisation of its own: the field may live on any thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring result = path;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t target[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
                link->GetPath(target, MAX_PATH, nullptr, 0) == S_OK && target[0] != L'\0')
                result = target;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}

std::vector<std::wstring> SplitPaths(const std::wstring& text, const std::wstring& separator, DWORD mode,
                                     const std::function<std::wstring(const std::wstring&)>& resolve) {
    std::vector<std::wstring> entries;
    const std::wstring split = Trimmed(separator).empty() ? separator : Trimmed(separator);
    for (size_t start = 0;;) {
        const size_t at = split.empty() ? std::wstring::npos : text.find(split, start);
        entries.push_back(Trimmed(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start)));
        if (at == std::wstring::npos) break;
        start = at + split.size();
    }
    if (entries.size() == 1 && entries.front().empty()) return {};

    std::vector<std::wstring> paths;
    std::wstring folder;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::wstring path = entries[i];
        if (i > 0) {
            if (path.empty()) {
                path = folder;
            } else if (!(path.size() > 1 && path[1] == L':') && path[0] != L'\\') {
                path = folder + path;
            }
        }
        if (path.empty()) continue;
        path = FullPath(path);
        if (i == 0) folder = FolderOf(path);
        if (mode & PathEditCtrl::kFolder) {
            if (mode & PathEditCtrl::kTrailingBackslash) {
                if (path.back() != L'\\') path += L'\\';
            } else if (path.size() > 3 && path.back() == L'\\') {
                path.pop_back();
            }
        } else if ((mode & PathEditCtrl::kOpenFile) && !(mode & PathEditCtrl::kKeepShortcuts) &&
                   IsShortcutFile(path) && resolve) {
            path = resolve(path);
        }
        paths.push_back(path);
    }
    return paths;
}

std::vector<std::wstring> ChosenFiles(std::wstring_view buffer, bool multipleSelection, size_t fileOffset) {
    const std::wstring first(buffer.substr(0, buffer.find(L'\0')));
    if (first.empty()) return {};
    // Only a list of several files has a zero where its first name starts:
    // one file, even among several allowed, is one full path, and behind its
    // zero lies what is left of the name the dialog was seeded with.
    if (!multipleSelection || fileOffset != first.size() + 1 || fileOffset >= buffer.size()) return {first};
    const std::wstring folder = first.back() == L'\\' ? first : first + L'\\';
    std::vector<std::wstring> files;
    for (size_t at = fileOffset; at < buffer.size() && buffer[at] != L'\0';) {
        const size_t end = std::min(buffer.find(L'\0', at), buffer.size());
        files.push_back(folder + std::wstring(buffer.substr(at, end - at)));
        at = end + 1;
    }
    if (files.empty()) return {first};
    return files;
}

}  // namespace pathfield
