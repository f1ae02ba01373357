#pragma once
// Answers the next dialog that this process shows (a message box or a file
// dialog) from a second thread, the way a user would.
#include <windows.h>

#include <functional>
#include <future>
#include <string>

namespace dialogs {

// The first visible dialog window of this process, or null.
HWND FindProcessDialog();

// Waits (up to timeoutMs) for a dialog, hands it to act on the watcher's
// thread, and makes act's result available.
std::future<std::wstring> Answer(std::function<std::wstring(HWND)> act, DWORD timeoutMs = 15000);

// Reads a message box's text and presses OK.
std::future<std::wstring> AnswerMessageBox();

}  // namespace dialogs
