#include "sim/signal_trace.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>

namespace korvane {

std::optional<TraceSignal> parseTraceSignal(std::string_view text) {
    auto a = parseAddress(text);
    if (!a) return std::nullopt;
    TraceSignal s;
    s.address = *a;
    bool suffix = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (c == ':') suffix = true;
        const auto u = static_cast<unsigned char>(c);
        s.name += static_cast<char>(suffix ? std::tolower(u) : std::toupper(u));
    }
    s.address.text = s.name;
    return s;
}

std::optional<std::vector<TraceSignal>> parseTraceSignals(std::string_view list, std::string& error) {
    std::vector<TraceSignal> out;
    std::size_t start = 0;
    for (;;) {
        const auto comma = list.find(',', start);
        std::string_view item = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (!item.empty()) {
            auto s = parseTraceSignal(item);
            if (!s) {
                error = "unknown address '" + std::string(item) + "'";
                return std::nullopt;
            }
            if (std::any_of(out.begin(), out.end(), [&](const TraceSignal& t) { return t.name == s->name; })) {
                error = "'" + s->name + "' is named twice";
                return std::nullopt;
            }
            out.push_back(std::move(*s));
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (out.empty()) error = "no address given";
    if (out.empty()) return std::nullopt;
    return out;
}

std::uint32_t sampleSignal(const PlcMemory& mem, const TraceSignal& s) {
    const PlcAddress& a = s.address;
    switch (a.kind) {
    case PlcAddress::Kind::Bit:
    case PlcAddress::Kind::TimerBit:
    case PlcAddress::Kind::CounterBit: return mem.bit(a.key) ? 1u : 0u;
    case PlcAddress::Kind::TimerValue: return static_cast<std::uint32_t>(mem.timers()[a.number].Current) & 0xFFFFu;
    case PlcAddress::Kind::CounterValue: return static_cast<std::uint32_t>(mem.counters()[a.number].Current) & 0xFFFFu;
    case PlcAddress::Kind::Byte: return mem.byteAt(a.key);
    case PlcAddress::Kind::Word: return (std::uint32_t{mem.byteAt(a.key)} << 8) | mem.byteAt(a.key + 8);
    case PlcAddress::Kind::DWord: return mem.dwordPattern(a.key);
    }
    return 0;
}

double signalNumber(const TraceSignal& s, std::uint32_t pattern) {
    if (s.isReal()) return static_cast<double>(std::bit_cast<float>(pattern));
    const int w = s.width();
    if (s.isSigned() && w > 1 && (pattern >> (w - 1)) & 1u)
        return static_cast<double>(pattern) - static_cast<double>(std::uint64_t{1} << w);
    return static_cast<double>(pattern);
}

std::string signalText(const TraceSignal& s, std::uint32_t pattern) {
    char buf[48];
    if (s.isReal()) {
        std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(std::bit_cast<float>(pattern)));
        return buf;
    }
    if (s.address.format == PlcAddress::Format::Hex && !s.isBit()) {
        std::snprintf(buf, sizeof buf, "16#%0*X", s.width() / 4, pattern);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.0f", signalNumber(s, pattern));
    return buf;
}

SignalRecorder::Add SignalRecorder::add(std::string_view text) {
    auto s = parseTraceSignal(text);
    if (!s) return Add::NotAnAddress;
    for (const Lane& l : signals_)
        if (l.signal.name == s->name) return Add::AlreadyThere;
    if (signals_.size() >= kMaxSignals) return Add::Full;
    signals_.push_back(Lane{std::move(*s), {}});
    return Add::Added;
}

void SignalRecorder::remove(std::size_t i) {
    if (i < signals_.size()) signals_.erase(signals_.begin() + static_cast<std::ptrdiff_t>(i));
}

void SignalRecorder::clearSamples() {
    for (Lane& l : signals_) l.changes.clear();
    lastMs_ = firstMs_ = -1;
}

void SignalRecorder::sample(std::int64_t ms, const PlcMemory& mem) {
    ms = std::max(ms, lastMs_);
    if (firstMs_ < 0) firstMs_ = ms;
    lastMs_ = ms;
    const std::int64_t keepFrom = ms - kKeepMs;
    firstMs_ = std::max(firstMs_, keepFrom);
    for (Lane& l : signals_) {
        const std::uint32_t v = sampleSignal(mem, l.signal);
        auto& c = l.changes;
        if (c.empty() || c.back().value != v) c.push_back({ms, v});
        // The change before the kept span gives the value at its start; older ones go.
        while (c.size() >= 2 && c[1].ms <= keepFrom) c.pop_front();
        while (c.size() > kMaxChanges) c.pop_front();
    }
}

std::optional<std::uint32_t> SignalRecorder::valueAt(std::size_t i, std::int64_t ms) const {
    const auto& c = changes(i);
    auto it = std::upper_bound(c.begin(), c.end(), ms, [](std::int64_t t, const Change& ch) { return t < ch.ms; });
    if (it == c.begin()) return std::nullopt;
    return std::prev(it)->value;
}

}  // namespace korvane
