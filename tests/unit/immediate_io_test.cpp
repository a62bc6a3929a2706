// Immediate I/O against the terminal layer: immediate contacts and BIR read the inputs as the
// front end, a force or the last input transfer holds them at that moment, never the I
// image; =I, SI, RI and BIW write the Q image and hand the outputs on before the pass ends.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "stl_rig.h"

using namespace korvane;
using namespace korvane::stltest;

namespace {

struct ContactCase {
    const char* name;
    std::string program;
    bool terminal;  // I0.0 on its terminal
    bool image;     // I0.0 in the image
    int qb0;
    friend void PrintTo(const ContactCase& c, std::ostream* os) { *os << c.name; }
};

class ImmediateContacts : public ::testing::TestWithParam<ContactCase> {};

TEST_P(ImmediateContacts, ReadTheTerminalAndLeaveTheImage) {
    const ContactCase& c = GetParam();
    StlProgram p(c.program);
    p.views.switches[0] = c.terminal;
    p.set(I(0, 0), c.image);
    p.pass();
    EXPECT_EQ(p.byte(QB(0)), c.qb0);
    EXPECT_EQ(p.bit(I(0, 0)), c.image && c.program.find("R      I0.0") == std::string::npos);
    EXPECT_TRUE(p.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, ImmediateContacts,
    ::testing::Values(
        ContactCase{"LdiOn", "LDI    I0.0\n=      Q0.0\n", true, false, 1},
        ContactCase{"LdiOff", "LDI    I0.0\n=      Q0.0\n", false, true, 0},
        ContactCase{"Ldni", "LDNI   I0.0\n=      Q0.0\n", true, false, 0},
        ContactCase{"Ai", "LD     SM0.0\nAI     I0.0\n=      Q0.0\n", true, false, 1},
        ContactCase{"Ani", "LD     SM0.0\nANI    I0.0\n=      Q0.0\n", false, true, 1},
        ContactCase{"Oi", "LDN    SM0.0\nOI     I0.0\n=      Q0.0\n", true, false, 1},
        ContactCase{"Oni", "LDN    SM0.0\nONI    I0.0\n=      Q0.0\n", false, true, 1},
        ContactCase{"TheOrdinaryContactReadsTheImage", "LD     I0.0\n=      Q0.0\n", true, false, 0},
        // The program resets the image; the terminal is still on.
        ContactCase{"AfterTheProgramResetTheImage", "LD     SM0.0\nR      I0.0, 1\nLD     I0.0\n=      Q0.0\nLDI    I0.0\n=      Q0.1\n",
                    true, true, 2}),
    CaseName());

TEST(ImmediateContacts, TheImageBitIsNotUpdatedAndTheStatusShowsTheTerminal) {
    StlProgram p("LDI    I0.0\n=      Q0.0\nLDNI   I0.1\n=      Q0.1\n");
    p.views.switches[0] = true;
    p.views.switches[1] = true;
    p.pass();
    EXPECT_FALSE(p.bit(I(0, 0)));
    EXPECT_FALSE(p.bit(I(0, 1)));
    EXPECT_EQ(p.sim.program.runStatusOf(p.line("LDI    I0.0")).StatusValue[0], kOn);
    EXPECT_EQ(p.sim.program.runStatusOf(p.line("LDNI   I0.1")).StatusValue[0], kOn);
    EXPECT_EQ(p.byte(QB(0)), 1);
}

// Where the terminal value comes from, in the scan: a force wins, then the front end, then
// the value the last input phase transferred (an input the front end does not hold).
struct SourceCase {
    const char* name;
    std::optional<bool> frontEnd;
    const char* forced;  // the forced value of I0.0, or nullptr
    bool imageBeforeTheTick;
    bool read;
    friend void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }
};

class TerminalSources : public ::testing::TestWithParam<SourceCase> {};

TEST_P(TerminalSources, ForceThenFrontEndThenTheLastTransfer) {
    const SourceCase& c = GetParam();
    // The program resets the image before it reads: only the terminal can be on.
    StlProgram p("LD     SM0.0\nR      I0.0, 1\nLDI    I0.0\n=      Q0.0\n");
    p.views.switches[0] = c.frontEnd;
    if (c.forced) {
        StatusTable& t = p.sim.statusTable;
        t.setAddress(0, "I0.0");
        ASSERT_EQ(t.enterNewValue(0, c.forced), StatusTable::NewValue::Stored);
        t.force(0);
    }
    p.sim.scan.continuousRun();
    p.set(I(0, 0), c.imageBeforeTheTick);
    p.clock.advanceBy(50);
    EXPECT_EQ(p.bit(Q(0, 0)), c.read);
}

INSTANTIATE_TEST_SUITE_P(Sources, TerminalSources,
                         ::testing::Values(SourceCase{"FrontEndOn", true, nullptr, false, true},
                                           SourceCase{"FrontEndOff", false, nullptr, true, false},
                                           SourceCase{"ForcedOnOverTheFrontEnd", false, "1", false, true},
                                           SourceCase{"ForcedOffOverTheFrontEnd", true, "0", true, false},
                                           SourceCase{"NotHeldTheLastTransferCounts", std::nullopt, nullptr, true, true},
                                           SourceCase{"NotHeldAndOff", std::nullopt, nullptr, false, false}),
                         CaseName());

// --- immediate writes ------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::string program;
    std::vector<std::pair<int, int>> before;  // byte key, value
    std::vector<std::pair<int, int>> after;
    bool handedOn;  // the outputs went to the terminals during the pass
    friend void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }
};

class ImmediateWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ImmediateWrites, SetTheImageAndReachTheOutputsBeforeThePassEnds) {
    const WriteCase& c = GetParam();
    StlProgram p(c.program);
    for (const auto& [key, v] : c.before) p.setByte(key, v);
    p.pass();  // a pass outside the scan: no output phase follows it
    for (const auto& [key, v] : c.after) EXPECT_EQ(p.byte(key), v) << key;
    ASSERT_EQ(!p.views.outputsShown.empty(), c.handedOn);
    if (c.handedOn) {
        EXPECT_EQ(p.views.outputsShown.back(), (std::array<int, 2>{p.byte(QB(0)), p.byte(QB(1))}));
    }
    EXPECT_TRUE(p.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Writes, ImmediateWrites,
    ::testing::Values(
        WriteCase{"AssignImmediate", "LD     SM0.0\n=I     Q0.3\n", {}, {{QB(0), 0x08}}, true},
        WriteCase{"AssignImmediateWritesOffToo", "LDN    SM0.0\n=I     Q0.3\n", {{QB(0), 0xFF}}, {{QB(0), 0xF7}}, true},
        WriteCase{"SetImmediateThree", "LD     SM0.0\nSI     Q0.0, 3\n", {}, {{QB(0), 0x07}}, true},
        WriteCase{"ResetImmediateAcrossBytes", "LD     SM0.0\nRI     Q0.6, 4\n", {{QB(0), 0xFF}, {QB(1), 0xFF}},
                  {{QB(0), 0x3F}, {QB(1), 0xFC}}, true},
        WriteCase{"SetImmediateCountFromMemory", "LD     SM0.0\nSI     Q1.0, VB3\n", {{VB(3), 2}}, {{QB(1), 0x03}}, true},
        WriteCase{"TheRunStaysInsideQ", "LD     SM0.0\nSI     Q15.6, 5\n", {}, {{QB(15), 0xC0}, {area::M, 0}}, true},
        WriteCase{"SetImmediateWithoutPowerFlow", "LDN    SM0.0\nSI     Q0.0, 3\n", {}, {{QB(0), 0}}, false},
        WriteCase{"ByteWriteImmediate", "LD     SM0.0\nBIW    16#3C, QB0\n", {}, {{QB(0), 0x3C}}, true},
        WriteCase{"ByteWriteFromMemory", "LD     SM0.0\nBIW    VB10, QB1\n", {{VB(10), 0x81}}, {{QB(1), 0x81}, {VB(10), 0x81}}, true},
        WriteCase{"ByteWriteWithoutPowerFlow", "LDN    SM0.0\nBIW    16#3C, QB0\n", {}, {{QB(0), 0}}, false},
        WriteCase{"TheOrdinaryCoilWaitsForTheOutputPhase", "LD     SM0.0\n=      Q0.3\n", {}, {{QB(0), 0x08}}, false}),
    CaseName());

TEST(ImmediateWrites, AForcedOutputKeepsItsForcedValueOnTheTerminal) {
    StlProgram p("LD     SM0.0\n=I     Q0.0\n=I     Q0.1\n");
    StatusTable& t = p.sim.statusTable;
    t.setAddress(0, "Q0.0");
    ASSERT_EQ(t.enterNewValue(0, "0"), StatusTable::NewValue::Stored);
    t.force(0);
    p.pass();
    ASSERT_FALSE(p.views.outputsShown.empty());
    EXPECT_EQ(p.views.outputsShown.back()[0], 0x02);
}

TEST(ImmediateWrites, SiAndRiShowTheirBitAndCount) {
    StlProgram p("LD     SM0.0\nSI     Q15.6, 5\nLDN    SM0.0\nRI     Q0.0, 3\n");
    p.pass();
    const CodeLine& si = p.line("SI     Q15.6, 5");
    EXPECT_EQ(p.sim.program.runStatusOf(si).StatusValue[0], kOn);
    EXPECT_EQ(p.sim.program.runStatusOf(si).StatusValue[1], 2) << "the run as cut at the end of Q";
    EXPECT_EQ(p.sim.program.runStatusOf(p.line("RI     Q0.0, 3")).StatusValue[1], 3) << "not executed: the count as written";
}

// --- BIR -------------------------------------------------------------------------------------

TEST(ByteReadImmediate, TakesTheTerminalsAndLeavesTheImage) {
    StlProgram p("LD     SM0.0\nBIR    IB0, VB10\nLD     SM0.0\nBIR    IB1, AC0\nMOVB   AC0, VB11\n");
    for (int b = 0; b < 8; ++b) p.views.switches[static_cast<std::size_t>(b)] = ((0xA5 >> b) & 1) != 0;
    p.views.switches[9] = true;
    p.pass();
    EXPECT_EQ(p.byte(VB(10)), 0xA5);
    EXPECT_EQ(p.byte(IB(0)), 0) << "the I image is not updated";
    EXPECT_EQ(p.byte(VB(11)), 0x02);
    const CodeLine& bir = p.line("BIR    IB0, VB10");
    EXPECT_EQ(p.sim.program.runStatusOf(bir).StatusValue[0], 0xA5);
    EXPECT_EQ(p.sim.program.runStatusOf(bir).StatusValue[1], 0xA5);
    EXPECT_EQ(p.sim.program.runStatusOf(bir).StatusKind[0], 1);
}

// --- operands that name no terminal ------------------------------------------------------------

TEST(ImmediateOperands, OnlyInputsAndOutputsAreTerminalsAnythingElseIsFoundAndDoesNothing) {
    StlProgram p("LD     SM0.0\n=      M0.0\nLDI    M0.0\n=      Q0.0\nLD     SM0.0\n=I     M1.0\nSI     V0.0, 1\n"
                 "BIR    VB0, VB1\nBIW    16#FF, VB2\nLDI    Q0.0\n=      Q0.1\nLDI    I0.0\n=I     Q0.2\n");
    std::vector<std::pair<int, FindingKind>> got;
    for (const Finding& f : p.sim.findings()) got.emplace_back(f.fileLine, f.kind);
    using K = FindingKind;
    EXPECT_EQ(got, (std::vector<std::pair<int, FindingKind>>{
                       {6, K::WrongType}, {9, K::WrongType}, {10, K::WrongType}, {11, K::WrongType}, {12, K::WrongType},
                       {13, K::WrongType}}));
    p.views.switches[0] = true;
    p.setByte(VB(0), 0x5A);
    p.pass();
    EXPECT_FALSE(p.bit(Q(0, 0))) << "LDI M0.0 reads off";
    EXPECT_FALSE(p.bit(area::M + 8)) << "=I M1.0 writes nothing";
    EXPECT_EQ(p.byte(VB(0)), 0x5A) << "SI V0.0 writes nothing";
    EXPECT_EQ(p.byte(VB(1)), 0);
    EXPECT_EQ(p.byte(VB(2)), 0);
    EXPECT_TRUE(p.bit(Q(0, 2))) << "the lines that name terminals still run";
}

}  // namespace
