// Loading language files into the catalog from real files and real options:
// the main file then the library's, the first entry winning, damaged files,
// the choice of the language entry, the help folder and the user's language.
#include "platform/FileSystem.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <cwctype>

namespace {

// English and German, the German entry naming sublanguage 1.
std::string LanguageOptions(const char* value, const char* language = "de") {
    return std::string("<ToolOptions><ProgramOptions>"
                       "<Languages Name='Language' Value='") + value + "' Language='" + language + "'>"
           "<Language Name='English' Value='1033' LanguageXML='english.xml' PrimaryLangID='9' SubLangID=''/>"
           "<Language Name='German' Value='1031' LanguageXML='german.xml' PrimaryLangID='7' SubLangID='1'/>"
           "</Languages></ProgramOptions></ToolOptions>";
}

std::string Entries(std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::string xml = "<?xml version='1.0' encoding='UTF-8'?><LanguageOptions>";
    for (const auto& [key, text] : entries)
        xml += std::string("<Item ItemName='") + key + "' ItemTranslation='" + text + "'/>";
    return xml + "</LanguageOptions>";
}

std::string Repeat(const std::string& part, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += part;
    return text;
}

class LanguageFiles : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        folder = GetTempFolder(false) + L"SnapwellLanguages\\";
        testfiles::RemoveTree(folder);
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        catalog.SetLanguageFolder(folder);
        catalog.SetProductTexts({L"Snapwell", L"Veltrane", L"2.1   Build 007", L"", L""});
    }
    void TearDown() override {
        testfiles::RemoveTree(folder);
        OptionsFiles::TearDown();
    }
    void WriteLanguage(const wchar_t* name, const std::string& data) { testfiles::Write(folder + name, data); }
    // Fresh options from xml, whatever an earlier step of the test saved.
    void Reload(const std::string& xml) {
        testfiles::Remove(userFile);
        LoadOptionsFrom(xml.c_str());
    }
    std::wstring Text(const wchar_t* key) const { return catalog.ExpandText(key, true); }

    std::wstring folder;
    TextCatalog catalog;
};

}  // namespace

TEST_F(LanguageFiles, MainFileThenLibraryFileAndTheFirstEntryWins) {
    Reload(LanguageOptions("1031"));
    WriteLanguage(L"german.xml", Entries({{"$applicationname Properties", "Eigenschaften von {applicationname}"},
                                          {"Exit", "Beenden"},
                                          {"Twice", "first"},
                                          {"Twice", "second"},
                                          {"Lines", "Eins{n}Zwei"}}));
    WriteLanguage(L"cvgerman.xml", Entries({{"Exit", "from the library"}, {"Cancel", "Abbrechen"}}));
    ASSERT_TRUE(catalog.LoadLanguages(*options, false)) << catalog.GetLastLoadError();

    EXPECT_EQ(Text(L"$applicationname Properties"), L"Eigenschaften von Snapwell");
    EXPECT_EQ(Text(L"Exit"), L"Beenden") << "the library file does not override the main file";
    EXPECT_EQ(Text(L"Twice"), L"first");
    EXPECT_EQ(Text(L"Cancel"), L"Abbrechen");
    EXPECT_EQ(Text(L"Lines"), L"Eins\nZwei");
    EXPECT_EQ(Text(L"Open $applicationname"), L"Open $applicationname") << "no entry: shown as written";
    EXPECT_EQ(Text(L"exit"), L"exit") << "keys are case-sensitive";
    EXPECT_EQ(catalog.ExpandText(L"Exit", false), L"Exit") << "no lookup without translate";
    EXPECT_EQ(catalog.GetLanguageId(), 7 + 1 * 1024);
    EXPECT_EQ(catalog.GetLanguageFileName(), L"german.xml");

    // A load with clear drops the library's entries as well.
    ASSERT_TRUE(catalog.LoadLanguage(*options, true, L""));
    EXPECT_EQ(Text(L"Cancel"), L"Cancel");
}

TEST_F(LanguageFiles, DamagedFilesLeaveKeysLiteralAndNeverCrash) {
    Reload(LanguageOptions("1031"));
    const std::string good = Entries({{"Exit", "Beenden"}});
    const std::string damaged[] = {
        "",
        good.substr(0, good.size() / 2),
        std::string(2000, '\0'),
        "\xFF\xFE<\0L\0",
        "plain text, not XML",
        "<Other><Item ItemName='Exit' ItemTranslation='Beenden'/></Other>",
        "<Two>" + good.substr(good.find("<L")) + "<LanguageOptions/></Two>",
        std::string(100000, '<') + "LanguageOptions>",
        "<?xml version='1.0'?>" + Repeat("<a>", 200000),
    };
    int index = 0;
    for (const std::string& data : damaged) {
        WriteLanguage(L"german.xml", good);
        ASSERT_TRUE(catalog.LoadLanguage(*options, true, L""));
        WriteLanguage(L"german.xml", data);
        EXPECT_FALSE(catalog.LoadLanguage(*options, false, L"")) << "damage " << index;
        EXPECT_EQ(Text(L"Exit"), L"Beenden") << "without clear the table stays, damage " << index;
        EXPECT_FALSE(catalog.LoadLanguage(*options, true, L"")) << "damage " << index;
        EXPECT_EQ(Text(L"Exit"), L"Exit") << "damage " << index;
        EXPECT_EQ(Text(L"{applicationname}{n}"), L"Snapwell\n") << "placeholders are still filled";
        EXPECT_EQ(catalog.GetEntryCount(), 0u);
        EXPECT_EQ(catalog.GetLanguageId(), TextCatalog::kNoLanguage);
        EXPECT_NE(catalog.GetLastLoadError().find(L"german.xml"), std::wstring::npos) << "damage " << index;
        ++index;
    }
    WriteLanguage(L"german.xml", Repeat("<a>", 100000) + good.substr(good.find("<L")) + Repeat("</a>", 100000));
    EXPECT_TRUE(catalog.LoadLanguage(*options, true, L"")) << "well formed, however deep";
    EXPECT_EQ(Text(L"Exit"), L"Beenden");

    testfiles::Remove(folder + L"german.xml");
    EXPECT_FALSE(catalog.LoadLanguages(*options, false)) << "missing files";
    EXPECT_EQ(Text(L"Exit"), L"Exit");

    WriteLanguage(L"german.xml", good);
    EXPECT_FALSE(catalog.LoadLanguages(*options, false)) << "the library file is still missing";
    EXPECT_EQ(Text(L"Exit"), L"Beenden") << "the main file's entries are kept";
}

TEST_F(LanguageFiles, EntriesNeedBothAttributesNonEmpty) {
    Reload(LanguageOptions("1031"));
    WriteLanguage(L"german.xml",
                  "<Root><!-- any depth --><Deeper><LanguageOptions>text<!-- c -->"
                  "<Item ItemName='NoText'/><Item ItemName='EmptyText' ItemTranslation=''/>"
                  "<Item ItemTranslation='no name'/><Item ItemName='' ItemTranslation='empty name'/>"
                  "<AnyTag ItemName='Taken' ItemTranslation='yes'><Item ItemName='Nested' ItemTranslation='no'/></AnyTag>"
                  "<Item ItemName='EmptyText' ItemTranslation='later entry'/>"
                  "</LanguageOptions></Deeper></Root>");
    ASSERT_TRUE(catalog.LoadLanguage(*options, true, L""));
    EXPECT_EQ(catalog.GetEntryCount(), 2u);
    EXPECT_EQ(Text(L"Taken"), L"yes") << "the element's name is not looked at";
    EXPECT_EQ(Text(L"EmptyText"), L"later entry") << "a skipped entry does not block a later one";
    EXPECT_EQ(Text(L"Nested"), L"Nested") << "only children of LanguageOptions are entries";
    EXPECT_EQ(Text(L"NoText"), L"NoText");
}

TEST_F(LanguageFiles, UnknownLanguageFileGivesTheNeutralIdentifier) {
    LoadOptionsFrom("<ToolOptions><ProgramOptions><Languages Name='Language' Value='1'>"
                    "<Language Name='Mine' Value='1' LanguageXML='mine.xml' PrimaryLangID='' SubLangID=''/>"
                    "</Languages></ProgramOptions></ToolOptions>");
    WriteLanguage(L"mine.xml", Entries({{"Exit", "Quit"}}));
    ASSERT_TRUE(catalog.LoadLanguage(*options, true, L"")) << "the entry's identifier cannot be read";
    EXPECT_EQ(Text(L"Exit"), L"Quit");
    EXPECT_EQ(catalog.GetLanguageId(), TextCatalog::kNoLanguage);
}

TEST_F(LanguageFiles, UnnamedLanguageFollowsTheUiLanguageElseEnglish) {
    const uint16_t primary = GetUiLanguage() & 0x3FF;
    const std::string entry = "<Language Name='UI' Value='42' LanguageXML='ui.xml' PrimaryLangID='" +
                              std::to_string(primary) + "' SubLangID=''/>";
    Reload("<ToolOptions><ProgramOptions><Languages Name='Language' Value='none'>" + entry +
           "</Languages></ProgramOptions></ToolOptions>");
    EXPECT_EQ(ChooseLanguageFile(*options), L"ui.xml");
    EXPECT_NE(testfiles::Read(userFile).find("Value=\"42\""), std::string::npos) << "stored and saved";

    Reload("<ToolOptions><ProgramOptions><Languages Name='Language' Value='none'>"
           "<Language Name='Other' Value='5' LanguageXML='other.xml' PrimaryLangID='1023' SubLangID=''/>"
           "</Languages></ProgramOptions></ToolOptions>");
    EXPECT_EQ(ChooseLanguageFile(*options), L"english.xml");
    EXPECT_EQ(options->GetProgramOption(L"Language", false), L"none") << "no English entry to store";
}

TEST(LanguageEntry, ExactMatchWinsOverTheFirstPrimaryOnlyMatch) {
    pugi::xml_document doc;
    const auto choose = [&doc](const wchar_t* entries, uint16_t langId) {
        doc.load_string((std::wstring(L"<Languages>") + entries + L"</Languages>").c_str());
        return OptionsDocument::ChooseLanguageEntry(doc.first_child(), langId).value_or(L"<none>");
    };
    const wchar_t* bothGerman = L"<Language Value='7,2' PrimaryLangID='7' SubLangID='2'/>"
                                L"<Language Value='7,1' PrimaryLangID='7' SubLangID='1'/>";
    EXPECT_EQ(choose(bothGerman, 0x0407), L"7,1");
    EXPECT_EQ(choose(L"<Language Value='7,2' PrimaryLangID='7' SubLangID='2'/>", 0x0407), L"7,2");
    EXPECT_EQ(choose(L"<L Value='first' PrimaryLangID='9' SubLangID=''/><L Value='second' PrimaryLangID='9'/>", 0x0409),
              L"first");
    EXPECT_EQ(choose(L"<L Value='padded' PrimaryLangID='07' SubLangID='1'/>", 0x0407), L"<none>")
        << "identifiers compare as texts";
    EXPECT_EQ(choose(L"<L Value='en' PrimaryLangID='9' SubLangID=''/>", 0x0407), L"<none>");
}

TEST_F(LanguageFiles, SelectingALanguageStoresAndSavesIt) {
    Reload(LanguageOptions("1033"));
    EXPECT_TRUE(options->SelectLanguageForLangId(0x0407));
    EXPECT_EQ(options->GetLanguageFileForOption(), L"german.xml");
    EXPECT_NE(testfiles::Read(userFile).find("Value=\"1031\""), std::string::npos);

    EXPECT_TRUE(options->SelectLanguageForLangId(0x0411)) << "no Japanese entry";
    EXPECT_EQ(options->GetLanguageFileForOption(), L"german.xml");

    Reload("<ToolOptions><ProgramOptions><Languages Name='Language' Value='1033'>"
           "<Language Name='German' Value='1031' LanguageXML='german.xml' PrimaryLangID='7' SubLangID='1'/>"
           "</Languages><Languages/></ProgramOptions></ToolOptions>");
    EXPECT_TRUE(options->SelectLanguageForLangId(0x0407));
    EXPECT_EQ(options->Document().select_node(L"//Languages").node().attribute(L"Value").value(),
              std::wstring(L"1033")) << "two Languages elements: nothing is chosen";
}

TEST_F(LanguageFiles, HelpFolderNeedsAnIndexPage) {
    testfiles::RemoveTree(folder + L"docs");
    ::CreateDirectoryW((folder + L"docs").c_str(), nullptr);
    ::CreateDirectoryW((folder + L"docs\\de").c_str(), nullptr);
    EXPECT_EQ(GetDocsFolder(folder, L"de"), folder + L"docs\\en\\") << "the folder alone is not enough";
    testfiles::Write(folder + L"docs\\de\\index.htm", "<html/>");
    EXPECT_EQ(GetDocsFolder(folder, L"de"), folder + L"docs\\de\\");
    testfiles::Write(folder + L"docs\\index.htm", "<html/>");
    for (const wchar_t* code : {L"", L".", L"..", L"de\\..", L"C:\\"})
        EXPECT_EQ(GetDocsFolder(folder, code), folder + L"docs\\en\\") << code;

    // The options' code, else the user's locale, below the program folder.
    const std::wstring program = platform::FolderOf(platform::ModuleFileName());
    const std::wstring locale = GetLocaleLanguageName(true);
    testfiles::RemoveTree(program + L"docs");
    ::CreateDirectoryW((program + L"docs").c_str(), nullptr);
    ::CreateDirectoryW((program + L"docs\\" + locale).c_str(), nullptr);
    testfiles::Write(program + L"docs\\" + locale + L"\\index.htm", "<html/>");
    Reload(LanguageOptions("1033", ""));
    EXPECT_EQ(GetDocsFolder(*options), program + L"docs\\" + locale + L"\\");
    Reload(LanguageOptions("1033", "zz"));
    EXPECT_EQ(GetDocsFolder(*options), program + L"docs\\en\\");
    testfiles::RemoveTree(program + L"docs");
}

TEST(UserLanguage, UiLanguageAndLocaleNames) {
    EXPECT_EQ(GetUiLanguage(), ::GetUserDefaultUILanguage());
    const std::wstring code = GetLocaleLanguageName(true);
    ASSERT_EQ(code.size(), 2u);
    EXPECT_TRUE(std::iswlower(code[0]) && std::iswlower(code[1])) << code;
    EXPECT_GT(GetLocaleLanguageName(false).size(), 2u);
}
