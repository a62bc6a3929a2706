// Loading and building a 10,000-line program: StlReader::loadText and AnalyseCode, then the
// program check over it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_programs.h"
#include "core/code_table.h"
#include "core/plc_memory.h"
#include "loader/code_builder.h"
#include "loader/program_check.h"
#include "loader/stl_reader.h"
#include "loader/text_encoding.h"

namespace {

using namespace korvane;

void loadAndBuild(benchmark::State& state, bool gbk) {
    const std::string text = gbk ? utf8ToGb18030(benchprog::exportProgram(10000)) : benchprog::exportProgram(10000);
    Log log;
    PlcMemory mem(&log);
    Program prog;
    StlReader reader;
    for (auto _ : state) {
        reader.loadText(text, prog, log);
        AnalyseCode(reader.lines, prog, mem, log);
        benchmark::DoNotOptimize(prog.CodeTable.data());
    }
    state.counters["lines"] = static_cast<double>(reader.lines.size());
}

void BM_LoadAndBuild10kUtf8(benchmark::State& state) { loadAndBuild(state, false); }
void BM_LoadAndBuild10kGbk(benchmark::State& state) { loadAndBuild(state, true); }
BENCHMARK(BM_LoadAndBuild10kUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndBuild10kGbk)->Unit(benchmark::kMillisecond);

// The program has findings on purpose (TON on TONR numbers, more than 128 edges), so the
// check also formats what it finds.
void BM_ProgramCheck10k(benchmark::State& state) {
    const std::string text = benchprog::exportProgram(10000);
    Log log;
    PlcMemory mem(&log);
    Program prog;
    StlReader reader;
    reader.loadText(text, prog, log);
    AnalyseCode(reader.lines, prog, mem, log);
    std::size_t findings = 0;
    for (auto _ : state) {
        const auto f = CheckProgram(prog, reader.lines, reader.fileLines);
        findings = f.size();
        benchmark::DoNotOptimize(f.data());
    }
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_ProgramCheck10k)->Unit(benchmark::kMillisecond);

// Decoding a file in which every other byte is one neither UTF-8 nor GBK takes: the time must
// grow linearly with the size (range: kilobytes).
static void BM_DecodeUndecodable(benchmark::State& state) {
    std::string bytes;
    for (std::int64_t i = 0; i < state.range(0) * 512; ++i) bytes += "\x80" "A";
    for (auto _ : state) benchmark::DoNotOptimize(korvane::toUtf8(bytes));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeUndecodable)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace
