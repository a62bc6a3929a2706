#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/interpreter.h"
#include "core/timers_counters.h"

using namespace korvane;

namespace {

struct Cpu {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Program prog;
    Interpreter cpu{mem, prog, log};
    Cpu() { log.setClock([] { return std::string("12:00:00"); }); }

    // A box line as the builder makes it, with the record's Kind set.
    CodeLine box(const std::string& mnemonic, int number, double pv, int pvKind = kind::Constant) {
        CodeLine line;
        line.setMnemonic(mnemonic);
        const bool timer = mnemonic[0] == 'T';
        line.setOperand(0, (timer ? area::T : area::C) + number, timer ? kind::Timer : kind::Counter);
        line.setOperand(1, pv, pvKind);
        const int k = (mnemonic == "TON" || mnemonic == "CTU") ? 1 : (mnemonic == "TOF" || mnemonic == "CTD") ? 2 : 3;
        (timer ? mem.timer(number) : mem.counter(number)).Kind = static_cast<std::int16_t>(k);
        return line;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) advanceTimers(mem, log);
    }
    // Runs a box with the logic result in and the given entries on the logic stack
    // (first pushed first).
    void run(CodeLine& line, bool in, std::initializer_list<bool> stack = {}) {
        cpu.stack.fill(0);
        cpu.top = 0;
        for (bool b : stack) cpu.push(b ? kOn : kOff);
        cpu.logicResult = in ? kOn : kOff;
        execTimerCounter(cpu, line);
    }
};

// ---- timers ------------------------------------------------------------------------------

struct TimerStep {
    bool in;
    int ticksBefore;  // timer-base events before the box runs
    bool bit;         // the T bit after the box
    int current;
};

struct TimerCase {
    const char* name;
    const char* mnemonic;
    int pv;
    std::vector<TimerStep> steps;
};

class TimerScript : public ::testing::TestWithParam<TimerCase> {};

TEST_P(TimerScript, BitAndCurrentFollowTheTimeBase) {
    const auto& c = GetParam();
    Cpu f;
    CodeLine line = f.box(c.mnemonic, 37, c.pv);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const auto& s = c.steps[i];
        f.ticks(s.ticksBefore);
        f.run(line, s.in);
        EXPECT_EQ(f.mem.bit(area::T + 37), s.bit) << "step " << i;
        EXPECT_EQ(f.mem.timer(37).Current, s.current) << "step " << i;
        EXPECT_EQ(f.cpu.status().StatusValue[0], f.mem.timer(37).Current) << "step " << i;
        EXPECT_EQ(f.cpu.status().StatusValue[1], f.mem.timer(37).Preset) << "step " << i;
        EXPECT_EQ(f.cpu.status().StatusKind[0], 5);
        EXPECT_EQ(f.cpu.status().StatusKind[1], 5);
    }
    EXPECT_TRUE(f.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Timers, TimerScript,
    ::testing::Values(
        TimerCase{"TonSwitchesAtPresetAndClearsWhenOff",
                  "TON",
                  3,
                  {{true, 0, false, 0},
                   {true, 1, false, 1},
                   {true, 1, false, 2},
                   {true, 1, true, 3},
                   {true, 4, true, 7},  // keeps counting past the preset
                   {false, 0, false, 0},
                   {false, 3, false, 0},
                   {true, 2, false, 0}}},
        TimerCase{"TonWithPresetZeroSwitchesInTheSamePass", "TON", 0, {{true, 0, true, 0}, {false, 0, false, 0}}},
        TimerCase{"TofHoldsForPresetEventsAfterTheInputFalls",
                  "TOF",
                  3,
                  {{false, 0, false, 0},
                   {false, 2, false, 0},  // never switched on: nothing to hold
                   {true, 0, true, 0},
                   {true, 5, true, 0},   // does not count while the input is on
                   {false, 0, true, 0},  // falling edge: timing starts
                   {false, 1, true, 1},
                   {false, 1, true, 2},
                   {false, 1, false, 3},
                   {false, 4, false, 3}}},  // the current value stays at the preset
        TimerCase{"TofRestartsWhenTheInputReturns",
                  "TOF",
                  5,
                  {{true, 0, true, 0},
                   {false, 0, true, 0},
                   {false, 2, true, 2},
                   {true, 0, true, 0},
                   {false, 0, true, 0},
                   {false, 4, true, 4},
                   {false, 1, false, 5}}},
        TimerCase{"TonrAccumulatesAcrossOnPeriods",
                  "TONR",
                  4,
                  {{true, 0, false, 0},
                   {true, 2, false, 2},
                   {false, 0, false, 2},
                   {false, 5, false, 2},  // holds while off
                   {true, 0, false, 2},
                   {true, 2, true, 4},
                   {false, 0, true, 4},  // the bit stays on after the input falls
                   {false, 3, true, 4},
                   {true, 3, true, 4},  // the time base does not count while the input was off
                   {true, 3, true, 7}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TimerBase, TonStopsAt32767) {
    Cpu f;
    CodeLine line = f.box("TON", 0, 100);
    f.run(line, true);
    f.mem.timer(0).Current = 32765;
    f.ticks(5);
    EXPECT_EQ(f.mem.timer(0).Current, 32767);
    f.run(line, true);
    EXPECT_TRUE(f.mem.bit(area::T));
}

TEST(TimerBase, TonrResetClearsCurrentAndBit) {
    Cpu f;
    CodeLine line = f.box("TONR", 2, 1);
    f.run(line, true);
    f.ticks(2);
    f.run(line, true);
    ASSERT_TRUE(f.mem.bit(area::T + 2));
    CodeLine reset;
    reset.setMnemonic("R");
    reset.setOperand(0, area::T + 2, kind::Timer);
    reset.setOperand(1, 1);
    f.cpu.logicResult = kOn;
    execBitLogic(f.cpu, reset);
    EXPECT_FALSE(f.mem.bit(area::T + 2));
    EXPECT_EQ(f.mem.timer(2).Current, 0);
}

// The preset is an operand: a word in memory is read as it stands, a constant rounded.
TEST(TimerBox, PresetComesFromTheOperand) {
    Cpu f;
    f.mem.tobit(7, area::V + 8 * 10, 16);
    CodeLine line = f.box("TON", 3, area::V + 8 * 10, kind::Word);
    f.run(line, true);
    EXPECT_EQ(f.mem.timer(3).Preset, 7);
    CodeLine rounded = f.box("TON", 4, 2.5);
    f.run(rounded, true);
    EXPECT_EQ(f.mem.timer(4).Preset, 2);
}

// ---- counters ----------------------------------------------------------------------------

struct CountStep {
    bool cu;  // the count input (CD for CTD)
    bool r;   // reset (load for CTD)
    bool bit;
    int current;
};

struct CountCase {
    const char* name;
    const char* mnemonic;
    int pv;
    int start;  // current value before the first step
    std::vector<CountStep> steps;
};

class CountScript : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountScript, CountsOncePerRisingEdge) {
    const auto& c = GetParam();
    Cpu f;
    CodeLine line = f.box(c.mnemonic, 9, c.pv);
    f.mem.counter(9).Current = c.start;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const auto& s = c.steps[i];
        f.run(line, s.r, {s.cu});
        EXPECT_EQ(f.mem.bit(area::C + 9), s.bit) << "step " << i;
        EXPECT_EQ(f.mem.counter(9).Current, s.current) << "step " << i;
        // The count input is popped only when the box is not being reset or loaded.
        EXPECT_EQ(f.cpu.top, s.r ? 1 : 0) << "step " << i;
        EXPECT_EQ(f.cpu.status().StatusValue[0], s.current);
        EXPECT_EQ(f.cpu.status().StatusValue[1], c.pv);
        EXPECT_EQ(f.cpu.status().StatusKind[0], 5);
        EXPECT_EQ(f.cpu.status().StatusKind[1], 5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counters, CountScript,
    ::testing::Values(CountCase{"CtuCountsRisingEdges",
                                "CTU",
                                2,
                                0,
                                {{false, false, false, 0},
                                 {true, false, false, 1},
                                 {true, false, false, 1},
                                 {false, false, false, 1},
                                 {true, false, true, 2},
                                 {false, false, true, 2},
                                 {true, false, true, 3},
                                 {true, true, false, 0},     // reset with the input held on
                                 {true, false, false, 0},    // no count: the input did not rise
                                 {false, true, false, 0},    // reset with the input off
                                 {true, false, false, 1}}},  // a rise after the reset counts
                      CountCase{"CtuStopsAt32767",
                                "CTU",
                                10,
                                32766,
                                {{true, false, true, 32767}, {false, false, true, 32767}, {true, false, true, 32767}}},
                      CountCase{"CtdLoadsAndStopsAtZero",
                                "CTD",
                                2,
                                0,
                                {{false, false, true, 0},  // zero before any load
                                 {false, true, false, 2},
                                 {true, false, false, 1},
                                 {true, false, false, 1},
                                 {false, false, false, 1},
                                 {true, false, true, 0},
                                 {false, false, true, 0},
                                 {true, false, true, 0},  // no count below zero
                                 {true, true, false, 2},
                                 {true, false, false, 2}}}),  // the load held the edge memory
    [](const auto& p) { return std::string(p.param.name); });

struct UpDownStep {
    bool cu, cd, r;
    bool bit;
    int current;
};

TEST(CounterBox, CtudCountsBothWaysAndWraps) {
    Cpu f;
    CodeLine line = f.box("CTUD", 4, 2);
    const std::vector<UpDownStep> steps = {
        {true, false, false, false, 1}, {true, false, false, false, 1}, {false, false, false, false, 1},
        {true, false, false, true, 2},  {false, true, false, false, 1},  // below the preset again: off
        {false, true, false, false, 1}, {false, false, false, false, 1}, {true, true, false, false, 1},
        {true, false, false, false, 1}, {false, false, false, false, 1}, {true, false, false, true, 2},
        {false, false, true, false, 0}, {true, true, true, false, 0},   {false, false, false, false, 0}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& s = steps[i];
        f.run(line, s.r, {s.cu, s.cd});
        EXPECT_EQ(f.cpu.top, 0) << "both inputs are popped, step " << i;
        EXPECT_EQ(f.mem.bit(area::C + 4), s.bit) << "step " << i;
        EXPECT_EQ(f.mem.counter(4).Current, s.current) << "step " << i;
    }
}

TEST(CounterBox, CtudWrapsAtBothEnds) {
    Cpu f;
    CodeLine line = f.box("CTUD", 5, 100);
    f.mem.counter(5).Current = 32767;
    f.run(line, false, {true, false});
    EXPECT_EQ(f.mem.counter(5).Current, -32768);
    f.run(line, false, {false, true});
    EXPECT_EQ(f.mem.counter(5).Current, 32767);
}

TEST(CounterBox, EmptyStackCountsNothing) {
    Cpu f;
    CodeLine line = f.box("CTU", 0, 1);
    f.run(line, false);
    EXPECT_EQ(f.mem.counter(0).Current, 0);
    EXPECT_EQ(f.cpu.top, 0);
}

// Edge detection belongs to each box: what other boxes pop while one is being reset does
// not decide whether its own input counts afterwards.
TEST(CounterBox, EdgeDetectionAfterResetIgnoresOtherBoxes) {
    Cpu f;
    CodeLine a = f.box("CTU", 1, 10);
    CodeLine b = f.box("CTU", 2, 10);
    // a: input held on through the reset while b pops an off input.
    f.run(a, false, {true});
    f.run(a, true, {true});
    f.run(b, false, {false});
    f.run(a, false, {true});
    EXPECT_EQ(f.mem.counter(1).Current, 0);
    // a: input off during the reset while b pops an on input; the rise counts.
    f.run(a, true, {false});
    f.run(b, false, {true});
    f.run(a, false, {true});
    EXPECT_EQ(f.mem.counter(1).Current, 1);
    // The same holds for CTD under its load input.
    CodeLine d = f.box("CTD", 3, 5);
    f.run(d, true, {false});
    f.run(b, false, {true});
    f.run(d, false, {true});
    EXPECT_EQ(f.mem.counter(3).Current, 4);
}

// A whole program: LD I0.0 / LD I0.1 / CTU C0, 2 with the logic stack as the builder leaves it.
TEST(CounterBox, CtuInAProgramPass) {
    Cpu f;
    f.prog.resetCodeTable(4);
    f.prog.CodeTable[0].setMnemonic("Network");
    f.prog.CodeTable[1].setMnemonic("LD");
    f.prog.CodeTable[1].setOperand(0, area::I + 0);
    f.prog.CodeTable[2].setMnemonic("LD");
    f.prog.CodeTable[2].setOperand(0, area::I + 1);
    f.prog.CodeTable[3] = f.box("CTU", 0, 2);
    auto pass = [&](bool cu, bool r) {
        f.mem.setBit(area::I + 0, cu);
        f.mem.setBit(area::I + 1, r);
        f.cpu.RunExec(0);
    };
    pass(true, false);
    pass(false, false);
    pass(true, false);
    EXPECT_TRUE(f.mem.bit(area::C));
    EXPECT_EQ(f.mem.counter(0).Current, 2);
    pass(true, true);
    EXPECT_FALSE(f.mem.bit(area::C));
    EXPECT_EQ(lineStatus(f.prog, 3).stackText(), "1110");  // R, then the untouched entries
    EXPECT_TRUE(f.sink.lines.empty());
}

TEST(TimerBox, PresetOutside32BitsIsARunTimeError) {
    Cpu f;
    f.prog.resetCodeTable(3);
    f.prog.CodeTable[0].setMnemonic("Network");
    f.prog.CodeTable[1].setMnemonic("LD");
    f.prog.CodeTable[1].setOperand(0, area::SM0_0);
    f.prog.CodeTable[2] = f.box("TON", 0, 3e9);
    f.cpu.RunExec(0);
    ASSERT_EQ(f.sink.lines.size(), 1u);
    EXPECT_EQ(f.sink.lines[0], "12:00:00 运行代码错误:iPC=2,astrCode=TON");
}

}  // namespace
