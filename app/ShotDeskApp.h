#pragma once
// The application object: decides from the command line whether this run
// registers the automation server, serves automation clients for COM, shows
// the support information, or is the interactive tray program; owns the
// options, the tray window, the program's own engine and the hot keys.
#include "app/AppCommandLineInfo.h"
#include "app/ShotDeskConstants.h"
#include "app/ShellIconWND.h"
#include "app/CaptureEngine.h"
#include "app/ConfigurationWizard.h"
#include "options/CaptureOptions.h"
#include "platform/ClassFactory.h"
#include "platform/UniqueHandle.h"
#include "uikit/CorvaneApp.h"

#include <memory>

class CShotDeskApp : public CCorvaneApp {
public:
    CShotDeskApp();
    ~CShotDeskApp() override;

    std::wstring GetProductName() const override;
    std::wstring GetCompanyName() const override;
    std::wstring GetOptionsFileName() const override;
    std::wstring GetAppFileName() const override;
    std::wstring GetWebLink() const override;
    std::wstring GetPurchaseUrl() const override;
    std::wstring GetSupportAddress() const override { return kSupportAddress; }
    std::wstring GetSupportIdentification() const override { return kSupportIdentification; }

    bool InitInstance() override;
    // The exit steps, once: after the message loop, or earlier when the
    // session ends.
    int ExitInstance() override;
    // WM_ENDSESSION for an ending session: saves what must be kept and
    // ends the message loops; the exit steps follow once they have unwound.
    void OnEndSession();
    // A thread message posted when the last automation object is gone.
    static constexpr UINT kLastObjectGoneMessage = WM_APP + 20;
    // Ends a process that serves automation only, unless a client made a new
    // object meanwhile.
    void OnLastObjectGone();

    CaptureOptions* Options() const { return options_.get(); }
    ICaptureEngine* Engine() const { return engine_; }
    const AppCommandLineInfo& CommandLine() const { return commandLine_; }
    HWND MainWindow() const { return trayWindow_.hwnd(); }
    // Hot-key fields reserve their combinations against the tray window.
    HWND GetMainWindow() const override { return trayWindow_.hwnd(); }
    CShellIconWND& TrayWindow() { return trayWindow_; }

    // The options and about dialogs; kDialogNotShown when this process has
    // no user interface or a dialog is already open (which is then brought
    // forward instead).
    int ShowOptionsDialog() override;
    int ShowAboutDialog() override;
    // Brings the open modal dialog to the foreground; false when none is open.
    bool BringCurrentDialogForward() override;
    // The markup window over a capture, with the tray icon and the hot keys
    // away while it is open, as around the options dialog.
    MarkupResult RunMarkupWindow(CCaptureImage& image);
    // Copies the default options over the user's and reloads them; false
    // when there is no default file or the copy or the reload failed. Shows
    // nothing: the caller decides what the user sees.
    bool RestoreDefaultOptions();
    // Writes or removes the autostart entry as "AddProgramToStartupGroup"
    // says.
    void ApplyStartupOption();
    // Reads "NeedConfig"; with clear, a nonzero REG_DWORD is set back to 0.
    static bool ReadNeedConfig(bool clear);
    // Wakes the running instance: its toolbar shows.
    static void ActivatePreviousInstance();

    // Global hot keys on the tray window, one per hot-key option; false
    // when there is no tray window to hold them.
    bool RegisterHotKeys(bool showMessages);
    void UnregisterHotKeys();
    // The display name of the hot key of a hot-key option ("FullScreenCaptureKey")
    // while it is registered; empty while it is not (none set, another
    // program holds it, or the options dialog is open).
    std::wstring RegisteredHotKeyName(const wchar_t* option) const;
    void OnHotKey(WPARAM id, LPARAM keys);
    // Ends the dropping of a held hot key's repeats once its key is up.
    void OnHeldKeyTimer();

private:
    // Around a modal window of the program: the tray icon and the hot keys
    // go away (true when the icon was there), and come back after it.
    bool PutTrayAway();
    void BringTrayBack(bool iconWasThere);
    bool StartAutomationOnly();
    // Releases the single-instance mutex and writes the autostart entry and
    // the options, once per run (at a session end, or else at exit); false
    // when that was done already.
    bool KeepForNextStart();
    void UpgradeCheck();

    bool RunSplash();
    // The first-run questions, written into the options when finished.
    ConfigurationWizard::Outcome RunConfigurationWizard();
    void RunInfoDialog();

    platform::UniqueHandle mutex_;
    std::unique_ptr<CaptureOptions> options_;
    AppCommandLineInfo commandLine_;
    ICaptureEngine* engine_ = nullptr;
    ATOM hotKeyIds_[5] = {};
    bool hotKeyRegistered_[5] = {};
    WPARAM heldHotKey_ = 0;
    UINT heldVirtualKey_ = 0;
    HWND currentDialog_ = nullptr;
    CShellIconWND trayWindow_{*this};
    platform::ClassFactory<CCaptureEngine> classFactory_;
    bool oleInitialized_ = false;
    bool automationOnly_ = false;
    bool interactive_ = false;
    bool exited_ = false;
    bool keptForNextStart_ = false;
    bool optionsDialogOpen_ = false;
    int exitCode_ = 0;
};
