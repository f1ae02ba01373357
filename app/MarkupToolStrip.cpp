#include "app/MarkupToolStrip.h"

#include "app/MarkupWindow.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <windowsx.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr wchar_t kStripClass[] = L"SnapwellMarkupStrip";

struct ToolButton {
    MarkupTool tool;
    const wchar_t* tip;
};
constexpr ToolButton kToolButtons[] = {
    {MarkupTool::Select, L"Select and move (V)"},
    {MarkupTool::Rectangle, L"Rectangle (R)"},
    {MarkupTool::Arrow, L"Arrow (A)"},
    {MarkupTool::Highlighter, L"Highlighter (H)"},
    {MarkupTool::Text, L"Text (T)"},
    {MarkupTool::Step, L"Step number (N); the wheel sets the next number"},
    {MarkupTool::RedactBlack, L"Redact in black (X)"},
    {MarkupTool::RedactPixelate, L"Redact by pixelating (X)"},
    {MarkupTool::Crop, L"Crop (C); Enter applies"},
};
constexpr const wchar_t* kColourTips[MarkupWindow::kColourCount] = {L"Red (1)",  L"Yellow (2)", L"Green (3)",
                                                                   L"Blue (4)", L"Black (5)",  L"White (6)"};
constexpr const wchar_t* kWidthTips[MarkupWindow::kWidthCount] = {L"Thin lines, small text (7)",
                                                                 L"Medium lines and text (8)",
                                                                 L"Thick lines, large text (9)"};

using Gdiplus::Color;
using Gdiplus::PointF;
using Gdiplus::REAL;
using Gdiplus::RectF;

Color Argb(COLORREF c, BYTE alpha = 255) { return Color(alpha, GetRValue(c), GetGValue(c), GetBValue(c)); }

// Draws one icon in a square cell; s is the cell's side.
void DrawIcon(Gdiplus::Graphics& g, const MarkupToolStrip::Item& item, RectF cell, COLORREF ink, int nextStep,
              HDC dc, HFONT font) {
    const REAL s = cell.Width, x = cell.X, y = cell.Y;
    const REAL u = s / 16;  // one unit of the 16-unit icon grid
    Gdiplus::Pen pen(Argb(ink), std::max(1.0f, 1.5f * u));
    pen.SetLineJoin(Gdiplus::LineJoinRound);
    Gdiplus::SolidBrush fill(Argb(ink));
    auto P = [&](REAL px, REAL py) { return PointF(x + px * u, y + py * u); };
    using Kind = MarkupToolStrip::ItemKind;
    switch (item.kind) {
        case Kind::Tool:
            switch (static_cast<MarkupTool>(item.value)) {
                case MarkupTool::Select: {
                    const PointF arrow[] = {P(4, 2), P(4, 13), P(7, 10.5f), P(9, 14.5f), P(10.8f, 13.6f),
                                            P(8.8f, 9.6f), P(12.5f, 9.6f)};
                    g.FillPolygon(&fill, arrow, 7);
                    break;
                }
                case MarkupTool::Rectangle:
                    g.DrawRectangle(&pen, x + 2.5f * u, y + 4 * u, 11 * u, 8 * u);
                    break;
                case MarkupTool::Arrow: {
                    g.DrawLine(&pen, P(3, 13), P(11.5f, 4.5f));
                    const PointF head[] = {P(13.5f, 2.5f), P(12.5f, 8.5f), P(7.5f, 3.5f)};
                    g.FillPolygon(&fill, head, 3);
                    break;
                }
                case MarkupTool::Highlighter: {
                    Gdiplus::SolidBrush yellow(Color(170, 255, 222, 0));
                    g.FillRectangle(&yellow, x + 1.5f * u, y + 5.5f * u, 13 * u, 5 * u);
                    Gdiplus::Pen line(Argb(ink), std::max(1.0f, u));
                    g.DrawLine(&line, P(3, 8), P(13, 8));
                    break;
                }
                case MarkupTool::Text: {
                    Gdiplus::Pen thick(Argb(ink), std::max(1.5f, 2.2f * u));
                    g.DrawLine(&thick, P(3.5f, 3.5f), P(12.5f, 3.5f));
                    g.DrawLine(&thick, P(8, 3.5f), P(8, 13.5f));
                    break;
                }
                case MarkupTool::Step: {
                    Gdiplus::SolidBrush red(Color(255, 220, 30, 30));
                    g.FillEllipse(&red, x + 1 * u, y + 1 * u, 14 * u, 14 * u);
                    // The number is GDI text, which every system draws.
                    const std::wstring number = std::to_wstring(nextStep);
                    g.Flush();
                    HDC gdc = g.GetHDC();
                    {
                        platform::SelectedObject selected(gdc, font);
                        ::SetBkMode(gdc, TRANSPARENT);
                        ::SetTextColor(gdc, RGB(255, 255, 255));
                        RECT box{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + s),
                                 static_cast<LONG>(y + s)};
                        ::DrawTextW(gdc, number.c_str(), static_cast<int>(number.size()), &box,
                                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
                    }
                    g.ReleaseHDC(gdc);
                    (void)dc;
                    break;
                }
                case MarkupTool::RedactBlack: {
                    Gdiplus::SolidBrush black(Color(255, 0, 0, 0));
                    g.FillRectangle(&black, x + 2 * u, y + 4 * u, 12 * u, 8 * u);
                    Gdiplus::Pen white(Color(255, 255, 255, 255), std::max(1.0f, u));
                    g.DrawLine(&white, P(4, 8), P(12, 8));
                    break;
                }
                case MarkupTool::RedactPixelate:
                    for (int row = 0; row < 3; ++row)
                        for (int col = 0; col < 3; ++col) {
                            const BYTE grey = static_cast<BYTE>(((row * 3 + col) * 53) % 200 + 30);
                            Gdiplus::SolidBrush block(Color(255, grey, grey, grey));
                            g.FillRectangle(&block, x + (2 + col * 4) * u, y + (2 + row * 4) * u, 4 * u, 4 * u);
                        }
                    break;
                case MarkupTool::Crop:
                    g.DrawLine(&pen, P(4.5f, 1.5f), P(4.5f, 11.5f));
                    g.DrawLine(&pen, P(4.5f, 11.5f), P(14.5f, 11.5f));
                    g.DrawLine(&pen, P(1.5f, 4.5f), P(11.5f, 4.5f));
                    g.DrawLine(&pen, P(11.5f, 4.5f), P(11.5f, 14.5f));
                    break;
            }
            break;
        case Kind::Colour: {
            const COLORREF c = MarkupWindow::PaletteColour(item.value);
            Gdiplus::SolidBrush swatch(Argb(c));
            g.FillEllipse(&swatch, x + 1 * u, y + 1 * u, 14 * u, 14 * u);
            Gdiplus::Pen rim(Color(255, 96, 96, 96), 1.0f);
            g.DrawEllipse(&rim, x + 1 * u, y + 1 * u, 14 * u, 14 * u);
            break;
        }
        case Kind::Width: {
            const REAL thickness[] = {1.0f, 2.5f, 5.0f};
            Gdiplus::Pen line(Argb(ink), thickness[std::clamp(item.value, 0, 2)] * u);
            line.SetStartCap(Gdiplus::LineCapRound);
            line.SetEndCap(Gdiplus::LineCapRound);
            g.DrawLine(&line, P(3, 8), P(13, 8));
            break;
        }
        case Kind::Undo:
        case Kind::Redo: {
            const bool undo = item.kind == Kind::Undo;
            Gdiplus::Matrix mirror;
            if (!undo) {
                mirror.Translate(2 * x + s, 0);
                mirror.Scale(-1, 1);
                g.SetTransform(&mirror);
            }
            g.DrawArc(&pen, x + 3.5f * u, y + 4.5f * u, 9.5f * u, 9 * u, 180.0f, 200.0f);
            const PointF head[] = {P(1.5f, 6.5f), P(7, 7.5f), P(3.5f, 12)};
            g.FillPolygon(&fill, head, 3);
            g.ResetTransform();
            break;
        }
        case Kind::Copy:
            g.DrawRectangle(&pen, x + 2.5f * u, y + 2.5f * u, 8 * u, 9 * u);
            g.DrawRectangle(&pen, x + 5.5f * u, y + 5.5f * u, 8 * u, 9 * u);
            break;
        case Kind::Done: {
            Gdiplus::Pen tick(Color(255, 16, 140, 40), std::max(1.5f, 2.2f * u));
            tick.SetLineJoin(Gdiplus::LineJoinRound);
            const PointF mark[] = {P(2.5f, 8.5f), P(6.5f, 12.5f), P(13.5f, 3.5f)};
            g.DrawLines(&tick, mark, 3);
            break;
        }
        case Kind::Discard: {
            Gdiplus::Pen cross(Color(255, 200, 30, 30), std::max(1.5f, 2.0f * u));
            g.DrawLine(&cross, P(3.5f, 3.5f), P(12.5f, 12.5f));
            g.DrawLine(&cross, P(12.5f, 3.5f), P(3.5f, 12.5f));
            break;
        }
    }
}

}  // namespace

MarkupToolStrip::~MarkupToolStrip() { Destroy(); }

bool MarkupToolStrip::Create(HWND parent) {
    if (!platform::Window::Create(kStripClass, CS_DBLCLKS, 0, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                  RECT{0, 0, 10, 10}, parent, ::LoadCursorW(nullptr, IDC_ARROW)))
        return false;
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0,
                                 0, 0, 0, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    return true;
}

HFONT MarkupToolStrip::Font() {
    if (!font_) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        // The system answers for its own DPI; the strip follows its window's.
        const int systemDpi = platform::ScreenDpi();
        if (systemDpi != dpi_ && metrics.lfMessageFont.lfHeight != 0)
            metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, dpi_, systemDpi);
        font_.reset(::CreateFontIndirectW(&metrics.lfMessageFont));
    }
    return font_ ? font_.get() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

int MarkupToolStrip::LayoutFor(int dpi) {
    dpi_ = dpi;
    font_.reset();
    const auto scale = [&](int pixels) { return ::MulDiv(pixels, dpi, 96); };
    const int button = scale(24), swatch = scale(20), gap = scale(2), groupGap = scale(6), margin = scale(4);
    items_.clear();
    int x = margin;
    const int top = margin;
    const auto add = [&](ItemKind kind, int value, std::wstring tip, std::wstring label = {}) {
        int width = kind == ItemKind::Colour ? swatch : button;
        if (!label.empty()) {
            platform::WindowDc screen(nullptr);
            platform::SelectedObject font(screen.get(), Font());
            SIZE extent{};
            ::GetTextExtentPoint32W(screen.get(), label.c_str(), static_cast<int>(label.size()), &extent);
            width = button + extent.cx + scale(8);
        }
        items_.push_back(Item{kind, value, RECT{x, top, x + width, top + button}, std::move(tip), std::move(label)});
        x += width + gap;
    };
    for (const ToolButton& tool : kToolButtons)
        add(ItemKind::Tool, static_cast<int>(tool.tool), ExpandText(tool.tip));
    x += groupGap;
    for (int i = 0; i < MarkupWindow::kColourCount; ++i) add(ItemKind::Colour, i, ExpandText(kColourTips[i]));
    x += groupGap;
    for (int i = 0; i < MarkupWindow::kWidthCount; ++i) add(ItemKind::Width, i, ExpandText(kWidthTips[i]));
    x += groupGap;
    add(ItemKind::Undo, 0, ExpandText(L"Undo (Ctrl+Z)"));
    add(ItemKind::Redo, 0, ExpandText(L"Redo (Ctrl+Y)"));
    x += groupGap;
    add(ItemKind::Copy, 0, ExpandText(L"Copy the result to the clipboard (Ctrl+C)"), ExpandText(L"Copy"));
    add(ItemKind::Done, 0, ExpandText(L"Save or copy as the profile says (Enter)"), ExpandText(L"Done"));
    add(ItemKind::Discard, 0, ExpandText(L"Drop this capture (Escape)"), ExpandText(L"Discard"));
    neededWidth_ = x - gap + margin;
    height_ = button + 2 * margin + 1;
    AddTooltips();
    return height_;
}

void MarkupToolStrip::AddTooltips() {
    if (tooltip_ == nullptr) return;
    // The tools of an earlier layout go first.
    TTTOOLINFOW old{};
    old.cbSize = sizeof(old);
    while (::SendMessageW(tooltip_, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&old)))
        ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&old));
    for (size_t i = 0; i < items_.size(); ++i) {
        TTTOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.uFlags = TTF_SUBCLASS;
        info.hwnd = hwnd();
        info.uId = i + 1;
        info.rect = items_[i].rect;
        info.lpszText = const_cast<wchar_t*>(items_[i].tip.c_str());
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, ::MulDiv(400, dpi_, 96));
}

int MarkupToolStrip::HitItem(POINT point) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (::PtInRect(&items_[i].rect, point)) return static_cast<int>(i);
    return -1;
}

bool MarkupToolStrip::IsChecked(const Item& item) const {
    switch (item.kind) {
        case ItemKind::Tool: return static_cast<int>(owner_.Tool()) == item.value;
        case ItemKind::Colour: return owner_.ColourIndex() == item.value;
        case ItemKind::Width: return owner_.WidthIndex() == item.value;
        default: return false;
    }
}

bool MarkupToolStrip::IsEnabled(const Item& item) const {
    if (item.kind == ItemKind::Undo) return owner_.Document().CanUndo();
    if (item.kind == ItemKind::Redo) return owner_.Document().CanRedo();
    return true;
}

void MarkupToolStrip::Refresh() {
    if (hwnd()) ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupToolStrip::Activate(const Item& item) {
    switch (item.kind) {
        case ItemKind::Tool: owner_.SelectTool(static_cast<MarkupTool>(item.value)); break;
        case ItemKind::Colour: owner_.SelectColour(item.value); break;
        case ItemKind::Width: owner_.SelectWidth(item.value); break;
        case ItemKind::Undo: owner_.Undo(); break;
        case ItemKind::Redo: owner_.Redo(); break;
        case ItemKind::Copy: owner_.Copy(); break;
        case ItemKind::Done: owner_.Done(); break;
        case ItemKind::Discard: owner_.Discard(); break;
    }
}

void MarkupToolStrip::Paint(HDC target, const RECT& client) {
    const int width = std::max<LONG>(1, client.right), height = std::max<LONG>(1, client.bottom);
    platform::MemoryDc dc(target);
    platform::UniqueHbitmap bitmap(platform::CreateTopDownDib32(target, width, height));
    if (!dc.get() || !bitmap) return;
    platform::SelectedObject selectBitmap(dc.get(), bitmap.get());
    ::FillRect(dc.get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT line{0, height - 1, width, height};
    ::FillRect(dc.get(), &line, ::GetSysColorBrush(COLOR_BTNSHADOW));
    const COLORREF text = ::GetSysColor(COLOR_BTNTEXT), grey = ::GetSysColor(COLOR_GRAYTEXT);
    {
        Gdiplus::Graphics g(dc.get());
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        const REAL corner = static_cast<REAL>(::MulDiv(3, dpi_, 96));
        for (size_t i = 0; i < items_.size(); ++i) {
            const Item& item = items_[i];
            const RECT& r = item.rect;
            const bool checked = IsChecked(item), enabled = IsEnabled(item);
            const bool hot = static_cast<int>(i) == hot_ && enabled;
            if (checked || hot || static_cast<int>(i) == pressed_) {
                const COLORREF face = checked ? RGB(204, 228, 247) : RGB(229, 241, 251);
                const COLORREF rim = checked ? RGB(0, 120, 215) : RGB(160, 200, 235);
                Gdiplus::GraphicsPath box;
                const REAL l = static_cast<REAL>(r.left) + 0.5f, t = static_cast<REAL>(r.top) + 0.5f;
                const REAL w = static_cast<REAL>(r.right - r.left) - 1, h = static_cast<REAL>(r.bottom - r.top) - 1;
                box.AddArc(l, t, 2 * corner, 2 * corner, 180, 90);
                box.AddArc(l + w - 2 * corner, t, 2 * corner, 2 * corner, 270, 90);
                box.AddArc(l + w - 2 * corner, t + h - 2 * corner, 2 * corner, 2 * corner, 0, 90);
                box.AddArc(l, t + h - 2 * corner, 2 * corner, 2 * corner, 90, 90);
                box.CloseFigure();
                Gdiplus::SolidBrush faceBrush(Argb(face));
                Gdiplus::Pen rimPen(Argb(rim), 1);
                g.FillPath(&faceBrush, &box);
                g.DrawPath(&rimPen, &box);
            }
            // The icon's square: the button's height, centred in a narrower
            // swatch, at the left of a labelled button.
            const REAL side = static_cast<REAL>(std::min(r.bottom - r.top, r.right - r.left));
            const REAL inset = side * 0.15f;
            const REAL left = item.label.empty() ? r.left + (r.right - r.left - side) / 2 : static_cast<REAL>(r.left);
            const REAL top = r.top + (r.bottom - r.top - side) / 2;
            DrawIcon(g, item, Gdiplus::RectF(left + inset, top + inset, side - 2 * inset, side - 2 * inset),
                     enabled ? text : grey, MarkupDocument::NextStepNumber(), dc.get(), Font());
        }
    }
    // The labels of Copy, Done and Discard.
    platform::SelectedObject font(dc.get(), Font());
    ::SetBkMode(dc.get(), TRANSPARENT);
    ::SetTextColor(dc.get(), text);
    for (const Item& item : items_) {
        if (item.label.empty()) continue;
        RECT box = item.rect;
        box.left += box.bottom - box.top - ::MulDiv(2, dpi_, 96);
        ::DrawTextW(dc.get(), item.label.c_str(), static_cast<int>(item.label.size()), &box,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::BitBlt(target, 0, 0, width, height, dc.get(), 0, 0, SRCCOPY);
}

LRESULT MarkupToolStrip::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd(), &ps);
            RECT client;
            ::GetClientRect(hwnd(), &client);
            Paint(dc, client);
            ::EndPaint(hwnd(), &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_MOUSEMOVE: {
            const int hit = HitItem(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (!tracking_) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd(), 0};
                tracking_ = ::TrackMouseEvent(&track) != FALSE;
            }
            if (hit != hot_) {
                hot_ = hit;
                Refresh();
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            tracking_ = false;
            hot_ = -1;
            Refresh();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            pressed_ = HitItem(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (pressed_ >= 0) ::SetCapture(hwnd());
            Refresh();
            return 0;
        case WM_LBUTTONUP: {
            const int pressed = std::exchange(pressed_, -1);
            if (::GetCapture() == hwnd()) ::ReleaseCapture();
            Refresh();
            if (pressed >= 0 && pressed == HitItem(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) &&
                IsEnabled(items_[static_cast<size_t>(pressed)])) {
                // Copied: the command may lay the strip out again.
                const Item item = items_[static_cast<size_t>(pressed)];
                Activate(item);
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            pressed_ = -1;
            Refresh();
            return 0;
        case WM_MOUSEWHEEL: {
            // Over the Step button the wheel sets the next step number.
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ScreenToClient(hwnd(), &point);
            const int hit = HitItem(point);
            if (hit >= 0 && items_[static_cast<size_t>(hit)].kind == ItemKind::Tool &&
                items_[static_cast<size_t>(hit)].value == static_cast<int>(MarkupTool::Step)) {
                const int delta = GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? 1 : -1;
                MarkupDocument::SetNextStepNumber(std::clamp(MarkupDocument::NextStepNumber() + delta, 1, 999));
                Refresh();
                owner_.OnDocumentChanged();
                return 0;
            }
            break;
        }
        case WM_MOUSEACTIVATE:
            // The strip never takes the keyboard from the canvas.
            return MA_ACTIVATE;
        default: break;
    }
    return Default(message, wParam, lParam);
}
