#include "sim/display_format.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/fault.h"

namespace korvane {

namespace {

// A pattern as an unsigned integer: rounded, clamped to what the forms can show (0 to
// 2^53); not-a-number counts as 0.
std::uint64_t patternOf(double value) {
    if (!(value > 0.0)) return 0;
    const double r = roundEven(value);
    if (r >= 9007199254740992.0) return 9007199254740992ULL;
    return static_cast<std::uint64_t>(r);
}

std::string toBase(std::uint64_t v, unsigned base, std::size_t minDigits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char buf[72];
    std::size_t n = 0;
    do {
        buf[n++] = kDigits[v % base];
        v /= base;
    } while (v != 0);
    while (n < minDigits) buf[n++] = '0';
    std::string out(n, ' ');
    for (std::size_t i = 0; i < n; ++i) out[i] = buf[n - 1 - i];
    return out;
}

}  // namespace

std::string groupDigits(std::string_view digits, std::string_view separator, int g, int f) {
    if (g <= 1) g = 1;
    const std::size_t gs = static_cast<std::size_t>(g);
    const std::size_t len = digits.size();
    std::size_t n;
    if (len % gs == 0) {
        // Widened to the field; a text longer than the field keeps all its digits.
        n = f > 0 && static_cast<std::size_t>(f) > len ? static_cast<std::size_t>(f) : len;
    } else {
        n = gs * (len / gs + 1);
    }
    if (n == 0) return std::string();
    std::string padded(n - len, ' ');
    padded.append(digits);
    std::string out;
    out.reserve(n + n / gs * separator.size());
    // Groups from the left; the leftmost, possibly partial, group of a field that is not a
    // multiple of g is dropped the same way the right-to-left cut drops it.
    std::size_t start = n % gs;  // 0 unless f itself is not a multiple of g
    for (std::size_t p = start; p + gs <= n; p += gs) {
        if (!out.empty() || p != start) out.append(separator);
        out.append(padded, p, gs);
    }
    return out;
}

std::string hexForm(double value, int width) {
    const std::uint64_t v = patternOf(value);
    const std::uint64_t high = v / 65536, low = v % 65536;
    std::string digits = high ? toBase(high, 16, 1) : std::string();
    digits += toBase(low, 16, 4);
    switch (width) {
    case 16: return groupDigits(digits, ",", 2, 4);
    case 32: return groupDigits(digits, ",", 4, 8);
    default: return digits;
    }
}

std::string decimalForm(double value, int width) {
    const double a = std::fabs(value);
    if (!(a <= 2147483647.0)) return "溢出";
    const std::uint64_t m = patternOf(a);
    std::string digits = toBase(m, 10, 1);
    std::string out;
    switch (width) {
    case 16: out = groupDigits(digits, ",", 3, 5); break;
    case 32: out = groupDigits(digits, ",", 3, 10); break;
    default: out = std::move(digits); break;
    }
    if (value < 0 && m != 0) out.insert(out.begin(), '-');
    return out;
}

std::string binaryForm(double value, int width) {
    const std::string digits = toBase(patternOf(value), 2, 1);
    switch (width) {
    case 16: return groupDigits(digits, ",", 8, 16);
    case 32: return groupDigits(digits, ",", 8, 32);
    default: return groupDigits(digits, ",", 8, 8);
    }
}

double signedReading(double pattern, int width) {
    const double full = std::ldexp(1.0, width);
    if (pattern > full - 1) return 0;
    if (pattern >= full / 2) return pattern - full;
    return pattern;
}

double unsignedPattern(double value, int width) {
    const double half = std::ldexp(1.0, width - 1);
    if (!(value >= -half && value <= half - 1)) return -1;
    return value < 0 ? value + 2 * half : value;
}

std::string panelRealForm(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? " Inf" : "-Inf";
    std::array<char, 64> buf{};
    std::snprintf(buf.data(), buf.size(), "%.15G", value == 0.0 ? 0.0 : value);
    std::string s(buf.data());
    const bool negative = s.front() == '-';
    if (negative) s.erase(0, 1);
    if (s.size() > 1 && s[0] == '0' && s[1] == '.') s.erase(0, 1);  // ".5"
    const bool exponent = s.find('E') != std::string::npos;
    if (!exponent && s.find('.') == std::string::npos) s += ".0";
    s.insert(s.begin(), negative ? '-' : ' ');
    return s;
}

std::string tableRealForm(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
    // The exact decimal expansion decides the rounding, so exact halves go away from zero
    // and nothing depends on the binary rounding of value * 10000.
    std::array<char, 400> buf{};
    const int len = std::snprintf(buf.data(), buf.size(), "%.60f", std::fabs(value));
    if (len <= 0 || static_cast<std::size_t>(len) >= buf.size()) return "溢出";
    char* dot = std::strchr(buf.data(), '.');
    if (!dot) return "溢出";
    std::string digits(buf.data(), dot);  // integer part
    std::string frac(dot + 1, 4);
    std::string all = digits + frac;
    if (dot[5] >= '5') {
        std::size_t i = all.size();
        while (i > 0) {
            --i;
            if (all[i] == '9') {
                all[i] = '0';
            } else {
                ++all[i];
                break;
            }
            if (i == 0) all.insert(all.begin(), '1');
        }
    }
    std::string out = all.substr(0, all.size() - 4) + "." + all.substr(all.size() - 4);
    if (value < 0 && out.find_first_not_of("0.") != std::string::npos) out.insert(out.begin(), '-');
    return out;
}

}  // namespace korvane
