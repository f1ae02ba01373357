#pragma once
// Runs Linux tools (ImageMagick's identify) on files the program wrote, so
// that images are checked by a decoder independent of the program's own.
#include <string>
#include <vector>

namespace unixtools {

// The Linux path of a Windows path in this Wine prefix.
std::string UnixPath(const std::wstring& windowsPath);
// Standard output of a shell script run by /bin/sh; "<failed>" when it did
// not run or took longer than timeoutMs.
std::string RunShell(const std::string& script, int timeoutMs = 15000);
// Starts a Windows program of this prefix through a new `wine` command with
// Linux variables set (VARIABLE=value ...), which Wine reads only from its
// own command line: a locale such as LC_ALL=de_DE.UTF-8 gives the program
// a German UI language. It does not wait for the program; false when the
// shell did not run.
bool StartThroughWine(const std::wstring& windowsProgram, const std::string& variables);
// Output of `identify -format FORMAT file`; "<failed>" when it did not run.
std::string Identify(const std::wstring& windowsPath, const std::string& format);
// Saves a picture of the whole X display (the Wine desktop as the user sees
// it) as artifacts/screenshots/NAME.png for a person to look at.
bool Screenshot(const std::string& name);

// The cursor the X server shows now, as the user sees it (which Wine's
// cursor state alone does not tell): its size, hot spot and which pixels
// are opaque. Empty (width 0) when it cannot be read.
struct XCursorImage {
    int width = 0, height = 0, xHot = 0, yHot = 0;
    std::vector<std::string> rows;  // '.' transparent, '#' dark, 'o' light
    int Opaque() const;
};
XCursorImage ReadXCursor();

}  // namespace unixtools
