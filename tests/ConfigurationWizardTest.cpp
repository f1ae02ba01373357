// The first-run wizard driven page by page as a user would: check boxes
// clicked, a folder typed, Next, Back and Cancel; then what the options
// file, the program folder's copy and the shell were given.
#include "app/ConfigurationWizard.h"
#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"
#include "platform/XmlDom.h"
#include "shellutil/OpenWith.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/ShellRegistry.h"
#include "uikit/CorvaneApp.h"
#include "uikit/HotKey.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <thread>
#include <tuple>

using namespace screen;

namespace {

const std::wstring kPages = std::wstring(SNAPWELL_DATA_FOLDER) + L"\\ui.xml";

// The text a page shows for one of its named items.
std::wstring ItemText(const wchar_t* page, const wchar_t* item) {
    pugi::xml_document document;
    if (!platform::LoadXmlFile(kPages, document)) return {};
    const pugi::xpath_node found = document.select_node(
        (L"//dialog[@id='" + std::wstring(page) + L"']//*[@id='" + std::wstring(item) + L"']").c_str());
    return found ? ExpandText(found.node().attribute(L"stringid").value()) : std::wstring();
}

HWND ChildWithText(HWND page, const std::wstring& text) {
    for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t shown[512] = {};
        ::GetWindowTextW(child, shown, 512);
        if (!text.empty() && text == shown) return child;
    }
    return nullptr;
}

// The page on the screen and its name, found by what it shows. Called from
// the driving thread, which owns no windows and may sleep.
std::pair<HWND, std::wstring> CurrentPage(const std::wstring& unlike = {}, HWND previous = nullptr) {
    for (int i = 0; i < 200; ++i) {
        HWND page = ::FindWindowW(L"#32770", nullptr);
        if (page && page != previous && ::IsWindowVisible(page) && ::GetDlgItem(page, IDOK) &&
            ::GetDlgItem(page, 11)) {
            std::wstring name = L"finish";
            if (::FindWindowExW(page, nullptr, L"msctls_hotkey32", nullptr)) name = L"configkey";
            else if (::FindWindowExW(page, nullptr, L"Edit", nullptr)) name = L"configfolder";
            else if (ChildWithText(page, ItemText(L"configoptions", L"startup"))) name = L"configoptions";
            else if (ChildWithText(page, ItemText(L"configaction", L"clipboard"))) name = L"configaction";
            if (name != unlike) return {page, name};
        }
        ::Sleep(50);
    }
    return {nullptr, L"<none>"};
}

bool Checked(HWND page, const wchar_t* pageName, const wchar_t* item) {
    return ::SendMessageW(ChildWithText(page, ItemText(pageName, item)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND page, const wchar_t* pageName, const wchar_t* item, bool checked) {
    HWND box = ChildWithText(page, ItemText(pageName, item));
    if (box && Checked(page, pageName, item) != checked) ::SendMessageW(box, BM_CLICK, 0, 0);
}

// Presses a page's button and waits for the page to go.
void Press(HWND page, int id) {
    ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(page, id)));
    for (int i = 0; i < 100 && ::IsWindow(page); ++i) ::Sleep(30);
}

// Next on the hot-key and options pages, as they come: the action page.
std::pair<HWND, std::wstring> ActionPageAsOffered() {
    auto [page, name] = CurrentPage();
    Press(page, IDOK);
    std::tie(page, name) = CurrentPage(L"configkey");
    Press(page, IDOK);
    return CurrentPage(L"configoptions");
}

class Wizard : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(testfiles::Read(SNAPWELL_SHIPPED_OPTIONS).c_str());
        LoadShippedLanguages();
        ASSERT_TRUE(options->SaveOptions());
        documents = GetDocumentsFolder(L"", false);
        // The help page opens with whatever the user's .htm handler is: here
        // the stand-in editor, which notes what it was given.
        registry.SetClass(L".htm", nullptr, L"SnapwellTest.Help");
        registry.SetClass(L"SnapwellTest.Help\\shell\\open\\command", nullptr,
                          L"\"" + TestEditorsFolder() + L"\\plain_editor.exe\" \"%1\"");
        ClearEditorLog(L"plain_editor");
    }
    ConfigurationWizard::Outcome Run(const std::function<void()>& user) {
        ConfigurationWizard wizard(*options, helpFolder, kPages);
        std::thread driver(user);
        const ConfigurationWizard::Outcome outcome = wizard.Run();
        driver.join();
        return outcome;
    }
    // Whether the stand-in .htm handler was given the help's start page
    // within ms.
    static bool HelpPageOpened(DWORD ms) {
        for (DWORD waited = 0;; waited += 100) {
            for (const std::wstring& line : EditorLog(L"plain_editor"))
                if (line.rfind(L"start ", 0) == 0 && line.find(L"\\docs\\en\\index.htm") != std::wstring::npos)
                    return true;
            if (waited >= ms) return false;
            Pump(100);
        }
    }
    // The stored option text, through the profile's item names.
    std::wstring Action() const { return options->GetProfileOption(L"DefaultProfile", L"Action"); }

    ShellRegistry registry;
    std::wstring documents;
    std::wstring helpFolder = std::wstring(SNAPWELL_DATA_FOLDER) + L"\\docs\\en\\";
};

}  // namespace

TEST_F(Wizard, OnlyOpenSkipsTheFolderAndFinishWritesEveryAnswer) {
    // An image editor for PNG files, the user's recent choice; this prefix
    // has none for the other types.
    registry.SetClass(L"Applications\\swwizard.exe\\shell\\open\\command", nullptr,
                      L"\"" + TestEditorsFolder() + L"\\plain_editor.exe\" \"%1\"");
    registry.SetRecent(L"png", L"a", {{L"a", L"swwizard.exe"}});
    std::wstring prompt, backFromFinish;
    bool startsChecked = false, onlyClipboard = false;
    const auto outcome = Run([&] {
        auto [page, name] = CurrentPage();
        ASSERT_EQ(name, L"configkey");
        // Ctrl+Shift+F9 typed as the toolbar's key into the field, which
        // has the focus when the page opens. The modifiers are held down
        // through the X server, and the key is typed again if a modifier
        // was lost on the way.
        HWND field = ::FindWindowExW(page, nullptr, L"msctls_hotkey32", nullptr);
        const LRESULT wanted = MAKEWORD(VK_F9, HOTKEYF_CONTROL | HOTKEYF_SHIFT);
        for (int attempt = 0; attempt < 3 && ::SendMessageW(field, HKM_GETHOTKEY, 0, 0) != wanted; ++attempt) {
            XInput("keydown ctrl keydown shift");
            XInput("key F9");
            XInput("keyup shift keyup ctrl");
            ::Sleep(300);
        }
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configkey");
        ASSERT_EQ(name, L"configoptions");
        startsChecked = Checked(page, L"configoptions", L"startup") && Checked(page, L"configoptions", L"hidecursor") &&
                        Checked(page, L"configoptions", L"notify");
        // Both answers differ from the shipped defaults (pointer hidden, no
        // autostart), so the file shows that they were written.
        SetChecked(page, L"configoptions", L"hidecursor", false);
        SetChecked(page, L"configoptions", L"notify", false);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configoptions");
        ASSERT_EQ(name, L"configaction");
        onlyClipboard = Checked(page, L"configaction", L"clipboard") && !Checked(page, L"configaction", L"save") &&
                        !Checked(page, L"configaction", L"open");
        SetChecked(page, L"configaction", L"clipboard", false);
        SetChecked(page, L"configaction", L"open", true);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configaction");
        ASSERT_EQ(name, L"finish") << "without save, no folder page";
        Press(page, 11);
        std::tie(page, backFromFinish) = CurrentPage(L"finish");
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configaction");
        for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[512] = {};
            ::GetWindowTextW(child, text, 512);
            if (std::wstring(text).find(FormatHotKeyForDisplay(MOD_CONTROL | MOD_SHIFT, VK_F9)) != std::wstring::npos)
                prompt = text;
        }
        Press(page, IDOK);
    });
    EXPECT_EQ(outcome, ConfigurationWizard::Outcome::Finished);
    EXPECT_TRUE(startsChecked);
    EXPECT_TRUE(onlyClipboard);
    EXPECT_EQ(backFromFinish, L"configaction") << "Back from the end skips the folder page too";
    EXPECT_FALSE(prompt.empty()) << "the last page names the chosen key";

    // Every answer in the saved file, and the same file as the program
    // folder's defaults.
    CaptureOptions saved;
    EXPECT_EQ(saved.GetHotKeyValue(L"CaptureKey"), FormatHotKeyForStorage(MOD_CONTROL | MOD_SHIFT, VK_F9));
    EXPECT_EQ(saved.GetProgramOption(L"HideCursor", false), L"0");
    EXPECT_EQ(saved.GetProgramOption(L"NotifyAfterCapture", false), L"0") << "the wizard's check box";
    EXPECT_EQ(saved.GetProfileOption(L"DefaultProfile", L"Action"), L"Save to file and run editor");
    EXPECT_EQ(saved.GetProfileOption(L"DefaultProfile", L"TargetFolder"),
              platform::WithTrailingBackslash(documents));
    EXPECT_EQ(saved.GetProgramOption(L"AddProgramToStartupGroup", false), L"1");
    // Each file type's editor: the first program the shell offers for it.
    EXPECT_EQ(saved.GetProgramOption(L".png", false), L"Applications\\swwizard.exe");
    for (const wchar_t* type : {L".bmp", L".jpg", L".tif"}) EXPECT_EQ(saved.GetProgramOption(type, false), L"") << type;
    EXPECT_EQ(testfiles::Read(defaultFile), testfiles::Read(userFile));
    EXPECT_TRUE(HelpPageOpened(10000)) << "the help's start page went to the shell's handler for .htm";
}

TEST_F(Wizard, TheFolderMustTakeFilesAndAllThreeActionsRunTheEditor) {
    const std::wstring writable = GetTempFolder(false);
    std::vector<int> nextEnabled;
    std::wstring backFromFinish;
    const auto outcome = Run([&] {
        auto [page, name] = ActionPageAsOffered();
        for (const wchar_t* item : {L"clipboard", L"save", L"open"}) SetChecked(page, L"configaction", item, true);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configaction");
        ASSERT_EQ(name, L"configfolder");
        HWND path = ::FindWindowExW(page, nullptr, L"Edit", nullptr);
        for (const std::wstring& folder :
             {documents + L"NoSuchFolder\\", testfiles::UnwritableFolder(), writable}) {
            ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
            ::Sleep(100);
            nextEnabled.push_back(::IsWindowEnabled(::GetDlgItem(page, IDOK)) ? 1 : 0);
        }
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configfolder");
        Press(page, 11);
        std::tie(page, backFromFinish) = CurrentPage(L"finish");
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configfolder");
        Press(page, IDOK);
    });
    EXPECT_EQ(outcome, ConfigurationWizard::Outcome::Finished);
    EXPECT_EQ(nextEnabled, (std::vector<int>{0, 0, 1})) << "missing, read-only, writable";
    EXPECT_EQ(backFromFinish, L"configfolder") << "with save, Back from the end is the folder page";
    EXPECT_EQ(Action(), L"Save to clipboard,to file and run editor");
    CaptureOptions saved;
    EXPECT_EQ(saved.GetProfileOption(L"DefaultProfile", L"Action"), L"Save to clipboard,to file and run editor");
    EXPECT_EQ(saved.GetProfileOption(L"DefaultProfile", L"TargetFolder"),
              platform::WithTrailingBackslash(writable));
    EXPECT_TRUE(HelpPageOpened(10000)) << "the help page here too";
}

TEST_F(Wizard, NoActionIsExplainedAndCancelAtTheEndWritesNothing) {
    const std::string before = testfiles::Read(userFile);
    std::wstring message, caption, stayed;
    const auto outcome = Run([&] {
        auto [page, name] = ActionPageAsOffered();
        SetChecked(page, L"configaction", L"clipboard", false);
        ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        for (int i = 0; i < 100 && message.empty(); ++i) {
            ::Sleep(50);
            HWND box = ::FindWindowW(L"#32770", nullptr);
            if (box && box != page && ::GetDlgItem(box, 0xFFFF)) {
                wchar_t text[512] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 512);
                message = text;
                ::GetWindowTextW(box, text, 512);
                caption = text;
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
        ::Sleep(300);
        stayed = ::IsWindow(page) ? name : L"gone";
        SetChecked(page, L"configaction", L"clipboard", true);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configaction");
        Press(page, IDCANCEL);
    });
    EXPECT_EQ(outcome, ConfigurationWizard::Outcome::Cancelled);
    EXPECT_EQ(message, ExpandText(L"You need to select at least one action type."));
    EXPECT_EQ(caption, ExpandText(L"Configure $applicationname: action"));
    EXPECT_EQ(stayed, L"configaction") << "the page stays";
    EXPECT_EQ(testfiles::Read(userFile), before) << "nothing written";
    EXPECT_FALSE(HelpPageOpened(0)) << "no help page";
}

TEST_F(Wizard, BackFromARefusedFolderKeepsTheCheckedOneAndASecondUserKeepsTheirOptions) {
    // A second user of this computer, whose options were saved before the
    // first user answers the questions.
    std::string secondUser = testfiles::Read(userFile);
    for (const auto& [option, from, to] : {std::tuple<std::string, std::string, std::string>{"TargetType", "3", "0"},
                                           {"Action", "0", "2"}}) {
        const size_t value = secondUser.find("Value=\"" + from + "\"", secondUser.find("Name=\"" + option + "\""));
        secondUser.replace(value, from.size() + 8, "Value=\"" + to + "\"");
    }
    int nextOnMissing = -1;
    const auto outcome = Run([&] {
        auto [page, name] = CurrentPage();
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configkey");
        SetChecked(page, L"configoptions", L"hidecursor", false);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configoptions");
        SetChecked(page, L"configaction", L"save", true);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configaction");
        ASSERT_EQ(name, L"configfolder");
        // A folder that does not exist: Next refuses it, Back goes anyway.
        HWND path = ::FindWindowExW(page, nullptr, L"Edit", nullptr);
        const std::wstring missing = documents + L"NoSuchFolder\\";
        ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(missing.c_str()));
        ::Sleep(100);
        nextOnMissing = ::IsWindowEnabled(::GetDlgItem(page, IDOK)) ? 1 : 0;
        Press(page, 11);
        std::tie(page, name) = CurrentPage(L"configfolder");
        ASSERT_EQ(name, L"configaction");
        SetChecked(page, L"configaction", L"save", false);
        SetChecked(page, L"configaction", L"open", true);
        Press(page, IDOK);
        std::tie(page, name) = CurrentPage(L"configaction");
        ASSERT_EQ(name, L"finish");
        Press(page, IDOK);
    });
    ASSERT_EQ(outcome, ConfigurationWizard::Outcome::Finished);
    EXPECT_EQ(nextOnMissing, 0);
    CaptureOptions saved;
    EXPECT_EQ(saved.GetProfileOption(L"DefaultProfile", L"TargetFolder"), platform::WithTrailingBackslash(documents))
        << "the folder refused on the way back is not stored";
    EXPECT_EQ(saved.GetProfileOption(L"DefaultProfile", L"Action"), L"Save to clipboard,to file and run editor");
    ASSERT_EQ(testfiles::Read(defaultFile), testfiles::Read(userFile)) << "the answers are the installation's defaults";

    // The second user's next start meets defaults newer than their file:
    // every setting of theirs stays, changed or not.
    testfiles::Write(userFile, secondUser);
    testfiles::SetWriteTime(userFile, -3600);
    CaptureOptions second;
    EXPECT_EQ(second.GetProfileOption(L"DefaultProfile", L"Action"), L"Save to clipboard and file");
    EXPECT_EQ(second.GetProfileOption(L"DefaultProfile", L"TargetType"), L"bmp");
    EXPECT_EQ(second.GetProgramOption(L"HideCursor", false), L"1") << "not the first user's answer";
    EXPECT_EQ(second.GetProfileOption(L"DefaultProfile", L"TargetFolder"), L"");
    EXPECT_EQ(testfiles::Read(userFile), secondUser) << "the same options, so the same file";
    EXPECT_EQ(testfiles::Read(userFile + L".bak"), secondUser);
}

TEST_F(Wizard, AnswersThatCannotBeSavedAreToldAndDoNotCountAsFinished) {
    const std::string defaults = testfiles::Read(defaultFile);
    std::wstring message;
    ConfigurationWizard::Outcome outcome;
    {
        // Another program holds the options file and will not let it be
        // replaced.
        platform::UniqueFile held(::CreateFileW(userFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(held));
        outcome = Run([&] {
            auto [page, name] = ActionPageAsOffered();
            Press(page, IDOK);
            std::tie(page, name) = CurrentPage(L"configaction");
            ASSERT_EQ(name, L"finish");
            ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            for (int i = 0; i < 200 && message.empty(); ++i) {
                ::Sleep(50);
                HWND box = ::FindWindowW(L"#32770", nullptr);
                if (box && box != page && ::GetDlgItem(box, 0xFFFF) && !::GetDlgItem(box, 11)) {
                    wchar_t text[1024] = {};
                    ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
                    message = text;
                    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                }
            }
        });
    }
    EXPECT_EQ(outcome, ConfigurationWizard::Outcome::NotSaved);
    EXPECT_EQ(message, FillFirstArgument(ExpandText(L"ConfigNotSaved"), userFile));
    EXPECT_NE(ExpandText(L"ConfigNotSaved"), L"ConfigNotSaved") << "a translated text";
    EXPECT_EQ(testfiles::Read(defaultFile), defaults) << "the installation's defaults stay";
    EXPECT_FALSE(HelpPageOpened(0));
}
