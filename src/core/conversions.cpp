// Conversions: BCD, decode and encode, byte swap, hexadecimal ASCII and numbers to ASCII
// text.
// Not executed yet: the dispatcher logs these lines as it logs an unknown mnemonic.
#include "core/interpreter.h"

namespace korvane {

void execConversion(Interpreter& /*cpu*/, CodeLine& /*line*/) {}

}  // namespace korvane
