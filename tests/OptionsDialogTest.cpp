// The options dialog generated from real options files, driven as a user
// would: editors opened on the value column, choices made, the focus moved
// away, OK, Cancel and Restore Defaults; what the list shows and what the
// file holds afterwards.
#include "app/ApplicationOptionsDialog.h"
#include "app/CaptureEngine.h"
#include "options/CaptureOptions.h"
#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"
#include "shellutil/StandardFolders.h"
#include "tests/DialogWatcher.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"
#include "uikit/CorvaneApp.h"
#include "uikit/HotKey.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

namespace {

HWND g_current = nullptr;

class OptionsDialog : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        catalog_ = CCorvaneApp::Current()->GetTextCatalog();
    }
    void TearDown() override {
        if (window && ::IsWindow(window)) ::DestroyWindow(window);
        dialog.reset();
        CCorvaneApp::Current()->GetTextCatalog() = catalog_;
        OptionsFiles::TearDown();
    }
    // The options, in English, in a shown dialog; userXml, when given, is
    // the user's file instead of a copy of the default one.
    void Open(const std::string& xml, const std::string& userXml = {}) {
        LoadOptionsFrom(xml.c_str());
        if (!userXml.empty()) {
            testfiles::Write(userFile, userXml);
            options->LoadOptions();
        }
        LoadShippedLanguages();
        // The program's own dialog: its OK, Cancel and Restore Defaults.
        dialog = std::make_unique<ApplicationOptionsDialog>(*options, nullptr, [this] { ++startupApplied; },
                                                            g_current);
        window = dialog->CreateModelessDialog(nullptr);
        ASSERT_NE(window, nullptr);
        ::SetForegroundWindow(window);
        screen::Pump(200);
    }
    static std::string Shipped() { return testfiles::Read(SNAPWELL_SHIPPED_OPTIONS); }
    HWND List() const { return ::GetDlgItem(window, OptionsDLG::kListId); }
    int RowOf(const wchar_t* key, int nth = 0) const {
        const auto rows = dialog->Rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].first == ExpandText(key) && nth-- == 0) return static_cast<int>(i);
        return -1;
    }
    int Count(const wchar_t* key) const {
        const auto rows = dialog->Rows();
        return static_cast<int>(
            std::count_if(rows.begin(), rows.end(), [&](const auto& row) { return row.first == ExpandText(key); }));
    }
    std::wstring ValueOf(const wchar_t* key) const { return dialog->Rows()[static_cast<size_t>(RowOf(key))].second; }
    // Opens the row's editor and picks the entry with that (translated)
    // text in its drop-down, as a click would, then leaves the editor.
    void Choose(const wchar_t* key, const std::wstring& entry, bool leave = true) {
        ASSERT_TRUE(dialog->OpenEditor(RowOf(key)));
        HWND combo = dialog->ActiveControl()->Editor();
        const LRESULT at = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(entry.c_str()));
        ASSERT_NE(at, CB_ERR) << std::string(entry.begin(), entry.end());
        // The list that opened with the editor closes on the chosen entry.
        ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        // What the drop-down tells when an entry is clicked.
        for (const WORD code : {WORD(CBN_SELCHANGE), WORD(CBN_SELENDOK)})
            ::SendMessageW(List(), WM_COMMAND, MAKEWPARAM(kOptionEditorId, code), reinterpret_cast<LPARAM>(combo));
        if (leave) Leave();
    }
    void Leave() {
        ::SetFocus(List());
        screen::Pump(200);
    }
    void PressOk() {
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(OptionsDLG::kOkId, BN_CLICKED), 0);
        screen::Pump(100);
    }

    std::unique_ptr<ApplicationOptionsDialog> dialog;
    HWND window = nullptr;
    // How often the dialog applied the autostart entry.
    int startupApplied = 0;
    TextCatalog catalog_;
};

// Answers the message box that the dialog shows, from a thread of its own.
std::future<std::wstring> AnswerBoxOf(HWND owner, int answer = IDOK) {
    return std::async(std::launch::async, [owner, answer] {
        for (int i = 0; i < 200; ++i) {
            for (HWND box = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box != nullptr;
                 box = ::FindWindowExW(nullptr, box, L"#32770", nullptr)) {
                if (::GetWindow(box, GW_OWNER) != owner || !::IsWindowVisible(box)) continue;
                wchar_t text[1024] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
                ::PostMessageW(box, WM_COMMAND, answer, 0);
                return std::wstring(text);
            }
            ::Sleep(50);
        }
        return std::wstring(L"<no box>");
    });
}

std::string WithValue(std::string xml, const std::string& option, const std::string& from, const std::string& to) {
    const size_t at = xml.find("Name=\"" + option + "\"");
    const size_t value = xml.find("Value=\"" + from + "\"", at);
    xml.replace(value, from.size() + 8, "Value=\"" + to + "\"");
    return xml;
}

}  // namespace

TEST_F(OptionsDialog, OneProfileShowsTheDefaultProfileAndTheSwitchReshapesTheListAtOnce) {
    Open(WithValue(Shipped(), "MultipleCaptureProfiles", "1", "0"));
    EXPECT_EQ(Count(L"Action"), 1) << "only the default profile's options";
    EXPECT_EQ(RowOf(L"DefaultProfile"), -1) << "listed directly under the profiles";
    const std::string before = testfiles::Read(userFile);
    Choose(L"MultipleCaptureProfiles", ExpandText(L"A profile for each capture mode"));
    screen::Pump(200);
    EXPECT_GT(Count(L"Action"), 1) << "every profile's options, at once";
    EXPECT_NE(RowOf(L"DefaultProfile"), -1);
    EXPECT_EQ(testfiles::Read(userFile), before) << "nothing saved";

    // Each profile has its "Annotate" check box, shipped off; checking the
    // rectangle profile's stores "1" there alone.
    ASSERT_EQ(Count(L"Annotate"), 4);
    EXPECT_NE(ExpandText(L"Annotate"), L"Annotate") << "translated";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dialog->Rows()[static_cast<size_t>(RowOf(L"Annotate", i))].second, ExpandText(L"false"));
    ASSERT_TRUE(dialog->OpenEditor(RowOf(L"Annotate", 3)));
    HWND box = dialog->ActiveControl()->Editor();
    wchar_t className[16] = {};
    ::GetClassNameW(box, className, 16);
    EXPECT_EQ(_wcsicmp(className, L"Button"), 0) << className;
    ::SendMessageW(box, BM_CLICK, 0, 0);
    Leave();
    EXPECT_EQ(dialog->Rows()[static_cast<size_t>(RowOf(L"Annotate", 3))].second, ExpandText(L"true"));
    PressOk();
    options->LoadOptions();
    EXPECT_EQ(options->GetProfileOption(L"RectangleProfile", L"Annotate"), L"1");
    EXPECT_EQ(options->GetProfileOption(L"DefaultProfile", L"Annotate"), L"0");
    EXPECT_EQ(options->GetProfileOption(L"WindowProfile", L"Annotate"), L"0");
}

TEST_F(OptionsDialog, ValuesAreShownAsStoredAndOkWritesOnlyWhatChanged) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ToolOptions Name=\"All\">\n"
        "\t<ProgramOptions Name=\"Program Options\">\n"
        "\t\t<Option Name=\"Check\" Control=\"CheckBox\" Value=\"1\"/>\n"
        "\t\t<Option Name=\"Combo\" Control=\"ComboBox\" Value=\"7\"><Item Name=\"One\" Value=\"1\"/></Option>\n"
        "\t\t<Option Name=\"Text\" Control=\"EditBox\" Value=\"  kept as typed  \"/>\n"
        "\t\t<Option Name=\"Prefix\" Control=\"EditableComboBox\" Value=\"Shot\">"
        "<combostring Name=\"&lt;PromptWhenSaving&gt;\" Value=\"&lt;PromptWhenSaving&gt;\"/></Option>\n"
        "\t\t<Option Name=\"Odd\" Control=\"Weird\" Value=\"never written\"/>\n"
        "\t\t<Option Control=\"EditBox\" Value=\"no name\"/>\n"
        "\t\t<Option Name=\"\" Control=\"EditBox\" Value=\"empty name\"><Option Name=\"Inner\"/></Option>\n"
        "\t\t<NoAttributes/>\n"
        "\t</ProgramOptions>\n"
        "</ToolOptions>\n";
    Open(xml);
    const auto rows = dialog->Rows();
    ASSERT_EQ(rows.size(), 6u) << "the group, then its five named entries";
    EXPECT_EQ(ValueOf(L"Check"), ExpandText(L"false")) << "only \"true\" checks it";
    EXPECT_EQ(ValueOf(L"Combo"), L"") << "a value no item has";
    EXPECT_EQ(ValueOf(L"Odd"), L"");
    EXPECT_FALSE(dialog->OpenEditor(RowOf(L"Odd"))) << "no editor for an unknown control";
    EXPECT_EQ(Count(L"Inner"), 0);

    // Edit the text, then OK: the check box is stored as "false", the text
    // as typed, and every other byte stays.
    ASSERT_TRUE(dialog->OpenEditor(RowOf(L"Text")));
    ::SetWindowTextW(dialog->ActiveControl()->Editor(), L"new text");
    // A choice is shown by its translated name and stored by its value.
    ASSERT_NE(ExpandText(L"<PromptWhenSaving>"), L"<PromptWhenSaving>");
    Choose(L"Prefix", ExpandText(L"<PromptWhenSaving>"));
    EXPECT_EQ(ValueOf(L"Prefix"), ExpandText(L"<PromptWhenSaving>"));
    PressOk();
    EXPECT_FALSE(::IsWindow(window)) << "OK closes the dialog";
    std::string expected = xml;
    expected.replace(expected.find("Value=\"1\"/>"), 11, "Value=\"false\"/>");
    expected.replace(expected.find("  kept as typed  "), 17, "new text");
    expected.replace(expected.find("Value=\"Shot\""), 12, "Value=\"&lt;PromptWhenSaving&gt;\"");
    EXPECT_EQ(testfiles::Read(userFile), expected);
}

TEST_F(OptionsDialog, NamelessRootOpensEmptyAndAFailedSaveKeepsTheDialog) {
    Open("<ToolOptions><ProgramOptions Name=\"P\"><O Name=\"A\" Control=\"EditBox\" Value=\"1\"/></ProgramOptions>"
         "</ToolOptions>");
    EXPECT_TRUE(dialog->Rows().empty());
    const std::string before = testfiles::Read(userFile);
    {
        // Another program holds the file and will not let it be replaced.
        platform::UniqueFile held(::CreateFileW(userFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(held));
        std::future<std::wstring> box = AnswerBoxOf(window);
        PressOk();
        EXPECT_EQ(box.get(), ExpandText(L"InvalidSaveOptions"));
    }
    EXPECT_TRUE(::IsWindow(window)) << "the dialog stays open";
    EXPECT_EQ(startupApplied, 0) << "nothing applied from a file that was not saved";
    EXPECT_EQ(testfiles::Read(userFile), before);
}

TEST_F(OptionsDialog, GermanAtOnceAndCancelBringsEnglishBack) {
    Open(Shipped());
    const std::string before = testfiles::Read(userFile);
    Choose(L"Language", ExpandText(L"German"), false);
    screen::Pump(200);  // confirming the entry ends the edit and rebuilds
    wchar_t title[256] = {};
    ::GetWindowTextW(window, title, 256);
    EXPECT_STREQ(title, L"Eigenschaften von Snapwell");
    EXPECT_NE(RowOf(L"Language"), -1);
    EXPECT_EQ(dialog->Rows()[static_cast<size_t>(RowOf(L"Language"))].first, ExpandText(L"Language"));
    ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    screen::Pump(100);
    EXPECT_EQ(ExpandText(L"$applicationname Properties"), L"Snapwell Properties");
    EXPECT_EQ(options->GetProgramOption(L"Language", false), L"1033");
    EXPECT_EQ(testfiles::Read(userFile), before);
    EXPECT_EQ(startupApplied, 0) << "Cancel applies nothing";
}

TEST_F(OptionsDialog, RestoreDefaultsAsksAndShowsTheDefaultsAtOnce) {
    Open(Shipped(), WithValue(Shipped(), "TargetType", "3", "0"));
    ASSERT_EQ(ValueOf(L"TargetType"), L"BMP");

    for (const int answer : {IDNO, IDYES}) {
        std::future<std::wstring> box = AnswerBoxOf(window, answer);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(OptionsDLG::kRestoreDefaultsId, BN_CLICKED), 0);
        EXPECT_EQ(box.get(), ExpandText(L"OverwriteOptions"));
        screen::Pump(300);
        EXPECT_EQ(ValueOf(L"TargetType"), answer == IDNO ? L"BMP" : L"PNG");
    }
    // Restoring is a plain copy of the defaults, however old they are.
    EXPECT_EQ(testfiles::Read(userFile), Shipped());
    EXPECT_FALSE(platform::FileExists(userFile + L".bak"));
}

TEST_F(OptionsDialog, OkSavesAndTheNextCaptureUsesTheNewFileType) {
    const std::wstring shots = FreshDocumentsFolder(L"SnapwellOptionsShots");
    // A user who chose English: no choice is made and saved when it opens.
    std::string userXml = WithValue(WithValue(Shipped(), "MultipleCaptureProfiles", "1", "0"), "Language", "", "1033");
    const std::string folder(shots.begin(), shots.end());
    userXml.replace(userXml.find("Value=\"\"", userXml.find("Name=\"TargetFolder\"")), 8, "Value=\"" + folder + "\"");
    Open(Shipped(), userXml);
    Choose(L"TargetType", ExpandText(L"bmp"));
    PressOk();
    ASSERT_FALSE(::IsWindow(window));
    EXPECT_EQ(startupApplied, 1) << "OK applies the autostart entry from the saved options";
    // The shipped file, comments and escapes included, comes back byte for
    // byte but for the one value.
    std::string expected = userXml;
    const size_t type = expected.find("Value=\"3\"", expected.find("Name=\"TargetType\""));
    expected.replace(type, 9, "Value=\"0\"");
    EXPECT_EQ(testfiles::Read(userFile), expected);

    // The engine reads the saved options at the next capture.
    CCaptureEngine engine;
    engine.SetOptions(options.get());
    EXPECT_EQ(engine.CaptureRect(0, 0, 40, 30, nullptr), S_OK);
    EXPECT_EQ(testfiles::List(shots), (std::vector<std::wstring>{L"Capture1.bmp"}));
    testfiles::RemoveTree(shots);
}

TEST_F(OptionsDialog, FolderPickerConfirmsOnlyWritableFolders) {
    // Wine's picker cannot always unfold drive Z: (it cannot read the volume
    // of "/", and says so), and then never reaches a folder there: the
    // read-only folder it is shown is a link on drive C: to the same folder
    // of the kernel's settings, in which even root cannot create a file.
    unixtools::RunShell("ln -sfn /proc/sys/fs '" + unixtools::UnixPath(L"C:\\") + "/snapwell-readonly'");
    const std::wstring folder = L"C:\\snapwell-readonly\\";
    ASSERT_EQ(CheckFolderWritable(folder), L"failed") << "the link is in place and read-only";
    const std::string unwritable(folder.begin(), folder.end());
    std::string userXml = Shipped();
    userXml.replace(userXml.find("Value=\"\"", userXml.find("Name=\"TargetFolder\"")), 8,
                    "Value=\"" + unwritable + "\"");
    Open(Shipped(), userXml);
    // OK of the picker after a writable folder is chosen, and after the
    // read-only one is chosen. (Where the picker first settles depends on
    // how far Wine's tree unfolds a linked folder.)
    std::atomic<int> okWritable{-1}, okReadOnly{-1};
    std::wstring shown;
    const std::wstring writable = GetTempFolder(false);
    std::thread user([&] {
        HWND picker = nullptr;
        for (int i = 0; i < 200 && picker == nullptr; ++i) {
            ::Sleep(50);
            picker = ::FindWindowW(L"#32770", nullptr);
            if (picker == window || (picker && ::GetWindow(picker, GW_OWNER) != window)) picker = nullptr;
        }
        if (picker == nullptr) return;
        // Wine's picker unfolds its tree down to the chosen folder, which
        // takes a while on a busy machine, and its selection may stay where
        // it was. OK is judged only while the picker shows the chosen folder
        // as its selection, as a user would judge it; when the picker did
        // not get there, the choice is made again.
        const auto selectedName = [picker] {
            HWND tree = ::FindWindowExW(picker, nullptr, WC_TREEVIEWW, nullptr);
            wchar_t text[MAX_PATH] = {};
            TVITEMW item{};
            item.mask = TVIF_TEXT;
            item.hItem = TreeView_GetSelection(tree);
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            if (tree == nullptr || item.hItem == nullptr || !TreeView_GetItem(tree, &item)) return std::wstring();
            return std::wstring(text);
        };
        const auto okAfterChoosing = [picker, &selectedName, &shown](const std::wstring& path, bool awaited) {
            std::wstring name = path.substr(0, path.find_last_not_of(L'\\') + 1);
            name = name.substr(name.rfind(L'\\') + 1);
            int state = -1;
            for (int attempt = 0; attempt < 3 && state != (awaited ? 1 : 0); ++attempt) {
                ::SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
                for (int i = 0; i < 30; ++i) {
                    ::Sleep(100);
                    shown = selectedName();
                    if (_wcsicmp(shown.c_str(), name.c_str()) != 0) continue;
                    state = ::IsWindowEnabled(::GetDlgItem(picker, IDOK)) != FALSE ? 1 : 0;
                    if (state == (awaited ? 1 : 0)) break;
                }
            }
            return state;
        };
        okWritable = okAfterChoosing(writable, true);
        okReadOnly = okAfterChoosing(folder, false);
        ::PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    });
    Choose(L"TargetFolder", ExpandText(L"<Browse>"), false);
    user.join();
    EXPECT_EQ(okWritable, 1) << "a writable folder can be confirmed (-1: the picker never showed it; it showed "
                            << std::string(shown.begin(), shown.end()) << ")";
    EXPECT_EQ(okReadOnly, 0) << "choosing the read-only folder turns OK off again (-1: never shown; it showed "
                            << std::string(shown.begin(), shown.end()) << ")";
    Leave();
    EXPECT_EQ(ValueOf(L"TargetFolder"), folder) << "cancelled: the previous value";
}

TEST_F(OptionsDialog, EveryKindOpensItsOwnEditorOverTheValueCell) {
    const std::string xml =
        "<ToolOptions Name=\"All\"><ProgramOptions Name=\"Kinds\">"
        "<O Name=\"EditBox\" Control=\"EditBox\" Value=\"text\"/>"
        "<O Name=\"HotKey\" Control=\"HotKey\" Value=\"Ctrl + Shift + 75\"/>"
        "<O Name=\"ComboBox\" Control=\"ComboBox\" Value=\"1\"><I Name=\"One\" Value=\"1\"/><I Name=\"Two\" Value=\"2\"/></O>"
        "<Languages Name=\"Language\" Control=\"LanguageBox\" Value=\"1033\">"
        "<Language Name=\"English\" Value=\"1033\" LanguageXML=\"english.xml\"/></Languages>"
        "<O Name=\"FolderBrowser\" Control=\"FolderBrowser\" Value=\"C:\\\\\"><combostring Name=\"&lt;Browse&gt;\" Value=\"&lt;Browse&gt;\"/></O>"
        "<O Name=\"CheckBox\" Control=\"CheckBox\" Value=\"true\"/>"
        "<O Name=\"EditableComboBox\" Control=\"EditableComboBox\" Value=\"free\"><combostring Name=\"A\" Value=\"a\"/></O>"
        "<O Name=\".png\" Control=\"OpenWith\" Value=\"\"><combostring Name=\"&lt;Browse&gt;\" Value=\"&lt;Browse&gt;\"/></O>"
        "<O Name=\"MultyProfile\" Control=\"MultyProfile\" Value=\"0\"><I Name=\"Off\" Value=\"0\"/></O>"
        "</ProgramOptions></ToolOptions>";
    Open(xml);
    const struct {
        const wchar_t* row;
        const wchar_t* editorClass;
    } kinds[] = {{L"EditBox", L"Edit"},           {L"HotKey", L"msctls_hotkey32"},   {L"ComboBox", L"ComboBox"},
                 {L"Language", L"ComboBox"},       {L"FolderBrowser", L"ComboBox"},   {L"CheckBox", L"Button"},
                 {L"EditableComboBox", L"ComboBox"}, {L".png", L"ComboBox"},         {L"MultyProfile", L"ComboBox"}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(std::string(kind.row, kind.row + wcslen(kind.row)));
        const int row = RowOf(kind.row);
        ASSERT_GE(row, 0);
        const std::wstring shown = dialog->Rows()[static_cast<size_t>(row)].second;
        ASSERT_TRUE(dialog->OpenEditor(row));
        HWND editor = dialog->ActiveControl()->Editor();
        wchar_t className[64] = {};
        ::GetClassNameW(editor, className, 64);
        EXPECT_EQ(_wcsicmp(className, kind.editorClass), 0) << className;
        EXPECT_EQ(::GetDlgCtrlID(editor), kOptionEditorId);
        if (std::wstring(kind.editorClass) == L"ComboBox") {
            EXPECT_TRUE(::SendMessageW(editor, CB_GETDROPPEDSTATE, 0, 0)) << "the list opens at once";
        }
        EXPECT_EQ(::GetFocus() == editor || ::IsChild(editor, ::GetFocus()), true) << "the editor has the focus";
        RECT cell{}, box{};
        ListView_GetSubItemRect(List(), row, 1, LVIR_BOUNDS, &cell);
        ::GetWindowRect(editor, &box);
        ::MapWindowPoints(nullptr, List(), reinterpret_cast<POINT*>(&box), 2);
        EXPECT_EQ(box.left, cell.left + (kind.editorClass == std::wstring(L"Button") ? 2 : 0));
        EXPECT_EQ(box.top, cell.top);
        screen::Pump(150);
        // Screenshots only here, in the suite's last test: a shell started
        // from the test program upsets the prefix's folder lookups for the
        // tests after it.
        unixtools::Screenshot("options-editor-" + std::string(kind.row, kind.row + wcslen(kind.row)));
        // Escape gives the focus back to the list; the value stays.
        ::SendMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
        screen::Pump(150);
        EXPECT_EQ(::GetFocus(), List());
        EXPECT_FALSE(::IsWindow(editor)) << "the editor closed";
        EXPECT_EQ(dialog->Rows()[static_cast<size_t>(RowOf(kind.row))].second, shown);
    }
    EXPECT_EQ(ValueOf(L"HotKey"), FormatHotKeyForDisplay(MOD_CONTROL | MOD_SHIFT, 75));
}

TEST_F(OptionsDialog, TheListAloneOwnsItsImageList) {
    Open("<ToolOptions Name=\"All\"><ProgramOptions Name=\"P\"><O Name=\"A\" Control=\"EditBox\" Value=\"1\"/>"
         "</ProgramOptions></ToolOptions>");
    const HIMAGELIST rows = ListView_GetImageList(List(), LVSIL_SMALL);
    ASSERT_NE(rows, nullptr) << "the rows' height comes from an image list";
    // The list destroys its image list with itself ...
    ::DestroyWindow(window);
    // ... so image lists made now may get its memory and its handle, and
    // they belong to someone else: the dialog's end must not touch them.
    std::vector<HIMAGELIST> others;
    for (int i = 0; i < 16 && std::find(others.begin(), others.end(), rows) == others.end(); ++i)
        others.push_back(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    dialog.reset();
    for (HIMAGELIST other : others) {
        int cx = 0, cy = 0;
        EXPECT_TRUE(::ImageList_GetIconSize(other, &cx, &cy)) << "another owner's image list is still there";
        ::ImageList_Destroy(other);
    }
}

TEST_F(OptionsDialog, DeeplyNestedFileOpensWithTheDeepEntriesLeftOutAndUntouched) {
    const int depth = 200000;
    std::string xml = "<?xml version=\"1.0\"?>\n<ToolOptions Name=\"All\"><ProgramOptions Name=\"P\">"
                      "<O Name=\"Leaf\" Control=\"EditBox\" Value=\"x\"/>";
    xml.reserve(depth * 20 + 500);
    for (int i = 0; i < depth; ++i) xml += "<G Name=\"G\">";
    xml += "<O Name=\"Bottom\" Control=\"EditBox\" Value=\"deep\"/>";
    for (int i = 0; i < depth; ++i) xml += "</G>";
    xml += "</ProgramOptions><Profiles Name=\"Profiles\"/><HotKeys/></ToolOptions>\n";
    Open(xml);
    ASSERT_TRUE(::IsWindow(window));
    EXPECT_NE(RowOf(L"Leaf"), -1);
    EXPECT_EQ(RowOf(L"Bottom"), -1) << "deeper than the dialog goes";
    EXPECT_GT(Count(L"G"), 50);
    EXPECT_LE(Count(L"G"), OptionsDLG::kMaxOptionDepth);
    ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    screen::Pump(100);
    EXPECT_FALSE(::IsWindow(window));
    dialog.reset();
    EXPECT_EQ(testfiles::Read(userFile), xml) << "Cancel writes nothing";

    // OK writes the one value that changed, and nothing of the part left out.
    dialog = std::make_unique<ApplicationOptionsDialog>(*options, nullptr, [] {}, g_current);
    window = dialog->CreateModelessDialog(nullptr);
    ASSERT_NE(window, nullptr);
    screen::Pump(100);
    ASSERT_TRUE(dialog->OpenEditor(RowOf(L"Leaf")));
    ::SetWindowTextW(dialog->ActiveControl()->Editor(), L"y");
    PressOk();
    EXPECT_FALSE(::IsWindow(window));
    std::string expected = xml;
    expected.replace(expected.find("Value=\"x\""), 9, "Value=\"y\"");
    EXPECT_EQ(testfiles::Read(userFile), expected);
}
