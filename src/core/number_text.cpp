#include "core/number_text.h"

#include <cmath>
#include <string>

namespace korvane {

namespace {

// The digits of magnitude (at least digits + 1 of them), the separator before the last
// `digits`, the sign; right-justified in t.width, or blanks when it is wider.
void place(NumberText& t, bool negative, std::string magnitude, int digits, bool comma) {
    while (static_cast<int>(magnitude.size()) < digits + 1) magnitude.insert(magnitude.begin(), '0');
    std::string text = negative ? "-" : "";
    text += magnitude.substr(0, magnitude.size() - static_cast<std::size_t>(digits));
    if (digits > 0) {
        text += comma ? ',' : '.';
        text += magnitude.substr(magnitude.size() - static_cast<std::size_t>(digits));
    }
    t.chars.fill(' ');
    if (static_cast<int>(text.size()) > t.width) {
        t.outcome = NumberText::Outcome::Spaces;
        return;
    }
    t.outcome = NumberText::Outcome::Text;
    text.copy(t.chars.data() + (t.width - static_cast<int>(text.size())), text.size());
}

NumberText spaces(int width) {
    NumberText t;
    t.width = width;
    t.chars.fill(' ');
    t.outcome = NumberText::Outcome::Spaces;
    return t;
}

}  // namespace

NumberText integerText(std::int32_t value, int width, unsigned fmt) {
    NumberText t;
    t.width = width;
    if (fmt & 0xF0u) return t;  // an illegal format
    const int digits = static_cast<int>(fmt & 7u);
    if (digits > 5) return spaces(width);
    const std::int64_t v = value;
    place(t, v < 0, std::to_string(v < 0 ? -v : v), digits, (fmt & 8u) != 0);
    return t;
}

NumberText realText(float value, unsigned fmt) {
    const int width = static_cast<int>((fmt >> 4) & 0xFu);
    const int digits = static_cast<int>(fmt & 7u);
    if (digits > 5 || width < 3 || !std::isfinite(value)) return spaces(width);
    // The value exactly as the single holds it, scaled to whole units of the last digit.
    const double scaled = std::round(static_cast<double>(value) * std::pow(10.0, digits));
    // Fifteen characters hold at most fifteen digits.
    if (std::fabs(scaled) >= 1e15) return spaces(width);
    const auto units = static_cast<std::int64_t>(scaled);
    NumberText t;
    t.width = width;
    place(t, units < 0, std::to_string(units < 0 ? -units : units), digits, (fmt & 8u) != 0);
    return t;
}

}  // namespace korvane
