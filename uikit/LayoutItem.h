#pragma once
// The layout tree of a described dialog: columns and rows of controls whose
// sizes come from their measured texts, stacked with fixed gaps, with peer
// groups that share a width or a height. Everything here is arithmetic in
// dialog units (DLU): measured sizes go in, rectangles come out, and a test
// can drive it without a window.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Pixel sizes of texts and pictures, as the dialog's fonts and files give
// them. The dialog measures with GDI; tests give fixed numbers.
class LayoutMeasurer {
public:
    virtual ~LayoutMeasurer() = default;
    // The text's extent in pixels within maxWidth pixels: wrapped at words
    // when wordWrap is set, else one line per line of text. fontSize is the
    // element's "size" (1 normal, 2 one and a half times, 3 twice); larger
    // asks for the button font, a fifth larger.
    virtual SIZE Text(const std::wstring& text, int maxWidth, bool wordWrap, int fontSize, bool larger) = 0;
    // A picture's size in pixels; 0 x 0 when it cannot be loaded.
    virtual SIZE Picture(const std::wstring& path) = 0;
    // The screen's size in pixels, for the choice of a bitmap.
    virtual SIZE Screen() = 0;
};

// What a 1024 x 1024 DLU rectangle measures in pixels on this dialog.
struct DluScale {
    int px1024X = 1024;
    int px1024Y = 1024;
    int ToDluX(int px) const { return static_cast<int>(static_cast<long long>(px) * 1024 / px1024X); }
    int ToDluY(int px) const { return static_cast<int>(static_cast<long long>(px) * 1024 / px1024Y); }
    int ToPxX(int dlu) const { return static_cast<int>(static_cast<long long>(dlu) * px1024X / 1024); }
};

enum class ControlKind {
    Static,
    PathMessage,
    Hyperlink,
    Button,
    CheckBox,
    RadioButton,
    Edit,
    Password,
    HotKey,
    Path,
    Divider,
    Tips,
    Bitmap,
    PreviewBitmap,
};

class LayoutControl;

class LayoutItem {
public:
    LayoutItem() = default;
    virtual ~LayoutItem() = default;
    LayoutItem(const LayoutItem&) = delete;
    LayoutItem& operator=(const LayoutItem&) = delete;

    int widthPeer = 0;
    int heightPeer = 0;
    int maxTextWidth = 1024;
    bool padding = true;
    int left = 0, top = 0, width = 0, height = 0;

    std::vector<std::unique_ptr<LayoutItem>>& Children() { return children_; }
    const std::vector<std::unique_ptr<LayoutItem>>& Children() const { return children_; }
    LayoutItem& Append(std::unique_ptr<LayoutItem> child);

    virtual bool IsContainer() const { return false; }
    virtual LayoutControl* AsControl() { return nullptr; }
    // The space this item keeps after itself in a row or a column; for a
    // container also its inner padding.
    virtual int GapX() const { return 2; }
    virtual int GapY() const { return 2; }
    // The item's own size from its text or picture.
    virtual void Measure(LayoutMeasurer&, const DluScale&, bool applyMinimum) {}
    // Places the children (recursively) and, for a container, takes the box
    // around them.
    virtual void Layout();
    // Moves the item, and with recurse its whole subtree.
    void Offset(int dx, int dy, bool recurse);

    int Right() const { return left + width; }
    int Bottom() const { return top + height; }

protected:
    std::vector<std::unique_ptr<LayoutItem>> children_;
};

// The root of a dialog: lays out its children but neither stacks them nor
// pads them.
class LayoutGroup : public LayoutItem {
public:
    LayoutGroup() { padding = false; }
    bool IsContainer() const override { return true; }
    int GapX() const override { return 0; }
    int GapY() const override { return 0; }
};

// Children stacked along one axis, each after the previous one's gap, and
// aligned across it: 0 at the start, 1 centred, 2 at the end.
class StackContainer : public LayoutItem {
public:
    StackContainer(bool vertical, int align) : vertical_(vertical), align_(align) {}
    bool IsContainer() const override { return true; }
    int GapX() const override { return padding ? 2 : 0; }
    int GapY() const override { return padding ? 2 : 0; }
    void Layout() override;
    int Align() const { return align_; }

private:
    bool vertical_;
    int align_;
};

// A column ("ui:vContainer"): alignment 0 left, 1 centre, 2 right.
class VContainer : public StackContainer {
public:
    explicit VContainer(int align) : StackContainer(true, align) {}
};

// A row ("ui:hContainer"): alignment 0 top, 1 middle, 2 bottom.
class HContainer : public StackContainer {
public:
    explicit HContainer(int align) : StackContainer(false, align) {}
};

// One control of the dialog, with what its template entry needs.
class LayoutControl : public LayoutItem {
public:
    static constexpr WORD kButtonClass = 0x80, kEditClass = 0x81, kStaticClass = 0x82;
    static constexpr DWORD kBaseStyle = WS_CHILD | WS_VISIBLE;

    explicit LayoutControl(ControlKind kind);

    ControlKind kind;
    std::wstring name = L"-1";
    std::wstring text;           // the shown text, or the value of a field
    std::wstring linkTarget;     // hyperlinks
    WORD classAtom = kStaticClass;
    std::wstring className;      // a class by name instead of an atom
    DWORD style = kBaseStyle;
    int tabStop = 0;
    bool singleLine = false;
    int fontSize = 1;
    COLORREF color = 0;
    int textAlign = 0;           // 0 left, 1 centre, 2 right
    bool checked = false;
    int value = 0;               // radio buttons
    int minWidth = 40;           // edit fields, DLU
    int minHeight = 1;           // edit fields, lines
    int maxWidthPx = 0, maxHeightPx = 0;  // tips viewer
    std::wstring pictures[3];    // "path", "path800x600", "path1152x864"
    bool emitted = false;

    LayoutControl* AsControl() override { return this; }
    int GapX() const override;
    int GapY() const override;
    void Measure(LayoutMeasurer& measurer, const DluScale& scale, bool applyMinimum) override;
    // The picture this screen shows: the one for its size when given, else
    // "path".
    const std::wstring& ChosenPicture(SIZE screen) const;
};

// The radio button's glyph and the space after it, in pixels.
constexpr int kRadioGlyphAllowance = 16;

// Calls visit for the item and then every item below it, in document order.
template <typename Item, typename Visit>
void ForEachItem(Item& item, const Visit& visit) {
    visit(item);
    for (auto& child : item.Children()) ForEachItem(static_cast<Item&>(*child), visit);
}

// Measures every item of the tree (step one of a dialog's layout).
void MeasureTree(LayoutItem& root, LayoutMeasurer& measurer, const DluScale& scale, bool applyMinimum);
// Gives every item of a peer group the group's greatest width (and height),
// containers with their computed boxes included. Groups are global to the
// tree; width and height groups are separate even with the same number.
void ApplyPeers(LayoutItem& root);
// The whole layout of a measured tree: peers and layout twice (container
// sizes change after the first round), then the tree moved so that its
// least left and top are 0. Returns the dialog's size in DLU.
SIZE LayoutTree(LayoutItem& root);
// The least left and top of the tree's items, and the box around them.
RECT TreeBounds(const LayoutItem& root);
