#pragma once
// Timers and counters outside the boxes themselves: the count-input memories the counter
// boxes share, and the timer-base step that advances every running timer by one unit.
#include <cstdint>

#include "core/plc_memory.h"
#include "platform/log_sink.h"

namespace korvane {

// The last count inputs a counter box took from the logic stack (CU, and CD of CTUD).
// Owned by the interpreter and cleared on entering RUN.
struct CounterInputs {
    std::int16_t countUp = 0;
    std::int16_t countDown = 0;
};

// One timer-base event: every running timer advances by one unit. An overflow ends the
// event's loop and logs " 定时器timer2错误".
void advanceTimers(PlcMemory& mem, const Log& log);

// --- timers as on the CPU (the real-CPU mode) -------------------------------------------
//
// Every timer counts in the resolution its number gives it: 1 ms (T0, T64 TONR; T32, T96
// TON/TOF), 10 ms (T1-T4, T65-T68; T33-T36, T97-T100) or 100 ms (all others). A 1 ms timer
// is advanced by the system every tick (its value and bit change between passes), a 10 ms
// timer at the start of every pass (value and bit then stay for the whole pass), and a 100
// ms timer only when its box executes, by the 100 ms intervals since the start of the
// previous pass: a box run twice in a pass counts them twice, a box jumped over loses them.
// Elapsed time comes from the clock the scan cycle runs on.

int timerResolutionMs(int timer);
// TONR numbers: T0-T31 and T64-T95; the others are TON/TOF timers.
constexpr bool isTonrTimer(int timer) { return (timer >= 0 && timer <= 31) || (timer >= 64 && timer <= 95); }

struct RealCpuTimers {
    bool on = false;                // the real-CPU mode
    std::int64_t lastTickMs = 0;    // 1 ms timers: the time they were last advanced to
    std::int64_t lastPassMs = 0;    // the start of the previous pass
    std::int32_t units100 = 0;      // 100 ms intervals from the previous pass start to this one

    // RUN entry (or the mode switched on): time is measured from now.
    void restart(std::int64_t nowMs) {
        lastTickMs = lastPassMs = nowMs;
        units100 = 0;
    }
};

// Every tick in RUN: the 1 ms timers advance to nowMs.
void advanceMillisecondTimers(PlcMemory& mem, RealCpuTimers& t, std::int64_t nowMs);
// At the start of every pass: the 10 ms timers advance, and the 100 ms intervals the 100 ms
// boxes add in this pass are counted.
void startPassTimers(PlcMemory& mem, RealCpuTimers& t, std::int64_t nowMs);

// A power-up with the memory kept by the backup: the retentive ranges of the CPU's default
// system block stay (all of V, MB14 to MB31, the current values of the TONR timers and of
// all counters); everything else is cleared, the timer and counter bits included.
void powerUpClear(PlcMemory& mem);

}  // namespace korvane
