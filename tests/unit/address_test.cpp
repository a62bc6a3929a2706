#include <gtest/gtest.h>

#include "sim/address.h"

using namespace korvane;

namespace {

struct ParseCase {
    const char* text;
    PlcAddress::Kind kind;
    int key;
    PlcAddress::Format format = PlcAddress::Format::Unsigned;
};

class AddressParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(AddressParsing, GivesTheKeyAndKind) {
    const auto& c = GetParam();
    auto a = parseAddress(c.text);
    ASSERT_TRUE(a) << c.text;
    EXPECT_EQ(a->kind, c.kind) << c.text;
    EXPECT_EQ(a->key, c.key) << c.text;
    EXPECT_EQ(a->format, c.format) << c.text;
}

using K = PlcAddress::Kind;
using F = PlcAddress::Format;
INSTANTIATE_TEST_SUITE_P(
    Forms, AddressParsing,
    ::testing::Values(ParseCase{"I0.0", K::Bit, 0}, ParseCase{"Q1.7", K::Bit, 128 + 15}, ParseCase{"M2.3", K::Bit, 256 + 19},
                      ParseCase{"V10.1", K::Bit, 512 + 81}, ParseCase{"S0.1", K::Bit, area::S + 1},
                      ParseCase{"SM0.5", K::Bit, area::SM + 5}, ParseCase{"sm0.5", K::Bit, area::SM + 5},
                      ParseCase{"IB 2", K::Byte, 16}, ParseCase{"SMB34", K::Byte, area::SM + 272},
                      ParseCase{"SB3", K::Byte, area::S + 24}, ParseCase{"VW100", K::Word, 512 + 800},
                      ParseCase{"AIW2", K::Word, area::AIW + 16}, ParseCase{"AQW0", K::Word, area::AQW},
                      ParseCase{"VD100:r", K::DWord, 512 + 800, F::Real}, ParseCase{"MW0:s", K::Word, 256, F::Signed},
                      ParseCase{"QB0:x", K::Byte, 128, F::Hex}, ParseCase{"T37", K::TimerValue, area::T + 37},
                      ParseCase{"C5:b", K::CounterBit, area::C + 5}, ParseCase{"T255:b", K::TimerBit, area::T + 255},
                      ParseCase{"AC3", K::DWord, area::AC + 96}, ParseCase{"VD1020", K::DWord, 512 + 8160}));

TEST(AddressParsing, RefusesWhatIsNotAnAddress) {
    for (const char* bad : {"", "X0.0", "I0.8", "I16.0", "VB1024", "VW1023", "T256", "AC4", "VW0:r", "I0.0:s", "VB0:q",
                            "AIW63", "Q", "VBx", "V.1", "MB0:b", "T5:r", "IB99999999"})
        EXPECT_FALSE(parseAddress(bad)) << bad;
}

TEST(AddressValues, WriteAndReadBackInEveryFormat) {
    struct Case {
        const char* addr;
        const char* in;
        const char* out;
    } cases[] = {{"VB0", "255", "255"},        {"VB0:s", "-1", "-1"},         {"VB0", "-1", "255"},
                 {"VW0", "16#8000", "32768"},  {"VW0:s", "16#8000", "-32768"}, {"VW0:x", "4660", "16#1234"},
                 {"VD0", "4294967295", "4294967295"}, {"VD0:s", "-2", "-2"},   {"VD0:r", "1.5", "1.5"},
                 {"VD0:r", "-0.1", "-0.1"},    {"I0.3", "1", "1"},            {"T37", "100", "100"},
                 {"C5", "-3", "-3"},           {"AC0", "2#101", "5"},         {"QB1:x", "0x0F", "16#0F"}};
    for (const auto& c : cases) {
        PlcMemory mem;
        auto a = parseAddress(c.addr);
        ASSERT_TRUE(a) << c.addr;
        ASSERT_TRUE(writeAddress(mem, *a, c.in)) << c.addr << "=" << c.in;
        EXPECT_EQ(readAddress(mem, *a), c.out) << c.addr << "=" << c.in;
    }
}

TEST(AddressValues, RefusesValuesThatDoNotFit) {
    struct Case {
        const char* addr;
        const char* in;
    } cases[] = {{"VB0", "256"}, {"VB0", "-129"}, {"VW0", "65536"}, {"VW0", "1.5"}, {"I0.0", "2"},
                 {"VB0", "abc"}, {"VB0", ""},      {"T1", "40000"}, {"VD0:r", "x"}, {"VB0", "16#"}};
    for (const auto& c : cases) {
        PlcMemory mem;
        auto a = parseAddress(c.addr);
        ASSERT_TRUE(a);
        EXPECT_FALSE(writeAddress(mem, *a, c.in)) << c.addr << "=" << c.in;
        EXPECT_EQ(mem.GetDWordValue(area::V), 0);
    }
}

TEST(AddressValues, WordsReadBigEndianFromTheImage) {
    PlcMemory mem;
    mem.tobit(0x12, area::V + 8 * 10, 8);
    mem.tobit(0x34, area::V + 8 * 11, 8);
    EXPECT_EQ(readAddress(mem, *parseAddress("VW10")), "4660");
    EXPECT_EQ(readAddress(mem, *parseAddress("VB11")), "52");
    EXPECT_EQ(readAddress(mem, *parseAddress("V11.2")), "1");
}

}  // namespace
