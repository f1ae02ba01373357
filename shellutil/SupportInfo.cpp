#include "shellutil/SupportInfo.h"

#include "platform/FileSystem.h"
#include "platform/SystemMessage.h"
#include "platform/UniqueHandle.h"
#include "shellutil/StandardFolders.h"
#include "uikit/TextCatalog.h"
#include "uikit/VersionInfo.h"

#include <mapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

namespace {

std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return {};
    return data;
}

// The version of the program file registered for a class name (its
// server, in process or local), or empty when the class is not there.
std::wstring VersionOfClass(const wchar_t* progId) {
    const std::wstring clsid = RegistryText(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID", nullptr);
    if (clsid.empty()) return {};
    for (const wchar_t* server : {L"\\LocalServer32", L"\\InprocServer32"}) {
        std::wstring path = RegistryText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + server, nullptr);
        if (path.empty()) continue;
        // "C:\path\program.exe" /automation: the program file alone.
        if (path.front() == L'"') {
            path = path.substr(1, path.find(L'"', 1) - 1);
        } else if (const size_t switches = path.find(L" /"); switches != std::wstring::npos) {
            path.resize(switches);
        }
        wchar_t expanded[MAX_PATH] = {};
        if (::ExpandEnvironmentStringsW(path.c_str(), expanded, MAX_PATH) != 0) path = expanded;
        const std::wstring version = FormatFileVersion(path, false);
        if (!version.empty()) return version;
    }
    return {};
}

std::wstring Printf(const wchar_t* format, long long a, long long b = 0) {
    wchar_t text[64] = {};
    std::swprintf(text, 64, format, a, b);
    return text;
}

// The ANSI form of a text, cut so that it fits a buffer of size characters
// with its terminating NUL.
std::string Ansi(const std::wstring& text, size_t size) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(length, 0)), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), length, nullptr,
                          nullptr);
    if (out.size() > size - 1) out.resize(size - 1);
    return out;
}

// The ANSI form of a text when it has one that fits a buffer of size
// characters with its terminating NUL; nothing when a character has no
// ANSI form or the text is too long (a cut or altered path names another
// file).
std::optional<std::string> FaithfulAnsi(const std::wstring& text, size_t size) {
    // A system whose ANSI code page is UTF-8 can write every character, and
    // refuses the conversion when asked whether it lost one.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, flags, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, utf8 ? nullptr : &lossy);
    if (length <= 0 || lossy || static_cast<size_t>(length) > size - 1) return std::nullopt;
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, text.c_str(), static_cast<int>(text.size()), out.data(), length, nullptr,
                          nullptr);
    return out;
}

}  // namespace

std::string AttachmentPath(const std::wstring& path) {
    if (path.empty()) return {};
    if (std::optional<std::string> ansi = FaithfulAnsi(path, kMailPathSize)) return *ansi;
    // Simple MAPI takes the path in the ANSI code page and MAX_PATH: a
    // profile named in another script, or nested deeper, is reached by its
    // short form.
    const DWORD length = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) return {};
    std::wstring shortPath(length, L'\0');
    const DWORD written = ::GetShortPathNameW(path.c_str(), shortPath.data(), length);
    if (written == 0 || written >= length) return {};
    shortPath.resize(written);
    return FaithfulAnsi(shortPath, kMailPathSize).value_or(std::string());
}

std::wstring OperatingSystemText() {
    OSVERSIONINFOEXW version{sizeof(version)};
    // The true version, which GetVersionEx may hide from a program without
    // a manifest that names it.
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto get = reinterpret_cast<RtlGetVersion>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (get == nullptr || get(&version) != 0) {
        version = OSVERSIONINFOEXW{sizeof(version)};
        ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    }
    const DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion;
    std::wstring family;
    if (major == 5 && minor == 0) family = L"Windows 2000";
    else if (major == 5 && minor == 1) family = L"Windows XP";
    else if (major == 5 && minor == 2) family = L"Windows Server 2003";
    else if (major == 6 && minor == 0) family = L"Windows Vista";
    else if (major == 6 && minor == 1) family = L"Windows 7";
    else if (major == 6 && minor == 2) family = L"Windows 8";
    else if (major == 6 && minor == 3) family = L"Windows 8.1";
    else if (major == 10 && version.dwBuildNumber >= 22000) family = L"Windows 11";
    else if (major == 10) family = L"Windows 10";
    else if (major <= 4) family = L"Windows NT";
    else family = L"Windows " + Printf(L"%lld.%lld", major, minor);

    const std::wstring type =
        RegistryText(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", L"ProductType");
    std::wstring edition;
    if (version.wSuiteMask & VER_SUITE_DATACENTER) edition = L"DataCenter Server";
    else if (type == L"ServerNT" || type == L"LanmanNT") edition = L"Server";
    else if (version.wSuiteMask & VER_SUITE_PERSONAL) edition = L"Personal";
    else if (type == L"WinNT" || version.wProductType == VER_NT_WORKSTATION) edition = L"Professional";
    std::wstring text = family;
    if (!edition.empty()) text += L" " + edition;
    text += Printf(L" (%lld.%lld", major, minor) + Printf(L".%lld)", version.dwBuildNumber);
    return text;
}

std::vector<SummaryLine> CollectSupportFacts(const std::wstring& product) {
    std::vector<SummaryLine> lines;
    lines.push_back({L"Product", product});
    lines.push_back({L"Operating System", OperatingSystemText()});
    MEMORYSTATUSEX memory{sizeof(memory)};
    ::GlobalMemoryStatusEx(&memory);
    lines.push_back({L"System Memory", Printf(L"%lld MB", static_cast<long long>(memory.ullTotalPhys >> 20))});
    wchar_t locale[128] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SLANGUAGE, locale, 128);
    lines.push_back({L"Current Locale", locale});
    lines.push_back({L"Current Resolution",
                     Printf(L"%lldx%lld", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN))});
    HDC screen = ::GetDC(nullptr);
    lines.push_back({L"Current Colors", Printf(L"%lld bpp", screen ? ::GetDeviceCaps(screen, BITSPIXEL) : 0)});
    if (screen) ::ReleaseDC(nullptr, screen);
    lines.push_back({L"MDAC Version", VersionOfClass(L"ADODB.Connection")});
    const auto folder = [&](const wchar_t* label, const std::wstring& path) {
        lines.push_back({label, path, true, CheckFolderWritable(path)});
    };
    folder(L"My Documents Folder", GetDocumentsFolder(L"", false));
    folder(L"My Pictures Folder", GetPicturesFolder(L"", false));
    folder(L"User Temp Folder", GetTempFolder(false));
    folder(L"User App Data Folder", GetAppDataFolder(L"", false));
    folder(L"{applicationname} Data Folder", GetUserDataFolder());
    folder(L"{applicationname} Folder", platform::GetProgramFolder());
    lines.push_back({L"Microsoft Office", VersionOfClass(L"Word.Application")});
    std::wstring acrobat = VersionOfClass(L"AcroExch.App");
    if (acrobat.empty()) acrobat = VersionOfClass(L"AcroPDF.PDF");
    lines.push_back({L"Adobe Acrobat", acrobat});
    return lines;
}

std::wstring FormatSupportSummary(const std::vector<SummaryLine>& lines,
                                  const std::function<std::wstring(const std::wstring&)>& label) {
    std::wstring text;
    for (const SummaryLine& line : lines) {
        text += label(line.label);
        text += line.label == L"Product" ? L":\t\t" : L":\t";
        text += line.value;
        if (line.folder) text += L"\t(" + line.writable + L")";
        text += L"\r\n";
    }
    return text;
}

std::wstring SupportAttachment() {
    for (const bool programFolder : {false, true}) {
        const std::wstring path = GetSettingsFilePath(programFolder);
        if (!path.empty() && platform::FileExists(path)) return path;
    }
    return {};
}

SupportMail BuildSupportMail(const std::wstring& supportAddress, const std::wstring& subject,
                             const std::wstring& prompt, const std::wstring& summary,
                             const std::wstring& settingsFile) {
    SupportMail mail;
    mail.recipient = Ansi(supportAddress, kMailAddressSize);
    mail.address = Ansi(L"SMTP:" + supportAddress, kMailAddressSize);
    mail.subject = Ansi(subject, kMailSubjectSize);
    const std::wstring separator = L"\r\n\r\n\r\n" + std::wstring(79, L'-') + L"\r\n";
    mail.body = Ansi(prompt + L"\r\n" + separator + summary, kMailBodySize);
    mail.attachment = AttachmentPath(settingsFile);
    return mail;
}

MailResult SendMapiMessage(HWND parent, const SupportMail& mail) {
    HMODULE library = ::LoadLibraryW(L"MAPI32.DLL");
    if (library == nullptr) {
        const DWORD error = ::GetLastError();
        ::MessageBoxW(parent, (L"Cannot launch your email client.\n" + platform::SystemMessage(error)).c_str(), L"Error",
                      MB_OK | MB_ICONERROR);
        return {MailOutcome::NoLibrary, 0};
    }
    const auto send = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(::GetProcAddress(library, "MAPISendMail")));
    MailResult result{MailOutcome::Failed, MAPI_E_NOT_SUPPORTED};
    if (send != nullptr) {
        // MAPI takes non-const text; these copies live for the call.
        std::string name = mail.recipient, address = mail.address, subject = mail.subject, body = mail.body,
                    attachment = mail.attachment;
        MapiRecipDesc recipient{};
        recipient.ulRecipClass = MAPI_TO;
        recipient.lpszName = name.data();
        recipient.lpszAddress = address.data();
        MapiFileDesc file{};
        file.nPosition = static_cast<ULONG>(-1);
        file.lpszPathName = attachment.data();
        MapiMessage message{};
        message.lpszSubject = subject.data();
        message.lpszNoteText = body.data();
        message.nRecipCount = 1;
        message.lpRecips = &recipient;
        if (!attachment.empty()) {
            message.nFileCount = 1;
            message.lpFiles = &file;
        }
        result.code = send(0, reinterpret_cast<ULONG_PTR>(parent), &message, MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG, 0);
        result.outcome = result.code == SUCCESS_SUCCESS  ? MailOutcome::Sent
                         : result.code == MAPI_USER_ABORT ? MailOutcome::Cancelled
                                                          : MailOutcome::Failed;
    }
    ::FreeLibrary(library);
    return result;
}

void SendSupportMail(HWND dialog, SupportMail mail, MailFailureNotice notice) {
    ::EnableWindow(dialog, FALSE);
    std::thread([dialog, mail = std::move(mail), notice = std::move(notice)] {
        const MailResult result = SendMapiMessage(dialog, mail);
        // The mail program said no without the user cancelling: without
        // this box the user would wait for a mail that never comes.
        if (result.outcome == MailOutcome::Failed)
            ::MessageBoxW(dialog, FillFirstArgument(notice.text, std::to_wstring(result.code)).c_str(),
                          notice.caption.c_str(), MB_OK | MB_ICONWARNING);
        ::PostMessageW(dialog, kSupportMailDone, result.outcome == MailOutcome::Sent ? 1 : 0, 0);
    }).detach();
}
