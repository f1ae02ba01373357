#pragma once
// Opening files and folders the way Explorer would, through the shell.
#include <windows.h>

#include <string>

// Opens a file or folder with its default program (the shell's "open"
// verb). False when the shell refused or the path is empty.
bool OpenWithShell(const std::wstring& path, HWND owner = nullptr);

// Opens the folder of a file with the file selected
// (SHOpenFolderAndSelectItems). Where the shell refuses that, the folder
// opens through its own "open" verb without the selection. False when
// neither worked. (Wine 8 opens its own folder window, without selecting.)
bool OpenFolderSelectingFile(const std::wstring& file, HWND owner = nullptr);
