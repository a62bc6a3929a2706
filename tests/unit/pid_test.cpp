// The PID loop: sample time, the computation, transfer to automatic, limits and
// anti-windup, step failures, and closed loops on a simulated first-order plant.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "flow_test_rig.h"

using namespace flowtest;

namespace {

constexpr int kTable = 100;  // VB100
enum Field { PV = 0, SP = 4, M = 8, Kc = 12, Ts = 16, Ti = 20, Td = 24, MX = 28, PVprev = 32 };

// LD I0.0 (the enable); PID VB100, loop; = Q0.0.
struct PidRig : Rig {
    explicit PidRig(double loop = 0) {
        load(ob({{"LD", {I(0, 0)}}, {"PID", {VB(kTable), k(loop)}}, {"=", {Q(0, 0)}}}));
        set(Ibit(0, 0), true);
    }
    void put(Field f, double v) { mem.SetRealValue(Vkey(kTable + f), v); }
    double get(Field f) const { return mem.GetRealValue(Vkey(kTable + f)); }
    PidLoopState& loop() { return cpu.pidLoops[0]; }
    const CodeLine& pidLine() const { return prog.CodeTable[4]; }
    void passAt(std::uint32_t tick) {
        cpu.tick = tick;
        pass();
    }
};

// --- one computation of a loop that was running before ------------------------------------

struct ComputeCase {
    const char* name;
    float pv, sp, m, kc, ts, ti, td, mx, pvPrev;
    float lastMI, lastMD;  // terms of the previous computation
    bool started;
    double expectM, expectMX;
};

class PidComputation : public ::testing::TestWithParam<ComputeCase> {};

TEST_P(PidComputation, GivesTheOutputAndBias) {
    const ComputeCase& c = GetParam();
    PidRig r;
    r.put(PV, c.pv);
    r.put(SP, c.sp);
    r.put(M, c.m);
    r.put(Kc, c.kc);
    r.put(Ts, c.ts);
    r.put(Ti, c.ti);
    r.put(Td, c.td);
    r.put(MX, c.mx);
    r.put(PVprev, c.pvPrev);
    r.loop().enabledBefore = true;
    r.loop().started = c.started;
    r.loop().MI = c.lastMI;
    r.loop().MD = c.lastMD;
    r.passAt(1000);
    EXPECT_NEAR(r.get(M), c.expectM, 1e-5);
    EXPECT_NEAR(r.get(MX), c.expectMX, 1e-5);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(PVprev)), c.pv);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(SP)), c.sp);  // no transfer
    EXPECT_EQ(r.loop().lastTick, 1000u);
    EXPECT_TRUE(r.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PidComputation,
    ::testing::Values(
        // MP = 0.2, MI = 2 x 1/60 x 0.1 + 0.1.
        ComputeCase{"Proportional", 0.5f, 0.6f, 0, 2, 1, 1, 0, 0.1f, 0.5f, 0, 0, true, 0.2 + 0.1 / 30 + 0.1, 0.1 / 30 + 0.1},
        // Kc = 0: no proportional part, the integral acts with gain 1.
        ComputeCase{"ZeroGain", 0.5f, 0.6f, 0, 0, 1, 1, 0, 0.1f, 0.5f, 0, 0, true, 0.1 / 60 + 0.1, 0.1 / 60 + 0.1},
        // MP = 0.9, MI = 0.5: M would be 1.4.
        ComputeCase{"HighLimit", 0.5f, 0.95f, 0, 2, 1, 1e6f, 0, 0.5f, 0.5f, 0, 0, true, 1.0, 0.1},
        // MP = -0.6, MI = 0.2: M would be -0.4.
        ComputeCase{"LowLimit", 0.5f, 0.2f, 0, 2, 1, 1e6f, 0, 0.2f, 0.5f, 0, 0, true, 0.0, 0.6},
        // MD = 1 x 60 x 0.01 / 1 x (0.4 - 0.5).
        ComputeCase{"Derivative", 0.5f, 0.5f, 0, 1, 1, 1e6f, 0.01f, 0.3f, 0.4f, 0, 0, true, 0.24, 0.3},
        // The bias alone is limited: M = -0.4 + 1.2 stays, MX := 1.
        ComputeCase{"BiasLimit", 0.5f, 0.3f, 0, 2, 1, 1e6f, 0, 1.2f, 0.5f, 0, 0, true, 0.8, 1.0},
        // The first computation takes PVprev from PV, not from the table.
        ComputeCase{"FirstComputation", 0.5f, 0.5f, 0, 1, 1, 1e6f, 0.5f, 0.3f, 0.1f, 0, 0, false, 0.3, 0.3},
        // Ti = 0: the integral step fails, MI keeps its last value and MX stays as read.
        ComputeCase{"IntegralStepFails", 0.5f, 0.6f, 0, 2, 1, 0, 0, 0.1f, 0.5f, 0.25f, 0, true, 0.45, 0.1},
        // Ts = 0: computed at once; the derivative step fails and MD keeps its last value.
        ComputeCase{"DerivativeStepFails", 0.5f, 0.6f, 0, 2, 0, 1, 0, 0.1f, 0.5f, 0, 0.05f, true, 0.35, 0.1}),
    [](const auto& p) { return std::string(p.param.name); });

// --- sample time, transfer, status --------------------------------------------------------

TEST(PidSampleTime, ComputesOnlyWhenTheSampleTimeHasElapsedInScanTicks) {
    struct Case {
        float ts;
        std::vector<std::uint32_t> ticks;
    };
    for (const Case& c : {Case{0.5f, {50, 100, 150}}, Case{0.0f, {1, 2, 3, 4, 5}}, Case{0.1f, {10, 20}}}) {
        PidRig r;
        r.put(Ts, c.ts);
        r.put(Kc, 1);
        r.put(Ti, 1);
        std::vector<std::uint32_t> computed;
        const std::uint32_t last = c.ticks.back();
        const std::uint32_t end = c.ts == 0 ? last : last + 5;
        for (std::uint32_t t = 1; t <= end; ++t) {
            const std::uint32_t before = r.loop().lastTick;
            r.put(PVprev, 0.77);
            r.passAt(t);
            if (r.loop().lastTick != before) {
                computed.push_back(t);
            } else {
                EXPECT_FLOAT_EQ(static_cast<float>(r.get(PVprev)), 0.77f) << t;  // untouched
            }
        }
        EXPECT_EQ(computed, c.ticks) << c.ts;
    }
}

TEST(PidTransfer, ToAutomaticTakesTheSetPointFromTheProcessAndKeepsTheOutput) {
    PidRig r;
    r.put(PV, 0.4);
    r.put(SP, 0.9);
    r.put(M, 0.7);
    r.put(Kc, 2);
    r.put(Ts, 0.1f);
    r.put(Ti, 1);
    r.put(Td, 0.5f);
    r.put(MX, 0.2);
    r.put(PVprev, 0.1);
    r.set(Ibit(0, 0), false);
    r.passAt(5);
    EXPECT_FALSE(r.loop().enabledBefore);
    r.set(Ibit(0, 0), true);
    r.passAt(10);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(SP)), 0.4f);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(M)), 0.7f);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(MX)), 0.7f);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(PVprev)), 0.4f);
}

TEST(PidTransfer, IsNotMadeWhenTheFirstScanWithPowerFlowIsNoSampleTime) {
    PidRig r;
    r.put(PV, 0.4);
    r.put(SP, 0.9);
    r.put(Kc, 1);
    r.put(Ts, 0.1f);
    r.put(Ti, 1);
    r.set(Ibit(0, 0), false);
    r.passAt(1);
    r.set(Ibit(0, 0), true);
    r.passAt(2);  // not a sample time: enabled-before becomes on
    r.passAt(10);
    EXPECT_EQ(r.loop().lastTick, 10u);
    EXPECT_FLOAT_EQ(static_cast<float>(r.get(SP)), 0.9f);
    EXPECT_GT(r.get(M), 0.5);
}

TEST(PidStatus, ShowsTheOutputAndLoopNumberAndPassesThePowerFlowOn) {
    for (bool enable : {true, false}) {
        PidRig r;
        r.put(M, 0.25);
        r.put(Ts, 100);
        r.set(Ibit(0, 0), enable);
        r.passAt(1);
        const CodeLine& line = r.pidLine();
        EXPECT_FLOAT_EQ(static_cast<float>(r.prog.runStatusOf(line).StatusValue[0]), 0.25f);
        EXPECT_EQ(r.prog.runStatusOf(line).StatusKind[0], 7);
        EXPECT_EQ(r.prog.runStatusOf(line).StatusValue[1], 0);
        EXPECT_EQ(r.prog.runStatusOf(line).StatusKind[1], 1);
        EXPECT_EQ(r.on(Qbit(0, 0)), enable);
        EXPECT_EQ(r.loop().enabledBefore, enable);
    }
}

TEST(PidFailure, LoopNumberOutsideZeroToSevenIsARunTimeError) {
    for (bool enable : {true, false}) {
        PidRig r(8);
        r.set(Ibit(0, 0), enable);
        r.put(Ts, 0);
        r.put(Kc, 1);
        r.put(SP, 0.5);
        r.passAt(1);
        ASSERT_EQ(r.sink.lines.size(), 1u);
        EXPECT_EQ(r.sink.lines[0], "12:00:00 运行代码错误:iPC=4,astrCode=PID");
        EXPECT_EQ(r.get(M), 0.0);
    }
}

TEST(PidFailure, TableOutsideTheImageSkipsEveryTableStepQuietly) {
    PidRig r;
    r.prog.CodeTable[4].setOperand(0, area::LastCell - 8, kind::Byte);
    r.passAt(1);
    r.passAt(2);
    EXPECT_TRUE(r.sink.lines.empty());
    EXPECT_EQ(r.cpu.scanCounter, 2);
    EXPECT_TRUE(r.on(Qbit(0, 0)));
}

// --- closed loops -------------------------------------------------------------------------

// A first-order plant PV' = (gain x M - PV) / tau, stepped every 10 ms scan tick, with the
// PID running in every pass. Returns the PV trace, one value per tick.
struct Plant {
    double gain;
    double tau;
};

std::vector<double> runLoop(PidRig& r, const Plant& plant, int ticks, double& pv) {
    std::vector<double> trace;
    for (int i = 0; i < ticks; ++i) {
        r.put(PV, pv);
        r.passAt(r.cpu.tick + 1);
        const double m = r.get(M);
        EXPECT_GE(m, 0.0);
        EXPECT_LE(m, 1.0);
        pv += 0.01 / plant.tau * (plant.gain * m - pv);
        trace.push_back(pv);
    }
    return trace;
}

// The first computation makes the transfer (SP := PV); the set point is written after it.
void startLoop(PidRig& r, double setPoint, double& pv, double gain, double tiSeconds) {
    r.put(Kc, gain);
    r.put(Ts, 0.1f);
    r.put(Ti, tiSeconds / 60);
    r.put(Td, 0);
    r.put(PV, pv);
    r.passAt(10);
    ASSERT_EQ(r.loop().lastTick, 10u);
    r.put(SP, setPoint);
}

TEST(PidClosedLoop, SettlesAFirstOrderPlantAtTheSetPoint) {
    PidRig r;
    double pv = 0;
    const Plant plant{1.0, 5.0};
    startLoop(r, 0.6, pv, 3, 3);
    const std::vector<double> trace = runLoop(r, plant, 3000, pv);
    // Within 1 % of the set point after 10 s, and staying there; at most 5 % overshoot.
    for (std::size_t i = 1000; i < trace.size(); ++i) ASSERT_NEAR(trace[i], 0.6, 0.006) << "tick " << i;
    double peak = 0;
    for (double v : trace) peak = std::max(peak, v);
    EXPECT_LT(peak, 0.63);
}

TEST(PidClosedLoop, SaturatedOutputDoesNotWindUpTheBias) {
    // Plant gain 0.5: the set point 0.8 cannot be reached, the output stays at its limit.
    PidRig r;
    double pv = 0;
    const Plant plant{0.5, 2.0};
    startLoop(r, 0.8, pv, 1, 3);
    runLoop(r, plant, 3000, pv);
    EXPECT_EQ(r.get(M), 1.0);
    EXPECT_NEAR(pv, 0.5, 0.01);
    EXPECT_LE(r.get(MX), 1.0);
    // The bias is held where the output just reaches the limit (1 - MP = 0.7), not summed up.
    EXPECT_NEAR(r.get(MX), 1.0 - r.loop().MP, 1e-6);
    EXPECT_NEAR(r.get(MX), 0.7, 0.01);
    // A reachable set point: the output leaves the limit at the next computation and the
    // process settles within 1 % after 8 s.
    r.put(SP, 0.3);
    const std::vector<double> trace = runLoop(r, plant, 1500, pv);
    for (std::size_t i = 800; i < trace.size(); ++i) ASSERT_NEAR(trace[i], 0.3, 0.006) << "tick " << i;
    EXPECT_LT(r.get(M), 1.0);
    double firstBelow = -1;
    for (std::size_t i = 0; i < trace.size(); ++i)
        if (trace[i] < trace[0]) {
            firstBelow = static_cast<double>(i);
            break;
        }
    EXPECT_GE(firstBelow, 0);
    EXPECT_LE(firstBelow, 10);
}

}  // namespace
