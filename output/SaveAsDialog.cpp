#include "output/SaveAsDialog.h"

#include "platform/FileSystem.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"

#include <commdlg.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace {

// "BMP files (*.bmp)|*.bmp|JPG files (*.jpg)|*.jpg|PNG files (*.png)|*.png|TIF files (*.tif)|*.tif||"
constexpr wchar_t kFilter[] =
    L"BMP files (*.bmp)\0*.bmp\0JPG files (*.jpg)\0*.jpg\0PNG files (*.png)\0*.png\0TIF files (*.tif)\0*.tif\0";
const wchar_t* const kExtensions[] = {L"bmp", L"jpg", L"png", L"tif"};
constexpr unsigned kEntries = 4;
constexpr wchar_t kReplaceKey[] = L"SaveAsReplace";

}  // namespace

CSaveAsDialog::CSaveAsDialog(std::wstring initialPath, std::wstring fileType)
    : initialPath_(std::move(initialPath)), fileType_(std::move(fileType)) {}

unsigned CSaveAsDialog::FilterIndexForType(const std::wstring& fileType) {
    std::wstring lower = fileType;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    for (unsigned i = 0; i < kEntries; ++i)
        if (!lower.empty() && lower == kExtensions[i]) return i + 1;
    return 0;
}

std::wstring CSaveAsDialog::WithFilterExtension(const std::wstring& path, unsigned filterIndex) {
    std::wstring result = path;
    if (result.size() >= 4 && result[result.size() - 4] == L'.') {
        const std::wstring tail = result.substr(result.size() - 3);
        for (const wchar_t* ext : kExtensions)
            if (tail == ext) {
                result.resize(result.size() - 4);
                break;
            }
    }
    const unsigned index = (filterIndex >= 1 && filterIndex <= kEntries) ? filterIndex : 1;
    return result + L"." + kExtensions[index - 1];
}

bool CSaveAsDialog::ConfirmReplace(HWND fileDialog, const std::wstring& path) {
    std::wstring text = FillFirstArgument(ExpandText(kReplaceKey, true), path);
    if (text == kReplaceKey) text = path + L" already exists.\nDo you want to replace it?";
    return ShowProgramMessage(text, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, fileDialog) == IDYES;
}

UINT_PTR CALLBACK CSaveAsDialog::HookProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    static const UINT fileOkString = ::RegisterWindowMessageW(FILEOKSTRINGW);
    if (message == WM_INITDIALOG) {
        const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lParam);
        ::SetWindowLongPtrW(dialog, GWLP_USERDATA, static_cast<LONG_PTR>(ofn->lCustData));
        return 0;
    }
    if (message == fileOkString) {
        // The dialog asks with this message before CDN_FILEOK and reads the
        // same result: a name refused before must not refuse the next one.
        ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        return 0;
    }
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_FILEOK) {
        auto* self = reinterpret_cast<CSaveAsDialog*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
        const OPENFILENAMEW* ofn = reinterpret_cast<const OFNOTIFYW*>(lParam)->lpOFN;
        // The file written is the typed name with the selected type's
        // extension, so that is the name to ask about, not the one typed.
        const std::wstring written = WithFilterExtension(ofn->lpstrFile, ofn->nFilterIndex);
        if (platform::FileExists(written) && !ConfirmReplace(::GetParent(dialog), written)) {
            ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
            return 1;  // the dialog stays open for another name
        }
        if (self != nullptr) self->nameAccepted_ = true;
        ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        return 0;  // the name is accepted
    }
    return 0;
}

INT_PTR CSaveAsDialog::DoModal() {
    std::vector<wchar_t> file(32768, L'\0');
    std::copy_n(initialPath_.begin(), std::min(initialPath_.size(), file.size() - 1), file.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = FilterIndexForType(fileType_);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    // No OFN_OVERWRITEPROMPT: the platform would ask about the name as typed,
    // before the selected type's extension is put on it; the hook asks about
    // the name that is really written instead.
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING | OFN_PATHMUSTEXIST;
    ofn.lpfnHook = HookProc;
    ofn.lCustData = reinterpret_cast<LPARAM>(this);
    nameAccepted_ = false;
    if (!::GetSaveFileNameW(&ofn)) return IDCANCEL;
    chosen_ = file.data();
    filterIndex_ = ofn.nFilterIndex;
    return IDOK;
}

std::wstring CSaveAsDialog::GetChosenPath() const {
    if (!nameAccepted_ || chosen_.empty()) return {};
    return WithFilterExtension(chosen_, filterIndex_);
}
