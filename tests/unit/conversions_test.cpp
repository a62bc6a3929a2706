#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

// The low word of accumulator n, as a word operand addresses it.
Operand ACW(int n) { return Key(area::AC + 32 * n + 16, kind::Word); }

// The bytes of an ASCII text.
std::vector<int> ascii(const char* s) {
    std::vector<int> out;
    for (; *s; ++s) out.push_back(static_cast<unsigned char>(*s));
    return out;
}
std::vector<int> blanks(int n) { return std::vector<int>(static_cast<std::size_t>(n), 0x20); }

// The four bytes of a single, most significant first, from V byte n on.
std::vector<std::pair<int, int>> realAt(int n, float v) {
    std::uint32_t p;
    std::memcpy(&p, &v, sizeof p);
    return {{n, static_cast<int>(p >> 24)}, {n + 1, static_cast<int>(p >> 16 & 0xFF)},
            {n + 2, static_cast<int>(p >> 8 & 0xFF)}, {n + 3, static_cast<int>(p & 0xFF)}};
}

std::vector<int> vbytes(const Cpu& c, int from, std::size_t n) {
    std::vector<int> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<int>(c.b(from + static_cast<int>(i))));
    return out;
}

constexpr int kEno = area::M + 8 * 30;  // M30.0 takes ENO through AENO

struct ConversionCase {
    const char* name;
    std::vector<std::pair<int, int>> before;  // V byte, value
    Instr instr;
    int from;                // first V byte checked
    std::vector<int> after;  // V bytes from `from` with the logic result on
    int smBit = -1;          // the SM bit the instruction writes (SM1.6, SM1.7), or -1
    bool smOn = false;
    bool eno = true;
    std::uint16_t error = 0;  // the non-fatal error expected
};

class Conversions : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversions, ConvertOnlyWhileTheLogicResultIsOn) {
    const ConversionCase& tc = GetParam();
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        for (auto [n, v] : tc.before) c.setB(n, v);
        // The SM bit starts opposite to its expected value, so that the write shows.
        if (tc.smBit >= 0) c.mem.setBit(tc.smBit, !tc.smOn);
        const std::vector<int> untouched = vbytes(c, tc.from, tc.after.size());
        c.load({tc.instr, {"AENO", {}}, {"=", {K(kEno)}}}, power);
        c.run();
        EXPECT_EQ(vbytes(c, tc.from, tc.after.size()), power ? tc.after : untouched);
        if (tc.smBit >= 0) {
            EXPECT_EQ(c.mem.bit(tc.smBit), power ? tc.smOn : !tc.smOn);
        }
        EXPECT_EQ(c.mem.bit(kEno), power && tc.eno) << "ENO";
        EXPECT_EQ(c.cpu.errorCode, power ? tc.error : 0);
        EXPECT_EQ(c.mem.bit(area::SM4_3), power && tc.error != 0);
        EXPECT_EQ(c.flags(), "0000") << "conversions never touch SM1.0 ... SM1.3";
        EXPECT_TRUE(c.sink.lines.empty()) << c.sink.lines.front();
        EXPECT_TRUE(c.completed(0));
    }
}

constexpr int SM1_6 = area::SM1_6, SM1_7 = area::SM1_7;

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversions,
    ::testing::Values(
        // BCDI, IBCD: in place; a digit above 9 or an INT outside 0 ... 9999 sets SM1.6.
        ConversionCase{"Bcdi1234", {{0, 0x12}, {1, 0x34}}, {"BCDI", {VW(0)}}, 0, {0x04, 0xD2}, SM1_6, false},
        ConversionCase{"Bcdi99", {{0, 0x00}, {1, 0x99}}, {"BCDI", {VW(0)}}, 0, {0x00, 0x63}, SM1_6, false},
        ConversionCase{"BcdiNotBcd", {{0, 0x12}, {1, 0xA4}}, {"BCDI", {VW(0)}}, 0, {0x12, 0xA4}, SM1_6, true, false},
        ConversionCase{"Ibcd1234", {{0, 0x04}, {1, 0xD2}}, {"IBCD", {VW(0)}}, 0, {0x12, 0x34}, SM1_6, false},
        ConversionCase{"Ibcd9999", {{0, 0x27}, {1, 0x0F}}, {"IBCD", {VW(0)}}, 0, {0x99, 0x99}, SM1_6, false},
        ConversionCase{"Ibcd10000", {{0, 0x27}, {1, 0x10}}, {"IBCD", {VW(0)}}, 0, {0x27, 0x10}, SM1_6, true, false},
        ConversionCase{"IbcdNegative", {{0, 0xFF}, {1, 0xFF}}, {"IBCD", {VW(0)}}, 0, {0xFF, 0xFF}, SM1_6, true, false},
        // DECO, ENCO, SWAP.
        ConversionCase{"Deco3", {{0, 0xFF}, {1, 0xFF}}, {"DECO", {K(3), VW(0)}}, 0, {0x00, 0x08}},
        ConversionCase{"DecoLowNibbleOnly", {{1, 0x2F}}, {"DECO", {VB(1), VW(2)}}, 2, {0x80, 0x00}},
        ConversionCase{"Enco0200", {{2, 0xFF}}, {"ENCO", {K(0x0200), VB(2)}}, 2, {9}},
        ConversionCase{"EncoLowestSetBit", {{4, 0x80}, {5, 0x10}}, {"ENCO", {VW(4), VB(2)}}, 2, {4}},
        ConversionCase{"Enco0001", {{2, 0xFF}}, {"ENCO", {K(1), VB(2)}}, 2, {0}},
        ConversionCase{"EncoOfZeroIsZero", {{2, 0xFF}}, {"ENCO", {K(0), VB(2)}}, 2, {0}},
        ConversionCase{"Swap", {{0, 0xD6}, {1, 0xC3}}, {"SWAP", {VW(0)}}, 0, {0xC3, 0xD6}},
        // ATH: an odd count leaves the last low nibble; a bad character stops the conversion
        // after the nibbles before it.
        ConversionCase{"Ath3EA",
                       {{30, '3'}, {31, 'E'}, {32, 'A'}, {41, 0xFF}},
                       {"ATH", {VB(30), VB(40), K(3)}},
                       40,
                       {0x3E, 0xAF},
                       SM1_7,
                       false},
        ConversionCase{"AthLowerCaseIsNoDigit",
                       {{30, '1'}, {31, '2'}, {32, 'f'}, {33, 'F'}, {41, 0x55}},
                       {"ATH", {VB(30), VB(40), K(4)}},
                       40,
                       {0x12, 0x55},
                       SM1_7,
                       true,
                       false},
        ConversionCase{"HtaE34", {{30, 0xE3}, {31, 0x4A}}, {"HTA", {VB(30), VB(40), K(3)}}, 40, {0x45, 0x33, 0x34, 0}},
        ConversionCase{"Hta0BC1", {{30, 0x0B}, {31, 0xC1}}, {"HTA", {VB(30), VB(40), K(4)}}, 40, ascii("0BC1")},
        ConversionCase{"HtaInPlaceConvertsTheInput",
                       {{30, 0xAB}, {31, 0xCD}},
                       {"HTA", {VB(30), VB(30), K(4)}},
                       30,
                       ascii("ABCD")},
        // ITA: 8 bytes, right-justified; FMT c (comma) and nnn (decimals).
        ConversionCase{"Ita12", {{0, 0}, {1, 12}}, {"ITA", {VW(0), VB(10), K(0x03)}}, 10, ascii("   0.012")},
        ConversionCase{"ItaMinus123", {}, {"ITA", {K(-123), VB(10), K(0x03)}}, 10, ascii("  -0.123")},
        ConversionCase{"Ita1234", {}, {"ITA", {K(1234), VB(10), K(0x03)}}, 10, ascii("   1.234")},
        ConversionCase{"ItaMinus12345", {}, {"ITA", {K(-12345), VB(10), K(0x03)}}, 10, ascii(" -12.345")},
        ConversionCase{"ItaComma", {}, {"ITA", {K(1234), VB(10), K(0x0A)}}, 10, ascii("   12,34")},
        ConversionCase{"ItaMinus32768",
                       {{0, 0x80}, {1, 0x00}},
                       {"ITA", {VW(0), VB(10), K(0x05)}},
                       10,
                       ascii("-0.32768")},
        ConversionCase{"ItaZero", {}, {"ITA", {K(0), VB(10), K(0)}}, 10, ascii("       0")},
        ConversionCase{"ItaSixDecimalsGiveSpaces", {}, {"ITA", {K(55), VB(10), K(0x06)}}, 10, blanks(8), -1, false, false},
        ConversionCase{"ItaHighFormatBitsWriteNothing",
                       {{10, 0x11}, {17, 0x22}},
                       {"ITA", {K(55), VB(10), K(0x13)}},
                       10,
                       {0x11, 0, 0, 0, 0, 0, 0, 0x22},
                       -1,
                       false,
                       false},
        ConversionCase{"ItaThroughPointer", {{43, 64 + 100}}, {"ITA", {K(7), PtrB(40), K(0)}}, 100, ascii("       7")},
        // DTA: 12 bytes.
        ConversionCase{"DtaMinus12", {}, {"DTA", {K(-12), VB(10), K(0x04)}}, 10, ascii("     -0.0012")},
        ConversionCase{"Dta1234567",
                       {{0, 0x00}, {1, 0x12}, {2, 0xD6}, {3, 0x87}},
                       {"DTA", {VD(0), VB(10), K(0x04)}},
                       10,
                       ascii("    123.4567")},
        ConversionCase{"DtaMinimum", {}, {"DTA", {K(-2147483648.0), VB(10), K(0)}}, 10, ascii(" -2147483648")},
        // RTA: ssss bytes; rounded to nnn decimals, halves away from zero.
        ConversionCase{"Rta1234_5", realAt(0, 1234.5f), {"RTA", {VD(0), VB(10), K(0x61)}}, 10, ascii("1234.5")},
        ConversionCase{"RtaRoundsDown", {}, {"RTA", {K(-3.67526), VB(10), K(0x61)}}, 10, ascii("  -3.7")},
        ConversionCase{"RtaRoundsUp", {}, {"RTA", {K(1.95), VB(10), K(0x61)}}, 10, ascii("   2.0")},
        ConversionCase{"RtaHalvesAwayFromZero", {}, {"RTA", {K(-0.25), VB(10), K(0x51)}}, 10, ascii(" -0.3")},
        ConversionCase{"RtaNoSignOnZero", {}, {"RTA", {K(-0.0004), VB(10), K(0x61)}}, 10, ascii("   0.0")},
        ConversionCase{"RtaTooLongGivesSpaces",
                       {},
                       {"RTA", {K(123456.0), VB(10), K(0x61)}},
                       10,
                       {0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0},
                       -1,
                       false,
                       false},
        ConversionCase{"RtaThreeDecimals", {}, {"RTA", {K(3.14159), VB(10), K(0x83)}}, 10, ascii("   3.142")},
        ConversionCase{"RtaComma", {}, {"RTA", {K(-2.5), VB(10), K(0x5A)}}, 10, ascii("-2,50")},
        ConversionCase{"RtaBufferBelow3GivesSpaces",
                       {{10, 0x11}, {11, 0x11}, {12, 0x11}},
                       {"RTA", {K(1.0), VB(10), K(0x20)}},
                       10,
                       {0x20, 0x20, 0x11},
                       -1,
                       false,
                       false},
        // A buffer that does not lie whole inside V: error 0091, nothing written.
        ConversionCase{"ItaPastTheEndOfV",
                       {{1020, 0x11}},
                       {"ITA", {K(1), VB(1020), K(0)}},
                       1020,
                       {0x11, 0, 0, 0},
                       -1,
                       false,
                       false,
                       0x0091},
        ConversionCase{"RtaPastTheEndOfV",
                       {},
                       {"RTA", {K(1.0), VB(1010), K(0xF1)}},
                       1010,
                       std::vector<int>(14, 0),
                       -1,
                       false,
                       false,
                       0x0091},
        ConversionCase{"AthReadingPastTheEndOfV",
                       {{1022, '1'}, {1023, '2'}, {0, 0x55}},
                       {"ATH", {VB(1022), VB(0), K(3)}},
                       0,
                       {0x55},
                       -1,
                       false,
                       false,
                       0x0091},
        ConversionCase{"HtaLengthZero", {{40, 0x55}}, {"HTA", {VB(30), VB(40), K(0)}}, 40, {0x55}, -1, false, false, 0x0091}),
    CaseName());

TEST(ConversionsOnAccumulators, ReadAndWriteOnlyTheLowWord) {
    Cpu c;
    c.mem.tobit(0x1234ABCD, area::AC, 32);
    c.mem.tobit(0xAABBCCDD, area::AC + 32, 32);
    c.mem.tobit(0x77778010, area::AC + 64, 32);
    c.mem.tobit(0x55550042, area::AC + 96, 32);
    c.load({{"SWAP", {ACW(0)}}, {"DECO", {K(0), ACW(1)}}, {"ENCO", {ACW(2), VB(0)}}, {"IBCD", {ACW(3)}}});
    c.run();
    EXPECT_EQ(c.mem.GetDWordValue(area::AC), 0x1234CDAB);
    EXPECT_EQ(c.mem.GetDWordValue(area::AC + 32), 0xAABB0001);
    EXPECT_EQ(c.b(0), 4);
    EXPECT_EQ(c.mem.GetDWordValue(area::AC + 96), 0x55550066);
}

TEST(ConversionsOnRecords, BcdiOnATimerConvertsItsCurrentValue) {
    Cpu c;
    c.mem.timers()[5].Current = 0x0250;
    c.load({{"BCDI", {T(5)}}});
    c.run();
    EXPECT_EQ(c.mem.timers()[5].Current, 250);
}

TEST(ConversionStatus, ShowsTheOperandsWithTheirDisplayKindsWhetherExecutedOrNot) {
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        c.setW(0, 0xFF85);  // -123
        c.setW(2, 0x0012);
        c.setR(4, -2.5);
        c.load({{"ITA", {VW(0), VB(10), K(3)}},
                {"BCDI", {VW(2)}},
                {"RTA", {VD(4), VB(20), K(0x5A)}},
                {"DECO", {K(4), VW(30)}}},
               power);
        c.run();
        const CodeLine& ita = c.line(0);
        EXPECT_EQ(c.prog.runStatusOf(ita).StatusValue[0], -123);
        EXPECT_EQ(c.prog.runStatusOf(ita).StatusKind[0], 5);
        EXPECT_EQ(c.prog.runStatusOf(ita).StatusValue[1], power ? ' ' : 0) << "the first byte of the text";
        EXPECT_EQ(c.prog.runStatusOf(ita).StatusKind[1], 1);
        EXPECT_EQ(c.prog.runStatusOf(ita).StatusValue[2], 3);
        EXPECT_EQ(c.prog.runStatusOf(c.line(1)).StatusValue[0], power ? 12 : 0x12) << "the word after the instruction";
        EXPECT_EQ(c.prog.runStatusOf(c.line(1)).StatusKind[0], 2);
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusValue[0], -2.5);
        EXPECT_EQ(c.prog.runStatusOf(c.line(2)).StatusKind[0], 7);
        EXPECT_EQ(c.prog.runStatusOf(c.line(3)).StatusValue[1], power ? 16 : 0);
        EXPECT_EQ(c.prog.runStatusOf(c.line(3)).StatusKind[1], 2);
    }
}

}  // namespace
