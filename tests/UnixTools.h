#pragma once
// Runs Linux tools (ImageMagick's identify) on files the program wrote, so
// that images are checked by a decoder independent of the program's own.
#include <string>

namespace unixtools {

// The Linux path of a Windows path in this Wine prefix.
std::string UnixPath(const std::wstring& windowsPath);
// Standard output of a shell script run by /bin/sh; "<failed>" when it did
// not run or took longer than timeoutMs.
std::string RunShell(const std::string& script, int timeoutMs = 15000);
// Output of `identify -format FORMAT file`; "<failed>" when it did not run.
std::string Identify(const std::wstring& windowsPath, const std::string& format);
// Saves a picture of the whole X display (the Wine desktop as the user sees
// it) as artifacts/screenshots/NAME.png for a person to look at.
bool Screenshot(const std::string& name);

}  // namespace unixtools
