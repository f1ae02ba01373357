#include "capture/SelectionAids.h"

#include "platform/Monitors.h"
#include "uikit/CorvaneApp.h"
#include "platform/Window.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include <emmintrin.h>

namespace {

constexpr COLORREF kLabelFill = RGB(32, 32, 32);
constexpr COLORREF kLabelText = RGB(255, 255, 255);
constexpr COLORREF kGrid = RGB(72, 72, 72);
constexpr size_t kTitleLength = 60;

// The rectangles of a region, or its bounding box when they cannot be read.
std::vector<RECT> RegionRects(HRGN region) {
    std::vector<RECT> rects;
    const DWORD size = ::GetRegionData(region, 0, nullptr);
    if (size >= sizeof(RGNDATAHEADER)) {
        std::vector<BYTE> data(size);
        auto* header = reinterpret_cast<RGNDATA*>(data.data());
        if (::GetRegionData(region, size, header) == size) {
            const auto* first = reinterpret_cast<const RECT*>(header->Buffer);
            rects.assign(first, first + header->rdh.nCount);
            return rects;
        }
    }
    RECT box{};
    if (::GetRgnBox(region, &box) != NULLREGION && box.right > box.left) rects.push_back(box);
    return rects;
}

// A brush of 4-pixel white and black dashes along any line drawn with it,
// so that a 1-pixel line shows on light and dark pictures alike.
HBRUSH MakeDashBrush() {
    struct {
        BITMAPINFOHEADER header;
        DWORD pixels[64];
    } pattern{};
    pattern.header.biSize = sizeof(BITMAPINFOHEADER);
    pattern.header.biWidth = 8;
    pattern.header.biHeight = -8;
    pattern.header.biPlanes = 1;
    pattern.header.biBitCount = 32;
    pattern.header.biCompression = BI_RGB;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) pattern.pixels[y * 8 + x] = ((x + y) / 4) % 2 == 0 ? 0xFFFFFF : 0x000000;
    return ::CreateDIBPatternBrushPt(&pattern, DIB_RGB_COLORS);
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    const COLORREF previous = ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    ::SetBkColor(dc, previous);
}

void FrameWith(HDC dc, const RECT& r, HBRUSH brush) {
    platform::SelectedObject selected(dc, brush);
    const int w = r.right - r.left, h = r.bottom - r.top;
    ::PatBlt(dc, r.left, r.top, w, 1, PATCOPY);
    ::PatBlt(dc, r.left, r.bottom - 1, w, 1, PATCOPY);
    ::PatBlt(dc, r.left, r.top, 1, h, PATCOPY);
    ::PatBlt(dc, r.right - 1, r.top, 1, h, PATCOPY);
}

// One axis of PlaceBesidePointer.
LONG PlaceOnAxis(LONG pointer, LONG length, int gap, int direction, LONG low, LONG high) {
    const LONG after = pointer + gap, before = pointer - gap - length;
    LONG start = direction > 0 ? after : before;
    if (start < low || start + length > high) {
        const LONG other = direction > 0 ? before : after;
        if (other >= low && other + length <= high) start = other;
    }
    return std::clamp(start, low, std::max(low, high - length));
}

}  // namespace

RECT PlaceBesidePointer(POINT pointer, SIZE size, int gap, int dx, int dy, const RECT& area) {
    const LONG x = PlaceOnAxis(pointer.x, size.cx, gap, dx, area.left, area.right);
    const LONG y = PlaceOnAxis(pointer.y, size.cy, gap, dy, area.top, area.bottom);
    return RECT{x, y, x + size.cx, y + size.cy};
}

std::wstring SizeText(const RECT& selection) {
    return std::to_wstring(selection.right - selection.left) + L" \u00D7 " +
           std::to_wstring(selection.bottom - selection.top);
}

std::wstring MarkupHintText(bool ctrlHeld) {
    const wchar_t* key = ctrlHeld ? L"MarkupWillOpen" : L"MarkupHint";
    if (CCorvaneApp* app = CCorvaneApp::Current()) {
        const TextCatalog& catalog = app->GetTextCatalog();
        if (catalog.FindTranslation(key)) return catalog.ExpandText(key, true);
    }
    // Without the language files the hint still reads.
    return ctrlHeld ? L"mark up" : L"Ctrl: mark up";
}

std::wstring ColourText(COLORREF colour) {
    wchar_t text[8];
    std::swprintf(text, 8, L"#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

std::wstring ShortTitle(const std::wstring& title) {
    if (title.size() <= kTitleLength) return title;
    return title.substr(0, kTitleLength) + L"\u2026";
}

RECT SelectionAids::BorderBox(const RECT& selection) {
    RECT box = selection;
    ::InflateRect(&box, 1, 1);
    return box;
}

bool SelectionAids::Prepare(HBITMAP frozen, const void* frozenBits, SIZE size, POINT origin) {
    Release();
    if (frozen == nullptr || size.cx <= 0 || size.cy <= 0) return false;
    platform::WindowDc screen(nullptr);
    if (!screen) return false;
    void* bits = nullptr;
    platform::UniqueHbitmap dimmed(platform::CreateTopDownDib32(screen.get(), size.cx, size.cy, &bits));
    // The back buffer in the dimmed picture's format, so that composing is
    // a plain copy of pixels.
    platform::UniqueHbitmap back(platform::CreateTopDownDib32(screen.get(), size.cx, size.cy));
    if (!dimmed || !back || !bits) return false;
    // The frozen picture's own bits when they are given; otherwise a copy of
    // it in the dimmed picture, dimmed in place.
    const uint32_t* source = static_cast<const uint32_t*>(frozenBits);
    if (source != nullptr) {
        ::GdiFlush();
    } else {
        platform::MemoryDc from(screen.get()), to(screen.get());
        if (!from || !to) return false;
        platform::SelectedObject selectFrom(from.get(), frozen);
        platform::SelectedObject selectTo(to.get(), dimmed.get());
        if (!::BitBlt(to.get(), 0, 0, size.cx, size.cy, from.get(), 0, 0, SRCCOPY)) return false;
        ::GdiFlush();
        source = static_cast<const uint32_t*>(bits);
    }
    auto* target = static_cast<uint32_t*>(bits);
    const size_t count = static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy);
    const auto dim = [source, target, count] {
        // Each channel times 154 / 256 is 60 % of it, less than half a step
        // off; four pixels at a time in 16-bit lanes.
        const __m128i zero = _mm_setzero_si128(), factor = _mm_set1_epi16(154);
        size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
            const __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), factor), 8);
            const __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), factor), 8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_packus_epi16(low, high));
        }
        for (; i < count; ++i) {
            const uint32_t p = source[i];
            target[i] = ((((p & 0x00FF00FFu) * 154u) >> 8) & 0x00FF00FFu) |
                        ((((p >> 8) & 0x00FF00FFu) * 154u) & 0xFF00FF00u);
        }
    };
    dimmedDone_ = false;
    notify_ = nullptr;
    if (frozenBits != nullptr) {
        pendingDim_ = dim;
    } else {
        dim();
        dimmedDone_ = true;
    }
    monitors_.clear();
    for (const platform::MonitorArea& area : platform::Monitors()) {
        RECT r = area.monitor;
        ::OffsetRect(&r, -origin.x, -origin.y);
        monitors_.push_back(r);
    }
    dashes_.reset(MakeDashBrush());
    frozen_ = frozen;
    size_ = size;
    dimmed_ = std::move(dimmed);
    back_ = std::move(back);
    return true;
}

SelectionAids::~SelectionAids() {
    if (dimming_.joinable()) dimming_.join();
}

bool SelectionAids::Ready() {
    if (!back_ || !dimmedDone_) return false;
    if (dimming_.joinable()) dimming_.join();
    return true;
}

void SelectionAids::StartDimming() {
    if (!pendingDim_) return;
    std::function<void()> dim = std::move(pendingDim_);
    pendingDim_ = nullptr;
    // Only memory is touched on that thread: the frozen bits, which nothing
    // writes meanwhile, and the dimmed ones, which nothing reads until it is
    // done.
    const auto dimAndTell = [this, dim] {
        dim();
        dimmedDone_ = true;
        if (const HWND window = notify_.exchange(nullptr)) ::PostMessageW(window, notifyMessage_, 0, 0);
    };
    try {
        dimming_ = std::thread(dimAndTell);
    } catch (...) {
        // No thread to be had: done here, before the caller goes on.
        dimAndTell();
    }
}

void SelectionAids::NotifyWhenDimmed(HWND window, UINT message) {
    if (!back_ || dimmedDone_) return;
    notifyMessage_ = message;
    notify_ = window;
    // Done in the meantime: the thread may have looked before the window
    // was set; the caller sees Ready at its next paint either way.
}

void SelectionAids::Release() {
    pendingDim_ = nullptr;
    if (dimming_.joinable()) dimming_.join();
    notify_ = nullptr;
    frozen_ = nullptr;
    painted_ = false;
    back_.reset();
    dimmed_.reset();
}

RECT SelectionAids::MonitorAt(POINT p) const {
    for (const RECT& r : monitors_)
        if (::PtInRect(&r, p)) return r;
    if (!monitors_.empty()) return monitors_.front();
    return RECT{0, 0, size_.cx, size_.cy};
}

int SelectionAids::Gap() { return platform::ScaleToScreenDpi(20); }

HFONT SelectionAids::Font() const {
    if (!font_) {
        // The dialog and message font, at the screen's scale.
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        // Asked for the screen's DPI where the system can (Windows 10);
        // otherwise the system's answer is for its own DPI already.
        using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
        const auto forDpi = reinterpret_cast<ForDpi>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
        if (forDpi == nullptr || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                         static_cast<UINT>(platform::ScreenDpi()))) {
            metrics.cbSize = sizeof(metrics);
            ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        }
        font_.reset(::CreateFontIndirectW(&metrics.lfMessageFont));
    }
    return font_ ? font_.get() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

SIZE SelectionAids::LabelSize(const std::wstring& text) const {
    platform::WindowDc screen(nullptr);
    SIZE extent{};
    {
        platform::SelectedObject font(screen.get(), Font());
        ::GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    }
    return SIZE{extent.cx + 2 * platform::ScaleToScreenDpi(6) + 2, extent.cy + 2 * platform::ScaleToScreenDpi(2) + 2};
}

int SelectionAids::Cell() { return platform::ScaleToScreenDpi(kMagnification); }

SIZE SelectionAids::MagnifierSize() const {
    const int square = Cell() * kMagnifiedPixels + 1;
    return SIZE{square + 2, square + 2 + LabelSize(L"#FFFFFF").cy - 1};
}

void SelectionAids::Paint(HWND window, const std::vector<RECT>& bright, const std::function<void(HDC)>& decorate) {
    platform::UniqueGdi<HRGN> update(::CreateRectRgn(0, 0, 0, 0));
    const int kind = update ? ::GetUpdateRgn(window, update.get(), FALSE) : ERROR;
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window, &ps);
    if (dc != nullptr && update) {
        if (kind == ERROR || kind == NULLREGION)
            ::SetRectRgn(update.get(), ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
        const std::vector<RECT> rects = RegionRects(update.get());
        platform::MemoryDc back(dc), dimmed(dc), frozen(dc);
        if (back && dimmed && frozen) {
            platform::SelectedObject selectBack(back.get(), back_.get());
            platform::SelectedObject selectDimmed(dimmed.get(), dimmed_.get());
            platform::SelectedObject selectFrozen(frozen.get(), frozen_);
            // The first paint goes straight to the window: nothing shows
            // there yet that could flicker, and the overlay appears a whole
            // screen's copy sooner. Later ones are composed in the back buffer.
            const HDC target = painted_ ? back.get() : dc;
            for (const RECT& r : rects)
                ::BitBlt(target, r.left, r.top, r.right - r.left, r.bottom - r.top, dimmed.get(), r.left, r.top,
                         SRCCOPY);
            for (const RECT& b : bright) {
                for (const RECT& r : rects) {
                    RECT part;
                    if (::IntersectRect(&part, &b, &r))
                        ::BitBlt(target, part.left, part.top, part.right - part.left, part.bottom - part.top,
                                 frozen.get(), part.left, part.top, SRCCOPY);
                }
            }
            const int saved = ::SaveDC(target);
            ::SelectClipRgn(target, update.get());
            frozenDc_ = frozen.get();
            decorate(target);
            frozenDc_ = nullptr;
            ::RestoreDC(target, saved);
            // Every paint composes all of its update region, so the back
            // buffer needs nothing of the paints before it.
            if (painted_) {
                for (const RECT& r : rects)
                    ::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, back.get(), r.left, r.top,
                             SRCCOPY);
            }
            painted_ = true;
        }
    }
    ::EndPaint(window, &ps);
}

void SelectionAids::DrawBorder(HDC dc, const RECT& selection) const {
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    FrameWith(dc, BorderBox(selection), dashes_.get());
}

void SelectionAids::DrawCrosshair(HDC dc, POINT p, const RECT& client) const {
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    platform::SelectedObject selected(dc, dashes_.get());
    ::PatBlt(dc, client.left, p.y, client.right - client.left, 1, PATCOPY);
    ::PatBlt(dc, p.x, client.top, 1, client.bottom - client.top, PATCOPY);
}

void SelectionAids::CrosshairBoxes(POINT p, const RECT& client, RECT boxes[2]) {
    boxes[0] = RECT{client.left, p.y, client.right, p.y + 1};
    boxes[1] = RECT{p.x, client.top, p.x + 1, client.bottom};
}

void SelectionAids::DrawLabel(HDC dc, const RECT& box, const std::wstring& text) const {
    platform::UniqueHbrush edge(::CreateSolidBrush(kLabelText));
    Fill(dc, box, kLabelFill);
    FrameWith(dc, box, edge.get());
    platform::SelectedObject font(dc, Font());
    const int mode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF colour = ::SetTextColor(dc, kLabelText);
    RECT inside = box;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inside,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SetTextColor(dc, colour);
    ::SetBkMode(dc, mode);
}

COLORREF SelectionAids::FrozenPixel(POINT p) const {
    if (frozenDc_ == nullptr || p.x < 0 || p.y < 0 || p.x >= size_.cx || p.y >= size_.cy) return CLR_INVALID;
    return ::GetPixel(frozenDc_, p.x, p.y);
}

void SelectionAids::DrawMagnifier(HDC dc, const RECT& box, POINT centre) const {
    if (frozenDc_ == nullptr) return;
    const int cell = Cell(), half = kMagnifiedPixels / 2;
    const int square = cell * kMagnifiedPixels + 1;
    const POINT inner{box.left + 1, box.top + 1};
    Fill(dc, box, RGB(0, 0, 0));
    // Only the frozen picture's own pixels are magnified; beyond its edges
    // the square stays black.
    const RECT wanted{centre.x - half, centre.y - half, centre.x + half + 1, centre.y + half + 1};
    const RECT picture{0, 0, size_.cx, size_.cy};
    RECT source;
    if (::IntersectRect(&source, &wanted, &picture)) {
        const int previous = ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, inner.x + (source.left - wanted.left) * cell, inner.y + (source.top - wanted.top) * cell,
                     (source.right - source.left) * cell, (source.bottom - source.top) * cell, frozenDc_,
                     source.left, source.top, source.right - source.left, source.bottom - source.top, SRCCOPY);
        ::SetStretchBltMode(dc, previous);
    }
    {
        // Each magnified pixel's first row and column are the grid.
        platform::UniqueHbrush grid(::CreateSolidBrush(kGrid));
        platform::SelectedObject selected(dc, grid.get());
        for (int i = 0; i <= kMagnifiedPixels; ++i) {
            ::PatBlt(dc, inner.x + i * cell, inner.y, 1, square, PATCOPY);
            ::PatBlt(dc, inner.x, inner.y + i * cell, square, 1, PATCOPY);
        }
    }
    const RECT centreCell{inner.x + half * cell, inner.y + half * cell, inner.x + (half + 1) * cell + 1,
                          inner.y + (half + 1) * cell + 1};
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    FrameWith(dc, centreCell, dashes_.get());
    // Below the square: a swatch of the centre pixel's colour and its value.
    const COLORREF colour = FrozenPixel(centre);
    const RECT line{box.left, inner.y + square, box.right, box.bottom};
    DrawLabel(dc, line, colour == CLR_INVALID ? std::wstring() : ColourText(colour));
    if (colour != CLR_INVALID) {
        const int inset = platform::ScaleToScreenDpi(4);
        const int side = line.bottom - line.top - 2 * inset;
        const RECT swatch{line.left + inset, line.top + inset, line.left + inset + side, line.top + inset + side};
        Fill(dc, swatch, colour);
    }
}
