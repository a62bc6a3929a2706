// Flow control: returns, interrupt control, sequence control relays, jumps, and the
// interrupt dispatcher.
#include "core/flow_control.h"

namespace korvane {

namespace {

constexpr int kLastEvent = 33;
constexpr int kLastLabel = 255;
constexpr int kLastInterruptRoutine = 100;

// Interrupt events raised by the dispatcher.
constexpr int kTimedEvent0 = 10;
constexpr int kTimedEvent1 = 11;
constexpr int kTimerT32Event = 21;
constexpr int kTimerT96Event = 22;
constexpr std::array<int, 2> kEventTimers{32, 96};

int eventIndex(double number) {
    const double r = roundEven(number);
    if (!(r >= 0 && r <= kLastEvent)) fault(FaultCode::IndexOutOfRange);
    return static_cast<int>(r);
}

int labelIndex(double number) {
    const double r = roundEven(number);
    if (!(r >= 0 && r <= kLastLabel)) fault(FaultCode::IndexOutOfRange);
    return static_cast<int>(r);
}

void attach(Interpreter& cpu, CodeLine& line) {
    line.StatusValue[0] = line.Param[0];
    line.StatusValue[1] = line.Param[1];
    line.StatusKind[0] = 5;
    line.StatusKind[1] = 5;
    if (cpu.logicResult != kOn) return;
    EventEntry& e = cpu.prog().events[static_cast<std::size_t>(eventIndex(line.Param[1]))];
    const std::int32_t routine = toInt32(line.Param[0]);
    // Attaching the routine that is already attached keeps the event's timing: a program
    // that runs ATCH on every pass still gets its timed interrupt.
    if (e.Routine == routine) return;
    e.Routine = routine;
    e.LastTick = static_cast<std::int32_t>(cpu.tick);
}

void detach(Interpreter& cpu, CodeLine& line) {
    line.StatusValue[0] = line.Param[0];
    line.StatusKind[0] = 5;
    if (cpu.logicResult != kOn) return;
    cpu.prog().events[static_cast<std::size_t>(eventIndex(line.Param[0]))].Routine = -1;
}

void openSegment(Interpreter& cpu, CodeLine& line) {
    const int key = keyOf(line.Param[0]);
    const std::int16_t v = cpu.mem().cell(key);
    cpu.scr.value = v;
    cpu.scr.key = static_cast<std::int16_t>(key);
    cpu.scr.active = kOn;
    cpu.scr.skip = 0;
    line.StatusValue[0] = v;
}

// SCRT: the segment's own S bit off, the target's on. Outside any segment there is no own
// bit to clear, and the transition is ignored.
void transition(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int target = keyOf(line.Param[0]);
    if (cpu.logicResult == kOn && cpu.scr.active) {
        mem.setCell(cpu.scr.key, kOff);
        mem.setCell(target, kOn);
    }
    line.StatusValue[0] = mem.cell(target);
}

void jump(Interpreter& cpu, CodeLine& line) {
    if (cpu.logicResult != kOn) return;
    Program& prog = cpu.prog();
    // Labels belong to their block: a jump reaches only the LBL of its own block.
    const auto block = static_cast<std::size_t>(line.Block);
    if (block >= prog.labels.size()) return;
    const int target = prog.labels[block][static_cast<std::size_t>(labelIndex(line.Param[0]))];
    if (target <= 0) return;
    if (target > prog.lastIndex()) fault(FaultCode::IndexOutOfRange);
    cpu.iPC = target;
    CodeLine& to = prog.CodeTable[static_cast<std::size_t>(target)];
    to.StatusValue[0] = target;
    to.StatusKind[0] = 5;
}

}  // namespace

void execFlow(Interpreter& cpu, CodeLine& line) {
    const bool on = cpu.logicResult == kOn;
    switch (line.op) {
    case Op::LSCR:
        openSegment(cpu, line);
        return;
    case Op::SCRE:
        cpu.scr = ScrState{};
        return;
    case Op::END_SUBROUTINE_BLOCK:
        returnFromSubroutine(cpu, line);
        return;
    case Op::CRET:
        if (on) returnFromSubroutine(cpu, line);
        return;
    case Op::ATCH:
        attach(cpu, line);
        return;
    case Op::DTCH:
        detach(cpu, line);
        return;
    case Op::ENI:
        if (on) cpu.interruptsEnabled = kOn;
        return;
    case Op::DISI:
        if (on) cpu.interruptsEnabled = 0;
        return;
    case Op::CRETI:
        if (on) cpu.endRun = true;
        return;
    case Op::END_INTERRUPT_BLOCK:
        line.HasStatus = 0;
        cpu.endRun = true;
        return;
    case Op::SCRT:
        transition(cpu, line);
        return;
    case Op::CSCRE:
        if (on) cpu.scr.skip = kOn;
        return;
    case Op::JMP:
        jump(cpu, line);
        return;
    default:
        return;
    }
}

// --- interrupt dispatcher -----------------------------------------------------------------

namespace {

enum class Fired : std::uint8_t { Done, EndTick };

// Run the interrupt routine attached to event ev, if any. A routine number above the
// interrupt table ends the dispatcher for this tick; a routine the program does not declare
// (its table entry does not lead to an INTERRUPT_BLOCK line) is not run. ran tells whether
// the routine was run.
Fired fire(Interpreter& cpu, int ev, bool& ran) {
    ran = false;
    Program& prog = cpu.prog();
    const std::int32_t r = prog.events[static_cast<std::size_t>(ev)].Routine;
    if (r < 0) return Fired::Done;
    if (r > kLastInterruptRoutine) return Fired::EndTick;
    const int entry = prog.interrupts[static_cast<std::size_t>(r)].EntryLine;
    if (entry <= 0 || entry > prog.lastIndex() || prog.CodeTable[static_cast<std::size_t>(entry)].op != Op::INTERRUPT_BLOCK)
        return Fired::Done;
    cpu.RunExec(entry);
    ran = true;
    // A STOP in the routine drops every interrupt still due in this tick.
    return cpu.stopRequested ? Fired::EndTick : Fired::Done;
}

Fired fire(Interpreter& cpu, int ev) {
    bool ran = false;
    return fire(cpu, ev, ran);
}

// Timed interrupt: due when (tick - LastTick) x 10 ms reaches the period byte.
Fired timed(Interpreter& cpu, int ev, int periodByteKey) {
    EventEntry& e = cpu.prog().events[static_cast<std::size_t>(ev)];
    if (e.Routine < 0) return Fired::Done;
    // Unsigned difference: a tick count that wrapped still yields the elapsed ticks.
    const std::uint64_t elapsed = cpu.tick - static_cast<std::uint32_t>(e.LastTick);
    if (elapsed * 10 < cpu.mem().byteAt(periodByteKey)) return Fired::Done;
    bool ran = false;
    const Fired f = fire(cpu, ev, ran);
    if (ran) e.LastTick = static_cast<std::int32_t>(cpu.tick);
    return f;
}

}  // namespace

void resetInterrupts(InterruptEdges& edges) { edges = InterruptEdges{}; }

void runInterrupts(Interpreter& cpu, InterruptEdges& edges) {
    const PlcMemory& mem = cpu.mem();
    const std::int16_t* c = mem.cells();
    const InterruptEdges before = edges;
    for (std::size_t i = 0; i < edges.inputs.size(); ++i) edges.inputs[i] = c[area::I + static_cast<int>(i)];
    for (std::size_t i = 0; i < kEventTimers.size(); ++i) {
        const TimerCounterRecord& t = mem.timers()[static_cast<std::size_t>(kEventTimers[i])];
        edges.timerAtPreset[i] = t.Current == t.Preset;
    }
    edges.primed = true;
    // After a STOP no routine runs any more: the CPU only finishes its pass.
    if (!cpu.interruptsEnabled || cpu.stopRequested) return;

    // Inputs I0.0 to I0.3: event 2i on the rising edge of I0.i, 2i + 1 on its falling edge.
    if (before.primed) {
        for (std::size_t i = 0; i < edges.inputs.size(); ++i) {
            const bool now = edges.inputs[i] != 0;
            const bool was = before.inputs[i] != 0;
            if (now == was) continue;
            const int ev = 2 * static_cast<int>(i) + (now ? 0 : 1);
            if (fire(cpu, ev) == Fired::EndTick) return;
        }
    }
    if (timed(cpu, kTimedEvent0, area::SMB34) == Fired::EndTick) return;
    if (timed(cpu, kTimedEvent1, area::SMB35) == Fired::EndTick) return;
    // T32 and T96 reaching their preset.
    if (before.primed) {
        constexpr std::array<int, 2> events{kTimerT32Event, kTimerT96Event};
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (!edges.timerAtPreset[i] || before.timerAtPreset[i]) continue;
            if (fire(cpu, events[i]) == Fired::EndTick) return;
        }
    }
}

}  // namespace korvane
