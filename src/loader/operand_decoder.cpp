#include "loader/operand_decoder.h"

#include <array>
#include <cmath>
#include <optional>

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

template <std::size_t N>
bool oneOf(std::string_view m, const std::array<std::string_view, N>& list) {
    for (auto s : list)
        if (s == m) return true;
    return false;
}

constexpr std::array<std::string_view, 26> kIndirectByte{
    "MOVB", "BMB",  "ANDB", "ORB",  "XORB", "DECB", "INCB", "INVB", "AB<=",  "AB=",   "AB<",   "AB>",   "AB<>",
    "AB>=", "LDB<=", "LDB=", "LDB<", "LDB>", "LDB<>", "LDB>=", "OB<=", "OB=", "OB<", "OB>", "OB<>", "OB>="};
constexpr std::array<std::string_view, 28> kIndirectWord{
    "+I",   "-I",   "*I",   "/I",    "ANDW", "ORW",  "XORW", "DECW",  "INCW",  "INVW", "AW<=", "AW=", "AW<", "AW>",
    "AW<>", "AW>=", "LDW<=", "LDW=", "LDW<", "LDW>", "LDW<>", "LDW>=", "OW<=", "OW=",  "OW<",  "OW>", "OW<>", "OW>="};

// The width letter of a conversion mnemonic as an operand kind: B byte, W or I word, D
// double word.
int conversionKind(char letter) {
    switch (letter) {
    case 'B':
        return kind::Byte;
    case 'W':
    case 'I':
        return kind::Word;
    default:
        return kind::DWord;
    }
}

bool isConversion(std::string_view m) { return m == "BTI" || m == "ITB" || m == "ITD" || m == "DTI"; }

// Operand slots of one line; writes outside the line or its kind slots are dropped.
class Slots {
public:
    Slots(Program& prog, int line) {
        if (line >= 0 && static_cast<std::size_t>(line) < prog.CodeTable.size()) line_ = &prog.CodeTable[line];
    }
    void setKind(int operand, int k) {
        if (line_ && operand >= 0 && operand < kMaxOperands) line_->Param[20 + operand] = k;
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
    // 6. Indirect: the key of the pointer double word; byte or word kind by instruction.
    if ((startsWith(t, "*VD") || startsWith(t, "*LD")) && t.size() > 3 && isNumeric(t.substr(3))) {
        if (auto v = offsetKey(t[1] == 'V' ? area::V : area::L, t.substr(3))) {
            number = *v;
            if (oneOf(m, kIndirectByte))
                setOwnKind(kind::IndirectByte);
            else if (oneOf(m, kIndirectWord))
                setOwnKind(kind::IndirectWord);
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
            if (isConversion(m)) {
                // BTI, ITB, ITD, DTI: operand 0 by the first letter, operand 1 by the last.
                // An operand already read as a constant, timer or counter keeps its kind
                // (ITD 5, AC0 converts the constant 5).
                for (int k = 0; k < 2; ++k) {
                    const int current = slots.kindOf(k);
                    const bool keep = k < operandIndex && (current == kind::Constant || current == kind::Timer ||
                                                           current == kind::Counter);
                    if (keep) continue;
                    const int k2 = conversionKind(k == 0 ? m.front() : m.back());
                    if (k == operandIndex)
                        setOwnKind(k2);
                    else
                        slots.setKind(k, k2);
                }
            } else {
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
