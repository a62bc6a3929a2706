#include <gtest/gtest.h>

#include "core/code_table.h"

using namespace korvane;

namespace {

TEST(OperandFetch, ReadsEachKindItsOwnWayAndMemoryUnsigned) {
    PlcMemory mem;
    mem.tobit(0xAB, 96, 8);                       // IB12
    mem.tobit(0xFFFF, area::V + 80, 16);          // VW10
    mem.tobit(0x3F800000, area::V + 160, 32);     // VD20 holds 1.0 as a real
    mem.timers()[37].Current = 123;
    mem.counters()[4].Current = -7;
    mem.setCell(area::T + 37, kOn);
    mem.tobit(64 + 10, area::V + 240, 32);        // VD30 = &VB10, a pointer to VW10
    struct Case {
        double number;
        int kind;
        double value;
    } cases[] = {{96, kind::Constant, 96},
                 {96, kind::Byte, 0xAB},
                 {area::V + 80, kind::Word, 65535},
                 {area::V + 160, kind::DWord, 0x3F800000},
                 {area::T + 37, kind::Timer, 123},  // the record, not the bit
                 {area::C + 4, kind::Counter, -7},
                 // a pointer operand reads what it points at, with the instruction's width
                 {area::V + 240, kind::IndirectByte, 0xFF},
                 {area::V + 240, kind::IndirectWord, 0xFFFF},
                 {area::V + 240, kind::IndirectDWord, 0xFFFF0000},
                 {-5, kind::Constant, -5}};
    for (const auto& c : cases) {
        CodeLine line;
        line.setOperand(0, c.number, c.kind);
        EXPECT_EQ(GetCodeParamVal(mem, line, 0), c.value) << c.number << "/" << c.kind;
    }
    CodeLine real;
    real.setOperand(0, 1.5, kind::Constant);
    real.setOperand(1, area::V + 160, kind::DWord);
    EXPECT_EQ(GetCodeParamRealVal(mem, real, 0), 1.5);
    EXPECT_EQ(GetCodeParamRealVal(mem, real, 1), 1.0);
}

TEST(OperandFetch, KeysOutsideTheImageOrTheTablesFault) {
    PlcMemory mem;
    struct Case {
        double number;
        int kind;
    } cases[] = {{19200, kind::Word}, {-8, kind::Byte}, {area::T + 256, kind::Timer},
                 {area::C - 1, kind::Counter}, {1e12, kind::DWord}};
    for (const auto& c : cases) {
        CodeLine line;
        line.setOperand(0, c.number, c.kind);
        EXPECT_THROW(GetCodeParamVal(mem, line, 0), PlcFault) << c.number << "/" << c.kind;
    }
}

TEST(CodeTable, ATableOfOneRowIsNoProgram) {
    Program p;
    EXPECT_FALSE(p.loaded());
    p.resetCodeTable(3);
    EXPECT_TRUE(p.loaded());
    p.resetCodeTable(0);
    EXPECT_EQ(p.CodeTable.size(), 1u);
    EXPECT_FALSE(p.loaded());
}

TEST(Opcodes, EveryMnemonicResolvesToItsOwnOpcodeAndTheComparesComeApart) {
    for (std::size_t i = 0; i < kOpCount; ++i) {
        const auto op = static_cast<Op>(i);
        if (op == Op::Unknown) continue;
        EXPECT_EQ(opcodeOf(kOpInfo[i].mnemonic), op) << kOpInfo[i].mnemonic;
    }
    EXPECT_EQ(opcodeOf("ld"), Op::Unknown);
    EXPECT_EQ(opcodeOf("XYZ"), Op::Unknown);
    const Op ow = opcodeOf("OW<>");
    EXPECT_EQ(compareForm(ow), CompareForm::Or);
    EXPECT_EQ(compareType(ow), CompareType::Word);
    EXPECT_EQ(compareRelation(ow), Relation::Ne);
    const Op ldr = opcodeOf("LDR<=");
    EXPECT_EQ(compareForm(ldr), CompareForm::Load);
    EXPECT_EQ(compareType(ldr), CompareType::Real);
    EXPECT_EQ(compareRelation(ldr), Relation::Le);
    // What runs while a CSCRE skips the rest of its segment.
    EXPECT_TRUE(runsUnderScrSkip(Op::Network));
    EXPECT_TRUE(runsUnderScrSkip(Op::SCRE));
    EXPECT_TRUE(runsUnderScrSkip(Op::CRETI));
    EXPECT_FALSE(runsUnderScrSkip(Op::SCRT));
    EXPECT_FALSE(runsUnderScrSkip(Op::LD));
    EXPECT_FALSE(runsUnderScrSkip(Op::CALL));
}

}  // namespace
