// Constant strings in program lines: split at the commas outside their quotes, kept whole
// through "//", stored in the program's string pool, and checked where they stand.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "loader/code_builder.h"
#include "loader/program_check.h"
#include "loader/stl_reader.h"

using namespace korvane;

namespace {

int vb(int n) { return area::V + 8 * n; }

struct Built {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Program prog;
    StlReader reader;
    std::vector<Finding> findings;

    explicit Built(const std::string& body) {
        const std::string text = "ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\n" + body + "END_ORGANIZATION_BLOCK\r\n";
        EXPECT_TRUE(reader.loadText(text, prog, log));
        BuildInputs in;
        in.declarationNames = &reader.declarationNames;
        EXPECT_TRUE(AnalyseCode(reader.lines, prog, mem, log, in));
        findings = CheckProgram(prog, reader.lines, reader.fileLines);
    }
    const CodeLine& line(int i) const { return prog.CodeTable.at(static_cast<std::size_t>(3 + i)); }
    std::string constant(int i, int k) const {
        EXPECT_EQ(line(i).kindOf(k), kind::String);
        return prog.strings.at(static_cast<std::size_t>(line(i).number(k)));
    }
};

TEST(StringConstants, AreOneOperandWithTheirCommasBlanksAndSlashes) {
    Built b("SCPY   \"A, B\", VB100\r\n"
            "SFND   \"http://x, y\", \"//\", VB5 // the search\r\n"
            "LDS=   \"\", VB0\r\n"
            "SCPY   \"温度\", VB10\r\n"
            "SCPY   \"X:INT;\", *VD4\r\n");
    EXPECT_TRUE(b.findings.empty());
    EXPECT_EQ(b.line(0).operandCount(), 2);
    EXPECT_EQ(b.constant(0, 0), "A, B");
    EXPECT_EQ(b.line(0).kindOf(1), kind::Byte);
    EXPECT_EQ(b.line(0).number(1), vb(100));
    EXPECT_EQ(b.line(1).operandCount(), 3);
    EXPECT_EQ(b.constant(1, 0), "http://x, y");
    EXPECT_EQ(b.constant(1, 1), "//");
    EXPECT_EQ(b.constant(2, 0), "");
    EXPECT_EQ(b.constant(3, 0), "\xCE\xC2\xB6\xC8") << "held in GBK, as the CPU holds it";
    EXPECT_EQ(b.constant(4, 0), "X:INT;");
    EXPECT_EQ(b.line(4).kindOf(1), kind::IndirectByte);
}

TEST(StringConstants, TheCheckFindsStringOperandsOfTheWrongFormAndOverlongConstants) {
    std::string chinese64;
    for (int i = 0; i < 64; ++i) chinese64 += "温";
    Built b("SCPY   VB0, \"OUT\"\r\n"                              // a constant where it writes
            "LDS=   VB0, \"ABC\"\r\n"                              // a constant as IN2 of a compare
            "SCPY   VW0, VB10\r\n"                                 // not a byte
            "SCPY   MB0, VB10\r\n"                                 // not V or L
            "SCPY   \"" + std::string(127, 'x') + "\", VB10\r\n"   // 127 bytes
            "SCPY   \"" + std::string(126, 'x') + "\", VB10\r\n"   // 126 bytes is fine
            "LDS=   \"" + chinese64 + "\", VB0\r\n"                 // 64 characters, 128 bytes in GBK
            "=      Q0.0\r\n");
    using K = FindingKind;
    std::vector<std::pair<int, FindingKind>> got;
    for (const Finding& f : b.findings) got.emplace_back(f.fileLine, f.kind);
    EXPECT_EQ(got, (std::vector<std::pair<int, FindingKind>>{
                       {4, K::WrongType}, {5, K::WrongType}, {6, K::WrongType}, {7, K::WrongType}, {8, K::StringTooLong},
                       {10, K::StringTooLong}}));
    EXPECT_EQ(findingMessage(b.findings.back()), "字符串常数超过126个字节");
    EXPECT_EQ(b.line(0).Guard, LineGuard::NamesNothing) << "a box with a constant output does nothing";
    EXPECT_EQ(b.line(4).Guard, LineGuard::NamesNothing);
    EXPECT_EQ(b.line(5).Guard, LineGuard::None);
}

}  // namespace
