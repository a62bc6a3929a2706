#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

// The single-precision bit pattern of f, as the unsigned double word that holds it.
double bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }

// OUT is V0 (byte, word or double word by width); flags are SM1.0 SM1.1 SM1.2 SM1.3.
struct ArithCase {
    const char* name;
    std::function<void(Cpu&)> setup;
    Instr instr;
    int width;
    double after;  // OUT's unsigned bit pattern after the instruction
    std::string flags;
    std::string preset = "0000";
};

double outPattern(const Cpu& c, int width) { return width == 8 ? c.b(0) : width == 16 ? c.w(0) : c.d(0); }

class Arithmetic : public ::testing::TestWithParam<ArithCase> {};

TEST_P(Arithmetic, WritesTheExactPatternAndResultBitsOnlyWhileOn) {
    const ArithCase& ac = GetParam();
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        ac.setup(c);
        c.presetFlags(ac.preset);
        const double before = outPattern(c, ac.width);
        c.load({ac.instr}, power);
        c.run();
        EXPECT_EQ(outPattern(c, ac.width), power ? ac.after : before);
        EXPECT_EQ(c.flags(), power ? ac.flags : ac.preset);
        EXPECT_TRUE(c.sink.lines.empty()) << c.sink.lines.front();
        EXPECT_TRUE(c.completed(0));
    }
}

auto W0(double v) {
    return [v](Cpu& c) { c.setW(0, v); };
}
auto D0(double v) {
    return [v](Cpu& c) { c.setD(0, v); };
}
auto R0(double v) {
    return [v](Cpu& c) { c.setR(0, v); };
}
auto D4(double v) {
    return [v](Cpu& c) { c.setD(4, v); };
}
auto R4(double v) {
    return [v](Cpu& c) { c.setR(4, v); };
}
void none(Cpu&) {}

INSTANTIATE_TEST_SUITE_P(
    Integer, Arithmetic,
    ::testing::Values(
        // Integer arithmetic is signed: 16#FFFF is -1.
        ArithCase{"AddIThroughMinusOneToZero", W0(0xFFFF), {"+I", {K(1), VW(0)}}, 16, 0, "1000", "0110"},
        ArithCase{"AddIOverflowKeepsOutAndZeroBit", W0(32767), {"+I", {K(1), VW(0)}}, 16, 32767, "1100", "1000"},
        ArithCase{"AddINegativeOverflow", W0(0x8000), {"+I", {K(-1), VW(0)}}, 16, 0x8000, "0100"},
        ArithCase{"AddI", W0(10), {"+I", {K(5), VW(0)}}, 16, 15, "0000", "1100"},
        ArithCase{"AddINegativeConstant", W0(3), {"+I", {K(-5), VW(0)}}, 16, 0xFFFE, "0010"},
        ArithCase{"AddIPatternConstant", W0(3), {"+I", {K(0xFFFF), VW(0)}}, 16, 2, "0000"},
        ArithCase{"AddIWords", [](Cpu& c) { c.setW(0, 40000), c.setW(2, 25535); }, {"+I", {VW(2), VW(0)}}, 16, 65535,
                  "0010"},
        ArithCase{"SubIBelowZero", W0(3), {"-I", {K(5), VW(0)}}, 16, 0xFFFE, "0010", "1000"},
        ArithCase{"SubIOverflow", W0(0x8000), {"-I", {K(1), VW(0)}}, 16, 0x8000, "0100"},
        ArithCase{"SubIOverflowClearsTheZeroBit", W0(0x8000), {"-I", {K(1), VW(0)}}, 16, 0x8000, "0100", "1000"},
        ArithCase{"SubDOverflowClearsTheZeroBit", D0(2147483648.0), {"-D", {K(1), VD(0)}}, 32, 2147483648.0, "0100",
                  "1000"},
        ArithCase{"SubIToZero", W0(3), {"-I", {K(3), VW(0)}}, 16, 0, "1000"},
        ArithCase{"SubD", D0(10), {"-D", {K(1), VD(0)}}, 32, 9, "0000"},
        ArithCase{"MulIOverflow", W0(300), {"*I", {K(300), VW(0)}}, 16, 300, "0100"},
        ArithCase{"MulINegativeConstant", W0(5), {"*I", {K(-1), VW(0)}}, 16, 0xFFFB, "0010"},
        ArithCase{"MulINegativeOverflow", W0(30000), {"*I", {K(-300), VW(0)}}, 16, 30000, "0100"},
        ArithCase{"MulINegatives", W0(0xFFFE), {"*I", {K(-3), VW(0)}}, 16, 6, "0000"},
        ArithCase{"MulD", D0(3), {"*D", {K(2), VD(0)}}, 32, 6, "0000"},
        ArithCase{"AddDThroughMinusOne", D0(4294967295.0), {"+D", {K(1), VD(0)}}, 32, 0, "1000"},
        ArithCase{"AddDOverflow", D0(2147483647.0), {"+D", {K(1), VD(0)}}, 32, 2147483647.0, "0100"},
        ArithCase{"AddDNegative", D0(1), {"+D", {K(-3), VD(0)}}, 32, 4294967294.0, "0010"},
        ArithCase{"SubDBelowZero", D0(1), {"-D", {K(2), VD(0)}}, 32, 4294967295.0, "0010"},
        ArithCase{"DivITruncates", W0(10), {"/I", {K(4), VW(0)}}, 16, 2, "0000"},
        ArithCase{"DivINegativeTruncatesTowardZero", W0(0xFFF6), {"/I", {K(4), VW(0)}}, 16, 0xFFFE, "0010"},
        ArithCase{"DivIZeroQuotient", W0(3), {"/I", {K(4), VW(0)}}, 16, 0, "1000"},
        ArithCase{"DivIMinByMinusOneOverflows", W0(0x8000), {"/I", {K(-1), VW(0)}}, 16, 0x8000, "0100"},
        ArithCase{"DivIRoundsDown", W0(9), {"/I", {K(4), VW(0)}}, 16, 2, "0000", "0001"},
        // Division leaves SM1.1 as an earlier instruction set it.
        ArithCase{"DivIKeepsTheOverflowBit", W0(9), {"/I", {K(4), VW(0)}}, 16, 2, "0100", "0101"},
        ArithCase{"DivDKeepsTheOverflowBit", D0(100), {"/D", {K(3), VD(0)}}, 32, 33, "0100", "0100"},
        ArithCase{"DivIByZero", W0(9), {"/I", {K(0), VW(0)}}, 16, 9, "0101", "0100"},
        ArithCase{"DivIZeroFlagShowsTheDividend", W0(0), {"/I", {K(4), VW(0)}}, 16, 0, "1000"},
        ArithCase{"DivD", D0(100), {"/D", {K(3), VD(0)}}, 32, 33, "0000"},
        ArithCase{"DivDByZero", D0(100), {"/D", {VD(4), VD(0)}}, 32, 100, "0001"},
        ArithCase{"Mul16x16", D0(0x0005012C), {"MUL", {K(1000), VD(0)}}, 32, 300000, "0100", "0100"},
        ArithCase{"MulZero", D0(5), {"MUL", {K(0), VD(0)}}, 32, 0, "1000"},
        ArithCase{"DivQuotientLowRemainderHigh", D0(100), {"DIV", {K(7), VD(0)}}, 32, 0x0002000E, "0000"},
        ArithCase{"DivUsesTheLowWord", D0(0x00070064), {"DIV", {K(7), VD(0)}}, 32, 0x0002000E, "0000"},
        ArithCase{"DivByZero", D0(100), {"DIV", {K(0), VD(0)}}, 32, 100, "0001"},
        ArithCase{"MulSigned", D0(0x0000FFFF), {"MUL", {K(1000), VD(0)}}, 32, 4294966296.0, "0010"},
        ArithCase{"DivSignedRemainderHasTheDividendsSign", D0(0x0000FF9C), {"DIV", {K(7), VD(0)}}, 32,
                  double(0xFFFEFFF2u), "0010"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Real, Arithmetic,
    ::testing::Values(
        ArithCase{"AddR", R0(2.25), {"+R", {K(1.5), VD(0)}}, 32, bitsOf(3.75f), "0000"},
        ArithCase{"AddRInSinglePrecision", R0(0.2), {"+R", {K(0.1), VD(0)}}, 32, bitsOf(0.2f + 0.1f), "0000"},
        ArithCase{"SubR", R0(2), {"-R", {K(0.5), VD(0)}}, 32, bitsOf(1.5f), "0000"},
        ArithCase{"MulR", [](Cpu& c) { c.setR(0, 3), c.setR(4, -2); }, {"*R", {VD(4), VD(0)}}, 32, bitsOf(-6.0f),
                  "0000"},
        ArithCase{"DivR", R0(1), {"/R", {K(4.0), VD(0)}}, 32, bitsOf(0.25f), "1111", "1111"},
        ArithCase{"Sqrt", none, {"SQRT", {K(2.0), VD(0)}}, 32, bitsOf(static_cast<float>(std::sqrt(2.0))), "0000"},
        ArithCase{"SqrtOfMinusZero", none, {"SQRT", {K(-0.0), VD(0)}}, 32, 0x80000000, "0000"},
        ArithCase{"Sin", R4(1.0), {"SIN", {VD(4), VD(0)}}, 32, bitsOf(static_cast<float>(std::sin(1.0))), "0000"},
        ArithCase{"Cos", none, {"COS", {K(0.0), VD(0)}}, 32, bitsOf(1.0f), "0000"},
        ArithCase{"Tan", none, {"TAN", {K(0.5), VD(0)}}, 32, bitsOf(static_cast<float>(std::tan(0.5))), "0000"},
        ArithCase{"Ln", none, {"LN", {K(1.0), VD(0)}}, 32, 0, "0000"},
        ArithCase{"Exp", none, {"EXP", {K(1.0), VD(0)}}, 32, bitsOf(static_cast<float>(std::exp(1.0))), "0000"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Conversions, Arithmetic,
    ::testing::Values(
        ArithCase{"BtiByte", [](Cpu& c) { c.setB(4, 200); }, {"BTI", {VB(4), VW(0)}}, 16, 200, "0000"},
        ArithCase{"BtiConstantLow8Bits", W0(0xFFFF), {"BTI", {K(300), VW(0)}}, 16, 44, "0000"},
        ArithCase{"ItbOutOfRange", [](Cpu& c) { c.setW(4, 300); }, {"ITB", {VW(4), VB(0)}}, 8, 0, "0100"},
        ArithCase{"ItbNeverClearsSm11", [](Cpu& c) { c.setW(4, 5); }, {"ITB", {VW(4), VB(0)}}, 8, 5, "0100", "0100"},
        ArithCase{"ItbNegativeConstant", none, {"ITB", {K(-1), VB(0)}}, 8, 0, "0100"},
        ArithCase{"ItdSignExtends", [](Cpu& c) { c.setW(4, 0xFFFE); }, {"ITD", {VW(4), VD(0)}}, 32, 0xFFFFFFFE, "0000"},
        ArithCase{"ItdPositive", [](Cpu& c) { c.setW(4, 0x7FFF); }, {"ITD", {VW(4), VD(0)}}, 32, 0x7FFF, "0000"},
        ArithCase{"ItdConstant", none, {"ITD", {K(-1), VD(0)}}, 32, 4294967295.0, "0000"},
        ArithCase{"ItdFromATimer", [](Cpu& c) { c.mem.timers()[4].Current = -3; }, {"ITD", {T(4), VD(0)}}, 32,
                  4294967293.0, "0000"},
        ArithCase{"DtiOutOfRangeLeavesOutAndSm11", [](Cpu& c) { c.setD(4, 70000), c.setW(0, 9); },
                  {"DTI", {VD(4), VW(0)}}, 16, 9, "0000"},
        ArithCase{"DtiNegative", D4(-2), {"DTI", {VD(4), VW(0)}}, 16, 0xFFFE, "0000"},
        ArithCase{"DtiUnsignedWord", D4(40000), {"DTI", {VD(4), VW(0)}}, 16, 40000, "0000"},
        ArithCase{"DtiBelowMinus32768LeavesOut", [](Cpu& c) { c.setD(4, -65536), c.setW(0, 9); },
                  {"DTI", {VD(4), VW(0)}}, 16, 9, "0000"},
        ArithCase{"DtiConstant", none, {"DTI", {K(-1), VW(0)}}, 16, 0xFFFF, "0000"},
        ArithCase{"DtiConstantOutOfRange", W0(9), {"DTI", {K(65536), VW(0)}}, 16, 9, "0000"},
        ArithCase{"DtrSigned", D4(4294967295.0), {"DTR", {VD(4), VD(0)}}, 32, bitsOf(-1.0f), "0000"},
        ArithCase{"DtrConstant", none, {"DTR", {K(100), VD(0)}}, 32, 0x42C80000, "0000"},
        ArithCase{"DtrRoundsToSingle", D4(16777217), {"DTR", {VD(4), VD(0)}}, 32, bitsOf(16777216.0f), "0000"},
        ArithCase{"RoundHalfAwayFromZeroNegative", none, {"ROUND", {K(-2.5), VD(0)}}, 32, 4294967293.0, "0000"},
        ArithCase{"RoundHalfUp", none, {"ROUND", {K(2.5), VD(0)}}, 32, 3, "0100", "0100"},
        ArithCase{"RoundFromMemory", R4(7.4f), {"ROUND", {VD(4), VD(0)}}, 32, 7, "0000"},
        ArithCase{"RoundBeyondDoubleIntegerKeepsLow32Bits", none, {"ROUND", {K(3e9), VD(0)}}, 32, 3e9, "0000"},
        ArithCase{"RoundBeyond2To32", none, {"ROUND", {K(4294967296.0 + 512.0), VD(0)}}, 32, 512, "0000"},
        ArithCase{"TruncTowardZero", none, {"TRUNC", {K(-2.5), VD(0)}}, 32, 4294967294.0, "0000"},
        ArithCase{"Trunc", R4(7.9f), {"TRUNC", {VD(4), VD(0)}}, 32, 7, "0000"},
        ArithCase{"Seg", none, {"SEG", {K(11), VB(0)}}, 8, 0x7C, "0000"},
        ArithCase{"SegZero", [](Cpu& c) { c.setB(4, 0); }, {"SEG", {VB(4), VB(0)}}, 8, 0x3F, "0000"},
        ArithCase{"SegAbove15LeavesOut", [](Cpu& c) { c.setB(0, 0x55); }, {"SEG", {K(16), VB(0)}}, 8, 0x55, "0000"},
        ArithCase{"SegNegativeLow8Bits", none, {"SEG", {K(-2), VB(0)}}, 8, 0xFE, "0000"}),
    CaseName());

TEST(ArithmeticOnRecords, WordArithmeticOnATimerChangesItsCurrentValue) {
    Cpu c;
    c.mem.timers()[37].Current = 5;
    c.mem.counters()[2].Current = 8;
    c.setB(4, 7);
    c.load({{"+I", {K(10), T(37)}}, {"+I", {K(-20), T(37)}}, {"/I", {K(2), C(2)}}, {"BTI", {VB(4), T(3)}}});
    c.run();
    EXPECT_EQ(c.mem.timers()[37].Current, -5) << "a negative word result is the signed current value";
    EXPECT_EQ(c.mem.counters()[2].Current, 4);
    EXPECT_EQ(c.mem.timers()[3].Current, 7);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(c.mem.cell(area::T + i), 0) << "timer bits untouched";
}

TEST(ArithmeticStatus, RecordsInOutBeforeAndResultWithTheirKinds) {
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        c.setW(0, 300);
        c.setD(4, 100);
        c.setR(8, 2.0);
        c.load({{"*I", {K(3), VW(0)}}, {"DIV", {K(7), VD(4)}}, {"SQRT", {VD(8), VD(12)}}, {"ROUND", {K(2.5), VD(16)}},
                {"-R", {K(0.5), VD(8)}}},
               power);
        c.run();
        auto kinds = [&c](const CodeLine& l) { return std::vector<int>{c.prog.runStatusOf(l).StatusKind[0], c.prog.runStatusOf(l).StatusKind[1], c.prog.runStatusOf(l).StatusKind[2]}; };
        const CodeLine& mul = c.line(0);
        EXPECT_EQ(c.prog.runStatusOf(mul).StatusValue[0], 3);
        EXPECT_EQ(c.prog.runStatusOf(mul).StatusValue[1], 300);
        EXPECT_EQ(c.prog.runStatusOf(mul).StatusValue[2], power ? 900 : 300);
        EXPECT_EQ(kinds(mul), (std::vector<int>{5, 5, 6}));
        const CodeLine& div = c.line(1);
        EXPECT_EQ(c.prog.runStatusOf(div).StatusValue[2], power ? 2 : 0);
        EXPECT_EQ(kinds(div), (std::vector<int>{5, 5, 5}));
        const CodeLine& sqrt = c.line(2);
        EXPECT_EQ(c.prog.runStatusOf(sqrt).StatusValue[0], 2.0);
        EXPECT_EQ(c.prog.runStatusOf(sqrt).StatusValue[1], power ? static_cast<float>(std::sqrt(2.0)) : 0.0);
        EXPECT_EQ(c.prog.runStatusOf(sqrt).StatusKind[1], 7);
        const CodeLine& round = c.line(3);
        EXPECT_EQ(c.prog.runStatusOf(round).StatusValue[0], 2.5);
        EXPECT_EQ(c.prog.runStatusOf(round).StatusValue[1], power ? 3 : 0);
        EXPECT_EQ(c.prog.runStatusOf(round).StatusKind[0], 7);
        EXPECT_EQ(c.prog.runStatusOf(round).StatusKind[1], 3);
        const CodeLine& sub = c.line(4);
        EXPECT_EQ(c.prog.runStatusOf(sub).StatusValue[1], 2.0);
        EXPECT_EQ(c.prog.runStatusOf(sub).StatusValue[2], power ? 1.5 : 2.0);
        EXPECT_EQ(kinds(sub), (std::vector<int>{7, 7, 7}));
    }
}

TEST(ArithmeticWriterRefusals, AreLoggedByTheWriterAndThePassGoesOn) {
    Cpu c;
    c.setW(0, 30000);
    c.load({{"ROUND", {K(1e12), VD(4)}},      // beyond 2^39, refused by tobit
            {"TRUNC", {VD(12), VD(8)}}});      // a NaN: refused by tobit
    c.setD(12, 0x7FC00000);
    c.run();
    ASSERT_EQ(c.sink.lines.size(), 2u);
    EXPECT_EQ(c.sink.lines[0], "12:00:00 tobit错误");
    EXPECT_EQ(c.sink.lines[1], "12:00:00 tobit错误");
    EXPECT_EQ(c.w(0), 30000);
    EXPECT_EQ(c.d(4), 0);
    EXPECT_EQ(c.flags(), "0000") << "SM1.1 and SM1.0 as for a result in range";
    EXPECT_TRUE(c.completed(0));
}

struct RealFault {
    const char* name;
    std::function<void(Cpu&)> setup;
    Instr instr;
};

class RealFaults : public ::testing::TestWithParam<RealFault> {};

TEST_P(RealFaults, EndThePassAndKeepOut) {
    const RealFault& rf = GetParam();
    Cpu c;
    c.setR(0, 1.25);
    rf.setup(c);
    const double before = c.d(0);
    c.load({rf.instr, {"MOVB", {K(1), VB(200)}}});
    c.run();
    ASSERT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
    EXPECT_EQ(c.d(0), before);
    EXPECT_EQ(c.b(200), 0);
    EXPECT_EQ(c.cpu.scanCounter, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealFaults,
    ::testing::Values(RealFault{"DivideByZero", none, {"/R", {K(0.0), VD(0)}}},
                      RealFault{"ZeroByZero", [](Cpu& c) { c.setR(0, 0); }, {"/R", {VD(4), VD(0)}}},
                      RealFault{"SqrtOfNegative", none, {"SQRT", {K(-1.0), VD(0)}}},
                      RealFault{"LnOfZero", none, {"LN", {K(0.0), VD(0)}}},
                      RealFault{"LnOfNegative", none, {"LN", {K(-3.0), VD(0)}}},
                      RealFault{"ExpOverflow", none, {"EXP", {K(100.0), VD(0)}}},
                      RealFault{"MulOverflow", [](Cpu& c) { c.setR(0, 1e30); }, {"*R", {K(1e30), VD(0)}}},
                      RealFault{"AddOverflow", [](Cpu& c) { c.setR(0, 3e38); }, {"+R", {K(3e38), VD(0)}}},
                      RealFault{"NaNOperand", [](Cpu& c) { c.setD(4, 0x7FC00000); }, {"+R", {VD(4), VD(0)}}},
                      RealFault{"InfinityMinusInfinity", [](Cpu& c) { c.setD(0, 0x7F800000), c.setD(4, 0x7F800000); },
                                {"-R", {VD(4), VD(0)}}},
                      RealFault{"SinOfInfinity", [](Cpu& c) { c.setD(4, 0x7F800000); }, {"SIN", {VD(4), VD(0)}}},
                      RealFault{"ConstantBeyondSingleRange", none, {"+R", {K(1e39), VD(0)}}},
                      RealFault{"OperandOutsideTheImage", none, {"+R", {K(1.0), Key(19190, kind::DWord)}}},
                      RealFault{"WordOperandOutsideTheImage", none, {"+I", {K(1.0), Key(19195, kind::Word)}}}),
    CaseName());

TEST(RealFaults, TheNextPassRunsNormally) {
    Cpu c;
    c.setR(0, 3.0);
    c.load({{"/R", {VD(4), VD(0)}}, {"INCB", {VB(20)}}});
    c.run();
    ASSERT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
    EXPECT_EQ(c.r(0), 3.0);
    c.setR(4, 2.0);
    c.run();
    EXPECT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.r(0), 1.5);
    EXPECT_EQ(c.b(20), 1);
    EXPECT_EQ(c.cpu.scanCounter, 1);
}

}  // namespace
