#pragma once
// A timing scope: each trace and the end of the scope write
// "<seconds> (seconds) : <text>" to the debugger output.
#include <windows.h>

#include <string>

class TraceTimer {
public:
    explicit TraceTimer(std::wstring name);
    ~TraceTimer();
    TraceTimer(const TraceTimer&) = delete;
    TraceTimer& operator=(const TraceTimer&) = delete;

    void Trace(const std::wstring& text) const;
    double Seconds() const;

private:
    std::wstring name_;
    LARGE_INTEGER start_{};
};
