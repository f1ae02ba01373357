#pragma once
// The capture operations behind the automation interface. Interactive
// captures are guarded by the busy state: while one runs its overlay, a
// second request returns 1 and touches nothing.
#include "output/CaptureImage.h"

#include <windows.h>

class CaptureOptions;

class CCaptureEngine {
public:
    enum Busy : long { kIdle = 0, kBusyFullScreen = 1, kBusyWindow = 2, kBusyRegion = 3 };
    static constexpr long kStatusOk = 0;       // S_OK
    static constexpr long kStatusBusy = 1;     // S_FALSE
    static constexpr long kStatusNoOptions = 0x00080012;

    void SetOptions(CaptureOptions* options) { options_ = options; }
    CaptureOptions* Options() const { return options_; }
    // The window hidden for the grab and shown again afterwards.
    void SetToolbarWindow(HWND toolbar) { toolbar_ = toolbar; }
    // The clipboard owner of copied captures.
    void SetMainWindow(HWND main) { main_ = main; }
    long BusyState() const { return busy_; }

    long CaptureFullScreen();
    long CaptureWindow();
    long CaptureRegion();
    long CaptureRect(long x, long y, long width, long height, HBITMAP* bitmap);
    long Capture();
    long CaptureTopWindows() { return kStatusOk; }

    // Cuts (x, y, width, height) out of the frozen desktop and post-processes it.
    bool CropFromBackground(long x, long y, long width, long height, const CCaptureImage& background);
    void PlayCaptureSound();
    // How many times a capture asked for the shutter sound.
    int SoundsPlayed() const { return soundsPlayed_; }

private:
    class BusyScope;
    class ToolbarHidden;
    int PostProcess(CCaptureImage& image);

    CaptureOptions* options_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND main_ = nullptr;
    long busy_ = kIdle;
    int soundsPlayed_ = 0;
};
