#pragma once
// Subroutine calls and returns, and the interrupt dispatcher that the scan cycle runs once
// per tick before the program pass.
#include <array>
#include <cstdint>

#include "core/interpreter.h"

namespace korvane {

// --- subroutine calls (call.cpp) ----------------------------------------------------------
// Push the CALL line at cpu.iPC as return line, saving the L area; false when the return
// stack is full (the call is then not saved).
bool pcpush(Interpreter& cpu);
// Return to the saved CALL line, copying in-out and output parameters back, and restore the
// caller's L area. Nothing happens outside any call.
void PCPopup(Interpreter& cpu);
// Save the logic stack; the callee starts with logic result on and an empty stack.
void StackPush(Interpreter& cpu);
// Restore the logic stack; the logic result is on after every return.
void StackPop(Interpreter& cpu);
// END_SUBROUTINE_BLOCK, and CRET with power flow.
void returnFromSubroutine(Interpreter& cpu, CodeLine& line);

// --- interrupt dispatcher -----------------------------------------------------------------
// What the dispatcher remembers from the previous tick: the inputs I0.0 to I0.3 (input
// events 0 to 7 occur once per edge: 2i when I0.i goes on, 2i + 1 when it goes off) and
// whether T32 and T96 stood at their preset (events 21 and 22 occur once each time the timer
// reaches its preset).
struct InterruptEdges {
    std::array<std::int16_t, 4> inputs{};
    std::array<bool, 2> timerAtPreset{};
    bool primed = false;  // off after a reset: the next tick only takes the baseline
};

// RUN entry: the first dispatcher tick afterwards takes the inputs and timers as they are,
// so an input that is already on, or a timer that stands at its preset, raises no event.
void resetInterrupts(InterruptEdges& edges);

// An occurrence of event ev (0 to 33), with the received character of events 8 and 25: it is
// queued for the routine attached to the event now; an event without a routine is ignored.
// When the queue of the event's group is full the occurrence is lost and the group's
// overflow bit is set (SM4.0 communication, SM4.1 I/O, SM4.2 timed). Returns whether it was
// queued.
bool raiseInterrupt(Interpreter& cpu, int ev, std::uint8_t data = 0);

// One tick of the dispatcher. Call it on every tick on which the run mode checks interrupts,
// whether or not they are enabled. It raises the input, timed and timer events that occurred
// since the last tick (they queue while interrupts are disabled), and while interrupts are
// enabled and no STOP has been executed runs the queued routines one after another, highest
// priority first, until the queue is empty. Then the overflow bit of every empty queue goes
// off, and SM4.4 shows whether interrupts are enabled. Uses cpu.tick as the time of timed
// interrupts.
void runInterrupts(Interpreter& cpu, InterruptEdges& edges);

}  // namespace korvane
