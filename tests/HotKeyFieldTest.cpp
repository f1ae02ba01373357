// The hot-key field on the real platform under Wine: Print Screen typed into
// it, reservations against the main window, refusals of taken combinations,
// and what the field shows.
#include "tests/ScreenTools.h"
#include "tests/TestApp.h"
#include "uikit/HookedHotKeyCtrl.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <regex>

namespace {

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

HWND PlainWindow(DWORD style, int x, int y, int w, int h) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"SnapwellTestHotKeyDialog";
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(0, wc.lpszClassName, L"", style, x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
}

// Counts refusals; the beep itself still sounds.
class CountingHotKeyCtrl : public HookedHotKeyCtrl {
public:
    int refusals = 0;

protected:
    void OnCombinationRefused() override {
        ++refusals;
        HookedHotKeyCtrl::OnCombinationRefused();
    }
};

struct Combination {
    WORD key = 0, modifiers = 0;
    bool operator==(const Combination&) const = default;
};

Combination Accepted(const HookedHotKeyCtrl& field) {
    Combination c;
    field.GetHotKey(c.key, c.modifiers);
    return c;
}

// Whether the combination (registration bits) is free: held by no field and
// no program. The probe registers it for an instant on this thread.
bool IsFree(UINT modifiers, UINT key) {
    constexpr int kProbeId = 0x7ABC;
    if (!::RegisterHotKey(nullptr, kProbeId, modifiers, key)) return false;
    ::UnregisterHotKey(nullptr, kProbeId);
    return true;
}

void PressPrintScreenWith(WORD modifier) {
    screen::Key(modifier, true);
    screen::Key(VK_SNAPSHOT, true);
    screen::Pump(400);  // several polls while the keys are down
    screen::Key(VK_SNAPSHOT, false);
    screen::Key(modifier, false);
    screen::Pump(200);
}

std::wstring CtrlName() { return GetKeyName(VK_CONTROL); }

// A dialog-like window with two fields and a hidden main window that the
// fields reserve their combinations against.
class HotKeyFields : public testing::Test {
protected:
    void SetUp() override {
        mainWindow_ = PlainWindow(WS_OVERLAPPED, 0, 0, 100, 100);
        TestApp::Get().mainWindow = mainWindow_;
        dialog_ = PlainWindow(WS_POPUP | WS_VISIBLE, 100, 100, 300, 120);
        first = std::make_unique<CountingHotKeyCtrl>();
        second = std::make_unique<CountingHotKeyCtrl>();
        ASSERT_TRUE(first->Create(dialog_, RECT{10, 10, 290, 40}, 101));
        ASSERT_TRUE(second->Create(dialog_, RECT{10, 60, 290, 90}, 102));
        ::SetForegroundWindow(dialog_);
        screen::Pump(200);
    }
    void TearDown() override {
        ::DestroyWindow(dialog_);
        first.reset();
        second.reset();
        ::DestroyWindow(mainWindow_);
        TestApp::Get().mainWindow = nullptr;
    }
    void Focus(HookedHotKeyCtrl& field) {
        ::SetForegroundWindow(dialog_);
        ::SetFocus(field.hwnd());
        screen::Pump(150);
    }

    std::unique_ptr<CountingHotKeyCtrl> first, second;
    HWND dialog_ = nullptr, mainWindow_ = nullptr;
};

}  // namespace

TEST_F(HotKeyFields, CtrlWithPrintScreenIsTakenAndShownWithTheProgramsNames) {
    EXPECT_EQ(first->GetDisplayText(), ExpandText(L"None")) << "a field with no key";
    Focus(*first);
    PressPrintScreenWith(VK_CONTROL);
    EXPECT_EQ(first->GetDisplayText(), CtrlName() + L" + " + ExpandText(L"PrnScr"));
    EXPECT_EQ(Accepted(*first), (Combination{44, HOTKEYF_CONTROL}));
    EXPECT_EQ(Accepted(*second), Combination{}) << "only the focused field takes the key";
    EXPECT_EQ(first->refusals + second->refusals, 0);

    // Ordinary keys go through the platform field.
    Focus(*second);
    EXPECT_FALSE(IsFree(MOD_CONTROL, 44)) << "the first field reserves its key once it loses the focus";
    screen::Key(VK_CONTROL, true);
    screen::Key(VK_SHIFT, true);
    screen::Tap('K');
    screen::Key(VK_SHIFT, false);
    screen::Key(VK_CONTROL, false);
    screen::Pump(200);
    EXPECT_EQ(Accepted(*second), (Combination{'K', HOTKEYF_CONTROL | HOTKEYF_SHIFT}));
    EXPECT_EQ(second->GetDisplayText(), CtrlName() + L" + " + GetKeyName(VK_SHIFT) + L" + K");

    // A tap of Print Screen quicker than the poll, while Shift is held.
    screen::Key(VK_SHIFT, true);
    screen::Tap(VK_SNAPSHOT);
    screen::Pump(150);
    screen::Key(VK_SHIFT, false);
    screen::Pump(150);
    EXPECT_EQ(Accepted(*second), (Combination{44, HOTKEYF_SHIFT}));
    EXPECT_EQ(second->GetDisplayText(), GetKeyName(VK_SHIFT) + L" + " + ExpandText(L"PrnScr"));

    // The field draws that text itself: its client area is no longer plain.
    RECT client;
    ::GetClientRect(first->hwnd(), &client);
    HDC screenDc = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screenDc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screenDc, client.right, client.bottom);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SendMessageW(first->hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    int textPixels = 0;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) textPixels += ::GetPixel(dc, x, y) == ::GetSysColor(COLOR_WINDOWTEXT);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screenDc);
    EXPECT_GT(textPixels, 20);
}

TEST_F(HotKeyFields, TakenCombinationBeepsAndTheFieldKeepsItsKey) {
    first->SetHotKey('K', HOTKEYF_CONTROL | HOTKEYF_SHIFT);
    second->SetHotKey('J', HOTKEYF_ALT);
    ASSERT_EQ(Accepted(*first), (Combination{'K', HOTKEYF_CONTROL | HOTKEYF_SHIFT}));

    second->SetHotKey('K', HOTKEYF_CONTROL | HOTKEYF_SHIFT);
    EXPECT_EQ(second->refusals, 1);
    EXPECT_EQ(Accepted(*second), (Combination{'J', HOTKEYF_ALT}));
    EXPECT_EQ(second->GetDisplayText(), GetKeyName(VK_MENU) + L" + J") << "shows what it holds";
    EXPECT_FALSE(IsFree(MOD_ALT, 'J')) << "its own key is reserved again";
    EXPECT_FALSE(IsFree(MOD_CONTROL | MOD_SHIFT, 'K')) << "the first field still holds its key";

    // Another program's key: here one this thread holds.
    ASSERT_TRUE(::RegisterHotKey(nullptr, 0x7ABD, MOD_CONTROL | MOD_ALT, 'Q'));
    first->SetHotKey('Q', HOTKEYF_CONTROL | HOTKEYF_ALT);
    EXPECT_EQ(first->refusals, 1);
    EXPECT_EQ(Accepted(*first), (Combination{'K', HOTKEYF_CONTROL | HOTKEYF_SHIFT}));
    ::UnregisterHotKey(nullptr, 0x7ABD);

    // Print Screen held in the second field across several polls, while the
    // first holds it: refused once, not once per poll.
    first->SetHotKey(44, HOTKEYF_CONTROL);
    Focus(*second);
    PressPrintScreenWith(VK_CONTROL);
    EXPECT_EQ(second->refusals, 2);
    EXPECT_EQ(Accepted(*second), (Combination{'J', HOTKEYF_ALT}));
    EXPECT_EQ(Accepted(*first), (Combination{44, HOTKEYF_CONTROL}));
}

TEST_F(HotKeyFields, ReservationFollowsFocusAndEndsWithTheField) {
    first->SetHotKey('K', HOTKEYF_CONTROL | HOTKEYF_SHIFT);
    EXPECT_FALSE(IsFree(MOD_CONTROL | MOD_SHIFT, 'K'));
    Focus(*first);
    EXPECT_TRUE(IsFree(MOD_CONTROL | MOD_SHIFT, 'K')) << "free to be typed while the field has the focus";
    Focus(*second);
    EXPECT_FALSE(IsFree(MOD_CONTROL | MOD_SHIFT, 'K'));

    // Ctrl alone is a combination being typed, not a key: set, or typed and
    // let go.
    first->SetHotKey(0, HOTKEYF_CONTROL);
    EXPECT_EQ(Accepted(*first), (Combination{'K', HOTKEYF_CONTROL | HOTKEYF_SHIFT}));
    Focus(*first);
    screen::Tap(VK_CONTROL);
    screen::Pump(150);
    EXPECT_EQ(Accepted(*first), (Combination{'K', HOTKEYF_CONTROL | HOTKEYF_SHIFT}));
    EXPECT_EQ(first->GetDisplayText(), CtrlName() + L" + " + GetKeyName(VK_SHIFT) + L" + K");
    EXPECT_EQ(first->refusals, 0);
    // Backspace empties the field: it holds nothing then.
    screen::Tap(VK_BACK);
    screen::Pump(150);
    Focus(*second);
    EXPECT_EQ(Accepted(*first), Combination{});
    EXPECT_EQ(first->GetDisplayText(), ExpandText(L"None"));
    EXPECT_TRUE(IsFree(MOD_CONTROL | MOD_SHIFT, 'K'));
    EXPECT_EQ(first->refusals, 0);

    // The dialog closing frees its fields' keys for the program's own hot keys.
    second->SetHotKey(VK_F9, HOTKEYF_ALT);
    EXPECT_FALSE(IsFree(MOD_ALT, VK_F9));
    ::DestroyWindow(dialog_);
    dialog_ = nullptr;
    EXPECT_TRUE(IsFree(MOD_ALT, VK_F9));
}

TEST(HotKeyField, EachFieldHasItsOwnNamedIdentifier) {
    static const std::wregex name(LR"(\$\$HookedHotKeyCtrl_(\d+))");
    int previous = 0;
    for (int i = 0; i < 3; ++i) {
        HookedHotKeyCtrl field;
        wchar_t text[64] = {};
        ASSERT_NE(field.GetHotKeyId(), 0);
        ASSERT_GT(::GlobalGetAtomNameW(field.GetHotKeyId(), text, 64), 0u);
        std::wcmatch match;
        ASSERT_TRUE(std::regex_match(text, match, name)) << testing::PrintToString(std::wstring(text));
        const int number = std::stoi(match[1].str());
        EXPECT_GT(number, previous) << "numbers are never reused";
        previous = number;
    }
    // Without a main window the reservation belongs to this thread.
    ASSERT_EQ(TestApp::Get().mainWindow, nullptr);
    HookedHotKeyCtrl field;
    HWND parent = PlainWindow(WS_POPUP, 0, 0, 200, 50);
    ASSERT_TRUE(field.Create(parent, RECT{0, 0, 200, 30}, 1));
    field.SetHotKey(VK_F8, HOTKEYF_SHIFT);
    EXPECT_FALSE(IsFree(MOD_SHIFT, VK_F8));
    ::DestroyWindow(parent);
}
