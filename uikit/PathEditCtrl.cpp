// The path field's lifetime, mode, notices to the parent, the paths of its
// text and its message switch. The button in the frame is drawn and tracked
// in PathEditCtrlButton.cpp; the pickers and drops are in
// PathEditCtrlBrowse.cpp.
#include "uikit/PathEditCtrl.h"

#include "platform/Window.h"
#include "uikit/PathFieldHelpers.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

namespace {

// "|"-separated filter text as the file dialog wants it: "\0"-separated,
// ending with two.
std::wstring DialogFilter(const std::wstring& text) {
    std::wstring filter = text;
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.append(2, L'\0');
    return filter;
}

}  // namespace

PathEditCtrl::PathEditCtrl() = default;

PathEditCtrl::~PathEditCtrl() {
    if (tooltip_ != nullptr) ::DestroyWindow(tooltip_);
}

bool PathEditCtrl::AttachField(HWND edit) {
    if (!Attach(edit)) return false;
    ::DragAcceptFiles(edit, TRUE);
    lastText_ = platform::WindowText(edit);
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, edit, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    RecalculateFrame();
    return true;
}

bool PathEditCtrl::SetMode(DWORD mode) {
    if (!pathfield::IsValidMode(mode)) return false;
    const DWORD previous = mode_;
    mode_ = mode;
    if (mode & kFolder) {
        fileDialog_.reset();
        if (folderFlags_ == 0) folderFlags_ = BIF_RETURNONLYFSDIRS;
    } else {
        folderFlags_ = 0;
        if (!fileDialog_) fileDialog_ = std::make_unique<FileDialogState>();
        FileDialogState& dialog = *fileDialog_;
        dialog.save = (mode & kSaveFile) != 0;
        dialog.flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
        if (mode & kOpenFile) dialog.flags |= OFN_FILEMUSTEXIST;
        if (mode & kSaveFile) dialog.flags |= OFN_OVERWRITEPROMPT;
        if (mode & kMultipleFiles) dialog.flags |= OFN_ALLOWMULTISELECT;
        if (mode & kKeepShortcuts) dialog.flags |= OFN_NODEREFERENCELINKS;
        dialog.filter = DialogFilter(ExpandText(L"All Files (*.*)|*.*||"));
        title_ = ExpandText(L"Browse for File");
    }
    if (hwnd() != nullptr) {
        if ((previous ^ mode) & kButtonLeft) RecalculateFrame();
        if ((previous ^ mode) & (kFlatButton | kGreyDots)) PaintButton();
        UpdateTools();
    }
    return true;
}

DWORD PathEditCtrl::GetMode() const {
    DWORD mode = mode_;
    if (fileDialog_) {
        mode &= ~(kMultipleFiles | kKeepShortcuts);
        if (fileDialog_->flags & OFN_ALLOWMULTISELECT) mode |= kMultipleFiles;
        if (fileDialog_->flags & OFN_NODEREFERENCELINKS) mode |= kKeepShortcuts;
    }
    return mode;
}

int PathEditCtrl::SetButtonWidth(int width) {
    const int previous = buttonWidth_;
    buttonWidth_ = width < 0 ? -1 : width;
    RecalculateFrame();
    return previous;
}

void PathEditCtrl::AddFolderPickerFlags(UINT flags) { folderFlags_ |= flags; }

bool PathEditCtrl::Notify(UINT code, const wchar_t* text) {
    HWND parent = ::GetParent(hwnd());
    if (parent == nullptr) return false;
    Notification record{};
    record.header.hwndFrom = hwnd();
    record.header.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(hwnd()));
    record.header.code = code;
    record.control = this;
    record.text = text;
    return ::SendMessageW(parent, WM_NOTIFY, record.header.idFrom, reinterpret_cast<LPARAM>(&record)) != 0;
}

std::wstring PathEditCtrl::Separator() const { return ExpandText(L";") + L" "; }

std::optional<std::wstring> PathEditCtrl::FirstPath() {
    paths_ = pathfield::SplitPaths(hwnd() ? platform::WindowText(hwnd()) : std::wstring(), Separator(), mode_);
    nextPath_ = 0;
    return NextPath();
}

std::optional<std::wstring> PathEditCtrl::NextPath() {
    if (nextPath_ >= paths_.size()) return std::nullopt;
    return paths_[nextPath_++];
}

LRESULT PathEditCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCALCSIZE: {
            RECT window{};
            RECT* proposed = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                    : reinterpret_cast<RECT*>(lParam);
            window = *proposed;
            const LRESULT result = Default(message, wParam, lParam);
            CalculateFrame(*proposed, window);
            return result;
        }
        case WM_NCPAINT: {
            const LRESULT result = Default(message, wParam, lParam);
            PaintButton();
            return result;
        }
        case WM_NCHITTEST: {
            const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (PointOnButton(point)) return HTBORDER;
            return Default(message, wParam, lParam);
        }
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK: {
            const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            RelayToTooltip(message, lParam, true);
            if (!PointOnButton(point)) break;
            ::SetFocus(hwnd());
            ::SetCapture(hwnd());
            capturing_ = true;
            SetPressed(true);
            return 0;
        }
        case WM_NCMOUSEMOVE:
            RelayToTooltip(message, lParam, true);
            if (mode_ & kFlatButton) TrackHover(true);
            break;
        case WM_MOUSEMOVE: {
            RelayToTooltip(message, lParam, false);
            if (capturing_) {
                POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                ::ClientToScreen(hwnd(), &point);
                SetPressed(PointOnButton(point));
                return 0;
            }
            if (mode_ & kFlatButton) TrackHover(false);
            break;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            RelayToTooltip(message, lParam, false);
            if (message == WM_LBUTTONUP && capturing_) {
                POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                ::ClientToScreen(hwnd(), &point);
                capturing_ = false;
                ::ReleaseCapture();
                const bool over = PointOnButton(point);
                SetPressed(false);
                EndHover();
                if (over) Browse();
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            if (capturing_ && reinterpret_cast<HWND>(lParam) != hwnd()) {
                capturing_ = false;
                SetPressed(false);
            }
            break;
        case WM_MOUSELEAVE:
        case WM_NCMOUSELEAVE:
            EndHover();
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE: {
            const LRESULT result = Default(message, wParam, lParam);
            PaintButton();
            return result;
        }
        case WM_KEYDOWN:
            if ((wParam == VK_OEM_PERIOD || wParam == VK_DECIMAL) && ::GetKeyState(VK_CONTROL) < 0) {
                Browse();
                return 0;
            }
            break;
        case WM_DROPFILES:
            TakeDrop(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_SETTEXT: {
            const LRESULT result = Default(message, wParam, lParam);
            lastText_ = platform::WindowText(hwnd());
            return result;
        }
        case WM_SIZE: {
            const LRESULT result = Default(message, wParam, lParam);
            UpdateTools();
            return result;
        }
        case WM_NOTIFY: {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            if (tooltip_ != nullptr && info->hdr.hwndFrom == tooltip_ && info->hdr.code == TTN_GETDISPINFOW) {
                lastText_ = platform::WindowText(hwnd());
                info->lpszText = lastText_.data();
                return 0;
            }
            break;
        }
        case WM_DESTROY:
            if (tooltip_ != nullptr) {
                ::DestroyWindow(tooltip_);
                tooltip_ = nullptr;
            }
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}
