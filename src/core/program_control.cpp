// Program control: FOR/NEXT loops, the conditional END, STOP, the watchdog reset, the
// non-fatal error code and the diagnostic LED.
#include <optional>
#include <string>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

// A word as the INT it holds: the low 16 bits in two's complement (a constant beyond the
// INT range keeps its low 16 bits too).
std::int16_t asInt(double v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(toInt32(v)) & 0xFFFFu));
}

// The INT value of operand k; nothing after a bad pointer (error 0006).
std::optional<std::int16_t> intValue(Interpreter& cpu, const CodeLine& line, int k) {
    const std::optional<double> v = operandValueOrError(cpu, line, k);
    if (!v) return std::nullopt;
    return asInt(*v);
}

// Whether operand k can take a word: a word in memory or an accumulator, directly or
// through a pointer, or a timer or counter (its current value). A constant or an operand of
// another width receives nothing.
bool takesWord(const CodeLine& line, int k) {
    const int knd = effectiveKind(line.kindOf(k));
    return knd == kind::Word || knd == kind::Timer || knd == kind::Counter;
}

// The status of a FOR box: INDX, INIT and FINAL as INTs, each where it can be read.
void forStatus(Interpreter& cpu, CodeLine& line) {
    for (int k = 0; k < 3; ++k)
        if (const std::optional<double> v = operandValueIfReadable(cpu, line, k)) setStatus(cpu, k, asInt(*v), 5);
}

// FOR INDX, INIT, FINAL: with power flow INDX := INIT and the body runs while INDX is not
// above FINAL (compared as INTs); without power flow, or when INIT is already above FINAL,
// the pass goes on after the matching NEXT. A FOR without its NEXT does nothing.
void forLoop(Interpreter& cpu, CodeLine& line) {
    const int next = line.LoopPartner;
    if (next <= 0 || !takesWord(line, 0)) return;
    if (!powerOn(cpu)) {
        forStatus(cpu, line);
        cpu.iPC = next;
        return;
    }
    const std::optional<int> indx = operandKeyOrError(cpu, line, 0);
    const std::optional<std::int16_t> init = intValue(cpu, line, 1);
    const std::optional<std::int16_t> last = intValue(cpu, line, 2);
    if (!indx || !init || !last) {
        // A bad pointer: nothing is written and the body does not run.
        forStatus(cpu, line);
        cpu.iPC = next;
        return;
    }
    storeWord(cpu.mem(), line, 0, *indx, *init);
    forStatus(cpu, line);
    if (*init > *last) cpu.iPC = next;
}

// NEXT: INDX := INDX + 1 (wrapping as an INT); while it is not above FINAL, read again now,
// the body runs once more. The logic result is on in the body and after the loop.
void nextLoop(Interpreter& cpu, CodeLine& line) {
    const int forLine = line.LoopPartner;
    if (forLine <= 0) return;
    CodeLine& head = cpu.prog().CodeTable[static_cast<std::size_t>(forLine)];
    // A FOR whose operands name nothing, or whose INDX takes no word, does nothing, and so
    // does its NEXT.
    if (head.Guard != LineGuard::None || !takesWord(head, 0)) return;
    cpu.logicResult = kOn;
    const std::optional<int> indx = operandKeyOrError(cpu, head, 0);
    if (!indx) return;
    const std::optional<std::int16_t> now = intValue(cpu, head, 0);
    const std::optional<std::int16_t> last = intValue(cpu, head, 2);
    if (!now || !last) return;
    const auto stepped = static_cast<std::int16_t>(static_cast<std::uint16_t>(*now) + 1u);
    storeWord(cpu.mem(), head, 0, *indx, stepped);
    // The FOR box shows INDX as NEXT steps it.
    LineRunStatus& box = cpu.statusOf(head);
    box.StatusValue[0] = stepped;
    box.StatusKind[0] = 5;
    if (stepped <= *last) cpu.iPC = forLine;
}

// END (with power flow) and MEND end the main program for this pass. Anywhere else they
// cannot end anything: the line is logged once and ignored.
void endMain(Interpreter& cpu, CodeLine& line) {
    if (line.Block != 0) {
        if (!cpu.status().UnknownLogged) {
            cpu.status().UnknownLogged = true;
            cpu.log().stamped(" " + line.mnemonic() + "指令不在主程序中，不执行,iPC=" + std::to_string(cpu.iPC));
        }
        return;
    }
    cpu.iPC = cpu.prog().lastIndex();
}

// GERR ECODE: the current non-fatal error code into ECODE, and the code cleared.
void getError(Interpreter& cpu, CodeLine& line) {
    const std::uint16_t code = cpu.errorCode;
    if (!takesWord(line, 0)) return;
    if (const std::optional<int> key = operandKeyOrError(cpu, line, 0)) {
        storeWord(cpu.mem(), line, 0, *key, code);
        cpu.errorCode = 0;
    }
}

}  // namespace

void execControl(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    switch (line.op) {
    case Op::FOR:
        forLoop(cpu, line);
        return;
    case Op::NEXT:
        nextLoop(cpu, line);
        return;
    case Op::END:
        if (on) endMain(cpu, line);
        return;
    case Op::MEND:
        endMain(cpu, line);
        return;
    case Op::STOP:
        if (!on) return;
        cpu.stopRequested = true;
        // In an interrupt routine the routine ends here; the main program finishes its pass.
        if (cpu.interruptRun) cpu.endRun = true;
        return;
    case Op::WDR:
        if (on) cpu.restartWatchdog();
        return;
    case Op::GERR:
        if (on) getError(cpu, line);
        if (const std::optional<double> v = operandValueIfReadable(cpu, line, 0)) setStatus(cpu, 0, *v, 5);
        return;
    case Op::DLED: {
        const std::optional<double> in = on ? operandValueOrError(cpu, line, 0) : operandValueIfReadable(cpu, line, 0);
        if (!in) return;
        if (on) cpu.diagLed = *in != 0;
        setStatus(cpu, 0, *in, 1);
        return;
    }
    default:
        return;
    }
}

}  // namespace korvane
