#include "core/code_table.h"

namespace korvane {

namespace {
int recordIndex(double number, int base) {
    double r = roundEven(number) - base;
    if (!(r >= 0 && r <= 255)) fault(FaultCode::IndexOutOfRange);
    return static_cast<int>(r);
}
}  // namespace

double GetCodeParamVal(const PlcMemory& mem, const CodeLine& line, int index) {
    double p = line.Param[index];
    switch (line.kindOf(index)) {
    case kind::Constant:
        return p;
    case kind::Byte:
        return mem.GetByteValue(keyOf(p));
    case kind::Word:
        return mem.GetWordValue(keyOf(p));
    case kind::DWord:
        return mem.GetDWordValue(keyOf(p));
    case kind::Timer:
        return mem.timers()[recordIndex(p, area::T)].Current;
    case kind::Counter:
        return mem.counters()[recordIndex(p, area::C)].Current;
    case kind::IndirectByte:
        return mem.GetByteValue(pointerTarget(mem, p, 8));
    case kind::IndirectWord:
        return mem.GetWordValue(pointerTarget(mem, p, 16));
    case kind::IndirectDWord:
        return mem.GetDWordValue(pointerTarget(mem, p, 32));
    default:
        return 0;
    }
}

double GetCodeParamRealVal(const PlcMemory& mem, const CodeLine& line, int index) {
    double p = line.Param[index];
    const int knd = line.kindOf(index);
    if (knd == kind::Constant) return p;
    if (pointerBits(knd)) return mem.GetRealValue(pointerTarget(mem, p, 32));
    return mem.GetRealValue(keyOf(p));
}

int pointerTarget(const PlcMemory& mem, double pointerKey, int bits) {
    const double target = mem.GetDWordValue(keyOf(pointerKey)) * 8.0;
    if (!(target <= area::LastCell)) fault(FaultCode::BadPointer);
    const int key = static_cast<int>(target);
    if (!area::dataAreaOf(key).holds(key, bits)) fault(FaultCode::BadPointer);
    return key;
}

LineStatus lineStatus(const Program& prog, int index) {
    LineStatus s;
    if (index < 0 || index > prog.lastIndex()) return s;
    const CodeLine& line = prog.CodeTable[static_cast<std::size_t>(index)];
    s.shown = line.HasStatus != 0;
    s.flowBefore = line.FlowBefore != 0;
    s.flowAfter = line.FlowAfter != 0;
    s.enoShown = line.EnoShown != 0;
    s.operands = line.operandCount();
    s.stack = line.StackText;
    s.value = line.StatusValue;
    s.kind = line.StatusKind;
    return s;
}

}  // namespace korvane
