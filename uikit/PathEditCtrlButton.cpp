// The path field's button inside its frame: the strip it takes from the
// client area, its look (raised, pressed, flat, disabled), the pressed and
// hover states that follow the pointer, and the tooltips over the button and
// the text.
#include "uikit/PathEditCtrl.h"

#include "uikit/PathFieldHelpers.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr UINT_PTR kButtonTool = 1;
constexpr UINT_PTR kTextTool = 2;

// Three dots side by side, centred, a little above the middle.
void DrawDots(HDC dc, int w, int h, COLORREF colour, int shift) {
    const int spacing = w / 4;
    const int size = w / 10;
    const int cx = w / 2 + shift;
    const int cy = h / 2 - w / 20 + shift;
    HBRUSH brush = ::CreateSolidBrush(colour);
    HPEN pen = ::CreatePen(PS_SOLID, 1, colour);
    const HGDIOBJ oldBrush = ::SelectObject(dc, brush);
    const HGDIOBJ oldPen = ::SelectObject(dc, pen);
    for (int i = -1; i <= 1; ++i) {
        const int x = cx + i * spacing;
        if (size <= 1) {
            ::SetPixel(dc, x, cy, colour);
        } else {
            ::Ellipse(dc, x - size / 2, cy - size / 2, x - size / 2 + size, cy - size / 2 + size);
        }
    }
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(pen);
    ::DeleteObject(brush);
}

}  // namespace

int PathEditCtrl::ButtonState() const {
    int state = kNormal;
    if (hwnd() != nullptr && !::IsWindowEnabled(hwnd())) {
        state = kDisabled;
    } else if (pressed_) {
        state = kPressed;
    }
    const bool focused = hwnd() != nullptr && ::GetFocus() == hwnd();
    if ((mode_ & kFlatButton) && !focused && !hot_ && !capturing_) state |= kFlat;
    return state;
}

void PathEditCtrl::RecalculateFrame() {
    if (hwnd() == nullptr) return;
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateTools();
}

// window is the window's rectangle and client what the edit field left as
// its client area, both in the parent's coordinates; the button's strip is
// taken from the client area.
void PathEditCtrl::CalculateFrame(RECT& client, const RECT& window) {
    const int height = std::max<LONG>(client.bottom - client.top, 0);
    const int available = std::max<LONG>(client.right - client.left, 0);
    const int width = std::min(buttonWidth_ < 0 ? pathfield::AutomaticButtonWidth(height) : buttonWidth_, available);
    RECT button = client;
    if (mode_ & kButtonLeft) {
        button.right = client.left + width;
        client.left += width;
    } else {
        button.left = client.right - width;
        client.right -= width;
    }
    ::OffsetRect(&button, -window.left, -window.top);
    buttonRect_ = button;
}

bool PathEditCtrl::PointOnButton(POINT screen) const {
    RECT window{};
    ::GetWindowRect(hwnd(), &window);
    RECT button = buttonRect_;
    ::OffsetRect(&button, window.left, window.top);
    return ::PtInRect(&button, screen) != FALSE;
}

void PathEditCtrl::PaintButton() {
    if (hwnd() == nullptr) return;
    if (HDC dc = ::GetWindowDC(hwnd())) {
        DrawButton(dc);
        ::ReleaseDC(hwnd(), dc);
    }
}

void PathEditCtrl::DrawButton(HDC windowDc) {
    const int w = buttonRect_.right - buttonRect_.left;
    const int h = buttonRect_.bottom - buttonRect_.top;
    if (w < 3 || h < 3) return;
    const int look = ButtonState();
    const bool flat = (look & kFlat) != 0;
    const int state = look & ~kFlat;

    HDC dc = ::CreateCompatibleDC(windowDc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(windowDc, w, h);
    if (dc == nullptr || bitmap == nullptr) {
        if (bitmap) ::DeleteObject(bitmap);
        if (dc) ::DeleteDC(dc);
        return;
    }
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    // The face's pattern lines up with the dialog's as if drawn in place.
    ::SetBrushOrgEx(dc, -(buttonRect_.left % 8), -(buttonRect_.top % 8), nullptr);
    ::FillRect(dc, &all, ::GetSysColorBrush(COLOR_BTNFACE));
    if (state == kPressed) {
        ::FrameRect(dc, &all, ::GetSysColorBrush(COLOR_BTNSHADOW));
        DrawDots(dc, w, h, ::GetSysColor(COLOR_BTNTEXT), 1);
    } else {
        if (flat) {
            // One pixel wider towards the field, so that no edge shows there.
            RECT frame = all;
            if (mode_ & kButtonLeft) {
                frame.right += 1;
            } else {
                frame.left -= 1;
            }
            ::FrameRect(dc, &frame, ::GetSysColorBrush(COLOR_WINDOW));
        } else {
            ::DrawEdge(dc, &all, EDGE_RAISED, BF_RECT);
        }
        if (state == kDisabled) {
            DrawDots(dc, w, h, ::GetSysColor(COLOR_BTNHIGHLIGHT), 1);
            DrawDots(dc, w, h, ::GetSysColor(COLOR_BTNSHADOW), 0);
        } else {
            COLORREF colour = ::GetSysColor(COLOR_BTNTEXT);
            if (flat && (mode_ & kGreyDots)) {
                const int g = (GetRValue(colour) * 30 + GetGValue(colour) * 59 + GetBValue(colour) * 11) / 100;
                colour = RGB(g, g, g);
            }
            DrawDots(dc, w, h, colour, 0);
        }
    }
    ::BitBlt(windowDc, buttonRect_.left, buttonRect_.top, w, h, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

void PathEditCtrl::SetPressed(bool pressed) {
    if (pressed_ == pressed) return;
    pressed_ = pressed;
    PaintButton();
}

// The flat look follows the pointer: tracked while it is over the field's
// client area or its frame, dropped once it has left both.
void PathEditCtrl::TrackHover(bool nonClient) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | (nonClient ? TME_NONCLIENT : 0u), hwnd(), 0};
    ::TrackMouseEvent(&track);
    if (!hot_) {
        hot_ = true;
        PaintButton();
    }
}

void PathEditCtrl::EndHover() {
    POINT pointer{};
    RECT window{};
    ::GetCursorPos(&pointer);
    ::GetWindowRect(hwnd(), &window);
    if (::PtInRect(&window, pointer) || !hot_) return;
    hot_ = false;
    PaintButton();
}

void PathEditCtrl::UpdateTools() {
    if (tooltip_ == nullptr || hwnd() == nullptr) return;
    RECT window{}, client{};
    ::GetWindowRect(hwnd(), &window);
    ::GetClientRect(hwnd(), &client);
    POINT origin{0, 0};
    ::ClientToScreen(hwnd(), &origin);
    // The tooltip works in client coordinates; the button lies outside the
    // client area.
    RECT button = buttonRect_;
    ::OffsetRect(&button, window.left - origin.x, window.top - origin.y);

    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = hwnd();
    for (const UINT_PTR id : {kButtonTool, kTextTool}) {
        tool.uId = id;
        ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // The tooltip keeps its own copy of a text.
    std::wstring browse = ExpandText(L"Browse");
    if (mode_ & kButtonTip) {
        tool.uId = kButtonTool;
        tool.rect = button;
        tool.lpszText = browse.data();
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    if (mode_ & kTextTip) {
        tool.uId = kTextTool;
        tool.rect = client;
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void PathEditCtrl::RelayToTooltip(UINT message, LPARAM position, bool nonClient) {
    if (tooltip_ == nullptr) return;
    POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (nonClient) {
        ::ScreenToClient(hwnd(), &point);
        message = message - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
    }
    MSG relayed{hwnd(), message, 0, MAKELPARAM(point.x, point.y), static_cast<DWORD>(::GetMessageTime()), {}};
    ::GetCursorPos(&relayed.pt);
    ::SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}
