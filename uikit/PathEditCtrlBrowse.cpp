// The path field's ways in: the folder picker and the file dialog seeded with
// the field's first path, and files dropped from the shell.
#include "uikit/PathEditCtrl.h"

#include "platform/FileSystem.h"
#include "uikit/PathFieldHelpers.h"
#include "uikit/TextCatalog.h"

#include <commdlg.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

namespace {

// The file-name buffer the file dialog starts with; a larger selection of
// several files enlarges it while the dialog runs.
constexpr DWORD kInitialFileBuffer = 4096;

}  // namespace

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
    const std::vector<std::wstring> files =
        pathfield::ChosenFiles(std::wstring_view(record.lpstrFile, record.nMaxFile),
                               (record.Flags & OFN_ALLOWMULTISELECT) != 0, record.nFileOffset);
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
