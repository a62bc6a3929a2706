// Word logic: invert, and, or, exclusive or, shifts, rotates, the shift register SHRB,
// increment and decrement. Box instructions: they execute only while the logic result is
// on, never change it, and report on SM1.0 (zero), SM1.1 (overflow / last bit out) and
// SM1.2 (negative) as each one states.
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

// The byte, word and double word forms of each instruction follow each other in the opcode
// table, so the form's width and the group come from the opcode's position.
enum class Group { Invert, And, Or, Xor, ShiftLeft, ShiftRight, RotateLeft, RotateRight };
constexpr int kWidths[3] = {8, 16, 32};
static_assert(static_cast<int>(Op::RRD) - static_cast<int>(Op::INVB) == 23);
static_assert(static_cast<int>(Op::DECD) - static_cast<int>(Op::INCB) == 5);
static_assert(static_cast<int>(Op::SHRB) + 1 == static_cast<int>(Op::INCB));

constexpr std::uint64_t maskOf(int width) { return (std::uint64_t{1} << width) - 1; }

std::int16_t displayKindOf(int width) { return width == 8 ? 1 : width == 16 ? 2 : 3; }

// A result pattern for operand k of this width: a word at a timer or counter operand sets
// its current value, anything else is written as the width's bits.
void storeResult(PlcMemory& mem, const CodeLine& line, int k, int key, std::uint64_t pattern, int width) {
    if (width == 16)
        storeWord(mem, line, k, key, static_cast<double>(pattern));
    else
        storeTobit(mem, static_cast<double>(pattern), key, width);
}

// The width-bit pattern of an operand value (memory values are unsigned already; a timer's
// or a constant's value takes part in two's complement).
std::uint64_t patternOf(double value, int width) {
    return static_cast<std::uint64_t>(toInt64(value)) & maskOf(width);
}

void invert(Interpreter& cpu, CodeLine& line, int width, bool on) {
    PlcMemory& mem = cpu.mem();
    if (on) {
        const int knd = line.kindOf(0);
        const int key = operandKey(mem, line, 0);
        if (width == 16 && (knd == kind::Timer || knd == kind::Counter)) {
            storeWord(mem, line, 0, key, static_cast<double>(~patternOf(operandValue(cpu, line, 0), 16) & 0xFFFFu));
        } else {
            const std::uint32_t v = readBits(mem, key, width);
            writeBits(mem, key, width, ~v);
        }
    }
    setStatus(cpu, 0, operandValue(cpu, line, 0), displayKindOf(width));
}

std::int64_t combine(Group g, std::int64_t a, std::int64_t b) {
    switch (g) {
    case Group::And:
        return a & b;
    case Group::Or:
        return a | b;
    default:
        return a ^ b;
    }
}

int memoryKindOf(int width) { return width == 8 ? kind::Byte : width == 16 ? kind::Word : kind::DWord; }

// logic for its common form, IN1 an integer constant or a memory operand of the width and OUT
// a memory operand of the width, both inside the image: the same result and status without
// the general operand access. False (having done nothing) for any other form.
template <int width>
bool logicDirect(Interpreter& cpu, CodeLine& line, Group g, bool on) {
    const int knd = memoryKindOf(width);
    const LineOperand& in = line.operands[0];
    const int out = directKey(line.operands[1], knd, width);
    if (out < 0 || (width == 16 && isRecordKey(out))) return false;
    PlcMemory& mem = cpu.mem();
    std::uint32_t a = 0;
    if (in.kind == kind::Constant) {
        // Constants the general way takes without fault, in two's complement.
        if (!integralConstant(in, -2147483648.0, width == 32 ? 4294967295.0 : 2147483647.0)) return false;
        a = static_cast<std::uint32_t>(static_cast<std::int64_t>(in.number)) & static_cast<std::uint32_t>(maskOf(width));
    } else {
        const int inKey = directKey(in, knd, width);
        if (inKey < 0) return false;
        a = readBits(mem, inKey, width);
    }
    const std::uint32_t b = readBits(mem, out, width);
    std::uint32_t r = b;
    if (on) {
        r = static_cast<std::uint32_t>(combine(g, a, b));
        writeBits(mem, out, width, r);
    }
    const std::int16_t dk = displayKindOf(width);
    setStatus(cpu, 0, in.kind == kind::Constant ? in.number : a, dk);
    setStatus(cpu, 1, b, dk);
    setStatus(cpu, 2, r, dk);
    return true;
}

template <int width>
void logic(Interpreter& cpu, CodeLine& line, Group g, bool on) {
    if (logicDirect<width>(cpu, line, g, on)) return;
    PlcMemory& mem = cpu.mem();
    const double a = operandValue(cpu, line, 0);
    const double b = operandValue(cpu, line, 1);
    if (on) {
        const int key = operandKey(mem, line, 1);
        if (width == 32) {
            // High and low halves separately, each written as a word.
            const double ha = std::floor(a / 65536.0), hb = std::floor(b / 65536.0);
            const std::int64_t hi = combine(g, toInt32(ha), toInt32(hb));
            const std::int64_t lo = combine(g, toInt32(a - ha * 65536.0), toInt32(b - hb * 65536.0));
            storeTobit(mem, static_cast<double>(hi & 0xFFFF), key, 16);
            storeTobit(mem, static_cast<double>(lo & 0xFFFF), key + 16, 16);
        } else {
            const std::int64_t r = combine(g, toInt32(a), toInt32(b));
            storeResult(mem, line, 1, key, static_cast<std::uint64_t>(r) & maskOf(width), width);
        }
    }
    const std::int16_t dk = displayKindOf(width);
    setStatus(cpu, 0, a, dk);
    setStatus(cpu, 1, b, dk);
    setStatus(cpu, 2, on ? operandValue(cpu, line, 1) : b, dk);
}

bool bitOf(std::uint64_t v, int i) { return (v >> i) & 1u; }

// Shifts: a count above the width acts as the width; a count of 0 (or below) leaves OUT and
// SM1.1 as they are and sets SM1.0 by OUT.
void shift(Interpreter& cpu, CodeLine& line, bool left, int width) {
    PlcMemory& mem = cpu.mem();
    int n = toInt16(operandValue(cpu, line, 1));
    if (n > width) n = width;
    if (n < 0) n = 0;
    const int key = operandKey(mem, line, 0);
    const std::uint64_t v = patternOf(operandValue(cpu, line, 0), width);
    std::uint64_t r = v;
    if (n > 0) {
        setSm(mem, area::SM1_1, left ? bitOf(v, width - n) : bitOf(v, n - 1));
        r = left ? (v << n) & maskOf(width) : v >> n;
        storeResult(mem, line, 0, key, r, width);
    }
    setSm(mem, area::SM1_0, r == 0);
}

// A shift and its status in the common form, OUT a memory operand of the width inside the
// image and N an integer constant: as shift and shiftStatus do it. False (having done
// nothing) for any other form.
template <int width>
bool shiftDirect(Interpreter& cpu, CodeLine& line, bool left, bool on) {
    const int key = directKey(line.operands[0], memoryKindOf(width), width);
    if (key < 0 || (width == 16 && isRecordKey(key))) return false;
    const LineOperand& count = line.operands[1];
    if (!integralConstant(count, -32768.0, 32767.0)) return false;
    PlcMemory& mem = cpu.mem();
    if (on) {
        int n = static_cast<int>(count.number);
        if (n > width) n = width;
        if (n < 0) n = 0;
        const std::uint64_t v = readBits(mem, key, width);
        std::uint64_t r = v;
        if (n > 0) {
            setSm(mem, area::SM1_1, left ? bitOf(v, width - n) : bitOf(v, n - 1));
            r = left ? (v << n) & maskOf(width) : v >> n;
            writeBits(mem, key, width, static_cast<std::uint32_t>(r));
        }
        setSm(mem, area::SM1_0, r == 0);
    }
    setStatus(cpu, 0, readBits(mem, key, width), displayKindOf(width));
    setStatus(cpu, 1, count.number, 5);
    return true;
}

void rotate(Interpreter& cpu, CodeLine& line, bool left, int width) {
    PlcMemory& mem = cpu.mem();
    std::int32_t n = toInt32(operandValue(cpu, line, 1)) % width;
    if (n < 0) n += width;
    if (n == 0) return;
    const int key = operandKey(mem, line, 0);
    const std::uint64_t v = patternOf(operandValue(cpu, line, 0), width);
    const std::uint64_t r =
        (left ? (v << n) | (v >> (width - n)) : (v >> n) | (v << (width - n))) & maskOf(width);
    // The last bit rotated out is the new bit 0 (left) or the new top bit (right).
    setSm(mem, area::SM1_1, left ? bitOf(r, 0) : bitOf(r, width - 1));
    storeResult(mem, line, 0, key, r, width);
    setSm(mem, area::SM1_0, r == 0);
}

// The register length of SHRB: a constant keeps its sign, a memory byte counts as a signed
// byte (16#FC is -4).
double shrbLength(Interpreter& cpu, const CodeLine& line) {
    if (effectiveKind(line.kindOf(2)) == kind::Byte) return cpu.mem().GetSByteValue(operandKey(cpu.mem(), line, 2));
    return operandValue(cpu, line, 2);
}

void shrb(Interpreter& cpu, CodeLine& line, bool on) {
    PlcMemory& mem = cpu.mem();
    const int data = line.key(0);
    const int s = line.key(1);
    const double length = shrbLength(cpu, line);
    if (on) {
        const int n = toInt16(length);
        const std::int16_t in = boolCell(mem.cell(data) != 0);  // DATA as it was before the shift
        // The register must lie inside the area of S_BIT, or nothing shifts and the pass ends.
        if (n != 0) requireSpan(s, n > 0 ? n : -n);
        if (n > 0) {
            setSm(mem, area::SM1_1, mem.cell(s + n - 1) != 0);
            for (int k = n - 1; k >= 1; --k) mem.setCell(s + k, boolCell(mem.cell(s + k - 1) != 0));
            mem.setCell(s, in);
        } else if (n < 0) {
            const int m = -n;
            setSm(mem, area::SM1_1, mem.cell(s) != 0);
            for (int k = 0; k <= m - 2; ++k) mem.setCell(s + k, boolCell(mem.cell(s + k + 1) != 0));
            mem.setCell(s + m - 1, in);
        }
    }
    setStatus(cpu, 0, mem.cell(data), 0);
    setStatus(cpu, 1, mem.cell(s), 0);
    setStatus(cpu, 2, length, 5);
}

template <int width>
void incDec(Interpreter& cpu, CodeLine& line, bool inc, bool on) {
    PlcMemory& mem = cpu.mem();
    // The common form, a memory operand of the width inside the image: integer steps.
    if (const int key = directKey(line.operands[0], memoryKindOf(width), width);
        key >= 0 && !(width == 16 && isRecordKey(key))) {
        const std::uint32_t mask = static_cast<std::uint32_t>(maskOf(width));
        const std::uint32_t before = readBits(mem, key, width);
        std::uint32_t r = before;
        if (on) {
            r = (inc ? before + 1 : before - 1) & mask;
            const bool wrapped = inc ? r == 0 : before == 0;
            const std::uint32_t half = (mask >> 1) + 1;
            std::int16_t* c = mem.cells();
            if (width == 8)
                c[area::SM1_1] = boolCell(wrapped);
            else
                c[area::SM1_1] = boolCell(inc ? r == half : r == half - 1);
            if (!inc && width != 8) c[area::SM1_2] = boolCell(wrapped);
            writeBits(mem, key, width, r);
        }
        const std::int16_t dk = displayKindOf(width);
        setStatus(cpu, 0, before, dk);
        setStatus(cpu, 1, r, dk);
        return;
    }
    const double before = operandValue(cpu, line, 0);
    if (on) {
        const std::int64_t L = std::int64_t{1} << width;
        const std::int64_t raw = toInt64(before) + (inc ? 1 : -1);
        std::int64_t r = raw % L;
        if (r < 0) r += L;
        const bool wrapped = r != raw;
        const std::int64_t half = L / 2;
        if (width == 8)
            setSm(mem, area::SM1_1, wrapped);
        else
            setSm(mem, area::SM1_1, inc ? r == half : r == half - 1);
        if (!inc && width != 8) setSm(mem, area::SM1_2, wrapped);
        storeResult(mem, line, 0, operandKey(mem, line, 0), static_cast<std::uint64_t>(r), width);
    }
    const std::int16_t dk = displayKindOf(width);
    setStatus(cpu, 0, before, dk);
    setStatus(cpu, 1, on ? operandValue(cpu, line, 0) : before, dk);
}

// Shifts and rotates show OUT after the instruction and the count.
void shiftStatus(Interpreter& cpu, CodeLine& line, int width) {
    setStatus(cpu, 0, operandValue(cpu, line, 0), displayKindOf(width));
    setStatus(cpu, 1, operandValue(cpu, line, 1), 5);
}

// The form at position idx from INVB (group idx / 3, width 8, 16 or 32 by idx % 3), its
// width fixed at compile time.
template <int idx>
void wordLogicForm(Interpreter& cpu, CodeLine& line, bool on) {
    constexpr auto g = static_cast<Group>(idx / 3);
    constexpr int width = kWidths[idx % 3];
    if constexpr (g == Group::Invert) {
        invert(cpu, line, width, on);
    } else if constexpr (g == Group::And || g == Group::Or || g == Group::Xor) {
        logic<width>(cpu, line, g, on);
    } else if constexpr (g == Group::ShiftLeft || g == Group::ShiftRight) {
        if (shiftDirect<width>(cpu, line, g == Group::ShiftLeft, on)) return;
        if (on) shift(cpu, line, g == Group::ShiftLeft, width);
        shiftStatus(cpu, line, width);
    } else {
        if (on) rotate(cpu, line, g == Group::RotateLeft, width);
        shiftStatus(cpu, line, width);
    }
}

// INCB ... DECD at position idx from INCB.
template <int idx>
void incDecForm(Interpreter& cpu, CodeLine& line, bool on) {
    incDec<kWidths[idx % 3]>(cpu, line, idx < 3, on);
}

using FormHandler = void (*)(Interpreter&, CodeLine&, bool);
template <std::size_t... I>
constexpr std::array<FormHandler, sizeof...(I)> wordLogicForms(std::index_sequence<I...>) {
    return {&wordLogicForm<static_cast<int>(I)>...};
}
template <std::size_t... I>
constexpr std::array<FormHandler, sizeof...(I)> incDecForms(std::index_sequence<I...>) {
    return {&incDecForm<static_cast<int>(I)>...};
}
constexpr auto kWordLogicForms = wordLogicForms(std::make_index_sequence<24>{});
constexpr auto kIncDecForms = incDecForms(std::make_index_sequence<6>{});

}  // namespace

void execWordLogic(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    const int op = static_cast<int>(line.op);
    if (line.op == Op::SHRB) {
        shrb(cpu, line, on);
        return;
    }
    if (op >= static_cast<int>(Op::INCB) && op <= static_cast<int>(Op::DECD)) {
        kIncDecForms[static_cast<std::size_t>(op - static_cast<int>(Op::INCB))](cpu, line, on);
        return;
    }
    if (op < static_cast<int>(Op::INVB) || op > static_cast<int>(Op::RRD)) return;
    kWordLogicForms[static_cast<std::size_t>(op - static_cast<int>(Op::INVB))](cpu, line, on);
}

}  // namespace korvane
