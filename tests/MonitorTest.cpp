// Captures on two monitors: the primary, 1280 x 1024, and a 1024 x 768 one
// left of it at negative x (see tests/monitors/xorg.conf). A green window
// lies on the left monitor and a yellow one straddles the boundary, beside
// the fixture's red and blue windows on the primary.
#include "platform/Monitors.h"
#include "tests/CaptureFixture.h"

using namespace screen;

namespace {

constexpr COLORREF kGreen = RGB(30, 190, 70);
constexpr COLORREF kYellow = RGB(230, 210, 20);

class TwoMonitors : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        green = ColourWindow(kGreen, -900, 100, 400, 300);
        yellow = ColourWindow(kYellow, -150, 500, 300, 120);
        Pump(300);
    }
    void TearDown() override {
        ::DestroyWindow(green);
        ::DestroyWindow(yellow);
        CaptureFixture::TearDown();
    }
    HWND green = nullptr, yellow = nullptr;
};

}  // namespace

TEST_F(TwoMonitors, TheDesktopHasAMonitorLeftOfThePrimary) {
    const std::vector<platform::MonitorArea> monitors = platform::Monitors();
    ASSERT_EQ(monitors.size(), 2u) << "the test display must have two monitors";
    EXPECT_EQ(monitors[0].monitor.left, 0) << "the primary comes first";
    EXPECT_EQ(monitors[1].monitor.left, -1024);
    const RECT all = platform::VirtualScreen();
    EXPECT_EQ(all.left, -1024);
    EXPECT_EQ(all.right, 1280);
    EXPECT_EQ(all.bottom, 1024);
}

TEST_F(TwoMonitors, FullScreenCaptureHoldsEveryMonitor) {
    EXPECT_EQ(engine.CaptureFullScreen(), 0);
    const std::string bmp = OnlyFile();
    ASSERT_EQ(BmpSize(bmp).cx, 2304) << "the virtual screen's width";
    ASSERT_EQ(BmpSize(bmp).cy, 1024);
    // The picture's (0, 0) is the left monitor's top-left corner.
    EXPECT_EQ(BmpPixel(bmp, -900 + 1024, 100), kGreen);
    EXPECT_EQ(BmpPixel(bmp, -501 + 1024, 399), kGreen);
    EXPECT_EQ(BmpPixel(bmp, 100 + 1024, 120), kRed);
    EXPECT_EQ(BmpPixel(bmp, 1024 - 150, 500), kYellow);
    EXPECT_EQ(BmpPixel(bmp, 1024 + 149, 619), kYellow);
}

TEST_F(TwoMonitors, RectangleDraggedAcrossTheBoundaryIsExact) {
    std::thread drag = Drag({-100, 520}, {100, 560});
    EXPECT_EQ(engine.CaptureRegion(), 0);
    drag.join();
    const std::string bmp = OnlyFile();
    ASSERT_EQ(BmpSize(bmp).cx, 200);
    ASSERT_EQ(BmpSize(bmp).cy, 40);
    for (long x : {0L, 99L, 100L, 199L})
        for (long y : {0L, 39L}) EXPECT_EQ(BmpPixel(bmp, x, y), kYellow) << x << "," << y;
}

TEST_F(TwoMonitors, WindowsOnTheLeftMonitorAndAcrossTheBoundaryAreCapturedWhole) {
    // A framed window at negative x, so that the picture must hold its
    // caption and borders too.
    HWND framed = ::CreateWindowExW(WS_EX_TOPMOST, L"#32770", L"Left monitor", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                    -1000, 450, 360, 240, nullptr, nullptr, nullptr, nullptr);
    Pump(400);
    RECT frame{};
    ::GetWindowRect(framed, &frame);
    std::thread click = ClickWindows({}, POINT{-820, 600});
    EXPECT_EQ(engine.CaptureWindow(), 0);
    click.join();
    {
        const std::string bmp = OnlyFile();
        EXPECT_EQ(BmpSize(bmp).cx, frame.right - frame.left);
        EXPECT_EQ(BmpSize(bmp).cy, frame.bottom - frame.top);
    }
    ::DestroyWindow(framed);
    testfiles::RemoveTree(shots);
    ::CreateDirectoryW(shots.c_str(), nullptr);

    // The window across the boundary comes whole, not cut at x = 0.
    std::thread across = ClickWindows({}, POINT{50, 560});
    EXPECT_EQ(engine.CaptureWindow(), 0);
    across.join();
    const std::string bmp = OnlyFile();
    ASSERT_EQ(BmpSize(bmp).cx, 300);
    ASSERT_EQ(BmpSize(bmp).cy, 120);
    EXPECT_EQ(BmpPixel(bmp, 0, 0), kYellow);
    EXPECT_EQ(BmpPixel(bmp, 299, 119), kYellow);
}

TEST_F(TwoMonitors, CaptureRectTakesNegativeCoordinates) {
    // Half on the green window, half on the grey beside it on the left
    // monitor, and a strip across the boundary through the yellow one.
    EXPECT_EQ(engine.CaptureRect(-520, 150, 40, 20, nullptr), 0);
    EXPECT_EQ(engine.CaptureRect(-10, 540, 20, 10, nullptr), 0);
    const auto files = Files();
    ASSERT_EQ(files.size(), 2u);
    const std::string left = testfiles::Read(shots + files[0]), across = testfiles::Read(shots + files[1]);
    EXPECT_EQ(BmpSize(left).cx, 40);
    EXPECT_EQ(BmpPixel(left, 0, 0), kGreen);
    EXPECT_EQ(BmpPixel(left, 19, 19), kGreen);
    EXPECT_NE(BmpPixel(left, 20, 0), kGreen) << "right of the green window";
    EXPECT_EQ(BmpSize(across).cx, 20);
    for (long x : {0L, 9L, 10L, 19L}) EXPECT_EQ(BmpPixel(across, x, 5), kYellow) << x;
}
