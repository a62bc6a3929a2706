#pragma once
// Small text helpers shared by the STL reader, the code builder and the operand decoder.
// Blanks are spaces and tabs (exports and hand-edited files use both).
#include <optional>
#include <string_view>

namespace korvane::stl {

constexpr bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

constexpr std::string_view trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// The first characters are compared before the rest: most texts differ there.
constexpr bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && (prefix.empty() || s[0] == prefix[0]) &&
           s.substr(0, prefix.size()) == prefix;
}

// The number a text ends with: its last two characters when both are digits, else its last
// character when that is a digit, else -1 ("SBR12" 12, "SBR123" 23, "INT0" 0).
constexpr int trailingNumber(std::string_view s) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const std::size_t n = s.size();
    if (n == 0 || !digit(s[n - 1])) return -1;
    const int last = s[n - 1] - '0';
    if (n >= 2 && digit(s[n - 2])) return (s[n - 2] - '0') * 10 + last;
    return last;
}

// Operands are separated by commas outside double quotes: a constant string such as
// "A, B" is one operand. The index of the comma that ends the operand starting at from, or
// the text's size when it is the last one. A quote left open runs to the end of the text.
constexpr std::size_t operandEnd(std::string_view rest, std::size_t from) {
    bool quoted = false;
    for (std::size_t i = from; i < rest.size(); ++i) {
        if (rest[i] == '"') quoted = !quoted;
        else if (rest[i] == ',' && !quoted) return i;
    }
    return rest.size();
}

// The position of the "//" that starts a line's trailing comment, outside double quotes
// ("http://" in a constant string is text); npos when there is none. On a line whose quote
// is never closed the first "//" counts, as it did before strings had quotes.
constexpr std::size_t commentStart(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (!quoted && line[i] == '/' && line[i + 1] == '/') return i;
    }
    return quoted ? line.find("//") : std::string_view::npos;
}

// The value of a numeric text, the test every operand form uses. Accepted, with optional
// blanks around it:
//   - a decimal number: an optional sign, digits with at most one decimal point (".5" and
//     "5." included, at least one digit), and an optional exponent "E" or "e" with an
//     optional sign and at least one digit;
//   - "&H" followed by 1 to 8 hexadecimal digits, "&O" followed by 1 to 11 octal digits
//     (either prefix letter in either case), read as an unsigned value up to 4294967295.
// Not accepted: thousands separators, currency signs, parentheses, trailing signs,
// "inf"/"nan", hexadecimal fractions, and a value whose magnitude overflows a double.
std::optional<double> numericValue(std::string_view text);
inline bool isNumeric(std::string_view text) { return numericValue(text).has_value(); }

// A numeric text converted to a 16-bit integer the way a key offset is: rounded to nearest
// (ties to even); empty when not numeric or outside -32768..32767.
std::optional<int> int16Value(std::string_view text);

}  // namespace korvane::stl
