#include "app/AppCommandLineInfo.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

namespace {

// The switch as 8-bit text, for a comparison without regard to case.
std::string Narrow(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 1, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

}  // namespace

AppCommandLineInfo AppCommandLineInfo::Parse(const std::vector<std::wstring>& args) {
    AppCommandLineInfo info;
    for (const std::wstring& arg : args) {
        if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) continue;
        const std::string name = Narrow(arg.substr(1));
        auto is = [&](const char* word) { return ::lstrcmpiA(name.c_str(), word) == 0; };
        if (is("Embedding")) {
            info.runEmbedded = true;
        } else if (is("Automation")) {
            info.runAutomated = true;
        } else if (is("Register") || is("Regserver")) {
            info.shellCommand = kRegister;
        } else if (is("Unregister") || is("Unregserver")) {
            info.shellCommand = kUnregister;
        } else if (is("Config")) {
            info.config = true;
        } else if (is("Info")) {
            info.info = true;
        }
    }
    return info;
}

AppCommandLineInfo AppCommandLineInfo::FromProcess() {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv != nullptr && i < count; ++i) args.emplace_back(argv[i]);
    if (argv) ::LocalFree(argv);
    return Parse(args);
}
