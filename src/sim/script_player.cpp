#include "sim/script_player.h"

#include <algorithm>

namespace korvane {

namespace {

std::string windowText(std::int64_t low, std::int64_t high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

std::string edgeName(const EdgeCheck& c) {
    return c.address.text + (c.rising ? " rises in " : " falls in ") + windowText(c.low, c.high) + " ms";
}

}  // namespace

ScriptPlayer::ScriptPlayer(const RunScript& script, const PlcMemory& mem, SetValue set, SetMode mode)
    : mem_(mem), set_(std::move(set)), mode_(std::move(mode)) {
    auto addResult = [&](int line, const std::string& text) {
        results_.push_back({line, "line " + std::to_string(line) + ": " + text, true, {}});
        return results_.size() - 1;
    };
    for (const auto& e : script.events) {
        if (e.kind == ScriptEvent::Kind::Expect) {
            after_.push_back(&e);
            afterResult_.push_back(addResult(e.line, e.text));
        } else {
            before_.push_back(&e);
        }
    }
    for (const auto& c : script.intervals) intervals_.push_back({&c, false, addResult(c.line, c.text)});
    for (const auto& c : script.edges) {
        Edge e{&c};
        e.fromKnown = c.afterEdge < 0;
        e.from = c.from;
        e.result = addResult(c.line, c.text);
        edges_.push_back(e);
    }
}

void ScriptPlayer::fail(std::size_t result, const std::string& message) {
    if (onFailure) onFailure(message);
    ++failures_;
    if (result < results_.size() && results_[result].passed) {
        results_[result].passed = false;
        results_[result].failure = message;
    }
}

void ScriptPlayer::start() {
    for (auto& e : edges_) e.last = mem_.bit(e.check->address.key);
}

void ScriptPlayer::beforeTick(std::int64_t now) {
    for (; nextBefore_ < before_.size() && before_[nextBefore_]->ms <= now; ++nextBefore_) {
        const ScriptEvent& e = *before_[nextBefore_];
        if (e.kind == ScriptEvent::Kind::Mode) {
            mode_(e.mode);
        } else if (!set_(e.address, e.value)) {
            // Values are tried when the script is read; this is a last guard.
            results_.push_back({e.line, "line " + std::to_string(e.line) + ": " + e.text, true, {}});
            fail(results_.size() - 1, std::to_string(e.ms) + " " + e.address.text + " cannot take the value " + e.value);
        }
    }
}

void ScriptPlayer::resolve(Edge& e, bool seen, std::int64_t at) {
    e.done = true;
    e.seen = seen;
    e.seenAt = at;
    const EdgeCheck& c = *e.check;
    if (!seen)
        fail(e.result, edgeName(c) + ": no " + (c.rising ? "rising" : "falling") + " edge from " + std::to_string(e.from) +
                           " ms to " + std::to_string(c.high) + " ms");
    else if (at < c.low || at > c.high)
        fail(e.result, edgeName(c) + ": " + (c.rising ? "rose" : "fell") + " at " + std::to_string(at) +
                           " ms (watched from " + std::to_string(e.from) + " ms)");
    // The next edge line watches from the pass of this edge (the same edge is not taken twice),
    // or from after this window.
    const int self = static_cast<int>(&e - edges_.data());
    for (auto& next : edges_)
        if (next.check->afterEdge == self) {
            next.fromKnown = true;
            next.from = !seen ? c.high + 1 : next.check->address.key == c.address.key ? at + 1 : at;
        }
}

void ScriptPlayer::afterTick(std::int64_t now, std::uint64_t passes) {
    now_ = now;
    for (; nextAfter_ < after_.size() && after_[nextAfter_]->ms <= now; ++nextAfter_) {
        const ScriptEvent& e = *after_[nextAfter_];
        std::string got = readAddress(mem_, e.address);
        if (!valueMatches(e.address, got, e.value))
            fail(afterResult_[nextAfter_], std::to_string(e.ms) + " " + e.address.text + " expected " + e.value + " got " + got);
    }
    const bool passed = passes != passes_;
    passes_ = passes;
    if (passed) {
        for (auto& in : intervals_) {
            const IntervalCheck& c = *in.check;
            if (in.failed || now < c.from || now > c.to) continue;
            if (c.condition.holds(mem_) != c.always) {
                in.failed = true;
                fail(in.result, c.text + ": " + (c.always ? "false" : "true") + " after the pass at " + std::to_string(now) +
                                    " ms");
            }
        }
        for (auto& e : edges_) {
            const bool v = mem_.bit(e.check->address.key);
            const bool edge = e.check->rising ? (!e.last && v) : (e.last && !v);
            e.last = v;
            if (!e.done && e.fromKnown && now >= e.from && edge) resolve(e, true, now);
        }
    }
    for (auto& e : edges_)
        if (!e.done && e.fromKnown && now > e.check->high) resolve(e, false, now);
}

void ScriptPlayer::finish(std::int64_t endMs) {
    for (; nextAfter_ < after_.size(); ++nextAfter_) {
        const ScriptEvent& e = *after_[nextAfter_];
        fail(afterResult_[nextAfter_],
             std::to_string(e.ms) + " " + e.address.text + " not checked: the run ended at " + std::to_string(endMs) + " ms");
    }
    for (auto& in : intervals_)
        if (!in.failed && endMs < in.check->to) {
            in.failed = true;
            fail(in.result, in.check->text + " not checked to its end: the run ended at " + std::to_string(endMs) + " ms");
        }
    for (auto& e : edges_)
        if (!e.done) {
            e.done = true;
            fail(e.result, edgeName(*e.check) + " not checked: the run ended at " + std::to_string(endMs) + " ms");
        }
}

bool ScriptPlayer::modeEventsLeft() const {
    for (std::size_t k = nextBefore_; k < before_.size(); ++k)
        if (before_[k]->kind == ScriptEvent::Kind::Mode) return true;
    return false;
}

bool ScriptPlayer::checksLeft() const {
    if (nextAfter_ < after_.size()) return true;
    // Intervals end by time, and so does every edge line's window: the clock gets there.
    for (const auto& in : intervals_)
        if (!in.failed && now_ < in.check->to) return true;
    for (const auto& e : edges_)
        if (!e.done) return true;
    return false;
}

std::vector<CheckResult> ScriptPlayer::results() const {
    std::vector<CheckResult> out = results_;
    std::stable_sort(out.begin(), out.end(), [](const CheckResult& a, const CheckResult& b) { return a.line < b.line; });
    return out;
}

}  // namespace korvane
