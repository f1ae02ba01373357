#pragma once
// The application identity the tests run under: the real product names, so
// that the per-user folder is the one Snapwell itself uses in this prefix.
#include "app/ShotDeskConstants.h"
#include "uikit/CorvaneApp.h"

#include <functional>

class TestApp : public CCorvaneApp {
public:
    std::wstring GetProductName() const override { return kProductName; }
    std::wstring GetCompanyName() const override { return kCompanyName; }
    std::wstring GetOptionsFileName() const override { return kOptionsFileName; }
    std::wstring GetAppFileName() const override { return kAppFileName; }
    std::wstring GetSupportAddress() const override { return kSupportAddress; }
    std::wstring GetSupportIdentification() const override { return kSupportIdentification; }

    // Stand-ins for the program's dialogs, set by the tests that open them.
    std::function<int()> aboutDialog, optionsDialog;
    int ShowAboutDialog() override { return aboutDialog ? aboutDialog() : 0; }
    int ShowOptionsDialog() override { return optionsDialog ? optionsDialog() : 0; }

    // The window the tests' hot-key fields reserve against; none unless set.
    HWND mainWindow = nullptr;
    HWND GetMainWindow() const override { return mainWindow; }

    // The help folder of the described dialogs' tips; the program's unless set.
    std::wstring helpFolder;
    std::wstring GetHelpFolder() const override {
        return helpFolder.empty() ? CCorvaneApp::GetHelpFolder() : helpFolder;
    }

    static TestApp& Get() { return *static_cast<TestApp*>(CCorvaneApp::Current()); }
};
