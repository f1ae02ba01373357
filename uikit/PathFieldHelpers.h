#pragma once
// The arithmetic and texts of the path field (uikit/PathEditCtrl), without
// windows: the button's automatic width, the mode rules, and the paths of a
// field's text, a drop and a file dialog's answer.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pathfield {

// Eight tenths of the client height.
int AutomaticButtonWidth(int clientHeight);
// Whether the mode word is one a field accepts.
bool IsValidMode(DWORD mode);
// The drive and directory of a path, with its trailing "\".
std::wstring FolderOf(const std::wstring& path);
// The text for several paths: the first whole, each further one after the
// separator, shortened to its file name when it lies in the first one's
// folder.
std::wstring JoinPaths(const std::vector<std::wstring>& paths, const std::wstring& separator);
// A ".lnk" or ".pif" file, by its last four characters.
bool IsShortcutFile(const std::wstring& path);
// The target of a shortcut file; the path itself when it cannot be resolved.
std::wstring ResolveShortcut(const std::wstring& path);
// The full paths of a field's text: split at the separator, trimmed, empty
// and relative entries completed from the first entry's folder, the folder
// backslash rule applied and (in open mode) shortcuts resolved.
std::vector<std::wstring> SplitPaths(const std::wstring& text, const std::wstring& separator, DWORD mode,
                                     const std::function<std::wstring(const std::wstring&)>& resolve = ResolveShortcut);
// The full paths of the files a file dialog's answer names. buffer is the
// whole file-name buffer, which still holds whatever the dialog did not
// write over. Without multiple selection the answer is the buffer's first
// string, one full path. With it, several files come as the folder, a zero
// just before fileOffset, then each name ended by a zero and the list by a
// second zero; a single file is still one full path.
std::vector<std::wstring> ChosenFiles(std::wstring_view buffer, bool multipleSelection, size_t fileOffset);

}  // namespace pathfield
