#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/code_table.h"
#include "loader/code_builder.h"
#include "loader/operand_decoder.h"

using namespace korvane;

namespace {

struct Builder {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Program prog;
    std::vector<std::string> lines;

    Builder() { log.setClock([] { return std::string("08:15:00"); }); }
    bool build(std::vector<std::string> l) {
        lines = std::move(l);
        prog.resetCodeTable(lines.size());
        return AnalyseCode(lines, prog, mem, log);
    }
    const CodeLine& at(std::size_t i) const { return prog.CodeTable.at(i); }
};

// A main program around the given body lines: ORGANIZATION_BLOCK, BEGIN, body, end.
std::vector<std::string> mainProgram(std::vector<std::string> body) {
    std::vector<std::string> out{"ORGANIZATION_BLOCK MAIN:OB1", "BEGIN"};
    for (auto& b : body) out.push_back(std::move(b));
    out.push_back("END_ORGANIZATION_BLOCK " + std::to_string(out.size()));
    return out;
}

TEST(BuilderLines, TimerBoxSplitsMnemonicAndOperandsAndMarksTheTimerKind) {
    Builder b;
    ASSERT_TRUE(b.build(mainProgram({"Network 1", "LD I0.0", "TON T37, 100"})));
    const CodeLine& l = b.at(4);
    EXPECT_EQ(l.mnemonic(), "TON");
    EXPECT_EQ(l.op, Op::TON);
    EXPECT_EQ(l.operandCount(), 2);
    EXPECT_EQ(l.number(0), 13269);
    EXPECT_EQ(l.kindOf(0), kind::Timer);
    EXPECT_EQ(l.number(1), 100);
    EXPECT_EQ(l.kindOf(1), kind::Constant);
    EXPECT_EQ(b.prog.sourceText(4), "TON T37, 100");
    EXPECT_EQ(l.HasStatus, kOn);
    EXPECT_EQ(lineStatus(b.prog, l).stackText(), "0000");
    EXPECT_EQ(b.mem.timers()[37].Kind, 1);
    EXPECT_TRUE(b.sink.lines.empty());
}

TEST(BuilderLines, EveryTimerAndCounterBoxSetsItsKind) {
    Builder b;
    ASSERT_TRUE(b.build(mainProgram(
        {"TON T1, 1", "TOF T2, 1", "TONR T3, 1", "CTU C4, 1", "CTD C5, 1", "CTUD C6, 1", "LD T7"})));
    EXPECT_EQ(b.mem.timers()[1].Kind, 1);
    EXPECT_EQ(b.mem.timers()[2].Kind, 2);
    EXPECT_EQ(b.mem.timers()[3].Kind, 3);
    EXPECT_EQ(b.mem.counters()[4].Kind, 1);
    EXPECT_EQ(b.mem.counters()[5].Kind, 2);
    EXPECT_EQ(b.mem.counters()[6].Kind, 3);
    EXPECT_EQ(b.mem.timers()[7].Kind, 0);  // a contact is not a box
}

TEST(BuilderLines, NetworkAndBlockLinesShowNoStatusAfterTheFinalPass) {
    Builder b;
    ASSERT_TRUE(b.build(mainProgram({"Network 3", "LD I0.0", "LBL 5", "", ":BOOL;"})));
    EXPECT_EQ(b.at(2).mnemonic(), "Network");
    EXPECT_EQ(b.at(2).number(0), 3);
    struct Expect {
        std::size_t line;
        std::int16_t hasStatus;
    };
    for (const Expect& e : {Expect{0, 0}, Expect{1, 0}, Expect{2, 0}, Expect{3, kOn}, Expect{4, kOn}, Expect{5, kOn},
                            Expect{6, kOn}, Expect{7, 0}})
        EXPECT_EQ(b.at(e.line).HasStatus, e.hasStatus) << "line " << e.line << " " << b.prog.sourceText(static_cast<int>(e.line));
    EXPECT_EQ(b.at(5).op, Op::Empty);
    EXPECT_EQ(b.at(7).number(0), 7);
}

TEST(BuilderLines, OperandsAreTrimmedAndTabsSeparateTheMnemonic) {
    Builder b;
    ASSERT_TRUE(b.build(mainProgram({"MOVW\t VW0 ,  VW2", "  LD   I0.1  "})));
    EXPECT_EQ(b.at(2).mnemonic(), "MOVW");
    EXPECT_EQ(b.at(2).number(0), 512);
    EXPECT_EQ(b.at(2).number(1), 528);
    EXPECT_EQ(b.at(2).kindOf(1), kind::Word);
    EXPECT_EQ(b.at(3).mnemonic(), "LD");
    EXPECT_EQ(b.prog.sourceText(3), "LD   I0.1");
    EXPECT_EQ(b.at(3).number(0), 1);
}

TEST(BuilderLines, ConversionKindsSetByAnAccumulatorSurviveTheOperandNumbers) {
    Builder b;
    ASSERT_TRUE(b.build(mainProgram({"ITD AC0, AC1", "ITD 5, AC0"})));
    EXPECT_EQ(b.at(2).kindOf(0), kind::Word);
    EXPECT_EQ(b.at(2).kindOf(1), kind::DWord);
    EXPECT_EQ(b.at(2).number(1), 15584);
    EXPECT_EQ(b.at(3).kindOf(0), kind::Constant);
    EXPECT_EQ(b.at(3).number(0), 5);
}

TEST(BuilderLines, LabelsRecordTheirLineAndEventsAreReset) {
    Builder b;
    b.prog.events[3].Routine = 7;
    b.prog.labels[0][9] = 33;  // left from an earlier program
    std::vector<std::string> body(38, "NOP 0");
    body.push_back("LBL 5");  // line 40
    ASSERT_TRUE(b.build(mainProgram(body)));
    EXPECT_EQ(b.at(40).mnemonic(), "LBL");
    EXPECT_EQ(b.prog.labels[0][5], 40);
    EXPECT_EQ(b.prog.labels[0][9], 0);
    for (const auto& e : b.prog.events) EXPECT_EQ(e.Routine, -1);
}

TEST(BuilderSubroutines, DeclarationsAreCountedAndPlacedInLocalMemory) {
    Builder b;
    std::vector<std::string> prog = mainProgram({"CALL SBR0, I0.0, VW10"});
    for (const char* l : {"SUBROUTINE_BLOCK SBR_0:SBR0", "VAR_INPUT", ":BOOL;", "END_VAR", "VAR_OUTPUT", ":WORD;",
                          "END_VAR", "BEGIN", "Network 1", "LD L0.0", "END_SUBROUTINE_BLOCK 0"})
        prog.emplace_back(l);
    ASSERT_TRUE(b.build(prog));
    const SubroutineEntry& e = b.prog.subroutines[0];
    EXPECT_EQ(e.EntryLine, 4);
    EXPECT_EQ(e.InCount, 1);
    EXPECT_EQ(e.InOutCount, 0);
    EXPECT_EQ(e.OutCount, 1);
    EXPECT_EQ(e.ParamCount, 2);
    EXPECT_EQ(e.ParamType[1], ptype::Bool);
    EXPECT_EQ(e.ParamKey[1], 14784);  // L0.0
    EXPECT_EQ(e.ParamType[2], ptype::Word);
    EXPECT_EQ(e.ParamKey[2], 14792);  // LW1
    EXPECT_EQ(b.at(6).HasStatus, kOn);  // declarations show status after the final pass
    EXPECT_EQ(b.at(4).HasStatus, 0);
}

TEST(BuilderSubroutines, WiderTypesStartAtTheNextByteBoundary) {
    Builder b;
    std::vector<std::string> prog = mainProgram({});
    for (const char* l : {"SUBROUTINE_BLOCK SBR_2:SBR2", "VAR_INPUT", ":BOOL;", ":BOOL;", ":INT;", ":BYTE;", ":BOOL;",
                          ":DWORD;", ":STRING;", ":REAL;", "END_VAR", "VAR_IN_OUT", ":DINT;", "END_VAR", "VAR",
                          ":BYTE;", "END_VAR", "BEGIN", "END_SUBROUTINE_BLOCK 0"})
        prog.emplace_back(l);
    ASSERT_TRUE(b.build(prog));
    const SubroutineEntry& e = b.prog.subroutines[2];
    const int L = 14784;
    // BOOL L0.0, BOOL L0.1, INT LW1, BYTE LB3, BOOL L4.0, DWORD LD5, STRING none, REAL LD9,
    // DINT LD13, temporary BYTE LB17.
    const std::vector<int> keys{L + 0, L + 1, L + 8, L + 24, L + 32, L + 40, 0, L + 72, L + 104, L + 136};
    const std::vector<int> types{ptype::Bool, ptype::Bool, ptype::Int,    ptype::Byte, ptype::Bool,
                                 ptype::DWord, ptype::String, ptype::Real, ptype::DInt, ptype::Byte};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(e.ParamKey[i + 1], keys[i]) << "slot " << i + 1;
        EXPECT_EQ(e.ParamType[i + 1], types[i]) << "slot " << i + 1;
    }
    EXPECT_EQ(e.InCount, 8);
    EXPECT_EQ(e.InOutCount, 1);
    EXPECT_EQ(e.ParamCount, 9);  // the temporary section adds nothing
}

TEST(BuilderSubroutines, DeclarationsAfterTheTwentiethAreIgnored) {
    Builder b;
    std::vector<std::string> prog = mainProgram({});
    prog.emplace_back("SUBROUTINE_BLOCK SBR_1:SBR1");
    prog.emplace_back("VAR_INPUT");
    for (int i = 0; i < 23; ++i) prog.emplace_back(":BYTE;");
    prog.emplace_back("END_VAR");
    prog.emplace_back("END_SUBROUTINE_BLOCK 0");
    ASSERT_TRUE(b.build(prog));
    const SubroutineEntry& e = b.prog.subroutines[1];
    EXPECT_EQ(e.InCount, 20);
    EXPECT_EQ(e.ParamCount, 20);
    EXPECT_EQ(e.ParamKey[20], 14784 + 8 * 19);
}

TEST(BuilderSubroutines, MainProgramTemporariesUseSlotZeroOnwards) {
    Builder b;
    ASSERT_TRUE(b.build({"ORGANIZATION_BLOCK MAIN:OB1", "VAR_TEMP", ":BOOL;", "END_VAR", "BEGIN",
                         "END_ORGANIZATION_BLOCK 5"}));
    EXPECT_EQ(b.prog.subroutines[0].ParamKey[0], 14784);
    EXPECT_EQ(b.prog.subroutines[0].InCount, 0);
}

TEST(BuilderSubroutines, ARoutineWithoutSectionsForgetsTheCountsOfAnEarlierProgram) {
    Builder b;
    SubroutineEntry& e = b.prog.subroutines[1];
    e.InCount = 3;
    e.OutCount = 2;
    e.ParamCount = 5;
    e.ParamKey[1] = 14800;
    std::vector<std::string> prog = mainProgram({"CALL SBR1"});
    for (const char* l : {"SUBROUTINE_BLOCK SBR_1:SBR1", "BEGIN", "END_SUBROUTINE_BLOCK 0"}) prog.emplace_back(l);
    ASSERT_TRUE(b.build(prog));
    EXPECT_EQ(e.InCount, 0);
    EXPECT_EQ(e.OutCount, 0);
    EXPECT_EQ(e.ParamCount, 0);
    EXPECT_EQ(e.ParamKey[1], 0);
    EXPECT_EQ(e.EntryLine, 4);
}

TEST(BuilderSubroutines, LibraryRoutineDeclarationsGoToTheLibraryEntry) {
    Builder b;
    b.prog.subroutines[1].Name = "USS_INIT";
    std::vector<std::string> prog = mainProgram({"CALL SBR1, 1"});
    for (const char* l : {"SUBROUTINE_BLOCK USS_INIT:SBR1", "VAR_INPUT", ":BYTE;", "END_VAR", "BEGIN",
                          "END_SUBROUTINE_BLOCK 0"})
        prog.emplace_back(l);
    ASSERT_TRUE(b.build(prog));
    EXPECT_EQ(b.at(2).number(0), 103);
    EXPECT_EQ(b.at(4).number(0), 103);
    EXPECT_EQ(b.prog.subroutines[1].EntryLine, 4);
    EXPECT_EQ(b.prog.subroutines[103].InCount, 1);
    EXPECT_EQ(b.prog.subroutines[103].ParamCount, 1);
}

struct BadLine {
    const char* text;
};

class BuilderErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(BuilderErrors, StopTheBuildAtTheLineAndLeaveTheRestEmpty) {
    Builder b;
    ASSERT_FALSE(b.build(mainProgram({"Network 1", "LD I0.0", GetParam().text, "Network 2", "= Q0.0"})));
    ASSERT_EQ(b.sink.lines, std::vector<std::string>{"08:15:00 代码组装错误"});
    EXPECT_EQ(b.at(3).mnemonic(), "LD");
    EXPECT_EQ(b.at(3).number(0), 0);
    // The final pass did not run: the Network line keeps the status the line pass gave it.
    EXPECT_EQ(b.at(2).HasStatus, kOn);
    for (std::size_t i = 4; i < b.prog.CodeTable.size(); ++i) {
        EXPECT_EQ(b.at(i).mnemonic(), "") << i;
        EXPECT_EQ(b.at(i).op, Op::Empty) << i;
        EXPECT_EQ(b.at(i).operandCount(), 0) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, BuilderErrors,
                         ::testing::Values(BadLine{"TON C5, 10"}, BadLine{"TON VW0, 10"}, BadLine{"CTU T3, 5"},
                                           BadLine{"LBL 256"}, BadLine{"LBL -1"},
                                           BadLine{"LBL 1e9"},
                                           BadLine{"CALL SBR0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, "
                                                   "17, 18, 19, 20"}));

TEST(BuilderErrors, ALineWithoutARowEndsTheBuild) {
    Builder b;
    b.lines = mainProgram({"LD I0.0", "= Q0.0"});
    b.prog.resetCodeTable(1);  // the one empty row an unload leaves
    EXPECT_FALSE(AnalyseCode(b.lines, b.prog, b.mem, b.log));
    EXPECT_EQ(b.sink.lines, std::vector<std::string>{"08:15:00 代码组装错误"});
    EXPECT_EQ(b.prog.CodeTable.size(), 1u);
    EXPECT_FALSE(b.prog.loaded());
    EXPECT_EQ(b.at(0).mnemonic(), "ORGANIZATION_BLOCK");
}

TEST(BuilderLimits, TwentyOperandsAreAllowed) {
    Builder b;
    ASSERT_TRUE(b.build(mainProgram(
        {"CALL SBR0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, VW4"})));
    const CodeLine& l = b.at(2);
    EXPECT_EQ(l.operandCount(), 20);
    EXPECT_EQ(l.number(18), 18);
    EXPECT_EQ(l.number(19), 544);
    EXPECT_EQ(l.kindOf(19), kind::Word);
    EXPECT_EQ(l.kindOf(0), kind::Byte);  // "SBR0" takes its second letter's width
}

}  // namespace

// The builder decodes the common operand forms from the parse it checks them with; every
// operand must come out with the number and kind the operand decoder gives the same text.
TEST(BuilderLines, EveryOperandDecodesAsTheDecoderReadsIt) {
    const std::vector<std::string> body{
        "LD I0.0",           "A SM0.1",          "O S2.7",           "LDN L0.3",         "AN V1023.7",
        "= Q15.7",           "A M31.0",          "A T37",            "O C255",           "LD I01.1",
        "MOVB IB0, QB1",     "MOVW MW2, VW100",  "MOVD SMD2, LD4",   "MOVW SMW22, SW2",  "MOVB SMB28, SB5",
        "MOVW 16#1F, VW2",   "MOVW 16#ffff, VW2", "MOVW 2#1012, VW0", "MOVW -0, VW0",     "MOVW +7, VW0",
        "MOVR 1.5, VD0",     "MOVR .5, VD0",     "MOVR 1E3, VD0",    "MOVR -2.5e-3, VD4", "AW>= VW10, +1",
        "MOVD &H1F, VD0",    "MOVD &O17, VD0",   "MOVW 007, VW0",    "MOVW VW0007, VW0", "TON T1, 100",
        "CTU C5, 3",         "MOVW AIW0, VW0",   "MOVW VW0, AQW2",   "MOVD AC1, VD0",    "MOVB AC2, VB0",
        "MOVW *VD100, VW0",  "MOVD &VB100, AC0", "MOVW *AC1, VW2",   "MOVD 2147483647, VD0",
        "MOVD -2147483648, VD0"};
    Builder b;
    ASSERT_TRUE(b.build(mainProgram(body)));
    EXPECT_TRUE(b.prog.operandNotes.empty());
    Program decoded;
    decoded.resetCodeTable(b.lines.size());
    for (std::size_t i = 2; i < 2 + body.size(); ++i) {
        const std::string& text = b.lines[i];
        const std::size_t blank = text.find(' ');
        const std::string mnemonic = text.substr(0, blank);
        std::string rest = text.substr(blank + 1);
        for (int k = 0; !rest.empty(); ++k) {
            const std::size_t comma = rest.find(',');
            std::string operand = rest.substr(0, comma);
            rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
            while (!operand.empty() && operand.front() == ' ') operand.erase(0, 1);
            const double number = GetParamValue(decoded, mnemonic, operand, static_cast<int>(i), k);
            SCOPED_TRACE(text + " operand " + std::to_string(k));
            EXPECT_EQ(b.at(i).number(k), number);
            EXPECT_EQ(std::signbit(b.at(i).number(k)), std::signbit(number));
            EXPECT_EQ(b.at(i).kindOf(k), decoded.CodeTable[i].kindOf(k));
        }
    }
}
