// Subroutine calls with parameters passed through local memory, returns, and the hand-over
// of library calls.
#include "core/flow_control.h"

namespace korvane {

namespace {

constexpr int kUserSubroutines = 64;  // SBR0 to SBR63
constexpr int kLastParamSlot = 20;
constexpr int kLastOperand = kMaxOperands - 1;

// The index of a subroutine table entry; a number outside the table is a run-time fault.
int subroutineIndex(double number, const Program& prog) {
    const double r = roundEven(number);
    if (!(r >= 0 && r < static_cast<double>(prog.subroutines.size()))) fault(FaultCode::IndexOutOfRange);
    return static_cast<int>(r);
}

bool isLibraryCode(int n) { return n >= library::MBUS_CTRL && n <= library::MBUS_SLAVE; }

// Memory as a call sees it while the caller's L area is saved at a level: cells of the L
// area read and written through the saved copy are the caller's locals, untouched by what
// the callee has already put into L. Without a saved level, L is the live area.
class CallerView {
public:
    CallerView(PlcMemory& mem, std::array<std::int16_t, Interpreter::kLocalCells>* saved) : mem_(mem), saved_(saved) {}

    std::int16_t get(int key) const {
        if (saved_ && inLocal(key)) return (*saved_)[static_cast<std::size_t>(key - area::L)];
        return mem_.cell(key);
    }
    void set(int key, std::int16_t v) {
        if (saved_ && inLocal(key)) {
            (*saved_)[static_cast<std::size_t>(key - area::L)] = v;
            return;
        }
        mem_.setCell(key, v);
    }

private:
    static bool inLocal(int key) { return key >= area::L && key < area::L + Interpreter::kLocalCells; }
    PlcMemory& mem_;
    std::array<std::int16_t, Interpreter::kLocalCells>* saved_;
};

void checkRange(int key, int n) {
    if (!PlcMemory::inImage(key) || !PlcMemory::inImage(key + n - 1)) fault(FaultCode::AccessOutOfImage);
}

// n cells of the caller's memory at from into the callee's L at to.
void copyIn(PlcMemory& mem, const CallerView& caller, int from, int to, int n) {
    checkRange(from, n);
    checkRange(to, n);
    for (int i = 0; i < n; ++i) mem.setCell(to + i, caller.get(from + i));
}

// n cells of the callee's L at from into the caller's memory at to.
void copyOut(const PlcMemory& mem, CallerView& caller, int from, int to, int n) {
    checkRange(from, n);
    checkRange(to, n);
    for (int i = 0; i < n; ++i) caller.set(to + i, mem.cell(from + i));
}

// The number of parameter slots a call passes: slots 1 to last, each bound to the CALL
// operand of the same position; slots without an actual parameter on the line are skipped.
int lastBoundSlot(const CodeLine& call, int last) {
    if (last > kLastParamSlot) last = kLastParamSlot;
    if (last > kLastOperand) last = kLastOperand;
    const int operands = call.operandCount();
    if (last > operands - 1) last = operands - 1;
    return last;
}

void copyInputs(Interpreter& cpu, const CodeLine& call, const SubroutineEntry& sub, const CallerView& caller) {
    PlcMemory& mem = cpu.mem();
    const int last = lastBoundSlot(call, sub.InCount + sub.InOutCount);
    for (int j = 1; j <= last; ++j) {
        const int key = sub.ParamKey[static_cast<std::size_t>(j)];
        const double p = call.number(j);
        const int k = call.kindOf(j);
        switch (sub.ParamType[static_cast<std::size_t>(j)]) {
        case ptype::Bool:
            copyIn(mem, caller, keyOf(p), key, 1);
            break;
        case ptype::Byte:
            if (k == kind::Constant) mem.tobit(p, key, 8);
            else if (k == kind::Byte) copyIn(mem, caller, keyOf(p), key, 8);
            break;
        case ptype::Word:
        case ptype::Int:
            if (k == kind::Word) copyIn(mem, caller, keyOf(p), key, 16);
            else if (k == kind::Constant) mem.tobit(p < 0 ? p + 65536.0 : p, key, 16);
            else if (k == kind::Timer || k == kind::Counter) mem.tobit(cpu.val(call, j), key, 16);
            break;
        case ptype::DWord:
        case ptype::DInt:
            if (k == kind::DWord) copyIn(mem, caller, keyOf(p), key, 32);
            else if (k == kind::Constant) mem.tobit(p < 0 ? p + 4294967296.0 : p, key, 32);
            break;
        case ptype::Real:
            if (k == kind::DWord) copyIn(mem, caller, keyOf(p), key, 32);
            else if (k == kind::Constant) mem.tobit2(p, key, 40);
            break;
        default:  // STRING: not passed
            break;
        }
    }
}

// In-out and output slots back to the actual parameters. Only actuals of the slot's own
// width receive a value: constants, timers and counters are never written.
void copyOutputs(Interpreter& cpu, const CodeLine& call, const SubroutineEntry& sub, CallerView& caller) {
    if (sub.InOutCount + sub.OutCount < 1) return;
    const PlcMemory& mem = cpu.mem();
    const int last = lastBoundSlot(call, sub.ParamCount);
    for (int j = sub.InCount + 1; j <= last; ++j) {
        if (j < 1) continue;
        const int key = sub.ParamKey[static_cast<std::size_t>(j)];
        const double p = call.number(j);
        const int k = call.kindOf(j);
        switch (sub.ParamType[static_cast<std::size_t>(j)]) {
        case ptype::Bool:
            copyOut(mem, caller, key, keyOf(p), 1);
            break;
        case ptype::Byte:
            if (k == kind::Byte) copyOut(mem, caller, key, keyOf(p), 8);
            break;
        case ptype::Word:
        case ptype::Int:
            if (k == kind::Word) copyOut(mem, caller, key, keyOf(p), 16);
            break;
        case ptype::DWord:
        case ptype::DInt:
        case ptype::Real:
            if (k == kind::DWord) copyOut(mem, caller, key, keyOf(p), 32);
            break;
        default:
            break;
        }
    }
}

void saveLocal(const PlcMemory& mem, std::array<std::int16_t, Interpreter::kLocalCells>& to) {
    const std::int16_t* c = mem.cells() + area::L;
    for (std::size_t i = 0; i < to.size(); ++i) to[i] = c[i];
}

void restoreLocal(PlcMemory& mem, const std::array<std::int16_t, Interpreter::kLocalCells>& from) {
    std::int16_t* c = mem.cells() + area::L;
    for (std::size_t i = 0; i < from.size(); ++i) c[i] = from[i];
}

}  // namespace

bool pcpush(Interpreter& cpu) {
    const int d = cpu.returnDepth;
    if (d < 0 || d >= Interpreter::kCallDepth) return false;
    cpu.returnStack[static_cast<std::size_t>(d)] = static_cast<std::int16_t>(cpu.iPC);
    saveLocal(cpu.mem(), cpu.localSave[static_cast<std::size_t>(d)]);
    cpu.returnDepth = d + 1;
    return true;
}

void StackPush(Interpreter& cpu) {
    const int d = cpu.saveDepth;
    if (d >= 0 && d < Interpreter::kCallDepth) {
        Interpreter::SavedStack& s = cpu.stackSave[static_cast<std::size_t>(d)];
        s.entries = cpu.stack;
        s.top = cpu.top;
        cpu.saveDepth = d + 1;
    }
    cpu.logicResult = kOn;
    cpu.top = 0;
}

void PCPopup(Interpreter& cpu) {
    const int d = cpu.returnDepth;
    if (d < 1 || d > Interpreter::kCallDepth) return;
    const auto level = static_cast<std::size_t>(d - 1);
    Program& prog = cpu.prog();
    const int callLine = cpu.returnStack[level];
    if (callLine < 0 || callLine > prog.lastIndex()) fault(FaultCode::IndexOutOfRange);
    cpu.iPC = callLine;
    const CodeLine& call = prog.CodeTable[static_cast<std::size_t>(callLine)];
    const SubroutineEntry& sub = prog.subroutines[static_cast<std::size_t>(subroutineIndex(call.number(0), prog))];
    // Outputs bound to the caller's own locals go into its saved L, which is restored next.
    CallerView caller(cpu.mem(), &cpu.localSave[level]);
    copyOutputs(cpu, call, sub, caller);
    restoreLocal(cpu.mem(), cpu.localSave[level]);
    cpu.returnDepth = d - 1;
}

void StackPop(Interpreter& cpu) {
    const int d = cpu.saveDepth;
    if (d >= 1 && d <= Interpreter::kCallDepth) {
        const Interpreter::SavedStack& s = cpu.stackSave[static_cast<std::size_t>(d - 1)];
        cpu.stack = s.entries;
        cpu.top = s.top;
        cpu.saveDepth = d - 1;
    }
    cpu.logicResult = kOn;
}

void returnFromSubroutine(Interpreter& cpu, CodeLine& line) {
    line.HasStatus = 0;
    PCPopup(cpu);
    StackPop(cpu);
}

void execCall(Interpreter& cpu, CodeLine& line) {
    line.HasStatus = 0;
    Program& prog = cpu.prog();
    if (cpu.logicResult != kOn) {
        // USS_CTRL runs in every pass, with or without power flow.
        if (roundEven(line.number(0)) == library::USS_CTRL && cpu.libraries)
            cpu.libraries->call(cpu, line, library::USS_CTRL);
        return;
    }
    const int n = subroutineIndex(line.number(0), prog);
    if (isLibraryCode(n)) {
        if (cpu.libraries) cpu.libraries->call(cpu, line, n);
        return;
    }
    if (n >= kUserSubroutines) return;
    const SubroutineEntry& sub = prog.subroutines[static_cast<std::size_t>(n)];
    const int entry = sub.EntryLine;
    // Line 0 is the main program; a subroutine the program does not declare is not called.
    if (entry < 1 || entry > prog.lastIndex() || prog.CodeTable[static_cast<std::size_t>(entry)].op != Op::SUBROUTINE_BLOCK)
        return;
    const int level = cpu.returnDepth;
    const bool saved = pcpush(cpu);
    StackPush(cpu);
    CallerView caller(cpu.mem(), saved ? &cpu.localSave[static_cast<std::size_t>(level)] : nullptr);
    copyInputs(cpu, line, sub, caller);
    // The epilogue runs on the line before the block; execution goes on at SUBROUTINE_BLOCK.
    cpu.iPC = entry - 1;
}

}  // namespace korvane
