#include <string>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

struct MoveCase {
    const char* name;
    std::vector<std::pair<int, int>> before;  // V byte, value
    Instr instr;
    int from;                // first V byte checked
    std::vector<int> after;  // expected V bytes from `from` with the logic result on
};

std::vector<int> vbytes(const Cpu& c, int from, std::size_t n) {
    std::vector<int> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<int>(c.b(from + static_cast<int>(i))));
    return out;
}

class Moves : public ::testing::TestWithParam<MoveCase> {};

TEST_P(Moves, WriteTheBitPatternOnlyWhileTheLogicResultIsOn) {
    const MoveCase& mc = GetParam();
    for (bool power : {true, false}) {
        Cpu c;
        for (auto [n, v] : mc.before) c.setB(n, v);
        const std::vector<int> untouched = vbytes(c, mc.from, mc.after.size());
        c.load({mc.instr}, power);
        c.run();
        EXPECT_EQ(vbytes(c, mc.from, mc.after.size()), power ? mc.after : untouched) << (power ? "on" : "off");
        EXPECT_EQ(c.flags(), "0000") << "moves never touch SM1.x";
        EXPECT_TRUE(c.sink.lines.empty()) << c.sink.lines.front();
        EXPECT_TRUE(c.completed(0));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Moves,
    ::testing::Values(
        MoveCase{"MovbConstantKeepsLow8Bits", {}, {"MOVB", {K(300), VB(0)}}, 0, {44}},
        MoveCase{"MovbNegativeConstant", {}, {"MOVB", {K(-1), VB(0)}}, 0, {255}},
        MoveCase{"MovbByte", {{1, 0xA5}}, {"MOVB", {VB(1), VB(0)}}, 0, {0xA5}},
        MoveCase{"MovbFromWordMovesNothing", {{0, 0x11}, {2, 0x22}}, {"MOVB", {VW(2), VB(0)}}, 0, {0x11}},
        MoveCase{"MovbIgnoresOutKind", {}, {"MOVB", {K(7), VW(0)}}, 0, {7, 0}},
        MoveCase{"MovwConstant", {}, {"MOVW", {K(-1), VW(0)}}, 0, {0xFF, 0xFF}},
        MoveCase{"MovwConstantKeepsLow16Bits", {}, {"MOVW", {K(70000), VW(0)}}, 0, {0x11, 0x70}},
        MoveCase{"MovwWordCopy", {{2, 0x12}, {3, 0x34}}, {"MOVW", {VW(2), VW(0)}}, 0, {0x12, 0x34}},
        MoveCase{"MovwByteIntoWord", {{0, 0x77}, {2, 0xF0}}, {"MOVW", {VB(2), VW(0)}}, 0, {0x00, 0xF0}},
        MoveCase{"MovwToByteOperandMovesNothing", {}, {"MOVW", {K(5), VB(0)}}, 0, {0, 0}},
        MoveCase{"MovdNegativeConstant", {}, {"MOVD", {K(-2), VD(0)}}, 0, {0xFF, 0xFF, 0xFF, 0xFE}},
        MoveCase{"MovdConstantBeyond32Bits", {}, {"MOVD", {K(4294967297.0), VD(0)}}, 0, {0, 0, 0, 1}},
        MoveCase{"MovdAddressOf", {}, {"MOVD", {K(164), VD(0)}}, 0, {0, 0, 0, 164}},
        MoveCase{"MovdCopy", {{4, 1}, {5, 2}, {6, 3}, {7, 4}}, {"MOVD", {VD(4), VD(0)}}, 0, {1, 2, 3, 4}},
        MoveCase{"MovdFromWordMovesNothing", {{4, 9}}, {"MOVD", {VW(4), VD(0)}}, 0, {0, 0, 0, 0}},
        MoveCase{"MovrConstant", {}, {"MOVR", {K(1.5), VD(0)}}, 0, {0x3F, 0xC0, 0, 0}},
        MoveCase{"MovrCopiesWithoutConversion",
                 {{4, 0x7F}, {5, 0xC0}, {6, 0}, {7, 1}},
                 {"MOVR", {VD(4), VD(0)}},
                 0,
                 {0x7F, 0xC0, 0, 1}},
        MoveCase{"BmbForwardCopyRepeats",
                 {{0, 1}, {1, 2}, {2, 3}, {3, 4}},
                 {"BMB", {VB(0), VB(1), K(4)}},
                 0,
                 {1, 1, 1, 1, 1}},
        MoveCase{"BmbDownwardCopy",
                 {{1, 1}, {2, 2}, {3, 3}, {4, 4}},
                 {"BMB", {VB(1), VB(0), K(4)}},
                 0,
                 {1, 2, 3, 4, 4}},
        MoveCase{"BmbCountFromMemory", {{0, 5}, {1, 6}, {9, 2}}, {"BMB", {VB(0), VB(4), VB(9)}}, 4, {5, 6, 0}},
        MoveCase{"BmwZeroCountWritesNothing", {{0, 1}, {1, 2}}, {"BMW", {VW(0), VW(100), K(0)}}, 100, {0, 0}},
        MoveCase{"BmwNegativeCountWritesNothing", {{0, 1}}, {"BMW", {VW(0), VW(100), K(-3)}}, 100, {0, 0}},
        MoveCase{"BmbCountMinus4095WritesNothing", {{0, 1}}, {"BMB", {VB(0), VB(100), K(-4095)}}, 100, {0, 0}},
        MoveCase{"BmwTwoWords",
                 {{0, 1}, {1, 2}, {2, 3}, {3, 4}},
                 {"BMW", {VW(0), VW(10), K(2)}},
                 10,
                 {1, 2, 3, 4, 0}},
        MoveCase{"BmdOne", {{0, 9}, {3, 8}, {4, 7}}, {"BMD", {VD(0), VD(8), K(1)}}, 8, {9, 0, 0, 8, 0}},
        MoveCase{"BlockMoveOfMixedKindsMovesNothing", {{0, 1}}, {"BMB", {VB(0), VW(10), K(2)}}, 10, {0, 0}},
        MoveCase{"Fill", {{6, 0x55}}, {"FILL", {K(7), VW(0), K(3)}}, 0, {0, 7, 0, 7, 0, 7, 0x55}},
        MoveCase{"FillNegative", {}, {"FILL", {K(-2), VW(0), K(1)}}, 0, {0xFF, 0xFE, 0}},
        MoveCase{"FillCountZero", {{0, 3}}, {"FILL", {K(1), VW(0), K(0)}}, 0, {3, 0}},
        MoveCase{"FillFromWord", {{20, 0xAB}, {21, 0xCD}}, {"FILL", {VW(20), VW(0), K(2)}}, 0, {0xAB, 0xCD, 0xAB, 0xCD}},
        MoveCase{"FillCountFromMemory", {{30, 2}}, {"FILL", {K(1), VW(0), VB(30)}}, 0, {0, 1, 0, 1, 0}},
        // *VD40 holds &VB10 (64 + 10): the move goes through the pointer.
        MoveCase{"MovbReadsThroughPointer", {{43, 74}, {10, 0x3C}}, {"MOVB", {PtrB(40), VB(0)}}, 0, {0x3C}},
        MoveCase{"MovbWritesThroughPointer", {{43, 74}}, {"MOVB", {K(0x42), PtrB(40)}}, 10, {0x42}},
        MoveCase{"BmbThroughPointer",
                 {{43, 74}, {10, 1}, {11, 2}},
                 {"BMB", {PtrB(40), VB(0), K(2)}},
                 0,
                 {1, 2}}),
    CaseName());

TEST(MovesOnRecords, MovwIntoATimerOrCounterSetsItsCurrentValue) {
    Cpu c;
    c.setW(10, 0xFFFF);
    c.load({{"MOVW", {VW(10), T(37)}}, {"MOVW", {K(-5), C(3)}}});
    c.run();
    EXPECT_EQ(c.mem.timers()[37].Current, 65535);
    EXPECT_EQ(c.mem.counters()[3].Current, -5);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(c.mem.cell(area::T + 37 + i), 0) << "timer bits untouched";
    EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusValue[1], 65535);
}

TEST(MovesOnRecords, BmwFromATimerCopiesConsecutiveTimers) {
    Cpu c;
    c.mem.timers()[10].Current = 100;
    c.mem.timers()[11].Current = 200;
    c.mem.timers()[12].Current = -1;
    c.load({{"BMW", {T(10), VW(0), K(3)}}});
    c.run();
    EXPECT_EQ(c.w(0), 100);
    EXPECT_EQ(c.w(2), 200);
    EXPECT_EQ(c.w(4), 0xFFFF);
    EXPECT_EQ(c.w(6), 0);
}

TEST(MoveStatus, ShowsOperandValuesWithTheirDisplayKindsWhetherExecutedOrNot) {
    for (bool power : {true, false}) {
        Cpu c;
        c.setB(1, 0x21);
        c.setB(0, 0x05);
        c.setR(8, 2.5);
        c.load({{"MOVB", {VB(1), VB(0)}}, {"MOVR", {K(1.5), VD(4)}}, {"BMB", {VB(1), VB(20), K(3)}}}, power);
        c.run();
        const CodeLine& movb = c.line(0);
        EXPECT_EQ(c.prog.runStatusOf(movb).StatusValue[0], 0x21);
        EXPECT_EQ(c.prog.runStatusOf(movb).StatusValue[1], power ? 0x21 : 0x05);
        EXPECT_EQ(c.prog.runStatusOf(movb).StatusKind[0], 1);
        EXPECT_EQ(c.prog.runStatusOf(movb).StatusKind[1], 1);
        const CodeLine& movr = c.line(1);
        EXPECT_EQ(c.prog.runStatusOf(movr).StatusValue[0], 1.5);
        EXPECT_EQ(c.prog.runStatusOf(movr).StatusValue[1], power ? 1.5 : 0.0);
        EXPECT_EQ(c.prog.runStatusOf(movr).StatusKind[1], 7);
        const CodeLine& bmb = c.line(2);
        EXPECT_EQ(c.prog.runStatusOf(bmb).StatusValue[2], 3);
        EXPECT_EQ((std::vector<int>{c.prog.runStatusOf(bmb).StatusKind[0], c.prog.runStatusOf(bmb).StatusKind[1], c.prog.runStatusOf(bmb).StatusKind[2]}),
                  (std::vector<int>{1, 1, 5}));
    }
}

struct MoveFault {
    const char* name;
    Instr instr;
    int tobitLines;  // " tobit错误" lines logged before the run-time error
};

class MoveFaults : public ::testing::TestWithParam<MoveFault> {};

TEST_P(MoveFaults, EndThePassWithTheRunTimeErrorLine) {
    const MoveFault& mf = GetParam();
    Cpu c;
    c.setD(40, 5000);           // a pointer beyond the image (byte 5000 is key 40000)
    c.setD(60, 2147483648.0);  // 16#80000000
    c.load({mf.instr, {"MOVB", {K(1), VB(200)}}});
    c.run();
    ASSERT_EQ(c.sink.lines.size(), static_cast<std::size_t>(mf.tobitLines + 1))
        << (c.sink.lines.empty() ? std::string("nothing logged") : c.sink.lines.back());
    for (int i = 0; i < mf.tobitLines; ++i) EXPECT_EQ(c.sink.lines[i], "12:00:00 tobit错误");
    EXPECT_EQ(c.sink.lines.back(), c.runtimeError(c.firstLine));
    EXPECT_EQ(c.b(200), 0) << "the rest of the pass is skipped";
    EXPECT_EQ(c.cpu.scanCounter, 0) << "and so is the end of the pass";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MoveFaults,
    ::testing::Values(MoveFault{"MovbConstantBeyond16Bits", {"MOVB", {K(40000), VB(0)}}, 0},
                      MoveFault{"MovwDoubleWordBeyondSigned32Bits", {"MOVW", {VD(60), VW(0)}}, 0},
                      MoveFault{"BmbCountAbove4095", {"BMB", {VB(0), VB(100), K(4096)}}, 0},
                      MoveFault{"BmwCountAbove2047", {"BMW", {VW(0), VW(100), K(2048)}}, 0},
                      MoveFault{"BmdCountAbove1023", {"BMD", {VD(0), VD(100), K(1024)}}, 0},
                      MoveFault{"BmbCountBelowMinus4095", {"BMB", {VB(0), VB(100), K(-4096)}}, 0},
                      MoveFault{"BmdCountBelowMinus1023", {"BMD", {VD(0), VD(100), K(-1024)}}, 0},
                      MoveFault{"BlockCountBeyond16Bits", {"BMB", {VB(0), VB(100), K(1e6)}}, 0},
                      MoveFault{"BmdRunningOffTheImage", {"BMD", {VD(0), VD(1000), K(1000)}}, 0},
                      MoveFault{"OperandOutsideTheImage", {"MOVB", {Key(19300, kind::Byte), VB(0)}}, 0},
                      MoveFault{"BmwTimersPastT255", {"BMW", {T(254), VW(0), K(3)}}, 0},
                      // The byte writer refuses the bytes beyond the image; the status read of OUT faults.
                      MoveFault{"MovrConstantOutsideTheImage", {"MOVR", {K(1.0), Key(19184, kind::DWord)}}, 2},
                      MoveFault{"MovrConstantBeyondSingleRange", {"MOVR", {K(1e39), VD(0)}}, 0}),
    CaseName());

TEST(MoveFaults, AMoveRunningOffTheImageKeepsTheBitsWrittenBeforeIt) {
    Cpu c;
    c.setB(0, 0xFF);
    c.load({{"MOVB", {VB(0), Key(19197, kind::Byte)}}});
    c.run();
    for (int k = 19197; k <= 19200; ++k) EXPECT_EQ(c.mem.cell(k), kOn);
    ASSERT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
}

TEST(MoveFaults, ABlockPastTheEndOfItsAreaWritesNothingAndEndsThePass) {
    struct Case {
        const char* name;
        Instr line;
    } cases[] = {
        {"FillPastIW14", {"FILL", {K(-1), Key(area::I + 8 * 14, kind::Word), K(2)}}},
        {"FillOfAllOfTheImage", {"FILL", {K(-1), Key(0, kind::Word), K(2049)}}},
        {"BmbFromTheLastVBytes", {"BMB", {VB(1020), VB(0), K(5)}}},
        {"BmdIntoTheLastVBytes", {"BMD", {VD(0), VD(1016), K(3)}}},
        {"BmwTimersIntoTheEndOfV", {"BMW", {T(0), VW(1022), K(2)}}},
    };
    for (const auto& k : cases) {
        Cpu c;
        c.setB(0, 0x5A);
        c.setB(1020, 0xA5);
        c.load({k.line});
        c.run();
        ASSERT_EQ(c.sink.lines.size(), 1u) << k.name;
        EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine)) << k.name;
        EXPECT_EQ(c.mem.GetByteValue(area::I + 8 * 14), 0) << k.name;
        EXPECT_EQ(c.mem.GetByteValue(area::V), 0x5A) << k.name;
        EXPECT_EQ(c.mem.GetByteValue(area::V + 8 * 1020), 0xA5) << k.name;
        EXPECT_EQ(c.mem.GetByteValue(area::Edge), 0) << k.name << ": nothing past VB1023";
        EXPECT_EQ(c.mem.GetByteValue(area::V + 8 * 1016), 0) << k.name;
    }
}

TEST(MoveFaults, TheNextPassRunsNormally) {
    Cpu c;
    c.setB(0, 7);
    c.setW(50, 5000);  // BMB count from memory: too many
    c.load({{"BMB", {VB(0), VB(100), VW(50)}}, {"MOVB", {K(1), VB(200)}}});
    c.run();
    ASSERT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.b(100), 0);
    c.setW(50, 1);
    c.run();
    EXPECT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.b(100), 7);
    EXPECT_EQ(c.b(200), 1);
    EXPECT_EQ(c.cpu.scanCounter, 1);
}

}  // namespace
