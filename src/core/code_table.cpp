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
    default:
        return 0;
    }
}

double GetCodeParamRealVal(const PlcMemory& mem, const CodeLine& line, int index) {
    double p = line.Param[index];
    if (line.kindOf(index) == kind::Constant) return p;
    return mem.GetRealValue(keyOf(p));
}

}  // namespace korvane
