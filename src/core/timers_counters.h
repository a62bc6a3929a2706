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

}  // namespace korvane
