#include "platform/file_read.h"

#include <cstdio>

namespace korvane {

bool readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& out) {
    // Plain C reads: a folder or an unreadable file shows up as a read error, not as an
    // exception from the stream library.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string bytes;
    char buf[1 << 16];
    std::size_t n = 0;
    while (bytes.size() <= maxBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    const bool ok = !std::ferror(f) && bytes.size() <= maxBytes;
    std::fclose(f);
    if (ok) out = std::move(bytes);
    return ok;
}

}  // namespace korvane
