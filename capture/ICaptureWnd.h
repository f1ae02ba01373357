#pragma once
// The base of every capture overlay: the cursor that was showing when the
// capture began, and the ways to cancel (Escape on release, the right
// button, IDCANCEL, losing the focus).
#include "platform/Window.h"

class ICaptureWnd : public platform::Window {
public:
    ICaptureWnd();

    int EndCode() const { return m_endCode; }
    HCURSOR SavedCursor() const { return m_savedCursor; }
    POINT SavedCursorPos() const { return m_savedCursorPos; }
    // Puts back the cursor that showed when the overlay was constructed.
    void RestoreCursor() const { ::SetCursor(m_savedCursor); }

protected:
    // One of the program's cursor resources; the system crosshair when the
    // resource is missing.
    static HCURSOR ProgramCursor(int id);
    // Shows one of the program's cursors now and whenever the pointer is
    // over the overlay from then on.
    void ShowCursorResource(int id);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Cancel();

    int m_endCode = 7;
    HCURSOR m_savedCursor = nullptr;
    HCURSOR m_overlayCursor = nullptr;
    POINT m_savedCursorPos{};
    // While set, the overlay is transparent to hit tests, so point lookups
    // see the window below it.
    int m_hitTestLock = 0;
};
