#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "hardware/analog_settings.h"

using namespace korvane;

namespace {

CatalogueEntry moduleOfType(int type) { return moduleCatalogue()[moduleIndexOfType(type)]; }

TEST(AnalogSettings, NewEm235OpensWithTenVoltsAndTwentyMilliamps) {
    const auto f = AnalogSettingsForm::open(1, moduleOfType(70));
    EXPECT_EQ(f.caption, "EM235 4AI/1AO设置");
    ASSERT_EQ(f.inputList.size(), 15u);
    EXPECT_EQ(f.inputList[f.inputSelected].text, "0V~10V单极性");
    EXPECT_EQ(f.inputList[10].text, "-250mV~250mV双极性");
    EXPECT_EQ(f.outputList[f.outputSelected].text, "0mA~20mA电流");
    EXPECT_EQ(f.group, SwitchGroup::None);
    EXPECT_TRUE(f.switches.empty());
}

TEST(AnalogSettings, ResistanceThermometerListHoldsTwentyCodedEntries) {
    const auto& l = resistanceThermometerList();
    ASSERT_EQ(l.size(), 20u);
    EXPECT_EQ(l[0], (RangeEntry{101, "Pt100,0.003850"}));
    EXPECT_EQ(l[5], (RangeEntry{106, "Pt200,0.003920"}));
    EXPECT_EQ(l[19], (RangeEntry{120, "Pt1000,0.003902"}));
    auto slot = moduleOfType(52);
    auto f = AnalogSettingsForm::open(0, slot);
    EXPECT_EQ(f.inputSelected, 0);  // the stored 0 is not in the list
    f.inputSelected = 5;
    f.switches[1].checked = true;  // SW7
    f.close(slot);
    EXPECT_EQ(slot.inputRange, 106);
    EXPECT_EQ(slot.outputRange, -1);
    EXPECT_EQ(slot.switchC, -1);
    EXPECT_EQ(slot.switchA, 0);
    const auto again = AnalogSettingsForm::open(0, slot);
    EXPECT_EQ(again.inputSelected, 5);
    EXPECT_TRUE(again.switches[1].checked);
}

TEST(AnalogSettings, ThermocoupleSwitchesStoreIntoTheirFields) {
    auto slot = moduleOfType(55);
    auto f = AnalogSettingsForm::open(3, slot);
    EXPECT_EQ(f.groupTitle, "热电偶设置，选中为1");
    ASSERT_EQ(f.switches.size(), 4u);
    EXPECT_EQ(f.switches[1].caption, "SW6，断线检测，0使能断线检测，1禁止断线检测");
    EXPECT_EQ(f.inputList.front(), (RangeEntry{201, "J型热电偶"}));
    EXPECT_EQ(f.inputList.back(), (RangeEntry{208, "-80mV_80mV热电偶"}));
    for (auto& s : f.switches) s.checked = true;
    f.switches[0].checked = false;
    f.close(slot);
    EXPECT_EQ(slot.inputRange, 201);
    EXPECT_EQ(slot.switchA, 0);
    EXPECT_EQ(slot.switchB, -1);
    EXPECT_EQ(slot.switchC, -1);
    EXPECT_EQ(slot.switchD, -1);
    EXPECT_EQ(slot.switchE, 0);
}

TEST(AnalogSettings, OutputModuleStoresNoInputAndClearsSwitches) {
    auto slot = moduleOfType(61);
    slot.switchC = -1;
    const auto f = AnalogSettingsForm::open(0, slot);
    EXPECT_EQ(f.inputList, (std::vector<RangeEntry>{{-1, "没有输入"}}));
    EXPECT_EQ(f.outputList[f.outputSelected].code, 14);
    EXPECT_EQ(f.outputList[0].text, "-10V~10V输出双极性");
    f.close(slot);
    EXPECT_EQ(slot.inputRange, -1);
    EXPECT_EQ(slot.outputRange, 14);
    EXPECT_EQ(slot.switchC, 0);
}

TEST(AnalogSettings, InputModuleWithUnknownCodeShowsItsLastEntry) {
    auto slot = moduleOfType(50);
    slot.inputRange = 3;  // not offered by the EM232 4AI
    const auto f = AnalogSettingsForm::open(0, slot);
    EXPECT_EQ(f.inputList[f.inputSelected], (RangeEntry{14, "0~20mA电流"}));
    EXPECT_EQ(f.inputList[3].text, "-2.5V~2.5V双极性");
    EXPECT_EQ(f.outputList, (std::vector<RangeEntry>{{-1, "没有输出"}}));
}

struct ClassCase {
    int code;
    const char* text;  // nullptr: the label stays as it was
};
class SignalClass : public ::testing::TestWithParam<ClassCase> {};
TEST_P(SignalClass, FollowsTheInputRangeCode) {
    const auto got = signalClassOf(GetParam().code);
    if (!GetParam().text) {
        EXPECT_FALSE(got.has_value());
    } else {
        EXPECT_EQ(got.value_or("?"), GetParam().text);
    }
}
INSTANTIATE_TEST_SUITE_P(Codes, SignalClass,
                         ::testing::Values(ClassCase{0, "单极性电压"}, ClassCase{5, "单极性电压"},
                                           ClassCase{6, "双极性电压"}, ClassCase{13, "双极性电压"},
                                           ClassCase{14, "单极性0-20mA电流"}, ClassCase{15, nullptr},
                                           ClassCase{99, nullptr}, ClassCase{106, "双极性热电阻"},
                                           ClassCase{199, "双极性热电阻"}, ClassCase{200, "双极性热电偶"},
                                           ClassCase{208, "双极性热电偶"}));

struct MaCase {
    double in;
    double out;
};
class MilliampsIn : public ::testing::TestWithParam<MaCase> {};
TEST_P(MilliampsIn, ScaleToTheRawWordWithinLimits) {
    EXPECT_EQ(milliampsToRaw(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Values, MilliampsIn,
                         ::testing::Values(MaCase{4, 6400}, MaCase{12, 19200}, MaCase{20, 32000}, MaCase{2, 6400},
                                           MaCase{25, 32000}, MaCase{4.0003125, 6400}, MaCase{4.0009375, 6402},
                                           MaCase{std::nan(""), 6400}));

class MilliampsOut : public ::testing::TestWithParam<MaCase> {};
TEST_P(MilliampsOut, ScaleFromTheOutputWord) { EXPECT_DOUBLE_EQ(rawToMilliamps(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(Values, MilliampsOut,
                         ::testing::Values(MaCase{32000, 20}, MaCase{6400, 4}, MaCase{0, 4}, MaCase{19200, 12},
                                           MaCase{65535, 40.959375}));

}  // namespace
