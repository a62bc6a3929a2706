// Sequence control relays: segments, transitions, conditional segment end.
#include <gtest/gtest.h>

#include "flow_test_rig.h"

using namespace flowtest;

namespace {

class SegmentPowerFlow : public ::testing::TestWithParam<bool> {};

TEST_P(SegmentPowerFlow, FollowsTheSegmentsSBit) {
    const bool active = GetParam();
    Rig r;
    r.load(ob({{"LSCR", {S(0, 1)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 0)}}, {"Network", {k(2)}}, {"=", {Q(0, 1)}},
               {"SCRE"}, {"Network", {k(3)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 2)}}}));
    r.set(Sbit(0, 1), active);
    r.pass();
    EXPECT_EQ(r.on(Qbit(0, 0)), active);
    EXPECT_EQ(r.on(Qbit(0, 1)), active);  // a Network inside the segment starts with its S bit
    EXPECT_TRUE(r.on(Qbit(0, 2)));        // after SCRE the program runs as usual
    EXPECT_EQ(r.cpu.scr.active, 0);
}

INSTANTIATE_TEST_SUITE_P(SBit, SegmentPowerFlow, ::testing::Bool());

Source twoSteps() {
    return ob({{"LSCR", {S(0, 1)}}, {"LD", {SM(0, 0)}}, {"SCRT", {S(0, 2)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 0)}},
               {"SCRE"}, {"LSCR", {S(0, 2)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 1)}}, {"SCRE"}});
}

TEST(Scrt, InsideASegmentMovesToTheNextStepAndTheSegmentFinishesThisPass) {
    Rig r;
    r.load(twoSteps());
    r.set(Sbit(0, 1), true);
    r.pass();
    EXPECT_FALSE(r.on(Sbit(0, 1)));
    EXPECT_TRUE(r.on(Sbit(0, 2)));
    EXPECT_TRUE(r.on(Qbit(0, 0)));  // the rest of S0.1's segment still ran
    EXPECT_TRUE(r.on(Qbit(0, 1)));  // S0.2's segment follows in the same pass
    const CodeLine& scrt = r.prog.CodeTable[static_cast<std::size_t>(r.lineOf("SCRT"))];
    EXPECT_EQ(r.prog.runStatusOf(scrt).StatusValue[0], kOn);
    r.pass();
    EXPECT_FALSE(r.on(Qbit(0, 0)));
    EXPECT_TRUE(r.on(Qbit(0, 1)));
}

TEST(Scrt, WithoutPowerFlowChangesNothing) {
    Rig r;
    Source src = twoSteps();
    src[4] = {"LD", {I(0, 1)}};  // the LD before SCRT
    r.load(src);
    r.set(Sbit(0, 1), true);
    r.pass();
    EXPECT_TRUE(r.on(Sbit(0, 1)));
    EXPECT_FALSE(r.on(Sbit(0, 2)));
}

TEST(Scrt, OutsideAnySegmentIsIgnored) {
    // No segment's S bit to clear: the input I0.0 and the target stay as they are.
    Rig r;
    r.load(ob({{"LD", {SM(0, 0)}}, {"SCRT", {S(0, 2)}}}));
    r.set(Ibit(0, 0), true);
    r.pass();
    EXPECT_TRUE(r.on(Ibit(0, 0)));
    EXPECT_FALSE(r.on(Sbit(0, 2)));
    EXPECT_TRUE(r.sink.lines.empty());
}

TEST(Cscre, SkipsTheRestOfTheSegmentButNotItsEnd) {
    Rig r;
    r.load(ob({{"LSCR", {S(0, 1)}}, {"LD", {SM(0, 0)}}, {"CSCRE"}, {"LD", {SM(0, 0)}}, {"S", {Q(0, 0), k(1)}},
               {"Network", {k(2)}}, {"LD", {SM(0, 0)}}, {"SCRT", {S(0, 2)}}, {"SCRE"}, {"Network", {k(3)}},
               {"LD", {SM(0, 0)}}, {"=", {Q(0, 2)}}}));
    r.set(Sbit(0, 1), true);
    r.pass();
    EXPECT_FALSE(r.on(Qbit(0, 0)));
    EXPECT_TRUE(r.on(Sbit(0, 1)));  // the skipped SCRT did not run
    EXPECT_FALSE(r.on(Sbit(0, 2)));
    EXPECT_TRUE(r.on(Qbit(0, 2)));
    EXPECT_EQ(r.cpu.scr.skip, 0);
}

TEST(Cscre, WithoutPowerFlowSkipsNothing) {
    Rig r;
    r.load(ob({{"LSCR", {S(0, 1)}}, {"LD", {I(0, 1)}}, {"CSCRE"}, {"LD", {SM(0, 0)}}, {"S", {Q(0, 0), k(1)}}, {"SCRE"}}));
    r.set(Sbit(0, 1), true);
    r.pass();
    EXPECT_TRUE(r.on(Qbit(0, 0)));
}

}  // namespace
