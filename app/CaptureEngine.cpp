#include "app/CaptureEngine.h"

#include "app/ShotDeskConstants.h"
#include "capture/LastRectangle.h"
#include "options/CaptureOptions.h"
#include "platform/ComModule.h"
#include "platform/FileSystem.h"
#include "platform/Foreground.h"
#include "uikit/CorvaneApp.h"

#include <utility>

namespace {

long g_busy = CCaptureEngine::kIdle;
CaptureOptions* g_processOptions = nullptr;
HWND g_mainWindow = nullptr;
CCaptureEngine* g_applicationEngine = nullptr;
bool g_programRequest = false;
CCaptureEngine::OutcomeListener g_outcomeListener;
MarkupHandler g_markupHandler;

// A request refused because a dialog is open brings that dialog forward.
void BringOpenDialogForward() {
    if (CCorvaneApp* app = CCorvaneApp::Current()) app->BringCurrentDialogForward();
}

}  // namespace

// Sets the busy state for one operation and clears it on every way out.
class CCaptureEngine::BusyScope {
public:
    explicit BusyScope(long code) { g_busy = code; }
    ~BusyScope() { g_busy = kIdle; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

namespace {

// The interface's type information, loaded once from the program file (or
// the .tlb beside it, or the registered library).
ITypeInfo* EngineTypeInfo() {
    static ITypeInfo* info = [] {
        ITypeLib* library = nullptr;
        const std::wstring module = platform::ModuleFileName(nullptr);
        if (FAILED(::LoadTypeLibEx(module.c_str(), REGKIND_NONE, &library))) {
            const std::wstring tlb = module.substr(0, module.find_last_of(L'.')) + L".tlb";
            if (FAILED(::LoadTypeLibEx(tlb.c_str(), REGKIND_NONE, &library)) &&
                FAILED(::LoadRegTypeLib(LIBID_ShotDeskLib, 1, 0, LOCALE_NEUTRAL, &library)))
                return static_cast<ITypeInfo*>(nullptr);
        }
        ITypeInfo* found = nullptr;
        library->GetTypeInfoOfGuid(IID_ICaptureEngine, &found);
        library->Release();
        return found;
    }();
    return info;
}

}  // namespace

CCaptureEngine::CCaptureEngine() {
    platform::ComModule::Lock();
    // In the interactive program the application's object owns the one
    // toolbar, and every other object shows and hides that one. The engine
    // works on without its toolbar window when that cannot be made.
    if (g_applicationEngine == nullptr && toolbar_.CreateHidden()) toolbarWindow_ = toolbar_.hwnd();
    messageWindow_.Create(L"SnapwellEngineMessages", 0, 0, L"", 0, RECT{}, HWND_MESSAGE);
}

CCaptureEngine::~CCaptureEngine() { platform::ComModule::Unlock(); }

void CCaptureEngine::SetProcessOptions(CaptureOptions* options) { g_processOptions = options; }
CaptureOptions* CCaptureEngine::ProcessOptions() { return g_processOptions; }
void CCaptureEngine::SetProcessMainWindow(HWND main) { g_mainWindow = main; }
void CCaptureEngine::SetApplicationEngine(CCaptureEngine* engine) { g_applicationEngine = engine; }
CCaptureEngine* CCaptureEngine::ApplicationEngine() { return g_applicationEngine; }
CCaptureEngine& CCaptureEngine::ToolbarOwner() { return g_applicationEngine ? *g_applicationEngine : *this; }
const CCaptureEngine& CCaptureEngine::ToolbarOwner() const {
    return g_applicationEngine ? *g_applicationEngine : *this;
}
HWND CCaptureEngine::ProcessMainWindow() { return g_mainWindow; }
CaptureOptions* CCaptureEngine::Options() const { return ownOptions_ ? ownOptions_ : g_processOptions; }
HWND CCaptureEngine::ClipboardOwner() const { return g_mainWindow ? g_mainWindow : messageWindow_.hwnd(); }
CaptureContext CCaptureEngine::Context(CaptureOptions& options, bool ownRequest, bool withUser) const {
    CaptureContext context{options, ToolbarOwner().toolbarWindow_, ClipboardOwner(), ProgramKeyPath()};
    if (withUser && g_markupHandler) {
        context.markup = [](CCaptureImage& image) {
            // A handler that fails leaves the picture to go on unmarked. It
            // is called through a copy, so that setting another one while
            // the window is open cannot free the running one.
            try {
                const MarkupHandler handler = g_markupHandler;
                return handler ? handler(image) : MarkupResult::Done;
            } catch (...) {
                return MarkupResult::Done;
            }
        };
    }
    if (ownRequest && g_outcomeListener) {
        context.onOutcome = [](const CaptureOutcome& outcome) {
            try {
                if (g_outcomeListener) g_outcomeListener(outcome);
            } catch (...) {
                // A listener that fails leaves the capture as it was.
            }
        };
    }
    return context;
}
CCaptureEngine::ProgramRequest::ProgramRequest() { g_programRequest = true; }
CCaptureEngine::ProgramRequest::~ProgramRequest() { g_programRequest = false; }
bool CCaptureEngine::TakeProgramRequest() { return std::exchange(g_programRequest, false); }
void CCaptureEngine::SetOutcomeListener(OutcomeListener listener) { g_outcomeListener = std::move(listener); }
void CCaptureEngine::SetMarkupHandler(MarkupHandler handler) { g_markupHandler = std::move(handler); }
long CCaptureEngine::BusyState() { return g_busy; }

STDMETHODIMP CCaptureEngine::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICaptureEngine) {
        *out = static_cast<ICaptureEngine*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CCaptureEngine::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) CCaptureEngine::Release() {
    const LONG count = ::InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CCaptureEngine::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = EngineTypeInfo() ? 1 : 0;
    return S_OK;
}

STDMETHODIMP CCaptureEngine::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* type = EngineTypeInfo();
    if (type == nullptr) return TYPE_E_CANTLOADLIBRARY;
    type->AddRef();
    *info = type;
    return S_OK;
}

STDMETHODIMP CCaptureEngine::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* type = EngineTypeInfo();
    if (type == nullptr) return TYPE_E_CANTLOADLIBRARY;
    return ::DispGetIDsOfNames(type, names, count, ids);
}

STDMETHODIMP CCaptureEngine::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO* exception, UINT* badArgument) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* type = EngineTypeInfo();
    if (type == nullptr) return TYPE_E_CANTLOADLIBRARY;
    return ::DispInvoke(static_cast<ICaptureEngine*>(this), type, id, flags, params, result, exception,
                        badArgument);
}

STDMETHODIMP CCaptureEngine::SetOptions(ULONG optionsInterface) {
    // A 32-bit value cannot carry a 64-bit address, and a value from
    // another process means nothing here: only the process's own options
    // object is recognised.
    if (g_processOptions == nullptr ||
        static_cast<ULONG>(reinterpret_cast<UINT_PTR>(g_processOptions)) != optionsInterface)
        return E_INVALIDARG;
    ownOptions_ = nullptr;
    return S_OK;
}

STDMETHODIMP CCaptureEngine::GetOptions(IDispatch** optionsInterface) {
    if (optionsInterface == nullptr) return E_POINTER;
    *optionsInterface = nullptr;
    return S_FALSE;
}

STDMETHODIMP CCaptureEngine::ShowToolBar() {
    // Calls that capture nothing take the program's mark too, so that a
    // client's call during their dialogs cannot find it.
    TakeProgramRequest();
    if (g_busy != kIdle) {
        BringOpenDialogForward();
        return kStatusBusy;
    }
    if (g_mainWindow != nullptr) platform::BringToForeground(g_mainWindow);
    if (HWND toolbar = ToolbarOwner().toolbarWindow_)
        ::SetWindowPos(toolbar, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::RebuildToolBar() {
    ToolbarOwner().toolbar_.RebuildToolBar();
    return kStatusOk;
}

// One options dialog and one about dialog at a time, whoever asks: a second
// request brings the open one forward and answers S_FALSE, and so does a
// process that has no dialogs to show.
long CCaptureEngine::ShowApplicationDialog(long busyCode, int (CCorvaneApp::*show)()) {
    TakeProgramRequest();
    if (g_busy != kIdle) {
        BringOpenDialogForward();
        return kStatusBusy;
    }
    BusyScope busy(busyCode);
    int shown = CCorvaneApp::kDialogNotShown;
    try {
        if (CCorvaneApp* app = CCorvaneApp::Current()) shown = (app->*show)();
    } catch (...) {
    }
    return shown == CCorvaneApp::kDialogNotShown ? kStatusBusy : kStatusOk;
}

STDMETHODIMP CCaptureEngine::DisplayOptionsDlg() {
    return ShowApplicationDialog(kBusyOptionsDialog, &CCorvaneApp::ShowOptionsDialog);
}

STDMETHODIMP CCaptureEngine::About() { return ShowApplicationDialog(kBusyAbout, &CCorvaneApp::ShowAboutDialog); }

STDMETHODIMP CCaptureEngine::ResizeApplication() {
    TakeProgramRequest();
    if (g_busy != kIdle) return kStatusBusy;
    BusyScope busy(kBusyResize);
    operations_.ResizeApplication(ToolbarOwner().toolbarWindow_);
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::CaptureFullScreen() { return CaptureAfter(DelayedCapture::FullScreen, 0); }

STDMETHODIMP CCaptureEngine::CaptureWindow() { return CaptureAfter(DelayedCapture::Window, 0); }

STDMETHODIMP CCaptureEngine::CaptureRegion() { return CaptureAfter(DelayedCapture::Region, 0); }

long CCaptureEngine::CaptureAfter(DelayedCapture capture, int seconds, const CountdownWnd::TickHandler& onTick) {
    const bool ownRequest = TakeProgramRequest();
    if (g_busy != kIdle) return kStatusBusy;
    // Without options there is nothing to do with a picture: no countdown,
    // no overlay.
    if (Options() == nullptr) return kStatusNoOptions;
    const long busyCode = capture == DelayedCapture::FullScreen ? kBusyFullScreen
                          : capture == DelayedCapture::Window   ? kBusyWindow
                                                                : kBusyRegion;
    BusyScope busy(busyCode);
    if (seconds != 0) {
        CountdownWnd countdown;
        // Every capture hides the toolbar and lets the screen settle for
        // 100 ms before it grabs; the countdown ends that much sooner.
        constexpr DWORD kBeforeTheGrabMs = 100;
        if (countdown.Run(seconds, onTick, kBeforeTheGrabMs) != CountdownWnd::Outcome::Elapsed)
            return kStatusCancelled;
    }
    // Read again: the options may have gone while the countdown ran.
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    switch (capture) {
        case DelayedCapture::FullScreen: operations_.CaptureFullScreen(Context(*options, ownRequest)); break;
        case DelayedCapture::Window: operations_.CaptureWindow(Context(*options, ownRequest)); break;
        case DelayedCapture::Region: operations_.CaptureRegion(Context(*options, ownRequest)); break;
    }
    return kStatusOk;
}

long CCaptureEngine::CaptureLastRectangle() {
    const bool ownRequest = TakeProgramRequest();
    if (g_busy != kIdle) return kStatusBusy;
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    RECT last{};
    if (!ReadLastRectangle(ProgramKeyPath(), last)) return kStatusNoLastRectangle;
    BusyScope busy(kBusyRegion);
    // Post-processed with the rectangle's profile, as the rectangle it
    // repeats was.
    options->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeRectangle)));
    operations_.CaptureRect(Context(*options, ownRequest), last.left, last.top, last.right - last.left, last.bottom - last.top);
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::CaptureRect(LONG x, LONG y, LONG width, LONG height, HBITMAP*) {
    const bool ownRequest = TakeProgramRequest();
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    // Nobody sits at this capture to mark it up.
    operations_.CaptureRect(Context(*options, ownRequest, false), x, y, width, height);
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::Capture() {
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    platform::Variant mode;
    if (!options->GetProperty(L"CaptureMode", mode) || mode.type() != VT_I4) return kStatusBusy;
    switch (mode.get().lVal) {
        case kCaptureModeFullScreen: CaptureFullScreen(); break;
        case kCaptureModeWindow: CaptureWindow(); break;
        case kCaptureModeTopWindows: CaptureTopWindows(); break;
        default: break;
    }
    return kStatusOk;
}
