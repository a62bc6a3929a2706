#include "platform/log_sink.h"

#include <ctime>

#include "platform/wall_clock.h"

namespace korvane {

std::string localTimeOfDay() {
    const std::tm tm = localCalendarTime(std::time(nullptr));
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
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
