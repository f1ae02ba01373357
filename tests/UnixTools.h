#pragma once
// Runs Linux tools (ImageMagick's identify) on files the program wrote, so
// that images are checked by a decoder independent of the program's own.
#include <string>

namespace unixtools {

// The Linux path of a Windows path in this Wine prefix.
std::string UnixPath(const std::wstring& windowsPath);
// Output of `identify -format FORMAT file`; "<failed>" when it did not run.
std::string Identify(const std::wstring& windowsPath, const std::string& format);

}  // namespace unixtools
