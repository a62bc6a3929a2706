#pragma once
// The programs the benchmarks and the trace recorder run: a bit-logic program and a mix of
// box instructions, both built by hand into a code table.
#include <string>
#include <vector>

#include "core/code_table.h"

namespace korvane::benchprog {

// A bit-logic program of `lines` lines (LD/A/O/AN/ON/=/Network mix).
inline void buildBitLogic(Program& prog, int lines) {
    prog.resetCodeTable(static_cast<std::size_t>(lines));
    auto set = [&](int i, const char* m, double key) {
        CodeLine& l = prog.CodeTable[static_cast<std::size_t>(i)];
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

struct MixedOperand {
    double number;
    int kind;
};
inline MixedOperand K(double v) { return {v, kind::Constant}; }
inline MixedOperand VB(int n) { return {static_cast<double>(area::V + 8 * n), kind::Byte}; }
inline MixedOperand VW(int n) { return {static_cast<double>(area::V + 8 * n), kind::Word}; }
inline MixedOperand VD(int n) { return {static_cast<double>(area::V + 8 * n), kind::DWord}; }

struct MixedLine {
    const char* mnemonic;
    std::vector<MixedOperand> operands;
};

// A block of 25 lines that keeps the logic result on and never faults pass after pass; n
// spreads the blocks over V memory.
inline std::vector<MixedLine> mixedBlock(int n) {
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

// The 1000-line mixed program; returns its line count.
inline int buildMixed(Program& prog) {
    std::vector<MixedLine> lines;
    for (int n = 0; lines.size() < 1000; ++n)
        for (auto& l : mixedBlock(n))
            if (lines.size() < 1000) lines.push_back(l);
    prog.resetCodeTable(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        CodeLine& line = prog.CodeTable[i];
        line.setMnemonic(lines[i].mnemonic);
        for (std::size_t k = 0; k < lines[i].operands.size(); ++k)
            line.setOperand(static_cast<int>(k), lines[i].operands[k].number, lines[i].operands[k].kind);
    }
    return static_cast<int>(lines.size());
}

// A program of about `lines` lines in the shape of an export: networks of contacts, coils,
// moves, compares, timers and comments, one subroutine with declarations at the end (UTF-8).
inline std::string exportProgram(int lines) {
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
    return s;
}

}  // namespace korvane::benchprog
