#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hardware/catalogue.h"
#include "sim/panel_models.h"
#include "sim/recent_files.h"

using namespace korvane;

namespace {

struct Fixture {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Fixture() { log.setClock([] { return std::string("12:00:00"); }); }
};

BitBytePanelModel panel(PanelKind kind, int type, int address = 0, int page = 0, int vBytes = 10240) {
    BitBytePanelModel m(kind, vBytes);
    m.chooseDataType(type);
    m.choosePage(page);
    m.chooseAddress(address);
    return m;
}

// --- window, captions and box addresses ----------------------------------------------------

struct WindowCase {
    PanelKind kind;
    int type, address, page;
    int group;
    std::string caption;
    int box;
    int key;  // bit index of the box
};

class PanelWindow : public ::testing::TestWithParam<WindowCase> {};

TEST_P(PanelWindow, CaptionsAndBoxAddressesFollowTheStart) {
    const auto& c = GetParam();
    const auto m = panel(c.kind, c.type, c.address, c.page);
    EXPECT_EQ(m.groupCaption(c.group), c.caption);
    EXPECT_EQ(m.boxKey(c.box), c.key);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PanelWindow,
    ::testing::Values(
        // IB2: group 0 is I2.7-I2.0 and box 0 (the rightmost) is I2.0.
        WindowCase{PanelKind::Input, datatype::Bit, 2, 0, 0, "I2.7-I2.0", 0, 16},
        WindowCase{PanelKind::Input, datatype::Bit, 2, 0, 5, "I7.7-I7.0", 47, 63},
        WindowCase{PanelKind::Input, datatype::Byte, 0, 0, 1, "IB8-IB15", 9, 72},
        // MW4: boxes MW4, MW6, ...; group 0 MW4-MW10.
        WindowCase{PanelKind::M, datatype::Word, 4, 0, 0, "MW4-MW10", 1, area::M + 8 * 6},
        WindowCase{PanelKind::M, datatype::Int, 4, 0, 1, "MW12-MW18", 7, area::M + 8 * 18},
        WindowCase{PanelKind::Output, datatype::DWord, 0, 0, 1, "QD8-QD12", 3, area::Q + 8 * 12},
        // Page VB100 + offset VB5 starts at VB105.
        WindowCase{PanelKind::V, datatype::Bit, 5, 1, 0, "V105.7-V105.0", 0, area::V + 8 * 105},
        WindowCase{PanelKind::V, datatype::SByte, 5, 1, 0, "VB105-VB112", 1, area::V + 8 * 106},
        WindowCase{PanelKind::V, datatype::Float, 0, 2, 0, "VD200-VD204", 1, area::V + 8 * 204}));

struct ListCase {
    PanelKind kind;
    int type;
    int vBytes, page;
    std::size_t count;
    std::string first, last;
};

class AddressLists : public ::testing::TestWithParam<ListCase> {};

TEST_P(AddressLists, HoldTheEntriesOfPanelAndType) {
    const auto& c = GetParam();
    const auto m = panel(c.kind, c.type, 0, c.page, c.vBytes);
    ASSERT_EQ(m.addressList().size(), c.count);
    EXPECT_EQ(m.addressList().front(), c.first);
    EXPECT_EQ(m.addressList().back(), c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressLists,
    ::testing::Values(ListCase{PanelKind::Input, datatype::Bit, 10240, 0, 11, "IB0", "IB10"},
                      ListCase{PanelKind::Input, datatype::Int, 10240, 0, 1, "IW0", "IW0"},
                      ListCase{PanelKind::Output, datatype::Long, 10240, 0, 1, "QD0", "QD0"},
                      ListCase{PanelKind::M, datatype::Bit, 10240, 0, 27, "MB0", "MB26"},
                      ListCase{PanelKind::M, datatype::Word, 10240, 0, 16, "MW0", "MW15"},
                      ListCase{PanelKind::V, datatype::Byte, 10240, 0, 95, "VB0", "VB94"},
                      // The last page of 10240 bytes holds offsets 0 to 35; of 2048 bytes 0 to 43.
                      ListCase{PanelKind::V, datatype::Word, 10240, 102, 36, "VW0", "VW35"},
                      ListCase{PanelKind::V, datatype::Bit, 2048, 20, 44, "VB0", "VB43"}));

TEST(AddressLists, VPagesFollowTheCpusVMemoryAndTheSizeLetter) {
    auto m = panel(PanelKind::V, datatype::DWord);
    ASSERT_EQ(m.pageList().size(), 103u);
    EXPECT_EQ(m.pageList().back(), "VD10200");
    m.setVMemoryBytes(2048);
    EXPECT_EQ(m.pageList().size(), 21u);
    EXPECT_EQ(m.pageList().back(), "VD2000");
    EXPECT_EQ(m.dataType(), datatype::DWord);
    EXPECT_TRUE(panel(PanelKind::M, datatype::Bit).pageList().empty());
}

// --- rendering and write-back --------------------------------------------------------------

struct RenderCase {
    PanelKind kind;
    int type;
    int formatPosition;  // 0 hex, 1 decimal, 2 binary
    double value;        // written with the view's width (a real for float)
    std::string text;
};

class Rendering : public ::testing::TestWithParam<RenderCase> {};

TEST_P(Rendering, ShowsTheWrittenFormAndReadsItBackUnchanged) {
    const auto& c = GetParam();
    Fixture f;
    auto m = panel(c.kind, c.type);
    m.chooseFormat(c.formatPosition);
    if (c.type == datatype::Float) f.mem.SetRealValue(m.boxKey(0), c.value);
    else f.mem.tobit(c.value, m.boxKey(0), m.width());
    EXPECT_EQ(m.boxText(f.mem, 0), c.text);
    if (c.kind != PanelKind::Input) return;
    // The input panel writes the rendered text back: the value stays what it was.
    m.markRendered();
    std::vector<std::string> texts(static_cast<std::size_t>(m.boxCount()));
    for (int d = 0; d < m.boxCount(); ++d) texts[static_cast<std::size_t>(d)] = m.boxText(f.mem, d);
    PlcMemory before = f.mem;
    f.mem.clearForRun();
    ASSERT_TRUE(m.writeBackValues(f.mem, texts));
    for (int k = 0; k < 32; ++k) EXPECT_EQ(f.mem.cell(m.boxKey(0) + k), before.cell(m.boxKey(0) + k)) << k;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rendering,
    ::testing::Values(RenderCase{PanelKind::Input, datatype::Word, 0, 0x1234, "12,34"},
                      RenderCase{PanelKind::Input, datatype::Word, 1, 65535, " 65,535"},
                      RenderCase{PanelKind::Input, datatype::Word, 2, 0x0102, "       1,00000010"},
                      RenderCase{PanelKind::Input, datatype::Int, 1, 0xFFFB, "-  5"},
                      RenderCase{PanelKind::Input, datatype::SByte, 1, 0x80, "-128"},
                      RenderCase{PanelKind::Input, datatype::Long, 1, 2147483649.0, "-  2,147,483,647"},
                      RenderCase{PanelKind::Input, datatype::DWord, 0, 0xABCD, "    ,ABCD"},
                      RenderCase{PanelKind::Input, datatype::Float, 0, 1.5, " 1.5"},
                      RenderCase{PanelKind::Input, datatype::Float, 1, 100.0, " 100.0"},
                      RenderCase{PanelKind::Output, datatype::Int, 1, 0xFFFB, "-  5"},
                      RenderCase{PanelKind::M, datatype::Byte, 2, 5, "     101"}));

struct ReadCase {
    std::string text;
    int format;
    std::optional<double> value;
};

class BoxTexts : public ::testing::TestWithParam<ReadCase> {};

TEST_P(BoxTexts, SkipBlanksAndGroupSeparators) {
    const auto& c = GetParam();
    EXPECT_EQ(BitBytePanelModel::readBoxText(c.text, c.format), c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, BoxTexts,
                         ::testing::Values(ReadCase{"12,34", showformat::Hex, 0x1234},
                                           ReadCase{"ff", showformat::Hex, 255},
                                           ReadCase{"-  5", showformat::Decimal, -5},
                                           ReadCase{" 65,535", showformat::Decimal, 65535},
                                           ReadCase{"", showformat::Binary, 0},
                                           ReadCase{"1,0000", showformat::Binary, 16},
                                           ReadCase{"102", showformat::Binary, std::nullopt},
                                           ReadCase{"12G", showformat::Hex, std::nullopt},
                                           ReadCase{"-", showformat::Decimal, std::nullopt},
                                           ReadCase{"1.5", showformat::Decimal, std::nullopt}));

TEST(WriteBack, OnlyUnderTheSelectionLastRendered) {
    Fixture f;
    auto m = panel(PanelKind::Input, datatype::Word);
    m.markRendered();
    m.chooseFormat(2);  // binary now, but the boxes still hold hexadecimal texts
    std::vector<std::string> texts(8, "12,34");
    EXPECT_FALSE(m.writeBackValues(f.mem, texts));
    EXPECT_EQ(f.mem.GetWordValue(0), 0);
    m.chooseFormat(0);
    EXPECT_TRUE(m.writeBackValues(f.mem, texts));
    EXPECT_EQ(f.mem.GetWordValue(0), 0x1234);
    EXPECT_EQ(f.mem.GetWordValue(8 * 14), 0x1234);
}

TEST(WriteBack, KeepsTheWidthAndLeavesBadTextsAlone) {
    Fixture f;
    auto m = panel(PanelKind::Input, datatype::Byte);
    m.chooseFormat(1);
    m.markRendered();
    f.mem.tobit(7, 8, 8);
    std::vector<std::string> texts(16, "0");
    texts[0] = "300";  // low eight bits
    texts[1] = "abc";  // not a number: IB1 keeps 7
    texts[2] = "-1";
    ASSERT_TRUE(m.writeBackValues(f.mem, texts));
    EXPECT_EQ(f.mem.byteAt(0), 44);
    EXPECT_EQ(f.mem.byteAt(8), 7);
    EXPECT_EQ(f.mem.byteAt(16), 255);
    EXPECT_TRUE(f.sink.lines.empty());
}

TEST(WriteBack, BitBoxesAndObjectPoints) {
    Fixture f;
    auto m = panel(PanelKind::Input, datatype::Bit, 2);
    m.markRendered();
    std::array<bool, 48> boxes{};
    boxes[0] = true;
    boxes[47] = true;
    f.mem.setCell(17, kOn);
    ASSERT_TRUE(m.writeBackBits(f.mem, boxes));
    EXPECT_EQ(f.mem.cell(16), kOn);   // I2.0
    EXPECT_EQ(f.mem.cell(17), kOff);  // I2.1 follows its cleared box
    EXPECT_EQ(f.mem.cell(63), kOn);   // I7.7
    EXPECT_EQ(f.mem.cell(15), kOff);  // outside the window

    const ObjectDigitalPoint points[] = {{3, 1.0}, {4, 0.0}, {-1, 1.0}, {200, 1.0}};
    f.mem.setCell(4, kOn);
    BitBytePanelModel::writeObjectInputs(f.mem, points);
    EXPECT_EQ(f.mem.cell(3), kOn);
    EXPECT_EQ(f.mem.cell(4), kOff);
    EXPECT_EQ(f.mem.cell(200), kOff);  // a point mapped outside the I area writes nothing

    ObjectDigitalPoint outs[] = {{0, 0.5}, {5, 1.0}, {-1, 7.0}};
    f.mem.setCell(area::Q, kOn);
    BitBytePanelModel::readObjectOutputs(f.mem, outs);
    EXPECT_EQ(outs[0].value, 1.0);
    EXPECT_EQ(outs[1].value, 0.0);
    EXPECT_EQ(outs[2].value, 7.0);
}

TEST(WriteBack, VBeyondTheImageIsBlankAndNeverWritten) {
    Fixture f;
    auto m = panel(PanelKind::V, datatype::Word, 20, 10);  // VW1020 and on; the image ends at VB1023
    EXPECT_TRUE(m.boxInImage(1));   // VW1022
    EXPECT_FALSE(m.boxInImage(2));  // VW1024
    EXPECT_EQ(m.boxText(f.mem, 1), "00,00");
    EXPECT_EQ(m.boxText(f.mem, 2), "");
    m.markRendered();
    std::vector<std::string> texts(8, "FF,FF");
    EXPECT_TRUE(m.writeBackValues(f.mem, texts));
    EXPECT_EQ(f.mem.GetWordValue(area::V + 8 * 1022), 0xFFFF);
    EXPECT_EQ(f.mem.cell(area::Edge), 0);
    // An input bit box outside the image logs the input error.
    auto far = panel(PanelKind::V, datatype::Bit, 0, 50);
    EXPECT_FALSE(far.setInputBit(f.mem, 0, true, f.log));
    ASSERT_EQ(f.sink.lines.size(), 1u);
    EXPECT_EQ(f.sink.lines[0], "12:00:00 I输入错误");
}

TEST(InputLabels, FollowModeAndSource) {
    EXPECT_STREQ(inputModeLabel(true), "非自锁自复位");
    EXPECT_STREQ(inputModeLabel(false), "自锁乒乓按钮");
    EXPECT_STREQ(inputSourceLabel(true), "输入仿真控制");
    EXPECT_STREQ(inputSourceLabel(false), "输入手动更改");
}

// --- analog panel --------------------------------------------------------------------------

TEST(AnalogPanel, FirstChannelLabelsFollowTheRack) {
    HardwareConfig hw;
    ASSERT_EQ(hw.chooseModuleType(0, 70), RackChange::Applied);  // EM235 in M1
    hw.moduleRecord(0).inputRange = 6;
    ASSERT_EQ(hw.chooseModuleType(1, 70), RackChange::Applied);
    AnalogPanelModel m;
    m.chooseAiw(1, hw);
    EXPECT_EQ(m.inputCaption(), "AIW2 -AIW16");
    EXPECT_EQ(m.moduleLabel(), "AIO模块： 1");
    EXPECT_EQ(m.classLabel(), "双极性电压");
    m.chooseAiw(4, hw);
    EXPECT_EQ(m.moduleLabel(), "AIO模块： 2");
    EXPECT_EQ(m.classLabel(), "单极性电压");
    m.chooseAiw(8, hw);
    EXPECT_EQ(m.moduleLabel(), "不在AI模块中");
    EXPECT_EQ(m.classLabel(), "通道未指定");
    m.chooseAqw(3);
    EXPECT_EQ(m.outputCaption(), "AQW6 -AQW20");
}

TEST(AnalogPanel, ManualWriteBackOnlyAfterTheBoxesShowThePosition) {
    Fixture f;
    HardwareConfig hw;
    AnalogPanelModel m;
    m.chooseAiw(2, hw);  // AIW4
    EXPECT_TRUE(m.inputsDue(false));
    std::vector<std::string> texts(8, "0");
    texts[2] = "1234";
    texts[3] = "-100";
    EXPECT_FALSE(m.writeBack(f.mem, texts));  // not filled yet
    m.markInputsShown();
    EXPECT_FALSE(m.inputsDue(false));
    EXPECT_TRUE(m.inputsDue(true));
    ASSERT_TRUE(m.writeBack(f.mem, texts));
    EXPECT_EQ(f.mem.GetWordValue(area::AIW + 16 * 4), 1234);  // AIW8
    EXPECT_EQ(f.mem.GetWordValue(area::AIW + 16 * 5), 65436);
    EXPECT_EQ(m.inputText(f.mem, 3), "-100");
    f.mem.tobit(40000, area::AQW, 16);
    EXPECT_EQ(m.outputText(f.mem, 0), "-25536");
}

// --- timer/counter panel -------------------------------------------------------------------

TEST(TimerCounterPanel, CaptionsBitsAndValues) {
    Fixture f;
    TimerCounterPanelModel m;
    EXPECT_EQ(m.timerCaption(), "T37-T40");
    m.chooseS(1);
    EXPECT_EQ(m.sCaption(0), "S1.7-S1.0");
    EXPECT_EQ(m.sCaption(2), "S3.7-S3.0");
    f.mem.setCell(area::S + 8, kOn);  // S1.0
    EXPECT_TRUE(m.sBit(f.mem, 0));
    EXPECT_FALSE(m.sBit(f.mem, 1));
    m.chooseS(29);
    EXPECT_FALSE(m.sBit(f.mem, 23));  // S31.7 is the last S cell
    f.mem.timers()[37].Preset = 100;
    f.mem.timers()[37].Current = 37;
    EXPECT_EQ(m.timerPreset(f.mem, 0), " 100");
    EXPECT_EQ(m.timerCurrent(f.mem, 0), " 37");
    m.chooseCounter(10);
    f.mem.counters()[13].Current = -5;
    EXPECT_EQ(m.counterCaption(), "C10-C13");
    EXPECT_EQ(m.counterCurrent(f.mem, 3), "-5");
    m.chooseTimer(248);
    EXPECT_EQ(m.timerCaption(), "T248-T251");
    EXPECT_EQ(m.timerPreset(f.mem, 3), " 0");  // T251 exists
}

// The resolution row of the real-CPU mode follows the numbers of the four columns, across
// the 1 ms and 10 ms groups of both halves and the end of the timers.
TEST(TimerCounterPanel, ResolutionOfEachColumn) {
    const std::pair<int, std::array<const char*, 4>> cases[] = {
        {0, {"1 ms", "10 ms", "10 ms", "10 ms"}},      {3, {"10 ms", "10 ms", "100 ms", "100 ms"}},
        {30, {"100 ms", "100 ms", "1 ms", "10 ms"}},   {62, {"100 ms", "100 ms", "1 ms", "10 ms"}},
        {96, {"1 ms", "10 ms", "10 ms", "10 ms"}},     {99, {"10 ms", "10 ms", "100 ms", "100 ms"}},
        {126, {"100 ms", "100 ms", "100 ms", "100 ms"}}, {248, {"100 ms", "100 ms", "100 ms", "100 ms"}}};
    for (const auto& [first, texts] : cases) {
        TimerCounterPanelModel m;
        m.chooseTimer(first);
        for (int j = 0; j < 4; ++j) EXPECT_EQ(m.timerResolution(j), texts[static_cast<std::size_t>(j)]) << "T" << first + j;
    }
    TimerCounterPanelModel m;
    m.chooseTimer(253);
    EXPECT_EQ(m.timerResolution(2), "100 ms");  // T255
    EXPECT_EQ(m.timerResolution(3), "");
}

// --- front panel ---------------------------------------------------------------------------

TEST(FrontPanel, LampCaptionsAndSlotLamps) {
    EXPECT_EQ(lampCaption(10), "0 1 2 3 4 5 6 7 0 1 ");
    EXPECT_EQ(lampCaption(0), "");
    HardwareConfig hw;
    ASSERT_EQ(hw.chooseCpu(4), RackChange::Applied);  // CPU 224, 14 DI / 10 DO
    ASSERT_EQ(hw.chooseModule(0, 10), RackChange::Applied);
    const SlotLamps cpu = slotLamps(hw, 0);
    EXPECT_EQ(cpu.inputs, 14);
    EXPECT_EQ(cpu.outputs, 10);
    const SlotLamps m1 = slotLamps(hw, 1);
    EXPECT_EQ(m1.inputKey, 16);  // I2.0
    EXPECT_EQ(m1.outputOffset, 16);
    EXPECT_EQ(slotLamps(hw, 2).inputs, 0);
}

// --- recent files --------------------------------------------------------------------------

std::string recent(const SettingsStore& s, int n) { return s.value(kRecentSection, "RecentFile" + std::to_string(n)); }

TEST(RecentFiles, EmptyStoreShowsNothing) {
    MemorySettingsStore s;
    s.setValue(kRecentSection, "RecentFile2", "/x.awl");  // without RecentFile1
    RecentFiles r;
    r.load(s);
    EXPECT_TRUE(r.menuItems().empty());
}

TEST(RecentFiles, MenuSkipsRepeatsAndNumbersTheShownItems) {
    MemorySettingsStore s;
    s.setValue(kRecentSection, "RecentFile1", "/a.awl");
    s.setValue(kRecentSection, "RecentFile2", "/a.awl");
    s.setValue(kRecentSection, "RecentFile3", "/b.awl");
    RecentFiles r;
    r.load(s);
    const auto items = r.menuItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].caption, "&1 /a.awl");
    EXPECT_EQ(items[1].caption, "&2 /b.awl");
    EXPECT_EQ(items[1].path, "/b.awl");
}

TEST(RecentFiles, ExitShiftsANewPathInAndKeepsAKnownOne) {
    MemorySettingsStore s;
    for (int n = 1; n <= 9; ++n) s.setValue(kRecentSection, "RecentFile" + std::to_string(n), "/f" + std::to_string(n));
    RecentFiles r;
    r.load(s);
    r.update(s, "/f5");
    EXPECT_EQ(recent(s, 1), "/f1");
    r.update(s, "");
    EXPECT_EQ(recent(s, 1), "/f1");
    r.update(s, "/new.awl");
    EXPECT_EQ(recent(s, 1), "/new.awl");
    EXPECT_EQ(recent(s, 2), "/f1");
    EXPECT_EQ(recent(s, 9), "/f8");  // the old ninth entry is overwritten
    EXPECT_EQ(recent(s, 10), "");
}

// --- program status view ---------------------------------------------------------------------

struct StatusTextCase {
    int kind;
    double value;
    std::optional<std::string> text;
};

class StatusValueTexts : public ::testing::TestWithParam<StatusTextCase> {};

TEST_P(StatusValueTexts, FollowTheKind) {
    const StatusTextCase& c = GetParam();
    EXPECT_EQ(statusValueText(c.kind, c.value), c.text) << "kind " << c.kind << " value " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusValueTexts,
    ::testing::Values(StatusTextCase{0, 0, "OFF"}, StatusTextCase{0, -1, "ON"}, StatusTextCase{0, 1, "ON"},
                      StatusTextCase{1, 255, " 255"}, StatusTextCase{1, 0, " 0"},
                      // Words: decimal as read, the full unsigned range.
                      StatusTextCase{2, 1234, " 1234"}, StatusTextCase{2, 65535, " 65535"},
                      StatusTextCase{3, 4294967295.0, " 4294967295"}, StatusTextCase{5, -32768, "-32768"},
                      StatusTextCase{5, 12.4, " 12"}, StatusTextCase{6, -2147483648.0, "-2147483648"},
                      StatusTextCase{7, 3.14159, "3.1416"}, StatusTextCase{7, -2, "-2.0000"},
                      StatusTextCase{7, 0.5, "0.5000"},
                      // Kinds without a text leave their cell alone.
                      StatusTextCase{4, 1, std::nullopt}, StatusTextCase{8, 1, std::nullopt},
                      StatusTextCase{-1, 1, std::nullopt}));

}  // namespace
