#pragma once
// The markup window: a normal top-level window ("Mark up – Snapwell") that
// shows one capture under a tool strip, lets the user draw boxes, arrows,
// highlights, text and step numbers, redact and crop, and returns the
// flattened picture on Done. It runs its own modal loop; the capture that
// opened it waits in it.
#include "output/Markup.h"
#include "output/PostProcessing.h"
#include "platform/Window.h"

#include <functional>
#include <memory>

class CaptureOptions;
class MarkupCanvas;
class MarkupToolStrip;

// The window's classes, which other programs (and the tests) look for.
inline constexpr wchar_t kMarkupWindowClass[] = L"SnapwellMarkup";
inline constexpr wchar_t kMarkupCanvasClass[] = L"SnapwellMarkupCanvas";

// The tools of the strip, in its order.
enum class MarkupTool {
    Select,
    Rectangle,
    Arrow,
    Highlighter,
    Text,
    Step,
    RedactBlack,
    RedactPixelate,
    Crop,
};

struct MarkupWindowSetup {
    // Copy puts the current result on the clipboard as a capture would,
    // in that options' formats, owned by that window.
    CaptureOptions* options = nullptr;
    HWND clipboardOwner = nullptr;
    // A point on the monitor where the capture was made; the pointer's
    // position when not given.
    POINT nearPoint{};
    bool hasNearPoint = false;
    // Told once the window has painted the picture the first time, and
    // again with null when it is about to go.
    std::function<void(HWND)> onShown;
};

class MarkupWindow : public platform::Window {
public:
    // Shows the window over a 24-bit picture and waits until the user is
    // done. Done replaces the picture with the marked-up one; Discard leaves
    // it as it was. A picture the window cannot show (not 24-bit, no GDI+,
    // no window) goes on unmarked: Done, unchanged. A quit message (a
    // session end) while it is open counts as Done, so that the capture and
    // its marks still reach the profile's action.
    static MarkupResult Run(CCaptureImage& image, const MarkupWindowSetup& setup);

    MarkupWindow(CCaptureImage& image, const MarkupWindowSetup& setup);
    ~MarkupWindow() override;

    // Commands of the strip, the keys and the menu of the window.
    void SelectTool(MarkupTool tool);
    MarkupTool Tool() const { return tool_; }
    void SelectColour(int index);
    int ColourIndex() const { return colourIndex_; }
    COLORREF Colour() const;
    void SelectWidth(int index);
    int WidthIndex() const { return widthIndex_; }
    // The line width in picture pixels of the chosen width.
    int LineWidth() const;
    void Undo();
    void Redo();
    void Copy();
    void Done();
    // Asks first when there are marks; false when the user kept the window.
    bool Discard();

    MarkupDocument& Document() { return document_; }
    int Dpi() const { return dpi_; }
    // Called by the canvas and strip when what they show changed.
    void OnDocumentChanged();

    static constexpr int kColourCount = 6;
    static constexpr int kWidthCount = 3;
    static COLORREF PaletteColour(int index);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool CreateWindows();
    void Layout();
    void UpdateTitle();
    bool OnKey(WPARAM key);
    void Finish(MarkupResult result);
    // A colour or width chosen while a mark is selected applies to it.
    void RestyleSelection(bool colour);

    CCaptureImage& image_;
    MarkupWindowSetup setup_;
    MarkupDocument document_;
    std::unique_ptr<MarkupToolStrip> strip_;
    std::unique_ptr<MarkupCanvas> canvas_;
    MarkupTool tool_ = MarkupTool::Rectangle;
    int colourIndex_ = 0;
    int widthIndex_ = 1;
    int dpi_ = 96;
    MarkupResult result_ = MarkupResult::Discard;
    bool finished_ = false;
    bool asking_ = false;
};
