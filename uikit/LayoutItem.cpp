#include "uikit/LayoutItem.h"

#include <algorithm>
#include <climits>
#include <map>

namespace {

// The box around a container's children, widened by its gaps.
void TakeBoxOfChildren(LayoutItem& item) {
    const auto& children = item.Children();
    if (children.empty()) {
        item.width = 0;
        item.height = 0;
        return;
    }
    int minLeft = INT_MAX, minTop = INT_MAX, maxRight = INT_MIN, maxBottom = INT_MIN;
    for (const auto& child : children) {
        minLeft = std::min(minLeft, child->left);
        minTop = std::min(minTop, child->top);
        maxRight = std::max(maxRight, child->Right());
        maxBottom = std::max(maxBottom, child->Bottom());
    }
    item.left = minLeft - item.GapX();
    item.top = minTop - item.GapY();
    item.width = maxRight - minLeft + 2 * item.GapX();
    item.height = maxBottom - minTop + 2 * item.GapY();
}

template <typename Visit>
void ForEachItem(LayoutItem& item, const Visit& visit) {
    visit(item);
    for (auto& child : item.Children()) ForEachItem(*child, visit);
}

template <typename Visit>
void ForEachItem(const LayoutItem& item, const Visit& visit) {
    visit(item);
    for (const auto& child : item.Children()) ForEachItem(static_cast<const LayoutItem&>(*child), visit);
}

}  // namespace

LayoutItem& LayoutItem::Append(std::unique_ptr<LayoutItem> child) {
    children_.push_back(std::move(child));
    return *children_.back();
}

void LayoutItem::Layout() {
    for (auto& child : children_) child->Layout();
    if (IsContainer()) TakeBoxOfChildren(*this);
}

void LayoutItem::Offset(int dx, int dy, bool recurse) {
    left += dx;
    top += dy;
    if (!recurse) return;
    for (auto& child : children_) child->Offset(dx, dy, true);
}

void VContainer::Layout() {
    for (auto& child : children_) child->Layout();
    if (children_.empty()) return TakeBoxOfChildren(*this);
    int widest = INT_MIN, leftmost = INT_MAX;
    const LayoutItem* previous = nullptr;
    for (auto& child : children_) {
        widest = std::max(widest, child->width);
        leftmost = std::min(leftmost, child->left);
        if (previous != nullptr) child->Offset(0, previous->Bottom() + previous->GapY() - child->top, true);
        previous = child.get();
    }
    if (align_ != 0) {
        for (auto& child : children_) {
            if (child->width == widest) continue;
            const int wanted = align_ == 2 ? leftmost + widest - child->width : leftmost + (widest - child->width) / 2;
            if (wanted != child->left) child->Offset(wanted - child->left, 0, true);
        }
    }
    TakeBoxOfChildren(*this);
}

void HContainer::Layout() {
    for (auto& child : children_) child->Layout();
    if (children_.empty()) return TakeBoxOfChildren(*this);
    int tallest = INT_MIN, topmost = INT_MAX;
    const LayoutItem* previous = nullptr;
    for (auto& child : children_) {
        tallest = std::max(tallest, child->height);
        topmost = std::min(topmost, child->top);
        if (previous != nullptr) child->Offset(previous->Right() + previous->GapX() - child->left, 0, true);
        previous = child.get();
    }
    if (align_ != 0) {
        for (auto& child : children_) {
            if (child->height == tallest) continue;
            const int wanted = align_ == 2 ? topmost + tallest - child->height : topmost + (tallest - child->height) / 2;
            if (wanted != child->top) child->Offset(0, wanted - child->top, true);
        }
    }
    TakeBoxOfChildren(*this);
}

LayoutControl::LayoutControl(ControlKind controlKind) : kind(controlKind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            classAtom = kButtonClass;
            break;
        case ControlKind::Edit:
        case ControlKind::Password:
        case ControlKind::Path:
            classAtom = kEditClass;
            break;
        default:
            classAtom = kStaticClass;
            break;
    }
}

int LayoutControl::GapX() const {
    return kind == ControlKind::Bitmap || kind == ControlKind::PreviewBitmap ? 0 : 2;
}

int LayoutControl::GapY() const { return GapX(); }

const std::wstring& LayoutControl::ChosenPicture(SIZE screen) const {
    const bool several = !pictures[1].empty() || !pictures[2].empty();
    if (several) {
        if (screen.cx <= 800 || screen.cy <= 600) return pictures[1].empty() ? pictures[0] : pictures[1];
        if (screen.cx <= 1152 || screen.cy <= 864) return pictures[2].empty() ? pictures[0] : pictures[2];
    }
    return pictures[0];
}

void LayoutControl::Measure(LayoutMeasurer& measurer, const DluScale& scale, bool applyMinimum) {
    const int maxPx = scale.ToPxX(maxTextWidth);
    int minW = 0, minH = 0;
    switch (kind) {
        case ControlKind::Button: {
            const SIZE px = measurer.Text(text, maxPx, true, 1, true);
            // Five per cent wider than the text.
            width = static_cast<int>(static_cast<long long>(px.cx) * 1075 / scale.px1024X) + 4;
            height = scale.ToDluY(px.cy) + 4;
            minW = 60;
            minH = 16;
            break;
        }
        case ControlKind::Static:
        case ControlKind::Hyperlink: {
            const bool oneLine = kind == ControlKind::Static && singleLine;
            const SIZE px = measurer.Text(text, maxPx, !oneLine, kind == ControlKind::Static ? fontSize : 1, false);
            width = scale.ToDluX(px.cx) + 4;
            height = scale.ToDluY(px.cy) + 4;
            break;
        }
        case ControlKind::PathMessage: {
            const SIZE px = measurer.Text(text, maxPx, false, fontSize, false);
            width = std::min(scale.ToDluX(px.cx) + 4, maxTextWidth);
            height = scale.ToDluY(px.cy) + 4;
            break;
        }
        case ControlKind::CheckBox: {
            const SIZE px = measurer.Text(text, INT_MAX / 2, false, 1, false);
            const int rounded = static_cast<int>((static_cast<long long>(px.cx) * 1024 + scale.px1024X / 2) /
                                                 scale.px1024X);
            width = std::max(rounded + 4, 50) + 16;
            height = scale.ToDluY(px.cy) + 4;
            minH = 16;
            break;
        }
        case ControlKind::RadioButton: {
            const SIZE px = measurer.Text(text, INT_MAX / 2, false, 1, false);
            width = scale.ToDluX(kRadioGlyphAllowance + px.cx) + 4;
            height = scale.ToDluY(px.cy) + 4;
            minW = 50;
            minH = 16;
            break;
        }
        case ControlKind::Edit:
        case ControlKind::Password:
        case ControlKind::HotKey:
        case ControlKind::Path: {
            const SIZE px = measurer.Text(L"MMMM", INT_MAX / 2, false, 1, false);
            width = std::max(scale.ToDluX(px.cx) + 4, minWidth);
            height = scale.ToDluY(px.cy) + 4;
            if (kind == ControlKind::Edit || kind == ControlKind::Password) height *= std::max(minHeight, 1);
            minW = 50;
            minH = 16;
            break;
        }
        case ControlKind::Divider:
            width = 2;
            height = 2;
            break;
        case ControlKind::Tips:
            width = scale.ToDluX(maxWidthPx);
            height = scale.ToDluY(maxHeightPx);
            break;
        case ControlKind::Bitmap: {
            const SIZE px = measurer.Picture(ChosenPicture(measurer.Screen()));
            width = scale.ToDluX(px.cx);
            height = scale.ToDluY(px.cy);
            break;
        }
        case ControlKind::PreviewBitmap:
            width = 20;
            height = 20;
            break;
    }
    if (applyMinimum) {
        width = std::max(width, minW);
        height = std::max(height, minH);
    }
}

void ApplyPeers(LayoutItem& root) {
    std::map<int, int> widths, heights;
    ForEachItem(root, [&](LayoutItem& item) {
        if (item.widthPeer != 0) widths[item.widthPeer] = std::max(widths[item.widthPeer], item.width);
        if (item.heightPeer != 0) heights[item.heightPeer] = std::max(heights[item.heightPeer], item.height);
    });
    ForEachItem(root, [&](LayoutItem& item) {
        if (item.widthPeer != 0) item.width = widths[item.widthPeer];
        if (item.heightPeer != 0) item.height = heights[item.heightPeer];
    });
}

RECT TreeBounds(const LayoutItem& root) {
    RECT bounds{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    bool any = false;
    ForEachItem(root, [&](const LayoutItem& item) {
        if (&item == &root) return;
        any = true;
        bounds.left = std::min<LONG>(bounds.left, item.left);
        bounds.top = std::min<LONG>(bounds.top, item.top);
        bounds.right = std::max<LONG>(bounds.right, item.Right());
        bounds.bottom = std::max<LONG>(bounds.bottom, item.Bottom());
    });
    return any ? bounds : RECT{};
}

SIZE LayoutTree(LayoutItem& root) {
    for (int round = 0; round < 2; ++round) {
        ApplyPeers(root);
        root.Layout();
    }
    const RECT bounds = TreeBounds(root);
    root.Offset(-bounds.left, -bounds.top, true);
    root.left = 0;
    root.top = 0;
    root.width = bounds.right - bounds.left;
    root.height = bounds.bottom - bounds.top;
    return SIZE{root.width, root.height};
}
