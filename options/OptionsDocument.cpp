#include "options/OptionsDocument.h"

#include "platform/FileSystem.h"
#include "platform/XmlDom.h"
#include "shellutil/StandardFolders.h"

#include <cerrno>
#include <cwchar>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

using platform::HasAttributes;

namespace {

bool IsNamed(pugi::xml_node node, const std::wstring& name) {
    if (!HasAttributes(node)) return false;
    const pugi::xml_attribute attribute = node.attribute(L"Name");
    return attribute && name == attribute.value();
}

// Reads a decimal attribute text; empty reads as emptyValue.
bool ParseDecimal(const wchar_t* text, long emptyValue, long& value) {
    if (*text == L'\0') {
        value = emptyValue;
        return true;
    }
    wchar_t* end = nullptr;
    errno = 0;
    value = std::wcstol(text, &end, 10);
    return errno == 0 && end != text && *end == L'\0';
}

// Numbers each element by its path of "Name"s from the document down (an
// element without a "Name" counts by its tag), the same number for the same
// path in any document read through the same table.
class ElementPaths {
public:
    // Calls visit(element, path number, how many elements of that path came
    // before it) for every element of document, in document order. The walk
    // is iterative: a file a million levels deep cannot exhaust the stack.
    template <typename Visit>
    void Walk(const pugi::xml_document& document, Visit visit) {
        std::unordered_map<const void*, int> numbers;
        std::unordered_map<int, int> seen;
        for (pugi::xml_node n = platform::NextInDocumentOrder(document, document); n;
             n = platform::NextInDocumentOrder(n, document)) {
            if (n.type() != pugi::node_element) continue;
            const auto parent = numbers.find(n.parent().internal_object());
            const pugi::xml_attribute name = n.attribute(L"Name");
            const std::wstring step = name ? std::wstring(L"=") + name.value() : std::wstring(L"<") + n.name();
            const int number = Intern(parent == numbers.end() ? 0 : parent->second, step);
            numbers[n.internal_object()] = number;
            visit(n, number, seen[number]++);
        }
    }

private:
    int Intern(int parent, const std::wstring& step) {
        const auto [at, added] = table_.try_emplace({parent, step}, static_cast<int>(table_.size()) + 1);
        return at->second;
    }
    std::map<std::pair<int, std::wstring>, int> table_;
};

// The newer default with the user's values: every "Value" of the user's
// file whose element (the same path of "Name"s, the same occurrence of it)
// the default still has replaces the default's; elements only the default
// has keep its values, and elements it no longer has are gone.
void MergeUserValues(const pugi::xml_document& user, pugi::xml_document& merged) {
    ElementPaths paths;
    std::unordered_map<int, std::vector<pugi::xml_attribute>> values;
    paths.Walk(user, [&](pugi::xml_node element, int path, int occurrence) {
        std::vector<pugi::xml_attribute>& list = values[path];
        list.resize(static_cast<size_t>(occurrence) + 1);
        list.back() = element.attribute(L"Value");
    });
    paths.Walk(merged, [&](pugi::xml_node element, int path, int occurrence) {
        const auto found = values.find(path);
        if (found == values.end() || static_cast<size_t>(occurrence) >= found->second.size()) return;
        const pugi::xml_attribute kept = found->second[static_cast<size_t>(occurrence)];
        if (!kept) return;
        pugi::xml_attribute value = element.attribute(L"Value");
        if (!value) value = element.append_attribute(L"Value");
        value.set_value(kept.value());
    });
}

}  // namespace

OptionsDocument::OptionsDocument(bool loadFile) {
    try {
        if (loadFile) {
            EnsureUserOptionsFile(false);
            LoadOptions();
        }
    } catch (const OptionsError&) {
        throw;
    } catch (...) {
        throw OptionsError(OptionsError::kInitFailed);
    }
}

OptionsDocument::~OptionsDocument() = default;

void OptionsDocument::EnsureUserOptionsFile(bool force) {
    const std::wstring user = GetSettingsFilePath(false);
    const std::wstring defaults = GetSettingsFilePath(true);
    if (defaults.empty() || !platform::FileExists(defaults)) throw OptionsError(OptionsError::kNoOptionsFile);

    const bool userExists = !user.empty() && platform::FileExists(user);
    bool defaultIsNewer = false;
    if (userExists) {
        const auto defaultTime = platform::LastWriteTime(defaults);
        const auto userTime = platform::LastWriteTime(user);
        defaultIsNewer = defaultTime && userTime && *defaultTime > *userTime;
    }
    if (force || !userExists) {
        if (user.empty() || !platform::CopyFileReplacing(defaults, user))
            throw OptionsError(OptionsError::kNoOptionsFile);
    } else if (defaultIsNewer) {
        MergeNewerDefault(defaults, user);
    }
}

void OptionsDocument::MergeNewerDefault(const std::wstring& defaults, const std::wstring& user) {
    pugi::xml_document merged;
    // A default that cannot be read changes nothing: the user's file stays.
    if (!platform::LoadXmlFile(defaults, merged)) return;
    // The user's file as it was, byte for byte, before anything replaces it.
    if (!platform::CopyFileReplacing(user, user + L".bak")) return;
    pugi::xml_document userDocument;
    if (platform::LoadXmlFile(user, userDocument)) {
        MergeUserValues(userDocument, merged);
        if (!platform::SaveXmlFile(merged, user)) throw OptionsError(OptionsError::kNoOptionsFile);
    } else if (!platform::CopyFileReplacing(defaults, user)) {
        // A user's file that does not read has no values to keep.
        throw OptionsError(OptionsError::kNoOptionsFile);
    }
}

bool OptionsDocument::RestoreDefaultOptions() {
    try {
        EnsureUserOptionsFile(true);
        LoadOptions();
        return true;
    } catch (const OptionsError&) {
        return false;
    }
}

void OptionsDocument::LoadOptions() {
    const std::wstring path = GetSettingsFilePath(false);
    if (path.empty()) throw OptionsError(OptionsError::kLoadFailed);
    const platform::XmlLoadResult result = platform::LoadXmlFile(path, m_document);
    switch (result.status) {
        case platform::XmlLoadStatus::Loaded: return;
        case platform::XmlLoadStatus::Malformed:
            throw OptionsError(OptionsError::kInvalidFormat,
                               OptionsError::FixedText(OptionsError::kInvalidFormat, result.reason));
        case platform::XmlLoadStatus::Unreadable: break;
    }
    throw OptionsError(OptionsError::kLoadFailed);
}

bool OptionsDocument::SaveOptions() {
    if (!m_ownsFile) return true;
    try {
        const std::wstring path = GetSettingsFilePath(false);
        return !path.empty() && platform::SaveXmlFile(m_document, path);
    } catch (...) {
        return false;
    }
}

bool OptionsDocument::LoadFromDocument(const pugi::xml_document& source) {
    try {
        if (&source != &m_document) m_document.reset(source);
        return true;
    } catch (...) {
        return false;
    }
}

pugi::xml_node OptionsDocument::GetRootElement() const {
    const auto roots = platform::ElementsByTagName(m_document, L"ToolOptions", 1);
    return roots.empty() ? pugi::xml_node() : roots.front();
}

std::wstring OptionsDocument::FindOptionValue(pugi::xml_node node, const std::wstring& name, bool mapItems) const {
    // Each child's subtree is searched before the child itself; a non-empty
    // value found deeper wins. A match with an empty value ends the search
    // among its siblings, and the search goes on one level up, as a
    // recursive walk would. The stack stands in for the recursion.
    struct Frame {
        pugi::xml_node node;
        pugi::xml_node next;
    };
    std::vector<Frame> stack{{node, node.first_child()}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next) {
            const pugi::xml_node child = top.next;
            top.next = child.next_sibling();
            stack.push_back({child, child.first_child()});
            continue;
        }
        pugi::xml_node searched = top.node;
        stack.pop_back();
        while (!stack.empty() && IsNamed(searched, name)) {
            const std::wstring stored = searched.attribute(L"Value").value();
            std::wstring value = mapItems ? ValueToItemName(searched, stored) : stored;
            if (!value.empty()) return value;
            searched = stack.back().node;
            stack.pop_back();
        }
    }
    return {};
}

pugi::xml_node OptionsDocument::FindOptionElement(pugi::xml_node root, const std::wstring& name) {
    pugi::xml_node n = root.first_child();
    if (!n) return {};
    while (n.first_child()) n = n.first_child();
    for (;;) {
        if (IsNamed(n, name)) return n;
        if (n.next_sibling()) {
            n = n.next_sibling();
            while (n.first_child()) n = n.first_child();
        } else {
            n = n.parent();
            if (!n || n == root) return {};
        }
    }
}

bool OptionsDocument::SetOptionValue(pugi::xml_node node, const std::wstring& name, const std::wstring& value,
                                     bool mapItems) {
    const pugi::xml_node option = FindOptionElement(node, name);
    return option && WriteValue(option, mapItems ? ItemNameToValue(option, value) : value);
}

bool OptionsDocument::WriteValue(pugi::xml_node option, const std::wstring& value) {
    pugi::xml_attribute stored = option.attribute(L"Value");
    return stored && stored.set_value(value.c_str());
}

pugi::xml_node OptionsDocument::NamedChild(pugi::xml_node parent, const std::wstring& name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (IsNamed(child, name)) return child;
    return {};
}

pugi::xml_node OptionsDocument::SingleElement(const wchar_t* tag) const {
    const auto found = platform::ElementsByTagName(m_document, tag, 2);
    return found.size() == 1 ? found.front() : pugi::xml_node();
}

std::wstring OptionsDocument::ValueToItemName(pugi::xml_node option, const std::wstring& value) const {
    for (pugi::xml_node item = option.first_child(); item; item = item.next_sibling()) {
        if (!HasAttributes(item)) continue;
        const pugi::xml_attribute itemValue = item.attribute(L"Value");
        if (itemValue && value == itemValue.value()) return item.attribute(L"Name").value();
    }
    return value;
}

std::wstring OptionsDocument::ItemNameToValue(pugi::xml_node option, const std::wstring& name) const {
    std::wstring result = name;
    for (pugi::xml_node item = option.first_child(); item; item = item.next_sibling()) {
        if (IsNamed(item, name)) result = item.attribute(L"Value").value();
    }
    return result;
}

pugi::xml_node OptionsDocument::ProgramOptionsElement() const { return SingleElement(L"ProgramOptions"); }

std::wstring OptionsDocument::GetProgramOption(const std::wstring& name, bool mapItems) const {
    try {
        const pugi::xml_node group = ProgramOptionsElement();
        return group ? FindOptionValue(group, name, mapItems) : std::wstring();
    } catch (...) {
        return {};
    }
}

bool OptionsDocument::SetProgramOption(const std::wstring& name, const std::wstring& value, bool mapItems) {
    try {
        const pugi::xml_node group = ProgramOptionsElement();
        return group && SetOptionValue(group, name, value, mapItems);
    } catch (...) {
        return false;
    }
}

std::wstring OptionsDocument::GetAttributeByXPath(const std::wstring& xpath, const std::wstring& attribute) const {
    try {
        const pugi::xpath_node_set nodes = m_document.select_nodes(xpath.c_str());
        if (nodes.empty()) return {};
        return nodes.first().node().attribute(attribute.c_str()).value();
    } catch (...) {
        return {};
    }
}

std::wstring OptionsDocument::GetValueByXPath(const std::wstring& xpath, bool mapItems) const {
    try {
        const pugi::xpath_node_set nodes = m_document.select_nodes(xpath.c_str());
        if (nodes.empty()) return {};
        const pugi::xml_node node = nodes.first().node();
        const std::wstring value = node.attribute(L"Value").value();
        return mapItems ? ValueToItemName(node, value) : value;
    } catch (...) {
        return {};
    }
}

bool OptionsDocument::ReadLanguageFiles(std::map<uint16_t, std::wstring>& languages) const {
    languages.clear();
    try {
        bool allRead = true;
        const pugi::xpath_node_set nodes =
            m_document.select_nodes(L"//ToolOptions/ProgramOptions/Languages/Language");
        for (const pugi::xpath_node& entry : nodes) {
            const pugi::xml_node language = entry.node();
            long primary = 0, sub = 0;
            if (!ParseDecimal(language.attribute(L"PrimaryLangID").value(), -1, primary) ||
                !ParseDecimal(language.attribute(L"SubLangID").value(), 0, sub) || primary < 0 ||
                primary > 0x3FF || sub < 0 || sub > 0x3F) {
                allRead = false;
                continue;
            }
            languages[static_cast<uint16_t>(primary + sub * 1024)] = language.attribute(L"LanguageXML").value();
        }
        return allRead;
    } catch (...) {
        return false;
    }
}

std::wstring OptionsDocument::GetLanguageFileForOption() const {
    try {
        const std::wstring language = GetProgramOption(L"Language", true);
        const pugi::xml_node languages = SingleElement(L"Languages");
        if (languages) return NamedChild(languages, language).attribute(L"LanguageXML").value();
    } catch (...) {
    }
    return {};
}

std::optional<std::wstring> OptionsDocument::ChooseLanguageEntry(pugi::xml_node languages, uint16_t langId) {
    const std::wstring primary = std::to_wstring(langId & 0x3FF);
    const std::wstring sub = std::to_wstring((langId >> 10) & 0x3F);
    std::optional<std::wstring> chosen;
    for (pugi::xml_node entry = languages.first_child(); entry; entry = entry.next_sibling()) {
        if (entry.type() != pugi::node_element || primary != entry.attribute(L"PrimaryLangID").value()) continue;
        if (sub == entry.attribute(L"SubLangID").value()) return std::wstring(entry.attribute(L"Value").value());
        if (!chosen) chosen = entry.attribute(L"Value").value();
    }
    return chosen;
}

bool OptionsDocument::SelectLanguageForLangId(uint16_t langId) {
    try {
        const pugi::xml_node languages = SingleElement(L"Languages");
        if (!languages) return true;
        const std::optional<std::wstring> value = ChooseLanguageEntry(languages, langId);
        if (value && WriteValue(languages, *value)) SaveOptions();
    } catch (...) {
    }
    return true;
}
