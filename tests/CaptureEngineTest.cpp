// Captures from grab to file on the real screen of the Wine display: the
// full screen against known windows, the rectangle overlay driven by
// SendInput, its ways to cancel, the busy guard and the window list.
#include "capture/RegionCaptureWnd.h"
#include "tests/CaptureFixture.h"
#include "tests/UnixTools.h"

using namespace screen;
using Engine = CaptureFixture;

TEST_F(Engine, FullScreenCaptureMatchesTheScreen) {
    EXPECT_EQ(engine.CaptureFullScreen(), 0);
    const std::string bmp = OnlyFile();
    ASSERT_FALSE(bmp.empty());
    const SIZE size = BmpSize(bmp);
    EXPECT_EQ(size.cx, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(size.cy, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(BmpPixel(bmp, 150, 150), kRed);
    EXPECT_EQ(BmpPixel(bmp, 399, 319), kRed);
    EXPECT_EQ(BmpPixel(bmp, 550, 350), kBlue);
    HDC screen = ::GetDC(nullptr);
    for (POINT p : {POINT{5, 5}, POINT{640, 512}, POINT{1000, 900}})
        EXPECT_EQ(BmpPixel(bmp, p.x, p.y), ::GetPixel(screen, p.x, p.y)) << p.x << "," << p.y;
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(Mode(), 132);
    EXPECT_EQ(engine.BusyState(), 0);
}

namespace {

HCURSOR Current() {
    CURSORINFO info{sizeof(info)};
    ::GetCursorInfo(&info);
    return info.hCursor;
}

COLORREF ScreenPixel(int x, int y) {
    HDC dc = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(nullptr, dc);
    return c;
}

HCURSOR Resource(int id) { return ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)); }


}  // namespace

TEST_F(Engine, RectangleDragShowsTheBandAndEitherDirectionGivesTheSameImage) {
    HCURSOR waiting = nullptr, dragging = nullptr;
    bool waitingShown = false, draggingShown = false;
    COLORREF band = 0, inside = 0;
    std::thread down([&] {
        WaitForOverlay();
        MouseTo(150, 160);
        waiting = Current();
        waitingShown = XShowsCursor(159);
        // The button is held in the X server, so that it stays down for
        // every move of the drag.
        XInput("mousemove 150 160 mousedown 1 mousemove 250 210 sleep 0.1 mousemove 350 260");
        dragging = Current();
        draggingShown = XShowsCursor(160);
        band = WaitForPixel(250, 160, kRed ^ RGB(0, 255, 255));
        inside = WaitForPixel(250, 210, kRed);
        unixtools::Screenshot("region-overlay-drag");
        XInput("mouseup 1");
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    down.join();
    EXPECT_EQ(waiting, Resource(159));
    EXPECT_EQ(dragging, Resource(160));
    EXPECT_TRUE(waitingShown) << "the X server shows cursor 159 before the drag";
    EXPECT_TRUE(draggingShown) << "and 160 during it";
    // The band inverts the frozen red with the outline colour; inside stays red.
    EXPECT_EQ(band, kRed ^ RGB(0, 255, 255));
    EXPECT_EQ(inside, kRed);
    auto files = Files();
    ASSERT_EQ(files.size(), 1u);
    const std::string first = testfiles::Read(shots + files[0]);
    EXPECT_EQ(BmpSize(first).cx, 200);
    EXPECT_EQ(BmpSize(first).cy, 100);
    EXPECT_EQ(BmpPixel(first, 10, 10), kRed);
    EXPECT_EQ(BmpPixel(first, 0, 0), kRed) << "no rubber band in the image";
    EXPECT_EQ(BmpPixel(first, 199, 99), kRed);
    EXPECT_EQ(engine.SoundsPlayed(), 1);
    // The program's message loop runs between two captures; the windows
    // under the closed overlay repaint.
    Pump(500);

    std::thread up = Drag({350, 260}, {150, 160});
    EXPECT_EQ(engine.CaptureRegion(), 0);
    up.join();
    files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(testfiles::Read(shots + files[0]), testfiles::Read(shots + files[1]));
    EXPECT_EQ(FindOverlay(), nullptr) << "the overlay is gone";
    EXPECT_EQ(Mode(), 135);
}

// The button may be released where the overlay does not get it: over a
// window above it (or on another monitor). The drag still ends there.
TEST_F(Engine, ButtonReleasedOverAWindowAboveTheOverlayStillEndsTheDrag) {
    bool raised = false;
    std::thread drag([&] {
        WaitForOverlay();
        // The blue window comes above the overlay without taking the focus.
        ::SetWindowPos(blue, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        for (int i = 0; i < 40 && !raised; ++i) {
            raised = ::WindowFromPoint(POINT{550, 350}) == blue;
            if (!raised) ::Sleep(50);
        }
        MouseTo(150, 160);
        MouseTo(150, 160, MOUSEEVENTF_LEFTDOWN);
        MouseTo(300, 250);
        MouseTo(550, 350);
        MouseTo(550, 350, MOUSEEVENTF_LEFTUP);
        // A lost release leaves the overlay up: it is ended for the test.
        ::Sleep(1500);
        if (HWND overlay = FindOverlay()) ::PostMessageW(overlay, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    drag.join();
    ASSERT_TRUE(raised) << "the window was above the overlay";
    const std::string bmp = OnlyFile();
    ASSERT_FALSE(bmp.empty()) << "the release over the window ended the drag";
    EXPECT_EQ(BmpSize(bmp).cx, 400);
    EXPECT_EQ(BmpSize(bmp).cy, 190);
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(Engine, ClickWithoutDragSavesNothing) {
    std::thread click([] {
        WaitForOverlay();
        MouseTo(200, 200);
        MouseTo(200, 200, MOUSEEVENTF_LEFTDOWN);
        MouseTo(200, 200, MOUSEEVENTF_LEFTUP);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    click.join();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(engine.SoundsPlayed(), 0);
}

TEST_F(Engine, EscapeKeyEndsTheOverlayWithoutAFileOrSound) {
    std::thread escape([] {
        WaitForOverlay();
        MouseTo(300, 300);
        MouseTo(300, 300, MOUSEEVENTF_LEFTDOWN);
        MouseTo(330, 330);
        Tap(VK_ESCAPE);
        MouseTo(330, 330, MOUSEEVENTF_LEFTUP);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    escape.join();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(engine.SoundsPlayed(), 0);
    EXPECT_EQ(FindOverlay(), nullptr);
}

TEST_F(Engine, RightClickAndCancelEndTheOverlayWithoutAFile) {
    std::thread right([] {
        WaitForOverlay();
        MouseTo(300, 300);
        MouseTo(300, 300, MOUSEEVENTF_RIGHTDOWN);
        MouseTo(300, 300, MOUSEEVENTF_RIGHTUP);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    right.join();
    EXPECT_TRUE(Files().empty());

    std::thread cancel([] {
        WaitForOverlay();
        ::PostMessageW(FindOverlay(), WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    cancel.join();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(FindOverlay(), nullptr);
    EXPECT_EQ(engine.SoundsPlayed(), 0);
}

TEST_F(Engine, FocusLossEndsTheOverlay) {
    std::thread away([this] {
        WaitForOverlay();
        ::PostMessageW(FindOverlay(), WM_KILLFOCUS, reinterpret_cast<WPARAM>(red), 0);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    away.join();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(engine.SoundsPlayed(), 0);
}

TEST_F(Engine, SwitchingAwayWithTheKeyboardEndsTheOverlay) {
    std::thread away([] {
        WaitForOverlay();
        Key(VK_MENU, true);
        Tap(VK_TAB);
        Key(VK_MENU, false);
        ::Sleep(500);
        // Where the window manager offers no switching, another program
        // taking the foreground is the same loss of focus.
        if (FindOverlay()) {
            HWND other = ColourWindow(RGB(9, 9, 9), 900, 50, 60, 60);
            ::SetForegroundWindow(other);
            ::Sleep(500);
            ::DestroyWindow(other);
        }
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    away.join();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(FindOverlay(), nullptr);
}

TEST_F(Engine, SecondRegionRequestWhileTheOverlayIsUpReturnsBusy) {
    static CCaptureEngine* current = nullptr;
    static long secondResult = -1;
    current = &engine;
    secondResult = -1;
    // A timer on this thread fires inside the overlay's modal loop, as a
    // hot key would.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        secondResult = current->CaptureRegion();
    });
    std::thread finish = Drag({120, 130}, {170, 180});
    EXPECT_EQ(engine.CaptureRegion(), 0);
    finish.join();
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(secondResult, 1);
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, 50) << "the first capture went on undisturbed";
}

TEST_F(Engine, CaptureRectAndCaptureByMode) {
    EXPECT_EQ(engine.CaptureRect(110, 130, 64, 32, nullptr), 0);
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, 64);
    EXPECT_EQ(BmpPixel(bmp, 63, 31), kRed);

    options->SetProperty(L"CaptureMode", platform::Variant(135L));
    EXPECT_EQ(engine.Capture(), 0) << "rectangle mode does nothing through Capture";
    EXPECT_EQ(Files().size(), 1u);
    options->SetProperty(L"CaptureMode", platform::Variant(std::wstring(L"132")));
    EXPECT_EQ(engine.Capture(), 1);
    options->SetProperty(L"CaptureMode", platform::Variant(132L));
    EXPECT_EQ(engine.Capture(), 0);
    EXPECT_EQ(Files().size(), 2u);

    CCaptureEngine bare;
    EXPECT_EQ(bare.CaptureFullScreen(), 0x00080012);
    EXPECT_EQ(bare.Capture(), 0x00080012);
    EXPECT_EQ(bare.BusyState(), 0);
}

TEST_F(Engine, WindowListIsClippedChildBeforeParentAndSkipsHidden) {
    HWND child = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 50, 40, red, nullptr,
                                   nullptr, nullptr);
    HWND offscreen = ColourWindow(RGB(1, 2, 3), -50, -40, 120, 100);
    HWND hidden = ColourWindow(RGB(4, 5, 6), 700, 700, 50, 50);
    ::ShowWindow(hidden, SW_HIDE);
    RegionCaptureWnd overlay(options.get());
    ASSERT_TRUE(overlay.BuildWindowList(false));
    const auto& list = overlay.WindowList();
    auto at = [&](HWND w) {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].window == w) return static_cast<long>(i);
        return -1L;
    };
    ASSERT_GE(at(child), 0);
    EXPECT_LT(at(child), at(red)) << "a child comes before its parent";
    const RECT off = list[at(offscreen)].rect;
    EXPECT_EQ(off.left, 0);
    EXPECT_EQ(off.top, 0);
    EXPECT_EQ(off.right, 70);
    EXPECT_EQ(off.bottom, 60);
    EXPECT_EQ(at(hidden), -1);
    EXPECT_TRUE(overlay.BuildWindowList(true));
    for (const auto& e : overlay.WindowList()) EXPECT_NE(e.window, child);
    ::DestroyWindow(offscreen);
    ::DestroyWindow(hidden);
}

TEST_F(Engine, TheRectangleOverlayBuildsNoWindowList) {
    // The rectangle overlay asks nothing of the windows beneath it: the
    // overlay object on screen holds no list of them.
    long listed = -1;
    bool found = false;
    std::thread driver([&] {
        WaitForOverlay();
        HWND overlay = FindOverlay();
        const auto* window = reinterpret_cast<platform::Window*>(::GetWindowLongPtrW(overlay, GWLP_USERDATA));
        if (const auto* region = dynamic_cast<const RegionCaptureWnd*>(window)) {
            found = true;
            listed = static_cast<long>(region->WindowList().size());
        }
        ::PostMessageW(overlay, WM_KEYUP, VK_ESCAPE, 0);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    driver.join();
    ASSERT_TRUE(found) << "the rectangle overlay was on screen";
    EXPECT_EQ(listed, 0);
}

TEST(RegionSelection, EitherDragDirectionGivesTheSameRectangle) {
    const RECT a = RegionCaptureWnd::SelectionFor({300, 200}, {100, 50});
    const RECT b = RegionCaptureWnd::SelectionFor({100, 50}, {300, 200});
    const RECT c = RegionCaptureWnd::SelectionFor({300, 50}, {100, 200});
    EXPECT_TRUE(::EqualRect(&a, &b));
    EXPECT_TRUE(::EqualRect(&a, &c));
    EXPECT_EQ(a.right - a.left, 200);
    EXPECT_EQ(a.bottom - a.top, 150);
}

TEST_F(Engine, ToolbarIsHiddenForTheGrabAndShownOnlyIfItWasVisible) {
    HWND toolbar = ColourWindow(RGB(90, 90, 90), 900, 40, 200, 40);
    engine.SetToolbarWindow(toolbar);
    bool visibleDuring = true;
    std::thread driver([&] {
        WaitForOverlay();
        visibleDuring = ::IsWindowVisible(toolbar) != FALSE;
        ::PostMessageW(FindOverlay(), WM_COMMAND, IDCANCEL, 0);
    });
    engine.CaptureRegion();
    driver.join();
    EXPECT_FALSE(visibleDuring);
    EXPECT_TRUE(::IsWindowVisible(toolbar));

    ::ShowWindow(toolbar, SW_HIDE);
    engine.CaptureFullScreen();
    EXPECT_FALSE(::IsWindowVisible(toolbar)) << "a hidden toolbar stays hidden";
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpPixel(bmp, 950, 50), ScreenPixel(950, 50));
    ::DestroyWindow(toolbar);
}

TEST_F(Engine, CursorIsDrawnAtItsHotSpotOnlyWhenHideCursorIsZero) {
    // The arrow's tip (its hot spot) is at the pointer; its body runs down
    // and to the right of it.
    MouseTo(200, 200);
    Pump(200);
    auto cursorPixels = [](const std::string& bmp) {
        int notRed = 0;
        for (int y = 200; y < 212; ++y)
            for (int x = 200; x < 206; ++x) notRed += BmpPixel(bmp, x, y) != kRed;
        return notRed;
    };
    engine.CaptureFullScreen();
    EXPECT_EQ(cursorPixels(OnlyFile()), 0) << "HideCursor 1 draws no cursor";
    testfiles::RemoveTree(shots);
    ::CreateDirectoryW(shots.c_str(), nullptr);

    ASSERT_TRUE(options->SetProgramOption(L"HideCursor", L"0", false));
    engine.CaptureFullScreen();
    const std::string bmp = OnlyFile();
    EXPECT_GT(cursorPixels(bmp), 10);
    EXPECT_EQ(BmpPixel(bmp, 198, 198), kRed) << "nothing above or left of the hot spot";
}

TEST_F(Engine, ShutterSoundOnlyWithPlaySoundOne) {
    engine.CaptureRect(110, 130, 20, 20, nullptr);
    EXPECT_EQ(engine.SoundsPlayed(), 1);
    for (const wchar_t* value : {L"0", L"", L"yes"}) {
        ASSERT_TRUE(options->SetProgramOption(L"PlaySound", value, false));
        engine.CaptureRect(110, 130, 20, 20, nullptr);
        engine.CaptureFullScreen();
    }
    EXPECT_EQ(engine.SoundsPlayed(), 1);
    EXPECT_EQ(Files().size(), 7u);
}
