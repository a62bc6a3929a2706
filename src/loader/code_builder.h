#pragma once
// AnalyseCode turns the program line list into the code table: mnemonic split off, every
// operand decoded, status fields empty; and fills the subroutine declarations with their
// local-memory keys, the label table, the event table and the timer and counter kinds.
#include <string>
#include <vector>

#include "core/code_table.h"
#include "core/plc_memory.h"
#include "platform/log_sink.h"

namespace korvane {

class SymbolTable;

// The name a declaration line declares ("IN1" of "IN1:BOOL; // comment") and the line's index.
struct DeclaredName {
    int line = 0;
    std::string name;
};

// What the builder may use beside the program lines: the symbol table that resolves
// symbolic operands ("Start_PB"), and the names of the declarations (in line order) that
// resolve local variables (#IN1) to their L addresses.
struct BuildInputs {
    const SymbolTable* symbols = nullptr;
    const std::vector<DeclaredName>* declarationNames = nullptr;
};

// prog.CodeTable should have lines.size() rows (a larger table is cut to size; a line
// without a row ends the build). Returns false when the build ended early at a bad line
// (logged as " 代码组装错误"); the lines before it stay built.
//
// Beside the code table the build records the program blocks (prog.blocks), the labels of
// each block, and every operand it could not take as written (prog.operandNotes). A line
// with an operand that names nothing does nothing when run (a contact reads it as off); a
// line with an operand outside its area is a run-time error when it acts.
bool AnalyseCode(const TextLines& lines, Program& prog, PlcMemory& mem, const Log& log,
                 const BuildInputs& inputs = {});

}  // namespace korvane
