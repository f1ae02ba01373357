// Snapwell.exe as the user starts it, in the Wine virtual desktop: the tray
// icon and its menu, the second start, the command-line switches, the
// autostart entry, "NeedConfig", and captures started by global hot keys.
#include "tests/CaptureFixture.h"
#include "app/MarkupWindow.h"
#include "app/TrayMenu.h"
#include "output/RecentCaptures.h"
#include "capture/CountdownWnd.h"
#include "platform/FileSystem.h"
#include "platform/Monitors.h"
#include "resources/resource.h"
#include "uikit/HotKey.h"
#include "uikit/LanguageSettings.h"
#include "uikit/TextCatalog.h"
#include "tests/ShellRegistry.h"
#include "tests/TestApp.h"
#include "tests/UnixTools.h"

#include <ShotDeskLib.h>
#include <commctrl.h>
#include <shellapi.h>
#include <winsvc.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <thread>
#include <map>
#include <vector>

#include <pugixml.hpp>

using namespace screen;

namespace {

const std::wstring kProgram = std::wstring(SNAPWELL_BIN_FOLDER) + L"Snapwell.exe";
constexpr wchar_t kTrayTitle[] = L"SnapwellShellIconWND";
constexpr wchar_t kProgramKey[] = L"Software\\Veltrane\\Snapwell";
constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Wine's RPC service keeps the class object of a program that was ended by
// force: every later activation of the class would reach the dead process
// (0x800706BA) until the service starts again. Restarting it forgets that
// registration; clients start it again on their next call in any case, and
// it is started here before the next test. Where the service cannot be
// stopped (Windows, which drops such registrations itself), nothing changes.
void ForgetRegistrationsOfEndedPrograms() {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return;
    SC_HANDLE service = ::OpenServiceW(manager, L"RpcSs", SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS);
    const auto waitFor = [&](DWORD state) {
        SERVICE_STATUS status{};
        for (int i = 0; i < 100; ++i) {
            if (!::QueryServiceStatus(service, &status) || status.dwCurrentState == state) return;
            Pump(50);
        }
    };
    SERVICE_STATUS status{};
    if (service != nullptr && ::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        waitFor(SERVICE_STOPPED);
        ::StartServiceW(service, 0, nullptr);
        waitFor(SERVICE_RUNNING);
    }
    if (service != nullptr) ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
}

// A Snapwell process started with a command line. One still running when
// the test is done is ended, and leaves nothing behind for the next test.
class Process {
public:
    explicit Process(const std::wstring& arguments) {
        std::wstring line = L"\"" + kProgram + L"\" " + arguments;
        STARTUPINFOW startup{sizeof(startup)};
        if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
            ::CloseHandle(info_.hThread);
    }
    ~Process() {
        if (!info_.hProcess) return;
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(info_.hProcess, 9);
            PumpUntil(info_.hProcess, 5000);
            ForgetRegistrationsOfEndedPrograms();
        }
        ::CloseHandle(info_.hProcess);
    }
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code once it ended within ms, or STILL_ACTIVE. This thread
    // owns windows, so it reads its messages while it waits.
    DWORD Wait(DWORD ms) {
        PumpUntil(info_.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
};

struct WindowSearch {
    DWORD process;
    const wchar_t* className;
    const wchar_t* title;
    bool visibleOnly;
    HWND found;
    // Only dialogs with this control (0xFFFF, a message box's text), or any.
    int childId = 0;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t text[256] = {};
    if (search->process && process != search->process) return TRUE;
    if (search->visibleOnly && !::IsWindowVisible(window)) return TRUE;
    if (search->className) {
        ::GetClassNameW(window, text, 256);
        if (std::wstring(text) != search->className) return TRUE;
    }
    if (search->title) {
        ::GetWindowTextW(window, text, 256);
        if (std::wstring(text) != search->title) return TRUE;
    }
    if (search->childId != 0 && ::GetDlgItem(window, search->childId) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindWindowOf(const WindowSearch& wanted, DWORD waitMs) {
    for (DWORD waited = 0;; waited += 50) {
        WindowSearch search = wanted;
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || waited >= waitMs) return search.found;
        Pump(50);
    }
}

HWND FindOf(DWORD process, const wchar_t* className, const wchar_t* title, bool visibleOnly, DWORD waitMs = 0) {
    return FindWindowOf(WindowSearch{process, className, title, visibleOnly, nullptr}, waitMs);
}

// A message box of the process: a visible dialog with the message text
// (control 0xFFFF), not the splash or another described dialog.
HWND MessageBoxOf(DWORD process, DWORD waitMs) {
    return FindWindowOf(WindowSearch{process, L"#32770", nullptr, true, nullptr, 0xFFFF}, waitMs);
}

// Reads a message box of another process and presses OK.
std::wstring AnswerMessageBoxOf(DWORD process, DWORD waitMs = 15000) {
    HWND box = MessageBoxOf(process, waitMs);
    if (!box) return L"<none>";
    wchar_t text[1024] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

// A finished wizard makes its answers the program folder's defaults too:
// the build's file comes back when the test ends.
class KeepFile {
public:
    explicit KeepFile(std::wstring path) : path_(std::move(path)), bytes_(testfiles::Read(path_)) {}
    ~KeepFile() { testfiles::Write(path_, bytes_); }
    KeepFile(const KeepFile&) = delete;
    KeepFile& operator=(const KeepFile&) = delete;

private:
    std::wstring path_;
    std::string bytes_;
};

// The values and subkeys of a registry key as they were, put back when the
// test ends: Wine writes the locale of a process it starts into the user's
// "Control Panel\\International", which the later tests expect English.
class KeepRegistryTree {
public:
    KeepRegistryTree(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) { Read(path_); }
    ~KeepRegistryTree() {
        ::RegDeleteTreeW(root_, path_.c_str());
        for (const Key& key : keys_) {
            HKEY handle = nullptr;
            if (::RegCreateKeyExW(root_, key.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
                ERROR_SUCCESS)
                continue;
            for (const Value& value : key.values)
                ::RegSetValueExW(handle, value.name.c_str(), 0, value.type, value.data.data(),
                                 static_cast<DWORD>(value.data.size()));
            ::RegCloseKey(handle);
        }
    }
    KeepRegistryTree(const KeepRegistryTree&) = delete;
    KeepRegistryTree& operator=(const KeepRegistryTree&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Key {
        std::wstring path;
        std::vector<Value> values;
    };
    void Read(const std::wstring& path) {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
        Key key{path, {}};
        std::vector<std::wstring> subkeys;
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD nameLength = 16384, type = 0, size = 0;
            if (::RegEnumValueW(handle, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
            Value value{name, type, std::vector<BYTE>(size)};
            nameLength = 16384;
            ::RegEnumValueW(handle, i, name, &nameLength, nullptr, &type, value.data.data(), &size);
            value.data.resize(size);
            key.values.push_back(std::move(value));
        }
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256;
            if (::RegEnumKeyExW(handle, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            subkeys.push_back(path + L"\\" + name);
        }
        ::RegCloseKey(handle);
        keys_.push_back(std::move(key));
        for (const std::wstring& subkey : subkeys) Read(subkey);
    }

    HKEY root_;
    std::wstring path_;
    std::vector<Key> keys_;
};

// Answers the wizard pages of a process with one button (IDOK: Next on each
// page and Finish on the last; IDCANCEL: Cancel on the first) until no page
// comes; how many pages were answered.
int AnswerWizard(DWORD process, int button) {
    int pages = 0;
    HWND previous = nullptr;
    for (;;) {
        HWND page = nullptr;
        // The first page comes with the program's start, the others at once.
        for (int i = 0; i < (pages == 0 ? 200 : 30) && page == nullptr; ++i) {
            HWND found = MessageBoxOf(process, 0) ? nullptr : FindOf(process, L"#32770", nullptr, true, 0);
            if (found && found != previous && ::GetDlgItem(found, 11) && ::GetDlgItem(found, IDOK)) page = found;
            else Pump(100);
        }
        if (page == nullptr) return pages;
        ++pages;
        previous = page;
        ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        for (int i = 0; i < 100 && ::IsWindow(page); ++i) Pump(50);
    }
}

// The centre of the tray icon in the notification area, found by its
// colours, or (-1, -1) when no icon shows.
POINT TrayIconPosition() {
    HDC dc = ::GetDC(nullptr);
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    long sx = 0, sy = 0, n = 0;
    for (int y = h - 40; y < h; ++y)
        for (int x = w - 200; x < w; ++x) {
            // The lens blue of the tray icon.
            const COLORREF c = ::GetPixel(dc, x, y);
            if (GetBValue(c) > 150 && GetRValue(c) < 60 && GetGValue(c) > 80) {
                sx += x;
                sy += y;
                ++n;
            }
        }
    ::ReleaseDC(nullptr, dc);
    return n > 3 ? POINT{sx / n, sy / n} : POINT{-1, -1};
}

bool WaitForTrayIcon(bool shown, DWORD ms = 5000) {
    for (DWORD waited = 0; waited < ms; waited += 100) {
        if ((TrayIconPosition().x >= 0) == shown) return true;
        Pump(100);
    }
    return false;
}

std::optional<std::wstring> RunEntry() {
    wchar_t data[2048] = {};
    DWORD size = sizeof(data);
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Snapwell", RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

void SetRunEntry(const std::wstring& text) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Snapwell", REG_SZ, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Another program on a thread of its own: makes an object of the running
// Snapwell, makes its calls on it, lets it go, and sets answered. The caller
// owns windows, so it reads its messages until answered before it joins.
std::thread AnotherProgram(std::atomic<bool>& answered, std::function<void(ICaptureEngine*)> calls) {
    return std::thread([&answered, calls = std::move(calls)] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ICaptureEngine* engine = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                         reinterpret_cast<void**>(&engine)))) {
            calls(engine);
            engine->Release();
        }
        ::CoUninitialize();
        answered = true;
    });
}

// The shipped options with the test's capture folder, BMP files and hot
// keys that a test can press.
class Program : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        const auto shipped = platform::ReadWholeFile(SNAPWELL_SHIPPED_OPTIONS);
        ASSERT_TRUE(shipped);
        LoadOptionsFrom(shipped->c_str());
        options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots);
        options->SetProfileOption(L"DefaultProfile", L"TargetType", L"0");
        options->SetHotKeyValue(L"FullScreenCaptureKey", L"Ctrl + Alt + 70");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Snapwell");
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Snapwell");
        CaptureFixture::TearDown();
    }
    void Save() { ASSERT_TRUE(options->SaveOptions()); }
    // Exits a running Snapwell through its tray menu's "Exit" command.
    static DWORD ExitThroughMenu(Process& process) {
        HWND tray = FindOf(process.Id(), nullptr, kTrayTitle, false);
        if (tray) ::PostMessageW(tray, WM_COMMAND, 142, 0);
        return process.Wait(15000);
    }
};


// The items of a menu as the user reads them, a submenu's items indented
// below it: the text, the command id (">" for a submenu) and "greyed".
std::vector<std::wstring> MenuLines(HMENU menu, const std::wstring& indent = L"") {
    std::vector<std::wstring> lines;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{sizeof(info)};
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 256;
        if (!::GetMenuItemInfoW(menu, i, TRUE, &info)) continue;
        if (info.fType & MFT_SEPARATOR) {
            lines.push_back(indent + L"---");
            continue;
        }
        std::wstring line = indent + text + L" [" + (info.hSubMenu ? L">" : std::to_wstring(info.wID)) + L"]";
        if (info.fState & MFS_GRAYED) line += L" greyed";
        lines.push_back(line);
        if (info.hSubMenu) {
            const std::vector<std::wstring> below = MenuLines(info.hSubMenu, indent + L"  ");
            lines.insert(lines.end(), below.begin(), below.end());
        }
    }
    return lines;
}

inline constexpr COLORREF kGreen = RGB(40, 190, 70);

// The files of a folder that were not there before, in the order they came;
// a writer's temporary file is not one until it has its name.
class NewFiles {
public:
    explicit NewFiles(std::function<std::vector<std::wstring>()> list) : list_(std::move(list)) {
        for (const std::wstring& name : list_()) seen_.insert(name);
    }
    // Waits (reading this thread's messages) until a new file is there; its
    // name, or empty after ms.
    std::wstring Next(DWORD ms = 10000) {
        for (DWORD waited = 0;; waited += 20) {
            for (const std::wstring& name : list_())
                if (!name.ends_with(L".tmp") && seen_.insert(name).second) return name;
            if (waited >= ms) return {};
            Pump(20);
        }
    }

private:
    std::function<std::vector<std::wstring>()> list_;
    std::set<std::wstring> seen_;
};
}  // namespace

// The loader reads the program's manifest from resource 1 of type
// RT_MANIFEST: it must be there, well formed, and ask for what the program
// relies on.
TEST(ProgramFile, CarriesAManifestForCommonControlsSixAndPerMonitorDpi) {
    HMODULE file = ::LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(file, nullptr);
    const std::string text(platform::ResourceData(1, MAKEINTRESOURCEW(24), file));
    ::FreeLibrary(file);
    ASSERT_FALSE(text.empty()) << "resource 1 of type RT_MANIFEST";
    pugi::xml_document manifest;
    ASSERT_TRUE(manifest.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8));
    const auto select = [&](const wchar_t* xpath) { return manifest.select_node(xpath).node(); };
    const pugi::xml_node controls =
        select(L"//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity']");
    EXPECT_STREQ(controls.attribute(L"name").value(), L"Microsoft.Windows.Common-Controls");
    EXPECT_STREQ(controls.attribute(L"version").value(), L"6.0.0.0");
    EXPECT_STREQ(select(L"//*[local-name()='dpiAwareness']").text().get(), L"PerMonitorV2, PerMonitor");
    EXPECT_STREQ(select(L"//*[local-name()='dpiAware']").text().get(), L"true/pm");
    EXPECT_TRUE(select(L"//*[local-name()='supportedOS'][@Id='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}']"))
        << "Windows 10 and 11";
}

TEST_F(Program, HotKeyWhileTheAboutDialogIsOpenBringsItForwardInstead) {
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    Process program(L"");
    ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
    // Another program asks the running Snapwell for its about dialog.
    HRESULT about = E_FAIL;
    std::atomic<bool> answered{false};
    std::thread client = AnotherProgram(answered, [&](ICaptureEngine* engine) { about = engine->About(); });
    // This thread owns windows: it reads its messages until the client is done.
    const auto joinClient = [&] {
        for (int i = 0; i < 300 && !answered; ++i) Pump(50);
        client.join();
    };
    HWND box = FindOf(program.Id(), L"#32770", nullptr, true, 15000);
    if (box == nullptr) {
        joinClient();
        FAIL() << "no about dialog in the running program (About returned 0x" << std::hex << about << ")";
    }
    wchar_t title[64] = {};
    ::GetWindowTextW(box, title, 64);
    EXPECT_STREQ(title, L"About Snapwell");
    unixtools::Screenshot("about-dialog");
    // Another program has the foreground when the hot key comes.
    HWND other = ColourWindow(RGB(9, 9, 9), 300, 300, 100, 100);
    for (int i = 0; i < 50 && ::GetForegroundWindow() != other; ++i) {
        ::SetForegroundWindow(other);
        Pump(100);
    }
    EXPECT_EQ(::GetForegroundWindow(), other) << "this test's window has the foreground";
    if (::GetForegroundWindow() == other) {
        MouseTo(640, 500);
        XInput("key ctrl+alt+f");
        for (int i = 0; i < 50 && ::GetForegroundWindow() != box; ++i) Pump(100);
        EXPECT_EQ(::GetForegroundWindow(), box) << "the dialog came forward";
    }
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    joinClient();
    EXPECT_EQ(about, S_OK);
    // Once the dialog is closed, the same key captures again.
    MouseTo(640, 500);
    XInput("key ctrl+alt+f");
    EXPECT_TRUE(WaitForCaptures(1));
    EXPECT_EQ(Files().size(), 1u) << "the key captures once the dialog is closed";
    ::DestroyWindow(other);
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

// Every route to Properties (the tray menu, another program, a second start)
// leads to the one dialog: a second request brings it forward, an automation
// caller hears S_FALSE, no capture starts over it, and Cancel and OK leave
// the options whole.
TEST_F(Program, OneOptionsDialogWhicheverRouteAsksForIt) {
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    Process program(L"");
    HWND tray = FindOf(program.Id(), nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    const std::string saved = testfiles::Read(userFile);
    const auto dialogs = [&] {
        int count = 0;
        for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(w, &process);
            wchar_t title[64] = {};
            ::GetWindowTextW(w, title, 64);
            if (process == program.Id() && ::IsWindowVisible(w) && std::wstring(title) == L"Snapwell Properties")
                ++count;
        }
        return count;
    };
    ::PostMessageW(tray, WM_COMMAND, 139, 0);
    HWND properties = FindOf(program.Id(), L"#32770", L"Snapwell Properties", true, 10000);
    ASSERT_NE(properties, nullptr) << "Properties from the tray menu";

    // Another program asks for the options dialog and a capture meanwhile.
    HRESULT options = E_FAIL, capture = E_FAIL, toolbar = E_FAIL;
    std::atomic<bool> answered{false};
    std::thread client = AnotherProgram(answered, [&](ICaptureEngine* engine) {
        options = engine->DisplayOptionsDlg();
        capture = engine->CaptureFullScreen();
        toolbar = engine->ShowToolBar();
    });
    for (int i = 0; i < 300 && !answered; ++i) Pump(50);
    const bool clientReturned = answered;
    if (!clientReturned) {
        // An old program shows a second dialog and holds the call: close it.
        for (int i = 0; i < 10 && dialogs() > 1; ++i) {
            if (HWND top = FindOf(program.Id(), L"#32770", L"Snapwell Properties", true))
                ::PostMessageW(top, WM_COMMAND, IDCANCEL, 0);
            Pump(500);
        }
        for (int i = 0; i < 300 && !answered; ++i) Pump(50);
    }
    client.join();
    EXPECT_TRUE(clientReturned) << "the automation call returned while the dialog stayed open";
    EXPECT_EQ(options, S_FALSE) << "the caller hears that no dialog of its own opened";
    EXPECT_EQ(capture, S_FALSE) << "no capture over the dialog";
    EXPECT_EQ(toolbar, S_FALSE) << "no toolbar over the dialog";
    EXPECT_EQ(dialogs(), 1);
    EXPECT_EQ(::GetForegroundWindow(), properties) << "the open dialog came forward";
    EXPECT_TRUE(Files().empty());

    // A second start wakes the first: the dialog comes forward again, no
    // toolbar shows over it.
    Process second(L"");
    EXPECT_EQ(second.Wait(20000), 0u);
    Pump(1000);
    EXPECT_EQ(FindOf(program.Id(), L"SnapwellToolBar", nullptr, true), nullptr) << "no toolbar over the dialog";
    EXPECT_EQ(dialogs(), 1);
    EXPECT_EQ(::GetForegroundWindow(), properties);

    ::PostMessageW(properties, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (int i = 0; i < 100 && ::IsWindow(properties); ++i) Pump(50);
    EXPECT_FALSE(::IsWindow(properties));
    // Asked again, it opens again, and its OK saves what was there.
    ::PostMessageW(tray, WM_COMMAND, 139, 0);
    properties = FindOf(program.Id(), L"#32770", L"Snapwell Properties", true, 10000);
    ASSERT_NE(properties, nullptr) << "the busy state ended with the dialog";
    ::PostMessageW(properties, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 100 && ::IsWindow(properties); ++i) Pump(50);
    EXPECT_EQ(program.Wait(500), static_cast<DWORD>(STILL_ACTIVE)) << "the program runs on";
    CaptureOptions reread;
    EXPECT_EQ(reread.GetProfileOption(L"DefaultProfile", L"TargetFolder"), shots) << "the options are whole";
    EXPECT_EQ(reread.GetHotKeyValue(L"FullScreenCaptureKey"), L"Ctrl + Alt + 70");
    EXPECT_FALSE(saved.empty());
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

TEST_F(Program, TrayIconMenuAndASecondStartThatWakesTheFirst) {
    Save();
    // Registered, so that this test can drive the running program as an
    // automation client too.
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    Process first(L"");
    // The splash comes first, without a caption, and closes by itself.
    HWND splash = FindOf(first.Id(), L"#32770", nullptr, true, 15000);
    ASSERT_NE(splash, nullptr) << "the splash";
    EXPECT_NE(::GetWindowLongPtrW(splash, GWL_STYLE) & WS_CAPTION, WS_CAPTION) << "a border, no caption";
    EXPECT_NE(::GetWindow(splash, GW_CHILD), nullptr) << "the splash shows its texts";
    RECT box{};
    ::GetWindowRect(splash, &box);
    EXPECT_GT(box.right - box.left, 150) << "a splash of some size";
    unixtools::Screenshot("splash");
    HWND tray = FindOf(first.Id(), nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr);
    EXPECT_FALSE(::IsWindow(splash)) << "the splash closed before the tray window came";
    EXPECT_FALSE(::IsWindowVisible(tray));
    ASSERT_TRUE(WaitForTrayIcon(true)) << "the icon shows in the notification area";
    HWND toolbar = FindOf(first.Id(), L"SnapwellToolBar", nullptr, false);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_FALSE(::IsWindowVisible(toolbar));

    const POINT icon = TrayIconPosition();
    XInput("mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y) + " click 3");
    HWND menu = FindOf(first.Id(), L"#32768", nullptr, true, 3000);
    EXPECT_NE(menu, nullptr) << "the tray menu";
    unixtools::Screenshot("tray-menu");
    Tap(VK_ESCAPE);
    XInput("key Escape");

    // The second start is watched while it runs: it makes no tray window
    // and shows nothing.
    Process second(L"");
    HWND secondWindow = nullptr;
    for (int i = 0; i < 400 && !secondWindow && second.Wait(0) == STILL_ACTIVE; ++i) {
        secondWindow = FindOf(second.Id(), nullptr, kTrayTitle, false);
        if (!secondWindow) secondWindow = FindOf(second.Id(), nullptr, nullptr, true);
        if (!secondWindow) Pump(20);
    }
    EXPECT_EQ(secondWindow, nullptr) << "a window of the second start";
    EXPECT_EQ(second.Wait(20000), 0u) << "the second start ends";
    EXPECT_NE(FindOf(first.Id(), L"SnapwellToolBar", nullptr, true, 5000), nullptr) << "the first shows its toolbar";

    // While the toolbar shows, the icon is away; Escape closes the toolbar
    // and brings the icon back.
    EXPECT_TRUE(WaitForTrayIcon(false)) << "no icon beside the toolbar";
    unixtools::Screenshot("toolbar-program");
    XInput("key Escape");
    ASSERT_TRUE(WaitForTrayIcon(true)) << "Escape gives the icon back";
    EXPECT_EQ(FindOf(first.Id(), L"SnapwellToolBar", nullptr, true), nullptr);

    // An automation client's object shows the program's one toolbar, which
    // stays when the client lets its object go (what "snapctl toolbar"
    // does); Escape then closes it and brings the icon back.
    ICaptureEngine* client = nullptr;
    ASSERT_EQ(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                 reinterpret_cast<void**>(&client)),
              S_OK);
    EXPECT_EQ(client->ShowToolBar(), S_OK);
    EXPECT_EQ(FindOf(first.Id(), L"SnapwellToolBar", nullptr, true, 5000), toolbar) << "the program's own toolbar";
    EXPECT_TRUE(WaitForTrayIcon(false)) << "no icon beside the toolbar a client showed";
    client->Release();
    Pump(1000);
    EXPECT_TRUE(::IsWindowVisible(toolbar)) << "the toolbar outlives the client's object";
    EXPECT_TRUE(WaitForTrayIcon(false));
    XInput("key Escape");
    ASSERT_TRUE(WaitForTrayIcon(true)) << "Escape gives the icon back";

    // A double click on the icon shows the toolbar again.
    XInput("mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y) + " click --repeat 2 --delay 80 1");
    EXPECT_NE(FindOf(first.Id(), L"SnapwellToolBar", nullptr, true, 5000), nullptr) << "after a double click";

    // "/info" starts beside it and shows the support information.
    Process info(L"/info");
    HWND infoDialog = FindOf(info.Id(), L"#32770", nullptr, true, 15000);
    ASSERT_NE(infoDialog, nullptr) << "the support-information dialog";
    HWND summary = ::FindWindowExW(infoDialog, nullptr, L"Edit", nullptr);
    // Another process's edit text is asked for, not read from the window.
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(summary, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &copied);
    EXPECT_EQ(std::wstring(text).rfind(L"Product:\t\tSnapwell\t(", 0), 0u) << "the summary in its field";
    EXPECT_NE(std::wstring(text).find(L"Operating System:\tWindows"), std::wstring::npos);
    unixtools::Screenshot("supportinfo");
    ::PostMessageW(infoDialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(info.Wait(10000), 0u);

    const ULONGLONG before = platform::LastWriteTime(userFile).value_or(0);
    Pump(50);
    EXPECT_EQ(ExitThroughMenu(first), 0u);
    EXPECT_GT(platform::LastWriteTime(userFile).value_or(0), before) << "the options were saved at exit";
    EXPECT_TRUE(WaitForTrayIcon(false)) << "the icon goes with the program";
}

TEST_F(Program, ANewUserAnswersTheWizardAndPrintScreenSavesThere) {
    // The shipped profile, which names no folder, and an installer's
    // "NeedConfig".
    const auto shipped = platform::ReadWholeFile(SNAPWELL_SHIPPED_OPTIONS);
    ASSERT_TRUE(shipped);
    LoadOptionsFrom(shipped->c_str());
    options->SetHotKeyValue(L"FullScreenCaptureKey", L"Ctrl + Alt + 70");
    Save();
    LoadShippedLanguages();
    const KeepFile defaults(std::wstring(SNAPWELL_BIN_FOLDER) + L"options.xml");
    const DWORD one = 1;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_DWORD, &one, sizeof(one));

    Process program(L"");
    const auto page = [&](HWND previous) {
        HWND found = nullptr;
        for (int i = 0; i < 200 && !found; ++i) {
            found = FindOf(program.Id(), L"#32770", nullptr, true, 0);
            if (found == previous || (found && !::GetDlgItem(found, 11))) found = nullptr;
            if (!found) Pump(100);
        }
        return found;
    };
    const auto next = [](HWND current) {
        ::PostMessageW(current, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        for (int i = 0; i < 100 && ::IsWindow(current); ++i) Pump(50);
    };
    HWND key = page(nullptr);
    ASSERT_NE(key, nullptr) << "the wizard opens";
    unixtools::Screenshot("wizard-configkey");
    next(key);
    HWND choices = page(key);
    next(choices);
    // Save the picture as a file as well.
    HWND action = page(choices);
    ASSERT_NE(action, nullptr);
    HWND save = ::FindWindowExW(action, nullptr, L"Button", ExpandText(L"WizardSave").c_str());
    ASSERT_NE(save, nullptr);
    ::SendMessageW(save, BM_CLICK, 0, 0);
    unixtools::Screenshot("wizard-configaction");
    next(action);
    HWND folder = page(action);
    HWND path = ::FindWindowExW(folder, nullptr, L"Edit", nullptr);
    ASSERT_NE(path, nullptr) << "the folder page";
    ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shots.c_str()));
    Pump(200);
    unixtools::Screenshot("wizard-configfolder");
    next(folder);
    HWND finish = page(folder);
    ASSERT_NE(finish, nullptr);
    unixtools::Screenshot("wizard-finish");
    next(finish);
    ASSERT_TRUE(WaitForTrayIcon(true)) << "the program runs";

    // The full-screen key saves into the chosen folder at once.
    MouseTo(640, 500);
    XInput("key ctrl+alt+f");
    // The file is written under a temporary name first.
    const std::vector<std::wstring> saved{L"Screen1.png"};
    for (int i = 0; i < 100 && Files() != saved; ++i) Pump(100);
    EXPECT_EQ(Files(), saved) << "a numbered file, no dialog";
    EXPECT_EQ(MessageBoxOf(program.Id(), 500), nullptr);
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

namespace {

// The file a language entry names, for a catalog loaded without the options.
class OneLanguage : public LanguageSettings {
public:
    explicit OneLanguage(std::wstring file) : file_(std::move(file)) {}
    std::wstring GetLanguageFileForOption() const override { return file_; }
    bool SelectLanguageForLangId(uint16_t) override { return false; }
    bool ReadLanguageFiles(std::map<uint16_t, std::wstring>&) const override { return false; }

private:
    std::wstring file_;
};

}  // namespace

// The shipped options name no language, so a German Windows gets the
// first-run questions in German and keeps German afterwards.
TEST_F(Program, AFirstStartOnAGermanWindowsAsksInGermanAndStaysGerman) {
    ASSERT_EQ(options->GetProgramOption(L"Language", false), L"") << "the shipped options leave it to Windows";
    Save();
    const KeepFile defaults(std::wstring(SNAPWELL_BIN_FOLDER) + L"options.xml");
    const auto localeName = [] {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        DWORD size = sizeof(name);
        ::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\International", L"LocaleName", RRF_RT_REG_SZ, nullptr,
                       name, &size);
        return std::wstring(name);
    };
    const std::wstring localeBefore = localeName();
    std::optional<KeepRegistryTree> international(std::in_place, HKEY_CURRENT_USER, L"Control Panel\\International");
    const DWORD one = 1;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_DWORD, &one, sizeof(one));
    TextCatalog german(TestApp::Get().GetTextCatalog().GetProductTexts());
    german.SetLanguageFolder(std::wstring(SNAPWELL_DATA_FOLDER) + L"\\");
    OneLanguage germanFile(L"german.xml");
    ASSERT_TRUE(german.LoadLanguages(germanFile, false)) << german.GetLastLoadError();
    const std::wstring title = german.ExpandText(L"Set up $applicationname", true);
    const std::wstring heading = german.ExpandText(L"WizardKeyHeading", true);
    ASSERT_EQ(title, L"Snapwell einrichten");

    // Wine takes the UI language from the locale of its own command line.
    ASSERT_TRUE(unixtools::StartThroughWine(kProgram, "LC_ALL=de_DE.UTF-8"));
    HWND first = FindWindowOf(WindowSearch{0, L"#32770", nullptr, true, nullptr, 11}, 30000);
    ASSERT_NE(first, nullptr) << "the wizard opens";
    DWORD id = 0;
    ::GetWindowThreadProcessId(first, &id);
    struct Started {
        HANDLE handle;
        ~Started() {
            if (!handle) return;
            if (::WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(handle, 9);
                PumpUntil(handle, 5000);
                ForgetRegistrationsOfEndedPrograms();
            }
            ::CloseHandle(handle);
        }
    } program{::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)};
    ASSERT_NE(program.handle, nullptr);
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    ::QueryFullProcessImageNameW(program.handle, 0, image, &length);
    ASSERT_NE(std::wstring(image).find(L"Snapwell.exe"), std::wstring::npos) << image;

    wchar_t shown[256] = {};
    ::GetWindowTextW(first, shown, 256);
    EXPECT_EQ(std::wstring(shown), title);
    EXPECT_NE(::FindWindowExW(first, nullptr, nullptr, heading.c_str()), nullptr) << "the heading: " << heading;
    unixtools::Screenshot("wizard-german");
    EXPECT_EQ(AnswerWizard(id, IDOK), 4) << "key, options, action (no folder), finish";
    HWND tray = FindOf(id, nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr) << "the program runs";
    ::PostMessageW(tray, WM_COMMAND, 142, 0);
    EXPECT_TRUE(PumpUntil(program.handle, 15000)) << "Exit ends it";

    // The answers name the German language, for every later start.
    CaptureOptions saved;
    EXPECT_EQ(saved.GetProgramOption(L"Language", false), L"1031");
    EXPECT_EQ(saved.GetLanguageFileForOption(), L"german.xml");
    international.reset();
    EXPECT_EQ(localeName(), localeBefore) << "the prefix's locale as it was";
}

namespace {

// A notification area that refuses every icon, standing in front of the
// shell's own, as a shell still busy at sign-in does.
LRESULT CALLBACK RefusingTray(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) return FALSE;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST_F(Program, TrayIconComesWhenTheShellTakesItOnlyLater) {
    Save();
    WNDCLASSW type{};
    type.lpfnWndProc = RefusingTray;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = L"Shell_TrayWnd";
    ::RegisterClassW(&type);
    HWND busy = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", nullptr, WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, type.hInstance, nullptr);
    ASSERT_NE(busy, nullptr);
    ::SetWindowPos(busy, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(::FindWindowW(L"Shell_TrayWnd", nullptr), busy) << "the refusing area is the one the shell finds";
    Process program(L"");
    ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
    Pump(2000);
    EXPECT_FALSE(WaitForTrayIcon(true, 500)) << "the shell took no icon yet";
    ::DestroyWindow(busy);
    ::UnregisterClassW(L"Shell_TrayWnd", type.hInstance);
    EXPECT_TRUE(WaitForTrayIcon(true, 8000)) << "the icon comes once the shell takes it";
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

TEST_F(Program, PrintScreenHeldForWindowsSnippingIsExplained) {
    options->SetHotKeyValue(L"FullScreenCaptureKey", L"44");
    Save();
    LoadShippedLanguages();
    // Print Screen is taken, and the user's setting gives it to snipping.
    HWND holder = ColourWindow(RGB(1, 1, 1), 0, 0, 10, 10);
    ASSERT_TRUE(::RegisterHotKey(holder, 0x7001, 0, VK_SNAPSHOT));
    constexpr wchar_t kKeyboard[] = L"Control Panel\\Keyboard";
    const DWORD on = 1;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKeyboard, L"PrintScreenKeyForSnippingEnabled", REG_DWORD, &on, sizeof(on));
    Process program(L"");
    const std::wstring message = AnswerMessageBoxOf(program.Id(), 20000);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKeyboard, L"PrintScreenKeyForSnippingEnabled");
    ::UnregisterHotKey(holder, 0x7001);
    ::DestroyWindow(holder);
    EXPECT_EQ(message, ExpandText(L"FullscreenHotKeyUsed") + L"\n\n" + ExpandText(L"PrintScreenSnippingHint"));
    EXPECT_EQ(MessageBoxOf(program.Id(), 1000), nullptr) << "one message, for the one key";
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

TEST_F(Program, HotKeyCapturesWithTheTrayIconAwayAndConflictsAreReportedAtStart) {
    options->SetHotKeyValue(L"WindowCaptureKey", L"Ctrl + Alt + 70");
    Save();
    Process program(L"");
    EXPECT_EQ(AnswerMessageBoxOf(program.Id(), 20000),
              L"The hot key for capturing a window is already used by another program, so it does not work in "
              L"Snapwell. Choose another key in Snapwell Properties.")
        << "the second row with the same keys reports its conflict, in the user's language";
    ASSERT_TRUE(WaitForTrayIcon(true));
    const POINT icon = TrayIconPosition();
    HDC dc = ::GetDC(nullptr);
    const COLORREF iconPixel = ::GetPixel(dc, icon.x, icon.y);
    ::ReleaseDC(nullptr, dc);

    MouseTo(640, 500);
    XInput("key ctrl+alt+f");
    ASSERT_TRUE(WaitForCaptures(1)) << "the hot key started a full-screen capture";
    const std::string bmp = OnlyFile();
    ASSERT_FALSE(bmp.empty()) << "the hot key started a full-screen capture";
    EXPECT_NE(BmpPixel(bmp, icon.x, icon.y), iconPixel) << "no tray icon while the capture ran";
    EXPECT_TRUE(WaitForTrayIcon(true)) << "and back afterwards";

    // A key held down captures once, however long the keyboard repeats it.
    XInput("keydown ctrl+alt+f");
    Pump(2500);
    XInput("keyup f keyup alt keyup ctrl");
    WaitForCaptures(2);
    Pump(2000);
    EXPECT_EQ(Files().size(), 2u) << "one capture for one press";
    EXPECT_TRUE(WaitForTrayIcon(true));

    // A restart of the shell's notification area: the icon comes back.
    NOTIFYICONDATAW gone{};
    gone.cbSize = NOTIFYICONDATAW_V1_SIZE;
    gone.hWnd = FindOf(program.Id(), nullptr, kTrayTitle, false);
    gone.uID = 128;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_TRUE(WaitForTrayIcon(false));
    ::SendMessageW(gone.hWnd, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitForTrayIcon(true));

    // Properties: the icon leaves the tray while the dialog is open. With the
    // keyboard alone, the full-screen key becomes Ctrl+Alt+G: the name's
    // first letters find its row, F2 opens its editor, Escape leaves it.
    ::PostMessageW(gone.hWnd, WM_COMMAND, 139, 0);
    HWND properties = FindOf(program.Id(), L"#32770", L"Snapwell Properties", true, 10000);
    ASSERT_NE(properties, nullptr) << "the options dialog";
    HWND list = ::GetDlgItem(properties, 1003);
    EXPECT_GT(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 10) << "with its option list";
    EXPECT_TRUE(WaitForTrayIcon(false));
    Pump(300);
    XInput("type --delay 40 'Capture the full'");
    XInput("key F2");
    HWND editor = nullptr;
    for (int i = 0; i < 50 && editor == nullptr; ++i) {
        Pump(100);
        editor = ::GetDlgItem(list, 10000);
    }
    ASSERT_NE(editor, nullptr) << "F2 opened the editor of the found row";
    wchar_t className[64] = {};
    ::GetClassNameW(editor, className, 64);
    EXPECT_STREQ(className, L"msctls_hotkey32") << "the row of a hot key";
    XInput("key ctrl+alt+g");
    Pump(300);
    unixtools::Screenshot("options-dialog-program");
    XInput("key Escape");
    Pump(300);
    ::PostMessageW(properties, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitForTrayIcon(true));
    EXPECT_FALSE(::IsWindow(properties));
    EXPECT_EQ(MessageBoxOf(program.Id(), 1000), nullptr) << "the new keys are free: nothing to report";
    const std::string saved = testfiles::Read(userFile);
    const size_t row = saved.find("Name=\"FullScreenCaptureKey\"");
    ASSERT_NE(row, std::string::npos);
    const std::wstring wanted = FormatHotKeyForStorage(MOD_CONTROL | MOD_ALT, 'G');
    EXPECT_EQ(saved.find("Value=\"" + std::string(wanted.begin(), wanted.end()) + "\"", row), saved.find("Value=", row))
        << "saved as the stored key text";

    // The new key captures at once; the old one now belongs to the window
    // capture, which no longer conflicts.
    MouseTo(640, 500);
    XInput("key ctrl+alt+g");
    WaitForCaptures(3);
    EXPECT_EQ(Files().size(), 3u) << "Ctrl+Alt+G started a full-screen capture";
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

// The session may end while a capture's overlay or a dialog is open: the
// options and the autostart entry are written before the message returns,
// and the program ends cleanly once its loops have closed.
TEST_F(Program, ClosingTheMainWindowOrEndingTheSessionRunsTheExitSteps) {
    ASSERT_TRUE(options->SetProgramOption(L"AddProgramToStartupGroup", L"1", false));
    options->SetHotKeyValue(L"RegionCaptureKey", L"Ctrl + Alt + 72");
    Save();
    enum class How { kClose, kEndSession, kEndSessionInOverlay, kEndSessionInOptions };
    for (const How how : {How::kClose, How::kEndSession, How::kEndSessionInOverlay, How::kEndSessionInOptions}) {
        SCOPED_TRACE(how == How::kClose                ? "WM_CLOSE"
                     : how == How::kEndSession         ? "WM_ENDSESSION"
                     : how == How::kEndSessionInOverlay ? "WM_ENDSESSION during the rectangle overlay"
                                                        : "WM_ENDSESSION during the options dialog");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Snapwell");
        const ULONGLONG before = platform::LastWriteTime(userFile).value_or(0);
        Process program(L"");
        HWND tray = FindOf(program.Id(), nullptr, kTrayTitle, false, 20000);
        ASSERT_NE(tray, nullptr) << "the program starts again after the previous one ended";
        ASSERT_TRUE(WaitForTrayIcon(true));
        Pump(50);
        if (how == How::kEndSessionInOverlay) {
            MouseTo(640, 500);
            XInput("key ctrl+alt+h");
            ASSERT_NE(FindOf(program.Id(), L"SnapwellCaptureOverlay", nullptr, true, 10000), nullptr)
                << "the rectangle overlay";
        } else if (how == How::kEndSessionInOptions) {
            ::PostMessageW(tray, WM_COMMAND, 139, 0);
            ASSERT_NE(FindOf(program.Id(), L"#32770", L"Snapwell Properties", true, 10000), nullptr);
        }
        if (how == How::kClose) {
            // What taskkill without /F, an installer or a script does.
            ::PostMessageW(tray, WM_CLOSE, 0, 0);
        } else {
            DWORD_PTR answer = 0;
            ASSERT_TRUE(::SendMessageTimeoutW(tray, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                                              &answer));
            EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the program lets the session end";
            ::SendMessageTimeoutW(tray, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 15000, &answer);
            // Windows may end the process as soon as the message returns.
            EXPECT_GT(platform::LastWriteTime(userFile).value_or(0), before) << "saved before the message returned";
            EXPECT_TRUE(RunEntry()) << "autostart written before the message returned";
        }
        EXPECT_EQ(program.Wait(15000), 0u) << "the program ended, without a fault";
        EXPECT_GT(platform::LastWriteTime(userFile).value_or(0), before) << "the options were saved";
        EXPECT_TRUE(RunEntry()) << "the autostart entry was written";
        EXPECT_TRUE(WaitForTrayIcon(false)) << "the icon went";
        EXPECT_TRUE(Files().empty()) << "the overlay ended without a capture";
        EXPECT_EQ(CaptureOptions().GetHotKeyValue(L"RegionCaptureKey"), L"Ctrl + Alt + 72") << "the options are whole";
    }
    Process again(L"");
    ASSERT_NE(FindOf(again.Id(), nullptr, kTrayTitle, false, 20000), nullptr) << "the mutex was released";
    EXPECT_EQ(ExitThroughMenu(again), 0u);
}

TEST_F(Program, EmbeddingServesAutomationOnlyAndEndsWithItsLastObject) {
    options->SetHotKeyValue(L"FullScreenCaptureKey", L"Ctrl + Alt + 71");
    // German texts, a folder nobody may write to, and the clipboard after
    // the file.
    ASSERT_TRUE(options->SetProgramOption(L"Language", L"1031", false));
    ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"TargetFolder", L"Z:\\proc\\"));
    ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"Action", L"2"));
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    Process server(L"-Embedding");
    // Until a client makes an object the server has no window at all.
    Pump(3000);
    ASSERT_EQ(server.Wait(0), static_cast<DWORD>(STILL_ACTIVE)) << "the server waits for its clients";
    EXPECT_EQ(FindOf(server.Id(), nullptr, kTrayTitle, false), nullptr) << "no tray window";
    EXPECT_FALSE(WaitForTrayIcon(true, 500));
    // The combination is free: the server registered no hot keys.
    HWND probe = ColourWindow(RGB(1, 1, 1), 0, 0, 10, 10);
    EXPECT_TRUE(::RegisterHotKey(probe, 0x7000, MOD_CONTROL | MOD_ALT, 71));
    ::UnregisterHotKey(probe, 0x7000);
    ::DestroyWindow(probe);
    // A client's first object is made in this server.
    ICaptureEngine* engine = nullptr;
    ASSERT_EQ(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                 reinterpret_cast<void**>(&engine)),
              S_OK);
    // The options and about dialogs asked of a server without a user
    // interface show nothing, say so, and take none of the program's hot
    // keys, Print Screen included.
    EXPECT_EQ(engine->DisplayOptionsDlg(), S_FALSE);
    EXPECT_EQ(engine->About(), S_FALSE);
    EXPECT_EQ(FindOf(server.Id(), L"#32770", nullptr, true, 1000), nullptr);
    probe = ColourWindow(RGB(1, 1, 1), 0, 0, 10, 10);
    const std::pair<UINT, UINT> keys[] = {{MOD_CONTROL | MOD_ALT, 71}, {MOD_CONTROL, VK_SNAPSHOT},
                                          {MOD_ALT, VK_SNAPSHOT}, {MOD_SHIFT, VK_SNAPSHOT},
                                          {MOD_CONTROL | MOD_SHIFT, VK_SNAPSHOT}};
    for (const auto& [modifiers, key] : keys) {
        EXPECT_TRUE(::RegisterHotKey(probe, 0x7001, modifiers, key)) << modifiers << "+" << key << " is free";
        ::UnregisterHotKey(probe, 0x7001);
    }
    ::DestroyWindow(probe);

    // A capture through another object of the server: the failed save is
    // reported in the user's language, and the copy on the clipboard has an
    // owner window of the server.
    std::atomic<bool> done{false};
    HRESULT captured = E_FAIL;
    DWORD owner = 0;
    std::thread client = AnotherProgram(done, [&](ICaptureEngine* other) {
        HBITMAP none = nullptr;
        captured = other->CaptureRect(100, 120, 40, 30, &none);
        // While the object lives: its window goes with it.
        ::GetWindowThreadProcessId(::GetClipboardOwner(), &owner);
    });
    const std::wstring message = AnswerMessageBoxOf(server.Id());
    for (int i = 0; i < 300 && !done; ++i) Pump(50);
    client.join();
    EXPECT_EQ(captured, S_OK);
    EXPECT_NE(message.find(L"Die Aufnahme konnte nicht gespeichert werden"), std::wstring::npos) << message;
    EXPECT_EQ(owner, server.Id()) << "the clipboard's owner is a window of the server";
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_DIB));

    // Releasing the last object ends the server.
    engine->Release();
    EXPECT_EQ(server.Wait(15000), 0u) << "the server ended with its last object";

    // A client that makes an object the moment another client released the
    // last one gets a working object: from a server that stays for it, or
    // from a new one, never from a server on its way out.
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        ICaptureEngine* first = nullptr;
        ASSERT_EQ(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                     reinterpret_cast<void**>(&first)),
                  S_OK);
        first->Release();
        ICaptureEngine* next = nullptr;
        ASSERT_EQ(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                     reinterpret_cast<void**>(&next)),
                  S_OK);
        Pump(500);
        UINT count = 7;
        EXPECT_EQ(next->GetTypeInfoCount(&count), S_OK) << "the object still answers";
        EXPECT_EQ(count, 1u);
        next->Release();
    }
}

// A program that a test had to end by force, as one that stopped answering,
// leaves the next automation client a working object, not the dead
// process's class object.
TEST_F(Program, AProgramEndedByForceLeavesTheNextActivationWorking) {
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    {
        Process ended(L"");
        ASSERT_NE(FindOf(ended.Id(), nullptr, kTrayTitle, false, 20000), nullptr) << "its class object is registered";
    }
    ICaptureEngine* engine = nullptr;
    ASSERT_EQ(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                 reinterpret_cast<void**>(&engine)),
              S_OK);
    UINT count = 7;
    EXPECT_EQ(engine->GetTypeInfoCount(&count), S_OK) << "the object answers";
    EXPECT_EQ(count, 1u);
    engine->Release();
}

TEST_F(Program, AutostartEntryFollowsTheOptionAndNeedConfigOnlyClearsADword) {
    struct Case {
        const wchar_t* option;
        std::optional<std::wstring> expected;
    };
    SetRunEntry(L"C:\\elsewhere\\Snapwell.exe");
    for (const Case& c : {Case{L"2", L"C:\\elsewhere\\Snapwell.exe"}, Case{L"1", std::nullopt}, Case{L"0", std::nullopt}}) {
        ASSERT_TRUE(options->SetProgramOption(L"AddProgramToStartupGroup", c.option, false));
        Save();
        Process program(L"");
        ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
        EXPECT_EQ(ExitThroughMenu(program), 0u);
        const auto entry = RunEntry();
        if (std::wstring(c.option) == L"1") {
            ASSERT_TRUE(entry);
            // Quoted, so that a path with spaces ("C:\Program Files\...")
            // cannot be read as a shorter program's.
            ASSERT_GE(entry->size(), 2u);
            EXPECT_EQ(entry->front(), L'"');
            EXPECT_EQ(entry->back(), L'"');
            wchar_t full[MAX_PATH] = {};
            ::GetFullPathNameW(kProgram.c_str(), MAX_PATH, full, nullptr);
            EXPECT_EQ(::CompareStringOrdinal(entry->substr(1, entry->size() - 2).c_str(), -1, full, -1, TRUE),
                      CSTR_EQUAL)
                << *entry;
        } else {
            EXPECT_EQ(entry, c.expected) << c.option;
        }
    }

    const KeepFile defaults(std::wstring(SNAPWELL_BIN_FOLDER) + L"options.xml");

    // "/CONFIG" first chooses the language from the user's UI language
    // (English here), whatever the options said, and runs the wizard.
    ASSERT_TRUE(options->SetProgramOption(L"Language", L"1031", false));
    Save();
    const wchar_t text[] = L"1";
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_SZ, text, sizeof(text));
    {
        Process program(L"/CONFIG");
        EXPECT_EQ(AnswerWizard(program.Id(), IDOK), 4) << "key, options, action (no folder), finish";
        ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
        ExitThroughMenu(program);
    }
    EXPECT_EQ(CaptureOptions().GetProgramOption(L"Language", false), L"1033");
    wchar_t stored[8] = {};
    DWORD size = sizeof(stored);
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", RRF_RT_REG_SZ, nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(stored, L"1") << "a value that is not a REG_DWORD is never cleared";

    // Only a REG_DWORD 1 asks for the wizard: a text "0" or "1", or another
    // number, starts the program at once.
    const wchar_t zero[] = L"0";
    const DWORD two = 2;
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        if (variant == 0) ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_SZ, zero, sizeof(zero));
        if (variant == 1) ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_SZ, text, sizeof(text));
        if (variant == 2) ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_DWORD, &two, sizeof(two));
        Process program(L"");
        ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr) << "no wizard before the tray";
        ExitThroughMenu(program);
    }

    // A cancelled wizard ends the start and asks again at the next one;
    // a finished one clears "NeedConfig".
    const DWORD one = 1;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", REG_DWORD, &one, sizeof(one));
    const std::string before = testfiles::Read(userFile);
    {
        Process program(L"");
        EXPECT_EQ(AnswerWizard(program.Id(), IDCANCEL), 1);
        EXPECT_NE(program.Wait(15000), static_cast<DWORD>(STILL_ACTIVE)) << "the start ends";
    }
    EXPECT_EQ(testfiles::Read(userFile), before) << "nothing written";
    DWORD value = 7;
    size = sizeof(value);
    ::RegGetValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", RRF_RT_REG_DWORD, nullptr, &value, &size);
    EXPECT_EQ(value, 1u) << "still asked for";
    {
        Process program(L"");
        EXPECT_EQ(AnswerWizard(program.Id(), IDOK), 4) << "asked again";
        ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
        ExitThroughMenu(program);
    }
    value = 7;
    size = sizeof(value);
    ::RegGetValueW(HKEY_CURRENT_USER, kProgramKey, L"NeedConfig", RRF_RT_REG_DWORD, nullptr, &value, &size);
    EXPECT_EQ(value, 0u) << "cleared once the first-run step completed";
}

// The tray menu as the user reads it, in English and in German: the
// captures first, each with its hot key when one is registered, the last
// rectangle greyed until one is stored, the delays in their submenus, then
// the program's own items.
TEST_F(Program, TrayMenuListsTheCapturesWithTheirKeysInTheUsersLanguage) {
    HMODULE file = ::LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(file, nullptr);
    TextCatalog& catalog = CCorvaneApp::Current()->GetTextCatalog();
    const TextCatalog before = catalog;
    ASSERT_TRUE(LoadShippedLanguages());
    const std::wstring fullScreenKey = FormatHotKeyForDisplay(kModControl | kModAlt, 'F');
    TrayMenuState state{fullScreenKey, L"Alt + PrnScr", L"", false};
    HMENU menu = LoadTrayMenu(file, state);
    ASSERT_NE(menu, nullptr);
    const std::vector<std::wstring> english = {
        L"Capture full screen\t" + fullScreenKey + L" [150]",
        L"Capture window\tAlt + PrnScr [151]",
        L"Capture rectangle [152]",
        L"Capture last rectangle [153] greyed",
        L"Capture after [>]",
        L"  Full Screen [>]",
        L"    3 seconds [154]",
        L"    5 seconds [155]",
        L"    10 seconds [156]",
        L"  Window [>]",
        L"    3 seconds [157]",
        L"    5 seconds [158]",
        L"    10 seconds [159]",
        L"  Rectangle [>]",
        L"    3 seconds [160]",
        L"    5 seconds [161]",
        L"    10 seconds [162]",
        L"---",
        L"Recent captures [>]",
        L"  (empty) [170] greyed",
        L"  ---",
        L"  Clear this list [164] greyed",
        L"Open capture folder [163]",
        L"---",
        L"Open Snapwell [141]",
        L"Snapwell Properties [139]",
        L"---",
        L"Exit [142]",
    };
    EXPECT_EQ(MenuLines(menu), english);
    ::DestroyMenu(menu);

    state.lastRectangleStored = true;
    state.fullScreenKey.clear();
    state.recentCaptures = {L"Bild1.png\t09.12.2026 20:31", L"Bild && Ton.png\t09.12.2026 20:32"};
    ASSERT_TRUE(options->SelectLanguageForLangId(0x0407));
    ASSERT_TRUE(catalog.LoadLanguages(*options, false));
    menu = LoadTrayMenu(file, state);
    ASSERT_NE(menu, nullptr);
    const std::vector<std::wstring> german = MenuLines(menu);
    ::DestroyMenu(menu);
    catalog = before;
    ::FreeLibrary(file);
    ASSERT_EQ(german.size(), english.size() + 1) << "two files instead of \"(empty)\"";
    EXPECT_EQ(german[0], L"Vollbild aufnehmen [150]") << "no key: none registered";
    EXPECT_EQ(german[1], L"Fenster aufnehmen\tAlt + PrnScr [151]");
    EXPECT_EQ(german[3], L"Letztes Rechteck aufnehmen [153]") << "a stored rectangle can be taken";
    EXPECT_EQ(german[4], L"Aufnehmen nach [>]");
    EXPECT_EQ(german[5], L"  Vollbild [>]");
    EXPECT_EQ(german[8], L"    10 Sekunden [156]");
    EXPECT_EQ(german[18], L"Letzte Aufnahmen [>]");
    EXPECT_EQ(german[19], L"  Bild1.png\t09.12.2026 20:31 [170]") << "the newest first, as given";
    EXPECT_EQ(german[20], L"  Bild && Ton.png\t09.12.2026 20:32 [171]");
    EXPECT_EQ(german[22], L"  Liste leeren [164]");
    EXPECT_EQ(german[23], L"Aufnahmeordner \u00f6ffnen [163]");
    EXPECT_EQ(german[25], L"Snapwell \u00f6ffnen [141]");
    EXPECT_EQ(german[28], L"Beenden [142]");
}

// Each capture of the tray menu, picked with the keyboard in the real menu
// or sent as its command: the file comes, from the capture's profile, and
// the closed menu is not in the picture. 131 still captures in the current
// mode, and "Capture last rectangle" takes exactly the stored rectangle.
TEST_F(Program, TrayMenuStartsEachCaptureWithoutBeingInThePicture) {
    options->SetHotKeyValue(L"WindowCaptureKey", L"Ctrl + Alt + 87");
    options->SetHotKeyValue(L"RegionCaptureKey", L"");
    Save();
    Process program(L"");
    HWND tray = FindOf(program.Id(), nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    NewFiles files([this] { return Files(); });
    const auto read = [&](const std::wstring& name) {
        Pump(300);
        return testfiles::Read(shots + name);
    };

    // The real menu, opened on the icon and picked with the keyboard. What
    // lies under it is green, which the picture must show.
    const POINT icon = TrayIconPosition();
    HWND green = ColourWindow(kGreen, 560, 420, 720, icon.y - 40 - 420);
    Pump(300);
    XInput("mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y) + " click 3");
    HWND menu = FindOf(program.Id(), L"#32768", nullptr, true, 3000);
    ASSERT_NE(menu, nullptr) << "the tray menu";
    RECT menuBox{};
    ::GetWindowRect(menu, &menuBox);
    unixtools::Screenshot("tray-menu-captures");
    Tap(VK_DOWN);
    Pump(200);
    Tap(VK_RETURN);
    const std::wstring first = files.Next();
    ASSERT_EQ(first.rfind(L"Screen", 0), 0u) << "a full-screen capture from the menu";
    const std::string screen = read(first);
    EXPECT_EQ(BmpSize(screen).cx, ::GetSystemMetrics(SM_CXSCREEN));
    const POINT inside{(menuBox.left + menuBox.right) / 2, std::max(menuBox.top + 10, 430L)};
    EXPECT_EQ(BmpPixel(screen, inside.x, inside.y), kGreen) << "the menu is not in the picture";
    EXPECT_EQ(BmpPixel(screen, menuBox.left + 3, menuBox.top + 3), kGreen);
    ::DestroyWindow(green);
    Pump(300);

    // The commands as a pick sends them.
    std::thread click = ClickWindows({}, POINT{250, 220});
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_WINDOW, 0);
    const std::wstring window = files.Next();
    for (int i = 0; i < 100 && FindOverlay(); ++i) Pump(50);
    click.join();
    ASSERT_EQ(window.rfind(L"Window", 0), 0u) << "the red window, picked";
    EXPECT_EQ(BmpSize(read(window)).cx, 300);
    EXPECT_EQ(BmpPixel(read(window), 10, 10), kRed);

    std::thread drag = Drag({120, 140}, {220, 240});
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_RECTANGLE, 0);
    const std::wstring rectangle = files.Next();
    for (int i = 0; i < 100 && FindOverlay(); ++i) Pump(50);
    drag.join();
    ASSERT_EQ(rectangle.rfind(L"Region", 0), 0u) << "the dragged rectangle";
    EXPECT_EQ(BmpSize(read(rectangle)).cx, 100);

    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_MODE_FIRST, 0);
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE, 0);
    EXPECT_EQ(files.Next().rfind(L"Screen", 0), 0u) << "131 captures in the mode 132 chose";

    // Without a stored rectangle there is nothing to take again.
    for (const wchar_t* value : {L"LastRectLeft", L"LastRectTop", L"LastRectRight", L"LastRectBottom"})
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kProgramKey, value);
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_LAST_RECTANGLE, 0);
    EXPECT_EQ(files.Next(1500), L"") << "no stored rectangle, no capture";
    // Across the red window's corner and into the blue one.
    const std::pair<const wchar_t*, LONG> last[] = {
        {L"LastRectLeft", 380}, {L"LastRectTop", 300}, {L"LastRectRight", 520}, {L"LastRectBottom", 340}};
    for (const auto& [name, value] : last)
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, name, REG_DWORD, &value, sizeof(value));
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_LAST_RECTANGLE, 0);
    const std::wstring again = files.Next();
    ASSERT_EQ(again.rfind(L"Region", 0), 0u) << "the last rectangle, through the rectangle's profile";
    const std::string bmp = read(again);
    EXPECT_EQ(BmpSize(bmp).cx, 140);
    EXPECT_EQ(BmpSize(bmp).cy, 40);
    EXPECT_EQ(BmpPixel(bmp, 0, 0), kRed);
    EXPECT_EQ(BmpPixel(bmp, 19, 19), kRed);
    EXPECT_NE(BmpPixel(bmp, 20, 20), kRed);
    EXPECT_EQ(BmpPixel(bmp, 125, 5), kBlue);
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

// A capture after a delay: the countdown shows the seconds left near the
// corner of the work area without taking the focus, the picture comes when
// the delay is up and never shows the countdown; meanwhile other requests
// hear that the program is busy; Escape or a click cancels.
TEST_F(Program, DelayedCaptureCountsDownOutsideThePictureAndCanBeCancelled) {
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    Process program(L"");
    HWND tray = FindOf(program.Id(), nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    NewFiles files([this] { return Files(); });
    const RECT place = CountdownWnd::PlaceFor(platform::Monitors().front().work, platform::ScreenDpi());
    HWND green = ColourWindow(kGreen, place.left - 20, place.top - 20, place.right - place.left + 40,
                              place.bottom - place.top + 40);
    // The user's window, active before and during the countdown.
    HWND user = ColourWindow(RGB(9, 9, 9), 300, 600, 100, 100);
    for (int i = 0; i < 50 && ::GetForegroundWindow() != user; ++i) {
        ::SetForegroundWindow(user);
        Pump(100);
    }
    ASSERT_EQ(::GetForegroundWindow(), user);

    const ULONGLONG start = ::GetTickCount64();
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_FULL_SCREEN_AFTER_3, 0);
    HWND countdown = FindOf(program.Id(), L"SnapwellCountdown", nullptr, true, 2000);
    ASSERT_NE(countdown, nullptr) << "the countdown";
    RECT box{};
    ::GetWindowRect(countdown, &box);
    EXPECT_TRUE(::EqualRect(&box, &place)) << box.left << "," << box.top << " " << box.right << "," << box.bottom;
    const LONG_PTR exStyle = ::GetWindowLongPtrW(countdown, GWL_EXSTYLE);
    EXPECT_EQ(exStyle & (WS_EX_TOPMOST | WS_EX_NOACTIVATE), WS_EX_TOPMOST | WS_EX_NOACTIVATE);
    EXPECT_EQ(WaitForPixel(box.left + 3, box.top + 3, RGB(32, 36, 44)), RGB(32, 36, 44)) << "on screen";
    unixtools::Screenshot("countdown");
    std::set<std::wstring> shown;
    std::wstring name;
    while (name.empty() && ::GetTickCount64() - start < 6000) {
        if (::IsWindow(countdown)) shown.insert(platform::WindowText(countdown));
        name = files.Next(0);
        if (name.empty()) Pump(20);
    }
    const ULONGLONG took = ::GetTickCount64() - start;
    EXPECT_EQ(shown, (std::set<std::wstring>{L"3", L"2", L"1"})) << "the seconds left";
    EXPECT_EQ(::GetForegroundWindow(), user) << "the user's window stayed active";
    ASSERT_FALSE(name.empty()) << "the capture after the delay";
    EXPECT_NEAR(static_cast<double>(took), 3000.0, 300.0) << "the file came after 3 s";
    Pump(300);
    const std::string bmp = testfiles::Read(shots + name);
    EXPECT_EQ(BmpPixel(bmp, (place.left + place.right) / 2, (place.top + place.bottom) / 2), kGreen)
        << "the countdown is not in the picture";
    EXPECT_EQ(BmpPixel(bmp, place.left + 3, place.top + 3), kGreen);

    // A click on the countdown cancels a window capture: no picker comes.
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_WINDOW_AFTER_3, 0);
    countdown = FindOf(program.Id(), L"SnapwellCountdown", nullptr, true, 2000);
    ASSERT_NE(countdown, nullptr);
    const POINT middle{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    MouseTo(middle.x, middle.y, MOUSEEVENTF_LEFTDOWN);
    MouseTo(middle.x, middle.y, MOUSEEVENTF_LEFTUP);
    for (int i = 0; i < 40 && ::IsWindow(countdown); ++i) Pump(50);
    EXPECT_FALSE(::IsWindow(countdown)) << "a click cancels";
    Pump(3500);
    EXPECT_EQ(FindOverlay(), nullptr) << "no window picker after a cancel";
    EXPECT_EQ(files.Next(0), L"");

    // During a countdown other requests are refused; Escape cancels it.
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_FULL_SCREEN_AFTER_10, 0);
    countdown = FindOf(program.Id(), L"SnapwellCountdown", nullptr, true, 2000);
    ASSERT_NE(countdown, nullptr);
    HRESULT made = E_FAIL, fullScreen = E_FAIL, region = E_FAIL;
    std::atomic<bool> answered{false};
    std::thread client([&] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ICaptureEngine* engine = nullptr;
        made = ::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                  reinterpret_cast<void**>(&engine));
        if (SUCCEEDED(made)) {
            fullScreen = engine->CaptureFullScreen();
            region = engine->CaptureRegion();
            engine->Release();
        }
        ::CoUninitialize();
        answered = true;
    });
    for (int i = 0; i < 160 && !answered; ++i) Pump(50);
    EXPECT_TRUE(answered) << "the calls returned during the countdown";
    for (int i = 0; i < 300 && !answered; ++i) Pump(50);
    client.join();
    EXPECT_EQ(made, S_OK) << "an object of the running program";
    EXPECT_EQ(fullScreen, S_FALSE);
    EXPECT_EQ(region, S_FALSE);
    EXPECT_TRUE(::IsWindow(countdown)) << "the countdown runs on";
    XInput("key Escape");
    for (int i = 0; i < 40 && ::IsWindow(countdown); ++i) Pump(50);
    EXPECT_FALSE(::IsWindow(countdown)) << "Escape cancels";
    Pump(1000);
    EXPECT_EQ(files.Next(0), L"") << "nothing captured after a cancel";
    // The busy state ended with the countdown.
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_FULL_SCREEN, 0);
    EXPECT_NE(files.Next(), L"");
    ::DestroyWindow(user);
    ::DestroyWindow(green);
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

namespace {

// A notification as Wine's explorer shows it: a visible balloon tooltip of
// another process, and the text it shows.
struct Balloon {
    HWND window = nullptr;
    std::wstring text;
};

BOOL CALLBACK MatchBalloon(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Balloon*>(data);
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (std::wstring(name) != TOOLTIPS_CLASSW || process == ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
        !(::GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON))
        return TRUE;
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
    *found = Balloon{window, text};
    return FALSE;
}

// Waits (reading this thread's messages) for a balloon other than the one
// given; the shell shows one two seconds after it was asked.
Balloon NextBalloon(HWND old, DWORD ms = 8000) {
    for (DWORD waited = 0;; waited += 100) {
        Balloon found;
        ::EnumWindows(MatchBalloon, reinterpret_cast<LPARAM>(&found));
        if ((found.window && found.window != old) || waited >= ms) return found.window != old ? found : Balloon{};
        Pump(100);
    }
}

// A stand-in "open" command for a class of the shell (a file type, "Folder"
// or "Directory"), in the user's and the machine's classes: the suite's
// plain editor, which notes its command line. The classes as they were come
// back when the test ends.
class StandInOpenVerb {
public:
    explicit StandInOpenVerb(const std::wstring& className) {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            const std::wstring key = L"Software\\Classes\\" + className;
            kept_.push_back(std::make_unique<KeepRegistryTree>(root, key));
            const std::wstring command = L"\"" + TestEditorsFolder() + L"\\plain_editor.exe\" \"%1\"";
            ::RegSetKeyValueW(root, (key + L"\\shell\\open\\command").c_str(), nullptr, REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
            ::RegDeleteKeyValueW(root, (key + L"\\shell\\open\\command").c_str(), L"DelegateExecute");
            // Without its DDE conversation, which would go to Wine's explorer
            // first.
            ::RegDeleteTreeW(root, (key + L"\\shell\\open\\ddeexec").c_str());
        }
    }

private:
    std::vector<std::unique_ptr<KeepRegistryTree>> kept_;
};

// Waits for the plain editor's log to hold a line with text.
bool EditorWasStartedWith(const std::wstring& text, DWORD ms = 8000) {
    for (DWORD waited = 0;; waited += 100) {
        for (const std::wstring& line : EditorLog(L"plain_editor"))
            if (line.find(text) != std::wstring::npos) return true;
        if (waited >= ms) return false;
        Pump(100);
    }
}

// A window of another program whose title names the folder (a folder
// window of the shell), closed once found; nullptr-safe.
bool CloseFolderWindow(const std::wstring& folderName) {
    struct Search {
        std::wstring name;
        HWND found = nullptr;
    } search{folderName};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            wchar_t title[512] = {};
            ::GetWindowTextW(window, title, 512);
            if (process == ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
                std::wstring(title).find(s->name) == std::wstring::npos)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) ::PostMessageW(search.found, WM_CLOSE, 0, 0);
    return search.found != nullptr;
}

// The folder opened: through the stand-in of the folder's "open" verb, or
// in a folder window of the shell itself (Wine's shell32 opens its own
// explorer for SHOpenFolderAndSelectItems), which is closed again.
bool FolderWasOpened(const std::wstring& folder, DWORD ms = 10000) {
    const std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
    for (DWORD waited = 0;; waited += 100) {
        for (const std::wstring& line : EditorLog(L"plain_editor"))
            if (line.find(folder) != std::wstring::npos) return true;
        if (CloseFolderWindow(name)) return true;
        if (waited >= ms) return false;
        Pump(100);
    }
}

std::wstring WithoutTrailingBackslash(std::wstring folder) {
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

}  // namespace

// After a capture that the program's own menu or hot key asked for, the
// tray icon says where the picture went, and a click on that notification
// opens the folder. A capture that only copied says so and its click opens
// nothing; an automation client's captures, and a user who chose
// "NotifyAfterCapture" "0", get no notification.
TEST_F(Program, NotificationSaysWhereTheProgramsOwnCapturesWent) {
    // Rectangles go to the clipboard only, full screens to the clipboard
    // and a file.
    options->SetProfileOption(L"RectangleProfile", L"Action", L"1");
    options->SetProfileOption(L"FullScreenProfile", L"Action", L"2");
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    StandInOpenVerb folders(L"Folder");
    StandInOpenVerb directories(L"Directory");
    ClearEditorLog(L"plain_editor");
    HWND before = NextBalloon(nullptr, 0).window;
    Process program(L"");
    HWND tray = FindOf(program.Id(), nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    NewFiles files([this] { return Files(); });

    MouseTo(640, 500);
    XInput("key ctrl+alt+f");
    const std::wstring screen = files.Next();
    ASSERT_FALSE(screen.empty()) << "the hot key's capture";
    const std::wstring folder = WithoutTrailingBackslash(shots);
    const std::wstring size = std::to_wstring(::GetSystemMetrics(SM_CXSCREEN)) + L" \u00d7 " +
                              std::to_wstring(::GetSystemMetrics(SM_CYSCREEN));
    const Balloon saved = NextBalloon(before);
    ASSERT_NE(saved.window, nullptr) << "a notification after the hot key's capture";
    EXPECT_EQ(saved.text,
              L"Saved " + screen + L" (" + size + L") in " + folder + L"\nCopied to the clipboard (" + size + L")");
    EXPECT_TRUE(WaitForTrayIcon(true)) << "on the icon, which is back";
    Pump(500);
    unixtools::Screenshot("notification-saved");

    // The shell tells the program of a click on its balloon (Wine's explorer
    // never does, so the test sends the shell's message): the folder opens.
    ::PostMessageW(tray, WM_APP + 1, 128, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(FolderWasOpened(folder)) << "the folder opened on the click";

    // Another program's captures (full screen's profile, as the last
    // capture was): files, but no new notification.
    std::atomic<bool> answered = false;
    std::atomic<long> results[3] = {-1, -1, -1};
    std::thread client = AnotherProgram(answered, [&results](ICaptureEngine* engine) {
        for (auto& result : results) {
            HBITMAP bitmap = nullptr;
            result = engine->CaptureRect(0, 0, 64, 48, &bitmap);
        }
    });
    while (!answered) Pump(50);
    client.join();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(files.Next().empty()) << "the client's capture " << i << ": " << std::hex << results[i];
    EXPECT_EQ(NextBalloon(saved.window, 3500).window, nullptr) << "no notification for an automation client";

    // The tray menu's "Capture last rectangle": the clipboard only.
    const std::pair<const wchar_t*, LONG> last[] = {
        {L"LastRectLeft", 100}, {L"LastRectTop", 100}, {L"LastRectRight", 240}, {L"LastRectBottom", 140}};
    for (const auto& [name, value] : last)
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, name, REG_DWORD, &value, sizeof(value));
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_LAST_RECTANGLE, 0);
    const Balloon copied = NextBalloon(saved.window);
    ASSERT_NE(copied.window, nullptr) << "a notification after the menu's capture";
    EXPECT_EQ(copied.text, L"Copied to the clipboard (140 \u00d7 40)");
    EXPECT_TRUE(files.Next(500).empty()) << "no file for the clipboard";
    ClearEditorLog(L"plain_editor");
    ::PostMessageW(tray, WM_APP + 1, 128, NIN_BALLOONUSERCLICK);
    EXPECT_FALSE(FolderWasOpened(folder, 2000)) << "a click on a clipboard notification opens nothing";

    // A save that fails (a file stands where the folder was) shows its
    // message, and no notification follows, though the clipboard took the
    // picture.
    const std::wstring away = folder + L".away";
    ASSERT_TRUE(::MoveFileW(folder.c_str(), away.c_str()));
    HANDLE blocker = ::CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_NE(blocker, INVALID_HANDLE_VALUE);
    if (blocker != INVALID_HANDLE_VALUE) ::CloseHandle(blocker);
    XInput("key ctrl+alt+f");
    const std::wstring message = AnswerMessageBoxOf(program.Id());
    EXPECT_NE(message.find(folder), std::wstring::npos) << "the save error names the path: " << message;
    EXPECT_EQ(NextBalloon(copied.window, 3500).window, nullptr) << "no notification after a failed save";
    ::DeleteFileW(folder.c_str());
    ASSERT_TRUE(::MoveFileW(away.c_str(), folder.c_str()));

    EXPECT_EQ(ExitThroughMenu(program), 0u);

    // "NotifyAfterCapture" "0": the hot key's capture, and no notification.
    options->SetProgramOption(L"NotifyAfterCapture", L"0", false);
    Save();
    Process quiet(L"");
    ASSERT_NE(FindOf(quiet.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    HWND still = NextBalloon(nullptr, 0).window;
    XInput("key ctrl+alt+f");
    EXPECT_FALSE(files.Next().empty()) << "the hot key's capture";
    EXPECT_EQ(NextBalloon(still, 3500).window, nullptr) << "no notification when the user chose none";
    EXPECT_EQ(ExitThroughMenu(quiet), 0u);
}

// The recent captures of the tray menu: the last saved files of this user,
// newest first, without a deleted file or a hostile value of the registry;
// choosing one opens it with its type's program, "Open capture folder"
// opens the profile's folder and "Clear this list" empties the list.
TEST_F(Program, RecentCapturesListTheSavedFilesThatAreStillThere) {
    Save();
    StandInOpenVerb bitmaps(L"SnapwellTest.Shot");
    KeepRegistryTree userBmp(HKEY_CURRENT_USER, L"Software\\Classes\\.bmp");
    KeepRegistryTree machineBmp(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.bmp");
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        ::RegSetKeyValueW(root, L"Software\\Classes\\.bmp", nullptr, REG_SZ, L"SnapwellTest.Shot",
                          sizeof(L"SnapwellTest.Shot"));
    StandInOpenVerb folders(L"Folder");
    StandInOpenVerb directories(L"Directory");
    ClearEditorLog(L"plain_editor");
    Process program(L"");
    HWND tray = FindOf(program.Id(), nullptr, kTrayTitle, false, 20000);
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    NewFiles files([this] { return Files(); });
    std::vector<std::wstring> names;
    for (int i = 0; i < 3; ++i) {
        ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CAPTURE_FULL_SCREEN, 0);
        names.push_back(files.Next());
        ASSERT_FALSE(names.back().empty()) << "capture " << i;
        ASSERT_TRUE(WaitForTrayIcon(true));
    }
    // Newest first, as full paths.
    const auto stored = [](int n) {
        wchar_t text[1024] = {};
        DWORD bytes = sizeof(text);
        const std::wstring name = L"Recent" + std::to_wstring(n);
        return ::RegGetValueW(HKEY_CURRENT_USER, kProgramKey, name.c_str(), RRF_RT_REG_SZ, nullptr, text, &bytes) ==
                       ERROR_SUCCESS
                   ? std::wstring(text)
                   : std::wstring(L"<none>");
    };
    EXPECT_EQ(stored(1), shots + names[2]);
    EXPECT_EQ(stored(2), shots + names[1]);
    EXPECT_EQ(stored(3), shots + names[0]);
    EXPECT_EQ(stored(4), L"<none>");

    // The middle one deleted, and hostile values beside the real ones.
    ASSERT_TRUE(::DeleteFileW((shots + names[1]).c_str()));
    const DWORD number = 7;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"Recent4", REG_DWORD, &number, sizeof(number));
    const std::wstring hostile[] = {names[0], WithoutTrailingBackslash(shots),
                                    L"C:\\" + std::wstring(40000, L'a') + L".bmp"};
    for (int i = 0; i < 3; ++i)
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, (L"Recent" + std::to_wstring(5 + i)).c_str(), REG_SZ,
                          hostile[i].c_str(), static_cast<DWORD>((hostile[i].size() + 1) * sizeof(wchar_t)));
    const std::vector<std::wstring> recent = ReadRecentCaptures(kProgramKey);
    EXPECT_EQ(recent, (std::vector<std::wstring>{shots + names[2], shots + names[0]}))
        << "no missing file, number, relative path, folder or endless text";

    // The menu as the program builds it from that list, and the real one
    // on the icon with its submenu open, for the screenshot.
    HMODULE file = ::LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(file, nullptr);
    TrayMenuState state;
    for (const std::wstring& path : recent) state.recentCaptures.push_back(RecentCaptureMenuText(path));
    HMENU built = LoadTrayMenu(file, state);
    const std::vector<std::wstring> lines = MenuLines(built);
    ::DestroyMenu(built);
    ::FreeLibrary(file);
    const auto at = std::find(lines.begin(), lines.end(), L"Recent captures [>]");
    ASSERT_NE(at, lines.end()) << "the recent captures' submenu";
    ASSERT_GE(lines.end() - at, 6);
    const std::vector<std::wstring> items(at + 1, at + 6);
    EXPECT_EQ(items[0].substr(0, 2 + names[2].size() + 1), L"  " + names[2] + L"\t") << "the newest first";
    EXPECT_NE(items[0].find(L"[170]"), std::wstring::npos);
    EXPECT_EQ(items[1].substr(0, 2 + names[0].size() + 1), L"  " + names[0] + L"\t");
    EXPECT_NE(items[1].find(L"[171]"), std::wstring::npos);
    EXPECT_EQ(items[2], L"  ---");
    EXPECT_EQ(items[3], L"  Clear this list [164]");
    EXPECT_EQ(items[4], L"Open capture folder [163]");
    const POINT icon = TrayIconPosition();
    XInput("mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y) + " click 3");
    ASSERT_NE(FindOf(program.Id(), L"#32768", nullptr, true, 3000), nullptr) << "the tray menu";
    Pump(300);
    // From the bottom: Exit, Properties, Open, the folder, the list.
    for (int i = 0; i < 5; ++i) Tap(VK_UP);
    Tap(VK_RIGHT);
    Pump(800);
    unixtools::Screenshot("tray-menu-recent");
    XInput("key Escape key Escape");
    Pump(300);

    // A listed file opens with its type's program.
    ::PostMessageW(tray, WM_COMMAND, 171, 0);
    EXPECT_TRUE(EditorWasStartedWith(names[0])) << "the older capture opened through the shell";
    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_OPEN_CAPTURE_FOLDER, 0);
    EXPECT_TRUE(EditorWasStartedWith(WithoutTrailingBackslash(shots) + L"\"")) << "the capture folder opened";

    ::PostMessageW(tray, WM_COMMAND, ID_TRAY_CLEAR_RECENT, 0);
    for (int i = 0; i < 30 && stored(1) != L"<none>"; ++i) Pump(100);
    for (int n = 1; n <= 10; ++n) EXPECT_EQ(stored(n), L"<none>") << "Recent" << n << " cleared";
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}

// The list itself: ten files at most, newest first; a file saved again
// moves to the top instead of being listed twice, and a rewrite drops the
// values that name no file. A "&" in a name is shown as itself in the menu.
TEST_F(Program, RecentCapturesKeepTenNewestFirstWithoutDuplicates) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < 12; ++i) {
        paths.push_back(shots + L"Shot " + std::to_wstring(i) + L".png");
        testfiles::Write(paths.back(), "x");
        EXPECT_TRUE(AddRecentCapture(kProgramKey, paths.back()));
    }
    EXPECT_FALSE(AddRecentCapture(kProgramKey, L"Shot.png")) << "no full path";
    std::vector<std::wstring> expected(paths.rbegin(), paths.rbegin() + 10);
    EXPECT_EQ(ReadRecentCaptures(kProgramKey), expected);
    EXPECT_TRUE(AddRecentCapture(kProgramKey, paths[5]));
    expected.erase(std::find(expected.begin(), expected.end(), paths[5]));
    expected.insert(expected.begin(), paths[5]);
    EXPECT_EQ(ReadRecentCaptures(kProgramKey), expected) << "moved to the top, listed once";
    const std::wstring upper = shots + L"SHOT 11.PNG";
    EXPECT_TRUE(AddRecentCapture(kProgramKey, upper));
    EXPECT_EQ(ReadRecentCaptures(kProgramKey).size(), 10u) << "the same file in other letters";

    const std::wstring odd = shots + L"Tom & Jerry.png";
    testfiles::Write(odd, "x");
    EXPECT_EQ(RecentCaptureMenuText(odd).substr(0, 17), L"Tom && Jerry.png\t");
    ClearRecentCaptures(kProgramKey);
    EXPECT_TRUE(ReadRecentCaptures(kProgramKey).empty());
}

// Ctrl held when the rectangle's button is released opens the markup window
// for that capture, though the rectangle's profile says "Annotate" "0";
// while it is open another program's capture is refused as busy, and a
// rectangle drawn there and Enter are in the saved file. A full-screen
// capture whose profile says "Annotate" "1" opens it too; Escape (to Select),
// Escape and Yes discard it, and no file comes.
TEST_F(Program, TheMarkupWindowOpensOnCtrlOrAnnotateAndDecidesWhatIsSaved) {
    options->SetHotKeyValue(L"RegionCaptureKey", L"Ctrl + Alt + 82");
    options->SetProfileOption(L"RectangleProfile", L"Annotate", L"0");
    options->SetProfileOption(L"FullScreenProfile", L"Annotate", L"1");
    Save();
    ASSERT_EQ(Process(L"/Regserver").Wait(20000), 0u);
    Process program(L"");
    ASSERT_NE(FindOf(program.Id(), nullptr, kTrayTitle, false, 20000), nullptr);
    ASSERT_TRUE(WaitForTrayIcon(true));
    NewFiles files([this] { return Files(); });
    const std::wstring title = L"Mark up \u2013 Snapwell";

    // A drag over the red window, released with Ctrl held.
    MouseTo(640, 500);
    XInput("key ctrl+alt+r");
    ASSERT_TRUE(WaitForOverlay());
    XInput("mousemove 120 140 sleep 0.1 mousedown 1 mousemove 200 200 sleep 0.1 mousemove 320 290 sleep 0.1 "
           "keydown ctrl sleep 0.1 mouseup 1 sleep 0.1 keyup ctrl");
    HWND markup = FindOf(program.Id(), kMarkupWindowClass, title.c_str(), true, 10000);
    ASSERT_NE(markup, nullptr) << "the markup window after Ctrl on release";
    EXPECT_EQ(files.Next(500), L"") << "nothing saved while the window is open";
    EXPECT_TRUE(WaitForTrayIcon(false)) << "the tray icon stays away meanwhile";
    // The test's topmost windows are in the picture now; away with them, so
    // that they cover no part of the markup window.
    ::ShowWindow(red, SW_HIDE);
    ::ShowWindow(blue, SW_HIDE);

    // Another program's capture meanwhile: refused as busy, no file.
    HRESULT capture = E_FAIL;
    std::atomic<bool> answered{false};
    std::thread client = AnotherProgram(answered, [&](ICaptureEngine* engine) { capture = engine->CaptureFullScreen(); });
    for (int i = 0; i < 300 && !answered; ++i) Pump(50);
    client.join();
    EXPECT_EQ(capture, S_FALSE) << "a capture while the markup window is open";
    EXPECT_TRUE(::IsWindowVisible(markup)) << "the window stays";

    // A blue rectangle over the 200 x 150 red picture, then Enter.
    HWND canvas = ::FindWindowExW(markup, nullptr, kMarkupCanvasClass, nullptr);
    ASSERT_NE(canvas, nullptr);
    RECT area{};
    ::GetClientRect(canvas, &area);
    POINT origin{std::max(0L, (area.right - 200) / 2), std::max(0L, (area.bottom - 150) / 2)};
    ::ClientToScreen(canvas, &origin);
    const auto at = [&](long x, long y) { return std::to_string(origin.x + x) + " " + std::to_string(origin.y + y); };
    for (int i = 0; i < 50 && ::GetForegroundWindow() != markup; ++i) Pump(100);
    EXPECT_EQ(::GetForegroundWindow(), markup) << "the window came to the front for the keys";
    Pump(300);
    // Once the capture overlay is gone, keys typed through the X server reach
    // Wine's desktop only after a click (here on the window's caption); keys
    // sent with SendInput reach the window at once.
    RECT frame{};
    ::GetWindowRect(markup, &frame);
    XInput("mousemove " + std::to_string(frame.left + 60) + " " + std::to_string(frame.top + 10) + " click 1");
    XInput("key 4");
    Pump(300);
    XInput("mousemove " + at(40, 30) + " sleep 0.1 mousedown 1 mousemove " + at(100, 80) + " sleep 0.1 mousemove " +
           at(160, 120) + " sleep 0.1 mouseup 1");
    Pump(300);
    XInput("key Return");
    const std::wstring saved = files.Next();
    ASSERT_EQ(saved.rfind(L"Region", 0), 0u) << "the marked rectangle capture";
    for (int i = 0; i < 100 && ::IsWindow(markup); ++i) Pump(50);
    EXPECT_FALSE(::IsWindow(markup)) << "Enter ended the window";
    Pump(300);
    const std::string bmp = testfiles::Read(shots + saved);
    ASSERT_EQ(BmpSize(bmp).cx, 200);
    ASSERT_EQ(BmpSize(bmp).cy, 150);
    const COLORREF blue = MarkupWindow::PaletteColour(3);
    EXPECT_EQ(BmpPixel(bmp, 100, 32), blue) << "the rectangle's top";
    EXPECT_EQ(BmpPixel(bmp, 42, 75), blue) << "its left";
    EXPECT_EQ(BmpPixel(bmp, 100, 75), kRed) << "inside it the capture";
    EXPECT_EQ(BmpPixel(bmp, 10, 10), kRed);
    EXPECT_TRUE(WaitForTrayIcon(true)) << "the icon is back";

    // "Annotate" "1" on the full-screen profile: the window opens; a mark,
    // then Escape twice and Yes drop the capture.
    MouseTo(640, 500);
    XInput("key ctrl+alt+f");
    markup = FindOf(program.Id(), kMarkupWindowClass, title.c_str(), true, 10000);
    ASSERT_NE(markup, nullptr) << "the markup window for the full-screen profile";
    canvas = ::FindWindowExW(markup, nullptr, kMarkupCanvasClass, nullptr);
    RECT shown{};
    ::GetWindowRect(canvas, &shown);
    Pump(500);
    XInput("mousemove " + std::to_string(shown.right - 200) + " " + std::to_string(shown.bottom - 150) +
           " sleep 0.1 mousedown 1 mousemove " + std::to_string(shown.right - 120) + " " +
           std::to_string(shown.bottom - 90) + " sleep 0.1 mouseup 1 sleep 0.2 key Escape sleep 0.2 key Escape");
    HWND question = MessageBoxOf(program.Id(), 5000);
    ASSERT_NE(question, nullptr) << "discarding a marked capture asks";
    EXPECT_EQ(platform::WindowText(question), L"Snapwell");
    EXPECT_EQ(::GetWindow(question, GW_OWNER), markup) << "the question belongs to the window";
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    for (int i = 0; i < 100 && ::IsWindow(markup); ++i) Pump(50);
    EXPECT_FALSE(::IsWindow(markup)) << "Yes discarded";
    EXPECT_EQ(files.Next(2000), L"") << "a discarded capture saves nothing";
    EXPECT_TRUE(WaitForTrayIcon(true));
    EXPECT_EQ(ExitThroughMenu(program), 0u);
}
