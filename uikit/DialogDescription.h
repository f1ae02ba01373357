#pragma once
// One dialog of a description file ("commonui.xml", "ui.xml"): its caption,
// kind and colour, its layout tree built from the "ui:" elements, the tab
// list, and the dialog template that the platform creates it from. Reading,
// emission and the template bytes are plain functions over values, so a
// test can check them without a window.
#include "uikit/LayoutItem.h"

#include <pugixml.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct DialogDescription {
    std::wstring id;
    bool splash = false;
    bool white = false;
    std::wstring title;
    LayoutGroup root;
    // Items with a tab stop, in tab order: ascending by number, and among
    // equal numbers the later one in the description first.
    std::vector<LayoutControl*> tabList;
};

// Turns a text key into the shown text (the text catalog's ExpandText with
// translation, unless a test gives another).
using TextExpander = std::function<std::wstring(const std::wstring&)>;

// Deeper nesting than this is not built: a hostile file nested ten thousand
// levels deep still gives a working dialog.
constexpr int kMaxDescriptionDepth = 64;

// Reads the dialog element whose "id" is dialogId from the document's single
// "ui:dialogBoxes" into description. A document without exactly one
// "ui:dialogBoxes", or without that dialog, leaves the description empty.
// Returns whether the dialog element was found.
bool ReadDialogDescription(const pugi::xml_document& document, const std::wstring& dialogId,
                           DialogDescription& description, const TextExpander& expand);

// The control identifiers by name: "ok" 1 to "last" 16, then every other
// name numbered from 17 in the order its first control is emitted.
class ControlIds {
public:
    ControlIds();
    WORD IdFor(const std::wstring& name);
    // 0 for a name no control has.
    WORD Find(const std::wstring& name) const;

private:
    std::map<std::wstring, WORD> ids_;
    WORD next_ = 17;
};

struct TemplateEntry {
    LayoutControl* item = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    WORD classAtom = 0;        // 0: class by name
    std::wstring className;
    std::wstring text;
};

// A template entry for a hand-placed control (WS_CHILD added): a class by
// atom, or by name when classAtom is 0.
TemplateEntry MakeTemplateEntry(WORD id, WORD classAtom, const wchar_t* className, DWORD style, short x, short y,
                                short cx, short cy, std::wstring text = {});

// The controls in template order: the tab list first, each with
// WS_TABSTOP, then every other control of the tree, the last sibling first
// and children before their parent. Positions and sizes are clamped to the
// 16-bit range of a template.
std::vector<TemplateEntry> EmitControls(DialogDescription& description, ControlIds& ids);

struct DialogHeader {
    DWORD style = 0;
    DWORD exStyle = 0;
    short cx = 186, cy = 164;
    std::wstring title;
    WORD pointSize = 8;
    std::wstring face = L"MS Shell Dlg";
};

constexpr DWORD kNormalDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
constexpr DWORD kSplashDialogStyle = WS_POPUP | WS_BORDER | DS_SETFONT | DS_FIXEDSYS;

// An extended dialog template (DLGTEMPLATEEX) with its items, DWORD-aligned
// as the platform wants it.
std::vector<WORD> BuildDialogTemplate(const DialogHeader& header, const std::vector<TemplateEntry>& entries);

// A value clamped to a template's 16-bit signed range.
short ClampToShort(long long value);
