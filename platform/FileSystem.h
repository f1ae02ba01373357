#pragma once
// File-system helpers over the Win32 API, for the few places that read or
// write whole files and compare their times.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

bool FileExists(const std::wstring& path);       // a file, not a folder
bool DirectoryExists(const std::wstring& path);
bool PathExists(const std::wstring& path);       // a file or a folder

// Last-write time as a 64-bit file time; empty when the file cannot be read.
std::optional<ULONGLONG> LastWriteTime(const std::wstring& path);

// Reads a whole file; empty optional when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// Writes data to a temporary file beside path, flushes it and moves it over
// path in one step, so that a failure at any point leaves the previous file
// as it was and no temporary file behind. Returns false on failure.
bool ReplaceFileContents(const std::wstring& path, const std::string& data);

// Copies source over target through a temporary file beside target, so
// that target is either the old file or a complete copy. The copy keeps the
// source's last-write time but not its read-only attribute.
bool CopyFileReplacing(const std::wstring& source, const std::wstring& target);

// A new empty file beside path whose name no one else has; empty when the
// folder cannot be written.
std::wstring CreateTempFileBeside(const std::wstring& path);

// Moves temp over path in one step; on failure temp is deleted.
bool MoveFileReplacing(const std::wstring& temp, const std::wstring& path);

// The full path of the running executable.
std::wstring ModuleFileName(HMODULE module = nullptr);

// The folder of the running executable, with its trailing backslash: where
// the program's description, language and help files lie.
std::wstring GetProgramFolder();

// The bytes of a resource of the module (the program file by default); empty
// when it has none. They live as long as the module stays loaded.
std::string_view ResourceData(int id, const wchar_t* type, HMODULE module = nullptr);

// The folder part of a path up to and including its last backslash.
std::wstring FolderOf(const std::wstring& path);

std::wstring WithTrailingBackslash(std::wstring path);

}  // namespace platform
