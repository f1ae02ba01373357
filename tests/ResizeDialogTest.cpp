// Resizing a window to an exact size: the typed sizes the dialog accepts and
// refuses, the dialog itself, and the whole run from the picker to the
// window's new size.
#include "capture/ResizeAppDlg.h"
#include "platform/UniqueHandle.h"
#include "resources/resource.h"
#include "tests/CaptureFixture.h"
#include "tests/UnixTools.h"
#include "uikit/TextCatalog.h"

#include <atomic>
#include <thread>

using namespace screen;

namespace {

constexpr SIZE kMinimum{122, 27};

WindowSizeVerdict Judge(const wchar_t* text, int& width, int& height) {
    return ReadWindowSize(text, width, height, kMinimum,
                          SIZE{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)});
}

// A top-level window of the test, resizable or of fixed size.
HWND PlainWindow(bool resizable, int x, int y, int w, int h) {
    const DWORD style = resizable ? WS_OVERLAPPEDWINDOW : (WS_POPUP | WS_CAPTION | WS_SYSMENU);
    HWND window = ::CreateWindowExW(0, L"STATIC", L"target", style | WS_VISIBLE, x, y, w, h, nullptr, nullptr,
                                    nullptr, nullptr);
    ::UpdateWindow(window);
    return window;
}

RECT WindowRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

// The resize dialog of this process, once it shows.
HWND WaitForResizeDialog() {
    for (int i = 0; i < 200; ++i) {
        HWND dialog = ::FindWindowW(L"#32770", nullptr);
        if (dialog && ::IsWindowVisible(dialog) && ::GetDlgItem(dialog, IDC_RESIZE_SIZE)) return dialog;
        ::Sleep(50);
    }
    return nullptr;
}

// As a user on a thread of the test: waits for the resize picker, then
// points at the middle of r and clicks there.
void ClickInResizePicker(const RECT& r) {
    HWND picker = nullptr;
    for (int i = 0; i < 200 && !picker; ++i) {
        ::Sleep(50);
        picker = ::FindWindowW(kResizePickerClass, nullptr);
    }
    ::Sleep(400);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    MouseTo(x, y);
    MouseTo(x + 2, y + 2);
    ::Sleep(200);
    MouseTo(x + 2, y + 2, MOUSEEVENTF_LEFTDOWN);
    MouseTo(x + 2, y + 2, MOUSEEVENTF_LEFTUP);
}

// Types text into the size box and presses OK; the text of the message box
// that comes up within a second (which is closed), or empty.
std::wstring Confirm(HWND dialog, const wchar_t* text) {
    ::SetDlgItemTextW(dialog, IDC_RESIZE_SIZE, text);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 20; ++i) {
        ::Sleep(50);
        HWND box = ::FindWindowW(L"#32770", nullptr);
        if (box && box != dialog && ::GetDlgItem(box, 0xFFFF)) {
            wchar_t message[512] = {};
            ::GetDlgItemTextW(box, 0xFFFF, message, 512);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            ::Sleep(200);
            return message;
        }
    }
    return {};
}

std::wstring Formatted(const wchar_t* key, int a, int b) {
    std::wstring text = ExpandText(key);
    for (int value : {a, b}) text.replace(text.find(L"%d"), 2, std::to_wstring(value));
    return text;
}

}  // namespace

TEST(WindowSize, TypedSizesAreReadAsTheDialogJudgesThem) {
    int width = 0, height = 0;
    EXPECT_EQ(Judge(L"800X600", width, height), WindowSizeVerdict::Accepted);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);

    // On a fresh dialog a missing or doubled part leaves a zero: too small.
    width = height = 0;
    EXPECT_EQ(Judge(L"800x", width, height), WindowSizeVerdict::TooSmall);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 0);
    width = height = 0;
    EXPECT_EQ(Judge(L"800x600x2", width, height), WindowSizeVerdict::TooSmall);
    EXPECT_EQ(width, 0) << "more than one x changes nothing";

    width = height = 0;
    EXPECT_EQ(Judge(L"100x20", width, height), WindowSizeVerdict::TooSmall);
    const std::wstring wider = std::to_wstring(::GetSystemMetrics(SM_CXSCREEN) + 1) + L"x600";
    EXPECT_EQ(Judge(wider.c_str(), width, height), WindowSizeVerdict::TooLarge);
    EXPECT_EQ(Judge(L"-5x600", width, height), WindowSizeVerdict::TooLarge) << "negative reads as huge";
}

class ResizeDialog : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        UseShippedOptions();
    }
};

TEST_F(ResizeDialog, OffersSortedPresetsFiltersTypingAndExplainsRefusals) {
    HWND target = PlainWindow(true, 700, 450, 300, 200);
    CResizeAppDlg dialog(target);
    std::wstring presets, selected, afterLetters, small, large;
    std::thread user([&] {
        HWND window = WaitForResizeDialog();
        if (!window) return;
        HWND box = ::GetDlgItem(window, IDC_RESIZE_SIZE);
        wchar_t text[32] = {};
        for (int i = 0; i < 3; ++i) {
            ::SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            presets += text + std::wstring(L" ");
        }
        ::GetWindowTextW(box, text, 32);
        selected = text;
        // Letters typed into the size are dropped; digits and x stay.
        HWND edit = ::FindWindowExW(box, nullptr, L"Edit", nullptr);
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        for (wchar_t c : std::wstring(L"6a4b0X4q80")) ::SendMessageW(edit, WM_CHAR, c, 0);
        ::GetWindowTextW(box, text, 32);
        afterLetters = text;
        unixtools::Screenshot("resize-dialog");
        small = Confirm(window, L"100x20");
        large = Confirm(window, (std::to_wstring(::GetSystemMetrics(SM_CXSCREEN) + 10) + L"x300").c_str());
        Confirm(window, L"640X480");
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    user.join();
    EXPECT_EQ(presets, L"1024x768 640x480 800x600 ");
    EXPECT_EQ(selected, L"1024x768");
    EXPECT_EQ(afterLetters, L"640X480");
    EXPECT_EQ(small, Formatted(L"InvalidWindowSizeSmall", 122, 27)) << "the minimum filled in";
    EXPECT_EQ(large, ExpandText(L"InvalidWindowSizeLarge"));
    EXPECT_EQ(dialog.Width(), 640);
    EXPECT_EQ(dialog.Height(), 480);
    ::DestroyWindow(target);
}

TEST_F(ResizeDialog, APickedWindowTakesTheSizeBehindAllOthersAndAFixedOneStays) {
    HWND fixed = PlainWindow(false, 120, 600, 250, 150);
    HWND resizable = PlainWindow(true, 700, 450, 300, 200);
    Pump(300);
    // Windows of this process below the resizable one.
    const auto ownBelow = [resizable] {
        int count = 0;
        for (HWND w = ::GetWindow(resizable, GW_HWNDNEXT); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(w, &process);
            count += ::IsWindowVisible(w) && process == ::GetCurrentProcessId();
        }
        return count;
    };
    ASSERT_GT(ownBelow(), 0) << "the newer window starts above the older one";
    const RECT before = WindowRect(resizable), fixedBefore = WindowRect(fixed);
    for (HWND target : {resizable, fixed}) {
        const RECT r = WindowRect(target);
        std::atomic<bool> message{false};
        std::thread user([&] {
            ClickInResizePicker(r);
            HWND dialog = WaitForResizeDialog();
            if (dialog) message = !Confirm(dialog, L"500x300").empty();
        });
        EXPECT_EQ(engine.ResizeApplication(), S_OK);
        user.join();
        EXPECT_FALSE(message) << "no message either way";
    }
    const RECT after = WindowRect(resizable);
    EXPECT_EQ(after.left, before.left) << "the top-left corner stays";
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, 500);
    EXPECT_EQ(after.bottom - after.top, 300);
    EXPECT_EQ(ownBelow(), 0) << "behind every other window";
    const RECT fixedAfter = WindowRect(fixed);
    EXPECT_TRUE(::EqualRect(&fixedAfter, &fixedBefore)) << "a window of fixed size keeps its size";
    EXPECT_EQ(CCaptureEngine::BusyState(), 0);
    ::DestroyWindow(resizable);
    ::DestroyWindow(fixed);
}

namespace {

// A resizable top-level window in front, of a thread of its own that stops
// reading its messages once the window shows, as a program does that
// hangs, until Answer; from then on it reads them until the object goes.
class HungWindow {
public:
    explicit HungWindow(RECT place) {
        thread_ = std::thread([this, place] {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
            threadId_ = ::GetCurrentThreadId();
            window_ = ::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"hung", WS_OVERLAPPEDWINDOW, place.left,
                                        place.top, place.right - place.left, place.bottom - place.top, nullptr,
                                        nullptr, nullptr, nullptr);
            ::ShowWindow(window_, SW_SHOW);
            ::UpdateWindow(window_);
            ::SetEvent(shown_.get());
            ::WaitForSingleObject(answer_.get(), INFINITE);
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::DestroyWindow(window_);
        });
        PumpUntil(shown_.get(), 10000);
    }
    ~HungWindow() {
        Answer();
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HungWindow(const HungWindow&) = delete;
    HungWindow& operator=(const HungWindow&) = delete;

    HWND Window() const { return window_; }
    void Answer() { ::SetEvent(answer_.get()); }

private:
    platform::UniqueHandle shown_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    platform::UniqueHandle answer_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND window_ = nullptr;
    std::thread thread_;
    DWORD threadId_ = 0;
};

}  // namespace

TEST_F(ResizeDialog, AWindowThatDoesNotAnswerIsResizedWithoutHoldingSnapwell) {
    HungWindow hung(RECT{700, 450, 1000, 650});
    ASSERT_NE(hung.Window(), nullptr);
    const RECT before = WindowRect(hung.Window());
    std::atomic<bool> returned{false};
    bool returnedWhileHung = false;
    std::thread user([&] {
        ClickInResizePicker(before);
        if (HWND dialog = WaitForResizeDialog()) Confirm(dialog, L"500x300");
        // The window has not answered for seconds now; Snapwell must be done.
        for (int i = 0; i < 60 && !returned; ++i) ::Sleep(50);
        returnedWhileHung = returned;
        hung.Answer();
    });
    EXPECT_EQ(engine.ResizeApplication(), S_OK);
    returned = true;
    user.join();
    EXPECT_TRUE(returnedWhileHung) << "the resize returns while the window does not answer";
    // Once the window reads its messages again, it takes the size.
    RECT after{};
    for (int i = 0; i < 100; ++i) {
        after = WindowRect(hung.Window());
        if (after.right - after.left == 500) break;
        Pump(50);
    }
    EXPECT_EQ(after.left, before.left) << "the top-left corner stays";
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, 500);
    EXPECT_EQ(after.bottom - after.top, 300);
    EXPECT_EQ(CCaptureEngine::BusyState(), 0);
}
