// Program control: FOR/NEXT loops, the conditional END, STOP, the watchdog reset, the
// non-fatal error code and the diagnostic LED.
// Not executed yet: the dispatcher logs these lines as it logs an unknown mnemonic.
#include "core/interpreter.h"

namespace korvane {

void execControl(Interpreter& /*cpu*/, CodeLine& /*line*/) {}

}  // namespace korvane
