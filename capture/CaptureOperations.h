#pragma once
// The captures themselves: the grab, the overlays, the crop and the hand-over
// to post-processing, and the resize of a picked window. A plain class that
// knows nothing of COM or of the toolbar: each operation is given the
// options, the window to hide for the grab and the clipboard's owner.
#include "output/CaptureImage.h"
#include "output/PostProcessing.h"

#include <windows.h>

#include <functional>
#include <string>

class BKImageCaptureWnd;
class CaptureOptions;
class ResizePickerWnd;

struct CaptureContext {
    CaptureOptions& options;
    // Hidden for the grab when it is visible and shown again afterwards; may
    // be null.
    HWND toolbar = nullptr;
    // The window of this process that owns copied captures.
    HWND clipboardOwner = nullptr;
    // The program's key below HKEY_CURRENT_USER, where the last rectangle
    // and the recent captures are kept; empty keeps nothing.
    std::wstring programKey;
    // Hears what came of each post-processed picture; may be empty.
    std::function<void(const CaptureOutcome&)> onOutcome;
    // Opens the markup window on a capture; empty for a capture without a
    // user, which goes on unmarked.
    MarkupHandler markup;
};

class CaptureOperations {
public:
    // Each ends quietly, without an image, when the user cancels or the
    // platform fails; none throws.
    void CaptureFullScreen(const CaptureContext& context);
    void CaptureWindow(const CaptureContext& context);
    void CaptureRegion(const CaptureContext& context);
    // (x, y, width, height) of the screen as it is now, without an overlay.
    void CaptureRect(const CaptureContext& context, long x, long y, long width, long height);
    // Cuts (x, y, width, height) out of the frozen desktop and post-processes
    // it; false when there was nothing to cut or it failed.
    // markupOnce: the user asked for the markup window for this capture.
    bool CropFromBackground(const CaptureContext& context, long x, long y, long width, long height,
                            const CCaptureImage& background, bool markupOnce = false);
    // Picks a top-level window and gives it the size the user types.
    void ResizeApplication(HWND toolbar);

    void PlayCaptureSound(const CaptureOptions& options);
    // How many times the system took the shutter sound.
    int SoundsPlayed() const { return soundsPlayed_; }

private:
    int soundsPlayed_ = 0;
    // The last rectangle captured in this run (screen coordinates), for a
    // program key that cannot be read or written.
    RECT lastRectangle_{};
};

// Puts an overlay over every monitor and gives it the keyboard, so that
// Escape reaches it and switching away cancels it: a capture overlay, or
// the resize picker (which the pointer's look-ups pass through). False when
// the window could not be made.
bool ShowCaptureOverlay(BKImageCaptureWnd& overlay);
bool ShowResizePicker(ResizePickerWnd& picker);

// Gives a window with a sizing border the outer size width x height,
// restored from minimised or maximised, its top-left corner where it was and
// behind every other window. False for a window of fixed size, which keeps
// its size. Another thread's window changes when that thread next reads its
// messages: a window that does not answer holds nobody up.
bool ResizeWindowKeepingCorner(HWND window, int width, int height);
