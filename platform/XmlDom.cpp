#include "platform/XmlDom.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cwchar>
#include <sstream>

namespace platform {

namespace {

// Whitespace between elements is kept and the document is written back raw,
// so a saved file keeps the layout it was read with (and saving a deeply
// nested file costs no quadratic indentation).
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_ws_pcdata;

std::wstring Widen(const char* text) {
    std::wstring out;
    for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

// Line and column of a byte offset, for a parse reason a user can act on.
void LineAndColumn(const std::string& data, ptrdiff_t offset, size_t& line, size_t& column) {
    line = 1;
    column = 1;
    const size_t end = std::min<size_t>(static_cast<size_t>(offset < 0 ? 0 : offset), data.size());
    for (size_t i = 0; i < end; ++i) {
        if (data[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

class StringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
    std::string out;
};

}  // namespace

XmlLoadResult LoadXmlFile(const std::wstring& path, pugi::xml_document& doc) {
    XmlLoadResult result;
    const std::optional<std::string> data = ReadWholeFile(path);
    if (!data) return result;
    pugi::xml_document parsed;
    const pugi::xml_parse_result parse =
        parsed.load_buffer(data->data(), data->size(), kParseOptions, pugi::encoding_auto);
    if (!parse) {
        // pugixml reports the offset in characters of the converted text; for
        // the usual UTF-8 or ASCII file that is also the byte offset.
        size_t line = 0, column = 0;
        LineAndColumn(*data, parse.offset, line, column);
        std::wostringstream reason;
        reason << Widen(parse.description()) << L" (line " << line << L", column " << column << L")";
        result.status = XmlLoadStatus::Malformed;
        result.reason = reason.str();
        return result;
    }
    doc = std::move(parsed);
    result.status = XmlLoadStatus::Loaded;
    return result;
}

bool SaveXmlFile(const pugi::xml_document& doc, const std::wstring& path) {
    StringWriter writer;
    doc.save(writer, L"", pugi::format_raw, pugi::encoding_utf8);
    return ReplaceFileContents(path, writer.out);
}

pugi::xml_node NextInDocumentOrder(pugi::xml_node node, pugi::xml_node root) {
    if (node.first_child()) return node.first_child();
    while (node && node != root) {
        if (node.next_sibling()) return node.next_sibling();
        node = node.parent();
    }
    return {};
}

std::vector<pugi::xml_node> ElementsByTagName(pugi::xml_node root, const wchar_t* tag, size_t limit) {
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node n = NextInDocumentOrder(root, root); n; n = NextInDocumentOrder(n, root)) {
        if (n.type() == pugi::node_element && std::wcscmp(n.name(), tag) == 0) {
            found.push_back(n);
            if (limit != 0 && found.size() >= limit) break;
        }
    }
    return found;
}

}  // namespace platform
