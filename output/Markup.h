#pragma once
// The marks a user draws on a capture before it goes out (boxes, arrows,
// highlights, text, step numbers and redactions), their undo history and
// crop, and the flattening into the final picture. The original picture is
// never changed; marks stay editable objects until Flatten.
#include <windows.h>

#include "output/CaptureImage.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Gdiplus {
class Graphics;
class Matrix;
}  // namespace Gdiplus

enum class MarkKind : uint8_t {
    Rectangle,       // box outline in colour, width
    Arrow,           // from -> to in colour, width; the head is at `to`
    Highlighter,     // box, translucent yellow
    Text,            // from = top-left, text (lines split at L'\n'), colour, textSize, face
    Step,            // from = centre, number, colour, width sets the size
    RedactBlack,     // box, every pixel black
    RedactPixelate,  // box, coarse blocks of average colour
};

// One mark, in picture coordinates (0,0 = the picture's top-left pixel).
struct Mark {
    MarkKind kind = MarkKind::Rectangle;
    RECT box{};          // Rectangle, Highlighter, RedactBlack, RedactPixelate
    POINT from{};        // Arrow start, Text top-left, Step centre
    POINT to{};          // Arrow end
    COLORREF colour = RGB(255, 0, 0);
    int width = 3;       // line width in picture pixels
    std::wstring text;   // Text
    int textSize = 1;    // Text: 0 small, 1 medium, 2 large
    std::wstring face;   // Text and Step: the font face (empty = "Tahoma")
    int number = 0;      // Step

    static Mark MakeRectangle(RECT box, COLORREF colour, int width);
    static Mark MakeArrow(POINT from, POINT to, COLORREF colour, int width);
    static Mark MakeHighlighter(RECT box);
    static Mark MakeText(POINT topLeft, std::wstring text, COLORREF colour, int textSize, std::wstring face);
    static Mark MakeStep(POINT centre, COLORREF colour, int width);  // number set by Add
    static Mark MakeRedactBlack(RECT box);
    static Mark MakeRedactPixelate(RECT box);

    bool IsRedaction() const { return kind == MarkKind::RedactBlack || kind == MarkKind::RedactPixelate; }
    // Moves every point of the mark by (dx, dy).
    void Offset(int dx, int dy);
};

class MarkupDocument {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // Keeps a copy of a 24-bit picture; any other depth leaves the document
    // empty (IsValid false) and Flatten then gives an empty image.
    explicit MarkupDocument(const CCaptureImage& original);
    // Takes a 24-bit picture over without a copy; any other is left where
    // it is and the document stays empty.
    explicit MarkupDocument(CCaptureImage&& original);
    // Gives the original picture back (the document is empty afterwards).
    CCaptureImage TakeOriginal();

    bool IsValid() const { return !original_.IsEmpty(); }
    const CCaptureImage& Original() const { return original_; }
    long Width() const { return original_.Width(); }
    long Height() const { return original_.Height(); }

    const std::vector<Mark>& Marks() const { return marks_; }
    bool HasMarks() const { return !marks_.empty() || hasCrop_; }
    bool HasCrop() const { return hasCrop_; }
    // The crop rectangle, or the whole picture when there is none.
    RECT Crop() const;

    // Each editing step can be undone. Adding a Step mark gives it the next
    // step number. Returns the new mark's index.
    size_t Add(Mark mark);
    bool Remove(size_t index);
    bool Move(size_t index, int dx, int dy);
    bool Replace(size_t index, Mark mark);
    // Clipped to the picture; an empty result is refused.
    bool SetCrop(RECT crop);
    bool ClearCrop();

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    bool Undo();
    bool Redo();

    // The topmost mark under the point (picture coordinates) within the
    // tolerance: a rectangle's border, an arrow's line, a filled box, a
    // text's box, a step's circle. kNone when there is none.
    size_t HitTest(POINT point, int tolerance) const;
    // The box a mark covers in picture coordinates (text measured).
    RECT Bounds(const Mark& mark) const;

    // The crop (or the whole picture) as a new 24-bit picture: redactions
    // applied to the pixels first, every other mark drawn on top in order.
    // Empty on any failure.
    CCaptureImage Flatten() const;

    // The step numbering continues across the captures of one run.
    static int NextStepNumber();
    static void SetNextStepNumber(int number);

    // The text height in picture pixels of a size (0..2) on this picture.
    int TextPixelSize(int textSize) const;

private:
    struct State {
        std::vector<Mark> marks;
        bool hasCrop;
        RECT crop;
    };
    void Checkpoint();
    State Current() const { return State{marks_, hasCrop_, crop_}; }
    void Restore(State state);

    CCaptureImage original_;
    std::vector<Mark> marks_;
    bool hasCrop_ = false;
    RECT crop_{};
    std::vector<State> undo_, redo_;
};

// Starts GDI+ once for the process; false when it cannot start.
bool EnsureGdiplus();

// Draws the marks that are not redactions, in order, anti-aliased, through
// the transform from picture coordinates to the target (null = identity).
// The window paints with this as Flatten does. pictureHeight picks the text
// sizes.
void DrawMarks(Gdiplus::Graphics& graphics, const std::vector<Mark>& marks, const Gdiplus::Matrix* transform,
               long pictureHeight);

// Blacks out or pixelates a box (picture coordinates, `origin` = the picture
// position of the image's top-left pixel) of a 24-bit image in place.
void ApplyRedaction(CCaptureImage& image, const Mark& mark, POINT origin);

// Copies a bottom-up 24-bit picture into a top-down 32-bit one of its size
// (each pixel 0x00RRGGBB).
void CopyToTopDown32(const CCaptureImage& image, uint32_t* bits);

// The pixelation block size of a region that high: max(12, ceil(height / 4)).
int PixelateBlockSize(long regionHeight);
