#pragma once
// The path field: an edit field that holds a folder or file path and carries
// its own small browse button inside its frame. The button (or Ctrl with the
// full-stop key) opens the folder picker or the file dialog seeded with the
// field's path; files and folders dropped from the shell are taken the same
// way, with shortcuts resolved to their targets. The parent hears of every
// browse and drop through WM_NOTIFY and may veto it.
#include "platform/SubclassedWindow.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class PathEditCtrl : public platform::SubclassedWindow {
public:
    // Mode flags.
    static constexpr DWORD kOpenFile = 0x0001;          // a file to open; it must exist
    static constexpr DWORD kMultipleFiles = 0x0002;     // several files chosen or dropped
    static constexpr DWORD kFolder = 0x0004;            // a folder
    static constexpr DWORD kTrailingBackslash = 0x0008; // folder paths end with "\"
    static constexpr DWORD kButtonLeft = 0x0010;        // the button at the left edge
    static constexpr DWORD kButtonTip = 0x0020;         // "Browse" over the button
    static constexpr DWORD kTextTip = 0x0040;           // the whole text over the edit area
    static constexpr DWORD kKeepShortcuts = 0x0100;     // ".lnk" and ".pif" are not resolved
    static constexpr DWORD kDescribedField = 0x0200;    // carried for described dialogs
    static constexpr DWORD kFlatButton = 0x0400;        // flat unless hovered or focused
    static constexpr DWORD kGreyDots = 0x0800;          // flat dots in the grey of the text
    static constexpr DWORD kSaveFile = 0x1000;          // a file name to save
    // What a "ui:path" item of a described dialog sets.
    static constexpr DWORD kDescribedFieldMode = 0x0624;
    static constexpr int kDescribedFieldButtonWidth = 50;

    // Button states; kFlat is added while the flat look is in force.
    static constexpr int kNormal = 1, kPressed = 2, kDisabled = 4, kFlat = 8;

    // The codes of the WM_NOTIFY record. A non-zero answer cancels the
    // browse (kBeforeBrowse) or keeps the old text (the other two).
    static constexpr UINT kBeforeBrowse = 1, kAfterBrowse = 2, kAfterDrop = 3;
    struct Notification {
        NMHDR header;
        PathEditCtrl* control;
        const wchar_t* text;  // the new text, or none
    };

    PathEditCtrl();
    ~PathEditCtrl() override;

    // Subclasses an edit field: drops accepted, tooltips made, frame
    // recalculated. False when the window cannot be taken.
    bool AttachField(HWND edit);

    // False, with nothing changed, for a mode with no browse bit, folders
    // together with files, or open together with save.
    bool SetMode(DWORD mode);
    DWORD GetMode() const;
    // Pixels, -1 for eight tenths of the client height; the previous width.
    int SetButtonWidth(int width);
    // Flags added to the folder picker's BIF_RETURNONLYFSDIRS.
    void AddFolderPickerFlags(UINT flags);

    void Browse();

    // The paths of the current text, one at a time.
    std::optional<std::wstring> FirstPath();
    std::optional<std::wstring> NextPath();

    // In window coordinates.
    RECT ButtonRect() const { return buttonRect_; }
    int ButtonState() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The file dialog's settings between browses.
    struct FileDialogState {
        bool save = false;
        DWORD flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        std::wstring filter;
        // While the dialog runs: its record, whose buffer grows with the
        // selection.
        OPENFILENAMEW* running = nullptr;
        std::wstring buffer;
        std::wstring okLabel;
    };

    static int CALLBACK FolderPickerCallback(HWND picker, UINT message, LPARAM, LPARAM data);
    static UINT_PTR CALLBACK FileDialogHook(HWND child, UINT message, WPARAM, LPARAM lParam);

    void CalculateFrame(RECT& client, const RECT& window);
    void RecalculateFrame();
    void PaintButton();
    void DrawButton(HDC windowDc);
    bool PointOnButton(POINT screen) const;
    void SetPressed(bool pressed);
    void TrackHover(bool nonClient);
    void EndHover();
    void UpdateTools();
    void RelayToTooltip(UINT message, LPARAM screenOrClient, bool nonClient);
    bool Notify(UINT code, const wchar_t* text);
    void BrowseForFolder();
    void BrowseForFile();
    void TakeDrop(HDROP drop);
    std::wstring Separator() const;

    DWORD mode_ = 0;
    bool pressed_ = false;
    int buttonWidth_ = -1;
    RECT buttonRect_{};
    bool capturing_ = false;
    bool hot_ = false;
    UINT folderFlags_ = 0;
    std::unique_ptr<FileDialogState> fileDialog_;
    std::wstring title_;
    std::vector<std::wstring> paths_;
    size_t nextPath_ = 0;
    std::wstring lastText_;
    HWND tooltip_ = nullptr;
};
