#include "capture/CaptureOperations.h"

#include "capture/LastRectangle.h"

#include "capture/RegionCaptureWnd.h"
#include "capture/ResizeAppDlg.h"
#include "capture/ResizePickerWnd.h"
#include "capture/WindowCaptureWnd.h"
#include "options/CaptureOptions.h"
#include "output/PostProcessing.h"
#include "output/RecentCaptures.h"
#include "platform/Gdi.h"
#include "platform/Monitors.h"
#include "platform/TraceTimer.h"

#include <mmsystem.h>

namespace {

constexpr wchar_t kOverlayClass[] = L"SnapwellCaptureOverlay";
constexpr wchar_t kResizePickerClass[] = L"SnapwellResizePicker";

// Creates an overlay over every monitor and gives it the keyboard, so that
// Escape reaches it and switching away cancels it. It paints the frozen
// desktop itself; the system saves nothing beneath it.
bool ShowOverlay(BKImageCaptureWnd& overlay, const wchar_t* className, DWORD exStyle) {
    if (!overlay.Create(className, 0, exStyle, L"", WS_POPUP | WS_VISIBLE, platform::VirtualScreen(), nullptr))
        return false;
    ::SetForegroundWindow(overlay.hwnd());
    ::SetFocus(overlay.hwnd());
    return true;
}

}  // namespace

bool ShowCaptureOverlay(BKImageCaptureWnd& overlay) {
    return ShowOverlay(overlay, kOverlayClass, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
}

bool ShowResizePicker(ResizePickerWnd& picker) {
    return ShowOverlay(picker, kResizePickerClass, WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW);
}

namespace {

// Every saved file joins the user's recent captures, whoever asked for
// the picture. markupOnce: the user asked for the markup window for this
// capture alone.
int PostProcess(const CaptureContext& context, CCaptureImage& image, bool markupOnce = false) {
    CaptureOutcome outcome;
    const int ran =
        ImagePostProcessing(context.options, image, context.clipboardOwner, &outcome, {context.markup, markupOnce});
    if (!outcome.savedPath.empty()) AddRecentCapture(context.programKey, outcome.savedPath);
    if (context.onOutcome) context.onOutcome(outcome);
    return ran;
}

// Hides a visible toolbar for the grab and shows it again afterwards.
class ToolbarHidden {
public:
    explicit ToolbarHidden(HWND toolbar) : toolbar_(toolbar) {
        wasVisible_ = toolbar_ != nullptr && ::IsWindowVisible(toolbar_) == TRUE;
        RECT place{};
        if (wasVisible_) {
            ::GetWindowRect(toolbar_, &place);
            ::ShowWindow(toolbar_, SW_HIDE);
        }
        ::Sleep(100);
        // The desktop is repainted at once, the place where the toolbar was
        // included, so that the grab shows what lies beneath it (this
        // process's own windows too, which cannot paint while it grabs).
        const UINT where = wasVisible_ ? RDW_INVALIDATE | RDW_ERASE : 0;
        ::RedrawWindow(nullptr, wasVisible_ ? &place : nullptr, nullptr, where | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    ~ToolbarHidden() {
        if (wasVisible_) ::ShowWindow(toolbar_, SW_SHOW);
    }
    ToolbarHidden(const ToolbarHidden&) = delete;
    ToolbarHidden& operator=(const ToolbarHidden&) = delete;

private:
    HWND toolbar_;
    bool wasVisible_ = false;
};

}  // namespace

void CaptureOperations::PlayCaptureSound(const CaptureOptions& options) {
    if (options.GetProgramOption(L"PlaySound", false) != L"1") return;
    // Counted once the system took the sound (its resource found and its
    // playing started), not merely asked for.
    if (::PlaySoundW(L"TAKE_PHOTO_WAV", ::GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT))
        ++soundsPlayed_;
}

void CaptureOperations::CaptureFullScreen(const CaptureContext& context) {
    try {
        ToolbarHidden toolbar(context.toolbar);
        TraceTimer trace(L"CCaptureEngine::CaptureFullScreen");
        context.options.SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeFullScreen)));
        // The picture holds every monitor: the virtual screen's rectangle.
        const RECT rect = platform::VirtualScreen();
        if (rect.right - rect.left <= 0 || rect.bottom - rect.top <= 0) return;
        const HWND desktop = ::GetDesktopWindow();
        ::SetWindowPos(desktop, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        // Only the picker's desktop grab is used; its window is never created.
        WindowCaptureWnd grab(&context.options);
        if (grab.CaptureDesktop()) {
            PlayCaptureSound(context.options);
            PostProcess(context, grab.m_BackGround);
        }
        ::SetWindowPos(desktop, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        grab.RestoreCursor();
    } catch (...) {
        // The capture ends without an image; the toolbar comes back.
    }
}

void CaptureOperations::CaptureWindow(const CaptureContext& context) {
    try {
        ToolbarHidden toolbar(context.toolbar);
        context.options.SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeWindow)));
        WindowCaptureWnd picker(&context.options);
        picker.BuildWindowList(false);
        picker.GrabDesktop();
        if (ShowCaptureOverlay(picker)) {
            picker.RunModalLoop();
            if (picker.GetResult() == 1) {
                picker.Destroy();
                // A click over no window picks nothing that could be saved.
                const RECT box = picker.SelectionBounds();
                if (box.right > box.left && box.bottom > box.top && picker.ConvertGrab()) {
                    PlayCaptureSound(context.options);
                    CCaptureImage image;
                    if (picker.Compose(image)) PostProcess(context, image, picker.MarkupRequested());
                }
            }
        }
        picker.RestoreCursor();
    } catch (...) {
        // The capture ends without an image; the toolbar comes back.
    }
}

void CaptureOperations::CaptureRegion(const CaptureContext& context) {
    try {
        ToolbarHidden toolbar(context.toolbar);
        TraceTimer trace(L"CCaptureEngine::CaptureRegion");
        context.options.SetProperty(L"CaptureMode", platform::Variant(static_cast<long>(kCaptureModeRectangle)));
        // The rectangle overlay asks nothing of the windows beneath it, so it
        // builds no window list.
        RegionCaptureWnd overlay(&context.options);
        RECT last{};
        if (ReadLastRectangle(context.programKey, last)) {
            overlay.SetLastRectangle(last);
        } else if (!::IsRectEmpty(&lastRectangle_) && ::MonitorFromRect(&lastRectangle_, MONITOR_DEFAULTTONULL)) {
            overlay.SetLastRectangle(lastRectangle_);
        }
        overlay.GrabDesktop();
        if (ShowCaptureOverlay(overlay)) {
            trace.Trace(L"Before Modal Loop");
            overlay.RunModalLoop();
            if (overlay.GetResult() == 1) {
                const RECT r = overlay.GetSelectedRect();
                overlay.Destroy();
                if (r.right > r.left && r.bottom > r.top) {
                    // Kept in screen coordinates, for R in a later overlay.
                    lastRectangle_ = r;
                    ::OffsetRect(&lastRectangle_, overlay.Origin().x, overlay.Origin().y);
                    WriteLastRectangle(context.programKey, lastRectangle_);
                }
                if (overlay.ConvertGrab())
                    CropFromBackground(context, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                       overlay.m_BackGround, overlay.MarkupRequested());
            }
        }
        overlay.RestoreCursor();
    } catch (...) {
    }
}

bool CaptureOperations::CropFromBackground(const CaptureContext& context, long x, long y, long width, long height,
                                           const CCaptureImage& background, bool markupOnce) {
    // A click without a drag selects nothing that could be saved.
    if (width <= 0 || height <= 0) return false;
    try {
        CCaptureImage image;
        PlayCaptureSound(context.options);
        image.SetXDPI(background.GetXDPI());
        image.SetYDPI(background.GetYDPI());
        platform::WindowDc screen(nullptr);
        platform::MemoryDc cropDc(screen.get());
        platform::UniqueHbitmap crop(::CreateCompatibleBitmap(screen.get(), width, height));
        if (!screen || !cropDc || !crop) return false;
        {
            // Only the rectangle leaves the frozen picture: the crop's own
            // bounds clip the transfer.
            platform::SelectedObject selectCrop(cropDc.get(), crop.get());
            background.Draw(cropDc.get(), -x, -y);
        }
        if (!image.CreateFromHBITMAP(crop.get())) return false;
        PostProcess(context, image, markupOnce);
        return true;
    } catch (...) {
        return false;
    }
}

void CaptureOperations::CaptureRect(const CaptureContext& context, long x, long y, long width, long height) {
    // An empty or inverted rectangle holds no picture.
    if (width <= 0 || height <= 0) return;
    try {
        CCaptureImage image;
        PlayCaptureSound(context.options);
        // Screen coordinates: left of or above the primary monitor they are
        // negative.
        platform::WindowDc screen(nullptr);
        platform::MemoryDc memory(screen.get());
        platform::UniqueHbitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
        if (!screen || !memory || !bitmap) return;
        {
            platform::SelectedObject selected(memory.get(), bitmap.get());
            ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), x, y, SRCCOPY);
        }
        if (image.CreateFromHBITMAP(bitmap.get())) PostProcess(context, image);
    } catch (...) {
    }
}

void CaptureOperations::ResizeApplication(HWND toolbar) {
    try {
        ToolbarHidden hidden(toolbar);
        // Top-level windows only. The picker shows the desktop as it was
        // grabbed, so it looks the same whether or not the platform lets a
        // window be see-through.
        ResizePickerWnd picker(nullptr);
        picker.BuildWindowList(true);
        picker.GrabDesktop();
        if (ShowResizePicker(picker)) {
            picker.RunModalLoop();
            picker.Destroy();
            const HWND chosen = picker.ChosenWindow();
            if (chosen != nullptr && picker.GetResult() == 1 && ::IsWindow(chosen)) {
                CResizeAppDlg dialog(chosen);
                if (dialog.DoModal(nullptr) == IDOK) ResizeWindowKeepingCorner(chosen, dialog.Width(), dialog.Height());
            }
        }
        picker.RestoreCursor();
    } catch (...) {
        // Nothing is resized; the toolbar comes back.
    }
}

bool ResizeWindowKeepingCorner(HWND window, int width, int height) {
    // A window of fixed size is left as it is, without a word.
    if ((::GetWindowLongPtrW(window, GWL_STYLE) & WS_THICKFRAME) == 0) return false;
    // The window is usually another program's, which may not be answering:
    // the restore and the new size are handed to its thread, in that order,
    // instead of waiting for it. A window of this thread changes at once.
    if (::IsIconic(window) || ::IsZoomed(window)) ::ShowWindowAsync(window, SW_RESTORE);
    return ::SetWindowPos(window, HWND_BOTTOM, 0, 0, width, height,
                          SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS) != FALSE;
}
