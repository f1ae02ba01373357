// Captures from grab to file on the real screen of the Wine display: the
// full screen against known windows, the rectangle overlay driven by
// SendInput, its ways to cancel, the busy guard and the window list.
#include "capture/RegionCaptureWnd.h"
#include "tests/CaptureFixture.h"
#include "tests/UnixTools.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>

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

// ---- the selection aids ------------------------------------------------------

namespace {

constexpr wchar_t kProgramKey[] = L"Software\\Veltrane\\Snapwell";
constexpr const wchar_t* kLastRectNames[4] = {L"LastRectLeft", L"LastRectTop", L"LastRectRight", L"LastRectBottom"};

// Each channel of colour at 60 %, within two steps.
bool IsDimmed(COLORREF shown, COLORREF frozen) {
    const auto nearBy = [](int a, int b) { return a * 60 / 100 - b <= 2 && b - a * 60 / 100 <= 2; };
    return nearBy(GetRValue(frozen), GetRValue(shown)) && nearBy(GetGValue(frozen), GetGValue(shown)) &&
           nearBy(GetBValue(frozen), GetBValue(shown));
}

// Waits until the screen at (x, y) shows frozen dimmed; what it shows then.
COLORREF WaitForDimmed(int x, int y, COLORREF frozen) {
    COLORREF shown = ScreenPixel(x, y);
    for (int i = 0; i < 100 && !IsDimmed(shown, frozen); ++i) {
        Pump(20);
        shown = ScreenPixel(x, y);
    }
    return shown;
}

// The screen's pixels in r, row by row, read at once.
std::vector<COLORREF> ScreenPixels(const RECT& r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<DWORD> bits(static_cast<size_t>(w) * h);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB};
    ::GetDIBits(memory, bitmap, 0, h, bits.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    std::vector<COLORREF> pixels;
    for (DWORD b : bits) pixels.push_back(RGB((b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF));
    return pixels;
}

// How many pixels in r show colour with left of them, one magnified pixel
// (8 screen pixels) away, the colour left.
int MagnifiedPixels(const RECT& r, COLORREF colour, COLORREF left) {
    const std::vector<COLORREF> pixels = ScreenPixels(r);
    const int w = r.right - r.left;
    int count = 0;
    for (size_t i = 0; i < pixels.size(); ++i)
        count += pixels[i] == colour && static_cast<int>(i % w) >= 8 && pixels[i - 8] == left;
    return count;
}

int CountPixels(const RECT& r, COLORREF colour) {
    const std::vector<COLORREF> pixels = ScreenPixels(r);
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), colour));
}

std::wstring OverlayLabel() {
    const auto* window = reinterpret_cast<platform::Window*>(::GetWindowLongPtrW(FindOverlay(), GWLP_USERDATA));
    const auto* region = dynamic_cast<const RegionCaptureWnd*>(window);
    return region ? region->LabelText() : L"<no overlay>";
}

// The overlay's label once it says expected, or what it says after a second.
std::wstring WaitForLabel(const std::wstring& expected) {
    std::wstring label = OverlayLabel();
    for (int i = 0; i < 50 && label != expected; ++i) {
        Pump(20);
        label = OverlayLabel();
    }
    return label;
}

POINT CursorNow() {
    POINT p{};
    ::GetCursorPos(&p);
    return p;
}

void ForgetLastRectangle() {
    for (const wchar_t* name : kLastRectNames) ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kProgramKey, name);
}

std::vector<long> StoredLastRectangle() {
    std::vector<long> values;
    for (const wchar_t* name : kLastRectNames) {
        DWORD value = 0, size = sizeof(value);
        if (::RegGetValueW(HKEY_CURRENT_USER, kProgramKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
            ERROR_SUCCESS)
            values.push_back(static_cast<LONG>(value));
    }
    return values;
}

// Ends an overlay that a test's input left open.
void CancelLeftOverlay() {
    Pump(300);
    if (HWND overlay = FindOverlay()) ::PostMessageW(overlay, WM_COMMAND, IDCANCEL, 0);
}

class Aids : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        UseSelectionAids();
        ForgetLastRectangle();
    }
    void TearDown() override {
        ForgetLastRectangle();
        CaptureFixture::TearDown();
    }
};

}  // namespace

TEST_F(Aids, DragDimsTheRestShowsSizeAndMagnifierAndSavesOnlyTheFrozenPixels) {
    // One pixel of a colour nowhere else on screen, under the pointer at
    // the drag's end: the magnifier's centre shows it at 8x.
    constexpr COLORREF kMark = RGB(10, 210, 90);
    HWND mark = ColourWindow(kMark, 260, 200, 1, 1);
    Pump(300);
    const COLORREF desktop = ScreenPixel(1000, 900);
    COLORREF outside = 0, inside = 0, farAway = 0, edge = 0;
    std::wstring label, before, held;
    int marked = 0, labelFill = 0;
    std::thread drag([&] {
        WaitForOverlay();
        MouseTo(151, 161);
        MouseTo(150, 160);
        before = WaitForLabel(L"150, 160");
        XInput("mousemove 150 160 mousedown 1 mousemove 200 180 sleep 0.1 mousemove 260 200");
        outside = WaitForDimmed(120, 300, kRed);
        farAway = WaitForDimmed(1000, 900, desktop);
        inside = ScreenPixel(200, 180);
        edge = ScreenPixel(149, 180);
        label = OverlayLabel();
        const RECT nearBy{200, 140, 700, 600};
        marked = MagnifiedPixels(nearBy, kMark, kRed);
        labelFill = CountPixels(nearBy, RGB(32, 32, 32));
        unixtools::Screenshot("region-overlay-aids-drag");
        XInput("keydown ctrl");
        held = WaitForLabel(L"110 \u00D7 40 \u2013 mark up");
        XInput("keyup ctrl");
        WaitForLabel(L"110 \u00D7 40 \u2013 Ctrl: mark up");
        XInput("mouseup 1");
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    drag.join();
    ::DestroyWindow(mark);
    EXPECT_EQ(before, L"150, 160") << "before the drag the label tells the pointer's position";
    EXPECT_TRUE(IsDimmed(outside, kRed)) << std::hex << outside;
    EXPECT_TRUE(IsDimmed(farAway, desktop)) << std::hex << farAway << " of " << desktop;
    EXPECT_EQ(inside, kRed) << "the selection at full brightness";
    EXPECT_TRUE(edge == RGB(255, 255, 255) || edge == RGB(0, 0, 0)) << "a white and black border: " << std::hex << edge;
    EXPECT_EQ(label, L"110 \u00D7 40 \u2013 Ctrl: mark up");
    EXPECT_EQ(held, L"110 \u00D7 40 \u2013 mark up") << "with Ctrl held the label says the release marks up";
    EXPECT_GT(labelFill, 200) << "the label's box is on screen nearBy the pointer";
    // The magnified pixel is one cell of the grid, 7 x 7 of its colour,
    // with the magnified red beside it.
    EXPECT_EQ(marked, 49);

    const std::string bmp = OnlyFile();
    ASSERT_EQ(BmpSize(bmp).cx, 110);
    ASSERT_EQ(BmpSize(bmp).cy, 40);
    int notRed = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 110; ++x) notRed += BmpPixel(bmp, x, y) != kRed;
    EXPECT_EQ(notRed, 0) << "no dimming, border, label or magnifier in the picture";
    EXPECT_EQ(StoredLastRectangle(), (std::vector<long>{150, 160, 260, 200}));
}

TEST_F(Aids, ArrowKeysAimByOneAndTenAndEnterIsTheButton) {
    POINT start{}, afterOnes{}, afterTens{};
    std::thread keys([&] {
        WaitForOverlay();
        MouseTo(151, 161);
        MouseTo(150, 160);
        Pump(100);
        start = CursorNow();
        for (WORD vk : {VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_DOWN, VK_DOWN}) Tap(vk);
        Pump(100);
        afterOnes = CursorNow();
        Tap(VK_RETURN);
        // Shift held in the X server, as a user holds it; the arrows come
        // the same way as the others, so that they arrive in order.
        const auto shiftIs = [](bool down) {
            for (int i = 0; i < 40 && ((::GetAsyncKeyState(VK_SHIFT) < 0) != down); ++i) Pump(50);
        };
        XInput("keydown shift");
        shiftIs(true);
        for (WORD vk : {VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_DOWN, VK_DOWN, VK_DOWN}) Tap(vk);
        Pump(100);
        XInput("keyup shift");
        shiftIs(false);
        Tap(VK_LEFT);
        Pump(100);
        afterTens = CursorNow();
        Tap(VK_RETURN);
        CancelLeftOverlay();
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    keys.join();
    // From where the pointer was: 3 right and 2 down by ones, then 50
    // right and 30 down by tens and one back left.
    EXPECT_EQ(afterOnes.x - start.x, 3);
    EXPECT_EQ(afterOnes.y - start.y, 2);
    EXPECT_EQ(afterTens.x - afterOnes.x, 49);
    EXPECT_EQ(afterTens.y - afterOnes.y, 30);
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, 49);
    EXPECT_EQ(BmpSize(bmp).cy, 30);
    EXPECT_EQ(BmpPixel(bmp, 0, 0), kRed);
    EXPECT_EQ(StoredLastRectangle(), (std::vector<long>{afterOnes.x, afterOnes.y, afterTens.x, afterTens.y}));

    // Escape still cancels, also in the middle of a keyboard drag.
    std::thread escape([] {
        WaitForOverlay();
        Tap(VK_RETURN);
        Tap(VK_RIGHT);
        Tap(VK_ESCAPE);
        CancelLeftOverlay();
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    escape.join();
    EXPECT_EQ(Files().size(), 1u);
    EXPECT_EQ(FindOverlay(), nullptr);
}

TEST_F(Aids, LastRectangleComesBackWithRAndMovesAndResizesWithTheKeys) {
    // The first capture without the aids: the rectangle is kept all the same.
    LoadOptionsFrom(kCaptureTestOptions);
    options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots);
    engine.SetOptions(options.get());
    std::thread first = Drag({150, 160}, {250, 210});
    EXPECT_EQ(engine.CaptureRegion(), 0);
    first.join();
    EXPECT_EQ(StoredLastRectangle(), (std::vector<long>{150, 160, 250, 210}));
    // The windows under the closed overlay repaint before the next grab.
    Pump(500);

    UseSelectionAids();
    std::wstring label;
    COLORREF inside = 0, outside = 0;
    std::thread again([&] {
        WaitForOverlay();
        MouseTo(700, 700);
        Tap('R');
        inside = WaitForPixel(200, 180, kRed);
        outside = WaitForDimmed(120, 300, kRed);
        label = OverlayLabel();
        unixtools::Screenshot("region-overlay-last-rectangle");
        Tap(VK_RETURN);
        CancelLeftOverlay();
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    again.join();
    EXPECT_EQ(label, L"100 \u00D7 50 \u2013 Ctrl: mark up");
    EXPECT_EQ(inside, kRed);
    EXPECT_TRUE(IsDimmed(outside, kRed));
    auto files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(testfiles::Read(shots + files[0]) == testfiles::Read(shots + files[1])) << "exactly the same picture";
    Pump(500);

    std::thread moved([] {
        WaitForOverlay();
        Tap('R');
        XInput("key ctrl+Right alt+Down alt+Down");
        Tap(VK_RETURN);
        CancelLeftOverlay();
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    moved.join();
    ASSERT_EQ(Files().size(), 3u);
    EXPECT_EQ(StoredLastRectangle(), (std::vector<long>{151, 160, 251, 212}));
}

TEST_F(Aids, AStoredRectangleOnNoMonitorInvertedOrOfTheWrongTypeIsIgnored) {
    const auto store = [](std::initializer_list<long> values) {
        int i = 0;
        for (long v : values) {
            const DWORD value = static_cast<DWORD>(v);
            ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, kLastRectNames[i++], REG_DWORD, &value, sizeof(value));
        }
    };
    const std::function<void()> hostile[] = {
        [&] { store({5000, 5000, 5100, 5100}); },
        [&] { store({250, 210, 150, 160}); },
        [&] {
            store({150, 160, 250, 210});
            ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"LastRectRight", REG_SZ, L"250", 8);
        },
    };
    for (const auto& write : hostile) {
        write();
        std::wstring before, label;
        std::thread keys([&] {
            WaitForOverlay();
            MouseTo(301, 301);
            MouseTo(300, 300);
            before = WaitForLabel(L"300, 300");
            Tap('R');
            Pump(200);
            label = OverlayLabel();
            // Without a rectangle, Enter starts a drag and ends it at once:
            // nothing to save.
            Tap(VK_RETURN);
            Tap(VK_RETURN);
            CancelLeftOverlay();
        });
        EXPECT_EQ(engine.CaptureRegion(), 0);
        keys.join();
        EXPECT_EQ(label, before) << "R brought nothing back";
        EXPECT_EQ(label.find(L'\u00D7'), std::wstring::npos) << "no size shown";
    }
    EXPECT_TRUE(Files().empty());
}

// Clears the process's markup handler however the test ends.
struct MarkupHandlerSet {
    explicit MarkupHandlerSet(MarkupHandler handler) { CCaptureEngine::SetMarkupHandler(std::move(handler)); }
    ~MarkupHandlerSet() { CCaptureEngine::SetMarkupHandler({}); }
};

TEST_F(Engine, CtrlOnReleaseOrAnnotateOpensTheMarkupHandlerWhileTheEngineStaysBusy) {
    ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"Annotate", L"0"));
    int calls = 0;
    long busyInside = -1, secondCapture = -1;
    SIZE seen{};
    MarkupResult answer = MarkupResult::Done;
    MarkupHandlerSet handler([&](CCaptureImage& image) {
        ++calls;
        seen = SIZE{image.Width(), std::abs(image.Height())};
        busyInside = CCaptureEngine::BusyState();
        secondCapture = engine.CaptureFullScreen();
        return answer;
    });

    // A drag released without Ctrl goes on unmarked.
    std::thread plain = Drag({150, 160}, {350, 260});
    EXPECT_EQ(engine.CaptureRegion(), 0);
    plain.join();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Files().size(), 1u);
    Pump(300);

    // Released with Ctrl held: this capture alone goes to the handler.
    std::thread ctrl([] {
        WaitForOverlay();
        XInput("mousemove 150 160 mousedown 1 mousemove 250 210 sleep 0.1 mousemove 350 260 keydown ctrl sleep 0.1 "
               "mouseup 1 keyup ctrl");
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    ctrl.join();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen.cx, 200);
    EXPECT_EQ(seen.cy, 100);
    EXPECT_EQ(busyInside, CCaptureEngine::kBusyRegion);
    EXPECT_EQ(secondCapture, 1) << "a second capture is refused while the handler runs";
    EXPECT_EQ(Files().size(), 2u);
    Pump(300);

    // The picker's Ctrl+click, answered with Discard: nothing is saved.
    answer = MarkupResult::Discard;
    std::thread pick([] {
        WaitForOverlay();
        XInput("mousemove 250 220 sleep 0.2 mousemove 251 221 sleep 0.2 keydown ctrl sleep 0.1 click 1 keyup ctrl");
    });
    EXPECT_EQ(engine.CaptureWindow(), 0);
    pick.join();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(busyInside, CCaptureEngine::kBusyWindow);
    EXPECT_EQ(Files().size(), 2u) << "a discarded capture saves nothing";
    Pump(300);

    // "Annotate" "1": an automation call opens it too; CaptureRect never does.
    answer = MarkupResult::Done;
    ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"Annotate", L"1"));
    EXPECT_EQ(engine.CaptureRect(110, 130, 64, 32, nullptr), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Files().size(), 3u);
    EXPECT_EQ(engine.CaptureFullScreen(), 0);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(busyInside, CCaptureEngine::kBusyFullScreen);
    EXPECT_EQ(Files().size(), 4u);
    EXPECT_EQ(CCaptureEngine::BusyState(), 0);
}
