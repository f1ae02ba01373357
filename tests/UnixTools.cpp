#include "tests/UnixTools.h"

#include "platform/FileSystem.h"
#include "tests/ScreenTools.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace unixtools {

std::string UnixPath(const std::wstring& windowsPath) {
    using Convert = char*(CDECL*)(LPCWSTR);
    static const auto convert =
        reinterpret_cast<Convert>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    char* unix = convert(windowsPath.c_str());
    if (unix == nullptr) return {};
    std::string result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

namespace {

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::string RunShell(const std::string& script, int timeoutMs) {
    static unsigned sequence = 0;
    const std::string out = "/tmp/snapwell-shell-" + std::to_string(::GetCurrentProcessId()) + "-" +
                            std::to_string(++sequence);
    // A Linux program started from Wine runs detached: its result is
    // written to a file that appears complete (renamed) when it is done.
    const std::string wrapped = "(" + script + ") > " + out + ".part 2>/dev/null; mv " + out + ".part " + out;
    // Windows command-line rules: the script goes in double quotes and so
    // must hold none itself.
    std::wstring command = L"Z:\\bin\\sh -c \"" + Widen(wrapped) + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "<failed>";
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    const std::wstring result = L"Z:" + Widen(out);
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (auto data = platform::ReadWholeFile(result)) {
            ::DeleteFileW(result.c_str());
            return *data;
        }
        // The calling thread may own windows: it answers their messages
        // while the tool runs.
        screen::Pump(50);
    }
    return "<failed>";
}

bool StartThroughWine(const std::wstring& windowsProgram, const std::string& variables) {
    // The scripts that run the tests name the Wine loader in WINE; the
    // audio drivers stay off as in the tests' own processes.
    const std::string script = "WINEDLLOVERRIDES='mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=' " +
                               variables + " ${WINE:-wine} " + Quote(UnixPath(windowsProgram)) +
                               " </dev/null >/dev/null 2>&1 & echo started";
    return RunShell(script) == "started\n";
}

std::string Identify(const std::wstring& windowsPath, const std::string& format) {
    return RunShell("identify -format " + Quote(format) + " " + Quote(UnixPath(windowsPath)));
}

bool Screenshot(const std::string& name) {
    const std::string folder = std::string(SNAPWELL_ARTIFACTS) + "/screenshots";
    const std::string file = folder + "/" + name + ".png";
    return RunShell("mkdir -p " + Quote(folder) + " && import -window root " + Quote(file) + " && echo ok") ==
           "ok\n";
}

int XCursorImage::Opaque() const {
    int count = 0;
    for (const std::string& row : rows)
        for (char c : row) count += c != '.';
    return count;
}

XCursorImage ReadXCursor() {
    XCursorImage image;
    const std::string out = RunShell("python3 " + Quote(std::string(SNAPWELL_TEST_TOOLS) + "/xcursor.py"));
    size_t start = 0;
    bool first = true;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        if (first) {
            first = false;
            if (std::sscanf(line.c_str(), "%d %d %d %d", &image.width, &image.height, &image.xHot, &image.yHot) != 4)
                return XCursorImage{};
        } else if (!line.empty()) {
            image.rows.push_back(line);
        }
    }
    return image;
}

}  // namespace unixtools
