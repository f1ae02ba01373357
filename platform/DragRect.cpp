#include "platform/DragRect.h"

#include "platform/Gdi.h"

namespace platform {

namespace {

// The band between rect and rect deflated by size; empty for an empty rect.
HRGN BandRegion(const RECT& rect, SIZE size) {
    HRGN outer = ::CreateRectRgn(0, 0, 0, 0);
    if (::IsRectEmpty(&rect)) return outer;
    ::SetRectRgn(outer, rect.left, rect.top, rect.right, rect.bottom);
    RECT inner = rect;
    ::InflateRect(&inner, -size.cx, -size.cy);
    ::IntersectRect(&inner, &inner, &rect);
    HRGN hole = ::CreateRectRgn(inner.left, inner.top, inner.right, inner.bottom);
    ::CombineRgn(outer, outer, hole, RGN_XOR);
    ::DeleteObject(hole);
    return outer;
}

}  // namespace

void DrawDragRect(HDC dc, const RECT& rect, SIZE size, const RECT* last, SIZE lastSize, HBRUSH brush,
                  HBRUSH lastBrush) {
    UniqueGdi<HRGN> band(BandRegion(rect, size));
    UniqueGdi<HRGN> update(::CreateRectRgn(0, 0, 0, 0));
    if (last != nullptr) {
        UniqueGdi<HRGN> lastBand(BandRegion(*last, lastSize));
        if (brush == lastBrush) {
            ::CombineRgn(update.get(), band.get(), lastBand.get(), RGN_XOR);
        } else {
            // Different brushes: take the old frame away with its own brush first.
            ::SelectClipRgn(dc, lastBand.get());
            RECT box;
            ::GetClipBox(dc, &box);
            SelectedObject old(dc, lastBrush);
            ::PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATINVERT);
            ::CombineRgn(update.get(), band.get(), nullptr, RGN_COPY);
        }
    } else {
        ::CombineRgn(update.get(), band.get(), nullptr, RGN_COPY);
    }
    ::SelectClipRgn(dc, update.get());
    RECT box;
    if (::GetClipBox(dc, &box) != NULLREGION) {
        SelectedObject old(dc, brush);
        ::PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATINVERT);
    }
    ::SelectClipRgn(dc, nullptr);
}

}  // namespace platform
