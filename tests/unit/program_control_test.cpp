// Program control as exported programs use it: FOR/NEXT loops, END and MEND, STOP in the
// main program and in an interrupt routine, WDR against the runaway-pass guard, GERR with
// the non-fatal error code, DLED and its lamp, and the loops the program check reports.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "stl_rig.h"

using namespace korvane;
using namespace korvane::stltest;

namespace {

// A loop in its own networks, as MicroWIN exports it: FOR, the body, NEXT.
std::string loop(const std::string& forLine, const std::string& body) {
    return "LD     SM0.0\n" + forLine + "\nNetwork 2\n" + body + "Network 3\nNEXT\n";
}
const std::string kCount = "LD     SM0.0\n+I     1, VW0\n";

struct LoopCase {
    const char* name;
    std::string program;
    std::vector<std::pair<int, int>> presetWords;  // V byte, INT
    int runsPerPass;                                // body executions (VW0 after one pass)
    int indx;                                       // VW100 afterwards
    friend void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }
};

class ForNext : public ::testing::TestWithParam<LoopCase> {};

TEST_P(ForNext, RunsTheBodyFromInitToFinalAndStartsOverEveryPass) {
    const LoopCase& c = GetParam();
    StlProgram p(c.program);
    for (const auto& [v, value] : c.presetWords) p.setWord(area::V + 8 * v, value);
    p.pass();
    EXPECT_EQ(p.word(0), c.runsPerPass);
    EXPECT_EQ(p.word(100), c.indx);
    p.pass();
    EXPECT_EQ(p.word(0), 2 * c.runsPerPass) << "the loop starts over from INIT in the next pass";
    EXPECT_EQ(p.word(100), c.indx);
    EXPECT_TRUE(p.sink.lines.empty()) << p.sink.lines.front();
    EXPECT_EQ(p.sim.interpreter.scanCounter, 2);
}

std::string nested(int depth) {
    std::string s = "LD     SM0.0\n";
    for (int d = 0; d < depth; ++d) s += "FOR    VW" + std::to_string(200 + 2 * d) + ", 1, 2\n";
    s += kCount;
    for (int d = 0; d < depth; ++d) s += "NEXT\n";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Loops, ForNext,
    ::testing::Values(
        LoopCase{"OneToTen", loop("FOR    VW100, 1, 10", kCount), {}, 10, 11},
        LoopCase{"ZeroToTen", loop("FOR    VW100, 0, 10", kCount), {}, 11, 11},
        LoopCase{"InitAboveFinalRunsNothingButSetsIndx", loop("FOR    VW100, 5, 3", kCount), {}, 0, 5},
        LoopCase{"InitEqualToFinalRunsOnce", loop("FOR    VW100, 7, 7", kCount), {}, 1, 8},
        LoopCase{"Nested", "LD     SM0.0\nFOR    VW100, 1, 3\nNetwork 2\nLD     SM0.0\nFOR    VW102, 1, 4\nNetwork 3\n" + kCount +
                               "Network 4\nNEXT\nNetwork 5\nNEXT\n",
                 {}, 12, 4},
        LoopCase{"FinalChangedInsideTakesEffect", loop("FOR    VW100, 1, VW110", kCount + "MOVW   3, VW110\n"), {{110, 10}}, 3, 4},
        LoopCase{"IndxChangedInsideTakesEffect", loop("FOR    VW100, 1, 10", kCount + "LDW=   VW100, 1\nMOVW   8, VW100\n"), {}, 3, 11},
        LoopCase{"BoundsAreSigned", loop("FOR    VW100, VW110, VW112", kCount), {{110, -2}, {112, 1}}, 4, 2},
        LoopCase{"ANegativeFinalIsBelowZero", loop("FOR    VW100, 0, VW112", kCount), {{112, -1}}, 0, 0},
        LoopCase{"WithoutPowerFlowNothingRunsNorIsWritten",
                 "LDN    SM0.0\nFOR    VW100, 1, 10\nNetwork 2\n" + kCount + "Network 3\nNEXT\n", {{100, 77}}, 0, 77},
        LoopCase{"AForWithoutNextDoesNothing", "LD     SM0.0\nFOR    VW100, 1, 10\nNetwork 2\n" + kCount, {{100, 77}}, 1, 77},
        LoopCase{"EightDeepRunAll", nested(8), {}, 256, 0},
        LoopCase{"TheNinthLevelDoesNothing", nested(9), {}, 256, 0}),
    CaseName());

TEST(ForNext, TheBoxShowsIndxInitAndFinalAndTheLogicResultIsOnAfterTheLoop) {
    // The body leaves the logic result off; after NEXT it is on again.
    StlProgram p("LD     SM0.0\nFOR    VW100, 1, 10\nNetwork 2\nLDN    SM0.0\n=      Q0.1\nNetwork 3\nNEXT\n=      Q0.0\n");
    p.pass();
    const CodeLine& box = p.line("FOR    VW100, 1, 10");
    EXPECT_EQ(p.sim.program.runStatusOf(box).StatusValue, (std::array<double, 3>{11, 1, 10}));
    EXPECT_EQ(p.sim.program.runStatusOf(box).StatusKind, (std::array<std::int8_t, 3>{5, 5, 5}));
    EXPECT_TRUE(p.bit(Q(0, 0)));
    EXPECT_FALSE(p.bit(Q(0, 1)));
}

// --- END and MEND ----------------------------------------------------------------------------

struct EndCase {
    const char* name;
    std::string main;
    std::string blocks;
    bool input;      // I0.0
    bool q00;        // Q0.0 after two passes
    int loggedOnce;  // lines logged for a misplaced END
    friend void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }
};

class EndOfMain : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndOfMain, EndsThePassOnlyInTheMainProgram) {
    const EndCase& c = GetParam();
    StlProgram p(c.main, c.blocks);
    p.set(I(0, 0), c.input);
    p.pass();
    p.pass();
    EXPECT_EQ(p.bit(Q(0, 0)), c.q00);
    EXPECT_EQ(p.sim.interpreter.scanCounter, 2) << "an ended pass is a completed pass";
    EXPECT_EQ(static_cast<int>(p.sink.lines.size()), c.loggedOnce);
    if (c.loggedOnce) {
        EXPECT_EQ(p.sink.lines[0].substr(0, 12), "12:00:00 END");
    }
}

const std::string kAfterEnd = "Network 2\nLD     SM0.0\n=      Q0.0\n";
const std::string kSbrWithEnd =
    "SUBROUTINE_BLOCK SBR_0:SBR0\nBEGIN\nNetwork 1\nLD     SM0.0\nEND\n=      Q0.0\nEND_SUBROUTINE_BLOCK\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, EndOfMain,
    ::testing::Values(EndCase{"EndWithPowerFlowSkipsTheRest", "LD     I0.0\nEND\n" + kAfterEnd, "", true, false, 0},
                      EndCase{"EndWithoutPowerFlowDoesNothing", "LD     I0.0\nEND\n" + kAfterEnd, "", false, true, 0},
                      EndCase{"MendEndsWhateverThePowerFlow", "LD     I0.0\nMEND\n" + kAfterEnd, "", false, false, 0},
                      EndCase{"EndInASubroutineIsLoggedOnceAndIgnored", "LD     SM0.0\nCALL   SBR_0:SBR0\n", kSbrWithEnd,
                              false, true, 1}),
    CaseName());

// --- STOP ------------------------------------------------------------------------------------

TEST(Stop, InTheMainProgramTheRestOfThePassRunsThenTheCpuStopsAsTheStopCommandDoes) {
    StlProgram p("LD     SM0.0\nINCW   VW0\nNetwork 2\nLD     I0.7\nSTOP\nNetwork 3\nLD     SM0.0\nINCW   VW2\n");
    p.sim.scan.continuousRun();
    p.clock.advanceBy(100);
    EXPECT_EQ(p.word(0), 2) << "I0.7 off: STOP does nothing";
    ASSERT_TRUE(p.sim.running());
    p.views.switches[7] = true;
    p.clock.advanceBy(50);
    EXPECT_EQ(p.word(2), 3) << "the main program finished its pass";
    EXPECT_FALSE(p.sim.running());
    EXPECT_EQ(p.sim.scan.state().mode, Mode::Stop);
    EXPECT_EQ(p.sim.interpreter.scanCounter, 0);
    EXPECT_EQ(p.count("12:00:00 执行STOP指令，CPU停止"), 1);
    p.clock.advanceBy(500);
    EXPECT_EQ(p.word(0), 3) << "no pass runs in STOP";
    // RUN again starts afresh: the STOP of the last run is not pending.
    p.views.switches[7] = false;
    p.sim.scan.continuousRun();
    p.clock.advanceBy(100);
    EXPECT_TRUE(p.sim.running());
    EXPECT_EQ(p.word(0), 2);
}

TEST(Stop, InAnInterruptRoutineEndsItDropsTheOtherInterruptsAndStopsAfterTheNextPass) {
    StlProgram p("LD     SM0.1\nATCH   INT_0:INT0, 0\nATCH   INT_1:INT1, 2\nENI\nNetwork 2\nLD     SM0.0\nINCW   VW0\n",
                 "INTERRUPT_BLOCK INT_0:INT0\nBEGIN\nNetwork 1\nLD     SM0.0\nSTOP\n=      Q0.1\nEND_INTERRUPT_BLOCK\n"
                 "INTERRUPT_BLOCK INT_1:INT1\nBEGIN\nNetwork 1\nLD     SM0.0\n=      Q0.2\nEND_INTERRUPT_BLOCK\n");
    EXPECT_TRUE(p.sim.findings().empty());
    p.views.switches[0] = false;
    p.views.switches[1] = false;
    p.sim.scan.continuousRun();
    p.clock.advanceBy(100);
    ASSERT_EQ(p.word(0), 2);
    // I0.0 and I0.1 rise together at 110 ms: INT0 runs first and executes STOP.
    p.views.switches[0] = true;
    p.views.switches[1] = true;
    p.clock.advanceBy(10);
    EXPECT_TRUE(p.sim.running()) << "the pass of this scan is still to come";
    EXPECT_FALSE(p.bit(Q(0, 1))) << "INT0 ended at its STOP";
    p.clock.advanceBy(40);
    EXPECT_FALSE(p.bit(Q(0, 2))) << "INT1, due in the same tick, was dropped";
    EXPECT_EQ(p.word(0), 3) << "the main program ran its pass at 150 ms";
    EXPECT_FALSE(p.sim.running());
    EXPECT_EQ(p.count("12:00:00 执行STOP指令，CPU停止"), 1);
}

// --- WDR -------------------------------------------------------------------------------------

struct WatchdogCase {
    const char* name;
    std::string program;
    bool completes;
    friend void PrintTo(const WatchdogCase& c, std::ostream* os) { *os << c.name; }
};

class Watchdog : public ::testing::TestWithParam<WatchdogCase> {};

TEST_P(Watchdog, WdrRestartsTheRunawayGuardUpToTheCeilingOfAPass) {
    const WatchdogCase& c = GetParam();
    StlProgram p(c.program);
    p.sim.interpreter.lineBudget = 1000;
    p.sim.interpreter.passCeiling = 400'000;
    p.pass();
    EXPECT_EQ(p.sim.interpreter.scanCounter, c.completes ? 1 : 0);
    if (c.completes) {
        EXPECT_EQ(p.word(100), 30001);
        EXPECT_TRUE(p.sink.lines.empty());
    } else {
        ASSERT_EQ(p.sink.lines.size(), 1u);
        EXPECT_NE(p.sink.lines[0].find(" 运行代码错误:"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Loops, Watchdog,
    ::testing::Values(WatchdogCase{"ALongLoopWithWdrRunsToItsEnd", loop("FOR    VW100, 1, 30000", "LD     SM0.0\nWDR\n"), true},
                      WatchdogCase{"TheSameLoopWithoutWdrIsARunaway", loop("FOR    VW100, 1, 30000", "LD     SM0.0\n"), false},
                      WatchdogCase{"WdrWithoutPowerFlowRestartsNothing", loop("FOR    VW100, 1, 30000", "LDN    SM0.0\nWDR\n"), false},
                      WatchdogCase{"AnEndlessLoopWithWdrStillEnds", "LBL    1\nLD     SM0.0\nWDR\nJMP    1\n", false},
                      WatchdogCase{"FinalAtTheTopOfTheIntRangeNeverEnds", loop("FOR    VW100, 32000, 32767", "LD     SM0.0\nWDR\n"),
                                   false}),
    CaseName());

// --- GERR and the non-fatal error 0006 ---------------------------------------------------------

struct ErrorCase {
    const char* name;
    std::string box;  // network 1 after LD SM0.0
    double vd200;     // the pointer
    int code;         // what GERR reads
    int vb10;         // VB10 afterwards (preset 16#55)
    int eno;          // Q0.0 from AENO, -1 when the box has no ENO to take
    friend void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }
};

class GetError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(GetError, ReadsTheCodeOfABadPointerOnceAndThenZero) {
    const ErrorCase& c = GetParam();
    StlProgram p("LD     SM0.0\n" + c.box + "Network 8\nLD     SM0.0\nGERR   VW20\nGERR   VW22\n");
    p.setDWord(area::V + 8 * 200, c.vd200);
    p.setByte(VB(10), 0x55);
    p.views.switches[0] = true;  // IB0 = 1 on its terminals
    p.setWord(area::V + 8 * 20, 0x7777);
    p.pass();
    EXPECT_EQ(p.word(20), c.code);
    EXPECT_EQ(p.word(22), 0) << "GERR cleared the code";
    EXPECT_EQ(p.byte(VB(10)), c.vb10);
    if (c.eno >= 0) {
        EXPECT_EQ(p.bit(Q(0, 0)), c.eno == 1);
    }
    EXPECT_EQ(p.bit(area::SM4_3), c.code != 0);
    EXPECT_EQ(p.sim.interpreter.scanCounter, 1) << "a non-fatal error does not end the pass";
    EXPECT_EQ(p.sim.program.runStatusOf(p.line("GERR   VW20")).StatusValue[0], c.code);
}

constexpr double kBadPointer = 65535;  // byte address 65535: no area
constexpr double kPointerToVB10 = 74;  // &VB10

INSTANTIATE_TEST_SUITE_P(
    Boxes, GetError,
    ::testing::Values(ErrorCase{"BirThroughABadPointer", "BIR    *VD200, VB10\nAENO\n=      Q0.0\n", kBadPointer, 6, 0x55, 0},
                      ErrorCase{"BirThroughAGoodPointer", "BIR    *VD200, VB10\nAENO\n=      Q0.0\n", 0, 0, 1, 1},
                      ErrorCase{"BiwThroughAPointerOutsideQ", "BIW    16#FF, *VD200\nAENO\n=      Q0.0\n", kPointerToVB10, 6,
                                0x55, 0},
                      ErrorCase{"DledThroughABadPointer", "DLED   *VD200\nAENO\n=      Q0.0\n", kBadPointer, 6, 0x55, 0},
                      ErrorCase{"ForThroughABadPointerSkipsTheBody",
                                "FOR    *VD200, 1, 3\nNetwork 2\nLD     SM0.0\nINCB   VB10\nNetwork 3\nNEXT\n", kBadPointer, 6,
                                0x55, -1},
                      ErrorCase{"NoErrorReadsZero", "MOVB   1, VB10\n", 0, 0, 1, -1}),
    CaseName());

// --- DLED --------------------------------------------------------------------------------------

struct LedCase {
    const char* name;
    std::string program;
    int vb5;
    bool led;
    friend void PrintTo(const LedCase& c, std::ostream* os) { *os << c.name; }
};

class DiagLed : public ::testing::TestWithParam<LedCase> {};

TEST_P(DiagLed, SwitchesTheLedThatSharesTheSfLamp) {
    const LedCase& c = GetParam();
    StlProgram p("LD     SM0.1\nDLED   1\nNetwork 2\n" + c.program);
    p.sim.scan.continuousRun();
    p.setByte(VB(5), c.vb5);
    p.clock.advanceBy(100);
    EXPECT_EQ(p.sim.interpreter.diagLed, c.led);
    ASSERT_FALSE(p.views.sfLamp.empty());
    EXPECT_EQ(p.views.sfLamp.back(), c.led);
    p.sim.scan.stop();
    p.sim.scan.continuousRun();
    EXPECT_FALSE(p.sim.interpreter.diagLed) << "RUN entry puts the LED out";
}

INSTANTIATE_TEST_SUITE_P(Values, DiagLed,
                         ::testing::Values(LedCase{"ZeroSwitchesItOff", "LD     SM0.0\nDLED   VB5\n", 0, false},
                                           LedCase{"AnyOtherValueSwitchesItOn", "LD     SM0.0\nDLED   VB5\n", 0x80, true},
                                           LedCase{"WithoutPowerFlowItStaysAsItWas", "LDN    SM0.0\nDLED   0\n", 0, true},
                                           LedCase{"AConstantOne", "LD     SM0.0\nDLED   1\n", 0, true}),
                         CaseName());

// --- the program check ---------------------------------------------------------------------------

TEST(LoopCheck, UnmatchedAndTooDeepLoopsAreFoundPerBlock) {
    // The main body starts at line 4 of the file.
    StlProgram p("LD     SM0.0\nFOR    VW0, 1, 2\nNEXT\nNEXT\n" + nested(9) + "FOR    VW2, 1, 2\n",
                 "SUBROUTINE_BLOCK SBR_0:SBR0\nBEGIN\nNetwork 1\nNEXT\nEND_SUBROUTINE_BLOCK\n");
    std::vector<std::pair<int, FindingKind>> got;
    for (const Finding& f : p.sim.findings()) got.emplace_back(f.fileLine, f.kind);
    using K = FindingKind;
    const std::vector<std::pair<int, FindingKind>> want{
        {7, K::NextWithoutFor}, {17, K::LoopTooDeep}, {29, K::ForWithoutNext}, {34, K::NextWithoutFor}};
    ASSERT_EQ(got, want);
    EXPECT_EQ(findingMessage(p.sim.findings()[0]), "NEXT没有对应的FOR");
    EXPECT_EQ(findingMessage(p.sim.findings()[1]), "FOR/NEXT循环嵌套超过8层");
    EXPECT_EQ(findingMessage(p.sim.findings()[2]), "FOR没有对应的NEXT");
    EXPECT_EQ(findingEnglishLine(p.sim.findings()[2]), "29: FOR VW2, 1, 2: FOR without NEXT");
}

}  // namespace
