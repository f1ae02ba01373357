#include "options/OptionsDlg.h"

#include "options/OptionsDocument.h"
#include "platform/Window.h"
#include "uikit/CorvaneApp.h"
#include "uikit/DialogDescription.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>

#include <cwchar>

namespace {

constexpr int kMainIconId = 128;

constexpr WORD kButton = LayoutControl::kButtonClass, kStatic = LayoutControl::kStaticClass;

}  // namespace

// The option list passes the editors' notices to the open editor and the
// rebuild request to the dialog, then shows the selected row's help again.
class OptionsDLG::ListHook : public platform::SubclassedWindow {
public:
    explicit ListHook(OptionsDLG& dialog) : dialog_(dialog) {}

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && LOWORD(wParam) == kOptionEditorId && dialog_.active_ != nullptr) {
            dialog_.active_->OnEditorCommand(HIWORD(wParam));
            return 0;
        }
        // The list's own type-ahead skips spaces, which the names have.
        if (message == WM_CHAR && wParam >= L' ' && (wParam != L' ' || dialog_.TypeAheadRunning())) {
            dialog_.TypeAhead(static_cast<wchar_t>(wParam));
            return 0;
        }
        if (message == kRebuildOptionsMessage) {
            ::SendMessageW(dialog_.hwnd(), message, wParam, lParam);
            dialog_.ShowDescription();
            return 0;
        }
        return Default(message, wParam, lParam);
    }

private:
    OptionsDLG& dialog_;
};

OptionsDLG::OptionsDLG(OptionsDocument& document) : document_(document) {}

OptionsDLG::~OptionsDLG() = default;

INT_PTR OptionsDLG::DoModal(HWND parent) { return RunModal(parent, BuildTemplate()); }

HWND OptionsDLG::CreateModelessDialog(HWND parent) {
    HWND window = CreateModeless(parent, BuildTemplate());
    if (window != nullptr) ::ShowWindow(window, SW_SHOW);
    return window;
}

std::vector<WORD> OptionsDLG::BuildTemplate() const {
    DialogHeader header;
    header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    header.cx = 337;
    header.cy = 300;
    header.pointSize = 8;
    header.face = L"MS Shell Dlg";
    const std::vector<TemplateEntry> controls{
        MakeTemplateEntry(kListId, 0, WC_LISTVIEWW,
              WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                  LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER | LVS_OWNERDATA,
              7, 7, 323, 220),
        // The groups live in a tree that is never shown.
        MakeTemplateEntry(kTreeId, 0, WC_TREEVIEWW, WS_DISABLED | TVS_HASLINES, 7, 285, 6, 6),
        MakeTemplateEntry(static_cast<WORD>(-1), kButton, nullptr, WS_VISIBLE | BS_GROUPBOX, 7, 232, 323, 37),
        MakeTemplateEntry(kDescriptionId, kStatic, nullptr, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 14, 241, 309, 23),
        MakeTemplateEntry(kOkId, kButton, nullptr, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 40, 277, 82, 14),
        MakeTemplateEntry(IDCANCEL, kButton, nullptr, WS_VISIBLE | WS_TABSTOP, 129, 277, 82, 14),
        MakeTemplateEntry(kRestoreDefaultsId, kButton, nullptr, WS_VISIBLE | WS_TABSTOP, 218, 277, 82, 14),
    };
    return BuildDialogTemplate(header, controls);
}

void OptionsDLG::SetDialogTexts() {
    ::SetWindowTextW(hwnd(), ExpandText(L"$applicationname Properties").c_str());
    ::SetDlgItemTextW(hwnd(), kOkId, ExpandText(L"OK").c_str());
    ::SetDlgItemTextW(hwnd(), IDCANCEL, ExpandText(L"Cancel").c_str());
    ::SetDlgItemTextW(hwnd(), kRestoreDefaultsId, ExpandText(L"RestoreDefaults").c_str());
}

void OptionsDLG::SetUpList(HWND list) {
    for (int column = 0; column < 2; ++column) {
        LVCOLUMNW header{};
        header.mask = LVCF_WIDTH | LVCF_FMT;
        header.fmt = LVCFMT_LEFT;
        // 240 pixels at 96 dots per inch, wider on a scaled screen.
        header.cx = platform::ScaleToScreenDpi(240);
        ListView_InsertColumn(list, column, &header);
    }
}

bool OptionsDLG::FilterOptionItem(pugi::xml_node, OptionItem&, bool&) { return true; }

void OptionsDLG::FillOptionItem(pugi::xml_node element, OptionItem& item) {
    item.name = element.attribute(L"Name").value();
    item.description = element.attribute(L"Description").value();
    item.control = CreateOptionControl(element.attribute(L"Control").value());
    if (item.control) {
        item.control->SetContext(OptionsDialogContext{&document_, list_});
        item.control->SetValue(element.attribute(L"Value").value());
        item.control->LoadItems(element);
    }
    item.element = element;
}

bool OptionsDLG::ReadOptionItem(pugi::xml_node element, OptionItem& item, std::wstring& failure) {
    if (element.type() != pugi::node_element || !element.first_attribute()) {
        failure = L"NULL == pAttribs";
        return false;
    }
    const pugi::xml_attribute name = element.attribute(L"Name");
    if (!name) {
        failure = L"NULL == pAttr";
        return false;
    }
    if (*name.value() == L'\0') return false;
    if (readDepth_ >= kMaxOptionDepth) {
        failure = L"too deep";
        return false;
    }
    struct DepthScope {
        int& depth;
        explicit DepthScope(int& d) : depth(d) { ++depth; }
        ~DepthScope() { --depth; }
    } scope(readDepth_);
    bool handled = false;
    if (!FilterOptionItem(element, item, handled)) return handled;
    FillOptionItem(element, item);
    for (pugi::xml_node child : element.children()) {
        auto childItem = std::make_unique<OptionItem>();
        std::wstring ignored;
        if (ReadOptionItem(child, *childItem, ignored)) item.children.push_back(std::move(childItem));
    }
    return true;
}

bool OptionsDLG::CommitOptionItem(OptionItem& item) {
    for (auto& child : item.children) CommitOptionItem(*child);
    if (!item.control) return false;
    std::wstring value;
    if (item.control->GetValue(value) && item.element) {
        pugi::xml_attribute stored = item.element.attribute(L"Value");
        // An unchanged value leaves the file as it was.
        if (!stored) {
            if (!value.empty()) item.element.append_attribute(L"Value").set_value(value.c_str());
        } else if (value != stored.value()) {
            stored.set_value(value.c_str());
        }
    }
    item.control->OnCommitted();
    return true;
}

void OptionsDLG::AddRow(OptionItem& item, int depth) {
    rows_.push_back(Row{&item, depth});
    if (item.control) return;
    for (auto& child : item.children) AddRow(*child, depth + 1);
}

void OptionsDLG::BuildTree() {
    TreeView_DeleteAllItems(tree_);
    rows_.clear();
    ListView_SetItemCountEx(list_, 0, 0);
    if (roots_.empty()) return;
    // The groups: every entry without an editor, below its parent.
    struct Walk {
        static void Insert(HWND tree, OptionItem& item, HTREEITEM parent) {
            std::wstring text = ExpandText(item.name);
            TVINSERTSTRUCTW insert{};
            insert.hParent = parent;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_PARAM;
            insert.item.pszText = text.data();
            insert.item.lParam = reinterpret_cast<LPARAM>(&item);
            HTREEITEM added = TreeView_InsertItem(tree, &insert);
            for (auto& child : item.children)
                if (!child->control) Insert(tree, *child, added);
            TreeView_Expand(tree, added, TVE_EXPAND);
        }
    };
    Walk::Insert(tree_, *roots_.front(), TVI_ROOT);
    TreeView_SelectItem(tree_, TreeView_GetRoot(tree_));
    // The current group is the root: its entries, groups followed by theirs.
    // The list asks for each row's texts as it shows it, so a document of
    // thousands of entries opens as fast as a small one.
    for (auto& child : roots_.front()->children) AddRow(*child, 0);
    ListView_SetItemCountEx(list_, static_cast<int>(rows_.size()), 0);
    ::InvalidateRect(list_, nullptr, TRUE);
}

std::wstring OptionsDLG::RowText(int row, int column) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return {};
    const OptionItem& item = *rows_[static_cast<size_t>(row)].item;
    if (column == 0) return ExpandText(item.name);
    if (!item.control) return {};
    std::vector<std::wstring> texts;
    item.control->AppendDisplayText(texts);
    return texts.empty() ? std::wstring() : texts.front();
}

void OptionsDLG::Rebuild(bool commitFirst) {
    if (active_ != nullptr) active_->CancelEdit();
    active_ = nullptr;
    if (commitFirst && !entriesStale_ && !roots_.empty()) CommitOptionItem(*roots_.front());
    entriesStale_ = false;
    rows_.clear();
    ListView_SetItemCountEx(list_, 0, 0);
    roots_.clear();
    auto root = std::make_unique<OptionItem>();
    std::wstring failure;
    if (ReadOptionItem(document_.GetRootElement(), *root, failure)) roots_.push_back(std::move(root));
    BuildTree();
    SetDialogTexts();
    ShowDescription();
}

OptionItem* OptionsDLG::ItemOfRow(int row) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? rows_[static_cast<size_t>(row)].item : nullptr;
}

void OptionsDLG::ShowDescription() {
    const OptionItem* item = ItemOfRow(ListView_GetNextItem(list_, -1, LVNI_SELECTED));
    ::SetDlgItemTextW(hwnd(), kDescriptionId, item ? ExpandText(item->description).c_str() : L"");
}

std::vector<std::pair<std::wstring, std::wstring>> OptionsDLG::Rows() const {
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    for (size_t i = 0; i < rows_.size(); ++i)
        rows.emplace_back(RowText(static_cast<int>(i), 0), RowText(static_cast<int>(i), 1));
    return rows;
}

int OptionsDLG::FindRow(const std::wstring& prefix, int start) const {
    const int count = static_cast<int>(rows_.size());
    for (int i = 0; i < count && !prefix.empty(); ++i) {
        const int row = ((start < 0 ? 0 : start) + i) % count;
        const std::wstring name = RowText(row, 0);
        if (name.size() >= prefix.size() &&
            ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(), static_cast<int>(prefix.size()),
                             prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL)
            return row;
    }
    return -1;
}

void OptionsDLG::TypeAhead(wchar_t letter) {
    // Letters typed within a second of each other make one search; the same
    // letter again goes on to the next row that starts with it.
    const DWORD now = ::GetTickCount();
    if (now - lastLetterTime_ > 1000) search_.clear();
    lastLetterTime_ = now;
    search_ += letter;
    const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    const bool repeated = search_.find_first_not_of(search_[0]) == std::wstring::npos;
    const int row = repeated && search_.size() > 1 ? FindRow(search_.substr(0, 1), focused + 1)
                                                   : FindRow(search_, repeated ? focused + 1 : std::max(focused, 0));
    if (row < 0) {
        ::MessageBeep(MB_OK);
        return;
    }
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_, row, FALSE);
}

bool OptionsDLG::OpenEditor(int row) {
    OptionItem* item = ItemOfRow(row);
    if (item == nullptr || !item->control) return false;
    if (active_ != nullptr && active_->IsEditing()) active_->EndEdit();
    ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    RECT cell{};
    ListView_GetSubItemRect(list_, row, 1, LVIR_BOUNDS, &cell);
    RECT client{};
    ::GetClientRect(list_, &client);
    if (cell.left < client.left) {
        // The value column first scrolls into sight.
        ListView_Scroll(list_, cell.left - client.left, 0);
        ListView_GetSubItemRect(list_, row, 1, LVIR_BOUNDS, &cell);
    }
    cell.right = std::min<LONG>(cell.left + ListView_GetColumnWidth(list_, 1), client.right);
    cell.bottom += 5;
    active_ = item->control.get();
    return active_->CreateEditor(cell, list_, row) != nullptr;
}

void OptionsDLG::OnListClick(int row, int column) {
    ShowDescription();
    if (column == 1) OpenEditor(row);
}

void OptionsDLG::OnOk() {
    // The focus on OK ends an open edit, which takes its value.
    ::SetFocus(::GetDlgItem(hwnd(), kOkId));
    bool saved = false;
    try {
        if (!entriesStale_)
            for (auto& root : roots_) CommitOptionItem(*root);
        saved = SaveAndApply();
    } catch (...) {
        saved = false;
    }
    if (!saved) {
        ShowProgramMessage(ExpandText(L"InvalidSaveOptions"), MB_OK | MB_ICONERROR, hwnd());
        return;
    }
    End(IDOK);
}

void OptionsDLG::OnRestoreDefaults() {
    if (ShowProgramMessage(ExpandText(L"OverwriteOptions"), MB_YESNO | MB_ICONQUESTION, hwnd()) != IDYES) return;
    if (active_ != nullptr) active_->CancelEdit();
    active_ = nullptr;
    if (!RestoreDefaults()) {
        ShowProgramMessage(ExpandText(L"InvalidSaveOptions"), MB_OK | MB_ICONERROR, hwnd());
        return;
    }
    entriesStale_ = true;
    ::PostMessageW(list_, kRebuildOptionsMessage, 0, 0);
}

INT_PTR OptionsDLG::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            list_ = ::GetDlgItem(hwnd(), kListId);
            tree_ = ::GetDlgItem(hwnd(), kTreeId);
            listHook_ = std::make_unique<ListHook>(*this);
            listHook_->Attach(list_);
            SetDialogTexts();
            SetUpList(list_);
            Rebuild(false);
            platform::SetWindowIcons(hwnd(), kMainIconId);
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom != kListId) break;
            if (header->code == NM_CLICK) {
                const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
                LVHITTESTINFO hit{};
                hit.pt = click->ptAction;
                ListView_SubItemHitTest(list_, &hit);
                if (hit.iItem >= 0) OnListClick(hit.iItem, hit.iSubItem);
            } else if (header->code == LVN_ITEMCHANGED) {
                ShowDescription();
            } else if (header->code == LVN_KEYDOWN) {
                // F2 edits the focused row, as a click on its value does.
                // (Space stays a letter of the type-ahead: names have spaces.)
                if (reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == VK_F2)
                    OpenEditor(ListView_GetNextItem(list_, -1, LVNI_FOCUSED));

            } else if (header->code == LVN_GETDISPINFOW) {
                LVITEMW& row = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
                if ((row.mask & LVIF_TEXT) && row.pszText != nullptr && row.cchTextMax > 0) {
                    const std::wstring text = RowText(row.iItem, row.iSubItem);
                    wcsncpy_s(row.pszText, static_cast<size_t>(row.cchTextMax), text.c_str(), _TRUNCATE);
                }
                if ((row.mask & LVIF_INDENT) && row.iItem >= 0 && static_cast<size_t>(row.iItem) < rows_.size())
                    row.iIndent = rows_[static_cast<size_t>(row.iItem)].depth;
            }
            return TRUE;
        }
        case kRebuildOptionsMessage:
            if (wParam == 0) Rebuild(true);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kOkId:
                case IDOK:
                    if (HIWORD(wParam) == BN_CLICKED) OnOk();
                    return TRUE;
                case IDCANCEL:
                    DiscardChanges();
                    End(IDCANCEL);
                    return TRUE;
                case kRestoreDefaultsId:
                    if (HIWORD(wParam) == BN_CLICKED) OnRestoreDefaults();
                    return TRUE;
                default:
                    break;
            }
            break;
        case WM_DESTROY:
            if (active_ != nullptr) active_->CancelEdit();
            active_ = nullptr;
            break;
        default:
            break;
    }
    return FALSE;
}
