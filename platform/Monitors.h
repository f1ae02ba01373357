#pragma once
// The monitors of the desktop. Coordinates are screen coordinates: the
// primary monitor starts at (0, 0), and a monitor left of or above it has
// negative ones.
#include <windows.h>

#include <vector>

namespace platform {

struct MonitorArea {
    RECT monitor;  // the whole monitor
    RECT work;     // without the taskbar and docked bars
};

// Every monitor, the primary first. Never empty: when the system answers
// nothing, the primary screen stands alone.
std::vector<MonitorArea> Monitors();

// The bounding rectangle of all monitors.
RECT VirtualScreen();

// The work areas of monitors, in the order given (the primary first).
std::vector<RECT> WorkAreas(const std::vector<MonitorArea>& monitors);

}  // namespace platform
