#pragma once
// RunExec walks the code table from a line, dispatches on each line's opcode, keeps the
// logic result and the logic stack, and records for every line the status the program
// status view shows. One pass of the main program is RunExec(0).
#include <array>
#include <cstdint>
#include <functional>

#include "core/code_table.h"
#include "core/interrupt_queue.h"
#include "core/pid.h"
#include "core/plc_memory.h"
#include "core/timers_counters.h"
#include "platform/log_sink.h"
#include "platform/wall_clock.h"

namespace korvane {

class Interpreter;

// Instructions served outside the core: the port instructions (NETR, NETW, XMT, RCV) and
// the library routines that CALL hands over (codes 101 to 106). Without a handler they do
// nothing.
class PortInstructions {
public:
    virtual ~PortInstructions() = default;
    virtual void exec(Interpreter& cpu, CodeLine& line) = 0;
};
class LibraryRoutines {
public:
    virtual ~LibraryRoutines() = default;
    // code is 101 to 106; called for a taken CALL, and for code 104 also when not taken.
    virtual void call(Interpreter& cpu, CodeLine& line, int code) = 0;
};

// The I/O terminals the immediate instructions reach instead of the image: the input
// terminals as they stand at the moment an immediate contact or BIR executes, and the output
// terminals, which an immediate write (=I, SI, RI, BIW) passes its new outputs to at once.
// Without terminals an immediate read takes the image and a write reaches only the image.
class IoTerminals {
public:
    virtual ~IoTerminals() = default;
    // The input terminal of the I bit at key.
    virtual bool inputTerminal(int key) = 0;
    // An immediate write has changed the Q image: the outputs go to the terminals now.
    virtual void outputsWritten() = 0;
};

struct ScrState {
    std::int16_t active = 0;  // -1 inside an LSCR segment
    std::int16_t value = 0;   // the S bit's value captured by LSCR
    std::int16_t key = 0;     // the S bit's key
    std::int16_t skip = 0;    // -1 after a taken CSCRE
};

class Interpreter {
public:
    static constexpr int kStackSize = 32;
    static constexpr int kScanCounterMax = 999999;
    // A pass that executes more lines than this has run away (a jump loop): it ends as a
    // run-time error, like a CPU whose watchdog fired.
    static constexpr std::int64_t kLineBudget = 2'000'000;
    std::int64_t lineBudget = kLineBudget;
    // WDR restarts the line budget; still no pass runs more lines than this, so that an
    // endless loop with a WDR in it cannot hold the simulator for good.
    static constexpr std::int64_t kPassCeiling = 50'000'000;
    std::int64_t passCeiling = kPassCeiling;
    void restartWatchdog() { watchdogLeft_ = lineBudget; }

    Interpreter(PlcMemory& mem, Program& prog, const Log& log) : mem_(mem), prog_(prog), log_(log) {}

    void RunExec(int iRunPC);

    // The logic stack below the logic result.
    void push(std::int16_t bit) {
        if (top >= 0 && top < kStackSize) stack[top++] = bit;
    }
    std::int16_t pop() {
        if (top >= 1 && top <= kStackSize) return stack[--top];
        return 0;
    }
    // Network: entries cleared, top 0, logic result on (or the segment's S value).
    void resetStackForNetwork();
    // RUN entry: logic result 0, entries 0, top 0, SCR state and interrupt queue cleared.
    void resetForRun();

    PlcMemory& mem() { return mem_; }
    Program& prog() { return prog_; }
    const Log& log() const { return log_; }
    double val(const CodeLine& line, int k) const { return korvane::GetCodeParamVal(mem_, line, k); }
    double realVal(const CodeLine& line, int k) const { return korvane::GetCodeParamRealVal(mem_, line, k); }
    double GetCodeParamVal(int line, int index) const;
    double GetCodeParamRealVal(int line, int index) const;
    // The run status record of the line executing, which its handler writes: RunExec points
    // it at the line's record in Program::runStatus before each handler; a handler called
    // outside RunExec (a test's hand-made line) writes a spare record.
    LineRunStatus& status() const { return *running_; }
    // The record of another line of the code table, while RunExec runs.
    LineRunStatus& statusOf(const CodeLine& line) const { return status_[&line - code_]; }

    // --- state (kept between RunExec calls) --------------------------------------------
    std::int16_t logicResult = 0;
    std::array<std::int16_t, kStackSize> stack{};
    int top = 1;  // at program start the first entry is 0 and the top is 1
    ScrState scr;
    std::int16_t interruptsEnabled = 0;
    // Occurrences of attached events waiting for their routine; emptied at RUN entry.
    InterruptQueue interruptQueue;
    std::int32_t scanCounter = 0;
    int iPC = 0;
    bool endRun = false;        // set by a handler that ends the current RunExec call
    bool interruptRun = false;  // the current RunExec call runs an interrupt routine
    // A STOP instruction was executed: the scan cycle goes to STOP at the end of the pass.
    bool stopRequested = false;
    bool diagLed = false;       // the diagnostic LED, as DLED last set it
    int postedBit = -1;         // a bit the USS master posted to be on for one pass
    std::uint32_t tick = 0;     // the scan timer's tick count, kept current by the scan cycle
    CounterInputs counterInputs;  // shared by the counter boxes
    RealCpuTimers realTimers;     // the real-CPU mode's timing (timers_counters.h)

    // Subroutine calls: return lines with the caller's L area, and saved logic stacks.
    struct SavedStack {
        std::array<std::int16_t, kStackSize> entries{};
        int top = 0;
    };
    static constexpr int kCallDepth = 16;
    static constexpr int kLocalCells = 512;
    int returnDepth = 0;
    int saveDepth = 0;
    std::array<std::int16_t, kCallDepth> returnStack{};
    std::array<std::array<std::int16_t, kLocalCells>, kCallDepth> localSave{};
    std::array<SavedStack, kCallDepth> stackSave{};
    std::array<PidLoopState, kPidLoops> pidLoops{};  // PID loop states, never reset

    // ENO of the box instructions that report errors without SM1.1 or SM1.3: a box sets
    // enoOff when it fails; AENO (and ENO) on the next line take the logic result off then.
    bool enoOff = false;
    bool priorEnoOff = false;  // enoOff of the line before the one executing
    // The CPU's current non-fatal error code (0006 a bad pointer, 0091 an operand out of
    // range, 009B a string index 0 ...): a box that meets one calls nonFatal, which also
    // sets SM4.3 and takes ENO off. GERR reads and clears the code.
    std::uint16_t errorCode = 0;
    static constexpr std::uint16_t kBadPointerCode = 0x0006;
    // A bad pointer (0006) is also logged, once per line until the next RUN entry.
    void nonFatal(std::uint16_t code);

    // The real-time clock: the front end's clock plus the offset the program set with TODW or
    // TODWX, and the daylight-saving bytes TODWX wrote (buffer bytes 8 to 18, zero until
    // then). Both outlive STOP and RUN, as the CPU's clock does. Without a clock TODR and
    // TODW report the clock missing (error 000C).
    const WallClock* wallClock = nullptr;
    std::int64_t clockOffsetMs = 0;
    std::array<std::uint8_t, 11> daylightSaving{};

    // Called at the end of every pass with the scan counter (the main window's box).
    std::function<void(std::int32_t)> onScanCount;
    PortInstructions* ports = nullptr;
    LibraryRoutines* libraries = nullptr;
    IoTerminals* terminals = nullptr;

private:
    void dispatch(CodeLine& line);
    void blockLine(CodeLine& line);
    static void execBlock(Interpreter& cpu, CodeLine& line);
    static const std::array<void (*)(Interpreter&, CodeLine&), kOpCount> kHandlers;
    bool fastBitLine(const CodeLine& line) const;
    void runFastBitLines(int last, std::int64_t& ceiling);
    bool boxLine(const CodeLine& line) const;
    void runBoxLines(int last, std::int64_t& ceiling);
    bool guardAllows(const CodeLine& line) const;
    void unknownInstruction(CodeLine& line);
    void endOfPass(int posted);
    void epilogue();

    PlcMemory& mem_;
    Program& prog_;
    const Log& log_;
    std::int64_t watchdogLeft_ = 0;
    // The code table and its status records as RunExec found them.
    const CodeLine* code_ = nullptr;
    LineRunStatus* status_ = nullptr;
    mutable LineRunStatus spare_{};
    LineRunStatus* running_ = &spare_;
};

// The instruction families. Each handler executes the line at cpu.iPC.
void execBitLogic(Interpreter& cpu, CodeLine& line);
void execTimerCounter(Interpreter& cpu, CodeLine& line);
void execFlow(Interpreter& cpu, CodeLine& line);
void execMove(Interpreter& cpu, CodeLine& line);
void execCompare(Interpreter& cpu, CodeLine& line);
void execWordLogic(Interpreter& cpu, CodeLine& line);
void execArithmetic(Interpreter& cpu, CodeLine& line);
void execPid(Interpreter& cpu, CodeLine& line);
void execCall(Interpreter& cpu, CodeLine& line);
void execControl(Interpreter& cpu, CodeLine& line);
void execImmediate(Interpreter& cpu, CodeLine& line);
void execConversion(Interpreter& cpu, CodeLine& line);
void execString(Interpreter& cpu, CodeLine& line);
void execTable(Interpreter& cpu, CodeLine& line);
void execClock(Interpreter& cpu, CodeLine& line);

}  // namespace korvane
