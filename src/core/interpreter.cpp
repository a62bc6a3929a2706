#include "core/interpreter.h"

#include <string>

namespace korvane {

double Interpreter::GetCodeParamVal(int line, int index) const {
    return korvane::GetCodeParamVal(mem_, prog_.CodeTable.at(line), index);
}
double Interpreter::GetCodeParamRealVal(int line, int index) const {
    return korvane::GetCodeParamRealVal(mem_, prog_.CodeTable.at(line), index);
}

void Interpreter::resetStackForNetwork() {
    stack.fill(0);
    top = 0;
    logicResult = scr.active ? scr.value : kOn;
}

void Interpreter::resetForRun() {
    logicResult = 0;
    stack.fill(0);
    top = 0;
    scr = ScrState{};
    interruptQueue.clear();
    counterInputs = CounterInputs{};
    enoOff = priorEnoOff = false;
    errorCode = 0;
    stopRequested = false;
    diagLed = false;
    LineRunStatus* const st = prog_.runStatusFollowingTable();
    for (std::size_t i = 0; i < prog_.runStatus.size(); ++i) st[i].UnknownLogged = st[i].PointerLogged = false;
}

// Lines that act whatever the logic result is: the contacts that compute it, the coil that
// writes it, the edges, and the timer and counter boxes, which run on every pass. The other
// boxes act only on power flow.
static bool actsWithoutPowerFlow(Op op) {
    switch (op) {
    case Op::Assign:
    case Op::AssignI:
    case Op::EU:
    case Op::ED:
    case Op::TON:
    case Op::TOF:
    case Op::TONR:
    case Op::CTU:
    case Op::CTD:
    case Op::CTUD:
        return true;
    default:
        return isContact(op);
    }
}

// A line with an operand the builder could not take: one that names nothing makes the line
// do nothing (the builder has already given contacts an operand that reads 0); one outside
// its area is a run-time error whenever the line would act, and nothing is written.
bool Interpreter::guardAllows(const CodeLine& line) const {
    if (line.Guard == LineGuard::OutsideArea && (logicResult == kOn || actsWithoutPowerFlow(line.op)))
        fault(FaultCode::AccessOutOfImage);
    return false;
}

void Interpreter::endOfPass(int posted) {
    std::int16_t* c = mem_.cells();
    c[area::SM1_0] = c[area::SM1_1] = c[area::SM1_3] = kOff;
    c[area::SM0_6] = c[area::SM0_6] ? kOff : kOn;
    c[area::SM0_3] = kOff;
    if (++scanCounter > kScanCounterMax) scanCounter = 0;
    if (onScanCount) onScanCount(scanCounter);
    // Only the bit that was on for this pass goes off; a post that arrived during the pass
    // waits for the next one, so its pulse is not lost.
    if (posted >= 0) {
        if (PlcMemory::inImage(posted)) c[posted] = kOff;
        if (postedBit == posted) postedBit = -1;
    }
}

// The status every executed line records, on the line iPC designates after the handler.
void Interpreter::epilogue() {
    const auto& table = prog_.CodeTable;
    if (iPC < 0 || table.begin() + iPC >= table.end()) fault(FaultCode::IndexOutOfRange);
    LineRunStatus& line = status_[iPC];
    const std::int16_t* c = mem_.cells();
    if (scr.active && scr.value == 0) logicResult = 0;
    const bool eno = !(enoOff | (c[area::SM1_1] != 0) | (c[area::SM1_3] != 0));
    line.flowBits = static_cast<std::uint8_t>((line.flowBits & status::FlowBefore) |
                                              (logicResult ? status::FlowAfter : 0) | (eno ? status::Eno : 0) |
                                              (stack[0] ? status::Stack0 : 0) | (stack[1] ? status::Stack1 : 0) |
                                              (stack[2] ? status::Stack2 : 0));
}

// The contacts, the coil and the network line, the bulk of most programs, run here without a
// call: such a line with a good key, no guard and no skipped segment does what execBitLogic
// (or the network case of dispatch) and the epilogue do, with the logic result in a register.
[[gnu::always_inline]] inline bool Interpreter::fastBitLine(const CodeLine& line) const {
    switch (line.op) {
    case Op::LD:
    case Op::A:
    case Op::AN:
    case Op::O:
    case Op::ON:
    case Op::Assign:
        return line.Guard == LineGuard::None && line.operands[0].key >= 0 && !(scr.active && scr.skip);
    case Op::Network:
        return line.Guard == LineGuard::None && !(scr.active && scr.skip);
    default:
        return false;
    }
}

// A run of contacts, coils and network lines from the line at iPC (which fastBitLine took) up
// to the first line that needs the full dispatch or the end of the table: each line does what
// execBitLogic (or the network case of dispatch) and the epilogue do. The logic result, the
// stack top and the top three stack bits stay in registers; no line of the run changes the
// SCR state, so its checks are taken once.
void Interpreter::runFastBitLines(int last, std::int64_t& ceiling) {
    std::int16_t* const c = mem_.cells();
    CodeLine* const base = prog_.CodeTable.data();
    const bool scrOff = scr.active && scr.value == 0;
    const std::int16_t networkResult = scrOff ? 0 : scr.active ? scr.value : kOn;
    std::int16_t lr = logicResult;
    int t = top;
    unsigned stackBits = (stack[0] ? status::Stack0 : 0u) | (stack[1] ? status::Stack1 : 0u) |
                         (stack[2] ? status::Stack2 : 0u);
    std::int64_t watchdog = watchdogLeft_;
    const int first = iPC;
    int pc = first;
    CodeLine* l = base + pc;
    LineRunStatus* ls = status_ + pc;
    priorEnoOff = enoOff;
    enoOff = false;
    auto leave = [&] {
        logicResult = lr;
        top = t;
        watchdogLeft_ = watchdog;
        if (pc != first) priorEnoOff = false;  // every line after the first had enoOff off before it
        iPC = pc;
    };
    for (;;) {
        const unsigned before = lr ? status::FlowBefore : 0u;
        if (l->op == Op::Network) {
            stack.fill(0);
            t = 0;
            stackBits = 0;
            lr = networkResult;
            l->HasStatus = 0;
        } else {
            const int k = l->operands[0].key;
            std::int16_t shown;
            switch (l->op) {
            case Op::LD:
                shown = c[k];
                if (t >= 0 && t < kStackSize) {
                    stack[static_cast<std::size_t>(t)] = lr;
                    if (t < 3) {
                        const unsigned bit = status::Stack0 << t;
                        stackBits = (stackBits & ~bit) | (lr ? bit : 0u);
                    }
                    ++t;
                }
                lr = shown;
                break;
            case Op::A:
                shown = c[k];
                lr = static_cast<std::int16_t>(lr & shown);
                break;
            case Op::AN:
                shown = c[k];
                lr = static_cast<std::int16_t>(lr & ~shown);
                break;
            case Op::O:
                shown = c[k];
                lr = static_cast<std::int16_t>(lr | shown);
                break;
            case Op::ON:
                shown = c[k];
                lr = static_cast<std::int16_t>(lr | ~shown);
                break;
            default:  // Assign
                c[k] = lr;
                shown = lr;
                break;
            }
            ls->StatusValue[0] = shown;
            if (scrOff) lr = 0;
        }
        const unsigned eno = ((c[area::SM1_1] | c[area::SM1_3]) == 0) ? status::Eno : 0u;
        ls->flowBits = static_cast<std::uint8_t>(before | (lr ? status::FlowAfter : 0u) | eno | stackBits);
        if (++pc > last) break;
        ++l;
        ++ls;
        const Op op = l->op;
        const bool fast = l->Guard == LineGuard::None &&
                          (op == Op::Network || ((op == Op::LD || op == Op::A || op == Op::AN || op == Op::O ||
                                                  op == Op::ON || op == Op::Assign) &&
                                                 l->operands[0].key >= 0));
        if (!fast) break;
        if (--watchdog < 0 || --ceiling < 0) {
            leave();
            fault(FaultCode::IndexOutOfRange);
        }
    }
    leave();
}

// The port instructions run only when the front end gave the engine its ports.
static void execPorts(Interpreter& cpu, CodeLine& line) {
    if (cpu.ports) cpu.ports->exec(cpu, line);
}

void Interpreter::execBlock(Interpreter& cpu, CodeLine& line) { cpu.blockLine(line); }

using LineHandler = void (*)(Interpreter&, CodeLine&);

static constexpr LineHandler familyHandler(Family family) {
    switch (family) {
    case Family::BitLogic:
        return execBitLogic;
    case Family::TimerCounter:
        return execTimerCounter;
    case Family::Flow:
        return execFlow;
    case Family::Move:
        return execMove;
    case Family::Compare:
        return execCompare;
    case Family::WordLogic:
        return execWordLogic;
    case Family::Arithmetic:
        return execArithmetic;
    case Family::Pid:
        return execPid;
    case Family::PpiMaster:
    case Family::FreePort:
        return execPorts;
    case Family::Call:
        return execCall;
    case Family::Control:
        return execControl;
    case Family::Immediate:
        return execImmediate;
    case Family::Conversion:
        return execConversion;
    case Family::String:
        return execString;
    case Family::Table:
        return execTable;
    case Family::Clock:
        return execClock;
    case Family::Block:
        break;
    }
    return nullptr;
}

// Each opcode's handler, looked up by the opcode in one step: the block, declaration and
// empty lines share the interpreter's own.
constinit const std::array<void (*)(Interpreter&, CodeLine&), kOpCount> Interpreter::kHandlers = [] {
    std::array<LineHandler, kOpCount> h{};
    for (std::size_t i = 0; i < kOpCount; ++i) {
        // No comparison of handler addresses here: a sanitizer build cannot evaluate one in a
        // constant initializer.
        h[i] = kOpInfo[i].family == Family::Block ? &Interpreter::execBlock : familyHandler(kOpInfo[i].family);
    }
    return h;
}();

// The boxes that leave the logic stack, the SCR state and the line to run next alone and
// change the logic result at most as a contact that ANDs or ORs it: moves, word logic,
// arithmetic, conversions and the compares that do not load.
static constexpr std::array<bool, kOpCount> kBoxRunOps = [] {
    std::array<bool, kOpCount> r{};
    for (std::size_t i = 0; i < kOpCount; ++i) {
        const auto op = static_cast<Op>(i);
        switch (kOpInfo[i].family) {
        case Family::Move:
        case Family::WordLogic:
        case Family::Arithmetic:
        case Family::Conversion:
            r[i] = true;
            break;
        case Family::Compare:
            r[i] = isCompare(op) && compareForm(op) != CompareForm::Load;
            break;
        default:
            break;
        }
    }
    return r;
}();

// Whether the line at iPC starts a run of such boxes: no guard, and no SCR segment that is
// off or skipped (whose lines the epilogue or dispatch would treat apart).
[[gnu::always_inline]] inline bool Interpreter::boxLine(const CodeLine& line) const {
    return kBoxRunOps[static_cast<std::size_t>(line.op)] && line.Guard == LineGuard::None &&
           !(scr.active && (scr.skip || scr.value == 0));
}

// A run of such boxes from the line at iPC (which boxLine took) up to the first line that
// needs the full loop or the end of the table: each line does what dispatch and the epilogue
// do for it. The stack bits and the SCR state cannot change inside the run, so they are taken
// once, and the line's status byte is written once, after the box.
void Interpreter::runBoxLines(int last, std::int64_t& ceiling) {
    const std::int16_t* const c = mem_.cells();
    CodeLine* const base = prog_.CodeTable.data();
    const unsigned stackBits = (stack[0] ? status::Stack0 : 0u) | (stack[1] ? status::Stack1 : 0u) |
                               (stack[2] ? status::Stack2 : 0u);
    // Both budgets in registers, given back on every way out.
    std::int64_t watchdog = watchdogLeft_;
    std::int64_t left = ceiling;
    auto giveBack = [&] {
        watchdogLeft_ = watchdog;
        ceiling = left;
    };
    LineRunStatus* const records = status_;
    int pc = iPC;
    for (;;) {
        CodeLine& line = base[pc];
        LineRunStatus& ls = records[pc];
        running_ = &ls;
        const unsigned before = logicResult ? status::FlowBefore : 0u;
        priorEnoOff = enoOff;
        enoOff = false;
        try {
            kHandlers[static_cast<std::size_t>(line.op)](*this, line);
        } catch (const PlcFault& f) {
            // As in the full loop: a bad pointer fails the box and the pass goes on; any other
            // fault ends the pass with the line showing the flow it was entered with.
            if (f.code != FaultCode::BadPointer || isContact(line.op)) {
                ls.flowBits = static_cast<std::uint8_t>((ls.flowBits & status::AfterBits) | before);
                giveBack();
                throw;
            }
            nonFatal(kBadPointerCode);
        }
        const unsigned eno = (enoOff | (c[area::SM1_1] != 0) | (c[area::SM1_3] != 0)) ? 0u : status::Eno;
        ls.flowBits = static_cast<std::uint8_t>(before | (logicResult ? status::FlowAfter : 0u) | eno | stackBits);
        if (++pc > last) break;
        const CodeLine& next = base[pc];
        if (!kBoxRunOps[static_cast<std::size_t>(next.op)] || next.Guard != LineGuard::None) break;
        iPC = pc;
        if (--watchdog < 0 || --left < 0) {
            giveBack();
            fault(FaultCode::IndexOutOfRange);
        }
    }
    iPC = pc;
    giveBack();
}

[[gnu::always_inline]] inline void Interpreter::dispatch(CodeLine& line) {
    const Op op = line.op;
    priorEnoOff = enoOff;
    enoOff = false;
    if (scr.active && scr.skip && !runsUnderScrSkip(op)) return;
    if (line.Guard != LineGuard::None && !guardAllows(line)) return;
    kHandlers[static_cast<std::size_t>(op)](*this, line);
}

// The lines of no family: network, block and declaration lines, ENO and unknown lines.
void Interpreter::blockLine(CodeLine& line) {
    const Op op = line.op;
    switch (op) {
    case Op::Network:
        resetStackForNetwork();
        line.HasStatus = 0;
        return;
    case Op::ORGANIZATION_BLOCK:
        if (iPC == 0) {
            std::int16_t* c = mem_.cells();
            if (!c[area::FirstScanDone]) {
                c[area::SM0_1] = kOn;
                c[area::FirstScanDone] = kOn;
            } else {
                c[area::SM0_1] = kOff;
            }
        }
        line.HasStatus = 0;
        return;
    case Op::END_ORGANIZATION_BLOCK:
        // The end of the main block ends the pass: the loader gives it the table's last
        // index; a hand-written operand pointing elsewhere would loop or run off the table.
        line.HasStatus = 0;
        iPC = prog_.lastIndex();
        return;
    case Op::VAR_INPUT:
    case Op::END_VAR:
    case Op::VAR_IN_OUT:
    case Op::VAR_OUTPUT:
    case Op::BEGIN:
    case Op::SUBROUTINE_BLOCK:
    case Op::INTERRUPT_BLOCK:
    case Op::VAR:
    case Op::LBL:
    case Op::NOP:
    case Op::Empty:
    case Op::DeclBool:
    case Op::DeclByte:
    case Op::DeclWord:
    case Op::DeclInt:
    case Op::DeclDword:
    case Op::DeclDint:
    case Op::DeclReal:
    case Op::DeclString:
        line.HasStatus = 0;
        return;
    case Op::ENO:
    case Op::AENO: {
        const std::int16_t* c = mem_.cells();
        if (priorEnoOff || c[area::SM1_1] || c[area::SM1_3]) logicResult = 0;
        return;
    }
    case Op::Unknown:
    default:
        unknownInstruction(line);
        return;
    }
}

void Interpreter::nonFatal(std::uint16_t code) {
    errorCode = code;
    mem_.cells()[area::SM4_3] = kOn;
    enoOff = true;
    if (code != kBadPointerCode || iPC < 0 || iPC > prog_.lastIndex()) return;
    LineRunStatus& st = prog_.runStatusFollowingTable()[iPC];
    if (st.PointerLogged) return;
    st.PointerLogged = true;
    log_.stamped(" 间接寻址错误:iPC=" + std::to_string(iPC) + ",astrCode=" + prog_.CodeTable[static_cast<std::size_t>(iPC)].mnemonic());
}

// Logged once per line until the next RUN entry: a jump loop through such a line would
// otherwise flood the log on every pass.
void Interpreter::unknownInstruction(CodeLine& line) {
    if (LineRunStatus& st = status(); !st.UnknownLogged) {
        st.UnknownLogged = true;
        log_.stamped(" 不可识别的指令：" + line.mnemonic() + ",iPC=" + std::to_string(iPC));
    }
    line.HasStatus = 0;
}

void Interpreter::RunExec(int iRunPC) {
    const int last = prog_.lastIndex();
    if (last == 0) return;
    code_ = prog_.CodeTable.data();
    status_ = prog_.runStatusFollowingTable();
    // An interrupt routine run from inside a handler leaves the handler's line its record.
    struct KeepRunning {
        LineRunStatus*& running;
        LineRunStatus* const saved;
        ~KeepRunning() { running = saved; }
    } keep{running_, running_};
    std::int16_t* c = mem_.cells();
    c[area::SM0_0] = kOn;
    const int posted = postedBit;
    if (posted >= 0 && PlcMemory::inImage(posted)) c[posted] = kOn;
    iPC = iRunPC;
    endRun = false;
    interruptRun = iRunPC != 0;
    returnDepth = 0;
    saveDepth = 0;
    watchdogLeft_ = lineBudget;
    std::int64_t ceiling = passCeiling;
    try {
        for (;;) {
            if (iPC > last) {
                endOfPass(posted);
                return;
            }
            if (iPC < 0 || --watchdogLeft_ < 0 || --ceiling < 0) fault(FaultCode::IndexOutOfRange);
            CodeLine& line = prog_.CodeTable[static_cast<std::size_t>(iPC)];
            if (fastBitLine(line)) {
                runFastBitLines(last, ceiling);
                continue;
            }
            if (boxLine(line)) {
                runBoxLines(last, ceiling);
                continue;
            }
            LineRunStatus& ls = status_[iPC];
            running_ = &ls;
            ls.flowBits = static_cast<std::uint8_t>((ls.flowBits & status::AfterBits) |
                                                    (logicResult ? status::FlowBefore : 0));
            try {
                dispatch(line);
            } catch (const PlcFault& f) {
                // A bad pointer fails its box (ENO off, error 0006, SM4.3) and the pass goes
                // on; in a contact it ends the pass, as the CPU stops.
                if (f.code != FaultCode::BadPointer || isContact(line.op)) throw;
                nonFatal(kBadPointerCode);
            }
            if (endRun) return;
            epilogue();
            ++iPC;
        }
    } catch (const PlcFault&) {
        std::string mnemonic;
        if (iPC >= 0 && iPC <= last) mnemonic = prog_.CodeTable[iPC].mnemonic();
        log_.stamped(" 运行代码错误:iPC=" + std::to_string(iPC) + ",astrCode=" + mnemonic);
    }
}

}  // namespace korvane
