// The support information: the summary in the dialog, the mail that the
// mail library receives (through the suite's own MAPI32.DLL beside this
// program), the cut body, and the error box when there is no library.
#include "platform/FileSystem.h"
#include "shellutil/SupportInfoDialog.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"
#include "platform/FileSystem.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <map>

using screen::Pump;

namespace {

const std::wstring kDescription = std::wstring(SNAPWELL_DATA_FOLDER) + L"\\commonui.xml";

std::wstring ProgramFile(const wchar_t* name) { return platform::GetProgramFolder() + name; }
std::wstring Record() { return GetTempFolder(false) + L"snapwell-mapi.txt"; }

// What the stand-in library wrote: "key=value" lines, the body last.
std::map<std::string, std::string> ReadRecord() {
    std::map<std::string, std::string> fields;
    const std::string data = testfiles::Read(Record());
    size_t start = 0;
    while (start < data.size()) {
        const size_t equals = data.find('=', start);
        if (equals == std::string::npos) break;
        const std::string key = data.substr(start, equals - start);
        size_t end = key == "body" ? data.size() : data.find('\n', equals);
        if (end == std::string::npos) end = data.size();
        fields[key] += data.substr(equals + 1, end - equals - 1);
        start = end + 1;
    }
    return fields;
}

class SupportMailTest : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        testfiles::Remove(Record());
        ::CopyFileW(SNAPWELL_FAKE_MAPI, ProgramFile(L"MAPI32.DLL").c_str(), FALSE);
    }
    void TearDown() override {
        testfiles::Remove(ProgramFile(L"MAPI32.DLL"));
        testfiles::Remove(Record());
        OptionsFiles::TearDown();
    }
    // Presses "send" in the dialog and reads its messages until the mail
    // thread has handed it back; whether the dialog was disabled meanwhile.
    static bool Send(CSupportInfoDialog& dialog) {
        ::PostMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(dialog.IdOf(L"send"), BN_CLICKED),
                       reinterpret_cast<LPARAM>(dialog.ControlByName(L"send")));
        bool disabled = false;
        for (int i = 0; i < 20 && !disabled; ++i) {
            Pump(10);
            disabled = !::IsWindowEnabled(dialog.hwnd());
        }
        for (int i = 0; i < 200 && !::IsWindowEnabled(dialog.hwnd()); ++i) Pump(50);
        return disabled;
    }
};

}  // namespace

TEST(SupportMail, BodyIsCutKeepingThePromptAndTheSeparator) {
    const std::wstring separator = L"\r\n\r\n\r\n" + std::wstring(79, L'-') + L"\r\n";
    const SupportMail mail = BuildSupportMail(L"help@example.com", std::wstring(300, L's'), L"<Enter details>",
                                              std::wstring(10000, L'x'), L"");
    EXPECT_EQ(mail.recipient, "help@example.com");
    EXPECT_EQ(mail.address, "SMTP:help@example.com");
    EXPECT_EQ(mail.subject.size(), kMailSubjectSize - 1);
    ASSERT_EQ(mail.body.size(), kMailBodySize - 1);
    const std::string start = "<Enter details>\r\n" + std::string(separator.begin(), separator.end());
    EXPECT_EQ(mail.body.substr(0, start.size()), start) << "the prompt and the separator stay";
    EXPECT_EQ(mail.body.back(), 'x');
    EXPECT_TRUE(mail.attachment.empty());
}

TEST_F(SupportMailTest, TheMailProgramGetsTheSummaryAndTheSettingsFile) {
    testfiles::Write(userFile, "<ToolOptions/>");
    CSupportInfoDialog dialog(nullptr, kDescription);
    ASSERT_NE(dialog.CreateModelessDialog(), nullptr);
    ::ShowWindow(dialog.hwnd(), SW_SHOW);
    wchar_t shown[4096] = {};
    ::GetWindowTextW(dialog.ControlByName(L"info"), shown, 4096);
    EXPECT_EQ(std::wstring(shown).rfind(L"Product:\t\tSnapwell\t(", 0), 0u) << "the summary in the dialog";
    EXPECT_NE(std::wstring(shown).find(L":\t" + userFolder + L"\t(ok)\r\n"), std::wstring::npos)
        << "the per-user folder, writable";
    unixtools::Screenshot("supportinfo-dialog");

    EXPECT_TRUE(Send(dialog)) << "the dialog waits while the mail program has the mail";
    EXPECT_TRUE(::IsWindowEnabled(dialog.hwnd()));
    auto record = ReadRecord();
    EXPECT_EQ(record["flags"], "11") << "log-on UI, new session, dialog";
    EXPECT_EQ(record["recipients"], "1");
    EXPECT_EQ(record["to"], "1|support@snapwell.veltrane.com|SMTP:support@snapwell.veltrane.com");
    EXPECT_EQ(record["subject"], "Snapwell Support Info: Snapwell 1.0 for Windows");
    const std::string body = record["body"];
    const std::string start = "<Enter details of the issue here>\r\n\r\n\r\n\r\n" + std::string(79, '-') + "\r\n";
    EXPECT_EQ(body.substr(0, start.size()), start);
    EXPECT_NE(body.find("Product:\t\tSnapwell\t("), std::string::npos) << body;
    EXPECT_NE(body.find("\r\nOperating System:\tWindows"), std::string::npos);
    EXPECT_NE(body.find("\r\nSnapwell Folder:\t"), std::string::npos) << "labels as written, product filled in";
    EXPECT_NE(body.find("\r\nAdobe Acrobat:\t"), std::string::npos) << "the last line";
    EXPECT_EQ(record["files"], "1");
    std::string settings;
    for (wchar_t c : userFile) settings += static_cast<char>(c);
    EXPECT_EQ(record["file"], "-1|" + settings) << "the per-user settings file, at no place in the body";

    // Without a settings file in either folder, nothing is attached.
    testfiles::Remove(userFile);
    testfiles::Remove(Record());
    EXPECT_TRUE(Send(dialog));
    record = ReadRecord();
    EXPECT_EQ(record["files"], "0");
    EXPECT_EQ(record.count("file"), 0u);
    ::DestroyWindow(dialog.hwnd());
}

TEST_F(SupportMailTest, WithoutTheMailLibraryAnErrorBoxAndTheDialogComesBack) {
    testfiles::Remove(ProgramFile(L"MAPI32.DLL"));
    ASSERT_EQ(::GetFileAttributesW(ProgramFile(L"MAPI32.DLL").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(::GetModuleHandleW(L"MAPI32.DLL"), nullptr);
    CSupportInfoDialog dialog(nullptr, kDescription);
    ASSERT_NE(dialog.CreateModelessDialog(), nullptr);
    ::PostMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(dialog.IdOf(L"send"), BN_CLICKED), 0);
    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
        Pump(50);
        box = ::FindWindowW(L"#32770", L"Error");
    }
    ASSERT_NE(box, nullptr) << "an error box";
    EXPECT_FALSE(::IsWindowEnabled(dialog.hwnd())) << "the dialog waits for the mail thread";
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    EXPECT_EQ(std::wstring(text).rfind(L"Cannot launch your email client.", 0), 0u) << text;
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 200 && !::IsWindowEnabled(dialog.hwnd()); ++i) Pump(50);
    EXPECT_TRUE(::IsWindowEnabled(dialog.hwnd())) << "enabled again when the thread reports";
    EXPECT_EQ(::GetFileAttributesW(Record().c_str()), INVALID_FILE_ATTRIBUTES) << "nothing was sent";
    ::DestroyWindow(dialog.hwnd());
}

TEST_F(SupportMailTest, ASettingsPathOutsideTheAnsiCodePageOrTooLongIsAttachedByItsShortPath) {
    // A user named in Cyrillic, whose profile the ANSI code page cannot
    // write, and a profile folder deeper than 259 bytes.
    const std::wstring base = GetTempFolder(false) + L"Snapwell mail \u0416\u0443\u043a\\";
    testfiles::RemoveTree(base);
    ::CreateDirectoryW(base.c_str(), nullptr);
    std::wstring deep = base;
    while (deep.size() < 300) {
        deep += L"a folder with a long name for the support mail test\\";
        ::CreateDirectoryW(deep.c_str(), nullptr);
    }
    for (const std::wstring& settings : {base + L"options.xml", deep + L"options.xml"}) {
        testfiles::Write(settings, "<ToolOptions attached='yes'/>");
        ASSERT_TRUE(platform::FileExists(settings));
        testfiles::Remove(Record());
        const SupportMail mail = BuildSupportMail(L"help@example.com", L"subject", L"prompt", L"summary", settings);
        EXPECT_LT(mail.attachment.size(), kMailPathSize);
        EXPECT_EQ(SendMapiMessage(nullptr, mail).outcome, MailOutcome::Sent);
        const auto record = ReadRecord();
        EXPECT_EQ(record.count("file"), 1u);
        EXPECT_EQ(record.count("filedata"), 1u) << "the mail program can open the file it was given";
        if (record.count("filedata")) {
            EXPECT_EQ(record.at("filedata"), "<ToolOptions attached='yes'/>");
        }
    }
    testfiles::RemoveTree(base);
}

TEST_F(SupportMailTest, AFailedHandOverIsReportedAndACancelIsNot) {
    LoadOptionsFrom("<ToolOptions><ProgramOptions Name='P'/><Profiles Name='Profiles'/><HotKeys/></ToolOptions>");
    TextCatalog& catalog = CCorvaneApp::Current()->GetTextCatalog();
    const TextCatalog saved = catalog;
    ASSERT_TRUE(LoadShippedLanguages());
    const std::wstring failedText = ExpandText(L"SupportMailFailed", true);
    EXPECT_NE(failedText, L"SupportMailFailed") << "a text of the language files";

    CSupportInfoDialog dialog(nullptr, kDescription);
    ASSERT_NE(dialog.CreateModelessDialog(), nullptr);
    // A box the dialog owns, answered with OK; its text, or nothing.
    const auto answerBox = [&](int waits) -> std::wstring {
        for (int i = 0; i < waits; ++i) {
            Pump(50);
            HWND box = nullptr;
            for (HWND w = ::FindWindowW(L"#32770", nullptr); w != nullptr; w = ::FindWindowExW(nullptr, w, L"#32770", nullptr))
                if (::GetWindow(w, GW_OWNER) == dialog.hwnd() && ::IsWindowVisible(w)) box = w;
            if (box != nullptr) {
                wchar_t caption[128] = {}, text[1024] = {};
                ::GetWindowTextW(box, caption, 128);
                ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return std::wstring(caption) + L"|" + text;
            }
        }
        return {};
    };

    ::SetEnvironmentVariableW(L"SNAPWELL_FAKE_MAPI_RESULT", L"1");  // MAPI_USER_ABORT
    ::PostMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(dialog.IdOf(L"send"), BN_CLICKED), 0);
    EXPECT_EQ(answerBox(40), L"") << "the user's own cancel needs no message";
    EXPECT_TRUE(::IsWindowEnabled(dialog.hwnd()));

    ::SetEnvironmentVariableW(L"SNAPWELL_FAKE_MAPI_RESULT", L"2");  // MAPI_E_FAILURE
    ::PostMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(dialog.IdOf(L"send"), BN_CLICKED), 0);
    const std::wstring shown = answerBox(200);
    ::SetEnvironmentVariableW(L"SNAPWELL_FAKE_MAPI_RESULT", nullptr);
    std::wstring expected = failedText;
    if (const size_t at = expected.find(L"{1}"); at != std::wstring::npos) expected.replace(at, 3, L"2");
    EXPECT_EQ(shown, L"Snapwell|" + expected);
    for (int i = 0; i < 200 && !::IsWindowEnabled(dialog.hwnd()); ++i) Pump(50);
    EXPECT_TRUE(::IsWindowEnabled(dialog.hwnd())) << "the dialog comes back";
    ::DestroyWindow(dialog.hwnd());
    catalog = saved;
}
