#include "platform/file_read.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

namespace korvane {

FileRead readFileBounded(const std::string& path, std::size_t maxBytes, std::string& out) {
    // Plain C reads: a folder or an unreadable file shows up as a status, not as an
    // exception from the stream library.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return FileRead::CannotOpen;
    struct stat st {};
    std::string bytes;
    if (::fstat(fileno(f), &st) == 0) {
        FileRead early = FileRead::Ok;
        if (S_ISDIR(st.st_mode)) early = FileRead::Folder;
        else if (S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > maxBytes)
            early = FileRead::TooLarge;
        if (early != FileRead::Ok) {
            std::fclose(f);
            return early;
        }
        // A file read in one piece of the size it has now (one byte more tells that it grew
        // meanwhile: the rest is read as from a pipe).
        if (S_ISREG(st.st_mode) && st.st_size > 0) {
            bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        }
    }
    char buf[1 << 16];
    // One byte past the bound tells a file of exactly maxBytes from a longer one.
    while (bytes.size() <= maxBytes) {
        const std::size_t want = std::min(sizeof buf, maxBytes + 1 - bytes.size());
        const std::size_t n = std::fread(buf, 1, want, f);
        if (n == 0) break;
        bytes.append(buf, n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return FileRead::ReadError;
    if (bytes.size() > maxBytes) return FileRead::TooLarge;
    out = std::move(bytes);
    return FileRead::Ok;
}

bool readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& out) {
    return readFileBounded(path, maxBytes, out) == FileRead::Ok;
}

}  // namespace korvane
