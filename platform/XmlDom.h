#pragma once
// The XML document operations that the options, dialog descriptions and
// language files need, over pugixml in wide-character mode. Every walk here
// is iterative, so a hostile file nested a million levels deep cannot
// exhaust the stack.
#include <pugixml.hpp>

#include <string>
#include <vector>

namespace platform {

enum class XmlLoadStatus { Loaded, Unreadable, Malformed };

struct XmlLoadResult {
    XmlLoadStatus status = XmlLoadStatus::Unreadable;
    std::wstring reason;  // the parser's reason when Malformed
    explicit operator bool() const { return status == XmlLoadStatus::Loaded; }
};

// Parses a file into doc. On failure doc is left as it was.
XmlLoadResult LoadXmlFile(const std::wstring& path, pugi::xml_document& doc);

// Serialises doc and replaces the file in one step (see ReplaceFileContents).
bool SaveXmlFile(const pugi::xml_document& doc, const std::wstring& path);

// Elements with this tag anywhere below root, in document order; stops after
// limit matches when limit is not 0.
std::vector<pugi::xml_node> ElementsByTagName(pugi::xml_node root, const wchar_t* tag, size_t limit = 0);

// Only elements carry attributes; text, comments and processing
// instructions are skipped by every lookup of "Name".
inline bool HasAttributes(pugi::xml_node node) {
    return node.type() == pugi::node_element && node.first_attribute();
}

// The next node of a document-order walk below root, or null at the end.
pugi::xml_node NextInDocumentOrder(pugi::xml_node node, pugi::xml_node root);

}  // namespace platform
