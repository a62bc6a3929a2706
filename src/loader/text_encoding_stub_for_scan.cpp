// Temporary stand-in for the text decoder until the real one is merged; delete on merge.
#include "loader/text_encoding.h"

namespace korvane {

std::string toUtf8(std::string_view bytes) { return std::string(bytes); }

}  // namespace korvane
