// Snapwell-Setup.exe as an administrator or a deployment tool runs it:
// silently (/S), in a Wine prefix where Snapwell was never installed
// (scripts/installer-tests.sh makes the prefix anew for every run). What
// lands in Program Files, the Start menu and the registry, the automation
// server it registers, an upgrade over a running Snapwell, and the
// uninstaller. The tests run in this order, each on what the one before
// left; one that finds no Snapwell installed installs it first.
#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"
#include "uikit/VersionInfo.h"

#include <ShotDeskLib.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <thread>

using screen::Pump;
using screen::PumpUntil;

namespace {

const std::wstring kSetup = [] {
    std::wstring path = SNAPWELL_SETUP;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}();
const std::wstring kVersion = SNAPWELL_VERSION;
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Snapwell";
constexpr wchar_t kProgramKey[] = L"Software\\Veltrane\\Snapwell";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kTrayWindowClass[] = L"SnapwellShellIconWND";

std::wstring Backslashed(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = path;
    ::CoTaskMemFree(path);
    return folder;
}

std::wstring DefaultProgramFolder() { return KnownFolder(FOLDERID_ProgramFiles) + L"\\Veltrane\\Snapwell"; }
std::wstring UserOptionsFile() { return KnownFolder(FOLDERID_RoamingAppData) + L"\\Veltrane\\Snapwell\\options.xml"; }
std::wstring Shortcut() { return KnownFolder(FOLDERID_CommonPrograms) + L"\\Snapwell.lnk"; }

std::wstring Guid(REFGUID guid) {
    wchar_t text[64];
    ::StringFromGUID2(guid, text, 64);
    return text;
}

// Every file below a folder, as paths relative to it, sorted.
std::vector<std::wstring> FilesBelow(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    platform::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return files;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (auto& inner : FilesBelow(folder + L"\\" + name, prefix + name + L"\\")) files.push_back(inner);
        } else {
            files.push_back(prefix + name);
        }
    } while (::FindNextFileW(find.get(), &data));
    std::sort(files.begin(), files.end());
    return files;
}

unsigned long long BytesBelow(const std::wstring& folder) {
    unsigned long long total = 0;
    for (const auto& file : FilesBelow(folder)) total += testfiles::Read(folder + L"\\" + file).size();
    return total;
}

struct RegistryValue {
    DWORD type = REG_NONE;  // REG_NONE: there is no such value
    std::wstring text;
    DWORD number = 0;
};

RegistryValue ReadValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    RegistryValue value;
    BYTE data[4096] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, data, &size) !=
        ERROR_SUCCESS) {
        value.type = REG_NONE;
        return value;
    }
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) value.text = reinterpret_cast<const wchar_t*>(data);
    if (value.type == REG_DWORD) value.number = *reinterpret_cast<const DWORD*>(data);
    return value;
}

std::wstring Text(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
    const RegistryValue value = ReadValue(root, key, name);
    return value.type == REG_SZ ? value.text : L"<no text value>";
}

// A REG_DWORD's number, or nothing when the value is missing or of another type.
std::optional<DWORD> Number(HKEY root, const std::wstring& key, const wchar_t* name) {
    const RegistryValue value = ReadValue(root, key, name);
    if (value.type != REG_DWORD) return std::nullopt;
    return value.number;
}

void SetNumber(HKEY root, const std::wstring& key, const wchar_t* name, DWORD number) {
    ASSERT_EQ(::RegSetKeyValueW(root, key.c_str(), name, REG_DWORD, &number, sizeof(number)), ERROR_SUCCESS);
}

void SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    ASSERT_EQ(::RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text.c_str(),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

void SetWriteTime(const std::wstring& path, ULONGLONG time) {
    platform::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const FILETIME when{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ASSERT_TRUE(static_cast<bool>(file) && ::SetFileTime(file.get(), nullptr, nullptr, &when)) << "cannot date the file";
}

struct ProgramRun {
    DWORD exitCode = STILL_ACTIVE;
    std::string output;
};

// Runs a command line to its end and to the end of every process it started:
// the uninstaller goes on from a copy of itself in %TEMP% once its own
// process has ended. The first process's exit code and, when asked for, its
// output; STILL_ACTIVE when they were not all done within three minutes.
ProgramRun RunToEnd(const std::wstring& commandLine, bool collectOutput = false) {
    ProgramRun run;
    platform::UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    STARTUPINFOW startup{sizeof(startup)};
    if (collectOutput) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        ::CreatePipe(&readEnd, &writeEnd, &inherit, 0);
        ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, collectOutput, CREATE_SUSPENDED,
                                          nullptr, nullptr, &startup, &process);
    if (writeEnd) ::CloseHandle(writeEnd);
    if (!started) {
        if (readEnd) ::CloseHandle(readEnd);
        ADD_FAILURE() << "cannot start the program, error " << ::GetLastError();
        return run;
    }
    ::AssignProcessToJobObject(job.get(), process.hProcess);
    ::ResumeThread(process.hThread);
    // The output is read on another thread: this one answers its windows'
    // messages while it waits.
    std::thread reader;
    if (readEnd) {
        reader = std::thread([&] {
            char buffer[512];
            DWORD got = 0;
            while (::ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) run.output.append(buffer, got);
        });
    }
    PumpUntil(process.hProcess, 180000);
    for (int i = 0; i < 1800; ++i) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!::QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &accounting,
                                         sizeof(accounting), nullptr) ||
            accounting.ActiveProcesses == 0)
            break;
        Pump(100);
    }
    if (reader.joinable()) reader.join();
    if (readEnd) ::CloseHandle(readEnd);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return run;
}

std::vector<DWORD> SnapwellProcesses() {
    std::vector<DWORD> found;
    platform::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{sizeof(entry)};
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (::lstrcmpiW(entry.szExeFile, L"Snapwell.exe") == 0) found.push_back(entry.th32ProcessID);
    return found;
}

bool WaitUntilNoSnapwellRuns() {
    for (int i = 0; i < 300 && !SnapwellProcesses().empty(); ++i) Pump(100);
    return SnapwellProcesses().empty();
}

// The installed Snapwell as the user starts it, from its folder.
class RunningSnapwell {
public:
    explicit RunningSnapwell(const std::wstring& folder) {
        std::wstring line = L"\"" + folder + L"\\Snapwell.exe\"";
        STARTUPINFOW startup{sizeof(startup)};
        if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                             &info_))
            ::CloseHandle(info_.hThread);
    }
    ~RunningSnapwell() {
        if (!info_.hProcess) return;
        // A test that failed half-way still leaves no Snapwell behind.
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            if (HWND tray = TrayWindow()) ::PostMessageW(tray, WM_CLOSE, 0, 0);
            if (!PumpUntil(info_.hProcess, 15000)) ::TerminateProcess(info_.hProcess, 9);
        }
        ::CloseHandle(info_.hProcess);
    }
    RunningSnapwell(const RunningSnapwell&) = delete;
    RunningSnapwell& operator=(const RunningSnapwell&) = delete;

    HWND TrayWindow() const {
        for (HWND w = ::FindWindowExW(nullptr, nullptr, kTrayWindowClass, nullptr); w;
             w = ::FindWindowExW(nullptr, w, kTrayWindowClass, nullptr)) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(w, &process);
            if (process == info_.dwProcessId) return w;
        }
        return nullptr;
    }
    // Past its splash, with its tray icon up.
    bool WaitForTrayWindow() {
        for (int i = 0; i < 300 && info_.hProcess && !TrayWindow(); ++i) Pump(100);
        return TrayWindow() != nullptr;
    }
    // Its exit code once it has ended, or STILL_ACTIVE.
    DWORD WaitForExit() {
        DWORD code = STILL_ACTIVE;
        if (info_.hProcess && PumpUntil(info_.hProcess, 30000)) ::GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
};

pugi::xml_node OptionNode(pugi::xml_document& document, const wchar_t* xpath) {
    return document.select_node(xpath).node();
}

constexpr wchar_t kTargetFolder[] = L"//*[@Name='DefaultProfile']/*[@Name='TargetFolder']";
constexpr wchar_t kFilePrefix[] = L"//*[@Name='DefaultProfile']/*[@Name='FileNameTemplatePrefix']";

// The options of a user who answered the first-run questions: the installed
// defaults, with one profile saving PNG files named prefix1.png, ... into
// captures, and the autostart entry asked for.
void WriteUserOptions(const std::wstring& programFolder, const std::wstring& captures, const wchar_t* prefix) {
    pugi::xml_document options;
    ASSERT_TRUE(options.load_file((programFolder + L"\\options.xml").c_str()));
    OptionNode(options, kTargetFolder).attribute(L"Value").set_value(captures.c_str());
    OptionNode(options, kFilePrefix).attribute(L"Value").set_value(prefix);
    OptionNode(options, L"//*[@Name='MultipleCaptureProfiles']").attribute(L"Value").set_value(L"0");
    OptionNode(options, L"//*[@Name='AddProgramToStartupGroup']").attribute(L"Value").set_value(L"1");
    ::SHCreateDirectoryExW(nullptr, platform::FolderOf(UserOptionsFile()).c_str(), nullptr);
    ASSERT_TRUE(options.save_file(UserOptionsFile().c_str()));
}

std::wstring UserOption(const wchar_t* xpath) {
    pugi::xml_document options;
    if (!options.load_file(UserOptionsFile().c_str())) return L"<no options file>";
    return OptionNode(options, xpath).attribute(L"Value").value();
}

// An empty folder for captures.
std::wstring FreshFolder(const std::wstring& folder) {
    testfiles::RemoveTree(folder);
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

std::wstring ShortcutTarget(const std::wstring& link) {
    IShellLinkW* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&shellLink))))
        return L"<no shell link object>";
    std::wstring target = L"<unreadable>";
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

// What the installed folder must hold: every shipped data file and help
// page of the source tree, the two programs and the uninstaller.
std::vector<std::wstring> ExpectedFiles() {
    std::vector<std::wstring> files = FilesBelow(Backslashed(SNAPWELL_DATA_FOLDER));
    for (const wchar_t* program : {L"Snapwell.exe", L"snapctl.exe", L"Uninstall.exe"}) files.push_back(program);
    std::sort(files.begin(), files.end());
    return files;
}

// The installed files are this build's, byte for byte: the data files as
// in the source tree, the programs as the installer's payload has them.
void ExpectThisBuildsFiles(const std::wstring& folder) {
    EXPECT_EQ(FilesBelow(folder), ExpectedFiles());
    const std::wstring data = Backslashed(SNAPWELL_DATA_FOLDER);
    for (const auto& file : FilesBelow(data))
        EXPECT_TRUE(testfiles::Read(folder + L"\\" + file) == testfiles::Read(data + L"\\" + file)) << file;
    const std::wstring payload = Backslashed(SNAPWELL_PAYLOAD);
    for (const wchar_t* program : {L"Snapwell.exe", L"snapctl.exe"})
        EXPECT_TRUE(testfiles::Read(folder + L"\\" + program) == testfiles::Read(payload + L"\\" + program))
            << program;
}

// snapctl of an installed folder captures a 64 x 48 rectangle through the
// automation server; the picture is checked by ImageMagick.
void ExpectSnapctlCaptures(const std::wstring& folder, const std::wstring& captures) {
    const ProgramRun rect = RunToEnd(L"\"" + folder + L"\\snapctl.exe\" rect 100 120 64 48", true);
    EXPECT_EQ(rect.output, "0\r\n");
    EXPECT_EQ(rect.exitCode, 0u);
    EXPECT_TRUE(WaitUntilNoSnapwellRuns()) << "the server ends with its last object";
    EXPECT_EQ(testfiles::List(captures), std::vector<std::wstring>{L"Capture1.png"});
    EXPECT_EQ(unixtools::Identify(captures + L"\\Capture1.png", "%m %w %h"), "PNG 64 48");
}

void InstallUnlessInstalled() {
    if (!platform::FileExists(DefaultProgramFolder() + L"\\Snapwell.exe")) {
        ASSERT_EQ(RunToEnd(L"\"" + kSetup + L"\" /S").exitCode, 0u);
    }
}

}  // namespace

TEST(Installer, SilentInstallPutsSnapwellInProgramFilesRegistersItsServerAndAsksTheFirstRunQuestions) {
    const std::wstring folder = DefaultProgramFolder();
    const std::wstring program = folder + L"\\Snapwell.exe";
    ASSERT_FALSE(platform::PathExists(folder)) << "the prefix is fresh";
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "the prefix is fresh";

    ASSERT_EQ(RunToEnd(L"\"" + kSetup + L"\" /S").exitCode, 0u);

    ExpectThisBuildsFiles(folder);

    // The automation server and its type library, registered for the
    // installed program.
    const std::wstring clsid = Guid(CLSID_CaptureEngine);
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\LocalServer32"), L"\"" + program + L"\"");
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"ShotDesk.CaptureEngine\\CLSID"), clsid);
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"TypeLib\\" + Guid(LIBID_ShotDeskLib) + L"\\1.0\\0\\win64"), program);

    // The first-run questions wait for the installing user's first start.
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig"), 1u);

    const std::wstring shortcut = Shortcut();
    EXPECT_TRUE(platform::FileExists(shortcut)) << shortcut;
    EXPECT_EQ(ShortcutTarget(shortcut), program);

    // The entry of "Apps & features", with the program's own version.
    EXPECT_EQ(FormatFileVersion(program, false), kVersion);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Snapwell");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), kVersion);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher"), L"Veltrane");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon"), program + L",0");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), folder);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), L"\"" + folder + L"\\Uninstall.exe\"");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString"),
              L"\"" + folder + L"\\Uninstall.exe\" /S");
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoRepair"), 1u);
    // In kilobytes, as the installed files take them.
    const auto estimated = Number(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize");
    ASSERT_TRUE(estimated.has_value());
    const double kilobytes = BytesBelow(folder) / 1024.0;
    EXPECT_NEAR(*estimated, kilobytes, kilobytes / 50) << "the folder holds " << kilobytes << " KB";

    // snapctl drives a capture through the installed server, with the
    // options of a user who answered the first-run questions.
    const std::wstring captures = FreshFolder(L"C:\\SnapwellCaptures");
    WriteUserOptions(folder, captures, L"Capture");
    ExpectSnapctlCaptures(folder, captures);
    testfiles::RemoveTree(captures);
}

TEST(Installer, InstallingAgainClosesTheRunningSnapwellReplacesItsFilesAndKeepsTheUsersSettings) {
    InstallUnlessInstalled();
    const std::wstring folder = DefaultProgramFolder();
    const std::wstring program = folder + L"\\Snapwell.exe";

    // The user answered the first-run questions, changed the options and
    // moved the toolbar.
    SetNumber(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", 0);
    SetNumber(HKEY_CURRENT_USER, kProgramKey, L"x", 40);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Snapwell");
    const std::wstring captures = L"C:\\Users\\Public\\Snapwell shots";
    WriteUserOptions(folder, captures, L"Upgraded");

    // The installed copy is an older version's: an older entry, a help page
    // this version no longer has, other bytes in a program and a style
    // sheet, and an older program file.
    SetText(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", L"1.0.0.0");
    testfiles::Write(folder + L"\\docs\\en\\retired.htm", "<p>Moved in this version.</p>");
    testfiles::Write(folder + L"\\docs\\help.css", "body { color: black; }");
    testfiles::Write(folder + L"\\snapctl.exe", "an older snapctl");
    testfiles::SetWriteTime(program, -3600LL * 24 * 365 * 3);
    const ULONGLONG olderProgramTime = platform::LastWriteTime(program).value_or(0);

    RunningSnapwell snapwell(folder);
    ASSERT_TRUE(snapwell.WaitForTrayWindow());
    const ULONGLONG optionsWritten = platform::LastWriteTime(UserOptionsFile()).value_or(0);

    EXPECT_EQ(RunToEnd(L"\"" + kSetup + L"\" /S").exitCode, 0u);

    // Snapwell ended through its own exit, whose steps ran: the options were
    // saved and the autostart entry written.
    EXPECT_EQ(snapwell.WaitForExit(), 0u);
    EXPECT_GT(platform::LastWriteTime(UserOptionsFile()).value_or(0), optionsWritten);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRunKey, L"Snapwell"), L"\"" + program + L"\"");

    // The user's options and values are as they were.
    EXPECT_EQ(UserOption(kFilePrefix), L"Upgraded");
    EXPECT_EQ(UserOption(kTargetFolder), captures);
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig"), 0u);
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kProgramKey, L"x"), 40u);

    // The files and the entry are this version's.
    ExpectThisBuildsFiles(folder);
    EXPECT_NE(platform::LastWriteTime(program).value_or(0), olderProgramTime);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), kVersion);
    EXPECT_TRUE(SnapwellProcesses().empty());
}

TEST(Installer, OptionsLastSavedBeforeThisVersionWasMadeOutliveTheUpgradeAndTheNextStart) {
    InstallUnlessInstalled();
    const std::wstring folder = DefaultProgramFolder();
    SetNumber(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", 0);
    WriteUserOptions(folder, L"C:\\Users\\Public", L"Older");
    // The user last ran Snapwell a minute before this installer was made.
    // Snapwell takes the program folder's options over the user's when they
    // are newer, so the upgrade must not make the shipped defaults newer
    // than options the user saved after those defaults last changed.
    const ULONGLONG setupMade = platform::LastWriteTime(kSetup).value_or(0);
    ASSERT_NE(setupMade, 0u);
    SetWriteTime(UserOptionsFile(), setupMade - 60ULL * 10000000ULL);

    EXPECT_EQ(RunToEnd(L"\"" + kSetup + L"\" /S").exitCode, 0u);

    RunningSnapwell snapwell(folder);
    ASSERT_TRUE(snapwell.WaitForTrayWindow());
    ::PostMessageW(snapwell.TrayWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(snapwell.WaitForExit(), 0u);
    EXPECT_EQ(UserOption(kFilePrefix), L"Older");
}

TEST(Installer, SilentUninstallClosesSnapwellRemovesTheProgramAndKeepsTheUsersData) {
    InstallUnlessInstalled();
    const std::wstring folder = DefaultProgramFolder();
    SetNumber(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", 0);
    WriteUserOptions(folder, L"C:\\Users\\Public", L"Kept");
    const std::wstring quietUninstall = Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString");

    // Snapwell runs and asks for its autostart entry, which it writes as it
    // exits: the uninstaller must remove it after Snapwell has ended.
    RunningSnapwell snapwell(folder);
    ASSERT_TRUE(snapwell.WaitForTrayWindow());
    const ULONGLONG optionsWritten = platform::LastWriteTime(UserOptionsFile()).value_or(0);

    EXPECT_EQ(RunToEnd(quietUninstall).exitCode, 0u);
    // Snapwell ended through its own exit: it saved the options.
    EXPECT_EQ(snapwell.WaitForExit(), 0u);
    EXPECT_GT(platform::LastWriteTime(UserOptionsFile()).value_or(0), optionsWritten);

    EXPECT_FALSE(platform::PathExists(folder));
    EXPECT_FALSE(platform::PathExists(platform::FolderOf(folder))) << "the empty Veltrane folder goes too";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + Guid(CLSID_CaptureEngine)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ShotDesk.CaptureEngine"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + Guid(LIBID_ShotDeskLib)));
    EXPECT_FALSE(platform::PathExists(Shortcut()));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kRunKey, L"Snapwell").type, static_cast<DWORD>(REG_NONE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(SnapwellProcesses().empty());

    // The user's data stays for a later installation.
    EXPECT_EQ(UserOption(kFilePrefix), L"Kept");
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig"), 0u);
}

TEST(Installer, InstallsIntoTheFolderGivenWithDAndUninstallsFromThere) {
    // What an earlier test left installed goes first.
    if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) {
        ASSERT_EQ(RunToEnd(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode, 0u);
    }
    const std::wstring folder = L"C:\\Tools\\Snap well";
    const std::wstring program = folder + L"\\Snapwell.exe";

    ASSERT_EQ(RunToEnd(L"\"" + kSetup + L"\" /S /D=" + folder).exitCode, 0u);

    ExpectThisBuildsFiles(folder);
    EXPECT_FALSE(platform::PathExists(DefaultProgramFolder()));
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + Guid(CLSID_CaptureEngine) + L"\\LocalServer32"),
              L"\"" + program + L"\"");
    EXPECT_EQ(ShortcutTarget(Shortcut()), program);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString"),
              L"\"" + folder + L"\\Uninstall.exe\" /S");
    const std::wstring captures = FreshFolder(L"C:\\SnapwellCaptures");
    WriteUserOptions(folder, captures, L"Capture");
    ExpectSnapctlCaptures(folder, captures);
    testfiles::RemoveTree(captures);

    EXPECT_EQ(RunToEnd(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode, 0u);
    EXPECT_FALSE(platform::PathExists(folder));
    EXPECT_TRUE(platform::PathExists(L"C:\\Tools")) << "a folder the user chose around it is theirs";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The installer runs elevated, perhaps as another administrator: the finish
// page's "start Snapwell" goes through the shell, so that Snapwell runs as
// the signed-in user and not as a child of the installer.
TEST(Installer, TheFinishPageStartsSnapwellThroughTheShell) {
    if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) {
        ASSERT_EQ(RunToEnd(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode, 0u);
    }
    ASSERT_TRUE(WaitUntilNoSnapwellRuns());
    std::wstring line = L"\"" + kSetup + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION setup{};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &setup));
    ::CloseHandle(setup.hThread);
    // Next on the welcome page, Install on the folder page, then (the
    // installation goes on to the last page by itself) Finish with the start
    // box as it comes (ticked): each press is the wizard's button 1 once it
    // is enabled.
    int pressed = 0;
    for (int i = 0; i < 1200 && ::WaitForSingleObject(setup.hProcess, 0) == WAIT_TIMEOUT; ++i) {
        HWND wizard = nullptr;
        for (HWND w = ::GetTopWindow(nullptr); w && !wizard; w = ::GetWindow(w, GW_HWNDNEXT)) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(w, &process);
            if (process == setup.dwProcessId && ::IsWindowVisible(w) && ::GetDlgItem(w, 1)) wizard = w;
        }
        HWND next = wizard ? ::GetDlgItem(wizard, 1) : nullptr;
        if (next && ::IsWindowEnabled(next) && ::IsWindowVisible(next)) {
            if (pressed == 2) unixtools::Screenshot("installer-finish");
            ::PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(next));
            ++pressed;
            Pump(1000);
        } else {
            Pump(100);
        }
    }
    PumpUntil(setup.hProcess, 60000);
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(setup.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(pressed, 3) << "welcome, folder (Install), finish";
    // The started Snapwell's parent is the shell, not the installer.
    std::optional<DWORD> parent;
    for (int i = 0; i < 200 && !parent; ++i) {
        platform::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{sizeof(entry)};
        for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
             more = ::Process32NextW(snapshot.get(), &entry))
            if (::lstrcmpiW(entry.szExeFile, L"Snapwell.exe") == 0) parent = entry.th32ParentProcessID;
        if (!parent) Pump(100);
    }
    ::CloseHandle(setup.hProcess);
    ASSERT_TRUE(parent) << "Snapwell started from the finish page";
    EXPECT_NE(*parent, setup.dwProcessId) << "not a child of the elevated installer";
    // Snapwell asks its first-run questions; the test ends it.
    for (DWORD id : SnapwellProcesses()) {
        platform::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process) {
            ::TerminateProcess(process.get(), 9);
            ::WaitForSingleObject(process.get(), 5000);
        }
    }
    EXPECT_EQ(RunToEnd(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode, 0u);
}
