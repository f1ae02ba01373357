#include "uikit/PathEditCtrl.h"

#include "platform/FileSystem.h"
#include "platform/Window.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

namespace {

constexpr UINT_PTR kButtonTool = 1;
constexpr UINT_PTR kTextTool = 2;
// The file-name buffer the file dialog starts with; a larger selection of
// several files enlarges it while the dialog runs.
constexpr DWORD kInitialFileBuffer = 4096;

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length == 0 || length >= MAX_PATH ? path : std::wstring(full, length);
}

// "|"-separated filter text as the file dialog wants it: "\0"-separated,
// ending with two.
std::wstring DialogFilter(const std::wstring& text) {
    std::wstring filter = text;
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.append(2, L'\0');
    return filter;
}

}  // namespace

namespace pathfield {

int AutomaticButtonWidth(int clientHeight) { return clientHeight * 8 / 10; }

bool IsValidMode(DWORD mode) {
    const DWORD browse = mode & (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile | PathEditCtrl::kFolder);
    if (browse == 0) return false;
    if ((mode & PathEditCtrl::kFolder) && (mode & (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile))) return false;
    return (mode & (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile)) !=
           (PathEditCtrl::kOpenFile | PathEditCtrl::kSaveFile);
}

std::wstring FolderOf(const std::wstring& path) {
    wchar_t drive[_MAX_DRIVE] = {}, directory[_MAX_DIR] = {};
    if (_wsplitpath_s(path.c_str(), drive, _MAX_DRIVE, directory, _MAX_DIR, nullptr, 0, nullptr, 0) != 0) return {};
    return std::wstring(drive) + directory;
}

std::wstring JoinPaths(const std::vector<std::wstring>& paths, const std::wstring& separator) {
    if (paths.empty()) return {};
    std::wstring text = paths.front();
    const std::wstring folder = FolderOf(paths.front());
    for (size_t i = 1; i < paths.size(); ++i) {
        text += separator;
        const std::wstring& path = paths[i];
        const bool sameFolder = !folder.empty() && path.size() > folder.size() &&
                                path.compare(0, folder.size(), folder) == 0 &&
                                path.find_first_of(L"\\/", folder.size()) == std::wstring::npos;
        text += sameFolder ? path.substr(folder.size()) : path;
    }
    return text;
}

bool IsShortcutFile(const std::wstring& path) {
    if (path.size() < 4) return false;
    std::wstring end = path.substr(path.size() - 4);
    for (wchar_t& c : end) c = static_cast<wchar_t>(std::towlower(c));
    return end == L".lnk" || end == L".pif";
}

std::wstring ResolveShortcut(const std::wstring& path) {
    // A COM initialisation of its own: the field may live on any thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring result = path;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t target[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
                link->GetPath(target, MAX_PATH, nullptr, 0) == S_OK && target[0] != L'\0')
                result = target;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}

std::vector<std::wstring> SplitPaths(const std::wstring& text, const std::wstring& separator, DWORD mode,
                                     const std::function<std::wstring(const std::wstring&)>& resolve) {
    std::vector<std::wstring> entries;
    const std::wstring split = Trimmed(separator).empty() ? separator : Trimmed(separator);
    for (size_t start = 0;;) {
        const size_t at = split.empty() ? std::wstring::npos : text.find(split, start);
        entries.push_back(Trimmed(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start)));
        if (at == std::wstring::npos) break;
        start = at + split.size();
    }
    if (entries.size() == 1 && entries.front().empty()) return {};

    std::vector<std::wstring> paths;
    std::wstring folder;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::wstring path = entries[i];
        if (i > 0) {
            if (path.empty()) {
                path = folder;
            } else if (!(path.size() > 1 && path[1] == L':') && path[0] != L'\\') {
                path = folder + path;
            }
        }
        if (path.empty()) continue;
        path = FullPath(path);
        if (i == 0) folder = FolderOf(path);
        if (mode & PathEditCtrl::kFolder) {
            if (mode & PathEditCtrl::kTrailingBackslash) {
                if (path.back() != L'\\') path += L'\\';
            } else if (path.size() > 3 && path.back() == L'\\') {
                path.pop_back();
            }
        } else if ((mode & PathEditCtrl::kOpenFile) && !(mode & PathEditCtrl::kKeepShortcuts) &&
                   IsShortcutFile(path) && resolve) {
            path = resolve(path);
        }
        paths.push_back(path);
    }
    return paths;
}

}  // namespace pathfield

// The file dialog's settings between browses.
struct PathEditCtrl::FileDialogState {
    bool save = false;
    DWORD flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    std::wstring filter;
    // While the dialog runs: its record, whose buffer grows with the
    // selection.
    OPENFILENAMEW* running = nullptr;
    std::wstring buffer;
    std::wstring okLabel;
};

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

int PathEditCtrl::ButtonState() const {
    int state = kNormal;
    if (hwnd() != nullptr && !::IsWindowEnabled(hwnd())) {
        state = kDisabled;
    } else if (pressed_) {
        state = kPressed;
    }
    const bool focused = hwnd() != nullptr && ::GetFocus() == hwnd();
    if ((mode_ & kFlatButton) && !focused && !hot_ && !capturing_) state |= kFlat;
    return state;
}

void PathEditCtrl::RecalculateFrame() {
    if (hwnd() == nullptr) return;
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateTools();
}

// window is the window's rectangle and client what the edit field left as
// its client area, both in the parent's coordinates; the button's strip is
// taken from the client area.
void PathEditCtrl::CalculateFrame(RECT& client, const RECT& window) {
    const int height = std::max<LONG>(client.bottom - client.top, 0);
    const int available = std::max<LONG>(client.right - client.left, 0);
    const int width = std::min(buttonWidth_ < 0 ? pathfield::AutomaticButtonWidth(height) : buttonWidth_, available);
    RECT button = client;
    if (mode_ & kButtonLeft) {
        button.right = client.left + width;
        client.left += width;
    } else {
        button.left = client.right - width;
        client.right -= width;
    }
    ::OffsetRect(&button, -window.left, -window.top);
    buttonRect_ = button;
}

bool PathEditCtrl::PointOnButton(POINT screen) const {
    RECT window{};
    ::GetWindowRect(hwnd(), &window);
    RECT button = buttonRect_;
    ::OffsetRect(&button, window.left, window.top);
    return ::PtInRect(&button, screen) != FALSE;
}

void PathEditCtrl::PaintButton() {
    if (hwnd() == nullptr) return;
    if (HDC dc = ::GetWindowDC(hwnd())) {
        DrawButton(dc);
        ::ReleaseDC(hwnd(), dc);
    }
}

namespace {

// Three dots side by side, centred, a little above the middle.
void DrawDots(HDC dc, int w, int h, COLORREF colour, int shift) {
    const int spacing = w / 4;
    const int size = w / 10;
    const int cx = w / 2 + shift;
    const int cy = h / 2 - w / 20 + shift;
    HBRUSH brush = ::CreateSolidBrush(colour);
    HPEN pen = ::CreatePen(PS_SOLID, 1, colour);
    const HGDIOBJ oldBrush = ::SelectObject(dc, brush);
    const HGDIOBJ oldPen = ::SelectObject(dc, pen);
    for (int i = -1; i <= 1; ++i) {
        const int x = cx + i * spacing;
        if (size <= 1) {
            ::SetPixel(dc, x, cy, colour);
        } else {
            ::Ellipse(dc, x - size / 2, cy - size / 2, x - size / 2 + size, cy - size / 2 + size);
        }
    }
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(pen);
    ::DeleteObject(brush);
}

}  // namespace

void PathEditCtrl::DrawButton(HDC windowDc) {
    const int w = buttonRect_.right - buttonRect_.left;
    const int h = buttonRect_.bottom - buttonRect_.top;
    if (w < 3 || h < 3) return;
    const int look = ButtonState();
    const bool flat = (look & kFlat) != 0;
    const int state = look & ~kFlat;

    HDC dc = ::CreateCompatibleDC(windowDc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(windowDc, w, h);
    if (dc == nullptr || bitmap == nullptr) {
        if (bitmap) ::DeleteObject(bitmap);
        if (dc) ::DeleteDC(dc);
        return;
    }
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    // The face's pattern lines up with the dialog's as if drawn in place.
    ::SetBrushOrgEx(dc, -(buttonRect_.left % 8), -(buttonRect_.top % 8), nullptr);
    ::FillRect(dc, &all, ::GetSysColorBrush(COLOR_BTNFACE));
    if (state == kPressed) {
        ::FrameRect(dc, &all, ::GetSysColorBrush(COLOR_BTNSHADOW));
        DrawDots(dc, w, h, ::GetSysColor(COLOR_BTNTEXT), 1);
    } else {
        if (flat) {
            // One pixel wider towards the field, so that no edge shows there.
            RECT frame = all;
            if (mode_ & kButtonLeft) {
                frame.right += 1;
            } else {
                frame.left -= 1;
            }
            ::FrameRect(dc, &frame, ::GetSysColorBrush(COLOR_WINDOW));
        } else {
            ::DrawEdge(dc, &all, EDGE_RAISED, BF_RECT);
        }
        if (state == kDisabled) {
            DrawDots(dc, w, h, ::GetSysColor(COLOR_BTNHIGHLIGHT), 1);
            DrawDots(dc, w, h, ::GetSysColor(COLOR_BTNSHADOW), 0);
        } else {
            COLORREF colour = ::GetSysColor(COLOR_BTNTEXT);
            if (flat && (mode_ & kGreyDots)) {
                const int g = (GetRValue(colour) * 30 + GetGValue(colour) * 59 + GetBValue(colour) * 11) / 100;
                colour = RGB(g, g, g);
            }
            DrawDots(dc, w, h, colour, 0);
        }
    }
    ::BitBlt(windowDc, buttonRect_.left, buttonRect_.top, w, h, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

void PathEditCtrl::SetPressed(bool pressed) {
    if (pressed_ == pressed) return;
    pressed_ = pressed;
    PaintButton();
}

// The flat look follows the pointer: tracked while it is over the field's
// client area or its frame, dropped once it has left both.
void PathEditCtrl::TrackHover(bool nonClient) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | (nonClient ? TME_NONCLIENT : 0u), hwnd(), 0};
    ::TrackMouseEvent(&track);
    if (!hot_) {
        hot_ = true;
        PaintButton();
    }
}

void PathEditCtrl::EndHover() {
    POINT pointer{};
    RECT window{};
    ::GetCursorPos(&pointer);
    ::GetWindowRect(hwnd(), &window);
    if (::PtInRect(&window, pointer) || !hot_) return;
    hot_ = false;
    PaintButton();
}

void PathEditCtrl::UpdateTools() {
    if (tooltip_ == nullptr || hwnd() == nullptr) return;
    RECT window{}, client{};
    ::GetWindowRect(hwnd(), &window);
    ::GetClientRect(hwnd(), &client);
    POINT origin{0, 0};
    ::ClientToScreen(hwnd(), &origin);
    // The tooltip works in client coordinates; the button lies outside the
    // client area.
    RECT button = buttonRect_;
    ::OffsetRect(&button, window.left - origin.x, window.top - origin.y);

    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = hwnd();
    for (const UINT_PTR id : {kButtonTool, kTextTool}) {
        tool.uId = id;
        ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // The tooltip keeps its own copy of a text.
    std::wstring browse = ExpandText(L"Browse");
    if (mode_ & kButtonTip) {
        tool.uId = kButtonTool;
        tool.rect = button;
        tool.lpszText = browse.data();
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    if (mode_ & kTextTip) {
        tool.uId = kTextTool;
        tool.rect = client;
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void PathEditCtrl::RelayToTooltip(UINT message, LPARAM position, bool nonClient) {
    if (tooltip_ == nullptr) return;
    POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (nonClient) {
        ::ScreenToClient(hwnd(), &point);
        message = message - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
    }
    MSG relayed{hwnd(), message, 0, MAKELPARAM(point.x, point.y), static_cast<DWORD>(::GetMessageTime()), {}};
    ::GetCursorPos(&relayed.pt);
    ::SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

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

void PathEditCtrl::Browse() {
    if (hwnd() == nullptr || Notify(kBeforeBrowse, nullptr)) return;
    if (mode_ & kFolder) {
        BrowseForFolder();
    } else if (fileDialog_) {
        BrowseForFile();
    }
    if (::IsWindow(hwnd())) ::SetFocus(hwnd());
}

int CALLBACK PathEditCtrl::FolderPickerCallback(HWND picker, UINT message, LPARAM, LPARAM data) {
    if (message != BFFM_INITIALIZED) return 0;
    auto* self = reinterpret_cast<PathEditCtrl*>(data);
    std::optional<std::wstring> path = self->FirstPath();
    // A network path leaves the picker where it starts.
    if (!path || path->compare(0, 2, L"\\\\") == 0) return 0;
    if (path->size() > 3 && path->back() == L'\\') path->pop_back();
    ::SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path->c_str()));
    return 0;
}

void PathEditCtrl::BrowseForFolder() {
    // The picker's new look needs OLE on this thread.
    const HRESULT ole = ::OleInitialize(nullptr);
    wchar_t display[MAX_PATH] = {};
    const std::wstring title = ExpandText(L"Select folder");
    BROWSEINFOW info{};
    info.hwndOwner = hwnd();
    info.pszDisplayName = display;
    info.lpszTitle = title.c_str();
    info.ulFlags = folderFlags_;
    info.lpfn = FolderPickerCallback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen != nullptr) {
        wchar_t path[MAX_PATH] = {};
        const bool named = ::SHGetPathFromIDListW(chosen, path) != FALSE;
        ::CoTaskMemFree(chosen);
        std::wstring text = path;
        if (named && (mode_ & kTrailingBackslash) && !text.empty() && text.back() != L'\\') text += L'\\';
        if (!Notify(kAfterBrowse, named ? text.c_str() : nullptr) && named) ::SetWindowTextW(hwnd(), text.c_str());
    } else {
        Notify(kAfterBrowse, nullptr);
    }
    if (SUCCEEDED(ole)) ::OleUninitialize();
}

UINT_PTR CALLBACK PathEditCtrl::FileDialogHook(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* record = reinterpret_cast<OPENFILENAMEW*>(lParam);
        ::SetWindowLongPtrW(child, GWLP_USERDATA, static_cast<LONG_PTR>(record->lCustData));
        return 0;
    }
    if (message != WM_NOTIFY) return 0;
    auto* state = reinterpret_cast<FileDialogState*>(::GetWindowLongPtrW(child, GWLP_USERDATA));
    const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    HWND dialog = ::GetParent(child);
    if (state == nullptr) return 0;
    if (notify->hdr.code == CDN_INITDONE && !state->okLabel.empty()) {
        ::SendMessageW(dialog, CDM_SETCONTROLTEXT, IDOK, reinterpret_cast<LPARAM>(state->okLabel.c_str()));
    } else if (notify->hdr.code == CDN_SELCHANGE && state->running != nullptr &&
               (state->running->Flags & OFN_ALLOWMULTISELECT)) {
        // Room for the folder and every selected name, each with its end.
        const LRESULT folder = ::SendMessageW(dialog, CDM_GETFOLDERPATH, 0, 0);
        const LRESULT names = ::SendMessageW(dialog, CDM_GETSPEC, 0, 0);
        const size_t needed = static_cast<size_t>(std::max<LRESULT>(folder, 0) + std::max<LRESULT>(names, 0)) + 2;
        if (needed > state->buffer.size()) {
            state->buffer.assign(needed + MAX_PATH, L'\0');
            state->running->lpstrFile = state->buffer.data();
            state->running->nMaxFile = static_cast<DWORD>(state->buffer.size());
        }
    }
    return 0;
}

void PathEditCtrl::BrowseForFile() {
    FileDialogState& state = *fileDialog_;
    state.buffer.assign(kInitialFileBuffer, L'\0');
    state.okLabel = ExpandText(state.save ? L"Save" : L"Select");

    std::wstring folder;
    if (std::optional<std::wstring> first = FirstPath()) {
        if (platform::DirectoryExists(*first)) {
            folder = *first;
        } else {
            folder = pathfield::FolderOf(*first);
            const std::wstring name = first->substr(folder.size());
            name.copy(state.buffer.data(), std::min(name.size(), state.buffer.size() - 1));
        }
    }
    OPENFILENAMEW record{};
    record.lStructSize = sizeof(record);
    record.hwndOwner = hwnd();
    record.lpstrFilter = state.filter.c_str();
    record.nFilterIndex = 1;
    record.lpstrFile = state.buffer.data();
    record.nMaxFile = static_cast<DWORD>(state.buffer.size());
    record.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    record.lpstrTitle = title_.c_str();
    record.Flags = state.flags;
    record.lCustData = reinterpret_cast<LPARAM>(&state);
    record.lpfnHook = FileDialogHook;
    state.running = &record;
    const BOOL chosen = state.save ? ::GetSaveFileNameW(&record) : ::GetOpenFileNameW(&record);
    state.running = nullptr;
    if (!chosen) {
        Notify(kAfterBrowse, nullptr);
        return;
    }
    // One file: its full path. Several: the folder, then each name, every
    // part ended by a zero.
    std::vector<std::wstring> parts;
    for (const wchar_t* part = record.lpstrFile; *part != L'\0'; part += wcslen(part) + 1) parts.emplace_back(part);
    std::vector<std::wstring> files;
    if (parts.size() == 1) {
        files = parts;
    } else {
        std::wstring base = parts.front();
        if (!base.empty() && base.back() != L'\\') base += L'\\';
        for (size_t i = 1; i < parts.size(); ++i) files.push_back(base + parts[i]);
    }
    std::wstring text;
    for (size_t i = 0; i < files.size(); ++i) {
        text += i == 0 ? files[i] : Separator() + files[i].substr(pathfield::FolderOf(files[i]).size());
    }
    if (!Notify(kAfterBrowse, text.c_str())) ::SetWindowTextW(hwnd(), text.c_str());
}

void PathEditCtrl::TakeDrop(HDROP drop) {
    if (capturing_) {
        capturing_ = false;
        ::ReleaseCapture();
    }
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    const UINT taken = (mode_ & kFolder) || !(mode_ & kMultipleFiles) ? std::min(count, 1u) : count;
    std::vector<std::wstring> paths;
    for (UINT i = 0; i < taken; ++i) {
        wchar_t path[MAX_PATH] = {};
        if (::DragQueryFileW(drop, i, path, MAX_PATH) == 0) continue;
        std::wstring taken = path;
        if ((mode_ & kOpenFile) && !(mode_ & kKeepShortcuts) && pathfield::IsShortcutFile(taken))
            taken = pathfield::ResolveShortcut(taken);
        paths.push_back(taken);
    }
    ::DragFinish(drop);
    const std::wstring text = pathfield::JoinPaths(paths, Separator());
    if (!Notify(kAfterDrop, text.c_str())) ::SetWindowTextW(hwnd(), text.c_str());
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
