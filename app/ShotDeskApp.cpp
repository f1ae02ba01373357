#include "app/ShotDeskApp.h"

#include "app/ShotDeskConstants.h"
#include "shellutil/StandardFolders.h"

#include <windows.h>

std::wstring CShotDeskApp::GetProductName() const { return kProductName; }
std::wstring CShotDeskApp::GetCompanyName() const { return kCompanyName; }
std::wstring CShotDeskApp::GetOptionsFileName() const { return kOptionsFileName; }
std::wstring CShotDeskApp::GetAppFileName() const { return kAppFileName; }

bool CShotDeskApp::InitInstance() {
    try {
        options_ = std::make_unique<CaptureOptions>();
    } catch (const OptionsError& error) {
        ::MessageBoxW(nullptr, error.Text().c_str(), kProductName, MB_OK | MB_ICONERROR);
        return false;
    }
    // The tray window, hot keys and engine are not built yet: report where
    // the settings live and end.
    const std::wstring text = L"Options loaded from " + GetSettingsFilePath(false);
    ::OutputDebugStringW(text.c_str());
    return false;
}

int CShotDeskApp::ExitInstance() {
    if (options_) options_->SaveOptions();
    options_.reset();
    return 0;
}
