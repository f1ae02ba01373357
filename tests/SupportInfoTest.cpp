// The support information: the summary in the dialog, the mail that the
// mail library receives (through the suite's own MAPI32.DLL beside this
// program), the cut body, and the error box when there is no library.
#include "platform/FileSystem.h"
#include "shellutil/SupportInfoDialog.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"

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
