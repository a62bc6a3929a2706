#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/plc_memory.h"

using namespace korvane;

namespace {

struct Fixture {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Fixture() {
        log.setClock([] { return std::string("12:00:00"); });
    }
    std::vector<int> bytes(int key, int n) const {
        std::vector<int> out;
        for (int i = 0; i < n; ++i) out.push_back(mem.byteAt(key + 8 * i));
        return out;
    }
};

struct WriteCase {
    double value;
    int width;
    std::vector<int> bytes;  // most significant first
};

class TobitWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(TobitWrites, StoresTheTwosComplementPatternMostSignificantByteFirst) {
    Fixture f;
    const auto& c = GetParam();
    const int key = area::V + 8 * 100;
    ASSERT_TRUE(f.mem.tobit(c.value, key, c.width));
    EXPECT_EQ(f.bytes(key, static_cast<int>(c.bytes.size())), c.bytes);
    EXPECT_TRUE(f.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, TobitWrites,
                         ::testing::Values(WriteCase{300, 8, {44}}, WriteCase{-1, 8, {255}}, WriteCase{127.5, 8, {128}},
                                           WriteCase{126.5, 8, {126}}, WriteCase{-1, 16, {0xFF, 0xFF}},
                                           WriteCase{70000, 16, {0x11, 0x70}}, WriteCase{-257, 16, {0xFE, 0xFF}},
                                           WriteCase{-32768, 16, {0x80, 0x00}}, WriteCase{-2, 32, {0xFF, 0xFF, 0xFF, 0xFE}},
                                           WriteCase{4294967295.0, 32, {0xFF, 0xFF, 0xFF, 0xFF}},
                                           WriteCase{0x12345678, 32, {0x12, 0x34, 0x56, 0x78}},
                                           WriteCase{-2147483648.0, 32, {0x80, 0, 0, 0}},
                                           // Fractions round to the nearest value before the split.
                                           WriteCase{-0.5, 32, {0, 0, 0, 0}}, WriteCase{-0.3, 32, {0, 0, 0, 0}},
                                           WriteCase{65535.7, 32, {0, 0x01, 0, 0}},
                                           WriteCase{-65536.6, 32, {0xFF, 0xFE, 0xFF, 0xFF}},
                                           WriteCase{2.5, 32, {0, 0, 0, 2}}));

TEST(PlcMemoryCells, EveryWriterStoresOnlyZeroOrMinusOne) {
    Fixture f;
    f.mem.tobit(0xA5, area::M, 8);
    f.mem.tobit(5, area::M + 8, 1);
    f.mem.tobit(-5, area::M + 9, 1);
    for (int i = 0; i < 10; ++i) {
        const int c = f.mem.cell(area::M + i);
        EXPECT_TRUE(c == 0 || c == -1) << i;
    }
    EXPECT_EQ(f.mem.byteAt(area::M), 0xA5);
    EXPECT_EQ(f.mem.cell(area::M + 8), kOn);
    EXPECT_EQ(f.mem.cell(area::M + 9), kOff);
    // Bit 0 of a byte is its first cell.
    EXPECT_EQ(f.mem.cell(area::M), kOn);
    EXPECT_EQ(f.mem.cell(area::M + 1), kOff);
}

TEST(PlcMemoryReaders, WordsAndDoubleWordsAreBigEndianAndUnsignedUnlessAskedSigned) {
    Fixture f;
    const int key = area::V + 8 * 10;
    f.mem.tobit(0x80, key, 8);
    f.mem.tobit(0x00, key + 8, 8);
    EXPECT_EQ(f.mem.GetWordValue(key), 32768);
    EXPECT_EQ(f.mem.GetIntValue(key), -32768);
    f.mem.tobit(0xFF, key, 8);
    EXPECT_EQ(f.mem.GetByteValue(key), 255);
    EXPECT_EQ(f.mem.GetSByteValue(key), -1);
    f.mem.tobit(-2, key, 32);
    EXPECT_EQ(f.mem.GetDWordValue(key), 4294967294.0);
    EXPECT_EQ(f.mem.GetDIntValue(key), -2);
    // 3F 80 00 00 is 1.0.
    f.mem.tobit(0x3F800000, key, 32);
    EXPECT_EQ(f.mem.GetRealValue(key), 1.0);
}

TEST(PlcMemoryReaders, AnyNonZeroCellCountsAsAOneBit) {
    Fixture f;
    f.mem.setCell(area::V + 3, 7);
    EXPECT_EQ(f.mem.GetByteValue(area::V), 8);
}

TEST(PlcMemoryReaders, OffsetsPastAnAreaReadTheCellsThatFollow) {
    Fixture f;
    // VW1023 combines VB1023 with the first edge-flag byte.
    f.mem.tobit(0x12, area::V + 8 * 1023, 8);
    f.mem.tobit(0x34, area::Edge, 8);
    EXPECT_EQ(f.mem.GetWordValue(area::V + 8 * 1023), 0x1234);
    EXPECT_THROW(f.mem.GetWordValue(19193), PlcFault);
    EXPECT_THROW(f.mem.GetByteValue(-1), PlcFault);
    EXPECT_NO_THROW(f.mem.GetByteValue(19193));
}

TEST(PlcMemoryWriters, RealsAreWrittenAsSinglesMostSignificantByteFirst) {
    Fixture f;
    const int key = area::V;
    ASSERT_TRUE(f.mem.tobit2(1.0, key, 40));
    EXPECT_EQ(f.bytes(key, 4), (std::vector<int>{0x3F, 0x80, 0x00, 0x00}));
    f.mem.SetRealValue(key + 32, -2.5);
    EXPECT_EQ(f.bytes(key + 32, 4), (std::vector<int>{0xC0, 0x20, 0x00, 0x00}));
    EXPECT_EQ(f.mem.GetRealValue(key + 32), -2.5);
    // 0.1 is stored in single precision.
    f.mem.SetRealValue(key, 0.1);
    EXPECT_EQ(f.mem.GetRealValue(key), static_cast<double>(0.1f));
    EXPECT_THROW(f.mem.SetRealValue(key, 1e39), PlcFault);
}

TEST(PlcMemoryWriters, Tobit2RoutesSixteenBitWritesAtTimerAndCounterKeysToTheRecords) {
    Fixture f;
    ASSERT_TRUE(f.mem.tobit2(1234, area::T + 37, 16));
    EXPECT_EQ(f.mem.timers()[37].Current, 1234);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(f.mem.cell(area::T + 37 + i), 0);
    ASSERT_TRUE(f.mem.tobit2(-7, area::C + 255, 16));
    EXPECT_EQ(f.mem.counters()[255].Current, -7);
    // tobit writes the 16 cells from T37's bit instead.
    ASSERT_TRUE(f.mem.tobit(0xFFFF, area::T + 37, 16));
    EXPECT_EQ(f.mem.timers()[37].Current, 1234);
    EXPECT_EQ(f.mem.cell(area::T + 37), kOn);
    EXPECT_EQ(f.mem.cell(area::T + 52), kOn);
    EXPECT_EQ(f.mem.cell(area::T + 53), kOff);
}

struct FailCase {
    double value;
    int key;
    int width;
    bool twoVariant;
};

class TobitFailures : public ::testing::TestWithParam<FailCase> {};

TEST_P(TobitFailures, LogTheirOwnLineAndLeaveTheTargetCellsUnchanged) {
    Fixture f;
    const auto& c = GetParam();
    bool ok = c.twoVariant ? f.mem.tobit2(c.value, c.key, c.width) : f.mem.tobit(c.value, c.key, c.width);
    EXPECT_FALSE(ok);
    ASSERT_EQ(f.sink.lines.size(), 1u);
    EXPECT_EQ(f.sink.lines[0], c.twoVariant ? "12:00:00 tobit2错误" : "12:00:00 tobit错误");
    if (PlcMemory::inImage(c.key)) {
        for (int i = 0; i < c.width && PlcMemory::inImage(c.key + i); ++i) EXPECT_EQ(f.mem.cell(c.key + i), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, TobitFailures,
                         ::testing::Values(FailCase{8388608, area::V, 16, false}, FailCase{40000, area::V, 8, false},
                                           FailCase{1e13, area::V, 32, false}, FailCase{1, -1, 1, false},
                                           FailCase{1, 19201, 8, false}, FailCase{1e39, area::V, 40, true},
                                           FailCase{1e10, area::T + 3, 16, true}));

TEST(PlcMemoryWriters, AWriteRunningOffTheImageKeepsTheCellsWrittenBeforeIt) {
    Fixture f;
    EXPECT_FALSE(f.mem.tobit(0xFF, 19197, 8));
    for (int k = 19197; k <= 19200; ++k) EXPECT_EQ(f.mem.cell(k), kOn);
    EXPECT_EQ(f.sink.lines.size(), 1u);
}

TEST(PlcMemoryWriters, OtherWidthsDoNothing) {
    Fixture f;
    EXPECT_TRUE(f.mem.tobit(255, area::V, 12));
    EXPECT_TRUE(f.mem.tobit(255, area::V, 40));
    EXPECT_EQ(f.mem.GetDWordValue(area::V), 0);
}

TEST(ToUnsignedPattern, GivesTheUnsignedPatternOrMinusOneOutOfRange) {
    struct Case {
        double in;
        int width;
        double out;
    } cases[] = {{-128, 8, 128}, {127, 8, 127}, {200, 8, -1}, {-129, 8, -1}, {-1, 16, 65535},
                 {32768, 16, -1}, {-1, 32, 4294967295.0}, {2147483648.0, 32, -1}, {-5, 1, -5}};
    for (const auto& c : cases) EXPECT_EQ(PlcMemory::ToUnsignedPattern(c.in, c.width), c.out) << c.in << "/" << c.width;
    Fixture f;
    f.mem.tobit(PlcMemory::ToUnsignedPattern(-128, 8), area::V, 8);
    EXPECT_EQ(f.mem.byteAt(area::V), 0x80);
    f.mem.tobit(PlcMemory::ToUnsignedPattern(200, 8), area::V, 8);
    EXPECT_EQ(f.mem.byteAt(area::V), 0xFF);
}

TEST(ClearImage, ClearsCellsUpTo19000AndKeepsTheRecords) {
    Fixture f;
    f.mem.setCell(0, kOn);
    f.mem.setCell(19000, kOn);
    f.mem.setCell(19001, kOn);
    f.mem.timers()[5].Current = 9;
    f.mem.ClearImage();
    EXPECT_EQ(f.mem.cell(0), 0);
    EXPECT_EQ(f.mem.cell(19000), 0);
    EXPECT_EQ(f.mem.cell(19001), kOn);
    EXPECT_EQ(f.mem.timers()[5].Current, 9);
    f.mem.timers()[5].Kind = 2;
    f.mem.clearForRun();
    EXPECT_EQ(f.mem.cell(19001), 0);
    EXPECT_EQ(f.mem.timers()[5].Current, 0);
    EXPECT_EQ(f.mem.timers()[5].Kind, 2);
}

}  // namespace
