#pragma once
// The translation table of the active language and ExpandText, through which
// every displayed text passes; the choice and loading of the language files,
// the help folder of the language and the user's language settings.
//
// Texts written in the program are keys: English sentences in which the
// product's words carry a dollar sign ("$applicationname Properties"). A
// language file maps each key to the displayed sentence, which names the
// product words as placeholders in braces ("{applicationname} Properties").
#include "uikit/LanguageSettings.h"

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <string>

// The application's constants behind the product placeholders.
struct ProductTexts {
    std::wstring productName;   // {applicationname}
    std::wstring companyName;   // {companyname}
    std::wstring version;       // {version}: the program's version, short form
    std::wstring purchaseUrl;   // {applicationpurchaseurl}
    // The product's web page as an HTML anchor with the address in single
    // quotes, <a href='address'>text</a>: {applicationurl_name} and
    // {applicationurl_link}.
    std::wstring webLink;
};

// Key text -> displayed text. Keys compare by plain ordinal comparison, so
// "Exit" and "exit" are two keys.
using TranslationTable = std::map<std::wstring, std::wstring>;

struct WebLinkParts {
    std::wstring text;
    std::wstring address;
};

// The anchor text and address of a stored web link. A link that is not an
// anchor with a quoted, non-empty address gives itself for both; an anchor
// without text gives its address as the text.
WebLinkParts SplitWebLink(const std::wstring& link);

// The placeholder passes, then "{n}" to a line feed and "{t}" to a tab. There
// is no escape for a literal "{n}" or "{t}".
std::wstring ExpandPlaceholders(std::wstring text, const ProductTexts& product);

// Adds the entries of a parsed language document to table; an entry needs a
// non-empty "ItemName" and "ItemTranslation", and a key already in the table
// keeps its translation. False, with nothing added, unless the document holds
// exactly one "LanguageOptions" element.
bool AddLanguageEntries(const pugi::xml_document& document, TranslationTable& table);

class TextCatalog {
public:
    // The active language when no known language file is loaded.
    static constexpr uint16_t kNoLanguage = 0x0400;
    // The library's own file: the language file's name with this in front.
    static constexpr wchar_t kLibraryPrefix[] = L"cv";
    static constexpr wchar_t kFallbackLanguageFile[] = L"english.xml";
    static constexpr uint16_t kUsEnglish = 1033;

    TextCatalog() = default;
    explicit TextCatalog(ProductTexts product) : m_product(std::move(product)) {}

    void SetProductTexts(ProductTexts product) { m_product = std::move(product); }
    const ProductTexts& GetProductTexts() const { return m_product; }

    // With translate set, the whole text is first replaced by its translation
    // when the table has one (an untranslated key stays as it is, dollar sign
    // included); then the placeholders are filled in.
    std::wstring ExpandText(const std::wstring& text, bool translate) const;
    // The translation of key, or nullptr when the active language has none.
    const std::wstring* FindTranslation(const std::wstring& key) const;

    // Loads prefix + the language file that the options name (see
    // ChooseLanguageFile) from the language folder into the table; clear
    // empties the table first. A missing or damaged file leaves the table as
    // it was (empty after clear) and returns false; the reason is kept in
    // GetLastLoadError, never shown.
    bool LoadLanguage(LanguageSettings& options, bool clear, const std::wstring& prefix);
    // The main file into an emptied table, then the library's file, whose
    // entries do not override the main file's. With redetect set the language
    // option first follows the user's UI language. True only when both loaded.
    bool LoadLanguages(LanguageSettings& options, bool redetect);

    // The language identifier of the loaded file as the options list it, or
    // kNoLanguage.
    uint16_t GetLanguageId() const { return m_languageId; }
    // The language file name last chosen, without the prefix.
    const std::wstring& GetLanguageFileName() const { return m_languageFile; }
    const std::wstring& GetLastLoadError() const { return m_lastLoadError; }
    size_t GetEntryCount() const { return m_table.size(); }

    // The folder the language files are read from, with trailing backslash;
    // the program folder unless set.
    std::wstring GetLanguageFolder() const;
    void SetLanguageFolder(const std::wstring& folder);

private:
    TranslationTable m_table;
    ProductTexts m_product;
    uint16_t m_languageId = kNoLanguage;
    std::wstring m_languageFile;
    std::wstring m_languageFolder;
    std::wstring m_lastLoadError;
};

// The language file that the options name for their language option. When
// they name none, the option is set from the user's UI language and read
// again; when still none, the options are set to US English and the result
// is "english.xml".
std::wstring ChooseLanguageFile(LanguageSettings& options);

// ExpandText through the application's catalog. Without an application
// object nothing is translated and the product placeholders read as empty.
std::wstring ExpandText(const std::wstring& text, bool translate = true);

// Every "{1}" of a translated text replaced by value.
std::wstring FillFirstArgument(std::wstring text, const std::wstring& value);

// The short file version of the program file appFileName + ".exe" in the
// program folder: the value of "{version}". Empty when it has none.
std::wstring ProgramVersionText(const std::wstring& appFileName);

// The user's UI language; the user's default language on systems without a
// separate UI language.
uint16_t GetUiLanguage();

// The user's default locale's language: abbreviated, the first two letters of
// its abbreviated name in lower case ("en", "de"); otherwise its full
// localised name.
std::wstring GetLocaleLanguageName(bool abbreviated);

// The two-letter ISO 639 code of a Windows language identifier ("de" for
// 1031, and for German without a sublanguage); empty when the system does
// not know the language.
std::wstring LanguageCode(uint16_t langId);

// The help documents of a language: programFolder + "docs\" + the language's
// code + "\" when that folder holds "index.htm", else the English folder.
std::wstring GetDocsFolder(const std::wstring& programFolder, const std::wstring& languageCode);
// The help documents of the language a catalog has loaded (the one the user
// chose in the options); with kNoLanguage, of the user's locale.
std::wstring GetHelpFolderForLanguage(const std::wstring& programFolder, uint16_t languageId);
