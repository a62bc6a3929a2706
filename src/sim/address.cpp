#include "sim/address.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvane {

namespace {

std::string upper(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool allDigits(std::string_view s) {
    if (s.empty() || s.size() > 6) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

struct AreaName {
    const char* prefix;
    int base;
    int bytes;
};

// Longest prefixes first so that "SMB" is not read as "S" + "MB".
constexpr AreaName kByteAreas[] = {{"SM", area::SM, 550}, {"AI", area::AIW, 64}, {"AQ", area::AQW, 64},
                                   {"I", area::I, 16},    {"Q", area::Q, 16},    {"M", area::M, 32},
                                   {"V", area::V, 1024},  {"L", area::L, 64},    {"S", area::S, 32}};

}  // namespace

int PlcAddress::width() const {
    switch (kind) {
    case Kind::Bit:
    case Kind::TimerBit:
    case Kind::CounterBit:
        return 1;
    case Kind::Byte:
        return 8;
    case Kind::Word:
    case Kind::TimerValue:
    case Kind::CounterValue:
        return 16;
    case Kind::DWord:
        return 32;
    }
    return 1;
}

bool PlcAddress::isInput() const {
    return (key >= area::I && key < area::Q && (kind == Kind::Bit || kind == Kind::Byte || kind == Kind::Word ||
                                                kind == Kind::DWord)) ||
           (key >= area::AIW && key < area::AQW && kind == Kind::Word);
}

std::optional<PlcAddress> parseAddress(std::string_view text) {
    PlcAddress a;
    a.text = std::string(text);
    std::string s = upper(text);
    if (auto colon = s.find(':'); colon != std::string::npos) {
        std::string f = s.substr(colon + 1);
        s.resize(colon);
        if (f == "S") a.format = PlcAddress::Format::Signed;
        else if (f == "R") a.format = PlcAddress::Format::Real;
        else if (f == "X") a.format = PlcAddress::Format::Hex;
        else if (f == "B") a.kind = PlcAddress::Kind::TimerBit;  // refined below
        else return std::nullopt;
    }
    const bool bitSuffix = a.kind == PlcAddress::Kind::TimerBit;

    // Timers, counters and accumulators.
    if ((s[0] == 'T' || s[0] == 'C') && allDigits(s.substr(1))) {
        int n = std::atoi(s.c_str() + 1);
        if (n > 255) return std::nullopt;
        const bool timer = s[0] == 'T';
        a.number = n;
        a.key = (timer ? area::T : area::C) + n;
        if (bitSuffix) a.kind = timer ? PlcAddress::Kind::TimerBit : PlcAddress::Kind::CounterBit;
        else a.kind = timer ? PlcAddress::Kind::TimerValue : PlcAddress::Kind::CounterValue;
        if (a.format == PlcAddress::Format::Real) return std::nullopt;
        return a;
    }
    if (bitSuffix) return std::nullopt;
    if (s.size() == 3 && s[0] == 'A' && s[1] == 'C' && s[2] >= '0' && s[2] <= '3') {
        a.kind = PlcAddress::Kind::DWord;
        a.key = area::AC + 32 * (s[2] - '0');
        return a;
    }
    for (const auto& ar : kByteAreas) {
        std::string_view p = ar.prefix;
        if (s.compare(0, p.size(), p) != 0) continue;
        std::string rest = s.substr(p.size());
        const bool analog = ar.base == area::AIW || ar.base == area::AQW;
        if (analog) {
            if (rest.empty() || rest[0] != 'W' || !allDigits(rest.substr(1))) return std::nullopt;
            int n = std::atoi(rest.c_str() + 1);
            if (n + 2 > ar.bytes) return std::nullopt;
            a.kind = PlcAddress::Kind::Word;
            a.key = ar.base + 8 * n;
            return a;
        }
        if (auto dot = rest.find('.'); dot != std::string::npos) {
            std::string byte = rest.substr(0, dot), bit = rest.substr(dot + 1);
            if (!allDigits(byte) || bit.size() != 1 || bit[0] < '0' || bit[0] > '7') return std::nullopt;
            int n = std::atoi(byte.c_str());
            if (n >= ar.bytes || a.format != PlcAddress::Format::Unsigned) return std::nullopt;
            a.kind = PlcAddress::Kind::Bit;
            a.key = ar.base + 8 * n + (bit[0] - '0');
            return a;
        }
        if (rest.empty()) return std::nullopt;
        int width = 0;
        switch (rest[0]) {
        case 'B': a.kind = PlcAddress::Kind::Byte; width = 1; break;
        case 'W': a.kind = PlcAddress::Kind::Word; width = 2; break;
        case 'D': a.kind = PlcAddress::Kind::DWord; width = 4; break;
        default: return std::nullopt;
        }
        if (!allDigits(rest.substr(1))) return std::nullopt;
        int n = std::atoi(rest.c_str() + 1);
        if (n + width > ar.bytes) return std::nullopt;
        if (a.format == PlcAddress::Format::Real && a.kind != PlcAddress::Kind::DWord) return std::nullopt;
        a.key = ar.base + 8 * n;
        return a;
    }
    return std::nullopt;
}

std::string readAddress(const PlcMemory& mem, const PlcAddress& a) {
    char buf[64];
    double v = 0;
    switch (a.kind) {
    case PlcAddress::Kind::Bit:
    case PlcAddress::Kind::TimerBit:
    case PlcAddress::Kind::CounterBit:
        return mem.bit(a.key) ? "1" : "0";
    case PlcAddress::Kind::TimerValue:
        v = mem.timers()[a.number].Current;
        break;
    case PlcAddress::Kind::CounterValue:
        v = mem.counters()[a.number].Current;
        break;
    case PlcAddress::Kind::Byte:
        v = a.format == PlcAddress::Format::Signed ? mem.GetSByteValue(a.key) : mem.GetByteValue(a.key);
        break;
    case PlcAddress::Kind::Word:
        v = a.format == PlcAddress::Format::Signed ? mem.GetIntValue(a.key) : mem.GetWordValue(a.key);
        break;
    case PlcAddress::Kind::DWord:
        if (a.format == PlcAddress::Format::Real) {
            std::snprintf(buf, sizeof buf, "%.7g", mem.GetRealValue(a.key));
            return buf;
        }
        v = a.format == PlcAddress::Format::Signed ? mem.GetDIntValue(a.key) : mem.GetDWordValue(a.key);
        break;
    }
    if (a.format == PlcAddress::Format::Hex) {
        const int digits = a.width() >= 8 ? a.width() / 4 : 1;
        auto pattern = static_cast<unsigned long long>(static_cast<long long>(v)) & ((1ull << a.width()) - 1);
        std::string hex = "16#";
        for (int d = digits - 1; d >= 0; --d) hex += "0123456789ABCDEF"[(pattern >> (4 * d)) & 0xF];
        return hex;
    }
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
}

namespace {

std::optional<double> parseNumber(std::string_view text, bool real) {
    std::string s(text);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.erase(0, 1);
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    if (!real && (s.rfind("16#", 0) == 0 || s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0)) {
        std::string digits = s.substr(s[0] == '1' ? 3 : 2);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        unsigned long long v = std::strtoull(digits.c_str(), &end, 16);
        if (*end) return std::nullopt;
        return static_cast<double>(v);
    }
    if (!real && s.rfind("2#", 0) == 0) {
        std::string digits = s.substr(2);
        if (digits.empty() || digits.size() > 32) return std::nullopt;
        unsigned long long v = std::strtoull(digits.c_str(), &end, 2);
        if (*end) return std::nullopt;
        return static_cast<double>(v);
    }
    double v = std::strtod(s.c_str(), &end);
    if (*end || !std::isfinite(v)) return std::nullopt;
    if (!real && v != std::floor(v)) return std::nullopt;
    return v;
}

}  // namespace

bool writeAddress(PlcMemory& mem, const PlcAddress& a, std::string_view value) {
    const bool real = a.format == PlcAddress::Format::Real;
    auto v = parseNumber(value, real);
    if (!v) return false;
    switch (a.kind) {
    case PlcAddress::Kind::Bit:
    case PlcAddress::Kind::TimerBit:
    case PlcAddress::Kind::CounterBit:
        if (*v != 0 && *v != 1) return false;
        mem.setBit(a.key, *v == 1);
        return true;
    case PlcAddress::Kind::TimerValue:
    case PlcAddress::Kind::CounterValue:
        if (*v < -32768 || *v > 32767) return false;
        (a.kind == PlcAddress::Kind::TimerValue ? mem.timers() : mem.counters())[a.number].Current =
            static_cast<std::int32_t>(*v);
        return true;
    default:
        break;
    }
    if (real) return mem.tobit2(*v, a.key, 40);
    const int w = a.width();
    const double maxUnsigned = std::ldexp(1.0, w) - 1;
    double pattern = *v;
    if (pattern < 0) {
        if (pattern < -std::ldexp(1.0, w - 1)) return false;
        pattern = PlcMemory::ToUnsignedPattern(pattern, w);
    }
    if (pattern > maxUnsigned) return false;
    return mem.tobit(pattern, a.key, w);
}

}  // namespace korvane
