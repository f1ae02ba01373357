#include "uikit/DialogDescription.h"

#include "platform/XmlDom.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cwctype>

namespace {

// An integer attribute: its leading digits (with a sign), 0 when it has
// none, then kept within [low, high] so that absurd numbers cannot
// overflow the arithmetic.
int IntAttribute(pugi::xml_node node, const wchar_t* name, int fallback, int low, int high) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return std::clamp(fallback, low, high);
    const long long value = std::wcstoll(attribute.value(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, low, high));
}

bool IsTrue(pugi::xml_node node, const wchar_t* name) { return std::wcscmp(node.attribute(name).value(), L"true") == 0; }

// Text alignment of a static text or link: "left" 0, "right" 2, else 1.
int TextAlignment(pugi::xml_node node) {
    const pugi::xml_attribute align = node.attribute(L"align");
    if (!align || std::wcscmp(align.value(), L"left") == 0) return 0;
    return std::wcscmp(align.value(), L"right") == 0 ? 2 : 1;
}

COLORREF NamedColour(const wchar_t* name) {
    if (std::wcscmp(name, L"blue") == 0) return 0xFF0000;
    if (std::wcscmp(name, L"lightgray") == 0) return 0xC0C0C0;
    if (std::wcscmp(name, L"gray") == 0) return 0x808080;
    if (std::wcscmp(name, L"white") == 0) return 0xFFFFFF;
    return 0;
}

// Whitespace between elements is layout of the file, not content: only
// other nodes (a comment, real text) stop the building of their siblings.
bool IsBlankText(pugi::xml_node node) {
    if (node.type() != pugi::node_pcdata) return false;
    for (const wchar_t* c = node.value(); *c; ++c)
        if (!std::iswspace(*c)) return false;
    return true;
}

class Builder {
public:
    Builder(DialogDescription& description, const TextExpander& expand) : description_(description), expand_(expand) {}

    // Builds the child nodes of element into parent, in document order.
    void BuildChildren(pugi::xml_node element, LayoutItem& parent, int depth) {
        if (depth > kMaxDescriptionDepth) return;
        for (pugi::xml_node node = element.first_child(); node; node = node.next_sibling()) {
            if (IsBlankText(node)) continue;
            if (node.type() != pugi::node_element) return;
            Build(node, parent, depth);
        }
    }

private:
    void Build(pugi::xml_node node, LayoutItem& parent, int depth) {
        const std::wstring name = node.name();
        if (name.find(L"Container") != std::wstring::npos) {
            std::unique_ptr<LayoutItem> container;
            const wchar_t* align = node.attribute(L"align").value();
            if (name == L"ui:vContainer") {
                container = std::make_unique<VContainer>(std::wcscmp(align, L"left") == 0    ? 0
                                                         : std::wcscmp(align, L"right") == 0 ? 2
                                                                                             : 1);
            } else if (name == L"ui:hContainer") {
                container = std::make_unique<HContainer>(std::wcscmp(align, L"top") == 0      ? 0
                                                         : std::wcscmp(align, L"bottom") == 0 ? 2
                                                                                              : 1);
            } else {
                return;
            }
            container->widthPeer = IntAttribute(node, L"widthPeer", 0, INT_MIN, INT_MAX);
            container->heightPeer = IntAttribute(node, L"heightPeer", 0, INT_MIN, INT_MAX);
            const pugi::xml_attribute padding = node.attribute(L"padding");
            container->padding = !padding || _wcsicmp(padding.value(), L"true") == 0;
            LayoutItem& added = parent.Append(std::move(container));
            BuildChildren(node, added, depth + 1);
            return;
        }
        std::unique_ptr<LayoutControl> control = MakeControl(name, node);
        if (!control) return;
        control->widthPeer = IntAttribute(node, L"widthPeer", 0, INT_MIN, INT_MAX);
        control->heightPeer = IntAttribute(node, L"heightPeer", 0, INT_MIN, INT_MAX);
        control->tabStop = IntAttribute(node, L"tabStop", 0, SHRT_MIN, SHRT_MAX);
        if (const pugi::xml_attribute id = node.attribute(L"id")) control->name = id.value();
        const bool automaticName = control->kind == ControlKind::Static || control->kind == ControlKind::PathMessage ||
                                   control->kind == ControlKind::Hyperlink || control->kind == ControlKind::Divider;
        if (automaticName && control->name == L"-1") {
            wchar_t unique[32];
            std::swprintf(unique, 32, L"0x%08llx", static_cast<unsigned long long>(
                                                        reinterpret_cast<uintptr_t>(control.get())));
            control->name = unique;
        }
        LayoutControl* item = control.get();
        parent.Append(std::move(control));
        if (item->tabStop != 0) EnterInTabList(item);
    }

    std::wstring Text(pugi::xml_node node, const wchar_t* attribute) {
        return expand_ ? expand_(node.attribute(attribute).value()) : std::wstring(node.attribute(attribute).value());
    }

    std::unique_ptr<LayoutControl> MakeControl(const std::wstring& name, pugi::xml_node node) {
        std::unique_ptr<LayoutControl> c;
        if (name == L"ui:static" || name == L"ui:pathmsg") {
            c = std::make_unique<LayoutControl>(name == L"ui:static" ? ControlKind::Static : ControlKind::PathMessage);
            c->text = Text(node, L"stringid");
            c->singleLine = IsTrue(node, L"singleLine");
            c->maxTextWidth = IntAttribute(node, L"maxWidth", 1024, 1, SHRT_MAX);
            if (c->kind == ControlKind::Static && c->singleLine) c->maxTextWidth = 1024;
            c->fontSize = IntAttribute(node, L"size", 1, 1, 8);
            c->color = NamedColour(node.attribute(L"color").value());
            c->textAlign = TextAlignment(node);
            c->style |= static_cast<DWORD>(c->textAlign);
            if (c->kind == ControlKind::PathMessage) c->style |= SS_NOPREFIX;
        } else if (name == L"ui:tips") {
            c = std::make_unique<LayoutControl>(ControlKind::Tips);
            c->maxWidthPx = IntAttribute(node, L"maxWidth", 0, 0, 8192);
            c->maxHeightPx = IntAttribute(node, L"maxHeight", 0, 0, 8192);
        } else if (name == L"ui:bitmap" || name == L"ui:previewbitmap") {
            c = std::make_unique<LayoutControl>(name == L"ui:bitmap" ? ControlKind::Bitmap : ControlKind::PreviewBitmap);
            c->pictures[0] = Text(node, L"path");
            if (c->kind == ControlKind::Bitmap) {
                c->pictures[1] = Text(node, L"path800x600");
                c->pictures[2] = Text(node, L"path1152x864");
            }
            c->style |= SS_BITMAP | SS_CENTERIMAGE;
        } else if (name == L"ui:button") {
            c = std::make_unique<LayoutControl>(ControlKind::Button);
            c->text = Text(node, L"stringid");
            if (IsTrue(node, L"def")) c->style |= BS_DEFPUSHBUTTON;
        } else if (name == L"ui:edit" || name == L"ui:password") {
            c = std::make_unique<LayoutControl>(name == L"ui:edit" ? ControlKind::Edit : ControlKind::Password);
            c->text = node.attribute(L"value").value();
            c->minWidth = IntAttribute(node, L"minWidth", 40, 0, SHRT_MAX);
            c->minHeight = IntAttribute(node, L"minHeight", 1, 1, 256);
            c->style |= c->minHeight > 1 ? WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_WANTRETURN | ES_AUTOVSCROLL |
                                               ES_AUTOHSCROLL | ES_MULTILINE
                                         : WS_BORDER | ES_AUTOHSCROLL;
            if (c->kind == ControlKind::Password) c->style |= ES_PASSWORD;
        } else if (name == L"ui:hotkey") {
            c = std::make_unique<LayoutControl>(ControlKind::HotKey);
            c->text = node.attribute(L"value").value();
            c->minWidth = IntAttribute(node, L"minWidth", 40, 0, SHRT_MAX);
            c->classAtom = 0;
            c->className = L"msctls_hotkey32";
            c->style |= WS_BORDER;
        } else if (name == L"ui:path") {
            c = std::make_unique<LayoutControl>(ControlKind::Path);
            c->text = node.attribute(L"value").value();
            c->minWidth = IntAttribute(node, L"minWidth", 40, 0, SHRT_MAX);
            c->style |= WS_BORDER | ES_AUTOHSCROLL;
        } else if (name == L"ui:checkbox") {
            c = std::make_unique<LayoutControl>(ControlKind::CheckBox);
            c->text = Text(node, L"stringid");
            c->checked = IsTrue(node, L"checked");
            c->style |= BS_AUTOCHECKBOX | (IsTrue(node, L"leftText") ? BS_LEFTTEXT : 0);
        } else if (name == L"ui:radiobutton") {
            c = std::make_unique<LayoutControl>(ControlKind::RadioButton);
            c->text = Text(node, L"stringid");
            c->value = IntAttribute(node, L"value", 0, INT_MIN, INT_MAX);
            c->style |= BS_AUTORADIOBUTTON | (IsTrue(node, L"leftText") ? BS_LEFTTEXT : 0);
        } else if (name == L"ui:hyperlink") {
            c = std::make_unique<LayoutControl>(ControlKind::Hyperlink);
            c->text = Text(node, L"stringid");
            c->linkTarget = node.attribute(L"linkid").value();
            c->textAlign = TextAlignment(node);
            c->style |= static_cast<DWORD>(c->textAlign) | SS_NOTIFY;
        } else if (name == L"ui:divider") {
            c = std::make_unique<LayoutControl>(ControlKind::Divider);
            c->style |= SS_ETCHEDHORZ;
        }
        return c;
    }

    void EnterInTabList(LayoutControl* item) {
        auto& list = description_.tabList;
        const auto at = std::find_if(list.begin(), list.end(),
                                     [&](const LayoutControl* other) { return other->tabStop >= item->tabStop; });
        list.insert(at, item);
    }

    DialogDescription& description_;
    const TextExpander& expand_;
};

void EmitWalk(std::vector<std::unique_ptr<LayoutItem>>& siblings, ControlIds& ids, std::vector<TemplateEntry>& out);

TemplateEntry EntryFor(LayoutControl& item, ControlIds& ids, DWORD extraStyle) {
    TemplateEntry entry;
    entry.item = &item;
    entry.style = item.style | extraStyle;
    entry.x = ClampToShort(item.left);
    entry.y = ClampToShort(item.top);
    entry.cx = ClampToShort(item.width);
    entry.cy = ClampToShort(item.height);
    entry.id = ids.IdFor(item.name);
    entry.classAtom = item.classAtom;
    entry.className = item.className;
    // A field's value is set after creation (a hot key is no text at all).
    const bool showsText = item.kind != ControlKind::HotKey && item.kind != ControlKind::Bitmap &&
                           item.kind != ControlKind::PreviewBitmap && item.kind != ControlKind::Tips &&
                           item.kind != ControlKind::Divider;
    if (showsText) entry.text = item.text;
    item.emitted = true;
    return entry;
}

// The last sibling first, each with its children before itself.
void EmitWalk(std::vector<std::unique_ptr<LayoutItem>>& siblings, ControlIds& ids, std::vector<TemplateEntry>& out) {
    for (auto it = siblings.rbegin(); it != siblings.rend(); ++it) {
        EmitWalk((*it)->Children(), ids, out);
        LayoutControl* control = (*it)->AsControl();
        if (control != nullptr && !control->emitted) out.push_back(EntryFor(*control, ids, 0));
    }
}

void Append(std::vector<WORD>& out, const std::wstring& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

void AppendDword(std::vector<WORD>& out, DWORD value) {
    out.push_back(LOWORD(value));
    out.push_back(HIWORD(value));
}

void AlignToDword(std::vector<WORD>& out) {
    if (out.size() % 2 != 0) out.push_back(0);
}

}  // namespace

short ClampToShort(long long value) { return static_cast<short>(std::clamp<long long>(value, SHRT_MIN, SHRT_MAX)); }

bool ReadDialogDescription(const pugi::xml_document& document, const std::wstring& dialogId,
                           DialogDescription& description, const TextExpander& expand) {
    const std::vector<pugi::xml_node> boxes = platform::ElementsByTagName(document, L"ui:dialogBoxes", 2);
    if (boxes.size() != 1) return false;
    description.id = dialogId;
    Builder builder(description, expand);
    bool found = false;
    for (pugi::xml_node dialog = boxes.front().first_child(); dialog; dialog = dialog.next_sibling()) {
        if (dialog.type() != pugi::node_element || dialogId != dialog.attribute(L"id").value()) continue;
        found = true;
        description.splash = std::wcscmp(dialog.attribute(L"mode").value(), L"splash") == 0;
        description.white = std::wcscmp(dialog.attribute(L"color").value(), L"white") == 0;
        const std::wstring title = dialog.attribute(L"title").value();
        description.title = expand ? expand(title) : title;
        builder.BuildChildren(dialog, description.root, 1);
    }
    return found;
}

ControlIds::ControlIds() {
    const wchar_t* const names[] = {L"ok",  L"cancel", L"abort", L"retry", L"ignore", L"yes",   L"no",   L"close",
                                    L"help", L"path",  L"prev",  nullptr,  L"yesall", L"noall", L"next", L"last"};
    for (WORD i = 0; i < 16; ++i)
        if (names[i] != nullptr) ids_[names[i]] = static_cast<WORD>(i + 1);
}

WORD ControlIds::IdFor(const std::wstring& name) {
    const auto found = ids_.find(name);
    if (found != ids_.end()) return found->second;
    return ids_[name] = next_++;
}

WORD ControlIds::Find(const std::wstring& name) const {
    const auto found = ids_.find(name);
    return found == ids_.end() ? 0 : found->second;
}

std::vector<TemplateEntry> EmitControls(DialogDescription& description, ControlIds& ids) {
    std::vector<TemplateEntry> entries;
    ForEachItem(description.root, [](LayoutItem& item) {
        if (LayoutControl* control = item.AsControl()) control->emitted = false;
    });
    for (LayoutControl* item : description.tabList) {
        if (!item->emitted) entries.push_back(EntryFor(*item, ids, WS_TABSTOP));
    }
    EmitWalk(description.root.Children(), ids, entries);
    return entries;
}

std::vector<WORD> BuildDialogTemplate(const DialogHeader& header, const std::vector<TemplateEntry>& entries) {
    std::vector<WORD> out;
    out.push_back(1);       // version
    out.push_back(0xFFFF);  // an extended template
    AppendDword(out, 0);    // help id
    AppendDword(out, header.exStyle);
    AppendDword(out, header.style);
    out.push_back(static_cast<WORD>(std::min<size_t>(entries.size(), 0xFFFF)));
    out.push_back(0);  // x
    out.push_back(0);  // y
    out.push_back(static_cast<WORD>(header.cx));
    out.push_back(static_cast<WORD>(header.cy));
    out.push_back(0);  // no menu
    out.push_back(0);  // the default dialog class
    Append(out, header.title);
    out.push_back(header.pointSize);
    out.push_back(FW_NORMAL);
    out.push_back(0);  // not italic, character set 0
    Append(out, header.face);
    size_t count = 0;
    for (const TemplateEntry& entry : entries) {
        if (++count > 0xFFFF) break;
        AlignToDword(out);
        AppendDword(out, 0);  // help id
        AppendDword(out, entry.exStyle);
        AppendDword(out, entry.style);
        out.push_back(static_cast<WORD>(entry.x));
        out.push_back(static_cast<WORD>(entry.y));
        out.push_back(static_cast<WORD>(entry.cx));
        out.push_back(static_cast<WORD>(entry.cy));
        AppendDword(out, entry.id);
        if (entry.classAtom != 0) {
            out.push_back(0xFFFF);
            out.push_back(entry.classAtom);
        } else {
            Append(out, entry.className);
        }
        Append(out, entry.text);
        out.push_back(0);  // no creation data
    }
    AlignToDword(out);
    return out;
}

TemplateEntry MakeTemplateEntry(WORD id, WORD classAtom, const wchar_t* className, DWORD style, short x, short y,
                                short cx, short cy, std::wstring text) {
    TemplateEntry entry;
    entry.id = id;
    entry.classAtom = classAtom;
    if (className != nullptr) entry.className = className;
    entry.style = WS_CHILD | style;
    entry.x = x;
    entry.y = y;
    entry.cx = cx;
    entry.cy = cy;
    entry.text = std::move(text);
    return entry;
}
