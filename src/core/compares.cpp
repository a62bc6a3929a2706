// The 72 compare contacts (LD, A, O) x (B, W, D, R) x (=, <>, >, >=, <, <=): one handler that
// takes the opcode apart. They run whatever the logic result is, since they compute it.
#include <cfloat>
#include <cmath>

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

}  // namespace

void execCompare(Interpreter& cpu, CodeLine& line) {
    const Op op = line.op;
    if (!isCompare(op)) return;
    const CompareType type = compareType(op);
    double in1 = 0;
    double in2 = 0;
    std::int16_t displayKind = 7;
    // IN2 is read before IN1.
    if (type == CompareType::Real) {
        in2 = compareReal(cpu, line, 1);
        in1 = compareReal(cpu, line, 0);
    } else {
        in2 = operandValue(cpu, line, 1);
        in1 = operandValue(cpu, line, 0);
        displayKind = static_cast<std::int16_t>(static_cast<int>(type) + 1);  // 1 byte, 2 word, 3 dword
    }
    const bool c = relate(compareRelation(op), in1, in2);
    std::int16_t& lr = cpu.logicResult;
    switch (compareForm(op)) {
    case CompareForm::Load:
        cpu.push(lr);
        lr = boolCell(c);
        break;
    case CompareForm::And:
        lr = boolCell(lr != 0 && c);
        break;
    case CompareForm::Or:
        lr = boolCell(lr != 0 || c);
        break;
    }
    setStatus(line, 0, in1, displayKind);
    setStatus(line, 1, in2, displayKind);
}

}  // namespace korvane
