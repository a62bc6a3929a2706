// Strings: numbers to strings and back, length, copy, concatenation, search, and the
// string compare contacts.
//
// A string is a length byte (0 to 254) followed by that many characters, in V or L memory
// (directly or through a pointer), or a constant string of the program. The boxes execute
// only while the logic result is on and never change it. A box that meets a pointer that
// addresses no data area (0006), a string longer than 254 or one that does not fit its area,
// an output that does not fit its area (0091), or a position 0 (009B) writes nothing and
// reports the non-fatal error. The compare contacts run whatever the logic result is; the
// same faults in their strings are fatal: the pass ends as a run-time error.
#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <system_error>

#include "core/interpreter.h"
#include "core/number_text.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

constexpr std::uint16_t kBadPointer = 0x0006;
constexpr std::uint16_t kOutOfRange = 0x0091;
constexpr std::uint16_t kIndexZero = 0x009B;
constexpr int kMaxLength = 254;

struct Text {
    std::array<std::uint8_t, kMaxLength> chars{};
    int size = 0;
};

// One execution of a box. The first error met is kept; an operand of a kind no string
// instruction takes (a number where a string belongs: the program check reports it) makes
// the line do nothing, like an operand that names nothing.
struct Box {
    Interpreter& cpu;
    const CodeLine& line;
    std::uint16_t error = 0;
    bool inert = false;

    PlcMemory& mem() { return cpu.mem(); }
    bool failed() const { return error != 0 || inert; }
    void fail(std::uint16_t code) {
        if (!error) error = code;
    }
    // Reports the error, if any; true when the box may write its result.
    bool finish() {
        if (error) cpu.nonFatal(error);
        return !failed();
    }
};

bool isMemoryKind(int knd) { return knd == kind::Byte || knd == kind::Word || knd == kind::DWord; }

// The target of pointer operand k, with `cells` cells from it inside one data area; 0006
// otherwise.
std::optional<int> pointerPlace(Box& b, int k, int cells) {
    const double p = b.line.number(k);
    const int pointerKey = p >= 0 && p <= area::LastCell ? imageKey(p) : -1;
    if (!spanInImage(pointerKey, 32)) {
        b.fail(kBadPointer);
        return std::nullopt;
    }
    const double target = readBits(b.mem(), pointerKey, 32) * 8.0;
    if (!(target <= area::LastCell) || !area::dataAreaOf(static_cast<int>(target)).holds(static_cast<int>(target), cells)) {
        b.fail(kBadPointer);
        return std::nullopt;
    }
    return static_cast<int>(target);
}

// The key of a memory or pointer operand k; nothing (and the box inert) for other kinds.
std::optional<int> placeOf(Box& b, int k) {
    const int knd = b.line.kindOf(k);
    if (isPointer(knd)) return pointerPlace(b, k, 8);
    const double p = b.line.number(k);
    if (!isMemoryKind(knd) || !(p >= 0 && p <= area::LastCell)) {
        b.inert = true;
        return std::nullopt;
    }
    return imageKey(p);
}

// The string at key: 0091 when its length byte says more than 254 or it passes the end of
// the data area that holds key.
bool readStringAt(Box& b, int key, Text& out) {
    const area::Span a = area::dataAreaOf(key);
    if (!a.holds(key, 8)) {
        b.fail(kOutOfRange);
        return false;
    }
    const std::int16_t* c = b.mem().cells() + key;
    const int n = static_cast<int>(byteOfCells(c));
    if (n > kMaxLength || !a.holds(key, 8 * (n + 1))) {
        b.fail(kOutOfRange);
        return false;
    }
    out.size = n;
    for (int i = 0; i < n; ++i) out.chars[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(byteOfCells(c + 8 * (i + 1)));
    return true;
}

// String operand k: a constant string, or the string its memory or pointer operand holds.
bool readString(Box& b, int k, Text& out) {
    if (b.line.kindOf(k) == kind::String) {
        const std::vector<std::string>& pool = b.cpu.prog().strings;
        const double p = b.line.number(k);
        if (!(p >= 0 && p < static_cast<double>(pool.size()))) {
            b.inert = true;
            return false;
        }
        const std::string& s = pool[static_cast<std::size_t>(p)];
        out.size = static_cast<int>(std::min<std::size_t>(s.size(), kMaxLength));
        std::copy_n(s.begin(), out.size, out.chars.begin());
        return true;
    }
    const std::optional<int> key = placeOf(b, k);
    return key && readStringAt(b, *key, out);
}

// Where a string of n characters goes at operand k: its length byte and characters inside the
// data area of the key; 0091 otherwise.
std::optional<int> stringPlace(Box& b, int k, int n) {
    const std::optional<int> key = placeOf(b, k);
    if (!key) return std::nullopt;
    if (!area::dataAreaOf(*key).holds(*key, 8 * (n + 1))) {
        b.fail(kOutOfRange);
        return std::nullopt;
    }
    return key;
}

void writeString(PlcMemory& mem, int key, const std::uint8_t* chars, int n) {
    requireSpan(key, 8 * (n + 1));
    writeBits(mem, key, 8, static_cast<std::uint32_t>(n));
    for (int i = 0; i < n; ++i) writeBits(mem, key + 8 * (i + 1), 8, chars[i]);
}

// The value of number operand k (width bits): operandValue, with a pointer that addresses
// no data area failing the box (0006) instead of the pass.
std::optional<double> valueOf(Box& b, int k, int bits) {
    const int knd = b.line.kindOf(k);
    if (isPointer(knd)) {
        const std::optional<int> key = pointerPlace(b, k, pointerBits(knd));
        if (!key) return std::nullopt;
        return readBits(b.mem(), *key, std::min(bits, pointerBits(knd)));
    }
    if (isMemoryKind(knd)) {
        const double p = b.line.number(k);
        const int width = knd == kind::Byte ? 8 : knd == kind::Word ? 16 : 32;
        if (!(p >= 0 && p <= area::LastCell) || !spanInImage(imageKey(p), width)) {
            b.inert = true;
            return std::nullopt;
        }
    } else if (knd != kind::Constant && knd != kind::Timer && knd != kind::Counter) {
        b.inert = true;
        return std::nullopt;
    }
    return operandValue(b.cpu, b.line, k);
}

// The low bits of a number in two's complement (a constant may be negative or wider).
std::uint32_t lowBits(double v, int bits) {
    if (!(std::fabs(v) < 9.0e15)) return 0;
    const auto i = static_cast<std::int64_t>(roundEven(v));
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(i) & (bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1));
}

std::optional<unsigned> byteOf(Box& b, int k) {
    const std::optional<double> v = valueOf(b, k, 8);
    if (!v) return std::nullopt;
    return lowBits(*v, 8);
}

// Where a number result of `bits` goes: the memory or pointer operand's key.
std::optional<int> resultPlace(Box& b, int k, int bits) {
    const int knd = b.line.kindOf(k);
    if (isPointer(knd)) return pointerPlace(b, k, bits);
    const double p = b.line.number(k);
    const bool record = (knd == kind::Timer || knd == kind::Counter) && bits == 16;
    if (!(isMemoryKind(knd) || record) || !(p >= 0 && p <= area::LastCell) || !spanInImage(imageKey(p), bits)) {
        b.inert = true;
        return std::nullopt;
    }
    return imageKey(p);
}

// --- what the status view shows ------------------------------------------------------------

// A string operand shows its length (0 when it cannot be read); a number its value.
double lengthShown(Interpreter& cpu, const CodeLine& line, int k) {
    Box b{cpu, line};
    Text t;
    return readString(b, k, t) ? t.size : 0;
}

double valueShown(Interpreter& cpu, const CodeLine& line, int k, int bits) {
    Box b{cpu, line};
    const std::optional<double> v = valueOf(b, k, bits);
    return v ? *v : 0;
}

double signedShown(Interpreter& cpu, const CodeLine& line, int k, int bits) {
    const std::uint32_t u = lowBits(valueShown(cpu, line, k, bits), bits);
    return bits == 16 ? static_cast<double>(static_cast<std::int16_t>(u)) : static_cast<double>(static_cast<std::int32_t>(u));
}

double realShown(Interpreter& cpu, const CodeLine& line, int k) {
    if (line.kindOf(k) == kind::Constant) return line.number(k);
    return std::bit_cast<float>(lowBits(valueShown(cpu, line, k, 32), 32));
}

// --- ITS, DTS, RTS ------------------------------------------------------------------------

void numberToString(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    const bool real = line.op == Op::RTS;
    const int bits = line.op == Op::ITS ? 16 : 32;
    const std::optional<double> in = real && line.kindOf(0) == kind::Constant ? std::optional<double>(line.number(0))
                                                                              : valueOf(b, 0, bits);
    const std::optional<unsigned> fmt = byteOf(b, 2);
    if (!in || !fmt) {
        b.finish();
        return;
    }
    NumberText text;
    if (real) {
        float v = 0;
        if (line.kindOf(0) == kind::Constant)
            v = std::fabs(*in) <= FLT_MAX ? static_cast<float>(*in) : (*in < 0 ? -INFINITY : INFINITY);
        else
            v = std::bit_cast<float>(lowBits(*in, 32));
        text = realText(v, *fmt);
    } else if (bits == 16) {
        text = integerText(static_cast<std::int16_t>(lowBits(*in, 16)), 8, *fmt);
    } else {
        text = integerText(static_cast<std::int32_t>(lowBits(*in, 32)), 12, *fmt);
    }
    if (text.outcome == NumberText::Outcome::Nothing) {
        cpu.enoOff = true;
        return;
    }
    const std::optional<int> out = stringPlace(b, 1, text.width);
    if (!b.finish()) return;
    std::array<std::uint8_t, 15> chars{};
    std::copy_n(text.chars.begin(), text.width, chars.begin());
    writeString(cpu.mem(), *out, chars.data(), text.width);
    if (text.outcome == NumberText::Outcome::Spaces) cpu.enoOff = true;
}

// --- STI, STD, STR --------------------------------------------------------------------------

// The number at position `from` (1-based) of s: blanks, a sign, digits, and for a real a
// point or comma and more digits. It ends at the first character that does not fit.
struct Scanned {
    bool negative = false;
    std::string whole;     // the digits before the separator
    std::string fraction;  // the digits after it (reals only)
};

Scanned scanNumber(const Text& s, int from, bool real) {
    Scanned r;
    int i = from - 1;
    auto at = [&](int j) { return static_cast<char>(s.chars[static_cast<std::size_t>(j)]); };
    auto digit = [&](int j) { return j < s.size && at(j) >= '0' && at(j) <= '9'; };
    while (i < s.size && at(i) == ' ') ++i;
    if (i < s.size && (at(i) == '+' || at(i) == '-')) r.negative = at(i++) == '-';
    while (digit(i)) r.whole += at(i++);
    if (real && i < s.size && (at(i) == '.' || at(i) == ',')) {
        ++i;
        while (digit(i)) r.fraction += at(i++);
    }
    return r;
}

// The integer of the scanned digits, when it lies within [low, high].
std::optional<std::int64_t> integerOf(const Scanned& n, std::int64_t low, std::int64_t high) {
    if (n.whole.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (char c : n.whole) {
        v = v * 10 + (c - '0');
        if (v > high + 1) return std::nullopt;  // beyond either end; no overflow below 2^63
    }
    if (n.negative) v = -v;
    if (v < low || v > high) return std::nullopt;
    return v;
}

// The single nearest to the scanned digits; nothing when there are none or the value is
// beyond the single range (a value below the smallest single is 0).
std::optional<float> realOf(const Scanned& n) {
    if (n.whole.empty() && n.fraction.empty()) return std::nullopt;
    const std::string text = (n.whole.empty() ? "0" : n.whole) + "." + (n.fraction.empty() ? "0" : n.fraction);
    float f = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), f);
    if (r.ec == std::errc::result_out_of_range) {
        double d = 0;
        std::from_chars(text.data(), text.data() + text.size(), d);
        if (d > 1.0) return std::nullopt;
        f = 0;
    } else if (r.ec != std::errc()) {
        return std::nullopt;
    }
    return n.negative && f != 0 ? -f : f;  // "-0" is 0
}

void stringToNumber(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text s;
    readString(b, 0, s);
    const std::optional<unsigned> index = byteOf(b, 1);
    const int bits = line.op == Op::STI ? 16 : 32;
    const std::optional<int> out = resultPlace(b, 2, bits);
    if (!b.failed() && *index == 0) b.fail(kIndexZero);
    if (!b.finish()) return;
    const Scanned n = scanNumber(s, static_cast<int>(*index), line.op == Op::STR);
    PlcMemory& mem = cpu.mem();
    bool ok = false;
    if (line.op == Op::STR) {
        if (const std::optional<float> v = realOf(n)) {
            writeBits(mem, *out, 32, std::bit_cast<std::uint32_t>(*v));
            ok = true;
        }
    } else if (line.op == Op::STI) {
        if (const auto v = integerOf(n, -32768, 32767)) {
            storeWord(mem, line, 2, *out, static_cast<double>(*v));
            ok = true;
        }
    } else if (const auto v = integerOf(n, -2147483648LL, 2147483647LL)) {
        writeBits(mem, *out, 32, static_cast<std::uint32_t>(*v));
        ok = true;
    }
    setSm(mem, area::SM1_1, !ok);
}

// --- SLEN, SCPY, SCAT, SSCPY ---------------------------------------------------------------

void slen(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text s;
    readString(b, 0, s);
    const std::optional<int> out = resultPlace(b, 1, 8);
    if (b.finish()) writeBits(cpu.mem(), *out, 8, static_cast<std::uint32_t>(s.size));
}

void scpy(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text s;
    readString(b, 0, s);
    const std::optional<int> out = b.failed() ? std::nullopt : stringPlace(b, 1, s.size);
    if (b.finish()) writeString(cpu.mem(), *out, s.chars.data(), s.size);
}

void scat(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text in;
    Text out;
    readString(b, 0, in);
    const std::optional<int> key = b.failed() ? std::nullopt : placeOf(b, 1);
    if (key) readStringAt(b, *key, out);
    if (!b.failed() && out.size + in.size > kMaxLength) b.fail(kOutOfRange);
    if (!b.failed() && !area::dataAreaOf(*key).holds(*key, 8 * (out.size + in.size + 1))) b.fail(kOutOfRange);
    if (!b.finish()) return;
    std::copy_n(in.chars.begin(), in.size, out.chars.begin() + out.size);
    writeString(cpu.mem(), *key, out.chars.data(), out.size + in.size);
}

void sscpy(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text in;
    readString(b, 0, in);
    const std::optional<unsigned> index = byteOf(b, 1);
    const std::optional<unsigned> count = byteOf(b, 2);
    if (!b.failed() && *index == 0) b.fail(kIndexZero);
    const int first = index ? static_cast<int>(*index) : 0;
    const int n = count ? static_cast<int>(*count) : 0;
    if (!b.failed() && first + n - 1 > in.size) b.fail(kOutOfRange);
    const std::optional<int> out = b.failed() ? std::nullopt : stringPlace(b, 3, n);
    if (b.finish()) writeString(cpu.mem(), *out, in.chars.data() + (first - 1), n);
}

// --- SFND, CFND -----------------------------------------------------------------------------

// The position (from 1) in s at or after `from` where IN2 is found (SFND: the whole string;
// CFND: any of its characters); 0 when it is not.
int findIn(const Text& s, const Text& what, int from, bool anyCharacter) {
    const auto begin = s.chars.begin();
    const auto end = begin + s.size;
    if (from > s.size || what.size == 0) return 0;
    const auto start = begin + (from - 1);
    const auto wb = what.chars.begin();
    const auto we = wb + what.size;
    const auto it = anyCharacter ? std::find_first_of(start, end, wb, we) : std::search(start, end, wb, we);
    return it == end ? 0 : static_cast<int>(it - begin) + 1;
}

void find(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text in1;
    Text in2;
    readString(b, 0, in1);
    readString(b, 1, in2);
    const std::optional<unsigned> from = byteOf(b, 2);
    const std::optional<int> out = resultPlace(b, 2, 8);
    if (!b.failed() && *from == 0) b.fail(kIndexZero);
    if (!b.finish()) return;
    const int at = findIn(in1, in2, static_cast<int>(*from), line.op == Op::CFND);
    writeBits(cpu.mem(), *out, 8, static_cast<std::uint32_t>(at));
}

// --- LDS=, AS=, OS=, LDS<>, AS<>, OS<> ------------------------------------------------------

void compareStrings(Interpreter& cpu, CodeLine& line) {
    Box b{cpu, line};
    Text in1;
    Text in2;
    readString(b, 0, in1);
    readString(b, 1, in2);
    // On the CPU a bad string in a compare stops the program: here the pass ends.
    if (b.error) fault(FaultCode::AccessOutOfImage);
    bool c = false;
    if (!b.inert) {
        const bool equal = std::equal(in1.chars.begin(), in1.chars.begin() + in1.size, in2.chars.begin(),
                                      in2.chars.begin() + in2.size);
        const bool wantEqual = line.op == Op::LDS_EQ || line.op == Op::AS_EQ || line.op == Op::OS_EQ;
        c = equal == wantEqual;
    }
    std::int16_t& lr = cpu.logicResult;
    switch (line.op) {
    case Op::LDS_EQ:
    case Op::LDS_NE:
        cpu.push(lr);
        lr = boolCell(c);
        break;
    case Op::AS_EQ:
    case Op::AS_NE:
        lr = boolCell(lr != 0 && c);
        break;
    default:
        lr = boolCell(lr != 0 || c);
        break;
    }
    setStatus(cpu, 0, in1.size, 1);
    setStatus(cpu, 1, in2.size, 1);
}

}  // namespace

void execString(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    switch (line.op) {
    case Op::ITS:
    case Op::DTS:
    case Op::RTS:
        if (on) numberToString(cpu, line);
        if (line.op == Op::RTS)
            setStatus(cpu, 0, realShown(cpu, line, 0), 7);
        else if (line.op == Op::ITS)
            setStatus(cpu, 0, signedShown(cpu, line, 0, 16), 5);
        else
            setStatus(cpu, 0, signedShown(cpu, line, 0, 32), 6);
        setStatus(cpu, 1, lengthShown(cpu, line, 1), 1);
        setStatus(cpu, 2, valueShown(cpu, line, 2, 8), 1);
        return;
    case Op::STI:
    case Op::STD:
    case Op::STR:
        if (on) stringToNumber(cpu, line);
        setStatus(cpu, 0, lengthShown(cpu, line, 0), 1);
        setStatus(cpu, 1, valueShown(cpu, line, 1, 8), 1);
        if (line.op == Op::STR)
            setStatus(cpu, 2, realShown(cpu, line, 2), 7);
        else if (line.op == Op::STI)
            setStatus(cpu, 2, signedShown(cpu, line, 2, 16), 5);
        else
            setStatus(cpu, 2, signedShown(cpu, line, 2, 32), 6);
        return;
    case Op::SLEN:
        if (on) slen(cpu, line);
        setStatus(cpu, 0, lengthShown(cpu, line, 0), 1);
        setStatus(cpu, 1, valueShown(cpu, line, 1, 8), 1);
        return;
    case Op::SCPY:
    case Op::SCAT:
        if (on) (line.op == Op::SCPY ? scpy : scat)(cpu, line);
        setStatus(cpu, 0, lengthShown(cpu, line, 0), 1);
        setStatus(cpu, 1, lengthShown(cpu, line, 1), 1);
        return;
    case Op::SSCPY:
        if (on) sscpy(cpu, line);
        setStatus(cpu, 0, lengthShown(cpu, line, 0), 1);
        setStatus(cpu, 1, valueShown(cpu, line, 1, 8), 1);
        setStatus(cpu, 2, valueShown(cpu, line, 2, 8), 1);
        return;
    case Op::SFND:
    case Op::CFND:
        if (on) find(cpu, line);
        setStatus(cpu, 0, lengthShown(cpu, line, 0), 1);
        setStatus(cpu, 1, lengthShown(cpu, line, 1), 1);
        setStatus(cpu, 2, valueShown(cpu, line, 2, 8), 1);
        return;
    case Op::LDS_EQ:
    case Op::LDS_NE:
    case Op::AS_EQ:
    case Op::AS_NE:
    case Op::OS_EQ:
    case Op::OS_NE:
        compareStrings(cpu, line);
        return;
    default:
        return;
    }
}

}  // namespace korvane
