#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sim/display_format.h"

using namespace korvane;

namespace {

struct GroupCase {
    const char* digits;
    int g, f;
    const char* expected;
};

class GroupDigits : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupDigits, CutsFromTheRightAndWidensExactMultiples) {
    const auto& c = GetParam();
    EXPECT_EQ(groupDigits(c.digits, ",", c.g, c.f), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, GroupDigits,
                         ::testing::Values(GroupCase{"1234", 2, 4, "12,34"}, GroupCase{"ABCD", 4, 8, "    ,ABCD"},
                                           GroupCase{"1ABCD", 4, 8, "   1,ABCD"}, GroupCase{"1234", 3, 5, "  1,234"},
                                           GroupCase{"255", 3, 5, "255"}, GroupCase{"255", 3, 10, "   ,   ,255"},
                                           GroupCase{"1234567", 3, 10, "  1,234,567"},
                                           GroupCase{"101", 8, 8, "     101"},
                                           GroupCase{"11111111", 8, 16, "        ,11111111"},
                                           // A text longer than its field keeps every digit.
                                           GroupCase{"123456", 3, 5, "123,456"}, GroupCase{"7", 0, 1, "7"}));

struct FormCase {
    char form;  // h hexadecimal, d decimal, b binary
    double value;
    int width;
    const char* expected;
};

class IntegerForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(IntegerForms, GiveTheExactText) {
    const auto& c = GetParam();
    const std::string got = c.form == 'h' ? hexForm(c.value, c.width)
                            : c.form == 'd' ? decimalForm(c.value, c.width)
                                            : binaryForm(c.value, c.width);
    EXPECT_EQ(got, c.expected) << c.form << " " << c.value << " w" << c.width;
}

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, IntegerForms,
    ::testing::Values(FormCase{'h', 255, 8, "00FF"}, FormCase{'h', 10, 8, "000A"}, FormCase{'h', 4660, 16, "12,34"},
                      FormCase{'h', 65535, 16, "FF,FF"}, FormCase{'h', 305419896, 32, "1234,5678"},
                      FormCase{'h', 43981, 32, "    ,ABCD"}, FormCase{'h', 0, 32, "    ,0000"},
                      FormCase{'h', 65535, 32, "    ,FFFF"}, FormCase{'h', 65536, 32, "   1,0000"},
                      FormCase{'h', 131071, 32, "   1,FFFF"}, FormCase{'h', 4294967295.0, 32, "FFFF,FFFF"}));

INSTANTIATE_TEST_SUITE_P(
    Decimal, IntegerForms,
    ::testing::Values(FormCase{'d', 5, 8, "5"}, FormCase{'d', -5, 8, "-5"}, FormCase{'d', -5, 16, "-  5"},
                      FormCase{'d', 0, 16, "  0"}, FormCase{'d', 65535, 16, " 65,535"},
                      FormCase{'d', 123456, 32, "   ,123,456"}, FormCase{'d', 2147483647, 32, "  2,147,483,647"},
                      FormCase{'d', 4294967295.0, 32, "溢出"}, FormCase{'d', -2147483648.0, 32, "溢出"},
                      FormCase{'d', 0, 32, "  0"}, FormCase{'d', -32768, 16, "- 32,768"}));

INSTANTIATE_TEST_SUITE_P(Binary, IntegerForms,
                         ::testing::Values(FormCase{'b', 5, 8, "     101"}, FormCase{'b', 0, 8, "       0"},
                                           FormCase{'b', 256, 16, "       1,00000000"},
                                           FormCase{'b', 65535, 16, "11111111,11111111"},
                                           FormCase{'b', 65536, 32, "       1,00000000,00000000"}));

struct SignCase {
    double in;
    int width;
    double expected;
};

class SignedReading : public ::testing::TestWithParam<SignCase> {};
TEST_P(SignedReading, MapsThePatternToItsSignedValue) {
    EXPECT_EQ(signedReading(GetParam().in, GetParam().width), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Examples, SignedReading,
                         ::testing::Values(SignCase{255, 8, -1}, SignCase{128, 8, -128}, SignCase{127, 8, 127},
                                           SignCase{2147483648.0, 32, -2147483648.0}, SignCase{32768, 16, -32768},
                                           SignCase{65536, 16, 0}));

class UnsignedPattern : public ::testing::TestWithParam<SignCase> {};
TEST_P(UnsignedPattern, MapsTheSignedValueOrMarksItOutOfRange) {
    EXPECT_EQ(unsignedPattern(GetParam().in, GetParam().width), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Examples, UnsignedPattern,
                         ::testing::Values(SignCase{-1, 8, 255}, SignCase{-128, 8, 128}, SignCase{200, 8, -1},
                                           SignCase{-32768, 16, 32768}, SignCase{32768, 16, -1},
                                           SignCase{-1, 32, 4294967295.0}, SignCase{-2147483649.0, 32, -1}));

struct RealCase {
    double value;
    const char* expected;
};

class PanelRealForm : public ::testing::TestWithParam<RealCase> {};
TEST_P(PanelRealForm, WritesTheGeneralForm) { EXPECT_EQ(panelRealForm(GetParam().value), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(Examples, PanelRealForm,
                         ::testing::Values(RealCase{1.5, " 1.5"}, RealCase{100, " 100.0"}, RealCase{-2, "-2.0"},
                                           RealCase{0, " 0.0"}, RealCase{-0.0, " 0.0"}, RealCase{0.5, " .5"},
                                           RealCase{-0.25, "-.25"},
                                           RealCase{static_cast<double>(0.1f), " .100000001490116"},
                                           RealCase{1e15, " 1E+15"}, RealCase{123456789012345.0, " 123456789012345.0"},
                                           RealCase{1.5e-7, " 1.5E-07"}, RealCase{0.0001, " .0001"},
                                           RealCase{-3.4028234663852886e38, "-3.40282346638529E+38"}));

class TableRealForm : public ::testing::TestWithParam<RealCase> {};
TEST_P(TableRealForm, RoundsToFourDecimals) { EXPECT_EQ(tableRealForm(GetParam().value), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(Examples, TableRealForm,
                         ::testing::Values(RealCase{3.14159, "3.1416"}, RealCase{0.5, "0.5000"},
                                           RealCase{-2, "-2.0000"}, RealCase{0, "0.0000"},
                                           // exact binary halves go away from zero
                                           RealCase{1.03125, "1.0313"}, RealCase{-1.03125, "-1.0313"},
                                           RealCase{9.99995117, "10.0000"}, RealCase{-0.00001, "0.0000"},
                                           RealCase{1e10, "10000000000.0000"}));

TEST(DisplayForms, NeverFailOnValuesOutsideTheirDomain) {
    for (double v : {-1.0, -1e300, 1e300, std::nan(""), 1e20, 0.49, 4294967296.0}) {
        for (int w : {8, 16, 32}) {
            EXPECT_FALSE(hexForm(v, w).empty());
            EXPECT_FALSE(decimalForm(v, w).empty());
            EXPECT_FALSE(binaryForm(v, w).empty());
        }
        EXPECT_FALSE(panelRealForm(v).empty());
        EXPECT_FALSE(tableRealForm(v).empty());
    }
}

}  // namespace
