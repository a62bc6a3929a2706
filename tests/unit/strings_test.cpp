// The string instructions as the CPU executes them: every worked example, one table per
// family, each case run with the logic result on (the box acts) and off (nothing changes).
// Then the string compare contacts.
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "family_harness.h"

using namespace korvane;
using namespace korvane::familytest;

namespace {

// A constant string: its index in the program's string pool.
Operand S(int index) { return {static_cast<double>(index), kind::String}; }
Operand LB(int n) { return {static_cast<double>(area::L + 8 * n), kind::Byte}; }
Operand AC0Byte() { return {static_cast<double>(area::AC + 24), kind::Byte}; }
constexpr int kAC0LowByte = area::AC + 24;
int vb(int n) { return area::V + 8 * n; }

// A string's bytes: the length, then the characters.
std::vector<int> str(const std::string& s) {
    std::vector<int> out{static_cast<int>(s.size())};
    for (unsigned char ch : s) out.push_back(ch);
    return out;
}

struct Placed {
    int key;
    std::vector<int> bytes;
};

struct StringCase {
    const char* name;
    std::vector<std::string> constants;  // the program's constant strings: S(0), S(1) ...
    std::vector<Placed> before;          // memory before the pass (V bytes 0 to 59 hold 16#EE)
    std::vector<Instr> body;
    std::vector<Placed> after;  // the bytes the pass leaves with the logic result on
    bool eno = true;            // AENO after the last instruction
    std::uint16_t error = 0;    // the non-fatal error (SM4.3 with it)
    bool sm11 = false;
};

std::vector<int> bytesAt(const Cpu& c, int key, std::size_t n) {
    std::vector<int> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(c.mem.byteAt(key + 8 * static_cast<int>(i)));
    return out;
}

void place(Cpu& c, const Placed& p) {
    for (std::size_t i = 0; i < p.bytes.size(); ++i)
        ASSERT_TRUE(c.mem.tobit(p.bytes[i], p.key + 8 * static_cast<int>(i), 8));
}

void PrintTo(const StringCase& c, std::ostream* os) { *os << c.name; }

class StringBoxes : public ::testing::TestWithParam<StringCase> {};

TEST_P(StringBoxes, ActOnPowerFlowAndReportErrorsWithoutTouchingTheirOutput) {
    const StringCase& sc = GetParam();
    for (bool power : {true, false}) {
        SCOPED_TRACE(power ? "on" : "off");
        Cpu c;
        c.prog.strings = sc.constants;
        for (int n = 0; n < 60; ++n) c.setB(n, 0xEE);
        for (const Placed& p : sc.before) place(c, p);
        std::vector<std::vector<int>> untouched;
        for (const Placed& p : sc.after) untouched.push_back(bytesAt(c, p.key, p.bytes.size()));
        std::vector<Instr> body = sc.body;
        body.push_back({"AENO", {}});
        body.push_back({"=", {M(0, 0)}});
        c.load(body, power);
        c.run();
        for (std::size_t i = 0; i < sc.after.size(); ++i)
            EXPECT_EQ(bytesAt(c, sc.after[i].key, sc.after[i].bytes.size()), power ? sc.after[i].bytes : untouched[i])
                << "bytes at key " << sc.after[i].key;
        EXPECT_EQ(c.mem.bit(area::M), power && sc.eno) << "ENO";
        EXPECT_EQ(c.cpu.errorCode, power ? sc.error : 0);
        EXPECT_EQ(c.mem.bit(area::SM4_3), power && sc.error != 0);
        EXPECT_EQ(c.flags(), power && sc.sm11 ? "0100" : "0000");
        // A bad pointer is named in the log, once; the other errors only in SM4.3 and GERR.
        EXPECT_EQ(c.sink.lines.size(), power && sc.error == 0x0006 ? 1u : 0u);
        EXPECT_TRUE(c.completed(0));
    }
}

// ITS, DTS, RTS: the formatting of ITA, DTA, RTA with the length byte in front.
INSTANTIATE_TEST_SUITE_P(
    NumberToString, StringBoxes,
    ::testing::Values(
        StringCase{"ItsExample", {}, {}, {{"ITS", {K(-123), VB(0), K(0x03)}}}, {{vb(0), {8, 0x20, 0x20, 0x2D, 0x30, 0x2E, 0x31, 0x32, 0x33}}}},
        StringCase{"ItsLeadingZero", {}, {}, {{"ITS", {K(12), VB(20), K(0x03)}}}, {{vb(20), str("   0.012")}}},
        StringCase{"ItsPoint", {}, {}, {{"ITS", {K(1234), VB(20), K(0x03)}}}, {{vb(20), str("   1.234")}}},
        StringCase{"ItsNegativeWide", {}, {}, {{"ITS", {K(-12345), VB(20), K(0x03)}}}, {{vb(20), str(" -12.345")}}},
        StringCase{"ItsComma", {}, {}, {{"ITS", {K(1234), VB(20), K(0x0A)}}}, {{vb(20), str("   12,34")}}},
        StringCase{"ItsMostNegative", {}, {}, {{"ITS", {K(-32768), VB(20), K(0x05)}}}, {{vb(20), str("-0.32768")}}},
        StringCase{"ItsZero", {}, {}, {{"ITS", {K(0), VB(20), K(0x00)}}}, {{vb(20), str("       0")}}},
        StringCase{"ItsFromMemoryIsSigned", {}, {{vb(10), {0xFF, 0x85}}}, {{"ITS", {VW(10), VB(20), K(0x03)}}}, {{vb(20), str("  -0.123")}}},
        StringCase{"ItsSixDigitsGivesSpaces", {}, {}, {{"ITS", {K(55), VB(20), K(0x06)}}}, {{vb(20), str("        ")}}, false},
        StringCase{"ItsIllegalFormatWritesNothing", {}, {}, {{"ITS", {K(55), VB(20), K(0x13)}}}, {{vb(20), std::vector<int>(9, 0xEE)}}, false},
        StringCase{"DtsSmallNegative", {}, {}, {{"DTS", {K(-12), VB(20), K(0x04)}}}, {{vb(20), str("     -0.0012")}}},
        StringCase{"DtsPoint", {}, {}, {{"DTS", {K(1234567), VB(20), K(0x04)}}}, {{vb(20), str("    123.4567")}}},
        StringCase{"DtsMostNegative", {}, {}, {{"DTS", {K(-2147483648.0), VB(20), K(0x00)}}}, {{vb(20), str(" -2147483648")}}},
        StringCase{"RtsExample", {}, {{vb(10), {0x44, 0x9A, 0x50, 0x00}}}, {{"RTS", {VD(10), VB(20), K(0x61)}}},
                   {{vb(20), {6, 0x31, 0x32, 0x33, 0x34, 0x2E, 0x35}}}},
        StringCase{"RtsRounds", {}, {}, {{"RTS", {K(-3.67526), VB(20), K(0x61)}}}, {{vb(20), str("  -3.7")}}},
        StringCase{"RtsRoundsUp", {}, {}, {{"RTS", {K(1.95), VB(20), K(0x61)}}}, {{vb(20), str("   2.0")}}},
        StringCase{"RtsNegativeRoundingToZeroHasNoSign", {}, {}, {{"RTS", {K(-0.0004), VB(20), K(0x61)}}}, {{vb(20), str("   0.0")}}},
        StringCase{"RtsTooWideGivesSpaces", {}, {}, {{"RTS", {K(123456.0), VB(20), K(0x61)}}}, {{vb(20), str("      ")}}, false},
        StringCase{"RtsThreeDigits", {}, {}, {{"RTS", {K(3.14159), VB(20), K(0x83)}}}, {{vb(20), str("   3.142")}}},
        StringCase{"RtsComma", {}, {}, {{"RTS", {K(-2.5), VB(20), K(0x5A)}}}, {{vb(20), str("-2,50")}}},
        StringCase{"ItsPastTheEndOfV", {}, {{vb(1020), {0xEE, 0xEE, 0xEE, 0xEE}}}, {{"ITS", {K(1), VB(1020), K(0)}}},
                   {{vb(1020), {0xEE, 0xEE, 0xEE, 0xEE}}}, false, 0x0091},
        StringCase{"ItsThroughABadPointer", {}, {{vb(40), {0, 0, 0xFF, 0xFF}}}, {{"ITS", {K(1), PtrB(40), K(0)}}},
                   {{vb(40), {0, 0, 0xFF, 0xFF}}}, false, 0x0006}),
    CaseName());

// STI, STD, STR: the number at a position of a string.
INSTANTIATE_TEST_SUITE_P(
    StringToNumber, StringBoxes,
    ::testing::Values(
        StringCase{"StiSkipsBlanks", {}, {{vb(0), str("  -456")}}, {{"STI", {VB(0), K(1), VW(100)}}}, {{vb(100), {0xFE, 0x38}}}},
        StringCase{"StiStopsAtThePoint", {}, {{vb(0), str("Temperature: 77.8")}}, {{"STI", {VB(0), K(13), VW(100)}}},
                   {{vb(100), {0x00, 0x4D}}}},
        StringCase{"StrTakesTheFraction", {}, {{vb(0), str("Temperature: 77.8")}}, {{"STR", {VB(0), K(13), VD(100)}}},
                   {{vb(100), {0x42, 0x9B, 0x99, 0x9A}}}},
        StringCase{"StdNineDigits", {}, {{vb(0), str("123456789")}}, {{"STD", {VB(0), K(1), VD(100)}}},
                   {{vb(100), {0x07, 0x5B, 0xCD, 0x15}}}},
        StringCase{"StiBeyondAnInt", {}, {{vb(0), str("40000")}, {vb(100), {1, 2}}}, {{"STI", {VB(0), K(1), VW(100)}}},
                   {{vb(100), {1, 2}}}, false, 0, true},
        StringCase{"StiWithoutDigits", {}, {{vb(0), str("A123")}, {vb(100), {1, 2}}}, {{"STI", {VB(0), K(1), VW(100)}}},
                   {{vb(100), {1, 2}}}, false, 0, true},
        StringCase{"StrIgnoresAnExponent", {}, {{vb(0), str("1.234E6")}}, {{"STR", {VB(0), K(1), VD(100)}}},
                   {{vb(100), {0x3F, 0x9D, 0xF3, 0xB6}}}},
        StringCase{"StrTakesACommaAsThePoint", {}, {{vb(0), str("-98,6")}}, {{"STR", {VB(0), K(1), VD(100)}}},
                   {{vb(100), {0xC2, 0xC5, 0x33, 0x33}}}},
        StringCase{"StrMinusZeroIsZero", {}, {{vb(0), str("-0.0")}}, {{"STR", {VB(0), K(1), VD(100)}}}, {{vb(100), {0, 0, 0, 0}}}},
        StringCase{"StiIndexZero", {}, {{vb(0), str("12")}, {vb(100), {1, 2}}}, {{"STI", {VB(0), K(0), VW(100)}}},
                   {{vb(100), {1, 2}}}, false, 0x009B},
        StringCase{"StiIndexPastTheEnd", {}, {{vb(0), str("12")}, {vb(100), {1, 2}}}, {{"STI", {VB(0), K(3), VW(100)}}},
                   {{vb(100), {1, 2}}}, false, 0, true},
        StringCase{"StiFromAConstantString", {"  +42x"}, {}, {{"STI", {S(0), K(1), VW(100)}}}, {{vb(100), {0, 42}}}}),
    CaseName());

// SLEN, SCPY, SCAT, SSCPY.
INSTANTIATE_TEST_SUITE_P(
    CopyAndJoin, StringBoxes,
    ::testing::Values(
        StringCase{"SlenIntoTheAccumulator", {}, {{vb(0), str("HELLO")}}, {{"SLEN", {VB(0), AC0Byte()}}}, {{kAC0LowByte, {5}}}},
        StringCase{"SlenOfTheEmptyConstant", {""}, {}, {{"SLEN", {S(0), VB(9)}}}, {{vb(9), {0}}}},
        StringCase{"ScpyConstant", {"AB"}, {}, {{"SCPY", {S(0), VB(10)}}}, {{vb(10), {2, 0x41, 0x42, 0xEE}}}},
        StringCase{"ScpyString", {}, {{vb(0), str("HELLO")}}, {{"SCPY", {VB(0), VB(40)}}},
                   {{vb(40), {5, 0x48, 0x45, 0x4C, 0x4C, 0x4F, 0xEE}}}},
        StringCase{"ScpyThroughPointers", {}, {{vb(0), str("HI")}, {vb(40), {0, 0, 0, 64 + 50}}},
                   {{"SCPY", {VB(0), PtrB(40)}}}, {{vb(50), str("HI")}}},
        StringCase{"ScpyIntoL", {}, {{vb(0), str("HI")}}, {{"SCPY", {VB(0), LB(60)}}}, {{area::L + 8 * 60, str("HI")}}},
        StringCase{"ScpyPastTheEndOfL", {}, {{vb(0), str("HELLO")}}, {{"SCPY", {VB(0), LB(60)}}},
                   {{area::L + 8 * 60, {0, 0, 0, 0}}}, false, 0x0091},
        StringCase{"ScpyOfALengthByte255", {}, {{vb(0), {255}}}, {{"SCPY", {VB(0), VB(40)}}}, {{vb(40), {0xEE}}}, false, 0x0091},
        StringCase{"ScatAppends", {"CD"}, {{vb(10), str("AB")}}, {{"SCAT", {S(0), VB(10)}}}, {{vb(10), {4, 0x41, 0x42, 0x43, 0x44}}}},
        StringCase{"ScatOntoTheEmptyString", {"X"}, {{vb(10), {0}}}, {{"SCAT", {S(0), VB(10)}}}, {{vb(10), {1, 0x58, 0xEE}}}},
        StringCase{"ScatToItself", {}, {{vb(10), str("AB")}}, {{"SCAT", {VB(10), VB(10)}}}, {{vb(10), str("ABAB")}}},
        StringCase{"ScatBeyond254", {"ABCDE"}, {{vb(100), str(std::string(250, 'x'))}}, {{"SCAT", {S(0), VB(100)}}},
                   {{vb(100), {250}}, {vb(351), {0}}}, false, 0x0091},
        StringCase{"SscpyWorld", {}, {{vb(0), str("HELLO WORLD")}}, {{"SSCPY", {VB(0), K(7), K(5), VB(20)}}},
                   {{vb(20), {5, 0x57, 0x4F, 0x52, 0x4C, 0x44}}}},
        StringCase{"SscpyHell", {}, {{vb(0), str("HELLO WORLD")}}, {{"SSCPY", {VB(0), K(1), K(4), VB(20)}}},
                   {{vb(20), {4, 0x48, 0x45, 0x4C, 0x4C}}}},
        StringCase{"SscpyIndexZero", {}, {{vb(0), str("HELLO WORLD")}}, {{"SSCPY", {VB(0), K(0), K(4), VB(20)}}},
                   {{vb(20), {0xEE, 0xEE}}}, false, 0x009B},
        StringCase{"SscpyPastTheEndOfIn", {}, {{vb(0), str("HELLO WORLD")}}, {{"SSCPY", {VB(0), K(9), K(4), VB(20)}}},
                   {{vb(20), {0xEE, 0xEE}}}, false, 0x0091}),
    CaseName());

// SFND, CFND: OUT holds the start position on entry.
INSTANTIATE_TEST_SUITE_P(
    Find, StringBoxes,
    ::testing::Values(
        StringCase{"SfndFindsTheWord", {}, {{vb(0), str("Turn Pump On")}, {vb(20), str("On")}},
                   {{"MOVB", {K(1), AC0Byte()}}, {"SFND", {VB(0), VB(20), AC0Byte()}}}, {{kAC0LowByte, {11}}}},
        StringCase{"SfndNotFound", {}, {{vb(0), str("Turn Pump On")}, {vb(20), str("Off")}},
                   {{"MOVB", {K(1), AC0Byte()}}, {"SFND", {VB(0), VB(20), AC0Byte()}}}, {{kAC0LowByte, {0}}}},
        StringCase{"SfndFromPastTheMatch", {}, {{vb(0), str("Turn Pump On")}, {vb(20), str("On")}},
                   {{"MOVB", {K(12), AC0Byte()}}, {"SFND", {VB(0), VB(20), AC0Byte()}}}, {{kAC0LowByte, {0}}}},
        StringCase{"CfndThenStr", {}, {{vb(0), str("Temp 98.6 F")}, {vb(20), str("1234567890+-.")}},
                   {{"MOVB", {K(1), AC0Byte()}}, {"CFND", {VB(0), VB(20), AC0Byte()}}, {"STR", {VB(0), AC0Byte(), VD(200)}}},
                   {{kAC0LowByte, {6}}, {vb(200), {0x42, 0xC5, 0x33, 0x33}}}},
        StringCase{"SfndOfConstants", {"ABCABC", "CA"}, {{vb(30), {2}}}, {{"SFND", {S(0), S(1), VB(30)}}}, {{vb(30), {3}}}},
        StringCase{"SfndFromZero", {}, {{vb(0), str("Turn Pump On")}, {vb(20), str("On")}, {vb(30), {0}}},
                   {{"SFND", {VB(0), VB(20), VB(30)}}}, {{vb(30), {0}}}, false, 0x009B}),
    CaseName());

// --- the compare contacts ----------------------------------------------------------------------

struct CompareCase {
    const char* name;
    std::vector<std::string> constants;
    std::vector<Placed> before;
    Instr compare;
    bool whenOn;   // the logic result after it, with the logic result before it on
    bool whenOff;  // ... and off
};

void PrintTo(const CompareCase& c, std::ostream* os) { *os << c.name; }

class StringCompares : public ::testing::TestWithParam<CompareCase> {};

TEST_P(StringCompares, LoadAndOrLikeTheOtherCompareContacts) {
    const CompareCase& cc = GetParam();
    for (bool before : {true, false}) {
        SCOPED_TRACE(before ? "on before" : "off before");
        Cpu c;
        c.prog.strings = cc.constants;
        for (const Placed& p : cc.before) place(c, p);
        c.load({cc.compare, {"=", {Q(0, 0)}}}, before);
        c.run();
        EXPECT_EQ(c.mem.bit(area::Q), before ? cc.whenOn : cc.whenOff);
        if (cc.compare.mnemonic.rfind("LDS", 0) == 0) {
            EXPECT_EQ(lineStatus(c.prog, c.line(0)).stack[2], before ? '1' : '0') << "pushed";
        }
        EXPECT_TRUE(c.sink.lines.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringCompares,
    ::testing::Values(
        CompareCase{"SameStrings", {}, {{vb(0), str("ABC")}, {vb(10), str("ABC")}}, {"LDS=", {VB(0), VB(10)}}, true, true},
        CompareCase{"LongerIsNotEqual", {"ABC"}, {{vb(10), str("ABCD")}}, {"LDS=", {S(0), VB(10)}}, false, false},
        CompareCase{"LongerIsUnequal", {"ABC"}, {{vb(10), str("ABCD")}}, {"LDS<>", {S(0), VB(10)}}, true, true},
        CompareCase{"CaseCounts", {"abc"}, {{vb(0), str("ABC")}}, {"AS=", {S(0), VB(0)}}, false, false},
        CompareCase{"AndEqual", {}, {{vb(0), str("")}, {vb(10), str("")}}, {"AS=", {VB(0), VB(10)}}, true, false},
        CompareCase{"AndUnequal", {"X"}, {{vb(0), str("Y")}}, {"AS<>", {S(0), VB(0)}}, true, false},
        CompareCase{"OrEqual", {"X"}, {{vb(0), str("X")}}, {"OS=", {S(0), VB(0)}}, true, true},
        CompareCase{"OrUnequal", {"X"}, {{vb(0), str("X")}}, {"OS<>", {S(0), VB(0)}}, true, false},
        // An operand the builder found naming nothing reads off, for = and <> alike.
        CompareCase{"NothingReadsOff", {}, {{vb(0), str("")}}, {"LDS<>", {K(0), VB(0)}}, false, false}),
    CaseName());

TEST(StringCompares, ABadStringEndsThePassAsARunTimeError) {
    struct Bad {
        const char* name;
        std::vector<Placed> before;
        Operand in2;
    };
    for (const Bad& bad : {Bad{"Length255", {{vb(10), {255}}}, VB(10)},
                           Bad{"PastTheEndOfV", {{vb(1020), {5}}}, VB(1020)},
                           Bad{"BadPointer", {{vb(40), {0, 0, 0xFF, 0xFF}}}, PtrB(40)}}) {
        SCOPED_TRACE(bad.name);
        Cpu c;
        for (const Placed& p : bad.before) place(c, p);
        c.load({{"LDS=", {VB(0), bad.in2}}, {"=", {Q(0, 0)}}, {"LD", {K(area::SM0_0)}}, {"=", {Q(0, 1)}}});
        c.run();
        ASSERT_EQ(c.sink.lines.size(), 1u);
        EXPECT_EQ(c.sink.lines[0], c.runtimeError(2));
        EXPECT_FALSE(c.mem.bit(area::Q + 1)) << "the pass ended at the compare";
        EXPECT_FALSE(c.completed(0));
    }
}

}  // namespace
