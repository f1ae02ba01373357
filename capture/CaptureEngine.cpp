#include "capture/CaptureEngine.h"

#include "capture/RegionCaptureWnd.h"
#include "capture/WindowCaptureWnd.h"
#include "capture/TraceTimer.h"
#include "options/CaptureOptions.h"
#include "output/PostProcessing.h"
#include "platform/Gdi.h"

#include <mmsystem.h>

namespace {

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
    BusyScope(long& busy, long code) : busy_(busy) { busy_ = code; }
    ~BusyScope() { busy_ = kIdle; }

private:
    long& busy_;
};

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
    if (options_ == nullptr || options_->GetProgramOption(L"PlaySound", false) != L"1") return;
    ++soundsPlayed_;
    ::PlaySoundW(L"TAKE_PHOTO_WAV", ::GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

int CCaptureEngine::PostProcess(CCaptureImage& image) {
    return options_ ? ImagePostProcessing(*options_, image, main_) : 0;
}

long CCaptureEngine::CaptureFullScreen() {
    if (busy_ != kIdle) return kStatusBusy;
    BusyScope busy(busy_, kBusyFullScreen);
    if (options_ == nullptr) return kStatusNoOptions;
    try {
        ToolbarHidden toolbar(toolbar_);
        TraceTimer trace(L"CCaptureEngine::CaptureFullScreen");
        options_->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeFullScreen)));
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
        WindowCaptureWnd grab(options_);
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

long CCaptureEngine::CaptureWindow() {
    if (busy_ != kIdle) return kStatusBusy;
    BusyScope busy(busy_, kBusyWindow);
    try {
        ToolbarHidden toolbar(toolbar_);
        if (options_) options_->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeWindow)));
        WindowCaptureWnd picker(options_);
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

long CCaptureEngine::CaptureRegion() {
    if (busy_ != kIdle) return kStatusBusy;
    BusyScope busy(busy_, kBusyRegion);
    try {
        ToolbarHidden toolbar(toolbar_);
        TraceTimer trace(L"CCaptureEngine::CaptureRegion");
        if (options_) options_->SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeRectangle)));
        RegionCaptureWnd overlay(options_);
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

long CCaptureEngine::CaptureRect(long x, long y, long width, long height, HBITMAP*) {
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

long CCaptureEngine::Capture() {
    if (options_ == nullptr) return kStatusNoOptions;
    platform::Variant mode;
    if (!options_->GetProperty(L"CaptureMode", mode) || mode.type() != VT_I4) return kStatusBusy;
    switch (mode.get().lVal) {
        case kCaptureModeFullScreen: CaptureFullScreen(); break;
        case kCaptureModeWindow: CaptureWindow(); break;
        case kCaptureModeTopWindows: CaptureTopWindows(); break;
        default: break;
    }
    return kStatusOk;
}
