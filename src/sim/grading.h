#pragma once
// A class run: one script against many programs, each in a fresh simulator of its own in
// simulated time, a few at a time on threads, with one table for all.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/run_script.h"
#include "sim/test_report.h"

namespace korvane {

struct GradeSettings {
    long scans = -1;        // passes; -1: no bound
    std::int64_t ms = -1;   // simulated ms; -1: no bound
    int period = 50, timebase = 80;
    ModeCommand mode;
    bool realCpu = false;
    std::optional<std::int64_t> clockStart;  // local ms of the real-time clock
    int jobs = 2;
};

struct ProgramRun {
    SuiteReport report;                    // name, results, load error, findings count
    std::vector<std::string> notes;        // the program check's finding lines, a load warning
    std::vector<std::string> failureLines; // "FAIL ..." as a single run prints them
    std::int64_t endMs = 0;
    bool passed() const;
};

// The latest time the script names: its last event, interval end or edge window end.
std::int64_t scriptEndMs(const RunScript& script);

// One program with the script, as korvane-run runs it in simulated time.
ProgramRun runScriptedProgram(const std::string& program, const RunScript& script, const GradeSettings& settings);

// Every program, settings.jobs at a time; the results in the order given.
std::vector<ProgramRun> gradeClass(const std::vector<std::string>& programs, const RunScript& script,
                                   const GradeSettings& settings);

// The table: program, checks passed/total, findings, first failure; and a closing count.
std::string gradeTable(const std::vector<ProgramRun>& runs);

}  // namespace korvane
