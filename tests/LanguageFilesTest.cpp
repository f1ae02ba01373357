// Loading language files into the catalog from real files and real options:
// the main file then the library's, the first entry winning, damaged files,
// the choice of the language entry and the help folder.
#include "platform/FileSystem.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

std::string Languages(const char* value, const char* entries, const char* code = "de") {
    return std::string("<ToolOptions><ProgramOptions><Languages Name='Language' Value='") + value +
           "' Language='" + code + "'>" + entries + "</Languages></ProgramOptions></ToolOptions>";
}

// English, and German naming sublanguage 1.
constexpr char kEnglishGerman[] =
    "<Language Name='English' Value='1033' LanguageXML='english.xml' PrimaryLangID='9' SubLangID=''/>"
    "<Language Name='German' Value='1031' LanguageXML='german.xml' PrimaryLangID='7' SubLangID='1'/>";

std::string Entries(std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::string xml = "<?xml version='1.0' encoding='UTF-8'?><LanguageOptions>";
    for (const auto& [key, text] : entries)
        xml += std::string("<Item ItemName='") + key + "' ItemTranslation='" + text + "'/>";
    return xml + "</LanguageOptions>";
}

std::string Repeat(const std::string& part, int times) {
    std::string text;
    while (times-- > 0) text += part;
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
        catalog.SetProductTexts({L"Snapwell", L"Veltrane", L"", L"", L""});
        Reload(Languages("1031", kEnglishGerman));
    }
    void TearDown() override {
        testfiles::RemoveTree(folder);
        OptionsFiles::TearDown();
    }
    // Fresh options from xml, whatever an earlier step saved.
    void Reload(const std::string& xml) {
        testfiles::Remove(userFile);
        LoadOptionsFrom(xml.c_str());
    }
    void WriteLanguage(const wchar_t* name, const std::string& data) { testfiles::Write(folder + name, data); }
    std::wstring Text(const wchar_t* key) const { return catalog.ExpandText(key, true); }

    std::wstring folder;
    TextCatalog catalog;
};

}  // namespace

TEST_F(LanguageFiles, MainFileThenLibraryFileAndTheFirstEntryWins) {
    WriteLanguage(L"german.xml", Entries({{"$applicationname Properties", "Eigenschaften von {applicationname}"},
                                          {"Exit", "Beenden"}, {"Twice", "first"}, {"Twice", "second"}}));
    WriteLanguage(L"cvgerman.xml", Entries({{"Exit", "from the library"}, {"Cancel", "Abbrechen"}}));
    ASSERT_TRUE(catalog.LoadLanguages(*options, false)) << catalog.GetLastLoadError();

    EXPECT_EQ(Text(L"$applicationname Properties"), L"Eigenschaften von Snapwell");
    EXPECT_EQ(Text(L"Exit"), L"Beenden") << "the library file does not override the main file";
    EXPECT_EQ(Text(L"Twice"), L"first");
    EXPECT_EQ(Text(L"Cancel"), L"Abbrechen");
    EXPECT_EQ(Text(L"Open $applicationname"), L"Open $applicationname") << "no entry: shown as written";
    EXPECT_EQ(Text(L"exit"), L"exit") << "keys are case-sensitive";
    EXPECT_EQ(catalog.ExpandText(L"Exit", false), L"Exit") << "no lookup without translate";
    EXPECT_EQ(catalog.GetLanguageId(), 0x0407) << "the language of the file, not of its library companion";

    ASSERT_TRUE(catalog.LoadLanguage(*options, true, L""));
    EXPECT_EQ(Text(L"Cancel"), L"Cancel") << "clear drops the library's entries too";
}

TEST_F(LanguageFiles, DamagedFilesLeaveKeysLiteralAndNeverCrash) {
    const std::string good = Entries({{"Exit", "Beenden"}});
    const std::string list = good.substr(good.find("<L"));
    const std::string damaged[] = {
        "",
        good.substr(0, good.size() / 2),
        std::string(2000, '\0'),
        "\xFF\xFE<\0L\0",
        "plain text, not XML",
        "<Other><Item ItemName='Exit' ItemTranslation='Beenden'/></Other>",
        "<Two>" + list + "<LanguageOptions/></Two>",
        std::string(100000, '<') + "LanguageOptions>",
        "<?xml version='1.0'?>" + Repeat("<a>", 200000),
    };
    for (size_t i = 0; i < std::size(damaged); ++i) {
        WriteLanguage(L"german.xml", good);
        ASSERT_TRUE(catalog.LoadLanguage(*options, true, L""));
        WriteLanguage(L"german.xml", damaged[i]);
        EXPECT_FALSE(catalog.LoadLanguage(*options, false, L"")) << i;
        EXPECT_EQ(Text(L"Exit"), L"Beenden") << "without clear the table stays, damage " << i;
        EXPECT_FALSE(catalog.LoadLanguage(*options, true, L"")) << i;
        EXPECT_EQ(Text(L"Exit") + Text(L"{applicationname}{n}"), L"ExitSnapwell\n") << i;
        EXPECT_EQ(catalog.GetLanguageId(), TextCatalog::kNoLanguage) << i;
        EXPECT_NE(catalog.GetLastLoadError().find(L"german.xml"), std::wstring::npos) << i;
    }
    WriteLanguage(L"german.xml", Repeat("<a>", 100000) + list + Repeat("</a>", 100000));
    EXPECT_TRUE(catalog.LoadLanguage(*options, true, L"")) << "well formed, however deep";

    testfiles::Remove(folder + L"german.xml");
    EXPECT_FALSE(catalog.LoadLanguages(*options, false)) << "both files missing";
    WriteLanguage(L"german.xml", good);
    EXPECT_FALSE(catalog.LoadLanguages(*options, false)) << "the library file is missing";
    EXPECT_EQ(Text(L"Exit"), L"Beenden") << "the main file's entries are kept";
}

TEST_F(LanguageFiles, EntriesNeedBothAttributesNonEmpty) {
    WriteLanguage(L"german.xml",
                  "<Root><Deeper><LanguageOptions>text<!-- c -->"
                  "<Item ItemName='NoText'/><Item ItemName='Empty' ItemTranslation=''/>"
                  "<Item ItemTranslation='no name'/><Item ItemName='' ItemTranslation='empty name'/>"
                  "<AnyTag ItemName='Taken' ItemTranslation='yes'><Item ItemName='Nested' ItemTranslation='no'/></AnyTag>"
                  "<Item ItemName='Empty' ItemTranslation='later entry'/></LanguageOptions></Deeper></Root>");
    ASSERT_TRUE(catalog.LoadLanguage(*options, true, L""));
    EXPECT_EQ(catalog.GetEntryCount(), 2u);
    EXPECT_EQ(Text(L"Taken"), L"yes") << "the element's name is not looked at";
    EXPECT_EQ(Text(L"Empty"), L"later entry") << "a skipped entry does not block a later one";
    EXPECT_EQ(Text(L"Nested"), L"Nested") << "only children of LanguageOptions are entries";
}

TEST(LanguageEntry, ExactMatchWinsOverTheFirstPrimaryOnlyMatch) {
    pugi::xml_document doc;
    const auto choose = [&doc](const wchar_t* entries, uint16_t langId) {
        doc.load_string((std::wstring(L"<Languages>") + entries + L"</Languages>").c_str());
        return OptionsDocument::ChooseLanguageEntry(doc.first_child(), langId).value_or(L"<none>");
    };
    const wchar_t* german72 = L"<Language Value='7,2' PrimaryLangID='7' SubLangID='2'/>";
    EXPECT_EQ(choose((std::wstring(german72) + L"<Language Value='7,1' PrimaryLangID='7' SubLangID='1'/>").c_str(),
                     0x0407), L"7,1");
    EXPECT_EQ(choose(german72, 0x0407), L"7,2") << "a primary-only match";
    EXPECT_EQ(choose(L"<L Value='first' PrimaryLangID='9' SubLangID=''/><L Value='second' PrimaryLangID='9'/>", 0x0409),
              L"first");
    EXPECT_EQ(choose(L"<L Value='padded' PrimaryLangID='07' SubLangID='1'/>", 0x0407), L"<none>")
        << "identifiers compare as texts";
}

TEST_F(LanguageFiles, TheChosenLanguageIsStoredAndSaved) {
    Reload(Languages("1033", kEnglishGerman));
    EXPECT_TRUE(options->SelectLanguageForLangId(0x0407));
    EXPECT_EQ(options->GetLanguageFileForOption(), L"german.xml");
    EXPECT_NE(testfiles::Read(userFile).find("Value=\"1031\""), std::string::npos);
    EXPECT_TRUE(options->SelectLanguageForLangId(0x0411)) << "no Japanese entry";
    EXPECT_EQ(options->GetLanguageFileForOption(), L"german.xml");

    // A language option that names no entry follows the UI language...
    const std::string ui = "<Language Name='UI' Value='42' LanguageXML='ui.xml' PrimaryLangID='" +
                           std::to_string(GetUiLanguage() & 0x3FF) + "'/>";
    Reload(Languages("none", ui.c_str()));
    EXPECT_EQ(ChooseLanguageFile(*options), L"ui.xml");
    EXPECT_NE(testfiles::Read(userFile).find("Value=\"42\""), std::string::npos);
    // ...else falls back to English.
    Reload(Languages("none", "<Language Name='Other' Value='5' LanguageXML='other.xml' PrimaryLangID='1023'/>"));
    EXPECT_EQ(ChooseLanguageFile(*options), L"english.xml");
}

// The options are the user's to edit: a language file named with a path,
// a stream or a device is never opened; English is loaded instead.
TEST_F(LanguageFiles, OnlyAPlainFileNameBesideTheProgramIsLoaded) {
    const std::wstring outside = GetTempFolder(false) + L"SnapwellOutside\\";
    testfiles::RemoveTree(outside);
    ASSERT_TRUE(::CreateDirectoryW(outside.c_str(), nullptr));
    testfiles::Write(outside + L"evil.xml", Entries({{"Exit", "from outside"}}));
    WriteLanguage(L"evil.xml", Entries({{"Exit", "plain name"}}));
    WriteLanguage(L"cvevil.xml", Entries({}));
    WriteLanguage(L"english.xml", Entries({{"Exit", "English"}}));
    WriteLanguage(L"cvenglish.xml", Entries({}));
    std::string outsidePath;
    for (wchar_t c : outside) outsidePath += static_cast<char>(c);  // an ASCII path
    outsidePath += "evil.xml";
    for (const std::string& name : {std::string("..\\SnapwellOutside\\evil.xml"), std::string("../SnapwellOutside/evil.xml"),
                                    outsidePath, std::string("\\\\server\\share\\evil.xml"),
                                    std::string("evil.xml:stream"), std::string("CON"), std::string("nul.xml"),
                                    std::string("com1.xml"), std::string("evil.xml.")}) {
        Reload(Languages("1031", ("<Language Name='Evil' Value='1031' LanguageXML='" + name +
                                  "' PrimaryLangID='7' SubLangID='1'/>"
                                  "<Language Name='English' Value='1033' LanguageXML='english.xml' PrimaryLangID='9'/>")
                                     .c_str()));
        ASSERT_TRUE(catalog.LoadLanguages(*options, false)) << name << ": " << catalog.GetLastLoadError();
        EXPECT_EQ(Text(L"Exit"), L"English") << name;
    }
    Reload(Languages("1031", "<Language Name='Evil' Value='1031' LanguageXML='evil.xml' PrimaryLangID='7'/>"));
    ASSERT_TRUE(catalog.LoadLanguages(*options, false));
    EXPECT_EQ(Text(L"Exit"), L"plain name") << "a plain name beside the program is loaded";
    testfiles::RemoveTree(outside);
}

TEST_F(LanguageFiles, HelpFolderNeedsAnIndexPage) {
    ::SHCreateDirectoryExW(nullptr, (folder + L"docs\\de").c_str(), nullptr);
    EXPECT_EQ(GetDocsFolder(folder, L"de"), folder + L"docs\\en\\") << "the folder alone is not enough";
    testfiles::Write(folder + L"docs\\de\\index.htm", "<html/>");
    EXPECT_EQ(GetDocsFolder(folder, L"de"), folder + L"docs\\de\\");
    testfiles::Write(folder + L"docs\\index.htm", "<html/>");
    for (const wchar_t* code : {L"", L".", L"..", L"de\\..", L"C:\\"})
        EXPECT_EQ(GetDocsFolder(folder, code), folder + L"docs\\en\\") << code;
}

// The help the tips and the wizard's last page open is the application's
// help folder: it follows the language chosen in the options, both ways, so
// that on a Windows of either language one of the two choices differs from
// it. Before any language is loaded, the user's locale decides.
TEST_F(LanguageFiles, HelpFollowsTheLanguageChosenInTheOptions) {
    const std::wstring docs = platform::GetProgramFolder() + L"docs\\";
    const std::wstring locale = GetLocaleLanguageName(true);
    ASSERT_EQ(locale.size(), 2u);
    for (const std::wstring& code : {std::wstring(L"en"), std::wstring(L"de"), locale}) {
        ::SHCreateDirectoryExW(nullptr, (docs + code).c_str(), nullptr);
        testfiles::Write(docs + code + L"\\index.htm", "<html/>");
    }
    for (const wchar_t* name : {L"english.xml", L"cvenglish.xml", L"german.xml", L"cvgerman.xml"})
        WriteLanguage(name, Entries({{"Exit", "Exit"}}));
    CCorvaneApp& app = *CCorvaneApp::Current();
    TextCatalog& shown = app.GetTextCatalog();
    const TextCatalog before = shown;
    shown.SetLanguageFolder(folder);

    // German chosen: with a sublanguage, and as the shipped options name it,
    // without one.
    ASSERT_TRUE(shown.LoadLanguages(*options, false)) << shown.GetLastLoadError();
    EXPECT_EQ(app.GetHelpFolder(), docs + L"de\\") << "German with sublanguage 1";
    Reload(Languages("1031",
                     "<Language Name='English' Value='1033' LanguageXML='english.xml' PrimaryLangID='9' SubLangID=''/>"
                     "<Language Name='German' Value='1031' LanguageXML='german.xml' PrimaryLangID='7' SubLangID=''/>",
                     "en"));
    ASSERT_TRUE(shown.LoadLanguages(*options, false));
    EXPECT_EQ(app.GetHelpFolder(), docs + L"de\\") << "German without a sublanguage, whatever the element says";

    // English chosen.
    ASSERT_TRUE(options->SelectLanguageForLangId(1033));
    ASSERT_TRUE(shown.LoadLanguages(*options, false));
    EXPECT_EQ(app.GetHelpFolder(), docs + L"en\\");

    // German chosen, but its files missing: no language is loaded, and the
    // locale's help is shown.
    testfiles::Remove(folder + L"german.xml");
    testfiles::Remove(folder + L"cvgerman.xml");
    ASSERT_TRUE(options->SelectLanguageForLangId(1031));
    EXPECT_FALSE(shown.LoadLanguages(*options, false));
    EXPECT_EQ(app.GetHelpFolder(), docs + locale + L"\\");

    // A language without help of its own gets the English help.
    for (const wchar_t* name : {L"german.xml", L"cvgerman.xml"}) WriteLanguage(name, Entries({{"Exit", "Exit"}}));
    testfiles::Remove(docs + L"de\\index.htm");
    ASSERT_TRUE(shown.LoadLanguages(*options, false));
    EXPECT_EQ(app.GetHelpFolder(), docs + L"en\\");

    shown = before;
    testfiles::RemoveTree(docs);
}
