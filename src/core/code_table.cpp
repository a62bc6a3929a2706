#include "core/code_table.h"

namespace korvane {

namespace {
int recordIndex(double number, int base) {
    double r = roundEven(number) - base;
    if (!(r >= 0 && r <= 255)) fault(FaultCode::IndexOutOfRange);
    return static_cast<int>(r);
}
}  // namespace

const std::string& mnemonicText(Op op) {
    static const std::array<std::string, kOpCount> texts = [] {
        std::array<std::string, kOpCount> t;
        for (std::size_t i = 0; i < kOpCount; ++i) t[i] = std::string(kOpInfo[i].mnemonic);
        return t;
    }();
    const auto i = static_cast<std::size_t>(op);
    return i < kOpCount ? texts[i] : texts[static_cast<std::size_t>(Op::Unknown)];
}

double GetCodeParamVal(const PlcMemory& mem, const CodeLine& line, int index) {
    double p = line.number(index);
    switch (line.kindOf(index)) {
    case kind::Constant:
        return p;
    case kind::Byte:
        return mem.GetByteValue(line.key(index));
    case kind::Word:
        return mem.GetWordValue(line.key(index));
    case kind::DWord:
        return mem.GetDWordValue(line.key(index));
    case kind::Timer:
        return mem.timers()[recordIndex(p, area::T)].Current;
    case kind::Counter:
        return mem.counters()[recordIndex(p, area::C)].Current;
    case kind::IndirectByte:
        return mem.GetByteValue(pointerTarget(mem, line.key(index), 8));
    case kind::IndirectWord:
        return mem.GetWordValue(pointerTarget(mem, line.key(index), 16));
    case kind::IndirectDWord:
        return mem.GetDWordValue(pointerTarget(mem, line.key(index), 32));
    default:
        return 0;
    }
}

double GetCodeParamRealVal(const PlcMemory& mem, const CodeLine& line, int index) {
    double p = line.number(index);
    const int knd = line.kindOf(index);
    if (knd == kind::Constant) return p;
    if (pointerBits(knd)) return mem.GetRealValue(pointerTarget(mem, line.key(index), 32));
    return mem.GetRealValue(line.key(index));
}

int pointerTarget(const PlcMemory& mem, double pointerKey, int bits) { return pointerTarget(mem, keyOf(pointerKey), bits); }

int pointerTarget(const PlcMemory& mem, int pointerKey, int bits) {
    const double target = mem.GetDWordValue(pointerKey) * 8.0;
    if (!(target <= area::LastCell)) fault(FaultCode::BadPointer);
    const int key = static_cast<int>(target);
    if (!area::dataAreaOf(key).holds(key, bits)) fault(FaultCode::BadPointer);
    return key;
}

namespace {
LineStatus statusOf(const CodeLine& line, const LineRunStatus& run) {
    LineStatus s;
    s.shown = line.HasStatus != 0;
    const std::uint8_t b = run.flowBits;
    s.flowBefore = (b & status::FlowBefore) != 0;
    s.flowAfter = (b & status::FlowAfter) != 0;
    s.enoShown = (b & status::Eno) != 0;
    s.operands = line.operandCount();
    auto bit = [&](std::uint8_t m) { return (b & m) ? '1' : '0'; };
    s.stack = {bit(status::FlowAfter), bit(status::Stack0), bit(status::Stack1), bit(status::Stack2)};
    s.value = run.StatusValue;
    for (std::size_t k = 0; k < s.kind.size(); ++k) s.kind[k] = run.StatusKind[k];
    return s;
}
}  // namespace

LineStatus lineStatus(const Program& prog, int index) {
    if (index < 0 || index > prog.lastIndex()) return {};
    const auto i = static_cast<std::size_t>(index);
    return statusOf(prog.CodeTable[i], prog.runStatusOf(i));
}

LineStatus lineStatus(const Program& prog, const CodeLine& line) { return statusOf(line, prog.runStatusOf(line)); }

}  // namespace korvane
