#include "platform/ComModule.h"

namespace platform {

namespace {
volatile LONG g_locks = 0;
std::function<void()>& LastUnlockAction() {
    static std::function<void()> action;
    return action;
}
}  // namespace

long ComModule::Lock() { return ::InterlockedIncrement(&g_locks); }

long ComModule::Unlock() {
    const long count = ::InterlockedDecrement(&g_locks);
    if (count == 0 && LastUnlockAction()) LastUnlockAction()();
    return count;
}

long ComModule::LockCount() { return g_locks; }

void ComModule::OnLastUnlock(std::function<void()> action) { LastUnlockAction() = std::move(action); }

}  // namespace platform
