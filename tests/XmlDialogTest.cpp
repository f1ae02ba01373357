// A described dialog made for real: every control read back from its
// window (class, style, identifier, rectangle in pixels), the result of
// "ok" and "cancel", other buttons handed to OnButton, and a dialog from a
// missing description.
#include "platform/SubclassedWindow.h"
#include "platform/XmlDom.h"
#include "shellutil/StandardFolders.h"
#include "tests/ScreenTools.h"
#include "tests/TestApp.h"
#include "tests/TestFiles.h"
#include "uikit/HookedHotKeyCtrl.h"
#include "uikit/TipsViewer.h"
#include "uikit/XmlDialog.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char kDescription[] =
    "<?xml version='1.0' encoding='UTF-8'?>\n"
    "<ui:dialogBoxes>\n"
    "  <d id='d' title='Test dialog' color='white'>\n"
    "    <ui:vContainer align='left'>\n"
    "      <ui:static stringid='A static text, larger' size='2' color='blue'/>\n"
    "      <ui:hyperlink stringid='Snapwell on the web' linkid='https://snapwell.veltrane.com/'/>\n"
    "      <ui:edit id='name' value='hello' tabStop='1'/>\n"
    "      <ui:checkbox id='check' stringid='Check me' checked='true' tabStop='2'/>\n"
    "      <ui:hotkey id='key' value='Ctrl + Shift + 75'/>\n"
    "      <ui:divider/>\n"
    "      <ui:hContainer>\n"
    "        <ui:button id='ok' stringid='OK' def='true'/>\n"
    "        <ui:button id='cancel' stringid='Cancel'/>\n"
    "        <ui:button id='other' stringid='Other'/>\n"
    "      </ui:hContainer>\n"
    "    </ui:vContainer>\n"
    "  </d>\n"
    "</ui:dialogBoxes>\n";

class XmlDialogWindow : public testing::Test {
protected:
    void SetUp() override {
        path = GetTempFolder(false) + L"snapwell-dialog-test.xml";
        testfiles::Write(path, kDescription);
    }
    void TearDown() override { testfiles::Remove(path); }
    std::wstring path;
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

class Probe : public XmlDialog {
public:
    using XmlDialog::XmlDialog;
    std::vector<WORD> pressed;
    WORD finalButton = IDOK;

protected:
    void OnInitDialog() override {
        ::PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(IdOf(L"other"), BN_CLICKED),
                       reinterpret_cast<LPARAM>(ControlByName(L"other")));
        ::PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(finalButton, BN_CLICKED), 0);
    }
    void OnButton(WORD id) override { pressed.push_back(id); }
};

}  // namespace

TEST_F(XmlDialogWindow, ControlsAreCreatedAsDescribed) {
    XmlDialog dialog(nullptr, L"d", path);
    HWND window = dialog.CreateModelessDialog();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), L"Test dialog");
    const auto& controls = dialog.Controls();
    ASSERT_EQ(controls.size(), 9u);
    // Tab stops first, in their order, then the rest last-first.
    EXPECT_EQ(controls[0].item->name, L"name");
    EXPECT_EQ(controls[1].item->name, L"check");
    EXPECT_EQ(controls[2].item->name, L"other");
    EXPECT_EQ(controls[3].item->name, L"cancel");
    EXPECT_EQ(controls[4].item->name, L"ok");

    const wchar_t* const expectedClass[] = {L"Edit",   L"Button",          L"Button", L"Button", L"Button",
                                            L"Static", L"msctls_hotkey32", L"Static", L"Static"};
    HWND child = ::GetWindow(window, GW_CHILD);
    for (size_t i = 0; i < controls.size(); ++i, child = ::GetWindow(child, GW_HWNDNEXT)) {
        const TemplateEntry& entry = controls[i];
        SCOPED_TRACE(std::string(entry.item->name.begin(), entry.item->name.end()));
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(dialog.ControlByName(entry.item->name), child) << "found by name";
        EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), expectedClass[i]), 0);
        DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
        const bool field = entry.classAtom == LayoutControl::kEditClass || entry.className == L"msctls_hotkey32";
        if (field && (entry.style & WS_BORDER)) {
            // An edit or hot-key field's border becomes a sunken edge.
            EXPECT_TRUE(::GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
            style |= WS_BORDER;
        }
        EXPECT_EQ(style & entry.style, entry.style) << std::hex << style << " " << entry.style;
        EXPECT_EQ(static_cast<WORD>(::GetDlgCtrlID(child)), entry.id);
        // The platform converts position and size each on its own.
        RECT dlu{entry.x, entry.y, entry.cx, entry.cy};
        ::MapDialogRect(window, &dlu);
        const RECT expected{dlu.left, dlu.top, dlu.left + dlu.right, dlu.top + dlu.bottom};
        RECT actual{};
        ::GetWindowRect(child, &actual);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
        // An etched line takes the height of its edge.
        if (entry.item->kind == ControlKind::Divider) actual.bottom = expected.bottom, actual.right = expected.right;
        EXPECT_TRUE(::EqualRect(&expected, &actual))
            << actual.left << "," << actual.top << "," << actual.right << "," << actual.bottom << " instead of "
            << expected.left << "," << expected.top << "," << expected.right << "," << expected.bottom;
        EXPECT_GT(expected.right - expected.left, 0);
    }
    EXPECT_EQ(::GetDlgCtrlID(dialog.ControlByName(L"ok")), IDOK);
    EXPECT_EQ(::GetDlgCtrlID(dialog.ControlByName(L"cancel")), IDCANCEL);
    EXPECT_EQ(::GetDlgCtrlID(dialog.ControlByName(L"name")), 17);
    EXPECT_EQ(::GetWindowLongPtrW(dialog.ControlByName(L"ok"), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    EXPECT_EQ(TextOf(dialog.ControlByName(L"name")), L"hello");
    // The hot-key field holds its value as the program's own field.
    ASSERT_NE(dialog.HotKeyFieldByName(L"key"), nullptr);
    WORD key = 0, modifiers = 0;
    dialog.HotKeyFieldByName(L"key")->GetHotKey(key, modifiers);
    EXPECT_EQ(key, 75);
    EXPECT_EQ(modifiers, HOTKEYF_CONTROL | HOTKEYF_SHIFT);
    EXPECT_EQ(::SendMessageW(dialog.ControlByName(L"key"), HKM_GETHOTKEY, 0, 0),
              MAKEWORD(75, HOTKEYF_CONTROL | HOTKEYF_SHIFT));
    EXPECT_EQ(::SendMessageW(dialog.ControlByName(L"check"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(::GetWindowLongPtrW(dialog.ControlByName(L"name"), GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(::GetWindowLongPtrW(dialog.ControlByName(L"ok"), GWL_STYLE) & WS_TABSTOP);
    // The dialog's client area is the laid-out size.
    RECT client{};
    ::GetClientRect(window, &client);
    RECT laidOut{0, 0, dialog.Description().root.width, dialog.Description().root.height};
    ::MapDialogRect(window, &laidOut);
    EXPECT_EQ(client.right, laidOut.right);
    EXPECT_EQ(client.bottom, laidOut.bottom);
    ::DestroyWindow(window);
}

TEST_F(XmlDialogWindow, OkAndCancelEndItOtherButtonsGoToOnButton) {
    for (const WORD last : {WORD(IDOK), WORD(IDCANCEL)}) {
        Probe dialog(nullptr, L"d", path);
        dialog.finalButton = last;
        EXPECT_EQ(dialog.DoModal(), last);
        EXPECT_EQ(dialog.pressed, (std::vector<WORD>{dialog.IdOf(L"other")})) << "only the other button";
    }
}

TEST_F(XmlDialogWindow, MissingOrUnnamedDescriptionGivesAnEmptyDialog) {
    for (const auto& [file, id] : {std::pair{path + L".missing", L"d"}, std::pair{path, L"nosuchdialog"}}) {
        XmlDialog dialog(nullptr, id, file);
        HWND window = dialog.CreateModelessDialog();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(::GetWindow(window, GW_CHILD), nullptr);
        EXPECT_TRUE(dialog.Controls().empty());
        ::DestroyWindow(window);
    }
}

TEST(TipsViewer, PagesAreTheTipsFoldersPlainHtmlFilesShuffled) {
    const std::wstring help = GetTempFolder(false) + L"snapwell-help-test\\";
    const std::wstring tips = help + L"tips\\";
    ::CreateDirectoryW(help.c_str(), nullptr);
    ::CreateDirectoryW(tips.c_str(), nullptr);
    std::vector<std::wstring> expected;
    for (int i = 0; i < 8; ++i) {
        expected.push_back(tips + L"tip" + std::to_wstring(i) + L".html");
        testfiles::Write(expected.back(), "<p id='NextTips'>next</p>");
    }
    testfiles::Write(tips + L"hidden.html", "x");
    ::SetFileAttributesW((tips + L"hidden.html").c_str(), FILE_ATTRIBUTE_HIDDEN);
    testfiles::Write(tips + L"notes.txt", "x");
    ::CreateDirectoryW((tips + L"folder.html").c_str(), nullptr);

    std::vector<std::wstring> first = ListTipPages(help, 1), second = ListTipPages(help, 2);
    EXPECT_NE(first, second) << "another seed, another order";
    std::sort(first.begin(), first.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(first, expected);
    EXPECT_TRUE(ListTipPages(tips, 1).empty()) << "no tips folder, no pages";

    // Without a browser engine (Wine here has none) the viewer steps aside
    // and the dialog works without it.
    const std::wstring path = help + L"dialog.xml";
    testfiles::Write(path,
                     "<ui:dialogBoxes><d id='d'><ui:vContainer>"
                     "<ui:tips id='tips' maxWidth='300' maxHeight='200'/><ui:button id='ok' stringid='OK'/>"
                     "</ui:vContainer></d></ui:dialogBoxes>");
    TestApp::Get().helpFolder = help;
    {
        XmlDialog dialog(nullptr, L"d", path);
        HWND window = dialog.CreateModelessDialog();
        ASSERT_NE(window, nullptr);
        ::ShowWindow(window, SW_SHOW);
        // The browser reports its failure to navigate when it gets to it.
        for (int i = 0; i < 100 && ::IsWindowVisible(dialog.ControlByName(L"tips")); ++i) screen::Pump(50);
        ASSERT_NE(dialog.Tips(), nullptr);
        EXPECT_EQ(dialog.Tips()->Pages().size(), expected.size());
        HWND viewer = dialog.ControlByName(L"tips");
        EXPECT_FALSE(dialog.Tips()->IsShowing());
        EXPECT_FALSE(::IsWindowVisible(viewer));
        EXPECT_FALSE(::IsWindowEnabled(viewer));
        EXPECT_TRUE(::IsWindowVisible(dialog.ControlByName(L"ok")));
    }
    TestApp::Get().helpFolder.clear();
    for (const std::wstring& file : expected) testfiles::Remove(file);
    ::SetFileAttributesW((tips + L"hidden.html").c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const wchar_t* name : {L"hidden.html", L"notes.txt"}) testfiles::Remove(tips + name);
    ::RemoveDirectoryW((tips + L"folder.html").c_str());
    ::RemoveDirectoryW(tips.c_str());
    testfiles::Remove(path);
    ::RemoveDirectoryW(help.c_str());
}

TEST_F(XmlDialogWindow, BrokenDescriptionsStillOpenAWorkingDialog) {
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "<ui:vContainer>";
    deep += "<ui:button id='deep' stringid='Deep'/>";
    for (int i = 0; i < 10000; ++i) deep += "</ui:vContainer>";
    const std::string box = "<ui:dialogBoxes><d id='d' title='Broken'>";
    const std::string end = "<ui:button id='ok' stringid='OK'/></d></ui:dialogBoxes>";
    const std::pair<std::string, size_t> cases[] = {
        {"<ui:dialogBoxes><d id='d'><ui:button id='ok'", 0},  // malformed
        {"<r>" + box + end + box + end + "</r>", 0},          // two ui:dialogBoxes
        {box + "<ui:unknown/><!-- a comment -->" + end, 0},   // the comment stops its siblings
        {box + "<ui:static stringid='Huge' size='1000'/><ui:static stringid='A' maxWidth='-5'/>"
                 "<ui:static stringid='B' maxWidth='99999999'/><ui:edit id='e' minWidth='99999999'/>" + end, 5},
        {box + deep + end, 1},
    };
    for (const auto& [xml, controls] : cases) {
        SCOPED_TRACE(xml.substr(0, 120));
        testfiles::Write(path, xml);
        Probe dialog(nullptr, L"d", path);
        if (controls == 0) {
            // Empty, and it still ends as a dialog does.
            HWND window = dialog.CreateModelessDialog();
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(::GetWindow(window, GW_CHILD), nullptr);
            ::DestroyWindow(window);
            continue;
        }
        HWND window = dialog.CreateModelessDialog();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(dialog.Controls().size(), controls);
        EXPECT_NE(dialog.ControlByName(L"ok"), nullptr);
        RECT client{};
        ::GetClientRect(window, &client);
        EXPECT_GT(client.right, 0);
        EXPECT_GT(client.bottom, 0);
        ::DestroyWindow(window);
    }
}

// Every control that a shipped description names is built: nothing is lost
// to a comment, an unknown element or a misspelt container.
TEST(ShippedDialogs, EveryDialogBuildsEveryControlItNames) {
    for (const wchar_t* file : {L"commonui.xml", L"ui.xml"}) {
        SCOPED_TRACE(std::string(file, file + std::wcslen(file)));
        const std::wstring path = std::wstring(SNAPWELL_DATA_FOLDER) + L"\\" + file;
        // Both files ship: a missing one is a failure, not a dialog less.
        pugi::xml_document document;
        ASSERT_TRUE(platform::LoadXmlFile(path, document)) << "the shipped file is there and reads";
        const pugi::xml_node boxes = document.child(L"ui:dialogBoxes");
        ASSERT_TRUE(boxes);
        int dialogs = 0;
        for (const pugi::xml_node dialog : boxes.children()) {
            if (dialog.type() != pugi::node_element) continue;
            const std::wstring id = dialog.attribute(L"id").value();
            SCOPED_TRACE(std::string(id.begin(), id.end()));
            size_t named = 0;
            std::vector<pugi::xml_node> pending{dialog};
            while (!pending.empty()) {
                const pugi::xml_node node = pending.back();
                pending.pop_back();
                for (const pugi::xml_node child : node.children()) {
                    const std::wstring blank = child.value();
                    if (child.type() == pugi::node_pcdata && blank.find_first_not_of(L" \t\r\n") == std::wstring::npos)
                        continue;  // the file's indentation
                    ASSERT_EQ(child.type(), pugi::node_element) << "only elements among a dialog's controls";
                    const std::wstring name = child.name();
                    if (name.find(L"Container") != std::wstring::npos) {
                        EXPECT_TRUE(name == L"ui:vContainer" || name == L"ui:hContainer") << name.c_str();
                        pending.push_back(child);
                    } else {
                        ++named;
                    }
                }
            }
            XmlDialog built(nullptr, id, path);
            HWND window = built.CreateModelessDialog();
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(built.Controls().size(), named);
            EXPECT_GT(named, 0u);
            RECT client{};
            ::GetClientRect(window, &client);
            EXPECT_GT(client.right, 100) << "a dialog of some size";
            ::DestroyWindow(window);
            ++dialogs;
        }
        EXPECT_GT(dialogs, 0);
    }
}

// Two objects on one window (an edit hook over a field that draws itself)
// both hear its messages.
TEST(SubclassedWindows, TwoObjectsOnOneWindowBothHearIt) {
    struct Counter : platform::SubclassedWindow {
        int heard = 0;
        LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
            if (message == WM_USER + 7) ++heard;
            return Default(message, wParam, lParam);
        }
    };
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    Counter first, second;
    ASSERT_TRUE(first.Attach(window));
    ASSERT_TRUE(second.Attach(window));
    ::SendMessageW(window, WM_USER + 7, 0, 0);
    EXPECT_EQ(first.heard, 1);
    EXPECT_EQ(second.heard, 1);
    second.Detach();
    ::SendMessageW(window, WM_USER + 7, 0, 0);
    EXPECT_EQ(first.heard, 2) << "the other one stays";
    EXPECT_EQ(second.heard, 1);
    ::DestroyWindow(window);
}
