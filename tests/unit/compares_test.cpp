#include <array>
#include <functional>
#include <string>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

// Every one of the 72 contacts, on every relation outcome, combined with the logic result
// before it: LD loads (and pushes the old result), A ands, O ors.
TEST(CompareContacts, AllFormsTypesAndRelationsCombineWithTheLogicResult) {
    const char* forms[] = {"LD", "A", "O"};
    const char* types[] = {"B", "W", "D", "R"};
    const char* relations[] = {"=", "<>", ">", ">=", "<", "<="};
    const std::function<bool(double, double)> holds[] = {
        [](double a, double b) { return a == b; }, [](double a, double b) { return a != b; },
        [](double a, double b) { return a > b; },  [](double a, double b) { return a >= b; },
        [](double a, double b) { return a < b; },  [](double a, double b) { return a <= b; }};
    const std::pair<double, double> pairs[] = {{3, 5}, {5, 5}, {5, 3}};
    int checked = 0;
    for (int f = 0; f < 3; ++f)
        for (int t = 0; t < 4; ++t)
            for (int r = 0; r < 6; ++r)
                for (auto [in1, in2] : pairs)
                    for (bool before : {true, false}) {
                        Cpu c;
                        Operand a{}, b{};
                        switch (t) {
                        case 0:
                            c.setB(0, in1), c.setB(1, in2), a = VB(0), b = VB(1);
                            break;
                        case 1:
                            c.setW(0, in1), c.setW(2, in2), a = VW(0), b = VW(2);
                            break;
                        case 2:
                            c.setD(0, in1), c.setD(4, in2), a = VD(0), b = VD(4);
                            break;
                        default:
                            c.setR(0, in1 / 4), c.setR(4, in2 / 4), a = VD(0), b = VD(4);
                            break;
                        }
                        const std::string mnemonic = std::string(forms[f]) + types[t] + relations[r];
                        c.load({{mnemonic, {a, b}}}, before);
                        c.run();
                        const bool cmp = holds[r](in1, in2);
                        const bool expected = f == 0 ? cmp : f == 1 ? (before && cmp) : (before || cmp);
                        const CodeLine& line = c.line(0);
                        SCOPED_TRACE(mnemonic + " " + std::to_string(in1) + "," + std::to_string(in2) +
                                     (before ? " on" : " off"));
                        ASSERT_EQ(lineStatus(c.prog, line).flowAfter, expected);
                        // The load form pushed the previous result: it is the second stack entry.
                        if (f == 0) {
                            EXPECT_EQ(lineStatus(c.prog, line).stack[2], before ? '1' : '0');
                        }
                        EXPECT_EQ(c.prog.runStatusOf(line).StatusKind[0], (std::array<int, 4>{1, 5, 6, 7})[static_cast<std::size_t>(t)]);
                        EXPECT_EQ(c.prog.runStatusOf(line).StatusValue[0], t == 3 ? in1 / 4 : in1);
                        EXPECT_EQ(c.prog.runStatusOf(line).StatusValue[1], t == 3 ? in2 / 4 : in2);
                        ++checked;
                    }
    EXPECT_EQ(checked, 72 * 6);
}

struct CompareCase {
    const char* name;
    std::function<void(Cpu&)> setup;
    Instr instr;
    bool result;
};

class CompareValues : public ::testing::TestWithParam<CompareCase> {};

// Bytes compare unsigned; words as INT and double words as DINT, constants written as a bit
// pattern taken in two's complement of the width.
TEST_P(CompareValues, BytesUnsignedWordsAndDoubleWordsSigned) {
    const CompareCase& cc = GetParam();
    Cpu c;
    cc.setup(c);
    c.load({cc.instr});
    c.run();
    EXPECT_EQ(lineStatus(c.prog, c.line(0)).flowAfter, cc.result);
    EXPECT_TRUE(c.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareValues,
    ::testing::Values(
        CompareCase{"Word8000IsBelowZero", [](Cpu& c) { c.setW(0, 0x8000); }, {"LDW<", {VW(0), K(0)}}, true},
        CompareCase{"Word7FFFIsAboveZero", [](Cpu& c) { c.setW(0, 0x7FFF); }, {"LDW>", {VW(0), K(0)}}, true},
        CompareCase{"WordMinus16IsBelowMinus5", [](Cpu& c) { c.setW(0, 0xFFF0); }, {"LDW>", {VW(0), K(-5)}}, false},
        CompareCase{"WordBitPatternConstant", [](Cpu& c) { c.setW(0, 0xFFFF); }, {"LDW=", {VW(0), K(0xFFFF)}}, true},
        CompareCase{"WordFFFFIsMinusOne", [](Cpu& c) { c.setW(0, 0xFFFF); }, {"LDW=", {VW(0), K(-1)}}, true},
        CompareCase{"WordsBothSigned",
                    [](Cpu& c) {
                        c.setW(0, 0x8000);
                        c.setW(2, 1);
                    },
                    {"LDW<", {VW(0), VW(2)}},
                    true},
        CompareCase{"DwordAllOnesEqualsTheBitPattern",
                    [](Cpu& c) { c.setD(0, -1); },
                    {"LDD=", {VD(0), K(4294967295.0)}},
                    true},
        CompareCase{"DwordAllOnesIsMinusOne", [](Cpu& c) { c.setD(0, -1); }, {"LDD=", {VD(0), K(-1)}}, true},
        CompareCase{"Dword80000000IsBelowOne",
                    [](Cpu& c) {
                        c.setD(0, 0x80000000u);
                        c.setD(4, 1);
                    },
                    {"LDD<", {VD(0), VD(4)}},
                    true},
        CompareCase{"DwordHoldingFFFFIsPositive", [](Cpu& c) { c.setD(0, 0xFFFF); }, {"LDD>", {VD(0), K(0)}}, true},
        CompareCase{"ByteStaysUnsigned", [](Cpu& c) { c.setB(0, 0x80); }, {"LDB>", {VB(0), K(127)}}, true},
        CompareCase{"ByteWithItself", [](Cpu& c) { c.setB(0, 9); }, {"LDB>=", {VB(0), VB(0)}}, true},
        CompareCase{"ByteDiffersNotFromItself", [](Cpu& c) { c.setB(0, 9); }, {"LDB<>", {VB(0), VB(0)}}, false},
        CompareCase{"RealPattern", [](Cpu& c) { c.setD(0, 0x3FC00000); }, {"LDR=", {VD(0), K(1.5)}}, true},
        CompareCase{"RealConstantInSinglePrecision",
                    [](Cpu& c) { c.setR(0, 0.1); },
                    {"LDR=", {VD(0), K(0.1)}},
                    true},
        CompareCase{"NegativeReal", [](Cpu& c) { c.setR(0, -2.0); }, {"LDR<", {VD(0), K(-1.5)}}, true},
        CompareCase{"RealNaNIsUnordered", [](Cpu& c) { c.setD(0, 0x7FC00000); }, {"LDR>=", {VD(0), VD(0)}}, false},
        CompareCase{"TimerCurrentValue",
                    [](Cpu& c) { c.mem.timers()[37].Current = 300; },
                    {"LDW>=", {T(37), K(300)}},
                    true},
        CompareCase{"CounterCurrentValue",
                    [](Cpu& c) { c.mem.counters()[2].Current = 4; },
                    {"LDW<", {C(2), K(4)}},
                    false},
        CompareCase{"NegativeCounterInADoubleWordCompare",
                    [](Cpu& c) { c.mem.counters()[2].Current = -3; },
                    {"LDD<", {C(2), K(0)}},
                    true},
        CompareCase{"ByteAddressInAWordCompareReadsTheByte",
                    [](Cpu& c) { c.setW(0, 0x0102); },
                    {"LDW=", {VB(0), K(1)}},
                    true},
        CompareCase{"ThroughAPointer",
                    [](Cpu& c) {
                        c.setD(40, 64 + 10);
                        c.setB(10, 7);
                    },
                    {"LDB=", {PtrB(40), K(7)}},
                    true}),
    CaseName());

// A value moved in as a negative integer compares and shows as that integer.
TEST(CompareContacts, NegativeValuesCompareAndShowSigned) {
    Cpu c;
    c.load({{"MOVW", {K(-5), VW(0)}},
            {"MOVD", {K(-70000), VD(4)}},
            {"LDW<", {VW(0), K(0)}},
            {"LDD<=", {VD(4), K(0xFFFEEE90)}},
            {"LDB<", {VB(0), K(0)}}});
    c.run();
    const CodeLine& w = c.line(2);
    EXPECT_TRUE(lineStatus(c.prog, w).flowAfter);
    EXPECT_EQ(c.prog.runStatusOf(w).StatusValue[0], -5);
    EXPECT_EQ(c.prog.runStatusOf(w).StatusValue[1], 0);
    EXPECT_EQ(c.prog.runStatusOf(w).StatusKind[0], 5);
    EXPECT_EQ(c.prog.runStatusOf(w).StatusKind[1], 5);
    const CodeLine& d = c.line(3);
    EXPECT_TRUE(lineStatus(c.prog, d).flowAfter);
    EXPECT_EQ(c.prog.runStatusOf(d).StatusValue[0], -70000);
    EXPECT_EQ(c.prog.runStatusOf(d).StatusValue[1], -70000);
    EXPECT_EQ(c.prog.runStatusOf(d).StatusKind[0], 6);
    EXPECT_EQ(c.prog.runStatusOf(d).StatusKind[1], 6);
    const CodeLine& b = c.line(4);
    EXPECT_FALSE(lineStatus(c.prog, b).flowAfter) << "VB0 holds 16#FF, 255 as a byte";
    EXPECT_EQ(c.prog.runStatusOf(b).StatusValue[0], 255);
    EXPECT_EQ(c.prog.runStatusOf(b).StatusKind[0], 1);
}

TEST(CompareContacts, AndAfterLoadAndOrAfterFalseFollowTheNetwork) {
    Cpu c;
    c.setW(0, 4);
    c.setW(2, 4);
    c.setB(4, 11);
    c.load({{"LD", {I(0, 0)}},
            {"AW=", {VW(0), VW(2)}},
            {"=", {Q(0, 0)}},
            {"LD", {I(0, 0)}},
            {"OB>", {VB(4), K(10)}},
            {"LDR=", {VD(8), K(0.0)}},
            {"OLD", {}}});
    c.run();
    EXPECT_EQ(c.mem.cell(area::Q), kOff) << "I0.0 off: AW= cannot turn the result on";
    EXPECT_TRUE(lineStatus(c.prog, c.line(4)).flowAfter) << "OB> turns it on, whatever came before";
    EXPECT_TRUE(lineStatus(c.prog, c.line(6)).flowAfter);
    c.mem.setBit(area::I, true);
    c.run();
    EXPECT_EQ(c.mem.cell(area::Q), kOn);
}

TEST(CompareContacts, AnOperandOutsideTheImageEndsThePass) {
    Cpu c;
    c.load({{"LDW=", {Key(19195, kind::Word), K(0)}}, {"MOVB", {K(1), VB(0)}}});
    c.run();
    ASSERT_EQ(c.sink.lines.size(), 1u);
    EXPECT_EQ(c.sink.lines[0], c.runtimeError(c.firstLine));
    EXPECT_EQ(c.b(0), 0);
    EXPECT_EQ(c.cpu.scanCounter, 0);
}

}  // namespace

namespace {

TEST(CompareContacts, AnyNonZeroCellReadsAsAOneBit) {
    Cpu c;
    const std::int16_t cells[8] = {1, -32768, 0x0100, 0, 0x7FFF, 0, -1, 0x0001};
    for (int i = 0; i < 8; ++i) c.mem.setCell(area::V + 8 + i, cells[i]);
    c.load({{"LDB=", {VB(1), K(0b11010111)}}, {"LDD=", {VD(1), K(0xD7000000)}}});
    c.run();
    EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusValue[0], 0b11010111);
    EXPECT_TRUE(lineStatus(c.prog, c.line(0)).flowAfter);
    EXPECT_TRUE(lineStatus(c.prog, c.line(1)).flowAfter);
}

}  // namespace
