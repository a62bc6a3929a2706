#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/code_table.h"
#include "loader/operand_decoder.h"
#include "loader/stl_text.h"

using namespace korvane;

namespace {

struct OperandCase {
    const char* mnemonic;
    const char* text;
    int index;
    double number;
    int kind;
};

std::ostream& operator<<(std::ostream& os, const OperandCase& c) {
    return os << c.mnemonic << " [" << c.index << "] \"" << c.text << "\"";
}

class OperandDecoding : public ::testing::TestWithParam<OperandCase> {};

TEST_P(OperandDecoding, GivesNumberAndKind) {
    const auto& c = GetParam();
    Program prog;
    prog.resetCodeTable(2);
    const double n = GetParamValue(prog, c.mnemonic, c.text, 1, c.index);
    EXPECT_DOUBLE_EQ(n, c.number);
    EXPECT_EQ(prog.CodeTable[1].kindOf(c.index), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    AddressOfAndIndirect, OperandDecoding,
    ::testing::Values(OperandCase{"MOVD", "&VB100", 0, 164, 0}, OperandCase{"MOVD", "&IB3", 0, 3, 0},
                      OperandCase{"MOVD", "&QB1", 0, 17, 0}, OperandCase{"MOVD", "&MB2", 0, 34, 0},
                      OperandCase{"MOVD", "&LB0", 0, 1848, 0}, OperandCase{"MOVD", "&SB1", 0, 1913, 0},
                      OperandCase{"MOVD", "&XB5", 0, 5, 0},  // unknown area letter: byte base 0
                      OperandCase{"MOVD", "&VB40000", 0, 0, 0},  // offset does not fit 16 bits
                      OperandCase{"MOVB", "*VD100", 0, 1312, 7}, OperandCase{"LDB>=", "*VD0", 1, 512, 7},
                      OperandCase{"+I", "*LD4", 0, 14816, 8}, OperandCase{"OW<>", "*VD2", 0, 528, 8},
                      // every value operand follows a pointer, with the instruction's width
                      OperandCase{"MOVW", "*VD100", 0, 1312, 8}, OperandCase{"MOVD", "*VD100", 1, 1312, 9},
                      OperandCase{"MOVR", "*LD4", 1, 14816, 9}, OperandCase{"BMW", "*VD8", 1, 576, 8},
                      OperandCase{"MOVB", "*AC1", 0, 15584, 7}, OperandCase{"+D", "*AC2", 0, 15616, 9},
                      OperandCase{"LD", "*VD0", 0, 512, 0}));

INSTANTIATE_TEST_SUITE_P(
    Constants, OperandDecoding,
    ::testing::Values(OperandCase{"MOVR", "1.5", 0, 1.5, 0}, OperandCase{"MOVR", "-2.25", 0, -2.25, 0},
                      OperandCase{"MOVR", "1.0E3", 0, 1000, 0}, OperandCase{"MOVR", "1.5.3", 0, 0, 0},
                      OperandCase{"MOVW", "-5", 0, -5, 0}, OperandCase{"MOVW", "+7", 0, 7, 0},
                      OperandCase{"MOVD", "1e3", 0, 1000, 0}, OperandCase{"MOVW", ".5", 0, 0.5, 0},
                      OperandCase{"MOVW", "&H10", 0, 16, 0}, OperandCase{"MOVW", "&hff", 0, 255, 0},
                      OperandCase{"MOVD", "&HFFFFFFFF", 0, 4294967295.0, 0}, OperandCase{"MOVW", "&O17", 0, 15, 0},
                      OperandCase{"MOVB", "2#101", 0, 5, 0}, OperandCase{"MOVB", "2#12", 0, 4, 0},
                      OperandCase{"MOVB", "2#", 0, 0, 0}, OperandCase{"MOVB", "2#1A", 0, 0, 0},
                      OperandCase{"MOVB", "16#1F", 0, 31, 0}, OperandCase{"MOVW", "16#FFFF", 0, 65535, 0},
                      OperandCase{"MOVD", "16#FFFFFFFF", 0, 4294967295.0, 0},
                      OperandCase{"MOVW", "16#ff", 0, 255, 0},  // lower-case digits are accepted
                      OperandCase{"MOVW", "16#aB", 0, 171, 0}, OperandCase{"MOVW", "16#G1", 0, 0, 0},
                      OperandCase{"Network", "3", 0, 3, 0}));

INSTANTIATE_TEST_SUITE_P(
    BitAddresses, OperandDecoding,
    ::testing::Values(OperandCase{"LD", "I0.3", 0, 3, 0}, OperandCase{"=", "Q1.0", 0, 136, 0},
                      OperandCase{"A", "M2.7", 0, 279, 0}, OperandCase{"O", "V10.1", 0, 593, 0},
                      OperandCase{"LD", "L1.0", 0, 14792, 0}, OperandCase{"S", "S2.1", 0, 15313, 0},
                      OperandCase{"LD", "S10.0", 0, 15376, 0}, OperandCase{"LD", "S0.7", 0, 15303, 0},
                      OperandCase{"LD", "SM0.5", 0, 8837, 0}, OperandCase{"LD", "SM0.1", 0, 8833, 0},
                      OperandCase{"LD", "I0.9", 0, 9, 0},  // the bit digit is not checked
                      OperandCase{"LD", "V4100.0", 0, 0, 0}, OperandCase{"LD", "I.3", 0, 0, 0},
                      OperandCase{"LD", "I0.", 0, 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    Memory, OperandDecoding,
    ::testing::Values(OperandCase{"MOVB", "SMB34", 0, 9104, 1}, OperandCase{"MOVB", "SMB", 0, 0, 0},
                      OperandCase{"MOVB", "SMB5000", 0, 0, 0},
                      // SMW and SMD as SMB: a word or double word of special memory
                      OperandCase{"MOVW", "SMW22", 0, 9008, 2}, OperandCase{"MOVD", "SMD2", 1, 8848, 3},
                      OperandCase{"MOVW", "SMW", 0, 0, 0}, OperandCase{"EU", "0", 0, 8704, 0},
                      OperandCase{"ED", "126", 0, 8830, 0}, OperandCase{"MOVW", "AIW2", 0, 13776, 2},
                      OperandCase{"MOVW", "AQW4", 1, 14304, 2}, OperandCase{"MOVB", "VB100", 0, 1312, 1},
                      OperandCase{"MOVW", "VW100", 0, 1312, 2}, OperandCase{"MOVD", "VD100", 0, 1312, 3},
                      OperandCase{"MOVD", "LD4", 0, 14816, 3}, OperandCase{"MOVB", "IB0", 0, 0, 1},
                      OperandCase{"MOVB", "QB0", 0, 128, 1}, OperandCase{"MOVW", "MW2", 0, 272, 2},
                      OperandCase{"MOVB", "SB1", 0, 15304, 1}, OperandCase{"MOVW", "SW4", 0, 15328, 2},
                      OperandCase{"MOVB", "VB4100", 0, 0, 1},  // key beyond 32767: number 0
                      OperandCase{"MOVB", "VB1023", 0, 8696, 1}, OperandCase{"TON", "T37", 0, 13269, 5},
                      OperandCase{"TON", "T0", 0, 13232, 5}, OperandCase{"CTU", "C5", 0, 13493, 6},
                      OperandCase{"CTU", "C255", 0, 13743, 6}, OperandCase{"LD", "T37", 0, 13269, 5}));

INSTANTIATE_TEST_SUITE_P(
    Accumulators, OperandDecoding,
    // A byte of an accumulator is its least significant byte, a word its least significant
    // word: the width comes from the instruction's operand.
    ::testing::Values(OperandCase{"MOVB", "AC1", 1, 15584 + 24, 1}, OperandCase{"MOVW", "AC0", 0, 15552 + 16, 2},
                      OperandCase{"MOVD", "AC1", 1, 15584, 3}, OperandCase{"+I", "AC1", 1, 15584 + 16, 2},
                      OperandCase{"+R", "AC3", 1, 15648, 3}, OperandCase{"BMB", "AC0", 2, 15552 + 24, 1},
                      OperandCase{"ITD", "AC0", 0, 15552 + 16, 2}, OperandCase{"ITD", "AC1", 1, 15584, 3},
                      OperandCase{"BTI", "AC1", 1, 15584 + 16, 2}, OperandCase{"DTI", "AC1", 0, 15584, 3},
                      OperandCase{"MUL", "AC2", 1, 15616, 3}, OperandCase{"MOVB", "AC", 0, 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    UnreadableAndRoutines, OperandDecoding,
    ::testing::Values(OperandCase{"LD", "#IN1", 0, 0, 0}, OperandCase{"HDEF", "HC0", 0, 0, 0},
                      OperandCase{"MOVW", "", 0, 0, 0}, OperandCase{"MOVW", "VWX", 0, 0, 2},
                      OperandCase{"CALL", "SBR12", 0, 12, 1}, OperandCase{"CALL", "SBR123", 0, 23, 1},
                      OperandCase{"CALL", "SBR", 0, 0, 1}, OperandCase{"CALL", "SBR_0:SBR0", 0, 0, 1},
                      OperandCase{"ATCH", "INT0", 0, 0, 0}, OperandCase{"ATCH", "INT_1:INT1", 0, 1, 0},
                      OperandCase{"ATCH", "10", 1, 10, 0}, OperandCase{"JMP", "4", 0, 4, 0}));

struct Fixture {
    Program prog;
    Fixture() { prog.resetCodeTable(8); }
    double decode(const char* m, const char* t, int line, int index) { return GetParamValue(prog, m, t, line, index); }
    int kindOf(int line, int index) const { return prog.CodeTable[line].kindOf(index); }
};

TEST(OperandRoutines, CallTargetsNamedAfterALibraryGetTheLibraryCode) {
    Fixture f;
    f.prog.subroutines[1].Name = "USS_INIT";
    f.prog.subroutines[2].Name = "MBUS_SLAVE";
    f.prog.subroutines[3].Name = "uss_init";  // names compare exactly
    EXPECT_EQ(f.decode("CALL", "SBR1", 1, 0), 103);
    EXPECT_EQ(f.decode("CALL", "SBR2", 1, 0), 106);
    EXPECT_EQ(f.decode("CALL", "SBR3", 1, 0), 3);
    // Only operand 0 of a CALL names the target.
    EXPECT_EQ(f.decode("CALL", "SBR1", 1, 1), 0);
}

TEST(OperandRoutines, SubroutineHeaderRecordsItsEntryLineAndKnowsFourLibraries) {
    Fixture f;
    f.prog.subroutines[1].Name = "USS_INIT";
    f.prog.subroutines[5].Name = "MBUS_INIT";  // a CALL code, but not a header code
    EXPECT_EQ(f.decode("SUBROUTINE_BLOCK", "USS_INIT:SBR1", 4, 0), 103);
    EXPECT_EQ(f.prog.subroutines[1].EntryLine, 4);
    EXPECT_EQ(f.decode("SUBROUTINE_BLOCK", "MBUS_INIT:SBR5", 6, 0), 5);
    EXPECT_EQ(f.prog.subroutines[5].EntryLine, 6);
    EXPECT_EQ(f.decode("CALL", "SBR5", 7, 0), 105);
}

TEST(OperandRoutines, InterruptHeaderRecordsItsEntryLine) {
    Fixture f;
    EXPECT_EQ(f.decode("INTERRUPT_BLOCK", "INT_5:INT5", 7, 0), 5);
    EXPECT_EQ(f.prog.interrupts[5].EntryLine, 7);
    // No digit at the end: nothing recorded.
    EXPECT_EQ(f.decode("INTERRUPT_BLOCK", "TIMER", 3, 0), 0);
    for (const auto& e : f.prog.interrupts) {
        if (&e != &f.prog.interrupts[5]) {
            EXPECT_EQ(e.EntryLine, 0);
        }
    }
}

TEST(OperandRobustness, OutOfRangeLinesAndOperandIndexesAreHarmless) {
    Fixture f;
    EXPECT_EQ(f.decode("MOVB", "VB10", 99, 0), 592);
    EXPECT_EQ(f.decode("MOVB", "VB10", -1, 0), 592);
    EXPECT_EQ(f.decode("MOVB", "VB10", 1, 25), 592);
    EXPECT_EQ(f.decode("SUBROUTINE_BLOCK", "SBR3", 40000, 0), 0);
    EXPECT_EQ(f.prog.subroutines[3].EntryLine, 0);
    for (const auto& line : f.prog.CodeTable) {
        for (int k = 0; k < kMaxOperands; ++k) {
            EXPECT_EQ(line.number(k), 0);
            EXPECT_EQ(line.kindOf(k), kind::Constant);
        }
        EXPECT_EQ(line.operandCount(), 0);
    }
}

struct NumericCase {
    const char* text;
    std::optional<double> value;
};

class NumericText : public ::testing::TestWithParam<NumericCase> {};

TEST_P(NumericText, AcceptsDecimalAndPrefixedNumbersOnly) {
    const auto& c = GetParam();
    const auto v = stl::numericValue(c.text);
    ASSERT_EQ(v.has_value(), c.value.has_value()) << '"' << c.text << '"';
    if (v) {
        EXPECT_DOUBLE_EQ(*v, *c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NumericText,
    ::testing::Values(NumericCase{"0", 0}, NumericCase{"12", 12}, NumericCase{" 12 ", 12}, NumericCase{"-3", -3},
                      NumericCase{"+3", 3}, NumericCase{"1.", 1}, NumericCase{".25", 0.25},
                      NumericCase{"-1.5e2", -150}, NumericCase{"2E-1", 0.2}, NumericCase{"1e+2", 100},
                      NumericCase{"&H7fff", 32767}, NumericCase{"&o777", 511}, NumericCase{"", std::nullopt},
                      NumericCase{" ", std::nullopt}, NumericCase{".", std::nullopt}, NumericCase{"-", std::nullopt},
                      NumericCase{"1e", std::nullopt}, NumericCase{"e5", std::nullopt},
                      NumericCase{"1,000", std::nullopt}, NumericCase{"5-", std::nullopt},
                      NumericCase{"(5)", std::nullopt}, NumericCase{"inf", std::nullopt},
                      NumericCase{"nan", std::nullopt}, NumericCase{"0x10", std::nullopt},
                      NumericCase{"&H", std::nullopt}, NumericCase{"&H123456789", std::nullopt},
                      NumericCase{"&O8", std::nullopt}, NumericCase{"1e400", std::nullopt},
                      NumericCase{"1.2.3", std::nullopt}, NumericCase{"--1", std::nullopt},
                      NumericCase{"VB0", std::nullopt}, NumericCase{"-0", 0},
                      NumericCase{"123456789012345", 123456789012345.0},
                      NumericCase{"1234567890123456789", 1234567890123456789.0},
                      NumericCase{"000000000000000000012", 12}, NumericCase{"-32768", -32768}));

TEST(TrailingNumber, TakesTheLastOneOrTwoDigits) {
    EXPECT_EQ(stl::trailingNumber("SBR0"), 0);
    EXPECT_EQ(stl::trailingNumber("SBR12"), 12);
    EXPECT_EQ(stl::trailingNumber("SBR123"), 23);
    EXPECT_EQ(stl::trailingNumber("7"), 7);
    EXPECT_EQ(stl::trailingNumber("SBR"), -1);
    EXPECT_EQ(stl::trailingNumber(""), -1);
}

}  // namespace
