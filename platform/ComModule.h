#pragma once
// The application lock count of a COM server: every automation object and
// every IClassFactory::LockServer(TRUE) holds the process. When the count
// drops back to zero the action set with OnLastUnlock runs; a process
// started by COM ends there.
#include <windows.h>

#include <functional>

namespace platform {

class ComModule {
public:
    static long Lock();
    static long Unlock();
    static long LockCount();
    // Runs (on the thread that made the last Unlock) when the count reaches
    // zero; an empty action does nothing.
    static void OnLastUnlock(std::function<void()> action);
};

}  // namespace platform
