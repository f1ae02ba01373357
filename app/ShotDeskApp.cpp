#include "app/ShotDeskApp.h"

#include "app/ServerRegistration.h"
#include "app/ApplicationOptionsDialog.h"
#include "app/MarkupWindow.h"
#include "app/SplashDialog.h"
#include "app/ShotDeskConstants.h"
#include "platform/ComModule.h"
#include "platform/FileSystem.h"
#include "platform/Foreground.h"
#include "resources/resource.h"
#include "shellutil/StandardFolders.h"
#include "shellutil/SupportInfoDialog.h"
#include "uikit/HotKey.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"
#include "uikit/VersionInfo.h"
#include "uikit/XmlDialog.h"

#include <ShotDeskLib.h>
#include <commctrl.h>
#include <cstring>
#include <cwchar>
#include <ole2.h>

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kConfigDat[] = L"Config.Dat";

struct HotKeyRow {
    const wchar_t* option;
    HRESULT (STDMETHODCALLTYPE ICaptureEngine::*action)();
    const wchar_t* takenMessage;
};

// In order of registration, unregistration and dispatch.
const HotKeyRow kHotKeyRows[5] = {
    {L"CaptureKey", &ICaptureEngine::ShowToolBar, L"ToolBarHotKeyUsed"},
    {L"FullScreenCaptureKey", &ICaptureEngine::CaptureFullScreen, L"FullscreenHotKeyUsed"},
    {L"WindowCaptureKey", &ICaptureEngine::CaptureWindow, L"WindowHotKeyUsed"},
    {L"RegionCaptureKey", &ICaptureEngine::CaptureRegion, L"RectangleHotKeyUsed"},
    {L"ResizeApplicationKey", &ICaptureEngine::ResizeApplication, L"ResizeHotKeyUsed"},
};

// Whether the user's setting gives Print Screen to Windows' snipping tool.
bool PrintScreenOpensSnipping() {
    DWORD value = 0, size = sizeof(value);
    return ::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Keyboard", L"PrintScreenKeyForSnippingEnabled",
                          RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS &&
           value == 1;
}

// A described dialog that is the application's CurrentDialog while it is
// open, so that a hot key brings it forward instead of capturing.
class CurrentDialogOf : public XmlDialog {
public:
    CurrentDialogOf(HWND parent, const wchar_t* dialogId, HWND& current)
        : XmlDialog(parent, dialogId), current_(current) {}
    ~CurrentDialogOf() override { current_ = nullptr; }

protected:
    void OnInitDialog() override { current_ = hwnd(); }

private:
    HWND& current_;
};

}  // namespace

CShotDeskApp::CShotDeskApp() {
    for (int i = 0; i < 5; ++i) hotKeyIds_[i] = ::GlobalAddAtomW(kHotKeyRows[i].option);
}

CShotDeskApp::~CShotDeskApp() {
    for (ATOM id : hotKeyIds_) {
        if (id == 0) continue;
        ::UnregisterHotKey(trayWindow_.hwnd(), id);
        ::GlobalDeleteAtom(id);
    }
}

std::wstring CShotDeskApp::GetProductName() const { return kProductName; }
std::wstring CShotDeskApp::GetCompanyName() const { return kCompanyName; }
std::wstring CShotDeskApp::GetOptionsFileName() const { return kOptionsFileName; }
std::wstring CShotDeskApp::GetAppFileName() const { return kAppFileName; }
std::wstring CShotDeskApp::GetWebLink() const { return L"<a href='https://snapwell.veltrane.com/'>Snapwell</a>"; }
std::wstring CShotDeskApp::GetPurchaseUrl() const { return L"https://snapwell.veltrane.com/buy"; }

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
        exitCode_ = 1;
        return false;
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&controls);
    UpgradeCheck();

    if (!commandLine_.info) {
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kProductName);
        if (mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
            ::CloseHandle(mutex);
            ActivatePreviousInstance();
            return false;
        }
        mutex_.reset(mutex);
    }

    if (!GetTextCatalog().LoadLanguages(*options_, commandLine_.config)) {
        // The program still works with untranslated texts; the user hears
        // why instead of the program vanishing.
        ShowProgramMessage(L"The language files of " + GetProductName() +
                               L" could not be read; texts are shown untranslated.\n" +
                               GetTextCatalog().GetLastLoadError(),
                           MB_OK | MB_ICONWARNING);
    }
    if (commandLine_.info) {
        RunInfoDialog();
        return false;
    }

    if (ReadNeedConfig(false) || commandLine_.config) {
        switch (RunConfigurationWizard()) {
            case ConfigurationWizard::Outcome::Finished:
                ReadNeedConfig(true);
                break;
            case ConfigurationWizard::Outcome::Cancelled:
                return false;
            case ConfigurationWizard::Outcome::NotSaved:
                // The wizard said so; "NeedConfig" stays, so the next start
                // asks again.
                break;
            case ConfigurationWizard::Outcome::Missing:
                // The program still starts with its settings as they are;
                // "NeedConfig" stays, so a repaired installation asks.
                ShowProgramMessage(L"The set-up pages of " + GetProductName() +
                                       L" (ui.xml) are missing or damaged, so the first-run questions are skipped. "
                                       L"Reinstalling " + GetProductName() + L" repairs them.",
                                   MB_OK | MB_ICONWARNING);
                break;
        }
    }
    if (!RunSplash()) return false;

    const RECT none{};
    const std::wstring title = GetProductName() + L"ShellIconWND";
    const bool created = trayWindow_.Create(L"SnapwellShellIconWND", CS_HREDRAW | CS_VREDRAW, 0, title.c_str(), 0,
                                            none, nullptr, ::LoadCursorW(nullptr, IDC_ARROW),
                                            static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (created) {
        HICON big = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
        HICON small = static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 16, 16, 0));
        ::SendMessageW(trayWindow_.hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
        ::SendMessageW(trayWindow_.hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }

    if (engine_) engine_->Release();
    engine_ = nullptr;
    CCaptureEngine::SetProcessOptions(options_.get());
    CCaptureEngine::SetProcessMainWindow(trayWindow_.hwnd());
    auto* engine = new (std::nothrow) CCaptureEngine;
    if (engine != nullptr) {
        engine->QueryInterface(IID_ICaptureEngine, reinterpret_cast<void**>(&engine_));
        engine_->SetOptions(static_cast<ULONG>(reinterpret_cast<UINT_PTR>(options_.get())));
        CCaptureEngine::SetApplicationEngine(engine);
        // The program's own captures are told at its tray icon.
        CCaptureEngine::SetOutcomeListener(
            [this](const CaptureOutcome& outcome) { trayWindow_.OnCaptureOutcome(outcome); });
        CCaptureEngine::SetMarkupHandler([this](CCaptureImage& image) { return RunMarkupWindow(image); });
    }
    interactive_ = created;
    // Without an engine a hot key could do nothing but swallow its keys.
    if (engine_ != nullptr) RegisterHotKeys(true);
    return created;
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
    // Its captures can still show messages (a failed save), in the user's
    // language; a failed load leaves the texts untranslated, silently.
    if (options_) GetTextCatalog().LoadLanguages(*options_, false);
    // A client's capture with a user at it can still be marked up.
    CCaptureEngine::SetMarkupHandler([this](CCaptureImage& image) { return RunMarkupWindow(image); });
    // The process ends when the last automation object is released. The
    // class object is withdrawn first, so that a client's next activation
    // starts a new server instead of reaching this one on its way out; one
    // already on its way here is served before the check below.
    platform::ComModule::OnLastUnlock([this] {
        classFactory_.Revoke();
        ::PostThreadMessageW(::GetCurrentThreadId(), kLastObjectGoneMessage, 0, 0);
    });
    return true;
}

void CShotDeskApp::OnLastObjectGone() {
    if (!automationOnly_ || exited_) return;
    if (platform::ComModule::LockCount() == 0) {
        ::PostQuitMessage(0);
    } else {
        // A client made an object meanwhile: the server stays and serves new
        // activations again (should that fail, they start another server).
        classFactory_.Register(CLSID_CaptureEngine);
    }
}

void CShotDeskApp::UpgradeCheck() {
    const std::wstring shipped = platform::GetProgramFolder() + kConfigDat;
    const std::wstring user = platform::WithTrailingBackslash(GetUserDataFolder()) + kConfigDat;
    const auto shippedTime = platform::LastWriteTime(shipped);
    if (!shippedTime) return;
    const auto userTime = platform::LastWriteTime(user);
    if (userTime && *shippedTime <= *userTime) return;
    RestoreDefaultOptions();
    platform::CopyFileReplacing(shipped, user);
}

bool CShotDeskApp::RestoreDefaultOptions() {
    return options_ && options_->RestoreDefaultOptions();
}

bool CShotDeskApp::ReadNeedConfig(bool clear) {
    // Only the installer's REG_DWORD 1 asks for the wizard, and only that is
    // ever cleared: a value of another type or number could never be
    // cleared and would ask at every start.
    DWORD value = 0, size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, ProgramKeyPath().c_str(), L"NeedConfig", RRF_RT_REG_DWORD, nullptr, &value,
                       &size) != ERROR_SUCCESS ||
        value != 1)
        return false;
    if (clear) {
        const DWORD zero = 0;
        ::RegSetKeyValueW(HKEY_CURRENT_USER, ProgramKeyPath().c_str(), L"NeedConfig", REG_DWORD, &zero, sizeof(zero));
    }
    return true;
}

void CShotDeskApp::ActivatePreviousInstance() {
    const std::wstring title = std::wstring(kProductName) + L"ShellIconWND";
    if (HWND running = ::FindWindowW(nullptr, title.c_str())) {
        ::PostMessageW(running, CShellIconWND::kTrayCallback, CShellIconWND::kTrayIconId, WM_LBUTTONDBLCLK);
        ::PostMessageW(running, CShellIconWND::kTrayCallback, CShellIconWND::kTrayIconId, WM_LBUTTONUP);
    }
}

bool CShotDeskApp::RunSplash() {
    CSplashDialog splash;
    return splash.DoModal() != IDCANCEL;
}

ConfigurationWizard::Outcome CShotDeskApp::RunConfigurationWizard() {
    ConfigurationWizard wizard(*options_, GetHelpFolder());
    return wizard.Run();
}

void CShotDeskApp::RunInfoDialog() {
    CSupportInfoDialog info(nullptr);
    info.DoModal();
}

int CShotDeskApp::ShowOptionsDialog() {
    // A process that serves automation only has no tray icon and no hot
    // keys to take down and put back, and no dialog to show.
    if (!interactive_ || !options_) return kDialogNotShown;
    // One options dialog per process: a second one would reload the
    // document under the first one's rows.
    if (optionsDialogOpen_) {
        BringCurrentDialogForward();
        return kDialogNotShown;
    }
    optionsDialogOpen_ = true;
    int result = IDCANCEL;
    const bool iconWasThere = PutTrayAway();
    try {
        ApplicationOptionsDialog dialog(*options_, engine_, [this] { ApplyStartupOption(); }, currentDialog_);
        result = static_cast<int>(dialog.DoModal(trayWindow_.hwnd()));
    } catch (...) {
    }
    currentDialog_ = nullptr;
    optionsDialogOpen_ = false;
    BringTrayBack(iconWasThere);
    return result;
}

bool CShotDeskApp::PutTrayAway() {
    // An automation-only process has no icon or hot keys to put away.
    if (!interactive_) return false;
    bool iconWasThere = false;
    try {
        iconWasThere = trayWindow_.Icon().Remove();
    } catch (...) {
    }
    try {
        UnregisterHotKeys();
    } catch (...) {
    }
    return iconWasThere;
}

void CShotDeskApp::BringTrayBack(bool iconWasThere) {
    // After a session end the hot keys and the icon stay away.
    if (!interactive_ || keptForNextStart_) return;
    try {
        RegisterHotKeys(false);
    } catch (...) {
    }
    try {
        if (iconWasThere && !trayWindow_.ToolbarVisible()) trayWindow_.BringIconBack();
    } catch (...) {
    }
}

MarkupResult CShotDeskApp::RunMarkupWindow(CCaptureImage& image) {
    // The capture that opened the window keeps the engine busy meanwhile, so
    // a second capture or dialog brings this window forward instead.
    const bool iconWasThere = PutTrayAway();
    MarkupWindowSetup setup;
    setup.options = options_.get();
    setup.clipboardOwner = trayWindow_.hwnd();
    setup.onShown = [this](HWND window) { currentDialog_ = window; };
    MarkupResult result = MarkupResult::Done;
    try {
        result = MarkupWindow::Run(image, setup);
    } catch (...) {
    }
    currentDialog_ = nullptr;
    BringTrayBack(iconWasThere);
    return result;
}

int CShotDeskApp::ShowAboutDialog() {
    if (!interactive_) return kDialogNotShown;
    if (currentDialog_ != nullptr) {
        BringCurrentDialogForward();
        return kDialogNotShown;
    }
    CurrentDialogOf about(trayWindow_.hwnd(), L"about", currentDialog_);
    return static_cast<int>(about.DoModal());
}

bool CShotDeskApp::BringCurrentDialogForward() {
    if (currentDialog_ == nullptr || !::IsWindow(currentDialog_)) return false;
    platform::BringToForeground(currentDialog_);
    ::ShowWindow(currentDialog_, SW_SHOWNORMAL);
    return true;
}

bool CShotDeskApp::RegisterHotKeys(bool showMessages) {
    // Hot keys belong to the tray window; without it they would go to the
    // thread and swallow their keys in a process that cannot act on them.
    if (!options_ || trayWindow_.hwnd() == nullptr) return false;
    for (int i = 0; i < 5; ++i) {
        hotKeyRegistered_[i] = false;
        const std::optional<HotKey> key = ParseHotKeyText(options_->GetHotKeyValue(kHotKeyRows[i].option));
        if (!key) continue;
        // A held key captures once: MOD_NOREPEAT where the system knows it
        // (Windows 7 and later), the plain combination elsewhere.
        const bool registered =
            ::RegisterHotKey(trayWindow_.hwnd(), hotKeyIds_[i], key->modifiers | MOD_NOREPEAT, key->virtualKey) ||
            (::GetLastError() == ERROR_INVALID_PARAMETER &&
             ::RegisterHotKey(trayWindow_.hwnd(), hotKeyIds_[i], key->modifiers, key->virtualKey));
        hotKeyRegistered_[i] = registered;
        if (!registered && showMessages) {
            std::wstring message = ExpandText(kHotKeyRows[i].takenMessage, true);
            // Windows itself may hold Print Screen for its snipping tool.
            if (key->virtualKey == VK_SNAPSHOT && PrintScreenOpensSnipping())
                message += L"\n\n" + ExpandText(L"PrintScreenSnippingHint", true);
            ShowProgramMessage(message, MB_OK, trayWindow_.hwnd());
        }
    }
    return true;
}

void CShotDeskApp::UnregisterHotKeys() {
    for (ATOM id : hotKeyIds_) ::UnregisterHotKey(trayWindow_.hwnd(), id);
    for (bool& registered : hotKeyRegistered_) registered = false;
}

std::wstring CShotDeskApp::RegisteredHotKeyName(const wchar_t* option) const {
    if (!options_) return {};
    for (int i = 0; i < 5; ++i) {
        if (std::wcscmp(kHotKeyRows[i].option, option) != 0 || !hotKeyRegistered_[i]) continue;
        const std::optional<HotKey> key = ParseHotKeyText(options_->GetHotKeyValue(option));
        if (key) return FormatHotKeyForDisplay(key->modifiers, key->virtualKey);
    }
    return {};
}

void CShotDeskApp::OnHotKey(WPARAM id, LPARAM keys) {
    // The keyboard repeats a held key, and a system without MOD_NOREPEAT
    // (or one that ignores it) sends a hot key for each repeat: while the
    // key of the last hot key stays down, its repeats are dropped.
    if (heldHotKey_ != 0 && heldHotKey_ == id) return;
    if (trayWindow_.hwnd() != nullptr) {
        heldHotKey_ = id;
        heldVirtualKey_ = HIWORD(keys);
        ::SetTimer(trayWindow_.hwnd(), CShellIconWND::kHeldKeyTimer, 50, nullptr);
    }
    const bool iconWasThere = trayWindow_.Icon().Remove();
    if (!BringCurrentDialogForward()) {
        bool matched = false;
        for (int i = 0; i < 5 && !matched; ++i) {
            if (id != hotKeyIds_[i]) continue;
            matched = true;
            CCaptureEngine::ProgramRequest request;
            if (engine_) (engine_->*kHotKeyRows[i].action)();
        }
        if (!matched) ::MessageBeep(static_cast<UINT>(-1));
    }
    // A hot key that showed the toolbar leaves the icon away.
    if (iconWasThere && !trayWindow_.ToolbarVisible()) trayWindow_.BringIconBack();
}

void CShotDeskApp::OnHeldKeyTimer() {
    if (heldVirtualKey_ != 0 && (::GetAsyncKeyState(static_cast<int>(heldVirtualKey_)) & 0x8000)) return;
    heldHotKey_ = 0;
    heldVirtualKey_ = 0;
    ::KillTimer(trayWindow_.hwnd(), CShellIconWND::kHeldKeyTimer);
}

void CShotDeskApp::ApplyStartupOption() {
    if (!options_) return;
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ | KEY_WRITE, &raw) != ERROR_SUCCESS) return;
    platform::UniqueHkey key(raw);
    const std::wstring choice = options_->GetProgramOption(L"AddProgramToStartupGroup", false);
    if (choice == L"0") {
        ::RegDeleteValueW(key.get(), kProductName);
    } else if (choice == L"1") {
        // Quoted: unquoted, "C:\Program Files\..." could start a
        // "C:\Program.exe" that someone put there.
        const std::wstring path = platform::ModuleFileName(nullptr);
        if (path.size() > 1024) return;
        const std::wstring command = L"\"" + path + L"\"";
        ::RegSetValueExW(key.get(), kProductName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
}

void CShotDeskApp::OnEndSession() {
    // Windows may end the process soon after the session-end message
    // returns, so what must outlive the session is written now. A capture's
    // overlay or a dialog may still be running below this message, so
    // nothing is freed here: the quit message ends each running loop in turn,
    // and the exit steps free everything once the stack has unwound.
    if (exited_ || !KeepForNextStart()) return;
    UnregisterHotKeys();
    trayWindow_.Icon().Remove();
    ::PostQuitMessage(0);
}

bool CShotDeskApp::KeepForNextStart() {
    if (keptForNextStart_) return false;
    keptForNextStart_ = true;
    mutex_.reset();
    if (interactive_) {
        try {
            ApplyStartupOption();
        } catch (...) {
        }
    }
    if (options_ && !automationOnly_ && interactive_) options_->SaveOptions();
    return true;
}

int CShotDeskApp::ExitInstance() {
    if (exited_) return exitCode_;
    exited_ = true;
    KeepForNextStart();
    CCaptureEngine::SetOutcomeListener({});
    CCaptureEngine::SetMarkupHandler({});
    trayWindow_.Destroy();
    UnregisterHotKeys();
    platform::ComModule::OnLastUnlock(nullptr);
    // Instances that other programs still hold find no options from now on.
    CCaptureEngine::SetProcessOptions(nullptr);
    CCaptureEngine::SetProcessMainWindow(nullptr);
    CCaptureEngine::SetApplicationEngine(nullptr);
    if (engine_) engine_->Release();
    engine_ = nullptr;
    options_.reset();
    classFactory_.Revoke();
    if (oleInitialized_) ::OleUninitialize();
    return exitCode_;
}
