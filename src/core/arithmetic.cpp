#include "core/interpreter.h"

namespace korvane {

// Not yet executed: lines of this family run as no-operations.
void execArithmetic(Interpreter&, CodeLine&) {}

}  // namespace korvane
