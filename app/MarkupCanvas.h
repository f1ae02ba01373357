#pragma once
// The picture area of the markup window: shows the (cropped) picture at a
// zoom with scroll bars, the marks over it, and what the current tool is
// drawing; turns mouse and keyboard input into marks, text and crops.
#include "output/Markup.h"
#include "platform/Gdi.h"
#include "platform/Window.h"

#include <string>

class MarkupWindow;
enum class MarkupTool;
namespace Gdiplus {
class Graphics;
}  // namespace Gdiplus

class MarkupCanvas : public platform::Window {
public:
    explicit MarkupCanvas(MarkupWindow& owner);
    ~MarkupCanvas() override;

    bool Create(HWND parent);

    // Zoom: 1 is 100 %. Fit shows the whole (cropped) picture.
    void SetZoom(double zoom, POINT anchor);
    void ZoomBy(int steps);
    void ZoomToFit();
    // The zoom at which the whole picture fits this client size.
    double FitZoom(SIZE client) const;

    // Something of the document changed: redraw, and rebuild the redacted
    // picture when the redactions changed.
    void OnDocumentChanged();
    // The tool changed: text being typed ends, a crop not applied goes.
    void OnToolChanged();
    // Keys the canvas handles itself (text input, Enter on a crop, Delete and
    // the arrow keys on a selection, Escape of a drag); false for the
    // window's own keys.
    bool OnKey(WPARAM key);
    // The selected mark's index, or MarkupDocument::kNone.
    size_t Selected() const { return selected_; }
    bool HasPendingCrop() const { return cropPending_; }
    // Ends the text being typed: it becomes a mark (or goes when empty).
    void EndText(bool keep);

    // Picture coordinates of a client point (may lie outside the picture).
    POINT ToPicture(POINT client) const;
    // The client rectangle of a picture rectangle.
    RECT ToClient(const RECT& picture) const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC target, const RECT& area);
    void PaintPicture(HDC dc, const RECT& area);
    void PaintOverlays(Gdiplus::Graphics& g, const RECT& area);
    // The client area that what is being dragged covers now.
    RECT PreviewArea() const;
    // The picture as shown: the original, or a copy with the redactions.
    const CCaptureImage& Source() const;
    void RebuildSource();
    // The 32-bit copy that paints at 100 % and above, made when first needed.
    bool EnsureBase();
    void RebuildScaled();
    bool NothingOverPicture() const;
    // The first paint of a shrunken picture, straight to the window; the
    // copies later paints use are made right after it (WarmUp).
    void PaintFirst(HDC target, const RECT& area);
    void WarmUp();
    void UpdateScrollBars();
    void ScrollTo(int x, int y);
    void OnScroll(int bar, WPARAM wParam);
    void OnButtonDown(POINT client, bool doubleClick);
    void OnMouseMove(POINT client);
    void OnButtonUp(POINT client);
    void OnChar(wchar_t c);
    void BeginText(POINT at, size_t editIndex);
    void PlaceImeWindow();
    Mark TypingMark() const;
    RECT DragBox() const;
    // The selected mark where it shows: moved by a move in progress.
    Mark SelectedAsShown() const;
    SIZE ContentSize() const;
    POINT Origin() const;  // client position of the crop's top-left
    void CancelDrag();

    MarkupWindow& owner_;
    // The picture with every redaction applied (a copy only when there are
    // some), its 32-bit copy for 100 % and above, and its copy at the zoom
    // when below 100 %.
    CCaptureImage redacted_;
    bool sourceValid_ = false;
    platform::UniqueHbitmap base_;
    uint32_t* baseBits_ = nullptr;
    bool baseBuilt_ = false;
    platform::UniqueHbitmap scaled_;
    SIZE scaledSize_{};
    double scaledZoom_ = 0;
    RECT scaledCrop_{};
    std::vector<Mark> baseRedactions_;
    platform::UniqueHbitmap back_;
    void* backBits_ = nullptr;
    SIZE backSize_{};

    double zoom_ = 1.0;
    int scrollX_ = 0, scrollY_ = 0;

    // A drag in progress, in picture coordinates.
    bool dragging_ = false;
    POINT dragFrom_{}, dragTo_{};
    // The selected mark, and a move in progress.
    size_t selected_ = MarkupDocument::kNone;
    bool moving_ = false;
    // A crop drawn but not applied.
    bool cropPending_ = false;
    RECT crop_{};
    // The text being typed: its position, text, IME composition, and the
    // mark it replaces (kNone for a new text).
    bool typing_ = false;
    POINT textAt_{};
    std::wstring text_;
    std::wstring composition_;
    size_t editIndex_ = MarkupDocument::kNone;
    Mark editOriginal_{};
    bool caretOn_ = true;
};
