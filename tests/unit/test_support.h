#pragma once
// Shared helpers for engine tests: a CPU with a fixed log clock and a hand-built code table.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/interpreter.h"

namespace korvane::testing {

struct Operand {
    double number;
    int kind = 0;
};

struct Line {
    std::string mnemonic;
    std::vector<Operand> operands;
};

struct Cpu {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Program prog;
    Interpreter cpu{mem, prog, log};

    Cpu() { log.setClock([] { return std::string("12:00:00"); }); }

    // Line 0 is ORGANIZATION_BLOCK, then the given lines, then END_ORGANIZATION_BLOCK.
    void program(std::initializer_list<Line> lines, bool wrap = true) {
        std::vector<Line> all;
        if (wrap) all.push_back({"ORGANIZATION_BLOCK", {}});
        all.insert(all.end(), lines);
        if (wrap) all.push_back({"END_ORGANIZATION_BLOCK", {}});
        prog.resetCodeTable(all.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            CodeLine& cl = prog.CodeTable[i];
            cl.setMnemonic(all[i].mnemonic);
            prog.setSourceText(static_cast<int>(i), all[i].mnemonic);
            cl.HasStatus = -1;
            for (std::size_t k = 0; k < all[i].operands.size(); ++k)
                cl.setOperand(static_cast<int>(k), all[i].operands[k].number, all[i].operands[k].kind);
        }
        if (wrap) prog.CodeTable.back().setOperand(0, static_cast<double>(all.size() - 1));
    }
    void pass() { cpu.RunExec(0); }
    CodeLine& line(int i) { return prog.CodeTable.at(i); }
    void set(int key, bool on) { mem.setBit(key, on); }
    bool bit(int key) const { return mem.bit(key); }
};

// Keys of common operands.
inline int I(int byte, int bit) { return area::I + 8 * byte + bit; }
inline int Q(int byte, int bit) { return area::Q + 8 * byte + bit; }
inline int M(int byte, int bit) { return area::M + 8 * byte + bit; }
inline int V(int byte, int bit) { return area::V + 8 * byte + bit; }
inline int VB(int byte) { return area::V + 8 * byte; }

}  // namespace korvane::testing
