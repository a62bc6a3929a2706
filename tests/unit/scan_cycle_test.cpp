#include <gtest/gtest.h>

#include <array>

#include "platform/scheduler.h"
#include "scan/scan_cycle.h"
#include "test_support.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

struct Parts : ScanParticipants {
    std::size_t codeLength = 100;
    int runStateChanges = 0;
    int refreshes = 0;
    int outputs = 0;
    bool faulting = false;  // every step before the outputs faults
    std::size_t codeTextLength() const override { return codeLength; }
    void runStateChanged() override { ++runStateChanges; }
    void refreshViews(bool, bool) override { ++refreshes; }
    bool pendingWrites() override {
        if (faulting) fault(FaultCode::AccessOutOfImage);
        return false;
    }
    void inputPhase() override {
        if (faulting) fault(FaultCode::AccessOutOfImage);
    }
    bool forceStep() override {
        if (faulting) fault(FaultCode::Overflow);
        return false;
    }
    void runInterrupts() override {
        if (faulting) fault(FaultCode::IndexOutOfRange);
    }
    void outputPhase() override { ++outputs; }
};

// A CPU whose program counts its passes in MW0 and copies SM0.1 into Q0.0 on every pass.
struct Rig {
    Cpu t;
    VirtualScheduler clock;
    AutoPrompt prompt;
    Parts parts;
    ScanCycle scan{clock, t.cpu, prompt, parts, t.log};
    std::vector<std::int64_t> passTimes;
    Rig() {
        t.program({{"Network", {{1}}},
                   {"LD", {{double(area::SM0_1)}}},
                   {"=", {{double(Q(0, 0))}}},
                   {"LD", {{double(area::SM0_3)}}},
                   {"=", {{double(Q(0, 1))}}}});
        scan.afterPass = [this] { passTimes.push_back(clock.nowMs()); };
    }
    std::uint64_t passes() const { return scan.passes(); }
};

TEST(ScanCycle, APassRunsOnEveryTickWhoseTimeIsAMultipleOfTheTaskPeriod) {
    struct Case {
        int period;
        std::vector<std::int64_t> firstPasses;
    } cases[] = {{10, {10, 20, 30, 40}}, {30, {30, 60, 90, 120}}, {50, {50, 100, 150, 200}}, {3000, {3000, 6000}}};
    for (const auto& c : cases) {
        Rig r;
        r.scan.setTaskPeriod(c.period);
        r.scan.continuousRun();
        r.clock.advanceTo(c.firstPasses.back());
        EXPECT_EQ(r.passTimes, c.firstPasses) << "period " << c.period;
        EXPECT_EQ(r.scan.state().tickCounter, c.firstPasses.back() / 10);
    }
}

TEST(ScanCycle, APeriodOfZeroOrLessIsIgnored) {
    for (int bad : {0, -50}) {
        Rig r;
        r.scan.setTaskPeriod(30);
        r.scan.setTaskPeriod(bad);
        EXPECT_EQ(r.scan.state().taskPeriod, 30) << bad;
        r.scan.continuousRun();
        r.clock.advanceTo(90);
        EXPECT_EQ(r.passTimes, (std::vector<std::int64_t>{30, 60, 90})) << bad;
    }
}

TEST(ScanCycle, AFaultInOneStepOfTheTickLeavesTheOtherStepsToRun) {
    Rig r;
    r.parts.faulting = true;
    r.scan.continuousRun();
    r.clock.advanceTo(100);
    EXPECT_EQ(r.passTimes, (std::vector<std::int64_t>{50, 100}));
    EXPECT_EQ(r.parts.outputs, 10);
    EXPECT_EQ(r.parts.refreshes, 1);
}

TEST(ScanCycle, StoppedTicksRunNoPassButKeepTicking) {
    Rig r;
    r.clock.advanceTo(1000);
    EXPECT_EQ(r.passes(), 0u);
    EXPECT_EQ(r.scan.state().tickCounter, 100);
    EXPECT_EQ(r.parts.refreshes, 10);
}

TEST(RunModes, RunEntryClearsTheImageAndSetsSm03ForTheFirstPassOnly) {
    Rig r;
    r.t.mem.setCell(V(5, 0), kOn);
    r.t.mem.timers()[3].Current = 9;
    r.t.mem.timers()[3].Kind = 1;
    r.scan.continuousRun();
    EXPECT_FALSE(r.t.bit(V(5, 0)));
    EXPECT_EQ(r.t.mem.timers()[3].Current, 0);
    EXPECT_EQ(r.t.mem.timers()[3].Kind, 1);
    EXPECT_TRUE(r.t.bit(area::SM0_3));
    EXPECT_TRUE(r.t.bit(area::SM + 8 * 86 + 7));
    EXPECT_TRUE(r.t.bit(area::SM + 8 * 4 + 5));
    r.clock.advanceTo(50);
    EXPECT_TRUE(r.t.bit(Q(0, 0)));  // SM0.1
    EXPECT_TRUE(r.t.bit(Q(0, 1)));  // SM0.3
    r.clock.advanceTo(100);
    EXPECT_FALSE(r.t.bit(Q(0, 0)));
    EXPECT_FALSE(r.t.bit(Q(0, 1)));
}

TEST(RunModes, SinglePassFromStopClearsRunsOnePassAndPausesThenContinuesWithoutClearing) {
    Rig r;
    r.t.mem.setCell(V(0, 0), kOn);
    r.scan.singlePass();
    EXPECT_TRUE(r.scan.running());
    EXPECT_FALSE(r.t.bit(V(0, 0)));
    r.clock.advanceTo(200);
    EXPECT_EQ(r.passTimes, (std::vector<std::int64_t>{50}));
    EXPECT_EQ(r.scan.state().mode, Mode::Pause);
    r.t.mem.setCell(V(0, 0), kOn);
    r.scan.singlePass();
    r.clock.advanceTo(400);
    EXPECT_EQ(r.passTimes, (std::vector<std::int64_t>{50, 250}));
    EXPECT_TRUE(r.t.bit(V(0, 0)));
    EXPECT_FALSE(r.t.bit(Q(0, 0)));  // SM0.1 only in the very first pass
}

TEST(RunModes, FirstScanWhileRunningRestartsAndRunsOnePassWithoutWaitingForAPeriodTick) {
    Rig r;
    r.scan.continuousRun();
    r.clock.advanceTo(120);
    ASSERT_EQ(r.passes(), 2u);
    r.t.mem.setCell(V(0, 0), kOn);
    r.scan.firstScan();
    EXPECT_FALSE(r.t.bit(V(0, 0)));
    r.clock.advanceTo(130);
    EXPECT_EQ(r.passTimes.back(), 130);
    EXPECT_TRUE(r.t.bit(Q(0, 0)));  // SM0.1 again after the restart
    EXPECT_EQ(r.scan.state().mode, Mode::Pause);
    r.clock.advanceTo(1000);
    EXPECT_EQ(r.passes(), 3u);
}

TEST(RunModes, CountedPassesRunThatManyThenPause) {
    struct Case {
        std::int32_t answer;
        std::uint64_t passes;
    } cases[] = {{3, 3}, {70000, 1}, {-5, 1}, {0, 0}, {1, 1}};
    for (const auto& c : cases) {
        Rig r;
        r.scan.countedPasses(c.answer);
        r.clock.advanceTo(2000);
        EXPECT_EQ(r.passes(), c.passes) << c.answer;
        EXPECT_EQ(r.scan.state().mode, Mode::Pause) << c.answer;
        EXPECT_TRUE(r.scan.running());
    }
}

TEST(RunModes, TheCountDialogAnswerIsReadAsANumberOrTheCommandIsIgnored) {
    struct Case {
        std::optional<std::string> answer;  // nullopt: the dialog is cancelled
        bool started;
        std::uint64_t passes;
    } cases[] = {{"2", true, 2},         {" 2 ", true, 2}, {"abc", false, 0}, {"", false, 0},
                 {std::nullopt, false, 0}, {"99999999999999", false, 0},
                 // read as an integer: rounded to nearest, ties to even
                 {"2.5", true, 2},         {"3.5", true, 4}, {"+3", true, 3}, {"1E1", true, 10},
                 {"1,5", false, 0},        {"0x5", false, 0}, {"3 3", false, 0}};
    for (const auto& c : cases) {
        Rig r;
        r.prompt.inputAnswer = c.answer;
        r.prompt.cancelInput = !c.answer;
        r.scan.countedPasses();
        ASSERT_FALSE(r.prompt.asked.empty());
        EXPECT_EQ(r.prompt.asked.front(), "输入指定运行次数");
        EXPECT_EQ(r.scan.running(), c.started) << c.answer.value_or("(cancel)");
        r.clock.advanceTo(1000);
        EXPECT_EQ(r.scan.passes(), c.passes) << c.answer.value_or("(cancel)");
    }
}

TEST(RunModes, PauseWhileStoppedShowsTheMessageAndStaysStopped) {
    Rig r;
    r.scan.pauseButton();
    EXPECT_FALSE(r.scan.running());
    EXPECT_EQ(r.scan.state().mode, Mode::Stop);
    ASSERT_EQ(r.prompt.informed.size(), 2u);
    EXPECT_EQ(r.prompt.informed[0], "如果不是全速运行，则可能所有通信都不正常");
    EXPECT_EQ(r.prompt.informed[1], "已经是停止状态，不能置于暂停");
    r.scan.pauseMenu();
    EXPECT_EQ(r.scan.state().mode, Mode::Stop);
}

TEST(RunModes, TheSlowModeWarningIsShownOnce) {
    Rig r;
    r.scan.onePerSecond();
    r.scan.singlePass();
    r.scan.continuousRun();
    EXPECT_EQ(r.prompt.informed, (std::vector<std::string>{"如果不是全速运行，则可能所有通信都不正常"}));
}

TEST(RunModes, OnePassPerSecondRunsOnTicksThatAreBothSecondAndPeriodTicks) {
    Rig r;
    r.scan.onePerSecond();
    r.clock.advanceTo(3500);
    EXPECT_EQ(r.passTimes, (std::vector<std::int64_t>{1000, 2000, 3000}));
}

TEST(RunModes, InPauseSm05AndTheTimerBaseGoOnButNoPassRuns) {
    Rig r;
    r.t.prog.CodeTable[2].setMnemonic("TON");
    r.t.prog.CodeTable[2].setOperand(0, area::T + 37, kind::Timer);
    r.t.prog.CodeTable[2].setOperand(1, 1000);
    r.t.mem.timers()[37].Kind = 1;
    r.t.prog.CodeTable[1].setMnemonic("LD");
    r.t.prog.CodeTable[1].setOperand(0, area::SM0_0);
    r.scan.continuousRun();
    r.clock.advanceTo(50);
    r.scan.pauseButton();
    const auto passes = r.passes();
    const auto before = r.t.mem.timers()[37].Current;
    bool sm05Seen[2] = {false, false};
    for (int ms = 60; ms <= 2000; ms += 10) {
        r.clock.advanceTo(ms);
        sm05Seen[r.t.bit(area::SM0_5)] = true;
    }
    EXPECT_EQ(r.passes(), passes);
    EXPECT_TRUE(sm05Seen[0] && sm05Seen[1]);
    EXPECT_GT(r.t.mem.timers()[37].Current, before + 20);  // 80 ms time base: about 24 events
}

TEST(RunModes, Sm05TogglesEvery500MsAndSm04Every30sInRunAndBothHoldInStop) {
    Rig r;
    r.scan.continuousRun();
    std::vector<bool> seen;
    for (int ms = 250; ms <= 2000; ms += 500) {
        r.clock.advanceTo(ms);
        seen.push_back(r.t.bit(area::SM0_5));
    }
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false, true}));
    std::vector<bool> sm04;
    for (int ms : {29990, 30010, 59990, 60010, 75000}) {
        r.clock.advanceTo(ms);
        sm04.push_back(r.t.bit(area::SM0_4));
    }
    EXPECT_EQ(sm04, (std::vector<bool>{false, true, true, false, false}));
    r.scan.stop();
    const bool held = r.t.bit(area::SM0_5);
    r.clock.advanceTo(95000);
    EXPECT_EQ(r.t.bit(area::SM0_5), held);
    EXPECT_FALSE(r.t.bit(area::SM0_4)) << "held off, though 90 s have passed since RUN entry";
    // RUN entry starts the minute again: off for 30 s.
    r.scan.continuousRun();
    r.clock.advanceTo(124990);
    EXPECT_FALSE(r.t.bit(area::SM0_4));
    r.clock.advanceTo(125010);
    EXPECT_TRUE(r.t.bit(area::SM0_4));
}

TEST(ScanCycle, ScanTimesAreTheTimesBetweenPassesSinceRunEntry) {
    Rig r;
    using Times = std::array<double, 3>;  // SMW22 last, SMW24 shortest, SMW26 longest
    std::vector<Times> seen;
    const auto word = [&](int n) { return r.t.mem.GetWordValue(area::SM + 8 * n); };
    r.scan.afterPass = [&] { seen.push_back({word(22), word(24), word(26)}); };
    r.scan.continuousRun();
    r.clock.advanceTo(150);  // passes at 50, 100, 150
    r.scan.setTaskPeriod(30);
    r.clock.advanceTo(240);  // at 180, 210, 240
    r.scan.pauseButton();
    r.clock.advanceTo(1000);
    r.scan.singlePass();     // the next period tick: 1020
    r.clock.advanceTo(1100);
    EXPECT_EQ(seen, (std::vector<Times>{{0, 0, 0}, {50, 50, 50}, {50, 50, 50}, {30, 30, 50}, {30, 30, 50},
                                        {30, 30, 50}, {780, 30, 780}}));
    // A scan beyond the word's positive range counts as 32767 ms.
    r.clock.advanceTo(50000);
    r.scan.singlePass();
    r.clock.advanceTo(50100);
    EXPECT_EQ(seen.back(), (Times{32767, 30, 32767}));
    // RUN entry starts over: the first pass sees no scan.
    seen.clear();
    r.scan.stop();
    r.scan.continuousRun();
    r.clock.advanceBy(60);
    EXPECT_EQ(seen, (std::vector<Times>{{0, 0, 0}, {30, 30, 30}}));
}

TEST(RunModes, StopKeepsTheImageAndResetsTheScanCounter) {
    Rig r;
    r.scan.continuousRun();
    r.clock.advanceTo(100);
    r.t.mem.setCell(Q(1, 0), kOn);
    r.scan.stop();
    EXPECT_FALSE(r.scan.running());
    EXPECT_TRUE(r.t.bit(Q(1, 0)));
    EXPECT_EQ(r.t.cpu.scanCounter, 0);
    r.scan.modeSwitch();
    EXPECT_TRUE(r.scan.running());
    EXPECT_FALSE(r.t.bit(Q(1, 0)));
    r.scan.modeSwitch();
    EXPECT_FALSE(r.scan.running());
}

TEST(RunModes, WithoutCodeTheQuestionIsAskedAndCancelStops) {
    Rig r;
    r.parts.codeLength = 0;
    r.prompt.answer = false;
    r.scan.continuousRun();
    EXPECT_FALSE(r.scan.running());
    EXPECT_EQ(r.prompt.asked, (std::vector<std::string>{"没有装载代码，是否继续运行"}));
    r.prompt.answer = true;
    r.scan.continuousRun();
    EXPECT_TRUE(r.scan.running());
    // Cancelling while running stops fully: the timer base no longer runs.
    r.prompt.answer = false;
    r.scan.singlePass();
    EXPECT_FALSE(r.scan.running());
    r.t.mem.timers()[1].Kind = 1;
    r.t.mem.timers()[1].Flag = -1;
    r.clock.advanceTo(1000);
    EXPECT_EQ(r.t.mem.timers()[1].Current, 0);
}

TEST(RunModes, TheClearCountButtonSetsTheCounterToOneWhenAboveOne) {
    Rig r;
    r.scan.continuousRun();
    r.clock.advanceTo(500);
    ASSERT_EQ(r.t.cpu.scanCounter, 10);
    r.scan.clearCount();
    EXPECT_EQ(r.t.cpu.scanCounter, 1);
    r.t.cpu.scanCounter = 0;
    r.scan.clearCount();
    EXPECT_EQ(r.t.cpu.scanCounter, 0);
}

TEST(RunModes, TheTimeBaseListRetimesTheTimerBaseAtOnce) {
    Rig r;
    r.t.mem.timers()[1].Kind = 3;  // TONR counts while its Flag is on
    r.scan.continuousRun();
    r.t.mem.timers()[1].Flag = -1;
    r.scan.setTimeBase(30);
    r.clock.advanceTo(300);
    EXPECT_EQ(r.t.mem.timers()[1].Current, 10);
}

}  // namespace
