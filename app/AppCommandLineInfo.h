#pragma once
// What the command line asks of this run. Switches begin with "/" or "-"
// and are compared without regard to case; other parameters are ignored.
#include <string>
#include <vector>

struct AppCommandLineInfo {
    enum ShellCommand { kNone = 0, kRegister = 5, kUnregister = 6 };

    bool runEmbedded = false;   // "Embedding": started by COM
    bool runAutomated = false;  // "Automation": started by COM
    int shellCommand = kNone;   // "Register"/"Regserver", "Unregister"/"Unregserver"
    bool config = false;        // "Config": run the first-run wizard
    bool info = false;          // "Info": show the support information

    // args without the program name.
    static AppCommandLineInfo Parse(const std::vector<std::wstring>& args);
    // This process's own command line.
    static AppCommandLineInfo FromProcess();
};
