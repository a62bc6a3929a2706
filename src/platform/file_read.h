#pragma once
// Reading a whole user file (program, status table, rack) with an upper bound on its size.
#include <cstddef>
#include <string>

namespace korvane {

enum class FileRead {
    Ok,
    CannotOpen,  // missing, or no permission
    Folder,      // a folder, not a file
    TooLarge,    // more than the bound
    ReadError,   // opened, but reading failed
};

// Reads the file at path into out (left unchanged unless Ok). At most maxBytes + 1 bytes are
// read: an endless device or pipe picked by mistake costs no more than that, and a regular
// file whose size is already past the bound is refused without reading.
FileRead readFileBounded(const std::string& path, std::size_t maxBytes, std::string& out);

// The same as a yes/no answer: true when Ok.
bool readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& out);

}  // namespace korvane
