#include "uikit/XmlDialog.h"

#include "platform/FileSystem.h"
#include "platform/Window.h"
#include "platform/XmlDom.h"
#include "uikit/HookedHotKeyCtrl.h"
#include "uikit/HotKey.h"
#include "uikit/PathEditCtrl.h"
#include "uikit/TipsViewer.h"
#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <map>
#include <thread>

namespace {

constexpr int kMainIconId = 128;
constexpr int kHandCursorId = 106;

INT_PTR CALLBACK ProbeProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::wstring DescriptionPath(const std::wstring& fileName) {
    if (fileName.find_first_of(L"\\/:") != std::wstring::npos) return fileName;
    return platform::GetProgramFolder() + fileName;
}

// The pointer over a link: the help viewer's hand where Windows has it, the
// system's otherwise.
HCURSOR HandCursor() {
    wchar_t windows[MAX_PATH] = {};
    if (::GetWindowsDirectoryW(windows, MAX_PATH) != 0) {
        const std::wstring viewer = std::wstring(windows) + L"\\winhlp32.exe";
        if (HMODULE module = ::LoadLibraryExW(viewer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            HCURSOR found = ::LoadCursorW(module, MAKEINTRESOURCEW(kHandCursorId));
            HCURSOR copy = found ? static_cast<HCURSOR>(::CopyImage(found, IMAGE_CURSOR, 0, 0, 0)) : nullptr;
            ::FreeLibrary(module);
            if (copy != nullptr) return copy;
        }
    }
    return ::LoadCursorW(nullptr, IDC_HAND);
}

}  // namespace

// The GUI font at the dialog's sizes, and the measuring of texts and
// pictures with it.
class XmlDialog::Fonts : public LayoutMeasurer {
public:
    Fonts() {
        HGDIOBJ gui = ::GetStockObject(DEFAULT_GUI_FONT);
        if (gui == nullptr) gui = ::GetStockObject(SYSTEM_FONT);
        const int dpi = platform::ScreenDpi();
        if (gui != nullptr && ::GetObjectW(gui, sizeof(base_), &base_) != 0 && base_.lfHeight != 0 && dpi > 0) {
            pointSize_ = std::abs(base_.lfHeight) * 72 / dpi;
        } else {
            base_ = LOGFONTW{};
            base_.lfHeight = -MulDiv(10, dpi > 0 ? dpi : 96, 72);
            base_.lfWeight = FW_NORMAL;
            std::wcscpy(base_.lfFaceName, L"MS Shell Dlg");
            pointSize_ = 10;
        }
        dc_ = ::CreateCompatibleDC(nullptr);
    }
    ~Fonts() override {
        for (auto& [key, font] : fonts_) ::DeleteObject(font);
        if (dc_) ::DeleteDC(dc_);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    int PointSize() const { return pointSize_; }

    // The font for "size" (1 normal, 2 one and a half times, 3 twice), a
    // fifth larger for buttons, underlined for links.
    HFONT Font(int size, bool larger, bool underline = false) {
        const int key = size * 4 + (larger ? 2 : 0) + (underline ? 1 : 0);
        if (const auto found = fonts_.find(key); found != fonts_.end()) return found->second;
        LOGFONTW font = base_;
        font.lfHeight = (larger ? font.lfHeight * 12 / 10 : font.lfHeight) * (size + 1) / 2;
        font.lfUnderline = underline ? TRUE : FALSE;
        HFONT made = ::CreateFontIndirectW(&font);
        fonts_[key] = made;
        return made;
    }

    SIZE Text(const std::wstring& text, int maxWidth, bool wordWrap, int fontSize, bool larger) override {
        if (dc_ == nullptr) return SIZE{};
        const HGDIOBJ previous = ::SelectObject(dc_, Font(fontSize, larger));
        RECT r{0, 0, std::max(maxWidth, 1), 0};
        const std::wstring measured = text.empty() ? L" " : text;
        ::DrawTextW(dc_, measured.c_str(), static_cast<int>(measured.size()), &r,
                    DT_CALCRECT | DT_EXPANDTABS | (wordWrap ? DT_WORDBREAK : 0));
        ::SelectObject(dc_, previous);
        return SIZE{text.empty() ? 0 : r.right - r.left, r.bottom - r.top};
    }

    SIZE Picture(const std::wstring& path) override {
        if (path.empty()) return SIZE{};
        HBITMAP picture =
            static_cast<HBITMAP>(::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        if (picture == nullptr) return SIZE{};
        BITMAP info{};
        ::GetObjectW(picture, sizeof(info), &info);
        ::DeleteObject(picture);
        return SIZE{info.bmWidth, std::abs(info.bmHeight)};
    }

    SIZE Screen() override { return SIZE{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}; }

private:
    LOGFONTW base_{};
    int pointSize_ = 10;
    HDC dc_ = nullptr;
    std::map<int, HFONT> fonts_;
};

XmlDialog::XmlDialog(HWND parent, std::wstring dialogId, std::wstring fileName)
    : parent_(parent), dialogId_(std::move(dialogId)), fileName_(std::move(fileName)),
      fonts_(std::make_unique<Fonts>()) {
    LoadDescription();
}

XmlDialog::~XmlDialog() {
    for (HBITMAP bitmap : bitmaps_) ::DeleteObject(bitmap);
    if (whiteBrush_) ::DeleteObject(whiteBrush_);
    if (handCursor_) ::DestroyCursor(handCursor_);
}

void XmlDialog::LoadDescription() {
    pugi::xml_document document;
    // A missing or broken description leaves the dialog empty.
    if (!platform::LoadXmlFile(DescriptionPath(fileName_), document)) return;
    ReadDialogDescription(document, dialogId_, description_,
                          [](const std::wstring& key) { return ExpandText(key, true); });
}

std::vector<WORD> XmlDialog::BuildTemplate() {
    DialogHeader header;
    header.style = description_.splash ? kSplashDialogStyle : kNormalDialogStyle;
    header.title = description_.title;
    header.pointSize = static_cast<WORD>(std::clamp(fonts_->PointSize(), 1, 72));

    // What 1024 x 1024 DLU measure on this dialog, from the header alone.
    DluScale scale;
    const std::vector<WORD> probe = BuildDialogTemplate(header, {});
    if (HWND window = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                                   reinterpret_cast<LPCDLGTEMPLATEW>(probe.data()), nullptr,
                                                   ProbeProc, 0)) {
        RECT r{0, 0, 1024, 1024};
        ::MapDialogRect(window, &r);
        ::DestroyWindow(window);
        if (r.right > 0 && r.bottom > 0) scale = DluScale{r.right, r.bottom};
    }

    MeasureTree(description_.root, *fonts_, scale, true);
    const SIZE size = LayoutTree(description_.root);
    header.cx = ClampToShort(size.cx);
    header.cy = ClampToShort(size.cy);
    ids_ = ControlIds();
    entries_ = EmitControls(description_, ids_);
    return BuildDialogTemplate(header, entries_);
}

INT_PTR XmlDialog::DoModal() { return RunModal(parent_, BuildTemplate()); }

HWND XmlDialog::CreateModelessDialog() { return CreateModeless(parent_, BuildTemplate()); }

HWND XmlDialog::ControlByName(const std::wstring& name) const {
    for (size_t i = 0; i < entries_.size() && i < windows_.size(); ++i)
        if (entries_[i].item->name == name) return windows_[i];
    return nullptr;
}

LayoutControl* XmlDialog::FindByName(const std::wstring& name) const {
    for (const TemplateEntry& entry : entries_)
        if (entry.item->name == name) return entry.item;
    return nullptr;
}

PathEditCtrl* XmlDialog::PathFieldByName(const std::wstring& name) const {
    HWND window = ControlByName(name);
    for (const auto& field : pathFields_)
        if (window != nullptr && field->hwnd() == window) return field.get();
    return nullptr;
}

HookedHotKeyCtrl* XmlDialog::HotKeyFieldByName(const std::wstring& name) const {
    HWND window = ControlByName(name);
    for (const auto& field : hotKeyFields_)
        if (window != nullptr && field->hwnd() == window) return field.get();
    return nullptr;
}

LayoutControl* XmlDialog::ItemOf(HWND control) const {
    for (size_t i = 0; i < windows_.size() && i < entries_.size(); ++i)
        if (windows_[i] == control) return entries_[i].item;
    return nullptr;
}

void XmlDialog::ShowPathMessage(HWND control, const std::wstring& path) {
    RECT client{};
    ::GetClientRect(control, &client);
    wchar_t shown[MAX_PATH] = {};
    wcsncpy_s(shown, path.c_str(), _TRUNCATE);
    if (HDC dc = ::GetDC(control)) {
        const HGDIOBJ previous =
            ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
        ::PathCompactPathW(dc, shown, static_cast<UINT>(std::max<LONG>(client.right - 5, 0)));
        ::SelectObject(dc, previous);
        ::ReleaseDC(control, dc);
    }
    ::SetWindowTextW(control, shown);
}

void XmlDialog::AttachControls() {
    windows_.assign(entries_.size(), nullptr);
    // The platform creates the controls in template order.
    HWND child = ::GetWindow(hwnd(), GW_CHILD);
    for (size_t i = 0; i < entries_.size() && child != nullptr; ++i, child = ::GetWindow(child, GW_HWNDNEXT))
        windows_[i] = child;
    for (size_t i = 0; i < entries_.size(); ++i) {
        HWND window = windows_[i];
        LayoutControl& item = *entries_[i].item;
        if (window == nullptr) continue;
        switch (item.kind) {
            case ControlKind::Static:
            case ControlKind::PathMessage:
                if (item.fontSize != 1) ::SendMessageW(window, WM_SETFONT, WPARAM(fonts_->Font(item.fontSize, false)), 0);
                if (item.kind == ControlKind::PathMessage) ShowPathMessage(window, item.text);
                break;
            case ControlKind::Hyperlink:
                ::SendMessageW(window, WM_SETFONT, WPARAM(fonts_->Font(1, false, true)), 0);
                if (handCursor_ == nullptr) handCursor_ = HandCursor();
                break;
            case ControlKind::CheckBox:
                if (item.checked) ::SendMessageW(window, BM_SETCHECK, BST_CHECKED, 0);
                break;
            case ControlKind::HotKey: {
                auto field = std::make_unique<HookedHotKeyCtrl>();
                if (!field->Attach(window)) break;
                if (const std::optional<HotKey> key = ParseHotKeyText(item.text))
                    field->SetHotKey(key->virtualKey, RegistrationToFieldModifiers(key->modifiers));
                hotKeyFields_.push_back(std::move(field));
                break;
            }
            case ControlKind::Path: {
                auto field = std::make_unique<PathEditCtrl>();
                if (!field->AttachField(window)) break;
                field->SetMode(PathEditCtrl::kDescribedFieldMode);
                field->AddFolderPickerFlags(BIF_EDITBOX | BIF_NEWDIALOGSTYLE);
                field->SetButtonWidth(PathEditCtrl::kDescribedFieldButtonWidth);
                pathFields_.push_back(std::move(field));
                break;
            }
            case ControlKind::Bitmap:
            case ControlKind::PreviewBitmap: {
                const std::wstring& path = item.ChosenPicture(fonts_->Screen());
                if (HBITMAP picture = static_cast<HBITMAP>(
                        ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE))) {
                    bitmaps_.push_back(picture);
                    ::SendMessageW(window, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
                }
                break;
            }
            case ControlKind::Tips: {
                // One viewer per dialog; a second item steps aside.
                if (tips_) {
                    ::EnableWindow(window, FALSE);
                    ::ShowWindow(window, SW_HIDE);
                    break;
                }
                const CCorvaneApp* app = CCorvaneApp::Current();
                const std::wstring help = app ? app->GetHelpFolder() : std::wstring();
                tips_ = std::make_unique<TipsViewer>();
                tips_->Show(window, ListTipPages(help, static_cast<unsigned>(::GetTickCount64() ^ ::time(nullptr))));
                break;
            }
            default:
                break;
        }
    }
}

HBRUSH XmlDialog::ControlColours(HDC dc, HWND control) {
    LayoutControl* item = ItemOf(control);
    const bool link = item != nullptr && item->kind == ControlKind::Hyperlink;
    const bool coloured = item != nullptr && item->color != 0;
    if (!description_.white && !link && !coloured) return nullptr;
    ::SetTextColor(dc, link ? RGB(0, 0, 255) : coloured ? item->color : ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkMode(dc, TRANSPARENT);
    if (description_.white) return whiteBrush_;
    ::SetBkColor(dc, ::GetSysColor(COLOR_3DFACE));
    return ::GetSysColorBrush(COLOR_3DFACE);
}

INT_PTR XmlDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            platform::SetWindowIcons(hwnd(), kMainIconId);
            if (description_.white) whiteBrush_ = ::CreateSolidBrush(RGB(255, 255, 255));
            AttachControls();
            // The template places the dialog at (0, 0); it opens centred on
            // the screen that has the pointer instead.
            RECT box{};
            ::GetWindowRect(hwnd(), &box);
            POINT pointer{};
            ::GetCursorPos(&pointer);
            MONITORINFO monitor{sizeof(monitor)};
            if (::GetMonitorInfoW(::MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
                const RECT& work = monitor.rcWork;
                ::SetWindowPos(hwnd(), nullptr, work.left + (work.right - work.left - (box.right - box.left)) / 2,
                               work.top + (work.bottom - work.top - (box.bottom - box.top)) / 2, 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            OnInitDialog();
            return TRUE;
        }
        case WM_COMMAND: {
            if (HIWORD(wParam) != BN_CLICKED) break;
            const WORD id = LOWORD(wParam);
            if (LayoutControl* item = ItemOf(reinterpret_cast<HWND>(lParam));
                item != nullptr && item->kind == ControlKind::Hyperlink) {
                OpenLinkInBackground(item->linkTarget);
                return TRUE;
            }
            if (id == IDOK || id == IDCANCEL) {
                End(id);
            } else {
                OnButton(id);
            }
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* notice = reinterpret_cast<const PathEditCtrl::Notification*>(lParam);
            const bool fromPathField = std::any_of(pathFields_.begin(), pathFields_.end(), [&](const auto& field) {
                return field->hwnd() != nullptr && field->hwnd() == notice->header.hwndFrom;
            });
            if (!fromPathField) break;
            const bool veto = OnPathNotify(static_cast<WORD>(notice->header.idFrom), notice->header.code, notice->text);
            ::SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, veto ? 1 : 0);
            return TRUE;
        }
        case WM_SETCURSOR: {
            LayoutControl* item = ItemOf(reinterpret_cast<HWND>(wParam));
            if (item == nullptr || item->kind != ControlKind::Hyperlink || handCursor_ == nullptr) break;
            ::SetCursor(handCursor_);
            ::SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        case WM_CTLCOLORDLG:
            if (description_.white && whiteBrush_) return reinterpret_cast<INT_PTR>(whiteBrush_);
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (HBRUSH brush = ControlColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
                return reinterpret_cast<INT_PTR>(brush);
            break;
        default:
            break;
    }
    return FALSE;
}

void OpenLinkInBackground(const std::wstring& target) {
    if (target.empty()) return;
    std::thread([copy = target] {
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        ::ShellExecuteW(nullptr, L"open", copy.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (SUCCEEDED(com)) ::CoUninitialize();
    }).detach();
}
