// What happens to a capture: file naming and numbering, the save with its
// error message, the save-as dialog, and the actions, on real files.
#include "options/CaptureOptions.h"
#include "output/PostProcessing.h"
#include "output/SaveAsDialog.h"
#include "platform/FileSystem.h"
#include "tests/DialogWatcher.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"

#include <gtest/gtest.h>

#include <commdlg.h>
#include <cstring>

namespace {

constexpr char kProfileOptions[] =
    "<ToolOptions><ProgramOptions Name='P'><O Name='MultipleCaptureProfiles' Value='0'/></ProgramOptions>"
    "<Profiles Name='Profiles'><Profile Name='DefaultProfile'>"
    "<O Name='Action' Value='Save to file'/><O Name='ColorDepth' Value='24 bits per pixel Color'/>"
    "<O Name='TargetType' Value='png'/><O Name='TargetFolder' Value=''/>"
    "<O Name='FileNameTemplatePrefix' Value='Capture'/><O Name='Annotate' Value='0'/>"
    "</Profile></Profiles><HotKeys/></ToolOptions>";

CCaptureImage Picture(long w = 32, long h = 16) {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(w, h, 24, kImageBmp));
    for (long y = 0; y < h; ++y) std::memset(image.Row(y), static_cast<int>(y * 15), image.Stride());
    return image;
}

// Types a name into the save dialog, selects a type (0-based) and presses
// Save, as a user would.
void TypeNameAndSave(HWND dialog, const wchar_t* name, int typeIndex) {
    ::SendMessageW(dialog, CDM_SETCONTROLTEXT, 0x47C /* cmb13 */, reinterpret_cast<LPARAM>(name));
    ::SendMessageW(dialog, CDM_SETCONTROLTEXT, 0x480 /* edt1 */, reinterpret_cast<LPARAM>(name));
    HWND types = ::GetDlgItem(dialog, 0x470 /* cmb1 */);
    ::SendMessageW(types, CB_SETCURSEL, typeIndex, 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

// A message box that the dialog owns, waited for on the watcher's thread
// (which owns no windows); its text, and the button it was answered with.
std::wstring AnswerOwnedBox(HWND owner, int button, DWORD ms = 5000) {
    struct Search {
        HWND owner, found;
    };
    for (DWORD waited = 0; waited < ms; waited += 50) {
        Search search{owner, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                wchar_t cls[32] = {};
                ::GetClassNameW(window, cls, 32);
                if (::GetWindow(window, GW_OWNER) == s->owner && ::IsWindowVisible(window) &&
                    std::wstring(cls) == L"#32770") {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            ::Sleep(200);
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(search.found, 0xFFFF, text, 1024);
            ::PostMessageW(search.found, WM_COMMAND, button, 0);
            return text;
        }
        ::Sleep(50);
    }
    return L"<no box>";
}

class Output : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(kProfileOptions);
        shots = FreshDocumentsFolder(L"SnapwellShots");
        ASSERT_TRUE(platform::DirectoryExists(shots));
    }
    void TearDown() override {
        testfiles::RemoveTree(shots);
        OptionsFiles::TearDown();
    }
    void Set(const wchar_t* key, const std::wstring& value) {
        ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", key, value));
    }
    std::wstring shots;
};

}  // namespace

TEST(FileNumbering, RisesAcrossCapturesAndSkipsExistingFiles) {
    const std::wstring folder = GetTempFolder(false) + L"snapwell-numbering\\";
    testfiles::RemoveTree(folder);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    CaptureFileNumbering run;
    EXPECT_EQ(run.MakeUniqueFileName(folder + L"Capture", L"png"), folder + L"Capture1.png");
    EXPECT_EQ(run.MakeUniqueFileName(folder + L"Capture", L"png"), folder + L"Capture2.png");
    testfiles::Write(folder + L"Capture3.png", "x");
    ::CreateDirectoryW((folder + L"Capture4.png").c_str(), nullptr);
    EXPECT_EQ(run.MakeUniqueFileName(folder + L"Capture", L"png"), folder + L"Capture5.png")
        << "existing files and folders are skipped";
    EXPECT_EQ(run.Counter(), 5u);

    CaptureFileNumbering nextRun;
    EXPECT_EQ(nextRun.MakeUniqueFileName(folder + L"Capture", L"png"), folder + L"Capture1.png");
    testfiles::Write(folder + L"Shot1.jpg", "x");
    EXPECT_EQ(nextRun.MakeUniqueFileName(folder + L"Shot", L"jpg"), folder + L"Shot2.jpg")
        << "one counter for every prefix";
    testfiles::RemoveTree(folder);
}

TEST(FileNumbering, TargetFolderTrimming) {
    EXPECT_EQ(TrimTargetFolder(L"C:\\Shots\\\\\\ "), L"C:\\Shots");
    EXPECT_EQ(TrimTargetFolder(L"  C:\\Shots"), L"C:\\Shots");
    EXPECT_EQ(TrimTargetFolder(L"\\\\server\\share\\"), L"\\\\server\\share") << "a network path keeps its start";
    EXPECT_EQ(TrimTargetFolder(L" \\ \\ "), L"");
    EXPECT_EQ(TrimTargetFolder(L""), L"");
}

TEST(SaveAsExtension, SelectedTypeDecidesTheExtension) {
    EXPECT_EQ(CSaveAsDialog::WithFilterExtension(L"C:\\a\\shot.png", 2), L"C:\\a\\shot.jpg");
    EXPECT_EQ(CSaveAsDialog::WithFilterExtension(L"C:\\a\\shot.PNG", 2), L"C:\\a\\shot.PNG.jpg");
    EXPECT_EQ(CSaveAsDialog::WithFilterExtension(L"C:\\a\\shot", 3), L"C:\\a\\shot.png");
    EXPECT_EQ(CSaveAsDialog::WithFilterExtension(L"C:\\a\\shot.tif", 4), L"C:\\a\\shot.tif");
    EXPECT_EQ(CSaveAsDialog::WithFilterExtension(L"C:\\a\\shot.gif", 1), L"C:\\a\\shot.gif.bmp");
    EXPECT_EQ(CSaveAsDialog::FilterIndexForType(L"PNG"), 3u);
    EXPECT_EQ(CSaveAsDialog::FilterIndexForType(L"tif"), 4u);
    EXPECT_EQ(CSaveAsDialog::FilterIndexForType(L"gif"), 0u);
    EXPECT_EQ(CSaveAsDialog::FilterIndexForType(L""), 0u);
}

TEST_F(Output, SavesTheNextNumberedFileInTheProfilesFolderAndType) {
    Set(L"TargetFolder", shots + L"\\\\ ");
    Set(L"TargetType", L"jpg");
    const std::wstring first = SaveCaptureToFile(*options, Picture());
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(platform::FolderOf(first), shots);
    const std::wstring second = SaveCaptureToFile(*options, Picture());
    EXPECT_NE(first, second);
    EXPECT_EQ(unixtools::Identify(first, "%m %w %h"), "JPEG 32 16");
    EXPECT_EQ(unixtools::Identify(second, "%m"), "JPEG");
    EXPECT_EQ(testfiles::List(shots).size(), 2u);
}

TEST_F(Output, ASaveIntoAMissingFolderShowsThePathAndTheErrorAndWritesNothing) {
    Set(L"TargetFolder", shots + L"missing");
    auto message = dialogs::AnswerMessageBox();
    EXPECT_EQ(SaveCaptureToFile(*options, Picture()), L"");
    const std::wstring shown = message.get();
    const size_t bar = shown.find(L'|');
    ASSERT_NE(bar, std::wstring::npos) << "no message box was shown";
    EXPECT_EQ(shown.substr(0, bar), L"Snapwell");
    const std::wstring text = shown.substr(bar + 1);
    const std::wstring path = text.substr(0, text.find(L'\n'));
    EXPECT_EQ(path.substr(0, shots.size() + 15), shots + L"missing\\Capture");
    EXPECT_EQ(path.substr(path.size() - 4), L".png");
    EXPECT_EQ(text.substr(text.find(L'\n') + 1), SaveErrorText());
    EXPECT_TRUE(testfiles::List(shots).empty());
    EXPECT_FALSE(platform::DirectoryExists(shots + L"missing")) << "a missing folder is not created";
}

TEST_F(Output, ASaveIntoAnUnwritableFolderShowsTheMessage) {
    Set(L"TargetFolder", testfiles::UnwritableFolder());
    auto message = dialogs::AnswerMessageBox();
    EXPECT_EQ(SaveCaptureToFile(*options, Picture()), L"");
    EXPECT_NE(message.get().find(testfiles::UnwritableFolder() + L"Capture"), std::wstring::npos);
}

TEST_F(Output, PromptOpensTheSaveDialogOnTheNextUntitledNameAndTheTypeDecides) {
    Set(L"TargetFolder", shots);
    Set(L"FileNameTemplatePrefix", L"<PromptWhenSaving>");
    std::wstring offered;
    auto answer = dialogs::Answer([&](HWND dialog) {
        // The hook dialog is a child of the real one; find the file dialog itself.
        wchar_t name[MAX_PATH] = {};
        ::SendMessageW(dialog, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(name));
        offered = name;
        ::SendMessageW(dialog, CDM_SETCONTROLTEXT, 0x47C /* cmb13 */, reinterpret_cast<LPARAM>(L"shot.png"));
        ::SendMessageW(dialog, CDM_SETCONTROLTEXT, 0x480 /* edt1 */, reinterpret_cast<LPARAM>(L"shot.png"));
        HWND types = ::GetDlgItem(dialog, 0x470 /* cmb1 */);
        ::SendMessageW(types, CB_SETCURSEL, 1, 0);  // JPG files
        // A user's choice in the list sends both notifications.
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return std::wstring(L"answered");
    });
    const std::wstring saved = SaveCaptureToFile(*options, Picture());
    EXPECT_EQ(answer.get(), L"answered");
    EXPECT_EQ(offered.substr(0, 8), L"Untitled");
    EXPECT_EQ(offered.substr(offered.size() - 4), L".png");
    EXPECT_EQ(saved, shots + L"shot.jpg");
    EXPECT_EQ(unixtools::Identify(saved, "%m"), "JPEG");
}

TEST_F(Output, TheSaveDialogAsksAboutTheNameThatWillReallyBeWritten) {
    Set(L"TargetFolder", shots);
    Set(L"FileNameTemplatePrefix", L"<PromptWhenSaving>");
    testfiles::Write(shots + L"report.png", "the user's report");
    testfiles::Write(shots + L"shot.jpg", "the user's shot");

    // "report" with PNG selected is report.png: the user is asked, says No,
    // and the dialog stays for another name, which is saved.
    std::wstring asked, stillOpen, askedAgain;
    auto answer = dialogs::Answer([&](HWND dialog) {
        TypeNameAndSave(dialog, L"report", 2);
        asked = AnswerOwnedBox(dialog, IDNO);
        ::Sleep(500);
        stillOpen = ::IsWindowVisible(dialog) ? L"open" : L"closed";
        TypeNameAndSave(dialog, L"report2", 2);
        askedAgain = AnswerOwnedBox(dialog, IDYES, 1500);
        return std::wstring(L"answered");
    });
    EXPECT_EQ(SaveCaptureToFile(*options, Picture()), shots + L"report2.png");
    EXPECT_EQ(answer.get(), L"answered");
    EXPECT_NE(asked.find(shots + L"report.png"), std::wstring::npos) << "asked about report.png: " << asked.size();
    EXPECT_EQ(stillOpen, L"open") << "No keeps the dialog for another name";
    EXPECT_EQ(askedAgain, L"<no box>") << "a new name is not asked about";
    EXPECT_EQ(testfiles::Read(shots + L"report.png"), "the user's report");
    EXPECT_EQ(unixtools::Identify(shots + L"report2.png", "%m"), "PNG");

    // "shot.png" with JPG selected is shot.jpg: that is the file asked
    // about, and Yes replaces it.
    answer = dialogs::Answer([&](HWND dialog) {
        TypeNameAndSave(dialog, L"shot.png", 1);
        asked = AnswerOwnedBox(dialog, IDYES);
        return std::wstring(L"answered");
    });
    const std::wstring saved = SaveCaptureToFile(*options, Picture());
    EXPECT_EQ(answer.get(), L"answered");
    EXPECT_NE(asked.find(shots + L"shot.jpg"), std::wstring::npos) << "asked about shot.jpg";
    EXPECT_EQ(saved, shots + L"shot.jpg");
    EXPECT_EQ(unixtools::Identify(saved, "%m"), "JPEG");
    EXPECT_FALSE(platform::FileExists(shots + L"shot.png"));
}

TEST_F(Output, CancelledSaveDialogSavesNothingAndSaysNothing) {
    Set(L"TargetFolder", L"");  // no folder: the dialog always opens
    std::wstring offered;
    auto answer = dialogs::Answer([&](HWND dialog) {
        wchar_t name[MAX_PATH] = {};
        ::SendMessageW(dialog, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(name));
        offered = name;
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return std::wstring(L"cancelled");
    });
    EXPECT_EQ(SaveCaptureToFile(*options, Picture()), L"");
    EXPECT_EQ(answer.get(), L"cancelled");
    EXPECT_EQ(offered.substr(0, 7), L"Capture") << "a bare file name";
    EXPECT_EQ(dialogs::FindProcessDialog(), nullptr);
}

TEST_F(Output, PostProcessingAppliesTheDepthThenTheAction) {
    Set(L"TargetFolder", shots);
    Set(L"ColorDepth", L"8 bits per pixel Grayscale");
    CCaptureImage image = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, image, nullptr), 1);
    EXPECT_EQ(image.Bpp(), 8);
    const auto files = testfiles::List(shots);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(unixtools::Identify(shots + files[0], "%[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]"), "3 8");

    Set(L"ColorDepth", L"1 bit per pixel Monochrome");
    Set(L"Action", L"no such action");
    CCaptureImage dropped = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, dropped, nullptr), 1);
    EXPECT_EQ(dropped.Bpp(), 1) << "converted, then dropped";
    EXPECT_EQ(testfiles::List(shots).size(), 1u);

    Set(L"ColorDepth", L"16 bits per pixel Color");
    Set(L"Action", L"Save to file");
    CCaptureImage sixteen = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, sixteen, nullptr), 1);
    EXPECT_EQ(sixteen.Bpp(), 24);
    EXPECT_EQ(testfiles::List(shots).size(), 2u);
}

TEST_F(Output, MarkupSeesTheFullColourPictureAndDoneOrDiscardDecideWhatIsSaved) {
    Set(L"TargetFolder", shots);
    Set(L"ColorDepth", L"8 bits per pixel Grayscale");
    int calls = 0;
    int seenBpp = 0;
    MarkupResult answer = MarkupResult::Done;
    const MarkupHandler handler = [&](CCaptureImage& image) {
        ++calls;
        seenBpp = image.Bpp();
        // A white mark at the start of the picture's first stored row (its
        // bottom row), which is black.
        std::memset(image.Row(0), 0xFF, 3 * 4);
        return answer;
    };

    // "Annotate" "0" and no request: the handler is never asked.
    Set(L"Annotate", L"0");
    CCaptureImage plain = Picture();
    CaptureOutcome outcome;
    EXPECT_EQ(ImagePostProcessing(*options, plain, nullptr, &outcome, {handler, false}), 1);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(testfiles::List(shots).size(), 1u);
    EXPECT_EQ(unixtools::Identify(outcome.savedPath, "%[pixel:p{0,15}]"), "srgb(0,0,0)");

    // "Annotate" "1": the handler sees 24 bits, the file has its mark in grey.
    Set(L"Annotate", L"1");
    CCaptureImage marked = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, marked, nullptr, &outcome, {handler, false}), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenBpp, 24) << "before the colour depth";
    EXPECT_FALSE(outcome.discarded);
    EXPECT_EQ(testfiles::List(shots).size(), 2u);
    ASSERT_FALSE(outcome.savedPath.empty());
    EXPECT_EQ(unixtools::Identify(outcome.savedPath, "%[png:IHDR.color-type-orig] %[pixel:p{0,15}] %[pixel:p{5,15}]"),
              "3 srgb(255,255,255) srgb(0,0,0)");

    // Discard: nothing saved, and the outcome says so.
    answer = MarkupResult::Discard;
    CCaptureImage dropped = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, dropped, nullptr, &outcome, {handler, false}), 1);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(outcome.discarded);
    EXPECT_FALSE(outcome.Produced());
    EXPECT_EQ(testfiles::List(shots).size(), 2u);

    // Asked for once with "Annotate" "0"; without a handler nothing is asked.
    Set(L"Annotate", L"0");
    answer = MarkupResult::Done;
    CCaptureImage once = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, once, nullptr, &outcome, {handler, true}), 1);
    EXPECT_EQ(calls, 3);
    CCaptureImage unhandled = Picture();
    EXPECT_EQ(ImagePostProcessing(*options, unhandled, nullptr, &outcome, {{}, true}), 1);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(testfiles::List(shots).size(), 4u);
}
