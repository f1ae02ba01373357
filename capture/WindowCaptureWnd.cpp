#include "capture/WindowCaptureWnd.h"

#include "platform/DragRect.h"
#include "platform/Gdi.h"
#include "resources/resource.h"

#include <windowsx.h>

#include <algorithm>

namespace {

bool IsZero(const RECT& r) { return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0; }

}  // namespace

const WindowListEntry* WindowCaptureWnd::EntryAt(POINT p) const {
    p.x += m_origin.x;
    p.y += m_origin.y;
    for (const auto& entry : m_windowList) {
        const RECT& r = entry.rect;
        if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) return &entry;
    }
    return nullptr;
}

RECT WindowCaptureWnd::HitTest(POINT p) const {
    const WindowListEntry* entry = EntryAt(p);
    if (entry == nullptr) return RECT{};
    RECT r = entry->rect;
    ::OffsetRect(&r, -m_origin.x, -m_origin.y);
    return r;
}

RECT WindowCaptureWnd::SelectionBounds() const {
    if (m_selection.empty()) return RECT{};
    RECT box = m_selection.front();
    for (const RECT& r : m_selection) {
        box.left = std::min(box.left, r.left);
        box.top = std::min(box.top, r.top);
        box.right = std::max(box.right, r.right);
        box.bottom = std::max(box.bottom, r.bottom);
    }
    return box;
}

void WindowCaptureWnd::OnPreCreate() { ShowCursorResource(IDC_WINDOW_PICK); }

std::wstring WindowCaptureWnd::LabelText() const {
    if (IsZero(m_hover)) return std::wstring();
    const std::wstring size = SizeText(m_hover);
    return m_hoverTitle.empty() ? size : size + L"   " + m_hoverTitle;
}

void WindowCaptureWnd::HoverAt(POINT p) {
    const RECT before = m_hover, label = m_labelBox;
    const WindowListEntry* entry = EntryAt(p);
    m_hover = HitTest(p);
    m_pointer = p;
    if (!::EqualRect(&before, &m_hover)) {
        m_hoverTitle = entry ? ShortTitle(platform::WindowText(entry->window)) : std::wstring();
        for (const RECT& r : {before, m_hover}) {
            const RECT box = SelectionAids::BorderBox(r);
            if (!IsZero(r)) ::InvalidateRect(hwnd(), &box, FALSE);
        }
    }
    m_labelBox = IsZero(m_hover) ? RECT{}
                                 : PlaceBesidePointer(p, m_aids.LabelSize(LabelText()), SelectionAids::Gap(), 1, 1,
                                                      m_aids.MonitorAt(p));
    if (!::EqualRect(&label, &m_labelBox)) {
        ::InvalidateRect(hwnd(), &label, FALSE);
        ::InvalidateRect(hwnd(), &m_labelBox, FALSE);
    }
}

void WindowCaptureWnd::OnPaint() {
    if (PaintPlainWhileDimming()) return;
    if (AidsReady()) {
        std::vector<RECT> bright = m_selection;
        if (!IsZero(m_hover)) bright.push_back(m_hover);
        m_aids.Paint(hwnd(), bright, [this](HDC dc) {
            TintPicked(dc);
            if (IsZero(m_hover)) return;
            m_aids.DrawBorder(dc, m_hover);
            m_aids.DrawLabel(dc, m_labelBox, LabelText());
        });
        m_framePending = false;
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd(), &ps);
    if (dc != nullptr) {
        if (m_framePending || ps.fErase) {
            PaintFrame(dc);
            m_framePending = false;
        } else if (!::EqualRect(&m_lastPainted, &m_hover)) {
            // Only the outline moves: the old one is inverted away and the
            // new one drawn, the frozen picture beneath stays.
            platform::UniqueHbrush brush(::CreateSolidBrush(OutlineColour()));
            const SIZE thickness = OutlineThickness();
            platform::DrawDragRect(dc, m_hover, thickness, IsZero(m_lastPainted) ? nullptr : &m_lastPainted, thickness,
                                   brush.get(), brush.get());
            m_lastPainted = m_hover;
        }
    }
    ::EndPaint(hwnd(), &ps);
}

void WindowCaptureWnd::TintPicked(HDC dc) const {
    if (!m_selection.empty()) {
        platform::UniqueGdi<HRGN> picked(::CreateRectRgn(0, 0, 0, 0));
        for (const RECT& r : m_selection) {
            platform::UniqueGdi<HRGN> one(::CreateRectRgnIndirect(&r));
            ::CombineRgn(picked.get(), picked.get(), one.get(), RGN_OR);
        }
        // The screen colour is OR-ed with the tint, so picked windows show tinted.
        platform::UniqueHbrush tint(::CreateSolidBrush(RGB(155, 0, 155)));
        const int previous = ::SetROP2(dc, R2_MERGEPEN);
        ::FillRgn(dc, picked.get(), tint.get());
        ::SetROP2(dc, previous);
    }
}

void WindowCaptureWnd::PaintFrame(HDC dc) {
    PaintBackground(dc);
    TintPicked(dc);
    if (!IsZero(m_hover)) {
        platform::UniqueHbrush brush(::CreateSolidBrush(OutlineColour()));
        platform::DrawDragRect(dc, m_hover, OutlineThickness(), nullptr, OutlineThickness(), brush.get(), brush.get());
    }
    // The fresh frame now carries exactly this outline; the next paint
    // inverts it away from here.
    m_lastPainted = m_hover;
}

void WindowCaptureWnd::OnLeftButtonUp(WPARAM flags) {
    if (flags == MK_SHIFT) return;
    m_result = 1;
    m_markupRequested = (flags & MK_CONTROL) != 0;
    if (m_selection.empty()) m_selection.push_back(m_hover);
    EndModalLoop(IDOK);
}

void WindowCaptureWnd::RemoveOutline() {
    platform::WindowDc dc(hwnd());
    if (!dc) return;
    platform::UniqueHbrush brush(::CreateSolidBrush(OutlineColour()));
    const RECT empty{};
    platform::DrawDragRect(dc.get(), empty, OutlineThickness(), &m_hover, OutlineThickness(), brush.get(), brush.get());
}

LRESULT WindowCaptureWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
        case WM_MOUSEMOVE:
            if (m_aidsOn) {
                HoverAt(point);
                return 0;
            }
            m_hover = HitTest(point);
            ::InvalidateRect(hwnd(), nullptr, FALSE);
            return 0;
        case WM_PAINT: OnPaint(); return 0;
        case WM_ERASEBKGND:
            // Not erased here: the paint that follows draws the frozen
            // picture once (BeginPaint then reports the erase as pending).
            return 0;
        case WM_LBUTTONDOWN:
            if (wParam & MK_SHIFT) {
                const RECT r = HitTest(point);
                auto same = std::find_if(m_selection.begin(), m_selection.end(),
                                         [&](const RECT& s) { return ::EqualRect(&s, &r); });
                if (same != m_selection.end()) {
                    m_selection.erase(same);
                } else {
                    m_selection.push_back(r);
                }
                if (m_aidsOn) {
                    const RECT box = SelectionAids::BorderBox(r);
                    ::InvalidateRect(hwnd(), &box, FALSE);
                } else {
                    m_framePending = true;
                    ::InvalidateRect(hwnd(), nullptr, FALSE);
                }
            }
            break;
        case WM_LBUTTONUP: {
            const LRESULT result = Default(message, wParam, lParam);
            OnLeftButtonUp(wParam);
            return result;
        }
        default: break;
    }
    return BKImageCaptureWnd::HandleMessage(message, wParam, lParam);
}

bool WindowCaptureWnd::Compose(CCaptureImage& image) const {
    const RECT box = SelectionBounds();
    const int width = box.right - box.left, height = box.bottom - box.top;
    if (width <= 0 || height <= 0 || m_BackGround.IsEmpty()) return false;
    image.SetXDPI(m_BackGround.GetXDPI());
    image.SetYDPI(m_BackGround.GetYDPI());
    platform::WindowDc screen(nullptr);
    if (!screen) return false;
    platform::MemoryDc pictureDc(screen.get());
    platform::UniqueHbitmap picture(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!pictureDc || !picture) return false;
    {
        platform::SelectedObject selectPicture(pictureDc.get(), picture.get());
        const RECT all{0, 0, width, height};
        ::FillRect(pictureDc.get(), &all, ::GetSysColorBrush(COLOR_WINDOW));
        // Each picked window comes straight from the frozen picture, clipped
        // to its rectangle; later rectangles overwrite earlier ones where
        // they overlap.
        for (const RECT& r : m_selection) {
            const int saved = ::SaveDC(pictureDc.get());
            ::IntersectClipRect(pictureDc.get(), r.left - box.left, r.top - box.top, r.right - box.left,
                                r.bottom - box.top);
            m_BackGround.Draw(pictureDc.get(), -box.left, -box.top);
            ::RestoreDC(pictureDc.get(), saved);
        }
    }
    return image.CreateFromHBITMAP(picture.get());
}
