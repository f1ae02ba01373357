#pragma once
// The automation server's entries in the registry: the application
// identity (resource 103), the CaptureEngine class (resource 104) and the
// type library stored in the program file.
#include <windows.h>

#include <map>
#include <string>

// The variables of the registration scripts for a program file.
std::map<std::wstring, std::wstring> RegistrationVariables(const std::wstring& modulePath);

// Both return false when an entry could not be written or removed; the
// AppID and CLSID keys themselves are never removed.
bool RegisterServer(HMODULE module);
bool UnregisterServer(HMODULE module);
