// A 1000-line bit-logic program (LD/A/O/=/Network mix) executed pass after pass, with the
// per-line status recording the program status view reads.
#include <benchmark/benchmark.h>

#include "core/interpreter.h"

using namespace korvane;

namespace {

void buildBitLogic(Program& prog, int lines) {
    prog.resetCodeTable(static_cast<std::size_t>(lines));
    auto set = [&](int i, const char* m, double key) {
        CodeLine& l = prog.CodeTable[i];
        l.setMnemonic(m);
        l.HasStatus = -1;
        if (key >= 0) l.setOperand(0, key);
    };
    set(0, "ORGANIZATION_BLOCK", -1);
    const char* pattern[] = {"Network", "LD", "A", "O", "AN", "=", "LD", "ON", "A", "="};
    for (int i = 1; i < lines - 1; ++i) {
        const char* m = pattern[(i - 1) % 10];
        double key = 0;
        if (m[0] == '=') key = area::Q + (i % 128);
        else if (m[0] == 'N') key = i / 10;
        else key = (i % 3 == 0) ? area::I + (i % 128) : area::M + (i % 256);
        set(i, m, key);
    }
    set(lines - 1, "END_ORGANIZATION_BLOCK", lines - 1);
}

void BM_BitLogicPass(benchmark::State& state) {
    Log log;
    PlcMemory mem(&log);
    Program prog;
    buildBitLogic(prog, 1000);
    Interpreter cpu(mem, prog, log);
    for (int k = 0; k < 128; k += 3) mem.setCell(area::I + k, kOn);
    for (auto _ : state) {
        cpu.RunExec(0);
        benchmark::DoNotOptimize(mem.cells()[area::Q]);
    }
    state.counters["ns_per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BitLogicPass);

}  // namespace
