#include "app/CaptureButtonBar.h"

#include "platform/FileSystem.h"
#include "platform/Gdi.h"
#include "platform/Window.h"
#include "resources/resource.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int kLabelHeight = 20;
constexpr int kLabelWidth = 70;
// Toolbar resources: a version word, the image width and height, the number
// of items and their command ids (0 for a separator).
constexpr WORD kToolbarResourceType = 241;
// TBSTYLE_FLAT, TBSTYLE_LIST, CCS_ADJUSTABLE and CCS_NOMOVEY with WS_CHILD;
// tooltips on, so that the buttons name their hot keys.
constexpr DWORD kBarStyle = 0x40001832 | WS_VISIBLE | TBSTYLE_TOOLTIPS;

// The command ids of a toolbar resource, or none.
std::vector<int> ToolbarCommands(int id) {
    const std::string_view bytes = platform::ResourceData(id, MAKEINTRESOURCEW(kToolbarResourceType));
    const auto* words = reinterpret_cast<const WORD*>(bytes.data());
    const size_t size = bytes.size() / sizeof(WORD);
    std::vector<int> ids;
    if (size < 4 || words[0] != 1) return ids;
    for (DWORD i = 0; i < words[3] && 4 + i < size; ++i) ids.push_back(words[4 + i]);
    return ids;
}

// The image strips drawn for each size, normal and hot.
struct ImageStrip {
    int size;
    int normal;
    int hot;
};
constexpr ImageStrip kStrips[] = {{24, IDB_TOOLBAR_SMALL, IDB_TOOLBAR_SMALL_HOT},
                                  {36, IDB_TOOLBAR_36, IDB_TOOLBAR_36_HOT},
                                  {48, IDB_TOOLBAR_LARGE, IDB_TOOLBAR_LARGE_HOT},
                                  {72, IDB_TOOLBAR_72, IDB_TOOLBAR_72_HOT},
                                  {96, IDB_TOOLBAR_96, IDB_TOOLBAR_96_HOT}};

// The strip drawn at the size, or else the smallest larger one (shrunk to
// the size), or the largest there is.
const ImageStrip& StripFor(int imageSize) {
    for (const ImageStrip& strip : kStrips)
        if (strip.size >= imageSize) return strip;
    return kStrips[std::size(kStrips) - 1];
}

// One image list from a bitmap strip: pixels with an alpha channel are
// blended onto the button face first, and black is the transparent colour.
// A strip of another size than imageSize is scaled to it.
HIMAGELIST LoadButtonImages(int resourceId, int imageSize, int count) {
    HIMAGELIST list = ::ImageList_Create(imageSize, imageSize, ILC_COLORDDB | ILC_MASK, count, 10);
    if (list == nullptr) return nullptr;
    platform::UniqueHbitmap strip(static_cast<HBITMAP>(::LoadImageW(
        ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    DIBSECTION dib{};
    if (!strip || ::GetObjectW(strip.get(), sizeof(dib), &dib) != sizeof(dib) || dib.dsBm.bmBits == nullptr)
        return list;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    if (dib.dsBm.bmBitsPixel == 32) {
        auto* pixels = static_cast<BYTE*>(dib.dsBm.bmBits);
        const BYTE faceBgr[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
        const long count32 = static_cast<long>(dib.dsBm.bmWidthBytes / 4) * std::abs(dib.dsBm.bmHeight);
        for (long i = 0; i < count32; ++i) {
            BYTE* p = pixels + i * 4;
            const int alpha = p[3];
            if (alpha == 0) continue;  // stays black: the mask colour
            for (int c = 0; c < 3; ++c) {
                const int blended = ((255 - alpha) * faceBgr[c] + alpha * p[c] + 127) / 255;
                p[c] = static_cast<BYTE>(std::clamp(blended, 0, 255));
            }
            p[3] = 0;
        }
    }
    // The list holds bitmaps of the screen's own format.
    const int stripSize = std::abs(dib.dsBm.bmHeight);
    const int width = stripSize == imageSize ? dib.dsBm.bmWidth : ::MulDiv(dib.dsBm.bmWidth, imageSize, stripSize);
    platform::WindowDc screen(nullptr);
    platform::UniqueHbitmap device(::CreateCompatibleBitmap(screen.get(), width, imageSize));
    platform::MemoryDc from(screen.get()), to(screen.get());
    if (!device || !from || !to) return list;
    {
        platform::SelectedObject selectFrom(from.get(), strip.get());
        platform::SelectedObject selectTo(to.get(), device.get());
        ::SetStretchBltMode(to.get(), HALFTONE);
        ::SetBrushOrgEx(to.get(), 0, 0, nullptr);
        ::StretchBlt(to.get(), 0, 0, width, imageSize, from.get(), 0, 0, dib.dsBm.bmWidth, stripSize, SRCCOPY);
    }
    ::ImageList_AddMasked(list, device.get(), RGB(0, 0, 0));
    return list;
}

}  // namespace

CaptureButtonBar::~CaptureButtonBar() { DestroyImageLists(); }

void CaptureButtonBar::DestroyImageLists() {
    for (HIMAGELIST* list : {&smallNormal_, &smallHot_, &largeHot_, &largeNormal_}) {
        if (*list != nullptr) ::ImageList_Destroy(*list);
        *list = nullptr;
    }
}

int CaptureButtonBar::ImageSize(IconSize size, int dpi) { return ::MulDiv(size == kLargeIcons ? 48 : 24, dpi, 96); }

bool CaptureButtonBar::Create(HWND parent) {
    HWND bar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, kBarStyle, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kBarId)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (bar == nullptr) return false;
    ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    commandIds_ = ToolbarCommands(IDR_TOOLBAR_LARGE);
    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (int id : commandIds_) {
        TBBUTTON button{};
        button.iBitmap = id == 0 ? 0 : image++;
        button.idCommand = id;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = id == 0 ? BTNS_SEP : BTNS_BUTTON;
        button.iString = -1;
        buttons.push_back(button);
    }
    std::erase(commandIds_, 0);
    if (!buttons.empty())
        ::SendMessageW(bar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    return Attach(bar);
}

void CaptureButtonBar::LoadImageLists(int dpi) {
    DestroyImageLists();
    dpi_ = dpi;
    const int count = static_cast<int>(commandIds_.size());
    const int small = ImageSize(kSmallIcons, dpi), large = ImageSize(kLargeIcons, dpi);
    smallNormal_ = LoadButtonImages(StripFor(small).normal, small, count);
    smallHot_ = LoadButtonImages(StripFor(small).hot, small, count);
    largeNormal_ = LoadButtonImages(StripFor(large).normal, large, count);
    largeHot_ = LoadButtonImages(StripFor(large).hot, large, count);
}

void CaptureButtonBar::ApplyImageLists() {
    const bool large = iconSize_ == kLargeIcons;
    ::SendMessageW(hwnd(), TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(large ? largeHot_ : smallHot_));
    ::SendMessageW(hwnd(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(large ? largeNormal_ : smallNormal_));
}

SIZE CaptureButtonBar::ButtonSize(IconSize size, LabelMode mode, int dpi) {
    // Images and the room for a label both grow with the screen's scale.
    SIZE button = size == kLargeIcons ? SIZE{56, 55} : SIZE{31, 30};
    button = SIZE{::MulDiv(button.cx, dpi, 96), ::MulDiv(button.cy, dpi, 96)};
    const int labelHeight = ::MulDiv(kLabelHeight, dpi, 96), labelWidth = ::MulDiv(kLabelWidth, dpi, 96);
    if (mode == kLabelsBelow) {
        button.cy += labelHeight;
        button.cx = std::max<LONG>(button.cx, labelWidth);
    } else if (mode == kLabelsRight) {
        button.cx += labelWidth;
    }
    return button;
}

void CaptureButtonBar::ComputeSizes(LabelMode mode) {
    const int image = ImageSize(iconSize_, dpi_);
    const SIZE button = ButtonSize(iconSize_, mode, dpi_);
    // Without labels the texts stay (the customise dialog lists them) but
    // take no room on the buttons.
    ::SendMessageW(hwnd(), TB_SETMAXTEXTROWS, mode == kNoLabels ? 0 : 1, 0);
    ::SendMessageW(hwnd(), TB_SETBITMAPSIZE, 0, MAKELPARAM(image, image));
    ::SendMessageW(hwnd(), TB_SETBUTTONSIZE, 0, MAKELPARAM(button.cx, button.cy));
    const SIZE extent = ButtonsExtent();
    ::SetWindowPos(hwnd(), nullptr, 0, 0, extent.cx, extent.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE CaptureButtonBar::ButtonsExtent() const {
    SIZE extent{0, 0};
    const int count = static_cast<int>(::SendMessageW(hwnd(), TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        RECT item{};
        if (!::SendMessageW(hwnd(), TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)))
            continue;
        extent.cx += item.right - item.left;
        extent.cy = std::max<LONG>(extent.cy, item.bottom - item.top);
    }
    return extent;
}

void CaptureButtonBar::FitParent() const {
    HWND parent = ::GetParent(hwnd());
    if (parent == nullptr) return;
    const SIZE extent = ButtonsExtent();
    RECT frame{0, 0, extent.cx, extent.cy};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(parent, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(parent, GWL_EXSTYLE)));
    ::SetWindowPos(parent, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CaptureButtonBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_STYLECHANGED:
            // The window around the bar holds exactly its buttons.
            FitParent();
            break;
        case WM_KEYUP:
            // Escape closes the toolbar wherever in it the focus is.
            if (wParam == VK_ESCAPE) ::SendMessageW(::GetParent(hwnd()), message, wParam, lParam);
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}
