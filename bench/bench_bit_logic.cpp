// A 1000-line bit-logic program (LD/A/O/=/Network mix) executed pass after pass, with the
// per-line status recording the program status view reads.
#include <benchmark/benchmark.h>

#include "bench_programs.h"
#include "core/interpreter.h"

using namespace korvane;

namespace {

void BM_BitLogicPass(benchmark::State& state) {
    Log log;
    PlcMemory mem(&log);
    Program prog;
    benchprog::buildBitLogic(prog, 1000);
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
