#pragma once
// The in-place editors of the options dialog. Each option element names its
// editor in its "Control" attribute; the control keeps the value while the
// dialog runs, shows it in the list's value column, opens its editor window
// over the value cell on a click, and gives the value back for the commit.
#include <windows.h>

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

class OptionsDocument;

// What an editor needs of the dialog around it.
struct OptionsDialogContext {
    OptionsDocument* document = nullptr;
    HWND list = nullptr;  // the option list, parent of every editor
};

// The message that asks the dialog to commit, re-read and rebuild its list
// (posted to the option list, parameter 0).
constexpr UINT kRebuildOptionsMessage = WM_USER + 100;
// The identifier of every editor window.
constexpr int kOptionEditorId = 10000;

class OptionControl {
public:
    virtual ~OptionControl();
    // The stored value.
    virtual void SetValue(const std::wstring& value) = 0;
    // The value column's text for the current value.
    virtual void AppendDisplayText(std::vector<std::wstring>& row) const = 0;
    // The value to store; false for nothing.
    virtual bool GetValue(std::wstring& value) const = 0;
    // The choices, from the option element.
    virtual void LoadItems(pugi::xml_node) {}
    // Opens the editor over the cell (list coordinates), with the list's
    // font, the current value and the focus.
    HWND CreateEditor(const RECT& cell, HWND list, int row);
    // After the value was written into the document.
    virtual bool OnCommitted() { return false; }
    virtual bool OnAfterCommit() { return false; }

    // The editor's notifications (WM_COMMAND from its window, through the
    // list); true when handled.
    virtual bool OnEditorCommand(WORD code);
    // Ends the edit: the editor's value is taken and shown, and the editor
    // window goes.
    void EndEdit();
    // Closes the editor without taking its value.
    void CancelEdit();
    bool IsEditing() const { return editor_ != nullptr; }
    HWND Editor() const { return editor_; }
    void SetContext(const OptionsDialogContext& context) { context_ = context; }

protected:
    // Makes the editor window; null when it cannot.
    virtual HWND MakeEditor(const RECT& cell, HWND list) = 0;
    // Once the editor has the focus.
    virtual void OnEditorShown() {}
    // Takes the editor's current value before it goes.
    virtual void TakeEditorValue() = 0;
    // After the edit ended and the row shows the value.
    virtual void OnEditEnded() {}

    OptionsDialogContext context_;
    HWND editor_ = nullptr;
    int row_ = -1;
    // While a picker opened from the editor runs, losing the focus does not
    // end the edit.
    bool browsing_ = false;

private:
    class EditorHook;
    friend class EditorHook;
    std::vector<std::unique_ptr<EditorHook>> hooks_;
};

// The control for a "Control" text; nullptr for an unknown text.
std::unique_ptr<OptionControl> CreateOptionControl(const std::wstring& kind);

// One choice of a drop-down: its translated name and its stored value.
struct OptionChoice {
    std::wstring name;
    std::wstring value;
    std::wstring extra;  // a language's file
};
