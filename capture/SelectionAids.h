#pragma once
// What the overlays draw over the frozen desktop to help the user see and
// aim a selection: the desktop dimmed outside it, a border that shows on
// light and dark pictures, crosshair guides, a size label and a magnifier.
// Every paint is composed from the frozen picture and a dimmed copy of it,
// made once, into one back buffer, and only the update region reaches the
// window, so nothing is ever inverted on the screen.
#include "platform/Gdi.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The picture outside the selection keeps this share of its brightness.
inline constexpr int kDimmedPercent = 60;
// The magnifier shows this many frozen pixels across, each this many times.
inline constexpr int kMagnifiedPixels = 15;
inline constexpr int kMagnification = 8;

// A channel of the dimmed picture.
inline BYTE DimChannel(BYTE value) { return static_cast<BYTE>(value * kDimmedPercent / 100); }

// Where a box of size goes beside the pointer: in the corner (dx, dy) of it
// (each +1 or -1, right or down for +1), a gap away, flipped to the other
// side where it would leave area, and kept inside area. It never holds the
// pointer when area leaves room beside it.
RECT PlaceBesidePointer(POINT pointer, SIZE size, int gap, int dx, int dy, const RECT& area);

// "200 × 100": the size of a selection.
std::wstring SizeText(const RECT& selection);
// What follows the size while a rectangle is chosen: "Ctrl: mark up", or with
// Ctrl held ("mark up") that the release opens the markup window.
std::wstring MarkupHintText(bool ctrlHeld);
// "#RRGGBB".
std::wstring ColourText(COLORREF colour);
// A window's title, cut to 60 characters with "…" when it is longer.
std::wstring ShortTitle(const std::wstring& title);

class SelectionAids {
public:
    SelectionAids() = default;
    ~SelectionAids();
    SelectionAids(const SelectionAids&) = delete;
    SelectionAids& operator=(const SelectionAids&) = delete;

    // Makes the back buffer and the dimmed copy of the frozen picture (which
    // must outlive this and is never selected into a device context outside
    // Paint), and notes the monitors; origin is the screen point of the
    // picture's (0, 0). frozenBits, when given, are the frozen picture's own
    // pixels (a top-down 32-bit DIB section of size): they are dimmed on a
    // thread of their own, so that the overlay can show the frozen picture
    // at once and the aids as soon as the copy is done (Ready, and the
    // message of NotifyWhenDimmed). False when the platform could not make
    // them; the overlay then paints as it would without aids.
    bool Prepare(HBITMAP frozen, const void* frozenBits, SIZE size, POINT origin);
    bool Prepared() const { return static_cast<bool>(back_); }
    // True once the dimmed copy is complete.
    bool Ready();
    // Starts dimming the frozen bits given to Prepare on a thread of its
    // own: after the overlay's first paint, so that the two do not compete.
    void StartDimming();
    // Posts message to window when the dimmed copy is complete, unless it
    // was complete already.
    void NotifyWhenDimmed(HWND window, UINT message);
    // Lets the pictures go (before the frozen one goes).
    void Release();
    // The monitor that holds p (client coordinates), or the primary one.
    RECT MonitorAt(POINT p) const;
    // How far the label and the magnifier keep from the pointer.
    static int Gap();

    // The label's size for a text, its border included.
    SIZE LabelSize(const std::wstring& text) const;
    // The magnifier's size: the magnified square and its colour line.
    SIZE MagnifierSize() const;

    // Composes the update region of window in the back buffer: the dimmed
    // picture, the bright rectangles from the frozen one, then what decorate
    // draws (the back buffer's clip is the update region), and copies it to
    // the window. Validates the window.
    void Paint(HWND window, const std::vector<RECT>& bright, const std::function<void(HDC)>& decorate);

    // Drawing for decorate, in the back buffer's (the overlay's client)
    // coordinates.
    void DrawBorder(HDC dc, const RECT& selection) const;
    void DrawCrosshair(HDC dc, POINT p, const RECT& client) const;
    void DrawLabel(HDC dc, const RECT& box, const std::wstring& text) const;
    // The frozen pixels around centre at 8x with a grid, the centre pixel
    // outlined and its colour written below.
    void DrawMagnifier(HDC dc, const RECT& box, POINT centre) const;
    // The frozen picture's pixel while decorate runs, CLR_INVALID outside it.
    COLORREF FrozenPixel(POINT p) const;

    // The selection with the border round it, and the crosshair's two lines.
    static RECT BorderBox(const RECT& selection);
    static void CrosshairBoxes(POINT p, const RECT& client, RECT boxes[2]);

private:
    HFONT Font() const;
    // One magnified pixel's side.
    static int Cell();

    HBITMAP frozen_ = nullptr;
    HDC frozenDc_ = nullptr;  // the frozen picture's while Paint runs
    std::vector<RECT> monitors_;
    SIZE size_{};
    platform::UniqueHbitmap dimmed_;
    bool painted_ = false;  // the first paint went straight to the window
    std::function<void()> pendingDim_;
    std::thread dimming_;
    std::atomic<bool> dimmedDone_{false};
    std::atomic<HWND> notify_{nullptr};
    UINT notifyMessage_ = 0;
    platform::UniqueHbitmap back_;
    platform::UniqueHbrush dashes_;
    mutable platform::UniqueGdi<HFONT> font_;
};
