// The language files that ship beside the program: each one loads, German
// has the English keys with the same placeholders, the program's messages
// and settings have entries, and the shipped options switch between them.
#include "output/PostProcessing.h"
#include "platform/XmlDom.h"
#include "tests/OptionsFixture.h"
#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

const std::wstring kData = std::wstring(SNAPWELL_DATA_FOLDER) + L"\\";

using Entries = std::map<std::wstring, std::wstring>;

// Every entry of a shipped file; a key given twice is reported, as the second
// entry would be dead.
Entries Read(const wchar_t* name) {
    pugi::xml_document doc;
    const platform::XmlLoadResult loaded = platform::LoadXmlFile(kData + name, doc);
    EXPECT_TRUE(loaded) << name << " " << loaded.reason;
    TranslationTable table;
    EXPECT_TRUE(AddLanguageEntries(doc, table)) << name;
    Entries entries;
    for (const pugi::xpath_node& entry : doc.select_nodes(L"//LanguageOptions/*")) {
        const std::wstring key = entry.node().attribute(L"ItemName").value();
        const std::wstring text = entry.node().attribute(L"ItemTranslation").value();
        EXPECT_FALSE(key.empty() || text.empty()) << name << " " << key;
        EXPECT_TRUE(entries.emplace(key, text).second) << name << " has " << key << " twice";
        EXPECT_EQ(text.find(L'$'), std::wstring::npos) << name << " " << key << ": texts use {applicationname}";
    }
    EXPECT_EQ(entries.size(), table.size()) << name;
    return entries;
}

// What a translation must keep of its English text: placeholders in braces
// and printf conversions, which callers fill in.
std::multiset<std::wstring> Markers(const std::wstring& text) {
    static const std::wregex marker(L"\\{[a-z0-9_]+\\}|%[a-z]");
    std::multiset<std::wstring> found;
    for (std::wsregex_iterator it(text.begin(), text.end(), marker), end; it != end; ++it) found.insert(it->str());
    return found;
}

// The shipped options.xml as the default options, loaded fresh.
class ShippedOptions : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(testfiles::Read(SNAPWELL_SHIPPED_OPTIONS).c_str());
    }
};

}  // namespace

TEST(ShippedLanguages, GermanHasTheEnglishKeysWithTheSameMarkers) {
    for (const auto& [english, german] : {std::pair{L"english.xml", L"german.xml"},
                                          std::pair{L"cvenglish.xml", L"cvgerman.xml"}}) {
        const Entries en = Read(english), de = Read(german);
        EXPECT_GT(en.size(), 20u) << english;
        for (const auto& [key, text] : en) {
            ASSERT_TRUE(de.count(key)) << german << " lacks " << key;
            EXPECT_EQ(Markers(de.at(key)), Markers(text)) << key;
        }
        for (const auto& [key, text] : de) EXPECT_TRUE(en.count(key)) << english << " lacks " << key;
    }
    // The program's file is loaded first, so a key in both files would leave
    // the library's entry unused.
    const Entries main = Read(L"english.xml");
    for (const auto& [key, text] : Read(L"cvenglish.xml")) EXPECT_FALSE(main.count(key)) << key;
}

TEST(ShippedLanguages, MessagesAndSettingsHaveEntries) {
    Entries all = Read(L"english.xml");
    all.merge(Read(L"cvenglish.xml"));
    for (const wchar_t* key :
         {L"ErrorSaveToFile", L"NoImageEditingApp", L"DDEConversationFailed", L"ToolBarHotKeyUsed",
          L"FullscreenHotKeyUsed", L"WindowHotKeyUsed", L"RectangleHotKeyUsed", L"ResizeHotKeyUsed",
          L"ToolTips32771", L"ToolTips32772", L"ToolTips32773", L"ToolTips32774", L"ToolTips32775",
          L"ToolTips32776", L"InvalidWindowSizeSmall", L"InvalidWindowSizeLarge", L"ResizeApplicationStatic",
          L"$applicationname Properties", L"Open $applicationname", L"Exit", L"OK", L"Cancel", L"RestoreDefaults",
          L"InvalidSaveOptions", L"OverwriteOptions", L"PrnScr", L"None", L"Pause", L"PageUpKey", L"PageDownKey", L"EndKey", L"HomeKey", L"LeftKey",
          L"UpKey", L"RightKey", L"DownKey", L"InsertKey", L"DeleteKey", L"Browse for File", L"SaveAsReplace",
          L"SupportMailFailed", L"ConfigNotSaved"})
        EXPECT_TRUE(all.count(key)) << key;
    EXPECT_EQ(Markers(all[L"InvalidWindowSizeSmall"]), (std::multiset<std::wstring>{L"%d", L"%d"}));
    EXPECT_EQ(Markers(all[L"NoImageEditingApp"]).count(L"{1}"), 1u);

    // The properties dialog shows every name, description and choice of the
    // settings translated; choices are stored by their values.
    pugi::xml_document options;
    ASSERT_TRUE(platform::LoadXmlFile(SNAPWELL_SHIPPED_OPTIONS, options));
    for (const pugi::xpath_node& node : options.select_nodes(L"//*[@Name]")) {
        const pugi::xml_node element = node.node();
        const std::wstring name = element.attribute(L"Name").value();
        const std::wstring description = element.attribute(L"Description").value();
        // File extensions are shown as they are.
        if (name[0] != L'.') {
            EXPECT_TRUE(all.count(name)) << name;
        }
        if (!description.empty()) {
            EXPECT_TRUE(all.count(description)) << description;
        }
    }
}

TEST_F(ShippedOptions, SwitchBetweenEnglishAndGermanInTheApplicationCatalog) {
    TextCatalog& catalog = CCorvaneApp::Current()->GetTextCatalog();
    const TextCatalog before = catalog;
    EXPECT_EQ(ExpandText(L"{applicationname} by {companyname}", false), L"Snapwell by Veltrane");
    const std::wstring english = SaveErrorText();
    EXPECT_NE(english.find(L"could not be saved"), std::wstring::npos) << "the default without a language file";

    catalog.SetLanguageFolder(kData);
    ASSERT_TRUE(options->SelectLanguageForLangId(0x0807)) << "Swiss German";
    ASSERT_TRUE(catalog.LoadLanguages(*options, false)) << catalog.GetLastLoadError();
    EXPECT_EQ(catalog.GetLanguageId(), 7);
    EXPECT_EQ(ExpandText(L"$applicationname Properties"), L"Eigenschaften von Snapwell");
    EXPECT_EQ(ExpandText(L"Cancel"), L"Abbrechen");
    EXPECT_EQ(SaveErrorText().find(L"Die Aufnahme konnte nicht gespeichert"), 0u);

    ASSERT_TRUE(options->SelectLanguageForLangId(0x0809)) << "British English";
    ASSERT_TRUE(catalog.LoadLanguages(*options, false));
    EXPECT_EQ(catalog.GetLanguageId(), 9);
    EXPECT_EQ(ExpandText(L"$applicationname Properties"), L"Snapwell Properties");
    EXPECT_EQ(ExpandText(L"Save to clipboard"), L"Copy to the clipboard");
    catalog = before;
}
