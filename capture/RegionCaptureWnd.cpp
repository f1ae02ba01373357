#include "capture/RegionCaptureWnd.h"

#include "options/CaptureOptions.h"
#include "platform/DragRect.h"
#include "platform/Gdi.h"
#include "resources/resource.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

namespace {

bool SameDecoration(const void* a, const void* b, size_t size) { return std::memcmp(a, b, size) == 0; }

void AddToRegion(HRGN region, const RECT& r, int mode = RGN_OR) {
    if (::IsRectEmpty(&r)) return;
    platform::UniqueGdi<HRGN> one(::CreateRectRgnIndirect(&r));
    ::CombineRgn(region, region, one.get(), mode);
}

// The four 1-pixel strips along the edges of box.
void AddEdges(HRGN region, const RECT& box) {
    if (::IsRectEmpty(&box)) return;
    AddToRegion(region, RECT{box.left, box.top, box.right, box.top + 1});
    AddToRegion(region, RECT{box.left, box.bottom - 1, box.right, box.bottom});
    AddToRegion(region, RECT{box.left, box.top, box.left + 1, box.bottom});
    AddToRegion(region, RECT{box.right - 1, box.top, box.right, box.bottom});
}

int Step() { return ::GetKeyState(VK_SHIFT) < 0 ? 10 : 1; }

}  // namespace

RegionCaptureWnd::RegionCaptureWnd(CaptureOptions* options) : BKImageCaptureWnd(options) {
    m_magnifierOn = options != nullptr && options->GetProgramOption(L"ShowMagnifier", false) != L"0";
}

RECT RegionCaptureWnd::SelectionFor(POINT anchor, POINT p) {
    return RECT{std::min(anchor.x, p.x), std::min(anchor.y, p.y), std::max(anchor.x, p.x), std::max(anchor.y, p.y)};
}

RECT RegionCaptureWnd::Client() const {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    return client;
}

POINT RegionCaptureWnd::ClampToClient(POINT p) const {
    const RECT client = Client();
    return POINT{std::clamp(p.x, client.left, client.right), std::clamp(p.y, client.top, client.bottom)};
}

void RegionCaptureWnd::OnPreCreate() {
    ShowCursorResource(IDC_REGION_WAIT);
    POINT p{};
    ::GetCursorPos(&p);
    m_pointer = POINT{p.x - m_origin.x, p.y - m_origin.y};
}

void RegionCaptureWnd::SetLastRectangle(const RECT& screenRect) {
    m_last = screenRect;
    m_hasLast = true;
}

std::wstring RegionCaptureWnd::LabelText() const {
    if (!m_aidsOn) return std::wstring();
    if (m_dragging || m_restored) return SizeText(m_selection) + L" \u2013 " + MarkupHintText(m_ctrlHeld);
    return std::to_wstring(m_pointer.x + m_origin.x) + L", " + std::to_wstring(m_pointer.y + m_origin.y);
}

void RegionCaptureWnd::RubberBand(POINT p) {
    platform::WindowDc dc(hwnd());
    if (!dc) return;
    ::SetROP2(dc.get(), R2_NOTXORPEN);
    platform::UniqueHbrush brush(::CreateSolidBrush(RGB(0, 255, 255)));
    m_selection = SelectionFor(m_anchor, p);
    platform::DrawDragRect(dc.get(), m_selection, SIZE{1, 1}, &m_lastDrawn, SIZE{1, 1}, brush.get(), brush.get());
    m_lastDrawn = m_selection;
}

RegionCaptureWnd::Decoration RegionCaptureWnd::Decorate() const {
    Decoration d{};
    if (m_dragging || m_restored) {
        d.selection = SelectionAids::BorderBox(m_selection);
    } else {
        SelectionAids::CrosshairBoxes(m_pointer, Client(), d.crosshair);
    }
    // The label (and the magnifier below it) go beside the pointer, away
    // from the selection, inside the pointer's monitor.
    const SIZE label = m_aids.LabelSize(LabelText());
    SIZE block = label, magnifier{};
    if (m_magnifierOn) {
        magnifier = m_aids.MagnifierSize();
        block = SIZE{std::max(label.cx, magnifier.cx), label.cy + magnifier.cy};
    }
    const int dx = m_dragging && m_pointer.x < m_anchor.x ? -1 : 1;
    const int dy = m_dragging && m_pointer.y < m_anchor.y ? -1 : 1;
    const RECT box = PlaceBesidePointer(m_pointer, block, SelectionAids::Gap(), dx, dy, m_aids.MonitorAt(m_pointer));
    d.label = RECT{box.left, box.top, box.left + label.cx, box.top + label.cy};
    if (m_magnifierOn)
        d.magnifier = RECT{box.left, d.label.bottom, box.left + magnifier.cx, d.label.bottom + magnifier.cy};
    return d;
}

void RegionCaptureWnd::Invalidate(const Decoration& before) {
    const Decoration now = Decorate();
    if (SameDecoration(&before, &now, sizeof(now))) return;
    platform::UniqueGdi<HRGN> region(::CreateRectRgn(0, 0, 0, 0));
    if (!region) return;
    if (!::EqualRect(&before.selection, &now.selection)) {
        // Only the band between the old and the new selection changes
        // brightness, and the two borders move.
        platform::UniqueGdi<HRGN> changed(::CreateRectRgn(0, 0, 0, 0));
        AddToRegion(changed.get(), before.selection);
        AddToRegion(changed.get(), now.selection, RGN_XOR);
        ::CombineRgn(region.get(), region.get(), changed.get(), RGN_OR);
        AddEdges(region.get(), before.selection);
        AddEdges(region.get(), now.selection);
    }
    for (const Decoration* d : {&before, &now}) {
        AddToRegion(region.get(), d->crosshair[0]);
        AddToRegion(region.get(), d->crosshair[1]);
        AddToRegion(region.get(), d->label);
        AddToRegion(region.get(), d->magnifier);
    }
    ::InvalidateRgn(hwnd(), region.get(), FALSE);
}

void RegionCaptureWnd::PaintWithAids() {
    const Decoration d = Decorate();
    const bool selected = m_dragging || m_restored;
    std::vector<RECT> bright;
    if (selected) bright.push_back(m_selection);
    const std::wstring text = LabelText();
    m_aids.Paint(hwnd(), bright, [&](HDC dc) {
        if (selected) {
            m_aids.DrawBorder(dc, m_selection);
        } else {
            m_aids.DrawCrosshair(dc, m_pointer, Client());
        }
        if (m_magnifierOn) m_aids.DrawMagnifier(dc, d.magnifier, m_pointer);
        m_aids.DrawLabel(dc, d.label, text);
    });
}

void RegionCaptureWnd::PointerAt(POINT p) {
    const Decoration before = Decorate();
    m_pointer = p;
    if (m_dragging) m_selection = SelectionFor(m_anchor, p);
    Invalidate(before);
}

void RegionCaptureWnd::StartDrag(POINT p) {
    const Decoration before = Decorate();
    m_anchor = m_pointer = p;
    m_dragging = true;
    m_restored = false;
    m_selection = SelectionFor(p, p);
    ShowCursorResource(IDC_REGION_DRAG);
    // The release must come here wherever it happens: over a window above
    // the overlay or on another monitor.
    ::SetCapture(hwnd());
    Invalidate(before);
}

void RegionCaptureWnd::Choose(bool markup) {
    if (::GetCapture() == hwnd()) ::ReleaseCapture();
    m_result = 1;
    m_markupRequested = markup;
    EndModalLoop(IDOK);
}

void RegionCaptureWnd::MovePointerBy(int dx, int dy) {
    // The real pointer moves, so that the mouse and the keys go on from
    // the same place.
    POINT screen{};
    ::GetCursorPos(&screen);
    const RECT client = Client();
    const POINT p{std::clamp(screen.x - m_origin.x + dx, client.left, client.right - 1),
                  std::clamp(screen.y - m_origin.y + dy, client.top, client.bottom - 1)};
    ::SetCursorPos(p.x + m_origin.x, p.y + m_origin.y);
    PointerAt(p);
}

void RegionCaptureWnd::ChangeSelection(int dx, int dy, bool resize) {
    if (!m_restored) return;
    const Decoration before = Decorate();
    const RECT client = Client();
    RECT r = m_selection;
    if (resize) {
        r.right = std::clamp(r.right + dx, r.left + 1, client.right);
        r.bottom = std::clamp(r.bottom + dy, r.top + 1, client.bottom);
    } else {
        // Moved as a whole, never beyond the frozen picture.
        dx = std::clamp<LONG>(dx, client.left - r.left, client.right - r.right);
        dy = std::clamp<LONG>(dy, client.top - r.top, client.bottom - r.bottom);
        ::OffsetRect(&r, dx, dy);
    }
    m_selection = r;
    Invalidate(before);
}

void RegionCaptureWnd::RestoreLastRectangle() {
    if (!m_hasLast) return;
    RECT r = m_last, shown{};
    ::OffsetRect(&r, -m_origin.x, -m_origin.y);
    const RECT client = Client();
    if (!::IntersectRect(&shown, &r, &client)) return;
    const Decoration before = Decorate();
    m_selection = shown;
    m_restored = true;
    m_dragging = false;
    if (::GetCapture() == hwnd()) ::ReleaseCapture();
    Invalidate(before);
}

bool RegionCaptureWnd::OnAidsKey(WPARAM key, bool alt) {
    int dx = 0, dy = 0;
    switch (key) {
        case VK_LEFT: dx = -Step(); break;
        case VK_RIGHT: dx = Step(); break;
        case VK_UP: dy = -Step(); break;
        case VK_DOWN: dy = Step(); break;
        default: break;
    }
    if (dx != 0 || dy != 0) {
        if (alt) {
            ChangeSelection(dx, dy, true);
        } else if (::GetKeyState(VK_CONTROL) < 0) {
            ChangeSelection(dx, dy, false);
        } else {
            MovePointerBy(dx, dy);
        }
        return true;
    }
    if (alt) return false;
    switch (key) {
        case VK_RETURN:
            // Enter is the button: the first press starts the drag where the
            // pointer is, the next one ends it.
            if (m_dragging || m_restored) {
                Choose(::GetKeyState(VK_CONTROL) < 0);
            } else {
                StartDrag(m_pointer);
            }
            return true;
        case 'R': RestoreLastRectangle(); return true;
        case 'M': {
            const Decoration before = Decorate();
            m_magnifierOn = !m_magnifierOn;
            // Kept for the next capture and the next start.
            if (m_options) m_options->SetProgramOption(L"ShowMagnifier", m_magnifierOn ? L"1" : L"0", false);
            Invalidate(before);
            return true;
        }
        default: return false;
    }
}

LRESULT RegionCaptureWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
        case WM_ERASEBKGND:
            // The paint covers every pixel; erasing first would paint twice.
            return 1;
        case WM_PAINT: {
            if (PaintPlainWhileDimming()) return 0;
            if (AidsReady()) {
                PaintWithAids();
                return 0;
            }
            PAINTSTRUCT ps;
            if (::BeginPaint(hwnd(), &ps) != nullptr) PaintBackground(ps.hdc);
            ::EndPaint(hwnd(), &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (m_aidsOn) {
                StartDrag(point);
                return 0;
            }
            m_anchor = point;
            ShowCursorResource(IDC_REGION_DRAG);
            // The release must come here wherever it happens: over a window
            // above the overlay or on another monitor.
            ::SetCapture(hwnd());
            break;
        case WM_MOUSEMOVE:
            if (m_aidsOn) {
                PointerAt(ClampToClient(point));
            } else if (wParam & MK_LBUTTON) {
                RubberBand(ClampToClient(point));
            }
            return 0;
        case WM_LBUTTONUP: {
            if (m_aidsOn) {
                if (m_dragging) PointerAt(ClampToClient(point));
                Choose((wParam & MK_CONTROL) != 0);
                return 0;
            }
            m_anchor = POINT{};
            if (::GetCapture() == hwnd()) ::ReleaseCapture();
            const LRESULT result = Default(message, wParam, lParam);
            {
                platform::WindowDc dc(hwnd());
                platform::UniqueHbrush brush(::CreateSolidBrush(RGB(0, 255, 255)));
                const RECT empty{};
                platform::DrawDragRect(dc.get(), empty, SIZE{1, 1}, &m_lastDrawn, SIZE{1, 1}, brush.get(), brush.get());
            }
            m_result = 1;
            m_markupRequested = (wParam & MK_CONTROL) != 0;
            EndModalLoop(IDOK);
            return result;
        }
        case WM_KEYDOWN:
        case WM_KEYUP:
            // The label says whether a release now opens the markup window.
            // The label's width changes with it, so all of it is painted
            // again (once: a held key repeats).
            if (wParam == VK_CONTROL && m_ctrlHeld != (message == WM_KEYDOWN)) {
                m_ctrlHeld = message == WM_KEYDOWN;
                if (m_aidsOn && (m_dragging || m_restored)) ::InvalidateRect(hwnd(), nullptr, FALSE);
            }
            if (message == WM_KEYUP) break;
            // A held Enter repeats; only its first press counts.
            if (m_aidsOn && !(wParam == VK_RETURN && (lParam & (1 << 30))) && OnAidsKey(wParam, false)) return 0;
            break;
        case WM_SYSKEYDOWN:
            // Alt with an arrow comes as a system key.
            if (m_aidsOn && OnAidsKey(wParam, true)) return 0;
            break;
        case WM_SYSKEYUP:
            // Alt alone would enter menu mode, which the overlay has no use for.
            if (m_aidsOn && (wParam == VK_MENU || wParam == VK_F10)) return 0;
            break;
        default: break;
    }
    return BKImageCaptureWnd::HandleMessage(message, wParam, lParam);
}
