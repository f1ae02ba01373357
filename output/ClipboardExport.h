#pragma once
// Puts a capture on the clipboard as a device-independent bitmap and as an
// "HTML Format" fragment whose image points at a copy saved in the per-user
// temporary folder.
#include "output/CaptureImage.h"

#include <windows.h>

#include <optional>
#include <string>

class CaptureOptions;

// True when both formats were placed. A clipboard held by another program
// gives false with nothing copied and no file written.
bool CopyCaptureToClipboard(CaptureOptions& options, const CCaptureImage& image, HWND owner);

// The "HTML Format" block for an image file, in the ANSI code page, without
// the terminating NUL. Empty when the text does not fit in 1,024 bytes or
// the path cannot be written in the ANSI code page.
std::optional<std::string> BuildHtmlClipboardBlock(const std::wstring& imagePath, long width, long height);

// The folder of the clipboard's image copies, created when missing.
std::wstring ClipboardImageFolder();
