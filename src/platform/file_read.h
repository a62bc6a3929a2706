#pragma once
// Reading a whole user file (program, status table, rack) with an upper bound on its size.
#include <cstddef>
#include <string>

namespace korvane {

// Reads the file at path into out. False when it cannot be opened or read (a folder, say)
// or when it holds more than maxBytes; an endless device picked by mistake then costs no
// more than maxBytes of reading.
bool readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& out);

}  // namespace korvane
