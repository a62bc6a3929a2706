// Moves and block moves: MOVB, MOVW, MOVD, MOVR, BMB, BMW, BMD and FILL. They execute only
// while the logic result is on, never change it nor any special memory bit, and record the
// operands' values for the status view whether they executed or not.
#include <bit>
#include <cmath>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

// The status record of a move: IN, OUT after the instruction (and N), each with its kind.
void moveStatus(Interpreter& cpu, CodeLine& line, std::int16_t displayKind) {
    setStatus(cpu, 0, operandValue(cpu, line, 0), displayKind);
    setStatus(cpu, 1, operandValue(cpu, line, 1), displayKind);
}

void blockStatus(Interpreter& cpu, CodeLine& line, std::int16_t displayKind, std::int16_t countKind) {
    moveStatus(cpu, line, displayKind);
    setStatus(cpu, 2, operandValue(cpu, line, 2), countKind);
}

void movb(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int in = effectiveKind(line.kindOf(0));
    if (in == kind::Constant) {
        // The low 8 bits of the constant rounded to 16 bits (300 gives 44, -1 gives 255).
        const std::int16_t v = toInt16(line.number(0));
        writeBits(mem, operandKey(mem, line, 1), 8, static_cast<std::uint16_t>(v) & 0xFFu);
    } else if (in == kind::Byte) {
        copyCells(mem, operandKey(mem, line, 0), operandKey(mem, line, 1), 8);
    }
}

void movw(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int in = effectiveKind(line.kindOf(0));
    const int out = effectiveKind(line.kindOf(1));
    if (out == kind::Word) {
        if (in == kind::Word) {
            copyCells(mem, operandKey(mem, line, 0), operandKey(mem, line, 1), 16);
        } else {
            const std::int32_t v = toInt32(operandValue(cpu, line, 0));
            writeBits(mem, operandKey(mem, line, 1), 16, static_cast<std::uint32_t>(v) & 0xFFFFu);
        }
    } else if (out == kind::Timer) {
        const std::int32_t v = toInt32(operandValue(cpu, line, 0));
        mem.timer(line.key(1) - area::T).Current = v;
    } else if (out == kind::Counter) {
        const std::int32_t v = toInt32(operandValue(cpu, line, 0));
        mem.counter(line.key(1) - area::C).Current = v;
    }
}

// The low 32 bits of a constant in two's complement (-2 gives 16#FFFFFFFE; constants beyond
// 32 bits keep their low 32 bits).
std::uint32_t low32(double constant) {
    if (!std::isfinite(constant)) fault(FaultCode::Overflow);
    double m = std::fmod(roundEven(constant), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<std::uint32_t>(m);
}

void movd(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int in = effectiveKind(line.kindOf(0));
    if (in == kind::Constant)
        writeBits(mem, operandKey(mem, line, 1), 32, low32(line.number(0)));
    else if (in == kind::DWord)
        copyCells(mem, operandKey(mem, line, 0), operandKey(mem, line, 1), 32);
}

void movr(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int in = effectiveKind(line.kindOf(0));
    if (in == kind::Constant) {
        // Four bytes through the byte writer, which handles a key outside the image itself.
        const float v = toSingle(line.number(0));
        const int out = isPointer(line.kindOf(1)) ? operandKey(mem, line, 1) : rawKey(line.number(1));
        storeReal(mem, out, v);
    } else if (in == kind::DWord) {
        copyCells(mem, operandKey(mem, line, 0), operandKey(mem, line, 1), 32);
    }
}

// BMB, BMW, BMD: count blocks of width bits, a forward copy through the image. Both blocks
// must lie inside their areas, or nothing is copied and the pass ends.
void blockMove(Interpreter& cpu, CodeLine& line, int width, int ownKind) {
    PlcMemory& mem = cpu.mem();
    const int in = effectiveKind(line.kindOf(0));
    const int out = effectiveKind(line.kindOf(1));
    if (in == ownKind && out == ownKind) {
        const int count = toInt16(operandValue(cpu, line, 2));
        // The last bit offset, count x width - 1, is a 16-bit integer: a count beyond it
        // either way (above 4095 bytes, below -4095 bytes, ...) is an overflow.
        const int lastOffset = count * width - 1;
        if (lastOffset > 32767 || lastOffset < -32768) fault(FaultCode::Overflow);
        if (count <= 0) return;
        const int from = operandKey(mem, line, 0);
        const int to = operandKey(mem, line, 1);
        requireSpan(from, count * width);
        requireSpan(to, count * width);
        copyCells(mem, from, to, count * width);
    } else if (width == 16 && (in == kind::Timer || in == kind::Counter) && out == kind::Word) {
        // Current values of count consecutive timers (counters) from the named one into
        // count consecutive words; a run past T255 (C255) ends the pass as a fault.
        const int count = toInt16(operandValue(cpu, line, 2));
        const int first = line.key(0) - (in == kind::Timer ? area::T : area::C);
        const int to = operandKey(mem, line, 1);
        if (count <= 0) return;
        if (first + count - 1 > 255) fault(FaultCode::IndexOutOfRange);
        requireSpan(to, 16 * count);
        for (int k = 0; k < count; ++k) {
            const TimerCounterRecord& r = in == kind::Timer ? mem.timer(first + k) : mem.counter(first + k);
            writeBits(mem, to + 16 * k, 16, static_cast<std::uint32_t>(r.Current) & 0xFFFFu);
        }
    }
}

void fill(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    // N is normally a constant; a memory N gives its value as the count.
    const int count = toInt16(line.kindOf(2) == kind::Constant ? line.number(2) : operandValue(cpu, line, 2));
    const int out = isPointer(line.kindOf(1)) ? operandKey(mem, line, 1) : rawKey(line.number(1));
    // The whole run is checked before the first word is written: a FILL that would pass the
    // end of its area writes nothing.
    if (count > 0) requireSpan(out, 16 * count);
    for (int k = 1; k <= count; ++k) {
        const int offset = 16 * (k - 1);  // a 16-bit offset: word 2049 is out of reach
        if (offset > 32767) fault(FaultCode::Overflow);
        storeTobit(mem, operandValue(cpu, line, 0), out + offset, 16);
    }
}

// MOVB, MOVW, MOVD in their common form, IN an integer constant or a memory operand of the
// width and OUT a memory operand of the width, inside the image and not overlapping the way a
// forward copy would show: the move and the status without the general operand access.
// False (having done nothing) for any other form.
template <int width, int knd, std::int16_t displayKind>
bool moveDirect(Interpreter& cpu, CodeLine& line) {
    const LineOperand& in = line.operands[0];
    const int out = directKey(line.operands[1], knd, width);
    if (out < 0) return false;
    PlcMemory& mem = cpu.mem();
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    const bool on = powerOn(cpu);
    // OUT as the status shows it after the move: what was written, or what it holds.
    std::uint32_t shown = 0;
    if (in.kind == kind::Constant) {
        // The constants the general way takes without fault, in two's complement.
        const double lo = width == 8 ? -32768.0 : -2147483648.0;
        const double hi = width == 8 ? 32767.0 : width == 16 ? 2147483647.0 : 4294967295.0;
        if (!integralConstant(in, lo, hi)) return false;
        if (on) {
            shown = static_cast<std::uint32_t>(static_cast<std::int64_t>(in.number)) & mask;
            writeBits(mem, out, width, shown);
        } else {
            shown = readBits(mem, out, width);
        }
        setStatus(cpu, 0, in.number, displayKind);
    } else {
        const int from = directKey(in, knd, width);
        if (from < 0 || (out > from && out < from + width)) return false;
        const std::uint32_t value = readBits(mem, from, width);
        if (on) {
            writeBits(mem, out, width, value);
            shown = value;
        } else {
            shown = readBits(mem, out, width);
        }
        // IN overlapped by OUT below it shows what the move left there.
        setStatus(cpu, 0, on && cellsOverlap(from, width, out, width) ? readBits(mem, from, width) : value, displayKind);
    }
    setStatus(cpu, 1, shown, displayKind);
    return true;
}

// MOVR in its common form, IN a constant or a double word and OUT a double word, both named
// directly inside the image (and OUT not starting inside IN above it, where the forward copy
// repeats cells): as movr and its status. False (having done nothing) for any other form.
bool movrDirect(Interpreter& cpu, CodeLine& line) {
    const LineOperand& in = line.operands[0];
    const int out = directKey(line.operands[1], kind::DWord, 32);
    if (out < 0) return false;
    PlcMemory& mem = cpu.mem();
    if (in.kind == kind::Constant) {
        double shown = 0;
        if (powerOn(cpu)) {
            const float v = toSingle(in.number);
            writeBits(mem, out, 32, std::bit_cast<std::uint32_t>(v));
            shown = v;
        } else {
            shown = realAt(mem, out);
        }
        setStatus(cpu, 0, in.number, 7);
        setStatus(cpu, 1, shown, 7);
        return true;
    }
    const int from = directKey(in, kind::DWord, 32);
    if (from < 0 || (out > from && out < from + 32)) return false;
    const std::uint32_t bits = readBits(mem, from, 32);
    const bool on = powerOn(cpu);
    if (on) writeBits(mem, out, 32, bits);
    setStatus(cpu, 0, on && cellsOverlap(from, 32, out, 32) ? realAt(mem, from) : std::bit_cast<float>(bits), 7);
    setStatus(cpu, 1, on ? std::bit_cast<float>(bits) : realAt(mem, out), 7);
    return true;
}

}  // namespace

void execMove(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    switch (line.op) {
    case Op::MOVB:
        if (moveDirect<8, kind::Byte, 1>(cpu, line)) return;
        if (on) movb(cpu, line);
        moveStatus(cpu, line, 1);
        return;
    case Op::MOVW:
        if (moveDirect<16, kind::Word, 2>(cpu, line)) return;
        if (on) movw(cpu, line);
        moveStatus(cpu, line, 2);
        return;
    case Op::MOVD:
        if (moveDirect<32, kind::DWord, 3>(cpu, line)) return;
        if (on) movd(cpu, line);
        moveStatus(cpu, line, 3);
        return;
    case Op::MOVR:
        if (movrDirect(cpu, line)) return;
        if (on) movr(cpu, line);
        setStatus(cpu, 0, operandReal(cpu, line, 0), 7);
        setStatus(cpu, 1, operandReal(cpu, line, 1), 7);
        return;
    case Op::BMB:
        if (on) blockMove(cpu, line, 8, kind::Byte);
        blockStatus(cpu, line, 1, 5);
        return;
    case Op::BMW:
        if (on) blockMove(cpu, line, 16, kind::Word);
        blockStatus(cpu, line, 2, 5);
        return;
    case Op::BMD:
        if (on) blockMove(cpu, line, 32, kind::DWord);
        blockStatus(cpu, line, 3, 5);
        return;
    case Op::FILL:
        if (on) fill(cpu, line);
        blockStatus(cpu, line, 3, 3);
        return;
    default:
        return;
    }
}

}  // namespace korvane
