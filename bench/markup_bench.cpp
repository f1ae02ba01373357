// How soon the markup window shows a 3840 x 2160 capture, and how long a
// drag of a rectangle and of an arrow takes to repaint per mouse move. The
// window is the program's own, run in this process as a capture runs it;
// medians of the same run, numbers only, nothing passes or fails.
#include "app/MarkupWindow.h"
#include "app/ShotDeskConstants.h"
#include "output/CaptureImage.h"
#include "uikit/CorvaneApp.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr long kWidth = 3840, kHeight = 2160;
constexpr int kRuns = 10;
constexpr int kMoves = 20;
// The window is on screen within this long of the capture.
constexpr double kGoalShownMs = 150;
// A drag's repaint keeps up with 60 frames per second.
constexpr double kGoalDragMs = 16;

class BenchApp : public CCorvaneApp {
public:
    std::wstring GetProductName() const override { return kProductName; }
    std::wstring GetCompanyName() const override { return kCompanyName; }
    std::wstring GetOptionsFileName() const override { return kOptionsFileName; }
    std::wstring GetAppFileName() const override { return kAppFileName; }
};

double NowMs() {
    LARGE_INTEGER t, f;
    ::QueryPerformanceCounter(&t);
    ::QueryPerformanceFrequency(&f);
    return 1e3 * double(t.QuadPart) / double(f.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A screen-like frame: a soft gradient under rows of text-like strokes.
CCaptureImage Frame() {
    CCaptureImage image;
    if (!image.Create(kWidth, kHeight, 24, kImageBmp)) return image;
    for (long y = 0; y < kHeight; ++y) {
        uint8_t* row = image.Row(y);
        for (long x = 0; x < kWidth; ++x) {
            const bool stroke = (y % 24) < 12 && ((x / 3) % 5) < 2 && (x / 400) % 2 == 0;
            row[x * 3] = stroke ? 30 : static_cast<uint8_t>(200 + x % 40);
            row[x * 3 + 1] = stroke ? 30 : static_cast<uint8_t>(210 + y % 30);
            row[x * 3 + 2] = stroke ? 40 : 230;
        }
    }
    return image;
}

MarkupWindow* WindowObject(HWND window) {
    return static_cast<MarkupWindow*>(
        reinterpret_cast<platform::Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
}

// What one run does once the window is up, and what it measured.
struct Session {
    double start = 0;
    double shown = -1;
    HWND window = nullptr;
    bool drag = false;
    std::vector<double> rectangleMoves, arrowMoves;
    size_t marks = 0;  // what the drags left in the document
};
Session* g_session = nullptr;

// Drags on the canvas as the mouse would: the button down, then each move
// sent and the canvas painted before the next, each timed.
void DragOnCanvas(HWND canvas, std::vector<double>& times, int lane) {
    RECT client{};
    ::GetClientRect(canvas, &client);
    const int w = client.right, h = client.bottom;
    POINT p{w / 8 + lane * w / 16, h / 8};
    ::SendMessageW(canvas, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    ::SendMessageW(canvas, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    ::UpdateWindow(canvas);
    for (int i = 0; i < kMoves; ++i) {
        p = POINT{p.x + w / 64, p.y + h / 64};
        const double start = NowMs();
        ::SendMessageW(canvas, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        ::UpdateWindow(canvas);
        times.push_back(NowMs() - start);
    }
    ::SendMessageW(canvas, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    ::UpdateWindow(canvas);
}

// Runs from the window's own loop once it has shown: the drags, then Done.
void CALLBACK DragTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    Session& s = *g_session;
    MarkupWindow* window = WindowObject(s.window);
    HWND canvas = ::FindWindowExW(s.window, nullptr, kMarkupCanvasClass, nullptr);
    if (window == nullptr || canvas == nullptr) {
        ::PostMessageW(s.window, WM_CLOSE, 0, 0);
        return;
    }
    window->SelectTool(MarkupTool::Rectangle);
    DragOnCanvas(canvas, s.rectangleMoves, 0);
    window->SelectTool(MarkupTool::Arrow);
    DragOnCanvas(canvas, s.arrowMoves, 1);
    s.marks = window->Document().Marks().size();
    window->Done();
}

Session RunOnce(CCaptureImage& image, bool drag) {
    Session session;
    session.drag = drag;
    g_session = &session;
    MarkupWindowSetup setup;
    setup.onShown = [&session](HWND window) {
        if (window == nullptr || session.window != nullptr) return;
        session.shown = NowMs() - session.start;
        session.window = window;
        // Measured on from the window's loop, not inside its paint.
        if (session.drag) ::SetTimer(nullptr, 0, 0, DragTimer);
        else ::PostMessageW(window, WM_CLOSE, 0, 0);
    };
    session.start = NowMs();
    MarkupWindow::Run(image, setup);
    g_session = nullptr;
    return session;
}

}  // namespace

int main() {
    BenchApp app;
    CCaptureImage frame = Frame();
    if (frame.IsEmpty()) {
        std::printf("markup window: no %ld x %ld picture could be made\n", kWidth, kHeight);
        return 1;
    }
    std::printf("Snapwell markup window, %ld x %ld picture on a %d x %d screen, medians of %d runs\n", kWidth,
                kHeight, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), kRuns);
    const Session cold = RunOnce(frame, false);
    std::vector<double> shown;
    for (int run = 0; run < kRuns; ++run) {
        const Session s = RunOnce(frame, false);
        if (s.shown >= 0) shown.push_back(s.shown);
    }
    if (shown.empty()) {
        std::printf("  Run -> picture shown: not measured: the window never said it was shown\n\n");
        return 1;
    }
    std::printf("  %-48s %9.1f ms   (goal: at most %.0f ms)\n", "Run -> picture shown (onShown)", Median(shown),
                kGoalShownMs);
    CCaptureImage marked = Frame();
    const Session drag = RunOnce(marked, true);
    if (drag.rectangleMoves.empty() || drag.arrowMoves.empty() || drag.marks != 2) {
        std::printf("  drag: mouse move -> repainted: not measured: %s\n\n",
                    drag.rectangleMoves.empty() ? "no canvas in the window" : "the drags drew no rectangle and arrow");
        return 1;
    }
    std::printf("  %-48s %9.1f ms   (goal: at most %.0f ms)\n", "drag a rectangle: mouse move -> repainted",
                Median(drag.rectangleMoves), kGoalDragMs);
    std::printf("  %-48s %9.1f ms   (goal: at most %.0f ms)\n", "drag an arrow: mouse move -> repainted",
                Median(drag.arrowMoves), kGoalDragMs);
    std::printf("  first (cold) run, picture shown after %.1f ms; not in the median\n\n", cold.shown);
    return 0;
}
