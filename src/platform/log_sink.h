#pragma once
// The log seam: every part of the system writes one-line messages through ShowLog.
// Lines that carry a time stamp begin with the time of day followed by a message that
// starts with a blank (" 代码组装错误").
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void ShowLog(const std::string& strInfo) = 0;
};

// The time of day as the log shows it: "HH:MM:SS" from the local clock.
std::string localTimeOfDay();

// What the engine holds: a sink plus the clock that stamps lines. Tests fix the clock.
class Log {
public:
    Log() = default;
    explicit Log(LogSink* sink) : sink_(sink) {}

    void setSink(LogSink* sink) { sink_ = sink; }
    void setClock(std::function<std::string()> timeOfDay) { timeOfDay_ = std::move(timeOfDay); }

    // A line as given.
    void plain(std::string_view line) const;
    // The time of day followed by msg (msg starts with its own blank).
    void stamped(std::string_view msg) const;
    std::string timeOfDay() const { return timeOfDay_ ? timeOfDay_() : localTimeOfDay(); }
    // Whether any sink takes the lines: callers may skip building texts nobody receives.
    bool enabled() const { return sink_ != nullptr; }

private:
    LogSink* sink_ = nullptr;
    std::function<std::string()> timeOfDay_;
};

// Keeps every line; used by tests and by korvane-run.
class MemoryLogSink : public LogSink {
public:
    void ShowLog(const std::string& strInfo) override { lines.push_back(strInfo); }
    std::vector<std::string> lines;
};

}  // namespace korvane
