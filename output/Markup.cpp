#include "output/Markup.h"

#include "output/GlyphOutline.h"
#include "platform/Gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

// GDI+ is used only in this file; its headers want min and max.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <gdiplus.h>

namespace {

int g_nextStep = 1;

RECT Normalised(RECT r) {
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

Gdiplus::Color ColourOf(COLORREF c, BYTE alpha = 255) {
    return Gdiplus::Color(alpha, GetRValue(c), GetGValue(c), GetBValue(c));
}

bool IsLight(COLORREF c) {
    return (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 100 >= 150;
}

int StepRadius(const Mark& m) { return std::max(10, m.width * 4); }

std::wstring FaceOf(const Mark& m) { return m.face.empty() ? L"Tahoma" : m.face; }

double SegmentDistance(POINT p, POINT a, POINT b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double cx = a.x + t * dx - p.x, cy = a.y + t * dy - p.y;
    return std::sqrt(cx * cx + cy * cy);
}

// The text of a mark as glyph outlines, its first line's top-left at `at`.
bool TextPath(Gdiplus::GraphicsPath& path, const Mark& m, const std::wstring& text, float pixels, Gdiplus::PointF at) {
    return AddTextOutline(path, text, FaceOf(m), pixels, at.X, at.Y);
}

float TextPixels(const Mark& m, long pictureHeight) {
    const float base = std::max(14.0f, pictureHeight / 40.0f);
    const float factor[] = {1.0f, 1.5f, 2.25f};
    return base * factor[std::clamp(m.textSize, 0, 2)];
}

void DrawOne(Gdiplus::Graphics& g, const Mark& m, long pictureHeight) {
    using namespace Gdiplus;
    switch (m.kind) {
        case MarkKind::Rectangle: {
            const RECT r = Normalised(m.box);
            Pen pen(ColourOf(m.colour), static_cast<REAL>(m.width));
            pen.SetLineJoin(LineJoinMiter);
            // The border lies inside the box, so its outer edge is the box's.
            const REAL inset = m.width / 2.0f;
            g.DrawRectangle(&pen, r.left + inset, r.top + inset,
                            std::max<REAL>(0, r.right - r.left - 2 * inset),
                            std::max<REAL>(0, r.bottom - r.top - 2 * inset));
            break;
        }
        case MarkKind::Arrow: {
            const double dx = m.to.x - m.from.x, dy = m.to.y - m.from.y;
            const double len = std::sqrt(dx * dx + dy * dy);
            if (len < 1) break;
            const double ux = dx / len, uy = dy / len;
            const double head = std::max(10.0, m.width * 4.0);
            const double half = head * 0.6;
            const PointF tip(static_cast<REAL>(m.to.x), static_cast<REAL>(m.to.y));
            const PointF base(static_cast<REAL>(m.to.x - ux * head), static_cast<REAL>(m.to.y - uy * head));
            Pen pen(ColourOf(m.colour), static_cast<REAL>(m.width));
            pen.SetStartCap(LineCapRound);
            g.DrawLine(&pen, PointF(static_cast<REAL>(m.from.x), static_cast<REAL>(m.from.y)), base);
            PointF tri[3] = {tip, PointF(static_cast<REAL>(base.X - uy * half), static_cast<REAL>(base.Y + ux * half)),
                             PointF(static_cast<REAL>(base.X + uy * half), static_cast<REAL>(base.Y - ux * half))};
            SolidBrush brush(ColourOf(m.colour));
            g.FillPolygon(&brush, tri, 3);
            break;
        }
        case MarkKind::Highlighter: {
            const RECT r = Normalised(m.box);
            SolidBrush brush(Color(102, 255, 235, 0));
            g.FillRectangle(&brush, static_cast<REAL>(r.left), static_cast<REAL>(r.top),
                            static_cast<REAL>(r.right - r.left), static_cast<REAL>(r.bottom - r.top));
            break;
        }
        case MarkKind::Text: {
            if (m.text.empty()) break;
            GraphicsPath path;
            const float pixels = TextPixels(m, pictureHeight);
            if (!TextPath(path, m, m.text, pixels, PointF(static_cast<REAL>(m.from.x), static_cast<REAL>(m.from.y))))
                break;
            Pen outline(IsLight(m.colour) ? Color(255, 0, 0, 0) : Color(255, 255, 255, 255),
                        std::max(2.0f, pixels / 8.0f));
            outline.SetLineJoin(LineJoinRound);
            g.DrawPath(&outline, &path);
            SolidBrush fill(ColourOf(m.colour));
            g.FillPath(&fill, &path);
            break;
        }
        case MarkKind::Step: {
            const int r = StepRadius(m);
            SolidBrush brush(ColourOf(m.colour));
            g.FillEllipse(&brush, static_cast<REAL>(m.from.x - r), static_cast<REAL>(m.from.y - r),
                          static_cast<REAL>(2 * r), static_cast<REAL>(2 * r));
            const std::wstring number = std::to_wstring(m.number);
            GraphicsPath path;
            const REAL pixels = static_cast<REAL>(number.size() > 1 ? r * 1.1 : r * 1.4);
            if (!TextPath(path, m, number, pixels, PointF(0, 0))) break;
            // Centred on the glyphs' own box, which the line's box (with
            // room for ascenders and descenders) is not.
            RectF glyphs;
            path.GetBounds(&glyphs);
            Matrix shift;
            shift.Translate(m.from.x - (glyphs.X + glyphs.Width / 2), m.from.y - (glyphs.Y + glyphs.Height / 2));
            path.Transform(&shift);
            SolidBrush ink(IsLight(m.colour) ? Color(255, 0, 0, 0) : Color(255, 255, 255, 255));
            g.FillPath(&ink, &path);
            break;
        }
        case MarkKind::RedactBlack:
        case MarkKind::RedactPixelate:
            break;
    }
}

}  // namespace

Mark Mark::MakeRectangle(RECT box, COLORREF colour, int width) {
    Mark m;
    m.kind = MarkKind::Rectangle;
    m.box = Normalised(box);
    m.colour = colour;
    m.width = std::max(1, width);
    return m;
}
Mark Mark::MakeArrow(POINT from, POINT to, COLORREF colour, int width) {
    Mark m;
    m.kind = MarkKind::Arrow;
    m.from = from;
    m.to = to;
    m.colour = colour;
    m.width = std::max(1, width);
    return m;
}
Mark Mark::MakeHighlighter(RECT box) {
    Mark m;
    m.kind = MarkKind::Highlighter;
    m.box = Normalised(box);
    m.colour = RGB(255, 235, 0);
    return m;
}
Mark Mark::MakeText(POINT topLeft, std::wstring text, COLORREF colour, int textSize, std::wstring face) {
    Mark m;
    m.kind = MarkKind::Text;
    m.from = topLeft;
    m.text = std::move(text);
    m.colour = colour;
    m.textSize = std::clamp(textSize, 0, 2);
    m.face = std::move(face);
    return m;
}
Mark Mark::MakeStep(POINT centre, COLORREF colour, int width) {
    Mark m;
    m.kind = MarkKind::Step;
    m.from = centre;
    m.colour = colour;
    m.width = std::max(1, width);
    return m;
}
Mark Mark::MakeRedactBlack(RECT box) {
    Mark m;
    m.kind = MarkKind::RedactBlack;
    m.box = Normalised(box);
    return m;
}
Mark Mark::MakeRedactPixelate(RECT box) {
    Mark m;
    m.kind = MarkKind::RedactPixelate;
    m.box = Normalised(box);
    return m;
}

bool EnsureGdiplus() {
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        // Never shut down: GDI+ stays for the life of the process.
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

void CopyToTopDown32(const CCaptureImage& image, uint32_t* bits) {
    const long w = image.Width(), h = image.Height();
    for (long y = 0; y < h; ++y) {
        const uint8_t* src = image.Row(h - 1 - y);
        uint32_t* dst = bits + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (long x = 0; x < w; ++x, src += 3) dst[x] = src[0] | (src[1] << 8) | (src[2] << 16);
    }
}

int PixelateBlockSize(long regionHeight) {
    return static_cast<int>(std::max<long>(12, (regionHeight + 3) / 4));
}

MarkupDocument::MarkupDocument(const CCaptureImage& original) {
    if (original.IsEmpty() || original.Bpp() != 24) return;
    if (!original_.Create(original.Width(), original.Height(), 24, original.Format())) return;
    for (long y = 0; y < original.Height(); ++y) std::memcpy(original_.Row(y), original.Row(y), original.Stride());
    original_.SetXDPI(original.GetXDPI());
    original_.SetYDPI(original.GetYDPI());
}

MarkupDocument::MarkupDocument(CCaptureImage&& original) {
    if (original.IsEmpty() || original.Bpp() != 24 || original.Height() <= 0) return;
    original_ = std::move(original);
}

CCaptureImage MarkupDocument::TakeOriginal() {
    marks_.clear();
    hasCrop_ = false;
    undo_.clear();
    redo_.clear();
    return std::move(original_);
}

int MarkupDocument::NextStepNumber() { return g_nextStep; }
void MarkupDocument::SetNextStepNumber(int number) { g_nextStep = std::max(1, number); }

int MarkupDocument::TextPixelSize(int textSize) const {
    Mark m;
    m.textSize = textSize;
    return static_cast<int>(std::lround(TextPixels(m, Height())));
}

RECT MarkupDocument::Crop() const {
    if (hasCrop_) return crop_;
    return RECT{0, 0, Width(), Height()};
}

void MarkupDocument::Checkpoint() {
    undo_.push_back(Current());
    redo_.clear();
}

void MarkupDocument::Restore(State state) {
    marks_ = std::move(state.marks);
    hasCrop_ = state.hasCrop;
    crop_ = state.crop;
}

size_t MarkupDocument::Add(Mark mark) {
    Checkpoint();
    if (mark.kind == MarkKind::Step) mark.number = g_nextStep++;
    if (mark.kind != MarkKind::Arrow && mark.kind != MarkKind::Text && mark.kind != MarkKind::Step)
        mark.box = Normalised(mark.box);
    marks_.push_back(std::move(mark));
    return marks_.size() - 1;
}

bool MarkupDocument::Remove(size_t index) {
    if (index >= marks_.size()) return false;
    Checkpoint();
    marks_.erase(marks_.begin() + static_cast<ptrdiff_t>(index));
    return true;
}

bool MarkupDocument::Move(size_t index, int dx, int dy) {
    if (index >= marks_.size() || (dx == 0 && dy == 0)) return false;
    Checkpoint();
    marks_[index].Offset(dx, dy);
    return true;
}

void Mark::Offset(int dx, int dy) {
    OffsetRect(&box, dx, dy);
    from.x += dx;
    from.y += dy;
    to.x += dx;
    to.y += dy;
}

bool MarkupDocument::Replace(size_t index, Mark mark) {
    if (index >= marks_.size()) return false;
    Checkpoint();
    marks_[index] = std::move(mark);
    return true;
}

bool MarkupDocument::SetCrop(RECT crop) {
    crop = Normalised(crop);
    const RECT whole{0, 0, Width(), Height()};
    RECT clipped{};
    if (!IntersectRect(&clipped, &crop, &whole)) return false;
    Checkpoint();
    hasCrop_ = true;
    crop_ = clipped;
    return true;
}

bool MarkupDocument::ClearCrop() {
    if (!hasCrop_) return false;
    Checkpoint();
    hasCrop_ = false;
    crop_ = RECT{};
    return true;
}

namespace {

int HighestStep(const std::vector<Mark>& marks) {
    int highest = 0;
    for (const Mark& m : marks)
        if (m.kind == MarkKind::Step) highest = std::max(highest, m.number);
    return highest;
}

// After an undo or redo the next step number follows the steps: an undone
// newest step gives its number back, a redone one takes it again. A number
// the user set with the wheel stays.
void FollowSteps(int before, int after) {
    if (after >= g_nextStep)
        g_nextStep = after + 1;
    else if (before > after && before == g_nextStep - 1)
        g_nextStep = std::max(after + 1, before);
}

}  // namespace

bool MarkupDocument::Undo() {
    if (undo_.empty()) return false;
    const int before = HighestStep(marks_);
    redo_.push_back(Current());
    Restore(std::move(undo_.back()));
    undo_.pop_back();
    FollowSteps(before, HighestStep(marks_));
    return true;
}

bool MarkupDocument::Redo() {
    if (redo_.empty()) return false;
    const int before = HighestStep(marks_);
    undo_.push_back(Current());
    Restore(std::move(redo_.back()));
    redo_.pop_back();
    FollowSteps(before, HighestStep(marks_));
    return true;
}

RECT MarkupDocument::Bounds(const Mark& m) const {
    switch (m.kind) {
        case MarkKind::Arrow: {
            RECT r{std::min(m.from.x, m.to.x), std::min(m.from.y, m.to.y), std::max(m.from.x, m.to.x) + 1,
                   std::max(m.from.y, m.to.y) + 1};
            InflateRect(&r, std::max(10, m.width * 4), std::max(10, m.width * 4));
            return r;
        }
        case MarkKind::Step: {
            const int r = StepRadius(m);
            return RECT{m.from.x - r, m.from.y - r, m.from.x + r, m.from.y + r};
        }
        case MarkKind::Text: {
            const float pixels = TextPixels(m, Height());
            RECT r{m.from.x, m.from.y, m.from.x + static_cast<LONG>(pixels), m.from.y + static_cast<LONG>(pixels)};
            if (!EnsureGdiplus() || m.text.empty()) return r;
            Gdiplus::GraphicsPath path;
            if (!TextPath(path, m, m.text, pixels,
                          Gdiplus::PointF(static_cast<Gdiplus::REAL>(m.from.x), static_cast<Gdiplus::REAL>(m.from.y))))
                return r;
            Gdiplus::RectF b;
            if (path.GetBounds(&b) != Gdiplus::Ok || b.Width <= 0) return r;
            const LONG pad = static_cast<LONG>(std::ceil(std::max(2.0f, pixels / 8.0f)));
            return RECT{static_cast<LONG>(std::floor(b.X)) - pad, static_cast<LONG>(std::floor(b.Y)) - pad,
                        static_cast<LONG>(std::ceil(b.X + b.Width)) + pad,
                        static_cast<LONG>(std::ceil(b.Y + b.Height)) + pad};
        }
        default:
            return Normalised(m.box);
    }
}

size_t MarkupDocument::HitTest(POINT p, int tolerance) const {
    for (size_t i = marks_.size(); i-- > 0;) {
        const Mark& m = marks_[i];
        const double reach = tolerance + m.width / 2.0;
        switch (m.kind) {
            case MarkKind::Rectangle: {
                const RECT r = m.box;
                const POINT tl{r.left, r.top}, tr{r.right - 1, r.top}, bl{r.left, r.bottom - 1},
                    br{r.right - 1, r.bottom - 1};
                const double d = std::min({SegmentDistance(p, tl, tr), SegmentDistance(p, tr, br),
                                           SegmentDistance(p, br, bl), SegmentDistance(p, bl, tl)});
                if (d <= tolerance + m.width) return i;
                break;
            }
            case MarkKind::Arrow:
                if (SegmentDistance(p, m.from, m.to) <= reach + m.width) return i;
                break;
            case MarkKind::Step: {
                const double dx = p.x - m.from.x, dy = p.y - m.from.y;
                if (std::sqrt(dx * dx + dy * dy) <= StepRadius(m) + tolerance) return i;
                break;
            }
            default: {
                RECT r = Bounds(m);
                InflateRect(&r, tolerance, tolerance);
                if (PtInRect(&r, p)) return i;
                break;
            }
        }
    }
    return kNone;
}

void ApplyRedaction(CCaptureImage& image, const Mark& mark, POINT origin) {
    if (image.IsEmpty() || image.Bpp() != 24 || !mark.IsRedaction()) return;
    const long w = image.Width(), h = image.Height();
    const RECT region = Normalised(mark.box);
    // In image coordinates, clipped to the image.
    const long left = std::max<long>(0, region.left - origin.x), top = std::max<long>(0, region.top - origin.y);
    const long right = std::min<long>(w, region.right - origin.x), bottom = std::min<long>(h, region.bottom - origin.y);
    if (left >= right || top >= bottom) return;
    auto pixel = [&](long x, long y) { return image.Row(h - 1 - y) + x * 3; };
    if (mark.kind == MarkKind::RedactBlack) {
        for (long y = top; y < bottom; ++y) std::memset(pixel(left, y), 0, static_cast<size_t>(right - left) * 3);
        return;
    }
    const long block = PixelateBlockSize(region.bottom - region.top);
    // Blocks are aligned to the region's own top-left, also when part of it
    // lies outside the image.
    const long startX = region.left - origin.x, startY = region.top - origin.y;
    for (long by = startY; by < bottom; by += block) {
        const long y0 = std::max(by, top), y1 = std::min(by + block, bottom);
        if (y0 >= y1) continue;
        for (long bx = startX; bx < right; bx += block) {
            const long x0 = std::max(bx, left), x1 = std::min(bx + block, right);
            if (x0 >= x1) continue;
            unsigned long long sum[3] = {0, 0, 0};
            for (long y = y0; y < y1; ++y)
                for (long x = x0; x < x1; ++x) {
                    const uint8_t* p = pixel(x, y);
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            const unsigned long long n = static_cast<unsigned long long>(y1 - y0) * (x1 - x0);
            const uint8_t avg[3] = {static_cast<uint8_t>((sum[0] + n / 2) / n), static_cast<uint8_t>((sum[1] + n / 2) / n),
                                    static_cast<uint8_t>((sum[2] + n / 2) / n)};
            for (long y = y0; y < y1; ++y)
                for (long x = x0; x < x1; ++x) std::memcpy(pixel(x, y), avg, 3);
        }
    }
}

void DrawMarks(Gdiplus::Graphics& graphics, const std::vector<Mark>& marks, const Gdiplus::Matrix* transform,
               long pictureHeight) {
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    if (transform) graphics.SetTransform(transform);
    for (const Mark& m : marks)
        if (!m.IsRedaction()) DrawOne(graphics, m, pictureHeight);
    graphics.ResetTransform();
}

CCaptureImage MarkupDocument::Flatten() const {
    CCaptureImage result;
    try {
        if (!IsValid()) return result;
        const RECT crop = Crop();
        const long w = crop.right - crop.left, h = crop.bottom - crop.top;
        if (w <= 0 || h <= 0 || !result.Create(w, h, 24, original_.Format())) return CCaptureImage();
        result.SetXDPI(original_.GetXDPI());
        result.SetYDPI(original_.GetYDPI());
        const long H = original_.Height();
        for (long y = 0; y < h; ++y)
            std::memcpy(result.Row(h - 1 - y), original_.Row(H - 1 - (crop.top + y)) + crop.left * 3,
                        static_cast<size_t>(w) * 3);
        // Redactions first, on the pixels, so nothing drawn later can
        // bring back what they hide.
        const POINT origin{crop.left, crop.top};
        bool drawn = false;
        for (const Mark& m : marks_) {
            if (m.IsRedaction())
                ApplyRedaction(result, m, origin);
            else
                drawn = true;
        }
        if (!drawn) return result;
        if (!EnsureGdiplus()) return CCaptureImage();

        // The other marks on a 32-bit top-down copy.
        void* bits = nullptr;
        const platform::UniqueHbitmap section(platform::CreateTopDownDib32(nullptr, w, h, &bits));
        if (!section || !bits) return CCaptureImage();
        auto* px = static_cast<uint8_t*>(bits);
        CopyToTopDown32(result, static_cast<uint32_t*>(bits));
        bool ok = false;
        {
            Gdiplus::Bitmap bitmap(w, h, w * 4, PixelFormat32bppRGB, px);
            if (bitmap.GetLastStatus() == Gdiplus::Ok) {
                Gdiplus::Graphics graphics(&bitmap);
                if (graphics.GetLastStatus() == Gdiplus::Ok) {
                    Gdiplus::Matrix shift(1, 0, 0, 1, static_cast<Gdiplus::REAL>(-crop.left),
                                          static_cast<Gdiplus::REAL>(-crop.top));
                    DrawMarks(graphics, marks_, &shift, H);
                    graphics.Flush(Gdiplus::FlushIntentionSync);
                    ok = true;
                }
            }
        }
        if (ok)
            for (long y = 0; y < h; ++y) {
                uint8_t* dst = result.Row(h - 1 - y);
                const uint8_t* src = px + static_cast<size_t>(y) * w * 4;
                for (long x = 0; x < w; ++x) {
                    dst[x * 3] = src[x * 4];
                    dst[x * 3 + 1] = src[x * 4 + 1];
                    dst[x * 3 + 2] = src[x * 4 + 2];
                }
            }
        if (!ok) return CCaptureImage();
        return result;
    } catch (...) {
        return CCaptureImage();
    }
}
