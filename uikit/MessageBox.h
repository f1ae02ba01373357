#pragma once
// The program's message boxes: the product name as caption, brought to the
// front because captures usually start while another program is active.
#include <windows.h>

#include <string>

int ShowProgramMessage(const std::wstring& text, UINT flags = MB_OK | MB_ICONWARNING, HWND owner = nullptr);
