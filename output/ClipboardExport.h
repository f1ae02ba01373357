#pragma once
// Puts a capture on the clipboard as a device-independent bitmap, as an
// "HTML Format" fragment whose image points at a copy saved in the per-user
// temporary folder, and (unless the program option "ClipboardPng" is "0")
// as "PNG", the bytes of a PNG file of the picture, made in memory.
#include "output/CaptureImage.h"

#include <windows.h>

#include <optional>
#include <string>

class CaptureOptions;

// True when every format was placed, the DIB first. The copy on disk is written before
// the clipboard is opened, and of this program's copies the newest ten are
// kept. A clipboard held by another program gives false with nothing
// copied and no file left.
bool CopyCaptureToClipboard(CaptureOptions& options, const CCaptureImage& image, HWND owner);

// The "HTML Format" block for an image file, in UTF-8 (as the format is
// defined, whatever the system's code page) with its offsets counted in
// bytes, without the terminating NUL. Empty when the text does not fit in
// 1,024 bytes or the path is not valid UTF-16.
std::optional<std::string> BuildHtmlClipboardBlock(const std::wstring& imagePath, long width, long height);

// The folder of the clipboard's image copies, created when missing.
std::wstring ClipboardImageFolder();
