// Records what the engine does pass after pass, so that a change to the interpreter can be
// checked to leave every result alone: for each program, per pass, a hash of the memory
// image (cells, timer and counter records), a hash of every line's recorded status, and the
// log lines the pass wrote (without their time stamps).
//
//   trace_programs                   the benchmark programs (bit logic, mixed), 300 passes
//   trace_programs FILE.awl ...      each program file, loaded and built, 300 passes
//   trace_programs --export N        writes the loader benchmark's program of N lines
//
// Inputs change from pass to pass (a fixed pseudo-random sequence), so contacts, edges and
// timers see both states. Compare the output of two builds with diff.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "bench_programs.h"
#include "core/interpreter.h"
#include "loader/code_builder.h"
#include "loader/stl_reader.h"

using namespace korvane;

namespace {

struct Hash {
    std::uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    }
    template <class T>
    void add(const T& v) {
        bytes(&v, sizeof v);
    }
};

std::uint64_t memoryHash(const PlcMemory& mem) {
    Hash h;
    h.bytes(mem.cells(), sizeof(std::int16_t) * area::CellCount);
    for (const auto* recs : {&mem.timers(), &mem.counters()})
        for (const TimerCounterRecord& r : *recs) {
            h.add(r.Flag);
            h.add(r.LastInput);
            h.add(r.Preset);
            h.add(r.Current);
            h.add(r.Kind);
        }
    return h.h;
}

std::uint64_t statusHash(const Program& prog) {
    Hash h;
    for (int i = 0; i <= prog.lastIndex(); ++i) {
        const LineStatus s = lineStatus(prog, i);
        h.add(s.shown);
        h.add(s.flowBefore);
        h.add(s.flowAfter);
        h.add(s.enoShown);
        h.add(s.operands);
        h.add(s.stack);
        for (double v : s.value) h.add(v);
        h.add(s.kind);
    }
    return h.h;
}

void run(const std::string& name, Program& prog, PlcMemory& mem, Log& log, MemoryLogSink& sink, int passes) {
    Interpreter cpu(mem, prog, log);
    std::uint32_t seed = 12345;
    std::cout << "program " << name << " lines=" << prog.lastIndex() + 1 << "\n";
    for (int pass = 0; pass < passes; ++pass) {
        for (int k = 0; k < 16; ++k) {
            seed = seed * 1103515245u + 12345u;
            mem.setCell(area::I + static_cast<int>((seed >> 16) % 128), ((seed >> 8) & 1u) ? kOn : kOff);
        }
        cpu.tick += 10;
        sink.lines.clear();
        cpu.RunExec(0);
        std::cout << "pass " << pass << " mem=" << std::hex << memoryHash(mem) << " status=" << statusHash(prog)
                  << std::dec << " scan=" << cpu.scanCounter << " err=" << cpu.errorCode << "\n";
        for (const std::string& l : sink.lines) {
            std::cout << "  log " << l << "\n";
        }
    }
    // The last pass's status in full, line by line.
    for (int i = 0; i <= prog.lastIndex(); ++i) {
        const LineStatus s = lineStatus(prog, i);
        std::cout << "  line " << i << " " << s.shown << s.flowBefore << s.flowAfter << s.enoShown << " "
                  << std::string(s.stack.data(), 4) << " n=" << s.operands;
        for (int k = 0; k < 3; ++k) std::cout << " " << s.value[static_cast<std::size_t>(k)] << "/" << s.kind[static_cast<std::size_t>(k)];
        std::cout << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int passes = 300;
    if (argc < 2) {
        {
            MemoryLogSink sink;
            Log log(&sink);
            log.setClock([] { return std::string("T"); });
            PlcMemory mem(&log);
            Program prog;
            benchprog::buildBitLogic(prog, 1000);
            run("bit_logic", prog, mem, log, sink, passes);
        }
        {
            MemoryLogSink sink;
            Log log(&sink);
            log.setClock([] { return std::string("T"); });
            PlcMemory mem(&log);
            Program prog;
            benchprog::buildMixed(prog);
            run("mixed", prog, mem, log, sink, passes);
        }
        return 0;
    }
    if (std::string(argv[1]) == "--export" && argc == 3) {
        std::cout << benchprog::exportProgram(std::stoi(argv[2]));
        return 0;
    }
    for (int a = 1; a < argc; ++a) {
        std::ifstream in(argv[a], std::ios::binary);
        std::stringstream buf;
        buf << in.rdbuf();
        MemoryLogSink sink;
        Log log(&sink);
        log.setClock([] { return std::string("T"); });
        PlcMemory mem(&log);
        Program prog;
        StlReader reader;
        if (!reader.loadText(buf.str(), prog, log) || !AnalyseCode(reader.lines, prog, mem, log)) {
            std::cout << "program " << argv[a] << " did not load\n";
            for (const std::string& l : sink.lines) std::cout << "  log " << l << "\n";
            continue;
        }
        run(argv[a], prog, mem, log, sink, passes);
    }
    return 0;
}
