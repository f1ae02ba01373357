#pragma once
// File helpers for tests that work on real files in the Wine prefix.
#include <windows.h>

#include <string>
#include <vector>

namespace testfiles {

std::string Read(const std::wstring& path);
void Write(const std::wstring& path, const std::string& data);
void Remove(const std::wstring& path);
void RemoveTree(const std::wstring& folder);
// File names (not folders) in a folder.
std::vector<std::wstring> List(const std::wstring& folder);
// Sets a file's last-write time to now plus offsetSeconds.
void SetWriteTime(const std::wstring& path, long long offsetSeconds);
// A folder that no one, root included, can create files in.
std::wstring UnwritableFolder();

}  // namespace testfiles
