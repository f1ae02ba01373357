// Capture profiles chosen by the capture mode, the "<ByDefault>" fallback,
// the run-time properties and the hot-key table, on real per-user files.
#include "options/CaptureOptions.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

std::string ProfilesDocument(const char* multipleProfiles) {
    std::string multi = multipleProfiles == nullptr
                            ? ""
                            : std::string("<O Name=\"MultipleCaptureProfiles\" Value=\"") + multipleProfiles + "\"/>";
    return "<ToolOptions><ProgramOptions Name=\"P\">" + multi +
           "</ProgramOptions>"
           "<Profiles Name=\"Profiles\">"
           "<Profile Name=\"DefaultProfile\">"
           "<O Name=\"Which\" Value=\"default\"/>"
           "<O Name=\"ColorDepth\" Value=\"108\"><I Name=\"24 bits per pixel Color\" Value=\"24\"/>"
           "<I Name=\"8 bits per pixel Grayscale\" Value=\"108\"/></O>"
           "<O Name=\"OnlyInDefault\" Value=\"d\"/>"
           "<O Name=\"Loop\" Value=\"&lt;ByDefault&gt;\"/>"
           "</Profile>"
           "<Profile Name=\"FullScreenProfile\"><O Name=\"Which\" Value=\"fullscreen\"/></Profile>"
           "<Profile Name=\"WindowProfile\"><O Name=\"Which\" Value=\"window\"/>"
           "<O Name=\"ColorDepth\" Value=\"-1\"><I Name=\"&lt;ByDefault&gt;\" Value=\"-1\"/></O></Profile>"
           "<Profile Name=\"RectangleProfile\"><O Name=\"Which\" Value=\"rectangle\">"
           "<Nested Name=\"Deep\" Value=\"x\"/></O></Profile>"
           "</Profiles>"
           "<HotKeys><K Name=\"CaptureKey\" Value=\"Ctrl + 44\"/><K Name=\"RegionCaptureKey\" Value=\"Shift + 44\"/>"
           "</HotKeys></ToolOptions>";
}

std::wstring Serialised(const OptionsDocument& options) {
    std::wostringstream out;
    options.Document().save(out, L"", pugi::format_raw);
    return out.str();
}

class Profiles : public OptionsFiles {
protected:
    std::wstring CaptureOptionIn(long mode, const wchar_t* key, const char* multi = "1") {
        testfiles::Write(defaultFile, ProfilesDocument(multi));
        testfiles::Remove(userFile);
        CaptureOptions options;
        options.SetProperty(L"CaptureMode", platform::Variant(mode));
        return options.GetCaptureOption(key);
    }
};

}  // namespace

TEST_F(Profiles, EachCaptureModeReadsItsOwnProfile) {
    EXPECT_EQ(CaptureOptionIn(132, L"Which"), L"fullscreen");
    EXPECT_EQ(CaptureOptionIn(133, L"Which"), L"window");
    EXPECT_EQ(CaptureOptionIn(135, L"Which"), L"rectangle");
    EXPECT_EQ(CaptureOptionIn(134, L"Which"), L"default");
    EXPECT_EQ(CaptureOptionIn(0, L"Which"), L"default");
    EXPECT_EQ(CaptureOptionIn(135, L"Which", nullptr), L"rectangle") << "absent means one profile per mode";
    EXPECT_EQ(CaptureOptionIn(135, L"Which", ""), L"rectangle");
}

TEST_F(Profiles, OneProfileForAllWhenMultipleProfilesIsZero) {
    for (long mode : {132L, 133L, 134L, 135L}) EXPECT_EQ(CaptureOptionIn(mode, L"Which", "0"), L"default");
}

TEST_F(Profiles, ByDefaultFallsBackToTheDefaultProfileWithItemNames) {
    EXPECT_EQ(CaptureOptionIn(133, L"ColorDepth"), L"8 bits per pixel Grayscale");
    EXPECT_EQ(CaptureOptionIn(134, L"Loop"), L"<ByDefault>") << "in the default profile it is plain text";
    EXPECT_EQ(CaptureOptionIn(132, L"OnlyInDefault"), L"") << "no fallback without <ByDefault>";
    EXPECT_EQ(CaptureOptionIn(135, L"Deep"), L"") << "profiles look at direct children only";
}

TEST_F(Profiles, CaptureModeStartsAsWindowAndMustBeAnInteger) {
    testfiles::Write(defaultFile, ProfilesDocument("1"));
    CaptureOptions options;
    platform::Variant mode;
    options.GetProperty(L"CaptureMode", mode);
    ASSERT_EQ(mode.type(), VT_I4);
    EXPECT_EQ(mode.get().lVal, 133);
    EXPECT_EQ(options.GetCaptureOption(L"Which"), L"window");

    options.SetProperty(L"CaptureMode", platform::Variant(std::wstring(L"135")));
    EXPECT_EQ(options.GetCaptureOption(L"Which"), L"") << "a text mode reads nothing with one profile per mode";
    options.SetProperty(L"CaptureMode", platform::Variant::Bool(true));
    EXPECT_EQ(options.GetCaptureOption(L"Which"), L"");

    platform::Variant unknown;
    unknown = platform::Variant(5L);
    EXPECT_TRUE(options.GetProperty(L"NotSetYet", unknown));
    EXPECT_EQ(unknown.type(), VT_EMPTY);
}

TEST_F(Profiles, NonIntegerModesWithOneProfileForAll) {
    testfiles::Write(defaultFile, ProfilesDocument("0"));
    CaptureOptions options;
    options.SetProperty(L"CaptureMode", platform::Variant(std::wstring(L"text")));
    EXPECT_EQ(options.GetCaptureOption(L"Which"), L"default");
    options.SetProperty(L"CaptureMode", platform::Variant::Bool(false));
    EXPECT_EQ(options.GetCaptureOption(L"Which"), L"");
    options.SetProperty(L"CaptureMode", platform::Variant::Error(DISP_E_PARAMNOTFOUND));
    EXPECT_EQ(options.GetCaptureOption(L"Which"), L"");
    platform::Variant mode;
    options.GetProperty(L"CaptureMode", mode);
    EXPECT_EQ(mode.type(), VT_ERROR) << "the property itself is not changed";
}

TEST_F(Profiles, ProfileWritesMapItemNamesAndNeverCreateOptions) {
    testfiles::Write(defaultFile, ProfilesDocument("1"));
    CaptureOptions options;
    EXPECT_TRUE(options.SetProfileOption(L"DefaultProfile", L"ColorDepth", L"24 bits per pixel Color"));
    EXPECT_EQ(options.GetProfileOption(L"DefaultProfile", L"ColorDepth"), L"24 bits per pixel Color");
    EXPECT_EQ(options.Document().select_node(L"//Profile[@Name='DefaultProfile']/O[@Name='ColorDepth']")
                  .node().attribute(L"Value").value(),
              std::wstring(L"24"));
    const std::wstring before = Serialised(options);
    EXPECT_FALSE(options.SetProfileOption(L"NoSuchProfile", L"Which", L"x"));
    EXPECT_FALSE(options.SetProfileOption(L"DefaultProfile", L"NoSuchKey", L"x"));
    EXPECT_EQ(Serialised(options), before);
}

TEST_F(Profiles, HotKeyReadsAndWritesAndMissingNamesChangeNothing) {
    testfiles::Write(defaultFile, ProfilesDocument("1"));
    CaptureOptions options;
    EXPECT_EQ(options.GetHotKeyValue(L"CaptureKey"), L"Ctrl + 44");
    EXPECT_EQ(options.GetHotKeyValue(L"WindowCaptureKey"), L"");
    EXPECT_TRUE(options.SetHotKeyValue(L"RegionCaptureKey", L"Ctrl + Alt + 82"));
    EXPECT_EQ(options.GetHotKeyValue(L"RegionCaptureKey"), L"Ctrl + Alt + 82");

    const std::wstring before = Serialised(options);
    EXPECT_FALSE(options.SetHotKeyValue(L"WindowCaptureKey", L"Alt + 44"));
    EXPECT_EQ(Serialised(options), before);
}

TEST_F(Profiles, DuplicateProfilesOrHotKeyGroupsReadEmpty) {
    testfiles::Write(defaultFile,
                     "<ToolOptions><Profiles><P Name='DefaultProfile'><O Name='Which' Value='a'/></P></Profiles>"
                     "<Profiles/><HotKeys><K Name='CaptureKey' Value='44'/></HotKeys><HotKeys/></ToolOptions>");
    CaptureOptions options;
    EXPECT_EQ(options.GetProfileOption(L"DefaultProfile", L"Which"), L"");
    EXPECT_EQ(options.GetHotKeyValue(L"CaptureKey"), L"");
    EXPECT_FALSE(options.SetHotKeyValue(L"CaptureKey", L"45"));
}

// The shipped options.xml must hold everything the program reads, in forms
// that its readers understand.
TEST_F(Profiles, ShippedDefaultsAreCompleteAndConsistent) {
    testfiles::Write(defaultFile, testfiles::Read(SNAPWELL_SHIPPED_OPTIONS));
    CaptureOptions options;

    EXPECT_EQ(options.GetProgramOption(L"MultipleCaptureProfiles", false), L"1");
    for (const wchar_t* key : {L"HideCursor", L"PlaySound", L"AddProgramToStartupGroup"}) {
        const std::wstring value = options.GetProgramOption(key, false);
        EXPECT_TRUE(value == L"1" || value == L"0") << key;
        // The options dialog offers exactly the choices "1" and "0", as a
        // list: a check box would store its own values instead.
        const pugi::xml_node option =
            options.Document().select_node((L"//ProgramOptions//*[@Name='" + std::wstring(key) + L"']").c_str()).node();
        ASSERT_TRUE(option) << key;
        EXPECT_STRNE(option.attribute(L"Control").value(), L"CheckBox") << key;
        std::vector<std::wstring> stored;
        for (pugi::xml_node item : option.children(L"Item")) {
            stored.push_back(item.attribute(L"Value").value());
            EXPECT_NE(*item.attribute(L"Name").value(), L'\0') << key << ": every choice has a name";
        }
        EXPECT_EQ(stored, (std::vector<std::wstring>{L"1", L"0"})) << key;
    }
    // The toolbar reads the stored values themselves; the dialog shows their
    // choices by translated names.
    const std::wstring label = options.GetProgramOption(L"ToolbarLabel", false);
    EXPECT_TRUE(label == L"ShowTextLabels" || label == L"NoLabel");
    const std::wstring size = options.GetProgramOption(L"ToolbarSize", false);
    EXPECT_TRUE(size == L"LargeIcon" || size == L"SmallIcon");
    // No language is chosen yet: the first start takes the Windows display
    // language's entry (English in this prefix), and the options name it.
    EXPECT_EQ(options.GetProgramOption(L"Language", false), L"");
    EXPECT_EQ(ChooseLanguageFile(options), L"english.xml");
    EXPECT_EQ(options.GetLanguageFileForOption(), L"english.xml");
    EXPECT_EQ(CaptureOptions().GetProgramOption(L"Language", false), L"1033") << "and saved";
    std::map<uint16_t, std::wstring> languages;
    EXPECT_TRUE(options.ReadLanguageFiles(languages));
    EXPECT_EQ(languages[9], L"english.xml");
    for (const wchar_t* ext : {L".bmp", L".jpg", L".png", L".tif"}) {
        EXPECT_TRUE(options.Document().select_node(
            (L"//ProgramOptions//*[@Name='" + std::wstring(ext) + L"'][@Value]").c_str())) << ext;
    }

    const std::wstring actions[] = {L"Save to file", L"Save to clipboard", L"Save to clipboard and file",
                                    L"Save to file and run editor", L"Save to clipboard,to file and run editor"};
    const std::wstring depths[] = {L"24 bits per pixel Color", L"16 bits per pixel Color", L"8 bits per pixel Color",
                                   L"8 bits per pixel Grayscale", L"1 bit per pixel Monochrome"};
    for (long mode : {132L, 133L, 134L, 135L}) {
        options.SetProperty(L"CaptureMode", platform::Variant(mode));
        EXPECT_NE(std::find(std::begin(actions), std::end(actions), options.GetCaptureOption(L"Action")),
                  std::end(actions)) << mode;
        EXPECT_NE(std::find(std::begin(depths), std::end(depths), options.GetCaptureOption(L"ColorDepth")),
                  std::end(depths)) << mode;
        const std::wstring type = options.GetCaptureOption(L"TargetType");
        EXPECT_TRUE(type == L"bmp" || type == L"jpg" || type == L"png" || type == L"tif") << mode;
        EXPECT_NE(options.GetCaptureOption(L"TargetFolder"), L"<ByDefault>") << mode;
        EXPECT_FALSE(options.GetCaptureOption(L"FileNameTemplatePrefix").empty()) << mode;
    }
    // Every profile can be written through its item names.
    for (const wchar_t* profile : {L"DefaultProfile", L"FullScreenProfile", L"WindowProfile", L"RectangleProfile"}) {
        for (const std::wstring& action : actions) {
            EXPECT_TRUE(options.SetProfileOption(profile, L"Action", action));
            EXPECT_EQ(options.GetProfileOption(profile, L"Action"), action) << profile;
        }
    }
    for (const wchar_t* key : {L"CaptureKey", L"FullScreenCaptureKey", L"WindowCaptureKey", L"RegionCaptureKey",
                               L"ResizeApplicationKey"}) {
        const std::wstring value = options.GetHotKeyValue(key);
        EXPECT_FALSE(value.empty()) << key;
        EXPECT_EQ(value.substr(value.size() - 2), L"44") << key << " is a Print Screen combination";
    }
    EXPECT_EQ(options.GetHotKeyValue(L"FullScreenCaptureKey"), L"44");
}
