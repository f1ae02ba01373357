// Lookups by "Name" in the options document: the depth-first rule, item
// mapping both ways, the single-group rule, XPath helpers and the language
// list.
#include "options/OptionsDocument.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class TestDocument : public OptionsDocument {
public:
    explicit TestDocument(const wchar_t* xml) : OptionsDocument(false) {
        EXPECT_TRUE(m_document.load_string(xml)) << "test document must parse";
    }
    std::wstring Text() const {
        std::wostringstream out;
        m_document.save(out, L"", pugi::format_raw);
        return out.str();
    }
};

}  // namespace

TEST(DepthFirstSearch, DescendantWithTheSameNameAndAValueWins) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>"
                 L"<Group Name='Key' Value='outer'><Inner Name='Key' Value='inner'/></Group>"
                 L"</ProgramOptions></ToolOptions>");
    EXPECT_EQ(doc.GetProgramOption(L"Key", false), L"inner");
}

TEST(DepthFirstSearch, EmptyDescendantDoesNotEndTheSearch) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>"
                 L"<Group Name='Key' Value='outer'><Inner Name='Key' Value=''/></Group>"
                 L"</ProgramOptions></ToolOptions>");
    EXPECT_EQ(doc.GetProgramOption(L"Key", false), L"outer");

    TestDocument later(L"<ToolOptions><ProgramOptions>"
                   L"<Group Name='Other'><Inner Name='Key'/></Group><Option Name='Key' Value='later'/>"
                   L"</ProgramOptions></ToolOptions>");
    EXPECT_EQ(later.GetProgramOption(L"Key", false), L"later");
}

TEST(DepthFirstSearch, NamesCompareExactlyAndSkipNodesWithoutAttributes) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>text<!-- Name='Key' --><?pi x?>"
                 L"<Option Name='key' Value='lower'/><Option Name='Key ' Value='blank'/>"
                 L"<Option Name='Key' Value='exact'/></ProgramOptions></ToolOptions>");
    EXPECT_EQ(doc.GetProgramOption(L"Key", false), L"exact");
    EXPECT_EQ(doc.GetProgramOption(L"KEY", false), L"");
    EXPECT_EQ(doc.GetProgramOption(L"", false), L"") << "an empty name never matches a missing Name";
}

TEST(DepthFirstSearch, MatchWithoutValueReadsEmptyAndCannotBeWritten) {
    TestDocument doc(L"<ToolOptions><ProgramOptions><Option Name='Key'/></ProgramOptions></ToolOptions>");
    const std::wstring before = doc.Text();
    EXPECT_EQ(doc.GetProgramOption(L"Key", false), L"");
    EXPECT_FALSE(doc.SetProgramOption(L"Key", L"v", false));
    EXPECT_EQ(doc.Text(), before) << "no attribute is created";
}

TEST(DepthFirstSearch, WritesGoToTheElementThatReadsFind) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>"
                 L"<Group Name='Key' Value='outer'><Inner Name='Key' Value='inner'/></Group>"
                 L"</ProgramOptions></ToolOptions>");
    EXPECT_TRUE(doc.SetProgramOption(L"Key", L"new", false));
    EXPECT_EQ(doc.GetProgramOption(L"Key", false), L"new");
    EXPECT_EQ(doc.OptionsDocument::Document().select_node(L"//Group").node().attribute(L"Value").value(), std::wstring(L"outer"));
}

TEST(ProgramOptionsGroup, TwoGroupsReadEmptyAndWriteNothing) {
    TestDocument doc(L"<ToolOptions><ProgramOptions><O Name='Key' Value='a'/></ProgramOptions>"
                 L"<ProgramOptions><O Name='Key' Value='b'/></ProgramOptions></ToolOptions>");
    const std::wstring before = doc.Text();
    EXPECT_EQ(doc.GetProgramOption(L"Key", false), L"");
    EXPECT_FALSE(doc.SetProgramOption(L"Key", L"c", false));
    EXPECT_EQ(doc.Text(), before);

    TestDocument none(L"<ToolOptions><O Name='Key' Value='a'/></ToolOptions>");
    EXPECT_EQ(none.GetProgramOption(L"Key", false), L"");
}

TEST(ItemMapping, ReadsTheFirstMatchingItemAndWritesTheLast) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>"
                 L"<O Name='Mode' Value='2'><I Name='Two' Value='2'/><I Name='Second' Value='2'/>"
                 L"<I Name='Dup' Value='5'/><I Name='Dup' Value='6'/></O>"
                 L"<O Name='Odd' Value='9'><I Name='Two' Value='2'/></O>"
                 L"<O Name='Plain' Value='text'/>"
                 L"</ProgramOptions></ToolOptions>");
    EXPECT_EQ(doc.GetProgramOption(L"Mode", true), L"Two");
    EXPECT_EQ(doc.GetProgramOption(L"Mode", false), L"2");
    EXPECT_EQ(doc.GetProgramOption(L"Odd", true), L"9") << "no matching item: unchanged";
    EXPECT_EQ(doc.GetProgramOption(L"Plain", true), L"text");

    EXPECT_TRUE(doc.SetProgramOption(L"Mode", L"Dup", true));
    EXPECT_EQ(doc.GetProgramOption(L"Mode", false), L"6");
    EXPECT_TRUE(doc.SetProgramOption(L"Mode", L"Unknown", true));
    EXPECT_EQ(doc.GetProgramOption(L"Mode", false), L"Unknown");
    EXPECT_TRUE(doc.SetProgramOption(L"Plain", L"Two", true));
    EXPECT_EQ(doc.GetProgramOption(L"Plain", false), L"Two");
}

TEST(XPathHelpers, FirstSelectedNodeAndBadExpressions) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>"
                 L"<Languages Name='Language' Value='7' Language='de'>"
                 L"<Language Name='German' Value='7'/></Languages>"
                 L"</ProgramOptions></ToolOptions>");
    EXPECT_EQ(doc.GetAttributeByXPath(L".//Languages", L"Language"), L"de");
    EXPECT_EQ(doc.GetAttributeByXPath(L"//Nothing", L"Language"), L"");
    EXPECT_EQ(doc.GetAttributeByXPath(L"//[[", L"Language"), L"") << "an expression that does not compile";
    EXPECT_EQ(doc.GetValueByXPath(L"//Languages", false), L"7");
    EXPECT_EQ(doc.GetValueByXPath(L"//Languages", true), L"German");
    EXPECT_EQ(doc.GetRootElement().name(), std::wstring(L"ToolOptions"));
}

TEST(LanguageList, MapsIdentifiersToFilesAndFindsTheChosenFile) {
    TestDocument doc(L"<ToolOptions><ProgramOptions>"
                 L"<Languages Name='Language' Value='1031'>"
                 L"<Language Name='English' Value='1033' LanguageXML='english.xml' PrimaryLangID='9' SubLangID=''/>"
                 L"<Language Name='Deutsch' Value='1031' LanguageXML='german.xml' PrimaryLangID='7' SubLangID='1'/>"
                 L"</Languages></ProgramOptions></ToolOptions>");
    std::map<uint16_t, std::wstring> files{{1, L"stale"}};
    EXPECT_TRUE(doc.ReadLanguageFiles(files));
    EXPECT_EQ(files, (std::map<uint16_t, std::wstring>{{9, L"english.xml"}, {0x0407, L"german.xml"}}));
    EXPECT_EQ(doc.GetLanguageFileForOption(), L"german.xml");
}

TEST(LanguageList, UnreadableEntryIsReportedAndSkipped) {
    TestDocument doc(L"<ToolOptions><ProgramOptions><Languages Name='Language' Value='x'>"
                 L"<Language LanguageXML='a.xml' PrimaryLangID='nine'/>"
                 L"<Language LanguageXML='b.xml' PrimaryLangID='9' SubLangID='99'/>"
                 L"<Language LanguageXML='c.xml' PrimaryLangID='12'/>"
                 L"</Languages></ProgramOptions></ToolOptions>");
    std::map<uint16_t, std::wstring> files;
    EXPECT_FALSE(doc.ReadLanguageFiles(files));
    EXPECT_EQ(files, (std::map<uint16_t, std::wstring>{{12, L"c.xml"}}));
    EXPECT_EQ(doc.GetLanguageFileForOption(), L"") << "no entry is named x";
}
