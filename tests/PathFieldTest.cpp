// The path field on the real platform under Wine: its button's width, shell
// drops delivered as WM_DROPFILES, shortcut resolution, the parent's veto,
// and the folder picker opened from the keyboard and answered by the test.
#include "shellutil/StandardFolders.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"
#include "uikit/PathEditCtrl.h"
#include "uikit/PathFieldHelpers.h"
#include "uikit/TextCatalog.h"
#include "uikit/XmlDialog.h"

#include <gtest/gtest.h>

#include <dlgs.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// The field's parent: records every notice and vetoes one code.
struct Notices {
    std::vector<UINT> codes;
    std::vector<std::wstring> texts;
    UINT veto = 0;
};
Notices* g_notices = nullptr;

LRESULT CALLBACK ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_NOTIFY && g_notices != nullptr) {
        const auto* notice = reinterpret_cast<const PathEditCtrl::Notification*>(lp);
        if (notice->header.code >= PathEditCtrl::kBeforeBrowse && notice->header.code <= PathEditCtrl::kAfterDrop) {
            g_notices->codes.push_back(notice->header.code);
            g_notices->texts.push_back(notice->text ? notice->text : L"<none>");
            return notice->header.code == g_notices->veto ? 1 : 0;
        }
    }
    return ::DefWindowProcW(w, m, wp, lp);
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return text;
}

// Builds the block the shell hands over with a drop, and delivers it.
void DropFiles(HWND target, const std::vector<std::wstring>& files) {
    size_t chars = 1;
    for (const std::wstring& file : files) chars += file.size() + 1;
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(::GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& file : files) {
        file.copy(names, file.size());
        names += file.size() + 1;
    }
    ::GlobalUnlock(block);
    ::PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
    screen::Pump(100);
}

bool MakeShortcut(const std::wstring& shortcut, const std::wstring& target) {
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool saved = SUCCEEDED(link->SetPath(target.c_str())) &&
                 SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                 SUCCEEDED(file->Save(shortcut.c_str(), TRUE));
    if (file) file->Release();
    link->Release();
    return saved;
}

// Answers the dialog that the field opens (owned by the field's window), from
// a thread of its own, since the test thread runs the dialog's modal loop
// meanwhile: once it shows, prepare sees it, then OK is pressed. A dialog
// that does not close (a complaint about the answer) is cancelled, so that
// a failure never hangs the suite. Join keeps reading the test thread's
// messages until the answer is done: the input that opens the dialog may
// still be on its way.
struct DialogAnswer {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
    void Join() {
        for (int i = 0; i < 400 && !*finished; ++i) screen::Pump(50);
        thread.join();
    }
};

DialogAnswer AnswerDialogOf(HWND owner, std::function<void(HWND)> prepare, std::atomic<bool>& seen) {
    DialogAnswer answer;
    answer.thread = std::thread([owner, prepare, &seen, finished = answer.finished] {
        struct Done {
            std::shared_ptr<std::atomic<bool>> flag;
            ~Done() { *flag = true; }
        } done{finished};
        const auto find = [owner] {
            for (HWND dialog = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); dialog != nullptr;
                 dialog = ::FindWindowExW(nullptr, dialog, L"#32770", nullptr))
                if (::GetWindow(dialog, GW_OWNER) == owner && ::IsWindowVisible(dialog)) return dialog;
            return HWND{};
        };
        HWND dialog = nullptr;
        for (int i = 0; i < 200 && dialog == nullptr; ++i) {
            dialog = find();
            if (dialog == nullptr) ::Sleep(50);
        }
        if (dialog == nullptr) return;
        seen = true;
        ::Sleep(300);  // the dialog takes the field's path when it has initialised
        prepare(dialog);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 60 && ::IsWindow(dialog); ++i) ::Sleep(50);
        if (!::IsWindow(dialog)) return;
        for (HWND box = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box != nullptr;
             box = ::FindWindowExW(nullptr, box, L"#32770", nullptr))
            if (::GetWindow(box, GW_OWNER) == dialog) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ::Sleep(200);
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    return answer;
}

class PathField : public testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        g_notices = &notices;
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"SnapwellTestPathParent";
        ::RegisterClassW(&wc);
        parent = ::CreateWindowExW(0, wc.lpszClassName, L"Path field", WS_POPUP | WS_VISIBLE | WS_BORDER, 120, 120,
                                   420, 90, nullptr, nullptr, wc.hInstance, nullptr);
        // A sunken edge of two pixels, as in a dialog: the client area is 20
        // pixels high.
        edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 10, 380,
                                 24, parent, reinterpret_cast<HMENU>(UINT_PTR{301}), wc.hInstance, nullptr);
        ASSERT_TRUE(field.AttachField(edit));
    }
    void TearDown() override {
        ::DestroyWindow(parent);
        g_notices = nullptr;
        ::CoUninitialize();
    }

    Notices notices;
    PathEditCtrl field;
    HWND parent = nullptr;
    HWND edit = nullptr;
};

}  // namespace

TEST(PathText, PathsAreCompletedFromTheFirstEntrysFolder) {
    const auto none = [](const std::wstring& path) { return L"resolved " + path; };
    EXPECT_EQ(pathfield::SplitPaths(L" C:\\Shots\\a.png ;b.png; ;D:\\x.lnk", L"; ", PathEditCtrl::kOpenFile, none),
              (std::vector<std::wstring>{L"C:\\Shots\\a.png", L"C:\\Shots\\b.png", L"C:\\Shots\\",
                                         L"resolved D:\\x.lnk"}));
    EXPECT_EQ(pathfield::SplitPaths(L"D:\\x.lnk", L"; ", PathEditCtrl::kOpenFile | PathEditCtrl::kKeepShortcuts, none),
              (std::vector<std::wstring>{L"D:\\x.lnk"}));
    // Folders: the backslash rule, and a drive root keeps its own.
    EXPECT_EQ(pathfield::SplitPaths(L"C:\\Shots", L"; ", PathEditCtrl::kDescribedFieldMode | 0x8),
              (std::vector<std::wstring>{L"C:\\Shots\\"}));
    EXPECT_EQ(pathfield::SplitPaths(L"C:\\Shots\\; C:\\", L"; ", PathEditCtrl::kFolder),
              (std::vector<std::wstring>{L"C:\\Shots", L"C:\\"}));
    EXPECT_TRUE(pathfield::SplitPaths(L"  ", L"; ", PathEditCtrl::kFolder).empty());
}

TEST(PathText, AFileDialogAnswerIsOneFullPathUnlessItListsSeveralFiles) {
    using namespace std::string_view_literals;
    using Files = std::vector<std::wstring>;
    // What the dialog leaves of a longer seed behind its answer.
    const std::wstring_view one = L"C:\\Shots\\a.png\0ame the field was seeded with.png\0\0"sv;
    EXPECT_EQ(pathfield::ChosenFiles(one, false, 9), Files{L"C:\\Shots\\a.png"});
    EXPECT_EQ(pathfield::ChosenFiles(one, true, 9), Files{L"C:\\Shots\\a.png"}) << "one of several allowed";
    const std::wstring_view several = L"C:\\Shots\0a.png\0b.png\0\0left over\0"sv;
    EXPECT_EQ(pathfield::ChosenFiles(several, true, 9), (Files{L"C:\\Shots\\a.png", L"C:\\Shots\\b.png"}));
    EXPECT_EQ(pathfield::ChosenFiles(several, false, 9), Files{L"C:\\Shots"}) << "a single answer is one name";
    EXPECT_EQ(pathfield::ChosenFiles(L"C:\\\0a.png\0b.png\0\0"sv, true, 4), (Files{L"C:\\a.png", L"C:\\b.png"}));
    EXPECT_EQ(pathfield::ChosenFiles(L"C:\\Shots\0a.png"sv, true, 9), Files{L"C:\\Shots\\a.png"})
        << "a list that runs to the buffer's end";
    EXPECT_TRUE(pathfield::ChosenFiles(L"\0\0"sv, true, 1).empty());
    EXPECT_TRUE(pathfield::ChosenFiles(L""sv, false, 0).empty());
}

TEST_F(PathField, ButtonTakesItsStripOfTheFrameAndBadModesAreRefused) {
    ASSERT_TRUE(field.SetMode(PathEditCtrl::kFolder | PathEditCtrl::kFlatButton));
    RECT client{};
    ::GetClientRect(edit, &client);
    ASSERT_EQ(client.bottom, 20);
    const RECT button = field.ButtonRect();
    EXPECT_EQ(button.right - button.left, 16) << "eight tenths of the client height";
    EXPECT_EQ(button.bottom - button.top, 20);
    EXPECT_EQ(client.right, 376 - 16) << "the edit area gives the strip up";
    EXPECT_EQ(field.ButtonState(), PathEditCtrl::kNormal | PathEditCtrl::kFlat);
    ::EnableWindow(edit, FALSE);
    EXPECT_EQ(field.ButtonState() & ~PathEditCtrl::kFlat, PathEditCtrl::kDisabled);
    ::EnableWindow(edit, TRUE);

    for (const DWORD bad : {DWORD{0}, DWORD{0x0040}, DWORD{0x0005}, DWORD{0x1004}, DWORD{0x1001}}) {
        EXPECT_FALSE(field.SetMode(bad)) << std::hex << bad;
        EXPECT_EQ(field.GetMode(), PathEditCtrl::kFolder | PathEditCtrl::kFlatButton) << "unchanged";
    }
    ASSERT_TRUE(field.SetMode(PathEditCtrl::kFolder | PathEditCtrl::kButtonLeft));
    EXPECT_EQ(field.ButtonRect().left, 2) << "inside the left edge";
    EXPECT_EQ(field.SetButtonWidth(30), -1);
    ::GetClientRect(edit, &client);
    EXPECT_EQ(client.right, 376 - 30);

    // The described field: its mode and a 50-pixel button.
    const std::wstring path = GetTempFolder(false) + L"snapwell-path-dialog.xml";
    testfiles::Write(path,
                     "<ui:dialogBoxes><d id='d'><ui:vContainer>"
                     "<ui:path id='folder' value='C:\\Shots\\' minWidth='200'/>"
                     "</ui:vContainer></d></ui:dialogBoxes>");
    XmlDialog dialog(nullptr, L"d", path);
    ASSERT_NE(dialog.CreateModelessDialog(), nullptr);
    PathEditCtrl* described = dialog.PathFieldByName(L"folder");
    ASSERT_NE(described, nullptr);
    EXPECT_EQ(described->GetMode(), 0x0624u);
    EXPECT_EQ(described->ButtonRect().right - described->ButtonRect().left, 50);
    EXPECT_EQ(TextOf(described->hwnd()), L"C:\\Shots\\");
    ::ShowWindow(dialog.hwnd(), SW_SHOW);
    screen::Pump(300);
    unixtools::Screenshot("path-field");
    testfiles::Remove(path);
}

TEST_F(PathField, DropsTakeTheRightFilesAndResolveShortcutsOnlyWhenAsked) {
    ASSERT_TRUE(field.SetMode(PathEditCtrl::kOpenFile | PathEditCtrl::kMultipleFiles));
    DropFiles(edit, {L"C:\\Shots\\a.png", L"C:\\Shots\\b.png", L"C:\\Shots\\c.png"});
    EXPECT_EQ(TextOf(edit), L"C:\\Shots\\a.png; b.png; c.png");
    EXPECT_EQ(notices.codes, (std::vector<UINT>{PathEditCtrl::kAfterDrop}));
    EXPECT_EQ(notices.texts.back(), L"C:\\Shots\\a.png; b.png; c.png") << "the parent sees the new text";
    DropFiles(edit, {L"C:\\Shots\\a.png", L"C:\\Other\\d.png", L"C:\\Shots\\sub\\e.png"});
    EXPECT_EQ(TextOf(edit), L"C:\\Shots\\a.png; C:\\Other\\d.png; C:\\Shots\\sub\\e.png");

    // A parent's veto keeps the text.
    notices.veto = PathEditCtrl::kAfterDrop;
    DropFiles(edit, {L"C:\\Elsewhere\\x.png"});
    EXPECT_EQ(TextOf(edit), L"C:\\Shots\\a.png; C:\\Other\\d.png; C:\\Shots\\sub\\e.png");
    notices.veto = 0;

    const std::wstring shortcut = GetTempFolder(false) + L"Snapwell test editor.lnk";
    wchar_t program[MAX_PATH] = {};
    ::GetSystemDirectoryW(program, MAX_PATH);
    const std::wstring target = std::wstring(program) + L"\\notepad.exe";
    ASSERT_TRUE(MakeShortcut(shortcut, target));
    ASSERT_TRUE(field.SetMode(PathEditCtrl::kOpenFile));
    DropFiles(edit, {shortcut, L"C:\\Shots\\a.png"});
    EXPECT_EQ(_wcsicmp(TextOf(edit).c_str(), target.c_str()), 0) << "the program, and only the first file";
    for (const DWORD mode : {PathEditCtrl::kOpenFile | PathEditCtrl::kKeepShortcuts, PathEditCtrl::kSaveFile}) {
        ASSERT_TRUE(field.SetMode(mode));
        DropFiles(edit, {shortcut});
        EXPECT_EQ(TextOf(edit), shortcut) << "the shortcut itself, mode " << std::hex << mode;
    }

    ASSERT_TRUE(field.SetMode(PathEditCtrl::kFolder));
    DropFiles(edit, {L"C:\\Shots", L"C:\\Other"});
    EXPECT_EQ(TextOf(edit), L"C:\\Shots");
    ::DeleteFileW(shortcut.c_str());
}

TEST_F(PathField, CtrlFullStopOpensThePickerOnTheFieldsFolder) {
    ASSERT_TRUE(field.SetMode(PathEditCtrl::kDescribedFieldMode | PathEditCtrl::kTrailingBackslash));
    field.AddFolderPickerFlags(BIF_EDITBOX | BIF_NEWDIALOGSTYLE);
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring seed = system;  // the picker opens there
    ::SetWindowTextW(edit, seed.c_str());
    ::SetForegroundWindow(parent);
    ::SetFocus(edit);
    screen::Pump(150);

    for (const UINT veto : {PathEditCtrl::kAfterBrowse, 0u}) {
        notices = Notices{};
        notices.veto = veto;
        std::atomic<bool> seen{false};
        DialogAnswer answer = AnswerDialogOf(parent, [](HWND) {}, seen);
        screen::Key(VK_CONTROL, true);
        screen::Key(VK_OEM_PERIOD, true);
        screen::Key(VK_OEM_PERIOD, false);
        screen::Key(VK_CONTROL, false);
        answer.Join();
        screen::Pump(100);
        ASSERT_TRUE(seen) << "the picker opened";
        ASSERT_EQ(notices.codes, (std::vector<UINT>{PathEditCtrl::kBeforeBrowse, PathEditCtrl::kAfterBrowse}));
        EXPECT_EQ(_wcsicmp(notices.texts[1].c_str(), (seed + L"\\").c_str()), 0)
            << "the seeded folder, with its backslash";
        EXPECT_EQ(TextOf(edit), veto ? seed : notices.texts[1]) << "a veto keeps the old text";
        EXPECT_EQ(::GetFocus(), edit) << "the field has the focus again";
    }

    // The full stop alone is typed.
    const int end = ::GetWindowTextLengthW(edit);
    ::SendMessageW(edit, EM_SETSEL, end, end);
    notices = Notices{};
    screen::Tap(VK_OEM_PERIOD);
    screen::Pump(100);
    EXPECT_TRUE(notices.codes.empty());
    EXPECT_EQ(TextOf(edit), seed + L"\\.");
}

TEST_F(PathField, ButtonClickOpensTheFileDialogInTheFieldsFolder) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring folder = std::wstring(system) + L"\\";
    ::SetForegroundWindow(parent);
    screen::Pump(150);

    struct Case {
        DWORD mode;
        std::wstring typed, expected;
    };
    const Case cases[] = {
        {PathEditCtrl::kOpenFile, L"notepad.exe", folder + L"notepad.exe"},
        {PathEditCtrl::kOpenFile | PathEditCtrl::kMultipleFiles, L"\"notepad.exe\" \"winver.exe\"",
         folder + L"notepad.exe; winver.exe"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(field.SetMode(c.mode));
        ::SetWindowTextW(edit, folder.c_str());  // a folder: the dialog opens in it
        notices = Notices{};
        RECT window{};
        ::GetWindowRect(edit, &window);
        const RECT button = field.ButtonRect();
        const POINT centre{window.left + (button.left + button.right) / 2, window.top + (button.top + button.bottom) / 2};

        // Pressed while the mouse is down over it.
        // The state once the pointer's news has arrived (a busy machine
        // delivers it late).
        const auto stateAfterInput = [&](int expected) {
            for (int i = 0; i < 40 && field.ButtonState() != expected; ++i) screen::Pump(50);
            return field.ButtonState();
        };
        screen::MouseTo(centre.x, centre.y);
        screen::MouseTo(centre.x, centre.y, MOUSEEVENTF_LEFTDOWN);
        EXPECT_EQ(stateAfterInput(PathEditCtrl::kPressed), PathEditCtrl::kPressed);

        std::wstring okLabel;
        std::atomic<bool> seen{false};
        DialogAnswer answer = AnswerDialogOf(
            parent,
            [&](HWND dialog) {
                wchar_t label[64] = {};
                ::GetDlgItemTextW(dialog, IDOK, label, 64);
                okLabel = label;
                for (const int box : {cmb13, edt1}) ::SetDlgItemTextW(dialog, box, c.typed.c_str());
            },
            seen);
        screen::MouseTo(centre.x, centre.y, MOUSEEVENTF_LEFTUP);
        answer.Join();
        screen::Pump(100);
        ASSERT_TRUE(seen) << "the file dialog opened";
        EXPECT_EQ(okLabel, ExpandText(L"Select"));
        ASSERT_EQ(notices.codes, (std::vector<UINT>{PathEditCtrl::kBeforeBrowse, PathEditCtrl::kAfterBrowse}));
        EXPECT_EQ(_wcsicmp(TextOf(edit).c_str(), c.expected.c_str()), 0) << TextOf(edit);
        EXPECT_EQ(field.ButtonState(), PathEditCtrl::kNormal);
    }
}

// The dialog writes its answer over the name the field seeded it with. A
// seed longer than the answer leaves its tail behind the answer's end in the
// buffer; the field reads the one chosen name and nothing of that tail.
TEST_F(PathField, FileDialogAnswerIsReadAsOneNameWhateverTheSeed) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring systemFolder = std::wstring(system) + L"\\";
    const std::wstring saveFolder = GetTempFolder(false) + L"SnapwellPathSave\\";
    testfiles::RemoveTree(saveFolder);
    ASSERT_TRUE(::CreateDirectoryW(saveFolder.c_str(), nullptr));
    const std::wstring longName = L"a capture whose name is far longer than the whole path of the chosen file.png";

    struct Case {
        DWORD mode;
        std::wstring folder, typed;
    };
    const Case cases[] = {
        {PathEditCtrl::kOpenFile, systemFolder, L"notepad.exe"},
        {PathEditCtrl::kOpenFile | PathEditCtrl::kMultipleFiles, systemFolder, L"notepad.exe"},
        {PathEditCtrl::kSaveFile, saveFolder, L"shot.png"},
    };
    for (const Case& c : cases) {
        ASSERT_GT(longName.size(), (c.folder + c.typed).size() + 1);
        ASSERT_TRUE(field.SetMode(c.mode));
        ::SetWindowTextW(edit, (c.folder + longName).c_str());
        notices = Notices{};
        std::atomic<bool> seen{false};
        std::wstring seeded;
        DialogAnswer answer = AnswerDialogOf(
            parent,
            [&](HWND dialog) {
                wchar_t name[512] = {};
                ::GetDlgItemTextW(dialog, edt1, name, 512);
                if (name[0] == L'\0') ::GetDlgItemTextW(dialog, cmb13, name, 512);
                seeded = name;
                for (const int box : {cmb13, edt1}) ::SetDlgItemTextW(dialog, box, c.typed.c_str());
            },
            seen);
        field.Browse();
        answer.Join();
        screen::Pump(100);
        ASSERT_TRUE(seen) << "the file dialog opened, mode " << c.mode;
        EXPECT_EQ(seeded, longName) << "the dialog starts on the field's name, mode " << c.mode;
        ASSERT_EQ(notices.codes, (std::vector<UINT>{PathEditCtrl::kBeforeBrowse, PathEditCtrl::kAfterBrowse}));
        EXPECT_EQ(_wcsicmp(notices.texts[1].c_str(), (c.folder + c.typed).c_str()), 0)
            << "mode " << c.mode << ": " << notices.texts[1];
        EXPECT_EQ(_wcsicmp(TextOf(edit).c_str(), (c.folder + c.typed).c_str()), 0) << "mode " << c.mode;
    }
    testfiles::RemoveTree(saveFolder);
}
