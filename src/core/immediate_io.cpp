// Immediate I/O: contacts and outputs that reach the I/O terminals at the moment they
// execute, and the immediate byte moves.
// Not executed yet: the dispatcher logs these lines as it logs an unknown mnemonic.
#include "core/interpreter.h"

namespace korvane {

void execImmediate(Interpreter& /*cpu*/, CodeLine& /*line*/) {}

}  // namespace korvane
