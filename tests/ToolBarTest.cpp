// The engine's floating toolbar as the user sees it: its buttons' sizes for
// each look, the tooltips that name the hot keys, the place it remembers,
// what each button starts, and the tray icon it stands in for.
#include "app/CaptureEngine.h"
#include "tests/CaptureFixture.h"
#include "tests/TestApp.h"
#include "tests/UnixTools.h"
#include "uikit/CorvaneApp.h"
#include "uikit/HotKey.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <vector>

#include <thread>

using namespace screen;

namespace {

constexpr wchar_t kProgramKey[] = L"Software\\Veltrane\\Snapwell";

// The shipped options, with captures saved as BMP files into the fixture's
// folder.
class ToolBar : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        UseShippedOptions();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
        engine.RebuildToolBar();
        toolbar = engine.ToolbarWindow();
        ASSERT_NE(toolbar, nullptr);
        bar = ::GetDlgItem(toolbar, CaptureButtonBar::kBarId);
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
        CCaptureEngine::SetProcessMainWindow(nullptr);
        CaptureFixture::TearDown();
    }
    void Look(const wchar_t* size, const wchar_t* label) {
        options->SetProgramOption(L"ToolbarSize", size, false);
        options->SetProgramOption(L"ToolbarLabel", label, false);
        engine.RebuildToolBar();
    }
    SIZE ButtonSize() const {
        const LRESULT size = ::SendMessageW(bar, TB_GETBUTTONSIZE, 0, 0);
        return SIZE{LOWORD(size), HIWORD(size)};
    }
    // The tooltip the toolbar gives for a button, asked as its tooltip
    // control asks.
    std::wstring ToolTip(int id) const {
        NMTTDISPINFOW info{};
        info.hdr.hwndFrom = bar;
        info.hdr.idFrom = static_cast<UINT_PTR>(id);
        info.hdr.code = TTN_GETDISPINFOW;
        ::SendMessageW(toolbar, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&info));
        return info.lpszText ? info.lpszText : L"";
    }
    static std::wstring Replaced(std::wstring text, const std::wstring& key) {
        text.replace(text.find(L"{1}"), 3, key);
        return text;
    }
    DWORD Stored(const wchar_t* name) const {
        DWORD value = 0xFFFFFFFF, size = sizeof(value);
        ::RegGetValueW(HKEY_CURRENT_USER, kProgramKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }
    HWND toolbar = nullptr, bar = nullptr;
};

RECT WindowRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

}  // namespace

TEST_F(ToolBar, ButtonsFollowTheLookOptionsAndTheWindowHoldsExactlyThem) {
    const struct {
        const wchar_t* size;
        const wchar_t* label;
        SIZE button;
    } looks[] = {{L"LargeIcon", L"ShowTextLabels", {70, 75}},
                 {L"SmallIcon", L"NoLabel", {31, 30}},
                 {L"LargeIcon", L"NoLabel", {56, 55}},
                 {L"SmallIcon", L"ShowTextLabels", {70, 50}}};
    ASSERT_EQ(engine.ShowToolBar(), S_OK);
    for (const auto& look : looks) {
        const std::string name(look.size, look.size + wcslen(look.size));
        SCOPED_TRACE(name);
        Look(look.size, look.label);
        EXPECT_TRUE(::IsWindowVisible(toolbar)) << "a rebuild keeps it shown";
        EXPECT_EQ(ButtonSize().cx, look.button.cx);
        EXPECT_EQ(ButtonSize().cy, look.button.cy);
        RECT client{};
        ::GetClientRect(toolbar, &client);
        EXPECT_EQ(client.right, 6 * look.button.cx) << "the client area holds the six buttons";
        EXPECT_EQ(client.bottom, look.button.cy);
        Pump(300);
        unixtools::Screenshot("toolbar-" + name + "-" + std::string(look.label, look.label + wcslen(look.label)));
    }
    // Labels are the translated button names; the title the product name.
    wchar_t text[64] = {};
    ::SendMessageW(bar, TB_GETBUTTONTEXTW, 32773, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), ExpandText(L"Rectangle"));
    EXPECT_EQ(platform::WindowText(toolbar), L"Snapwell");
    // Only Move and Close are left in its system menu.
    HMENU menu = ::GetSystemMenu(toolbar, FALSE);
    EXPECT_EQ(::GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(::GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(::GetMenuState(menu, SC_MOVE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
}

TEST_F(ToolBar, TooltipsNameEachCapturesHotKeyInTheProgramsKeyNames) {
    // The shipped keys: Print Screen for the full screen.
    EXPECT_EQ(ToolTip(32771), Replaced(ExpandText(L"ToolTips32771"), FormatHotKeyForDisplay(0, VK_SNAPSHOT)));
    EXPECT_EQ(ToolTip(32774),
              Replaced(ExpandText(L"ToolTips32774"), FormatHotKeyForDisplay(MOD_CONTROL | MOD_SHIFT, VK_SNAPSHOT)));
    // Without a key the placeholder goes; a text without one stays as it is.
    options->SetHotKeyValue(L"WindowCaptureKey", L"");
    EXPECT_EQ(ToolTip(32772), Replaced(ExpandText(L"ToolTips32772"), L""));
    EXPECT_EQ(ToolTip(32775), ExpandText(L"ToolTips32775"));
    EXPECT_EQ(ExpandText(L"ToolTips32775").find(L"{1}"), std::wstring::npos);
    // A hostile stored key is no key.
    options->SetHotKeyValue(L"RegionCaptureKey", L"Ctrl + Banana");
    EXPECT_EQ(ToolTip(32773), Replaced(ExpandText(L"ToolTips32773"), L""));
}

TEST_F(ToolBar, ItsPlaceIsRememberedAndKeptOnTheScreen) {
    const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
    // Stored values beyond the screen, negative ones included, mean the
    // middle of the screen for that edge.
    const DWORD beyond = 5000, minusFive = static_cast<DWORD>(-5), fine = 100;
    const std::vector<RECT> screen{RECT{0, 0, cx, cy}};
    EXPECT_EQ(ToolBarControl::RestoredPosition(&beyond, &fine, screen).x, cx / 2);
    EXPECT_EQ(ToolBarControl::RestoredPosition(&beyond, &fine, screen).y, 100);
    EXPECT_EQ(ToolBarControl::RestoredPosition(&fine, &minusFive, screen).y, cy / 2);
    EXPECT_EQ(ToolBarControl::RestoredPosition(nullptr, &fine, screen).x, cx / 2);

    // Closed at (200, 150), the next toolbar opens there.
    ASSERT_EQ(engine.ShowToolBar(), S_OK);
    ::SetWindowPos(toolbar, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SendMessageW(toolbar, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(toolbar));
    EXPECT_TRUE(::IsWindow(toolbar)) << "closing only hides it";
    EXPECT_EQ(Stored(L"x"), 200u);
    EXPECT_EQ(Stored(L"y"), 150u);
    {
        CCaptureEngine next;
        EXPECT_EQ(WindowRect(next.ToolbarWindow()).left, 200);
        EXPECT_EQ(WindowRect(next.ToolbarWindow()).top, 150);
    }
    const DWORD x = 5000;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"x", REG_DWORD, &x, sizeof(x));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kProgramKey, L"y", REG_SZ, L"150", 8);
    {
        CCaptureEngine next;
        EXPECT_EQ(WindowRect(next.ToolbarWindow()).left, cx / 2) << "x beyond the screen";
        EXPECT_EQ(WindowRect(next.ToolbarWindow()).top, cy / 2) << "y of the wrong type";
    }

    // After a display change a toolbar partly off the screen comes back
    // whole, in the middle.
    ::SetWindowPos(toolbar, nullptr, cx - 40, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const RECT before = WindowRect(toolbar);
    ::SendMessageW(toolbar, WM_DISPLAYCHANGE, 32, MAKELPARAM(cx, cy));
    EXPECT_EQ(WindowRect(toolbar).left, cx / 2 - (before.right - before.left) / 2);
    EXPECT_EQ(WindowRect(toolbar).top, 150) << "the edge that was on the screen stays";
    const RECT inside{10, 10, 110, 60};
    EXPECT_EQ(ToolBarControl::KeptOnScreen(inside, screen, true).x, 10);
    const RECT partly{-20, 10, 80, 60};
    EXPECT_EQ(ToolBarControl::KeptOnScreen(partly, screen, false).x, -20) << "lenient: partly on the screen is enough";
}

TEST(ToolBarPlace, FollowsTheMonitorsWorkAreas) {
    // The primary with a taskbar at its foot, a second monitor left of it
    // (negative x) and a third above it.
    const std::vector<RECT> monitors{RECT{0, 0, 1920, 1040}, RECT{-1280, 0, 0, 984}, RECT{0, -1080, 1920, 0}};
    const auto word = [](int value) { return static_cast<DWORD>(value); };
    const DWORD leftX = word(-900), leftY = 300, aboveY = word(-500), goneX = word(-3000), y = 200;
    EXPECT_EQ(ToolBarControl::RestoredPosition(&leftX, &leftY, monitors).x, -900) << "a place on the left monitor";
    EXPECT_EQ(ToolBarControl::RestoredPosition(&leftX, &aboveY, monitors).y, 520)
        << "left of the primary but above the left monitor: on no monitor";
    const POINT gone = ToolBarControl::RestoredPosition(&goneX, &y, monitors);
    EXPECT_EQ(gone.x, 960) << "a monitor that is gone: back to the primary";
    EXPECT_EQ(gone.y, 200);
    EXPECT_EQ(ToolBarControl::RestoredPosition(nullptr, &y, monitors).y, 520) << "the primary's work area";

    // Straddling the left and the primary monitor: lenient keeps it, strict
    // brings it wholly onto the monitor it overlaps most.
    const RECT straddling{-100, 100, 300, 150};
    EXPECT_EQ(ToolBarControl::KeptOnScreen(straddling, monitors, false).x, -100);
    EXPECT_EQ(ToolBarControl::KeptOnScreen(straddling, monitors, true).x, 960 - 200);
    const RECT onLeft{-1000, 950, -600, 1000};
    EXPECT_EQ(ToolBarControl::KeptOnScreen(onLeft, monitors, true).y, 492 - 25) << "below the left work area";
    EXPECT_EQ(ToolBarControl::KeptOnScreen(onLeft, monitors, true).x, -1000);
    const RECT nowhere{-2000, 100, -1800, 150};
    EXPECT_EQ(ToolBarControl::KeptOnScreen(nowhere, monitors, false).x, 960 - 100) << "on no monitor: the primary";
    const RECT onAbove{100, -700, 300, -650};
    EXPECT_EQ(ToolBarControl::KeptOnScreen(onAbove, monitors, true).y, -700);
}

TEST_F(ToolBar, OnAMonitorOfAnotherScaleItsButtonsAndImagesFollow) {
    ASSERT_EQ(engine.ShowToolBar(), S_OK);
    Look(L"SmallIcon", L"NoLabel");
    const auto image = [this] {
        const HIMAGELIST list = reinterpret_cast<HIMAGELIST>(::SendMessageW(bar, TB_GETIMAGELIST, 0, 0));
        int cx = 0, cy = 0;
        ::ImageList_GetIconSize(list, &cx, &cy);
        return cx;
    };
    const auto moveTo = [this](int dpi, RECT suggested) {
        ::SendMessageW(toolbar, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    };
    moveTo(144, RECT{300, 200, 500, 260});
    EXPECT_EQ(image(), 36) << "the images drawn for 150 %";
    EXPECT_EQ(ButtonSize().cx, 47);
    EXPECT_EQ(ButtonSize().cy, 45);
    EXPECT_EQ(WindowRect(toolbar).left, 300) << "where the system suggests";
    EXPECT_EQ(WindowRect(toolbar).top, 200);
    RECT client{};
    ::GetClientRect(toolbar, &client);
    EXPECT_EQ(client.right, 6 * 47) << "the window still holds exactly the buttons";
    moveTo(120, RECT{300, 200, 500, 260});
    EXPECT_EQ(image(), 30) << "125 %: the 36-pixel images shrunk";
    Look(L"LargeIcon", L"NoLabel");
    EXPECT_EQ(image(), 60);
    moveTo(96, RECT{100, 100, 300, 160});
    EXPECT_EQ(image(), 48);
    EXPECT_EQ(ButtonSize().cx, 56) << "back at 100 %, as before";
}

TEST_F(ToolBar, ShowingAndClosingTellTheMainWindowAndEscapeCloses) {
    struct Recorder : platform::Window {
        std::vector<WPARAM> told;
        LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
            if (message == ToolBarControl::kVisibilityMessage) told.push_back(wParam);
            return Default(message, wParam, lParam);
        }
    } main;
    ASSERT_TRUE(main.Create(L"SnapwellTestMain", 0, 0, L"", 0, RECT{}, HWND_MESSAGE));
    CCaptureEngine::SetProcessMainWindow(main.hwnd());
    ASSERT_EQ(engine.ShowToolBar(), S_OK);
    EXPECT_EQ(main.told, (std::vector<WPARAM>{1})) << "shown: the tray icon goes";
    ::SendMessageW(bar, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    EXPECT_FALSE(::IsWindowVisible(toolbar)) << "Escape in the bar closes the toolbar";
    EXPECT_EQ(main.told, (std::vector<WPARAM>{1, 0})) << "closed: the tray icon comes back";
    EXPECT_NE(Stored(L"x"), 0xFFFFFFFFu) << "and its place is saved";
    CCaptureEngine::SetProcessMainWindow(nullptr);
}

TEST_F(ToolBar, EachButtonStartsItsActionWithTheToolbarOutOfTheWay) {
    // Over the red window, where the grab would show it if it stayed.
    ASSERT_EQ(engine.ShowToolBar(), S_OK);
    ::SetWindowPos(toolbar, nullptr, 110, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump(300);
    RECT first{};
    ::SendMessageW(bar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    ::MapWindowPoints(bar, nullptr, reinterpret_cast<POINT*>(&first), 2);
    const POINT button{(first.left + first.right) / 2, (first.top + first.bottom) / 2};
    MouseTo(button.x, button.y);
    MouseTo(button.x, button.y, MOUSEEVENTF_LEFTDOWN);
    MouseTo(button.x, button.y, MOUSEEVENTF_LEFTUP);
    for (int i = 0; i < 100 && Files().empty(); ++i) Pump(100);
    const std::string bmp = OnlyFile();
    ASSERT_FALSE(bmp.empty()) << "the Full Screen button captured the screen";
    EXPECT_EQ(BmpPixel(bmp, button.x, button.y), kRed) << "without the toolbar in it";
    EXPECT_TRUE(::IsWindowVisible(toolbar)) << "and it is back afterwards";

    // Window, Rectangle and Resize open their overlays; Escape ends each.
    for (const auto& [id, overlayClass] :
         {std::pair{32772, L"SnapwellCaptureOverlay"}, std::pair{32773, L"SnapwellCaptureOverlay"},
          std::pair{32774, L"SnapwellResizePicker"}}) {
        SCOPED_TRACE(id);
        bool toolbarHidden = false;
        std::thread cancel([&, overlayClass = overlayClass] {
            HWND overlay = nullptr;
            for (int i = 0; i < 200 && overlay == nullptr; ++i) {
                ::Sleep(50);
                overlay = ::FindWindowW(overlayClass, nullptr);
            }
            toolbarHidden = !::IsWindowVisible(toolbar);
            ::Sleep(300);
            if (overlay) ::PostMessageW(overlay, WM_KEYUP, VK_ESCAPE, 0);
        });
        ::SendMessageW(toolbar, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(bar));
        cancel.join();
        EXPECT_TRUE(toolbarHidden) << "the toolbar steps aside for the overlay";
        EXPECT_TRUE(::IsWindowVisible(toolbar));
    }
    EXPECT_EQ(Files().size(), 1u) << "cancelled overlays save nothing";

    // Options and About run with the toolbar hidden, and bring it back.
    bool hiddenForOptions = false, hiddenForAbout = false;
    TestApp::Get().optionsDialog = [&] {
        hiddenForOptions = !::IsWindowVisible(toolbar);
        return IDOK;
    };
    TestApp::Get().aboutDialog = [&] {
        hiddenForAbout = !::IsWindowVisible(toolbar);
        return IDOK;
    };
    ::SendMessageW(toolbar, WM_COMMAND, 32775, 0);
    ::SendMessageW(toolbar, WM_COMMAND, 32776, 0);
    TestApp::Get().optionsDialog = nullptr;
    TestApp::Get().aboutDialog = nullptr;
    EXPECT_TRUE(hiddenForOptions);
    EXPECT_TRUE(hiddenForAbout);
    EXPECT_TRUE(::IsWindowVisible(toolbar));
}
