// One pass of a 1000-line program mixing moves, compare contacts, word logic, integer and
// real arithmetic and conversions, built by hand. Reports the time per executed line.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/interpreter.h"
#include "loader/code_builder.h"
#include "loader/stl_reader.h"

namespace {

using namespace korvane;

struct Op {
    double number;
    int kind;
};
Op K(double v) { return {v, kind::Constant}; }
Op VB(int n) { return {static_cast<double>(area::V + 8 * n), kind::Byte}; }
Op VW(int n) { return {static_cast<double>(area::V + 8 * n), kind::Word}; }
Op VD(int n) { return {static_cast<double>(area::V + 8 * n), kind::DWord}; }

struct Line {
    const char* mnemonic;
    std::vector<Op> operands;
};

// A block of 25 lines that keeps the logic result on and never faults pass after pass; n
// spreads the blocks over V memory.
std::vector<Line> block(int n) {
    const int b = 24 * (n % 40);  // 24 bytes per block
    return {
        {"Network", {K(1)}},
        {"LD", {K(area::SM0_0)}},
        {"MOVW", {VW(b), VW(b + 2)}},
        {"MOVB", {K(0x5A), VB(b + 4)}},
        {"MOVD", {VD(b + 4), VD(b + 8)}},
        {"MOVR", {K(1.5), VD(b + 12)}},
        // Word and double-word compares are signed: these hold for every value.
        {"AW>=", {VW(b + 2), K(-32768)}},
        {"AD<=", {VD(b + 8), K(2147483647.0)}},
        {"AR<", {VD(b + 12), K(1e30)}},
        {"ANDW", {K(0x0FF0), VW(b)}},
        {"ORD", {K(0x00010001), VD(b + 8)}},
        {"XORB", {K(0xFF), VB(b + 4)}},
        {"SLW", {VW(b + 2), K(3)}},
        {"INCW", {VW(b + 16)}},
        {"+I", {K(7), VW(b + 18)}},
        {"-I", {K(7), VW(b + 18)}},
        {"+D", {K(100), VD(b + 20)}},
        {"/I", {K(3), VW(b)}},
        {"*I", {K(2), VW(b + 2)}},
        {"+R", {K(0.25), VD(b + 12)}},
        {"*R", {K(2.0), VD(b + 12)}},
        {"SQRT", {VD(b + 12), VD(b + 12)}},
        {"ITD", {VW(b + 16), VD(b + 8)}},
        {"DTR", {VD(b + 20), VD(b + 4)}},
        {"ROUND", {VD(b + 12), VD(b + 20)}},
    };
}

void BM_MixedProgramPass(benchmark::State& state) {
    MemoryLogSink sink;
    Log log(&sink);
    PlcMemory mem(&log);
    Program prog;
    std::vector<Line> lines;
    for (int n = 0; lines.size() < 1000; ++n)
        for (auto& l : block(n))
            if (lines.size() < 1000) lines.push_back(l);
    prog.resetCodeTable(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        CodeLine& line = prog.CodeTable[i];
        line.setMnemonic(lines[i].mnemonic);
        for (std::size_t k = 0; k < lines[i].operands.size(); ++k)
            line.setOperand(static_cast<int>(k), lines[i].operands[k].number, lines[i].operands[k].kind);
    }
    Interpreter cpu(mem, prog, log);
    cpu.RunExec(0);
    for (auto _ : state) {
        cpu.RunExec(0);
        benchmark::ClobberMemory();
    }
    if (!sink.lines.empty()) state.SkipWithError(("the program logged: " + sink.lines.front()).c_str());
    const double executed = static_cast<double>(lines.size());
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
