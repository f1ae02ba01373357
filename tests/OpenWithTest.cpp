// The open-with list from the prefix's real registry: the order of its
// sources, the skip rules, friendly names, the command parts, the log, and
// hostile registrations.
#include "shellutil/OpenWith.h"
#include "shellutil/OpenWithDialog.h"
#include "shellutil/StandardFolders.h"
#include "tests/ShellRegistry.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring PlainEditor() { return TestEditorsFolder() + L"\\plain_editor.exe"; }
std::wstring OpenCommand(const std::wstring& program) { return L"\"" + program + L"\" \"%1\""; }

std::wstring SelfName() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return ::PathFindFileNameW(self);
}

std::vector<std::wstring> ExeNames(const OpenWithList& list) {
    std::vector<std::wstring> names;
    for (const OpenWithEntry& entry : list.Entries()) names.push_back(entry.m_exe);
    return names;
}

const OpenWithEntry* Find(const OpenWithList& list, const std::wstring& exe) {
    for (const OpenWithEntry& entry : list.Entries())
        if (entry.m_exe == exe) return &entry;
    return nullptr;
}

std::vector<std::string> LogLines(const std::wstring& extension) {
    std::vector<std::string> lines;
    std::string text = testfiles::Read(GetTempFolder(false) + extension + L"log.txt");
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The Open With dialog, once the test thread shows it (up to 15 s).
HWND WaitForOpenWith() {
    HWND window = nullptr;
    for (int i = 0; i < 300 && window == nullptr; ++i) {
        ::Sleep(50);
        window = ::FindWindowW(L"#32770", ExpandText(L"Open With").c_str());
    }
    return window;
}

}  // namespace

TEST(CommandParts, ProgramAndArgumentsOfQuotedAndPlainCommands) {
    EXPECT_EQ(GetCommandExecutable(L"\"C:\\Program Files\\Ed\\ed.exe\" \"%1\""), L"\"C:\\Program Files\\Ed\\ed.exe\"");
    EXPECT_EQ(GetCommandArguments(L"\"C:\\Program Files\\Ed\\ed.exe\" \"%1\""), L" \"%1\"");
    EXPECT_EQ(GetCommandExecutableName(L"\"C:\\Program Files\\Ed\\ed.exe\" \"%1\""), L"ed.exe");
    // Unquoted with blanks: up to ".exe", then quoted.
    EXPECT_EQ(GetCommandExecutable(L"C:\\Program Files\\Ed\\ED.EXE /open %1"), L"\"C:\\Program Files\\Ed\\ED.EXE\"");
    EXPECT_EQ(GetCommandArguments(L"C:\\Program Files\\Ed\\ED.EXE /open %1"), L" /open %1");
    // No ".exe": up to the first blank; quotes around a path without blanks go.
    EXPECT_EQ(GetCommandExecutable(L"viewer.com %1"), L"viewer.com");
    EXPECT_EQ(GetCommandExecutable(L"\"C:\\Ed\\ed.exe\" %1"), L"C:\\Ed\\ed.exe");
    // Hostile: an unbalanced quote takes the whole command, nothing is left.
    EXPECT_EQ(GetCommandExecutable(L"\"C:\\Program Files\\ed.exe %1"), L"\"C:\\Program Files\\ed.exe %1");
    EXPECT_EQ(GetCommandArguments(L"\"C:\\Program Files\\ed.exe %1"), L"");

    ::SetEnvironmentVariableW(L"SNAPWELL_TEST_DIR", L"C:\\Tools");
    ::SetEnvironmentVariableW(L"SNAPWELL_TEST_SELF", L"%SNAPWELL_TEST_SELF%");
    EXPECT_EQ(ExpandEnvironmentPairs(L"%SNAPWELL_TEST_DIR%\\ed.exe \"%1\" %NOT_THERE% 100%"),
              L"C:\\Tools\\ed.exe \"%1\" %NOT_THERE% 100%");
    EXPECT_EQ(ExpandEnvironmentPairs(L"%SNAPWELL_TEST_SELF%"), L"%SNAPWELL_TEST_SELF%") << "replaced once, no loop";
}

TEST(OpenWithDiscovery, SourcesInOrderWithTheSkipRulesAndFriendlyNames) {
    ShellRegistry registry;
    // The default application, listed again in the type's list.
    registry.SetClass(L".swa", nullptr, L"SnapwellTest.Plain");
    registry.SetClass(L"SnapwellTest.Plain\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    registry.SetClass(L".swa\\OpenWithList\\plain_editor.exe", nullptr, L"");
    // This test program, for the skip-self rule.
    registry.SetClass(L".swa\\OpenWithList\\" + SelfName(), nullptr, L"");
    registry.SetClass(L"Applications\\" + SelfName() + L"\\shell\\open\\command", nullptr,
                      OpenCommand(PlainEditor()));
    // A program that must never be offered.
    registry.SetClass(L".swa\\OpenWithList\\swnever.exe", nullptr, L"");
    registry.SetClass(L"Applications\\swnever.exe", L"NoOpenWith", L"");
    registry.SetClass(L"Applications\\swnever.exe\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    // A command through the system folder's variable, and a program that is
    // nowhere.
    registry.SetClass(L".swa\\OpenWithList\\swenv.exe", nullptr, L"");
    registry.SetClass(L"Applications\\swenv.exe\\shell\\open\\command", nullptr,
                      L"%SystemRoot%\\system32\\notepad.exe %1");
    registry.SetClass(L"Applications\\swenv.exe\\shell", L"FriendlyCache", L"Env Editor");
    registry.SetClass(L".swa\\OpenWithList\\swgone.exe", nullptr, L"");
    registry.SetClass(L"Applications\\swgone.exe\\shell\\open\\command", nullptr,
                      OpenCommand(L"C:\\nowhere\\swgone.exe"));
    // The user's recent programs: "b" before "a"; "a" is already listed.
    registry.SetClass(L"Applications\\swrecent.exe\\shell\\open\\command", nullptr, L"notepad.exe %1");
    registry.SetRecent(L"swa", L"ba", {{L"a", L"plain_editor.exe"}, {L"b", L"swrecent.exe"}});

    OpenWithList list;
    list.BuildOpenWithList(L"swa", true);
    EXPECT_EQ(ExeNames(list), (std::vector<std::wstring>{L"plain_editor.exe", L"swenv.exe", L"swrecent.exe"}));
    const OpenWithEntry* plain = Find(list, L"plain_editor.exe");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->m_ClassName, L"SnapwellTest.Plain");
    EXPECT_EQ(plain->m_desc, L"plain_editor") << "no cached name, no version text: the file name";
    const OpenWithEntry* env = Find(list, L"swenv.exe");
    ASSERT_NE(env, nullptr);
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(env->m_exepath, std::wstring(windows) + L"\\system32\\notepad.exe %1") << "expanded";
    EXPECT_EQ(env->m_desc, L"Env Editor");
    EXPECT_EQ(env->m_ClassName, L"Applications\\swenv.exe");
    const OpenWithEntry* recent = Find(list, L"swrecent.exe");
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(_wcsicmp(recent->m_exepath.c_str(), (L"\"" + std::wstring(windows) + L"\\system32\\notepad.exe\" \"%1\"").c_str()), 0)
        << "found on the search path: " << Narrow(recent->m_exepath);

    const std::vector<std::string> log = LogLines(L"swa");
    for (const char* line : {"Found: HKCR\\.swa", "Found: HKCR\\SnapwellTest.Plain\\shell\\open\\command",
                             "AddExe: exename: plain_editor.exe", "  Skip: duplicate", "  Skip: self",
                             "  Found: HKCR\\Applications\\swnever.exe", "  Skip: NoOpenWith",
                             "  GetFileAttributes failed: C:\\nowhere\\swgone.exe", "  Skip: !success",
                             "  m_exe:\t\t\t\tplain_editor.exe", "  m_desc:\t\t\t\tplain_editor",
                             "  m_DDEApplication:    ", "  m_ClassName:\t\t\tSnapwellTest.Plain",
                             "  FindFriendlyName: ClassName: SnapwellTest.Plain", "    filename: plain_editor.exe"})
        EXPECT_TRUE(Has(log, line)) << line;
    EXPECT_TRUE(Has(log, "Default: " + Narrow(OpenCommand(PlainEditor()))));
    EXPECT_TRUE(Has(log, "Found: HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.swa\\OpenWithList"));
    EXPECT_TRUE(Has(log, "  PathFindOnPath succeeded: " + Narrow(std::wstring(windows)) + "\\system32\\notepad.exe") ||
                Has(log, "  PathFindOnPath succeeded: C:\\windows\\system32\\notepad.exe"));

    // A program with a version description is known by it.
    registry.SetClass(L"SnapwellTest.Described\\shell\\open\\command", nullptr,
                      OpenCommand(TestEditorsFolder() + L"\\dde_editor.exe"));
    EXPECT_EQ(FindFriendlyName(L"SnapwellTest.Described"), L"Snapwell DDE Test Editor");

    // Without skip-self this program is offered as any other.
    list.BuildOpenWithList(L"swa", false);
    EXPECT_NE(Find(list, [] {
                  std::wstring self = SelfName();
                  for (wchar_t& c : self) c = static_cast<wchar_t>(towlower(c));
                  return self;
              }()),
              nullptr);
    EXPECT_EQ(Find(list, L"swnever.exe"), nullptr);
}

TEST(OpenWithDiscovery, RundllModulesNinthPlaceAndHostileRegistrations) {
    ShellRegistry registry;
    // The default application runs in the system's rundll host.
    registry.SetClass(L".swb", nullptr, L"SnapwellTest.Viewer");
    registry.SetClass(L"SnapwellTest.Viewer\\shell\\open\\command", nullptr,
                      L"rundll32.exe \"%SystemRoot%\\system32\\swviewer.dll\",ImageView_Fullscreen %1");
    // Twelve more candidates: only eight of them fit.
    for (int i = 1; i <= 12; ++i) {
        // Zero-padded: the registry lists keys in name order.
        const std::wstring exe = (i < 10 ? L"swmany0" : L"swmany") + std::to_wstring(i) + L".exe";
        registry.SetClass(L".swb\\OpenWithList\\" + exe, nullptr, L"");
        registry.SetClass(L"Applications\\" + exe + L"\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    }
    OpenWithList list;
    list.BuildOpenWithList(L"SWB", false);
    ASSERT_EQ(list.Count(), OpenWithList::kCapacity);
    EXPECT_EQ(list.Entries()[0].m_exe, L"rundll32.exe");
    EXPECT_EQ(list.Entries()[0].m_desc, L"swviewer") << "the hosted module's name";
    EXPECT_EQ(list.Entries()[8].m_exe, L"swmany08.exe");

    // Hostile data: enormous and unbalanced commands, names of nothing, an
    // endless recent list. Nothing crashes and nothing odd is offered.
    ShellRegistry hostile;
    hostile.SetClass(L".swc", nullptr, L"SnapwellTest.Huge");
    hostile.SetClass(L"SnapwellTest.Huge\\shell\\open\\command", nullptr, L"\"" + std::wstring(10000, L'x') + L" %1");
    hostile.SetClass(L".swc\\OpenWithList\\swquote.exe", nullptr, L"");
    hostile.SetClass(L"Applications\\swquote.exe\\shell\\open\\command", nullptr, L"\"C:\\Program Files\\swquote.exe %1");
    hostile.SetClass(L".swc\\OpenWithList\\swpercent.exe", nullptr, L"");
    hostile.SetClass(L"Applications\\swpercent.exe\\shell\\open\\command", nullptr, L"%NOPE%\\%ALSO_NOT% %1 %");
    std::wstring letters;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    for (int i = 0; i < 1000; ++i) letters += static_cast<wchar_t>(L'a' + i % 26);
    for (wchar_t c = L'a'; c <= L'z'; ++c) values.emplace_back(std::wstring(1, c), L"swletter" + std::wstring(1, c) + L".exe");
    hostile.SetRecent(L"swc", letters, values);
    hostile.SetClass(L"Applications\\swlettera.exe\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    list.BuildOpenWithList(L"swc", false);
    EXPECT_EQ(ExeNames(list), (std::vector<std::wstring>{L"swlettera.exe"}));
    EXPECT_EQ(list.Entries()[0].m_desc, L"plain_editor") << "a version block without a translation table";

    // An editor's command line for a file: the short path for "%1".
    const std::wstring file = GetTempFolder(false) + L"Snapwell long file name.png";
    testfiles::Write(file, "x");
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_NE(::GetShortPathNameW(file.c_str(), shortPath, MAX_PATH), 0u);
    std::wstring program, arguments;
    EXPECT_TRUE(BuildEditorCommandLine(L"Applications\\swmany01.exe", file, program, arguments));
    EXPECT_EQ(program, PlainEditor().find(L' ') == std::wstring::npos ? PlainEditor() : L"\"" + PlainEditor() + L"\"");
    EXPECT_EQ(arguments, std::wstring(L" \"") + shortPath + L"\"");
    EXPECT_TRUE(BuildEditorCommandLine(L"SnapwellTest.NotThere", file, program, arguments));
    EXPECT_TRUE(program.empty());
    testfiles::Remove(file);
}

TEST(OpenWithDialog, ListsEveryProgramOnceAndGivesTheChosenClass) {
    ShellRegistry registry;
    registry.SetClass(L"SnapwellTest.Plain\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    registry.SetClass(L"Applications\\swother.exe\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    COpenWithDlg dialog(nullptr, L"Capture1.png");
    std::wstring prompt;
    bool okAtFirst = true, okAfterChoice = false;
    std::thread user([&] {
        HWND window = WaitForOpenWith();
        if (window == nullptr) return;
        ::Sleep(300);
        wchar_t text[512] = {};
        ::GetDlgItemTextW(window, COpenWithDlg::kPromptId, text, 512);
        prompt = text;
        okAtFirst = ::IsWindowEnabled(::GetDlgItem(window, IDOK)) != FALSE;
        HWND list = ::GetDlgItem(window, COpenWithDlg::kListId);
        LVFINDINFOW find{};
        find.flags = LVFI_STRING;
        find.psz = L"plain_editor";
        const int row = static_cast<int>(::SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                        reinterpret_cast<LPARAM>(&find)));
        LVITEMW state{};
        state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
        ::Sleep(200);
        okAfterChoice = ::IsWindowEnabled(::GetDlgItem(window, IDOK)) != FALSE;
        unixtools::Screenshot("open-with-dialog");
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    user.join();
    EXPECT_FALSE(okAtFirst) << "OK waits for a choice";
    EXPECT_TRUE(okAfterChoice);
    EXPECT_NE(prompt.find(L"Capture1.png"), std::wstring::npos) << Narrow(prompt);
    EXPECT_EQ(dialog.FriendlyName(), L"plain_editor");
    EXPECT_EQ(GetClassCommand(dialog.ClassName()), OpenCommand(PlainEditor()));
    // One row per program, whatever the number of classes leading to it.
    const auto& rows = dialog.Applications();
    const auto plain = std::find_if(rows.begin(), rows.end(), [](const auto& g) { return g.exe == L"plain_editor.exe"; });
    ASSERT_NE(plain, rows.end());
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const auto& g) { return g.exe == L"plain_editor.exe"; }), 1);
    EXPECT_GE(plain->classNames.size(), 2u);
    EXPECT_EQ(plain->classNames.front(), L"Applications\\swother.exe") << "the applications come first";
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const auto& g) { return g.exe.find(L'%') != std::wstring::npos; }))
        << "program files that run themselves are no application";
}

TEST(OpenWithDialog, OtherTakesAnyProgramFileAndMakesItOpenable) {
    ShellRegistry registry;  // removes what the choice registers
    registry.SetClass(L"Applications\\dde_editor.exe", L"SnapwellTestMarker", L"");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Applications\\dde_editor.exe");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Applications\\dde_editor.exe");
    const std::wstring program = TestEditorsFolder() + L"\\dde_editor.exe";
    COpenWithDlg dialog(nullptr, L"Capture1.png");
    std::thread user([&] {
        HWND window = WaitForOpenWith();
        if (window == nullptr) return;
        ::PostMessageW(window, WM_COMMAND, COpenWithDlg::kOtherId, 0);
        // The file dialog is owned by the Open With dialog.
        for (int i = 0; i < 300; ++i) {
            ::Sleep(50);
            for (HWND files = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); files != nullptr;
                 files = ::FindWindowExW(nullptr, files, L"#32770", nullptr)) {
                if (::GetWindow(files, GW_OWNER) != window || !::IsWindowVisible(files)) continue;
                ::Sleep(300);
                for (const int box : {cmb13, edt1}) ::SetDlgItemTextW(files, box, program.c_str());
                ::PostMessageW(files, WM_COMMAND, IDOK, 0);
                return;
            }
        }
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    user.join();
    EXPECT_EQ(dialog.ClassName(), L"Applications\\dde_editor.exe");
    EXPECT_EQ(dialog.FriendlyName(), L"Snapwell DDE Test Editor") << "its version description";
    EXPECT_EQ(GetClassCommand(dialog.ClassName()), OpenCommand(program)) << "an editor the launch can start";
}

TEST(OpenWithDiscovery, TheLogIsWrittenOnlyForAPlainExtension) {
    // An options element named ".\..\swescape" would put the log beside the
    // temporary folder, and a longer climb anywhere.
    const std::wstring temp = GetTempFolder(false);
    wchar_t above[MAX_PATH] = {};
    ASSERT_TRUE(::GetFullPathNameW((temp + L"..\\swescapelog.txt").c_str(), MAX_PATH, above, nullptr));
    testfiles::Remove(above);
    testfiles::Remove(temp + L"swd:streamlog.txt");
    ShellRegistry registry;
    registry.SetClass(L".swd\\OpenWithList\\plain_editor.exe", nullptr, L"");
    registry.SetClass(L"Applications\\plain_editor.exe\\shell\\open\\command", nullptr, OpenCommand(PlainEditor()));
    OpenWithList list;
    for (const wchar_t* hostile : {L"\\..\\swescape", L"..\\swescape", L"swd\\..\\..\\swescape", L"swd:stream",
                                   L"", L"s w d", L"swd."}) {
        list.BuildOpenWithList(hostile, false);
        EXPECT_EQ(list.Count(), 0u) << "not a file type: " << Narrow(hostile);
    }
    EXPECT_EQ(::GetFileAttributesW(above), INVALID_FILE_ATTRIBUTES) << "no log outside the temporary folder";
    EXPECT_EQ(::GetFileAttributesW((temp + L"swd:streamlog.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    testfiles::Remove(temp + L"swdlog.txt");
    list.BuildOpenWithList(L"swd", false);
    EXPECT_EQ(ExeNames(list), (std::vector<std::wstring>{L"plain_editor.exe"}));
    EXPECT_FALSE(LogLines(L"swd").empty()) << "a plain extension is searched and logged";
    testfiles::Remove(temp + L"swdlog.txt");
}
