#include <cstdint>
#include <string>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

// Cell keys of V words and of the low word of an accumulator.
int vw(int n) { return area::V + 8 * n; }
int acw(int n) { return area::AC + 32 * n + 16; }
Operand ACW(int n) { return Key(acw(n), kind::Word); }

constexpr int kEno = area::M + 8 * 30;  // M30.0 takes ENO through AENO

struct TableCase {
    const char* name;
    std::vector<std::pair<int, int>> before;  // word key, value
    std::vector<Instr> program;               // ENO is the last instruction's
    std::vector<std::pair<int, int>> after;   // word key, value with the logic result on
    int smBit = -1;                           // SM1.4 or SM1.5, or -1
    bool smOn = false;
    bool eno = true;
    std::uint16_t error = 0;  // the non-fatal error expected
};

// A table for ATT, FIFO and LIFO at VW200: TL, EC, entries.
std::vector<std::pair<int, int>> tableAt200(std::vector<int> words) {
    std::vector<std::pair<int, int>> t;
    for (std::size_t i = 0; i < words.size(); ++i) t.push_back({vw(200 + 2 * static_cast<int>(i)), words[i]});
    return t;
}
// The same with further words.
std::vector<std::pair<int, int>> with(std::vector<std::pair<int, int>> t, std::vector<std::pair<int, int>> more) {
    t.insert(t.end(), more.begin(), more.end());
    return t;
}

// The table of the find examples: EC = 6 at VW202, the entries from VW204 on.
const std::vector<std::pair<int, int>> kFindTable =
    tableAt200({0, 6, 0x3133, 0x4142, 0x3130, 0x3030, 0x3130, 0x4541});

class Tables : public ::testing::TestWithParam<TableCase> {};

TEST_P(Tables, ActOnlyWhileTheLogicResultIsOn) {
    const TableCase& tc = GetParam();
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        for (auto [key, v] : tc.before) ASSERT_TRUE(c.mem.tobit(v, key, 16));
        if (tc.smBit >= 0) c.mem.setBit(tc.smBit, !tc.smOn);
        std::vector<std::pair<int, int>> untouched;
        for (auto [key, v] : tc.after) untouched.push_back({key, static_cast<int>(c.mem.GetWordValue(key))});
        std::vector<Instr> body = tc.program;
        body.push_back({"AENO", {}});
        body.push_back({"=", {K(kEno)}});
        c.load(body, power);
        c.run();
        std::vector<std::pair<int, int>> got;
        for (auto [key, v] : tc.after) got.push_back({key, static_cast<int>(c.mem.GetWordValue(key))});
        EXPECT_EQ(got, power ? tc.after : untouched);
        if (tc.smBit >= 0) {
            EXPECT_EQ(c.mem.bit(tc.smBit), power ? tc.smOn : !tc.smOn);
        }
        EXPECT_EQ(c.mem.bit(kEno), power && tc.eno) << "ENO";
        EXPECT_EQ(c.cpu.errorCode, power ? tc.error : 0);
        EXPECT_EQ(c.mem.bit(area::SM4_3), power && tc.error != 0);
        EXPECT_TRUE(c.sink.lines.empty()) << c.sink.lines.front();
        EXPECT_TRUE(c.completed(0));
    }
}

constexpr int SM1_4 = area::SM1_4, SM1_5 = area::SM1_5;

INSTANTIATE_TEST_SUITE_P(
    Cases, Tables,
    ::testing::Values(
        // ATT DATA, TBL.
        TableCase{"AttAppends",
                  with(tableAt200({6, 2, 0x1234, 0x4321}), {{vw(100), 0x0A0B}}),
                  {{"ATT", {VW(100), VW(200)}}},
                  {{vw(202), 3}, {vw(204), 0x1234}, {vw(206), 0x4321}, {vw(208), 0x0A0B}},
                  SM1_4,
                  false},
        TableCase{"AttConstant", tableAt200({1, 0}), {{"ATT", {K(-5), VW(200)}}}, {{vw(202), 1}, {vw(204), 0xFFFB}}, SM1_4, false},
        TableCase{"AttOnAFullTable",
                  with(tableAt200({2, 2, 7, 8}), {{vw(100), 9}}),
                  {{"ATT", {VW(100), VW(200)}}},
                  {{vw(200), 2}, {vw(202), 2}, {vw(204), 7}, {vw(206), 8}, {vw(208), 0}},
                  SM1_4,
                  true,
                  false},
        // FIFO and LIFO TBL, DATA.
        TableCase{"Lifo",
                  tableAt200({6, 3, 0x5431, 0x8942, 0x1234}),
                  {{"LIFO", {VW(200), VW(300)}}},
                  {{vw(300), 0x1234}, {vw(202), 2}, {vw(204), 0x5431}, {vw(206), 0x8942}, {vw(208), 0x1234}},
                  SM1_5,
                  false},
        TableCase{"FifoMovesTheRestDown",
                  tableAt200({6, 3, 0x5431, 0x8942, 0x1234}),
                  {{"FIFO", {VW(200), VW(300)}}},
                  {{vw(300), 0x5431}, {vw(202), 2}, {vw(204), 0x8942}, {vw(206), 0x1234}, {vw(208), 0x1234}},
                  SM1_5,
                  false},
        TableCase{"FifoIntoAnAccumulator",
                  tableAt200({6, 1, 0x4321}),
                  {{"MOVD", {K(0x11112222), Key(area::AC + 32, kind::DWord)}}, {"FIFO", {VW(200), ACW(1)}}},
                  {{acw(1) - 16, 0x1111}, {acw(1), 0x4321}, {vw(202), 0}},
                  SM1_5,
                  false},
        TableCase{"FifoOnAnEmptyTable",
                  with(tableAt200({6, 0, 0x1111}), {{vw(300), 0x7777}}),
                  {{"FIFO", {VW(200), VW(300)}}},
                  {{vw(300), 0x7777}, {vw(202), 0}},
                  SM1_5,
                  true,
                  false},
        TableCase{"LifoOnAnEmptyTable",
                  with(tableAt200({6, 0, 0x1111}), {{vw(300), 0x7777}}),
                  {{"LIFO", {VW(200), VW(300)}}},
                  {{vw(300), 0x7777}, {vw(202), 0}},
                  SM1_5,
                  true,
                  false},
        // FND TBL (the address of EC), PTN, INDX: from INDX on; EC when nothing matches.
        TableCase{"FindEqualStepByStep",
                  kFindTable,
                  {{"MOVW", {K(0), ACW(1)}},
                   {"FND=", {VW(202), K(0x3130), ACW(1)}},
                   {"MOVW", {ACW(1), VW(300)}},
                   {"INCW", {ACW(1)}},
                   {"FND=", {VW(202), K(0x3130), ACW(1)}},
                   {"MOVW", {ACW(1), VW(302)}},
                   {"INCW", {ACW(1)}},
                   {"FND=", {VW(202), K(0x3130), ACW(1)}}},
                  {{vw(300), 2}, {vw(302), 4}, {acw(1), 6}}},
        TableCase{"FindGreater",
                  with(kFindTable, {{vw(300), 0}}),
                  {{"FND>", {VW(202), K(0x4000), VW(300)}}},
                  {{vw(300), 1}}},
        TableCase{"FindLessComparesSigned",
                  with(tableAt200({0, 3, 5, 0xFFFE, 7}), {{vw(300), 0}}),
                  {{"FND<", {VW(202), K(0), VW(300)}}},
                  {{vw(300), 1}}},
        TableCase{"FindNotEqual",
                  with(tableAt200({0, 3, 5, 5, 7}), {{vw(300), 0}}),
                  {{"FND<>", {VW(202), K(5), VW(300)}}},
                  {{vw(300), 2}}},
        TableCase{"FindFromAnIndexPastTheEndGivesEc",
                  with(kFindTable, {{vw(300), 9}}),
                  {{"FND=", {VW(202), K(0x3133), VW(300)}}},
                  {{vw(300), 6}}},
        // A table that does not lie whole inside V, or longer than 100 entries: error 0091,
        // nothing written.
        TableCase{"AttTablePastTheEndOfV",
                  {{vw(1020), 3}, {vw(1022), 0}},
                  {{"ATT", {K(1), VW(1020)}}},
                  {{vw(1022), 0}},
                  -1,
                  false,
                  false,
                  0x0091},
        TableCase{"AttMoreThan100Entries",
                  tableAt200({101, 0}),
                  {{"ATT", {K(1), VW(200)}}},
                  {{vw(202), 0}, {vw(204), 0}},
                  -1,
                  false,
                  false,
                  0x0091},
        TableCase{"FifoEcPastTheEndOfV",
                  {{vw(1022), 6}, {vw(300), 0x7777}},
                  {{"FIFO", {VW(1022), VW(300)}}},
                  {{vw(300), 0x7777}},
                  -1,
                  false,
                  false,
                  0x0091},
        TableCase{"LifoEntriesPastTheEndOfV",
                  {{vw(1016), 6}, {vw(1018), 3}, {vw(300), 0x7777}},
                  {{"LIFO", {VW(1016), VW(300)}}},
                  {{vw(300), 0x7777}, {vw(1018), 3}},
                  -1,
                  false,
                  false,
                  0x0091},
        TableCase{"FindMoreThan100Entries",
                  with(tableAt200({0, 101}), {{vw(300), 0x7777}}),
                  {{"FND=", {VW(202), K(0), VW(300)}}},
                  {{vw(300), 0x7777}},
                  -1,
                  false,
                  false,
                  0x0091}),
    CaseName());

TEST(TablesOnRecords, ATableFromATimerIsTheCurrentValuesOfConsecutiveTimers) {
    Cpu c;
    c.mem.timers()[10].Current = 3;  // TL
    c.mem.timers()[11].Current = 1;  // EC
    c.mem.timers()[12].Current = 55;
    c.load({{"ATT", {K(77), T(10)}}, {"FND=", {T(11), K(77), VW(0)}}, {"LIFO", {T(10), C(4)}}});
    c.run();
    EXPECT_EQ(c.mem.timers()[13].Current, 77);
    EXPECT_EQ(c.w(0), 1);
    EXPECT_EQ(c.mem.counters()[4].Current, 77);
    EXPECT_EQ(c.mem.timers()[11].Current, 1);
}

TEST(TableStatus, ShowsTheOperandsWithTheirDisplayKindsWhetherExecutedOrNot) {
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        for (auto [key, v] : tableAt200({4, 1, 0xFFFF})) c.mem.tobit(v, key, 16);
        c.setW(302, 5);
        c.load({{"ATT", {K(-2), VW(200)}}, {"FIFO", {VW(200), VW(300)}}, {"FND<", {VW(202), K(-1), VW(302)}}}, power);
        c.run();
        EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusValue[0], -2);
        EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusKind[0], 5);
        EXPECT_EQ(c.prog.runStatusOf(c.line(0)).StatusValue[1], 4) << "the word at TBL";
        EXPECT_EQ(c.prog.runStatusOf(c.line(1)).StatusValue[1], power ? -1 : 0) << "DATA after the instruction, signed";
        EXPECT_EQ(c.prog.runStatusOf(c.line(1)).StatusKind[1], 5);
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusValue[0], 1) << "EC";
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusValue[1], -1);
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusValue[2], power ? 1 : 5) << "INDX 5 is past EC: it becomes EC";
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusKind[2], 2);
    }
}

}  // namespace
