// Conversions: BCD to integer and back, decode and encode, byte swap, ASCII hexadecimal
// digits to nibbles and back, and numbers to right-justified ASCII text (SEG is with the
// arithmetic). Box instructions: they execute only while the logic result is on, never
// change it, and record their operands' values for the status view whether they executed or
// not. A value they cannot convert sets its SM bit (SM1.6 not BCD, SM1.7 not a hexadecimal
// digit) and takes ENO off; a buffer that does not lie whole inside its area, or an output
// that is a constant, is the non-fatal error 0091 and nothing is written.
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <cstdint>

#include "core/interpreter.h"
#include "core/number_text.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

constexpr std::uint16_t kOperandOutOfRange = 0x0091;

void outOfRange(Interpreter& cpu) { cpu.nonFatal(kOperandOutOfRange); }

// Whether operand k names a place in memory (an address, T n, C n, a pointer), not a constant.
bool isPlace(const CodeLine& line, int k) { return line.kindOf(k) != kind::Constant; }

// The low width bits of operand k (memory values are unsigned already; a constant or a
// timer's value takes part in two's complement).
std::uint32_t bitsOf(Interpreter& cpu, const CodeLine& line, int k, int width) {
    const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(toInt64(operandValue(cpu, line, k))) & mask);
}

double signedWord(double v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(toInt64(v) & 0xFFFF)); }
double signedDWord(double v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(toInt64(v) & 0xFFFFFFFF));
}

// Whether `bytes` bytes from key lie inside one data area.
bool bufferFits(int key, int bytes) { return area::dataAreaOf(key).holds(key, 8 * bytes); }

// --- BCDI, IBCD, SWAP: in place on one word --------------------------------------------

void bcdToInteger(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (!isPlace(line, 0)) return outOfRange(cpu);
    const std::uint32_t w = bitsOf(cpu, line, 0, 16);
    int r = 0;
    bool bcd = true;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned d = (w >> shift) & 0xFu;
        bcd = bcd && d <= 9;
        r = 10 * r + static_cast<int>(d);
    }
    setSm(mem, area::SM1_6, !bcd);
    if (!bcd) {
        cpu.enoOff = true;
        return;
    }
    storeWord(mem, line, 0, operandKey(mem, line, 0), r);
}

void integerToBcd(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (!isPlace(line, 0)) return outOfRange(cpu);
    const auto v = static_cast<std::int16_t>(bitsOf(cpu, line, 0, 16));
    const bool inRange = v >= 0 && v <= 9999;
    setSm(mem, area::SM1_6, !inRange);
    if (!inRange) {
        cpu.enoOff = true;
        return;
    }
    const int bcd = (v / 1000) << 12 | (v / 100 % 10) << 8 | (v / 10 % 10) << 4 | v % 10;
    storeWord(mem, line, 0, operandKey(mem, line, 0), bcd);
}

void swapBytes(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (!isPlace(line, 0)) return outOfRange(cpu);
    const std::uint32_t w = bitsOf(cpu, line, 0, 16);
    storeWord(mem, line, 0, operandKey(mem, line, 0), ((w & 0xFFu) << 8) | (w >> 8));
}

// --- DECO, ENCO ---------------------------------------------------------------------------

// DECO: the bit numbered by IN's low nibble, alone in the word.
void decode(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (!isPlace(line, 1)) return outOfRange(cpu);
    const unsigned n = bitsOf(cpu, line, 0, 8) & 0xFu;
    storeWord(mem, line, 1, operandKey(mem, line, 1), 1u << n);
}

// ENCO: the number of IN's lowest set bit into the whole byte; 0 for IN = 0.
void encode(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (!isPlace(line, 1)) return outOfRange(cpu);
    const std::uint32_t w = bitsOf(cpu, line, 0, 16);
    const int n = w == 0 ? 0 : std::countr_zero(w);
    storeTobit(mem, n, operandKey(mem, line, 1), 8);
}

// --- ATH, HTA -----------------------------------------------------------------------------

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of an ASCII hexadecimal digit ('0' to '9', 'A' to 'F'); -1 for anything else,
// lower case included.
int hexValue(unsigned c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// LEN of ATH and HTA: 1 to 255; 0 for anything else.
int runLength(Interpreter& cpu, const CodeLine& line) {
    const std::int64_t n = toInt64(operandValue(cpu, line, 2));
    return n >= 1 && n <= 255 ? static_cast<int>(n) : 0;
}

// Reads `bytes` bytes from key (already checked) before anything is written, so that an
// output overlapping the input converts what the input held.
std::array<std::uint8_t, 255> readBytes(const PlcMemory& mem, int key, int bytes) {
    std::array<std::uint8_t, 255> b{};
    for (int i = 0; i < bytes; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(readBits(mem, key + 8 * i, 8));
    return b;
}

// ATH: LEN characters into LEN nibbles, the first into the high nibble of OUT. An odd LEN
// leaves the low nibble of the last byte. A character that is not a digit sets SM1.7 and
// takes ENO off; the nibbles before it are written, none after it.
void asciiToHex(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int len = runLength(cpu, line);
    if (len == 0 || !isPlace(line, 0) || !isPlace(line, 1)) return outOfRange(cpu);
    const int in = operandKey(mem, line, 0);
    const int out = operandKey(mem, line, 1);
    if (!bufferFits(in, len) || !bufferFits(out, (len + 1) / 2)) return outOfRange(cpu);
    const std::array<std::uint8_t, 255> text = readBytes(mem, in, len);
    for (int i = 0; i < len; ++i) {
        const int digit = hexValue(text[static_cast<std::size_t>(i)]);
        if (digit < 0) {
            setSm(mem, area::SM1_7, true);
            cpu.enoOff = true;
            return;
        }
        const int key = out + 8 * (i / 2);
        const std::uint32_t old = readBits(mem, key, 8);
        const auto d = static_cast<std::uint32_t>(digit);
        writeBits(mem, key, 8, i % 2 ? (old & 0xF0u) | d : (old & 0x0Fu) | d << 4);
    }
    setSm(mem, area::SM1_7, false);
}

// HTA: LEN nibbles, the high nibble of IN first, into LEN characters '0' to '9', 'A' to 'F'.
void hexToAscii(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    const int len = runLength(cpu, line);
    if (len == 0 || !isPlace(line, 0) || !isPlace(line, 1)) return outOfRange(cpu);
    const int in = operandKey(mem, line, 0);
    const int out = operandKey(mem, line, 1);
    if (!bufferFits(in, (len + 1) / 2) || !bufferFits(out, len)) return outOfRange(cpu);
    const std::array<std::uint8_t, 255> bytes = readBytes(mem, in, (len + 1) / 2);
    for (int i = 0; i < len; ++i) {
        const unsigned b = bytes[static_cast<std::size_t>(i / 2)];
        const unsigned nibble = i % 2 ? b & 0xFu : b >> 4;
        writeBits(mem, out + 8 * i, 8, static_cast<unsigned char>(kHexDigits[nibble]));
    }
}

// --- ITA, DTA, RTA --------------------------------------------------------------------------

// The text of a number (see number_text.h) into the buffer at key: its characters, or all
// blanks with ENO off; an illegal format writes nothing and takes ENO off.
void writeNumberText(Interpreter& cpu, int key, const NumberText& t) {
    if (t.outcome != NumberText::Outcome::Text) cpu.enoOff = true;
    if (t.outcome == NumberText::Outcome::Nothing) return;
    for (int i = 0; i < t.width; ++i)
        writeBits(cpu.mem(), key + 8 * i, 8, static_cast<unsigned char>(t.chars[static_cast<std::size_t>(i)]));
}

// ITA (8 bytes) and DTA (12 bytes). FMT: bits 7 to 4 must be 0 (else nothing is written),
// bit 3 a comma instead of a point, bits 2 to 0 the decimals, 0 to 5 (else all spaces).
void integerToAscii(Interpreter& cpu, CodeLine& line, bool wide) {
    const int size = wide ? 12 : 8;
    const std::uint32_t fmt = bitsOf(cpu, line, 2, 8);
    if (fmt & 0xF0u) {
        cpu.enoOff = true;
        return;
    }
    if (!isPlace(line, 1)) return outOfRange(cpu);
    const int out = operandKey(cpu.mem(), line, 1);
    if (!bufferFits(out, size)) return outOfRange(cpu);
    const std::int32_t v = wide ? static_cast<std::int32_t>(bitsOf(cpu, line, 0, 32))
                                : static_cast<std::int16_t>(bitsOf(cpu, line, 0, 16));
    writeNumberText(cpu, out, integerText(v, size, fmt));
}

// RTA. FMT: bits 7 to 4 the buffer size ssss, 3 to 15; bit 3 a comma; bits 2 to 0 the
// decimals, 0 to 5. A value outside the single range is written as blanks.
void realToAscii(Interpreter& cpu, CodeLine& line) {
    const std::uint32_t fmt = bitsOf(cpu, line, 2, 8);
    const int size = static_cast<int>(fmt >> 4);
    if (!isPlace(line, 1)) return outOfRange(cpu);
    const int out = operandKey(cpu.mem(), line, 1);
    if (!bufferFits(out, size)) return outOfRange(cpu);
    // The value as the CPU holds it, a single (a constant too).
    const double in = operandReal(cpu, line, 0);
    const bool single = std::isfinite(in) && std::fabs(in) <= FLT_MAX;
    writeNumberText(cpu, out, realText(single ? static_cast<float>(in) : std::numeric_limits<float>::infinity(), fmt));
}

}  // namespace

void execConversion(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    switch (line.op) {
    case Op::BCDI:
        if (on) bcdToInteger(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 2);
        return;
    case Op::IBCD:
        if (on) integerToBcd(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 2);
        return;
    case Op::SWAP:
        if (on) swapBytes(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 2);
        return;
    case Op::DECO:
        if (on) decode(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 1);
        setStatus(cpu, 1, operandValue(cpu, line, 1), 2);
        return;
    case Op::ENCO:
        if (on) encode(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 2);
        setStatus(cpu, 1, operandValue(cpu, line, 1), 1);
        return;
    case Op::ATH:
    case Op::HTA:
        if (on) (line.op == Op::ATH ? asciiToHex : hexToAscii)(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 1);
        setStatus(cpu, 1, operandValue(cpu, line, 1), 1);
        setStatus(cpu, 2, operandValue(cpu, line, 2), 1);
        return;
    case Op::ITA:
    case Op::DTA:
    case Op::RTA:
        if (on) {
            if (line.op == Op::RTA)
                realToAscii(cpu, line);
            else
                integerToAscii(cpu, line, line.op == Op::DTA);
        }
        if (line.op == Op::RTA)
            setStatus(cpu, 0, operandReal(cpu, line, 0), 7);
        else if (line.op == Op::DTA)
            setStatus(cpu, 0, signedDWord(operandValue(cpu, line, 0)), 6);
        else
            setStatus(cpu, 0, signedWord(operandValue(cpu, line, 0)), 5);
        setStatus(cpu, 1, operandValue(cpu, line, 1), 1);
        setStatus(cpu, 2, operandValue(cpu, line, 2), 1);
        return;
    default:
        return;
    }
}

}  // namespace korvane
