#include "platform/Monitors.h"

namespace platform {

namespace {

BOOL CALLBACK AddMonitor(HMONITOR handle, HDC, LPRECT, LPARAM data) {
    auto* monitors = reinterpret_cast<std::vector<MonitorArea>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(handle, &info)) return TRUE;
    const MonitorArea area{info.rcMonitor, info.rcWork};
    if (info.dwFlags & MONITORINFOF_PRIMARY) {
        monitors->insert(monitors->begin(), area);
    } else {
        monitors->push_back(area);
    }
    return TRUE;
}

}  // namespace

std::vector<MonitorArea> Monitors() {
    std::vector<MonitorArea> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        RECT work = screen;
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        monitors.push_back({screen, work});
    }
    return monitors;
}

RECT VirtualScreen() {
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN), y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int cx = ::GetSystemMetrics(SM_CXVIRTUALSCREEN), cy = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (cx <= 0 || cy <= 0) return RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return RECT{x, y, x + cx, y + cy};
}

std::vector<RECT> WorkAreas(const std::vector<MonitorArea>& monitors) {
    std::vector<RECT> areas;
    for (const MonitorArea& monitor : monitors) areas.push_back(monitor.work);
    return areas;
}

}  // namespace platform
