#include <gtest/gtest.h>

#include "test_tmp.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/status_table.h"
#include "test_support.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

struct ParseCase {
    const char* address;
    bool valid;
    int kind = 0;
    int key = 0;
};

class StatusAddress : public ::testing::TestWithParam<ParseCase> {};

TEST_P(StatusAddress, ParsesWithinTheAreaLimits) {
    const auto& c = GetParam();
    StatusRow r;
    r.address = c.address;
    parseStatusAddress(r, 10240);
    EXPECT_EQ(r.valid, c.valid) << c.address;
    if (c.valid) {
        EXPECT_EQ(r.kind, c.kind) << c.address;
        EXPECT_EQ(r.key(), c.key) << c.address;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, StatusAddress,
    ::testing::Values(ParseCase{"IW7", true, 16, 56}, ParseCase{"IW14", true, 16, 112}, ParseCase{"IW15", false}, ParseCase{"IW-1", false},
                      ParseCase{"IB15", true, 8, 120}, ParseCase{"IB16", false}, ParseCase{"ID3", true, 32, 24},
                      ParseCase{"ID12", true, 32, 96}, ParseCase{"ID13", false}, ParseCase{"I15.7", true, 1, 127}, ParseCase{"I16.0", false},
                      ParseCase{"I0.8", false}, ParseCase{"I0", false}, ParseCase{"I0.0.0", false},
                      ParseCase{"I.0", false}, ParseCase{"Q1.2", true, 1, 138}, ParseCase{"MW15", true, 16, 376},
                      ParseCase{"MW30", true, 16, 496}, ParseCase{"MW31", false}, ParseCase{"S31.7", true, 1, 15296 + 255},
                      ParseCase{"SB31", true, 8, 15296 + 248}, ParseCase{"SMB0", false}, ParseCase{"SM0.0", false},
                      ParseCase{"T255", true, 33, 13232 + 255}, ParseCase{"T256", false},
                      ParseCase{"C0", true, 33, 13488}, ParseCase{"C", false},
                      ParseCase{"AIW62", true, 16, 13760 + 496}, ParseCase{"AIW3", false}, ParseCase{"AIW64", false},
                      ParseCase{"AQW0", true, 16, 14272}, ParseCase{"AQW62", true, 16, 14272 + 496}, ParseCase{"AQW1", false},
                      // V memory: the rules, bounded by the 1024 bytes the image holds.
                      ParseCase{"VB1023", true, 8, 512 + 8184}, ParseCase{"VB1024", false},
                      ParseCase{"VW1022", true, 16, 512 + 8176}, ParseCase{"VW1023", false},
                      ParseCase{"VD1000", true, 32, 512 + 8000}, ParseCase{"VD1021", false},
                      ParseCase{"V1023.7", true, 1, 512 + 8191}, ParseCase{"V1024.0", false},
                      ParseCase{"vb0", false}, ParseCase{"", false}, ParseCase{"AC0", false},
                      ParseCase{"VB 1", false}, ParseCase{"VB99999999999", false}));

TEST(StatusAddressV, FollowsTheCpuVMemorySize) {
    StatusRow r;
    r.address = "VD509";
    parseStatusAddress(r, 512);  // a double word must lie whole in the CPU's V memory
    EXPECT_FALSE(r.valid);
    r.address = "VD508";
    parseStatusAddress(r, 512);
    EXPECT_TRUE(r.valid);
}

TEST(StatusTableRows, FiveDefaultRowsRenderAfterTheFirstRead) {
    Cpu t;
    StatusTable table;
    ASSERT_EQ(table.size(), 5u);
    t.mem.SetRealValue(area::V, 1.5);
    t.mem.tobit(200, area::Q, 8);
    t.mem.setBit(area::I, true);
    t.mem.timers()[50].Current = 12;
    t.mem.setBit(area::T + 50, true);
    EXPECT_TRUE(table.FreshShow(t.mem));
    const std::vector<std::pair<std::string, std::string>> expected{
        {"浮点数", "1.5000 "}, {"位", " 1"}, {"无符号十进制", "200 "}, {"二进制", " 1"}, {"无符号十进制", " 12"}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(table.row(i).valid);
        EXPECT_EQ(table.row(i).formatCell, expected[i].first) << i;
        EXPECT_EQ(table.row(i).currentValueCell, expected[i].second) << i;
        EXPECT_FALSE(table.row(i).forced);
        EXPECT_FALSE(table.row(i).newValuePending);
    }
    EXPECT_FALSE(table.FreshShow(t.mem));  // nothing changed: no redraw
    // Reading is done once; later changes show only with another read.
    t.mem.tobit(7, area::Q, 8);
    table.FreshShow(t.mem);
    EXPECT_EQ(table.row(2).currentValueCell, "200 ");
    table.toggleContinuous();
    table.FreshShow(t.mem);
    EXPECT_EQ(table.row(2).currentValueCell, "7 ");
}

struct RenderCase {
    const char* address;
    int format;
    double stored;  // written with tobit at the row's width
    const char* cell;
};

class StatusRender : public ::testing::TestWithParam<RenderCase> {};

TEST_P(StatusRender, ShowsTheValueInTheRowsFormat) {
    const auto& c = GetParam();
    Cpu t;
    StatusTable table;
    table.setAddress(0, c.address);
    ASSERT_TRUE(table.setFormat(0, c.format));
    t.mem.tobit(c.stored, table.row(0).key(), table.row(0).width());
    table.FreshShow(t.mem);
    EXPECT_EQ(table.row(0).currentValueCell, c.cell);
}

INSTANTIATE_TEST_SUITE_P(Formats, StatusRender,
                         ::testing::Values(RenderCase{"VW0", rowformat::Hex, 65535, "FF,FF "},
                                           RenderCase{"VW0", rowformat::Signed, 65535, "-  1 "},
                                           RenderCase{"VW0", rowformat::Unsigned, 65535, " 65,535 "},
                                           RenderCase{"VB0", rowformat::Binary, 255, "11111111 "},
                                           RenderCase{"VB0", rowformat::Signed, 128, "-128 "},
                                           RenderCase{"VD0", rowformat::Hex, -1, "FFFF,FFFF "},
                                           RenderCase{"VD0", rowformat::Signed, -1, "-  1 "},
                                           RenderCase{"VD0", rowformat::Unsigned, 4294967295.0, "溢出 "}));

TEST(StatusFormats, EachKindOffersItsList) {
    EXPECT_EQ(formatsFor(rowkind::Bit), std::vector<int>{rowformat::Bit});
    EXPECT_EQ(formatsFor(rowkind::DWord).back(), rowformat::Real);
    EXPECT_EQ(formatsFor(rowkind::TimerCounter), (std::vector<int>{rowformat::Signed, rowformat::Binary}));
    StatusTable table;
    table.setAddress(2, "QW0");
    EXPECT_FALSE(table.setFormat(2, rowformat::Real));
    // Turning a real double word into a byte drops the real format.
    table.setAddress(0, "vb3");
    EXPECT_EQ(table.row(0).address, "VB3");
    EXPECT_EQ(table.row(0).format, rowformat::Signed);
    EXPECT_EQ(formatCodeOf("十六进制"), rowformat::Hex);
    EXPECT_FALSE(formatCodeOf("hex").has_value());
}

struct NewValueCase {
    const char* address;
    int format;
    const char* text;
    bool accepted;
    std::vector<int> bytes;  // written by write-once, most significant first
};

class StatusNewValue : public ::testing::TestWithParam<NewValueCase> {};

TEST_P(StatusNewValue, IsReadByFormatAndWrittenOnce) {
    const auto& c = GetParam();
    Cpu t;
    StatusTable table;
    table.setAddress(0, c.address);
    table.setFormat(0, c.format);
    const auto result = table.enterNewValue(0, c.text);
    ASSERT_EQ(result == StatusTable::NewValue::Stored, c.accepted) << c.text;
    t.mem.tobit(0xA5A5A5A5, area::V, 32);
    EXPECT_EQ(table.writeOnce(t.mem, false), StatusTable::WriteOnce::Written);
    std::vector<int> got;
    for (std::size_t i = 0; i < c.bytes.size(); ++i) got.push_back(t.mem.byteAt(area::V + 8 * static_cast<int>(i)));
    EXPECT_EQ(got, c.bytes) << c.text;
    EXPECT_TRUE(t.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StatusNewValue,
    ::testing::Values(
        NewValueCase{"VD0", rowformat::Hex, "FFFF", true, {0, 0, 0xFF, 0xFF}},
        NewValueCase{"VD0", rowformat::Hex, "16#ffffffff", true, {0xFF, 0xFF, 0xFF, 0xFF}},
        NewValueCase{"VW0", rowformat::Hex, "1FFFF", false, {0xA5, 0xA5}},
        NewValueCase{"VB0", rowformat::Signed, "-1", true, {0xFF}},
        NewValueCase{"VB0", rowformat::Signed, "200", false, {0xA5}},
        NewValueCase{"VW0", rowformat::Signed, "-32768", true, {0x80, 0x00}},
        NewValueCase{"VW0", rowformat::Signed, "32768", false, {0xA5, 0xA5}},
        NewValueCase{"VD0", rowformat::Signed, "- 2 147 483 648", true, {0x80, 0, 0, 0}},
        NewValueCase{"VW0", rowformat::Unsigned, "-40000", true, {0x9C, 0x40}},
        NewValueCase{"VB0", rowformat::Unsigned, "300", false, {0xA5}},
        NewValueCase{"VB0", rowformat::Binary, "2#1010_0001", true, {0xA1}},
        NewValueCase{"VB0", rowformat::Binary, "102", false, {0xA5}},
        NewValueCase{"VD0", rowformat::Real, "1.5", true, {0x3F, 0xC0, 0, 0}},
        NewValueCase{"VD0", rowformat::Real, "1E39", false, {0xA5, 0xA5, 0xA5, 0xA5}},
        NewValueCase{"VW0", rowformat::Signed, "12abc", true, {0, 12}},
        NewValueCase{"VW0", rowformat::Signed, "abc", true, {0, 0}},
        NewValueCase{"V0.0", rowformat::Bit, "0", true, {0xA4}},
        NewValueCase{"V0.1", rowformat::Bit, "7", true, {0xA7}}));

TEST(StatusWrite, EmptyEntryClearsThePendingValue) {
    Cpu t;
    StatusTable table;
    table.setAddress(2, "QB0");
    ASSERT_EQ(table.enterNewValue(2, "5"), StatusTable::NewValue::Stored);
    EXPECT_EQ(table.enterNewValue(2, ""), StatusTable::NewValue::Cleared);
    EXPECT_FALSE(table.row(2).newValuePending);
    table.writeOnce(t.mem, false);
    EXPECT_EQ(t.mem.byteAt(area::Q), 0);
}

TEST(StatusWrite, WhileRunningTheScanCycleWritesAtTheNextTickAndKeepsThePendingFlag) {
    Cpu t;
    StatusTable table;
    table.setAddress(2, "QB0");
    table.enterNewValue(2, "9");
    EXPECT_FALSE(table.applyRequestedWrites(t.mem));
    EXPECT_EQ(table.writeOnce(t.mem, true), StatusTable::WriteOnce::Requested);
    EXPECT_EQ(t.mem.byteAt(area::Q), 0);
    EXPECT_TRUE(table.applyRequestedWrites(t.mem));
    EXPECT_EQ(t.mem.byteAt(area::Q), 9);
    EXPECT_FALSE(table.applyRequestedWrites(t.mem));
    EXPECT_TRUE(table.row(2).newValuePending);
}

TEST(StatusWrite, TimerRowsAndInvalidRowsWriteNothing) {
    Cpu t;
    StatusTable table;
    table.enterNewValue(3, "100");
    table.force(3);
    table.setAddress(0, "XYZ");
    table.enterNewValue(0, "1");
    table.force(0);
    EXPECT_FALSE(table.forceStep(t.mem));
    EXPECT_EQ(t.mem.timers()[50].Current, 0);
    EXPECT_FALSE(t.mem.bit(area::T + 50));
    table.FreshShow(t.mem);
    EXPECT_EQ(table.row(0).formatCell, "");
    EXPECT_EQ(StatusTable::forceCell(table.row(0)), "");
    EXPECT_EQ(StatusTable::forceCell(table.row(3)), "是");
}

// A tick as the scan cycle runs it: inputs from the panel, forces, the pass, forces again.
TEST(StatusForce, WinsOverThePanelInputsAndTheProgramsWrites) {
    Cpu t;
    t.program({{"LD", {{double(I(0, 0))}}},
               {"=", {{double(Q(0, 0))}}},
               {"LDN", {{double(M(1, 0))}}},
               {"=", {{double(Q(0, 1))}}}});
    StatusTable table;
    table.setAddress(1, "I0.0");
    table.enterNewValue(1, "1");
    table.force(1);
    table.setAddress(2, "Q0.1");
    table.enterNewValue(2, "0");
    table.force(2);
    for (int tick = 0; tick < 3; ++tick) {
        t.set(I(0, 0), false);  // the input panel shows I0.0 cleared
        EXPECT_TRUE(table.forceStep(t.mem));
        t.pass();
        EXPECT_TRUE(t.bit(Q(0, 0))) << tick;  // the program saw I0.0 on
        EXPECT_TRUE(t.bit(Q(0, 1))) << tick;  // the program's own write
        EXPECT_TRUE(table.forceStep(t.mem));
        EXPECT_FALSE(t.bit(Q(0, 1))) << tick;  // the force wins before the outputs go out
    }
    table.unforceAll();
    EXPECT_FALSE(table.forceStep(t.mem));
    EXPECT_FALSE(table.anyForced());
}

TEST(StatusForce, OutOfRangeLoadedValueIsNeitherForcedNorCounted) {
    Cpu t;
    StatusTable table;
    ASSERT_TRUE(table.loadTableText("\tVB0\t\t300\tTrue\t 0\r\n"));
    EXPECT_TRUE(table.row(0).forced);
    EXPECT_FALSE(table.forceStep(t.mem));
    EXPECT_EQ(t.mem.byteAt(area::V), 0);
}

TEST(StatusRowCommands, InsertAppendAndDelete) {
    StatusTable table;
    table.insertBefore(2);
    ASSERT_EQ(table.size(), 6u);
    EXPECT_FALSE(table.row(2).valid);
    EXPECT_EQ(table.row(2).address, "");
    EXPECT_EQ(table.row(3).address, "QB0");
    table.append();
    EXPECT_EQ(table.size(), 7u);
    table.removeRow(3);
    EXPECT_EQ(table.size(), 6u);
    EXPECT_EQ(table.row(3).address, "T50");
    table.removeRow(0);
    EXPECT_EQ(table.size(), 6u);
    EXPECT_FALSE(table.row(0).valid);
    EXPECT_EQ(table.row(0).address, "");
    table.removeRow(99);
    EXPECT_EQ(table.size(), 6u);
    EXPECT_EQ(StatusTable::indexCell(3), " 3");
}

// The symbol cell: a row's own symbol wins; a row without one shows the symbol the loaded
// table gives its address, which stays out of the row and out of the saved file.
TEST(StatusSymbols, RowsWithoutASymbolShowTheLoadedTablesSymbolOfTheirAddress) {
    SymbolTable symbols;
    ASSERT_TRUE(symbols.loadText("Start_PB\tI0.0\r\nSpeed\tVW100\r\nLamp\tQ0.0\tKM1\r\n"));
    struct Case {
        const char* address;
        const char* own;
        const char* shown;
    };
    const Case cases[] = {
        {"i0.0", "", "Start_PB"},   // typed in lower case: the row's address is upper case
        {"VW100", "Mine", "Mine"},  // the row's own symbol
        {"VW102", "", ""},          // an address the table does not name
        {"", "", ""},               // an empty row
        {"Q0.0", "", "Lamp"},
        {"QB0", "", ""},  // the byte holding a named bit is not named by it
    };
    StatusTable table;
    while (table.size() < std::size(cases)) table.append();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        table.setAddress(i, cases[i].address);
        table.setSymbol(i, cases[i].own);
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(StatusTable::symbolCell(table.row(i), symbols), cases[i].shown) << i;
        EXPECT_EQ(StatusTable::symbolCell(table.row(i), SymbolTable{}), cases[i].own) << i;
        EXPECT_EQ(table.row(i).symbol, cases[i].own) << i;
    }
    EXPECT_EQ(table.tableFileText().find("Start_PB"), std::string::npos);
}

struct FileFixture {
    MemoryLogSink sink;
    Log log{&sink};
    std::filesystem::path dir = testTmpDir("status_table");
    FileFixture() { std::filesystem::create_directories(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }
};

TEST(StatusFile, RoundTripKeepsAForcedRow) {
    FileFixture f;
    StatusTable table;
    table.setSymbol(1, "Start_PB");
    table.setComment(1, "启动按钮");
    table.enterNewValue(1, "1");
    table.force(1);
    table.setAddress(2, "VW10");
    table.setFormat(2, rowformat::Signed);
    table.enterNewValue(2, "-5");
    const auto path = f.path("round.txt");
    ASSERT_TRUE(table.saveFile(path, f.log));
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text,
              "\tVD0\t\t 0\tFalse\t 7\r\n"
              "Start_PB\tI0.0\t启动按钮\t 1\tTrue\t 10\r\n"
              "\tVW10\t\t-5\tFalse\t 0\r\n"
              "\tT50\t\t 0\tFalse\t 4\r\n"
              "\tT50\t\t 0\tFalse\t 1\r\n");
    StatusTable loaded;
    ASSERT_TRUE(loaded.loadFile(path, f.log));
    ASSERT_EQ(loaded.size(), 5u);
    EXPECT_TRUE(loaded.row(1).forced);
    EXPECT_EQ(loaded.row(1).newValue, 1);
    EXPECT_FALSE(loaded.row(1).newValuePending);
    EXPECT_EQ(loaded.row(1).symbol, "Start_PB");
    EXPECT_EQ(loaded.row(1).comment, "启动按钮");
    EXPECT_EQ(loaded.row(2).newValue, -5);
    EXPECT_EQ(loaded.row(2).newValueText, "-5");
    EXPECT_EQ(loaded.row(0).format, rowformat::Real);
    EXPECT_EQ(f.sink.lines, (std::vector<std::string>{"保存状态表配置：" + path, "载入状态表文件：" + path}));
    Cpu t;
    EXPECT_TRUE(loaded.forceStep(t.mem));
    EXPECT_TRUE(t.bit(I(0, 0)));
}

TEST(StatusFile, ReadsLfLinesTrimsFieldsAndKeepsDefaultsOfMissingFields) {
    StatusTable table;
    ASSERT_TRUE(table.loadTableText(" Lamp \t q0.3 \n\tMB4\tflags\t 12\t-1\n\n"));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.row(0).symbol, "Lamp");
    EXPECT_EQ(table.row(0).address, "Q0.3");
    EXPECT_TRUE(table.row(0).valid);
    EXPECT_FALSE(table.row(0).forced);
    EXPECT_TRUE(table.row(1).forced);
    EXPECT_EQ(table.row(1).newValue, 12);
    EXPECT_EQ(table.row(1).format, rowformat::Signed);
    EXPECT_FALSE(table.row(2).valid);
}

TEST(StatusFile, NegativeZeroIsSavedAsZeroAndAByteOrderMarkIsSkipped) {
    StatusTable table;
    table.setAddress(0, "VW0");
    ASSERT_EQ(table.enterNewValue(0, "-0"), StatusTable::NewValue::Stored);
    EXPECT_EQ(table.tableFileText().substr(0, 19), "\tVW0\t\t 0\tFalse\t 0\r\n");
    ASSERT_TRUE(table.loadTableText("\xEF\xBB\xBFLamp\tQ0.3\r\n"));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.row(0).symbol, "Lamp");
    EXPECT_TRUE(table.row(0).valid);
    // A mark behind blanks is no part of the symbol either, so saving and loading again
    // gives the same first row.
    ASSERT_TRUE(table.loadTableText(" \xEF\xBB\xBF \xEF\xBB\xBFLamp \tQ0.3\r\n"));
    EXPECT_EQ(table.row(0).symbol, "Lamp");
    StatusTable again;
    ASSERT_TRUE(again.loadTableText(table.tableFileText()));
    EXPECT_EQ(again.row(0).symbol, "Lamp");
}

TEST(StatusFile, AFileThatCannotBeWrittenIsLoggedAsAnError) {
    FileFixture f;
    StatusTable table;
    const auto path = f.path("no_such_dir/table.txt");
    EXPECT_FALSE(table.saveFile(path, f.log));
    EXPECT_EQ(f.sink.lines, (std::vector<std::string>{"保存状态表配置：" + path, "保存状态表配置错误：" + path}));
}

TEST(StatusFile, ALineThatCannotBeStoredEndsTheLoadAndIsLogged) {
    FileFixture f;
    const auto path = f.path("bad.txt");
    std::ofstream(path, std::ios::binary) << "\tVB0\t\t 1\tFalse\t 0\r\n\tVB1\t\tabc\tFalse\t 0\r\n\tVB2\r\n";
    StatusTable table;
    EXPECT_FALSE(table.loadFile(path, f.log));
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.row(0).address, "VB0");
    EXPECT_EQ(f.sink.lines, std::vector<std::string>{"载入状态表配置错误"});
    f.sink.lines.clear();
    EXPECT_FALSE(table.loadFile(f.path("missing.txt"), f.log));
    EXPECT_EQ(f.sink.lines, std::vector<std::string>{"载入状态表配置错误"});
    EXPECT_FALSE(table.loadTableText("\tVB0\t\t1\tFalse\t 3\r\n"));  // 3 is not a format
    // An endless device is refused once it is past any real table's size; the rows stay.
    ASSERT_TRUE(table.loadTableText("\tMB7\r\n"));
    f.sink.lines.clear();
    EXPECT_FALSE(table.loadFile("/dev/zero", f.log));
    EXPECT_EQ(f.sink.lines, std::vector<std::string>{"载入状态表配置错误"});
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.row(0).address, "MB7");
}

// A copy of selected rows of the STEP 7-MicroWIN symbol table: symbol, address, comment,
// TAB-separated, CR LF after every row.
constexpr const char* kSymbolTableCopy =
    "Start_PB\tI0.0\tStart push button, NO contact\r\n"
    "Stop_PB\tI0.1\tStop push button, NC contact\r\n"
    "Motor_On\tQ0.0\t电机接触器 KM1\r\n"
    "Speed_Setpoint\tVW100\tSpeed set point in rpm\r\n"
    "Tank_Level\tAIW0\tLevel transmitter 4-20 mA\r\n"
    "Cycle_Timer\tT37\t100 ms cycle \r\n"
    "Total_Count\tVD200\t\r\n";

TEST(StatusPaste, SymbolTableCopyBecomesTheRowList) {
    StatusTable table;
    AutoPrompt prompt;
    ASSERT_TRUE(table.pasteSymbolTable(std::string(kSymbolTableCopy), &prompt));
    ASSERT_EQ(table.size(), 7u);
    const std::vector<std::pair<const char*, int>> expected{{"I0.0", rowkind::Bit},   {"I0.1", rowkind::Bit},
                                                            {"Q0.0", rowkind::Bit},   {"VW100", rowkind::Word},
                                                            {"AIW0", rowkind::Word},  {"T37", rowkind::TimerCounter},
                                                            {"VD200", rowkind::DWord}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(table.row(i).address, expected[i].first);
        EXPECT_TRUE(table.row(i).valid) << i;
        EXPECT_EQ(table.row(i).kind, expected[i].second) << i;
        EXPECT_FALSE(table.row(i).forced);
    }
    EXPECT_EQ(table.row(2).comment, "电机接触器 KM1");
    EXPECT_EQ(table.row(5).comment, "100 ms cycle ");  // blanks are kept
    EXPECT_EQ(table.row(3).symbol, "Speed_Setpoint");
    EXPECT_TRUE(prompt.informed.empty());
    EXPECT_TRUE(table.readRequested());
}

TEST(StatusPaste, EmptyLinesGiveInvalidRowsAndNoTextKeepsTheList) {
    StatusTable table;
    AutoPrompt prompt;
    EXPECT_FALSE(table.pasteSymbolTable(std::nullopt, &prompt));
    EXPECT_EQ(prompt.informed, std::vector<std::string>{kMsgClipboardNoText});
    EXPECT_EQ(table.size(), 5u);
    // Empty text is no text either: the rows are not replaced by nothing.
    EXPECT_FALSE(table.pasteSymbolTable(std::string(), &prompt));
    EXPECT_EQ(prompt.informed, (std::vector<std::string>{kMsgClipboardNoText, kMsgClipboardNoText}));
    EXPECT_EQ(table.size(), 5u);
    ASSERT_TRUE(table.pasteSymbolTable(std::string("A\tI0.0\r\n\r\nB\tjunk\tx\ty\tz\tw"), &prompt));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_TRUE(table.row(0).valid);
    EXPECT_FALSE(table.row(1).valid);
    EXPECT_FALSE(table.row(2).valid);
}

}  // namespace
