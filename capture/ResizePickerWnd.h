#pragma once
// The picker of the resize-application method: top-level windows only, a
// thicker yellow outline, and the handle of the window clicked.
#include "capture/WindowCaptureWnd.h"

class ResizePickerWnd : public WindowCaptureWnd {
public:
    explicit ResizePickerWnd(CaptureOptions* options);

    HWND ChosenWindow() const { return m_chosenWindow; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPreCreate() override;
    SIZE OutlineThickness() const override { return SIZE{5, 5}; }
    COLORREF OutlineColour() const override { return RGB(255, 255, 0); }

private:
    HWND m_chosenWindow = nullptr;
};
