#include "platform/log_sink.h"

#include <ctime>

#include "platform/wall_clock.h"

namespace korvane {

std::string localTimeOfDay() {
    // A burst of log lines (a program check's findings) falls within one second: the text
    // is formatted once per second of the clock.
    thread_local std::time_t shownSecond = static_cast<std::time_t>(-1);
    thread_local char buf[16] = {};
    const std::time_t now = std::time(nullptr);
    if (now != shownSecond) {
        const std::tm tm = localCalendarTime(now);
        std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
        shownSecond = now;
    }
    return buf;
}

void Log::plain(std::string_view line) const {
    if (sink_) sink_->ShowLog(std::string(line));
}

void Log::stamped(std::string_view msg) const {
    if (!sink_) return;
    std::string line = timeOfDay();
    line += msg;
    sink_->ShowLog(line);
}

}  // namespace korvane
