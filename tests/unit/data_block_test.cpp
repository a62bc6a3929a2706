#include <gtest/gtest.h>

#include "test_tmp.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "loader/data_block.h"

using namespace korvane;

namespace {

namespace fs = std::filesystem;

fs::path tmpDir() {
    return testTmpDir("data_block");
}

std::string writeFile(const std::string& name, const std::string& content) {
    const fs::path p = tmpDir() / name;
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
    return p.string();
}

int vbyte(int n) { return area::V + 8 * n; }

struct Fixture {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    AutoPrompt prompt;
    DataBlock db;
    Fixture() { log.setClock([] { return std::string("12:00:00"); }); }
    bool load(const std::string& name, const std::string& content) {
        return db.load(writeFile(name, content), mem, prompt, log);
    }
    double value(int byte, int width) const {
        switch (width) {
        case 8:
            return mem.GetByteValue(vbyte(byte));
        case 16:
            return mem.GetWordValue(vbyte(byte));
        default:
            return mem.GetDWordValue(vbyte(byte));
        }
    }
};

struct Expect {
    int byte;
    int width;
    double value;  // unsigned, as read back
};

struct FileCase {
    const char* name;
    std::string content;
    std::vector<Expect> expect;
    std::size_t entries;  // rows with a width
    std::vector<std::string> log = {};
};

class DataBlockFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(DataBlockFiles, WritesTheValuesIntoVMemory) {
    const auto& c = GetParam();
    Fixture f;
    // Bytes the file should not touch stand out against this pattern.
    for (int i = 0; i < 128; ++i) f.mem.tobit(0x55, vbyte(i), 8);
    ASSERT_TRUE(f.load(std::string(c.name) + ".txt", c.content));
    for (const auto& e : c.expect) EXPECT_EQ(f.value(e.byte, e.width), e.value) << "V byte " << e.byte;
    std::size_t rows = 0;
    for (const auto& e : f.db.entries()) rows += e.Width != 0;
    EXPECT_EQ(rows, c.entries);
    EXPECT_EQ(f.sink.lines, c.log);
    EXPECT_TRUE(f.prompt.informed.empty());
}

const std::string kThirtyTwoOnes(32, '1');

INSTANTIATE_TEST_SUITE_P(
    Forms, DataBlockFiles,
    ::testing::Values(
        FileCase{"HexByte", "VB10 16#12\r\n", {{10, 8, 18}, {11, 8, 0x55}}, 1},
        FileCase{"WordsWithContinuation",
                 "VW100 1, 2, 3\r\n4, 5\r\n",
                 {{100, 16, 1}, {102, 16, 2}, {104, 16, 3}, {106, 16, 4}, {108, 16, 5}, {110, 8, 0x55}},
                 5},
        FileCase{"DoubleWords", "VD0 16#FFFF\nVD4 16#FFFFFFFF\n", {{0, 32, 65535}, {4, 32, 4294967295.0}}, 2},
        FileCase{"BinaryOctalAndRoundedDecimals",
                 "VB0 2#1010\nVB1 8#17\nVB2 2.5\nVB3 3.5\n",
                 {{0, 8, 10}, {1, 8, 15}, {2, 8, 2}, {3, 8, 4}},
                 4},
        FileCase{"AmpersandFormsSignsAndExponents",
                 "VB0 &H1F, &hff, &O17, -1, +3, 1E2, .5e1",
                 {{0, 8, 31}, {1, 8, 255}, {2, 8, 15}, {3, 8, 255}, {4, 8, 3}, {5, 8, 100}, {6, 8, 5}},
                 7},
        FileCase{"Comments", "// start values\nVB5 7 // start value\n", {{5, 8, 7}}, 1},
        FileCase{"CommentOnlyContinuation", "VB5 7\n   // nothing here\n8\n", {{5, 8, 7}, {6, 8, 8}}, 2},
        FileCase{"NonValuesAreSkippedWithoutAddress", "VB0 1, abc, 3", {{0, 8, 1}, {1, 8, 3}, {2, 8, 0x55}}, 2},
        FileCase{"TrailingComma", "VB0 1,2,3,", {{0, 8, 1}, {1, 8, 2}, {2, 8, 3}, {3, 8, 0x55}}, 3},
        FileCase{"LinesBeforeTheFirstAddressAreIgnored", "12, 13\nVB0 5\n", {{0, 8, 5}, {1, 8, 0x55}}, 1},
        FileCase{"LowerCaseSizeLetterMeansByte", "Vw0 5\n", {{0, 8, 5}, {1, 8, 0x55}}, 1},
        FileCase{"LowerCaseLineIsAContinuation", "VB0 1\nvb0 5\n6\n", {{0, 8, 1}, {1, 8, 6}}, 2},
        FileCase{"LeadingBlankAddressLineStoresNothing", " VB0 5\n7\n", {{0, 8, 7}, {1, 8, 0x55}}, 1},
        FileCase{"BadStartByteMeansZero", "VBx 5\nVB12abc 6\n", {{0, 8, 5}, {12, 8, 6}}, 2},
        FileCase{"TabSeparatesAddressAndValues", "VB3\t9\n", {{3, 8, 9}}, 1},
        FileCase{"LaterEntriesOverwriteEarlierOnes", "VW0 16#1234\nVB0 16#FF\n", {{0, 8, 0xFF}, {1, 8, 0x34}}, 2},
        FileCase{"ByteOrderMarkAndCrLf", "\xEF\xBB\xBFVB1 3\r\nVB2 4", {{1, 8, 3}, {2, 8, 4}}, 2},
        FileCase{"ChineseComment", "VB1 3 // 初始值\n", {{1, 8, 3}}, 1},
        FileCase{"BinaryGroups", "VW8 2#1111_0000 1111_0000\n", {{8, 16, 0xF0F0}}, 1},
        FileCase{"NegativeValuesAsPatterns", "VW0 -2\nVD2 -1\n", {{0, 16, 65534}, {2, 32, 4294967295.0}}, 2},
        FileCase{"ByteTooLargeIsReportedAlone",
                 "VB0 40000, 7\nVB2 300\n",
                 {{0, 8, 0x55}, {1, 8, 7}, {2, 8, 44}},
                 3,
                 {"12:00:00 tobit错误"}},
        FileCase{"WordTooLargeIsReportedAlone", "VW0 2147483647, 9\n", {{0, 16, 0x5555}, {2, 16, 9}}, 2,
                 {"12:00:00 tobit错误"}},
        FileCase{"DecimalOutside32BitsEndsTheAnalysis",
                 "VB0 1, 2\nVB2 99999999999, 4\nVB5 6\n",
                 {{0, 8, 1}, {1, 8, 2}, {2, 8, 0}, {3, 8, 0x55}, {5, 8, 0x55}},
                 3},
        FileCase{"BinaryOf32DigitsEndsTheAnalysis", "VB0 1\nVD4 2#" + kThirtyTwoOnes + "\nVB9 1\n",
                 {{0, 8, 1}, {4, 32, 0}, {9, 8, 0x55}}, 2},
        FileCase{"HexWiderThan32BitsEndsTheAnalysis", "VB0 16#123456789, 1\n", {{0, 8, 0}, {1, 8, 0x55}}, 1},
        FileCase{"BinaryWithOtherDigitsEndsTheAnalysis", "VB0 2#102, 1\n", {{0, 8, 0}, {1, 8, 0x55}}, 1},
        FileCase{"LastBytesOfVMemory", "VW1020 1\nVB1022 2, 3\nVD1020 4 // overwrites all four\n",
                 {{1020, 32, 4}}, 4}),
    [](const auto& p) { return std::string(p.param.name); });

// An entry with a byte past VB1023 (or before VB0) refuses the whole block: nothing of it is written (not
// even the good lines before it), and the log names the first such line, counted from 1.
TEST(DataBlockFile, AnEntryPastVMemoryRefusesTheWholeBlock) {
    struct Case {
        std::string content;
        std::string logged;
    } cases[] = {
        {"VB0 1, 2\n// note\nVW1023 1\nVB3 4\n", "数据块第3行超出V存储区：VW1023 1"},
        {"VD1022 5\n", "数据块第1行超出V存储区：VD1022 5"},
        {"VB1024 7\n", "数据块第1行超出V存储区：VB1024 7"},
        {"VB1020 1, 2, 3, 4, 5\n", "数据块第1行超出V存储区：VB1020 1, 2, 3, 4, 5"},
        {"VW1020 1\n2, 3\nVB1 5\n", "数据块第2行超出V存储区：2, 3"},
        {"VB1023 1\n\tVW1023 16#FFFF // too far  \nVB5000 1\n", "数据块第2行超出V存储区：VW1023 16#FFFF // too far"},
        {"VB2147483647 5\nVB1 2\n", "数据块第1行超出V存储区：VB2147483647 5"},
        {"VB1 2\nVB-1 5\n", "数据块第2行超出V存储区：VB-1 5"}};
    for (const auto& c : cases) {
        Fixture f;
        for (int i = 0; i < 1024; ++i) f.mem.tobit(0x55, vbyte(i), 8);
        const std::vector<std::int16_t> before(f.mem.cells(), f.mem.cells() + area::CellCount);
        EXPECT_FALSE(f.load("past_v.txt", c.content)) << c.content;
        EXPECT_EQ(std::vector<std::int16_t>(f.mem.cells(), f.mem.cells() + area::CellCount), before) << c.content;
        EXPECT_EQ(f.sink.lines, (std::vector<std::string>{"12:00:00 " + c.logged}));
        EXPECT_EQ(f.db.viewText(), "");
    }
}

TEST(DataBlockAnalysis, EntriesCarryWidthOffsetAndValueInFileOrder) {
    DataBlock db;
    db.setLines({"VW100 1, 2, 3", "4, 5", "VD0 16#FFFFFFFF"});
    db.AnalyseDB();
    const auto& e = db.entries();
    ASSERT_EQ(e.size(), 6u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(e[i].Width, 16);
        EXPECT_EQ(e[i].ByteOffset, 100 + 2 * i);
        EXPECT_EQ(e[i].Value, i + 1);
    }
    EXPECT_EQ(e[5].Width, 32);
    EXPECT_EQ(e[5].Value, -1);
}

TEST(DataBlockAnalysis, TheFailingValueKeepsItsRowWithValueZero) {
    DataBlock db;
    db.setLines({"VW4 1, 3000000000, 5"});
    db.AnalyseDB();
    ASSERT_EQ(db.entries().size(), 2u);
    EXPECT_EQ(db.entries()[1].Width, 16);
    EXPECT_EQ(db.entries()[1].ByteOffset, 6);
    EXPECT_EQ(db.entries()[1].Value, 0);
}

struct BinCase {
    std::string text;
    std::int32_t value;
};

class BinToLongValues : public ::testing::TestWithParam<BinCase> {};

TEST_P(BinToLongValues, ReadsBinaryDigits) { EXPECT_EQ(BinToLong(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Digits, BinToLongValues,
                         ::testing::Values(BinCase{"#1010", 10}, BinCase{"1010", 10}, BinCase{"", 0}, BinCase{"#", 0},
                                           BinCase{std::string(31, '1'), 2147483647},
                                           BinCase{std::string(1, '0').append(31, '1'), 2147483647},
                                           BinCase{"#1 0_1 ", 5}));

TEST(BinToLong, FaultsGoToTheCaller) {
    const auto codeOf = [](const std::string& text) {
        try {
            BinToLong(text);
        } catch (const PlcFault& f) {
            return static_cast<int>(f.code);
        }
        return -1;
    };
    EXPECT_EQ(codeOf(std::string(32, '1')), static_cast<int>(FaultCode::Overflow));
    EXPECT_EQ(codeOf(std::string(1, '1').append(31, '0')), static_cast<int>(FaultCode::Overflow));
    EXPECT_EQ(codeOf("102"), static_cast<int>(FaultCode::InvalidArgument));
    EXPECT_EQ(codeOf("1#0"), static_cast<int>(FaultCode::InvalidArgument));
    EXPECT_EQ(codeOf("-1"), static_cast<int>(FaultCode::InvalidArgument));
}

std::string numberedLines(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "VB" + std::to_string(i) + " " + std::to_string(i % 200 + 1) + "\r\n";
    return s;
}

TEST(DataBlockFile, OneHundredAndOneLinesAreWarnedAboutAndLoadedWhole) {
    Fixture f;
    ASSERT_TRUE(f.load("lines101.txt", numberedLines(101)));
    EXPECT_EQ(f.prompt.informed, (std::vector<std::string>{"不要超过100行"}));
    EXPECT_EQ(f.db.lines().size(), 101u);
    EXPECT_EQ(f.value(100, 8), 101);
    EXPECT_TRUE(f.sink.lines.empty());
}

TEST(DataBlockFile, OneHundredAndTwoLinesFailAndWriteNothing) {
    Fixture f;
    ASSERT_TRUE(f.load("before.txt", "VB500 9\n"));
    f.mem.tobit(0, vbyte(500), 8);
    EXPECT_FALSE(f.load("lines102.txt", numberedLines(102)));
    EXPECT_EQ(f.prompt.informed, (std::vector<std::string>{"不要超过100行"}));
    EXPECT_EQ(f.sink.lines, (std::vector<std::string>{"12:00:00 打开DB数据块文件错误"}));
    for (int i = 0; i < 102; ++i) ASSERT_EQ(f.value(i, 8), 0) << i;
    EXPECT_EQ(f.db.lines().size(), 101u);  // the lines read before the failure
    // The entries keep the previous analysis.
    ASSERT_EQ(f.db.entries().size(), 1u);
    EXPECT_EQ(f.db.entries()[0].ByteOffset, 500);
}

// An endless device picked as a block is refused once it has given more lines than a block
// may have, instead of being read for ever.
TEST(DataBlockFile, AnEndlessDeviceIsRefusedAfterItsFirstLines) {
    if (!fs::exists("/dev/urandom")) GTEST_SKIP() << "no /dev/urandom";
    Fixture f;
    EXPECT_FALSE(f.db.load("/dev/urandom", f.mem, f.prompt, f.log));
    EXPECT_EQ(f.sink.lines, (std::vector<std::string>{"12:00:00 打开DB数据块文件错误"}));
}

// A long file is read whole when it has no more than 101 lines.
TEST(DataBlockFile, ALongLineBeyondTheFirstChunkIsKept) {
    Fixture f;
    std::string text = numberedLines(100) + "VB200 1";
    text += std::string(200000, ' ');
    text += ", 2\r\n";
    ASSERT_TRUE(f.load("long.txt", text));
    EXPECT_EQ(f.db.lines().size(), 101u);
    EXPECT_EQ(f.value(201, 8), 2);
}

TEST(DataBlockFile, AMissingFileIsLoggedAndChangesNothing) {
    Fixture f;
    ASSERT_TRUE(f.load("kept.txt", "VB0 1\n"));
    const auto lines = f.db.lines();
    EXPECT_FALSE(f.db.load((tmpDir() / "no such file.txt").string(), f.mem, f.prompt, f.log));
    EXPECT_FALSE(f.db.load(tmpDir().string(), f.mem, f.prompt, f.log));  // a folder
    EXPECT_EQ(f.sink.lines,
              (std::vector<std::string>{"12:00:00 打开DB数据块文件错误", "12:00:00 打开DB数据块文件错误"}));
    EXPECT_EQ(f.db.lines(), lines);
}

TEST(DataBlockFile, AnEmptyFileLeavesOneHundredAndOneEmptyLines) {
    Fixture f;
    ASSERT_TRUE(f.load("empty.txt", ""));
    EXPECT_EQ(f.db.lines(), std::vector<std::string>(101));
    ASSERT_EQ(f.db.entries().size(), 1u);
    EXPECT_EQ(f.db.entries()[0].Width, 0);
}

TEST(DataBlockFile, LineEndsOfEveryKind) {
    Fixture f;
    ASSERT_TRUE(f.load("ends.txt", "a\r\nb\nc\rd\r\n\r\n"));
    EXPECT_EQ(f.db.lines(), (std::vector<std::string>{"a", "b", "c", "d", ""}));
    ASSERT_TRUE(f.load("noend.txt", "x"));
    EXPECT_EQ(f.db.lines(), (std::vector<std::string>{"x"}));
}

TEST(DataBlockFile, ACancelledDialogWritesTheHeldLinesAgain) {
    Fixture f;
    ASSERT_TRUE(f.load("again.txt", "VB10 16#12\n"));
    f.mem.tobit(0, vbyte(10), 8);
    ASSERT_TRUE(f.db.load("", f.mem, f.prompt, f.log));
    EXPECT_EQ(f.value(10, 8), 18);
    EXPECT_EQ(f.db.fileName(), "");
}

TEST(DataBlockFile, UnloadForgetsTheBlockButKeepsVMemory) {
    Fixture f;
    const std::string path = writeFile("unload.txt", "VB10 16#12\n");
    ASSERT_TRUE(f.db.load(path, f.mem, f.prompt, f.log));
    EXPECT_EQ(f.db.viewText(), path + "\r\n 0      VB10 16#12");
    f.db.unload();
    EXPECT_EQ(f.value(10, 8), 18);
    EXPECT_EQ(f.db.lines(), std::vector<std::string>{""});
    ASSERT_EQ(f.db.entries().size(), 1u);
    EXPECT_EQ(f.db.entries()[0].Width, 0);
    EXPECT_EQ(f.db.viewText(), "");
    EXPECT_EQ(f.db.buildViewText(), "\r\n 0      ");
}

TEST(DataBlockView, ShowsThePathThenNumberedLines) {
    DataBlock db;
    EXPECT_EQ(db.buildViewText(), "");  // before the first load
    db.setFileName("/d/blk.txt");
    db.setLines({"VB0 1", "2", "// x"});
    EXPECT_EQ(db.buildViewText(), "/d/blk.txt\r\n 0      VB0 1\r\n 1      2\r\n 2      // x");
}

}  // namespace
