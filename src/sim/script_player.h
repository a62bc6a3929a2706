#pragma once
// Plays a run script against a running simulator: sets and mode commands before the first tick
// at or after their time, expect lines after it, interval and edge checks after every program
// pass. Each failure is told as it is found (onFailure, the text after "FAIL "); results() gives
// one entry per check line, in file order, for the machine-readable reports.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/plc_memory.h"
#include "sim/run_script.h"

namespace korvane {

struct CheckResult {
    int line = 0;
    std::string name;  // "line 12: 5000 expect Q0.0 1"
    bool passed = true;
    std::string failure;  // as told after "FAIL "
};

class ScriptPlayer {
public:
    using SetValue = std::function<bool(const PlcAddress&, const std::string&)>;
    using SetMode = std::function<void(const ModeCommand&)>;

    ScriptPlayer(const RunScript& script, const PlcMemory& mem, SetValue set, SetMode mode);

    std::function<void(const std::string&)> onFailure;

    // Once the run is set up, before its first tick: the bits of the edge lines read as now.
    void start();
    void beforeTick(std::int64_t now);
    // passes: the scan cycle's pass count after the tick; a change means a pass was run in it.
    void afterTick(std::int64_t now, std::uint64_t passes);
    // The run ended at endMs: what was not checked to its end fails.
    void finish(std::int64_t endMs);

    bool modeEventsLeft() const;
    // Checks that the run has not reached yet.
    bool checksLeft() const;
    int failures() const { return failures_; }
    std::vector<CheckResult> results() const;

private:
    struct Edge {
        const EdgeCheck* check;
        bool fromKnown = false;
        std::int64_t from = 0;
        bool last = false;
        bool done = false;
        bool seen = false;
        std::int64_t seenAt = 0;
        std::size_t result = 0;
    };
    struct Interval {
        const IntervalCheck* check;
        bool failed = false;
        std::size_t result = 0;
    };
    void fail(std::size_t result, const std::string& message);
    void resolve(Edge& e, bool seen, std::int64_t at);

    const PlcMemory& mem_;
    SetValue set_;
    SetMode mode_;
    std::vector<const ScriptEvent*> before_, after_;
    std::vector<std::size_t> afterResult_;
    std::size_t nextBefore_ = 0, nextAfter_ = 0;
    std::vector<Interval> intervals_;
    std::vector<Edge> edges_;
    std::vector<CheckResult> results_;
    std::uint64_t passes_ = 0;
    std::int64_t now_ = -1;
    int failures_ = 0;
};

}  // namespace korvane
