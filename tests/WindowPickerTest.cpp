// The window picker on the real Wine desktop: hover outline, Shift-click
// collection with its tint, the composed picture, the ways to cancel, the
// resize variant, and every object of a capture released again.
#include "capture/ResizePickerWnd.h"

#include <dwmapi.h>
#include "tests/CaptureFixture.h"
#include "tests/UnixTools.h"

#include <vector>

using namespace screen;

namespace {

// Whether the compositor hides a window although it is visible.
bool IsWindowCloaked(HWND window) {
    DWORD cloaked = 0;
    return SUCCEEDED(::DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof(cloaked))) && cloaked != 0;
}

HCURSOR CurrentCursor() {
    CURSORINFO info{sizeof(info)};
    ::GetCursorInfo(&info);
    return info.hCursor;
}

// The screen's pixels in r, top row first, as COLORREFs.
std::vector<COLORREF> Grab(const RECT& r) {
    std::vector<COLORREF> pixels;
    HDC dc = ::GetDC(nullptr);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) pixels.push_back(::GetPixel(dc, x, y));
    ::ReleaseDC(nullptr, dc);
    return pixels;
}

std::vector<COLORREF> Pixels(const std::string& bmp) {
    std::vector<COLORREF> pixels;
    const SIZE size = BmpSize(bmp);
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) pixels.push_back(BmpPixel(bmp, x, y));
    return pixels;
}

class Picker : public CaptureFixture {};

}  // namespace

TEST_F(Picker, PlainClickOnADialogButtonCapturesTheButtonOnly) {
    HWND dialog = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, L"#32770", L"Snapwell test dialog",
                                    WS_POPUP | WS_CAPTION | WS_VISIBLE, 700, 500, 320, 200, nullptr, nullptr,
                                    nullptr, nullptr);
    HWND button = ::CreateWindowExW(0, L"BUTTON", L"Press me", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 40, 50, 120,
                                    32, dialog, nullptr, nullptr, nullptr);
    Pump(400);
    RECT r;
    ::GetWindowRect(button, &r);
    const std::vector<COLORREF> before = Grab(r);

    std::thread click = ClickWindows({}, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    EXPECT_EQ(engine.CaptureWindow(), 0);
    click.join();
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, r.right - r.left);
    EXPECT_EQ(BmpSize(bmp).cy, r.bottom - r.top);
    EXPECT_EQ(Pixels(bmp), before) << "the button as it was on screen, without outline";
    EXPECT_EQ(Mode(), 133);
    EXPECT_EQ(engine.SoundsPlayed(), 1);
    ::DestroyWindow(dialog);
}

TEST_F(Picker, TwoShiftClickedWindowsGiveOnePictureWithTheWindowColourBetween) {
    COLORREF outline = 0, tinted = 0;
    HCURSOR cursor = nullptr;
    bool shown = false;
    std::thread clicks([&] {
        WaitForOverlay();
        MouseTo(150, 150);
        MouseTo(152, 152);
        outline = WaitForPixel(101, 121, kRed ^ RGB(0, 255, 255));
        cursor = CurrentCursor();
        shown = XShowsCursor(161);
        unixtools::Screenshot("window-picker-outline");
        ShiftClick(152, 152);
        ShiftClick(550, 350);
        tinted = WaitForPixel(250, 220, kRed | RGB(155, 0, 155));
        unixtools::Screenshot("window-picker-two-picked");
        MouseTo(900, 800);
        MouseTo(900, 800, MOUSEEVENTF_LEFTDOWN);
        MouseTo(900, 800, MOUSEEVENTF_LEFTUP);
    });
    EXPECT_EQ(engine.CaptureWindow(), 0);
    clicks.join();
    EXPECT_EQ(outline, kRed ^ RGB(0, 255, 255)) << "the hover outline inverts the window's edge";
    EXPECT_EQ(cursor, ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(161)));
    EXPECT_TRUE(shown) << "the X server shows cursor 161 over the picker";
    EXPECT_EQ(tinted, kRed | RGB(155, 0, 155)) << "a picked window shows tinted";

    const std::string bmp = OnlyFile();
    ASSERT_EQ(BmpSize(bmp).cx, 560);
    ASSERT_EQ(BmpSize(bmp).cy, 280);
    const COLORREF between = ::GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(BmpPixel(bmp, 0, 0), kRed);
    EXPECT_EQ(BmpPixel(bmp, 299, 199), kRed);
    EXPECT_EQ(BmpPixel(bmp, 400, 180), kBlue);
    EXPECT_EQ(BmpPixel(bmp, 559, 279), kBlue);
    EXPECT_EQ(BmpPixel(bmp, 450, 50), between);
    EXPECT_EQ(BmpPixel(bmp, 300, 250), between);
}

TEST_F(Picker, ShiftClickingTwiceRemovesTheWindowAgain) {
    std::thread clicks = ClickWindows({POINT{150, 150}, POINT{150, 150}}, POINT{550, 350});
    EXPECT_EQ(engine.CaptureWindow(), 0);
    clicks.join();
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, 160);
    EXPECT_EQ(BmpSize(bmp).cy, 100);
    EXPECT_EQ(BmpPixel(bmp, 80, 50), kBlue);
    // The mode stays, so the next Capture repeats a window capture.
    std::thread again = ClickWindows({}, POINT{150, 150});
    EXPECT_EQ(engine.Capture(), 0);
    again.join();
    EXPECT_EQ(Files().size(), 2u);
}

TEST_F(Picker, EscapeRightClickAndAClickOverNothingTakeNoPicture) {
    std::thread escape([] {
        WaitForOverlay();
        ShiftClick(150, 150);
        Tap(VK_ESCAPE);
    });
    EXPECT_EQ(engine.CaptureWindow(), 0);
    escape.join();
    std::thread right([] {
        WaitForOverlay();
        MouseTo(550, 350);
        MouseTo(550, 350, MOUSEEVENTF_RIGHTDOWN);
        MouseTo(550, 350, MOUSEEVENTF_RIGHTUP);
    });
    EXPECT_EQ(engine.CaptureWindow(), 0);
    right.join();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(engine.SoundsPlayed(), 0);
    EXPECT_EQ(FindOverlay(), nullptr);
}

TEST_F(Picker, ResizePickerNamesTheTopLevelWindowClicked) {
    HWND child = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 50, 40, blue, nullptr,
                                   nullptr, nullptr);
    Pump(200);
    ResizePickerWnd picker(options.get());
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(162)));
    picker.BuildWindowList(true);
    picker.CaptureDesktop();
    COLORREF outline = 0;
    std::thread click([&] {
        WaitForOverlay();
        MouseTo(520, 320);
        MouseTo(522, 322);
        outline = WaitForPixel(502, 302, kBlue ^ RGB(255, 255, 0));
        unixtools::Screenshot("resize-picker-outline");
        MouseTo(522, 322, MOUSEEVENTF_LEFTDOWN);
        MouseTo(522, 322, MOUSEEVENTF_LEFTUP);
    });
    ASSERT_TRUE(picker.Create(L"SnapwellCaptureOverlay", CS_SAVEBITS, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"",
                              WS_POPUP | WS_VISIBLE, RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                                                          ::GetSystemMetrics(SM_CYSCREEN)},
                              nullptr));
    ::SetForegroundWindow(picker.hwnd());
    picker.RunModalLoop();
    click.join();
    EXPECT_EQ(picker.GetResult(), 1);
    EXPECT_EQ(picker.ChosenWindow(), blue) << "top-level windows only: the child is not chosen";
    EXPECT_EQ(outline, kBlue ^ RGB(255, 255, 0)) << "a thicker yellow outline";
    picker.Destroy();
    picker.RestoreCursor();
    ::DestroyWindow(child);
}

TEST_F(Picker, WindowsTheUserCannotSeeAreNotOffered) {
    HWND hidden = ColourWindow(RGB(0, 200, 0), 700, 100, 120, 80);
    Pump(200);
    const auto offered = [&](HWND window) {
        WindowCaptureWnd picker(options.get());
        picker.BuildWindowList(true);
        for (const WindowListEntry& entry : picker.WindowList())
            if (entry.window == window) return true;
        return false;
    };
    EXPECT_TRUE(offered(hidden));
    RECT frame{}, window{};
    ASSERT_TRUE(VisibleFrame(hidden, frame));
    ::GetWindowRect(hidden, &window);
    EXPECT_TRUE(frame.left >= window.left && frame.right <= window.right && frame.top >= window.top &&
                frame.bottom <= window.bottom)
        << "the drawn frame lies within the window rectangle";
    EXPECT_FALSE(VisibleFrame(nullptr, frame));
    const BOOL cloak = TRUE;
    const bool cloakable = SUCCEEDED(::DwmSetWindowAttribute(hidden, DWMWA_CLOAK, &cloak, sizeof(cloak))) &&
                           IsWindowCloaked(hidden);
    // Where the compositor can cloak a window, the picker leaves it out;
    // where it cannot, nothing visible is left out by mistake.
    EXPECT_EQ(offered(hidden), !cloakable) << (cloakable ? "cloaked" : "this platform cannot cloak");
    ::DestroyWindow(hidden);
}

TEST(PickerFilter, LeavesOutCloakedWindowsAndTheInvisibleResizeBorders) {
    // A Windows 10 window: 7 invisible pixels of resize border left, right
    // and below.
    const RECT window{93, 200, 907, 807}, drawn{100, 200, 900, 800};
    RECT frame{};
    EXPECT_FALSE(OfferedFrame({window, S_OK, DWM_CLOAKED_SHELL, S_OK, drawn}, frame)) << "on another desktop";
    EXPECT_FALSE(OfferedFrame({window, S_OK, DWM_CLOAKED_APP, E_FAIL, {}}, frame)) << "a suspended app";
    ASSERT_TRUE(OfferedFrame({window, S_OK, 0, S_OK, drawn}, frame));
    EXPECT_TRUE(::EqualRect(&frame, &drawn)) << "the frame as drawn";
    ASSERT_TRUE(OfferedFrame({window, E_NOTIMPL, 0, E_NOTIMPL, {}}, frame)) << "no compositor";
    EXPECT_TRUE(::EqualRect(&frame, &window));
    const RECT beyond{80, 200, 900, 800};
    ASSERT_TRUE(OfferedFrame({window, S_OK, 0, S_OK, beyond}, frame));
    EXPECT_TRUE(::EqualRect(&frame, &window)) << "an answer outside the window is not believed";
}

TEST_F(Picker, HitTestFindsTheDeepestWindowWithExclusiveEdges) {
    HWND child = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 50, 40, red, nullptr,
                                   nullptr, nullptr);
    WindowCaptureWnd picker(options.get());
    picker.BuildWindowList(false);
    RECT r = picker.HitTest(POINT{115, 135});
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.right, 160);
    r = picker.HitTest(POINT{160, 135});
    EXPECT_EQ(r.left, 100) << "the right edge belongs to the parent";
    EXPECT_EQ(r.right, 400);
    ::DestroyWindow(child);
}

TEST_F(Picker, FiftyCapturesReleaseEveryObjectTheyMake) {
    // One of each first, so that objects made once per process (classes,
    // cursors, the sound player) are already there.
    auto region = [&](bool cancel) {
        std::thread driver([cancel] {
            WaitForOverlay();
            HWND overlay = FindOverlay();
            if (cancel) {
                ::PostMessageW(overlay, WM_KEYUP, VK_ESCAPE, 0);
                return;
            }
            ::PostMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 130));
            ::PostMessageW(overlay, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 180));
            ::PostMessageW(overlay, WM_LBUTTONUP, 0, MAKELPARAM(200, 180));
        });
        engine.CaptureRegion();
        driver.join();
    };
    auto window = [&](bool cancel) {
        std::thread driver([cancel] {
            WaitForOverlay();
            HWND overlay = FindOverlay();
            ::PostMessageW(overlay, WM_MOUSEMOVE, 0, MAKELPARAM(150, 150));
            ::PostMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(550, 350));
            if (cancel) {
                ::PostMessageW(overlay, WM_RBUTTONUP, 0, MAKELPARAM(150, 150));
                return;
            }
            ::PostMessageW(overlay, WM_LBUTTONUP, 0, MAKELPARAM(150, 150));
        });
        engine.CaptureWindow();
        driver.join();
    };
    size_t taken = 0;
    auto all = [&](int i) {
        if (i % 6 != 3 && i % 6 != 5) ++taken;
        switch (i % 6) {
            case 0: engine.CaptureFullScreen(); break;
            case 1: engine.CaptureRect(10, 10, 90, 60, nullptr); break;
            case 2: region(false); break;
            case 3: region(true); break;
            case 4: window(false); break;
            case 5: window(true); break;
        }
        Pump(50);
    };
    for (int i = 0; i < 6; ++i) all(i);
    const GuiObjects before = CountGuiObjects();
    ASSERT_GT(before.gdi, 0) << "the GDI objects can be counted";
    for (int i = 0; i < 50; ++i) all(i);
    const GuiObjects after = CountGuiObjects();
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(Files().size(), taken) << "every capture that was not cancelled";
}
