#pragma once
// The clock seam: the local date and time the CPU's real-time clock runs on. The engine reads
// the time of day only through it. HostClock is the host's local time (the window, and the
// headless runner in real time); VirtualClock starts at a chosen moment and advances with a
// scheduler's time, so that a program that waits for a time of day runs in simulated time.
//
// Times are "local milliseconds": milliseconds since 1970-01-01 00:00:00 of the local
// calendar, as if local time were UTC. Calendar arithmetic on them needs no time zone.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

namespace korvane {

class Scheduler;

class WallClock {
public:
    virtual ~WallClock() = default;
    virtual std::int64_t localMs() const = 0;
};

class HostClock : public WallClock {
public:
    std::int64_t localMs() const override;
};

// start + the scheduler's milliseconds (start alone without a scheduler).
class VirtualClock : public WallClock {
public:
    explicit VirtualClock(std::int64_t startLocalMs, const Scheduler* follows = nullptr)
        : start_(startLocalMs), follows_(follows) {}
    std::int64_t localMs() const override;
    void setStart(std::int64_t startLocalMs) { start_ = startLocalMs; }

private:
    std::int64_t start_;
    const Scheduler* follows_;
};

// A calendar moment of the proleptic Gregorian calendar.
struct CivilTime {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31; a day past the month's end runs on into the next month
    int hour = 0;
    int minute = 0;
    int second = 0;
};

std::int64_t localMsOf(const CivilTime& t);
CivilTime civilTimeOf(std::int64_t localMs);
// 1 Sunday, 2 Monday ... 7 Saturday.
int dayOfWeek(std::int64_t localMs);

// The host's local calendar time of t (localtime_r on POSIX, localtime_s on Windows).
std::tm localCalendarTime(std::time_t t);

// "2026-01-05T07:59:50" (a blank may stand for the T): the moment, or nothing when the text
// is not such a date and time or names a day the month does not have.
std::optional<std::int64_t> parseLocalDateTime(std::string_view text);

}  // namespace korvane
