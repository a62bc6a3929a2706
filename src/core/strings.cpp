// Strings: numbers to strings and back, length, copy, concatenation, search, and the
// string compare contacts.
// Not executed yet: the dispatcher logs these lines as it logs an unknown mnemonic.
#include "core/interpreter.h"

namespace korvane {

void execString(Interpreter& /*cpu*/, CodeLine& /*line*/) {}

}  // namespace korvane
