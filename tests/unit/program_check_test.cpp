// Programs as STEP 7-MicroWIN exports them, through the reader, the builder, the program
// check and a pass: what the check reports, and that what it reports runs as the CPU would
// (or not at all) instead of silently touching another area.
#include <gtest/gtest.h>

#include "test_tmp.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/simulator.h"

using namespace korvane;

namespace {

struct FromFile {
    std::string path;
};

struct Loaded {
    MemoryLogSink sink;
    AutoPrompt prompt;
    ViewHooks views;
    VirtualScheduler clock;
    Simulator sim{clock, &sink, &prompt, &views};

    // A file as it stands, keeping the log of its load.
    explicit Loaded(const FromFile& file) {
        sim.log.setClock([] { return std::string("12:00:00"); });
        sim.setDialogFileName(file.path);
        sim.myLoadCode();
    }

    // The body goes between the main block's BEGIN and its end; more blocks may follow.
    explicit Loaded(const std::string& main, const std::string& blocks = "", const std::string& symbols = "") {
        sim.log.setClock([] { return std::string("12:00:00"); });
        const auto dir = testTmpDir("program_check");
        if (!symbols.empty()) {
            std::ofstream(dir / "symbols.txt", std::ios::binary) << symbols;
            EXPECT_TRUE(sim.loadSymbolFile((dir / "symbols.txt").string()));
        }
        const std::string text = "ORGANIZATION_BLOCK 主程序:OB1\r\nTITLE=程序注释\r\nBEGIN\r\nNetwork 1 // 网络标题\r\n" +
                                 main + "END_ORGANIZATION_BLOCK\r\n" + blocks;
        std::ofstream(dir / "prog.awl", std::ios::binary) << text;
        load((dir / "prog.awl").string());
    }
    void load(const std::string& path) {
        sim.setDialogFileName(path);
        sim.myLoadCode();
        sink.lines.clear();
    }
    void pass() { sim.runPass(); }
    bool bit(int key) const { return sim.memory.bit(key); }
    double word(int key) const { return sim.memory.GetWordValue(key); }
    std::vector<std::pair<int, FindingKind>> found() const {
        std::vector<std::pair<int, FindingKind>> out;
        for (const Finding& f : sim.findings()) out.emplace_back(f.fileLine, f.kind);
        return out;
    }
};

constexpr int kQ0 = area::Q;
int vw(int n) { return area::V + 8 * n; }

TEST(ProgramCheck, FindsEachKindOnItsLineOfTheFile) {
    Loaded p(FromFile{std::string(KORVANE_SOURCE_DIR) + "/tests/golden/program_check/program.awl"});
    Simulator& sim = p.sim;
    const std::vector<std::string>& log = p.sink.lines;
    using K = FindingKind;
    const std::vector<std::pair<int, FindingKind>> want{
        {6, K::UnsimulatedInstruction}, {8, K::UnknownInstruction}, {10, K::UnknownSymbol},
        {13, K::MissingOperand},        {14, K::OutsideArea},       {15, K::BitNumber},
        {16, K::OutsideArea},           {17, K::OutsideArea},       {18, K::UnreadableOperand},
        {20, K::WrongType},             {24, K::UndefinedSubroutine}, {25, K::UndefinedInterrupt},
        {26, K::EventNeverRaised},      {30, K::JumpWithoutLabel},  {32, K::DuplicateLabel},
        {34, K::ScrWithoutEnd},         {39, K::TimerKind},         {40, K::TimerKind},
        {49, K::UnknownLocal},          {61, K::ForWithoutNext}};
    std::vector<std::pair<int, FindingKind>> got;
    for (const Finding& f : sim.findings()) got.emplace_back(f.fileLine, f.kind);
    EXPECT_EQ(got, want);
    // One time-stamped log line per finding, then the summary.
    ASSERT_EQ(log.size(), want.size() + 1);
    EXPECT_EQ(log.front(), "12:00:00 程序检查：第6行 HSC 0：不支持的指令");
    EXPECT_EQ(log[4], "12:00:00 程序检查：第14行 MOVW 1, VW1023：地址超出范围 VW1023");
    EXPECT_EQ(log.back(), "12:00:00 程序检查：发现20处问题");
    sim.unloadProgramCommand();
    EXPECT_TRUE(sim.findings().empty()) << "an unloaded program has nothing to report";
}

TEST(ProgramCheck, TheSummarySaysWhenNothingIsFound) {
    Loaded p(FromFile{std::string(KORVANE_SOURCE_DIR) + "/examples/subroutine_interrupt_gbk.awl"});
    EXPECT_TRUE(p.sim.findings().empty());
    EXPECT_EQ(p.sink.lines, std::vector<std::string>{"12:00:00 程序检查：没有发现问题"});
}

TEST(ProgramCheck, TheEdgeInstructionsPastTheFlagsAreFoundAndStopThePassWhereTheyStand) {
    std::string body;
    for (int i = 0; i < 129; ++i) body += "LD     I0.0\r\nEU\r\n=      M0.0\r\n";
    body += "LD     SM0.0\r\n=      Q0.0\r\n";
    Loaded p(body);
    const auto found = p.found();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], (std::pair<int, FindingKind>{5 + 3 * 128 + 1, FindingKind::EdgeLimit}));
    p.sim.memory.setBit(area::I, true);
    p.pass();
    ASSERT_EQ(p.sink.lines.size(), 1u);
    EXPECT_EQ(p.sink.lines[0].find(" 运行代码错误:"), 8u);
    EXPECT_FALSE(p.bit(kQ0)) << "the pass ended at the 129th EU";
}

// --- what runs -----------------------------------------------------------------------------

TEST(RealPrograms, LabelsBelongToTheirBlock) {
    // Main and SBR0 both have LBL 1; SBR0 jumps to 4, which only the main program has.
    Loaded p("LD     SM0.0\r\nJMP    1\r\n=      Q0.0\r\nLBL    1\r\nCALL   SBR_0:SBR0\r\nLBL    4\r\n",
             "SUBROUTINE_BLOCK SBR_0:SBR0\r\nTITLE=子程序\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\nJMP    1\r\n"
             "=      Q0.1\r\nLBL    1\r\nLD     SM0.0\r\nJMP    4\r\n=      Q0.2\r\nLBL    2\r\nEND_SUBROUTINE_BLOCK\r\n");
    p.pass();
    EXPECT_FALSE(p.bit(kQ0)) << "JMP 1 in the main program skips to the main program's LBL 1";
    EXPECT_FALSE(p.bit(kQ0 + 1)) << "JMP 1 in SBR0 goes to SBR0's LBL 1";
    EXPECT_TRUE(p.bit(kQ0 + 2)) << "JMP 4 in SBR0 has no label there and does nothing";
    EXPECT_TRUE(p.sink.lines.empty());
}

TEST(RealPrograms, PointersAreFollowedInEveryValueOperand) {
    Loaded p(
        "LD     SM0.1\r\n"
        "MOVW   16#1234, VW200\r\nMOVW   1, VW100\r\nMOVW   2, VW102\r\nMOVW   3, VW104\r\nMOVW   4, VW106\r\n"
        // a pointer in an accumulator, read as a word
        "MOVD   &VB200, AC1\r\nMOVW   *AC1, AC0\r\nMOVW   AC0, VW0\r\n"
        // a pointer in V memory, stepped by two bytes
        "MOVD   &VB198, VD10\r\n+D     2, VD10\r\nMOVW   *VD10, VW2\r\n"
        // a table walk: add the four words the pointer steps over
        "MOVD   &VB100, AC2\r\n+I     *AC2, VW60\r\n+D     2, AC2\r\n+I     *AC2, VW60\r\n+D     2, AC2\r\n"
        "+I     *AC2, VW60\r\n+D     2, AC2\r\n+I     *AC2, VW60\r\n"
        // double words, reals, block moves, FILL and compares through pointers
        "MOVR   1.5, VD300\r\nMOVD   &VB300, VD20\r\nMOVR   *VD20, VD310\r\nBMW    *VD10, VW400, 2\r\n"
        "MOVD   &VB500, VD24\r\nFILL   7, *VD24, 3\r\n"
        "LDW=   *VD10, 16#1234\r\n=      Q0.0\r\n");
    p.pass();
    EXPECT_TRUE(p.sink.lines.empty()) << p.sink.lines.front();
    EXPECT_EQ(p.word(vw(0)), 0x1234);
    EXPECT_EQ(p.word(vw(2)), 0x1234);
    EXPECT_EQ(p.word(vw(60)), 10);
    EXPECT_EQ(p.sim.memory.GetRealValue(area::V + 8 * 310), 1.5);
    EXPECT_EQ(p.word(vw(400)), 0x1234);
    EXPECT_EQ(p.word(vw(504)), 7);
    EXPECT_EQ(p.word(vw(506)), 0);
    EXPECT_TRUE(p.bit(kQ0));
}

TEST(RealPrograms, ABadPointerFailsItsBoxWithError0006AndThePassGoesOn) {
    // A pointer that would run past VB1023, then the one GERR reads: the code, then 0.
    Loaded p("LD     SM0.0\r\nMOVD   &VB1022, VD0\r\nMOVD   16#11223344, *VD0\r\nAENO\r\n=      Q0.0\r\n"
             "LD     SM0.0\r\nGERR   VW20\r\nGERR   VW22\r\n=      Q0.1\r\n");
    p.pass();
    p.pass();
    EXPECT_EQ(p.sink.lines, std::vector<std::string>{"12:00:00 间接寻址错误:iPC=5,astrCode=MOVD"}) << "once per line";
    EXPECT_EQ(p.word(vw(1022)), 0);
    EXPECT_EQ(p.sim.memory.GetByteValue(area::Edge), 0);
    EXPECT_FALSE(p.bit(kQ0)) << "ENO of the failed box is off";
    EXPECT_TRUE(p.bit(kQ0 + 1)) << "the pass went on";
    EXPECT_EQ(p.word(vw(20)), 6);
    EXPECT_EQ(p.word(vw(22)), 0);
    EXPECT_TRUE(p.bit(area::SM4_3));
}

TEST(RealPrograms, AccumulatorBytesAndWordsAreTheLeastSignificant) {
    Loaded p("LD     SM0.0\r\nMOVD   16#12345678, AC0\r\nMOVB   AC0, VB0\r\nMOVW   AC0, VW2\r\n"
             "MOVD   16#AABBCCDD, AC2\r\nMOVW   16#0001, AC2\r\nMOVD   AC2, VD4\r\n"
             "MOVD   16#7FFF0000, AC1\r\n+I     5, AC1\r\nMOVD   AC1, VD8\r\n");
    p.pass();
    EXPECT_EQ(p.sim.memory.GetByteValue(area::V), 0x78);
    EXPECT_EQ(p.word(vw(2)), 0x5678);
    EXPECT_EQ(p.sim.memory.GetDWordValue(vw(4)), 0xAABB0001u) << "a word write keeps the high word";
    EXPECT_EQ(p.sim.memory.GetDWordValue(vw(8)), 0x7FFF0005u) << "+I works on the low word";
}

TEST(RealPrograms, AnAddressPastItsAreaNeverReachesAnother) {
    struct Case {
        const char* line;
        int cell;  // a cell of the area the old decoding reached, and the value it must keep
        bool on;
    } cases[] = {{"MOVW   1, VW5000", area::I + 8, false},
                 {"MOVW   2, VW1040", area::SM0_0, true},
                 {"MOVD   16#FFFFFFFF, QD14", area::M, false},
                 {"=      I16.0", area::Q, false},
                 {"MOVB   16#FF, MB32", area::V, false}};
    for (const auto& c : cases) {
        Loaded p(std::string("LD     SM0.0\r\n") + c.line + "\r\n=      Q1.0\r\n");
        ASSERT_EQ(p.found().size(), 1u) << c.line;
        EXPECT_EQ(p.found()[0].second, FindingKind::OutsideArea) << c.line;
        p.pass();
        ASSERT_EQ(p.sink.lines.size(), 1u) << c.line;
        EXPECT_NE(p.sink.lines[0].find("运行代码错误"), std::string::npos) << c.line;
        EXPECT_EQ(p.bit(c.cell), c.on) << c.line;
        EXPECT_FALSE(p.bit(kQ0 + 8)) << c.line << ": the pass ended at the line";
    }
    // The same lines with power off write nothing and raise nothing.
    Loaded off("LDN    SM0.0\r\nMOVW   1, VW5000\r\n=      Q1.0\r\n");
    off.pass();
    EXPECT_TRUE(off.sink.lines.empty());
}

TEST(RealPrograms, AnOperandThatNamesNothingReadsOffAndWritesNothing) {
    Loaded p("LD     I0.0\r\n=      Q0.0\r\nLD     \"Nothing\"\r\n=      Q0.1\r\nLD     I0.0\r\n=      #NoLocal\r\n"
             "MOVW   16#FFFF, Unknown_Word\r\nMOVW   Unknown_Word, QW2\r\nLD     I0.0\r\nLDW=   Unknown, 0\r\n"
             "=      Q0.2\r\n");
    EXPECT_EQ(p.found().size(), 5u);
    p.sim.memory.setBit(area::I, true);
    p.pass();
    EXPECT_TRUE(p.sink.lines.empty());
    EXPECT_TRUE(p.bit(kQ0)) << "I0.0 is on";
    EXPECT_FALSE(p.bit(kQ0 + 1)) << "a contact on nothing reads off (it read I0.0 before)";
    EXPECT_TRUE(p.bit(area::I)) << "a coil on nothing writes nothing (it wrote I0.0 before)";
    EXPECT_EQ(p.sim.memory.GetWordValue(area::I), 0x0100u);
    EXPECT_EQ(p.word(area::Q + 16), 0);
    EXPECT_TRUE(p.bit(kQ0 + 2)) << "the compare read 0 for its missing operand";
}

TEST(RealPrograms, SymbolsLocalsAndRoutineNamesResolve) {
    Loaded p("LD     \"Start_PB\"\r\nO      Motor\r\nAN     \"Stop_PB\"\r\n=      Motor\r\n"
             "LD     SM0.0\r\nCALL   Blink, Motor, \"Count\"\r\n",
             "SUBROUTINE_BLOCK Blink:SBR3\r\nTITLE=\r\nVAR_INPUT\r\nOn:BOOL;\r\nEND_VAR\r\nVAR_IN_OUT\r\n"
             "N:INT;\r\nEND_VAR\r\nVAR\r\nFlag:BOOL;\r\nEND_VAR\r\nBEGIN\r\nNetwork 1\r\nLD     #On\r\nINCW   #N\r\n"
             "=      #Flag\r\nLD     #Flag\r\n=      \"Lamp\"\r\nEND_SUBROUTINE_BLOCK\r\n",
             "符号\t地址\t注释\r\nStart_PB\tI0.0\t启动\r\nStop_PB\tI0.1\r\nMotor\tQ0.0\t电机\r\nCount\tVW10\r\n"
             "Lamp\tQ0.5\r\n");
    EXPECT_TRUE(p.found().empty()) << findingMessage(p.sim.findings().front());
    p.sim.memory.setBit(area::I, true);
    p.pass();
    p.sim.memory.setBit(area::I, false);
    p.pass();
    EXPECT_TRUE(p.bit(kQ0)) << "sealed in";
    EXPECT_EQ(p.word(vw(10)), 2);
    EXPECT_TRUE(p.bit(kQ0 + 5));
    EXPECT_EQ(withSymbols("LD     I0.0", p.sim.symbols), "LD     Start_PB:I0.0");
    EXPECT_EQ(withSymbols("A      \"Stop_PB\"", p.sim.symbols), "A      Stop_PB:I0.1");
    EXPECT_EQ(withSymbols("MOVW   VW10, VW12", p.sim.symbols), "MOVW   Count:VW10, VW12");
}

TEST(RealPrograms, WordAndDoubleWordComparesAreSigned) {
    Loaded p("LD     SM0.0\r\nMOVW   -5, VW0\r\nMOVD   -70000, VD4\r\nMOVB   16#80, VB8\r\n"
             "LDW<   VW0, 0\r\n=      Q0.0\r\nLDD<   VD4, -69999\r\n=      Q0.1\r\nLDB>   VB8, 16#7F\r\n=      Q0.2\r\n");
    p.pass();
    EXPECT_TRUE(p.bit(kQ0));
    EXPECT_TRUE(p.bit(kQ0 + 1));
    EXPECT_TRUE(p.bit(kQ0 + 2)) << "bytes stay unsigned";
}

TEST(RealPrograms, AnUnknownInstructionInAJumpLoopIsLoggedOnce) {
    // VW0 counts to 1000 through a loop that passes an unknown line each time round.
    Loaded p("LD     SM0.0\r\nMOVW   0, VW0\r\nLBL    2\r\nPRINT  VW0\r\nINCW   VW0\r\nLDW<   VW0, 1000\r\n"
             "JMP    2\r\n");
    p.pass();
    p.pass();
    EXPECT_EQ(p.word(vw(0)), 1000);
    EXPECT_EQ(p.sink.lines, std::vector<std::string>{"12:00:00 不可识别的指令：PRINT,iPC=6"});
}

TEST(SymbolFile, TakesMicroWinRowsAndSaysWhichLinesItSkipped) {
    SymbolTable t;
    // A copied grid may lead with empty columns; a header row and an empty line are skipped
    // silently, a row without an address is reported.
    ASSERT_TRUE(t.loadText("\xEF\xBB\xBFSymbol\tAddress\tComment\r\n\t\tPump\tQ0.3\t水泵\r\n\r\nBad row\r\n\"Level\"\tVD100\t液位\t(m)\r\n"));
    ASSERT_EQ(t.entries().size(), 2u);
    EXPECT_EQ(*t.addressOf("Pump"), "Q0.3");
    EXPECT_EQ(*t.addressOf("Level"), "VD100");
    EXPECT_EQ(t.entries()[1].comment, "液位 (m)");
    EXPECT_EQ(*t.symbolOf("Q0.3"), "Pump");
    EXPECT_EQ(t.skippedLines(), std::vector<int>{4});
    // A file without one row keeps the table as it was.
    EXPECT_FALSE(t.loadText("nothing here\r\n"));
    EXPECT_EQ(t.entries().size(), 2u);
}

}  // namespace
