// Tables: add to table, first-in and last-in first-out, and table find.
// Not executed yet: the dispatcher logs these lines as it logs an unknown mnemonic.
#include "core/interpreter.h"

namespace korvane {

void execTable(Interpreter& /*cpu*/, CodeLine& /*line*/) {}

}  // namespace korvane
