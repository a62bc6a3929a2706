// Arithmetic: integer and double-integer arithmetic, real arithmetic, the real functions and
// the conversions. Box instructions: they execute only while the logic result is on and
// never change it. Integer results report on SM1.0 (zero), SM1.1 (overflow) and SM1.3
// (division by zero); a floating-point fault ends the pass as a run-time error.
#include <bit>
#include <cfloat>
#include <cmath>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

constexpr double kWordRange = 65536.0;
constexpr double kDWordRange = 4294967296.0;

// Integer arithmetic is signed, as on the CPU: a word holds -32768 to 32767, a double word
// -2147483648 to 2147483647. Memory values (read unsigned) and constants written as bit
// patterns (16#FFFF) are taken as two's complement of the instruction's width.
double asSigned(double v, double range) {
    return (v >= range / 2 && v < range) ? v - range : v;
}

double lowWord(double v) {
    double m = std::fmod(v, kWordRange);
    return m < 0 ? m + kWordRange : m;
}

bool inSignedRange(double r, double range) { return r >= -range / 2 && r < range / 2; }

// The result bits of an integer result in range. A division leaves SM1.1 as it was: it
// only sets it for the one quotient out of range (-32768 / -1).
void setResultBits(PlcMemory& mem, double r, bool division = false) {
    if (!division) setSm(mem, area::SM1_1, false);
    setSm(mem, area::SM1_0, r == 0);
    setSm(mem, area::SM1_2, r < 0);
}

// integerArithmetic for its common form, IN1 a constant or a memory operand of the width and
// OUT a memory operand of the width, both inside the image: the same values, results, bits and
// status without the general operand access. False (having done nothing) for any other form.
template <Op op>
bool integerArithmeticDirect(Interpreter& cpu, CodeLine& line, bool on) {
    constexpr bool wide = op == Op::AddD || op == Op::SubD || op == Op::MulD || op == Op::DivD;
    const int width = wide ? 32 : 16;
    const int memKind = wide ? kind::DWord : kind::Word;
    const double L = wide ? kDWordRange : kWordRange;
    const LineOperand& in = line.operands[0];
    const int out = directKey(line.operands[1], memKind, width);
    // A word OUT at a timer or counter key would set its current value: the general way.
    if (out < 0 || (!wide && isRecordKey(out))) return false;
    const int inKey = in.kind == kind::Constant ? -1 : directKey(in, memKind, width);
    // A constant IN1 must be an integer of the width (as written or as a bit pattern), so that
    // every result here is an integer.
    if (in.kind == kind::Constant ? !integralConstant(in, -L / 2, L - 1) : inKey < 0) return false;
    PlcMemory& mem = cpu.mem();
    auto signedAt = [&](int key) {
        const std::uint32_t v = readBits(mem, key, width);
        return wide ? static_cast<double>(static_cast<std::int32_t>(v))
                    : static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
    };
    const double a = inKey < 0 ? asSigned(in.number, L) : signedAt(inKey);
    const double b = signedAt(out);
    double shown = b;
    if (on) {
        double r = 0;
        bool divideByZero = false;
        if constexpr (op == Op::AddI || op == Op::AddD) {
            r = b + a;
        } else if constexpr (op == Op::SubI || op == Op::SubD) {
            r = b - a;
        } else if constexpr (op == Op::MulI || op == Op::MulD) {
            r = b * a;
        } else {  // DivI, DivD
            divideByZero = a == 0;
            if (!divideByZero) {
                // The quotient toward zero, as trunc(b / a) gives it (a zero quotient keeps
                // the sign of b / a).
                const std::int64_t q = static_cast<std::int64_t>(b) / static_cast<std::int64_t>(a);
                r = q != 0 ? static_cast<double>(q) : (std::signbit(b) != std::signbit(a) ? -0.0 : 0.0);
            }
        }
        std::int16_t* c = mem.cells();
        if (divideByZero) {
            c[area::SM1_3] = kOn;
        } else {
            constexpr bool division = op == Op::DivI || op == Op::DivD;
            if (division) c[area::SM1_3] = kOff;
            if (inSignedRange(r, L)) {
                writeBits(mem, out, width, static_cast<std::uint32_t>(static_cast<std::int64_t>(r)));
                if (!division) c[area::SM1_1] = kOff;
                c[area::SM1_0] = boolCell(r == 0);
                c[area::SM1_2] = boolCell(r < 0);
            } else {
                c[area::SM1_1] = kOn;
                if constexpr (op == Op::SubI || op == Op::SubD) c[area::SM1_0] = kOff;
            }
            shown = r;
        }
    }
    constexpr std::int16_t dk = wide ? 3 : 5;
    setStatus(cpu, 0, a, dk);
    setStatus(cpu, 1, b, dk);
    setStatus(cpu, 2, shown, op == Op::MulI ? 6 : dk);
    return true;
}

// OUT op= IN1 for +I, -I, *I, /I (wide = false) and +D, -D, *D, /D (wide = true). A result
// outside the signed range sets SM1.1 and leaves OUT; division truncates toward zero.
template <Op op>
void integerArithmetic(Interpreter& cpu, CodeLine& line, bool on) {
    constexpr bool wide = op == Op::AddD || op == Op::SubD || op == Op::MulD || op == Op::DivD;
    if (integerArithmeticDirect<op>(cpu, line, on)) return;
    PlcMemory& mem = cpu.mem();
    const double L = wide ? kDWordRange : kWordRange;
    const double a = asSigned(operandValue(cpu, line, 0), L);
    const double b = asSigned(operandValue(cpu, line, 1), L);
    double shown = b;
    if (on) {
        const int key = operandKey(mem, line, 1);
        // Word results go through tobit2 (a timer or counter OUT takes them as its current
        // value), double words through tobit.
        auto store = [&](double r) {
            if (wide)
                storeTobit(mem, r, key, 32);
            else
                storeTobit2(mem, r, key, 16);
        };
        double r = 0;
        bool divideByZero = false;
        switch (line.op) {
        case Op::AddI:
        case Op::AddD:
            r = b + a;
            break;
        case Op::SubI:
        case Op::SubD:
            r = b - a;
            break;
        case Op::MulI:
        case Op::MulD:
            r = b * a;
            break;
        default:  // DivI, DivD
            divideByZero = a == 0;
            if (!divideByZero) r = std::trunc(b / a);
            break;
        }
        if (divideByZero) {
            setSm(mem, area::SM1_3, true);
        } else {
            const bool division = line.op == Op::DivI || line.op == Op::DivD;
            if (division) setSm(mem, area::SM1_3, false);
            if (inSignedRange(r, L)) {
                store(r);
                setResultBits(mem, r, division);
            } else {
                setSm(mem, area::SM1_1, true);
                // A difference out of range is not zero.
                if (line.op == Op::SubI || line.op == Op::SubD) setSm(mem, area::SM1_0, false);
            }
            shown = r;
        }
    }
    const std::int16_t dk = wide ? 3 : 5;
    setStatus(cpu, 0, a, dk);
    setStatus(cpu, 1, b, dk);
    setStatus(cpu, 2, shown, line.op == Op::MulI ? 6 : dk);
}

// MUL: 16 x 16 -> 32 bits, signed, on OUT's low word.
void mul(Interpreter& cpu, CodeLine& line, bool on) {
    PlcMemory& mem = cpu.mem();
    const double a = asSigned(operandValue(cpu, line, 0), kWordRange);
    const double b = operandValue(cpu, line, 1);
    double shown = asSigned(lowWord(b), kWordRange);
    if (on) {
        const double r = asSigned(lowWord(b), kWordRange) * a;
        storeTobit(mem, r, operandKey(mem, line, 1), 32);
        setSm(mem, area::SM1_0, r == 0);
        setSm(mem, area::SM1_2, r < 0);
        shown = r;
    }
    setStatus(cpu, 0, a, 5);
    setStatus(cpu, 1, asSigned(lowWord(b), kWordRange), 5);
    setStatus(cpu, 2, shown, 6);
}

// DIV: OUT's low word divided by IN1, signed; the quotient (toward zero) into the low word,
// the remainder (with the dividend's sign) into the high word.
void divide(Interpreter& cpu, CodeLine& line, bool on) {
    PlcMemory& mem = cpu.mem();
    const double a = asSigned(operandValue(cpu, line, 0), kWordRange);
    const double b = operandValue(cpu, line, 1);
    const double m = asSigned(lowWord(b), kWordRange);
    double shown = asSigned(std::floor(b / kWordRange), kWordRange);  // the remainder OUT holds now
    if (on) {
        if (a == 0) {
            setSm(mem, area::SM1_3, true);
        } else {
            setSm(mem, area::SM1_3, false);
            const double q = std::trunc(m / a);
            if (inSignedRange(q, kWordRange)) {
                setSm(mem, area::SM1_0, q == 0);
                setSm(mem, area::SM1_2, q < 0);
                const int key = operandKey(mem, line, 1);
                storeTobit(mem, q, key + 16, 16);
                shown = m - a * q;
                storeTobit(mem, shown, key, 16);
            } else {
                setSm(mem, area::SM1_1, true);  // -32768 / -1
            }
        }
    }
    setStatus(cpu, 0, a, 5);
    setStatus(cpu, 1, m, 5);
    setStatus(cpu, 2, shown, 5);
}

// A real result: NaN or an infinity (invalid operation, overflow) and a finite value beyond
// the single range are run-time errors.
float realResult(double r) {
    if (std::isnan(r)) fault(FaultCode::InvalidArgument);
    if (std::isinf(r)) fault(FaultCode::Overflow);
    return toSingle(r);
}

// The real boxes' common form, IN a constant or a double word and OUT a double word, both
// named directly inside the image: OUT's key, with IN's value in x. -1 for any other form,
// whose operands go the general way.
int directRealBox(const PlcMemory& mem, const CodeLine& line, double& x) {
    const int out = directKey(line.operands[1], kind::DWord, 32);
    return out >= 0 && directReal(mem, line.operands[0], x) ? out : -1;
}

void realArithmetic(Interpreter& cpu, CodeLine& line, bool on) {
    PlcMemory& mem = cpu.mem();
    double x = 0;
    const int direct = directRealBox(mem, line, x);
    if (direct < 0) x = operandReal(cpu, line, 0);
    const double y = direct >= 0 ? realAt(mem, direct) : operandReal(cpu, line, 1);
    double shown = y;
    if (on) {
        const double xs = toSingle(x);
        const double ys = toSingle(y);
        double r = 0;
        switch (line.op) {
        case Op::AddR:
            r = ys + xs;
            break;
        case Op::SubR:
            r = ys - xs;
            break;
        case Op::MulR:
            r = ys * xs;
            break;
        default:
            if (xs == 0) fault(FaultCode::DivisionByZero);
            r = ys / xs;
            break;
        }
        const float f = realResult(r);
        if (direct >= 0)
            writeBits(mem, direct, 32, std::bit_cast<std::uint32_t>(f));
        else
            storeReal(mem, operandKey(mem, line, 1), f);
        shown = f;
    }
    setStatus(cpu, 0, x, 7);
    setStatus(cpu, 1, y, 7);
    setStatus(cpu, 2, shown, 7);
}

void realFunction(Interpreter& cpu, CodeLine& line, bool on) {
    PlcMemory& mem = cpu.mem();
    double in = 0;
    const int direct = directRealBox(mem, line, in);
    if (direct < 0) in = operandReal(cpu, line, 0);
    double out = 0;  // OUT's value after the box, read back
    if (on) {
        const double x = toSingle(in);
        double r = 0;
        switch (line.op) {
        case Op::SQRT:
            if (x < 0) fault(FaultCode::InvalidArgument);
            r = std::sqrt(x);
            break;
        case Op::SIN:
            r = std::sin(x);
            break;
        case Op::COS:
            r = std::cos(x);
            break;
        case Op::TAN:
            r = std::tan(x);
            break;
        case Op::LN:
            if (x <= 0) fault(FaultCode::InvalidArgument);
            r = std::log(x);
            break;
        default:  // EXP
            r = std::exp(x);
            break;
        }
        const float f = realResult(r);
        if (direct >= 0) {
            writeBits(mem, direct, 32, std::bit_cast<std::uint32_t>(f));
            out = f;
        } else {
            storeReal(mem, operandKey(mem, line, 1), f);
        }
    }
    if (direct >= 0 && !on) out = realAt(mem, direct);
    setStatus(cpu, 0, in, 7);
    setStatus(cpu, 1, direct >= 0 ? out : operandReal(cpu, line, 1), 7);
}

// The seven-segment patterns of 0 to F (bit 0 = segment a ... bit 6 = segment g).
constexpr std::uint8_t kSegments[16] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07,
                                        0x7F, 0x67, 0x77, 0x7C, 0x39, 0x5E, 0x79, 0x71};

bool isRecordKind(int knd) { return knd == kind::Timer || knd == kind::Counter; }

// A value rounded to single precision when it lies in the single range.
double singleRounded(double v) { return std::fabs(v) <= FLT_MAX ? static_cast<double>(static_cast<float>(v)) : v; }

// BTI, ITB and DTI in their common form, IN a constant or memory of the input width and OUT
// memory of the output width, named directly inside the image: as convert.
bool integerConvertDirect(Interpreter& cpu, CodeLine& line, bool on) {
    PlcMemory& mem = cpu.mem();
    const LineOperand& in = line.operands[0];
    const bool constant = in.kind == kind::Constant;
    int a = -1;
    int out = -1;
    int inWidth = 0;
    switch (line.op) {
    case Op::BTI:
        a = directKey(in, kind::Byte, 8), out = directKey(line.operands[1], kind::Word, 16), inWidth = 8;
        break;
    case Op::ITB:
        a = directKey(in, kind::Word, 16), out = directKey(line.operands[1], kind::Byte, 8), inWidth = 16;
        break;
    default:  // DTI
        a = directKey(in, kind::DWord, 32), out = directKey(line.operands[1], kind::Word, 16), inWidth = 32;
        break;
    }
    if (out < 0 || (!constant && a < 0)) return false;
    const int outWidth = line.op == Op::ITB ? 8 : 16;
    const std::uint32_t v = constant ? 0 : readBits(mem, a, inWidth);
    if (on) {
        switch (line.op) {
        case Op::BTI:
            if (constant)
                writeBits(mem, out, 16, static_cast<std::uint16_t>(toInt16(in.number)) & 0xFFu);
            else
                writeBits(mem, out, 16, v);
            break;
        case Op::ITB:
            if (constant ? (in.number < 0 || in.number > 255) : v > 255)
                mem.cells()[area::SM1_1] = kOn;
            else if (constant)
                storeTobit(mem, in.number, out, 8);
            else
                writeBits(mem, out, 8, v);
            break;
        default:  // DTI: only a double word that holds a 16-bit value, signed or unsigned
            if (constant) {
                if (in.number >= -32768.0 && in.number < 65536.0) storeTobit(mem, in.number, out, 16);
            } else if ((v >> 16) == 0 || ((v >> 16) == 0xFFFFu && (v & 0x8000u))) {
                writeBits(mem, out, 16, v & 0xFFFFu);
            }
            break;
        }
    }
    const bool reread = !constant && on && cellsOverlap(a, inWidth, out, outWidth);
    const std::int16_t inKind = line.op == Op::BTI ? 1 : line.op == Op::ITB ? 5 : 3;
    setStatus(cpu, 0, constant ? in.number : reread ? readBits(mem, a, inWidth) : v, inKind);
    setStatus(cpu, 1, readBits(mem, out, outWidth), line.op == Op::ITB ? 1 : 5);
    return true;
}

// ITD, DTR, ROUND and TRUNC in their common form, OUT a double word and IN a word (ITD) or a
// double word or a constant (the others), the words named directly inside the image: the
// same results, faults and status as convert, without the general operand access. False
// (having done nothing) for any other form.
bool convertDirect(Interpreter& cpu, CodeLine& line, bool on) {
    if (line.op == Op::BTI || line.op == Op::ITB || line.op == Op::DTI) return integerConvertDirect(cpu, line, on);
    PlcMemory& mem = cpu.mem();
    const LineOperand& in = line.operands[0];
    const int out = directKey(line.operands[1], kind::DWord, 32);
    if (out < 0) return false;
    switch (line.op) {
    case Op::ITD: {
        const int a = directKey(in, kind::Word, 16);
        if (a < 0) return false;
        const std::uint32_t w = readBits(mem, a, 16);
        std::uint32_t o = 0;
        if (on) {
            o = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int16_t>(w)));
            writeBits(mem, out, 32, o);
        } else {
            o = readBits(mem, out, 32);
        }
        setStatus(cpu, 0, on && cellsOverlap(a, 16, out, 32) ? readBits(mem, a, 16) : w, 5);
        setStatus(cpu, 1, o, 3);
        return true;
    }
    case Op::DTR: {
        const bool constant = in.kind == kind::Constant;
        const int a = constant ? -1 : directKey(in, kind::DWord, 32);
        if (!constant && a < 0) return false;
        const std::uint32_t p = constant ? 0 : readBits(mem, a, 32);
        double o = 0;
        if (on) {
            const float f = constant ? toSingle(in.number) : static_cast<float>(static_cast<std::int32_t>(p));
            writeBits(mem, out, 32, std::bit_cast<std::uint32_t>(f));
            o = f;
        } else {
            o = realAt(mem, out);
        }
        setStatus(cpu, 0, constant ? in.number : on && cellsOverlap(a, 32, out, 32) ? readBits(mem, a, 32) : p, 3);
        setStatus(cpu, 1, o, 7);
        return true;
    }
    case Op::ROUND:
    case Op::TRUNC: {
        double x = 0;
        if (!directReal(mem, in, x)) return false;
        if (on) {
            // As convert: halves away from zero, or toward zero; the writer refuses (and logs)
            // a result it cannot split.
            const double r = singleRounded(line.op == Op::ROUND ? std::round(x) : std::trunc(x));
            storeTobit(mem, r, out, 32);
            if (in.kind != kind::Constant && cellsOverlap(in.key, 32, out, 32)) x = realAt(mem, in.key);
        }
        setStatus(cpu, 0, x, 7);
        setStatus(cpu, 1, readBits(mem, out, 32), 3);
        return true;
    }
    default:
        return false;
    }
}

void convert(Interpreter& cpu, CodeLine& line, bool on) {
    if (convertDirect(cpu, line, on)) return;
    PlcMemory& mem = cpu.mem();
    const int in = effectiveKind(line.kindOf(0));
    std::int16_t inKind = 0;
    std::int16_t outKind = 0;
    bool realIn = false;
    bool realOut = false;
    switch (line.op) {
    case Op::BTI:
        inKind = 1, outKind = 5;
        if (!on) break;
        if (in == kind::Byte)
            storeWord(mem, line, 1, operandKey(mem, line, 1), operandValue(cpu, line, 0));
        else if (in == kind::Constant)
            storeWord(mem, line, 1, operandKey(mem, line, 1), static_cast<std::uint16_t>(toInt16(line.number(0))) & 0xFF);
        break;
    case Op::ITB:
        inKind = 5, outKind = 1;
        if (!on) break;
        if (in == kind::Word || in == kind::Constant || isRecordKind(in)) {
            const double v = operandValue(cpu, line, 0);
            if (v < 0 || v > 255)
                setSm(mem, area::SM1_1, true);
            else
                storeTobit(mem, v, operandKey(mem, line, 1), 8);
        }
        break;
    case Op::ITD:
        inKind = 5, outKind = 3;
        if (!on) break;
        if (in == kind::Word) {
            const std::uint32_t w = readBits(mem, operandKey(mem, line, 0), 16);
            const double v = w >= 0x8000u ? static_cast<double>(w) - 65536.0 : static_cast<double>(w);
            storeTobit(mem, v, operandKey(mem, line, 1), 32);
        } else if (in == kind::Constant || isRecordKind(in)) {
            storeTobit(mem, operandValue(cpu, line, 0), operandKey(mem, line, 1), 32);
        }
        break;
    case Op::DTI:
        inKind = 3, outKind = 5;
        if (!on) break;
        if (in == kind::DWord) {
            // Taken only when the double word is a 16-bit value, signed (16#FFFF8000 ...
            // 16#FFFFFFFF) or unsigned (0 ... 16#0000FFFF).
            const std::uint32_t p = readBits(mem, operandKey(mem, line, 0), 32);
            const std::uint32_t high = p >> 16;
            if (high == 0 || (high == 0xFFFFu && (p & 0x8000u)))
                storeWord(mem, line, 1, operandKey(mem, line, 1), static_cast<double>(p & 0xFFFFu));
        } else if (in == kind::Constant) {
            const double v = line.number(0);
            if (v >= -32768.0 && v < 65536.0) storeWord(mem, line, 1, operandKey(mem, line, 1), v);
        }
        break;
    case Op::DTR:
        inKind = 3, outKind = 7, realOut = true;
        if (!on) break;
        if (in == kind::DWord) {
            const auto v = static_cast<std::int32_t>(readBits(mem, operandKey(mem, line, 0), 32));
            storeReal(mem, operandKey(mem, line, 1), static_cast<float>(v));
        } else if (in == kind::Constant) {
            storeReal(mem, operandKey(mem, line, 1), toSingle(line.number(0)));
        }
        break;
    case Op::ROUND:
    case Op::TRUNC: {
        inKind = 7, outKind = 3, realIn = true;
        if (!on) break;
        // floor(x + 0.5) (halves upward) or floor(x); a result the writer cannot split is
        // refused by it with its own log line.
        const double x = operandReal(cpu, line, 0);
        // ROUND rounds halves away from zero, TRUNC cuts toward zero, as on the CPU.
        const double r = singleRounded(line.op == Op::ROUND ? std::round(x) : std::trunc(x));
        storeTobit(mem, r, operandKey(mem, line, 1), 32);
        break;
    }
    default: {  // SEG
        inKind = 1, outKind = 1;
        if (!on) break;
        if (in == kind::Byte || in == kind::Constant) {
            const double v = operandValue(cpu, line, 0);
            if (v >= 0 && v <= 15)
                storeTobit(mem, kSegments[static_cast<int>(roundEven(v))], operandKey(mem, line, 1), 8);
            else if (v < 0)
                storeTobit(mem, v, operandKey(mem, line, 1), 8);
        }
        break;
    }
    }
    setStatus(cpu, 0, realIn ? operandReal(cpu, line, 0) : operandValue(cpu, line, 0), inKind);
    setStatus(cpu, 1, realOut ? operandReal(cpu, line, 1) : operandValue(cpu, line, 1), outKind);
}

}  // namespace

void execArithmetic(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    switch (line.op) {
    case Op::AddI:
        integerArithmetic<Op::AddI>(cpu, line, on);
        return;
    case Op::SubI:
        integerArithmetic<Op::SubI>(cpu, line, on);
        return;
    case Op::MulI:
        integerArithmetic<Op::MulI>(cpu, line, on);
        return;
    case Op::DivI:
        integerArithmetic<Op::DivI>(cpu, line, on);
        return;
    case Op::AddD:
        integerArithmetic<Op::AddD>(cpu, line, on);
        return;
    case Op::SubD:
        integerArithmetic<Op::SubD>(cpu, line, on);
        return;
    case Op::MulD:
        integerArithmetic<Op::MulD>(cpu, line, on);
        return;
    case Op::DivD:
        integerArithmetic<Op::DivD>(cpu, line, on);
        return;
    case Op::MUL:
        mul(cpu, line, on);
        return;
    case Op::DIV:
        divide(cpu, line, on);
        return;
    case Op::AddR:
    case Op::SubR:
    case Op::MulR:
    case Op::DivR:
        realArithmetic(cpu, line, on);
        return;
    case Op::SQRT:
    case Op::SIN:
    case Op::COS:
    case Op::TAN:
    case Op::LN:
    case Op::EXP:
        realFunction(cpu, line, on);
        return;
    case Op::BTI:
    case Op::ITB:
    case Op::ITD:
    case Op::DTI:
    case Op::DTR:
    case Op::ROUND:
    case Op::TRUNC:
    case Op::SEG:
        convert(cpu, line, on);
        return;
    default:
        return;
    }
}

}  // namespace korvane
