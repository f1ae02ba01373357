// The markup document: marks flattened onto a picture, redactions that leave
// none of the hidden pixels, crop, undo and redo, hit testing and moving.
#include "output/Markup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <gdiplus.h>

namespace {

constexpr long kW = 240, kH = 180;

// A gradient with fine vertical stripes, like text: no two neighbouring
// columns are alike.
CCaptureImage TestPicture() {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(kW, kH, 24, kImageBmp));
    for (long y = 0; y < kH; ++y)
        for (long x = 0; x < kW; ++x) {
            uint8_t* p = image.Row(kH - 1 - y) + x * 3;
            p[0] = static_cast<uint8_t>(x);                        // blue
            p[1] = static_cast<uint8_t>(y);                        // green
            p[2] = static_cast<uint8_t>((x / 2) % 2 ? 200 : 40);  // red
        }
    return image;
}

// The colour at (x, y) counted from the top-left.
RGBQUAD At(const CCaptureImage& image, long x, long y) { return image.PixelColor(x, image.Height() - 1 - y); }

bool Is(const RGBQUAD& c, COLORREF colour) {
    return c.rgbRed == GetRValue(colour) && c.rgbGreen == GetGValue(colour) && c.rgbBlue == GetBValue(colour);
}
bool Near(const RGBQUAD& c, COLORREF colour, int tolerance = 40) {
    return std::abs(c.rgbRed - GetRValue(colour)) <= tolerance && std::abs(c.rgbGreen - GetGValue(colour)) <= tolerance &&
           std::abs(c.rgbBlue - GetBValue(colour)) <= tolerance;
}
bool Same(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}
bool SameBytes(const CCaptureImage& a, const CCaptureImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Bpp() != b.Bpp()) return false;
    for (long y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.Width()) * 3) != 0) return false;
    return true;
}
int CountNear(const CCaptureImage& image, RECT r, COLORREF colour, int tolerance = 40) {
    int n = 0;
    for (long y = r.top; y < r.bottom; ++y)
        for (long x = r.left; x < r.right; ++x) n += Near(At(image, x, y), colour, tolerance);
    return n;
}

constexpr COLORREF kRed = RGB(230, 20, 20);
constexpr COLORREF kBlue = RGB(20, 60, 230);

}  // namespace

TEST(MarkupFlatten, ShapesStepsHighlightAndTextLandWhereDrawn) {
    const CCaptureImage original = TestPicture();
    MarkupDocument doc(original);
    ASSERT_TRUE(doc.IsValid());
    EXPECT_FALSE(doc.HasMarks());
    doc.Add(Mark::MakeRectangle(RECT{20, 20, 80, 70}, kRed, 4));
    doc.Add(Mark::MakeArrow(POINT{100, 150}, POINT{200, 150}, kBlue, 3));
    MarkupDocument::SetNextStepNumber(7);
    const size_t step = doc.Add(Mark::MakeStep(POINT{150, 50}, kRed, 4));
    EXPECT_EQ(doc.Marks()[step].number, 7);
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 8);
    doc.Add(Mark::MakeHighlighter(RECT{100, 90, 140, 120}));
    const size_t text = doc.Add(Mark::MakeText(POINT{10, 100}, L"Hi\nAB", RGB(255, 255, 255), 1, L"Tahoma"));
    EXPECT_TRUE(doc.HasMarks());
    const CCaptureImage out = doc.Flatten();
    ASSERT_FALSE(out.IsEmpty());
    ASSERT_EQ(out.Width(), kW);
    ASSERT_EQ(out.Height(), kH);
    EXPECT_EQ(out.Bpp(), 24);

    // The rectangle: its 4-pixel border in the colour, inside and outside untouched.
    for (long x = 24; x < 76; x += 3) {
        EXPECT_TRUE(Is(At(out, x, 21), kRed)) << x;
        EXPECT_TRUE(Is(At(out, x, 68), kRed)) << x;
    }
    for (long y = 24; y < 66; y += 3) {
        EXPECT_TRUE(Is(At(out, 21, y), kRed)) << y;
        EXPECT_TRUE(Is(At(out, 78, y), kRed)) << y;
    }
    for (long y = 26; y < 64; ++y)
        for (long x = 26; x < 74; ++x) ASSERT_TRUE(Same(At(out, x, y), At(original, x, y))) << x << "," << y;
    EXPECT_TRUE(Same(At(out, 17, 45), At(original, 17, 45)));
    EXPECT_TRUE(Same(At(out, 83, 45), At(original, 83, 45)));

    // The arrow: the line, and near its end the head reaches well to both
    // sides of it, which the 3-pixel line alone does not.
    EXPECT_TRUE(Near(At(out, 140, 150), kBlue));
    EXPECT_TRUE(Near(At(out, 190, 146), kBlue));
    EXPECT_TRUE(Near(At(out, 190, 154), kBlue));
    EXPECT_FALSE(Near(At(out, 140, 146), kBlue));
    EXPECT_TRUE(Same(At(out, 140, 140), At(original, 140, 140)));

    // The step: the circle's colour around the centre, white digits inside.
    for (POINT p : {POINT{150, 36}, POINT{150, 64}, POINT{136, 50}, POINT{164, 50}})
        EXPECT_TRUE(Near(At(out, p.x, p.y), kRed, 10)) << p.x << "," << p.y;
    EXPECT_GT(CountNear(out, RECT{142, 42, 158, 58}, kRed, 10), 8);

    // The highlighter: tinted toward yellow, not yellow and not the original.
    int tinted = 0;
    for (long y = 92; y < 118; y += 2)
        for (long x = 102; x < 138; x += 2) {
            const RGBQUAD o = At(original, x, y), c = At(out, x, y);
            EXPECT_FALSE(Is(c, RGB(255, 235, 0))) << x << "," << y;
            EXPECT_FALSE(Same(c, o)) << x << "," << y;
            tinted += c.rgbGreen > o.rgbGreen && c.rgbBlue < o.rgbBlue;
        }
    EXPECT_EQ(tinted, 13 * 18);

    // The text: white glyph pixels inside its box and the dark outline around them.
    const RECT box = doc.Bounds(doc.Marks()[text]);
    EXPECT_GT(box.right - box.left, 10);
    EXPECT_GT(box.bottom - box.top, 20);
    const RECT below{box.left, box.bottom + 2, box.right, box.bottom + 10};
    EXPECT_EQ(CountNear(out, below, RGB(255, 255, 255), 20), 0);
}

TEST(MarkupFlatten, RedactionsHideTheOriginalEvenUnderOtherMarks) {
    const CCaptureImage original = TestPicture();
    MarkupDocument doc(original);
    const RECT black{10, 10, 70, 50}, pix{90, 20, 190, 120};  // 100 high: blocks of 25
    doc.Add(Mark::MakeRedactBlack(black));
    doc.Add(Mark::MakeRedactPixelate(pix));
    const CCaptureImage plain = doc.Flatten();
    ASSERT_FALSE(plain.IsEmpty());
    for (long y = black.top; y < black.bottom; ++y)
        for (long x = black.left; x < black.right; ++x) ASSERT_TRUE(Is(At(plain, x, y), RGB(0, 0, 0))) << x << "," << y;
    EXPECT_TRUE(Same(At(plain, 9, 30), At(original, 9, 30)));
    EXPECT_TRUE(Same(At(plain, 70, 30), At(original, 70, 30)));

    const int block = PixelateBlockSize(pix.bottom - pix.top);
    EXPECT_EQ(block, 25);
    EXPECT_EQ(PixelateBlockSize(20), 12);
    for (long by = pix.top; by < pix.bottom; by += block)
        for (long bx = pix.left; bx < pix.right; bx += block) {
            const RGBQUAD first = At(plain, bx, by);
            for (long y = by; y < std::min(by + block, pix.bottom); ++y)
                for (long x = bx; x < std::min(bx + block, pix.right); ++x) {
                    ASSERT_TRUE(Same(At(plain, x, y), first)) << "block " << bx << "," << by;
                    ASSERT_FALSE(Same(At(plain, x, y), At(original, x, y))) << x << "," << y;
                }
        }
    // Neighbouring blocks differ (the gradient), so they are blocks, not one fill.
    EXPECT_FALSE(Same(At(plain, pix.left, pix.top), At(plain, pix.left + block, pix.top + block)));

    // A highlighter and a rectangle over both areas bring none of the original back.
    doc.Add(Mark::MakeHighlighter(RECT{0, 0, 200, 130}));
    doc.Add(Mark::MakeRectangle(RECT{5, 5, 195, 125}, kRed, 3));
    const CCaptureImage marked = doc.Flatten();
    ASSERT_FALSE(marked.IsEmpty());
    for (const RECT& r : {black, pix})
        for (long y = r.top; y < r.bottom; ++y)
            for (long x = r.left; x < r.right; ++x) {
                ASSERT_FALSE(Same(At(marked, x, y), At(original, x, y))) << x << "," << y;
                ASSERT_FALSE(Same(At(marked, x, y), At(plain, x, y))) << x << "," << y;  // the tint is there
            }
}

TEST(MarkupDocumentEditing, CropUndoRedoHitTestAndMove) {
    const CCaptureImage original = TestPicture();
    MarkupDocument doc(original);
    EXPECT_FALSE(doc.CanUndo());
    const CCaptureImage untouched = doc.Flatten();
    EXPECT_TRUE(SameBytes(untouched, original));

    const size_t rect = doc.Add(Mark::MakeRectangle(RECT{30, 30, 90, 80}, kRed, 2));
    doc.Add(Mark::MakeRedactBlack(RECT{150, 100, 170, 120}));
    ASSERT_TRUE(doc.SetCrop(RECT{20, 25, 200, 150}));
    const CCaptureImage cropped = doc.Flatten();
    ASSERT_EQ(cropped.Width(), 180);
    ASSERT_EQ(cropped.Height(), 125);
    EXPECT_TRUE(Same(At(cropped, 0, 0), At(original, 20, 25)));
    EXPECT_TRUE(Same(At(cropped, 179, 124), At(original, 199, 149)));
    EXPECT_TRUE(Same(At(cropped, 40, 30), At(original, 60, 55)));
    EXPECT_TRUE(Is(At(cropped, 10, 5), kRed));          // the rectangle's top-left at (30, 30)
    EXPECT_TRUE(Is(At(cropped, 135, 80), RGB(0, 0, 0)));  // the redaction at (155, 105)
    EXPECT_FALSE(doc.SetCrop(RECT{300, 300, 400, 400}));

    // Hit testing finds the border and not the inside; moving moves the pixels.
    EXPECT_EQ(doc.HitTest(POINT{31, 55}, 2), rect);
    EXPECT_EQ(doc.HitTest(POINT{60, 55}, 2), MarkupDocument::kNone);
    EXPECT_EQ(doc.HitTest(POINT{160, 110}, 0), 1u);
    ASSERT_TRUE(doc.Move(rect, 10, 5));
    const CCaptureImage moved = doc.Flatten();
    EXPECT_TRUE(Is(At(moved, 20, 10), kRed));  // (40, 35)
    EXPECT_TRUE(Same(At(moved, 10, 30), At(original, 30, 55)));
    EXPECT_EQ(doc.HitTest(POINT{41, 60}, 2), rect);

    // Undo every step back to the byte-exact original, then redo them all.
    int steps = 0;
    while (doc.Undo()) ++steps;
    EXPECT_EQ(steps, 4);
    EXPECT_FALSE(doc.HasMarks());
    EXPECT_TRUE(SameBytes(doc.Flatten(), original));
    while (doc.Redo()) --steps;
    EXPECT_EQ(steps, 0);
    EXPECT_TRUE(SameBytes(doc.Flatten(), moved));

    // A new step after an undo drops what could have been redone.
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.CanRedo());
    ASSERT_TRUE(doc.Remove(rect));
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_EQ(doc.Marks().size(), 1u);
    ASSERT_TRUE(doc.Replace(0, Mark::MakeRedactBlack(RECT{0, 0, 5, 5})));
    ASSERT_TRUE(doc.ClearCrop());
    EXPECT_EQ(doc.Flatten().Width(), kW);
    EXPECT_FALSE(doc.Remove(5));

    // A picture that is not 24-bit gives an empty document and result.
    CCaptureImage grey;
    ASSERT_TRUE(grey.Create(10, 10, 8, kImageBmp));
    MarkupDocument bad(grey);
    EXPECT_FALSE(bad.IsValid());
    EXPECT_TRUE(bad.Flatten().IsEmpty());
}

// Text and step numbers are glyph outlines: the fill inside the text's box
// with the contrasting outline around it, nothing outside the box, every
// line below the one before, and a step's number in ink that stands out
// from its circle.
// The step numbers run on across the captures of one run; an undone newest
// step gives its number back and a redone one takes it again, while a number
// set with the wheel stays.
TEST(MarkupDocumentEditing, UndoneStepsGiveTheirNumbersBack) {
    MarkupDocument::SetNextStepNumber(4);  // an earlier capture used 1 to 3
    MarkupDocument doc(TestPicture());
    doc.Add(Mark::MakeStep(POINT{40, 40}, kRed, 3));
    doc.Add(Mark::MakeStep(POINT{80, 40}, kRed, 3));
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 6);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 5);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 4) << "not back to 1: the earlier capture's steps stay counted";
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 5);
    EXPECT_EQ(doc.Add(Mark::MakeStep(POINT{120, 40}, kRed, 3)), 1u);
    EXPECT_EQ(doc.Marks()[1].number, 5) << "the redone list is dropped, the number is free again";
    // Removing and restoring a step leaves the counter; so does undo after
    // the user set the next number.
    ASSERT_TRUE(doc.Remove(0));
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 6);
    MarkupDocument::SetNextStepNumber(20);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(MarkupDocument::NextStepNumber(), 20);
}

TEST(MarkupFlatten, TextAndStepNumbersAreDrawnWithOutline) {
    const CCaptureImage original = TestPicture();
    constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0), kYellow = RGB(255, 235, 0);
    MarkupDocument doc(original);
    MarkupDocument::SetNextStepNumber(3);
    const size_t dark = doc.Add(Mark::MakeStep(POINT{150, 50}, kRed, 4));
    const size_t light = doc.Add(Mark::MakeStep(POINT{200, 50}, kYellow, 4));
    const size_t text = doc.Add(Mark::MakeText(POINT{10, 100}, L"Hi\nAB", kWhite, 1, L"Tahoma"));
    const size_t blue = doc.Add(Mark::MakeText(POINT{120, 110}, L"X", kBlue, 1, L"No Such Face"));
    const CCaptureImage out = doc.Flatten();
    ASSERT_FALSE(out.IsEmpty());

    // Bounds covers both lines, and the lines lie one below the other.
    const RECT box = doc.Bounds(doc.Marks()[text]);
    const int pixels = doc.TextPixelSize(1);
    EXPECT_GT(box.right - box.left, pixels);
    EXPECT_GT(box.bottom - box.top, pixels * 3 / 2);
    EXPECT_LT(box.bottom - box.top, pixels * 4);
    EXPECT_GE(box.left, 10 - pixels / 4);
    EXPECT_GE(box.top, 100 - pixels / 4);
    MarkupDocument oneLine(original);
    const RECT first = oneLine.Bounds(Mark::MakeText(POINT{10, 100}, L"Hi", kWhite, 1, L"Tahoma"));
    EXPECT_EQ(first.top, box.top);
    EXPECT_LT(first.bottom, box.bottom - pixels / 2);
    const RECT firstLine{box.left, box.top, box.right, first.bottom};
    const RECT secondLine{box.left, first.bottom, box.right, box.bottom};
    EXPECT_GT(CountNear(out, firstLine, kWhite, 20), 20);
    EXPECT_GT(CountNear(out, secondLine, kWhite, 20), 20);

    // Light text has a black outline: each row's first fill pixel has
    // outline pixels just left of it.
    EXPECT_GT(CountNear(out, box, kBlack, 20), 20);
    int rows = 0;
    for (long y = box.top; y < box.bottom; ++y)
        for (long x = box.left; x < box.right; ++x)
            if (Near(At(out, x, y), kWhite, 20)) {
                ++rows;
                EXPECT_GT(CountNear(out, RECT{std::max(box.left, x - 4), y, x, y + 1}, kBlack, 60), 0) << x << "," << y;
                break;
            }
    EXPECT_GT(rows, pixels);

    // Dark text (in the fallback face) has a white one.
    const RECT blueBox = doc.Bounds(doc.Marks()[blue]);
    EXPECT_GT(blueBox.right - blueBox.left, pixels / 3);
    EXPECT_GT(CountNear(out, blueBox, kBlue, 20), 20);
    EXPECT_GT(CountNear(out, blueBox, kWhite, 20), 20);

    // Nothing is drawn outside the marks' boxes.
    const RECT boxes[] = {box, blueBox, doc.Bounds(doc.Marks()[dark]), doc.Bounds(doc.Marks()[light])};
    for (long y = 0; y < kH; ++y)
        for (long x = 0; x < kW; ++x) {
            bool inside = false;
            for (const RECT& r : boxes) inside |= x >= r.left - 1 && x <= r.right && y >= r.top - 1 && y <= r.bottom;
            if (!inside) {
                ASSERT_TRUE(Same(At(out, x, y), At(original, x, y))) << x << "," << y;
            }
        }

    // The step numbers: white ink in the red circle, black in the yellow one,
    // near the centre and inside the circle.
    for (const auto& [index, ink] : {std::pair{dark, kWhite}, std::pair{light, kBlack}}) {
        const Mark& step = doc.Marks()[index];
        const RECT circle = doc.Bounds(step);
        long inked = 0, sumX = 0, sumY = 0;
        for (long y = circle.top; y < circle.bottom; ++y)
            for (long x = circle.left; x < circle.right; ++x)
                if (Near(At(out, x, y), ink, 30)) {
                    ++inked;
                    sumX += x;
                    sumY += y;
                    const long dx = x - step.from.x, dy = y - step.from.y;
                    EXPECT_LT(dx * dx + dy * dy, 16 * 16) << x << "," << y;
                }
        ASSERT_GT(inked, 15) << step.number;
        EXPECT_NEAR(static_cast<double>(sumX) / inked, step.from.x, 3.0) << step.number;
        EXPECT_NEAR(static_cast<double>(sumY) / inked, step.from.y, 3.0) << step.number;
    }

    // The same pixels come out of a cropped picture, shifted by the crop.
    ASSERT_TRUE(doc.SetCrop(RECT{5, 30, 235, 170}));
    const CCaptureImage cropped = doc.Flatten();
    ASSERT_EQ(cropped.Width(), 230);
    for (long y = 30; y < 170; ++y)
        for (long x = 5; x < 235; ++x) ASSERT_TRUE(Same(At(cropped, x - 5, y - 30), At(out, x, y))) << x << "," << y;
}

// A character outside the basic plane (a surrogate pair) is one glyph, one
// that the face lacks comes from a face that has it, and broken or empty
// text fails nothing.
TEST(MarkupFlatten, TextBeyondTheBasicPlaneFallbackAndBrokenText) {
    const CCaptureImage original = TestPicture();
    MarkupDocument doc(original);
    const int pixels = doc.TextPixelSize(2);
    const size_t pair = doc.Add(Mark::MakeText(POINT{20, 20}, L"\U0001D5D4", RGB(255, 255, 255), 2, L""));
    const RECT box = doc.Bounds(doc.Marks()[pair]);
    EXPECT_GT(box.right - box.left, pixels / 3);
    EXPECT_LT(box.right - box.left, pixels * 5 / 4);
    doc.Add(Mark::MakeText(POINT{120, 20}, std::wstring(1, L'\xD835'), RGB(255, 255, 255), 2, L""));
    doc.Add(Mark::MakeText(POINT{120, 90}, L"", RGB(255, 255, 255), 2, L""));
    doc.Add(Mark::MakeText(POINT{120, 120}, L"\n\n", RGB(255, 255, 255), 2, L""));
    const CCaptureImage out = doc.Flatten();
    ASSERT_FALSE(out.IsEmpty());
    EXPECT_GT(CountNear(out, box, RGB(255, 255, 255), 20), 30);
    EXPECT_GT(CountNear(out, box, RGB(0, 0, 0), 20), 20);
    EXPECT_EQ(CountNear(out, RECT{110, 80, kW, kH}, RGB(255, 255, 255), 20), 0);

    // The prefix's fonts are DejaVu's: its Sans Mono has no U+1D5D4, its Sans
    // (the system's sans serif there) has, so the glyph is the same in both.
    MarkupDocument mono(original), sans(original);
    mono.Add(Mark::MakeText(POINT{20, 60}, L"\U0001D5D4", RGB(255, 255, 255), 2, L"DejaVu Sans Mono"));
    sans.Add(Mark::MakeText(POINT{20, 60}, L"\U0001D5D4", RGB(255, 255, 255), 2, L"DejaVu Sans"));
    const CCaptureImage fromMono = mono.Flatten();
    EXPECT_GT(CountNear(fromMono, mono.Bounds(mono.Marks()[0]), RGB(255, 255, 255), 20), 30);
    EXPECT_TRUE(SameBytes(fromMono, sans.Flatten()));
    // The letters around it stay in the face: the I before it is the Sans
    // Mono I, pixel for pixel.
    MarkupDocument mixed(original), letter(original);
    mixed.Add(Mark::MakeText(POINT{20, 60}, L"I\U0001D5D4I", RGB(255, 255, 255), 2, L"DejaVu Sans Mono"));
    letter.Add(Mark::MakeText(POINT{20, 60}, L"I", RGB(255, 255, 255), 2, L"DejaVu Sans Mono"));
    const RECT i = letter.Bounds(letter.Marks()[0]);
    const CCaptureImage withI = letter.Flatten(), withAll = mixed.Flatten();
    EXPECT_GT(CountNear(withI, i, RGB(255, 255, 255), 20), 20);
    // (Its box less the outline's reach to the right, where the next glyph's
    // outline may begin.)
    for (long y = i.top; y < i.bottom; ++y)
        for (long x = i.left; x < i.right - 4; ++x) ASSERT_TRUE(Same(At(withAll, x, y), At(withI, x, y))) << x << "," << y;
    EXPECT_GT(i.right - i.left, 12) << i.left << ".." << i.right;
    EXPECT_GT(mixed.Bounds(mixed.Marks()[0]).right, i.right + pixels);
}

// A window paints the marks through a transform: at twice the size the text
// covers about four times the pixels, inside its box scaled by two.
TEST(MarkupFlatten, DrawMarksFollowsTheTransform) {
    const CCaptureImage original = TestPicture();
    MarkupDocument doc(original);
    const size_t text = doc.Add(Mark::MakeText(POINT{10, 40}, L"Hi\nAB", RGB(255, 255, 255), 1, L"Tahoma"));
    const RECT box = doc.Bounds(doc.Marks()[text]);
    const CCaptureImage flat = doc.Flatten();
    ASSERT_FALSE(flat.IsEmpty());
    const int once = CountNear(flat, box, RGB(255, 255, 255), 20);
    ASSERT_GT(once, 40);

    ASSERT_TRUE(EnsureGdiplus());
    constexpr int kScale = 2;
    const int w = kW * kScale, h = kH * kScale;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h, 0xFF808080u);
    {
        Gdiplus::Bitmap bitmap(w, h, w * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(pixels.data()));
        ASSERT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);
        Gdiplus::Graphics graphics(&bitmap);
        const Gdiplus::Matrix zoom(kScale, 0, 0, kScale, 0, 0);
        DrawMarks(graphics, doc.Marks(), &zoom, kH);
        graphics.Flush(Gdiplus::FlushIntentionSync);
    }
    int twice = 0, outside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * w + x];
            const bool white = (p & 0xFF) > 235 && ((p >> 8) & 0xFF) > 235 && ((p >> 16) & 0xFF) > 235;
            const bool drawn = (p & 0xFFFFFF) != 0x808080;
            const bool inside = x >= box.left * kScale - 1 && x <= box.right * kScale && y >= box.top * kScale - 1 &&
                                y <= box.bottom * kScale;
            twice += white && inside;
            outside += drawn && !inside;
        }
    EXPECT_GT(twice, once * 3);
    EXPECT_LT(twice, once * 5);
    EXPECT_EQ(outside, 0);
}
