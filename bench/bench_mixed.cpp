// One pass of a 1000-line program mixing moves, compare contacts, word logic, integer and
// real arithmetic and conversions, built by hand. Reports the time per executed line.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_programs.h"
#include "core/interpreter.h"
#include "loader/code_builder.h"
#include "loader/stl_reader.h"

namespace {

using namespace korvane;

void BM_MixedProgramPass(benchmark::State& state) {
    MemoryLogSink sink;
    Log log(&sink);
    PlcMemory mem(&log);
    Program prog;
    const int lineCount = benchprog::buildMixed(prog);
    Interpreter cpu(mem, prog, log);
    cpu.RunExec(0);
    for (auto _ : state) {
        cpu.RunExec(0);
        benchmark::ClobberMemory();
    }
    if (!sink.lines.empty()) state.SkipWithError(("the program logged: " + sink.lines.front()).c_str());
    const double executed = static_cast<double>(lineCount);
    state.counters["lines"] = executed;
    // Seconds per executed line, shown with an SI prefix (n = nanoseconds).
    state.counters["per_line"] =
        benchmark::Counter(executed, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixedProgramPass);

// The same mix as STL text, with a subroutine call in every network: loaded and built by the
// loader, so the call, its parameter copies and the return are measured as a program has them.
std::string mixedProgramWithCalls(int networks, int& executedPerPass) {
    std::string t = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n";
    int mainLines = 2;
    for (int n = 0; n < networks; ++n) {
        const int b = 24 * (n % 40);
        auto v = [&](const char* area, int off) { return std::string(area) + std::to_string(b + off); };
        const std::string body[] = {
            "Network " + std::to_string(n + 1), "LD     SM0.0", "MOVW   " + v("VW", 0) + ", " + v("VW", 2),
            "MOVB   16#5A, " + v("VB", 4), "MOVD   " + v("VD", 4) + ", " + v("VD", 8), "MOVR   1.5, " + v("VD", 12),
            "AW>=   " + v("VW", 2) + ", -32768", "AR<    " + v("VD", 12) + ", 1.0E+30", "ANDW   16#0FF0, " + v("VW", 0),
            "XORB   16#FF, " + v("VB", 4), "SLW    " + v("VW", 2) + ", 3", "INCW   " + v("VW", 16),
            "+I     7, " + v("VW", 18), "-I     7, " + v("VW", 18), "+R     0.25, " + v("VD", 12),
            "*R     2.0, " + v("VD", 12), "ROUND  " + v("VD", 12) + ", " + v("VD", 20),
            "CALL   SBR_0:SBR0, SM0.0, " + v("VW", 16) + ", " + v("VW", 22)};
        for (const auto& l : body) t += l + "\n";
        mainLines += static_cast<int>(std::size(body));
    }
    t += "END_ORGANIZATION_BLOCK\n";
    ++mainLines;
    const char* sub[] = {"SUBROUTINE_BLOCK SBR_0:SBR0", "VAR_INPUT", "EN1:BOOL;", "N:INT;", "END_VAR", "VAR_OUTPUT",
                         "RES:WORD;", "END_VAR", "BEGIN", "Network 1", "LD     L0.0", "MOVW   LW1, LW3",
                         "+I     1, LW3", "END_SUBROUTINE_BLOCK"};
    for (const char* l : sub) t += std::string(l) + "\n";
    executedPerPass = mainLines + networks * static_cast<int>(std::size(sub));
    return t;
}

void BM_MixedProgramWithCallsPass(benchmark::State& state) {
    MemoryLogSink sink;
    Log log(&sink);
    PlcMemory mem(&log);
    Program prog;
    int executed = 0;
    const std::string text = mixedProgramWithCalls(55, executed);
    StlReader reader;
    if (!reader.loadText(text, prog, log) || !AnalyseCode(reader.lines, prog, mem, log)) {
        state.SkipWithError("the program did not load");
        return;
    }
    Interpreter cpu(mem, prog, log);
    cpu.RunExec(0);
    for (auto _ : state) {
        cpu.RunExec(0);
        benchmark::ClobberMemory();
    }
    if (!sink.lines.empty()) state.SkipWithError(("the program logged: " + sink.lines.front()).c_str());
    state.counters["lines"] = executed;
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(executed),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixedProgramWithCallsPass);

}  // namespace
