#pragma once
// Text as glyph outlines, so that markup text can be filled and outlined,
// anti-aliased, at any scale. The outlines come from GDI, shaped by
// Uniscribe: GDI's font mapper stands in for a missing face, characters
// beyond the basic plane (surrogate pairs) are one glyph each, characters
// the face lacks come from a face that has them, and the result is the
// same wherever GDI+'s own string paths are not dependable.
#include <windows.h>

#include <string>

namespace Gdiplus {
class GraphicsPath;
}  // namespace Gdiplus

// Adds the outlines of text (lines split at L'\n', each below the one
// before) in the face, bold, at an em height of `pixels`, the first line's
// top-left at (left, top). A face that is not installed falls back to the
// system's sans serif; characters the face has no glyph for are taken from
// the installed fallback face that lacks fewest of them. The path's fill
// mode becomes winding, as glyph outlines need. False when nothing was
// added (no font, or no glyph with an outline: empty text, only spaces or
// line breaks).
bool AddTextOutline(Gdiplus::GraphicsPath& path, const std::wstring& text, const std::wstring& face, float pixels,
                    float left, float top);
