#include "shellutil/OpenWithDialog.h"

#include "uikit/DialogDescription.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlwapi.h>

namespace {

constexpr int kOpenWithIconId = 10172;

constexpr WORD kButton = LayoutControl::kButtonClass, kStatic = LayoutControl::kStaticClass;

// Every control of this dialog is visible.
TemplateEntry Control(WORD id, WORD classAtom, const wchar_t* className, DWORD style, short x, short y, short cx,
                      short cy, std::wstring text = {}) {
    return MakeTemplateEntry(id, classAtom, className, WS_VISIBLE | style, x, y, cx, cy, std::move(text));
}

}  // namespace

COpenWithDlg::COpenWithDlg(HWND parent, std::wstring fileName) : parent_(parent), fileName_(std::move(fileName)) {}

INT_PTR COpenWithDlg::DoModal() {
    DialogHeader header;
    header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS | DS_CENTER;
    header.cx = 197;
    header.cy = 178;
    header.title = ExpandText(L"Open With");
    // The three buttons stand side by side, right-aligned with the list.
    const std::vector<TemplateEntry> controls{
        Control(kIconId, kStatic, nullptr, SS_ICON, 7, 7, 20, 20),
        Control(kPromptId, kStatic, nullptr, SS_LEFT | SS_NOPREFIX, 31, 7, 138, 22),
        Control(kChooseId, kStatic, nullptr, SS_LEFT, 31, 34, 159, 8, ExpandText(L"Choose the program you want to use:")),
        Control(kListId, 0, WC_LISTVIEWW,
                WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 29, 49,
                154, 101),
        Control(IDOK, kButton, nullptr, WS_TABSTOP | BS_DEFPUSHBUTTON, 25, 157, 50, 14, ExpandText(L"OK")),
        Control(IDCANCEL, kButton, nullptr, WS_TABSTOP, 79, 157, 50, 14, ExpandText(L"Cancel")),
        Control(kOtherId, kButton, nullptr, WS_TABSTOP, 133, 157, 50, 14, ExpandText(L"Other...")),
    };
    return RunModal(parent_, BuildDialogTemplate(header, controls));
}

void COpenWithDlg::OnInitDialog() {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    HICON icon = ::LoadIconW(module, MAKEINTRESOURCEW(kOpenWithIconId));
    if (icon == nullptr) icon = ::LoadIconW(nullptr, IDI_APPLICATION);
    ::SendDlgItemMessageW(hwnd(), kIconId, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    ::EnableWindow(::GetDlgItem(hwnd(), IDOK), FALSE);

    HWND list = ::GetDlgItem(hwnd(), kListId);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    RECT client{};
    ::GetClientRect(list, &client);
    std::wstring heading = ExpandText(L"Item");
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = client.right - ::GetSystemMetrics(SM_CXVSCROLL);
    column.pszText = heading.data();
    ListView_InsertColumn(list, 0, &column);
    FillList();

    // The prompt names the file; the translation's "%s" is replaced as
    // text, so a language file cannot smuggle in other format fields.
    std::wstring prompt = ExpandText(L"Click the program you want to use to open %s");
    if (const size_t at = prompt.find(L"%s"); at != std::wstring::npos) prompt.replace(at, 2, fileName_);
    ::SetDlgItemTextW(hwnd(), kPromptId, prompt.c_str());
}

void COpenWithDlg::FillList() {
    HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    applications_ = BuildAllApplicationsList(AllApplicationClasses());
    HWND list = ::GetDlgItem(hwnd(), kListId);
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (size_t i = 0; i < applications_.size(); ++i) {
        LVITEMW row{};
        row.mask = LVIF_TEXT | LVIF_PARAM;
        row.iItem = static_cast<int>(i);
        row.pszText = applications_[i].friendlyName.data();
        row.lParam = static_cast<LPARAM>(i);
        ListView_InsertItem(list, &row);
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::SetCursor(previous);
}

int COpenWithDlg::SelectedRow() const {
    HWND list = ::GetDlgItem(hwnd(), kListId);
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0) return -1;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(list, &item)) return -1;
    return item.lParam >= 0 && static_cast<size_t>(item.lParam) < applications_.size() ? static_cast<int>(item.lParam)
                                                                                          : -1;
}

void COpenWithDlg::ChooseOther() {
    wchar_t path[MAX_PATH] = {};
    std::wstring filter = ExpandText(L"Programs") + L" (*.exe)|*.exe|" + ExpandText(L"All Files (*.*)|*.*||");
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    const std::wstring title = ExpandText(L"Open With");
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hwnd();
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!::GetOpenFileNameW(&dialog)) return;
    const std::wstring className = RegisterApplicationForUser(path);
    if (className.empty()) return;
    className_ = className;
    friendlyName_ = FindFriendlyName(className);
    if (friendlyName_.empty()) {
        // Where the per-user class is not seen through the classes root, the
        // program file itself names the choice.
        std::wstring name = ::PathFindFileNameW(path);
        if (const size_t dot = name.rfind(L'.'); dot != std::wstring::npos) name.resize(dot);
        friendlyName_ = name;
    }
    End(IDOK);
}

INT_PTR COpenWithDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom != kListId) break;
            if (header->code == LVN_ITEMCHANGED) {
                ::EnableWindow(::GetDlgItem(hwnd(), IDOK), SelectedRow() >= 0);
            } else if (header->code == NM_DBLCLK && SelectedRow() >= 0) {
                ::PostMessageW(hwnd(), WM_COMMAND, IDOK, 0);
            }
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: {
                    const int row = SelectedRow();
                    if (row < 0) return TRUE;
                    className_ = applications_[static_cast<size_t>(row)].classNames.front();
                    friendlyName_ = applications_[static_cast<size_t>(row)].friendlyName;
                    End(IDOK);
                    return TRUE;
                }
                case IDCANCEL:
                    End(IDCANCEL);
                    return TRUE;
                case kOtherId:
                    ChooseOther();
                    return TRUE;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

std::wstring RegisterApplicationForUser(const std::wstring& programPath) {
    const std::wstring name = ::PathFindFileNameW(programPath.c_str());
    if (name.empty() || name.size() >= MAX_PATH) return {};
    const std::wstring className = L"Applications\\" + name;
    // A program the shell already knows keeps its own registration.
    if (!GetClassCommand(className).empty()) return className;
    const std::wstring key = L"Software\\Classes\\" + className + L"\\shell\\open\\command";
    const std::wstring command = L"\"" + programPath + L"\" \"%1\"";
    const auto write = [&](HKEY root) {
        HKEY opened = nullptr;
        if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
            return false;
        const LONG written = ::RegSetValueExW(opened, nullptr, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(command.c_str()),
                                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(opened);
        return written == ERROR_SUCCESS;
    };
    if (!write(HKEY_CURRENT_USER)) return {};
    // Where the classes root does not show the user's own classes (Wine),
    // the machine's are used when this user may write them.
    if (GetClassCommand(className).empty()) write(HKEY_LOCAL_MACHINE);
    return className;
}
