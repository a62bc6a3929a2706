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
// The free port's receive-character events, whose routine finds the character in SMB2.
constexpr int kCharacterEventPort0 = 8;
constexpr int kCharacterEventPort1 = 25;
constexpr int kSMB2 = area::SM + 8 * 2;
constexpr int kSM3_0 = area::SM + 8 * 3;

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
    cpu.status().StatusValue[0] = line.number(0);
    cpu.status().StatusValue[1] = line.number(1);
    cpu.status().StatusKind[0] = 5;
    cpu.status().StatusKind[1] = 5;
    if (cpu.logicResult != kOn) return;
    EventEntry& e = cpu.prog().events[static_cast<std::size_t>(eventIndex(line.number(1)))];
    const std::int32_t routine = toInt32(line.number(0));
    // Attaching the routine that is already attached keeps the event's timing: a program
    // that runs ATCH on every pass still gets its timed interrupt.
    if (e.Routine == routine) return;
    e.Routine = routine;
    e.LastTick = static_cast<std::int32_t>(cpu.tick);
}

void detach(Interpreter& cpu, CodeLine& line) {
    cpu.status().StatusValue[0] = line.number(0);
    cpu.status().StatusKind[0] = 5;
    if (cpu.logicResult != kOn) return;
    cpu.prog().events[static_cast<std::size_t>(eventIndex(line.number(0)))].Routine = -1;
}

// CEVNT: every queued occurrence of the event is removed. A detach is what keeps new ones
// from coming.
void clearEvent(Interpreter& cpu, CodeLine& line) {
    cpu.status().StatusValue[0] = line.number(0);
    cpu.status().StatusKind[0] = 5;
    if (cpu.logicResult != kOn) return;
    cpu.interruptQueue.removeEvent(eventIndex(line.number(0)));
}

void setInterruptsEnabled(Interpreter& cpu, bool on) {
    cpu.interruptsEnabled = on ? kOn : 0;
    cpu.mem().cells()[area::SM4_4] = on ? kOn : kOff;
}

void openSegment(Interpreter& cpu, CodeLine& line) {
    const int key = line.key(0);
    const std::int16_t v = cpu.mem().cell(key);
    cpu.scr.value = v;
    cpu.scr.key = static_cast<std::int16_t>(key);
    cpu.scr.active = kOn;
    cpu.scr.skip = 0;
    cpu.status().StatusValue[0] = v;
}

// SCRT: the segment's own S bit off, the target's on. Outside any segment there is no own
// bit to clear, and the transition is ignored.
void transition(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int target = line.key(0);
    if (cpu.logicResult == kOn && cpu.scr.active) {
        mem.setCell(cpu.scr.key, kOff);
        mem.setCell(target, kOn);
    }
    cpu.status().StatusValue[0] = mem.cell(target);
}

void jump(Interpreter& cpu, CodeLine& line) {
    if (cpu.logicResult != kOn) return;
    Program& prog = cpu.prog();
    // Labels belong to their block: a jump reaches only the LBL of its own block.
    const auto block = static_cast<std::size_t>(line.Block);
    if (block >= prog.labels.size()) return;
    const int target = prog.labels[block][static_cast<std::size_t>(labelIndex(line.number(0)))];
    if (target <= 0) return;
    if (target > prog.lastIndex()) fault(FaultCode::IndexOutOfRange);
    cpu.iPC = target;
    CodeLine& to = prog.CodeTable[static_cast<std::size_t>(target)];
    cpu.statusOf(to).StatusValue[0] = target;
    cpu.statusOf(to).StatusKind[0] = 5;
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
    case Op::CEVNT:
        clearEvent(cpu, line);
        return;
    case Op::ENI:
        if (on) setInterruptsEnabled(cpu, true);
        return;
    case Op::DISI:
        if (on) setInterruptsEnabled(cpu, false);
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

enum class Ran : std::uint8_t { Done, EndTick };

// Runs the routine of a queued occurrence. A routine number above the interrupt table ends
// the dispatcher for this tick; a routine the program does not declare (its table entry does
// not lead to an INTERRUPT_BLOCK line) is not run.
Ran run(Interpreter& cpu, const InterruptQueue::Occurrence& o) {
    if (o.routine < 0) return Ran::Done;
    if (o.routine > kLastInterruptRoutine) return Ran::EndTick;
    Program& prog = cpu.prog();
    const int entry = prog.interrupts[static_cast<std::size_t>(o.routine)].EntryLine;
    if (entry <= 0 || entry > prog.lastIndex() || prog.CodeTable[static_cast<std::size_t>(entry)].op != Op::INTERRUPT_BLOCK)
        return Ran::Done;
    if (o.event == kCharacterEventPort0 || o.event == kCharacterEventPort1) {
        PlcMemory& mem = cpu.mem();
        mem.tobit(o.data, kSMB2, 8);
        mem.cells()[kSM3_0] = kOff;  // the channels report no parity errors
    }
    cpu.RunExec(entry);
    // A STOP in the routine drops every interrupt still queued.
    if (cpu.stopRequested) {
        cpu.interruptQueue.clear();
        return Ran::EndTick;
    }
    return Ran::Done;
}

// Timed interrupt: occurs when (tick - LastTick) x 10 ms reaches the period byte.
void timed(Interpreter& cpu, int ev, int periodByteKey) {
    EventEntry& e = cpu.prog().events[static_cast<std::size_t>(ev)];
    if (e.Routine < 0) return;
    // Unsigned difference: a tick count that wrapped still yields the elapsed ticks.
    const std::uint64_t elapsed = cpu.tick - static_cast<std::uint32_t>(e.LastTick);
    if (elapsed * 10 < cpu.mem().byteAt(periodByteKey)) return;
    raiseInterrupt(cpu, ev);
    e.LastTick = static_cast<std::int32_t>(cpu.tick);
}

}  // namespace

void resetInterrupts(InterruptEdges& edges) { edges = InterruptEdges{}; }

bool raiseInterrupt(Interpreter& cpu, int ev, std::uint8_t data) {
    if (ev < 0 || ev > kLastEvent) return false;
    const std::int32_t routine = cpu.prog().events[static_cast<std::size_t>(ev)].Routine;
    if (routine < 0) return false;
    if (cpu.interruptQueue.push(ev, routine, data)) return true;
    cpu.mem().cells()[area::SM4_0 + static_cast<int>(eventPriority(ev).group)] = kOn;
    return false;
}

void runInterrupts(Interpreter& cpu, InterruptEdges& edges) {
    PlcMemory& mem = cpu.mem();
    std::int16_t* c = mem.cells();
    const InterruptEdges before = edges;
    for (std::size_t i = 0; i < edges.inputs.size(); ++i) edges.inputs[i] = c[area::I + static_cast<int>(i)];
    for (std::size_t i = 0; i < kEventTimers.size(); ++i) {
        const TimerCounterRecord& t = mem.timers()[static_cast<std::size_t>(kEventTimers[i])];
        // The CPU's 1 ms timers advance ten units a tick and may pass the preset between two
        // ticks: there the event comes when the value reaches it.
        edges.timerAtPreset[i] = cpu.realTimers.on ? t.Current >= t.Preset : t.Current == t.Preset;
    }
    edges.primed = true;
    // After a STOP no routine runs any more and nothing queues: the CPU only finishes its
    // pass.
    if (cpu.stopRequested) {
        cpu.interruptQueue.clear();
        return;
    }

    if (before.primed) {
        // Inputs I0.0 to I0.3: event 2i on the rising edge of I0.i, 2i + 1 on its falling edge.
        for (std::size_t i = 0; i < edges.inputs.size(); ++i) {
            const bool now = edges.inputs[i] != 0;
            const bool was = before.inputs[i] != 0;
            if (now != was) raiseInterrupt(cpu, 2 * static_cast<int>(i) + (now ? 0 : 1));
        }
    }
    timed(cpu, kTimedEvent0, area::SMB34);
    timed(cpu, kTimedEvent1, area::SMB35);
    if (before.primed) {
        // T32 and T96 reaching their preset.
        constexpr std::array<int, 2> events{kTimerT32Event, kTimerT96Event};
        for (std::size_t i = 0; i < events.size(); ++i)
            if (edges.timerAtPreset[i] && !before.timerAtPreset[i]) raiseInterrupt(cpu, events[i]);
    }

    // One routine at a time, for what was queued when the routines began: an occurrence that
    // a routine brings about (a transmission that completes at once) waits for the next tick.
    InterruptQueue& queue = cpu.interruptQueue;
    for (int n = queue.size(); n > 0 && cpu.interruptsEnabled; --n) {
        InterruptQueue::Occurrence o;
        if (!queue.pop(o) || run(cpu, o) == Ran::EndTick) break;
    }
    for (int g = 0; g < InterruptQueue::kGroups; ++g)
        if (queue.size(static_cast<EventGroup>(g)) == 0) c[area::SM4_0 + g] = kOff;
    c[area::SM4_4] = cpu.interruptsEnabled ? kOn : kOff;
}

}  // namespace korvane
