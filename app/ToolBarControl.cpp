#include "app/ToolBarControl.h"

#include "uikit/TextCatalog.h"

bool ToolBarControl::CreateHidden() {
    const std::wstring title = ExpandText(L"{applicationname}", false);
    const bool created = Create(L"SnapwellToolBar", CS_HREDRAW | CS_VREDRAW, WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, RECT{}, nullptr, nullptr,
                                static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (created) ::ShowWindow(hwnd(), SW_HIDE);
    return created;
}
