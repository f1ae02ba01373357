// Snapwell.exe as a registered local server, driven by snapctl and by this
// test as a client in another process: registration entries, activation,
// captures, the busy state shared with other clients.
#include "tests/CaptureFixture.h"
#include "tests/ShellRegistry.h"
#include "tests/TestFiles.h"

#include <ShotDeskLib.h>

#include <atomic>
#include <thread>

using namespace screen;

namespace {

const std::wstring kBin = SNAPWELL_BIN_FOLDER;

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs a program of the build to its end (at most 60 s), with its
// standard output collected.
ProgramRun RunProgram(const std::wstring& commandLine) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ::CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        return run;
    }
    // The output is read on another thread: this one owns windows and
    // answers their messages until the program ends.
    std::thread reader([&] {
        char buffer[512];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) run.output.append(buffer, got);
    });
    screen::PumpUntil(process.hProcess, 60000);
    reader.join();
    ::CloseHandle(readEnd);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return run;
}

ProgramRun Snapwell(const std::wstring& arguments) { return RunProgram(L"\"" + kBin + L"Snapwell.exe\" " + arguments); }
ProgramRun Snapctl(const std::wstring& arguments) { return RunProgram(L"\"" + kBin + L"snapctl.exe\" " + arguments); }

std::wstring Guid(REFGUID guid) {
    wchar_t text[64];
    ::StringFromGUID2(guid, text, 64);
    return text;
}

std::wstring Value(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    return ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) ==
                   ERROR_SUCCESS
               ? data
               : L"<none>";
}

bool KeyExists(const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

std::vector<std::wstring> Subkeys(const std::wstring& key) {
    std::vector<std::wstring> names;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name);
    }
    ::RegCloseKey(opened);
    std::sort(names.begin(), names.end());
    return names;
}

// A toolbar window of an engine in another process: a server is running.
bool ServerRunning() {
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"SnapwellToolBar", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"SnapwellToolBar", nullptr)) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(w, &process);
        if (process != ::GetCurrentProcessId()) return true;
    }
    return false;
}

// Waits until the server has ended with its last object.
bool WaitForServerToEnd() {
    for (int i = 0; i < 200 && ServerRunning(); ++i) screen::Pump(50);
    return !ServerRunning();
}

// Per-user options for the server: every capture a BMP in the test's folder.
class Server : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        ASSERT_TRUE(options->SaveOptions());
        ASSERT_EQ(Snapwell(L"/Regserver").exitCode, 0u);
    }
    void TearDown() override {
        WaitForServerToEnd();
        CaptureFixture::TearDown();
    }
};

const std::wstring kClsidKey = L"CLSID\\" + Guid(CLSID_CaptureEngine);

}  // namespace

TEST_F(Server, RegistrationWritesOneSetOfEntriesAndUnregistrationSparesTheRootKeys) {
    const std::wstring module = Value(kClsidKey + L"\\LocalServer32");
    EXPECT_NE(module.find(L"Snapwell.exe"), std::wstring::npos) << module;
    EXPECT_EQ(Value(kClsidKey), L"CaptureEngine Class");
    EXPECT_EQ(Value(kClsidKey + L"\\ProgID"), L"ShotDesk.CaptureEngine.1");
    EXPECT_EQ(Value(kClsidKey + L"\\VersionIndependentProgID"), L"ShotDesk.CaptureEngine");
    EXPECT_EQ(Value(kClsidKey + L"\\TypeLib"), Guid(LIBID_ShotDeskLib));
    const std::wstring appId = Value(kClsidKey, L"AppID");
    EXPECT_EQ(Value(L"AppID\\" + appId), L"ShotDesk");
    EXPECT_EQ(Value(L"AppID\\ShotDesk.EXE", L"AppID"), appId);
    EXPECT_EQ(Value(L"ShotDesk.CaptureEngine.1\\CLSID"), Guid(CLSID_CaptureEngine));
    EXPECT_EQ(Value(L"ShotDesk.CaptureEngine\\CurVer"), L"ShotDesk.CaptureEngine.1");
    EXPECT_TRUE(KeyExists(L"TypeLib\\" + Guid(LIBID_ShotDeskLib) + L"\\1.0"));

    // A leftover inside the class key is replaced whole by the next run.
    HKEY raw = nullptr;
    ::RegCreateKeyExW(HKEY_CLASSES_ROOT, (kClsidKey + L"\\Leftover").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      &raw, nullptr);
    ::RegCloseKey(raw);
    const ProgramRun again = Snapwell(L"-REGSERVER");
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_TRUE(again.output.empty());
    EXPECT_EQ(Subkeys(kClsidKey), (std::vector<std::wstring>{L"LocalServer32", L"ProgID", L"Programmable",
                                                              L"TypeLib", L"VersionIndependentProgID"}));

    EXPECT_EQ(Snapwell(L"/Unregserver").exitCode, 0u);
    EXPECT_FALSE(KeyExists(kClsidKey));
    EXPECT_FALSE(KeyExists(L"ShotDesk.CaptureEngine"));
    EXPECT_FALSE(KeyExists(L"ShotDesk.CaptureEngine.1"));
    EXPECT_FALSE(KeyExists(L"AppID\\" + appId));
    EXPECT_FALSE(KeyExists(L"AppID\\ShotDesk.EXE"));
    EXPECT_FALSE(KeyExists(L"TypeLib\\" + Guid(LIBID_ShotDeskLib)));
    EXPECT_TRUE(KeyExists(L"AppID"));
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_EQ(FindOverlay(), nullptr);

    const ProgramRun unregistered = Snapctl(L"fullscreen");
    EXPECT_EQ(unregistered.exitCode, 3u);
    EXPECT_NE(unregistered.output.find("not registered"), std::string::npos) << unregistered.output;
    EXPECT_EQ(Snapctl(L"").exitCode, 64u);
    EXPECT_EQ(Snapctl(L"rect 1 2 three 4").exitCode, 64u);
}

TEST_F(Server, SnapctlStartsTheServerAndCapturesWhatTheProfileSays) {
    const ProgramRun rect = Snapctl(L"rect 100 120 320 200");
    EXPECT_EQ(rect.output, "0\r\n");
    EXPECT_EQ(rect.exitCode, 0u);
    EXPECT_TRUE(WaitForServerToEnd()) << "the server ends with its last object";
    ASSERT_EQ(Files().size(), 1u);
    EXPECT_EQ(Files()[0], L"Capture1.bmp");
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, 320);
    EXPECT_EQ(BmpSize(bmp).cy, 200);
    EXPECT_EQ(BmpPixel(bmp, 10, 10), kRed);
}

TEST_F(Server, ClientsOfOneServerShareItsBusyStateAndCaptureMode) {
    // This test's own instance keeps the server alive between snapctl runs
    // and runs a rectangle capture on a thread of its own.
    HRESULT regionResult = E_FAIL;
    std::thread client([&] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ICaptureEngine* engine = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                         reinterpret_cast<void**>(&engine)))) {
            IDispatch* late = nullptr;
            engine->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&late));
            // Late bound across processes: CaptureFullScreen by name.
            DISPID id = 0;
            LPOLESTR name[] = {const_cast<LPOLESTR>(L"CaptureFullScreen")};
            DISPPARAMS none{};
            if (late && SUCCEEDED(late->GetIDsOfNames(IID_NULL, name, 1, 0, &id)))
                late->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
            if (late) late->Release();
            regionResult = engine->CaptureRegion();
            // Keeps the server (and its capture mode) for the snapctl run below.
            ::Sleep(6000);
            engine->Release();
        }
        ::CoUninitialize();
    });
    ASSERT_TRUE(WaitForOverlay()) << "the server shows its overlay";
    ASSERT_EQ(Files().size(), 1u) << "the late-bound full-screen capture came first";
    const ProgramRun busy = Snapctl(L"region");
    EXPECT_EQ(busy.output, "1\r\n");
    EXPECT_EQ(busy.exitCode, 1u);
    EXPECT_EQ(Snapctl(L"options").exitCode, 1u) << "no dialog over a running capture";
    ::PostMessageW(FindOverlay(), WM_KEYUP, VK_ESCAPE, 0);
    for (int i = 0; i < 100 && FindOverlay(); ++i) Pump(50);

    // The cancelled rectangle capture left the mode at 135: Capture does nothing.
    const ProgramRun capture = Snapctl(L"capture");
    EXPECT_EQ(capture.output, "0\r\n");
    EXPECT_EQ(capture.exitCode, 0u);
    client.join();
    EXPECT_EQ(regionResult, S_OK);
    EXPECT_EQ(Files().size(), 1u);
    EXPECT_TRUE(WaitForServerToEnd()) << "the server ends with its last object";
}

TEST_F(Server, SnapctlCaptureOpensTheSavedFileInTheChosenEditor) {
    ShellRegistry registry;
    registry.SetClass(L"SnapwellTest.Plain\\shell\\open\\command", nullptr,
                      L"\"" + TestEditorsFolder() + L"\\plain_editor.exe\" \"%1\"");
    ClearEditorLog(L"plain_editor");
    ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"Action", L"Save to file and run editor"));
    ASSERT_TRUE(options->SetProgramOption(L".bmp", L"SnapwellTest.Plain", false));
    ASSERT_TRUE(options->SaveOptions());

    EXPECT_EQ(Snapctl(L"rect 100 120 320 200").output, "0\r\n");
    EXPECT_TRUE(WaitForServerToEnd());
    ASSERT_EQ(Files(), (std::vector<std::wstring>{L"Capture1.bmp"}));
    wchar_t shortPath[MAX_PATH] = {};
    ::GetShortPathNameW((shots + L"Capture1.bmp").c_str(), shortPath, MAX_PATH);
    std::vector<std::wstring> log;
    for (int i = 0; i < 100 && log.empty(); ++i) {
        screen::Pump(100);
        log = EditorLog(L"plain_editor");
    }
    ASSERT_EQ(log.size(), 1u) << "the editor started once";
    EXPECT_NE(log[0].find(L"\"" + std::wstring(shortPath) + L"\""), std::wstring::npos) << log[0].c_str();
}

// snapctl --delay: a countdown of snapctl's own before the capture, which
// Escape cancels with an exit code of its own; a delay that is not a whole
// number of seconds from 0 to 3600, or one before a command that captures
// nothing, is refused before any server is asked.
TEST_F(Server, SnapctlDelayCountsDownBeforeTheCaptureAndRefusesBadValues) {
    for (const wchar_t* bad : {L"--delay -1 fullscreen", L"--delay abc fullscreen", L"--delay 3601 fullscreen",
                               L"--delay 2.5 fullscreen", L"--delay", L"--delay 3 toolbar"}) {
        const ProgramRun refused = Snapctl(bad);
        EXPECT_EQ(refused.exitCode, 64u) << bad;
        EXPECT_NE(refused.output.find("snapctl: --delay"), std::string::npos) << bad << ": " << refused.output;
    }
    EXPECT_FALSE(ServerRunning()) << "no server for a refused command";

    // Runs snapctl on a thread of its own while this one reads its messages
    // and watches the countdown.
    const auto start = [](ProgramRun& run, std::atomic<bool>& done, const wchar_t* arguments) {
        return std::thread([&run, &done, arguments] {
            run = Snapctl(arguments);
            done = true;
        });
    };
    const auto countdown = [] {
        for (int i = 0; i < 400; ++i) {
            if (HWND found = ::FindWindowW(L"SnapwellCountdown", nullptr); found && ::IsWindowVisible(found))
                return found;
            Pump(50);
        }
        return static_cast<HWND>(nullptr);
    };

    ProgramRun delayed;
    std::atomic<bool> done{false};
    std::thread first = start(delayed, done, L"--delay 3 rect 100 120 320 200");
    HWND shown = countdown();
    const ULONGLONG seen = ::GetTickCount64();
    EXPECT_NE(shown, nullptr) << "snapctl's countdown";
    EXPECT_EQ(platform::WindowText(shown), L"3");
    while (!done && Files().empty() && ::GetTickCount64() - seen < 8000) Pump(20);
    const ULONGLONG took = ::GetTickCount64() - seen;
    while (!done) Pump(50);
    first.join();
    EXPECT_EQ(delayed.exitCode, 0u) << delayed.output;
    ASSERT_EQ(Files().size(), 1u);
    EXPECT_GE(took, 2800u) << "the capture came after the delay";
    EXPECT_LE(took, 3600u);
    EXPECT_EQ(BmpPixel(OnlyFile(), 10, 10), kRed);

    ProgramRun cancelled;
    done = false;
    std::thread second = start(cancelled, done, L"--delay 10 fullscreen");
    shown = countdown();
    EXPECT_NE(shown, nullptr);
    XInput("key Escape");
    for (int i = 0; i < 200 && !done; ++i) Pump(50);
    const bool ended = done;
    if (!ended && shown) ::PostMessageW(shown, WM_LBUTTONDOWN, 0, 0);
    while (!done) Pump(50);
    second.join();
    EXPECT_TRUE(ended) << "Escape ended the countdown";
    EXPECT_EQ(cancelled.exitCode, 4u);
    EXPECT_NE(cancelled.output.find("cancelled"), std::string::npos) << cancelled.output;
    EXPECT_EQ(Files().size(), 1u) << "nothing captured after the cancel";
}
