#include "loader/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace korvane {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at p (1 to 4), or 0 when the bytes there are not
// one (stray continuation byte, overlong form, surrogate, code point above U+10FFFF, or a
// sequence cut off by the end).
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t avail) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) return 1;
    auto cont = [&](std::size_t i) { return i < avail && (p[i] & 0xC0) == 0x80; };
    if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (avail < 2) return 0;
        const unsigned char b1 = p[1];
        if (b0 == 0xE0 && b1 < 0xA0) return 0;  // overlong
        if (b0 == 0xED && b1 > 0x9F) return 0;  // surrogates
        return cont(1) && cont(2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (avail < 2) return 0;
        const unsigned char b1 = p[1];
        if (b0 == 0xF0 && b1 < 0x90) return 0;  // overlong
        if (b0 == 0xF4 && b1 > 0x8F) return 0;  // above U+10FFFF
        return cont(1) && cont(2) && cont(3) ? 4 : 0;
    }
    return 0;
}

// Converts bytes with an iconv descriptor. An input byte the conversion rejects is replaced
// by `bad` and skipped; a sequence cut off by the end of the input likewise.
std::string convert(const char* to, const char* from, std::string_view bytes, std::string_view bad) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter available: keep ASCII, replace everything else.
        out.reserve(bytes.size());
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += bad;
        }
        return out;
    }
    out.resize(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t used = 0;
    while (inLeft > 0) {
        if (out.size() - used < 16) out.resize(out.size() * 2);
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        used = static_cast<std::size_t>(dst - out.data());
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            out.resize(used);
            out += bad;
            used = out.size();
            out.resize(used + 16 + inLeft * 2);
            ++in;
            --inLeft;
        } else {
            break;
        }
    }
    out.resize(used);
    iconv_close(cd);
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        // Fast path over plain ASCII.
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceLength(p + i, n - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string toUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    return convert("UTF-8", "GB18030", bytes, kReplacement);
}

std::string utf8ToGb18030(std::string_view utf8) { return convert("GB18030", "UTF-8", utf8, "?"); }

}  // namespace korvane
