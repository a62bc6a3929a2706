// The real-CPU mode: every timer counts in the resolution of its number, STOP to RUN keeps
// the memory, STOP switches the outputs off, a power-up keeps only the retentive ranges.
#include <gtest/gtest.h>

#include "test_tmp.h"

#include <fstream>
#include <string>
#include <vector>

#include "sim/simulator.h"

using namespace korvane;

namespace {

struct Rig {
    MemoryLogSink sink;
    AutoPrompt prompt;
    ViewHooks views;
    VirtualScheduler clock;
    Simulator sim{clock, &sink, &prompt, &views};

    Rig(const std::string& body, bool realCpu) {
        sim.log.setClock([] { return std::string("12:00:00"); });
        sim.setRealCpu(realCpu);
        const auto path = testTmpDir("real_cpu") / "prog.awl";
        std::ofstream(path, std::ios::binary) << "ORGANIZATION_BLOCK 主程序:OB1\r\nBEGIN\r\nNetwork 1\r\n" << body
                                              << "END_ORGANIZATION_BLOCK\r\n";
        sim.setDialogFileName(path.string());
        sim.myLoadCode();
    }
    bool bit(int key) const { return sim.memory.bit(key); }
    void set(int key, bool on) { sim.memory.setBit(key, on); }
    // The time at which cell key first shows value `on` after the pass that sees it, from now.
    std::int64_t firstTime(int key, bool on, std::int64_t limitMs) {
        clock.runUntil([&] { return bit(key) == on; }, limitMs);
        return clock.nowMs();
    }
};

constexpr int kQ0 = area::Q;
constexpr int kI0 = area::I;

struct TimerCase {
    const char* name;
    const char* box;        // the timer box, enabled by I0.0
    int timer;
    bool real;
    std::int64_t onAtMs;    // the pass whose bit is on first (the input comes on before the pass at 50)
};

class TimerResolutions : public ::testing::TestWithParam<TimerCase> {};

// Each timer counts from the pass at 50 ms where its box first runs enabled. A 100 ms timer
// may gain a partial first unit, as on the CPU; 10 ms and 1 ms timers count whole ones.
TEST_P(TimerResolutions, SwitchAfterThePresetInTheirOwnUnits) {
    const TimerCase& c = GetParam();
    const std::string t = "T" + std::to_string(c.timer);
    Rig r(std::string("LD     I0.0\r\n") + c.box + "\r\nLD     " + t + "\r\n=      Q0.0\r\n", c.real);
    r.sim.scan.continuousRun();
    r.set(kI0, true);
    EXPECT_EQ(r.firstTime(kQ0, true, 5000), c.onAtMs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimerResolutions,
    ::testing::Values(TimerCase{"Ton100ms", "TON    T37, 10", 37, true, 1000},
                      TimerCase{"Ton10ms", "TON    T33, 100", 33, true, 1050},
                      TimerCase{"Ton1ms", "TON    T32, 1000", 32, true, 1050},
                      TimerCase{"Ton10msHighNumber", "TON    T97, 100", 97, true, 1050},
                      TimerCase{"Tonr100ms", "TONR   T5, 10", 5, true, 1000},
                      TimerCase{"Tonr10ms", "TONR   T65, 100", 65, true, 1050},
                      TimerCase{"Tonr1ms", "TONR   T0, 1000", 0, true, 1050},
                      // the one time base (80 ms) whatever the number, as without the mode
                      TimerCase{"Ton100msTimeBase", "TON    T37, 10", 37, false, 850},
                      TimerCase{"Ton10msTimeBase", "TON    T33, 10", 33, false, 850}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TimerResolutions, TofSwitchesOffThePresetAfterTheInputFell) {
    for (const auto& [box, timer] : {std::pair{"TOF    T38, 10", 38}, {"TOF    T34, 100", 34}, {"TOF    T96, 1000", 96}}) {
        SCOPED_TRACE(box);
        Rig r(std::string("LD     I0.0\r\n") + box + "\r\nLD     T" + std::to_string(timer) + "\r\n=      Q0.0\r\n", true);
        r.sim.scan.continuousRun();
        r.set(kI0, true);
        r.clock.advanceTo(495);
        EXPECT_TRUE(r.bit(kQ0));
        r.set(kI0, false);  // seen by the pass at 500
        EXPECT_EQ(r.firstTime(kQ0, false, 5000), 1500);
        EXPECT_EQ(r.sim.memory.timers()[static_cast<std::size_t>(timer)].Current,
                  r.sim.memory.timers()[static_cast<std::size_t>(timer)].Preset);
    }
}

// The self-resetting timer of every textbook: LDN Tn / TON Tn, 10 / LD Tn / = Q0.0. A 100 ms
// timer's bit is set by its box and seen by the next network: a one-pass pulse about every
// second. A 10 ms timer's bit is set at the start of a pass and reset by the first network
// before the second sees it; a 1 ms timer's bit changes between passes: Q0.0 never comes on.
TEST(TimerResolutions, TheSelfResettingTimerPulsesOnlyAtOneHundredMilliseconds) {
    for (const auto& [timer, pulses] : {std::pair{37, 4}, {33, 0}, {32, 0}}) {
        SCOPED_TRACE(timer);
        const std::string t = "T" + std::to_string(timer);
        Rig r("LDN    " + t + "\r\nTON    " + t + ", " + (timer == 32 ? "1000" : timer == 33 ? "100" : "10") +
                  "\r\nLD     " + t + "\r\n=      Q0.0\r\n",
              true);
        int on = 0;
        r.sim.scan.afterPass = [&] { on += r.bit(kQ0); };
        r.sim.scan.continuousRun();
        r.clock.advanceTo(5000);
        EXPECT_EQ(on, pulses);
    }
}

TEST(RealCpuMemory, StopToRunKeepsTheMemoryStopSwitchesTheOutputsOffAPowerUpKeepsTheRetentiveRanges) {
    Rig r("LD     SM0.1\r\n=      M10.1\r\nLD     SM0.3\r\n=      M10.2\r\n"
          "LD     SM0.0\r\n=      Q0.0\r\nMOVB   7, MB0\r\nMOVB   9, MB20\r\nMOVW   1234, VW100\r\n"
          "LD     SM0.5\r\nLD     M1.0\r\nCTU    C3, 100\r\nLD     SM0.0\r\nTONR   T5, 1000\r\nTON    T40, 1000\r\n",
          true);
    r.sim.scan.powerUp();
    r.sim.scan.continuousRun();
    r.clock.advanceTo(60);  // the first pass, at 50
    EXPECT_TRUE(r.bit(area::M + 8 * 10 + 2)) << "SM0.3 in the first pass after a power-up";
    r.clock.advanceTo(1000);
    const auto& t5 = r.sim.memory.timers()[5];
    const auto& c3 = r.sim.memory.counters()[3];
    const std::int32_t c3Count = c3.Current;
    ASSERT_GT(c3Count, 0);

    r.sim.scan.stop();
    EXPECT_FALSE(r.bit(kQ0)) << "STOP switches the outputs off";
    r.set(area::M + 8 * 5 + 3, true);  // written in STOP (the panel, the status table)
    r.sim.scan.continuousRun();
    r.clock.advanceTo(1060);
    EXPECT_TRUE(r.bit(area::M + 8 * 5 + 3)) << "STOP to RUN keeps M";
    EXPECT_TRUE(r.bit(area::M + 8 * 10 + 1)) << "SM0.1 in the first pass";
    EXPECT_FALSE(r.bit(area::M + 8 * 10 + 2)) << "no SM0.3 without a power-up";
    EXPECT_GE(c3.Current, c3Count) << "and the counters";

    r.sim.scan.stop();
    const std::int32_t t5Value = t5.Current;
    ASSERT_GT(t5Value, 0);
    r.sim.scan.powerUp();
    EXPECT_EQ(r.sim.memory.GetByteValue(area::M), 0) << "MB0 is not retentive";
    EXPECT_EQ(r.sim.memory.GetByteValue(area::M + 8 * 20), 9) << "MB20 is";
    EXPECT_EQ(r.sim.memory.GetWordValue(area::V + 8 * 100), 1234) << "so is V";
    EXPECT_EQ(t5.Current, t5Value) << "a TONR keeps its value";
    EXPECT_EQ(r.sim.memory.timers()[40].Current, 0) << "a TON does not";
    EXPECT_EQ(c3.Current, r.sim.memory.counters()[3].Current);
    EXPECT_GE(c3.Current, c3Count) << "a counter keeps its value";
    EXPECT_FALSE(r.bit(area::C + 3)) << "but not its bit";
}

TEST(RealCpuMemory, WithoutTheModeEveryRunEntryClearsTheMemoryAndStopKeepsTheOutputs) {
    Rig r("LD     SM0.0\r\n=      Q0.0\r\nMOVW   1234, VW100\r\n", false);
    r.sim.scan.continuousRun();
    r.clock.advanceTo(100);
    r.sim.scan.stop();
    EXPECT_TRUE(r.bit(kQ0));
    r.sim.memory.tobit(77, area::V + 8 * 200, 8);
    r.sim.scan.continuousRun();
    r.clock.advanceTo(130);
    EXPECT_EQ(r.sim.memory.GetByteValue(area::V + 8 * 200), 0);
}

TEST(RealCpuCheck, ATimerOfTheWrongKindIsAWarningWithoutTheModeAndAnErrorWithIt) {
    Rig r("LD     I0.0\r\nTON    T5, 10\r\n", false);
    ASSERT_EQ(r.sim.findings().size(), 1u);
    EXPECT_TRUE(r.sim.findings()[0].warning);
    EXPECT_EQ(findingLogText(r.sim.findings()[0]), " 程序检查：第5行 TON T5, 10：警告，T5 是TONR定时器，不能用于TON/TOF");
    r.sim.setRealCpu(true);
    ASSERT_EQ(r.sim.findings().size(), 1u);
    EXPECT_FALSE(r.sim.findings()[0].warning);
}

}  // namespace
