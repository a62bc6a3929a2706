#pragma once
// A simulator with a program written as exported STL text, built by the real builder, and a
// front end whose input terminals the test sets (as the input panel's switches or the
// runner's input state) and whose output refreshes it records.
#include <gtest/gtest.h>

#include "test_tmp.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace korvane::stltest {

class TerminalViews : public ViewHooks {
public:
    // The front end's switches; an input without one is not held by the front end.
    std::array<std::optional<bool>, area::Q - area::I> switches{};
    // The Q image each time the outputs were handed on (QB0 and QB1), and the SF lamp.
    std::vector<std::array<int, 2>> outputsShown;
    std::vector<bool> sfLamp;
    PlcMemory* image = nullptr;

    std::optional<bool> inputTerminal(int key) override { return switches.at(static_cast<std::size_t>(key - area::I)); }
    // Like the panels: the switches the front end holds go into the image every tick.
    void FreshInData() override {
        for (std::size_t i = 0; i < switches.size(); ++i)
            if (switches[i]) image->setBit(area::I + static_cast<int>(i), *switches[i]);
    }
    void FreshOutData() override {
        outputsShown.push_back({static_cast<int>(image->GetByteValue(area::Q)), static_cast<int>(image->GetByteValue(area::Q + 8))});
    }
    void forceIndicator(bool on) override { sfLamp.push_back(on); }
};

// Keys of operands.
inline int I(int byte, int bit) { return area::I + 8 * byte + bit; }
inline int Q(int byte, int bit) { return area::Q + 8 * byte + bit; }
inline int VB(int n) { return area::V + 8 * n; }
inline int QB(int n) { return area::Q + 8 * n; }
inline int IB(int n) { return area::I + 8 * n; }

struct StlProgram {
    MemoryLogSink sink;
    AutoPrompt prompt;
    TerminalViews views;
    VirtualScheduler clock;
    Simulator sim{clock, &sink, &prompt, &views};

    // The body goes between the main block's BEGIN and its end; more blocks may follow.
    // Lines are separated by "\n" and written with CR LF as exported.
    explicit StlProgram(const std::string& main, const std::string& blocks = "") {
        views.image = &sim.memory;
        sim.log.setClock([] { return std::string("12:00:00"); });
        const std::string text = "ORGANIZATION_BLOCK OB1\nBEGIN\nNetwork 1\n" + main + "END_ORGANIZATION_BLOCK\n" + blocks;
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        const auto path = testTmpDir("stl_rig") / (std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".awl");
        std::ofstream(path, std::ios::binary) << crlf;
        sim.setDialogFileName(path.string());
        sim.myLoadCode();
        EXPECT_TRUE(sim.hasProgram());
        sink.lines.clear();
    }

    void pass() { sim.runPass(); }
    void set(int key, bool on) { sim.memory.setBit(key, on); }
    bool bit(int key) const { return sim.memory.bit(key); }
    void setByte(int key, int v) { sim.memory.tobit(v, key, 8); }
    void setWord(int key, int v) { sim.memory.tobit(v, key, 16); }
    void setDWord(int key, double v) { sim.memory.tobit(v, key, 32); }
    int byte(int key) const { return static_cast<int>(sim.memory.GetByteValue(key)); }
    // A word as the INT it holds.
    int word(int vByte) const {
        const int u = static_cast<int>(sim.memory.GetWordValue(area::V + 8 * vByte));
        return u >= 32768 ? u - 65536 : u;
    }
    // The line of the code table whose source text is text (the first one).
    CodeLine& line(const std::string& text) {
        for (std::size_t i = 0; i < sim.program.CodeTable.size(); ++i)
            if (sim.program.sourceText(static_cast<int>(i)) == text) return sim.program.CodeTable[i];
        ADD_FAILURE() << "no line " << text;
        return sim.program.CodeTable.front();
    }
    int count(const std::string& logLine) const {
        int n = 0;
        for (const std::string& l : sink.lines) n += l == logLine;
        return n;
    }
};

// Test names of table cases that carry a `name`.
struct CaseName {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& p) const {
        return p.param.name;
    }
};

}  // namespace korvane::stltest
