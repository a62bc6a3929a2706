#include <gtest/gtest.h>

#include "test_tmp.h"

#include <array>
#include <filesystem>
#include <functional>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/interpreter.h"
#include "loader/code_builder.h"
#include "loader/stl_reader.h"
#include "loader/text_encoding.h"
#include "sim/simulator.h"

using namespace korvane;

namespace {

namespace fs = std::filesystem;

struct Reader {
    MemoryLogSink sink;
    Log log{&sink};
    Program prog;
    StlReader reader;

    Reader() { log.setClock([] { return std::string("09:30:00"); }); }

    static fs::path tempFile(const std::string& name) {
        return testTmpDir("loader") / name;
    }
    // Writes bytes to a file under the test folder and loads it.
    bool loadFile(const std::string& name, const std::string& bytes) {
        const fs::path p = tempFile(name);
        {
            std::ofstream out(p, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        return reader.loadcode(p.string(), prog, log);
    }
};

// Joins lines with the given line end; the last line gets one too when `finalEnd`.
std::string join(const std::vector<std::string>& lines, const std::string& eol, bool finalEnd = true) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || finalEnd) out += eol;
    }
    return out;
}

// A MicroWIN-style export with Chinese comments and names.
const std::vector<std::string> kExport{
    "// 程序注释：传送带控制",
    "// 第二行注释",
    "",
    "ORGANIZATION_BLOCK 主程序:OB1",
    "TITLE=主程序注释",
    "BEGIN",
    "Network 1 // 启动",
    "// 网络注释",
    "LD     I0.0      //启动按钮",
    "AN     I0.1",
    "=      Q0.0",
    "Network 2",
    "LD     I0.2",
    "EU",
    "CALL   SBR1, M0.0, VW10",
    "    // 缩进的注释行",
    "   ",
    "END_ORGANIZATION_BLOCK",
    "SUBROUTINE_BLOCK 电机控制:SBR1",
    "TITLE=子程序注释",
    "VAR_INPUT",
    "启动:BOOL;\t// 输入",
    "END_VAR",
    "VAR_OUTPUT",
    "速度:WORD;",
    "END_VAR",
    "BEGIN",
    "Network 1",
    "LD     L0.0",
    "ED",
    "END_SUBROUTINE_BLOCK",
    "INTERRUPT_BLOCK 定时中断:INT3",
    "BEGIN",
    "EU",
    "END_INTERRUPT_BLOCK",
};

const std::vector<std::string> kKept{
    "ORGANIZATION_BLOCK 主程序:OB1",
    "BEGIN",
    "Network 1",
    "LD     I0.0",
    "AN     I0.1",
    "=      Q0.0",
    "Network 2",
    "LD     I0.2",
    "EU 0",
    "CALL   SBR1, M0.0, VW10",
    "",
    "END_ORGANIZATION_BLOCK 27",
    "SUBROUTINE_BLOCK 电机控制:SBR1",
    "VAR_INPUT",
    ":BOOL;",
    "END_VAR",
    "VAR_OUTPUT",
    ":WORD;",
    "END_VAR",
    "BEGIN",
    "Network 1",
    "LD     L0.0",
    "ED 1",
    "END_SUBROUTINE_BLOCK 0",
    "INTERRUPT_BLOCK 定时中断:INT3",
    "BEGIN",
    "EU 2",
    "END_INTERRUPT_BLOCK 0",
};

struct Encoding {
    const char* name;
    bool gbk;
    const char* eol;
    bool finalEnd;
    bool bom;
};

class ReaderFiles : public ::testing::TestWithParam<Encoding> {};

TEST_P(ReaderFiles, KeepTheProgramLinesWithNamesAndNormalisedLines) {
    const Encoding& e = GetParam();
    Reader r;
    std::string bytes = join(kExport, e.eol, e.finalEnd);
    if (e.gbk) bytes = utf8ToGb18030(bytes);
    if (e.bom) bytes = "\xEF\xBB\xBF" + bytes;
    std::vector<std::pair<int, int>> progress;
    r.reader.onProgress = [&](int i, int last) { progress.emplace_back(i, last); };

    ASSERT_TRUE(r.loadFile(std::string(e.name) + ".awl", bytes));
    EXPECT_EQ(r.reader.lines, kKept);
    EXPECT_EQ(r.prog.CodeTable.size(), kKept.size());
    EXPECT_EQ(r.prog.subroutines[1].Name, "电机控制");
    EXPECT_EQ(r.prog.interrupts[3].Name, "定时中断");
    EXPECT_EQ(r.reader.edgeCounter, 3);
    ASSERT_EQ(progress.size(), kKept.size());
    EXPECT_EQ(progress.front(), std::make_pair(0, 27));
    EXPECT_EQ(progress.back(), std::make_pair(27, 27));
    EXPECT_TRUE(r.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, ReaderFiles,
                         ::testing::Values(Encoding{"utf8_crlf", false, "\r\n", true, false},
                                           Encoding{"utf8_lf_no_final_end", false, "\n", false, false},
                                           Encoding{"utf8_bom", false, "\r\n", false, true},
                                           Encoding{"gbk_crlf", true, "\r\n", true, false},
                                           Encoding{"gbk_lf", true, "\n", false, false},
                                           Encoding{"utf8_cr", false, "\r", true, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ReaderFiles, GbkBytesWrittenLiterallyAreDecoded) {
    Reader r;
    // "中文" in GBK is D6 D0 CE C4.
    const std::string bytes = "ORGANIZATION_BLOCK \xD6\xD0\xCE\xC4:OB1\r\nBEGIN\r\nSUBROUTINE_BLOCK \xD6\xD0:SBR2\r\n"
                              "END_ORGANIZATION_BLOCK\r\n";
    ASSERT_TRUE(r.loadFile("literal_gbk.awl", bytes));
    EXPECT_EQ(r.reader.lines[0], "ORGANIZATION_BLOCK 中文:OB1");
    EXPECT_EQ(r.prog.subroutines[2].Name, "中");
    EXPECT_EQ(r.reader.lines[3], "END_ORGANIZATION_BLOCK 3");
}

TEST(ReaderFiles, UndecodableBytesBecomeReplacementCharacters) {
    Reader r;
    const std::string bytes = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nLD I0.0 \xFF\nSUBROUTINE_BLOCK A\x81:SBR4\nEND\n";
    ASSERT_TRUE(r.loadFile("bad_bytes.awl", bytes));
    EXPECT_EQ(r.reader.lines[2], "LD I0.0 \xEF\xBF\xBD");
    EXPECT_EQ(r.prog.subroutines[4].Name, "A\xEF\xBF\xBD");
}

TEST(ReaderFiles, EdgeNumbersRestartOnEveryLoadAndTheSecondToLastIsReported) {
    Reader r;
    std::vector<std::string> prog{"ORGANIZATION_BLOCK MAIN:OB1", "BEGIN"};
    for (int i = 0; i < 130; ++i) prog.emplace_back(i % 2 ? "ED" : "EU // flanke");
    prog.emplace_back("END_ORGANIZATION_BLOCK");
    const std::string bytes = join(prog, "\r\n");
    ASSERT_TRUE(r.loadFile("edges.awl", bytes));
    EXPECT_EQ(r.reader.lines[2], "EU 0");
    EXPECT_EQ(r.reader.lines[3], "ED 1");
    EXPECT_EQ(r.reader.lines[131], "ED 129");
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 沿触发器满"});
    ASSERT_TRUE(r.reader.loadText(bytes, r.prog, r.log));
    EXPECT_EQ(r.reader.lines[2], "EU 0");
    EXPECT_EQ(r.reader.edgeCounter, 130);
}

TEST(ReaderFiles, LibraryNamesFromHeadersReachTheDecoder) {
    Reader r;
    const std::string bytes = join({"ORGANIZATION_BLOCK MAIN:OB1", "BEGIN", "CALL SBR1, SM0.1, 1", "END_ORGANIZATION_BLOCK",
                                    "SUBROUTINE_BLOCK MBUS_CTRL:SBR1", "BEGIN", "END_SUBROUTINE_BLOCK"},
                                   "\r\n");
    ASSERT_TRUE(r.loadFile("library.awl", bytes));
    EXPECT_EQ(r.prog.subroutines[1].Name, "MBUS_CTRL");
    PlcMemory mem(&r.log);
    ASSERT_TRUE(AnalyseCode(r.reader.lines, r.prog, mem, r.log));
    EXPECT_EQ(r.prog.CodeTable[2].number(0), 101);
    EXPECT_EQ(r.prog.CodeTable[4].number(0), 101);
    EXPECT_EQ(r.prog.subroutines[1].EntryLine, 4);
}

// The program keeps the texts of the lines it was built from while the reader reads the
// next file (the two share one block of text until either changes), and a line the builder
// had to trim is kept trimmed.
TEST(ReaderFiles, BuiltSourceTextsOutliveTheNextRead) {
    Reader r;
    ASSERT_TRUE(r.loadFile("a.awl", "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nLD I0.0\n= Q0.0\nEND_ORGANIZATION_BLOCK\n"));
    PlcMemory mem(&r.log);
    ASSERT_TRUE(AnalyseCode(r.reader.lines, r.prog, mem, r.log));
    Program next;
    ASSERT_TRUE(r.reader.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nLDN M7.7\nR Q1.1, 2\nEND_ORGANIZATION_BLOCK\n", next,
                                  r.log));
    EXPECT_EQ(r.prog.sourceText(2), "LD I0.0");
    EXPECT_EQ(r.prog.sourceText(4), "END_ORGANIZATION_BLOCK 4");
    EXPECT_EQ(r.reader.lines[2], "LDN M7.7");
    // A copy that gains a line leaves the original as it was.
    Program copy = r.prog;
    copy.setSourceText(5, "NOP 0");
    EXPECT_EQ(copy.sourceText(5), "NOP 0");
    EXPECT_EQ(r.prog.sourceTexts.size(), 5u);

    Program hand;
    hand.resetCodeTable(3);
    ASSERT_TRUE(AnalyseCode(std::vector<std::string>{"ORGANIZATION_BLOCK MAIN:OB1", "  LD I0.0 ", "= Q0.0"}, hand, mem,
                            r.log));
    EXPECT_EQ(hand.sourceText(1), "LD I0.0");
    EXPECT_EQ(hand.sourceText(2), "= Q0.0");
}

TEST(ReaderFiles, TooShortFilesAreIgnoredSilently) {
    Reader r;
    ASSERT_TRUE(r.loadFile("good.awl", "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nEND_ORGANIZATION_BLOCK\n"));
    const auto before = r.reader.lines;
    // Two counted lines; everything before the main block is not counted.
    EXPECT_FALSE(r.loadFile("short.awl", "BEGIN\nLD I0.0\nORGANIZATION_BLOCK MAIN:OB1\n// x\nTITLE=t\n\nBEGIN\n"));
    EXPECT_FALSE(r.loadFile("empty.awl", ""));
    EXPECT_FALSE(r.loadFile("no_main.awl", "BEGIN\nLD I0.0\n= Q0.0\nEND\n"));
    EXPECT_EQ(r.reader.lines, before);
    EXPECT_EQ(r.prog.CodeTable.size(), 3u);
    EXPECT_TRUE(r.sink.lines.empty());
}

TEST(ReaderFiles, AMissingFileIsAnIllegalSource) {
    Reader r;
    EXPECT_FALSE(r.reader.loadcode(Reader::tempFile("does_not_exist.awl").string(), r.prog, r.log));
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 源程序非法"});
    r.sink.lines.clear();
    // A folder opens but cannot be read.
    EXPECT_FALSE(r.reader.loadcode(Reader::tempFile("").parent_path().string(), r.prog, r.log));
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 源程序非法"});
    r.sink.lines.clear();
    // An endless device is read only up to the size limit, then refused.
    EXPECT_FALSE(r.reader.loadcode("/dev/zero", r.prog, r.log));
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 源程序非法"});
}

TEST(ReaderFiles, MoreLinesThanA16BitIndexHoldsAreAnIllegalSource) {
    Reader r;
    std::string bytes = "ORGANIZATION_BLOCK MAIN:OB1\n";
    for (int i = 0; i < 32767; ++i) bytes += "NOP 0\n";
    EXPECT_FALSE(r.reader.loadText(bytes, r.prog, r.log));
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 源程序非法"});
    EXPECT_TRUE(r.reader.lines.empty());
    EXPECT_FALSE(r.prog.loaded());
}

TEST(ReaderFiles, RawLineTestsLookAtTheLineAsRead) {
    Reader r;
    // Indented TITLE and ORGANIZATION_BLOCK lines are not recognised as such.
    const std::string bytes = join({"  ORGANIZATION_BLOCK X:OB1", "ORGANIZATION_BLOCK MAIN:OB1", "  TITLE=x",
                                    "TITLE=y", "Network 1 //x//y", "IN1:BOOL; // a:INT;", "X:DINT;", "END_ORGANIZATION_BLOCK"},
                                   "\n");
    ASSERT_TRUE(r.loadFile("raw.awl", bytes));
    EXPECT_EQ(r.reader.lines,
              (std::vector<std::string>{"ORGANIZATION_BLOCK MAIN:OB1", "TITLE=x", "Network 1", ":BOOL;", ":DINT;",
                                        "END_ORGANIZATION_BLOCK 5"}));
}

TEST(ReaderFiles, MixedLineBreaksAndCommentsAfterQuotes) {
    Reader r;
    // CR LF, CR alone, LF alone and LF CR (two breaks) in one file; a "//" inside quotes is
    // text, one after them a comment; a single slash is text.
    const std::string bytes = "ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\rNetwork 1 // a\n\rLD     I0.0//x\r\n\r\n"
                              "MOVB   \"a//b\", VB0 // c\nS      Q0.0, 1 /x\nEND_ORGANIZATION_BLOCK";
    ASSERT_TRUE(r.loadFile("breaks.awl", bytes));
    EXPECT_EQ(r.reader.lines,
              (std::vector<std::string>{"ORGANIZATION_BLOCK MAIN:OB1", "BEGIN", "Network 1", "LD     I0.0",
                                        "MOVB   \"a//b\", VB0", "S      Q0.0, 1 /x", "END_ORGANIZATION_BLOCK 6"}));
    EXPECT_EQ(r.reader.fileLines, (std::vector<int>{1, 2, 3, 5, 7, 8, 9}));
}

struct Utf8Case {
    const char* bytes;
    bool valid;
};

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, RejectsMalformedSequences) {
    EXPECT_EQ(isValidUtf8(GetParam().bytes), GetParam().valid) << GetParam().bytes;
}

INSTANTIATE_TEST_SUITE_P(Sequences, Utf8Validity,
                         ::testing::Values(Utf8Case{"", true}, Utf8Case{"LD I0.0", true}, Utf8Case{"中文", true},
                                           Utf8Case{"\xF0\x9F\x98\x80", true}, Utf8Case{"\xD6\xD0\xCE\xC4", false},
                                           Utf8Case{"\xC0\xAF", false},          // overlong "/"
                                           Utf8Case{"\xE0\x80\xAF", false},      // overlong
                                           Utf8Case{"\xED\xA0\x80", false},      // surrogate
                                           Utf8Case{"\xF4\x90\x80\x80", false},  // above U+10FFFF
                                           Utf8Case{"\xE4\xB8", false},          // cut off
                                           Utf8Case{"\x80", false}, Utf8Case{"\xFF", false},
                                           Utf8Case{"LD     I0.0 // a long plain line\xFF", false},
                                           Utf8Case{"1234567中文 and more plain text", true},
                                           Utf8Case{"12345678\xE4\xB8", false}));

TEST(TextEncoding, Gb18030RoundTripsEveryCharacterItCovers) {
    const std::string text = "主程序 电机控制 速度:WORD; ÄÖ € 😀";
    const std::string gb = utf8ToGb18030(text);
    EXPECT_NE(gb, text);
    EXPECT_FALSE(isValidUtf8(gb));
    EXPECT_EQ(toUtf8(gb), text);
    EXPECT_EQ(toUtf8(text), text);
    EXPECT_EQ(utf8ToGb18030("中文"), "\xD6\xD0\xCE\xC4");
    // A lead byte cut off by the end of the text.
    EXPECT_EQ(toUtf8("A\xD6"), "A\xEF\xBF\xBD");
}

TEST(ReaderRun, ALoadedAndBuiltFileRuns) {
    Reader r;
    const std::string bytes =
        join({"ORGANIZATION_BLOCK MAIN:OB1", "BEGIN", "Network 1 // 自保持", "LD I0.0", "O Q0.0", "AN I0.1", "= Q0.0",
              "END_ORGANIZATION_BLOCK"},
             "\r\n");
    ASSERT_TRUE(r.loadFile("run.awl", utf8ToGb18030(bytes)));
    PlcMemory mem(&r.log);
    ASSERT_TRUE(AnalyseCode(r.reader.lines, r.prog, mem, r.log));
    Interpreter cpu(mem, r.prog, r.log);
    mem.setCell(area::I, kOn);
    cpu.RunExec(0);
    EXPECT_EQ(mem.cell(area::Q), kOn);
    mem.setCell(area::I, kOff);
    cpu.RunExec(0);
    EXPECT_EQ(mem.cell(area::Q), kOn);  // holds itself
    mem.setCell(area::I + 1, kOn);
    cpu.RunExec(0);
    EXPECT_EQ(mem.cell(area::Q), kOff);
    EXPECT_TRUE(r.sink.lines.empty());
}

// --- the load command around the reader -----------------------------------------------

// Network 1 jumps over network 2 to label 1, so Q0.0 stays off and Q0.1 comes on.
const char* kJumpProgram =
    "ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\nJMP    1\r\nNetwork 2\r\n"
    "LD     SM0.0\r\n=      Q0.0\r\nNetwork 3\r\nLBL    1\r\nLD     SM0.0\r\n=      Q0.1\r\n"
    "END_ORGANIZATION_BLOCK\r\n";

struct CommandViews : ViewHooks {
    std::string nextFile;
    bool throwInDialog = false;
    std::string chooseProgramFile(const std::string&) override {
        if (throwInDialog) throw std::runtime_error("dialog");
        return nextFile;
    }
};

struct LoadRig {
    MemoryLogSink sink;
    AutoPrompt prompt;
    CommandViews views;
    VirtualScheduler clock;
    Simulator sim{clock, &sink, &prompt, &views};
    LoadRig() { sim.log.setClock([] { return std::string("09:30:00"); }); }
    void load(const std::string& name, const std::string& text) {
        views.nextFile = Reader::tempFile(name).string();
        std::ofstream(views.nextFile, std::ios::binary) << text;
        sim.loadProgramCommand();
    }
    // One pass with a clean image: did the jump skip network 2?
    bool jumpTaken() {
        sim.memory.ClearImage();
        sim.runPass();
        return !sim.memory.bit(area::Q) && sim.memory.bit(area::Q + 1);
    }
};

enum class CancelAt { RunQuestion, OverwriteQuestion, Dialog };

class LoadCommandCancel : public ::testing::TestWithParam<CancelAt> {};

TEST_P(LoadCommandCancel, KeepsTheProgramWithItsLabels) {
    LoadRig r;
    r.load("jump.awl", kJumpProgram);
    ASSERT_TRUE(r.jumpTaken());
    ASSERT_EQ(r.sim.program.labels[0][1], 9);
    r.sink.lines.clear();
    switch (GetParam()) {
    case CancelAt::RunQuestion:
        r.sim.scan.continuousRun();
        r.prompt.answer = false;
        break;
    case CancelAt::OverwriteQuestion:
        r.prompt.answer = false;
        break;
    case CancelAt::Dialog:
        r.views.nextFile.clear();
        break;
    }
    r.sim.loadProgramCommand();
    if (GetParam() == CancelAt::RunQuestion) {
        EXPECT_TRUE(r.sim.running());
        r.sim.scan.stop();
    }
    EXPECT_EQ(r.sim.program.labels[0][1], 9);
    EXPECT_TRUE(r.jumpTaken());
    EXPECT_EQ(r.sim.programBaseName(), "jump");
    EXPECT_TRUE(r.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Steps, LoadCommandCancel,
                         ::testing::Values(CancelAt::RunQuestion, CancelAt::OverwriteQuestion, CancelAt::Dialog));

TEST(LoadCommandCancel, AfterStoppingForTheLoadACancelledDialogLeavesNoProgramAndNoName) {
    LoadRig r;
    r.load("jump.awl", kJumpProgram);
    r.sim.scan.continuousRun();
    r.views.nextFile.clear();
    r.sim.loadProgramCommand();
    EXPECT_FALSE(r.sim.running());
    EXPECT_FALSE(r.sim.hasProgram());
    EXPECT_EQ(r.sim.programBaseName(), "");
    EXPECT_EQ(r.sim.caption(), kProductTitle);
}

TEST(LoadCommandLabels, AFileReadButNotBuiltLeavesNoLabels) {
    LoadRig r;
    r.load("jump.awl", kJumpProgram);
    // A file that is not an STL export is read but not built; the labels of the old program go.
    r.load("jump2.txt", kJumpProgram);
    EXPECT_EQ(r.sim.program.labels[0][1], 0);
}

TEST(LoadCommandFailures, AnUnloadedProgramDoesNotComeBackWhenTheNextFileFails) {
    LoadRig r;
    r.load("jump.awl", kJumpProgram);
    r.sim.unloadProgramCommand();
    r.sink.lines.clear();
    ASSERT_FALSE(r.sim.hasProgram());
    r.sim.loadRecentProgram(Reader::tempFile("gone.awl").string());
    EXPECT_FALSE(r.sim.hasProgram());
    EXPECT_EQ(r.sink.lines, (std::vector<std::string>{"09:30:00 源程序非法", "09:30:00 代码组装错误"}));
    // A short file is ignored the same way.
    r.sink.lines.clear();
    r.load("short.awl", "ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\n");
    EXPECT_FALSE(r.sim.hasProgram());
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 代码组装错误"});
}

// What the window says about a program file it cannot take: each kind of fault its own
// message (after the log line " 源程序非法"); a text without a program stays quiet, and real
// UTF-8 and GBK programs, even ones that are mostly Chinese or carry a stray fragment in the
// other encoding, load.
struct BadProgramCase {
    const char* name;
    std::function<std::string(const fs::path&)> make;  // writes the input, returns its path
    const char* message;                                // before the path; "" = no message
    bool loads;
};

std::string writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    return p.string();
}

// A program of a few hundred lines whose comments carry the given text.
std::string commentedProgram(const std::string& comment) {
    std::string s = "ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\n";
    for (int i = 0; i < 300; ++i) s += "LD I0.0 //" + comment + "\r\n= Q0.0\r\n";
    return s + "END_ORGANIZATION_BLOCK\r\n";
}

void PrintTo(const BadProgramCase& c, std::ostream* os) { *os << c.name; }

class BadProgramFile : public ::testing::TestWithParam<BadProgramCase> {};

TEST_P(BadProgramFile, IsToldWhatIsWrong) {
    LoadRig r;
    const BadProgramCase& c = GetParam();
    const std::string path = c.make(testTmpDir("loader"));
    r.sim.loadRecentProgram(path);
    EXPECT_EQ(r.sim.hasProgram(), c.loads);
    const std::string message = c.message;
    EXPECT_EQ(r.prompt.informed, message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message + path});
    if (!message.empty()) {
        ASSERT_FALSE(r.sink.lines.empty());
        EXPECT_EQ(r.sink.lines[0], "09:30:00 源程序非法");
    }
}

const std::string kGbkChinese = utf8ToGb18030("电机启动，传送带正转，延时五秒后停止；报警复位");

INSTANTIATE_TEST_SUITE_P(
    Files, BadProgramFile,
    ::testing::Values(
        BadProgramCase{"folder", [](const fs::path& d) { return d.string(); }, "这是文件夹，不是程序文件：", false},
        BadProgramCase{"missing", [](const fs::path& d) { return (d / "gone.awl").string(); }, "无法读取程序文件：",
                       false},
        BadProgramCase{"over_64_mib",
                       [](const fs::path& d) {
                           // Sparse: the size says it all, nothing is read.
                           const fs::path p = d / "huge.awl";
                           writeBytes(p, commentedProgram("x"));
                           fs::resize_file(p, StlReader::kMaxProgramBytes + 1);
                           return p.string();
                       },
                       "程序文件超过64MB，不能载入：", false},
        BadProgramCase{"over_32767_lines",
                       [](const fs::path& d) {
                           std::string s = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n";
                           for (int i = 0; i < 32767; ++i) s += "NOP 0\n";
                           return writeBytes(d / "long.awl", s + "END_ORGANIZATION_BLOCK\n");
                       },
                       "程序超过32767行，不能载入：", false},
        BadProgramCase{"nul_bytes",
                       [](const fs::path& d) {
                           return writeBytes(d / "nul.awl", commentedProgram("x") + std::string(1, '\0'));
                       },
                       "不是文本文件，不能作为程序载入：", false},
        BadProgramCase{"undecodable_bytes",
                       [](const fs::path& d) {
                           // No NUL, but mostly control characters and bytes no encoding takes.
                           std::string s;
                           for (int i = 0; i < 20000; ++i) s += "\x80\x01\xFF\x02";
                           return writeBytes(d / "noise.awl", commentedProgram("x") + s);
                       },
                       "不是文本文件，不能作为程序载入：", false},
        BadProgramCase{"no_program",
                       [](const fs::path& d) { return writeBytes(d / "short.awl", "ORGANIZATION_BLOCK MAIN:OB1\n"); },
                       "", false},
        BadProgramCase{"gbk_mostly_chinese",
                       [](const fs::path& d) { return writeBytes(d / "gbk.awl", commentedProgram(kGbkChinese)); }, "",
                       true},
        BadProgramCase{"utf8_with_gbk_fragment",
                       [](const fs::path& d) {
                           std::string s = commentedProgram("电机启动，传送带正转，延时五秒后停止；报警复位");
                           return writeBytes(d / "mixed.awl", s + "// " + kGbkChinese + "\r\n");
                       },
                       "", true}),
    [](const auto& p) { return std::string(p.param.name); });

// Bytes that do not decode are replaced one by one; a text full of them still takes time in
// proportion to its size (it once took the square).
TEST(TextEncoding, EveryUndecodableByteBecomesOneReplacementCharacter) {
    // Many bytes neither encoding takes, far apart from each other (the decoding time of such
    // input is measured in bench_loader).
    std::string bytes;
    for (int i = 0; i < 64 * 1024; ++i) bytes += "\x80" "A";
    const std::string text = toUtf8(bytes);
    EXPECT_EQ(text.size(), 64u * 1024u * 4u);
    EXPECT_EQ(text.substr(0, 8), "\xEF\xBF\xBD" "A" "\xEF\xBF\xBD" "A");
    EXPECT_EQ(text.substr(text.size() - 4), "\xEF\xBF\xBD" "A");
}

// A text is refused when more than one byte in eight is a stray control character, counted
// over the whole file: among UTF-8 characters, and after a byte that is not UTF-8 (the text
// is then read as GBK).
TEST(TextEncoding, StrayControlsAreCountedOverTheWholeText) {
    for (const std::string& base : {std::string("电机启动 LD I0.0 传送带 = Q0.0 报警复位 AN M0.1 ok"),
                                    kGbkChinese + "LD I0.0 = Q0.0 AN M0.1 ok " + kGbkChinese}) {
        // Controls spread between the characters: k of them pass while 8k <= size.
        auto withControls = [&](std::size_t k) {
            std::string s = base;
            const std::size_t at = s.find(" ok") + 1;
            for (std::size_t n = 0; n < k; ++n) s.insert(at + n % 2, 1, n % 2 ? '\x01' : '\x1F');
            return s;
        };
        const std::size_t most = base.size() / 7;
        SCOPED_TRACE(base);
        EXPECT_TRUE(textToUtf8(withControls(most)).has_value());
        EXPECT_FALSE(textToUtf8(withControls(most + 1)).has_value());
        EXPECT_TRUE(textToUtf8(base + std::string(base.size() / 4, '\n') + "\t\r\f\v\x1A").has_value());
    }
}

// Every control character at every place in a word of eight bytes, among ASCII and among GBK
// characters whose bytes lie in 0x80-0x9F: each stray one counts once, nothing else counts.
TEST(TextEncoding, EachStrayControlCountsOnceWhereverItStands) {
    std::string gbk;
    for (int i = 0; i < 21; ++i) gbk += "\x81\x80" "b";
    gbk += "b";
    struct Case {
        std::string text;  // 64 bytes
        int step, first;   // the k-th control replaces the byte at first + k * step (mod 64)
    };
    for (const Case& base : {Case{std::string(64, 'a'), 9, 0}, Case{gbk, 3, 2}}) {
        for (int c = 1; c < 0x80; ++c) {
            const bool stray = c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1A;
            // 128 bytes with c at k places, one at each place in a word: 16 stray ones pass, 17 do not.
            auto text = [&](int k) {
                std::string t = base.text + base.text;
                for (int j = 0; j < k; ++j)
                    t[static_cast<std::size_t>(64 + (base.first + j * base.step) % 64)] = static_cast<char>(c);
                return t;
            };
            SCOPED_TRACE(c);
            EXPECT_TRUE(textToUtf8(text(16)).has_value());
            EXPECT_EQ(textToUtf8(text(17)).has_value(), !stray);
        }
    }
}

// A line ends at LF, CR LF or a lone CR wherever it falls; lines of every length up to 39
// bytes, so that the ends fall at every place in a block of sixteen bytes.
TEST(ReaderFiles, LineEndsAreFoundAtEveryPlace) {
    const std::array<std::string, 3> ends{"\n", "\r\n", "\r"};
    for (std::size_t e = 0; e < ends.size(); ++e) {
        std::string bytes = "ORGANIZATION_BLOCK MAIN:OB1" + ends[e] + "BEGIN" + ends[e];
        std::vector<std::string> expected{"ORGANIZATION_BLOCK MAIN:OB1", "BEGIN"};
        for (std::size_t k = 1; k < 40; ++k) {
            expected.push_back("x" + std::string(k - 1, static_cast<char>('a' + k % 26)));
            bytes += expected.back() + ends[(e + k) % ends.size()];
        }
        expected.emplace_back("END_ORGANIZATION_BLOCK 41");
        bytes += "END_ORGANIZATION_BLOCK";  // the last line without a line end
        Reader r;
        ASSERT_TRUE(r.reader.loadText(bytes, r.prog, r.log));
        EXPECT_EQ(r.reader.lines, expected) << e;
    }
}

TEST(LoadCommandFailures, AFailureOutsideTheReaderIsLogged) {
    LoadRig r;
    r.load("jump.awl", kJumpProgram);
    r.sink.lines.clear();
    r.views.throwInDialog = true;
    r.sim.loadProgramCommand();
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"09:30:00 打开用户AWL文件错误"});
    EXPECT_TRUE(r.jumpTaken());
}

}  // namespace
