#pragma once
// The options dialog acting on the running program: OK saves the options,
// reads them back, rebuilds the toolbar and applies the autostart entry;
// Restore Defaults copies the program folder's options over the user's;
// Cancel reads the saved options and their languages back.
#include "app/ShotDeskOptionsDlg.h"

#include <functional>

class CaptureOptions;
struct ICaptureEngine;

class ApplicationOptionsDialog : public CShotDeskOptionsDLG {
public:
    // engine (may be null) gets its toolbar rebuilt after a save;
    // applyStartupOption writes the autostart entry from the saved options.
    ApplicationOptionsDialog(CaptureOptions& options, ICaptureEngine* engine,
                             std::function<void()> applyStartupOption, HWND& current);

protected:
    bool SaveAndApply() override;
    bool RestoreDefaults() override;
    void DiscardChanges() override;

private:
    CaptureOptions& options_;
    ICaptureEngine* engine_;
    std::function<void()> applyStartupOption_;
};
