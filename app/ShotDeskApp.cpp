#include "app/ShotDeskApp.h"

#include "app/ServerRegistration.h"
#include "app/ShotDeskConstants.h"
#include "platform/ComModule.h"
#include "shellutil/StandardFolders.h"
#include "uikit/MessageBox.h"

#include <ShotDeskLib.h>
#include <ole2.h>

std::wstring CShotDeskApp::GetProductName() const { return kProductName; }
std::wstring CShotDeskApp::GetCompanyName() const { return kCompanyName; }
std::wstring CShotDeskApp::GetOptionsFileName() const { return kOptionsFileName; }
std::wstring CShotDeskApp::GetAppFileName() const { return kAppFileName; }

bool CShotDeskApp::InitInstance() {
    oleInitialized_ = SUCCEEDED(::OleInitialize(nullptr));
    commandLine_ = AppCommandLineInfo::FromProcess();
    if (!classFactory_.Register(CLSID_CaptureEngine)) {
        exitCode_ = 1;
        return false;
    }
    if (commandLine_.runEmbedded || commandLine_.runAutomated) return StartAutomationOnly();
    if (commandLine_.shellCommand == AppCommandLineInfo::kUnregister) {
        exitCode_ = UnregisterServer(nullptr) ? 0 : 1;
        return false;
    }
    if (commandLine_.shellCommand == AppCommandLineInfo::kRegister) {
        exitCode_ = RegisterServer(nullptr) ? 0 : 1;
        return false;
    }
    try {
        options_ = std::make_unique<CaptureOptions>();
    } catch (const OptionsError& error) {
        ShowProgramMessage(error.Text(), MB_OK | MB_ICONERROR);
        return false;
    }
    // The tray window and hot keys are not built yet: report where the
    // settings live and end.
    const std::wstring text = L"Options loaded from " + GetSettingsFilePath(false);
    ::OutputDebugStringW(text.c_str());
    return false;
}

bool CShotDeskApp::StartAutomationOnly() {
    automationOnly_ = true;
    try {
        options_ = std::make_unique<CaptureOptions>();
    } catch (const OptionsError&) {
        // Without options the engines answer every capture with "no
        // options" (0x00080012) instead of capturing; nothing is shown in a
        // process that has no user interface.
        options_.reset();
    }
    CCaptureEngine::SetProcessOptions(options_.get());
    // The process ends when the last automation object is released.
    platform::ComModule::OnLastUnlock([] { ::PostQuitMessage(0); });
    return true;
}

int CShotDeskApp::ExitInstance() {
    platform::ComModule::OnLastUnlock(nullptr);
    CCaptureEngine::SetProcessOptions(nullptr);
    if (options_ && !automationOnly_) options_->SaveOptions();
    options_.reset();
    classFactory_.Revoke();
    if (oleInitialized_) ::OleUninitialize();
    return exitCode_;
}
