#pragma once
// A hot-key combination and its three text forms: the stored text that the
// options keep, the parsed form of a stored or described value, and the
// display text with the keyboard layout's and the program's key names.
//
// Modifiers come in two encodings. Registration bits (MOD_ALT 1, MOD_CONTROL
// 2, MOD_SHIFT 4) are what RegisterHotKey takes and what the texts use; field
// bits (HOTKEYF_SHIFT 1, HOTKEYF_CONTROL 2, HOTKEYF_ALT 4) are what the
// platform's hot-key field reports.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

struct HotKey {
    uint16_t virtualKey = 0;  // 0: no key
    uint16_t modifiers = 0;   // registration bits

    bool operator==(const HotKey&) const = default;
};

constexpr uint16_t kModAlt = 1, kModControl = 2, kModShift = 4;        // registration bits
constexpr uint16_t kFieldShift = 1, kFieldControl = 2, kFieldAlt = 4;  // field bits

constexpr uint16_t kVkPrintScreen = 44;
constexpr uint16_t kVkPause = 19;

// Bits outside the three modifiers are dropped.
uint16_t FieldToRegistrationModifiers(uint16_t fieldBits);
uint16_t RegistrationToFieldModifiers(uint16_t registrationBits);

// Ctrl, Shift and Alt in that order, each followed by " + ", named by the
// keyboard layout; then the key: the translated "PrnScr", "Pause" and
// navigation-key texts ("PageUpKey" ... "DeleteKey") for those keys, the
// layout's name for any other. An empty result is the "None" text; a
// combination without a key keeps its trailing " + ".
std::wstring FormatHotKeyForDisplay(uint16_t modifiers, uint16_t virtualKey);

// "Ctrl + Shift + 44": the modifier words, then the key code in decimal. The
// words are always the English ones that ParseHotKeyText looks for, so that a
// stored key reads back with its modifiers whatever the keyboard layout.
std::wstring FormatHotKeyForStorage(uint16_t modifiers, uint16_t virtualKey);

// Reads a stored text: "Ctrl", "Alt" and "Shift" anywhere set their modifiers,
// the key code is the decimal number after the last "+" (the whole text when
// there is none). Nothing when the text holds no key code, or one outside the
// virtual-key range 1 to 254: such a value means "no hot key".
std::optional<HotKey> ParseHotKeyText(const std::wstring& text);

// The keyboard layout's name of a key; empty when the layout has none. The
// navigation keys (33 to 40, 45, 46) are asked for as extended keys, so that
// they read "Page Up" and "Delete" rather than the numeric pad's names.
std::wstring GetKeyName(uint16_t virtualKey);
