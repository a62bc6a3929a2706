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
                        ASSERT_EQ(line.FlowAfter, expected ? kOn : kOff);
                        // The load form pushed the previous result: it is the second stack entry.
                        if (f == 0) {
                            EXPECT_EQ(line.StackText[2], before ? '1' : '0');
                        }
                        EXPECT_EQ(line.StatusKind[0], t == 3 ? 7 : t + 1);
                        EXPECT_EQ(line.StatusValue[0], t == 3 ? in1 / 4 : in1);
                        EXPECT_EQ(line.StatusValue[1], t == 3 ? in2 / 4 : in2);
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

TEST_P(CompareValues, CompareAsPlainNumbersWithMemoryReadUnsigned) {
    const CompareCase& cc = GetParam();
    Cpu c;
    cc.setup(c);
    c.load({cc.instr});
    c.run();
    EXPECT_EQ(c.line(0).FlowAfter, cc.result ? kOn : kOff);
    EXPECT_TRUE(c.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareValues,
    ::testing::Values(
        CompareCase{"WordIsNeverBelowZero", [](Cpu& c) { c.setW(0, 0x8000); }, {"LDW<", {VW(0), K(0)}}, false},
        CompareCase{"WordIsAboveNegativeConstant", [](Cpu& c) { c.setW(0, 0xFFFF); }, {"LDW>", {VW(0), K(-5)}}, true},
        CompareCase{"DwordAllOnes",
                    [](Cpu& c) { c.setD(0, -1); },
                    {"LDD=", {VD(0), K(4294967295.0)}},
                    true},
        CompareCase{"DwordIsNotMinusOne", [](Cpu& c) { c.setD(0, -1); }, {"LDD=", {VD(0), K(-1)}}, false},
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
    EXPECT_EQ(c.line(4).FlowAfter, kOn) << "OB> turns it on, whatever came before";
    EXPECT_EQ(c.line(6).FlowAfter, kOn);
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
    EXPECT_EQ(c.line(0).StatusValue[0], 0b11010111);
    EXPECT_EQ(c.line(0).FlowAfter, kOn);
    EXPECT_EQ(c.line(1).FlowAfter, kOn);
}

}  // namespace
