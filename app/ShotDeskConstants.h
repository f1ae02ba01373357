#pragma once
// The program's identity, as folders, the registry and the texts use it.
inline constexpr wchar_t kProductName[] = L"Snapwell";
inline constexpr wchar_t kCompanyName[] = L"Veltrane";
inline constexpr wchar_t kOptionsFileName[] = L"options.xml";
inline constexpr wchar_t kAppFileName[] = L"Snapwell";
inline constexpr wchar_t kSplashDialogName[] = L"splash";
inline constexpr wchar_t kSupportAddress[] = L"support@snapwell.veltrane.com";
inline constexpr wchar_t kSupportIdentification[] = L"Snapwell 1.0 for Windows";
