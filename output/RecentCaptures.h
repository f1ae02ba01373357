#pragma once
// The user's recent captures: the full paths of the last ten saved files,
// newest first, kept in the program's key as "Recent1" ... "Recent10".
#include <windows.h>

#include <string>
#include <vector>

inline constexpr int kRecentCaptureCount = 10;

// Whether a stored value may name a recent capture: a full path (a drive
// letter and a backslash, or a "\\server\share" path), at most 32,767
// characters, without a NUL inside. Says nothing of the file itself.
bool IsRecentCapturePath(const std::wstring& path);

// The listed files that still exist, newest first. Values of another type,
// that are no full path, too long, a folder or a missing file are left out
// (and stay stored). Empty for an empty program key.
std::vector<std::wstring> ReadRecentCaptures(const std::wstring& programKey);

// Puts path at the top of the list; a path listed already moves up, and the
// oldest beyond ten drop off. False when path is no full path or the key
// could not be written.
bool AddRecentCapture(const std::wstring& programKey, const std::wstring& path);

// Removes every "RecentN" value.
void ClearRecentCaptures(const std::wstring& programKey);
