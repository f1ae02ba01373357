#include "capture/RegionCaptureWnd.h"

#include "platform/DragRect.h"
#include "platform/Gdi.h"
#include "resources/resource.h"

#include <windowsx.h>

#include <algorithm>

RECT RegionCaptureWnd::SelectionFor(POINT anchor, POINT p) {
    return RECT{std::min(anchor.x, p.x), std::min(anchor.y, p.y), std::max(anchor.x, p.x), std::max(anchor.y, p.y)};
}

POINT RegionCaptureWnd::ClampToClient(POINT p) const {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    return POINT{std::clamp(p.x, client.left, client.right), std::clamp(p.y, client.top, client.bottom)};
}

void RegionCaptureWnd::OnPreCreate() { ShowCursorResource(IDC_REGION_WAIT); }

void RegionCaptureWnd::RubberBand(POINT p) {
    platform::WindowDc dc(hwnd());
    if (!dc) return;
    ::SetROP2(dc.get(), R2_NOTXORPEN);
    platform::UniqueHbrush brush(::CreateSolidBrush(RGB(0, 255, 255)));
    m_selection = SelectionFor(m_anchor, p);
    platform::DrawDragRect(dc.get(), m_selection, SIZE{1, 1}, &m_lastDrawn, SIZE{1, 1}, brush.get(), brush.get());
    m_lastDrawn = m_selection;
}

LRESULT RegionCaptureWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            // The paint covers every pixel; erasing first would paint twice.
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (::BeginPaint(hwnd(), &ps) != nullptr) PaintBackground(ps.hdc);
            ::EndPaint(hwnd(), &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            m_anchor = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ShowCursorResource(IDC_REGION_DRAG);
            // The release must come here wherever it happens: over a window
            // above the overlay or on another monitor.
            ::SetCapture(hwnd());
            break;
        case WM_MOUSEMOVE:
            if (wParam & MK_LBUTTON) RubberBand(ClampToClient(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
            return 0;
        case WM_LBUTTONUP: {
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
            EndModalLoop(IDOK);
            return result;
        }
        default: break;
    }
    return ICaptureWnd::HandleMessage(message, wParam, lParam);
}
