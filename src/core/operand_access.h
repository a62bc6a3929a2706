#pragma once
// Operand access shared by the box instructions (moves, word logic, arithmetic) and the
// compare contacts: pointer operands resolved to the byte or word they address, bit
// patterns read from and written to the image cells in one go, and fast paths of the memory
// writers for the common case (a whole value inside the image). Everything here is inline
// and allocation-free; faults go to the caller (RunExec ends the pass on them).
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/interpreter.h"

namespace korvane::access {

// A box instruction executes only while the logic result is on.
inline bool powerOn(const Interpreter& cpu) { return cpu.logicResult != 0; }

inline std::int16_t boolCell(bool on) { return on ? kOn : kOff; }

inline void setSm(PlcMemory& mem, int smBit, bool on) { mem.cells()[smBit] = boolCell(on); }

// Operand i's value and display kind in the status of the line executing.
inline void setStatus(const Interpreter& cpu, int i, double value, int displayKind) {
    LineRunStatus& st = cpu.status();
    st.StatusValue[static_cast<std::size_t>(i)] = value;
    st.StatusKind[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(displayKind);
}

// --- keys and bit patterns -------------------------------------------------------------------

// keyOf for the usual case, an integral key inside the image, without a rounding call.
inline int imageKey(double number) {
    if (number >= 0 && number <= area::LastCell) {
        const int i = static_cast<int>(number);
        if (i == number) return i;
    }
    return keyOf(number);
}

inline bool spanInImage(int key, int cells) { return key >= 0 && key <= area::CellCount - cells; }

// The byte of eight cells (any non-zero cell is a 1 bit, the first cell bit 0). On a
// little-endian host four cells at a time: the top bit of each non-zero 16-bit lane is
// set, and one multiplication gathers the four top bits.
inline unsigned byteOfCells(const std::int16_t* c) {
    if constexpr (std::endian::native == std::endian::little) {
        unsigned byte = 0;
        for (int half = 0; half < 2; ++half) {
            std::uint64_t x;
            std::memcpy(&x, c + 4 * half, sizeof x);
            const std::uint64_t low = 0x7FFF7FFF7FFF7FFFull;
            const std::uint64_t top = (((x & low) + low) | x) & 0x8000800080008000ull;
            const std::uint64_t gathered = ((top >> 15) * 0x0000200040008001ull) >> 45;
            byte |= static_cast<unsigned>(gathered & 0xFu) << (4 * half);
        }
        return byte;
    } else {
        unsigned byte = 0;
        for (int i = 0; i < 8; ++i) byte |= static_cast<unsigned>(c[i] != 0) << i;
        return byte;
    }
}

#if defined(__SSE2__)
// The on cells among eight (n = 8) or sixteen (n = 16) cells from c as a mask, bit i for
// cell i: non-zero lanes compared, packed to bytes, the bytes' top bits gathered.
[[gnu::always_inline]] inline unsigned cellMask8(const std::int16_t* c) {
    const __m128i off = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), _mm_setzero_si128());
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(off, off))) & 0xFFu;
}
[[gnu::always_inline]] inline unsigned cellMask16(const std::int16_t* c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), zero);
    const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 8)), zero);
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b))) & 0xFFFFu;
}
#endif

// The width-bit pattern (8, 16, 32) at key: big-endian bytes, each least significant bit
// first. Faults when any cell lies outside the image.
[[gnu::always_inline]] inline std::uint32_t readBits(const PlcMemory& mem, int key, int width) {
    if (!spanInImage(key, width)) fault(FaultCode::AccessOutOfImage);
    const std::int16_t* c = mem.cells() + key;
#if defined(__SSE2__)
    // The first cell of a 16-cell mask is bit 0 of the first (most significant) byte.
    auto word = [](unsigned m) { return ((m & 0xFFu) << 8) | (m >> 8); };
    if (width == 16) return word(cellMask16(c));
    if (width == 32) return (word(cellMask16(c)) << 16) | word(cellMask16(c + 16));
    if (width == 8) return cellMask8(c);
#endif
    std::uint32_t v = 0;
    for (int b = 0; b < width; b += 8) v = (v << 8) | byteOfCells(c + b);
    return v;
}

// Operand o as a plain memory operand of kind knd and width bits (no pointer, timer or
// constant) wholly inside the image: its key, or -1 for anything else. The boxes' fast paths
// take it; every other operand goes the general way.
inline int directKey(const LineOperand& o, int knd, int width) {
    return (o.kind == knd && spanInImage(o.key, width)) ? o.key : -1;
}

// The single at key (32 cells inside the image), as a double.
inline double realAt(const PlcMemory& mem, int key) {
    return static_cast<double>(std::bit_cast<float>(readBits(mem, key, 32)));
}

// Operand o as operandReal gives it when o is a constant (its number as written) or a double
// word named directly inside the image (the single at its key): true with the value in v.
// False for any other form, which goes the general way.
inline bool directReal(const PlcMemory& mem, const LineOperand& o, double& v) {
    if (o.kind == kind::Constant) {
        v = o.number;
        return true;
    }
    if (o.kind != kind::DWord || !spanInImage(o.key, 32)) return false;
    v = realAt(mem, o.key);
    return true;
}

// Whether the cells [a, a + wa) and [b, b + wb) share one.
inline bool cellsOverlap(int a, int wa, int b, int wb) { return a < b + wb && b < a + wa; }

// A constant operand that is an integer from lo to hi (its double exactly), or nothing.
inline bool integralConstant(const LineOperand& o, double lo, double hi) {
    if (o.kind != kind::Constant || !(o.number >= lo && o.number <= hi)) return false;
    return static_cast<double>(static_cast<std::int64_t>(o.number)) == o.number;
}

// --- pointer operands (*VD n, *LD n, *AC n) ----------------------------------------------

inline bool isPointer(int knd) { return pointerBits(knd) != 0; }

// The kind an instruction sees: a pointer to a byte is a byte, to a word a word, to a double
// word (or real) a double word.
inline int effectiveKind(int knd) {
    if (knd == kind::IndirectByte) return kind::Byte;
    if (knd == kind::IndirectWord) return kind::Word;
    if (knd == kind::IndirectDWord) return kind::DWord;
    return knd;
}

// The key of operand k: its number, or the pointer's target (which must hold the width of
// the pointer's kind inside one area).
inline int operandKey(const PlcMemory& mem, const CodeLine& line, int k) {
    const int knd = line.kindOf(k);
    return isPointer(knd) ? pointerTarget(mem, line.key(k), pointerBits(knd)) : line.key(k);
}

// Faults unless the cells [key, key + cells) lie inside one data area: a block move, FILL or
// shift register never runs past the end of its area into the next one.
inline void requireSpan(int key, int cells) {
    if (!area::dataAreaOf(key).holds(key, cells)) fault(FaultCode::AccessOutOfImage);
}

// The value of operand k, as GetCodeParamVal gives it (constants as they stand, memory read
// unsigned, timers and counters from their records), with pointer operands read through
// the pointer.
inline double operandValue(Interpreter& cpu, const CodeLine& line, int k) {
    const PlcMemory& mem = cpu.mem();
    const LineOperand& o = line.operands[k];
    switch (o.kind) {
    case kind::Constant:
        return o.number;
    case kind::Byte:
        return readBits(mem, line.key(k), 8);
    case kind::Word:
        return readBits(mem, line.key(k), 16);
    case kind::DWord:
        return readBits(mem, line.key(k), 32);
    case kind::IndirectByte:
        return readBits(mem, pointerTarget(mem, line.key(k), 8), 8);
    case kind::IndirectWord:
        return readBits(mem, pointerTarget(mem, line.key(k), 16), 16);
    case kind::IndirectDWord:
        return readBits(mem, pointerTarget(mem, line.key(k), 32), 32);
    default:
        return cpu.val(line, k);
    }
}

// The real value of operand k, as GetCodeParamRealVal gives it (a constant as it stands,
// anything else the single at its key), with pointer operands read through the pointer.
inline double operandReal(Interpreter& cpu, const CodeLine& line, int k) {
    const int knd = line.kindOf(k);
    if (knd == kind::Constant) return line.number(k);
    return static_cast<double>(std::bit_cast<float>(readBits(cpu.mem(), operandKey(cpu.mem(), line, k), 32)));
}

// The boxes that report a bad pointer as the non-fatal error 0006 (ENO off, SM4.3 on, the
// code kept for GERR) instead of ending the pass: the key or the value of operand k, or
// nothing after such an error. Any other fault passes to the caller.
inline constexpr std::uint16_t kBadPointerError = 0x0006;
inline std::optional<int> operandKeyOrError(Interpreter& cpu, const CodeLine& line, int k) {
    try {
        return operandKey(cpu.mem(), line, k);
    } catch (const PlcFault&) {
        if (!isPointer(line.kindOf(k))) throw;
        cpu.nonFatal(kBadPointerError);
        return std::nullopt;
    }
}
inline std::optional<double> operandValueOrError(Interpreter& cpu, const CodeLine& line, int k) {
    try {
        return operandValue(cpu, line, k);
    } catch (const PlcFault&) {
        if (!isPointer(line.kindOf(k))) throw;
        cpu.nonFatal(kBadPointerError);
        return std::nullopt;
    }
}
// The value of operand k for the status view, or nothing when it cannot be read.
inline std::optional<double> operandValueIfReadable(Interpreter& cpu, const CodeLine& line, int k) {
    try {
        return operandValue(cpu, line, k);
    } catch (const PlcFault&) {
        return std::nullopt;
    }
}

// --- integers ------------------------------------------------------------------------------

// Rounded (ties to even) to a 64-bit integer; faults far outside the 32-bit range.
inline std::int64_t toInt64(double v) {
    const double r = roundEven(v);
    if (!(r >= -4611686018427387904.0 && r <= 4611686018427387904.0)) fault(FaultCode::Overflow);
    return static_cast<std::int64_t>(r);
}

// A key held as a double, as an integer without the image check (for the writers that
// handle keys outside the image themselves).
inline int rawKey(double number) {
    const double r = roundEven(number);
    if (!(r >= -1e9 && r <= 1e9)) fault(FaultCode::AccessOutOfImage);
    return static_cast<int>(r);
}

// --- bit patterns ---------------------------------------------------------------------------

// The eight cells of every byte value.
struct ByteCells {
    std::array<std::array<std::int16_t, 8>, 256> cells{};
    constexpr ByteCells() {
        for (unsigned v = 0; v < 256; ++v)
            for (unsigned i = 0; i < 8; ++i) cells[v][i] = ((v >> i) & 1u) ? kOn : kOff;
    }
};
inline constexpr ByteCells kByteCells{};

// Writes the low width bits of pattern at key, set directly. Outside the image the cells
// before the first bad one are written, then it faults.
[[gnu::always_inline]] inline void writeBits(PlcMemory& mem, int key, int width, std::uint32_t pattern) {
    if (spanInImage(key, width)) {
        std::int16_t* c = mem.cells() + key;
        for (int b = 0; b < width; b += 8)
            std::memcpy(c + b, kByteCells.cells[(pattern >> (width - 8 - b)) & 0xFFu].data(), 8 * sizeof(std::int16_t));
        return;
    }
    for (int b = 0; b < width; b += 8) {
        const unsigned byte = (pattern >> (width - 8 - b)) & 0xFFu;
        for (int i = 0; i < 8; ++i) mem.setCell(key + b + i, boolCell((byte >> i) & 1u));
    }
}

// Copies count cells from `from` to `to` in ascending order (a forward copy: a destination
// that starts inside the source above it repeats the start of the source). Outside the
// image the cells copied before the first bad one stay copied, then it faults.
inline void copyCells(PlcMemory& mem, int from, int to, int count) {
    if (count <= 0) return;
    if (spanInImage(from, count) && spanInImage(to, count)) {
        std::int16_t* c = mem.cells();
        for (int i = 0; i < count; ++i) c[to + i] = boolCell(c[from + i] != 0);
        return;
    }
    for (int i = 0; i < count; ++i) mem.setCell(to + i, boolCell(mem.cell(from + i) != 0));
}

// --- the memory writers ----------------------------------------------------------------------

// Whether the writer takes value at this width without fault: an integer the split of the
// writer can hold (width 8: 16-bit; width 16: floor(v / 256) 16-bit; width 32: below 2^39).
inline bool writerFits(double value, int width) {
    if (value != std::floor(value)) return false;  // also NaN and the infinities
    switch (width) {
    case 8:
        return value >= -32768.0 && value <= 32767.0;
    case 16:
        return value >= -8388608.0 && value <= 8388607.0;
    default:
        return value >= -549755813888.0 && value < 549755813888.0;
    }
}

// tobit(value, key, width) for widths 8, 16 and 32: the low bits in two's complement; the
// writer itself (with its log line) whenever the value or the key is out of the plain case.
inline void storeTobit(PlcMemory& mem, double value, int key, int width) {
    if (spanInImage(key, width) && writerFits(value, width)) {
        writeBits(mem, key, width, static_cast<std::uint32_t>(static_cast<std::int64_t>(value)));
        return;
    }
    mem.tobit(value, key, width);
}

inline bool isRecordKey(int key) { return key >= area::T && key < area::FirstScanDone; }

// tobit2(value, key, width) for widths 8, 16 and 32 (16-bit writes at timer and counter
// keys set the record's current value).
inline void storeTobit2(PlcMemory& mem, double value, int key, int width) {
    if (!(width == 16 && isRecordKey(key)) && spanInImage(key, width) && writerFits(value, width)) {
        writeBits(mem, key, width, static_cast<std::uint32_t>(static_cast<std::int64_t>(value)));
        return;
    }
    mem.tobit2(value, key, width);
}

// A word result for operand k: a timer or counter operand receives it as its current value,
// any other operand as 16 bits at its key.
inline void storeWord(PlcMemory& mem, const CodeLine& line, int k, int key, double value) {
    const int knd = line.kindOf(k);
    if (knd == kind::Timer || knd == kind::Counter)
        mem.tobit2(value, key, 16);
    else
        storeTobit(mem, value, key, 16);
}

// A single-precision value (already range-checked) as four bytes through tobit, like
// SetRealValue.
inline void storeReal(PlcMemory& mem, int key, float value) {
    if (spanInImage(key, 32)) {
        writeBits(mem, key, 32, std::bit_cast<std::uint32_t>(value));
        return;
    }
    mem.SetRealValue(key, value);
}

}  // namespace korvane::access
