#include "platform/WinApp.h"

namespace platform {

namespace {
WinApp* g_current = nullptr;
}

WinApp::WinApp() { g_current = this; }

WinApp::~WinApp() {
    if (g_current == this) g_current = nullptr;
}

WinApp* WinApp::Current() { return g_current; }

}  // namespace platform
