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

// prog.CodeTable should have lines.size() rows (a larger table is cut to size; a line
// without a row ends the build). Returns false when the build ended early at a bad line
// (logged as " 代码组装错误"); the lines before it stay built.
bool AnalyseCode(const std::vector<std::string>& lines, Program& prog, PlcMemory& mem, const Log& log);

}  // namespace korvane
