#include "shellutil/StandardFolders.h"

#include "platform/CoTaskMem.h"
#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"
#include "uikit/CorvaneApp.h"
#include "uikit/VersionInfo.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

using platform::WithTrailingBackslash;

namespace {

constexpr int kNoFolder = -1;

std::wstring ShellFolderPath(int csidl) {
    platform::CoTaskMem<ITEMIDLIST> items;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, items.put())) || items.get() == nullptr)
        return {};
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(items.get(), path)) return {};
    return path;
}

std::wstring LongForm(const std::wstring& path) {
    const DWORD n = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1);
    const DWORD m = ::GetLongPathNameW(path.c_str(), buffer.data(), n + 1);
    return (m == 0 || m > n) ? path : std::wstring(buffer.data(), m);
}

// Joins the subfolder to base, creating it (one level) when missing; the base
// stays the result when the subfolder cannot be made.
std::wstring WithSubfolder(const std::wstring& base, const std::wstring& subfolder) {
    if (subfolder.empty() || base.empty()) return base;
    const std::wstring joined = base + subfolder;
    if (!platform::DirectoryExists(joined)) ::CreateDirectoryW(joined.c_str(), nullptr);
    return platform::DirectoryExists(joined) ? WithTrailingBackslash(joined) : base;
}

std::wstring Finish(const std::wstring& path, bool check) {
    if (check) return CheckFolderWritable(path);
    return path.empty() ? path : LongForm(path);
}

std::wstring SpecialFolder(int csidl, int fallbackCsidl, const std::wstring& subfolder, bool check) {
    std::wstring path = ShellFolderPath(csidl);
    if (path.empty() && fallbackCsidl != kNoFolder) path = ShellFolderPath(fallbackCsidl);
    return Finish(WithSubfolder(WithTrailingBackslash(path), subfolder), check);
}

}  // namespace

std::wstring GetAppDataFolder(const std::wstring& subfolder, bool check) {
    return SpecialFolder(CSIDL_APPDATA, kNoFolder, subfolder, check);
}

std::wstring GetDocumentsFolder(const std::wstring& subfolder, bool check) {
    return SpecialFolder(CSIDL_PERSONAL, kNoFolder, subfolder, check);
}

bool UsesLegacyPicturesFolder(const std::wstring& shell32Version, const std::wstring& shlwapiVersion) {
    // A library whose version cannot be read belongs to no shell we know to
    // lack the pictures folder.
    if (shell32Version.empty() || shlwapiVersion.empty()) return false;
    return CompareDottedVersions(shell32Version, L"5.0.0.0") > 0 &&
           CompareDottedVersions(shlwapiVersion, L"5.0.0.0") > 0;
}

std::wstring GetPicturesFolder(const std::wstring& subfolder, bool check) {
    wchar_t system[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring systemFolder = (n == 0 || n > MAX_PATH) ? std::wstring() : WithTrailingBackslash(system);
    const std::wstring shell32 = FormatFileVersion(systemFolder + L"shell32.dll", false);
    const std::wstring shlwapi = FormatFileVersion(systemFolder + L"Shlwapi.dll", false);
    std::wstring base;
    if (UsesLegacyPicturesFolder(shell32, shlwapi)) {
        const std::wstring documents = WithTrailingBackslash(ShellFolderPath(CSIDL_PERSONAL));
        base = documents.empty() ? documents : documents + L"My Pictures\\";
    } else {
        base = WithTrailingBackslash(ShellFolderPath(CSIDL_MYPICTURES));
    }
    return Finish(WithSubfolder(base, subfolder), check);
}

std::wstring GetTempFolder(bool check) {
    wchar_t path[1025] = {};
    const DWORD n = ::GetTempPathW(1024, path);
    const std::wstring folder = (n == 0 || n > 1024) ? std::wstring() : WithTrailingBackslash(path);
    return Finish(folder, check);
}

std::wstring GetUserDataFolder() {
    const CCorvaneApp* app = CCorvaneApp::Current();
    if (app == nullptr) return {};
    const std::wstring company = app->GetCompanyName();
    GetAppDataFolder(company, false);
    const std::wstring folder = GetAppDataFolder(company + L"\\" + app->GetAppFileName(), false);
    return WithTrailingBackslash(folder);
}

std::wstring GetSettingsFilePath(bool programFolder) {
    const CCorvaneApp* app = CCorvaneApp::Current();
    if (app == nullptr) return {};
    const std::wstring folder = programFolder ? platform::GetProgramFolder() : GetUserDataFolder();
    return folder.empty() ? folder : folder + app->GetOptionsFileName();
}

std::wstring CheckFolderWritable(const std::wstring& folder) {
    if (folder.empty()) return L"failed";
    // The probe is created new, so a file of the user's that happens to carry
    // the probe's name is never truncated, and it deletes itself on close.
    const std::wstring probe = WithTrailingBackslash(folder) + L"testfile.tst";
    platform::UniqueFile file(::CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (file) return L"ok";
    // An existing probe name says nothing about writability: try a fresh name.
    if (::GetLastError() == ERROR_FILE_EXISTS) {
        wchar_t unique[MAX_PATH + 1] = {};
        if (::GetTempFileNameW(WithTrailingBackslash(folder).c_str(), L"tst", 0, unique)) {
            ::DeleteFileW(unique);
            return L"ok";
        }
    }
    return L"failed";
}

bool IsFolderWritable(const std::wstring& folder) {
    if (!platform::DirectoryExists(folder)) return false;
    wchar_t probe[MAX_PATH] = {};
    // The platform makes the probe under a unique name; it is then written
    // as a capture would be.
    if (::GetTempFileNameW(folder.c_str(), L"SWTest", 0, probe) == 0) return false;
    HANDLE file = ::CreateFileW(probe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ::DeleteFileW(probe);
        return false;
    }
    ::CloseHandle(file);
    ::DeleteFileW(probe);
    return true;
}
