// The real-time clock: reading and setting it.
// Not executed yet: the dispatcher logs these lines as it logs an unknown mnemonic.
#include "core/interpreter.h"

namespace korvane {

void execClock(Interpreter& /*cpu*/, CodeLine& /*line*/) {}

}  // namespace korvane
