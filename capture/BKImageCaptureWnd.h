#pragma once
// An overlay over the frozen desktop: the grab (with the mouse cursor drawn
// in unless "HideCursor" says otherwise) in m_BackGround, and the visible
// windows with their on-screen rectangles, deepest and topmost first.
#include "capture/ICaptureWnd.h"
#include "capture/SelectionAids.h"
#include "output/CaptureImage.h"
#include "platform/Gdi.h"

#include <functional>
#include <vector>

class CaptureOptions;

struct WindowListEntry {
    RECT rect;  // the visible part, in screen coordinates (negative left of or
                // above the primary monitor)
    HWND window;
};

// What the compositor says of a top-level window, and its rectangle.
struct CompositorAnswers {
    RECT window;            // GetWindowRect
    HRESULT cloakedResult;  // DWMWA_CLOAKED
    DWORD cloaked;
    HRESULT extendedResult;  // DWMWA_EXTENDED_FRAME_BOUNDS
    RECT extendedFrame;
};
// What the compositor says of a window now.
CompositorAnswers AskCompositor(HWND window);
// The rectangle the picker offers for a window, from those answers: false
// for a cloaked window; its drawn frame where that lies within the window
// rectangle, otherwise the rectangle.
bool OfferedFrame(const CompositorAnswers& answers, RECT& frame);

// A top-level window's rectangle as drawn: without the invisible resize
// borders where the compositor reports them. False for no window and for a
// cloaked one.
bool VisibleFrame(HWND window, RECT& frame);

class BKImageCaptureWnd : public ICaptureWnd {
public:
    // options may be null: the cursor is then never drawn.
    explicit BKImageCaptureWnd(CaptureOptions* options);

    virtual RECT GetSelectedRect() const = 0;
    virtual int GetResult() const = 0;
    // Fills WindowList; true when it is not empty.
    virtual bool BuildWindowList(bool childrenExcluded);
    // Copies the whole desktop, every monitor, into m_BackGround: the grab,
    // then its conversion.
    virtual bool CaptureDesktop();
    // The grab alone, which the overlay shows at once; the conversion into
    // m_BackGround waits until a picture is wanted, so the overlay appears
    // sooner.
    bool GrabDesktop();
    // Makes m_BackGround from the grab (once) and lets the grab go. True
    // when m_BackGround holds the frozen desktop.
    bool ConvertGrab();

    const std::vector<WindowListEntry>& WindowList() const { return m_windowList; }
    // Where BuildWindowList learns what the compositor says of a top-level
    // window (AskCompositor unless set), so that a compositor the platform
    // lacks can be answered for.
    void SetCompositorQuery(std::function<CompositorAnswers(HWND)> query) { m_compositor = std::move(query); }
    CCaptureImage m_BackGround;
    // The screen point of the overlay's client (0, 0).
    POINT Origin() const { return m_origin; }
    // Ctrl was held when the choice was made: this capture alone goes to the
    // markup window.
    bool MarkupRequested() const { return m_markupRequested; }

protected:
    void DrawCursorIntoCapture(HDC memoryDc);
    // Paints the frozen desktop as the window's background.
    void PaintBackground(HDC dc);
    // Whether the selection aids draw this overlay: "SelectionAids" is "1"
    // and their pictures are made from the grab (made at the first call
    // when the grab did not start them).
    bool AidsReady();
    // While the aids' dimmed picture is still being made, paints the frozen
    // picture as it is and returns true; the whole overlay is painted again
    // with the aids once the picture is done.
    bool PaintPlainWhileDimming();
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Posted by the aids when their dimmed picture is done.
    static constexpr UINT kAidsDimmedMessage = WM_APP + 40;

    CaptureOptions* m_options;
    std::vector<WindowListEntry> m_windowList;
    std::function<CompositorAnswers(HWND)> m_compositor = AskCompositor;
    // The overlay covers the virtual screen, so its client coordinates
    // (those of the frozen picture too) are screen coordinates less this.
    POINT m_origin{};
    platform::UniqueHbitmap m_grab;  // the frozen desktop until ConvertGrab
    SIZE m_grabSize{};
    bool m_aidsOn = false;
    bool m_markupRequested = false;
    bool m_paintedPlain = false;  // a paint showed the frozen picture without the aids
    SelectionAids m_aids;
};
