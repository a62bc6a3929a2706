#pragma once
// GetParamValue turns one operand text into a number (a key into the image, a timer or
// counter key, or a constant) and, for some forms, an operand kind stored in the line.
#include <string_view>

#include "core/code_table.h"

namespace korvane {

// strCodeInstru: the line's mnemonic; strCodeParamTemp: the trimmed operand text; line: the
// line's index in prog.CodeTable; operandIndex: the operand's position (0 first).
// May set the kind slot of the operand (and, for accumulators in BTI/ITB/ITD/DTI, of operands
// 0 and 1) and entry lines in the routine tables. Never fails: unreadable text gives 0.
double GetParamValue(Program& prog, std::string_view strCodeInstru, std::string_view strCodeParamTemp, int line,
                     int operandIndex);

}  // namespace korvane
