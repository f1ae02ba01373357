#include "capture/CaptureEngine.h"

#include "capture/RegionCaptureWnd.h"
#include "capture/WindowCaptureWnd.h"
#include "capture/TraceTimer.h"
#include "options/CaptureOptions.h"
#include "output/PostProcessing.h"
#include "platform/ComModule.h"
#include "platform/FileSystem.h"
#include "platform/Foreground.h"
#include "platform/Gdi.h"
#include "uikit/CorvaneApp.h"

#include <mmsystem.h>

namespace {

long g_busy = CCaptureEngine::kIdle;
CaptureOptions* g_processOptions = nullptr;
HWND g_mainWindow = nullptr;

constexpr wchar_t kOverlayClass[] = L"SnapwellCaptureOverlay";

RECT ScreenRect() { return RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}; }

// Creates an overlay over the whole screen and gives it the keyboard, so
// that Escape reaches it and switching away cancels it.
bool ShowOverlay(BKImageCaptureWnd& overlay) {
    if (!overlay.Create(kOverlayClass, CS_SAVEBITS, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"", WS_POPUP | WS_VISIBLE,
                        ScreenRect(), nullptr)) {
        return false;
    }
    ::SetForegroundWindow(overlay.hwnd());
    ::SetFocus(overlay.hwnd());
    return true;
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
    // The engine works on without its toolbar window when that cannot be made.
    if (toolbar_.CreateHidden()) toolbarWindow_ = toolbar_.hwnd();
    messageWindow_.Create(L"SnapwellEngineMessages", 0, 0, L"", 0, RECT{}, HWND_MESSAGE);
}

CCaptureEngine::~CCaptureEngine() { platform::ComModule::Unlock(); }

void CCaptureEngine::SetProcessOptions(CaptureOptions* options) { g_processOptions = options; }
CaptureOptions* CCaptureEngine::ProcessOptions() { return g_processOptions; }
void CCaptureEngine::SetProcessMainWindow(HWND main) { g_mainWindow = main; }
CaptureOptions* CCaptureEngine::Options() const { return ownOptions_ ? ownOptions_ : g_processOptions; }
HWND CCaptureEngine::ClipboardOwner() const { return g_mainWindow ? g_mainWindow : messageWindow_.hwnd(); }
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
    if (g_busy != kIdle) return kStatusBusy;
    if (g_mainWindow != nullptr) platform::BringToForeground(g_mainWindow);
    if (toolbarWindow_ != nullptr)
        ::SetWindowPos(toolbarWindow_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::RebuildToolBar() {
    toolbar_.Rebuild();
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::DisplayOptionsDlg() {
    if (g_busy != kIdle) return kStatusBusy;
    BusyScope busy(kBusyOptionsDialog);
    try {
        if (CCorvaneApp* app = CCorvaneApp::Current()) app->ShowOptionsDialog();
    } catch (...) {
    }
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::About() {
    if (g_busy != kIdle) return kStatusBusy;
    BusyScope busy(kBusyAbout);
    try {
        if (CCorvaneApp* app = CCorvaneApp::Current()) app->ShowAboutDialog();
    } catch (...) {
    }
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::ResizeApplication() {
    if (g_busy != kIdle) return kStatusBusy;
    if (Options() == nullptr) return kStatusNoOptions;
    // The resize dialog is not built yet: the request is not served.
    return kStatusBusy;
}

// Hides a visible toolbar for the grab and shows it again afterwards.
class CCaptureEngine::ToolbarHidden {
public:
    explicit ToolbarHidden(HWND toolbar) : toolbar_(toolbar) {
        wasVisible_ = toolbar_ != nullptr && ::IsWindowVisible(toolbar_) == TRUE;
        if (wasVisible_) ::ShowWindow(toolbar_, SW_HIDE);
        ::Sleep(100);
        // The place where the toolbar was is repainted before the grab.
        ::RedrawWindow(nullptr, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    ~ToolbarHidden() {
        if (wasVisible_) ::ShowWindow(toolbar_, SW_SHOW);
    }

private:
    HWND toolbar_;
    bool wasVisible_ = false;
};

void CCaptureEngine::PlayCaptureSound() {
    CaptureOptions* options = Options();
    if (options == nullptr || options->GetProgramOption(L"PlaySound", false) != L"1") return;
    ++soundsPlayed_;
    ::PlaySoundW(L"TAKE_PHOTO_WAV", ::GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

int CCaptureEngine::PostProcess(CCaptureImage& image) {
    CaptureOptions* options = Options();
    return options ? ImagePostProcessing(*options, image, ClipboardOwner()) : 0;
}

STDMETHODIMP CCaptureEngine::CaptureFullScreen() {
    if (g_busy != kIdle) return kStatusBusy;
    BusyScope busy(kBusyFullScreen);
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    try {
        ToolbarHidden toolbar(toolbarWindow_);
        TraceTimer trace(L"CCaptureEngine::CaptureFullScreen");
        options->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeFullScreen)));
        const HWND desktop = ::GetDesktopWindow();
        RECT rect{};
        ::GetWindowRect(desktop, &rect);
        rect.right = std::min<LONG>(rect.right, ::GetSystemMetrics(SM_CXSCREEN));
        rect.bottom = std::min<LONG>(rect.bottom, ::GetSystemMetrics(SM_CYSCREEN));
        rect.left = std::max<LONG>(rect.left, 0);
        rect.top = std::max<LONG>(rect.top, 0);
        if (rect.right - rect.left <= 0 || rect.bottom - rect.top <= 0) return kStatusOk;
        ::SetWindowPos(desktop, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        // Only the picker's desktop grab is used; its window is never created.
        WindowCaptureWnd grab(options);
        if (grab.CaptureDesktop()) {
            PlayCaptureSound();
            PostProcess(grab.m_BackGround);
        }
        ::SetWindowPos(desktop, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        grab.RestoreCursor();
    } catch (...) {
        // The capture ends without an image; the toolbar and busy state are restored.
    }
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::CaptureWindow() {
    if (g_busy != kIdle) return kStatusBusy;
    // Without options there is nothing to do with a picture: no overlay.
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    BusyScope busy(kBusyWindow);
    try {
        ToolbarHidden toolbar(toolbarWindow_);
        options->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeWindow)));
        WindowCaptureWnd picker(options);
        picker.BuildWindowList(false);
        picker.CaptureDesktop();
        if (ShowOverlay(picker)) {
            picker.RunModalLoop();
            if (picker.GetResult() == 1) {
                picker.Destroy();
                // A click over no window picks nothing that could be saved.
                const RECT box = picker.SelectionBounds();
                if (box.right > box.left && box.bottom > box.top) {
                    PlayCaptureSound();
                    CCaptureImage image;
                    if (picker.Compose(image)) PostProcess(image);
                }
            }
        }
        picker.RestoreCursor();
    } catch (...) {
        // The capture ends without an image; the toolbar and busy state are restored.
    }
    return kStatusOk;
}

STDMETHODIMP CCaptureEngine::CaptureRegion() {
    if (g_busy != kIdle) return kStatusBusy;
    CaptureOptions* options = Options();
    if (options == nullptr) return kStatusNoOptions;
    BusyScope busy(kBusyRegion);
    try {
        ToolbarHidden toolbar(toolbarWindow_);
        TraceTimer trace(L"CCaptureEngine::CaptureRegion");
        options->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeRectangle)));
        RegionCaptureWnd overlay(options);
        overlay.BuildWindowList(false);
        overlay.CaptureDesktop();
        if (ShowOverlay(overlay)) {
            trace.Trace(L"Before Modal Loop");
            overlay.RunModalLoop();
            if (overlay.GetResult() == 1) {
                const RECT r = overlay.GetSelectedRect();
                overlay.Destroy();
                CropFromBackground(r.left, r.top, r.right - r.left, r.bottom - r.top, overlay.m_BackGround);
            }
        }
        overlay.RestoreCursor();
    } catch (...) {
    }
    return kStatusOk;
}

bool CCaptureEngine::CropFromBackground(long x, long y, long width, long height, const CCaptureImage& background) {
    // A click without a drag selects nothing that could be saved.
    if (width <= 0 || height <= 0) return false;
    try {
        CCaptureImage image;
        PlayCaptureSound();
        image.SetXDPI(background.GetXDPI());
        image.SetYDPI(background.GetYDPI());
        const HWND desktop = ::GetDesktopWindow();
        platform::WindowDc screen(desktop);
        platform::MemoryDc cropDc(screen.get()), frozenDc(screen.get());
        platform::UniqueHbitmap crop(::CreateCompatibleBitmap(screen.get(), width, height));
        platform::UniqueHbitmap frozen(
            ::CreateCompatibleBitmap(screen.get(), background.Width(), background.Height()));
        if (!screen || !cropDc || !frozenDc || !crop || !frozen) return false;
        {
            platform::SelectedObject selectCrop(cropDc.get(), crop.get());
            platform::SelectedObject selectFrozen(frozenDc.get(), frozen.get());
            ::BitBlt(frozenDc.get(), 0, 0, background.Width(), background.Height(), screen.get(), 0, 0, SRCCOPY);
            background.Draw(frozenDc.get(), 0, 0);
            ::BitBlt(cropDc.get(), 0, 0, width, height, frozenDc.get(), x, y, SRCCOPY);
        }
        if (!image.CreateFromHBITMAP(crop.get())) return false;
        PostProcess(image);
        return true;
    } catch (...) {
        return false;
    }
}

STDMETHODIMP CCaptureEngine::CaptureRect(LONG x, LONG y, LONG width, LONG height, HBITMAP*) {
    if (Options() == nullptr) return kStatusNoOptions;
    // An empty or inverted rectangle holds no picture.
    if (width <= 0 || height <= 0) return kStatusOk;
    try {
        CCaptureImage image;
        PlayCaptureSound();
        platform::WindowDc screen(::GetDesktopWindow());
        platform::MemoryDc memory(screen.get());
        platform::UniqueHbitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
        if (!screen || !memory || !bitmap) return kStatusOk;
        {
            platform::SelectedObject selected(memory.get(), bitmap.get());
            ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), x, y, SRCCOPY);
        }
        if (image.CreateFromHBITMAP(bitmap.get())) PostProcess(image);
    } catch (...) {
    }
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
