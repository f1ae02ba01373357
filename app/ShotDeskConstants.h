#pragma once
// The program's identity, as folders, the registry and the texts use it.
#include <string>

inline constexpr wchar_t kProductName[] = L"Snapwell";
inline constexpr wchar_t kCompanyName[] = L"Veltrane";
inline constexpr wchar_t kOptionsFileName[] = L"options.xml";
inline constexpr wchar_t kAppFileName[] = L"Snapwell";
inline constexpr wchar_t kSplashDialogName[] = L"splash";
inline constexpr wchar_t kSupportAddress[] = L"support@snapwell.veltrane.com";
inline constexpr wchar_t kSupportIdentification[] = L"Snapwell 1.0 for Windows";

// The program's key below HKEY_CURRENT_USER: "NeedConfig" and the toolbar's
// place.
inline std::wstring ProgramKeyPath() { return std::wstring(L"Software\\") + kCompanyName + L"\\" + kProductName; }
