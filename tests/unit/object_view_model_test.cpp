// The object I/O view's texts: hexadecimal bytes, the cut analog texts, the module and
// address columns, and the rows of a described object on a real rack.
#include <gtest/gtest.h>

#include "objectlink/object_view_model.h"
#include "platform/fake_object_server.h"

using namespace korvane;
using namespace korvane::objectview;

namespace {

TEST(ObjectViewTexts, HexByteOfPointsZeroAndThreeIsNine) {
    std::array<ObjectPoint, 64> pts{};
    pts[0].value = 1;
    pts[3].value = 1;
    EXPECT_EQ(hexByteText(pts, 0), "9");
    EXPECT_EQ(hexByteText(pts, 1), "0");
    for (int b : {8, 10, 13, 15}) pts[static_cast<std::size_t>(b)].value = 1;
    EXPECT_EQ(hexByteText(pts, 1), "A5");
    for (int b = 56; b < 64; ++b) pts[static_cast<std::size_t>(b)].value = 1;
    EXPECT_EQ(hexByteText(pts, 7), "FF");
}

struct AnalogText {
    double v;
    const char* field;
    const char* cell;
};
class ObjectViewAnalog : public ::testing::TestWithParam<AnalogText> {};

TEST_P(ObjectViewAnalog, FieldsCutToThreeDecimalsAboveFourAndCellsToFourAboveFive) {
    EXPECT_EQ(analogFieldText(GetParam().v), GetParam().field);
    ObjectPoint p;
    p.slot = 1;
    p.indexInSlot = 0;
    p.address = 0;
    p.value = GetParam().v;
    EXPECT_EQ(gridValueText(PointKind::AI, p), GetParam().cell);
}

INSTANTIATE_TEST_SUITE_P(Values, ObjectViewAnalog,
                         ::testing::Values(AnalogText{4.0625, "4.0625", " 4.0625"}, AnalogText{4.03125, "4.031", " 4.03125"},
                                           AnalogText{12.5, "12.5", " 12.5"}, AnalogText{20.4793758, "20.479", " 20.4793"},
                                           AnalogText{4.000625, "4.000", " 4.0006"}, AnalogText{4, "4", " 4"},
                                           AnalogText{0, "0", " 0"},
                                           AnalogText{static_cast<double>(12.3f), "12.300", " 12.3000"}));

TEST(ObjectViewTexts, DigitalCellsAndUnassignedPoints) {
    ObjectPoint on{"", 1, 0, 0, 5};
    ObjectPoint off{"", 0, 0, 1, 6};
    ObjectPoint none;
    none.value = 1;
    EXPECT_EQ(gridValueText(PointKind::DI, on), " 1");
    EXPECT_EQ(gridValueText(PointKind::DO, off), " 0");
    EXPECT_EQ(gridValueText(PointKind::DI, none), "");
    EXPECT_EQ(gridValueText(PointKind::AO, none), "");
    EXPECT_EQ(moduleText(PointKind::DI, none), "不存在");
    EXPECT_EQ(addressText(PointKind::DI, none), "");
    EXPECT_TRUE(unassignable(none));
    EXPECT_FALSE(unassignable(on));
}

struct Placed {
    PointKind kind;
    ObjectPoint p;
    const char* module;
    const char* address;
};
class ObjectViewColumns : public ::testing::TestWithParam<Placed> {};

TEST_P(ObjectViewColumns, ModuleAndAddressColumns) {
    EXPECT_EQ(moduleText(GetParam().kind, GetParam().p), GetParam().module);
    EXPECT_EQ(addressText(GetParam().kind, GetParam().p), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Points, ObjectViewColumns,
                         ::testing::Values(Placed{PointKind::DI, {"", 0, 0, 13, 13}, "CPU集成", "I1.5"},
                                           Placed{PointKind::DI, {"", 0, 1, 0, 16}, "模块1", "I2.0"},
                                           Placed{PointKind::DO, {"", 0, 2, 3, 19}, "IO模块2", "Q2.3"},
                                           Placed{PointKind::AI, {"", 0, 3, 1, 10}, "IO模块3", "AIW10"},
                                           Placed{PointKind::AO, {"", 0, 1, 0, 0}, "IO模块1", "AQW0"}));

TEST(ObjectViewRows, SixteenInSixteenOutTwoAiOneAoOnCpu224WithAnEightPointModule) {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem;
    HardwareConfig rack;
    ASSERT_EQ(rack.chooseCpu(4), RackChange::Applied);
    ASSERT_EQ(rack.chooseModule(0, 10), RackChange::Applied);  // EM223 8DioDC
    FakeObjectServer server;
    ObjectLink link(server, mem, rack, log, nullptr);
    link.start();
    ASSERT_TRUE(server.peerConnects());
    Bytes m{1, 1, 1, 2, 0, 0, 0, 1, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 2, 0, 0, 0, 1};
    server.peerSends(m);
    const std::vector<Row> r = rows(link);
    ASSERT_EQ(r.size() + 1, 36u);  // with the header row
    auto at = [&](std::size_t i) -> const ObjectPoint& {
        return link.points(r[i].kind)[static_cast<std::size_t>(r[i].index)];
    };
    for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(moduleText(r[i].kind, at(i)), "CPU集成") << i;
    EXPECT_EQ(addressText(r[0].kind, at(0)), "I0.0");
    EXPECT_EQ(addressText(r[13].kind, at(13)), "I1.5");
    EXPECT_EQ(moduleText(r[14].kind, at(14)), "模块1");
    EXPECT_EQ(addressText(r[14].kind, at(14)), "I2.0");
    EXPECT_EQ(addressText(r[15].kind, at(15)), "I2.1");
    EXPECT_EQ(r[16].kind, PointKind::AI);
    EXPECT_EQ(moduleText(r[16].kind, at(16)), "不存在");
    EXPECT_EQ(moduleText(r[17].kind, at(17)), "不存在");
    EXPECT_EQ(r[18].kind, PointKind::DO);
    EXPECT_EQ(moduleText(r[28].kind, at(28)), "IO模块1");  // DO 10 is Q2.0
    EXPECT_EQ(addressText(r[28].kind, at(28)), "Q2.0");
    EXPECT_EQ(r[34].kind, PointKind::AO);
    EXPECT_EQ(moduleText(r[34].kind, at(34)), "不存在");
    EXPECT_EQ(countText(link.count(PointKind::DI)), " 16");
}

}  // namespace
