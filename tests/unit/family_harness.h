#pragma once
// A small harness for the instruction-family tests: a code table built by hand, run through
// RunExec, with the special-memory result bits captured inside the pass (the end of the pass
// clears SM1.0, SM1.1 and SM1.3).
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/interpreter.h"

namespace korvane::familytest {

struct Operand {
    double number;
    int kind;
};

inline Operand K(double v) { return {v, kind::Constant}; }
inline Operand VB(int n) { return {static_cast<double>(area::V + 8 * n), kind::Byte}; }
inline Operand VW(int n) { return {static_cast<double>(area::V + 8 * n), kind::Word}; }
inline Operand VD(int n) { return {static_cast<double>(area::V + 8 * n), kind::DWord}; }
inline Operand QB(int n) { return {static_cast<double>(area::Q + 8 * n), kind::Byte}; }
inline Operand V(int n, int b) { return {static_cast<double>(area::V + 8 * n + b), kind::Constant}; }
inline Operand Q(int n, int b) { return {static_cast<double>(area::Q + 8 * n + b), kind::Constant}; }
inline Operand I(int n, int b) { return {static_cast<double>(area::I + 8 * n + b), kind::Constant}; }
inline Operand M(int n, int b) { return {static_cast<double>(area::M + 8 * n + b), kind::Constant}; }
inline Operand T(int n) { return {static_cast<double>(area::T + n), kind::Timer}; }
inline Operand C(int n) { return {static_cast<double>(area::C + n), kind::Counter}; }
inline Operand PtrB(int vdByte) { return {static_cast<double>(area::V + 8 * vdByte), kind::IndirectByte}; }
inline Operand PtrW(int vdByte) { return {static_cast<double>(area::V + 8 * vdByte), kind::IndirectWord}; }
inline Operand Key(int key, int knd) { return {static_cast<double>(key), knd}; }

struct Instr {
    std::string mnemonic;
    std::vector<Operand> operands;
};

// Where the captured SM1.0 ... SM1.3 of the pass land: M31.0 ... M31.3.
inline constexpr int kCapture = area::M + 8 * 31;

struct Cpu {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Program prog;
    Interpreter cpu{mem, prog, log};
    int firstLine = 2;  // the index of the first instruction under test

    Cpu() { log.setClock([] { return std::string("12:00:00"); }); }

    static void fill(CodeLine& line, const Instr& in) {
        line.setMnemonic(in.mnemonic);
        for (std::size_t k = 0; k < in.operands.size(); ++k)
            line.setOperand(static_cast<int>(k), in.operands[k].number, in.operands[k].kind);
        line.HasStatus = kOn;
    }

    // Network; LD SM0.0 (power on) or LDN SM0.0 (off); the instructions; then the SM1.x bits
    // are copied to M31.0 ... M31.3.
    void load(std::vector<Instr> body, bool power = true) {
        std::vector<Instr> all;
        all.push_back({"Network", {K(1)}});
        all.push_back({power ? "LD" : "LDN", {K(area::SM0_0)}});
        for (auto& i : body) all.push_back(std::move(i));
        for (int b = 0; b < 4; ++b) {
            all.push_back({"LD", {K(area::SM1_0 + b)}});
            all.push_back({"=", {K(kCapture + b)}});
        }
        prog.resetCodeTable(all.size());
        for (std::size_t i = 0; i < all.size(); ++i) fill(prog.CodeTable[i], all[i]);
    }
    void run() { cpu.RunExec(0); }

    CodeLine& line(int i = 0) { return prog.CodeTable[firstLine + i]; }
    // SM1.0 ... SM1.3 as the pass left them before its end, as "0"/"1" characters.
    std::string flags() const {
        std::string s;
        for (int b = 0; b < 4; ++b) s += mem.cell(kCapture + b) ? '1' : '0';
        return s;
    }
    void presetFlags(const std::string& f) {
        for (int b = 0; b < 4; ++b) mem.setBit(area::SM1_0 + b, f[b] == '1');
    }

    void setB(int n, double v) { ASSERT_TRUE(mem.tobit(v, area::V + 8 * n, 8)); }
    void setW(int n, double v) { ASSERT_TRUE(mem.tobit(v, area::V + 8 * n, 16)); }
    void setD(int n, double v) { ASSERT_TRUE(mem.tobit(v, area::V + 8 * n, 32)); }
    void setR(int n, double v) { mem.SetRealValue(area::V + 8 * n, v); }
    double b(int n) const { return mem.GetByteValue(area::V + 8 * n); }
    double w(int n) const { return mem.GetWordValue(area::V + 8 * n); }
    double d(int n) const { return mem.GetDWordValue(area::V + 8 * n); }
    double r(int n) const { return mem.GetRealValue(area::V + 8 * n); }

    // The pass ran to its end (the scan counter counts completed passes).
    bool completed(std::int32_t passesBefore) const { return cpu.scanCounter == passesBefore + 1; }
    std::string runtimeError(int lineIndex) const {
        return "12:00:00 运行代码错误:iPC=" + std::to_string(lineIndex) + ",astrCode=" +
               prog.CodeTable[lineIndex].mnemonic();
    }
};

// Test names of table cases that carry a `name`.
struct CaseName {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& p) const {
        return p.param.name;
    }
};

}  // namespace korvane::familytest
