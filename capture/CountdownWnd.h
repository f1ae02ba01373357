#pragma once
// The countdown before a delayed capture: a small topmost window near the
// bottom-right corner of the work area of the pointer's monitor, showing the
// seconds left, large. It never takes the focus, so the window the user
// prepared stays active and looks in the picture as it should. Escape (a
// hot key held only while the countdown runs) or a click on it cancels.
// Its text is the number it shows.
#include "platform/Window.h"

#include <functional>

class CountdownWnd : public platform::Window {
public:
    enum class Outcome { Elapsed, Cancelled, Quit };
    // The longest delay a countdown takes, in seconds.
    static constexpr int kMaxSeconds = 3600;
    // The time, before the delay is up, at which the window goes, so that
    // what lay beneath it is repainted when the delay ends.
    static constexpr DWORD kRepaintMs = 150;
    // Told the seconds left each time they change (the whole delay first),
    // and 0 once the window is gone, whatever the outcome.
    using TickHandler = std::function<void(int secondsLeft)>;

    CountdownWnd() = default;
    ~CountdownWnd() override;

    // Counts down in a message loop (never in Sleep), so that the thread's
    // windows go on answering. Returns once the window is gone and the
    // screen beneath it repainted. Quit: the thread was asked to quit (the
    // session ends, the program exits); the quit message is posted again
    // for the outer loop. A delay outside 0 to kMaxSeconds counts as
    // cancelled; 0 shows nothing and elapses at once. A capture that needs
    // some time before its grab asks for the countdown to end readyAheadMs
    // sooner, so that the grab comes when the delay is up.
    Outcome Run(int seconds, const TickHandler& onTick = {}, DWORD readyAheadMs = 0);

    // The place and size of the window at the screen's DPI for a pointer on
    // the monitor whose work area is given.
    static RECT PlaceFor(const RECT& workArea, int dpi);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    enum Result { kQuit = 0, kElapsed = 1, kCancelled = 2 };
    void Tick();
    void Paint(HDC dc);
    void Cancel();

    ULONGLONG deadline_ = 0;
    int shown_ = -1;
    int dpi_ = 96;
    bool escapeHeld_ = false;
    TickHandler onTick_;
};
