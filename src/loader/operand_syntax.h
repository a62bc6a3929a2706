#pragma once
// What an operand text names, read independently of the numbers the decoder gives it: the
// form (constant, bit, byte, word, ...), the area and the offset. The code builder uses it to
// find operands that name nothing or lie outside their area, and to resolve symbols, local
// variable names and routine names into addresses before decoding.
#include <string>
#include <string_view>

namespace korvane {

enum class OperandForm : unsigned char {
    Invalid,      // names nothing this CPU has
    Constant,     // a number: decimal, 16#, 2#, &H, &O, or a real
    Bit,          // I0.0, SM0.1, V10.7, S2.1, L0.0
    Byte,         // IB0, SMB34, VB100, LB2, SB1
    Word,         // IW0, VW100, AIW0, AQW2, SMW22
    DWord,        // ID0, VD100, SMD2
    Timer,        // T37
    Counter,      // C5
    Accumulator,  // AC0 to AC3
    AddressOf,    // &VB100
    Pointer,      // *VD100, *LD4, *AC1
    Routine,      // SBR0, INT1
};

enum class AreaId : unsigned char { None, I, Q, M, V, SM, S, L, AI, AQ, T, C, AC };

struct OperandSyntax {
    OperandForm form = OperandForm::Invalid;
    AreaId area = AreaId::None;
    long offset = 0;  // the byte offset; the number of T n, C n, AC n, SBR n, INT n
    int bit = 0;      // Bit: the bit number as written (0 to 9)
    int bytes = 0;    // the bytes the operand covers: 1, 2 or 4 (0 for bits and numbers)
    double value = 0;  // a decimal, &H or &O constant's value (stl::numericValue)
};

// Reads an operand text (already trimmed). Upper-case area letters only, as exported.
OperandSyntax parseOperand(std::string_view text);

// The size of an area: bytes for I, Q, M, V, SM, S, L, AI, AQ; numbers for T, C, AC.
long areaSize(AreaId area);

// Whether the operand lies inside its area: every byte of a byte, word or double word, the
// byte of a bit, a timer or counter number below 256, AC0 to AC3, an analog word at an even
// offset. Constants, routines and other forms are inside.
bool insideArea(const OperandSyntax& s);

// "symbol:address" as a MicroWIN export may write it ("INT_0:INT0", "Start:I0.0"): the part
// after the last ':' when it reads as an operand; empty otherwise.
std::string_view addressAfterSymbol(std::string_view text);

// A symbol name: letters (any script), digits and '_', not starting with a digit.
bool isSymbolName(std::string_view text);

// The address text of a local variable of the given declaration type (0 BOOL, 1 BYTE,
// 2 WORD, 3 INT, 4 DWORD, 5 DINT, 6 REAL) at local-memory bit offset j: "L1.3", "LB2",
// "LW4", "LD8". Empty for other types.
std::string localAddress(int type, int j);

}  // namespace korvane
