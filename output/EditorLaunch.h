#pragma once
// Opens a saved capture in the editor chosen for its file type.
#include <string>

class CaptureOptions;

// Returns false when there is nothing to open (an empty path) or the editor
// could not be started.
bool RunImageEditor(CaptureOptions& options, const std::wstring& path);
