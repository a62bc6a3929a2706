#include <gtest/gtest.h>

#include "test_support.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

// --- contacts and coils ------------------------------------------------------------------

struct LogicCase {
    const char* name;
    const char* op;     // the instruction between LD I0.0 and = Q0.0
    bool i0, i1;
    bool q;
};

class ContactLogic : public ::testing::TestWithParam<LogicCase> {};

TEST_P(ContactLogic, CombinesTheLogicResultWithTheCell) {
    const auto& c = GetParam();
    Cpu t;
    t.program({{"LD", {{double(I(0, 0))}}}, {c.op, {{double(I(0, 1))}}}, {"=", {{double(Q(0, 0))}}}});
    t.set(I(0, 0), c.i0);
    t.set(I(0, 1), c.i1);
    t.pass();
    EXPECT_EQ(t.bit(Q(0, 0)), c.q);
    EXPECT_TRUE(t.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Truth, ContactLogic,
    ::testing::Values(LogicCase{"A_on_off", "A", true, false, false}, LogicCase{"A_on_on", "A", true, true, true},
                      LogicCase{"AN_on_off", "AN", true, false, true}, LogicCase{"AN_on_on", "AN", true, true, false},
                      LogicCase{"O_off_on", "O", false, true, true}, LogicCase{"O_off_off", "O", false, false, false},
                      LogicCase{"ON_off_off", "ON", false, false, true}, LogicCase{"ON_off_on", "ON", false, true, false},
                      LogicCase{"LDN_on_on", "LDN", true, true, false}, LogicCase{"LDN_on_off", "LDN", true, false, true}),
    [](const auto& p) { return std::string(p.param.name); });

// A contact whose key lies outside the image ends the pass as a run-time error, after the
// line recorded the logic result it was entered with; a fractional key rounds ties to even;
// a coil on SM1.1 shows its own ENO off.
TEST(BitLogic, ContactKeysRoundOrFaultAndTheFaultingLineKeepsItsEntryFlow) {
    Cpu t;
    t.program({{"Network", {{1}}}, {"LD", {{I(0, 0) + 0.5}}}, {"=", {{double(area::SM1_1)}}},
               {"A", {{-3}}}, {"=", {{double(Q(0, 0))}}}});
    t.set(I(0, 0), true);
    t.pass();
    EXPECT_EQ(t.prog.runStatusOf(t.line(2)).StatusValue[0], -1) << "I0.0 + 0.5 rounds to I0.0";
    EXPECT_FALSE(lineStatus(t.prog, t.line(3)).enoShown) << "SM1.1 is on after the coil wrote it";
    EXPECT_TRUE(lineStatus(t.prog, t.line(4)).flowBefore);
    EXPECT_FALSE(t.bit(Q(0, 0)));
    ASSERT_EQ(t.sink.lines.size(), 1u);
    EXPECT_EQ(t.sink.lines[0], "12:00:00 运行代码错误:iPC=4,astrCode=A");
}

TEST(BitLogic, StatusOfContactsAndCoilsRecordsTheCellFlowAndStack) {
    Cpu t;
    t.program({{"Network", {{1}}}, {"LD", {{double(I(0, 0))}}}, {"A", {{double(I(0, 1))}}}, {"=", {{double(Q(0, 0))}}}});
    t.set(I(0, 0), true);
    t.pass();
    EXPECT_FALSE(t.bit(Q(0, 0)));
    const CodeLine& ld = t.line(2);
    EXPECT_EQ(t.prog.runStatusOf(ld).StatusValue[0], -1);
    EXPECT_TRUE(lineStatus(t.prog, ld).flowBefore);  // Network starts with power flow
    EXPECT_TRUE(lineStatus(t.prog, ld).flowAfter);
    // LD pushed the Network's logic result into entry 0.
    EXPECT_EQ(lineStatus(t.prog, ld).stackText(), "1100");
    const CodeLine& a = t.line(3);
    EXPECT_EQ(t.prog.runStatusOf(a).StatusValue[0], 0);
    EXPECT_FALSE(lineStatus(t.prog, a).flowAfter);
    EXPECT_EQ(lineStatus(t.prog, t.line(4)).stackText(), "0100");
    EXPECT_TRUE(lineStatus(t.prog, t.line(4)).enoShown);
    EXPECT_EQ(t.line(1).HasStatus, 0);
}

TEST(BitLogic, TimerAndCounterOperandsAreTheirBitCells) {
    Cpu t;
    t.program({{"LD", {{double(area::T + 37), kind::Timer}}}, {"=", {{double(Q(0, 1))}}}});
    t.mem.setCell(area::T + 37, kOn);
    t.pass();
    EXPECT_TRUE(t.bit(Q(0, 1)));
}

// --- the logic stack ---------------------------------------------------------------------

TEST(LogicStack, OverflowDropsPushesAndUnderflowYieldsZero) {
    Cpu t;
    t.program({{"Network", {{1}}}});
    t.pass();
    for (int i = 0; i < 33; ++i) t.cpu.push(kOn);
    EXPECT_EQ(t.cpu.top, 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(t.cpu.pop(), kOn);
    EXPECT_EQ(t.cpu.top, 0);
    EXPECT_EQ(t.cpu.pop(), 0);
    EXPECT_EQ(t.cpu.top, 0);
}

TEST(LogicStack, ThirtyThreeLoadsLeaveTopAt32AndAldWithAnEmptyStackAndsWithZero) {
    Cpu t;
    t.set(I(0, 0), true);
    t.program({{"Network", {{1}}}});
    for (int i = 0; i < 33; ++i) {
        CodeLine ld;
        ld.setMnemonic("LD");
        ld.setOperand(0, I(0, 0));
        t.prog.CodeTable.insert(t.prog.CodeTable.end() - 1, ld);
    }
    t.prog.CodeTable.back().setOperand(0, t.prog.lastIndex());
    t.pass();
    EXPECT_EQ(t.cpu.top, 32);

    // Network, LD (pushes the Network's flow), LPP (pops it), ALD with top 0 ANDs with 0.
    t.program({{"Network", {{1}}}, {"LD", {{double(I(0, 0))}}}, {"LPP", {}}, {"ALD", {}}, {"=", {{double(Q(0, 0))}}}});
    t.mem.setBit(Q(0, 0), true);
    t.pass();
    EXPECT_FALSE(t.bit(Q(0, 0)));
    EXPECT_EQ(t.cpu.top, 0);
}

TEST(LogicStack, LdsCopiesAnEntryBelowTheTop) {
    // LD I0.0 (on), LD I0.1 (off): stack holds [Network flow, on], logic result off.
    // LDS 0 pushes off and loads entry [top-1] = off (itself); LDS 1 loads the entry below.
    struct Case {
        int n;
        bool expect;
    } cases[] = {{0, false}, {1, true}};
    for (const auto& c : cases) {
        Cpu t;
        t.program({{"Network", {{1}}}, {"LD", {{double(I(0, 0))}}}, {"LD", {{double(I(0, 1))}}}, {"LDS", {{double(c.n)}}},
                   {"=", {{double(Q(0, 0))}}}});
        t.set(I(0, 0), true);
        t.pass();
        EXPECT_EQ(t.bit(Q(0, 0)), c.expect) << "LDS " << c.n;
    }
}

TEST(LogicStack, StackInstructionsBranchANetwork) {
    // LD I0.0; LPS; A I0.1; = Q0.0; LRD; A I0.2; = Q0.1; LPP; AN I0.3; = Q0.2
    Cpu t;
    t.program({{"Network", {{1}}},
               {"LD", {{double(I(0, 0))}}},
               {"LPS", {}},
               {"A", {{double(I(0, 1))}}},
               {"=", {{double(Q(0, 0))}}},
               {"LRD", {}},
               {"A", {{double(I(0, 2))}}},
               {"=", {{double(Q(0, 1))}}},
               {"LPP", {}},
               {"AN", {{double(I(0, 3))}}},
               {"=", {{double(Q(0, 2))}}},
               {"LD", {{double(I(0, 1))}}},
               {"O", {{double(I(0, 2))}}},
               {"LD", {{double(I(0, 0))}}},
               {"OLD", {}},
               {"NOT", {}},
               {"=", {{double(Q(0, 3))}}}});
    t.set(I(0, 0), true);
    t.set(I(0, 2), true);
    t.pass();
    EXPECT_FALSE(t.bit(Q(0, 0)));
    EXPECT_TRUE(t.bit(Q(0, 1)));
    EXPECT_TRUE(t.bit(Q(0, 2)));
    EXPECT_FALSE(t.bit(Q(0, 3)));
}

// --- edges -------------------------------------------------------------------------------

TEST(Edges, EuIsOnOnlyInThePassWhereTheInputRoseAndEdOnlyWhereItFell) {
    Cpu t;
    t.program({{"Network", {{1}}}, {"LD", {{double(I(0, 0))}}}, {"EU", {{double(area::Edge + 0)}}}, {"=", {{double(Q(0, 0))}}},
               {"Network", {{2}}}, {"LD", {{double(I(0, 0))}}}, {"ED", {{double(area::Edge + 1)}}}, {"=", {{double(Q(0, 1))}}}});
    const bool input[] = {false, true, true, false, false, true};
    const bool up[] = {false, true, false, false, false, true};
    const bool down[] = {false, false, false, true, false, false};
    for (int p = 0; p < 6; ++p) {
        t.set(I(0, 0), input[p]);
        t.pass();
        EXPECT_EQ(t.bit(Q(0, 0)), up[p]) << "pass " << p;
        EXPECT_EQ(t.bit(Q(0, 1)), down[p]) << "pass " << p;
    }
}

// --- set and reset -----------------------------------------------------------------------

struct SetResetCase {
    const char* name;
    const char* op;
    int key;
    int keyKind;
    int count;
    int firstChanged, lastChanged;  // cells expected to change
    int firstUnchanged;              // a cell right after the run that must stay as it was
};

class SetReset : public ::testing::TestWithParam<SetResetCase> {};

TEST_P(SetReset, ChangesTheRunOfBitsCutAtTheEndOfItsArea) {
    const auto& c = GetParam();
    Cpu t;
    const bool set = std::string(c.op) == "S";
    const std::int16_t before = set ? kOff : kOn;
    for (int k = c.firstChanged; k <= c.firstUnchanged; ++k) t.mem.setCell(k, before);
    t.program({{"Network", {{1}}}, {c.op, {{double(c.key), c.keyKind}, {double(c.count)}}}});
    t.pass();
    for (int k = c.firstChanged; k <= c.lastChanged; ++k) EXPECT_EQ(t.mem.cell(k), set ? kOn : kOff) << k;
    EXPECT_EQ(t.mem.cell(c.firstUnchanged), before);
    EXPECT_EQ(t.prog.runStatusOf(t.line(2)).StatusValue[1], c.lastChanged - c.firstChanged + 1);
    EXPECT_EQ(t.prog.runStatusOf(t.line(2)).StatusKind[1], 5);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SetReset,
    ::testing::Values(SetResetCase{"S_Q15_6_by5", "S", Q(15, 6), 0, 5, Q(15, 6), Q(15, 7), Q(15, 7) + 1},
                      SetResetCase{"S_V1023_7_by3", "S", V(1023, 7), 0, 3, V(1023, 7), V(1023, 7), area::Edge},
                      SetResetCase{"R_I15_7_by2", "R", I(15, 7), 0, 2, I(15, 7), I(15, 7), area::Q},
                      SetResetCase{"R_M31_0_by9", "R", M(31, 0), 0, 9, M(31, 0), M(31, 7), area::V},
                      SetResetCase{"S_M0_0_by3", "S", M(0, 0), 0, 3, M(0, 0), M(0, 2), M(0, 3)},
                      SetResetCase{"S_SM_end", "S", area::T - 2, 0, 4, area::T - 2, area::T - 1, area::T},
                      // a run never reaches into the next area, whatever the area
                      SetResetCase{"S_L_end", "S", area::S - 1, 0, 2, area::S - 1, area::S - 1, area::S},
                      SetResetCase{"S_S_end", "S", area::AC - 1, 0, 3, area::AC - 1, area::AC - 1, area::AC},
                      SetResetCase{"S_T255_by2", "S", area::C - 1, 0, 2, area::C - 1, area::C - 1, area::C}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SetReset, ResetOfTimersAndCountersClearsBitsAndCurrentValues) {
    Cpu t;
    for (int n : {37, 38, 39}) {
        t.mem.timers()[n].Current = 50;
        t.mem.setCell(area::T + n, kOn);
    }
    t.mem.counters()[254].Current = 3;
    t.mem.counters()[255].Current = 4;
    t.mem.setCell(area::C + 255, kOn);
    t.program({{"Network", {{1}}},
               {"R", {{double(area::T + 37), kind::Timer}, {2}}},
               {"R", {{double(area::C + 254), kind::Counter}, {10}}}});
    t.pass();
    EXPECT_EQ(t.mem.timers()[37].Current, 0);
    EXPECT_EQ(t.mem.timers()[38].Current, 0);
    EXPECT_EQ(t.mem.timers()[39].Current, 50);
    EXPECT_FALSE(t.bit(area::T + 38));
    EXPECT_TRUE(t.bit(area::T + 39));
    EXPECT_EQ(t.mem.counters()[255].Current, 0);
    EXPECT_FALSE(t.bit(area::C + 255));
    EXPECT_EQ(t.prog.runStatusOf(t.line(3)).StatusValue[1], 2);  // cut at the end of the counter table
}

TEST(SetReset, NothingHappensWithoutPowerFlowOrWithANonPositiveCount) {
    Cpu t;
    t.program({{"Network", {{1}}},
               {"LD", {{double(I(0, 0))}}},
               {"S", {{double(Q(0, 0))}, {4}}},
               {"Network", {{2}}},
               {"S", {{double(Q(1, 0))}, {0}}},
               {"S", {{double(Q(1, 1))}, {-3}}}});
    t.pass();
    EXPECT_EQ(t.mem.GetByteValue(area::Q), 0);
    EXPECT_EQ(t.mem.GetByteValue(area::Q + 8), 0);
    EXPECT_EQ(t.prog.runStatusOf(t.line(3)).StatusValue[1], 4);  // shown as written
}

// --- block lines, end of pass, special memory --------------------------------------------

TEST(Pass, Sm01IsOnInTheFirstPassOnlyAndSm06TogglesEveryPass) {
    Cpu t;
    t.program({{"Network", {{1}}}, {"LD", {{double(area::SM0_1)}}}, {"=", {{double(Q(0, 0))}}},
               {"LD", {{double(area::SM0_0)}}}, {"=", {{double(Q(0, 1))}}}});
    t.mem.setCell(area::SM0_3, kOn);
    t.pass();
    EXPECT_TRUE(t.bit(Q(0, 0)));
    EXPECT_TRUE(t.bit(Q(0, 1)));
    EXPECT_TRUE(t.bit(area::SM0_6));
    EXPECT_FALSE(t.bit(area::SM0_3));
    t.pass();
    EXPECT_FALSE(t.bit(Q(0, 0)));
    EXPECT_FALSE(t.bit(area::SM0_6));
    EXPECT_EQ(t.cpu.scanCounter, 2);
}

TEST(Pass, EndOfPassClearsSm10Sm11Sm13ButNotSm12) {
    Cpu t;
    t.program({{"Network", {{1}}}});
    for (int k : {area::SM1_0, area::SM1_1, area::SM1_2, area::SM1_3}) t.mem.setCell(k, kOn);
    t.pass();
    EXPECT_FALSE(t.bit(area::SM1_0));
    EXPECT_FALSE(t.bit(area::SM1_1));
    EXPECT_TRUE(t.bit(area::SM1_2));
    EXPECT_FALSE(t.bit(area::SM1_3));
}

TEST(Pass, ScanCounterWrapsAfter999999AndIsReported) {
    Cpu t;
    t.program({{"Network", {{1}}}});
    std::vector<std::int32_t> shown;
    t.cpu.onScanCount = [&](std::int32_t n) { shown.push_back(n); };
    t.cpu.scanCounter = 999998;
    t.pass();
    t.pass();
    EXPECT_EQ(shown, (std::vector<std::int32_t>{999999, 0}));
}

TEST(Pass, NoProgramMeansNothingRuns) {
    Cpu t;
    t.pass();
    EXPECT_FALSE(t.bit(area::SM0_0));
    EXPECT_EQ(t.cpu.scanCounter, 0);
}

TEST(Pass, AMainBlockWithoutItsEndRunsIntoWhatFollows) {
    Cpu t;
    t.program({{"Network", {{1}}}, {"SUBROUTINE_BLOCK", {{0}}}, {"LD", {{double(area::SM0_0)}}}, {"=", {{double(Q(0, 0))}}}},
              false);
    t.prog.CodeTable.insert(t.prog.CodeTable.begin(), CodeLine{});
    t.prog.CodeTable[0].setMnemonic("ORGANIZATION_BLOCK");
    t.pass();
    EXPECT_TRUE(t.bit(Q(0, 0)));
    EXPECT_EQ(t.line(2).HasStatus, 0);
}

TEST(Pass, EnoAndAenoDropPowerFlowAfterAnOverflowOrDivisionByZero) {
    for (int smBit : {area::SM1_1, area::SM1_3}) {
        Cpu t;
        t.program({{"Network", {{1}}}, {"LD", {{double(area::SM0_0)}}}, {"AENO", {}}, {"=", {{double(Q(0, 0))}}}});
        // SM1.1 and SM1.3 are cleared at the end of each pass, so set it from the program.
        t.prog.CodeTable.insert(t.prog.CodeTable.begin() + 2, CodeLine{});
        t.prog.CodeTable[2].setMnemonic("S");
        t.prog.CodeTable[2].setOperand(0, smBit);
        t.prog.CodeTable[2].setOperand(1, 1);
        t.prog.CodeTable.back().setOperand(0, t.prog.lastIndex());
        t.pass();
        EXPECT_FALSE(t.bit(Q(0, 0))) << smBit;
        EXPECT_FALSE(lineStatus(t.prog, t.line(3)).enoShown);
    }
}

// --- the USS master's posted response bit -------------------------------------------------

// NETR stands in for an instruction during which a reply is taken and a bit posted.
struct PostDuringPass : PortInstructions {
    int key = -1;
    void exec(Interpreter& cpu, CodeLine&) override {
        if (key >= 0) cpu.postedBit = key;
        key = -1;
    }
};

TEST(PostedBit, IsOnForExactlyOnePassWhetherPostedBetweenPassesOrDuringOne) {
    struct Case {
        const char* name;
        bool duringPass;  // posted by a handler inside pass 1, else before pass 1
        bool seen[3];     // M0.0 copied from the posted bit in passes 1 to 3
    } cases[] = {{"between", false, {true, false, false}}, {"during", true, {false, true, false}}};
    for (const auto& c : cases) {
        Cpu t;
        PostDuringPass ports;
        t.cpu.ports = &ports;
        t.program({{"Network", {{1}}}, {"LD", {{double(V(0, 0))}}}, {"=", {{double(M(0, 0))}}}, {"NETR", {}}});
        if (c.duringPass) ports.key = V(0, 0);
        else t.cpu.postedBit = V(0, 0);
        for (int p = 0; p < 3; ++p) {
            t.pass();
            EXPECT_EQ(t.bit(M(0, 0)), c.seen[p]) << c.name << " pass " << p + 1;
            EXPECT_FALSE(t.bit(V(0, 0))) << c.name << " pass " << p + 1;
        }
        EXPECT_EQ(t.cpu.postedBit, -1) << c.name;
    }
}

// --- faults ------------------------------------------------------------------------------

TEST(Faults, AnUnknownInstructionIsLoggedOncePerLineUntilRunIsEnteredAgain) {
    Cpu t;
    t.program({{"Network", {{1}}}, {"XYZ", {}}, {"LD", {{double(area::SM0_0)}}}, {"=", {{double(Q(0, 0))}}}, {"XYZ", {}}});
    t.pass();
    t.pass();
    // Each line once, not on every pass (a jump loop through one would flood the log).
    ASSERT_EQ(t.sink.lines.size(), 2u);
    EXPECT_EQ(t.sink.lines[0], "12:00:00 不可识别的指令：XYZ,iPC=2");
    EXPECT_EQ(t.sink.lines[1], "12:00:00 不可识别的指令：XYZ,iPC=5");
    EXPECT_TRUE(t.bit(Q(0, 0)));
    EXPECT_EQ(t.line(2).HasStatus, 0);
    t.cpu.resetForRun();
    t.pass();
    EXPECT_EQ(t.sink.lines.size(), 4u);
}

TEST(Faults, AKeyOutsideTheImageEndsThePassWithTheRunTimeErrorLineAndTheNextPassRuns) {
    Cpu t;
    t.program({{"Network", {{1}}},
               {"LD", {{double(area::SM0_0)}}},
               {"=", {{double(Q(0, 0))}}},
               {"LD", {{30000}}},
               {"=", {{double(Q(0, 1))}}}});
    t.pass();
    ASSERT_EQ(t.sink.lines.size(), 1u);
    EXPECT_EQ(t.sink.lines[0], "12:00:00 运行代码错误:iPC=4,astrCode=LD");
    EXPECT_TRUE(t.bit(Q(0, 0)));
    // The end of the pass is skipped.
    EXPECT_EQ(t.cpu.scanCounter, 0);
    EXPECT_FALSE(t.bit(area::SM0_6));
    t.prog.CodeTable[4].setOperand(0, I(0, 0));
    t.pass();
    EXPECT_EQ(t.cpu.scanCounter, 1);
}

// Boxes in a row: each shows the flow it was entered with and the flow it left (a compare
// among them changes it); a box that faults ends the pass showing the flow it was entered
// with and, for the rest, what it showed after the pass before.
TEST(Faults, ABoxAmongBoxesThatFaultsShowsTheFlowItWasEnteredWith) {
    Cpu t;
    const Operand vw0{double(VB(0)), kind::Word}, vw2{double(VB(2)), kind::Word}, vd4{double(VB(4)), kind::DWord};
    t.program({{"Network", {{1}}},
               {"LD", {{double(V(10, 0))}}},
               {"MOVW", {{7}, vw0}},
               {"AW=", {vw0, vw2}},
               {"/R", {{0}, vd4}},
               {"=", {{double(Q(0, 0))}}}});
    t.set(V(10, 0), true);
    t.pass();
    EXPECT_TRUE(t.sink.lines.empty());
    EXPECT_TRUE(lineStatus(t.prog, t.line(3)).flowAfter);
    EXPECT_TRUE(lineStatus(t.prog, t.line(4)).flowBefore);
    EXPECT_FALSE(lineStatus(t.prog, t.line(4)).flowAfter) << "VW0 = 7, VW2 = 0";
    EXPECT_FALSE(lineStatus(t.prog, t.line(5)).flowBefore);
    EXPECT_TRUE(lineStatus(t.prog, t.line(5)).enoShown);
    ASSERT_TRUE(t.mem.tobit(7, VB(2), 16));
    t.pass();
    ASSERT_EQ(t.sink.lines.size(), 1u);
    EXPECT_EQ(t.sink.lines[0], "12:00:00 运行代码错误:iPC=5,astrCode=/R");
    EXPECT_TRUE(lineStatus(t.prog, t.line(4)).flowAfter);
    EXPECT_TRUE(lineStatus(t.prog, t.line(5)).flowBefore) << "the division by 0.0 was entered with power flow";
    EXPECT_FALSE(lineStatus(t.prog, t.line(5)).flowAfter) << "as the pass before left it";
    EXPECT_FALSE(t.bit(Q(0, 0)));
}

// The line budget and the ceiling of a pass count every line, boxes in a row too: the first
// line beyond either ends the pass unexecuted.
TEST(Faults, TheLineBudgetAndTheCeilingCountBoxesInARow) {
    for (const bool byCeiling : {false, true}) {
        Cpu t;
        const Operand vw0{double(VB(0)), kind::Word};
        t.program({{"Network", {{1}}}, {"LD", {{double(area::SM0_0)}}}, {"INCW", {vw0}}, {"INCW", {vw0}},
                   {"INCW", {vw0}}, {"INCW", {vw0}}, {"INCW", {vw0}}, {"INCW", {vw0}}});
        (byCeiling ? t.cpu.passCeiling : t.cpu.lineBudget) = 6;
        t.pass();
        ASSERT_EQ(t.sink.lines.size(), 1u) << byCeiling;
        EXPECT_EQ(t.sink.lines[0], "12:00:00 运行代码错误:iPC=6,astrCode=INCW") << byCeiling;
        EXPECT_EQ(t.mem.GetWordValue(VB(0)), 3) << byCeiling;
    }
}

TEST(Faults, ARunawayPassEndsAsARunTimeError) {
    // A jump back to a label in front of it loops for ever without the line budget.
    Cpu t;
    t.program({{"Network", {{1}}}, {"LBL", {{3}}}, {"LD", {{double(area::SM0_0)}}}, {"JMP", {{3}}}});
    t.prog.labels[0][3] = 2;
    t.pass();
    ASSERT_EQ(t.sink.lines.size(), 1u);
    EXPECT_NE(t.sink.lines[0].find(" 运行代码错误:iPC="), std::string::npos);
    EXPECT_EQ(t.cpu.scanCounter, 0);
}

TEST(Pass, TheEndOfTheMainBlockEndsThePassWhateverItsOperand) {
    for (double operand : {0.0, 1.0, 500.0, -3.0}) {
        Cpu t;
        t.program({{"Network", {{1}}}, {"LD", {{double(area::SM0_0)}}}, {"=", {{double(Q(0, 0))}}}});
        t.prog.CodeTable.back().setOperand(0, operand);
        t.pass();
        EXPECT_TRUE(t.sink.lines.empty()) << operand;
        EXPECT_EQ(t.cpu.scanCounter, 1) << operand;
        EXPECT_TRUE(t.bit(Q(0, 0)));
    }
}

}  // namespace
