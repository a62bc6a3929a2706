#include "sim/run_script.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/plc_memory.h"

namespace korvane {

namespace {

std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
        if (j > i) out.emplace_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// A comment starts with '#' at the start of the line or after a blank or tab; a '#' inside a
// word is part of it (16#FF, 2#101).
std::string_view withoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return line.substr(0, i);
    return line;
}

std::optional<double> number(const std::string& s) {
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    double v;
    if (s.rfind("16#", 0) == 0 || s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0) {
        const char* digits = s.c_str() + (s[0] == '1' ? 3 : 2);
        if (!*digits) return std::nullopt;
        v = static_cast<double>(std::strtoull(digits, &end, 16));
    } else if (s.rfind("2#", 0) == 0) {
        const char* digits = s.c_str() + 2;
        if (!*digits) return std::nullopt;
        v = static_cast<double>(std::strtoull(digits, &end, 2));
    } else {
        v = std::strtod(s.c_str(), &end);
    }
    if (*end || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

std::optional<ModeCommand> parseModeCommand(std::string_view text) {
    ModeCommand m;
    if (text == "run") m.kind = ModeCommand::Kind::Run;
    else if (text == "first") m.kind = ModeCommand::Kind::First;
    else if (text == "single") m.kind = ModeCommand::Kind::Single;
    else if (text == "slow") m.kind = ModeCommand::Kind::Slow;
    else if (text == "pause") m.kind = ModeCommand::Kind::Pause;
    else if (text == "stop") m.kind = ModeCommand::Kind::Stop;
    else if (text.rfind("count:", 0) == 0) {
        std::string n(text.substr(6));
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(n.c_str(), &end, 10);
        if (n.empty() || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
        m.kind = ModeCommand::Kind::Count;
        m.count = static_cast<std::int32_t>(v);
    } else {
        return std::nullopt;
    }
    return m;
}

namespace {

bool isBit(const PlcAddress& a) {
    return a.kind == PlcAddress::Kind::Bit || a.kind == PlcAddress::Kind::TimerBit ||
           a.kind == PlcAddress::Kind::CounterBit;
}

std::optional<std::int64_t> milliseconds(const std::string& s) {
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long long ms = std::strtoll(s.c_str(), &end, 10);
    if (*end || errno == ERANGE || ms < 0) return std::nullopt;
    return ms;
}

// "A..B" as two times with A <= B.
std::optional<std::pair<std::int64_t, std::int64_t>> window(const std::string& s) {
    const auto dots = s.find("..");
    if (dots == std::string::npos) return std::nullopt;
    auto a = milliseconds(s.substr(0, dots)), b = milliseconds(s.substr(dots + 2));
    if (!a || !b || *a > *b) return std::nullopt;
    return std::pair{*a, *b};
}

std::string joined(const std::vector<std::string>& w, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < w.size(); ++i) out += (out.empty() ? "" : " ") + w[i];
    return out;
}

}  // namespace

std::optional<RunScript> parseRunScript(std::string_view text, std::string& error) {
    RunScript script;
    int lineNo = 0;
    std::size_t pos = 0;
    // The line before, for where an edge line's watch starts.
    std::int64_t lastTime = 0;
    int lastEdge = -1;
    PlcMemory scratch;  // set values are tried on it
    while (pos <= text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        ++lineNo;
        line = withoutComment(line);
        auto w = words(line);
        if (w.empty()) continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return std::nullopt;
        };
        const std::string lineText = joined(w);
        // An edge line, with or without its own start time.
        const bool timedEdge = w.size() == 5 && w[1] == "expect" && (w[3] == "rises" || w[3] == "falls");
        if (w[0] == "expect" || timedEdge) {
            const std::size_t k = timedEdge ? 1 : 0;
            if (w.size() != k + 4 || (w[k + 2] != "rises" && w[k + 2] != "falls"))
                return fail("an edge check reads 'expect BIT rises LOW..HIGH' or 'expect BIT falls LOW..HIGH'");
            auto a = parseAddress(w[k + 1]);
            if (!a) return fail("unknown address '" + w[k + 1] + "'");
            if (!isBit(*a)) return fail(w[k + 1] + " is not a bit: only a bit rises and falls");
            auto win = window(w[k + 3]);
            if (!win) return fail("the window '" + w[k + 3] + "' is not LOW..HIGH in ms with LOW <= HIGH");
            EdgeCheck c;
            c.address = *a;
            c.rising = w[k + 2] == "rises";
            c.low = win->first;
            c.high = win->second;
            if (timedEdge) {
                auto ms = milliseconds(w[0]);
                if (!ms) return fail("a time in ms must start the line, not '" + w[0] + "'");
                c.from = *ms;
            } else {
                c.from = lastTime;
                c.afterEdge = lastEdge;
            }
            c.line = lineNo;
            c.text = lineText;
            lastEdge = static_cast<int>(script.edges.size());
            script.edges.push_back(std::move(c));
            continue;
        }
        if (w[0].find("..") != std::string::npos) {
            auto win = window(w[0]);
            if (!win) return fail("the interval '" + w[0] + "' is not A..B in ms with A <= B");
            if (w.size() < 3 || (w[1] != "always" && w[1] != "never"))
                return fail("an interval check reads 'A..B always CONDITION' or 'A..B never CONDITION'");
            std::string why;
            auto cond = Condition::parse(joined(w, 2), why);
            if (!cond) return fail(why);
            IntervalCheck c;
            c.from = win->first;
            c.to = win->second;
            c.always = w[1] == "always";
            c.condition = std::move(*cond);
            c.line = lineNo;
            c.text = lineText;
            lastTime = c.from;
            lastEdge = -1;
            script.intervals.push_back(std::move(c));
            continue;
        }
        ScriptEvent e;
        e.line = lineNo;
        e.text = lineText;
        auto ms = milliseconds(w[0]);
        if (!ms) return fail("a time in ms must start the line, not '" + w[0] + "'");
        e.ms = *ms;
        if (w.size() < 2) return fail("a command (set, expect, mode) must follow the time");
        if (w[1] == "set" || w[1] == "expect") {
            if (w.size() != 4) return fail(w[1] + " needs an address and a value");
            auto a = parseAddress(w[2]);
            if (!a) return fail("unknown address '" + w[2] + "'");
            e.kind = w[1] == "set" ? ScriptEvent::Kind::Set : ScriptEvent::Kind::Expect;
            e.address = *a;
            e.value = w[3];
            std::string why;
            if (e.kind == ScriptEvent::Kind::Set ? !writeAddress(scratch, *a, e.value)
                                                 : !expectedValueValid(*a, e.value, why))
                return fail("'" + e.value + "' is not a value for " + a->text);
        } else if (w[1] == "mode") {
            if (w.size() != 3) return fail("mode needs one of run, first, single, slow, pause, stop, count:N");
            auto m = parseModeCommand(w[2]);
            if (!m) return fail("unknown mode '" + w[2] + "'");
            e.kind = ScriptEvent::Kind::Mode;
            e.mode = *m;
        } else {
            return fail("unknown command '" + w[1] + "'");
        }
        lastTime = e.ms;
        lastEdge = -1;
        script.events.push_back(std::move(e));
    }
    std::stable_sort(script.events.begin(), script.events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.ms < b.ms; });
    return script;
}

bool valueMatches(const PlcAddress& a, const std::string& got, const std::string& expected) {
    if (auto dots = expected.find(".."); dots != std::string::npos) {
        auto g = number(got), lo = number(expected.substr(0, dots)), hi = number(expected.substr(dots + 2));
        return g && lo && hi && *g >= *lo && *g <= *hi;
    }
    auto g = number(got), e = number(expected);
    if (g && e) {
        if (a.format == PlcAddress::Format::Real)
            return *g == *e || std::fabs(*g - *e) <= 1e-6 * std::max(std::fabs(*g), std::fabs(*e));
        return *g == *e;
    }
    return got == expected;
}

bool expectedValueValid(const PlcAddress& a, const std::string& value, std::string& error) {
    error = "'" + value + "' is not a value for " + a.text;
    if (auto dots = value.find(".."); dots != std::string::npos)
        return number(value.substr(0, dots)) && number(value.substr(dots + 2));
    if (a.format == PlcAddress::Format::Real && (value == "inf" || value == "-inf" || value == "nan" || value == "-nan"))
        return true;
    auto v = number(value);
    if (!v) return false;
    return !isBit(a) || *v == 0 || *v == 1;
}

}  // namespace korvane
