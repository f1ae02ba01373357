#pragma once
// The options dialog, generated from the options document: every element
// with a "Name" is an entry, its "Description" the help text, its "Control"
// the in-place editor of its "Value". Entries without an editor are groups
// whose entries follow them in the list. The deriving application dialog
// supplies the texts, the list's look and what OK, Restore Defaults and the
// profiles group mean for it.
#include "options/OptionControls.h"
#include "platform/Dialog.h"
#include "platform/SubclassedWindow.h"

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

class OptionsDocument;

struct OptionItem {
    std::wstring name;
    std::wstring description;
    std::unique_ptr<OptionControl> control;
    std::vector<std::unique_ptr<OptionItem>> children;
    pugi::xml_node element;
};

class OptionsDLG : public platform::Dialog {
public:
    static constexpr WORD kTreeId = 1002, kListId = 1003, kDescriptionId = 1006, kOkId = 1011,
                          kRestoreDefaultsId = 3;
    // Entries nested deeper than this below the root are left out (and so
    // never written), as the dialog descriptions do: a file nested a
    // hundred thousand levels deep still opens a working dialog, and every
    // walk of the entries stays this shallow.
    static constexpr int kMaxOptionDepth = 64;

    explicit OptionsDLG(OptionsDocument& document);
    ~OptionsDLG() override;

    INT_PTR DoModal(HWND parent);
    // The same dialog without its own modal loop; OK and Cancel destroy it.
    HWND CreateModelessDialog(HWND parent);

    // The rows as shown: name and value column, for callers and tests.
    std::vector<std::pair<std::wstring, std::wstring>> Rows() const;
    // Opens the editor of the row (as a click in its value column does);
    // false for a row without one.
    bool OpenEditor(int row);
    OptionControl* ActiveControl() const { return active_; }

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Reads one option element into item; false drops it. failure receives
    // an internal reason, never shown.
    virtual bool ReadOptionItem(pugi::xml_node element, OptionItem& item, std::wstring& failure);
    // Called before the standard reading; false when the hook filled the item
    // itself, with handled as the result.
    virtual bool FilterOptionItem(pugi::xml_node element, OptionItem& item, bool& handled);
    // Fills item from the element's own attributes, without its children.
    void FillOptionItem(pugi::xml_node element, OptionItem& item);
    // Adds the item's row and, for a group, its entries' rows.
    virtual void AddRow(OptionItem& item, int depth);
    // Writes the values of the item's subtree into the document; true when
    // the item had a control.
    bool CommitOptionItem(OptionItem& item);

    // The dialog's texts (title and buttons), set again on every rebuild.
    virtual void SetDialogTexts();
    // Look of the list before the first rows.
    virtual void SetUpList(HWND list);
    // After the values are committed: save and apply them. False shows the
    // save failure and keeps the dialog open.
    virtual bool SaveAndApply() = 0;
    // Replaces the user's options with the defaults; false when it failed.
    virtual bool RestoreDefaults() = 0;
    // Cancel: the document as saved, and its languages.
    virtual void DiscardChanges() = 0;

    OptionsDocument& document_;

private:
    class ListHook;
    std::vector<WORD> BuildTemplate() const;
    void Rebuild(bool commitFirst);
    void BuildTree();
    void ShowDescription();
    void OnListClick(int row, int column);
    void OnOk();
    void OnRestoreDefaults();
    OptionItem* ItemOfRow(int row) const;
    std::wstring RowText(int row, int column) const;
    // The first row from start on (wrapping) whose name begins with prefix,
    // or -1.
    int FindRow(const std::wstring& prefix, int start) const;
    void TypeAhead(wchar_t letter);
    bool TypeAheadRunning() const { return !search_.empty() && ::GetTickCount() - lastLetterTime_ <= 1000; }

    struct Row {
        OptionItem* item;
        int depth;
    };
    std::vector<Row> rows_;

    std::vector<std::unique_ptr<OptionItem>> roots_;
    // How many ReadOptionItem calls are under way, the hook's included.
    int readDepth_ = 0;
    std::unique_ptr<ListHook> listHook_;
    OptionControl* active_ = nullptr;
    HWND list_ = nullptr;
    HWND tree_ = nullptr;
    // After Restore Defaults the entries name elements of the document that
    // was replaced: they must not be written.
    bool entriesStale_ = false;
    std::wstring search_;
    DWORD lastLetterTime_ = 0;
};
