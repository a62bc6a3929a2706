#include "loader/operand_decoder.h"

#include <array>
#include <cmath>
#include <optional>

#include "core/opcodes.h"
#include "loader/stl_text.h"

namespace korvane {

namespace {

using stl::int16Value;
using stl::isNumeric;
using stl::numericValue;
using stl::startsWith;
using stl::trailingNumber;

// A key or constant computed in 16-bit integer arithmetic: empty when it leaves
// -32768..32767 (VB4100 cannot be formed).
std::optional<double> key16(long value) {
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<double>(value);
}

// base + 8 * n for the operand text's numeric part n.
std::optional<double> offsetKey(int base, std::string_view numberText, int scale = 8) {
    const auto n = int16Value(numberText);
    if (!n) return std::nullopt;
    return key16(static_cast<long>(base) + static_cast<long>(scale) * *n);
}

struct LibraryName {
    std::string_view name;
    int code;
};
constexpr std::array<LibraryName, 6> kLibraries{{{"MBUS_CTRL", library::MBUS_CTRL},
                                                 {"MBUS_MSG", library::MBUS_MSG},
                                                 {"USS_INIT", library::USS_INIT},
                                                 {"USS_CTRL", library::USS_CTRL},
                                                 {"MBUS_INIT", library::MBUS_INIT},
                                                 {"MBUS_SLAVE", library::MBUS_SLAVE}}};

// The library code of a routine name among the first `count` library names, or 0.
int libraryCode(std::string_view name, std::size_t count) {
    for (std::size_t i = 0; i < count && i < kLibraries.size(); ++i)
        if (kLibraries[i].name == name) return kLibraries[i].code;
    return 0;
}

// The signature character of operand k of a mnemonic (see operandSignature): 'B', 'W', 'D',
// 'R' for value operands, '*' where anything goes, 0 past the last operand or for an
// unknown mnemonic.
char signatureChar(std::string_view mnemonic, int k) {
    const Op op = opcodeOf(mnemonic);
    if (op == Op::Unknown) return 0;
    int i = 0;
    for (char c : operandSignature(op)) {
        if (c == '?') continue;
        if (c == '*') return '*';
        if (i++ == k) return c;
    }
    return 0;
}

// A pointer operand's kind by the width the instruction gives that operand.
int pointerKind(char c) {
    switch (c) {
    case 'B':
    case 's':  // a pointer to a string's length byte
        return kind::IndirectByte;
    case 'W':
        return kind::IndirectWord;
    case 'D':
    case 'R':
        return kind::IndirectDWord;
    default:
        return kind::Constant;
    }
}

// Operand slots of one line; writes outside the line or its kind slots are dropped.
class Slots {
public:
    Slots(Program& prog, int line) {
        if (line >= 0 && static_cast<std::size_t>(line) < prog.CodeTable.size()) line_ = &prog.CodeTable[line];
    }
    void setKind(int operand, int k) {
        if (line_ && operand >= 0 && operand < kMaxOperands) line_->setKind(operand, k);
    }
    int kindOf(int operand) const {
        if (line_ && operand >= 0 && operand < kMaxOperands) return line_->kindOf(operand);
        return kind::Constant;
    }

private:
    CodeLine* line_ = nullptr;
};

// The bit base of a bit-address operand ("I0.3", "SM0.5", "S2.1") and the length of its
// area letters; empty when the text does not start with one.
struct BitArea {
    int base;
    std::size_t letters;
};
std::optional<BitArea> bitArea(std::string_view t) {
    if (t.empty()) return std::nullopt;
    switch (t[0]) {
    case 'I':
        return BitArea{area::I, 1};
    case 'Q':
        return BitArea{area::Q, 1};
    case 'M':
        return BitArea{area::M, 1};
    case 'V':
        return BitArea{area::V, 1};
    case 'L':
        return BitArea{area::L, 1};
    case 'S':
        if (t.size() >= 2 && t[1] == 'M') return BitArea{area::SM, 2};
        if (t.size() >= 2 && t[1] >= '0' && t[1] <= '9') return BitArea{area::S, 1};
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

// The value of the digits after a radix prefix, summed d * radix^k from the right. Base 2
// takes any decimal digit (2#12 is 4); base 16 takes 0-9 and A-F in either case. Empty on
// any other character or an infinite sum.
std::optional<double> radixSum(std::string_view digits, int radix) {
    double v = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (radix == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (radix == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        if (d < 0) return std::nullopt;
        v = v * radix + d;
    }
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

double GetParamValue(Program& prog, std::string_view strCodeInstru, std::string_view strCodeParamTemp, int line,
                     int operandIndex) {
    const std::string_view m = strCodeInstru;
    const std::string_view t = strCodeParamTemp;
    Slots slots(prog, line);
    double number = 0;
    // This operand's kind as set so far (mirrors its slot, and works without one).
    int ownKind = slots.kindOf(operandIndex);
    auto setOwnKind = [&](int k) {
        ownKind = k;
        slots.setKind(operandIndex, k);
    };

    // 1. The target of a CALL: the subroutine number, or the library code of its name.
    if (m == "CALL" && operandIndex == 0 && startsWith(t, "SBR") && t.size() > 3) {
        const int n = trailingNumber(t);
        if (n >= 0 && n < static_cast<int>(prog.subroutines.size())) {
            number = n;
            if (int code = libraryCode(prog.subroutines[n].Name, 6)) number = code;
        }
    }
    // 2. The interrupt routine of an ATCH.
    if (m == "ATCH" && operandIndex == 0 && startsWith(t, "INT") && t.size() > 3) {
        const int n = trailingNumber(t);
        if (n >= 0) number = n;
    }
    // 3. A subroutine header records the routine's entry line.
    if (m == "SUBROUTINE_BLOCK" && operandIndex == 0) {
        const int n = trailingNumber(t);
        if (n >= 0 && n < static_cast<int>(prog.subroutines.size()) && line >= -32768 && line <= 32767) {
            number = n;
            SubroutineEntry& e = prog.subroutines[n];
            e.EntryLine = static_cast<std::int16_t>(line);
            if (int code = libraryCode(e.Name, 4)) number = code;
        }
    }
    // 4. An interrupt routine header records its entry line.
    if (m == "INTERRUPT_BLOCK" && operandIndex == 0) {
        const int n = trailingNumber(t);
        if (n >= 0 && n < static_cast<int>(prog.interrupts.size()) && line >= -32768 && line <= 32767) {
            number = n;
            prog.interrupts[n].EntryLine = static_cast<std::int16_t>(line);
        }
    }
    // 5. Address-of: the byte address of the operand (&VB100 is 64 + 100).
    if (startsWith(t, "&") && t.size() > 3 && isNumeric(t.substr(3))) {
        int base = 0;
        switch (t[1]) {
        case 'I':
            base = area::byteBase(area::I);
            break;
        case 'Q':
            base = area::byteBase(area::Q);
            break;
        case 'M':
            base = area::byteBase(area::M);
            break;
        case 'V':
            base = area::byteBase(area::V);
            break;
        case 'L':
            base = area::byteBase(area::L);
            break;
        case 'S':
            base = area::byteBase(area::S);
            break;
        default:
            break;
        }
        if (auto v = offsetKey(base, t.substr(3), 1)) number = *v;
    }
    // 6. Indirect: the key of the pointer double word (*VD n, *LD n, or the accumulator of
    // *AC n); the kind says how wide the value it addresses is, by the instruction.
    if ((startsWith(t, "*VD") || startsWith(t, "*LD") || startsWith(t, "*AC")) && t.size() > 3 &&
        isNumeric(t.substr(3))) {
        const int base = t[1] == 'V' ? area::V : t[1] == 'L' ? area::L : area::AC;
        if (auto v = offsetKey(base, t.substr(3), t[1] == 'A' ? 32 : 8)) {
            number = *v;
            if (const int k = pointerKind(signatureChar(m, operandIndex)); k != kind::Constant) setOwnKind(k);
        }
    }
    const std::size_t dot = t.find('.');
    // 7. A real constant.
    if (dot != std::string_view::npos && isNumeric(t.substr(0, dot))) {
        if (auto v = numericValue(t)) return *v;
    }
    // 8. A bit address: area base + 8 * byte + bit, the bit being the last character.
    if (dot != std::string_view::npos) {
        if (auto a = bitArea(t)) {
            const auto byte = dot >= a->letters ? int16Value(t.substr(a->letters, dot - a->letters)) : std::nullopt;
            const char bitChar = t.back();
            if (byte && bitChar >= '0' && bitChar <= '9') {
                if (auto v = key16(static_cast<long>(a->base) + 8L * *byte + (bitChar - '0'))) return *v;
            }
        }
    }
    // 9. A special-memory byte, word or double word (SMW22 is the last scan time).
    if (startsWith(t, "SMB") || startsWith(t, "SMW") || startsWith(t, "SMD")) {
        if (auto v = offsetKey(area::SM, t.substr(3))) {
            setOwnKind(t[2] == 'B' ? kind::Byte : t[2] == 'W' ? kind::Word : kind::DWord);
            return *v;
        }
        return number;
    }
    // 10. The edge flag the reader numbered for EU and ED.
    if (m == "EU" || m == "ED") {
        if (auto v = offsetKey(area::Edge, t, 1)) return *v;
    }
    // 11. A decimal, "&H" or "&O" constant.
    if (auto v = numericValue(t)) {
        setOwnKind(kind::Constant);
        return *v;
    }
    // 12. A base-2 constant.
    if (t.size() >= 2 && t[0] == '2' && t[1] == '#') {
        if (auto v = radixSum(t.substr(2), 2)) {
            setOwnKind(kind::Constant);
            return *v;
        }
    }
    // 13. A hexadecimal constant.
    if (t.size() >= 3 && t[0] == '1' && t[1] == '6' && t[2] == '#') {
        if (auto v = radixSum(t.substr(3), 16)) {
            setOwnKind(kind::Constant);
            return *v;
        }
    }
    // 14, 15. Analog input and output words.
    if (startsWith(t, "AIW")) {
        if (auto v = offsetKey(area::AIW, t.substr(3))) {
            setOwnKind(kind::Word);
            number = *v;
        }
    }
    if (startsWith(t, "AQW")) {
        if (auto v = offsetKey(area::AQW, t.substr(3))) {
            setOwnKind(kind::Word);
            number = *v;
        }
    }
    // 16. An accumulator; its width comes from the instruction.
    if (startsWith(t, "AC")) {
        if (auto v = offsetKey(area::AC, t.substr(2), 32)) {
            number = *v;
            // A byte of an accumulator is its least significant byte, a word its least
            // significant word (AC0 = 16#12345678 as a byte is 16#78): the key moves to them.
            const char c = signatureChar(m, operandIndex);
            if (c == 'B' || c == 'W' || c == 'D' || c == 'R') {
                setOwnKind(c == 'B' ? kind::Byte : c == 'W' ? kind::Word : kind::DWord);
                number = *v + (c == 'B' ? 24 : c == 'W' ? 16 : 0);
            } else {
                // An instruction without a width for this operand: the mnemonic's last letter.
                const char last = m.empty() ? ' ' : m.back();
                setOwnKind(last == 'B' ? kind::Byte : last == 'W' ? kind::Word : kind::DWord);
            }
        }
    }
    const bool numeric = isNumeric(t);
    // 17. Byte, word and double word operands.
    if (!numeric && t.size() >= 2) {
        switch (t[1]) {
        case 'B':
            setOwnKind(kind::Byte);
            break;
        case 'W':
            setOwnKind(kind::Word);
            break;
        case 'D':
            setOwnKind(kind::DWord);
            break;
        default:
            break;
        }
    }
    {
        const int k = ownKind;
        if (k >= kind::Byte && k <= kind::DWord && t.size() > 2 && isNumeric(t.substr(2))) {
            int base = -1;
            switch (t[0]) {
            case 'I':
                base = area::I;
                break;
            case 'Q':
                base = area::Q;
                break;
            case 'M':
                base = area::M;
                break;
            case 'V':
                base = area::V;
                break;
            case 'L':
                base = area::L;
                break;
            case 'S':
                base = area::S;
                break;
            default:
                break;
            }
            if (base >= 0) {
                if (auto v = offsetKey(base, t.substr(2))) number = *v;
            }
        }
    }
    // 18. A timer.
    if (!numeric && startsWith(t, "T") && t.size() > 1) {
        if (auto v = offsetKey(area::T, t.substr(1), 1)) {
            number = *v;
            setOwnKind(kind::Timer);
        }
    }
    // 19. A counter.
    if (startsWith(t, "C") && t.size() > 1) {
        if (auto v = offsetKey(area::C, t.substr(1), 1)) {
            number = *v;
            setOwnKind(kind::Counter);
        }
    }
    // 20. A network number.
    if (m == "Network") {
        if (auto v = int16Value(t)) number = *v;
    }
    return number;
}

}  // namespace korvane
