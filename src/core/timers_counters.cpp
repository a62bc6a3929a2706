// Timers and counters: the boxes TON, TOF, TONR, CTU, CTD, CTUD and the timer base.
//
// Timers count in the timer-base event, one unit per event whatever the timer number; a box
// only reads its enable input and updates its bit. Counters take their count inputs from
// the logic stack; the logic result is the reset (or load) input.
#include "core/timers_counters.h"

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

void recordStatus(CodeLine& line, const TimerCounterRecord& r) {
    line.StatusValue[0] = r.Current;
    line.StatusValue[1] = r.Preset;
    line.StatusKind[0] = 5;
    line.StatusKind[1] = 5;
}

void execTon(Interpreter& cpu, CodeLine& line, TimerCounterRecord& r, int bit) {
    PlcMemory& mem = cpu.mem();
    if (cpu.logicResult) {
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
    const int key = keyOf(line.Param[0]);
    switch (line.op) {
    case Op::TON:
    case Op::TOF:
    case Op::TONR: {
        TimerCounterRecord& r = mem.timer(key - area::T);
        if (line.op == Op::TON) execTon(cpu, line, r, key);
        else if (line.op == Op::TOF) execTof(cpu, line, r, key);
        else execTonr(cpu, line, r, key);
        recordStatus(line, r);
        return;
    }
    case Op::CTU:
    case Op::CTD:
    case Op::CTUD: {
        TimerCounterRecord& r = mem.counter(key - area::C);
        if (line.op == Op::CTU) execCtu(cpu, line, r, key);
        else if (line.op == Op::CTD) execCtd(cpu, line, r, key);
        else execCtud(cpu, line, r, key);
        recordStatus(line, r);
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

}  // namespace korvane
