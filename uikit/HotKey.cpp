#include "uikit/HotKey.h"

#include "uikit/TextCatalog.h"

#include <cwctype>
#include <vector>

namespace {

// The last code a virtual key can have; 255 is reserved.
constexpr unsigned kLastVirtualKey = 254;

bool IsNavigationKey(uint16_t virtualKey) {
    return (virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN) || virtualKey == VK_INSERT || virtualKey == VK_DELETE;
}

// The program's own names for the keys that layouts name badly: Print Screen
// and Pause have none on some layouts, and Wine's layouts give the navigation
// keys the X server's names ("Prior", "Next"). Text-catalog keys, so that the
// language files name them.
const wchar_t* ProgramKeyName(uint16_t virtualKey) {
    switch (virtualKey) {
    case kVkPrintScreen: return L"PrnScr";
    case kVkPause: return L"Pause";
    case VK_PRIOR: return L"PageUpKey";
    case VK_NEXT: return L"PageDownKey";
    case VK_END: return L"EndKey";
    case VK_HOME: return L"HomeKey";
    case VK_LEFT: return L"LeftKey";
    case VK_UP: return L"UpKey";
    case VK_RIGHT: return L"RightKey";
    case VK_DOWN: return L"DownKey";
    case VK_INSERT: return L"InsertKey";
    case VK_DELETE: return L"DeleteKey";
    default: return nullptr;
    }
}

// The layout's name of the key with this scan-code request; the buffer grows
// until the name fits, up to a size no key name comes near.
std::wstring KeyNameText(LONG request) {
    for (int size = 128; size <= 8192; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const int length = ::GetKeyNameTextW(request, buffer.data(), size);
        if (length <= 0) return {};
        if (length < size - 1) return std::wstring(buffer.data(), length);
    }
    return {};
}

void AppendModifierNames(std::wstring& text, uint16_t modifiers, const std::wstring& ctrl, const std::wstring& shift,
                         const std::wstring& alt) {
    // Always Ctrl, Shift, Alt, whatever the order of the bits.
    if (modifiers & kModControl) text += ctrl + L" + ";
    if (modifiers & kModShift) text += shift + L" + ";
    if (modifiers & kModAlt) text += alt + L" + ";
}

}  // namespace

uint16_t FieldToRegistrationModifiers(uint16_t fieldBits) {
    uint16_t bits = 0;
    if (fieldBits & kFieldShift) bits |= kModShift;
    if (fieldBits & kFieldControl) bits |= kModControl;
    if (fieldBits & kFieldAlt) bits |= kModAlt;
    return bits;
}

uint16_t RegistrationToFieldModifiers(uint16_t registrationBits) {
    uint16_t bits = 0;
    if (registrationBits & kModShift) bits |= kFieldShift;
    if (registrationBits & kModControl) bits |= kFieldControl;
    if (registrationBits & kModAlt) bits |= kFieldAlt;
    return bits;
}

std::wstring GetKeyName(uint16_t virtualKey) {
    const UINT scanCode = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LONG request = static_cast<LONG>((scanCode & 0xFF) << 16);
    if (IsNavigationKey(virtualKey)) request |= 1 << 24;
    return KeyNameText(request);
}

std::wstring FormatHotKeyForDisplay(uint16_t modifiers, uint16_t virtualKey) {
    std::wstring text;
    AppendModifierNames(text, modifiers, GetKeyName(VK_CONTROL), GetKeyName(VK_SHIFT), GetKeyName(VK_MENU));
    // Looked up on every call rather than kept: the language can change while
    // the program runs, and a field must then show the new language's names.
    if (const wchar_t* name = ProgramKeyName(virtualKey)) {
        text += ExpandText(name);
    } else if (virtualKey != 0) {
        text += GetKeyName(virtualKey);
    }
    return text.empty() ? ExpandText(L"None") : text;
}

std::wstring FormatHotKeyForStorage(uint16_t modifiers, uint16_t virtualKey) {
    std::wstring text;
    AppendModifierNames(text, modifiers, L"Ctrl", L"Shift", L"Alt");
    return text + std::to_wstring(virtualKey);
}

std::optional<HotKey> ParseHotKeyText(const std::wstring& text) {
    HotKey key;
    if (text.find(L"Ctrl") != std::wstring::npos) key.modifiers |= kModControl;
    if (text.find(L"Alt") != std::wstring::npos) key.modifiers |= kModAlt;
    if (text.find(L"Shift") != std::wstring::npos) key.modifiers |= kModShift;

    const size_t plus = text.rfind(L'+');
    size_t at = plus == std::wstring::npos ? 0 : plus + 1;
    while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) ++at;
    // Digits are read one by one, not with wcstoul, which would take a sign
    // and wrap a long number round to some other key.
    unsigned code = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at, ++digits) {
        code = code * 10 + static_cast<unsigned>(text[at] - L'0');
        if (code > kLastVirtualKey) return std::nullopt;
    }
    if (digits == 0 || code == 0) return std::nullopt;
    key.virtualKey = static_cast<uint16_t>(code);
    return key;
}
