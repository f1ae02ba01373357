// snapctl: drives a Snapwell capture engine from the command line, for
// scripts and other programs. It creates an engine in the running Snapwell
// (or one that COM starts), calls one method, prints the method's status
// value and exits with 0 when the status is 0. With --delay SECONDS a
// capture comes after a countdown that snapctl shows itself; Escape or a
// click on the countdown cancels it.
//
// Exit codes: 0 done; 1 the engine did nothing (busy, or no options);
// 2 the call failed; 3 the server is not registered; 4 the countdown was
// cancelled; 64 bad usage.
#include "capture/CountdownWnd.h"
#include "platform/SystemMessage.h"

#include <ShotDeskLib.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kDone = 0, kNothingDone = 1, kFailed = 2, kNotRegistered = 3, kCancelled = 4, kUsage = 64;

int Usage() {
    std::fwprintf(stderr,
                  L"usage: snapctl [--delay SECONDS] COMMAND\n"
                  L"  fullscreen         capture the whole screen\n"
                  L"  window             pick windows on screen and capture them\n"
                  L"  region             drag a rectangle on screen and capture it\n"
                  L"  rect X Y W H       capture a rectangle of the screen\n"
                  L"  capture            capture in the current capture mode\n"
                  L"  resize             resize an application window\n"
                  L"  toolbar            show the capture toolbar\n"
                  L"  options            show the options dialog\n"
                  L"  about              show the about dialog\n"
                  L"--delay SECONDS (0 to 3600) waits that long before a capture command\n"
                  L"(fullscreen, window, region, rect, capture), with a countdown on\n"
                  L"screen; Escape or a click on the countdown cancels (exit code 4).\n");
    return kUsage;
}

bool ParseLong(const wchar_t* text, LONG& out) {
    wchar_t* end = nullptr;
    errno = 0;
    const long long value = std::wcstoll(text, &end, 10);
    if (end == text || *end != L'\0' || errno != 0 || value < LONG_MIN || value > LONG_MAX) return false;
    out = static_cast<LONG>(value);
    return true;
}

std::wstring ErrorText(HRESULT hr) {
    std::wstring text = platform::SystemMessage(static_cast<DWORD>(hr));
    if (text.empty()) return L"error";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
    return text;
}

// A whole number of seconds from 0 to the countdown's longest, in decimal
// digits only.
bool ParseDelay(const std::wstring& text, int& seconds) {
    if (text.empty() || text.size() > 4) return false;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value > CountdownWnd::kMaxSeconds) return false;
    seconds = value;
    return true;
}

int Run(std::vector<std::wstring> args) {
    int delay = 0;
    bool delayGiven = false;
    if (!args.empty() && args[0] == L"--delay") {
        if (args.size() < 2 || !ParseDelay(args[1], delay)) {
            std::fwprintf(stderr, L"snapctl: --delay takes a whole number of seconds from 0 to %d, not \"%ls\"\n",
                          CountdownWnd::kMaxSeconds, args.size() < 2 ? L"" : args[1].c_str());
            return kUsage;
        }
        delayGiven = true;
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage();
    const std::wstring& command = args[0];
    if (delayGiven && command != L"fullscreen" && command != L"window" && command != L"region" &&
        command != L"rect" && command != L"capture") {
        std::fwprintf(stderr, L"snapctl: --delay comes before a capture command only, not \"%ls\"\n",
                      command.c_str());
        return kUsage;
    }
    LONG rect[4] = {};
    if (command == L"rect") {
        if (args.size() != 5) return Usage();
        for (int i = 0; i < 4; ++i)
            if (!ParseLong(args[i + 1].c_str(), rect[i])) return Usage();
    } else if (args.size() != 1) {
        return Usage();
    }
    static const wchar_t* const kCommands[] = {L"fullscreen", L"window", L"region",  L"rect",   L"capture",
                                               L"resize",     L"toolbar", L"options", L"about"};
    bool known = false;
    for (const wchar_t* c : kCommands) known = known || command == c;
    if (!known) return Usage();

    ICaptureEngine* engine = nullptr;
    HRESULT hr = E_FAIL;
    // A server that is still starting (or ending) can refuse a first
    // activation for a moment; a registered class is tried a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) ::Sleep(1000);
        hr = ::CoCreateInstance(CLSID_CaptureEngine, nullptr, CLSCTX_LOCAL_SERVER, IID_ICaptureEngine,
                                reinterpret_cast<void**>(&engine));
        if (SUCCEEDED(hr) || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB || hr == CO_E_APPNOTFOUND) break;
    }
    if (hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB || hr == CO_E_APPNOTFOUND) {
        std::fwprintf(stderr,
                      L"snapctl: Snapwell's automation server is not registered on this computer.\n"
                      L"Register it once with:  Snapwell.exe /Regserver\n");
        return kNotRegistered;
    }
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"snapctl: cannot reach Snapwell: %ls (0x%08lX)\n", ErrorText(hr).c_str(),
                      static_cast<unsigned long>(hr));
        return kFailed;
    }
    if (delay > 0) {
        // The countdown is this program's own; the engine is asked once it
        // has elapsed, and never when it was cancelled.
        CountdownWnd countdown;
        if (countdown.Run(delay) != CountdownWnd::Outcome::Elapsed) {
            engine->Release();
            std::fwprintf(stderr, L"snapctl: the delayed %ls was cancelled\n", command.c_str());
            return kCancelled;
        }
    }
    if (command == L"fullscreen") hr = engine->CaptureFullScreen();
    else if (command == L"window") hr = engine->CaptureWindow();
    else if (command == L"region") hr = engine->CaptureRegion();
    else if (command == L"rect") {
        // The bitmap argument is a reference: it must point somewhere, though
        // the engine never writes it.
        HBITMAP unused = nullptr;
        hr = engine->CaptureRect(rect[0], rect[1], rect[2], rect[3], &unused);
    }
    else if (command == L"capture") hr = engine->Capture();
    else if (command == L"resize") hr = engine->ResizeApplication();
    else if (command == L"toolbar") hr = engine->ShowToolBar();
    else if (command == L"options") hr = engine->DisplayOptionsDlg();
    else if (command == L"about") hr = engine->About();
    engine->Release();
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"snapctl: %ls failed: %ls (0x%08lX)\n", command.c_str(), ErrorText(hr).c_str(),
                      static_cast<unsigned long>(hr));
        return kFailed;
    }
    std::wprintf(L"%ld\n", static_cast<long>(hr));
    return hr == S_OK ? kDone : kNothingDone;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fwprintf(stderr, L"snapctl: COM could not be started\n");
        return kFailed;
    }
    const int code = Run(args);
    ::CoUninitialize();
    std::fflush(stdout);
    return code;
}
