// The 72 compare contacts (LD, A, O) x (B, W, D, R) x (=, <>, >, >=, <, <=): one handler per
// opcode, instantiated from one template. They run whatever the logic result is, since they compute it.
// Bytes compare unsigned, words as INT and double words as DINT, reals as reals.
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <utility>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

// A real operand: a real constant takes part in single precision, like the real it is
// compared with (LDR= VD0, 0.1 holds after MOVR 0.1, VD0).
double compareReal(Interpreter& cpu, const CodeLine& line, int k) {
    const double v = operandReal(cpu, line, k);
    if (line.kindOf(k) == kind::Constant && std::fabs(v) <= FLT_MAX) return static_cast<float>(v);
    return v;
}

// A word or double-word operand as a signed integer of the compare's width (range 65536 for
// W, 4294967296 for D), as the integer arithmetic takes it: VW0 holding 16#FFFF is -1, and so
// is the constant 16#FFFF in a word compare; a negative constant stays negative. A timer's or
// counter's current value is signed already and is taken as it stands.
double compareInteger(Interpreter& cpu, const CodeLine& line, int k, double range) {
    const double v = operandValue(cpu, line, k);
    const int knd = line.kindOf(k);
    if (knd == kind::Timer || knd == kind::Counter) return v;
    return (v >= range / 2 && v < range) ? v - range : v;
}

// An integer compare operand in its common form, a constant or a memory operand of the
// compare's width inside the image, as compareInteger (words and double words) or
// operandValue (bytes) gives it; false for any other form.
bool directCompareValue(const PlcMemory& mem, const LineOperand& o, CompareType type, double& v) {
    if (o.kind == kind::Constant) {
        v = o.number;
        if (type == CompareType::Word) v = (v >= 32768.0 && v < 65536.0) ? v - 65536.0 : v;
        if (type == CompareType::DWord) v = (v >= 2147483648.0 && v < 4294967296.0) ? v - 4294967296.0 : v;
        return true;
    }
    switch (type) {
    case CompareType::Byte:
        if (directKey(o, kind::Byte, 8) < 0) return false;
        v = readBits(mem, o.key, 8);
        return true;
    case CompareType::Word:
        if (directKey(o, kind::Word, 16) < 0) return false;
        v = static_cast<std::int16_t>(static_cast<std::uint16_t>(readBits(mem, o.key, 16)));
        return true;
    case CompareType::DWord:
        if (directKey(o, kind::DWord, 32) < 0) return false;
        v = static_cast<std::int32_t>(readBits(mem, o.key, 32));
        return true;
    default:
        return false;
    }
}

bool relate(Relation r, double in1, double in2) {
    switch (r) {
    case Relation::Eq:
        return in1 == in2;
    case Relation::Ne:
        return in1 != in2;
    case Relation::Gt:
        return in1 > in2;
    case Relation::Ge:
        return in1 >= in2;
    case Relation::Lt:
        return in1 < in2;
    case Relation::Le:
        return in1 <= in2;
    }
    return false;
}

// compareReal for a constant or a double word named directly inside the image; false for
// any other form.
bool directCompareReal(const PlcMemory& mem, const LineOperand& o, double& v) {
    if (!directReal(mem, o, v)) return false;
    if (o.kind == kind::Constant && std::fabs(v) <= FLT_MAX) v = static_cast<float>(v);
    return true;
}

// The compare at position idx from the first one, its type, relation and form fixed at
// compile time.
template <int idx>
void compareAt(Interpreter& cpu, CodeLine& line) {
    constexpr Op op = static_cast<Op>(static_cast<int>(CompareFirst) + idx);
    constexpr CompareType type = compareType(op);
    double in1 = 0;
    double in2 = 0;
    std::int16_t displayKind = 7;
    // IN2 is read before IN1.
    if constexpr (type == CompareType::Real) {
        if (!directCompareReal(cpu.mem(), line.operands[1], in2) ||
            !directCompareReal(cpu.mem(), line.operands[0], in1)) {
            in2 = compareReal(cpu, line, 1);
            in1 = compareReal(cpu, line, 0);
        }
    } else if (directCompareValue(cpu.mem(), line.operands[1], type, in2) &&
               directCompareValue(cpu.mem(), line.operands[0], type, in1)) {
        displayKind = type == CompareType::Byte ? 1 : type == CompareType::DWord ? 6 : 5;
    } else if constexpr (type == CompareType::Byte) {
        // Bytes compare unsigned, 0 to 255.
        in2 = operandValue(cpu, line, 1);
        in1 = operandValue(cpu, line, 0);
        displayKind = 1;
    } else {
        const bool wide = type == CompareType::DWord;
        const double range = wide ? 4294967296.0 : 65536.0;
        in2 = compareInteger(cpu, line, 1, range);
        in1 = compareInteger(cpu, line, 0, range);
        displayKind = wide ? 6 : 5;  // signed 32-bit, signed 16-bit integer
    }
    const bool c = relate(compareRelation(op), in1, in2);
    std::int16_t& lr = cpu.logicResult;
    if constexpr (compareForm(op) == CompareForm::Load) {
        cpu.push(lr);
        lr = boolCell(c);
    } else if constexpr (compareForm(op) == CompareForm::And) {
        lr = boolCell(lr != 0 && c);
    } else {
        lr = boolCell(lr != 0 || c);
    }
    setStatus(cpu, 0, in1, displayKind);
    setStatus(cpu, 1, in2, displayKind);
}

using CompareHandler = void (*)(Interpreter&, CodeLine&);
template <std::size_t... I>
constexpr std::array<CompareHandler, sizeof...(I)> compareForms(std::index_sequence<I...>) {
    return {&compareAt<static_cast<int>(I)>...};
}
constexpr auto kCompareForms = compareForms(std::make_index_sequence<72>{});

}  // namespace

void execCompare(Interpreter& cpu, CodeLine& line) {
    const Op op = line.op;
    if (!isCompare(op)) return;
    kCompareForms[static_cast<std::size_t>(compareIndex(op))](cpu, line);
}

}  // namespace korvane
