#include "uikit/HookedHotKeyCtrl.h"

#include "platform/Gdi.h"
#include "uikit/CorvaneApp.h"

#include <commctrl.h>

#include <cstdio>

namespace {

// Every field gets an identifier of its own for the process's life: the
// counter only grows, so a name is never made twice.
ATOM TakeHotKeyId() {
    static int counter = 0;
    wchar_t name[64];
    std::swprintf(name, 64, L"$$HookedHotKeyCtrl_%d", ++counter);
    return ::GlobalAddAtomW(name);
}

HWND MainWindow() {
    CCorvaneApp* app = CCorvaneApp::Current();
    return app != nullptr ? app->GetMainWindow() : nullptr;
}

bool IsDown(int virtualKey) { return (::GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

bool IsModifierKey(WPARAM virtualKey) {
    switch (virtualKey) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU:
    case VK_LSHIFT: case VK_RSHIFT: case VK_LCONTROL: case VK_RCONTROL: case VK_LMENU: case VK_RMENU:
    case VK_LWIN: case VK_RWIN:
        return true;
    default:
        return false;
    }
}

bool AnyModifierDown() { return IsDown(VK_SHIFT) || IsDown(VK_CONTROL) || IsDown(VK_MENU); }

}  // namespace

HookedHotKeyCtrl::HookedHotKeyCtrl() : m_hotKeyId(TakeHotKeyId()) {}

HookedHotKeyCtrl::~HookedHotKeyCtrl() {
    if (hwnd() != nullptr && m_timerId != 0) ::KillTimer(hwnd(), m_timerId);
    Release();
    if (m_hotKeyId != 0) ::GlobalDeleteAtom(m_hotKeyId);
}

bool HookedHotKeyCtrl::Create(HWND parent, const RECT& rect, UINT controlId) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&controls);
    HWND window = ::CreateWindowExW(0, HOTKEY_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER, rect.left,
                                    rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(controlId)),
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return false;
    if (Attach(window)) return true;
    ::DestroyWindow(window);
    return false;
}

void HookedHotKeyCtrl::SetHotKey(WORD virtualKey, WORD fieldModifiers) {
    ShowInField(virtualKey, fieldModifiers);
    Accept(virtualKey, fieldModifiers);
}

void HookedHotKeyCtrl::GetHotKey(WORD& virtualKey, WORD& fieldModifiers) const {
    virtualKey = m_acceptedKey;
    fieldModifiers = m_acceptedModifiers;
}

std::wstring HookedHotKeyCtrl::GetDisplayText() const {
    const LRESULT content = hwnd() != nullptr ? ::SendMessageW(hwnd(), HKM_GETHOTKEY, 0, 0) : 0;
    return FormatHotKeyForDisplay(FieldToRegistrationModifiers(HIBYTE(LOWORD(content))), LOBYTE(LOWORD(content)));
}

void HookedHotKeyCtrl::Accept(WORD virtualKey, WORD fieldModifiers) {
    // Modifiers without a key are a combination still being typed.
    if (virtualKey == 0 && fieldModifiers != 0) return;
    if (virtualKey == m_acceptedKey && fieldModifiers == m_acceptedModifiers) return;
    Release();
    // A cleared field means "no hot key", which holds nothing to reserve.
    if (virtualKey == 0 || Reserve(virtualKey, fieldModifiers)) {
        m_acceptedKey = virtualKey;
        m_acceptedModifiers = fieldModifiers;
        return;
    }
    OnCombinationRefused();
    ReserveAccepted();
    // The field would otherwise show a combination that it does not hold.
    ShowInField(m_acceptedKey, m_acceptedModifiers);
}

bool HookedHotKeyCtrl::Reserve(WORD virtualKey, WORD fieldModifiers) {
    HWND window = MainWindow();
    if (!::RegisterHotKey(window, m_hotKeyId, FieldToRegistrationModifiers(fieldModifiers), virtualKey)) return false;
    m_reservedWindow = window;
    m_reserved = true;
    return true;
}

void HookedHotKeyCtrl::ReserveAccepted() {
    if (!m_reserved && m_acceptedKey != 0) Reserve(m_acceptedKey, m_acceptedModifiers);
}

void HookedHotKeyCtrl::Release() {
    if (!m_reserved) return;
    ::UnregisterHotKey(m_reservedWindow, m_hotKeyId);
    m_reserved = false;
    m_reservedWindow = nullptr;
}

void HookedHotKeyCtrl::ShowInField(WORD virtualKey, WORD fieldModifiers) {
    if (hwnd() == nullptr) return;
    ::SendMessageW(hwnd(), HKM_SETHOTKEY, MAKEWORD(virtualKey, fieldModifiers), 0);
    ::InvalidateRect(hwnd(), nullptr, TRUE);
}

void HookedHotKeyCtrl::OnCombinationRefused() { ::MessageBeep(MB_OK); }

void HookedHotKeyCtrl::PollPrintScreen(bool printScreenReleased) {
    // Only the field being typed into takes the key: the other fields of the
    // dialog poll too, and would otherwise all grab the same press.
    if (::GetFocus() != hwnd()) return;
    const bool down = IsDown(VK_SNAPSHOT);
    if (!down) {
        // A tap shorter than the poll interval is seen only by its key-up;
        // a press the poll has seen is done with.
        const bool unseen = printScreenReleased && !m_polled;
        m_polled = false;
        if (!unseen) return;
    }
    WORD modifiers = 0;
    if (IsDown(VK_SHIFT)) modifiers |= HOTKEYF_SHIFT;
    if (IsDown(VK_CONTROL)) modifiers |= HOTKEYF_CONTROL;
    if (IsDown(VK_MENU)) modifiers |= HOTKEYF_ALT;
    if (down) {
        if (m_polled && m_polledModifiers == modifiers) return;
        m_polled = true;
        m_polledModifiers = modifiers;
    }
    SetHotKey(kVkPrintScreen, modifiers);
}

void HookedHotKeyCtrl::Paint(HDC dc) {
    RECT client;
    ::GetClientRect(hwnd(), &client);
    const bool enabled = ::IsWindowEnabled(hwnd()) != FALSE;
    ::FillRect(dc, &client, ::GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    platform::SelectedObject font(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    const std::wstring text = GetDisplayText();
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    // The platform field puts its caret after the text it drew itself; this
    // text has other names, so the caret follows it here.
    if (::GetFocus() == hwnd()) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        ::SetCaretPos(client.left + extent.cx, client.top);
    }
}

LRESULT HookedHotKeyCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFOCUS:
        Release();
        break;
    case WM_KILLFOCUS: {
        const LRESULT result = Default(message, wParam, lParam);
        ReserveAccepted();
        m_polled = false;
        // Whatever was being typed, the field shows the key it holds.
        ShowInField(m_acceptedKey, m_acceptedModifiers);
        return result;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        // The platform field takes the key first; what it then holds is the
        // change it reports.
        const LRESULT result = Default(message, wParam, lParam);
        const bool keyUp = message == WM_KEYUP || message == WM_SYSKEYUP;
        if (keyUp) PollPrintScreen(wParam == VK_SNAPSHOT);
        const LRESULT content = ::SendMessageW(hwnd(), HKM_GETHOTKEY, 0, 0);
        const WORD key = LOBYTE(LOWORD(content)), modifiers = HIBYTE(LOWORD(content));
        if (key != 0) {
            Accept(key, modifiers);
        } else if (!keyUp && !IsModifierKey(wParam)) {
            // Backspace and the like empty the field: no hot key.
            Accept(0, 0);
        } else if (keyUp && !AnyModifierDown()) {
            // The field reports no key while modifiers alone are held, and
            // still none when they are let go: the typing ended without a
            // combination, and the field shows again what it holds.
            ShowInField(m_acceptedKey, m_acceptedModifiers);
        }
        return result;
    }
    case WM_TIMER:
        if (wParam != kPollTimerId) break;
        PollPrintScreen(false);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // Paint fills the whole field.
    case WM_PAINT: {
        if (m_timerId == 0) m_timerId = ::SetTimer(hwnd(), kPollTimerId, kPollIntervalMs, nullptr);
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd(), &ps);
        Paint(dc);
        ::EndPaint(hwnd(), &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_DESTROY:
        if (m_timerId != 0) ::KillTimer(hwnd(), m_timerId);
        m_timerId = 0;
        // The reservation is made against the main window, which outlives
        // the dialog: left in place it would keep the combination taken.
        Release();
        break;
    }
    return Default(message, wParam, lParam);
}
