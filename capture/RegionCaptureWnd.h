#pragma once
// The overlay on which the user drags out a rectangle over the frozen
// desktop. Release of the left button chooses it; Escape, the right button,
// IDCANCEL or losing the focus cancel.
#include "capture/BKImageCaptureWnd.h"

class RegionCaptureWnd : public BKImageCaptureWnd {
public:
    explicit RegionCaptureWnd(CaptureOptions* options) : BKImageCaptureWnd(options) {}

    RECT GetSelectedRect() const override { return m_selection; }
    int GetResult() const override { return m_result; }

    // The selection for a drag from anchor to p: the right and bottom edges
    // are the pointer's own coordinates, whatever the drag's direction.
    static RECT SelectionFor(POINT anchor, POINT p);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPreCreate() override;

private:
    void RubberBand(POINT p);
    // With the mouse captured, a point can lie outside the overlay; the
    // selection stays within the frozen picture.
    POINT ClampToClient(POINT p) const;

    RECT m_lastDrawn{};
    RECT m_selection{};
    int m_result = -1;
    POINT m_anchor{};
};
