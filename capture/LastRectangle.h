#pragma once
// The rectangle of the last rectangle capture, kept in the program's key
// below HKEY_CURRENT_USER as "LastRectLeft", "LastRectTop", "LastRectRight"
// and "LastRectBottom" (REG_DWORD, each a signed screen coordinate), so that
// a later capture, of this run or of another, can take it again.
#include <windows.h>

#include <string>

// False when any of the four values is missing or not a REG_DWORD, when
// they make an empty or inverted rectangle, or when the rectangle lies on
// no monitor any more (a monitor that was unplugged, a resolution that
// shrank).
bool ReadLastRectangle(const std::wstring& programKey, RECT& rect);
// Writes the four values; false when the key cannot be written. An empty
// rectangle is not kept.
bool WriteLastRectangle(const std::wstring& programKey, const RECT& rect);
