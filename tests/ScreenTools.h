#pragma once
// Driving and reading the real screen of the Wine desktop: coloured test
// windows, mouse and keyboard input through SendInput, the capture overlay,
// pixels of BMP files, and counts of the process's GDI and USER objects.
#include <windows.h>

#include <string>
#include <thread>

namespace screen {

// A topmost top-level window filled with one colour.
HWND ColourWindow(COLORREF colour, int x, int y, int w, int h);
// Dispatches this thread's messages for ms milliseconds. A thread that
// owns windows waits this way, never in Sleep: another program's foreground
// hand-over sends it activation messages and stalls until they are read.
void Pump(DWORD ms);
// Dispatches this thread's messages until object is signalled (true) or ms
// have passed (false).
bool PumpUntil(HANDLE object, DWORD ms);
void MouseTo(int x, int y, DWORD flags = 0);
void Key(WORD vk, bool down);
void Tap(WORD vk);
// Runs xdotool with these arguments: input that goes through the X server
// itself. Wine takes the modifier and button state from the X server again
// whenever the X focus moves, which forgets a Shift or a button held only
// through SendInput; what must stay held across clicks goes this way.
void XInput(const std::string& xdotoolArguments);
// A left click at (x, y) with Shift held.
void ShiftClick(int x, int y);

// The screen's pixel at (x, y) once it shows expected, or what it shows
// after timeoutMs: drawing on another thread takes its time.
COLORREF WaitForPixel(int x, int y, COLORREF expected, DWORD timeoutMs = 2000);

// Whether the X server shows the program's cursor resource id now: its
// size, hot spot and opaque pixels, as the user sees them.
bool XShowsCursor(int id);

// The capture overlays' window class, and the resize picker's.
inline constexpr wchar_t kOverlayClass[] = L"SnapwellCaptureOverlay";
inline constexpr wchar_t kResizePickerClass[] = L"SnapwellResizePicker";

HWND FindOverlay(const wchar_t* windowClass = kOverlayClass);
// Waits until the overlay is on screen and has painted (at most ten seconds).
bool WaitForOverlay(const wchar_t* windowClass = kOverlayClass);
// Drags with the left button from one point to another, from a second thread.
std::thread Drag(POINT from, POINT to);
// Clicks at each point in turn (Shift held for all but the last), from a
// second thread once the overlay is up.
std::thread ClickWindows(std::initializer_list<POINT> shiftClicks, POINT plainClick);

// The 24-bit pixel at picture (x, y) of a BMP file, and its size.
COLORREF BmpPixel(const std::string& bmp, long x, long y);
SIZE BmpSize(const std::string& bmp);

struct GuiObjects {
    long gdi;     // bitmaps, brushes, regions, device contexts...
    long windows; // windows of this process, children included
};
// GetGuiResources where the system keeps the counts; under Wine, where it
// does not, the process's GDI handle table and its window list.
GuiObjects CountGuiObjects();

}  // namespace screen
