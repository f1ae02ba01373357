#include "platform/TraceTimer.h"

#include <cwchar>

TraceTimer::TraceTimer(std::wstring name) : name_(std::move(name)) { ::QueryPerformanceCounter(&start_); }

TraceTimer::~TraceTimer() { Trace(name_); }

double TraceTimer::Seconds() const {
    LARGE_INTEGER now{}, frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart == 0 ? 0.0 : static_cast<double>(now.QuadPart - start_.QuadPart) / frequency.QuadPart;
}

void TraceTimer::Trace(const std::wstring& text) const {
    wchar_t line[1024];
    if (std::swprintf(line, 1024, L"%f (seconds) : %ls\n", Seconds(), text.c_str()) > 0) ::OutputDebugStringW(line);
}
