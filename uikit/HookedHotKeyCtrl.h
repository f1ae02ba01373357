#pragma once
// The hot-key field of the options dialog and the wizard: the platform's
// hot-key field ("msctls_hotkey32"), subclassed so that it
//  - sees the Print Screen key, which the platform field never gets, by
//    polling it while the field has the focus;
//  - draws its text with the program's key names (FormatHotKeyForDisplay);
//  - reserves the combination it accepts as a real system hot key against
//    the application's main window, so that a combination that another
//    program or another field holds is refused with a beep and the field
//    keeps its previous key.
// While the field has the focus its reservation is released, so that the
// user can type the combination it holds.
#include "platform/SubclassedWindow.h"
#include "uikit/HotKey.h"

#include <windows.h>

class HookedHotKeyCtrl : public platform::SubclassedWindow {
public:
    static constexpr UINT_PTR kPollTimerId = 1;
    static constexpr UINT kPollIntervalMs = 100;

    // Takes the field's own hot-key identifier.
    HookedHotKeyCtrl();
    ~HookedHotKeyCtrl() override;

    // Makes a "msctls_hotkey32" child with a border and attaches to it. The
    // ui:hotkey layout item makes its own window and calls Attach instead.
    bool Create(HWND parent, const RECT& rect, UINT controlId);

    // Shows the combination (modifiers in field bits, HOTKEYF_*) and tries to
    // make it the accepted one; a refused combination leaves the previous
    // one shown and accepted.
    void SetHotKey(WORD virtualKey, WORD fieldModifiers);
    // The accepted combination, modifiers in field bits; 0, 0 for none.
    void GetHotKey(WORD& virtualKey, WORD& fieldModifiers) const;

    // The text the field draws: its current content, with the key names.
    std::wstring GetDisplayText() const;
    ATOM GetHotKeyId() const { return m_hotKeyId; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A combination was refused because it is taken: the default beep.
    virtual void OnCombinationRefused();

private:
    void Accept(WORD virtualKey, WORD fieldModifiers);
    bool Reserve(WORD virtualKey, WORD fieldModifiers);
    // Quietly: a combination taken meanwhile stays unreserved.
    void ReserveAccepted();
    void Release();
    void ShowInField(WORD virtualKey, WORD fieldModifiers);
    void PollPrintScreen(bool printScreenReleased);
    void Paint(HDC dc);

    ATOM m_hotKeyId = 0;
    UINT_PTR m_timerId = 0;
    WORD m_acceptedKey = 0;
    WORD m_acceptedModifiers = 0;  // field bits

    // The window the reservation was made against, which must also be the
    // one it is released from, even if the main window has changed since.
    HWND m_reservedWindow = nullptr;
    bool m_reserved = false;
    // The Print Screen combination the poll last acted on, so that a key held
    // down across several polls is taken (or refused, with a beep) once.
    WORD m_polledModifiers = 0;
    bool m_polled = false;
};
