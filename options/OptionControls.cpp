#include "options/OptionControls.h"

#include "options/OptionsDocument.h"
#include "platform/FileSystem.h"
#include "platform/SubclassedWindow.h"
#include "platform/Window.h"
#include "shellutil/OpenWith.h"
#include "shellutil/OpenWithDialog.h"
#include "shellutil/StandardFolders.h"
#include "uikit/CorvaneApp.h"
#include "uikit/HookedHotKeyCtrl.h"
#include "uikit/HotKey.h"
#include "uikit/TextCatalog.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

// Watches an editor window (and the edit part of an editable drop-down):
// the edit ends when the focus leaves the editor, Escape and Enter send the
// focus back to the list, and the dialog never takes those keys itself.
class OptionControl::EditorHook : public platform::SubclassedWindow {
public:
    explicit EditorHook(OptionControl& owner) : owner_(owner) {}

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_GETDLGCODE:
                return Default(message, wParam, lParam) | DLGC_WANTALLKEYS;
            case WM_KEYDOWN:
                if (wParam == VK_ESCAPE || wParam == VK_RETURN) {
                    HWND combo = owner_.editor_;
                    const bool dropped = combo && ::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
                    if (dropped && wParam == VK_RETURN) {
                        // The open list takes its entry first.
                        ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
                    }
                    ::SetFocus(owner_.context_.list);
                    return 0;
                }
                break;
            case WM_CHAR:
                if (wParam == VK_ESCAPE || wParam == VK_RETURN) return 0;  // no beep
                break;
            case WM_KILLFOCUS: {
                const LRESULT result = Default(message, wParam, lParam);
                HWND next = reinterpret_cast<HWND>(wParam);
                HWND editor = owner_.editor_;
                const bool stays = next != nullptr && editor != nullptr && (next == editor || ::IsChild(editor, next));
                if (!stays && !owner_.browsing_ && owner_.IsEditing()) owner_.EndEdit();
                return result;
            }
            default:
                break;
        }
        return Default(message, wParam, lParam);
    }

private:
    OptionControl& owner_;
};

OptionControl::~OptionControl() {
    if (editor_ != nullptr && ::IsWindow(editor_)) ::DestroyWindow(editor_);
}

HWND OptionControl::CreateEditor(const RECT& cell, HWND list, int row) {
    if (editor_ != nullptr) return editor_;
    context_.list = list;
    row_ = row;
    hooks_.clear();
    editor_ = MakeEditor(cell, list);
    if (editor_ == nullptr) return nullptr;
    ::SendMessageW(editor_, WM_SETFONT, ::SendMessageW(list, WM_GETFONT, 0, 0), TRUE);
    auto hook = std::make_unique<EditorHook>(*this);
    if (hook->Attach(editor_)) hooks_.push_back(std::move(hook));
    // An editable drop-down types into an edit window of its own.
    COMBOBOXINFO info{sizeof(info)};
    if (::GetComboBoxInfo(editor_, &info) && info.hwndItem != nullptr && info.hwndItem != editor_) {
        auto inner = std::make_unique<EditorHook>(*this);
        if (inner->Attach(info.hwndItem)) hooks_.push_back(std::move(inner));
    }
    ::SetFocus(editor_);
    OnEditorShown();
    return editor_;
}

bool OptionControl::OnEditorCommand(WORD) { return false; }

void OptionControl::EndEdit() {
    if (editor_ == nullptr) return;
    HWND editor = editor_;
    TakeEditorValue();
    editor_ = nullptr;
    // The row shows the new value: the list asks for it when it repaints.
    if (context_.list != nullptr && row_ >= 0) {
        ListView_RedrawItems(context_.list, row_, row_);
        ::InvalidateRect(context_.list, nullptr, TRUE);
    }
    // The editor goes once this focus change is over.
    ::PostMessageW(editor, WM_CLOSE, 0, 0);
    OnEditEnded();
}

void OptionControl::CancelEdit() {
    if (editor_ == nullptr) return;
    HWND editor = editor_;
    editor_ = nullptr;
    ::DestroyWindow(editor);
}

namespace {

// "EditBox": a line of text.
class EditBoxOption : public OptionControl {
public:
    void SetValue(const std::wstring& value) override { value_ = value; }
    void AppendDisplayText(std::vector<std::wstring>& row) const override { row.push_back(value_); }
    bool GetValue(std::wstring& value) const override {
        value = value_;
        return true;
    }

protected:
    HWND MakeEditor(const RECT& cell, HWND list) override {
        return ::CreateWindowExW(0, L"EDIT", value_.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                                 cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top, list,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kOptionEditorId)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    void TakeEditorValue() override {
        value_ = platform::WindowText(editor_);
    }

    std::wstring value_;
};

// "HotKey": the program's hot-key field; the stored text holds registration
// bits, the field its own order (Shift and Alt exchanged).
class HotKeyOption : public OptionControl {
public:
    void SetValue(const std::wstring& value) override {
        const std::optional<HotKey> key = ParseHotKeyText(value);
        key_ = key ? *key : HotKey{};
    }
    void AppendDisplayText(std::vector<std::wstring>& row) const override {
        row.push_back(FormatHotKeyForDisplay(key_.modifiers, key_.virtualKey));
    }
    bool GetValue(std::wstring& value) const override {
        value = key_.virtualKey == 0 ? std::wstring() : FormatHotKeyForStorage(key_.modifiers, key_.virtualKey);
        return true;
    }

protected:
    HWND MakeEditor(const RECT& cell, HWND list) override {
        field_ = std::make_unique<HookedHotKeyCtrl>();
        if (!field_->Create(list, cell, kOptionEditorId)) return nullptr;
        field_->SetHotKey(key_.virtualKey, RegistrationToFieldModifiers(key_.modifiers));
        return field_->hwnd();
    }
    void TakeEditorValue() override {
        WORD key = 0, modifiers = 0;
        field_->GetHotKey(key, modifiers);
        key_ = HotKey{key, FieldToRegistrationModifiers(modifiers)};
    }

    HotKey key_;
    std::unique_ptr<HookedHotKeyCtrl> field_;
};

// "CheckBox": "true" checks it, anything else does not, and it stores
// "true"/"false". "NumericCheckBox" is the same box storing "1"/"0".
class CheckBoxOption : public OptionControl {
public:
    CheckBoxOption(const wchar_t* checkedValue, const wchar_t* uncheckedValue)
        : checkedValue_(checkedValue), uncheckedValue_(uncheckedValue) {}
    void SetValue(const std::wstring& value) override { checked_ = value == checkedValue_; }
    void AppendDisplayText(std::vector<std::wstring>& row) const override {
        row.push_back(ExpandText(checked_ ? L"true" : L"false"));
    }
    bool GetValue(std::wstring& value) const override {
        value = checked_ ? checkedValue_ : uncheckedValue_;
        return true;
    }

protected:
    HWND MakeEditor(const RECT& cell, HWND list) override {
        HWND box = ::CreateWindowExW(0, L"BUTTON", ExpandText(L"true").c_str(),
                                     WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, cell.left + 2, cell.top,
                                     cell.right - cell.left - 2, cell.bottom - cell.top, list,
                                     reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kOptionEditorId)),
                                     ::GetModuleHandleW(nullptr), nullptr);
        if (box) ::SendMessageW(box, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
        return box;
    }
    void TakeEditorValue() override { checked_ = ::SendMessageW(editor_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

    const wchar_t* checkedValue_;
    const wchar_t* uncheckedValue_;
    bool checked_ = false;
};

// The drop-down family: a list of choices, each a translated name and its
// stored value.
class ChoiceOption : public OptionControl {
public:
    ChoiceOption(bool editable, bool numeric) : editable_(editable), numeric_(numeric) {}

    void SetValue(const std::wstring& value) override {
        value_ = numeric_ ? std::to_wstring(std::wcstol(value.c_str(), nullptr, 10)) : value;
    }
    void AppendDisplayText(std::vector<std::wstring>& row) const override {
        if (const OptionChoice* choice = Matching()) {
            row.push_back(ExpandText(choice->name));
        } else {
            row.push_back(editable_ ? Unmatched() : std::wstring());
        }
    }
    bool GetValue(std::wstring& value) const override {
        value = value_;
        return true;
    }
    void LoadItems(pugi::xml_node element) override {
        choices_.clear();
        for (pugi::xml_node child : element.children()) {
            if (child.type() != pugi::node_element || !child.first_attribute()) continue;
            if (editable_ && std::wcscmp(child.name(), L"combostring") != 0) continue;
            choices_.push_back(OptionChoice{child.attribute(L"Name").value(), child.attribute(L"Value").value(),
                                            child.attribute(L"LanguageXML").value()});
        }
    }

protected:
    const OptionChoice* Matching() const {
        for (const OptionChoice& choice : choices_) {
            const bool same = numeric_ ? std::wcstol(choice.value.c_str(), nullptr, 10) ==
                                             std::wcstol(value_.c_str(), nullptr, 10) &&
                                             !choice.value.empty()
                                       : choice.value == value_;
            if (same) return &choice;
        }
        return nullptr;
    }
    virtual std::wstring Unmatched() const { return value_; }

    HWND MakeEditor(const RECT& cell, HWND list) override {
        // The open list reaches five rows below the cell.
        const int height = (6 * cell.bottom - 5 * cell.top) - cell.top;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL |
                            (editable_ ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST);
        HWND combo = ::CreateWindowExW(0, L"COMBOBOX", L"", style, cell.left, cell.top, cell.right - cell.left, height,
                                       list, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kOptionEditorId)),
                                       ::GetModuleHandleW(nullptr), nullptr);
        if (combo == nullptr) return nullptr;
        ::SendMessageW(combo, WM_SETFONT, ::SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
        FillEditor(combo);
        return combo;
    }
    void FillEditor(HWND combo) {
        ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        const OptionChoice* matching = Matching();
        for (size_t i = 0; i < choices_.size(); ++i) {
            const LRESULT at = ::SendMessageW(combo, CB_ADDSTRING, 0,
                                              reinterpret_cast<LPARAM>(ExpandText(choices_[i].name).c_str()));
            ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
            if (&choices_[i] == matching) ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        }
        if (editable_ && matching == nullptr) ::SetWindowTextW(combo, Unmatched().c_str());
    }
    // The list opens at once, after the focus came, which would close it.
    void OnEditorShown() override { ::SendMessageW(editor_, CB_SHOWDROPDOWN, TRUE, 0); }
    const OptionChoice* Selected() const {
        const LRESULT at = ::SendMessageW(editor_, CB_GETCURSEL, 0, 0);
        if (at == CB_ERR) return nullptr;
        const LRESULT index = ::SendMessageW(editor_, CB_GETITEMDATA, static_cast<WPARAM>(at), 0);
        return index >= 0 && static_cast<size_t>(index) < choices_.size() ? &choices_[static_cast<size_t>(index)]
                                                                            : nullptr;
    }
    void TakeEditorValue() override {
        if (!editable_) {
            if (const OptionChoice* choice = Selected()) value_ = choice->value;
            return;
        }
        const std::wstring text = platform::WindowText(editor_);
        // The value's own display, untouched, keeps the value.
        if (Matching() == nullptr && text == Unmatched()) return;
        // A chosen entry shows its translated name; its value is stored.
        for (const OptionChoice& choice : choices_) {
            if (ExpandText(choice.name) == text) {
                value_ = choice.value;
                return;
            }
        }
        value_ = text;
    }
    bool IsBrowseChoice() const {
        const OptionChoice* choice = Selected();
        return choice != nullptr && choice->value == L"<Browse>";
    }
    // Puts the value back into the open editor after a browse.
    void ShowValueInEditor() {
        if (editor_ == nullptr) return;
        ::SendMessageW(editor_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        if (const OptionChoice* matching = Matching()) {
            const LRESULT at = ::SendMessageW(editor_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(ExpandText(matching->name).c_str()));
            ::SendMessageW(editor_, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        } else {
            ::SetWindowTextW(editor_, Unmatched().c_str());
        }
    }

    std::vector<OptionChoice> choices_;
    std::wstring value_;
    bool editable_;
    bool numeric_;
};

// "MultyProfile": a choice that reshapes the profiles group at once.
class MultyProfileOption : public ChoiceOption {
public:
    MultyProfileOption() : ChoiceOption(false, true) {}

protected:
    void OnEditEnded() override { ::PostMessageW(context_.list, kRebuildOptionsMessage, 0, 0); }
};

// "LanguageBox": a choice of language, shown at once in the rebuilt dialog.
class LanguageBoxOption : public ChoiceOption {
public:
    LanguageBoxOption() : ChoiceOption(false, true) {}
    bool OnCommitted() override {
        if (context_.document == nullptr) return false;
        if (CCorvaneApp* app = CCorvaneApp::Current()) app->GetTextCatalog().LoadLanguages(*context_.document, false);
        return false;
    }
    bool OnEditorCommand(WORD code) override {
        // A confirmed entry ends the edit.
        if (code == CBN_SELENDOK) ::SetFocus(context_.list);
        return code == CBN_SELENDOK;
    }

protected:
    void OnEditEnded() override { ::PostMessageW(context_.list, kRebuildOptionsMessage, 0, 0); }
};

// "FolderBrowser": a folder, typed or picked; "<Browse>" opens the picker,
// which confirms only folders a capture can be written to.
class FolderBrowserOption : public ChoiceOption {
public:
    FolderBrowserOption() : ChoiceOption(true, false) {}

    bool OnEditorCommand(WORD code) override {
        if (code != CBN_SELCHANGE || !IsBrowseChoice()) return false;
        Browse();
        return true;
    }

private:
    static int CALLBACK PickerEvents(HWND picker, UINT message, LPARAM data, LPARAM start) {
        if (message == BFFM_INITIALIZED) {
            // The nearest folder that exists, for a path with a drive.
            std::wstring path = reinterpret_cast<const wchar_t*>(start);
            while (path.size() > 3 && path[1] == L':' && !platform::DirectoryExists(path)) {
                if (path.back() == L'\\') path.pop_back();
                const size_t cut = path.rfind(L'\\');
                if (cut == std::wstring::npos) break;
                path.resize(std::max<size_t>(cut, 3));
            }
            if (!path.empty()) ::SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
            // The first selection is judged too, whether or not the picker
            // reports it as a change.
            JudgeSelection(picker, !path.empty() && IsFolderWritable(path));
        } else if (message == BFFM_SELCHANGED) {
            wchar_t path[MAX_PATH] = {};
            const bool named = ::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(data), path) != FALSE;
            JudgeSelection(picker, named && IsFolderWritable(path));
        }
        return 0;
    }
    // Some pickers judge the selection again after telling it (Wine enables
    // OK for any file-system folder): the verdict is applied once the
    // picker is done, and OK is refused while it says no.
    static constexpr UINT kApplyVerdict = WM_APP + 0x51;
    static void JudgeSelection(HWND picker, bool writable) {
        ::SetWindowSubclass(picker, PickerGuard, 1, writable ? 1 : 0);
        ::SendMessageW(picker, BFFM_ENABLEOK, 0, writable ? TRUE : FALSE);
        ::PostMessageW(picker, kApplyVerdict, 0, 0);
    }
    static LRESULT CALLBACK PickerGuard(HWND picker, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR writable) {
        if (message == kApplyVerdict) {
            ::EnableWindow(::GetDlgItem(picker, IDOK), writable != 0);
            return 0;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && writable == 0) {
            ::MessageBeep(MB_ICONWARNING);
            return 0;
        }
        if (message == WM_NCDESTROY) ::RemoveWindowSubclass(picker, PickerGuard, 1);
        return ::DefSubclassProc(picker, message, wParam, lParam);
    }

    void Browse() {
        browsing_ = true;
        const std::wstring previous = value_;
        const std::wstring title = ExpandText(L"Select folder");
        BROWSEINFOW info{};
        info.hwndOwner = ::GetAncestor(context_.list, GA_ROOT);
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        info.lpfn = PickerEvents;
        info.lParam = reinterpret_cast<LPARAM>(previous.c_str());
        const HRESULT ole = ::OleInitialize(nullptr);
        PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
        if (SUCCEEDED(ole)) ::OleUninitialize();
        std::wstring path;
        if (chosen != nullptr) {
            wchar_t buffer[MAX_PATH] = {};
            if (::SHGetPathFromIDListW(chosen, buffer)) path = buffer;
            ::CoTaskMemFree(chosen);
        }
        if (!path.empty()) {
            if (path.size() > 3 && path.back() != L'\\') path += L'\\';
            value_ = path;
        } else {
            value_ = previous;
        }
        ShowValueInEditor();
        browsing_ = false;
        if (editor_ != nullptr) ::SetFocus(editor_);
    }
};

// "OpenWith": the editor for a file type, from the shell's list for the type
// or any program; "<Browse>" opens the Open With dialog.
class OpenWithOption : public ChoiceOption {
public:
    OpenWithOption() : ChoiceOption(true, false) {}

    void LoadItems(pugi::xml_node element) override {
        ChoiceOption::LoadItems(element);
        std::wstring type = element.attribute(L"Name").value();
        if (!type.empty() && type.front() == L'.') type.erase(0, 1);
        if (type.empty()) return;
        OpenWithList list;
        list.BuildOpenWithList(type, true);
        for (const OpenWithEntry& entry : list.Entries()) choices_.push_back(OptionChoice{entry.m_desc, entry.m_ClassName, {}});
        type_ = type;
    }
    bool OnEditorCommand(WORD code) override {
        if (code != CBN_SELCHANGE || !IsBrowseChoice()) return false;
        browsing_ = true;
        COpenWithDlg dialog(::GetAncestor(context_.list, GA_ROOT), L"." + type_);
        if (dialog.DoModal() == IDOK && !dialog.ClassName().empty()) {
            value_ = dialog.ClassName();
            if (Matching() == nullptr) {
                choices_.push_back(OptionChoice{dialog.FriendlyName(), dialog.ClassName(), {}});
                if (editor_ != nullptr) {
                    const LRESULT at = ::SendMessageW(editor_, CB_ADDSTRING, 0,
                                                      reinterpret_cast<LPARAM>(dialog.FriendlyName().c_str()));
                    ::SendMessageW(editor_, CB_SETITEMDATA, static_cast<WPARAM>(at),
                                   static_cast<LPARAM>(choices_.size() - 1));
                }
            }
        }
        ShowValueInEditor();
        browsing_ = false;
        ::SetFocus(context_.list);
        return true;
    }

protected:
    std::wstring Unmatched() const override { return value_.empty() ? value_ : FindFriendlyName(value_); }

private:
    std::wstring type_;
};

}  // namespace

std::unique_ptr<OptionControl> CreateOptionControl(const std::wstring& kind) {
    if (kind == L"EditBox") return std::make_unique<EditBoxOption>();
    if (kind == L"HotKey") return std::make_unique<HotKeyOption>();
    if (kind == L"ComboBox") return std::make_unique<ChoiceOption>(false, true);
    if (kind == L"LanguageBox") return std::make_unique<LanguageBoxOption>();
    if (kind == L"FolderBrowser") return std::make_unique<FolderBrowserOption>();
    if (kind == L"CheckBox") return std::make_unique<CheckBoxOption>(L"true", L"false");
    if (kind == L"NumericCheckBox") return std::make_unique<CheckBoxOption>(L"1", L"0");
    if (kind == L"EditableComboBox") return std::make_unique<ChoiceOption>(true, false);
    if (kind == L"OpenWith") return std::make_unique<OpenWithOption>();
    if (kind == L"MultyProfile") return std::make_unique<MultyProfileOption>();
    return nullptr;
}
