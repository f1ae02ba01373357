#pragma once
// Snapwell's options dialog: the generic options dialog with the program's
// list look, and the profiles group shown as the single default profile
// while one profile serves all captures. What OK, Restore Defaults and
// Cancel do to the program is left to the application's own subclass.
#include "options/OptionsDlg.h"

#include <commctrl.h>

class CShotDeskOptionsDLG : public OptionsDLG {
public:
    // current is the application's CurrentDialog while the dialog is open.
    CShotDeskOptionsDLG(OptionsDocument& document, HWND& current);
    ~CShotDeskOptionsDLG() override;

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool FilterOptionItem(pugi::xml_node element, OptionItem& item, bool& handled) override;
    void SetUpList(HWND list) override;

private:
    HWND& current_;
};
