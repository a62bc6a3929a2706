#include "loader/stl_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace korvane::stl {

namespace {

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<double> radixValue(std::string_view digits, int radix, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        const int d = hexDigit(c);
        if (d < 0 || d >= radix) return std::nullopt;
        v = v * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
    }
    if (v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<double>(v);
}

}  // namespace

std::optional<double> numericValue(std::string_view text) {
    const std::string_view s = trim(text);
    // Most texts asked about are addresses (VW10, I0.1, T37): a number starts with a digit,
    // a sign, a point or the '&' of a radix prefix.
    if (s.empty()) return std::nullopt;
    if (const char c0 = s[0]; !isDigit(c0) && c0 != '&' && c0 != '+' && c0 != '-' && c0 != '.') return std::nullopt;
    if (s.size() >= 2 && s[0] == '&') {
        const char p = s[1];
        if (p == 'H' || p == 'h') return radixValue(s.substr(2), 16, 8);
        if (p == 'O' || p == 'o') return radixValue(s.substr(2), 8, 11);
        return std::nullopt;
    }
    // Validate the decimal grammar first; from_chars would also take "inf" and "nan".
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const std::size_t mantissa = i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && isDigit(s[i])) ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    // Whole numbers of up to 15 digits are exact in a double: no decimal conversion needed.
    if (digits <= 15 && s.size() - mantissa == digits) {
        std::uint64_t whole = 0;
        for (std::size_t k = mantissa; k < s.size(); ++k) whole = whole * 10 + static_cast<std::uint64_t>(s[k] - '0');
        const double v = static_cast<double>(whole);
        return negative ? -v : v;
    }
    double v = 0;
    const char* first = s.data() + mantissa;
    const char* last = s.data() + s.size();
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) return std::nullopt;
    return negative ? -v : v;
}

std::optional<int> int16Value(std::string_view text) {
    // The usual key offset: up to five plain digits.
    if (!text.empty() && text.size() <= 5) {
        int whole = 0;
        bool digits = true;
        for (char c : text) {
            if (!isDigit(c)) {
                digits = false;
                break;
            }
            whole = whole * 10 + (c - '0');
        }
        if (digits) return whole <= 32767 ? std::optional<int>(whole) : std::nullopt;
    }
    const auto v = numericValue(text);
    if (!v) return std::nullopt;
    const double r = std::nearbyint(*v);
    if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;
    return static_cast<int>(r);
}

}  // namespace korvane::stl
