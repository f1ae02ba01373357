#include "platform/XmlDom.h"

#include "platform/FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
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

// Line and column of an offset into the text that was parsed, for a parse
// reason a user can act on.
template <typename Text>
void LineAndColumnOf(const Text& text, size_t offset, size_t& line, size_t& column) {
    line = 1;
    column = 1;
    for (size_t i = 0; i < std::min(offset, text.size()); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

// The code page of an encoding named in an XML declaration, or 0 for one
// this loader does not know.
UINT CodePageOf(std::string name) {
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static const struct {
        const char* name;
        UINT codePage;
    } kNames[] = {
        {"utf-8", CP_UTF8},         {"utf8", CP_UTF8},          {"us-ascii", 20127},
        {"ascii", 20127},           {"iso-8859-1", 28591},      {"iso_8859-1", 28591},
        {"latin1", 28591},          {"l1", 28591},              {"iso-8859-2", 28592},
        {"iso-8859-3", 28593},      {"iso-8859-4", 28594},      {"iso-8859-5", 28595},
        {"iso-8859-6", 28596},      {"iso-8859-7", 28597},      {"iso-8859-8", 28598},
        {"iso-8859-9", 28599},      {"iso-8859-13", 28603},     {"iso-8859-15", 28605},
        {"windows-1250", 1250},     {"windows-1251", 1251},     {"windows-1252", 1252},
        {"windows-1253", 1253},     {"windows-1254", 1254},     {"windows-1255", 1255},
        {"windows-1256", 1256},     {"windows-1257", 1257},     {"windows-1258", 1258},
        {"cp1250", 1250},           {"cp1251", 1251},           {"cp1252", 1252},
        {"koi8-r", 20866},          {"koi8-u", 21866},          {"shift_jis", 932},
        {"windows-31j", 932},       {"gb2312", 936},            {"gbk", 936},
        {"big5", 950},              {"euc-kr", 949},            {"ks_c_5601-1987", 949},
        {"ibm437", 437},            {"ibm850", 850},            {"ibm852", 852},
    };
    for (const auto& entry : kNames)
        if (name == entry.name) return entry.codePage;
    return 0;
}

// The encoding named by the XML declaration at the start of data, or empty
// when it names none.
std::string DeclaredEncoding(const std::string& data) {
    if (data.compare(0, 5, "<?xml") != 0) return {};
    const size_t end = data.find("?>");
    if (end == std::string::npos) return {};
    const std::string declaration = data.substr(0, end);
    const size_t key = declaration.find("encoding");
    if (key == std::string::npos) return {};
    size_t quote = declaration.find_first_of("\"'", key);
    if (quote == std::string::npos) return {};
    const size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string::npos) return {};
    return declaration.substr(quote + 1, close - quote - 1);
}

bool StartsWithUtf16Or32(const std::string& data) {
    const auto at = [&](size_t i) { return i < data.size() ? static_cast<unsigned char>(data[i]) : 0x100; };
    return (at(0) == 0xFE && at(1) == 0xFF) || (at(0) == 0xFF && at(1) == 0xFE) ||
           (at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF) || (at(0) == '<' && at(1) == 0) ||
           (at(0) == 0 && at(1) == '<');
}

// Decodes 8-bit text of a code page; nothing is dropped or replaced: a byte
// that is not text of that code page fails the whole file, with its line.
bool DecodeText(const std::string& data, UINT codePage, std::wstring& text, size_t& badLine) {
    constexpr UINT kUsAscii = 20127;
    if (codePage == kUsAscii) {
        // The system's ASCII table folds the upper half onto the lower one
        // instead of refusing it.
        const auto bad = std::find_if(data.begin(), data.end(), [](char c) { return (c & 0x80) != 0; });
        if (bad != data.end()) {
            badLine = 1 + static_cast<size_t>(std::count(data.begin(), bad, '\n'));
            return false;
        }
        codePage = CP_UTF8;
    }
    const int size = static_cast<int>(std::min<size_t>(data.size(), 0x7FFFFFFF));
    if (size == 0) {
        text.clear();
        return true;
    }
    const int needed = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data.data(), size, nullptr, 0);
    if (needed > 0) {
        text.resize(static_cast<size_t>(needed));
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data.data(), size, text.data(), needed);
        return true;
    }
    // No multi-byte character spans a line break: the first line that does
    // not decode holds the bad byte.
    badLine = 1;
    for (size_t start = 0; start < data.size(); ++badLine) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        if (end > start && ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data.data() + start,
                                                 static_cast<int>(end - start), nullptr, 0) == 0)
            break;
        start = end + 1;
    }
    return false;
}

XmlLoadResult Malformed(const std::wstring& reason) {
    XmlLoadResult result;
    result.status = XmlLoadStatus::Malformed;
    result.reason = reason;
    return result;
}

// The document is written back as UTF-8, so its declaration must say so:
// an old "ISO-8859-1" over UTF-8 bytes would corrupt every non-ASCII
// character at the next load.
void DeclareUtf8(pugi::xml_document& doc) {
    for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_declaration) continue;
        if (pugi::xml_attribute encoding = node.attribute(L"encoding")) encoding.set_value(L"UTF-8");
        return;
    }
}

class StringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
    std::string out;
};

// pugixml leaves ">" inside attribute values as it is; the files spell it
// "&gt;", as most writers do, so a save keeps them as they were.
std::string EscapeGreaterThanInAttributes(const std::string& xml) {
    std::string out;
    out.reserve(xml.size() + xml.size() / 32);
    size_t i = 0;
    const auto copyThrough = [&](const char* end) {
        const size_t at = xml.find(end, i);
        const size_t stop = at == std::string::npos ? xml.size() : at + std::strlen(end);
        out.append(xml, i, stop - i);
        i = stop;
    };
    while (i < xml.size()) {
        if (xml[i] != '<') {
            out += xml[i++];
        } else if (xml.compare(i, 4, "<!--") == 0) {
            copyThrough("-->");
        } else if (xml.compare(i, 9, "<![CDATA[") == 0) {
            copyThrough("]]>");
        } else if (xml.compare(i, 2, "<?") == 0) {
            copyThrough("?>");
        } else if (xml.compare(i, 2, "<!") == 0) {
            copyThrough(">");
        } else {
            // A tag: its quotes delimit the attribute values.
            char quote = 0;
            while (i < xml.size()) {
                const char c = xml[i++];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                    out += c == '>' ? std::string("&gt;") : std::string(1, c);
                    continue;
                }
                out += c;
                if (c == '"' || c == '\'') quote = c;
                if (c == '>') break;
            }
        }
    }
    return out;
}

}  // namespace

XmlLoadResult LoadXmlFile(const std::wstring& path, pugi::xml_document& doc) {
    XmlLoadResult result;
    const std::optional<std::string> data = ReadWholeFile(path);
    if (!data) return result;
    pugi::xml_document parsed;
    pugi::xml_parse_result parse;
    size_t line = 0, column = 0;
    if (StartsWithUtf16Or32(*data)) {
        // Text of 16 or 32 bits is pugixml's own to decode.
        parse = parsed.load_buffer(data->data(), data->size(), kParseOptions, pugi::encoding_auto);
        if (!parse) LineAndColumnOf(*data, static_cast<size_t>(std::max<ptrdiff_t>(parse.offset, 0)), line, column);
    } else {
        // 8-bit text: a byte-order mark says UTF-8, else the declaration
        // names the encoding, else it is UTF-8.
        const bool bom = data->compare(0, 3, "\xEF\xBB\xBF") == 0;
        const std::string body = bom ? data->substr(3) : *data;
        const std::string name = bom ? std::string("UTF-8") : DeclaredEncoding(body);
        const UINT codePage = name.empty() ? CP_UTF8 : CodePageOf(name);
        if (codePage == 0) return Malformed(L"the file's encoding \"" + Widen(name.c_str()) + L"\" is not supported");
        std::wstring text;
        size_t badLine = 0;
        if (!DecodeText(body, codePage, text, badLine)) {
            std::wostringstream reason;
            reason << L"the file is not valid " << (name.empty() ? L"UTF-8" : Widen(name.c_str()))
                   << L" text (line " << badLine << L")";
            return Malformed(reason.str());
        }
        parse = parsed.load_buffer(text.data(), text.size() * sizeof(wchar_t), kParseOptions, pugi::encoding_wchar);
        if (!parse) LineAndColumnOf(text, static_cast<size_t>(std::max<ptrdiff_t>(parse.offset, 0)), line, column);
    }
    if (!parse) {
        std::wostringstream reason;
        reason << Widen(parse.description()) << L" (line " << line << L", column " << column << L")";
        return Malformed(reason.str());
    }
    DeclareUtf8(parsed);
    doc = std::move(parsed);
    result.status = XmlLoadStatus::Loaded;
    return result;
}

bool SaveXmlFile(const pugi::xml_document& doc, const std::wstring& path) {
    // The parser keeps no text between the document's top-level nodes (the
    // declaration, comments, the root): each is written raw on a line of
    // its own, as the files are laid out, so that a load and a save change
    // nothing that was not edited.
    StringWriter writer;
    for (pugi::xml_node node : doc.children()) {
        node.print(writer, L"", pugi::format_raw, pugi::encoding_utf8);
        writer.write("\n", 1);
    }
    return ReplaceFileContents(path, EscapeGreaterThanInAttributes(writer.out));
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
