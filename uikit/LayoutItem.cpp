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

void StackContainer::Layout() {
    for (auto& child : children_) child->Layout();
    if (children_.empty()) return TakeBoxOfChildren(*this);
    // "Along" is the axis the children are stacked on, "across" the one
    // they are aligned on.
    const auto alongStart = [&](const LayoutItem& item) { return vertical_ ? item.top : item.left; };
    const auto alongNext = [&](const LayoutItem& item) {
        return vertical_ ? item.Bottom() + item.GapY() : item.Right() + item.GapX();
    };
    const auto acrossStart = [&](const LayoutItem& item) { return vertical_ ? item.left : item.top; };
    const auto acrossSize = [&](const LayoutItem& item) { return vertical_ ? item.width : item.height; };
    const auto move = [&](LayoutItem& item, int along, int across) {
        if (vertical_) {
            item.Offset(across, along, true);
        } else {
            item.Offset(along, across, true);
        }
    };
    int greatest = INT_MIN, least = INT_MAX;
    const LayoutItem* previous = nullptr;
    for (auto& child : children_) {
        greatest = std::max(greatest, acrossSize(*child));
        least = std::min(least, acrossStart(*child));
        if (previous != nullptr) move(*child, alongNext(*previous) - alongStart(*child), 0);
        previous = child.get();
    }
    if (align_ != 0) {
        for (auto& child : children_) {
            const int size = acrossSize(*child);
            if (size == greatest) continue;
            const int wanted = align_ == 2 ? least + greatest - size : least + (greatest - size) / 2;
            if (wanted != acrossStart(*child)) move(*child, 0, wanted - acrossStart(*child));
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

void MeasureTree(LayoutItem& root, LayoutMeasurer& measurer, const DluScale& scale, bool applyMinimum) {
    ForEachItem(root, [&](LayoutItem& item) { item.Measure(measurer, scale, applyMinimum); });
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
