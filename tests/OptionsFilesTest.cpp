// The options file on disk: the per-user copy made from the default beside
// the program, loading and its errors, saving without losing the old file.
#include "options/CaptureOptions.h"
#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"
#include "shellutil/StandardFolders.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

#include <random>

using testfiles::Read;
using testfiles::Write;

namespace {

std::string Options(const char* marker) {
    return std::string("<?xml version=\"1.0\"?>\n<ToolOptions Name=\"Root\"><ProgramOptions Name=\"P\">"
                       "<O Name=\"Marker\" Value=\"") +
           marker + "\"/></ProgramOptions><Profiles Name=\"Profiles\"/><HotKeys/></ToolOptions>\n";
}

int ErrorCodeOfConstruction() {
    try {
        CaptureOptions options;
    } catch (const OptionsError& error) {
        return error.Code();
    }
    return 0;
}

std::wstring ErrorTextOfConstruction() {
    try {
        CaptureOptions options;
    } catch (const OptionsError& error) {
        return error.Text();
    }
    return L"";
}

}  // namespace

TEST_F(OptionsFiles, FirstStartCopiesTheDefaultFileAndLoadsIt) {
    Write(defaultFile, Options("from-default"));
    CaptureOptions options;
    EXPECT_EQ(Read(userFile), Options("from-default"));
    EXPECT_EQ(options.GetProgramOption(L"Marker", false), L"from-default");
}

TEST_F(OptionsFiles, UserFileNewerThanTheDefaultIsKept) {
    Write(defaultFile, Options("from-default"));
    Write(userFile, Options("from-user"));
    testfiles::SetWriteTime(defaultFile, -3600);
    CaptureOptions options;
    EXPECT_EQ(options.GetProgramOption(L"Marker", false), L"from-user");
    EXPECT_EQ(Read(userFile), Options("from-user"));
}

TEST_F(OptionsFiles, NewerDefaultIsMergedKeepingTheUsersValuesAndItsOldFile) {
    // The user's file, saved before an update: values of their own, and an
    // option the update drops.
    const std::string userXml =
        "<?xml version=\"1.0\"?>\n<ToolOptions Name=\"Root\"><ProgramOptions Name=\"P\">"
        "<O Name=\"Marker\" Value=\"from-user\"/>"
        "<G Name=\"Group\"><O Name=\"Inner\" Value=\"user inner\"/><O Name=\"Marker\" Value=\"user nested\"/></G>"
        "<O Name=\"Dropped\" Value=\"user only\"/>"
        "</ProgramOptions><Profiles Name=\"Profiles\"><P Name=\"DefaultProfile\"><O Name=\"Action\" Value=\"1\"/></P>"
        "</Profiles><HotKeys Name=\"Hot Keys\"><K Name=\"CaptureKey\" Value=\"Ctrl + 120\"/></HotKeys></ToolOptions>\n";
    // The update: the same options with other defaults, one new, one gone.
    const std::string defaultXml =
        "<?xml version=\"1.0\"?>\n<!-- updated -->\n<ToolOptions Name=\"Root\"><ProgramOptions Name=\"P\">"
        "<O Name=\"Marker\" Value=\"updated-default\"/>"
        "<G Name=\"Group\"><O Name=\"Inner\" Value=\"default inner\"/><O Name=\"Marker\" Value=\"default nested\"/>"
        "<O Name=\"New\" Value=\"new default\"/></G>"
        "</ProgramOptions><Profiles Name=\"Profiles\"><P Name=\"DefaultProfile\"><O Name=\"Action\" Value=\"0\"/></P>"
        "</Profiles><HotKeys Name=\"Hot Keys\"><K Name=\"CaptureKey\" Value=\"Ctrl + 44\"/></HotKeys></ToolOptions>\n";
    Write(defaultFile, defaultXml);
    Write(userFile, userXml);
    testfiles::SetWriteTime(userFile, -3600);
    CaptureOptions options;
    EXPECT_EQ(options.GetProgramOption(L"Marker", false), L"from-user");
    EXPECT_EQ(options.GetValueByXPath(L"//G/O[@Name='Marker']", false), L"user nested") << "by its path of names";
    EXPECT_EQ(options.GetProgramOption(L"Inner", false), L"user inner");
    EXPECT_EQ(options.GetProfileOption(L"DefaultProfile", L"Action"), L"1");
    EXPECT_EQ(options.GetHotKeyValue(L"CaptureKey"), L"Ctrl + 120");
    EXPECT_EQ(options.GetProgramOption(L"New", false), L"new default") << "what the update adds";
    EXPECT_EQ(options.GetProgramOption(L"Dropped", false), L"") << "what it drops is gone";
    // The file itself: the update's layout with the user's values.
    std::string expected = defaultXml;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"updated-default", "from-user"},
                                   {"default inner", "user inner"}, {"default nested", "user nested"},
                                   {"Action\" Value=\"0\"", "Action\" Value=\"1\""},
                                   {"Ctrl + 44", "Ctrl + 120"}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(Read(userFile), expected);
    EXPECT_EQ(Read(userFile + L".bak"), userXml) << "the old file, byte for byte";

    // The next start finds the merged file newer and leaves it alone.
    testfiles::Remove(userFile + L".bak");
    CaptureOptions again;
    EXPECT_EQ(Read(userFile), expected);
    EXPECT_FALSE(platform::FileExists(userFile + L".bak"));
}

TEST_F(OptionsFiles, NewerDefaultReplacesAUserFileThatDoesNotRead) {
    Write(defaultFile, Options("updated-default"));
    Write(userFile, "<ToolOptions><broken");
    testfiles::SetWriteTime(userFile, -3600);
    CaptureOptions options;
    EXPECT_EQ(options.GetProgramOption(L"Marker", false), L"updated-default");
    EXPECT_EQ(Read(userFile + L".bak"), "<ToolOptions><broken");
}

TEST_F(OptionsFiles, MissingDefaultFileIsCode4EvenWithAUserFile) {
    EXPECT_EQ(ErrorCodeOfConstruction(), 4);
    Write(userFile, Options("from-user"));
    EXPECT_EQ(ErrorCodeOfConstruction(), 4);
    EXPECT_EQ(ErrorTextOfConstruction(), L"There is no options file.");
    EXPECT_EQ(Read(userFile), Options("from-user")) << "the user's file is left alone";
}

TEST_F(OptionsFiles, ForcedEnsureCopiesOverANewerUserFile) {
    Write(defaultFile, Options("from-default"));
    CaptureOptions options;
    Write(userFile, Options("from-user"));
    testfiles::SetWriteTime(userFile, 3600);
    options.EnsureUserOptionsFile(true);
    EXPECT_EQ(Read(userFile), Options("from-default"));
}

TEST_F(OptionsFiles, ReadOnlyDefaultGivesAWritableUserCopy) {
    Write(defaultFile, Options("from-default"));
    ::SetFileAttributesW(defaultFile.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        CaptureOptions options;
        EXPECT_FALSE(::GetFileAttributesW(userFile.c_str()) & FILE_ATTRIBUTE_READONLY);
        EXPECT_TRUE(options.SetProgramOption(L"Marker", L"changed", false));
        EXPECT_TRUE(options.SaveOptions());
    }
    ::SetFileAttributesW(defaultFile.c_str(), FILE_ATTRIBUTE_NORMAL);
    testfiles::SetWriteTime(defaultFile, -3600);
    CaptureOptions again;
    EXPECT_EQ(again.GetProgramOption(L"Marker", false), L"changed");
}

TEST_F(OptionsFiles, UnparsableFileIsCode3WithTheParsersReason) {
    Write(defaultFile, "<?xml version=\"1.0\"?>\n<ToolOptions>\n  <ProgramOptions Name=\"P\">\n</ToolOptions>\n");
    const std::wstring text = ErrorTextOfConstruction();
    EXPECT_EQ(ErrorCodeOfConstruction(), 3);
    const std::wstring prefix = L"Invalid format of options file: ";
    ASSERT_GT(text.size(), prefix.size() + 5);
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_NE(text.find(L"line 4"), std::wstring::npos) << "the reason points at the closing tag";
}

TEST_F(OptionsFiles, BrokenFilesOfEveryKindGiveCode3AndNeverCrash) {
    const std::string good = Options("x");
    std::mt19937 random(7);
    std::string binary(4096, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    const std::string broken[] = {
        "",                                    // empty
        "   \r\n\t ",                          // only blanks
        good.substr(0, good.size() / 2),       // truncated in the middle
        std::string(1000, '\0'),               // zeros
        binary,                                // random bytes
        "\xFF\xFE<\0T\0>\0",                   // a UTF-16 fragment
        "plain text, not XML",
        "<a><b></a>",
        "<ToolOptions Name=\"unterminated",
    };
    for (const std::string& data : broken) {
        Write(defaultFile, data);
        testfiles::Remove(userFile);
        EXPECT_EQ(ErrorCodeOfConstruction(), 3) << "file of " << data.size() << " bytes";
    }
}

// A file keeps its characters whatever encoding it declares: it is read in
// that encoding and written back as UTF-8 with a declaration that says so.
TEST_F(OptionsFiles, DeclaredEncodingsKeepTheirCharactersAcrossSaves) {
    const auto file = [](const std::string& declaration, const std::string& marker) {
        return "<?xml version=\"1.0\"" + declaration + "?>\n<ToolOptions Name=\"Root\"><ProgramOptions Name=\"P\">"
               "<O Name=\"Marker\" Value=\"" + marker + "\"/></ProgramOptions><Profiles Name=\"Profiles\"/>"
               "<HotKeys/></ToolOptions>\n";
    };
    const struct {
        const char* declaration;
        const char* bytes;
        const wchar_t* text;
    } cases[] = {
        {" encoding=\"ISO-8859-1\"", "C:\\J\xFCrgen", L"C:\\J\u00fcrgen"},
        {" encoding='windows-1252'", "C:\\J\xFCrgen \x80", L"C:\\J\u00fcrgen \u20ac"},
        {"", "C:\\J\xC3\xBCrgen", L"C:\\J\u00fcrgen"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.declaration);
        WriteOlderDefault(file(c.declaration, c.bytes));
        testfiles::Remove(userFile);
        for (int saves = 0; saves < 3; ++saves) {
            CaptureOptions options;
            EXPECT_EQ(options.GetProgramOption(L"Marker", false), c.text) << "after " << saves << " saves";
            EXPECT_TRUE(options.SaveOptions());
        }
        const std::string saved = Read(userFile);
        EXPECT_EQ(saved.rfind("<?xml version=\"1.0\"", 0), 0u);
        EXPECT_EQ(saved.find("ISO-8859-1"), std::string::npos);
        EXPECT_EQ(saved.find("windows-1252"), std::string::npos);
        EXPECT_NE(saved.find("C:\\J\xC3\xBCrgen"), std::string::npos) << "UTF-8 bytes";
    }
    // Text that the declared encoding cannot decode is a load error, never
    // a file read with characters dropped.
    for (const std::string& data : {file(" encoding=\"x-unknown-42\"", "J"), file("", "J\xFCrgen"),
                                    file(" encoding=\"UTF-8\"", "J\xC3rgen"), file(" encoding=\"us-ascii\"", "J\xFC")}) {
        Write(defaultFile, data);
        testfiles::Remove(userFile);
        EXPECT_EQ(ErrorCodeOfConstruction(), 3) << data;
    }
}

TEST_F(OptionsFiles, FailedLoadKeepsTheDocumentInMemory) {
    Write(defaultFile, Options("loaded"));
    CaptureOptions options;
    Write(userFile, "<ToolOptions");
    try {
        options.LoadOptions();
        ADD_FAILURE() << "a broken file must not load";
    } catch (const OptionsError& error) {
        EXPECT_EQ(error.Code(), 3);
    }
    EXPECT_EQ(options.GetProgramOption(L"Marker", false), L"loaded");
}

TEST_F(OptionsFiles, UnreadableUserFileIsCode2) {
    Write(defaultFile, Options("x"));
    CaptureOptions options;
    platform::UniqueFile locked(::CreateFileW(userFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(locked));
    try {
        options.LoadOptions();
        ADD_FAILURE() << "a file held exclusively by another program cannot be loaded";
    } catch (const OptionsError& error) {
        EXPECT_EQ(error.Code(), 2);
        EXPECT_EQ(error.Text(), L"Unable to load options file.");
    }
}

TEST_F(OptionsFiles, DeeplyNestedFileLoadsAndLooksUpWithoutExhaustingTheStack) {
    const int depth = 200000;
    std::string data = "<ToolOptions><ProgramOptions Name=\"P\">";
    data.reserve(depth * 8 + 200);
    for (int i = 0; i < depth; ++i) data += "<a>";
    data += "<O Name=\"Deep\" Value=\"bottom\"/>";
    for (int i = 0; i < depth; ++i) data += "</a>";
    data += "</ProgramOptions><Profiles/><HotKeys/></ToolOptions>";
    Write(defaultFile, data);
    CaptureOptions options;
    EXPECT_EQ(options.GetProgramOption(L"Deep", false), L"bottom");
    EXPECT_TRUE(options.SetProgramOption(L"Deep", L"changed", false));
    EXPECT_EQ(options.GetProgramOption(L"Missing", true), L"");
    EXPECT_TRUE(options.SaveOptions());
}

TEST_F(OptionsFiles, SavedSettingsAreReadBackAndNoTemporaryFileStays) {
    Write(defaultFile, Options("x"));
    {
        CaptureOptions options;
        ASSERT_TRUE(options.SetProgramOption(L"Marker", L"saved \u00e9\u4e2d", false));
        EXPECT_TRUE(options.SaveOptions());
    }
    testfiles::SetWriteTime(defaultFile, -3600);
    CaptureOptions again;
    EXPECT_EQ(again.GetProgramOption(L"Marker", false), L"saved \u00e9\u4e2d");
    EXPECT_EQ(testfiles::List(userFolder), std::vector<std::wstring>{L"options.xml"});
}

TEST_F(OptionsFiles, FailedSaveLeavesThePreviousFileIntact) {
    Write(defaultFile, Options("before"));
    CaptureOptions options;
    const std::string before = Read(userFile);
    ASSERT_TRUE(options.SetProgramOption(L"Marker", L"after", false));
    {
        // Another program holds the file and will not let it be replaced.
        platform::UniqueFile held(::CreateFileW(userFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(held));
        EXPECT_FALSE(options.SaveOptions()) << "a failed save is reported";
    }
    EXPECT_EQ(Read(userFile), before);
    EXPECT_EQ(testfiles::List(userFolder), std::vector<std::wstring>{L"options.xml"});
    EXPECT_TRUE(options.SaveOptions()) << "and works once the file is free";
    EXPECT_NE(Read(userFile).find("after"), std::string::npos);
}

TEST_F(OptionsFiles, SavingKeepsTheFilesLayoutAndCommentsAndChangesOnlyTheValue) {
    const std::string shipped = Read(SNAPWELL_SHIPPED_OPTIONS);
    Write(defaultFile, shipped);
    CaptureOptions options;
    ASSERT_TRUE(options.SetProgramOption(L"PlaySound", L"Capture silently", true));
    ASSERT_TRUE(options.SaveOptions());

    std::string expected = shipped;
    const std::string before = "Name=\"PlaySound\" Description=\"Play a shutter sound when a capture is taken.\" "
                               "Control=\"ComboBox\" Value=\"1\"";
    const size_t at = expected.find(before);
    ASSERT_NE(at, std::string::npos);
    expected.replace(at + before.size() - 2, 1, "0");
    // Declaration, comments, layout and escapes all stay as they were.
    EXPECT_EQ(Read(userFile), expected);
}

TEST(OptionsErrorText, FixedTextsByCodeAndMessageOverride) {
    EXPECT_EQ(OptionsError(0).Text(), L"Success");
    EXPECT_EQ(OptionsError(1).Text(), L"Unable to initialize MSXML.");
    EXPECT_EQ(OptionsError(2).Text(), L"Unable to load options file.");
    EXPECT_EQ(OptionsError(4).Text(), L"There is no options file.");
    EXPECT_EQ(OptionsError(5).Text(), L"Unable to load translation map.");
    EXPECT_EQ(OptionsError(7).Text(), L"Internal Error.");
    EXPECT_EQ(OptionsError(8).Text(), L"");
    EXPECT_EQ(OptionsError(9).Text(), L"Unknown Error");
    EXPECT_EQ(OptionsError(-1).Text(), L"Unknown Error");
    EXPECT_EQ(OptionsError(2, L"custom").Text(), L"custom");
    EXPECT_EQ(OptionsError::FixedText(3, L"why"), L"Invalid format of options file: why");
}
