#pragma once
// The application object: the program's identity, its options and, in time,
// its tray window, hot keys and capture engine.
#include "options/CaptureOptions.h"
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

private:
    std::unique_ptr<CaptureOptions> options_;
};
