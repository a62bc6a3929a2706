#include "loader/operand_syntax.h"

#include "loader/stl_text.h"

namespace korvane {

namespace {

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A non-negative decimal number of digits only; -1 when the text is not one (or too long).
long digitsValue(std::string_view s) {
    if (s.empty() || s.size() > 9) return -1;
    long v = 0;
    for (char c : s) {
        if (!isDigit(c)) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

bool allDigits(std::string_view s, bool hex) {
    if (s.empty()) return false;
    for (char c : s) {
        const bool ok = isDigit(c) || (hex && ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')));
        if (!ok) return false;
    }
    return true;
}

// The area of the letters a byte, word, double word or bit address starts with ("I", "SM",
// "V" ...), and how many letters that is; None when the text starts with no area letter.
struct Letters {
    AreaId area = AreaId::None;
    std::size_t length = 0;
};
Letters areaLetters(std::string_view t) {
    if (t.empty()) return {};
    switch (t[0]) {
    case 'I':
        return {AreaId::I, 1};
    case 'Q':
        return {AreaId::Q, 1};
    case 'M':
        return {AreaId::M, 1};
    case 'V':
        return {AreaId::V, 1};
    case 'L':
        return {AreaId::L, 1};
    case 'S':
        if (t.size() >= 2 && t[1] == 'M') return {AreaId::SM, 2};
        return {AreaId::S, 1};
    default:
        return {};
    }
}

OperandForm widthForm(char c) {
    switch (c) {
    case 'B':
        return OperandForm::Byte;
    case 'W':
        return OperandForm::Word;
    case 'D':
        return OperandForm::DWord;
    default:
        return OperandForm::Invalid;
    }
}

int formBytes(OperandForm f) { return f == OperandForm::Byte ? 1 : f == OperandForm::Word ? 2 : f == OperandForm::DWord ? 4 : 0; }

}  // namespace

OperandSyntax parseOperand(std::string_view t) {
    OperandSyntax s;
    if (t.empty()) return s;
    // A number starts with a digit, a sign, a point or the '&' of a radix prefix (or a blank).
    const char c0 = t[0];
    const bool mayBeNumber = isDigit(c0) || c0 == '+' || c0 == '-' || c0 == '.' || c0 == '&' || stl::isBlank(c0);
    if (mayBeNumber) {
        if (const auto v = stl::numericValue(t)) {
            s.form = OperandForm::Constant;
            s.value = *v;
            return s;
        }
        if ((t.size() > 2 && t.substr(0, 2) == "2#" && allDigits(t.substr(2), false)) ||
            (t.size() > 3 && t.substr(0, 3) == "16#" && allDigits(t.substr(3), true))) {
            s.form = OperandForm::Constant;
            return s;
        }
    }
    if (t[0] == '&') {
        // &VB100: the address of a byte (the size letter may also be W or D).
        const Letters l = areaLetters(t.substr(1));
        if (l.area == AreaId::None || l.area == AreaId::SM || t.size() < 2 + l.length) return s;
        if (widthForm(t[1 + l.length]) == OperandForm::Invalid) return s;
        const long n = digitsValue(t.substr(2 + l.length));
        if (n < 0) return s;
        s = {OperandForm::AddressOf, l.area, n, 0, 1, 0};
        return s;
    }
    if (t[0] == '*') {
        // *VD100, *LD4, *AC1: the double word that holds the pointer.
        if (t.size() > 3 && (t.substr(1, 2) == "VD" || t.substr(1, 2) == "LD" || t.substr(1, 2) == "AC")) {
            const long n = digitsValue(t.substr(3));
            if (n < 0) return s;
            const AreaId a = t[1] == 'V' ? AreaId::V : t[1] == 'L' ? AreaId::L : AreaId::AC;
            s = {OperandForm::Pointer, a, n, 0, 4, 0};
        }
        return s;
    }
    if (const std::size_t dot = t.find('.'); dot != std::string_view::npos) {
        const Letters l = areaLetters(t);
        if (l.area == AreaId::None || dot + 2 != t.size() || !isDigit(t.back())) return s;
        const long byte = digitsValue(t.substr(l.length, dot - l.length));
        if (byte < 0) return s;
        s = {OperandForm::Bit, l.area, byte, t.back() - '0', 0, 0};
        return s;
    }
    if (c0 == 'A' && t.size() > 3 && (t.substr(0, 3) == "AIW" || t.substr(0, 3) == "AQW")) {
        const long n = digitsValue(t.substr(3));
        if (n >= 0) s = {OperandForm::Word, t[1] == 'I' ? AreaId::AI : AreaId::AQ, n, 0, 2, 0};
        return s;
    }
    if (c0 == 'A' && t.size() > 2 && t.substr(0, 2) == "AC") {
        const long n = digitsValue(t.substr(2));
        if (n >= 0) s = {OperandForm::Accumulator, AreaId::AC, n, 0, 4, 0};
        return s;
    }
    if ((c0 == 'S' || c0 == 'I') && t.size() > 3 && (t.substr(0, 3) == "SBR" || t.substr(0, 3) == "INT")) {
        const long n = digitsValue(t.substr(3));
        if (n >= 0) s = {OperandForm::Routine, AreaId::None, n, 0, 0, 0};
        return s;
    }
    if (const Letters l = areaLetters(t); l.area != AreaId::None && t.size() > l.length + 1) {
        const OperandForm f = widthForm(t[l.length]);
        const long n = digitsValue(t.substr(l.length + 1));
        if (f != OperandForm::Invalid && n >= 0) {
            s = {f, l.area, n, 0, formBytes(f), 0};
            return s;
        }
    }
    if (t.size() > 1 && (t[0] == 'T' || t[0] == 'C')) {
        const long n = digitsValue(t.substr(1));
        if (n >= 0) s = {t[0] == 'T' ? OperandForm::Timer : OperandForm::Counter, t[0] == 'T' ? AreaId::T : AreaId::C, n, 0, 0, 0};
        return s;
    }
    return s;
}

long areaSize(AreaId area) {
    switch (area) {
    case AreaId::I:
    case AreaId::Q:
        return 16;
    case AreaId::M:
    case AreaId::S:
        return 32;
    case AreaId::V:
        return 1024;
    case AreaId::SM:
        return 550;
    case AreaId::L:
    case AreaId::AI:
    case AreaId::AQ:
        return 64;
    case AreaId::T:
    case AreaId::C:
        return 256;
    case AreaId::AC:
        return 4;
    case AreaId::None:
        break;
    }
    return 0;
}

bool insideArea(const OperandSyntax& s) {
    const long size = areaSize(s.area);
    switch (s.form) {
    case OperandForm::Bit:
        return 8 * s.offset + s.bit < 8 * size;
    case OperandForm::Byte:
    case OperandForm::Word:
    case OperandForm::DWord:
        if ((s.area == AreaId::AI || s.area == AreaId::AQ) && s.offset % 2 != 0) return false;
        return s.offset + s.bytes <= size;
    case OperandForm::Timer:
    case OperandForm::Counter:
    case OperandForm::Accumulator:
    case OperandForm::AddressOf:
        return s.offset < size;
    case OperandForm::Pointer:
        return s.area == AreaId::AC ? s.offset < size : s.offset + 4 <= size;
    default:
        return true;
    }
}

std::string_view addressAfterSymbol(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    const std::string_view rest = stl::trim(text.substr(colon + 1));
    if (parseOperand(rest).form == OperandForm::Invalid) return {};
    return rest;
}

bool isSymbolName(std::string_view text) {
    if (text.empty() || isDigit(text[0])) return false;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (!(isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || u >= 0x80)) return false;
    }
    return true;
}

std::string localAddress(int type, int j) {
    const std::string byte = std::to_string(j / 8);
    switch (type) {
    case 0:
        return "L" + byte + "." + std::to_string(j % 8);
    case 1:
        return "LB" + byte;
    case 2:
    case 3:
        return "LW" + byte;
    case 4:
    case 5:
    case 6:
        return "LD" + byte;
    default:
        return {};
    }
}

}  // namespace korvane
