#include "app/MarkupCanvas.h"

#include "app/MarkupWindow.h"

#include <objidl.h>
#include <gdiplus.h>
#include <imm.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

constexpr double kMinZoom = 1.0 / 16;
constexpr double kMaxZoom = 16;
constexpr double kZoomStep = 1.25;
constexpr UINT_PTR kCaretTimer = 1;
constexpr UINT kWarmUpMessage = WM_APP + 1;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// The face of the dialog and message font, in which marks' text is drawn.
const std::wstring& DialogFace() {
    static const std::wstring face = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) &&
            metrics.lfMessageFont.lfFaceName[0] != 0)
            return std::wstring(metrics.lfMessageFont.lfFaceName);
        return std::wstring(L"Tahoma");
    }();
    return face;
}

bool SameRedactions(const std::vector<Mark>& a, const std::vector<Mark>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || !::EqualRect(&a[i].box, &b[i].box)) return false;
    return true;
}

std::vector<Mark> RedactionsOf(const std::vector<Mark>& marks) {
    std::vector<Mark> redactions;
    for (const Mark& m : marks)
        if (m.IsRedaction()) redactions.push_back(m);
    return redactions;
}

// The size of a crop shrunk by a zoom below 1.
SIZE ShrunkSize(const RECT& crop, double zoom) {
    if (Width(crop) <= 0 || Height(crop) <= 0) return SIZE{0, 0};
    return SIZE{std::max(1, static_cast<int>(std::lround(Width(crop) * zoom))),
                std::max(1, static_cast<int>(std::lround(Height(crop) * zoom)))};
}

// Rows [firstRow, endRow) of a crop of a bottom-up 24-bit picture shrunk by
// a zoom below 1, into top-down 32-bit rows (out holds firstRow). Each shown
// pixel is the average of the picture pixels it covers, so that a shrunken
// picture stays smooth and text stays readable.
void ShrinkRows(const CCaptureImage& source, const RECT& crop, double zoom, int firstRow, int endRow, uint32_t* out) {
    const int w = Width(crop), h = Height(crop);
    const int sw = ShrunkSize(crop, zoom).cx;
    std::vector<int> columnFirst(static_cast<size_t>(sw)), columnEnd(static_cast<size_t>(sw));
    int widest = 1;
    for (int ox = 0; ox < sw; ++ox) {
        const int x0 = std::min(w - 1, static_cast<int>(std::floor(ox / zoom)));
        const int x1 = std::clamp(static_cast<int>(std::floor((ox + 1) / zoom)), x0 + 1, w);
        columnFirst[static_cast<size_t>(ox)] = crop.left + x0;
        columnEnd[static_cast<size_t>(ox)] = crop.left + x1;
        widest = std::max(widest, x1 - x0);
    }
    const long fullHeight = source.Height();
    // Sums are divided through a table of rounded reciprocals (16-bit fixed
    // point): a division per channel would cost more than the rest.
    const int tallest = static_cast<int>(std::ceil(1 / zoom)) + 1;
    std::vector<uint32_t> inverse(static_cast<size_t>(widest * tallest) + 1);
    for (size_t n = 1; n < inverse.size(); ++n) inverse[n] = static_cast<uint32_t>((65536 + n / 2) / n);
    for (int oy = firstRow; oy < endRow; ++oy) {
        const int y0 = std::min(h - 1, static_cast<int>(std::floor(oy / zoom)));
        const int y1 = std::clamp(static_cast<int>(std::floor((oy + 1) / zoom)), y0 + 1, std::min(h, y0 + tallest));
        uint32_t* dst = out + static_cast<size_t>(oy - firstRow) * static_cast<size_t>(sw);
        for (int ox = 0; ox < sw; ++ox) {
            const int x0 = columnFirst[static_cast<size_t>(ox)], x1 = columnEnd[static_cast<size_t>(ox)];
            uint32_t b = 0, g = 0, r = 0;
            for (int y = y0; y < y1; ++y) {
                // The picture's rows are stored bottom-up.
                const uint8_t* p = source.Row(fullHeight - 1 - (crop.top + y)) + static_cast<size_t>(x0) * 3;
                for (int x = x0; x < x1; ++x, p += 3) {
                    b += p[0];
                    g += p[1];
                    r += p[2];
                }
            }
            const uint32_t inv = inverse[static_cast<size_t>((x1 - x0) * (y1 - y0))];
            dst[ox] = ((b * inv) >> 16) | (((g * inv) >> 16) << 8) | (((r * inv) >> 16) << 16);
        }
    }
}

// ShrinkRows with the rows shared out among the cores; a thread that cannot
// start leaves its rows to this one.
void ShrinkOnAllCores(const CCaptureImage& source, const RECT& crop, double zoom, int firstRow, int endRow,
                      uint32_t* out) {
    const int sw = ShrunkSize(crop, zoom).cx;
    const int rows = endRow - firstRow;
    // A thread costs milliseconds to start under Wine: only many rows are
    // worth sharing out.
    const int threads = rows < 512 ? 1 : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) {
        const int first = firstRow + rows * t / threads, end = firstRow + rows * (t + 1) / threads;
        uint32_t* at = out + static_cast<size_t>(first - firstRow) * static_cast<size_t>(sw);
        try {
            workers.emplace_back(ShrinkRows, std::cref(source), crop, zoom, first, end, at);
        } catch (...) {
            ShrinkRows(source, crop, zoom, first, end, at);
        }
    }
    ShrinkRows(source, crop, zoom, firstRow, firstRow + rows / threads, out);
    for (std::thread& worker : workers) worker.join();
}

}  // namespace

MarkupCanvas::MarkupCanvas(MarkupWindow& owner) : owner_(owner) {}
MarkupCanvas::~MarkupCanvas() { Destroy(); }

bool MarkupCanvas::Create(HWND parent) {
    return platform::Window::Create(kMarkupCanvasClass, CS_DBLCLKS, 0, L"",
                                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_HSCROLL | WS_VSCROLL | WS_TABSTOP,
                                    RECT{0, 0, 10, 10}, parent, ::LoadCursorW(nullptr, IDC_ARROW));
}

SIZE MarkupCanvas::ContentSize() const {
    const RECT crop = owner_.Document().Crop();
    return SIZE{static_cast<LONG>(std::lround(Width(crop) * zoom_)),
                static_cast<LONG>(std::lround(Height(crop) * zoom_))};
}

POINT MarkupCanvas::Origin() const {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const SIZE content = ContentSize();
    return POINT{std::max<LONG>(0, (client.right - content.cx) / 2) - scrollX_,
                 std::max<LONG>(0, (client.bottom - content.cy) / 2) - scrollY_};
}

POINT MarkupCanvas::ToPicture(POINT client) const {
    const RECT crop = owner_.Document().Crop();
    const POINT origin = Origin();
    return POINT{crop.left + static_cast<LONG>(std::floor((client.x - origin.x) / zoom_)),
                 crop.top + static_cast<LONG>(std::floor((client.y - origin.y) / zoom_))};
}

RECT MarkupCanvas::ToClient(const RECT& picture) const {
    const RECT crop = owner_.Document().Crop();
    const POINT origin = Origin();
    const auto x = [&](LONG px) { return origin.x + static_cast<LONG>(std::lround((px - crop.left) * zoom_)); };
    const auto y = [&](LONG py) { return origin.y + static_cast<LONG>(std::lround((py - crop.top) * zoom_)); };
    return RECT{x(picture.left), y(picture.top), x(picture.right), y(picture.bottom)};
}

double MarkupCanvas::FitZoom(SIZE client) const {
    const RECT crop = owner_.Document().Crop();
    if (Width(crop) <= 0 || Height(crop) <= 0 || client.cx <= 0 || client.cy <= 0) return 1;
    const double fit = std::min(static_cast<double>(client.cx) / Width(crop),
                                static_cast<double>(client.cy) / Height(crop));
    return std::clamp(fit, kMinZoom, kMaxZoom);
}

void MarkupCanvas::SetZoom(double zoom, POINT anchor) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == zoom_) return;
    // The picture point under the anchor stays under it.
    const POINT origin = Origin();
    const double px = (anchor.x - origin.x) / zoom_, py = (anchor.y - origin.y) / zoom_;
    zoom_ = zoom;
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const SIZE content = ContentSize();
    const LONG offX = std::max<LONG>(0, (client.right - content.cx) / 2);
    const LONG offY = std::max<LONG>(0, (client.bottom - content.cy) / 2);
    scrollX_ = static_cast<int>(std::lround(offX + px * zoom_ - anchor.x));
    scrollY_ = static_cast<int>(std::lround(offY + py * zoom_ - anchor.y));
    UpdateScrollBars();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupCanvas::ZoomBy(int steps) {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    POINT anchor{client.right / 2, client.bottom / 2};
    POINT cursor{};
    if (::GetCursorPos(&cursor) && ::ScreenToClient(hwnd(), &cursor) && ::PtInRect(&client, cursor)) anchor = cursor;
    SetZoom(zoom_ * std::pow(kZoomStep, steps), anchor);
}

void MarkupCanvas::ZoomToFit() {
    // The size without scroll bars, which a fitting picture does not need.
    RECT window{};
    ::GetWindowRect(hwnd(), &window);
    zoom_ = FitZoom(SIZE{Width(window), Height(window)});
    scrollX_ = scrollY_ = 0;
    UpdateScrollBars();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupCanvas::UpdateScrollBars() {
    if (!hwnd()) return;
    // Showing one bar narrows the client, which may need the other. The
    // first pass measures without bars, so that a picture that fits the
    // whole canvas gets none.
    RECT window{};
    ::GetWindowRect(hwnd(), &window);
    for (int pass = 0; pass < 4; ++pass) {
        RECT client{};
        if (pass == 0)
            client = RECT{0, 0, Width(window), Height(window)};
        else
            ::GetClientRect(hwnd(), &client);
        const SIZE content = ContentSize();
        scrollX_ = std::clamp<int>(scrollX_, 0, std::max<int>(0, content.cx - client.right));
        scrollY_ = std::clamp<int>(scrollY_, 0, std::max<int>(0, content.cy - client.bottom));
        SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
        info.nMax = content.cx - 1;
        info.nPage = static_cast<UINT>(client.right);
        info.nPos = scrollX_;
        ::SetScrollInfo(hwnd(), SB_HORZ, &info, TRUE);
        info.nMax = content.cy - 1;
        info.nPage = static_cast<UINT>(client.bottom);
        info.nPos = scrollY_;
        ::SetScrollInfo(hwnd(), SB_VERT, &info, TRUE);
        RECT after{};
        ::GetClientRect(hwnd(), &after);
        if (pass > 0 && ::EqualRect(&client, &after)) break;
    }
}

void MarkupCanvas::ScrollTo(int x, int y) {
    scrollX_ = x;
    scrollY_ = y;
    UpdateScrollBars();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupCanvas::OnScroll(int bar, WPARAM wParam) {
    SCROLLINFO info{sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
    ::GetScrollInfo(hwnd(), bar, &info);
    int pos = info.nPos;
    const int line = ::MulDiv(40, owner_.Dpi(), 96);
    switch (LOWORD(wParam)) {
        case SB_LINEUP: pos -= line; break;
        case SB_LINEDOWN: pos += line; break;
        case SB_PAGEUP: pos -= static_cast<int>(info.nPage); break;
        case SB_PAGEDOWN: pos += static_cast<int>(info.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = info.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = info.nMax; break;
        default: return;
    }
    if (bar == SB_HORZ)
        ScrollTo(pos, scrollY_);
    else
        ScrollTo(scrollX_, pos);
}

void MarkupCanvas::OnDocumentChanged() {
    const MarkupDocument& doc = owner_.Document();
    if (selected_ != MarkupDocument::kNone && selected_ >= doc.Marks().size()) selected_ = MarkupDocument::kNone;
    if (editIndex_ != MarkupDocument::kNone && editIndex_ >= doc.Marks().size()) {
        typing_ = false;
        editIndex_ = MarkupDocument::kNone;
    }
    if (!SameRedactions(baseRedactions_, RedactionsOf(doc.Marks()))) sourceValid_ = false;
    UpdateScrollBars();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupCanvas::OnToolChanged() {
    EndText(true);
    CancelDrag();
    cropPending_ = false;
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupCanvas::CancelDrag() {
    dragging_ = moving_ = false;
    if (::GetCapture() == hwnd()) ::ReleaseCapture();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

const CCaptureImage& MarkupCanvas::Source() const {
    return baseRedactions_.empty() ? owner_.Document().Original() : redacted_;
}

void MarkupCanvas::RebuildSource() {
    const MarkupDocument& doc = owner_.Document();
    const CCaptureImage& original = doc.Original();
    baseRedactions_ = RedactionsOf(doc.Marks());
    baseBuilt_ = false;
    scaledZoom_ = 0;
    sourceValid_ = false;
    redacted_ = CCaptureImage();
    if (original.IsEmpty()) return;
    if (!baseRedactions_.empty()) {
        // The redactions change the pixels the canvas shows, as they will
        // change the result's.
        if (!redacted_.Create(original.Width(), original.Height(), 24, original.Format())) {
            baseRedactions_.clear();
            return;
        }
        for (long y = 0; y < original.Height(); ++y) std::memcpy(redacted_.Row(y), original.Row(y), original.Stride());
        for (const Mark& m : baseRedactions_) ApplyRedaction(redacted_, m, POINT{0, 0});
    }
    sourceValid_ = true;
}

bool MarkupCanvas::EnsureBase() {
    if (baseBuilt_) return true;
    const CCaptureImage& source = Source();
    if (source.IsEmpty()) return false;
    if (!base_) {
        void* bits = nullptr;
        platform::WindowDc screen(nullptr);
        base_.reset(platform::CreateTopDownDib32(screen.get(), source.Width(), source.Height(), &bits));
        if (!base_) return false;
        baseBits_ = static_cast<uint32_t*>(bits);
    }
    CopyToTopDown32(source, baseBits_);
    ::GdiFlush();
    baseBuilt_ = true;
    return true;
}

void MarkupCanvas::RebuildScaled() {
    scaled_.reset();
    scaledZoom_ = 0;
    const CCaptureImage& source = Source();
    const RECT crop = owner_.Document().Crop();
    const SIZE size = ShrunkSize(crop, zoom_);
    if (source.IsEmpty() || size.cx <= 0) return;
    void* bits = nullptr;
    {
        platform::WindowDc screen(nullptr);
        scaled_.reset(platform::CreateTopDownDib32(screen.get(), size.cx, size.cy, &bits));
    }
    if (!scaled_) return;
    ShrinkOnAllCores(source, crop, zoom_, 0, size.cy, static_cast<uint32_t*>(bits));
    ::GdiFlush();
    scaledSize_ = size;
    scaledZoom_ = zoom_;
    scaledCrop_ = crop;
}

bool MarkupCanvas::NothingOverPicture() const {
    return owner_.Document().Marks().empty() && !dragging_ && !moving_ && !typing_ && !cropPending_ &&
           selected_ == MarkupDocument::kNone;
}

void MarkupCanvas::PaintFirst(HDC target, const RECT& area) {
    // The first sight of a large capture goes straight to the screen in
    // bands: the shrunken copy and the back buffer, whose fresh memory
    // costs as much as the drawing, are made once it is up.
    const RECT crop = owner_.Document().Crop();
    const RECT shown = ToClient(crop);
    RECT visible{};
    ::IntersectRect(&visible, &shown, &area);
    // The margins beside the picture.
    HRGN margins = ::CreateRectRgnIndirect(&area);
    HRGN picture = ::CreateRectRgnIndirect(&visible);
    ::CombineRgn(margins, margins, picture, RGN_DIFF);
    ::FillRgn(target, margins, ::GetSysColorBrush(COLOR_APPWORKSPACE));
    ::DeleteObject(picture);
    ::DeleteObject(margins);
    if (::IsRectEmpty(&visible)) return;
    const SIZE size = ShrunkSize(crop, zoom_);
    constexpr int kBand = 128;
    std::vector<uint32_t> band(static_cast<size_t>(size.cx) * kBand);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    for (int top = visible.top - shown.top; top < visible.bottom - shown.top; top += kBand) {
        const int rows = std::min<int>(kBand, visible.bottom - shown.top - top);
        ShrinkOnAllCores(Source(), crop, zoom_, top, top + rows, band.data());
        info.bmiHeader.biHeight = -rows;
        ::SetDIBitsToDevice(target, visible.left, shown.top + top, static_cast<DWORD>(Width(visible)),
                            static_cast<DWORD>(rows), visible.left - shown.left, 0, 0, static_cast<UINT>(rows),
                            band.data(), &info, DIB_RGB_COLORS);
    }
    ::PostMessageW(hwnd(), kWarmUpMessage, 0, 0);
}

void MarkupCanvas::WarmUp() {
    // Made now, while the user looks, so that the first drag does not wait.
    if (zoom_ < 1 && !scaled_) RebuildScaled();
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    if (client.right > 0 && client.bottom > 0 && !back_) {
        platform::WindowDc screen(hwnd());
        void* bits = nullptr;
        back_.reset(platform::CreateTopDownDib32(screen.get(), client.right, client.bottom, &bits));
        backBits_ = bits;
        backSize_ = SIZE{client.right, client.bottom};
        if (bits) std::memset(bits, 0, static_cast<size_t>(client.right) * client.bottom * 4);
    }
}

void MarkupCanvas::PaintPicture(HDC dc, const RECT& area) {
    if (!sourceValid_) RebuildSource();
    if (!sourceValid_) return;
    const RECT crop = owner_.Document().Crop();
    const RECT shown = ToClient(crop);
    RECT visible{};
    if (!::IntersectRect(&visible, &shown, &area)) return;
    platform::MemoryDc source(dc);
    if (zoom_ < 1) {
        if (scaledZoom_ != zoom_ || !::EqualRect(&scaledCrop_, &crop) || !scaled_) RebuildScaled();
        if (!scaled_) return;
        platform::SelectedObject selected(source.get(), scaled_.get());
        ::BitBlt(dc, visible.left, visible.top, Width(visible), Height(visible), source.get(), visible.left - shown.left,
                 visible.top - shown.top, SRCCOPY);
        return;
    }
    if (!EnsureBase()) return;
    // At 100 % and above only the visible pixels are copied, each as a
    // square of the zoom's side.
    const int x0 = crop.left + static_cast<int>(std::floor((visible.left - shown.left) / zoom_));
    const int y0 = crop.top + static_cast<int>(std::floor((visible.top - shown.top) / zoom_));
    const int x1 = std::min<int>(crop.right, crop.left + static_cast<int>(std::ceil((visible.right - shown.left) / zoom_)));
    const int y1 = std::min<int>(crop.bottom, crop.top + static_cast<int>(std::ceil((visible.bottom - shown.top) / zoom_)));
    if (x1 <= x0 || y1 <= y0) return;
    const RECT part = ToClient(RECT{x0, y0, x1, y1});
    platform::SelectedObject selected(source.get(), base_.get());
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, part.left, part.top, Width(part), Height(part), source.get(), x0, y0, x1 - x0, y1 - y0, SRCCOPY);
}

Mark MarkupCanvas::TypingMark() const {
    Mark m = editIndex_ != MarkupDocument::kNone
                 ? editOriginal_
                 : Mark::MakeText(textAt_, L"", owner_.Colour(), owner_.WidthIndex(), DialogFace());
    m.text = text_ + composition_;
    return m;
}

Mark MarkupCanvas::SelectedAsShown() const {
    Mark m = owner_.Document().Marks()[selected_];
    if (moving_) m.Offset(dragTo_.x - dragFrom_.x, dragTo_.y - dragFrom_.y);
    return m;
}

RECT MarkupCanvas::DragBox() const {
    return RECT{std::min(dragFrom_.x, dragTo_.x), std::min(dragFrom_.y, dragTo_.y),
                std::max(dragFrom_.x, dragTo_.x), std::max(dragFrom_.y, dragTo_.y)};
}

void MarkupCanvas::PaintOverlays(Gdiplus::Graphics& g, const RECT& area) {
    const MarkupDocument& doc = owner_.Document();
    const RECT crop = doc.Crop();
    const RECT shown = ToClient(crop);
    const POINT origin = Origin();
    Gdiplus::Matrix toClient(static_cast<Gdiplus::REAL>(zoom_), 0, 0, static_cast<Gdiplus::REAL>(zoom_),
                             static_cast<Gdiplus::REAL>(origin.x - crop.left * zoom_),
                             static_cast<Gdiplus::REAL>(origin.y - crop.top * zoom_));

    // The marks as they will be drawn, with what is being edited or drawn
    // in its place.
    std::vector<Mark> marks = doc.Marks();
    if (typing_ && editIndex_ < marks.size()) marks.erase(marks.begin() + static_cast<std::ptrdiff_t>(editIndex_));
    if (moving_ && selected_ < marks.size()) marks[selected_] = SelectedAsShown();
    const MarkupTool tool = owner_.Tool();
    if (dragging_) {
        const RECT box = DragBox();
        switch (tool) {
            case MarkupTool::Rectangle: marks.push_back(Mark::MakeRectangle(box, owner_.Colour(), owner_.LineWidth())); break;
            case MarkupTool::Arrow: marks.push_back(Mark::MakeArrow(dragFrom_, dragTo_, owner_.Colour(), owner_.LineWidth())); break;
            case MarkupTool::Highlighter: marks.push_back(Mark::MakeHighlighter(box)); break;
            default: break;
        }
    }
    if (typing_) marks.push_back(TypingMark());

    Gdiplus::Rect clip(shown.left, shown.top, Width(shown), Height(shown));
    g.SetClip(clip);
    g.IntersectClip(Gdiplus::Rect(area.left, area.top, Width(area), Height(area)));
    DrawMarks(g, marks, &toClient, doc.Height());
    g.SetSmoothingMode(Gdiplus::SmoothingModeNone);

    const float unit = static_cast<float>(owner_.Dpi()) / 96.0f;
    Gdiplus::Pen dashed(Gdiplus::Color(255, 0, 120, 215), std::max(1.0f, unit));
    dashed.SetDashStyle(Gdiplus::DashStyleDash);
    // Frames are dashes over white, which read on any picture.
    Gdiplus::Pen under(Gdiplus::Color(255, 255, 255, 255), std::max(1.0f, unit));
    const auto frame = [&](const RECT& picture, Gdiplus::Pen& pen, int inflate) {
        RECT r = ToClient(picture);
        ::InflateRect(&r, inflate, inflate);
        g.DrawRectangle(&under, r.left, r.top, Width(r) - 1, Height(r) - 1);
        g.DrawRectangle(&pen, r.left, r.top, Width(r) - 1, Height(r) - 1);
    };
    if (dragging_ && (tool == MarkupTool::RedactBlack || tool == MarkupTool::RedactPixelate)) {
        // Applied to the pixels once the button is up; until then a veil.
        const RECT r = ToClient(DragBox());
        Gdiplus::HatchBrush veil(Gdiplus::HatchStyleWideUpwardDiagonal, Gdiplus::Color(200, 0, 0, 0),
                                 Gdiplus::Color(110, 0, 0, 0));
        g.FillRectangle(&veil, r.left, r.top, Width(r), Height(r));
        frame(DragBox(), dashed, 0);
    }
    const bool showCrop = cropPending_ || (dragging_ && tool == MarkupTool::Crop);
    if (showCrop) {
        // Outside the crop the picture is dimmed.
        const RECT inner = ToClient(dragging_ ? DragBox() : crop_);
        Gdiplus::Region outside(clip);
        outside.Exclude(Gdiplus::Rect(inner.left, inner.top, Width(inner), Height(inner)));
        Gdiplus::SolidBrush dim(Gdiplus::Color(140, 0, 0, 0));
        g.FillRegion(&dim, &outside);
        Gdiplus::Pen white(Gdiplus::Color(255, 255, 255, 255), std::max(1.0f, unit));
        g.DrawRectangle(&white, inner.left, inner.top, Width(inner) - 1, Height(inner) - 1);
        g.DrawRectangle(&dashed, inner.left, inner.top, Width(inner) - 1, Height(inner) - 1);
    }
    if (selected_ < doc.Marks().size() && !typing_) frame(doc.Bounds(SelectedAsShown()), dashed, static_cast<int>(3 * unit));
    if (typing_) {
        const Mark m = TypingMark();
        // The caret after the last line's last character.
        const size_t lastBreak = m.text.rfind(L'\n');
        const size_t lines = static_cast<size_t>(std::count(m.text.begin(), m.text.end(), L'\n'));
        Mark last = m;
        last.text = lastBreak == std::wstring::npos ? m.text : m.text.substr(lastBreak + 1);
        const int size = doc.TextPixelSize(m.textSize);
        const int lineHeight = static_cast<int>(std::lround(size * 1.17));
        LONG x = m.from.x;
        if (!last.text.empty()) {
            // Measured with a letter after it, so that trailing spaces move
            // the caret too.
            Mark probe = last;
            probe.text = L"I";
            const RECT letter = doc.Bounds(probe);
            probe.text = last.text + L"I";
            const RECT withLetter = doc.Bounds(probe);
            x = withLetter.right - (letter.right - letter.left);
        }
        const LONG top = m.from.y + static_cast<LONG>(lines) * lineHeight;
        const RECT caret = ToClient(RECT{x + 1, top, x + 2, top + lineHeight});
        if (caretOn_) {
            Gdiplus::SolidBrush ink(Gdiplus::Color(255, 0, 0, 0));
            const int w = std::max(2, static_cast<int>(2 * unit));
            g.FillRectangle(&ink, caret.left, caret.top, w, Height(caret));
            Gdiplus::SolidBrush light(Gdiplus::Color(255, 255, 255, 255));
            g.FillRectangle(&light, caret.left + w, caret.top, std::max(1, w / 2), Height(caret));
        }
        if (!m.text.empty()) frame(doc.Bounds(m), dashed, static_cast<int>(2 * unit));
    }
}

void MarkupCanvas::Paint(HDC target, const RECT& area) {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    RECT update{};
    if (!::IntersectRect(&update, &area, &client)) return;
    if (!sourceValid_) RebuildSource();
    if (zoom_ < 1 && !scaled_ && !back_ && sourceValid_ && NothingOverPicture()) {
        PaintFirst(target, update);
        return;
    }
    if (!back_ || backSize_.cx != client.right || backSize_.cy != client.bottom) {
        void* bits = nullptr;
        back_.reset(platform::CreateTopDownDib32(target, client.right, client.bottom, &bits));
        backBits_ = bits;
        backSize_ = SIZE{client.right, client.bottom};
    }
    if (!back_) return;
    // Only the area to update is drawn and copied, so that a drag repaints
    // little more than what it changes.
    platform::MemoryDc dc(target);
    platform::SelectedObject selected(dc.get(), back_.get());
    ::FillRect(dc.get(), &update, ::GetSysColorBrush(COLOR_APPWORKSPACE));
    PaintPicture(dc.get(), update);
    {
        // GDI+ draws straight into the buffer's pixels, which under Wine is
        // much faster than through its device context.
        ::GdiFlush();
        Gdiplus::Bitmap pixels(client.right, client.bottom, client.right * 4, PixelFormat32bppRGB,
                               static_cast<BYTE*>(backBits_));
        Gdiplus::Graphics g(&pixels);
        PaintOverlays(g, update);
    }
    ::BitBlt(target, update.left, update.top, Width(update), Height(update), dc.get(), update.left, update.top,
             SRCCOPY);
}

RECT MarkupCanvas::PreviewArea() const {
    const MarkupDocument& doc = owner_.Document();
    RECT picture{};
    if (dragging_) {
        if (owner_.Tool() == MarkupTool::Arrow)
            picture = doc.Bounds(Mark::MakeArrow(dragFrom_, dragTo_, owner_.Colour(), owner_.LineWidth()));
        else
            picture = DragBox();
        if (owner_.Tool() == MarkupTool::Crop) {
            // The dimmed outside and the handles change with it.
            RECT client{};
            ::GetClientRect(hwnd(), &client);
            return client;
        }
    } else if (moving_ && selected_ < doc.Marks().size()) {
        picture = doc.Bounds(SelectedAsShown());
    } else {
        return RECT{};
    }
    RECT r = ToClient(picture);
    // Room for the line's width, anti-aliasing and the selection frame.
    const int margin = static_cast<int>(std::ceil(owner_.LineWidth() * zoom_)) + ::MulDiv(8, owner_.Dpi(), 96);
    ::InflateRect(&r, margin, margin);
    return r;
}

void MarkupCanvas::BeginText(POINT at, size_t editIndex) {
    EndText(true);
    const MarkupDocument& doc = owner_.Document();
    typing_ = true;
    editIndex_ = editIndex < doc.Marks().size() ? editIndex : MarkupDocument::kNone;
    if (editIndex_ != MarkupDocument::kNone) {
        editOriginal_ = doc.Marks()[editIndex_];
        text_ = editOriginal_.text;
        textAt_ = editOriginal_.from;
    } else {
        text_.clear();
        textAt_ = at;
    }
    composition_.clear();
    caretOn_ = true;
    ::SetTimer(hwnd(), kCaretTimer, ::GetCaretBlinkTime() > 0 ? ::GetCaretBlinkTime() : 530, nullptr);
    PlaceImeWindow();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void MarkupCanvas::EndText(bool keep) {
    if (!typing_) return;
    typing_ = false;
    ::KillTimer(hwnd(), kCaretTimer);
    composition_.clear();
    const Mark mark = TypingMark();
    const size_t index = std::exchange(editIndex_, MarkupDocument::kNone);
    MarkupDocument& doc = owner_.Document();
    if (keep) {
        if (index != MarkupDocument::kNone) {
            if (mark.text.empty())
                doc.Remove(index);
            else if (mark.text != editOriginal_.text)
                doc.Replace(index, mark);
        } else if (!mark.text.empty()) {
            doc.Add(mark);
        }
    }
    text_.clear();
    owner_.OnDocumentChanged();
}

void MarkupCanvas::PlaceImeWindow() {
    HIMC context = ::ImmGetContext(hwnd());
    if (context == nullptr) return;
    const Mark m = TypingMark();
    const RECT at = ToClient(RECT{m.from.x, m.from.y, m.from.x + 1, m.from.y + 1});
    COMPOSITIONFORM form{};
    form.dwStyle = CFS_POINT;
    form.ptCurrentPos = POINT{at.left, at.top + static_cast<LONG>(owner_.Document().TextPixelSize(m.textSize) * zoom_ * 1.3)};
    ::ImmSetCompositionWindow(context, &form);
    ::ImmReleaseContext(hwnd(), context);
}

void MarkupCanvas::OnChar(wchar_t c) {
    if (!typing_) return;
    // Control characters (Enter, Backspace, Tab, Escape) come as keys.
    if (c < 0x20 || c == 0x7F) return;
    // UTF-16 surrogate pairs arrive as two characters and are kept as such.
    text_.push_back(c);
    caretOn_ = true;
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

bool MarkupCanvas::OnKey(WPARAM key) {
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0, shift = ::GetKeyState(VK_SHIFT) < 0;
    if (typing_) {
        if (ctrl) return false;
        switch (key) {
            case VK_RETURN:
                if (shift) {
                    text_.push_back(L'\n');
                    ::InvalidateRect(hwnd(), nullptr, FALSE);
                } else {
                    EndText(true);
                }
                return true;
            case VK_ESCAPE: EndText(false); return true;
            case VK_BACK:
                if (!text_.empty()) {
                    // A character outside the BMP goes as a whole.
                    const bool pair = text_.size() >= 2 && IS_LOW_SURROGATE(text_.back()) &&
                                      IS_HIGH_SURROGATE(text_[text_.size() - 2]);
                    text_.resize(text_.size() - (pair ? 2 : 1));
                    ::InvalidateRect(hwnd(), nullptr, FALSE);
                }
                return true;
            default: return true;  // characters come through WM_CHAR
        }
    }
    if (dragging_ || moving_) {
        if (key == VK_ESCAPE) CancelDrag();
        return true;
    }
    MarkupDocument& doc = owner_.Document();
    if (cropPending_ && (key == VK_RETURN || key == VK_ESCAPE) && !ctrl) {
        cropPending_ = false;
        if (key == VK_RETURN && doc.SetCrop(crop_)) {
            scrollX_ = scrollY_ = 0;
            owner_.OnDocumentChanged();
        }
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        return true;
    }
    if (selected_ < doc.Marks().size() && !ctrl) {
        const int step = shift ? 10 : 1;
        switch (key) {
            case VK_DELETE:
                doc.Remove(std::exchange(selected_, MarkupDocument::kNone));
                owner_.OnDocumentChanged();
                return true;
            case VK_LEFT: doc.Move(selected_, -step, 0); owner_.OnDocumentChanged(); return true;
            case VK_RIGHT: doc.Move(selected_, step, 0); owner_.OnDocumentChanged(); return true;
            case VK_UP: doc.Move(selected_, 0, -step); owner_.OnDocumentChanged(); return true;
            case VK_DOWN: doc.Move(selected_, 0, step); owner_.OnDocumentChanged(); return true;
            case VK_ESCAPE:
                selected_ = MarkupDocument::kNone;
                ::InvalidateRect(hwnd(), nullptr, FALSE);
                return true;
            default: break;
        }
    }
    return false;
}

void MarkupCanvas::OnButtonDown(POINT client, bool doubleClick) {
    ::SetFocus(hwnd());
    MarkupDocument& doc = owner_.Document();
    const POINT p = ToPicture(client);
    const RECT crop = doc.Crop();
    const bool inside = ::PtInRect(&crop, p) != FALSE;
    const MarkupTool tool = owner_.Tool();
    if (typing_) {
        const RECT box = doc.Bounds(TypingMark());
        if (::PtInRect(&box, p)) return;
        // A click elsewhere ends the text; it does not start another.
        EndText(true);
        return;
    }
    const int tolerance = std::max(2, static_cast<int>(std::lround(4 / zoom_)));
    switch (tool) {
        case MarkupTool::Select: {
            selected_ = doc.HitTest(p, tolerance);
            if (selected_ != MarkupDocument::kNone && doubleClick && doc.Marks()[selected_].kind == MarkKind::Text) {
                BeginText(p, selected_);
                return;
            }
            if (selected_ != MarkupDocument::kNone) {
                moving_ = true;
                dragFrom_ = dragTo_ = p;
                ::SetCapture(hwnd());
            }
            ::InvalidateRect(hwnd(), nullptr, FALSE);
            return;
        }
        case MarkupTool::Text: {
            if (!inside) return;
            const size_t hit = doc.HitTest(p, tolerance);
            BeginText(p, hit != MarkupDocument::kNone && doc.Marks()[hit].kind == MarkKind::Text ? hit
                                                                                                  : MarkupDocument::kNone);
            return;
        }
        case MarkupTool::Step:
            if (!inside) return;
            doc.Add(Mark::MakeStep(p, owner_.Colour(), owner_.LineWidth()));
            owner_.OnDocumentChanged();
            return;
        default: {
            // A drag may start beside the picture; it starts at its edge.
            const POINT start{std::clamp<LONG>(p.x, crop.left, crop.right - 1),
                              std::clamp<LONG>(p.y, crop.top, crop.bottom - 1)};
            if (tool == MarkupTool::Crop) cropPending_ = false;
            dragging_ = true;
            dragFrom_ = dragTo_ = start;
            ::SetCapture(hwnd());
            ::InvalidateRect(hwnd(), nullptr, FALSE);
            return;
        }
    }
}

void MarkupCanvas::OnMouseMove(POINT client) {
    if (!dragging_ && !moving_) return;
    POINT p = ToPicture(client);
    if (dragging_) {
        // A box ends at the picture's edge, the pixel under the pointer
        // included.
        const RECT crop = owner_.Document().Crop();
        p.x = std::clamp<LONG>(p.x + (p.x >= dragFrom_.x ? 1 : 0), crop.left, crop.right);
        p.y = std::clamp<LONG>(p.y + (p.y >= dragFrom_.y ? 1 : 0), crop.top, crop.bottom);
        if (owner_.Tool() == MarkupTool::Arrow) p = ToPicture(client);
    }
    if (p.x == dragTo_.x && p.y == dragTo_.y) return;
    const RECT before = PreviewArea();
    dragTo_ = p;
    const RECT after = PreviewArea();
    RECT changed{};
    ::UnionRect(&changed, &before, &after);
    ::InvalidateRect(hwnd(), &changed, FALSE);
}

void MarkupCanvas::OnButtonUp(POINT client) {
    if (!dragging_ && !moving_) return;
    OnMouseMove(client);
    const bool wasDragging = dragging_, wasMoving = moving_;
    dragging_ = moving_ = false;
    if (::GetCapture() == hwnd()) ::ReleaseCapture();
    MarkupDocument& doc = owner_.Document();
    if (wasMoving) {
        const int dx = dragTo_.x - dragFrom_.x, dy = dragTo_.y - dragFrom_.y;
        if ((dx != 0 || dy != 0) && doc.Move(selected_, dx, dy)) owner_.OnDocumentChanged();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        return;
    }
    if (!wasDragging) return;
    const RECT box = DragBox();
    const bool tiny = Width(box) < 2 && Height(box) < 2;
    const MarkupTool tool = owner_.Tool();
    if (tool == MarkupTool::Arrow) {
        const double length = std::hypot(dragTo_.x - dragFrom_.x, dragTo_.y - dragFrom_.y);
        if (length >= 3) doc.Add(Mark::MakeArrow(dragFrom_, dragTo_, owner_.Colour(), owner_.LineWidth()));
    } else if (!tiny && Width(box) > 0 && Height(box) > 0) {
        switch (tool) {
            case MarkupTool::Rectangle: doc.Add(Mark::MakeRectangle(box, owner_.Colour(), owner_.LineWidth())); break;
            case MarkupTool::Highlighter: doc.Add(Mark::MakeHighlighter(box)); break;
            case MarkupTool::RedactBlack: doc.Add(Mark::MakeRedactBlack(box)); break;
            case MarkupTool::RedactPixelate: doc.Add(Mark::MakeRedactPixelate(box)); break;
            case MarkupTool::Crop:
                crop_ = box;
                cropPending_ = true;
                break;
            default: break;
        }
    }
    owner_.OnDocumentChanged();
}

LRESULT MarkupCanvas::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd(), &ps);
            Paint(dc, ps.rcPaint);
            ::EndPaint(hwnd(), &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_SIZE:
            UpdateScrollBars();
            ::InvalidateRect(hwnd(), nullptr, FALSE);
            return 0;
        case WM_HSCROLL: OnScroll(SB_HORZ, wParam); return 0;
        case WM_VSCROLL: OnScroll(SB_VERT, wParam); return 0;
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL: {
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            const int notches = delta / WHEEL_DELTA != 0 ? delta / WHEEL_DELTA : (delta > 0 ? 1 : -1);
            if (message == WM_MOUSEWHEEL && (GET_KEYSTATE_WPARAM(wParam) & MK_CONTROL)) {
                POINT anchor{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                ::ScreenToClient(hwnd(), &anchor);
                SetZoom(zoom_ * std::pow(kZoomStep, notches), anchor);
                return 0;
            }
            const int line = ::MulDiv(40, owner_.Dpi(), 96) * 3;
            if (message == WM_MOUSEHWHEEL || (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT))
                ScrollTo(scrollX_ + (message == WM_MOUSEHWHEEL ? notches : -notches) * line, scrollY_);
            else
                ScrollTo(scrollX_, scrollY_ - notches * line);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            OnButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, message == WM_LBUTTONDBLCLK);
            return 0;
        case WM_MOUSEMOVE: OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
        case WM_LBUTTONUP: OnButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd() && (dragging_ || moving_)) {
                dragging_ = moving_ = false;
                ::InvalidateRect(hwnd(), nullptr, FALSE);
            }
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                POINT cursor{};
                ::GetCursorPos(&cursor);
                ::ScreenToClient(hwnd(), &cursor);
                const POINT p = ToPicture(cursor);
                const RECT crop = owner_.Document().Crop();
                LPCWSTR shape = IDC_ARROW;
                if (::PtInRect(&crop, p)) {
                    switch (owner_.Tool()) {
                        case MarkupTool::Select:
                            if (owner_.Document().HitTest(p, std::max(2, static_cast<int>(4 / zoom_))) !=
                                MarkupDocument::kNone)
                                shape = IDC_SIZEALL;
                            break;
                        case MarkupTool::Text: shape = IDC_IBEAM; break;
                        default: shape = IDC_CROSS; break;
                    }
                }
                ::SetCursor(::LoadCursorW(nullptr, shape));
                return TRUE;
            }
            break;
        case WM_TIMER:
            if (wParam == kCaretTimer) {
                caretOn_ = !caretOn_;
                ::InvalidateRect(hwnd(), nullptr, FALSE);
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (OnKey(wParam)) return 0;
            // The window's own keys: tools, colours, zoom, Done, Discard.
            ::SendMessageW(::GetParent(hwnd()), WM_KEYDOWN, wParam, lParam);
            return 0;
        case WM_CHAR: OnChar(static_cast<wchar_t>(wParam)); return 0;
        case WM_IME_STARTCOMPOSITION:
            PlaceImeWindow();
            break;
        case WM_IME_COMPOSITION:
            if (typing_ && (lParam & GCS_COMPSTR)) {
                // The text being composed shows in place until it is chosen.
                if (HIMC context = ::ImmGetContext(hwnd())) {
                    const LONG bytes = ::ImmGetCompositionStringW(context, GCS_COMPSTR, nullptr, 0);
                    std::wstring text(bytes > 0 ? static_cast<size_t>(bytes) / sizeof(wchar_t) : 0, L'\0');
                    if (bytes > 0) ::ImmGetCompositionStringW(context, GCS_COMPSTR, text.data(), static_cast<DWORD>(bytes));
                    composition_ = text;
                    ::ImmReleaseContext(hwnd(), context);
                    ::InvalidateRect(hwnd(), nullptr, FALSE);
                }
            }
            break;
        case WM_IME_ENDCOMPOSITION:
            composition_.clear();
            ::InvalidateRect(hwnd(), nullptr, FALSE);
            break;
        case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case kWarmUpMessage: WarmUp(); return 0;
        default: break;
    }
    return Default(message, wParam, lParam);
}
