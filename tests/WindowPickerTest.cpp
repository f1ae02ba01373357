// The window picker on the real Wine desktop: hover outline, Shift-click
// collection with its tint, the composed picture, the ways to cancel, the
// resize variant, and every object of a capture released again.
#include "capture/CaptureOperations.h"
#include "capture/ResizePickerWnd.h"
#include "capture/WindowCaptureWnd.h"
#include "platform/UniqueHandle.h"

#include <dwmapi.h>
#include "tests/CaptureFixture.h"
#include "tests/UnixTools.h"

#include <functional>
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

RECT WindowRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

// A chain of windows, each a child of the one before, the first a topmost
// top-level window at outer; each is inset inset pixels on every side in
// its parent. They belong to a thread of their own, which reads their
// messages while the test thread is busy, and which destroys them on
// Close.
class WindowChain {
public:
    WindowChain(int children, RECT outer, int inset) {
        platform::UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread([=, this, ready = ready.get()] {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
            threadId_ = ::GetCurrentThreadId();
            HWND top = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP,
                                         outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
                                         nullptr, nullptr, nullptr, nullptr);
            windows_.push_back(top);
            SIZE size{outer.right - outer.left, outer.bottom - outer.top};
            for (int i = 0; i < children; ++i) {
                size = SIZE{size.cx - 2 * inset, size.cy - 2 * inset};
                windows_.push_back(::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, inset, inset, size.cx,
                                                     size.cy, windows_.back(), nullptr, nullptr, nullptr));
            }
            ::ShowWindow(top, SW_SHOWNOACTIVATE);
            ::UpdateWindow(top);
            ::SetEvent(ready);
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::DestroyWindow(top);
        });
        PumpUntil(ready.get(), 10000);
        Pump(200);
    }
    ~WindowChain() { Close(); }
    WindowChain(const WindowChain&) = delete;
    WindowChain& operator=(const WindowChain&) = delete;

    // The windows, top-level first, deepest last.
    const std::vector<HWND>& Windows() const { return windows_; }
    void Close() {
        if (!thread_.joinable()) return;
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

private:
    std::vector<HWND> windows_;
    std::thread thread_;
    DWORD threadId_ = 0;
};

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
        WaitForOverlay(kResizePickerClass);
        MouseTo(520, 320);
        MouseTo(522, 322);
        outline = WaitForPixel(502, 302, kBlue ^ RGB(255, 255, 0));
        unixtools::Screenshot("resize-picker-outline");
        MouseTo(522, 322, MOUSEEVENTF_LEFTDOWN);
        MouseTo(522, 322, MOUSEEVENTF_LEFTUP);
    });
    // Shown as the resize method shows it, so that its window class is the
    // program's own whichever test comes first.
    ASSERT_TRUE(ShowResizePicker(picker));
    EXPECT_EQ(::GetClassLongPtrW(picker.hwnd(), GCL_STYLE) & CS_SAVEBITS, 0u)
        << "the picker paints the frozen desktop itself: the system saves nothing beneath it";
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
    // The list the picker builds with the compositor's answers, as the
    // platform gives them or as a compositor that says more would.
    const auto offered = [&](std::function<CompositorAnswers(HWND)> compositor) {
        WindowCaptureWnd picker(options.get());
        if (compositor) picker.SetCompositorQuery(std::move(compositor));
        picker.BuildWindowList(true);
        for (const WindowListEntry& entry : picker.WindowList())
            if (entry.window == hidden) return entry.rect;
        return RECT{-1, -1, -1, -1};
    };
    RECT window{};
    ::GetWindowRect(hidden, &window);
    RECT entry = offered(nullptr);
    EXPECT_TRUE(::EqualRect(&entry, &window)) << "a window the platform shows is offered whole";
    RECT frame{};
    ASSERT_TRUE(VisibleFrame(hidden, frame));
    EXPECT_TRUE(frame.left >= window.left && frame.right <= window.right && frame.top >= window.top &&
                frame.bottom <= window.bottom)
        << "the drawn frame lies within the window rectangle";
    EXPECT_FALSE(VisibleFrame(nullptr, frame));

    // A compositor that hides the window (on another virtual desktop) and
    // draws every other window as it is.
    const auto cloaking = [&](HWND w) {
        CompositorAnswers answers = AskCompositor(w);
        if (w == hidden) answers = {window, S_OK, DWM_CLOAKED_SHELL, S_OK, window};
        return answers;
    };
    entry = offered(cloaking);
    EXPECT_EQ(entry.left, -1) << "a cloaked window is not offered";
    // One that draws the window 7 pixels narrower on three sides than its
    // rectangle, the invisible resize borders of Windows 10.
    const RECT drawn{window.left + 7, window.top, window.right - 7, window.bottom - 7};
    entry = offered([&](HWND w) {
        CompositorAnswers answers = AskCompositor(w);
        if (w == hidden) answers = {window, S_OK, 0, S_OK, drawn};
        return answers;
    });
    EXPECT_TRUE(::EqualRect(&entry, &drawn)) << "offered as drawn, without the invisible borders";

    // Where the platform itself can cloak a window, the picker leaves it out.
    const BOOL cloak = TRUE;
    if (SUCCEEDED(::DwmSetWindowAttribute(hidden, DWMWA_CLOAK, &cloak, sizeof(cloak))) && IsWindowCloaked(hidden)) {
        EXPECT_EQ(offered(nullptr).left, -1) << "cloaked by the platform";
    }
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

TEST_F(Picker, HitTestFindsTheDeepestWindowClippedToItsParents) {
    // red is (100, 120)-(400, 320); its child (110, 130)-(160, 170) holds a
    // grandchild that reaches beyond it, to (230, 205).
    HWND child = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 50, 40, red, nullptr,
                                   nullptr, nullptr);
    HWND grandchild = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 20, 15, 100, 60, child, nullptr,
                                        nullptr, nullptr);
    WindowCaptureWnd picker(options.get());
    picker.BuildWindowList(false);
    RECT r = picker.HitTest(POINT{140, 150});
    EXPECT_EQ(r.left, 130) << "the grandchild, where its parent shows it";
    EXPECT_EQ(r.top, 145);
    EXPECT_EQ(r.right, 160) << "clipped to its parent";
    EXPECT_EQ(r.bottom, 170);
    r = picker.HitTest(POINT{200, 190});
    EXPECT_EQ(r.left, 100) << "beyond its parent the grandchild is not seen: red is";
    EXPECT_EQ(r.right, 400);
    r = picker.HitTest(POINT{115, 135});
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.right, 160);
    r = picker.HitTest(POINT{160, 135});
    EXPECT_EQ(r.left, 100) << "the right edge belongs to the parent";
    EXPECT_EQ(r.right, 400);
    size_t entries = 0;
    for (const WindowListEntry& entry : picker.WindowList()) entries += entry.window == grandchild;
    EXPECT_EQ(entries, 1u) << "each window is listed once";
    ::DestroyWindow(child);
}

TEST_F(Picker, ADeepChainOfWindowsIsListedOnceEachAndThePickerComesAtOnce) {
    // 25 windows, each inside the one before, inset 6 pixels on every side:
    // the deepest is 100 x 100 at (910, 590).
    constexpr int kDepth = 25, kInset = 6;
    const RECT outer{760, 440, 1160, 840};
    WindowChain chain(kDepth, outer, kInset);
    ASSERT_EQ(chain.Windows().size(), size_t{kDepth + 1});
    const RECT deepest = WindowRect(chain.Windows().back());
    ASSERT_EQ(deepest.right - deepest.left, 100);

    // A walk that visits every window again for each of its ancestors takes
    // hours here; one that looks at each window once, a few milliseconds,
    // and the picker is up in about 0.3 s. The bound leaves room for a busy
    // machine.
    constexpr ULONGLONG kSlowest = 2000;
    const ULONGLONG start = ::GetTickCount64();
    ULONGLONG shownAfter = 0;
    std::thread user([&] {
        for (;;) {
            if (HWND overlay = FindOverlay(); overlay && ::IsWindowVisible(overlay)) {
                shownAfter = ::GetTickCount64() - start;
                break;
            }
            if (::GetTickCount64() - start > kSlowest) {
                // The chain goes, so that the walk ends; the picker is
                // cancelled once it shows.
                chain.Close();
                WaitForOverlay();
                ::PostMessageW(FindOverlay(), WM_KEYUP, VK_ESCAPE, 0);
                return;
            }
            ::Sleep(10);
        }
        WaitForOverlay();
        const POINT centre{(deepest.left + deepest.right) / 2, (deepest.top + deepest.bottom) / 2};
        MouseTo(centre.x + 1, centre.y + 1);
        MouseTo(centre.x, centre.y);
        MouseTo(centre.x, centre.y, MOUSEEVENTF_LEFTDOWN);
        MouseTo(centre.x, centre.y, MOUSEEVENTF_LEFTUP);
    });
    EXPECT_EQ(engine.CaptureWindow(), 0);
    user.join();
    ASSERT_GT(shownAfter, 0u) << "the picker is on screen within " << kSlowest << " ms";
    const std::string bmp = OnlyFile();
    EXPECT_EQ(BmpSize(bmp).cx, 100) << "the deepest window is captured";
    EXPECT_EQ(BmpSize(bmp).cy, 100);

    WindowCaptureWnd picker(options.get());
    picker.BuildWindowList(false);
    const auto& list = picker.WindowList();
    std::vector<long> at;
    for (HWND window : chain.Windows()) {
        long index = -1, seen = 0;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].window == window) index = static_cast<long>(i), ++seen;
        EXPECT_EQ(seen, 1) << "every window of the chain is listed once, level " << at.size();
        at.push_back(index);
    }
    for (size_t level = 1; level < at.size(); ++level)
        EXPECT_LT(at[level], at[level - 1]) << "a child comes before its parent, level " << level;
    // Between the edges of two levels the hit test gives the outer one.
    for (int level : {0, 12, kDepth - 1}) {
        const RECT expected = WindowRect(chain.Windows()[level]);
        const RECT r = picker.HitTest(POINT{expected.left + 2, expected.top + 2});
        EXPECT_TRUE(::EqualRect(&r, &expected)) << "level " << level;
    }
    const RECT r = picker.HitTest(POINT{deepest.left + 50, deepest.top + 50});
    EXPECT_TRUE(::EqualRect(&r, &deepest)) << "the deepest visible window";
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

TEST_F(Picker, WithTheAidsTheHoverWindowIsBrightTheRestDimmedAndLabelled) {
    UseSelectionAids();
    const std::wstring title(70, L'T');
    ::SetWindowTextW(red, (L"Seventy " + title).c_str());
    Pump(200);
    const COLORREF desktop = Grab(RECT{1000, 900, 1001, 901}).front();
    COLORREF inside = 0, other = 0, farAway = 0, edge = 0, picked = 0;
    std::wstring label;
    std::thread clicks([&] {
        WaitForOverlay();
        ShiftClick(550, 350);
        MouseTo(250, 220);
        MouseTo(252, 222);
        inside = WaitForPixel(150, 150, kRed);
        picked = WaitForPixel(600, 380, kBlue | RGB(155, 0, 155));
        farAway = Grab(RECT{1000, 900, 1001, 901}).front();
        edge = Grab(RECT{99, 250, 100, 251}).front();
        const auto* window = reinterpret_cast<platform::Window*>(::GetWindowLongPtrW(FindOverlay(), GWLP_USERDATA));
        if (const auto* picker = dynamic_cast<const WindowCaptureWnd*>(window)) label = picker->LabelText();
        unixtools::Screenshot("window-picker-aids");
        // The blue one is picked no more: it shows dimmed.
        ShiftClick(550, 350);
        MouseTo(250, 220);
        other = WaitForPixel(550, 350, RGB(GetRValue(kBlue) * 60 / 100, GetGValue(kBlue) * 60 / 100,
                                           GetBValue(kBlue) * 60 / 100));
        MouseTo(252, 222, MOUSEEVENTF_LEFTDOWN);
        MouseTo(252, 222, MOUSEEVENTF_LEFTUP);
    });
    EXPECT_EQ(engine.CaptureWindow(), 0);
    clicks.join();
    const auto dimmed = [](COLORREF c) {
        return RGB(GetRValue(c) * 154 / 256, GetGValue(c) * 154 / 256, GetBValue(c) * 154 / 256);
    };
    const auto nearBy = [](COLORREF a, COLORREF b) {
        return std::abs(GetRValue(a) - GetRValue(b)) <= 2 && std::abs(GetGValue(a) - GetGValue(b)) <= 2 &&
               std::abs(GetBValue(a) - GetBValue(b)) <= 2;
    };
    EXPECT_EQ(inside, kRed) << "the window under the pointer at full brightness";
    EXPECT_TRUE(nearBy(farAway, dimmed(desktop))) << std::hex << farAway << " of " << desktop;
    EXPECT_TRUE(nearBy(other, dimmed(kBlue))) << std::hex << other;
    EXPECT_EQ(picked, kBlue | RGB(155, 0, 155)) << "a picked window stays bright and tinted";
    EXPECT_TRUE(edge == RGB(255, 255, 255) || edge == RGB(0, 0, 0)) << std::hex << edge;
    EXPECT_EQ(label, L"300 \u00D7 200   Seventy " + std::wstring(52, L'T') + L"\u2026");
    const std::string bmp = OnlyFile();
    ASSERT_EQ(BmpSize(bmp).cx, 300);
    ASSERT_EQ(BmpSize(bmp).cy, 200);
    int notRed = 0;
    for (COLORREF c : Pixels(bmp)) notRed += c != kRed;
    EXPECT_EQ(notRed, 0) << "exactly the window, without dimming, border or label";
}
