#include "uikit/TextCatalog.h"

#include "platform/FileSystem.h"
#include "platform/XmlDom.h"
#include "uikit/CorvaneApp.h"
#include "uikit/VersionInfo.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <new>
#include <string_view>
#include <utility>

namespace {

constexpr size_t npos = std::wstring::npos;

// A product value that names itself, directly or through another value,
// would make the placeholder passes go on for ever, each one longer than the
// last. The passes stop at these bounds instead; no sensible text gets near
// them.
constexpr size_t kMaxPasses = 1024;
constexpr size_t kMaxGrowth = 65536;

void ReplaceFirst(std::wstring& text, std::wstring_view placeholder, const std::wstring& value) {
    const size_t at = text.find(placeholder);
    if (at != npos) text.replace(at, placeholder.size(), value);
}

// Replacing "{n}" by a line feed can never form another "{n}", so one scan
// gives what replacing one occurrence at a time would.
std::wstring ReplaceAll(const std::wstring& text, std::wstring_view placeholder, wchar_t character) {
    std::wstring out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t at = text.find(placeholder); at != npos; at = text.find(placeholder, from)) {
        out.append(text, from, at - from);
        out.push_back(character);
        from = at + placeholder.size();
    }
    out.append(text, from, npos);
    return out;
}

// Language codes come from the options file; only a plain folder name may
// pick a folder below "docs\".
bool IsPlainFolderName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:*?\"<>|") == npos;
}

// A name that opens a file of that name in the folder it is joined to, and
// nothing else: no path, no stream, no device (CON, NUL, COM1... with or
// without an extension), no control characters and no trailing dot or
// blank, which the system would strip.
bool IsPlainFileName(const std::wstring& name) {
    if (!IsPlainFolderName(name) || name.back() == L'.' || name.back() == L' ') return false;
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < 32; })) return false;
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base) c = static_cast<wchar_t>(std::towupper(c));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices)
        if (base == device) return false;
    const bool numbered = base.size() == 4 && (base.rfind(L"COM", 0) == 0 || base.rfind(L"LPT", 0) == 0) &&
                          base[3] >= L'0' && base[3] <= L'9';
    return !numbered;
}

uint16_t LanguageIdForFile(const LanguageSettings& options, const std::wstring& fileName) {
    std::map<uint16_t, std::wstring> files;
    // An unreadable entry only drops that entry; the others still count.
    options.ReadLanguageFiles(files);
    for (const auto& [id, file] : files) {
        if (_wcsicmp(file.c_str(), fileName.c_str()) == 0) return id;
    }
    return TextCatalog::kNoLanguage;
}

}  // namespace

WebLinkParts SplitWebLink(const std::wstring& link) {
    const WebLinkParts whole{link, link};
    const size_t tagStart = link.find(L'<');
    const size_t tagEnd = tagStart == npos ? npos : link.find(L'>', tagStart + 1);
    if (tagEnd == npos) return whole;
    const std::wstring tag = link.substr(tagStart, tagEnd - tagStart + 1);

    std::wstring text;
    const size_t closeStart = link.find(L'<', tagEnd);
    if (closeStart != npos && link.find(L'>', closeStart + 1) != npos)
        text = link.substr(tagEnd + 1, closeStart - tagEnd - 1);

    const size_t quote = tag.find(L'\'');
    const size_t endQuote = quote == npos ? npos : tag.find(L'\'', quote + 1);
    if (endQuote == npos || endQuote == quote + 1) return whole;
    const std::wstring address = tag.substr(quote + 1, endQuote - quote - 1);
    return {text.empty() ? address : text, address};
}

std::wstring ExpandPlaceholders(std::wstring text, const ProductTexts& product) {
    const WebLinkParts link = SplitWebLink(product.webLink);
    const std::pair<std::wstring_view, const std::wstring*> placeholders[] = {
        {L"{applicationname}", &product.productName},
        {L"{companyname}", &product.companyName},
        {L"{version}", &product.version},
        {L"{applicationpurchaseurl}", &product.purchaseUrl},
        {L"{applicationurl_name}", &link.text},
        {L"{applicationurl_link}", &link.address},
    };
    // Each pass fills in the first occurrence of each placeholder, so a text
    // that uses one twice, or a value that holds a placeholder itself, takes
    // more passes; a pass that changes nothing (an unknown word in braces)
    // ends them.
    const size_t maxLength = text.size() + kMaxGrowth;
    for (size_t pass = 0; pass < kMaxPasses && text.find(L'{') != npos && text.size() <= maxLength; ++pass) {
        const std::wstring before = text;
        for (const auto& [placeholder, value] : placeholders) ReplaceFirst(text, placeholder, *value);
        if (text == before) break;
    }
    return ReplaceAll(ReplaceAll(text, L"{n}", L'\n'), L"{t}", L'\t');
}

bool AddLanguageEntries(const pugi::xml_document& document, TranslationTable& table) {
    const std::vector<pugi::xml_node> lists = platform::ElementsByTagName(document, L"LanguageOptions", 2);
    if (lists.size() != 1) return false;
    for (pugi::xml_node entry = lists.front().first_child(); entry; entry = entry.next_sibling()) {
        if (entry.type() != pugi::node_element) continue;
        const wchar_t* key = entry.attribute(L"ItemName").value();
        const wchar_t* translation = entry.attribute(L"ItemTranslation").value();
        if (*key == L'\0' || *translation == L'\0') continue;
        // emplace leaves an existing key alone: the first entry wins.
        table.emplace(key, translation);
    }
    return true;
}

std::wstring TextCatalog::ExpandText(const std::wstring& text, bool translate) const {
    const std::wstring* translation = translate ? FindTranslation(text) : nullptr;
    return ExpandPlaceholders(translation ? *translation : text, m_product);
}

const std::wstring* TextCatalog::FindTranslation(const std::wstring& key) const {
    const auto found = m_table.find(key);
    return found == m_table.end() ? nullptr : &found->second;
}

std::wstring TextCatalog::GetLanguageFolder() const {
    return m_languageFolder.empty() ? platform::GetProgramFolder() : m_languageFolder;
}

void TextCatalog::SetLanguageFolder(const std::wstring& folder) {
    m_languageFolder = platform::WithTrailingBackslash(folder);
}

bool TextCatalog::LoadLanguage(LanguageSettings& options, bool clear, const std::wstring& prefix) {
    if (clear) {
        m_table.clear();
        m_languageId = kNoLanguage;
    }
    m_lastLoadError.clear();
    std::wstring path;
    try {
        m_languageFile = ChooseLanguageFile(options);
        path = GetLanguageFolder() + prefix + m_languageFile;
        pugi::xml_document document;
        const platform::XmlLoadResult loaded = platform::LoadXmlFile(path, document);
        if (!loaded) {
            m_lastLoadError = path + L": " +
                              (loaded.status == platform::XmlLoadStatus::Malformed ? loaded.reason
                                                                                  : L"the file cannot be read");
            return false;
        }
        if (!AddLanguageEntries(document, m_table)) {
            m_lastLoadError = path + L": the file has no single \"LanguageOptions\" element";
            return false;
        }
        m_languageId = LanguageIdForFile(options, m_languageFile);
        return true;
    } catch (const std::bad_alloc&) {
        m_lastLoadError = path + L": not enough memory to read the file";
    } catch (...) {
        m_lastLoadError = path + L": the file could not be read";
    }
    return false;
}

bool TextCatalog::LoadLanguages(LanguageSettings& options, bool redetect) {
    if (redetect) options.SelectLanguageForLangId(GetUiLanguage());
    const bool main = LoadLanguage(options, true, L"");
    const std::wstring mainError = m_lastLoadError;
    const bool library = LoadLanguage(options, false, kLibraryPrefix);
    if (!main) m_lastLoadError = library ? mainError : mainError + L"; " + m_lastLoadError;
    return main && library;
}

std::wstring ChooseLanguageFile(LanguageSettings& options) {
    std::wstring name;
    try {
        name = options.GetLanguageFileForOption();
        if (name.empty()) {
            options.SelectLanguageForLangId(GetUiLanguage());
            name = options.GetLanguageFileForOption();
        }
    } catch (...) {
        name.clear();
    }
    // The options are the user's to edit: a language file is only ever one
    // beside the program, never a path that leads elsewhere.
    if (!IsPlainFileName(name)) name.clear();
    if (name.empty()) {
        // From then on the options name the English entry, if they have one.
        options.SelectLanguageForLangId(TextCatalog::kUsEnglish);
        name = TextCatalog::kFallbackLanguageFile;
    }
    return name;
}

std::wstring ExpandText(const std::wstring& text, bool translate) {
    if (CCorvaneApp* app = CCorvaneApp::Current()) return app->GetTextCatalog().ExpandText(text, translate);
    return ExpandPlaceholders(text, ProductTexts{});
}

std::wstring FillFirstArgument(std::wstring text, const std::wstring& value) {
    for (size_t at = text.find(L"{1}"); at != std::wstring::npos; at = text.find(L"{1}", at + value.size()))
        text.replace(at, 3, value);
    return text;
}

std::wstring ProgramVersionText(const std::wstring& appFileName) {
    return FormatFileVersion(platform::GetProgramFolder() + appFileName + L".exe", true);
}

uint16_t GetUiLanguage() {
    // Windows before 2000 has no separate UI language.
    using UiLanguageFunction = LANGID(WINAPI*)();
    if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
        if (const FARPROC proc = ::GetProcAddress(kernel, "GetUserDefaultUILanguage"))
            return reinterpret_cast<UiLanguageFunction>(reinterpret_cast<void*>(proc))();
    }
    return ::GetUserDefaultLangID();
}

std::wstring GetLocaleLanguageName(bool abbreviated) {
    const LCTYPE type = abbreviated ? LOCALE_SABBREVLANGNAME : LOCALE_SLANGUAGE;
    wchar_t name[256] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, name, 256) <= 0) return {};
    std::wstring result = name;
    if (!abbreviated) return result;
    result = result.substr(0, 2);
    for (wchar_t& c : result) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return result;
}

std::wstring LanguageCode(uint16_t langId) {
    // An entry without a sublanguage names the language alone; the system
    // describes it through its default sublanguage.
    const LANGID language =
        SUBLANGID(langId) == SUBLANG_NEUTRAL ? MAKELANGID(PRIMARYLANGID(langId), SUBLANG_DEFAULT) : langId;
    wchar_t code[16] = {};
    if (::GetLocaleInfoW(MAKELCID(language, SORT_DEFAULT), LOCALE_SISO639LANGNAME, code, 16) <= 0) return {};
    return code;
}

std::wstring GetHelpFolderForLanguage(const std::wstring& programFolder, uint16_t languageId) {
    const std::wstring code =
        languageId == TextCatalog::kNoLanguage ? GetLocaleLanguageName(true) : LanguageCode(languageId);
    return GetDocsFolder(programFolder, code);
}

std::wstring GetDocsFolder(const std::wstring& programFolder, const std::wstring& languageCode) {
    const std::wstring docs = platform::WithTrailingBackslash(programFolder) + L"docs\\";
    if (IsPlainFolderName(languageCode)) {
        const std::wstring candidate = docs + languageCode + L"\\";
        if (platform::FileExists(candidate + L"index.htm")) return candidate;
    }
    return docs + L"en\\";
}
