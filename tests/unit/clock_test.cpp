// The real-time clock instructions on a clock the test sets, and the calendar behind them.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "family_harness.h"
#include "platform/scheduler.h"
#include "platform/wall_clock.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

std::int64_t at(const char* text) {
    const std::optional<std::int64_t> ms = parseLocalDateTime(text);
    EXPECT_TRUE(ms.has_value()) << text;
    return ms.value_or(0);
}

struct ClockCase {
    const char* name;
    const char* host;           // the host clock at the first pass
    std::vector<int> buffer;    // VB10 ... before the first pass
    const char* first;          // its instruction on VB10 (TODW or TODWX; empty: none)
    int laterMs;                // the host clock moves on by this much
    const char* read;           // then this instruction reads into VB100
    std::vector<int> expected;  // VB100 ...
    std::uint16_t error = 0;    // the error of the first instruction
};

std::vector<int> bytes(const Cpu& c, int from, std::size_t n) {
    std::vector<int> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<int>(c.b(from + static_cast<int>(i))));
    return out;
}

void PrintTo(const ClockCase& c, std::ostream* os) { *os << c.name; }

class ClockInstructions : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockInstructions, ReadTheHostTimePlusWhatTheProgramSet) {
    const ClockCase& cc = GetParam();
    Cpu c;
    VirtualClock host(at(cc.host));
    c.cpu.wallClock = &host;
    for (std::size_t i = 0; i < cc.buffer.size(); ++i) c.setB(10 + static_cast<int>(i), cc.buffer[i]);
    if (*cc.first) {
        c.load({{cc.first, {VB(10)}}, {"AENO", {}}, {"=", {M(0, 0)}}});
        c.run();
        EXPECT_EQ(c.cpu.errorCode, cc.error);
        EXPECT_EQ(c.mem.bit(area::SM4_3), cc.error != 0);
        EXPECT_EQ(c.mem.bit(area::M), cc.error == 0) << "ENO";
    }
    host.setStart(at(cc.host) + cc.laterMs);
    for (int n = 100; n < 120; ++n) c.setB(n, 0xEE);
    c.load({{cc.read, {VB(100)}}});
    c.run();
    EXPECT_EQ(bytes(c, 100, cc.expected.size() + 1), [&] {
        std::vector<int> want = cc.expected;
        want.push_back(0xEE);  // and nothing after the buffer
        return want;
    }());
    EXPECT_TRUE(c.sink.lines.empty());
}

const std::vector<int> kNewYear2024{0x24, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02};

INSTANTIATE_TEST_SUITE_P(
    Cases, ClockInstructions,
    ::testing::Values(
        ClockCase{"TodrFriday", "2008-08-15T14:30:05", {}, "", 0, "TODR", {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06}},
        ClockCase{"TodrLeapDay", "2024-02-29T23:59:59", {}, "", 0, "TODR", {0x24, 0x02, 0x29, 0x23, 0x59, 0x59, 0x00, 0x05}},
        ClockCase{"TodwSetsAnOffset", "2024-01-01T00:00:10", kNewYear2024, "TODW", 5000, "TODR",
                  {0x24, 0x01, 0x01, 0x00, 0x00, 0x05, 0x00, 0x02}},
        // The day of the week is the date's, whatever was written (2030-06-01 is a Saturday).
        ClockCase{"TodwComputesTheDayOfWeek", "2024-01-01T00:00:00", {0x30, 0x06, 0x01, 0x12, 0x00, 0x00, 0x00, 0x01}, "TODW",
                  0, "TODR", {0x30, 0x06, 0x01, 0x12, 0x00, 0x00, 0x00, 0x07}},
        ClockCase{"TodwFebruary30RunsIntoMarch", "2024-01-01T00:00:00", {0x23, 0x02, 0x30, 0x08, 0x00, 0x00, 0x00, 0x01},
                  "TODW", 0, "TODR", {0x23, 0x03, 0x02, 0x08, 0x00, 0x00, 0x00, 0x05}},
        ClockCase{"TodwMonth13", "2008-08-15T14:30:05", {0x24, 0x13, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02}, "TODW", 0, "TODR",
                  {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06}, 0x0007},
        ClockCase{"TodwNotBcd", "2008-08-15T14:30:05", {0x24, 0x01, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x02}, "TODW", 0, "TODR",
                  {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06}, 0x0007},
        ClockCase{"TodwDayOfWeekZero", "2008-08-15T14:30:05", {0x24, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, "TODW", 0,
                  "TODR", {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06}, 0x0007},
        ClockCase{"TodrxAfterTodwx", "2008-08-15T14:30:05",
                  {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06, 0x02, 0x01, 0x00, 0x03, 0x31, 0x01, 0x00, 0x10, 0x27, 0x01, 0x00},
                  "TODWX", 0, "TODRX",
                  {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06, 0x02, 0x01, 0x00, 0x03, 0x31, 0x01, 0x00, 0x10, 0x27, 0x01, 0x00}},
        ClockCase{"TodrxWithoutTodwx", "2008-08-15T14:30:05", {}, "", 0, "TODRX",
                  {0x08, 0x08, 0x15, 0x14, 0x30, 0x05, 0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    CaseName());

TEST(ClockInstructions, WithoutAClockReportItMissingAndWriteNothing) {
    Cpu c;
    c.setB(100, 0xEE);
    c.load({{"TODR", {VB(100)}}, {"AENO", {}}, {"=", {M(0, 0)}}});
    c.run();
    EXPECT_EQ(c.cpu.errorCode, 0x000C);
    EXPECT_FALSE(c.mem.bit(area::M));
    EXPECT_EQ(c.b(100), 0xEE);
}

TEST(ClockInstructions, ABufferPastTheEndOfItsAreaEndsThePassAndWritesNothing) {
    Cpu c;
    VirtualClock host(at("2008-08-15T14:30:05"));
    c.cpu.wallClock = &host;
    c.load({{"TODR", {VB(1020)}}});
    c.run();
    EXPECT_EQ(c.sink.lines, std::vector<std::string>{c.runtimeError(2)});
    EXPECT_EQ(c.b(1020), 0);
}

TEST(ClockInstructions, TheStatusViewShowsTheBufferTimeOfDay) {
    Cpu c;
    VirtualClock host(at("2008-08-15T14:30:05"));
    c.cpu.wallClock = &host;
    c.load({{"TODR", {VB(0)}}});
    c.run();
    EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusValue[0], 143005);
    EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusKind[0], 6);
}

TEST(WallClock, DatesDaysOfTheWeekAndTheSimulatedClock) {
    struct Day {
        const char* text;
        int weekday;  // 1 Sunday
    };
    for (const Day& d : {Day{"1970-01-01T00:00:00", 5}, Day{"2000-01-01T00:00:00", 7}, Day{"2024-02-29T23:59:59", 5},
                         Day{"2026-01-05T07:59:50", 2}, Day{"1969-12-31T23:59:59", 4}}) {
        const std::int64_t ms = at(d.text);
        EXPECT_EQ(dayOfWeek(ms), d.weekday) << d.text;
        const CivilTime t = civilTimeOf(ms);
        EXPECT_EQ(localMsOf(t), ms) << d.text;
    }
    EXPECT_EQ(at("2000-01-01 00:00:00"), 946684800000);
    for (const char* bad : {"2026-02-29T00:00:00", "2026-13-01T00:00:00", "2026-01-05T24:00:00", "2026-1-5T07:59:50",
                            "2026-01-05T07:59:50Z", ""})
        EXPECT_FALSE(parseLocalDateTime(bad).has_value()) << bad;

    VirtualScheduler scheduler;
    VirtualClock clock(at("2026-01-05T07:59:50"), &scheduler);
    scheduler.advanceTo(10'500);
    const CivilTime t = civilTimeOf(clock.localMs());
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
              (std::vector<int>{2026, 1, 5, 8, 0, 0}));
}

}  // namespace
