#pragma once
// The application object: decides from the command line whether this run
// registers the automation server, serves automation clients for COM, or
// is the interactive program; owns the options.
#include "app/AppCommandLineInfo.h"
#include "capture/CaptureEngine.h"
#include "options/CaptureOptions.h"
#include "platform/ClassFactory.h"
#include "uikit/CorvaneApp.h"

#include <memory>

class CShotDeskApp : public CCorvaneApp {
public:
    std::wstring GetProductName() const override;
    std::wstring GetCompanyName() const override;
    std::wstring GetOptionsFileName() const override;
    std::wstring GetAppFileName() const override;

    bool InitInstance() override;
    int ExitInstance() override;

    CaptureOptions* Options() const { return options_.get(); }
    const AppCommandLineInfo& CommandLine() const { return commandLine_; }

private:
    // Serves automation clients only: no tray, no hot keys; the per-user
    // options are loaded for the captures and never saved.
    bool StartAutomationOnly();

    std::unique_ptr<CaptureOptions> options_;
    AppCommandLineInfo commandLine_;
    platform::ClassFactory<CCaptureEngine> classFactory_;
    bool oleInitialized_ = false;
    bool automationOnly_ = false;
    int exitCode_ = 0;
};
