#include "platform/Dialog.h"

#include "platform/FileSystem.h"

namespace platform {

Dialog::~Dialog() {
    if (hwnd_ != nullptr && !modal_) ::DestroyWindow(hwnd_);
}

INT_PTR Dialog::RunModal(HWND parent, const std::vector<WORD>& dialogTemplate) {
    if (dialogTemplate.empty()) return -1;
    modal_ = true;
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
                                  parent, StaticProc, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    hwnd_ = nullptr;
    return result;
}

HWND Dialog::CreateModeless(HWND parent, const std::vector<WORD>& dialogTemplate) {
    if (dialogTemplate.empty()) return nullptr;
    modal_ = false;
    return ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                        reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()), parent, StaticProc,
                                        reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR result) {
    if (hwnd_ == nullptr) return;
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        ::DestroyWindow(hwnd_);
    }
}

INT_PTR Dialog::HandleMessage(UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr && message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    if (self == nullptr) return FALSE;
    const INT_PTR result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

void SetWindowIcons(HWND window, int iconId) {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    if (HICON big = ::LoadIconW(module, MAKEINTRESOURCEW(iconId)))
        ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (HICON small = static_cast<HICON>(
            ::LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16, 16, LR_SHARED)))
        ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

std::vector<WORD> LoadDialogTemplate(int id) {
    const std::string_view bytes = ResourceData(id, MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (bytes.size() < sizeof(DLGTEMPLATE)) return {};
    const auto* words = reinterpret_cast<const WORD*>(bytes.data());
    return std::vector<WORD>(words, words + (bytes.size() + 1) / sizeof(WORD));
}

}  // namespace platform
