#include "tests/ScreenTools.h"

#include "tests/UnixTools.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace screen {

namespace {

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

#pragma pack(push, 1)
// An entry of the GDI handle table that the system maps into every process.
struct GdiHandleEntry {
    uint64_t object;
    uint16_t processId;
    uint16_t count;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t user;
};
#pragma pack(pop)

long CountGdiHandles() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    const auto* peb = reinterpret_cast<const char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#pragma GCC diagnostic pop
    // PEB.GdiSharedHandleTable of a 64-bit process.
    const auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(peb + 0xF8);
    if (table == nullptr) return -1;
    const auto self = static_cast<uint16_t>(::GetCurrentProcessId());
    long count = 0;
    // Wine keeps the table per process and leaves the owner field zero.
    for (size_t i = 0; i < 0x4000; ++i)
        if (table[i].type != 0 && table[i].object != 0 && (table[i].processId == 0 || table[i].processId == self))
            ++count;
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM data) {
    ++*reinterpret_cast<long*>(data);
    return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM data) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(data);
    ::EnumChildWindows(window, CountChild, data);
    return TRUE;
}

}  // namespace

HWND ColourWindow(COLORREF colour, int x, int y, int w, int h) {
    const std::wstring cls = L"SnapwellTestColour" + std::to_wstring(colour);
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = ::CreateSolidBrush(colour);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = cls.c_str();
    if (!::RegisterClassW(&wc)) ::DeleteObject(wc.hbrBackground);
    HWND window = ::CreateWindowExW(WS_EX_TOPMOST, cls.c_str(), L"", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    ::UpdateWindow(window);
    return window;
}

void Pump(DWORD ms) { PumpUntil(nullptr, ms); }

bool PumpUntil(HANDLE object, DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    MSG msg;
    for (;;) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return object != nullptr && ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        // Wakes for a message sent or posted to this thread as well as for
        // the object, so another process's synchronous sends are answered
        // at once.
        const DWORD result = ::MsgWaitForMultipleObjectsEx(object ? 1 : 0, object ? &object : nullptr,
                                                           static_cast<DWORD>(end - now), QS_ALLINPUT,
                                                           MWMO_INPUTAVAILABLE);
        if (object != nullptr && result == WAIT_OBJECT_0) return true;
    }
}

void MouseTo(int x, int y, DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    // Over the virtual screen, so that every monitor is reached.
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN), top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    input.mi.dx = (x - left) * 65535 / (::GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1);
    input.mi.dy = (y - top) * 65535 / (::GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK | flags;
    ::SendInput(1, &input, sizeof(input));
    Pump(60);
}

void Key(WORD vk, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &input, sizeof(input));
    Pump(60);
}

void Tap(WORD vk) {
    Key(vk, true);
    Key(vk, false);
}

COLORREF WaitForPixel(int x, int y, COLORREF expected, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        HDC dc = ::GetDC(nullptr);
        const COLORREF pixel = ::GetPixel(dc, x, y);
        ::ReleaseDC(nullptr, dc);
        if (pixel == expected || ::GetTickCount() - start > timeoutMs) return pixel;
        Pump(20);
    }
}

bool XShowsCursor(int id) {
    HCURSOR cursor = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    ICONINFO info{};
    if (cursor == nullptr || !::GetIconInfo(cursor, &info)) return false;
    BITMAP mask{};
    ::GetObjectW(info.hbmMask, sizeof(mask), &mask);
    // A monochrome cursor's mask holds the AND rows, then the XOR rows.
    std::vector<BYTE> bits(static_cast<size_t>(mask.bmWidthBytes) * mask.bmHeight);
    ::GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data());
    const int width = mask.bmWidth, height = info.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
    const auto bit = [&](int x, int y) { return (bits[size_t(y) * mask.bmWidthBytes + x / 8] >> (7 - x % 8)) & 1; };
    int opaque = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) opaque += bit(x, y) == 0 || (!info.hbmColor && bit(x, y + height) == 1);
    ::DeleteObject(info.hbmMask);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    const unixtools::XCursorImage shown = unixtools::ReadXCursor();
    return shown.width == width && shown.height == height && shown.xHot == static_cast<int>(info.xHotspot) &&
           shown.yHot == static_cast<int>(info.yHotspot) && shown.Opaque() == opaque;
}

HWND FindOverlay(const wchar_t* windowClass) { return ::FindWindowW(windowClass, nullptr); }

bool WaitForOverlay(const wchar_t* windowClass) {
    for (int i = 0; i < 200; ++i) {
        if (HWND overlay = FindOverlay(windowClass); overlay && ::IsWindowVisible(overlay)) {
            Pump(300);
            return true;
        }
        Pump(50);
    }
    return false;
}

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

void XInput(const std::string& xdotoolArguments) {
    unixtools::RunShell("xdotool " + xdotoolArguments);
    Pump(100);
}

void ShiftClick(int x, int y) {
    MouseTo(x, y);
    XInput("keydown shift");
    MouseTo(x, y, MOUSEEVENTF_LEFTDOWN);
    MouseTo(x, y, MOUSEEVENTF_LEFTUP);
    XInput("keyup shift");
}

std::thread ClickWindows(std::initializer_list<POINT> shiftClicks, POINT plainClick) {
    std::vector<POINT> shifted(shiftClicks);
    return std::thread([shifted, plainClick] {
        WaitForOverlay();
        for (POINT p : shifted) ShiftClick(p.x, p.y);
        MouseTo(plainClick.x + 1, plainClick.y + 1);
        MouseTo(plainClick.x, plainClick.y);
        MouseTo(plainClick.x, plainClick.y, MOUSEEVENTF_LEFTDOWN);
        MouseTo(plainClick.x, plainClick.y, MOUSEEVENTF_LEFTUP);
    });
}

COLORREF BmpPixel(const std::string& bmp, long x, long y) {
    BITMAPINFOHEADER header;
    if (bmp.size() < 54) return CLR_INVALID;
    std::memcpy(&header, bmp.data() + 14, sizeof(header));
    const size_t stride = ((header.biWidth * 24 + 31) / 32) * 4;
    const size_t row = static_cast<size_t>(header.biHeight - 1 - y);
    const size_t at = 54 + row * stride + static_cast<size_t>(x) * 3;
    if (x < 0 || y < 0 || x >= header.biWidth || y >= header.biHeight || at + 3 > bmp.size()) return CLR_INVALID;
    const auto* p = reinterpret_cast<const uint8_t*>(bmp.data() + at);
    return RGB(p[2], p[1], p[0]);
}

SIZE BmpSize(const std::string& bmp) {
    BITMAPINFOHEADER header{};
    if (bmp.size() >= 54) std::memcpy(&header, bmp.data() + 14, sizeof(header));
    return SIZE{header.biWidth, header.biHeight};
}

GuiObjects CountGuiObjects() {
    GuiObjects counts{};
    const HANDLE self = ::GetCurrentProcess();
    counts.gdi = static_cast<long>(::GetGuiResources(self, GR_GDIOBJECTS));
    if (counts.gdi == 0) counts.gdi = CountGdiHandles();
    ::EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&counts.windows));
    return counts;
}

}  // namespace screen
