#pragma once
// The framework's application object: one per process, reachable from
// anywhere through Current(). Start-up and exit are virtual so that the
// program's own application class decides what a run does.
#include <windows.h>

namespace platform {

class WinApp {
public:
    WinApp();
    virtual ~WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // The application object of this process, or nullptr before it exists.
    static WinApp* Current();

    // Returns true to enter the message loop, false to end the process.
    virtual bool InitInstance() { return true; }
    // Called once after the message loop ends; its result is the exit code.
    virtual int ExitInstance() { return 0; }
};

}  // namespace platform
