// How soon the rectangle-capture overlay is on screen after its hot key,
// against the floor that every capture pays: the 100 ms the toolbar gets to
// disappear and one grab of the whole screen. The overlay's own work (grab,
// conversion, painting) is timed in this process with the program's code,
// and the whole path end to end with the real Snapwell.exe driven by its
// hot key. Medians of the same run; numbers only, nothing passes or fails.
#include "app/ShotDeskConstants.h"
#include "output/CaptureImage.h"
#include "platform/FileSystem.h"
#include "platform/Gdi.h"
#include "shellutil/StandardFolders.h"
#include "uikit/HotKey.h"

#include <windows.h>
#include <mmsystem.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 15;
// CaptureOperations waits this long for the toolbar to go before it grabs.
constexpr DWORD kToolbarWaitMs = 100;
constexpr double kGoalLateMs = 25;
// A drag's repaint keeps up with 60 frames per second.
constexpr double kGoalDragMs = 16;
// The selection aids may make the overlay at most this much later.
constexpr double kGoalAidsCostMs = 10;
constexpr wchar_t kOverlayClass[] = L"SnapwellCaptureOverlay";
constexpr wchar_t kTrayClass[] = L"SnapwellShellIconWND";
constexpr wchar_t kCanvasClass[] = L"SnapwellBenchCanvas";
constexpr wchar_t kNeedConfigValue[] = L"NeedConfig";
constexpr WORD kExitCommand = 142;  // the tray menu's "Exit"
// How long after its first paint an overlay is watched for being invalidated again.
constexpr double kRepaintWatchMs = 250;

double NowMs() {
    LARGE_INTEGER t, f;
    ::QueryPerformanceCounter(&t);
    ::QueryPerformanceFrequency(&f);
    return 1e3 * double(t.QuadPart) / double(f.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Dispatches this thread's messages until done() holds or timeoutMs have
// passed, looking again at least every millisecond. Another program's
// synchronous sends to this thread are answered at once.
bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
    const double end = NowMs() + timeoutMs;
    MSG msg;
    for (;;) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (NowMs() >= end) return false;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PumpFor(double ms) {
    PumpUntil([] { return false; }, ms);
}

RECT VirtualScreen() {
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN), y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN), y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// One grab of the whole virtual screen into bitmap, made the way the
// overlay makes its own; false when it failed.
bool GrabScreen(const RECT& screen, platform::UniqueHbitmap& bitmap) {
    const int w = screen.right - screen.left, h = screen.bottom - screen.top;
    platform::WindowDc source(nullptr);
    platform::MemoryDc memory(source.get());
    bitmap.reset(::CreateCompatibleBitmap(source.get(), w, h));
    if (!source || !memory || !bitmap) return false;
    platform::SelectedObject selected(memory.get(), bitmap.get());
    return ::BitBlt(memory.get(), 0, 0, w, h, source.get(), screen.left, screen.top, SRCCOPY | CAPTUREBLT) != FALSE;
}

struct FloorRun {
    double floor = -1;  // the wait and the grab; -1 when the grab failed
    double grab = 0;    // the grab alone
    platform::UniqueHbitmap bitmap;
};

// The floor once: the program's fixed wait, then one grab. The wait reads
// this thread's messages, as a thread that owns windows must. The grab runs
// on the process's first thread, as the overlay's does in Snapwell: under
// Wine the same grab costs far more there than on a thread made for it
// (about twice as much at 3840 x 2160).
FloorRun FloorOnce(const RECT& screen) {
    FloorRun run;
    const double start = NowMs();
    PumpFor(kToolbarWaitMs);
    const double waited = NowMs();
    const bool grabbed = GrabScreen(screen, run.bitmap);
    const double end = NowMs();
    if (grabbed) {
        run.floor = end - start;
        run.grab = end - waited;
    }
    return run;
}

void SendKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
    std::vector<INPUT> inputs;
    for (const auto& [vk, down] : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// ---- the floor and the overlay's shares, in this process -----------------

struct InProcess {
    std::vector<double> floor, grab, convert, paint, repaint;
    std::wstring failure;
};

LRESULT CALLBACK CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            ::ValidateRect(window, nullptr);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// A visible topmost popup over the whole screen, like the overlay.
HWND CreateCanvas(const RECT& screen) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CanvasProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kCanvasClass;
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kCanvasClass, L"", WS_POPUP | WS_VISIBLE, screen.left,
                             screen.top, screen.right - screen.left, screen.bottom - screen.top, nullptr, nullptr,
                             wc.hInstance, nullptr);
}

InProcess MeasureInProcess(const RECT& screen) {
    InProcess result;
    CCaptureImage image;
    for (int run = 0; run < kRuns; ++run) {
        FloorRun floor = FloorOnce(screen);
        const double start = NowMs();
        const bool converted = floor.floor >= 0 && image.CreateFromHBITMAP(floor.bitmap.get());
        const double end = NowMs();
        if (!converted) {
            result.failure =
                floor.floor >= 0 ? L"the conversion of the grab failed" : L"the grab of the whole screen failed";
            return result;
        }
        result.floor.push_back(floor.floor);
        result.grab.push_back(floor.grab);
        result.convert.push_back(end - start);
    }

    // The overlay is a new window each time, and under Wine the first paint
    // of a new window costs far more than a repaint: each run paints a new
    // window, then paints it again for the repaint's time.
    const int w = screen.right - screen.left, h = screen.bottom - screen.top;
    const auto paint = [&](HWND canvas) {
        const double start = NowMs();
        bool drawn = false;
        {
            platform::WindowDc dc(canvas);
            drawn = image.Draw(dc.get(), 0, 0, w, h);
            ::GdiFlush();
        }
        const double end = NowMs();
        // Wine hands the window's pixels to the X server once this thread
        // is idle; that copy happens here, outside the time measured.
        PumpFor(50);
        return drawn ? end - start : -1.0;
    };
    for (int run = 0; run < kRuns && result.failure.empty(); ++run) {
        HWND canvas = CreateCanvas(screen);
        if (canvas == nullptr) {
            result.failure = L"no full-screen window for the paint could be made";
            break;
        }
        PumpFor(20);
        const double first = paint(canvas);
        const double again = paint(canvas);
        ::DestroyWindow(canvas);
        if (first < 0 || again < 0) {
            result.failure = L"the frame could not be painted";
            break;
        }
        result.paint.push_back(first);
        result.repaint.push_back(again);
    }
    PumpFor(200);
    return result;
}

// ---- end to end with Snapwell.exe -----------------------------------------

// The per-user options and "NeedConfig" of this prefix as they were, put
// back when the run ends. Meanwhile Snapwell starts with the shipped options,
// its rectangle capture on Shift + Print Screen, and without its first-run
// wizard.
class ProgramSettingsForRun {
public:
    // aids: the value of "SelectionAids" for the run.
    ProgramSettingsForRun(const std::wstring& shippedOptions, const wchar_t* aids) {
        // The company folder first, as the program makes them.
        GetAppDataFolder(kCompanyName, false);
        const std::wstring folder = GetAppDataFolder(std::wstring(kCompanyName) + L"\\" + kAppFileName, false);
        if (folder.empty()) {
            failure_ = L"there is no per-user application-data folder";
            return;
        }
        userFile_ = folder + kOptionsFileName;
        previousOptions_ = platform::ReadWholeFile(userFile_);
        SaveNeedConfig();

        pugi::xml_document options;
        if (!options.load_file(shippedOptions.c_str())) {
            failure_ = L"the shipped options " + shippedOptions + L" cannot be read";
            return;
        }
        pugi::xml_attribute value =
            options.select_node(L"//HotKey[@Name='RegionCaptureKey']").node().attribute(L"Value");
        if (!value) {
            failure_ = L"the shipped options have no RegionCaptureKey";
            return;
        }
        shippedKey_ = value.value();
        const std::optional<HotKey> shipped = ParseHotKeyText(shippedKey_);
        if (!shipped || *shipped != HotKey{kVkPrintScreen, kModShift})
            value.set_value(FormatHotKeyForStorage(kModShift, kVkPrintScreen).c_str());
        pugi::xml_attribute aidsValue =
            options.select_node(L"//Option[@Name='SelectionAids']").node().attribute(L"Value");
        if (!aidsValue) {
            failure_ = L"the shipped options have no SelectionAids";
            return;
        }
        aidsValue.set_value(aids);
        // Written after the shipped file, so the program keeps it instead of
        // copying the shipped one over it.
        if (!options.save_file(userFile_.c_str()))
            failure_ = L"the user options file " + userFile_ + L" cannot be written";
    }
    ~ProgramSettingsForRun() {
        if (userFile_.empty()) return;
        if (previousOptions_)
            platform::ReplaceFileContents(userFile_, *previousOptions_);
        else
            ::DeleteFileW(userFile_.c_str());
        if (needConfig_) {
            ::RegSetKeyValueW(HKEY_CURRENT_USER, ProgramKeyPath().c_str(), kNeedConfigValue, needConfigType_,
                              needConfig_->data(), static_cast<DWORD>(needConfig_->size()));
        }
    }
    ProgramSettingsForRun(const ProgramSettingsForRun&) = delete;
    ProgramSettingsForRun& operator=(const ProgramSettingsForRun&) = delete;

    const std::wstring& Failure() const { return failure_; }
    const std::wstring& ShippedKey() const { return shippedKey_; }

private:
    void SaveNeedConfig() {
        DWORD size = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, ProgramKeyPath().c_str(), kNeedConfigValue, RRF_RT_ANY | RRF_NOEXPAND,
                           &needConfigType_, nullptr, &size) != ERROR_SUCCESS)
            return;
        needConfig_.emplace(size);
        if (::RegGetValueW(HKEY_CURRENT_USER, ProgramKeyPath().c_str(), kNeedConfigValue, RRF_RT_ANY | RRF_NOEXPAND,
                           &needConfigType_, needConfig_->data(), &size) != ERROR_SUCCESS) {
            needConfig_.reset();
            return;
        }
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, ProgramKeyPath().c_str(), kNeedConfigValue);
    }

    std::wstring userFile_, failure_, shippedKey_;
    std::optional<std::string> previousOptions_;
    std::optional<std::vector<BYTE>> needConfig_;
    DWORD needConfigType_ = REG_NONE;
};

// A running Snapwell, ended through its tray menu's "Exit" when this goes
// (WM_CLOSE, then termination, if it does not listen).
class SnapwellProcess {
public:
    explicit SnapwellProcess(const std::wstring& program) {
        std::wstring line = L"\"" + program + L"\"";
        STARTUPINFOW startup{sizeof(startup)};
        if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
            ::CloseHandle(info_.hThread);
    }
    ~SnapwellProcess() {
        if (!info_.hProcess) return;
        if (HWND tray = TrayWindow()) {
            ::PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
            if (!WaitForExit(15000)) ::PostMessageW(tray, WM_CLOSE, 0, 0);
        }
        if (!WaitForExit(5000)) {
            std::printf("  Snapwell did not exit when asked; it was terminated\n");
            ::TerminateProcess(info_.hProcess, 9);
            ::WaitForSingleObject(info_.hProcess, 5000);
        }
        ::CloseHandle(info_.hProcess);
    }
    SnapwellProcess(const SnapwellProcess&) = delete;
    SnapwellProcess& operator=(const SnapwellProcess&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    bool Running() const { return ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    HWND TrayWindow() const { return WindowOf(kTrayClass, false); }
    // A visible dialog of the program: a message box that holds it up.
    HWND Dialog() const { return WindowOf(L"#32770", true); }
    bool WaitForExit(DWORD ms) const {
        return PumpUntil([this] { return !Running(); }, ms);
    }

private:
    struct Search {
        DWORD process;
        const wchar_t* className;
        bool visibleOnly;
        HWND found;
    };
    static BOOL CALLBACK Match(HWND window, LPARAM data) {
        auto* search = reinterpret_cast<Search*>(data);
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        wchar_t name[64] = {};
        ::GetClassNameW(window, name, 64);
        if (process != search->process || std::wstring(name) != search->className) return TRUE;
        if (search->visibleOnly && !::IsWindowVisible(window)) return TRUE;
        search->found = window;
        return FALSE;
    }
    HWND WindowOf(const wchar_t* className, bool visibleOnly) const {
        Search search{info_.dwProcessId, className, visibleOnly, nullptr};
        ::EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    PROCESS_INFORMATION info_{};
};

std::wstring DialogText(HWND dialog) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, 0xFFFF, text, 512);
    return text;
}

// Whether some program holds Shift + Print Screen: a probe registration by
// this thread fails then.
bool RegionKeyTaken() {
    if (!::RegisterHotKey(nullptr, 0x7FF0, MOD_SHIFT, VK_SNAPSHOT)) return true;
    ::UnregisterHotKey(nullptr, 0x7FF0);
    return false;
}

struct EndToEnd {
    std::vector<double> visible, painted, handled;
    // When the paint after the first one ended (the dimmed view, with the
    // selection aids), in the runs that had one.
    std::vector<double> repainted;
    // From a mouse move during a drag (the selection aids on, with the
    // label and the magnifier) to the repainted selection.
    std::vector<double> dragMove;
    std::wstring dragFailure;
    // The floor measured just before each press, and each press's painted
    // time less that floor.
    std::vector<double> floor, late;
    double firstPainted = 0;
    int repaintedRuns = 0, reinvalidations = 0;
    std::wstring failure;
};

HWND Overlay() { return ::FindWindowW(kOverlayClass, nullptr); }

// One press of the hot key: when the overlay became visible, when its
// update region emptied (painted), and when its thread answered after that;
// then a watch for a second paint, Escape, and the overlay's end.
bool MeasureOnce(EndToEnd& result, bool counted, std::wstring& failure, double watchMs) {
    const double start = NowMs();
    SendKeys({{VK_SHIFT, true}, {VK_SNAPSHOT, true}, {VK_SNAPSHOT, false}, {VK_SHIFT, false}});
    HWND overlay = nullptr;
    double visibleAt = 0, paintedAt = 0;
    const bool painted = PumpUntil(
        [&] {
            if (overlay == nullptr || !::IsWindow(overlay)) overlay = Overlay();
            if (overlay == nullptr || !::IsWindowVisible(overlay)) return false;
            if (visibleAt == 0) visibleAt = NowMs();
            if (::GetUpdateRect(overlay, nullptr, FALSE)) return false;
            paintedAt = NowMs();
            return true;
        },
        10000);
    if (!painted) {
        failure = overlay ? L"the overlay showed but did not paint within 10 s"
                          : L"no overlay within 10 s of Shift + Print Screen";
        SendKeys({{VK_ESCAPE, true}, {VK_ESCAPE, false}});
        PumpUntil([] { return Overlay() == nullptr; }, 5000);
        return false;
    }
    // The update region empties when it is validated, which BeginPaint does
    // before a WM_PAINT handler draws; the overlay's thread answers a message
    // only once the message it is handling has returned.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(overlay, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
    const double handledAt = NowMs();

    int invalidations = 0;
    bool pending = false;
    double repaintedAt = 0;
    PumpUntil(
        [&] {
            const bool now = ::IsWindow(overlay) && ::GetUpdateRect(overlay, nullptr, FALSE);
            if (now && !pending) ++invalidations;
            // The end of the first paint after the first one: with the
            // selection aids, the dimmed view.
            if (!now && pending && repaintedAt == 0) repaintedAt = NowMs();
            pending = now;
            return false;
        },
        watchMs);

    SendKeys({{VK_ESCAPE, true}, {VK_ESCAPE, false}});
    if (!PumpUntil([] { return Overlay() == nullptr; }, 5000)) {
        failure = L"the overlay stayed after Escape";
        return false;
    }
    // The program puts its tray icon back and goes idle before the next press.
    PumpFor(300);
    if (!counted) {
        result.firstPainted = paintedAt - start;
        return true;
    }
    result.visible.push_back(visibleAt - start);
    result.painted.push_back(paintedAt - start);
    result.handled.push_back(handledAt - start);
    result.reinvalidations += invalidations;
    result.repaintedRuns += invalidations > 0;
    if (repaintedAt > 0) result.repainted.push_back(repaintedAt - start);
    return true;
}

// Whether the overlay has painted everything it invalidated and its thread
// has returned from the paint.
bool OverlayPainted(HWND overlay) {
    if (!::IsWindow(overlay) || ::GetUpdateRect(overlay, nullptr, FALSE)) return false;
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutW(overlay, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored) != 0;
}

// A drag on the overlay of one press: the button goes down, then each move
// is sent (so that it has been handled when the send returns) and timed
// until the overlay has painted what it changed. Escape ends it without a
// picture.
void MeasureDrag(const RECT& screen, EndToEnd& result) {
    SendKeys({{VK_SHIFT, true}, {VK_SNAPSHOT, true}, {VK_SNAPSHOT, false}, {VK_SHIFT, false}});
    HWND overlay = nullptr;
    if (!PumpUntil([&] { return (overlay = Overlay()) != nullptr && ::IsWindowVisible(overlay) && OverlayPainted(overlay); },
                   10000)) {
        result.dragFailure = L"no painted overlay within 10 s";
        return;
    }
    const int w = screen.right - screen.left, h = screen.bottom - screen.top;
    POINT p{w / 8, h / 8};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y), SMTO_NORMAL, 2000, &ignored);
    PumpUntil([&] { return OverlayPainted(overlay); }, 2000);
    for (int run = 0; run < 2 * kRuns; ++run) {
        p = POINT{p.x + w / 64, p.y + h / 64};
        const double start = NowMs();
        ::SendMessageTimeoutW(overlay, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y), SMTO_NORMAL, 2000, &ignored);
        if (!PumpUntil([&] { return OverlayPainted(overlay); }, 5000)) {
            result.dragFailure = L"a move was not painted within 5 s";
            break;
        }
        result.dragMove.push_back(NowMs() - start);
    }
    SendKeys({{VK_ESCAPE, true}, {VK_ESCAPE, false}});
    if (!PumpUntil([] { return Overlay() == nullptr; }, 5000) && result.dragFailure.empty())
        result.dragFailure = L"the overlay stayed after Escape";
    PumpFor(300);
}

// One Snapwell run with "SelectionAids" set to aids; the drag is measured
// with the aids only.
EndToEnd MeasureEndToEnd(const RECT& screen, const std::wstring& binFolder, std::wstring& shippedKey,
                         const wchar_t* aids) {
    EndToEnd result;
    const std::wstring program = binFolder + L"Snapwell.exe";
    if (!platform::FileExists(program)) {
        result.failure = L"there is no " + program;
        return result;
    }
    if (HANDLE running = ::OpenMutexW(SYNCHRONIZE, FALSE, kProductName)) {
        ::CloseHandle(running);
        result.failure = L"a Snapwell is already running in this prefix";
        return result;
    }
    if (RegionKeyTaken()) {
        result.failure = L"another program holds Shift + Print Screen";
        return result;
    }
    const ProgramSettingsForRun settings(binFolder + kOptionsFileName, aids);
    shippedKey = settings.ShippedKey();
    if (!settings.Failure().empty()) {
        result.failure = settings.Failure();
        return result;
    }
    SnapwellProcess snapwell(program);
    if (!snapwell.Started()) {
        result.failure = L"Snapwell.exe could not be started";
        return result;
    }
    // The tray window comes after the splash; the hot keys are registered
    // right after it, so the probe waits for the program's thread to answer
    // first.
    HWND tray = nullptr;
    if (!PumpUntil([&] { return (tray = snapwell.TrayWindow()) != nullptr || !snapwell.Running(); }, 30000) ||
        tray == nullptr) {
        result.failure =
            snapwell.Running() ? L"Snapwell showed no tray window within 30 s" : L"Snapwell ended at start";
        if (HWND box = snapwell.Dialog()) result.failure += L"; it shows: " + DialogText(box);
        return result;
    }
    const bool registered = PumpUntil(
        [&] {
            DWORD_PTR ignored = 0;
            return ::SendMessageTimeoutW(tray, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) && RegionKeyTaken();
        },
        15000);
    if (!registered) {
        result.failure = L"Snapwell did not register Shift + Print Screen";
        if (HWND box = snapwell.Dialog()) result.failure += L"; it shows: " + DialogText(box);
        return result;
    }
    PumpFor(1000);
    if (HWND box = snapwell.Dialog()) {
        result.failure = L"Snapwell shows a message: " + DialogText(box);
        return result;
    }

    std::wstring failure;
    for (int run = 0; run <= kRuns; ++run) {
        // A floor beside each press, so that the machine's load, which
        // changes between the parts of a run, weighs on both alike.
        const double floor = FloorOnce(screen).floor;
        // With the aids the dimmed view follows the first paint; it is
        // watched for longer.
        const double watchMs = std::wstring(aids) == L"1" ? 4 * kRepaintWatchMs : kRepaintWatchMs;
        if (!MeasureOnce(result, run > 0, failure, watchMs)) {
            result.failure = L"run " + std::to_wstring(run) + L": " + failure;
            if (HWND box = snapwell.Dialog()) result.failure += L"; Snapwell shows: " + DialogText(box);
            break;
        }
        if (run > 0 && floor >= 0) {
            result.floor.push_back(floor);
            result.late.push_back(result.painted.back() - floor);
        }
    }
    if (result.failure.empty() && std::wstring(aids) == L"1") MeasureDrag(screen, result);
    return result;
}

// build\bin\ beside build\bench\, where this program runs from.
std::wstring ProgramFolder() {
    std::wstring bench = platform::FolderOf(platform::ModuleFileName());
    if (!bench.empty()) bench.pop_back();
    return platform::FolderOf(bench) + L"bin\\";
}

// ---- the table ------------------------------------------------------------

void PrintRow(const char* what, double ms, double ofPainted) {
    if (ofPainted > 0)
        std::printf("  %-48s %9.1f ms %7.1f %%\n", what, ms, 100 * ms / ofPainted);
    else
        std::printf("  %-48s %9.1f ms\n", what, ms);
}

}  // namespace

int main() {
    ::timeBeginPeriod(1);
    const RECT screen = VirtualScreen();
    const int w = screen.right - screen.left, h = screen.bottom - screen.top;
    std::printf("Snapwell rectangle overlay, virtual screen %d x %d, medians of %d runs\n", w, h, kRuns);
    std::fflush(stdout);

    const InProcess parts = MeasureInProcess(screen);
    std::wstring shippedKey;
    // The plain overlay first, then the same with the selection aids, in
    // the same run.
    const EndToEnd whole = MeasureEndToEnd(screen, ProgramFolder(), shippedKey, L"0");
    const EndToEnd aided = MeasureEndToEnd(screen, ProgramFolder(), shippedKey, L"1");
    ::timeEndPeriod(1);

    const double painted = Median(whole.painted);
    if (!shippedKey.empty()) std::printf("  (the shipped rectangle-capture hot key: \"%ls\")\n", shippedKey.c_str());
    if (!parts.floor.empty()) PrintRow("floor: 100 ms wait + one grab of the screen", Median(parts.floor), 0);
    if (whole.failure.empty()) {
        PrintRow("floor again, measured just before each press", Median(whole.floor), 0);
        PrintRow("hot key -> overlay visible", Median(whole.visible), 0);
        PrintRow("hot key -> overlay painted", painted, 0);
        PrintRow("hot key -> paint handler returned", Median(whole.handled), 0);
        std::printf("  %-48s %9.1f ms   (goal: at most %.0f ms after the floor)\n",
                    "late by (painted - the floor before it)", Median(whole.late), kGoalLateMs);
    } else {
        std::printf("  hot key -> overlay painted: not measured: %ls\n", whole.failure.c_str());
    }
    std::printf("  with the selection aids (dimming, label, magnifier):\n");
    if (aided.failure.empty()) {
        PrintRow("  hot key -> overlay painted", Median(aided.painted), 0);
        const double late = Median(aided.late);
        std::printf("  %-48s %9.1f ms\n", "  late by (painted - the floor before it)", late);
        if (whole.failure.empty())
            std::printf("  %-48s %9.1f ms   (goal: at most %.0f ms)\n", "  late by, aids less plain overlay",
                        late - Median(whole.late), kGoalAidsCostMs);
        if (!aided.repainted.empty())
            std::printf("  %-48s %9.1f ms   (%zu of %d runs)\n", "  hot key -> dimmed view painted",
                        Median(aided.repainted), aided.repainted.size(), kRuns);
        if (aided.dragFailure.empty()) {
            std::printf("  %-48s %9.1f ms   (goal: at most %.0f ms)\n", "  drag: mouse move -> selection repainted",
                        Median(aided.dragMove), kGoalDragMs);
        } else {
            std::printf("    drag: mouse move -> selection repainted: not measured: %ls\n", aided.dragFailure.c_str());
        }
    } else {
        std::printf("    hot key -> overlay painted: not measured: %ls\n", aided.failure.c_str());
    }
    if (parts.failure.empty()) {
        PrintRow("share: grab (BitBlt of the whole screen)", Median(parts.grab), painted);
        PrintRow("share: convert (CreateFromHBITMAP)", Median(parts.convert), painted);
        PrintRow("share: paint (Draw into a new full-screen popup)", Median(parts.paint), painted);
        PrintRow("  (the same Draw into that popup again)", Median(parts.repaint), 0);
    } else {
        std::printf("  floor and shares: not all measured: %ls\n", parts.failure.c_str());
    }
    if (whole.failure.empty()) {
        std::printf("  first (cold) press, overlay painted after %.1f ms; not in the medians\n", whole.firstPainted);
        std::printf("  overlay invalidated again within %.0f ms of its first paint: %d of %d runs (%d times)\n",
                    kRepaintWatchMs, whole.repaintedRuns, kRuns, whole.reinvalidations);
    }
    std::printf("\n");
    std::fflush(stdout);
    return parts.failure.empty() && whole.failure.empty() && aided.failure.empty() ? 0 : 1;
}
