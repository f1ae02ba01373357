#include "app/ApplicationOptionsDialog.h"

#include "options/CaptureOptions.h"
#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <ShotDeskLib.h>

#include <utility>

ApplicationOptionsDialog::ApplicationOptionsDialog(CaptureOptions& options, ICaptureEngine* engine,
                                                   std::function<void()> applyStartupOption, HWND& current)
    : CShotDeskOptionsDLG(options, current),
      options_(options),
      engine_(engine),
      applyStartupOption_(std::move(applyStartupOption)) {}

bool ApplicationOptionsDialog::SaveAndApply() {
    if (!options_.SaveOptions()) return false;
    try {
        options_.LoadOptions();
    } catch (const OptionsError&) {
        return false;
    }
    if (engine_ != nullptr) engine_->RebuildToolBar();
    if (applyStartupOption_) applyStartupOption_();
    return true;
}

bool ApplicationOptionsDialog::RestoreDefaults() { return options_.RestoreDefaultOptions(); }

void ApplicationOptionsDialog::DiscardChanges() {
    try {
        options_.LoadOptions();
    } catch (const OptionsError&) {
        // Nothing was saved; the document stays as it is.
    }
    if (CCorvaneApp* app = CCorvaneApp::Current()) app->GetTextCatalog().LoadLanguages(options_, false);
}
