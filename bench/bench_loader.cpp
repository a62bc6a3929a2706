// Loading and building a 10,000-line program: StlReader::loadText and AnalyseCode, then the
// program check over it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/code_table.h"
#include "core/plc_memory.h"
#include "loader/code_builder.h"
#include "loader/program_check.h"
#include "loader/stl_reader.h"
#include "loader/text_encoding.h"

namespace {

using namespace korvane;

// A program of about `lines` lines in the shape of an export: networks of contacts, coils,
// moves, compares, timers and comments, one subroutine with declarations at the end.
std::string makeProgram(int lines, bool gbk) {
    std::string s = "// 程序注释\r\nORGANIZATION_BLOCK 主程序:OB1\r\nTITLE=主程序注释\r\nBEGIN\r\n";
    int n = 4;
    int network = 1;
    while (n < lines - 12) {
        s += "Network " + std::to_string(network) + " // 网络标题\r\n";
        s += "LD     I" + std::to_string(network % 16) + "." + std::to_string(network % 8) + "      // 启动\r\n";
        s += "AN     M" + std::to_string(network % 32) + ".1\r\n";
        s += "EU\r\n";
        s += "MOVW   16#1F, VW" + std::to_string(2 * (network % 500)) + "\r\n";
        s += "AW>=   VW10, +" + std::to_string(network) + "\r\n";
        s += "TON    T" + std::to_string(network % 256) + ", 100\r\n";
        s += "=      Q" + std::to_string(network % 16) + ".0\r\n";
        n += 8;
        ++network;
    }
    s += "END_ORGANIZATION_BLOCK\r\nSUBROUTINE_BLOCK 子程序:SBR0\r\nVAR_INPUT\r\nIN1:BOOL;\r\nIN2:INT;\r\nEND_VAR\r\n"
         "VAR_OUTPUT\r\nOUT1:WORD;\r\nEND_VAR\r\nBEGIN\r\nNetwork 1\r\nLD L0.0\r\nEND_SUBROUTINE_BLOCK\r\n";
    return gbk ? utf8ToGb18030(s) : s;
}

void loadAndBuild(benchmark::State& state, bool gbk) {
    const std::string text = makeProgram(10000, gbk);
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
    const std::string text = makeProgram(10000, false);
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
