#pragma once
// The user's standard folders and the program's per-user data folder. Every
// folder is returned with a trailing backslash. With check set, a helper
// answers "ok" or "failed" for whether a file can be written there instead.
// The program's own folder is platform::GetProgramFolder.
#include <string>

std::wstring GetAppDataFolder(const std::wstring& subfolder, bool check);
std::wstring GetDocumentsFolder(const std::wstring& subfolder, bool check);
std::wstring GetPicturesFolder(const std::wstring& subfolder, bool check);
std::wstring GetTempFolder(bool check);

// The application-data folder with the company folder and the application
// folder nested in it, both created when missing. Empty when the shell has no
// application-data folder or there is no application object.
std::wstring GetUserDataFolder();

// The settings file in the per-user data folder, or with programFolder set,
// the default copy beside the executable.
std::wstring GetSettingsFilePath(bool programFolder);

// "ok" when a probe file can be created in the folder, else "failed". The
// probe never replaces an existing file and is gone when this returns.
std::wstring CheckFolderWritable(const std::wstring& folder);
// Whether captures can be saved in the folder: it exists and a probe file
// ("SWTest" and a unique number) can be created in it and removed again.
bool IsFolderWritable(const std::wstring& folder);

// True when the shell libraries are both older than 5.0, whose shells had no
// pictures folder of their own ("My Pictures" in the documents folder).
bool UsesLegacyPicturesFolder(const std::wstring& shell32Version, const std::wstring& shlwapiVersion);
