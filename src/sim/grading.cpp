#include "sim/grading.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/log_sink.h"
#include "platform/prompt.h"
#include "platform/scheduler.h"
#include "platform/wall_clock.h"
#include "sim/runner_inputs.h"
#include "sim/script_player.h"
#include "sim/simulator.h"

namespace korvane {

namespace {

// The real-time clock's start in simulated time without a given one: 2000-01-01T00:00:00.
constexpr std::int64_t kSimulatedClockStart = 946'684'800'000;

class QuietLog : public LogSink {
public:
    void ShowLog(const std::string&) override {}
};

}  // namespace

bool ProgramRun::passed() const {
    if (!report.loadError.empty()) return false;
    for (const auto& r : report.results)
        if (!r.passed) return false;
    return failureLines.empty();
}

std::int64_t scriptEndMs(const RunScript& script) {
    std::int64_t end = 0;
    for (const auto& e : script.events) end = std::max(end, e.ms);
    for (const auto& c : script.intervals) end = std::max(end, c.to);
    for (const auto& c : script.edges) end = std::max(end, c.high);
    return end;
}

ProgramRun runScriptedProgram(const std::string& program, const RunScript& script, const GradeSettings& settings) {
    ProgramRun run;
    run.report.name = program;
    QuietLog sink;
    AutoPrompt prompt;
    RunnerViews views;
    VirtualScheduler clock;
    VirtualClock simulatedClock(settings.clockStart.value_or(kSimulatedClockStart), &clock);
    Simulator sim(clock, &sink, &prompt, &views);
    views.image = &sim.memory;
    // The runner shows no load progress: the load skips its texts.
    sim.reader.onProgress = nullptr;
    sim.interpreter.wallClock = &simulatedClock;
    sim.setRealCpu(settings.realCpu);
    sim.setDialogFileName(program);
    sim.myLoadCode();
    if (!sim.hasProgram()) {
        run.report.loadError = programRefusal(sim.reader.problem(), program);
        return run;
    }
    if (!hasAwlExtension(program))
        run.notes.push_back("warning: '" + program + "' does not end in \".awl\"; its lines are read but not built");
    run.report.findings = sim.findings().size();
    for (const Finding& f : sim.findings()) run.notes.push_back(program + ":" + findingEnglishLine(f));

    sim.scan.setTaskPeriod(settings.period);
    sim.scan.setTimeBase(settings.timebase);
    if (settings.realCpu) sim.scan.powerUp();
    issueMode(sim, settings.mode);
    ScriptPlayer player(
        script, sim.memory, [&](const PlcAddress& a, const std::string& v) { return applyRunnerValue(sim, views, a, v); },
        [&](const ModeCommand& m) { issueMode(sim, m); });
    player.onFailure = [&](const std::string& message) { run.failureLines.push_back("FAIL " + message); };
    sim.scan.beforeTick = [&](std::int64_t now) { player.beforeTick(now); };
    sim.scan.afterTick = [&](std::int64_t now) { player.afterTick(now, sim.scan.passes()); };
    player.start();
    auto finished = [&] {
        if (settings.scans >= 0 && sim.scan.passes() >= static_cast<std::uint64_t>(settings.scans)) return true;
        const Mode m = sim.scan.state().mode;
        return settings.ms < 0 && (m == Mode::Pause || m == Mode::Stop) && !player.modeEventsLeft() &&
               !player.checksLeft();
    };
    while (!finished()) {
        const std::int64_t due = clock.nextDue();
        if (due < 0 || (settings.ms >= 0 && due > settings.ms)) break;
        clock.step();
    }
    run.endMs = clock.nowMs();
    player.finish(run.endMs);
    run.report.results = player.results();
    return run;
}

std::vector<ProgramRun> gradeClass(const std::vector<std::string>& programs, const RunScript& script,
                                   const GradeSettings& settings) {
    std::vector<ProgramRun> runs(programs.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < programs.size(); i = next++) runs[i] = runScriptedProgram(programs[i], script, settings);
    };
    const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, settings.jobs)), programs.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    return runs;
}

std::string gradeTable(const std::vector<ProgramRun>& runs) {
    struct Row {
        std::string program, checks, findings, failure;
    };
    std::vector<Row> rows{{"program", "checks", "findings", "first failure"}};
    std::size_t passedAll = 0, failed = 0, unloaded = 0;
    for (const auto& r : runs) {
        Row row{r.report.name, "-", "-", "-"};
        if (!r.report.loadError.empty()) {
            ++unloaded;
            row.failure = "does not load: " + r.report.loadError;
        } else {
            std::size_t ok = 0;
            for (const auto& c : r.report.results) {
                if (c.passed) ++ok;
                else if (row.failure == "-") row.failure = "line " + std::to_string(c.line) + ": " + c.failure;
            }
            if (row.failure == "-" && !r.failureLines.empty()) row.failure = r.failureLines.front();
            row.checks = std::to_string(ok) + "/" + std::to_string(r.report.results.size());
            row.findings = std::to_string(r.report.findings);
            ++(r.passed() ? passedAll : failed);
        }
        rows.push_back(std::move(row));
    }
    std::size_t w0 = 0, w1 = 0, w2 = 0;
    for (const auto& row : rows) {
        w0 = std::max(w0, row.program.size());
        w1 = std::max(w1, row.checks.size());
        w2 = std::max(w2, row.findings.size());
    }
    auto pad = [](const std::string& s, std::size_t w) { return s + std::string(w - s.size() + 2, ' '); };
    std::string out;
    for (const auto& row : rows) out += pad(row.program, w0) + pad(row.checks, w1) + pad(row.findings, w2) + row.failure + "\n";
    out += std::to_string(runs.size()) + (runs.size() == 1 ? " program: " : " programs: ") + std::to_string(passedAll) +
           " passed every check, " + std::to_string(failed) + " failed, " + std::to_string(unloaded) + " did not load\n";
    return out;
}

}  // namespace korvane
