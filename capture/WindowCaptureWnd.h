#pragma once
// The window picker: over the frozen desktop it outlines the window under
// the pointer. A plain click captures that window; clicks with Shift held
// collect several windows, which are captured together as one picture.
// With the selection aids the desktop is dimmed but for the window under the
// pointer and the picked ones, and a label tells the window's size and title.
#include "capture/BKImageCaptureWnd.h"

#include <vector>

class WindowCaptureWnd : public BKImageCaptureWnd {
public:
    explicit WindowCaptureWnd(CaptureOptions* options) : BKImageCaptureWnd(options) {}

    RECT GetSelectedRect() const override { return m_hover; }
    int GetResult() const override { return m_result; }
    const std::vector<RECT>& Selection() const { return m_selection; }
    // What the label by the pointer says: the hover window's size and title.
    std::wstring LabelText() const;

    // The visible rectangle of the deepest window under p, or all zeros.
    // Point and rectangle are in the overlay's client coordinates.
    RECT HitTest(POINT p) const;
    // The first window-list entry whose rectangle holds p (client
    // coordinates; left and top inclusive, right and bottom exclusive), or null.
    const WindowListEntry* EntryAt(POINT p) const;
    // The bounding box of the picked windows.
    RECT SelectionBounds() const;
    // Fills image with the picked windows as they were frozen, the window
    // background colour between them. False when nothing could be made
    // (an empty bounding box included).
    bool Compose(CCaptureImage& image) const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPreCreate() override;
    // The hover outline's thickness and brush colour.
    virtual SIZE OutlineThickness() const { return SIZE{3, 3}; }
    virtual COLORREF OutlineColour() const { return RGB(0, 255, 255); }
    // Paints the frozen picture with its tint and outline where the
    // picture must be drawn anew, otherwise moves the outline.
    void OnPaint();
    void PaintFrame(HDC dc);
    // The picked windows OR-ed with the tint.
    void TintPicked(HDC dc) const;
    // With the selection aids: the hover window and the label follow the
    // pointer, and only what they leave and reach is painted again.
    void HoverAt(POINT p);

    void OnLeftButtonUp(WPARAM flags);
    // Removes the outline drawn round the hover rectangle.
    void RemoveOutline();

    std::vector<RECT> m_selection;
    RECT m_lastPainted{};
    RECT m_hover{};
    POINT m_pointer{};
    std::wstring m_hoverTitle;
    RECT m_labelBox{};
    bool m_framePending = true;  // the next paint draws the whole frame
    int m_result = -1;
};
