// Captures from grab to file on the real screen of the Wine display: the
// full screen against known windows, the rectangle overlay driven by
// SendInput, its ways to cancel, the busy guard and the window list.
#include "capture/CaptureEngine.h"
#include "capture/RegionCaptureWnd.h"
#include "options/CaptureOptions.h"
#include "platform/FileSystem.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

constexpr char kOptions[] =
    "<ToolOptions><ProgramOptions Name='P'><O Name='MultipleCaptureProfiles' Value='0'/>"
    "<O Name='HideCursor' Value='1'/><O Name='PlaySound' Value='0'/></ProgramOptions>"
    "<Profiles Name='Profiles'><Profile Name='DefaultProfile'>"
    "<O Name='Action' Value='Save to file'/><O Name='ColorDepth' Value='24 bits per pixel Color'/>"
    "<O Name='TargetType' Value='bmp'/><O Name='TargetFolder' Value=''/>"
    "<O Name='FileNameTemplatePrefix' Value='Capture'/>"
    "</Profile></Profiles><HotKeys/></ToolOptions>";

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

// A top-level window filled with one colour.
HWND ColourWindow(COLORREF colour, int x, int y, int w, int h) {
    const std::wstring cls = L"SnapwellTestColour" + std::to_wstring(colour);
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = ::CreateSolidBrush(colour);
    wc.lpszClassName = cls.c_str();
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(WS_EX_TOPMOST, cls.c_str(), L"", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    ::UpdateWindow(window);
    return window;
}

void Pump(DWORD ms) {
    const DWORD end = ::GetTickCount() + ms;
    MSG msg;
    while (::GetTickCount() < end) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(10);
    }
}

void MouseTo(int x, int y, DWORD flags = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags;
    ::SendInput(1, &input, sizeof(input));
    ::Sleep(60);
}

HWND FindOverlay() { return ::FindWindowW(L"SnapwellCaptureOverlay", nullptr); }

// Waits until the overlay is on screen (at most ten seconds).
void WaitForOverlay() {
    for (int i = 0; i < 200 && !(FindOverlay() && ::IsWindowVisible(FindOverlay())); ++i) ::Sleep(50);
    ::Sleep(300);  // and has painted the frozen desktop
}

// Drags with the left button from one point to another, from a second thread.
std::thread Drag(POINT from, POINT to) {
    return std::thread([=] {
        WaitForOverlay();
        MouseTo(from.x, from.y);
        MouseTo(from.x, from.y, MOUSEEVENTF_LEFTDOWN);
        MouseTo((from.x + to.x) / 2, (from.y + to.y) / 2);
        MouseTo(to.x, to.y);
        MouseTo(to.x, to.y, MOUSEEVENTF_LEFTUP);
    });
}


// The 24-bit pixel at picture (x, y) of a BMP file.
COLORREF BmpPixel(const std::string& bmp, long x, long y) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, bmp.data() + 14, sizeof(header));
    const size_t stride = ((header.biWidth * 24 + 31) / 32) * 4;
    const size_t row = static_cast<size_t>(header.biHeight - 1 - y);
    const auto* p = reinterpret_cast<const uint8_t*>(bmp.data() + 54 + row * stride + x * 3);
    return RGB(p[2], p[1], p[0]);
}

SIZE BmpSize(const std::string& bmp) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, bmp.data() + 14, sizeof(header));
    return SIZE{header.biWidth, header.biHeight};
}

class Engine : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(kOptions);
        shots = FreshDocumentsFolder(L"SnapwellCaptures");
        ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots));
        engine.SetOptions(options.get());
        red = ColourWindow(RGB(200, 30, 60), 100, 120, 300, 200);
        blue = ColourWindow(RGB(20, 40, 220), 500, 300, 160, 100);
        Pump(300);
    }
    void TearDown() override {
        ::DestroyWindow(red);
        ::DestroyWindow(blue);
        testfiles::RemoveTree(shots);
        OptionsFiles::TearDown();
    }
    std::vector<std::wstring> Files() { return testfiles::List(shots); }
    std::string OnlyFile() {
        const auto files = Files();
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : testfiles::Read(shots + files[0]);
    }

    CCaptureEngine engine;
    std::wstring shots;
    HWND red = nullptr, blue = nullptr;
};

}  // namespace

TEST_F(Engine, FullScreenCaptureMatchesTheScreen) {
    EXPECT_EQ(engine.CaptureFullScreen(), 0);
    const std::string bmp = OnlyFile();
    ASSERT_FALSE(bmp.empty());
    const SIZE size = BmpSize(bmp);
    EXPECT_EQ(size.cx, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(size.cy, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(BmpPixel(bmp, 150, 150), RGB(200, 30, 60));
    EXPECT_EQ(BmpPixel(bmp, 399, 319), RGB(200, 30, 60));
    EXPECT_EQ(BmpPixel(bmp, 550, 350), RGB(20, 40, 220));
    HDC screen = ::GetDC(nullptr);
    for (POINT p : {POINT{5, 5}, POINT{640, 512}, POINT{1000, 900}})
        EXPECT_EQ(BmpPixel(bmp, p.x, p.y), ::GetPixel(screen, p.x, p.y)) << p.x << "," << p.y;
    ::ReleaseDC(nullptr, screen);
    platform::Variant mode;
    options->GetProperty(L"CaptureMode", mode);
    EXPECT_EQ(mode.get().lVal, 132);
    EXPECT_EQ(engine.BusyState(), 0);
}

TEST_F(Engine, RectangleDragsInEitherDirectionGiveTheSameImage) {
    std::thread down = Drag({150, 160}, {350, 260});
    EXPECT_EQ(engine.CaptureRegion(), 0);
    down.join();
    auto files = Files();
    ASSERT_EQ(files.size(), 1u);
    const std::string first = testfiles::Read(shots + files[0]);
    EXPECT_EQ(BmpSize(first).cx, 200);
    EXPECT_EQ(BmpSize(first).cy, 100);
    EXPECT_EQ(BmpPixel(first, 10, 10), RGB(200, 30, 60));
    EXPECT_EQ(BmpPixel(first, 0, 0), RGB(200, 30, 60)) << "no rubber band in the image";
    EXPECT_EQ(BmpPixel(first, 199, 99), RGB(200, 30, 60));
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
    platform::Variant mode;
    options->GetProperty(L"CaptureMode", mode);
    EXPECT_EQ(mode.get().lVal, 135);
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
}

TEST_F(Engine, FocusLossEndsTheOverlay) {
    std::thread away([this] {
        WaitForOverlay();
        ::PostMessageW(FindOverlay(), WM_KILLFOCUS, reinterpret_cast<WPARAM>(red), 0);
    });
    EXPECT_EQ(engine.CaptureRegion(), 0);
    away.join();
    EXPECT_TRUE(Files().empty());
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
    EXPECT_EQ(BmpPixel(bmp, 63, 31), RGB(200, 30, 60));

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

TEST(RegionSelection, EitherDragDirectionGivesTheSameRectangle) {
    const RECT a = RegionCaptureWnd::SelectionFor({300, 200}, {100, 50});
    const RECT b = RegionCaptureWnd::SelectionFor({100, 50}, {300, 200});
    EXPECT_TRUE(::EqualRect(&a, &b));
    EXPECT_EQ(a.right - a.left, 200);
    EXPECT_EQ(a.bottom - a.top, 150);
}
