#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/code_table.h"
#include "core/operand_access.h"

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

// The key decoded when an operand is set is keyOf of its number: rounded ties to even, and
// faulting exactly where keyOf faults; an operand never set is the constant 0 (key 0).
TEST(OperandDecode, TheDecodedKeyIsKeyOfTheNumber) {
    const double numbers[] = {0,       -0.0,    0.4,    0.5,   1.5,   2.5,   128.5, 129.5, -0.4, -0.5,
                              -0.6,    -1,      19200,  19200.4, 19200.5, 19200.6, 19201, 1e12,
                              -1e12,   std::nan(""), 3.999999, 13232};
    for (double n : numbers) {
        for (int k : {0, 2, 3, 19}) {
            CodeLine line;
            line.setOperand(k, n, kind::Byte);
            bool keyFaults = false;
            int want = -1;
            try {
                want = keyOf(n);
            } catch (const PlcFault&) {
                keyFaults = true;
            }
            if (keyFaults) {
                EXPECT_THROW((void)line.key(k), PlcFault) << n << " operand " << k;
            } else {
                EXPECT_EQ(line.key(k), want) << n << " operand " << k;
            }
            EXPECT_EQ(line.key(k == 0 ? 1 : 0), 0) << "an operand never set is key 0";
        }
    }
    CodeLine bare;
    EXPECT_EQ(bare.key(0), 0);
    EXPECT_EQ(bare.key(5), 0);
    EXPECT_EQ(bare.number(19), 0);
}

// Operands past the third live apart from the line: copies and assignments keep them, and
// each copy owns its own.
TEST(OperandDecode, LinesWithManyOperandsCopyWhole) {
    CodeLine call;
    call.setMnemonic("CALL");
    for (int k = 0; k < kMaxOperands; ++k) call.setOperand(k, 100 + k, k % 2 ? kind::Word : kind::Byte);
    CodeLine copy = call;
    CodeLine assigned;
    assigned.setOperand(7, 5);
    assigned = call;
    call.setOperand(9, 1);
    for (const CodeLine* l : {&copy, &assigned}) {
        EXPECT_EQ(l->operandCount(), kMaxOperands);
        for (int k = 0; k < kMaxOperands; ++k) {
            EXPECT_EQ(l->number(k), 100 + k);
            EXPECT_EQ(l->key(k), 100 + k);
            EXPECT_EQ(l->kindOf(k), k % 2 ? kind::Word : kind::Byte);
        }
    }
    CodeLine few;
    few.setOperand(1, 3);
    assigned = few;
    EXPECT_EQ(assigned.number(9), 0) << "the operands of the line assigned over are gone";
    EXPECT_EQ(assigned.operandCount(), 2);
}

// Reading 8, 16 and 32 bits at once gives what assembling the bytes cell by cell gives, for
// any cell values (every non-zero cell is a 1 bit), at every alignment and up to the image's
// last cell.
TEST(OperandAccess, ReadBitsMatchesTheBytesCellByCell) {
    PlcMemory mem;
    std::mt19937 rng(7);
    const std::int16_t values[] = {0, kOn, 1, 2, static_cast<std::int16_t>(0x8000), 0x7FFF, 0x100, -2};
    for (int i = 0; i < area::CellCount; ++i) mem.cells()[i] = values[rng() % 8];
    for (int width : {8, 16, 32}) {
        for (int key = area::CellCount - width; key >= 0; key -= (key > 600 && key < area::CellCount - 600) ? 97 : 1) {
            std::uint32_t want = 0;
            for (int b = 0; b < width; b += 8) {
                unsigned byte = 0;
                for (int i = 0; i < 8; ++i) byte |= static_cast<unsigned>(mem.cells()[key + b + i] != 0) << i;
                want = (want << 8) | byte;
            }
            ASSERT_EQ(access::readBits(mem, key, width), want) << "width " << width << " key " << key;
        }
        EXPECT_THROW(access::readBits(mem, area::CellCount - width + 1, width), PlcFault);
        EXPECT_THROW(access::readBits(mem, -1, width), PlcFault);
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
