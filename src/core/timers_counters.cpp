// Timers and counters: the boxes TON, TOF, TONR, CTU, CTD, CTUD and the timer base.
//
// Timers count in the timer-base event, one unit per event whatever the timer number; a box
// only reads its enable input and updates its bit. Counters take their count inputs from
// the logic stack; the logic result is the reset (or load) input.
#include "core/timers_counters.h"

#include <algorithm>
#include <cstdint>

#include "core/interpreter.h"

namespace korvane {

namespace {

constexpr std::int32_t kCountMax = 32767;
constexpr std::int32_t kCountMin = -32768;

std::int16_t onOff(bool on) { return on ? kOn : kOff; }

// Current + 1 as a 32-bit value; a step past the 32-bit range is an overflow.
std::int32_t incremented(std::int32_t v) {
    if (v == INT32_MAX) fault(FaultCode::Overflow);
    return v + 1;
}

// The count input on top of the logic stack, read the way pop reads it but left in place.
std::int16_t peekCountInput(const Interpreter& cpu) {
    if (cpu.top >= 1 && cpu.top <= Interpreter::kStackSize) return cpu.stack[cpu.top - 1];
    return 0;
}

std::int32_t preset(const Interpreter& cpu, const CodeLine& line) { return toInt32(cpu.val(line, 1)); }

void recordStatus(LineRunStatus& line, const TimerCounterRecord& r) {
    line.StatusValue[0] = r.Current;
    line.StatusValue[1] = r.Preset;
    line.StatusKind[0] = 5;
    line.StatusKind[1] = 5;
}

// The 100 ms intervals a 100 ms timer box adds: those since the start of the previous pass
// when the timer was already running at its previous execution; 1 ms and 10 ms timers are
// advanced by the system, not by their box.
std::int32_t boxUnits(const Interpreter& cpu, int bit, bool wasRunning) {
    const RealCpuTimers& t = cpu.realTimers;
    if (!t.on || !wasRunning || timerResolutionMs(bit - area::T) != 100) return 0;
    return t.units100;
}

std::int32_t capped(std::int64_t v, std::int32_t limit) { return v > limit ? limit : static_cast<std::int32_t>(v); }

void execTon(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    PlcMemory& mem = cpu.mem();
    if (cpu.logicResult) {
        const std::int32_t units = boxUnits(cpu, bit, r.Flag == kOn);
        if (units) r.Current = capped(std::int64_t{r.Current} + units, kCountMax);
        r.Flag = kOn;
        r.Preset = preset(cpu, line);
        mem.setCell(bit, onOff(r.Current >= r.Preset));
    } else {
        r.Current = 0;
        r.Flag = kOff;
        mem.setCell(bit, kOff);
    }
}

void execTof(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    PlcMemory& mem = cpu.mem();
    const std::int16_t in = onOff(cpu.logicResult != 0);
    if (in) {
        mem.setCell(bit, kOn);
        r.Flag = kOff;
        r.Current = 0;
    } else if (cpu.realTimers.on) {
        // On the CPU: counting starts when the input falls; the system (1 ms, 10 ms) or the
        // box (100 ms) advances the value, and the bit goes off when it reaches the preset.
        if (r.LastInput == kOn) {
            r.Preset = preset(cpu, line);
            r.Flag = kOn;
        } else if (const std::int32_t units = boxUnits(cpu, bit, r.Flag == kOn)) {
            r.Current = capped(std::int64_t{r.Current} + units, r.Preset);
            if (r.Current >= r.Preset) {
                mem.setCell(bit, kOff);
                r.Flag = kOff;
            }
        }
        if (r.Flag != kOn && r.Current >= r.Preset) mem.setCell(bit, kOff);
    } else {
        if (r.LastInput == kOn) {  // the input has just gone off
            r.Preset = preset(cpu, line);
            r.Flag = kOn;
        }
        if (r.Flag == kOn) {
            if (r.Current < r.Preset) {
                mem.setCell(bit, kOn);
            } else {
                mem.setCell(bit, kOff);
                r.Flag = kOff;
            }
        } else {
            mem.setCell(bit, kOff);
        }
    }
    r.LastInput = in;
}

void execTonr(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    const std::int16_t in = onOff(cpu.logicResult != 0);
    const std::int32_t units = in ? boxUnits(cpu, bit, r.Flag == kOn) : 0;
    if (units) r.Current = capped(std::int64_t{r.Current} + units, kCountMax);
    r.Flag = in;
    if (in) {
        r.Preset = preset(cpu, line);
        if (r.Current >= r.Preset) cpu.mem().setCell(bit, kOn);
    }
}

// While R is on the box pops nothing, but its edge memory follows its own count input,
// which stands on top of the logic stack: a count input held on through the reset does
// not count again when R goes off, whatever other counter boxes popped meanwhile.
void execCtu(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    PlcMemory& mem = cpu.mem();
    CounterInputs& inputs = cpu.counterInputs;
    r.Preset = preset(cpu, line);
    if (cpu.logicResult) {
        r.Current = 0;
        mem.setCell(bit, kOff);
        r.Flag = peekCountInput(cpu);
        return;
    }
    const std::int16_t cu = cpu.pop();
    inputs.countUp = cu;
    if (cu == kOn && r.Flag == 0) {
        r.Current = r.Current >= kCountMax ? kCountMax : r.Current + 1;
        mem.setCell(bit, onOff(r.Current >= r.Preset));
    }
    r.Flag = inputs.countUp;
}

// As CTU: while LD is on the edge memory follows the box's own count input.
void execCtd(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    PlcMemory& mem = cpu.mem();
    CounterInputs& inputs = cpu.counterInputs;
    const std::int32_t pv = preset(cpu, line);
    r.Preset = pv;
    std::int16_t flag;
    if (cpu.logicResult) {
        mem.setCell(bit, kOff);
        r.Current = pv;
        flag = peekCountInput(cpu);
    } else {
        const std::int16_t cd = cpu.pop();
        inputs.countUp = cd;
        if (cd == kOn && r.Flag == 0 && r.Current > 0) r.Current = r.Current - 1;
        flag = inputs.countUp;
    }
    if (r.Current == 0) mem.setCell(bit, kOn);  // switched off only by the load input
    r.Flag = flag;
}

void execCtud(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    PlcMemory& mem = cpu.mem();
    CounterInputs& inputs = cpu.counterInputs;
    const std::int16_t cd = cpu.pop();
    inputs.countDown = cd;
    const std::int16_t cu = cpu.pop();
    inputs.countUp = cu;
    r.Preset = preset(cpu, line);
    if (cpu.logicResult) {
        r.Current = 0;
        mem.setCell(bit, kOff);
    } else {
        bool counted = false;
        if (cu == kOn && r.Flag == 0) {
            const std::int64_t up = std::int64_t{r.Current} + 1;
            r.Current = up > kCountMax ? kCountMin : static_cast<std::int32_t>(up);
            counted = true;
        }
        if (cd == kOn && r.LastInput == 0) {
            const std::int64_t down = std::int64_t{r.Current} - 1;
            r.Current = down < kCountMin ? kCountMax : static_cast<std::int32_t>(down);
            counted = true;
        }
        // The bit follows the count both ways: a count that falls below the preset again
        // switches it off, as on the CPU.
        if (counted) mem.setCell(bit, r.Current >= r.Preset ? kOn : kOff);
    }
    r.Flag = inputs.countUp;
    r.LastInput = inputs.countDown;
}

}  // namespace

void execTimerCounter(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int key = line.key(0);
    switch (line.op) {
    case Op::TON:
    case Op::TOF:
    case Op::TONR: {
        TimerCounterRecord& r = mem.timer(key - area::T);
        if (line.op == Op::TON) execTon(cpu, line, r, key);
        else if (line.op == Op::TOF) execTof(cpu, line, r, key);
        else execTonr(cpu, line, r, key);
        recordStatus(cpu.status(), r);
        return;
    }
    case Op::CTU:
    case Op::CTD:
    case Op::CTUD: {
        TimerCounterRecord& r = mem.counter(key - area::C);
        if (line.op == Op::CTU) execCtu(cpu, line, r, key);
        else if (line.op == Op::CTD) execCtd(cpu, line, r, key);
        else execCtud(cpu, line, r, key);
        recordStatus(cpu.status(), r);
        return;
    }
    default:
        return;
    }
}

void advanceTimers(PlcMemory& mem, const Log& log) {
    try {
        for (TimerCounterRecord& r : mem.timers()) {
            switch (r.Kind) {
            case 1:  // TON counts while enabled, up to 32767
                if (r.Flag != kOn) r.Current = 0;
                else if (r.Current > kCountMax - 1) r.Current = kCountMax;
                else r.Current = incremented(r.Current);
                break;
            case 2:  // TOF counts up to its preset after the input fell
                if (r.Flag == kOn) r.Current = r.Current < r.Preset ? incremented(r.Current) : r.Preset;
                break;
            case 3:  // TONR accumulates while enabled, up to 32767
                if (r.Flag == kOn) r.Current = r.Current >= kCountMax ? kCountMax : incremented(r.Current);
                break;
            default:
                break;
            }
        }
    } catch (const PlcFault&) {
        log.stamped(" 定时器timer2错误");
    }
}

int timerResolutionMs(int n) {
    const int k = n & 63;  // T64 to T127 repeat the pattern of T0 to T63
    if (n >= 0 && n < 128 && (k == 0 || k == 32)) return 1;
    if (n >= 0 && n < 128 && ((k >= 1 && k <= 4) || (k >= 33 && k <= 36))) return 10;
    return 100;
}

namespace {

// The system's advance of a 1 ms or 10 ms timer by ms milliseconds (in its own units).
void advanceBySystem(PlcMemory& mem, int n, std::int32_t units) {
    TimerCounterRecord& r = mem.timers()[static_cast<std::size_t>(n)];
    if (r.Flag != kOn || units <= 0) return;
    const int bit = area::T + n;
    switch (r.Kind) {
    case 1:  // TON: up to 32767, on from the preset
        r.Current = capped(std::int64_t{r.Current} + units, kCountMax);
        mem.cells()[bit] = onOff(r.Current >= r.Preset);
        break;
    case 2:  // TOF: up to the preset, then off and stopped
        r.Current = capped(std::int64_t{r.Current} + units, r.Preset);
        if (r.Current >= r.Preset) {
            mem.cells()[bit] = kOff;
            r.Flag = kOff;
        }
        break;
    case 3:  // TONR: up to 32767, on from the preset (only R switches it off)
        r.Current = capped(std::int64_t{r.Current} + units, kCountMax);
        if (r.Current >= r.Preset) mem.cells()[bit] = kOn;
        break;
    default:
        break;
    }
}

constexpr int kMillisecondTimers[] = {0, 32, 64, 96};
constexpr int kTenMillisecondTimers[] = {1, 2, 3, 4, 33, 34, 35, 36, 65, 66, 67, 68, 97, 98, 99, 100};

// The number of multiples of unit in (from, to].
std::int32_t boundaries(std::int64_t from, std::int64_t to, int unit) {
    auto floorDiv = [unit](std::int64_t v) { return v >= 0 ? v / unit : -((-v + unit - 1) / unit); };
    const std::int64_t n = floorDiv(to) - floorDiv(from);
    return n <= 0 ? 0 : static_cast<std::int32_t>(n > 1000000 ? 1000000 : n);
}

}  // namespace

void advanceMillisecondTimers(PlcMemory& mem, RealCpuTimers& t, std::int64_t nowMs) {
    const std::int64_t ms = nowMs - t.lastTickMs;
    t.lastTickMs = nowMs;
    if (ms <= 0) return;
    const std::int32_t units = ms > 1000000 ? 1000000 : static_cast<std::int32_t>(ms);
    for (int n : kMillisecondTimers) advanceBySystem(mem, n, units);
}

void startPassTimers(PlcMemory& mem, RealCpuTimers& t, std::int64_t nowMs) {
    const std::int32_t tens = boundaries(t.lastPassMs, nowMs, 10);
    t.units100 = boundaries(t.lastPassMs, nowMs, 100);
    t.lastPassMs = nowMs;
    for (int n : kTenMillisecondTimers) advanceBySystem(mem, n, tens);
}

void powerUpClear(PlcMemory& mem) {
    std::int16_t* c = mem.cells();
    // Kept: V memory and MB14 to MB31.
    const int keep[][2] = {{area::M + 8 * 14, area::M + 8 * 32}, {area::V, area::VEnd}};
    int from = 0;
    for (const auto& k : keep) {
        std::fill(c + from, c + k[0], kOff);
        from = k[1];
    }
    std::fill(c + from, c + area::CellCount, kOff);
    for (int n = 0; n < 256; ++n) {
        TimerCounterRecord& r = mem.timers()[static_cast<std::size_t>(n)];
        r.Flag = r.LastInput = 0;
        r.Preset = 0;
        if (!isTonrTimer(n)) r.Current = 0;
    }
    for (TimerCounterRecord& r : mem.counters()) {
        r.Flag = r.LastInput = 0;
        r.Preset = 0;
    }
}

}  // namespace korvane
