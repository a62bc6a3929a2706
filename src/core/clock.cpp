// The real-time clock: reading it (TODR, TODRX) and setting it (TODW, TODWX).
//
// The buffer holds BCD bytes: year (00 to 99, the years 2000 to 2099), month, day, hour,
// minute, second, 00, day of the week (1 Sunday to 7 Saturday); TODRX and TODWX add the
// daylight-saving mode and its rule in bytes 8 to 18. The clock is the front end's clock plus
// the offset the program set: setting it never changes the host's clock. The day of the
// week is always computed from the date; the one written is checked, then dropped. A buffer
// that passes the end of its area is a run-time error (the pass ends), as for a block move.
#include <array>
#include <cstdint>
#include <optional>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

constexpr std::uint16_t kClockData = 0x0007;  // a field that is not BCD or out of its range
constexpr std::uint16_t kNoClock = 0x000C;
constexpr int kTimeBytes = 8;
constexpr int kExtendedBytes = 19;

std::uint8_t bcd(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

std::optional<int> fromBcd(unsigned b, int low, int high) {
    if ((b >> 4) > 9 || (b & 0xFu) > 9) return std::nullopt;
    const int v = static_cast<int>((b >> 4) * 10 + (b & 0xFu));
    if (v < low || v > high) return std::nullopt;
    return v;
}

// The buffer's first byte: a byte operand or a pointer (a bad pointer, or a buffer past the
// end of its area, ends the pass). Nothing for a number where the buffer belongs.
std::optional<int> bufferKey(Interpreter& cpu, const CodeLine& line, int bytes) {
    const int knd = line.kindOf(0);
    if (knd != kind::Byte && knd != kind::Word && knd != kind::DWord && !isPointer(knd)) return std::nullopt;
    const int key = operandKey(cpu.mem(), line, 0);
    requireSpan(key, 8 * bytes);
    return key;
}

std::array<std::uint8_t, kExtendedBytes> readBuffer(const PlcMemory& mem, int key, int bytes) {
    std::array<std::uint8_t, kExtendedBytes> b{};
    for (int i = 0; i < bytes; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(readBits(mem, key + 8 * i, 8));
    return b;
}

void readClock(Interpreter& cpu, CodeLine& line, int bytes) {
    if (!cpu.wallClock) {
        cpu.nonFatal(kNoClock);
        return;
    }
    const std::optional<int> key = bufferKey(cpu, line, bytes);
    if (!key) return;
    const std::int64_t now = cpu.wallClock->localMs() + cpu.clockOffsetMs;
    const CivilTime t = civilTimeOf(now);
    std::array<std::uint8_t, kExtendedBytes> b{bcd((t.year % 100 + 100) % 100), bcd(t.month), bcd(t.day), bcd(t.hour),
                                               bcd(t.minute), bcd(t.second), 0, bcd(dayOfWeek(now))};
    for (std::size_t i = kTimeBytes; i < kExtendedBytes; ++i) b[i] = cpu.daylightSaving[i - kTimeBytes];
    for (int i = 0; i < bytes; ++i) writeBits(cpu.mem(), *key + 8 * i, 8, b[static_cast<std::size_t>(i)]);
}

void setClock(Interpreter& cpu, CodeLine& line, int bytes) {
    if (!cpu.wallClock) {
        cpu.nonFatal(kNoClock);
        return;
    }
    const std::optional<int> key = bufferKey(cpu, line, bytes);
    if (!key) return;
    const std::array<std::uint8_t, kExtendedBytes> b = readBuffer(cpu.mem(), *key, bytes);
    const auto year = fromBcd(b[0], 0, 99);
    const auto month = fromBcd(b[1], 1, 12);
    const auto day = fromBcd(b[2], 1, 31);
    const auto hour = fromBcd(b[3], 0, 23);
    const auto minute = fromBcd(b[4], 0, 59);
    const auto second = fromBcd(b[5], 0, 59);
    const auto weekday = fromBcd(b[7], 1, 7);
    if (!year || !month || !day || !hour || !minute || !second || !weekday) {
        cpu.nonFatal(kClockData);
        return;
    }
    // A day the month does not have (February 30) runs on into the next month.
    const std::int64_t written = localMsOf({2000 + *year, *month, *day, *hour, *minute, *second});
    cpu.clockOffsetMs = written - cpu.wallClock->localMs();
    if (bytes == kExtendedBytes)
        for (std::size_t i = kTimeBytes; i < kExtendedBytes; ++i) cpu.daylightSaving[i - kTimeBytes] = b[i];
}

// The status view shows the buffer's time of day as hhmmss (143005 for 14:30:05).
double timeShown(Interpreter& cpu, const CodeLine& line) {
    try {
        const int knd = line.kindOf(0);
        if (knd != kind::Byte && !isPointer(knd)) return 0;
        const int key = operandKey(cpu.mem(), line, 0);
        if (!area::dataAreaOf(key).holds(key, 8 * 6)) return 0;
        const auto digits = [&](int i) {
            const unsigned v = readBits(cpu.mem(), key + 8 * i, 8);
            return static_cast<double>((v >> 4) * 10 + (v & 0xFu));
        };
        return digits(3) * 10000 + digits(4) * 100 + digits(5);
    } catch (const PlcFault&) {
        return 0;
    }
}

}  // namespace

void execClock(Interpreter& cpu, CodeLine& line) {
    if (powerOn(cpu)) {
        switch (line.op) {
        case Op::TODR:
            readClock(cpu, line, kTimeBytes);
            break;
        case Op::TODRX:
            readClock(cpu, line, kExtendedBytes);
            break;
        case Op::TODW:
            setClock(cpu, line, kTimeBytes);
            break;
        case Op::TODWX:
            setClock(cpu, line, kExtendedBytes);
            break;
        default:
            return;
        }
    }
    setStatus(cpu, 0, timeShown(cpu, line), 6);
}

}  // namespace korvane
