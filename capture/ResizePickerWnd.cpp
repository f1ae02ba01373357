#include "capture/ResizePickerWnd.h"

#include "resources/resource.h"

#include <windowsx.h>

// The cursor current before this one stays the saved cursor that is set
// again when the picker ends.
ResizePickerWnd::ResizePickerWnd(CaptureOptions* options) : WindowCaptureWnd(options) {
    // The resize picker keeps its plain outline: it has no picture to aim.
    m_aidsOn = false;
    ShowCursorResource(IDC_RESIZE_PICK);
}

void ResizePickerWnd::OnPreCreate() { ShowCursorResource(IDC_RESIZE_PICK); }

LRESULT ResizePickerWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_LBUTTONUP) return WindowCaptureWnd::HandleMessage(message, wParam, lParam);
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    m_result = 1;
    m_hitTestLock = 1;
    const WindowListEntry* chosen = EntryAt(point);
    m_chosenWindow = chosen ? chosen->window : nullptr;
    m_hitTestLock = 0;
    const LRESULT result = Default(message, wParam, lParam);
    OnLeftButtonUp(wParam);
    RemoveOutline();
    return result;
}
