// A saved capture opened in the editor chosen for its type, with the real
// shell and DDE of the prefix: the plain editor started with the short path,
// the DDE editor sent the long path (started first when it is not running),
// a hung window, a server that never answers, and a type with no editor.
#include "options/CaptureOptions.h"
#include "output/EditorLaunch.h"
#include "shellutil/StandardFolders.h"
#include "tests/DialogWatcher.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/ShellRegistry.h"
#include "tests/TestFiles.h"
#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <dde.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

constexpr char kEditorOptions[] =
    "<ToolOptions><ProgramOptions Name='P'>"
    "<O Name='.png' Value='SnapwellTest.Plain'/><O Name='.jpg' Value='SnapwellTest.Dde'/>"
    "<O Name='.bmp' Value='SnapwellTest.SlowDde'/><O Name='.tif' Value=''/>"
    "</ProgramOptions><Profiles Name='Profiles'><Profile Name='DefaultProfile'/></Profiles><HotKeys/></ToolOptions>";

std::wstring Editor(const wchar_t* name) { return TestEditorsFolder() + L"\\" + name + L".exe"; }

size_t CountStarting(const std::vector<std::wstring>& lines, const std::wstring& start) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::wstring& line) {
        return line.compare(0, start.size(), start) == 0;
    }));
}

// Waits, pumping, until the editor's log holds a line starting so.
bool WaitForLogLine(const wchar_t* editor, const std::wstring& start, DWORD ms = 15000) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::GetTickCount64() < end) {
        if (CountStarting(EditorLog(editor), start) > 0) return true;
        screen::Pump(100);
    }
    return false;
}

class EditorLaunch : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(kEditorOptions);
        // The messages in English, as a user sees them.
        TextCatalog& catalog = CCorvaneApp::Current()->GetTextCatalog();
        savedCatalog_ = catalog;
        ASSERT_TRUE(LoadShippedLanguages()) << catalog.GetLastLoadError();
        ASSERT_NE(ExpandText(L"NoImageEditingApp").find(L"{1}"), std::wstring::npos);
        registry.SetClass(L"SnapwellTest.Plain\\shell\\open\\command", nullptr,
                          L"\"" + Editor(L"plain_editor") + L"\" \"%1\"");
        for (const auto& [name, extra] : {std::pair{L"SnapwellTest.Dde", L""}, {L"SnapwellTest.SlowDde", L"--delay 1500 "}}) {
            const std::wstring key = std::wstring(name) + L"\\shell\\open";
            registry.SetClass(key + L"\\command", nullptr, L"\"" + Editor(L"dde_editor") + L"\" " + extra + L"\"%1\"");
            registry.SetClass(key + L"\\ddeexec", nullptr, L"[open(\"%1\")]");
            registry.SetClass(key + L"\\ddeexec\\Application", nullptr, L"SnapwellTestEditor");
            registry.SetClass(key + L"\\ddeexec\\Topic", nullptr, L"System");
        }
        ClearEditorLog(L"plain_editor");
        ClearEditorLog(L"dde_editor");
        folder = GetTempFolder(false) + L"Snapwell editor test\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    void TearDown() override {
        StopDdeEditor();
        CCorvaneApp::Current()->GetTextCatalog() = savedCatalog_;
        testfiles::RemoveTree(folder);
        OptionsFiles::TearDown();
    }

    std::wstring Saved(const wchar_t* name) {
        const std::wstring path = folder + name;
        testfiles::Write(path, "capture");
        return path;
    }
    static std::wstring ShortPath(const std::wstring& path) {
        wchar_t buffer[MAX_PATH] = {};
        ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
        return buffer;
    }
    // The DDE editor, started as a user would start it.
    void StartDdeEditor(const std::wstring& arguments = L"") {
        std::wstring line = L"\"" + Editor(L"dde_editor") + L"\" " + arguments;
        STARTUPINFOW startup{sizeof(startup)};
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &process));
        ::CloseHandle(process.hThread);
        started_ = process.hProcess;
        ASSERT_TRUE(WaitForLogLine(L"dde_editor", L"serving"));
    }
    // The editor the test started is ended (it may hang on purpose); one
    // that the launch started ends with its quit command.
    void StopDdeEditor() {
        if (started_ != nullptr) {
            ::TerminateProcess(started_, 0);
            ::WaitForSingleObject(started_, 5000);
            ::CloseHandle(started_);
            started_ = nullptr;
        }
        DdeExecuteClient quit(L"SnapwellTestEditor", L"System", nullptr);
        quit.Execute(L"[quit]", L"");
        screen::Pump(200);
    }

    ShellRegistry registry;
    std::wstring folder;
    HANDLE started_ = nullptr;
    TextCatalog savedCatalog_;
};

}  // namespace

TEST_F(EditorLaunch, PlainEditorStartsOnceWithTheShortPathInQuotes) {
    const std::wstring file = Saved(L"A capture with a long name.png");
    EXPECT_TRUE(RunImageEditor(*options, file));
    ASSERT_TRUE(WaitForLogLine(L"plain_editor", L"start "));
    screen::Pump(500);
    const std::vector<std::wstring> log = EditorLog(L"plain_editor");
    ASSERT_EQ(CountStarting(log, L"start "), 1u);
    EXPECT_NE(log[0].find(L"\"" + ShortPath(file) + L"\""), std::wstring::npos) << log[0].c_str();
    EXPECT_NE(ShortPath(file), file) << "the prefix makes short names";
}

TEST_F(EditorLaunch, RunningDdeEditorGetsOneCommandWithTheLongPath) {
    StartDdeEditor();
    const std::wstring file = Saved(L"A capture with a long name.jpg");
    EXPECT_TRUE(RunImageEditor(*options, file));
    ASSERT_TRUE(WaitForLogLine(L"dde_editor", L"execute "));
    screen::Pump(500);
    const std::vector<std::wstring> log = EditorLog(L"dde_editor");
    EXPECT_EQ(CountStarting(log, L"start "), 1u) << "not started again";
    ASSERT_EQ(CountStarting(log, L"execute "), 1u);
    EXPECT_NE(std::find(log.begin(), log.end(), L"execute [open(\"" + file + L"\")]"), log.end());
}

TEST_F(EditorLaunch, StoppedDdeEditorIsStartedThenGetsTheCommandOnceItServes) {
    const std::wstring file = Saved(L"Slow editor.bmp");
    EXPECT_TRUE(RunImageEditor(*options, file));
    const std::vector<std::wstring> log = EditorLog(L"dde_editor");
    // RunImageEditor returns once the command went through.
    ASSERT_EQ(CountStarting(log, L"start "), 1u);
    EXPECT_NE(log[0].find(L"--delay 1500 \"" + ShortPath(file) + L"\""), std::wstring::npos);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], L"serving");
    EXPECT_EQ(log[2], L"execute [open(\"" + file + L"\")]");
}

TEST_F(EditorLaunch, NoEditorForTheTypeSaysSoWithTheType) {
    std::future<std::wstring> box = dialogs::AnswerMessageBox();
    EXPECT_FALSE(RunImageEditor(*options, Saved(L"capture.tif")));
    std::wstring expected = ExpandText(L"NoImageEditingApp");
    expected.replace(expected.find(L"{1}"), 3, L".tif");
    EXPECT_EQ(box.get(), L"Snapwell|" + expected);
    EXPECT_NE(expected.find(L".tif files"), std::wstring::npos);
    EXPECT_FALSE(RunImageEditor(*options, L"")) << "nothing saved, nothing said";
}

// Slow: the probe waits its full ten seconds for the hung window, and the
// execute its eleven for a server that never completes it.
TEST_F(EditorLaunch, HungWindowAndSilentServerEndInTime) {
    // A window whose thread stops reading its messages.
    std::atomic<bool> release{false};
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread hung([&] {
        HWND window = ::CreateWindowExW(0, L"STATIC", L"Snapwell hung test window", WS_POPUP, 0, 0, 10, 10, nullptr,
                                        nullptr, nullptr, nullptr);
        ::SetEvent(ready);
        while (!release) ::Sleep(50);
        ::DestroyWindow(window);
    });
    ::WaitForSingleObject(ready, 5000);
    std::future<std::wstring> box = dialogs::AnswerMessageBox();
    ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(RunImageEditor(*options, Saved(L"capture.jpg")));
    const ULONGLONG probed = ::GetTickCount64() - start;
    EXPECT_EQ(box.get(), L"Snapwell|" + ExpandText(L"DDEConversationFailed"));
    release = true;
    hung.join();
    ::CloseHandle(ready);
    EXPECT_GE(probed, 9000u);
    EXPECT_LT(probed, 30000u);
    screen::Pump(300);
    EXPECT_EQ(CountStarting(EditorLog(L"dde_editor"), L"start "), 0u) << "nothing started";

    StartDdeEditor(L"--hang");
    start = ::GetTickCount64();
    RunImageEditor(*options, Saved(L"capture2.jpg"));
    const ULONGLONG waited = ::GetTickCount64() - start;
    EXPECT_GE(waited, 10000u) << "the execute's own time limit";
    EXPECT_LT(waited, 20000u);
}

namespace {

// A DDE server of the plainest kind, in this thread: it answers every
// WM_DDE_INITIATE with an acknowledgement carrying atoms of its own, and
// notes who ends the conversations it accepted.
struct RawDdeServer {
    static constexpr wchar_t kService[] = L"SnapwellRawProbeServer";
    HWND window = nullptr;
    std::vector<HWND> accepted, terminatedBy;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<RawDdeServer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_DDE_INITIATE) {
            const HWND client = reinterpret_cast<HWND>(wParam);
            self->accepted.push_back(client);
            ::SendMessageW(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                           MAKELPARAM(::GlobalAddAtomW(kService), ::GlobalAddAtomW(L"System")));
            return 0;
        }
        if (self != nullptr && message == WM_DDE_TERMINATE) {
            const HWND client = reinterpret_cast<HWND>(wParam);
            self->terminatedBy.push_back(client);
            ::PostMessageW(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    RawDdeServer() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SnapwellTestRawDdeServer";
        ::RegisterClassW(&wc);
        window = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                                   nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RawDdeServer() { ::DestroyWindow(window); }
};

}  // namespace

TEST(DdeProbe, EveryConversationAServerAcceptsIsEndedAndItsAtomsFreed) {
    ASSERT_EQ(::GlobalFindAtomW(RawDdeServer::kService), 0) << "no atom of that name before";
    {
        RawDdeServer server;
        ASSERT_NE(server.window, nullptr);
        EXPECT_EQ(ProbeDdeServer(RawDdeServer::kService, L"System"), DdeProbe::Answered);
        screen::Pump(300);
        ASSERT_FALSE(server.accepted.empty()) << "the probe asked the server";
        for (HWND client : server.accepted)
            EXPECT_NE(std::find(server.terminatedBy.begin(), server.terminatedBy.end(), client),
                      server.terminatedBy.end())
                << "every accepted conversation is terminated by its client";
        EXPECT_EQ(server.terminatedBy.size(), server.accepted.size()) << "and only once";
        EXPECT_EQ(::GlobalFindAtomW(RawDdeServer::kService), 0) << "the acknowledgements' atoms are freed";
    }

    // Nobody answers a name no server has; the probe says so.
    EXPECT_EQ(ProbeDdeServer(L"SnapwellNobodyServesThis", L"System"), DdeProbe::NoServer);
    EXPECT_EQ(::GlobalFindAtomW(L"SnapwellNobodyServesThis"), 0);
}
