// The markup window as a user meets it: the real window over a known
// picture, driven with the X server's own mouse and keys (xdotool) from a
// second thread while this thread runs the window's modal loop, and judged
// by the pixels of the picture it gives back, of its copies on the
// clipboard and of the files post-processing writes.
#include "app/MarkupWindow.h"
#include "options/CaptureOptions.h"
#include "output/Markup.h"
#include "output/PostProcessing.h"
#include "platform/FileSystem.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"
#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr long kW = 400, kH = 300;
constexpr wchar_t kEnglishTitle[] = L"Mark up \u2013 Snapwell";
constexpr wchar_t kGermanTitle[] = L"Markieren \u2013 Snapwell";
constexpr wchar_t kStepTip[] = L"Step number (N); the wheel sets the next number";

// The test picture, in picture coordinates (0, 0 top-left): a light grey
// field top-left, a dark slate field top-right, and below them fine detail,
// a one-pixel checkerboard of light and dark with small variations, as text
// would be. No pixel is pure black.
constexpr COLORREF kLight = RGB(214, 214, 214);
constexpr COLORREF kDark = RGB(40, 56, 88);
constexpr long kDetailTop = 150;

COLORREF OriginalAt(long x, long y) {
    if (y < kDetailTop) return x < 200 ? kLight : kDark;
    if ((x + y) % 2) return RGB(240, 230 - (x % 7) * 3, 200 + (y % 5) * 5);
    return RGB(12 + (y % 5) * 4, 20 + (x % 3) * 5, 30 + (x % 11) * 2);
}

CCaptureImage TestPicture() {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(kW, kH, 24, kImageBmp));
    for (long y = 0; y < kH; ++y)
        for (long x = 0; x < kW; ++x) {
            uint8_t* p = image.Row(kH - 1 - y) + x * 3;
            const COLORREF c = OriginalAt(x, y);
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    return image;
}

bool SameBytes(const CCaptureImage& a, const CCaptureImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Bpp() != b.Bpp()) return false;
    for (long y = 0; y < std::abs(a.Height()); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), a.Stride()) != 0) return false;
    return true;
}

// A picture as the user sees it: pixels top-down, from an image, a DIB or a
// BMP file.
struct Pixels {
    long width = 0, height = 0;
    std::vector<COLORREF> colours;

    COLORREF At(long x, long y) const {
        return x < 0 || y < 0 || x >= width || y >= height ? CLR_INVALID : colours[size_t(y) * width + x];
    }
    bool operator==(const Pixels& other) const = default;

    static Pixels Of(const CCaptureImage& image) {
        Pixels p;
        if (image.IsEmpty() || image.Bpp() != 24) return p;
        p.width = image.Width();
        p.height = std::abs(image.Height());
        p.colours.resize(size_t(p.width) * p.height);
        for (long y = 0; y < p.height; ++y) {
            const uint8_t* row = image.Row(image.Height() > 0 ? p.height - 1 - y : y);
            for (long x = 0; x < p.width; ++x)
                p.colours[size_t(y) * p.width + x] = RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
        }
        return p;
    }
    // A packed DIB (the clipboard's CF_DIB, or a BMP file after its file
    // header) of 24 or 32 bits.
    static Pixels OfDib(const std::string& dib) {
        Pixels p;
        BITMAPINFOHEADER h{};
        if (dib.size() < sizeof(h)) return p;
        std::memcpy(&h, dib.data(), sizeof(h));
        if ((h.biBitCount != 24 && h.biBitCount != 32) || h.biWidth <= 0 || h.biHeight == 0) return p;
        size_t offset = h.biSize + h.biClrUsed * 4;
        if (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(h)) offset += 12;
        const long height = std::abs(h.biHeight);
        const size_t stride = ((size_t(h.biWidth) * h.biBitCount + 31) / 32) * 4, bytes = h.biBitCount / 8;
        if (dib.size() < offset + stride * height) return p;
        p.width = h.biWidth;
        p.height = height;
        p.colours.resize(size_t(p.width) * p.height);
        for (long y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint8_t*>(dib.data() + offset +
                                                                stride * (h.biHeight > 0 ? height - 1 - y : y));
            for (long x = 0; x < p.width; ++x)
                p.colours[size_t(y) * p.width + x] =
                    RGB(row[x * bytes + 2], row[x * bytes + 1], row[x * bytes]);
        }
        return p;
    }
    static Pixels OfBmpFile(const std::string& bmp) { return bmp.size() > 14 ? OfDib(bmp.substr(14)) : Pixels{}; }

    static Pixels Original() {
        Pixels p;
        p.width = kW;
        p.height = kH;
        for (long y = 0; y < kH; ++y)
            for (long x = 0; x < kW; ++x) p.colours.push_back(OriginalAt(x, y));
        return p;
    }
    Pixels Part(const RECT& r) const {
        Pixels p;
        p.width = r.right - r.left;
        p.height = r.bottom - r.top;
        for (long y = r.top; y < r.bottom; ++y)
            for (long x = r.left; x < r.right; ++x) p.colours.push_back(At(x, y));
        return p;
    }
};

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return a != CLR_INVALID && std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance && std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

int CountNear(const Pixels& p, const RECT& r, COLORREF colour, int tolerance) {
    int n = 0;
    for (long y = r.top; y < r.bottom; ++y)
        for (long x = r.left; x < r.right; ++x) n += Near(p.At(x, y), colour, tolerance);
    return n;
}

int CountChanged(const Pixels& p, const RECT& r) {
    int n = 0;
    for (long y = r.top; y < r.bottom; ++y)
        for (long x = r.left; x < r.right; ++x) n += p.At(x, y) != OriginalAt(x, y);
    return n;
}

// The first run of pixels exactly in colour along a column (x fixed, y from
// `from` to `to`) or a row: where it starts and how long it is; start -1
// when there is none.
struct Run {
    long start = -1, length = 0;
};
Run RunAcross(const Pixels& p, COLORREF colour, bool column, long fixed, long from, long to) {
    Run run;
    for (long i = from; i < to; ++i) {
        const bool in = (column ? p.At(fixed, i) : p.At(i, fixed)) == colour;
        if (in && run.start < 0) run.start = i;
        if (in) ++run.length;
        if (!in && run.start >= 0) break;
    }
    return run;
}

// The rectangle's four borders as found across the middle of each side of
// the dragged box (within 8 pixels of it): top, bottom, left, right.
struct Borders {
    Run top, bottom, left, right;
};
Borders FindBorders(const Pixels& p, COLORREF colour, const RECT& dragged) {
    const long mx = (dragged.left + dragged.right) / 2, my = (dragged.top + dragged.bottom) / 2;
    return Borders{RunAcross(p, colour, true, mx, dragged.top - 8, dragged.top + 8),
                   RunAcross(p, colour, true, mx, dragged.bottom - 8, dragged.bottom + 8),
                   RunAcross(p, colour, false, my, dragged.left - 8, dragged.left + 8),
                   RunAcross(p, colour, false, my, dragged.right - 8, dragged.right + 8)};
}

// A rectangle in colour drawn over the dragged box: each border `width`
// pixels of the colour within a few pixels of where it was dragged, and
// inside it the picture as it was.
void ExpectRectangle(const Pixels& p, COLORREF colour, const RECT& box, long width, const char* what) {
    const Borders b = FindBorders(p, colour, box);
    for (const Run* run : {&b.top, &b.bottom, &b.left, &b.right}) EXPECT_EQ(run->length, width) << what;
    const RECT inside{box.left + width + 3, box.top + width + 3, box.right - width - 3, box.bottom - width - 3};
    EXPECT_EQ(CountChanged(p, inside), 0) << what << ": inside the rectangle the picture is as it was";
}

// The screen point of picture pixel (x, y) at 100 % with no scrolling: the
// picture is centred in the canvas when it is smaller.
struct View {
    HWND window = nullptr, canvas = nullptr;
    POINT origin{};  // the screen point of pixel (0, 0)

    POINT Screen(POINT picture) const { return POINT{origin.x + picture.x, origin.y + picture.y}; }
    std::string At(POINT picture) const {
        const POINT s = Screen(picture);
        return std::to_string(s.x) + " " + std::to_string(s.y);
    }
};

View ViewOf(HWND window, long pictureWidth, long pictureHeight) {
    View view{window, ::FindWindowExW(window, nullptr, kMarkupCanvasClass, nullptr), {}};
    RECT client{};
    ::GetClientRect(view.canvas, &client);
    view.origin = POINT{std::max(0L, (client.right - pictureWidth) / 2), std::max(0L, (client.bottom - pictureHeight) / 2)};
    ::ClientToScreen(view.canvas, &view.origin);
    return view;
}

// Waits until the window's thread has read everything sent before: input
// from the X server reaches it first, so a short wait comes before.
void Settle(const View& view, DWORD ms = 150) {
    ::Sleep(ms);
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(view.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
}

void Keys(const View& view, const std::string& keys) {
    screen::XInput("key --delay 60 " + keys);
    Settle(view);
}

// A drag with the left button from one picture point to another, through
// the points between, as a hand moves.
void DragOn(const View& view, POINT from, POINT to) {
    const POINT mid{(from.x + to.x) / 2, (from.y + to.y) / 2};
    screen::XInput("mousemove " + view.At(from) + " sleep 0.1 mousedown 1 sleep 0.05 mousemove " +
                   view.At(POINT{from.x + 3, from.y + 3}) + " sleep 0.05 mousemove " + view.At(mid) +
                   " sleep 0.05 mousemove " + view.At(to) + " sleep 0.1 mouseup 1");
    Settle(view);
}

void ClickOn(const View& view, POINT at) {
    screen::XInput("mousemove " + view.At(at) + " sleep 0.1 click 1");
    Settle(view);
}

// The clipboard's CF_DIB as a picture.
Pixels ClipboardPicture() {
    std::string bytes;
    for (int i = 0; i < 50 && !::OpenClipboard(nullptr); ++i) ::Sleep(50);
    if (HANDLE data = ::GetClipboardData(CF_DIB)) {
        if (const void* p = ::GlobalLock(data)) {
            bytes.assign(static_cast<const char*>(p), ::GlobalSize(data));
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return Pixels::OfDib(bytes);
}

// Ctrl+C in the window, and the picture it put on the clipboard (empty when
// the clipboard did not change within five seconds).
Pixels CopyOf(const View& view) {
    const DWORD before = ::GetClipboardSequenceNumber();
    Keys(view, "ctrl+c");
    for (int i = 0; i < 100 && ::GetClipboardSequenceNumber() == before; ++i) ::Sleep(50);
    if (::GetClipboardSequenceNumber() == before) return {};
    return ClipboardPicture();
}

// A message box owned by the window, waited for up to ms: its title and
// text, answered with the button; nullopt when none came.
struct Question {
    std::wstring title, text;
};
std::optional<Question> AnswerQuestion(HWND owner, int button, DWORD ms = 5000) {
    struct Search {
        HWND owner, found;
    };
    for (DWORD waited = 0; waited < ms; waited += 50) {
        Search search{owner, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                wchar_t cls[32] = {};
                ::GetClassNameW(window, cls, 32);
                if (::GetWindow(window, GW_OWNER) == s->owner && ::IsWindowVisible(window) &&
                    std::wstring(cls) == L"#32770") {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            ::Sleep(200);
            Question question{platform::WindowText(search.found), {}};
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(search.found, 0xFFFF, text, 1024);
            question.text = text;
            ::PostMessageW(search.found, WM_COMMAND, button, 0);
            return question;
        }
        ::Sleep(50);
    }
    return std::nullopt;
}

// The tools of the window's tooltip control: each one's text, and its
// rectangle in the client coordinates of the window it belongs to.
struct Tip {
    std::wstring text;
    HWND window = nullptr;
    RECT rect{};

    POINT ScreenCentre() const {
        POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ::ClientToScreen(window, &centre);
        return centre;
    }
};
std::vector<Tip> TooltipsOf(HWND window) {
    struct Search {
        HWND owner, found;
    } search{window, nullptr};
    ::EnumThreadWindows(
        ::GetWindowThreadProcessId(window, nullptr),
        [](HWND w, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t cls[64] = {};
            ::GetClassNameW(w, cls, 64);
            if (std::wstring(cls) == TOOLTIPS_CLASSW && ::GetWindow(w, GW_OWNER) == s->owner) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    std::vector<Tip> tips;
    if (search.found == nullptr) return tips;
    const auto count = static_cast<int>(::SendMessageW(search.found, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        TTTOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.lpszText = text;
        if (!::SendMessageW(search.found, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&info))) continue;
        tips.push_back(
            Tip{info.lpszText == LPSTR_TEXTCALLBACKW ? L"<callback>" : std::wstring(text), info.hwnd, info.rect});
    }
    return tips;
}

const Tip* FindTip(const std::vector<Tip>& tips, const std::wstring& text) {
    for (const Tip& tip : tips)
        if (tip.text == text) return &tip;
    return nullptr;
}

// Runs the window over the picture on this thread while drive acts on it
// from another, as a user would. A window that drive leaves open is closed
// (and its question answered with Yes), so the test always ends.
MarkupResult RunDriven(CCaptureImage& image, MarkupWindowSetup setup, const std::function<void(const View&)>& drive) {
    std::atomic<HWND> shown{nullptr};
    std::atomic<bool> told{false};
    const long width = image.Width(), height = std::abs(image.Height());
    const auto earlier = setup.onShown;
    setup.onShown = [&, earlier](HWND window) {
        if (window != nullptr) shown = window;
        else told = true;
        if (earlier) earlier(window);
    };
    std::thread user([&] {
        for (int i = 0; i < 200 && shown == nullptr; ++i) ::Sleep(50);
        HWND window = shown;
        if (window == nullptr) {
            ADD_FAILURE() << "the markup window did not show within ten seconds";
            return;
        }
        Settle(View{window});
        drive(ViewOf(window, width, height));
        for (int i = 0; i < 3 && ::IsWindow(window); ++i) {
            ADD_FAILURE() << "the window was still open at the end; closed and discarded";
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            AnswerQuestion(window, IDYES, 2000);
        }
    });
    const MarkupResult result = MarkupWindow::Run(image, setup);
    user.join();
    EXPECT_TRUE(told) << "onShown heard of the window's going";
    return result;
}

// Shipped options in English (the window's texts come from the catalog),
// one profile saving 24-bit BMP files into a fresh folder, and a window
// that owns what the window copies.
class Markup : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(testfiles::Read(SNAPWELL_SHIPPED_OPTIONS).c_str());
        options->SetProgramOption(L"MultipleCaptureProfiles", L"0", false);
        shots = FreshDocumentsFolder(L"SnapwellMarkup");
        options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots);
        options->SetProfileOption(L"DefaultProfile", L"TargetType", L"0");
        options->SetProfileOption(L"DefaultProfile", L"ColorDepth", L"24");
        options->SetProfileOption(L"DefaultProfile", L"Annotate", L"0");
        catalogBefore = CCorvaneApp::Current()->GetTextCatalog();
        ASSERT_TRUE(LoadShippedLanguages());
        owner = ::CreateWindowExW(0, L"STATIC", L"clipboard owner", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
        setup.options = options.get();
        setup.clipboardOwner = owner;
        // The pointer starts away from where the window opens.
        screen::XInput("mousemove 5 5");
    }
    void TearDown() override {
        ::DestroyWindow(owner);
        CCorvaneApp::Current()->GetTextCatalog() = catalogBefore;
        testfiles::RemoveTree(shots);
        OptionsFiles::TearDown();
    }

    std::wstring shots;
    TextCatalog catalogBefore;
    HWND owner = nullptr;
    MarkupWindowSetup setup;
};

}  // namespace

// Every drawing tool, used with its key and the mouse, leaves its mark where
// it was drawn in the picture Done gives back: the rectangle in the default
// colour and width, the arrow's head at its end, the highlighter's
// translucent tint, the text's ink at its caret, the step's circle with its
// number (set by the wheel over the Step button).
TEST_F(Markup, EachToolLeavesItsMarkWhereItWasDrawn) {
    CCaptureImage image = TestPicture();
    const RECT box{30, 30, 130, 110};
    const POINT arrowFrom{230, 80}, arrowTo{380, 130}, textAt{140, 90}, stepAt{330, 35};
    const RECT highlight{150, 14, 260, 52};
    MarkupDocument::SetNextStepNumber(5);
    std::wstring title;
    std::vector<Tip> tips;
    int stepAfterWheel = 0;
    const MarkupResult result = RunDriven(image, setup, [&](const View& view) {
        title = platform::WindowText(view.window);
        tips = TooltipsOf(view.window);
        // The default tool, colour and width: a red rectangle, 4 pixels wide.
        DragOn(view, POINT{box.left, box.top}, POINT{box.right, box.bottom});
        Keys(view, "a 2");  // arrow, yellow
        DragOn(view, arrowFrom, arrowTo);
        Keys(view, "h");
        DragOn(view, POINT{highlight.left, highlight.top}, POINT{highlight.right, highlight.bottom});
        Keys(view, "t 1");  // text, red
        ClickOn(view, textAt);
        screen::XInput("type --delay 80 Hi");
        Keys(view, "Return");  // ends the text, not the window
        EXPECT_TRUE(::IsWindowVisible(view.window)) << "Enter while typing ends the text only";
        // Two notches up over the Step button set the next number.
        if (const Tip* step = FindTip(tips, kStepTip)) {
            const POINT over = step->ScreenCentre();
            screen::XInput("mousemove " + std::to_string(over.x) + " " + std::to_string(over.y) +
                           " sleep 0.2 click 4 sleep 0.1 click 4");
            Settle(view);
            stepAfterWheel = MarkupDocument::NextStepNumber();
        }
        Keys(view, "n 3");  // step number, green
        ClickOn(view, stepAt);
        Keys(view, "Return");  // Done
    });
    EXPECT_EQ(title, kEnglishTitle);
    for (const wchar_t* tip : {L"Select and move (V)", L"Rectangle (R)", L"Arrow (A)", L"Highlighter (H)", L"Text (T)",
                               kStepTip, L"Redact in black (X)", L"Crop (C); Enter applies", L"Red (1)", L"Undo (Ctrl+Z)"})
        EXPECT_NE(FindTip(tips, tip), nullptr) << "a tooltip \"" << testing::PrintToString(std::wstring(tip)) << "\"";
    EXPECT_EQ(stepAfterWheel, 7) << "two notches up over the Step button from 5";
    EXPECT_EQ(MarkupDocument::NextStepNumber(), stepAfterWheel + 1) << "the step took the number the wheel set";
    ASSERT_EQ(result, MarkupResult::Done);
    const Pixels out = Pixels::Of(image);
    ASSERT_EQ(out.width, kW);
    ASSERT_EQ(out.height, kH);
    unixtools::Screenshot("markup-tools");

    ExpectRectangle(out, MarkupWindow::PaletteColour(0), box, 4, "the rectangle");
    EXPECT_EQ(CountChanged(out, RECT{0, 0, 20, 150}), 0) << "left of the rectangle nothing changed";

    // The arrow: its line runs between the ends; its head reaches out to
    // both sides of the line near the end, and nothing does at the start.
    const COLORREF yellow = MarkupWindow::PaletteColour(1);
    const auto around = [](POINT p, long r) { return RECT{p.x - r, p.y - r, p.x + r + 1, p.y + r + 1}; };
    const auto offTheLine = [&](POINT end) {
        const double dx = arrowTo.x - arrowFrom.x, dy = arrowTo.y - arrowFrom.y, length = std::hypot(dx, dy);
        int count = 0;
        const RECT r = around(end, 24);
        for (long y = r.top; y < r.bottom; ++y)
            for (long x = r.left; x < r.right; ++x)
                count += Near(out.At(x, y), yellow, 60) &&
                         std::abs(dx * (y - arrowFrom.y) - dy * (x - arrowFrom.x)) / length > 4;
        return count;
    };
    EXPECT_GT(CountNear(out, around(arrowFrom, 6), yellow, 60), 10) << "the line starts where the drag did";
    EXPECT_TRUE(Near(out.At(305, 105), yellow, 60)) << "the line's middle";
    const int wings = offTheLine(arrowTo), atStart = offTheLine(arrowFrom);
    EXPECT_GT(wings, 12) << "the head beside the line at its end (" << wings << " pixels)";
    EXPECT_LT(atStart, 3) << "no head at the start (" << atStart << " pixels)";

    // The highlighter: a yellow tint that lets the picture show through, so
    // the light and the dark field stay apart under it.
    const COLORREF overLight = out.At(175, 40), overDark = out.At(235, 40);
    for (long y = highlight.top + 4; y < highlight.bottom - 4; y += 3)
        for (long x = highlight.left + 4; x < highlight.right - 4; x += 3) {
            const COLORREF c = out.At(x, y), o = OriginalAt(x, y);
            ASSERT_NE(c, o) << "tinted at " << x << "," << y;
            ASSERT_LT(GetBValue(c) + 20, GetBValue(o)) << "toward yellow at " << x << "," << y;
            ASSERT_EQ(c, x < 200 ? overLight : overDark) << "one even tint per field at " << x << "," << y;
        }
    EXPECT_GT(std::abs(GetRValue(overLight) - GetRValue(overDark)), 40) << "translucent: the fields show through";

    // The text: red ink (with its outline) just right of and below the
    // caret, nothing above it.
    const RECT textBox{textAt.x - 2, textAt.y - 2, textAt.x + 60, kDetailTop};
    EXPECT_GT(CountChanged(out, textBox), 30) << "the text's pixels";
    EXPECT_GT(CountNear(out, textBox, MarkupWindow::PaletteColour(0), 60), 10) << "in the chosen colour";
    EXPECT_EQ(CountChanged(out, RECT{textAt.x - 2, textAt.y - 12, textAt.x + 60, textAt.y - 4}), 0)
        << "nothing above the caret";

    // The step: a green circle around the click, with light number ink in it.
    const COLORREF green = MarkupWindow::PaletteColour(2);
    for (POINT d : {POINT{-8, -8}, POINT{8, -8}, POINT{-8, 8}, POINT{8, 8}})
        EXPECT_TRUE(Near(out.At(stepAt.x + d.x, stepAt.y + d.y), green, 30)) << d.x << "," << d.y;
    const RECT middle = around(stepAt, 6);
    const int area = (middle.right - middle.left) * (middle.bottom - middle.top);
    const int ink = area - CountNear(out, middle, green, 60) - CountNear(out, middle, kDark, 10);
    EXPECT_GT(ink, 6) << "the number's ink inside the circle";
}

// Black redaction leaves every pixel of its area black, pixelation leaves
// blocks of one colour none of which is the detail it hides, and a
// highlighter drawn over both afterwards brings no original pixel back.
TEST_F(Markup, RedactionsHideEveryOriginalPixelEvenUnderAHighlighter) {
    CCaptureImage image = TestPicture();
    const RECT black{20, 160, 120, 260}, pixelate{200, 165, 380, 285}, highlight{80, 190, 300, 295};
    Pixels redacted;
    const MarkupResult result = RunDriven(image, setup, [&](const View& view) {
        Keys(view, "x");
        DragOn(view, POINT{black.left, black.top}, POINT{black.right, black.bottom});
        Keys(view, "x");  // the other kind
        DragOn(view, POINT{pixelate.left, pixelate.top}, POINT{pixelate.right, pixelate.bottom});
        redacted = CopyOf(view);
        Keys(view, "h");
        DragOn(view, POINT{highlight.left, highlight.top}, POINT{highlight.right, highlight.bottom});
        Keys(view, "Return");
    });
    ASSERT_EQ(result, MarkupResult::Done);
    ASSERT_EQ(redacted.width, kW) << "Ctrl+C copied the picture";
    ASSERT_EQ(redacted.height, kH);

    // The black area: found by its black (the picture has none), where it
    // was dragged, and black through and through.
    RECT found{kW, kH, 0, 0};
    for (long y = 0; y < kH; ++y)
        for (long x = 0; x < kW; ++x)
            if (redacted.At(x, y) == RGB(0, 0, 0)) {
                found.left = std::min(found.left, x);
                found.top = std::min(found.top, y);
                found.right = std::max(found.right, x + 1);
                found.bottom = std::max(found.bottom, y + 1);
            }
    EXPECT_NEAR(found.left, black.left, 2);
    EXPECT_NEAR(found.top, black.top, 2);
    EXPECT_NEAR(found.right, black.right, 2);
    EXPECT_NEAR(found.bottom, black.bottom, 2);
    EXPECT_EQ(CountNear(redacted, found, RGB(0, 0, 0), 0), (found.right - found.left) * (found.bottom - found.top));

    // The pixelated area: every changed pixel right of x 150, in blocks from
    // its top-left corner, each block one colour and no pixel the original.
    RECT blocks{kW, kH, 0, 0};
    for (long y = kDetailTop; y < kH; ++y)
        for (long x = 150; x < kW; ++x)
            if (redacted.At(x, y) != OriginalAt(x, y)) {
                blocks.left = std::min(blocks.left, x);
                blocks.top = std::min(blocks.top, y);
                blocks.right = std::max(blocks.right, x + 1);
                blocks.bottom = std::max(blocks.bottom, y + 1);
            }
    EXPECT_NEAR(blocks.left, pixelate.left, 2);
    EXPECT_NEAR(blocks.top, pixelate.top, 2);
    EXPECT_NEAR(blocks.right, pixelate.right, 2);
    EXPECT_NEAR(blocks.bottom, pixelate.bottom, 2);
    const int size = PixelateBlockSize(blocks.bottom - blocks.top);
    EXPECT_GE(size, 30) << "a quarter of the height";
    for (long by = blocks.top; by < blocks.bottom; by += size)
        for (long bx = blocks.left; bx < blocks.right; bx += size) {
            const COLORREF first = redacted.At(bx, by);
            for (long y = by; y < std::min(by + size, blocks.bottom); ++y)
                for (long x = bx; x < std::min(bx + size, blocks.right); ++x) {
                    ASSERT_EQ(redacted.At(x, y), first) << "block " << bx << "," << by << " at " << x << "," << y;
                    ASSERT_NE(redacted.At(x, y), OriginalAt(x, y)) << x << "," << y;
                }
        }

    // With the highlighter over both: no original pixel in either area, and
    // the highlighted parts tinted.
    const Pixels out = Pixels::Of(image);
    ASSERT_EQ(out.width, kW);
    for (const RECT& r : {found, blocks})
        for (long y = r.top; y < r.bottom; ++y)
            for (long x = r.left; x < r.right; ++x) ASSERT_NE(out.At(x, y), OriginalAt(x, y)) << x << "," << y;
    EXPECT_NE(out.At(100, 230), RGB(0, 0, 0)) << "the tint over the black";
    EXPECT_EQ(out.At(40, 230), RGB(0, 0, 0)) << "black beside the highlighter";
    EXPECT_NE(out.At(250, 250), redacted.At(250, 250)) << "the tint over the blocks";
}

// A crop dragged and applied with Enter gives exactly the dragged part;
// undo goes back one step at a time, the crop first, to the byte-exact
// original, and redo forward again, as the copies on the clipboard show.
TEST_F(Markup, CropUndoAndRedoAsTheCopiesShow) {
    CCaptureImage image = TestPicture();
    const CCaptureImage input = TestPicture();
    const RECT box{70, 60, 150, 120}, crop{50, 40, 250, 190};
    Pixels marked, cropped, uncropped, undone, remarked, redone;
    const MarkupResult result = RunDriven(image, setup, [&](const View& view) {
        DragOn(view, POINT{box.left, box.top}, POINT{box.right, box.bottom});
        marked = CopyOf(view);
        Keys(view, "c");
        DragOn(view, POINT{crop.left, crop.top}, POINT{crop.right, crop.bottom});
        Keys(view, "Return");  // applies the crop
        EXPECT_TRUE(::IsWindowVisible(view.window)) << "Enter applied the crop and kept the window";
        cropped = CopyOf(view);
        Keys(view, "ctrl+z");
        uncropped = CopyOf(view);
        Keys(view, "ctrl+z");
        undone = CopyOf(view);
        Keys(view, "ctrl+y");
        remarked = CopyOf(view);
        Keys(view, "ctrl+y");
        redone = CopyOf(view);
        Keys(view, "Return");
    });
    ASSERT_EQ(result, MarkupResult::Done);
    ASSERT_EQ(marked.width, kW) << "the first copy";
    ExpectRectangle(marked, MarkupWindow::PaletteColour(0), box, 4, "the rectangle");
    // The box of a drag takes in the pixel under the pointer at the release.
    const RECT kept{crop.left, crop.top, crop.right + 1, crop.bottom + 1};
    EXPECT_EQ(cropped.width, kept.right - kept.left);
    EXPECT_EQ(cropped.height, kept.bottom - kept.top);
    EXPECT_TRUE(cropped == marked.Part(kept)) << "the crop is the dragged part of the marked picture";
    EXPECT_TRUE(uncropped == marked) << "the first undo takes the crop back, the rectangle stays";
    EXPECT_TRUE(undone == Pixels::Original()) << "the second: the original, byte for byte";
    EXPECT_TRUE(remarked == marked) << "the first redo: the rectangle again";
    EXPECT_TRUE(redone == cropped) << "the second: the crop again";
    EXPECT_TRUE(Pixels::Of(image) == cropped) << "Done gives the crop";
    EXPECT_FALSE(SameBytes(image, input));
}

// In Select a click on a mark takes it; it moves with the mouse and the
// arrow keys, Delete removes it and undo brings it back. Discarding a
// marked picture asks first, by Escape or by closing the window: No keeps
// the window, Yes drops the marks and leaves the picture as it was.
TEST_F(Markup, SelectMoveDeleteUndoAndTheDiscardQuestion) {
    CCaptureImage image = TestPicture();
    const CCaptureImage input = TestPicture();
    const RECT box{30, 30, 130, 110};
    const COLORREF red = MarkupWindow::PaletteColour(0);
    Pixels drawn, moved, deleted, restored;
    std::optional<Question> closing, escaping;
    bool keptOpen = false;
    const MarkupResult result = RunDriven(image, setup, [&](const View& view) {
        DragOn(view, POINT{box.left, box.top}, POINT{box.right, box.bottom});
        drawn = CopyOf(view);
        const Borders at = FindBorders(drawn, red, box);
        Keys(view, "v");
        // Down on the left border, 50 right and 30 down, then one more step
        // right with the arrow key.
        const POINT grip{at.left.start + 1, (box.top + box.bottom) / 2};
        DragOn(view, grip, POINT{grip.x + 50, grip.y + 30});
        Keys(view, "Right");
        moved = CopyOf(view);
        Keys(view, "Delete");
        deleted = CopyOf(view);
        Keys(view, "ctrl+z");
        restored = CopyOf(view);

        ::PostMessageW(view.window, WM_CLOSE, 0, 0);
        closing = AnswerQuestion(view.window, IDNO);
        Settle(view, 500);
        keptOpen = ::IsWindowVisible(view.window) != FALSE;
        screen::XInput("key Escape");
        escaping = AnswerQuestion(view.window, IDYES);
        if (!escaping) {
            // A selection may take the first Escape; the second discards.
            screen::XInput("key Escape");
            escaping = AnswerQuestion(view.window, IDYES);
        }
        for (int i = 0; i < 100 && ::IsWindow(view.window); ++i) ::Sleep(50);
    });
    EXPECT_EQ(result, MarkupResult::Discard);
    EXPECT_TRUE(SameBytes(image, input)) << "a discarded picture is the input, byte for byte";

    ASSERT_EQ(drawn.width, kW);
    const Borders before = FindBorders(drawn, red, box);
    const RECT movedBox{box.left + 51, box.top + 30, box.right + 51, box.bottom + 30};
    const Borders after = FindBorders(moved, red, movedBox);
    EXPECT_EQ(after.left.start, before.left.start + 51) << "moved 50 by the mouse and 1 by the arrow key";
    EXPECT_EQ(after.top.start, before.top.start + 30);
    EXPECT_EQ(after.right.length, 4);
    EXPECT_EQ(CountChanged(moved, RECT{box.left - 4, box.top - 4, movedBox.left - 6, movedBox.top - 6}), 0)
        << "nothing left where it was";
    EXPECT_TRUE(deleted == Pixels::Original()) << "Delete removed it";
    EXPECT_TRUE(restored == moved) << "undo brought it back where it was moved to";

    ASSERT_TRUE(closing.has_value()) << "closing a marked picture asks";
    EXPECT_EQ(closing->title, L"Snapwell");
    EXPECT_FALSE(closing->text.empty());
    EXPECT_TRUE(keptOpen) << "No keeps the window";
    ASSERT_TRUE(escaping.has_value()) << "Escape in Select asks too";
    EXPECT_EQ(escaping->title, L"Snapwell");
    EXPECT_EQ(escaping->text, closing->text);
}

// With the German texts loaded the window's title and its tooltips are
// German.
TEST_F(Markup, GermanTitleAndTooltips) {
    ASSERT_TRUE(options->SelectLanguageForLangId(0x0407));
    ASSERT_TRUE(LoadShippedLanguages());
    CCaptureImage image = TestPicture();
    std::wstring title;
    std::vector<Tip> tips;
    RunDriven(image, setup, [&](const View& view) {
        title = platform::WindowText(view.window);
        tips = TooltipsOf(view.window);
        Keys(view, "Escape Escape");
    });
    EXPECT_EQ(title, kGermanTitle);
    ASSERT_GE(tips.size(), 9u) << "a tooltip for each tool";
    for (const wchar_t* english : {L"Rectangle (R)", L"Arrow (A)", kStepTip, L"Undo (Ctrl+Z)"})
        EXPECT_EQ(FindTip(tips, english), nullptr) << testing::PrintToString(std::wstring(english));
    for (const wchar_t* german :
         {L"Ausw\u00e4hlen und verschieben (V)", L"Rechteck (R)", L"Pfeil (A)", L"Textmarker (H)",
          L"Schrittnummer (N); das Mausrad stellt die n\u00e4chste Nummer ein", L"Schw\u00e4rzen (X)",
          L"Zuschneiden (C); die Eingabetaste wendet an", L"Gr\u00fcn (3)", L"R\u00fcckg\u00e4ngig (Strg+Z)",
          L"Diese Aufnahme verwerfen (Esc)"})
        EXPECT_NE(FindTip(tips, german), nullptr) << testing::PrintToString(std::wstring(german));
}

// A profile with "Annotate" "1" and the clipboard-and-file action: Done
// saves the marked picture and puts it on the clipboard; Discard saves and
// copies nothing.
TEST_F(Markup, PostProcessingSavesAndCopiesTheMarkedPictureOrNothing) {
    options->SetProfileOption(L"DefaultProfile", L"Annotate", L"1");
    options->SetProfileOption(L"DefaultProfile", L"Action", L"2");
    const RECT box{60, 50, 180, 130};
    const COLORREF red = MarkupWindow::PaletteColour(0);
    bool discard = false;
    const MarkupHandler handler = [&](CCaptureImage& picture) {
        return RunDriven(picture, setup, [&](const View& view) {
            DragOn(view, POINT{box.left, box.top}, POINT{box.right, box.bottom});
            if (!discard) {
                Keys(view, "Return");
                return;
            }
            Keys(view, "Escape");  // from the rectangle to Select
            screen::XInput("key Escape");
            if (!AnswerQuestion(view.window, IDYES)) ADD_FAILURE() << "no question before discarding";
            for (int i = 0; i < 100 && ::IsWindow(view.window); ++i) ::Sleep(50);
        });
    };

    CCaptureImage image = TestPicture();
    CaptureOutcome outcome;
    EXPECT_EQ(ImagePostProcessing(*options, image, owner, &outcome, MarkupRequest{handler, false}), 1);
    EXPECT_FALSE(outcome.discarded);
    EXPECT_TRUE(outcome.copied);
    ASSERT_FALSE(outcome.savedPath.empty());
    const Pixels saved = Pixels::OfBmpFile(testfiles::Read(outcome.savedPath));
    ASSERT_EQ(saved.width, kW) << "the saved file";
    ExpectRectangle(saved, red, box, 4, "in the file");
    const Pixels copied = ClipboardPicture();
    EXPECT_TRUE(copied == saved) << "the clipboard's DIB is the saved picture";

    discard = true;
    const DWORD clipboardBefore = ::GetClipboardSequenceNumber();
    CCaptureImage dropped = TestPicture();
    EXPECT_EQ(ImagePostProcessing(*options, dropped, owner, &outcome, MarkupRequest{handler, false}), 1);
    EXPECT_TRUE(outcome.discarded);
    EXPECT_FALSE(outcome.Produced());
    EXPECT_EQ(testfiles::List(shots).size(), 1u) << "no second file";
    EXPECT_EQ(::GetClipboardSequenceNumber(), clipboardBefore) << "nothing copied";
}
