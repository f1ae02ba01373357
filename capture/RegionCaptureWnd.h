#pragma once
// The overlay on which the user drags out a rectangle over the frozen
// desktop. Release of the left button chooses it; Escape, the right button,
// IDCANCEL or losing the focus cancel. With the selection aids the desktop
// outside the selection is dimmed, a label tells the size, a magnifier
// shows the pixels at the pointer, the keys aim (arrows, Enter) and R
// brings back the last rectangle.
#include "capture/BKImageCaptureWnd.h"

#include <string>

class RegionCaptureWnd : public BKImageCaptureWnd {
public:
    explicit RegionCaptureWnd(CaptureOptions* options);

    RECT GetSelectedRect() const override { return m_selection; }
    int GetResult() const override { return m_result; }

    // The selection for a drag from anchor to p: the right and bottom edges
    // are the pointer's own coordinates, whatever the drag's direction.
    static RECT SelectionFor(POINT anchor, POINT p);

    // The rectangle (screen coordinates) that R brings back.
    void SetLastRectangle(const RECT& screenRect);
    // What the size label says now; empty without the aids.
    std::wstring LabelText() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPreCreate() override;

private:
    // Where the aids are drawn for the present state, all in client
    // coordinates; empty rectangles for what is not shown.
    struct Decoration {
        RECT selection;
        RECT crosshair[2];
        RECT label;
        RECT magnifier;
    };
    void RubberBand(POINT p);
    // With the mouse captured, a point can lie outside the overlay; the
    // selection stays within the frozen picture.
    POINT ClampToClient(POINT p) const;
    RECT Client() const;

    Decoration Decorate() const;
    // Invalidates what differs between the decoration before a change and now.
    void Invalidate(const Decoration& before);
    void PaintWithAids();
    void PointerAt(POINT p);
    void StartDrag(POINT p);
    // markup: Ctrl was held, so this capture goes to the markup window.
    void Choose(bool markup);
    bool OnAidsKey(WPARAM key, bool alt);
    void MovePointerBy(int dx, int dy);
    void ChangeSelection(int dx, int dy, bool resize);
    void RestoreLastRectangle();

    RECT m_lastDrawn{};
    RECT m_selection{};
    int m_result = -1;
    POINT m_anchor{};
    // The aids' state: the pointer (client coordinates), a drag begun by the
    // button or by Enter, a brought-back rectangle shown.
    POINT m_pointer{};
    bool m_dragging = false;
    bool m_restored = false;
    bool m_magnifierOn = true;
    bool m_hasLast = false;
    // Ctrl is down, as the overlay's own key messages tell it.
    bool m_ctrlHeld = false;
    RECT m_last{};
};
