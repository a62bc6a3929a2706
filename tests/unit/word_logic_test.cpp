#include <string>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

// OUT is V0 with the instruction's width; flags are SM1.0 SM1.1 SM1.2 SM1.3.
struct WordCase {
    const char* name;
    int width;
    double before;
    Instr instr;
    double after;
    std::string flags;
    std::string preset = "0000";
};

void setOut(Cpu& c, int width, double v) {
    if (width == 8) c.setB(0, v);
    if (width == 16) c.setW(0, v);
    if (width == 32) c.setD(0, v);
}
double out(const Cpu& c, int width) { return width == 8 ? c.b(0) : width == 16 ? c.w(0) : c.d(0); }

class WordLogic : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordLogic, ResultAndSpecialMemoryWhileOnNothingWhileOff) {
    const WordCase& wc = GetParam();
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        setOut(c, wc.width, wc.before);
        c.setB(4, 0x5A);  // the byte after a double word OUT stays as it is
        c.presetFlags(wc.preset);
        c.load({wc.instr}, power);
        c.run();
        EXPECT_EQ(out(c, wc.width), power ? wc.after : wc.before);
        EXPECT_EQ(c.flags(), power ? wc.flags : wc.preset);
        EXPECT_EQ(c.b(4), 0x5A);
        EXPECT_TRUE(c.sink.lines.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WordLogic,
    ::testing::Values(
        WordCase{"Invb", 8, 0x0F, {"INVB", {VB(0)}}, 0xF0, "1111", "1111"},
        WordCase{"Invw", 16, 0x00FF, {"INVW", {VW(0)}}, 0xFF00, "0000"},
        WordCase{"Invd", 32, 0, {"INVD", {VD(0)}}, 4294967295.0, "1111", "1111"},
        WordCase{"Andb", 8, 0xF0, {"ANDB", {K(0x3C), VB(0)}}, 0x30, "1111", "1111"},
        WordCase{"Orw", 16, 0xF000, {"ORW", {K(0x0F0F), VW(0)}}, 0xFF0F, "0000"},
        WordCase{"Xord", 32, 0x12345678, {"XORD", {K(4294967295.0), VD(0)}}, 0xEDCBA987, "0000"},
        WordCase{"AnddKeepsTheHighWord", 32, 0x12345678, {"ANDD", {K(0xFFFF0000), VD(0)}}, 0x12340000, "0000"},
        WordCase{"OrbNegativeConstant", 8, 0x01, {"ORB", {K(-1), VB(0)}}, 0xFF, "0000"},
        WordCase{"AnddNegativeConstant", 32, 4294967295.0, {"ANDD", {K(-2), VD(0)}}, 4294967294.0, "0000"},
        WordCase{"AndwKeepsTheLow16Bits", 16, 0xFFFF, {"ANDW", {K(0x1FF00), VW(0)}}, 0xFF00, "0000"},
        WordCase{"XorbWithAByte", 8, 0xFF, {"XORB", {VB(0), VB(0)}}, 0, "0000"},
        WordCase{"Slb", 8, 0x81, {"SLB", {VB(0), K(1)}}, 0x02, "0100"},
        WordCase{"SlwCrossesIntoTheHighByte", 16, 0x0080, {"SLW", {VW(0), K(1)}}, 0x0100, "0000"},
        WordCase{"SrwToZero", 16, 0x0100, {"SRW", {VW(0), K(9)}}, 0, "1100"},
        WordCase{"SlbCountAboveWidthActsAsWidth", 8, 0x81, {"SLB", {VB(0), K(20)}}, 0, "1100"},
        WordCase{"SlbCountAboveWidthBitZeroOff", 8, 0x80, {"SLB", {VB(0), K(20)}}, 0, "1000"},
        WordCase{"SrdBy31", 32, 0x80000000, {"SRD", {VD(0), K(31)}}, 1, "0000"},
        WordCase{"SrdByWidth", 32, 0x80000001, {"SRD", {VD(0), K(32)}}, 0, "1100"},
        WordCase{"Sld", 32, 0xC0000000, {"SLD", {VD(0), K(1)}}, 0x80000000, "0100"},
        WordCase{"ShiftByZeroKeepsSm11", 8, 0x81, {"SLB", {VB(0), K(0)}}, 0x81, "0100", "1100"},
        WordCase{"ShiftCountFromAByte", 16, 0x0003, {"SLW", {VW(0), VB(4)}}, 0, "1100"},
        WordCase{"Rlb", 8, 0x81, {"RLB", {VB(0), K(1)}}, 0x03, "0100"},
        WordCase{"RlbByWidthChangesNothing", 8, 0x81, {"RLB", {VB(0), K(8)}}, 0x81, "1111", "1111"},
        WordCase{"RlbByZeroChangesNothing", 8, 0x81, {"RLB", {VB(0), K(0)}}, 0x81, "1010", "1010"},
        WordCase{"RldBy31", 32, 1, {"RLD", {VD(0), K(31)}}, 0x80000000, "0000"},
        WordCase{"RldZeroTestCoversAllBits", 32, 1, {"RLD", {VD(0), K(1)}}, 2, "0000", "1000"},
        WordCase{"Rrw", 16, 0x0001, {"RRW", {VW(0), K(1)}}, 0x8000, "0100"},
        WordCase{"RrbNegativeCountIsModuloWidth", 8, 0x01, {"RRB", {VB(0), K(-1)}}, 0x02, "0000"},
        WordCase{"RrdOfZero", 32, 0, {"RRD", {VD(0), K(5)}}, 0, "1000"},
        WordCase{"IncbWraps", 8, 255, {"INCB", {VB(0)}}, 0, "1100", "1000"},
        WordCase{"IncbPlain", 8, 7, {"INCB", {VB(0)}}, 8, "0000", "0100"},
        WordCase{"IncwSignedOverflow", 16, 0x7FFF, {"INCW", {VW(0)}}, 0x8000, "0100"},
        WordCase{"IncwWrapIsNoOverflow", 16, 0xFFFF, {"INCW", {VW(0)}}, 0, "0000", "0100"},
        WordCase{"IncdSignedOverflow", 32, 0x7FFFFFFF, {"INCD", {VD(0)}}, 0x80000000, "0100"},
        WordCase{"DecbWraps", 8, 0, {"DECB", {VB(0)}}, 255, "0100"},
        WordCase{"DecwBelowZero", 16, 0, {"DECW", {VW(0)}}, 0xFFFF, "0010", "0100"},
        WordCase{"DecwSignedOverflow", 16, 0x8000, {"DECW", {VW(0)}}, 0x7FFF, "0100", "0010"},
        WordCase{"DecdBelowZero", 32, 0, {"DECD", {VD(0)}}, 4294967295.0, "0010"},
        WordCase{"DecdSignedOverflow", 32, 0x80000000, {"DECD", {VD(0)}}, 0x7FFFFFFF, "0100"},
        WordCase{"DecdPlain", 32, 5, {"DECD", {VD(0)}}, 4, "0000", "0110"}),
    CaseName());

TEST(WordLogic, ThroughPointersAndOnTimerRecords) {
    Cpu c;
    c.setD(40, 64 + 10);  // *VD40 -> VB10
    c.setB(10, 0x0F);
    c.setD(44, 64 + 20);  // *VD44 -> VW20
    c.setW(20, 0x1234);
    c.mem.timers()[37].Current = 41;
    c.mem.timers()[5].Current = 3;
    c.load({{"INVB", {PtrB(40)}},
            {"ANDW", {K(0xFF00), PtrW(44)}},
            {"INCW", {T(37)}},
            {"SLW", {T(5), K(2)}},
            {"ANDW", {K(0x0F), T(5)}}});
    c.run();
    EXPECT_EQ(c.b(10), 0xF0);
    EXPECT_EQ(c.w(20), 0x1200);
    EXPECT_EQ(c.mem.timers()[37].Current, 42);
    EXPECT_EQ(c.mem.timers()[5].Current, 12 & 0x0F);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(c.mem.cell(area::T + i), 0) << "timer bits stay untouched";
}

struct ShrbCase {
    const char* name;
    Operand length;
    int startBit;         // S_BIT = V100.startBit (bits counted on through V101)
    int before;           // VW100
    int after;            // VW100
    bool sm11;
};

class ShiftRegister : public ::testing::TestWithParam<ShrbCase> {};

TEST_P(ShiftRegister, ShiftsOneBitPerExecutionTakingInData) {
    const ShrbCase& sc = GetParam();
    Cpu c;
    c.mem.setBit(area::I, true);  // DATA = I0.0 on
    // V100 is the low byte of the pattern here (bit addresses run V100.0 ... V101.7).
    c.setB(100, sc.before & 0xFF);
    c.setB(101, sc.before >> 8);
    c.setB(30, 0xFC);
    c.load({{"SHRB", {I(0, 0), Operand{V(100, 0).number + sc.startBit, kind::Constant}, sc.length}}});
    c.run();
    EXPECT_EQ(static_cast<int>(c.b(100)) | static_cast<int>(c.b(101)) << 8, sc.after);
    EXPECT_EQ(c.flags()[1], sc.sm11 ? '1' : '0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShiftRegister,
    ::testing::Values(ShrbCase{"Up", K(4), 0, 0b1101, 0b1011, true},
                      ShrbCase{"UpKeepsTheBitsAbove", K(4), 0, 0xF0 | 0b0010, 0xF0 | 0b0101, false},
                      ShrbCase{"UpAcrossTheByte", K(4), 6, 0b01 << 8 | 0b01 << 6, 0b10 << 8 | 0b11 << 6, false},
                      ShrbCase{"Down", K(-4), 0, 0b0101, 0b1010, true},
                      ShrbCase{"DownLengthFromASignedByte", VB(30), 0, 0b0100, 0b1010, false},
                      ShrbCase{"ZeroLengthDoesNothing", K(0), 0, 0b0110, 0b0110, false}),
    CaseName());

TEST(ShiftRegister, ARegisterPastTheEndOfItsAreaShiftsNothingAndEndsThePass) {
    // V1023.4 with 8 bits would run into the edge flags; M31.0 with -9 into V.
    for (const Instr& l : {Instr{"SHRB", {I(0, 0), V(1023, 4), K(8)}}, Instr{"SHRB", {I(0, 0), M(31, 0), K(-9)}}}) {
        Cpu c;
        c.mem.setBit(area::I, true);
        c.mem.setBit(area::V + 8 * 1023 + 4, true);
        c.mem.setBit(area::M + 8 * 31, true);
        c.load({l});
        c.run();
        ASSERT_EQ(c.sink.lines.size(), 1u);
        EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
        EXPECT_EQ(c.mem.GetByteValue(area::V + 8 * 1023), 0x10);
        EXPECT_EQ(c.mem.GetByteValue(area::M + 8 * 31), 0x01);
        EXPECT_EQ(c.mem.GetByteValue(area::Edge), 0);
        EXPECT_EQ(c.mem.GetByteValue(area::V), 0);
        EXPECT_EQ(c.mem.cell(area::SM1_1), kOff);
    }
}

TEST(WordLogicStatus, RecordsOperandsBeforeAndAfter) {
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        c.setB(0, 0xF0);
        c.setW(2, 10);
        c.setB(6, 0x81);
        c.load({{"ANDB", {K(0x3C), VB(0)}}, {"INCW", {VW(2)}}, {"INVB", {VB(1)}}, {"RLB", {VB(6), K(1)}},
                {"SHRB", {I(0, 0), V(10, 0), K(3)}}},
               power);
        c.run();
        const CodeLine& andb = c.line(0);
        EXPECT_EQ(c.prog.runStatusOf(andb).StatusValue[0], 0x3C);
        EXPECT_EQ(c.prog.runStatusOf(andb).StatusValue[1], 0xF0);
        EXPECT_EQ(c.prog.runStatusOf(andb).StatusValue[2], power ? 0x30 : 0xF0);
        EXPECT_EQ(c.prog.runStatusOf(andb).StatusKind[2], 1);
        const CodeLine& incw = c.line(1);
        EXPECT_EQ(c.prog.runStatusOf(incw).StatusValue[0], 10);
        EXPECT_EQ(c.prog.runStatusOf(incw).StatusValue[1], power ? 11 : 10);
        EXPECT_EQ(c.prog.runStatusOf(incw).StatusKind[0], 2);
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusValue[0], power ? 0xFF : 0);
        const CodeLine& rlb = c.line(3);
        EXPECT_EQ(c.prog.runStatusOf(rlb).StatusValue[0], power ? 0x03 : 0x81);
        EXPECT_EQ(c.prog.runStatusOf(rlb).StatusValue[1], 1);
        EXPECT_EQ(c.prog.runStatusOf(rlb).StatusKind[1], 5);
        const CodeLine& shrb = c.line(4);
        EXPECT_EQ(c.prog.runStatusOf(shrb).StatusValue[2], 3);
        EXPECT_EQ(c.prog.runStatusOf(shrb).StatusKind[2], 5);
    }
}

TEST(WordLogicFaults, ACountBeyond16BitsEndsThePassAndTheNextPassRunsNormally) {
    Cpu c;
    c.setB(0, 1);
    c.setD(8, 40000);
    c.load({{"SLB", {VB(0), VD(8)}}, {"INCB", {VB(1)}}});
    c.run();
    ASSERT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
    EXPECT_EQ(c.b(1), 0);
    EXPECT_EQ(c.cpu.scanCounter, 0);
    c.setD(8, 3);
    c.run();
    EXPECT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.b(0), 8);
    EXPECT_EQ(c.b(1), 1);
    EXPECT_EQ(c.cpu.scanCounter, 1);
}

TEST(WordLogicFaults, AnOperandOutsideTheImageEndsThePass) {
    for (const char* m : {"INVD", "INCD", "SLD"}) {
        Cpu c;
        Instr in{m, {Key(19180, kind::DWord)}};
        if (std::string(m) == "SLD") in.operands.push_back(K(1));
        c.load({in});
        c.run();
        ASSERT_EQ(c.sink.lines.size(), 1u) << m;
        EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
    }
}

}  // namespace
