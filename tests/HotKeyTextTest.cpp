// The text forms of a hot key: stored text and its parse, the display text
// with the layout's and the program's key names, and the two modifier
// encodings.
#include "tests/OptionsFixture.h"
#include "uikit/CorvaneApp.h"
#include "uikit/HotKey.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

std::wstring Text(std::optional<HotKey> key) {
    return key ? FormatHotKeyForStorage(key->modifiers, key->virtualKey) : L"(no hot key)";
}

// The shipped options and language files in the application's catalog for
// the length of a test; the catalog is put back afterwards.
class ShippedLanguage : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(testfiles::Read(SNAPWELL_SHIPPED_OPTIONS).c_str());
        saved_ = catalog();
        catalog().SetLanguageFolder(std::wstring(SNAPWELL_DATA_FOLDER) + L"\\");
    }
    void TearDown() override {
        catalog() = saved_;
        OptionsFiles::TearDown();
    }
    void Use(uint16_t languageId) {
        ASSERT_TRUE(options->SelectLanguageForLangId(languageId));
        ASSERT_TRUE(catalog().LoadLanguages(*options, false)) << catalog().GetLastLoadError();
    }
    static TextCatalog& catalog() { return CCorvaneApp::Current()->GetTextCatalog(); }

private:
    TextCatalog saved_;
};

}  // namespace

TEST(HotKeyText, ModifierEncodingsConvertBothWays) {
    EXPECT_EQ(FieldToRegistrationModifiers(HOTKEYF_SHIFT), MOD_SHIFT);
    EXPECT_EQ(FieldToRegistrationModifiers(HOTKEYF_CONTROL), MOD_CONTROL);
    EXPECT_EQ(FieldToRegistrationModifiers(HOTKEYF_ALT), MOD_ALT);
    EXPECT_EQ(RegistrationToFieldModifiers(MOD_SHIFT), HOTKEYF_SHIFT);
    EXPECT_EQ(RegistrationToFieldModifiers(MOD_ALT), HOTKEYF_ALT);
    for (uint16_t bits = 0; bits < 8; ++bits)
        EXPECT_EQ(FieldToRegistrationModifiers(RegistrationToFieldModifiers(bits)), bits) << bits;
    EXPECT_EQ(FieldToRegistrationModifiers(HOTKEYF_EXT | HOTKEYF_ALT), MOD_ALT) << "the extended-key bit is no modifier";
}

TEST(HotKeyText, StoredTextsReadBackForEveryKeyAndModifierSet) {
    EXPECT_EQ(FormatHotKeyForStorage(MOD_CONTROL | MOD_SHIFT, 44), L"Ctrl + Shift + 44");
    EXPECT_EQ(FormatHotKeyForStorage(MOD_ALT | MOD_SHIFT | MOD_CONTROL, 80), L"Ctrl + Shift + Alt + 80");
    EXPECT_EQ(FormatHotKeyForStorage(0, 123), L"123");
    for (uint16_t key = 1; key <= 254; ++key) {
        for (uint16_t modifiers = 0; modifiers < 8; ++modifiers) {
            const std::optional<HotKey> parsed = ParseHotKeyText(FormatHotKeyForStorage(modifiers, key));
            ASSERT_TRUE(parsed) << key << " " << modifiers;
            EXPECT_EQ(*parsed, (HotKey{key, modifiers})) << Text(parsed);
        }
    }
}

TEST(HotKeyText, ValuesAsWrittenInOptionsAndDescriptions) {
    EXPECT_EQ(ParseHotKeyText(L"Ctrl + Alt + 80"), (HotKey{80, MOD_CONTROL | MOD_ALT}));
    EXPECT_EQ(ParseHotKeyText(L"44"), (HotKey{44, 0}));
    EXPECT_EQ(ParseHotKeyText(L"Shift+Ctrl+\t 112"), (HotKey{112, MOD_SHIFT | MOD_CONTROL})) << "any order, blanks";
    EXPECT_EQ(ParseHotKeyText(L"Alt + 65 "), (HotKey{65, MOD_ALT}));
    // The shipped defaults.
    EXPECT_EQ(ParseHotKeyText(L"Ctrl + 44"), (HotKey{44, MOD_CONTROL}));
    EXPECT_EQ(ParseHotKeyText(L"Ctrl + Shift + 44"), (HotKey{44, MOD_CONTROL | MOD_SHIFT}));
}

TEST(HotKeyText, BrokenStoredTextsMeanNoHotKey) {
    for (const wchar_t* broken :
         {L"", L" ", L"+", L"Ctrl", L"Ctrl + ", L"Ctrl + Shift + ", L"Ctrl + abc", L"Ctrl + 0", L"0", L"Ctrl + -44",
          L"Ctrl + 255", L"Ctrl + 300", L"Alt + 65580", L"Ctrl + 18446744073709551660",
          L"Ctrl + 99999999999999999999999999999999", L"44 + Ctrl"}) {
        EXPECT_EQ(ParseHotKeyText(broken), std::nullopt) << testing::PrintToString(std::wstring(broken)) << " gave "
                                                         << testing::PrintToString(Text(ParseHotKeyText(broken)));
    }
    // A text the layout's names wrote in another language keeps its key.
    EXPECT_EQ(ParseHotKeyText(L"Strg + Umschalt + 44"), (HotKey{44, 0}));
}

TEST(HotKeyDisplay, ModifiersInFixedOrderThenTheKey) {
    const std::wstring ctrl = GetKeyName(VK_CONTROL), shift = GetKeyName(VK_SHIFT), alt = GetKeyName(VK_MENU);
    ASSERT_FALSE(ctrl.empty() || shift.empty() || alt.empty());
    EXPECT_EQ(FormatHotKeyForDisplay(MOD_ALT | MOD_SHIFT | MOD_CONTROL, 'A'),
              ctrl + L" + " + shift + L" + " + alt + L" + " + GetKeyName('A'));
    EXPECT_EQ(GetKeyName('A'), L"A");
    EXPECT_EQ(FormatHotKeyForDisplay(MOD_CONTROL, VK_F1), ctrl + L" + F1");
    EXPECT_EQ(FormatHotKeyForDisplay(MOD_CONTROL, 0), ctrl + L" + ") << "modifiers without a key";
    EXPECT_EQ(GetKeyName(0xFF), L"") << "a key the layout cannot name";
    // Asked without the extended flag, the layout names the numeric pad.
    for (uint16_t key : {33, 34, 35, 36, 37, 38, 39, 40, 45, 46}) {
        wchar_t pad[128] = {};
        ::GetKeyNameTextW(static_cast<LONG>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16), pad, 128);
        EXPECT_NE(GetKeyName(key), pad) << key;
    }
}

TEST_F(ShippedLanguage, ProgramKeyNamesFollowTheLanguage) {
    const std::wstring ctrl = GetKeyName(VK_CONTROL);
    Use(0x0409);
    EXPECT_EQ(FormatHotKeyForDisplay(MOD_CONTROL, 44), ctrl + L" + Print Screen");
    EXPECT_EQ(FormatHotKeyForDisplay(0, 19), L"Pause");
    EXPECT_EQ(FormatHotKeyForDisplay(0, 0), L"None");
    const wchar_t* english[] = {L"Page Up", L"Page Down", L"End", L"Home", L"Left", L"Up", L"Right", L"Down"};
    for (uint16_t key = 33; key <= 40; ++key) EXPECT_EQ(FormatHotKeyForDisplay(0, key), english[key - 33]) << key;
    EXPECT_EQ(FormatHotKeyForDisplay(MOD_SHIFT, 45), GetKeyName(VK_SHIFT) + L" + Insert");
    EXPECT_EQ(FormatHotKeyForDisplay(0, 46), L"Delete");

    // Names made once and kept would still be English here.
    Use(0x0407);
    EXPECT_EQ(FormatHotKeyForDisplay(MOD_CONTROL, 44), ctrl + L" + Druck");
    EXPECT_EQ(FormatHotKeyForDisplay(0, 0), L"Keine");
    EXPECT_EQ(FormatHotKeyForDisplay(0, 33), L"Bild auf");
    EXPECT_EQ(FormatHotKeyForDisplay(0, 46), L"Entf");
    // Stored texts stay in the words the parser reads, whatever the language.
    EXPECT_EQ(FormatHotKeyForStorage(MOD_CONTROL | MOD_ALT, 33), L"Ctrl + Alt + 33");
}
