#pragma once
// The base of every described dialog: reads its description by id from a
// description file beside the program, measures the texts with the GUI
// font, lays the controls out, and creates the dialog from an in-memory
// template. A deriving dialog finds its controls by name and hears of
// button presses through OnButton.
#include "platform/Dialog.h"
#include "uikit/DialogDescription.h"

class HookedHotKeyCtrl;
class PathEditCtrl;
class TipsViewer;

#include <memory>
#include <string>
#include <vector>

class XmlDialog : public platform::Dialog {
public:
    // fileName is a file in the program folder, or a full path.
    XmlDialog(HWND parent, std::wstring dialogId, std::wstring fileName = L"commonui.xml");
    ~XmlDialog() override;

    // Runs the dialog modally: 1 for "ok", 2 for "cancel", or what OnButton
    // ended it with.
    INT_PTR DoModal();
    // Creates it without running it (hidden until shown).
    HWND CreateModelessDialog();

    const DialogDescription& Description() const { return description_; }
    // The template entries in the order of the dialog's controls.
    const std::vector<TemplateEntry>& Controls() const { return entries_; }
    // The control of that name (the first one, where several share it).
    HWND ControlByName(const std::wstring& name) const;
    LayoutControl* FindByName(const std::wstring& name) const;
    WORD IdOf(const std::wstring& name) const { return ids_.Find(name); }
    // The field behind a "ui:path" or "ui:hotkey" item of that name.
    PathEditCtrl* PathFieldByName(const std::wstring& name) const;
    HookedHotKeyCtrl* HotKeyFieldByName(const std::wstring& name) const;
    // The viewer of the "ui:tips" item, or nullptr.
    TipsViewer* Tips() const { return tips_.get(); }

protected:
    // Every button press but "ok" and "cancel", by control identifier.
    virtual void OnButton(WORD) {}
    // After the controls are attached.
    virtual void OnInitDialog() {}
    // A path field's notice (before a browse, after a browse, after a drop,
    // with the new text or none); true vetoes it.
    virtual bool OnPathNotify(WORD, UINT /*code*/, const wchar_t* /*text*/) { return false; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Fonts;
    void LoadDescription();
    std::vector<WORD> BuildTemplate();
    void AttachControls();
    HBRUSH ControlColours(HDC dc, HWND control);
    void ShowPathMessage(HWND control, const std::wstring& path);
    LayoutControl* ItemOf(HWND control) const;

    HWND parent_;
    std::wstring dialogId_;
    std::wstring fileName_;
    DialogDescription description_;
    ControlIds ids_;
    std::vector<TemplateEntry> entries_;
    std::vector<HWND> windows_;  // the control of each entry
    std::unique_ptr<Fonts> fonts_;
    std::vector<HBITMAP> bitmaps_;
    std::vector<std::unique_ptr<PathEditCtrl>> pathFields_;
    std::vector<std::unique_ptr<HookedHotKeyCtrl>> hotKeyFields_;
    std::unique_ptr<TipsViewer> tips_;
    HBRUSH whiteBrush_ = nullptr;
    HCURSOR handCursor_ = nullptr;
};

// Opens a link target with the shell's "open" verb on a thread of its own,
// so that the dialog never waits for the browser.
void OpenLinkInBackground(const std::wstring& target);
