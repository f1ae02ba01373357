#include "app/ShotDeskOptionsDlg.h"

#include "options/OptionsDocument.h"
#include "platform/Window.h"

#include <commctrl.h>

#include <cwchar>

CShotDeskOptionsDLG::CShotDeskOptionsDLG(OptionsDocument& document, HWND& current)
    : OptionsDLG(document), current_(current) {}

CShotDeskOptionsDLG::~CShotDeskOptionsDLG() { current_ = nullptr; }

INT_PTR CShotDeskOptionsDLG::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = OptionsDLG::HandleMessage(message, wParam, lParam);
    if (message == WM_INITDIALOG) current_ = hwnd();
    return result;
}

bool CShotDeskOptionsDLG::FilterOptionItem(pugi::xml_node element, OptionItem& item, bool& handled) {
    if (document_.GetProgramOption(L"MultipleCaptureProfiles", false) != L"0" ||
        std::wcscmp(element.attribute(L"Name").value(), L"Profiles") != 0)
        return true;
    // One profile serves every capture: only its options are shown.
    FillOptionItem(element, item);
    for (pugi::xml_node profile : element.children()) {
        if (profile.type() != pugi::node_element || std::wcscmp(profile.attribute(L"Name").value(), L"DefaultProfile"))
            continue;
        for (pugi::xml_node option : profile.children()) {
            auto child = std::make_unique<OptionItem>();
            std::wstring ignored;
            if (ReadOptionItem(option, *child, ignored)) item.children.push_back(std::move(child));
        }
        break;
    }
    handled = true;
    return false;
}

void CShotDeskOptionsDLG::SetUpList(HWND list) {
    // A small-icon list of 16 x 16 makes every row 16 pixels high (at 96
    // dots per inch; scaled screens get taller rows).
    // The list owns the image list (it has no LVS_SHAREIMAGELISTS) and
    // destroys it with itself.
    const int height = platform::ScaleToScreenDpi(16);
    ListView_SetImageList(list, ::ImageList_Create(height, height, ILC_COLOR32 | ILC_MASK, 1, 1), LVSIL_SMALL);
    ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES);
    OptionsDLG::SetUpList(list);
}
