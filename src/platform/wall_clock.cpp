#include "platform/wall_clock.h"

#include <chrono>
#include <ctime>

#include "platform/scheduler.h"

namespace korvane {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days since 1970-01-01 of a Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

}  // namespace

std::tm localCalendarTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

std::int64_t HostClock::localMs() const {
    const auto now = std::chrono::system_clock::now();
    const std::tm tm = localCalendarTime(std::chrono::system_clock::to_time_t(now));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return localMsOf({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}) + (ms < 0 ? 0 : ms);
}

std::int64_t VirtualClock::localMs() const { return start_ + (follows_ ? follows_->nowMs() : 0); }

std::int64_t localMsOf(const CivilTime& t) {
    const std::int64_t days = daysFromCivil(t.year, t.month, 1) + (t.day - 1);
    return days * kMsPerDay + ((t.hour * 60LL + t.minute) * 60LL + t.second) * 1000LL;
}

CivilTime civilTimeOf(std::int64_t localMs) {
    // Hinnant's civil_from_days.
    const std::int64_t z = floorDiv(localMs, kMsPerDay) + 719468;
    const std::int64_t msOfDay = localMs - floorDiv(localMs, kMsPerDay) * kMsPerDay;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilTime c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2));
    const std::int64_t s = msOfDay / 1000;
    c.hour = static_cast<int>(s / 3600);
    c.minute = static_cast<int>(s / 60 % 60);
    c.second = static_cast<int>(s % 60);
    return c;
}

int dayOfWeek(std::int64_t localMs) {
    // 1970-01-01 was a Thursday (5).
    const std::int64_t days = floorDiv(localMs, kMsPerDay);
    return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

std::optional<std::int64_t> parseLocalDateTime(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS, every field its exact number of digits.
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != kShape.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char want = kShape[i];
        const char c = text[i];
        if (want == 'd' ? !(c >= '0' && c <= '9') : want == 'T' ? !(c == 'T' || c == ' ') : c != want)
            return std::nullopt;
    }
    auto field = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    const CivilTime t{field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2), field(17, 2)};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month) || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return std::nullopt;
    return localMsOf(t);
}

}  // namespace korvane
