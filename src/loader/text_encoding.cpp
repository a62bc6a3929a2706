#include "loader/text_encoding.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

// The converter: iconv where the build found one (the C library's on GNU systems), else the
// Windows code pages.
#if defined(KORVANE_HAVE_ICONV)
#include <iconv.h>
#elif defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#error "no text converter: build with iconv (find_package(Iconv) defines KORVANE_HAVE_ICONV)"
#endif

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

#if defined(KORVANE_HAVE_ICONV)

// Converts bytes with an iconv descriptor. An input byte the conversion rejects is replaced
// by `bad` and skipped; a sequence cut off by the end of the input likewise.
std::string convert(const char* to, const char* from, std::string_view bytes, std::string_view bad,
                    std::size_t* badCount) {
    std::string out;
    std::size_t rejected = 0;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter available: keep ASCII, replace everything else.
        out.reserve(bytes.size());
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += bad;
                ++rejected;
            }
        }
        if (badCount) *badCount = rejected;
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
            // The replacement goes into the room already there; the buffer only ever grows
            // by doubling, so a file full of bad bytes costs linear time, not quadratic.
            if (out.size() - used < bad.size() + 16) out.resize(out.size() * 2 + bad.size());
            out.replace(used, bad.size(), bad);
            used += bad.size();
            ++rejected;
            ++in;
            --inLeft;
        } else {
            break;
        }
    }
    out.resize(used);
    iconv_close(cd);
    if (badCount) *badCount = rejected;
    return out;
}

std::string gb18030ToUtf8(std::string_view bytes, std::string_view bad, std::size_t* badCount = nullptr) {
    return convert("UTF-8", "GB18030", bytes, bad, badCount);
}

std::string utf8ToGb(std::string_view utf8, std::string_view bad) {
    return convert("GB18030", "UTF-8", utf8, bad, nullptr);
}

#else

// The Windows code page of GB18030.
constexpr UINT kGb18030CodePage = 54936;
// Runs handed to the conversion functions at once stay well inside their int sizes.
constexpr std::size_t kMaxRun = std::size_t{1} << 20;

// The length of the GB18030 sequence at p by its shape (1, 2 or 4), or 0 when none starts
// there: one byte below 0x80; a lead byte 0x81 to 0xFE with a trail byte 0x40 to 0x7E or
// 0x80 to 0xFE; or a lead byte, a digit, a lead byte and a digit.
std::size_t gbSequenceLength(const unsigned char* p, std::size_t avail) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) return 1;
    if (b0 == 0x80 || b0 == 0xFF || avail < 2) return 0;
    const unsigned char b1 = p[1];
    if ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0x80 && b1 <= 0xFE)) return 2;
    if (b1 >= 0x30 && b1 <= 0x39 && avail >= 4 && p[2] >= 0x81 && p[2] <= 0xFE && p[3] >= 0x30 && p[3] <= 0x39)
        return 4;
    return 0;
}

// Appends n bytes in code page `from` to out in code page `to` (through UTF-16); false, with
// out unchanged, when a byte sequence has no character in `from`.
bool convertRun(UINT from, UINT to, const char* p, std::size_t n, std::string& out) {
    if (n == 0) return true;
    const int inLen = static_cast<int>(n);
    const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, p, inLen, nullptr, 0);
    if (wide <= 0) return false;
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    if (MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, p, inLen, w.data(), wide) != wide) return false;
    const int len = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(len));
    if (WideCharToMultiByte(to, 0, w.data(), wide, out.data() + at, len, nullptr, nullptr) != len) {
        out.resize(at);
        return false;
    }
    return true;
}

// Converts bytes between the code pages as the iconv build does: where no character starts
// (no sequence of `from` by its shape as `sequenceLength` gives it, or one without a
// character) one byte is replaced by `bad` and skipped, and the conversion goes on after it.
std::string convertCodePages(UINT from, UINT to, std::size_t (*sequenceLength)(const unsigned char*, std::size_t),
                             std::string_view bytes, std::string_view bad, std::size_t* badCount) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2 + 16);
    std::size_t rejected = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // The longest run of well-shaped sequences from here, converted at once.
        std::size_t end = i;
        while (end < n && end - i < kMaxRun) {
            const std::size_t len = sequenceLength(p + end, n - end);
            if (len == 0) break;
            end += len;
        }
        if (convertRun(from, to, bytes.data() + i, end - i, out)) {
            i = end;
        } else {
            // A sequence in it has no character: one at a time.
            while (i < end) {
                const std::size_t len = sequenceLength(p + i, n - i);
                if (len == 0) break;
                if (convertRun(from, to, bytes.data() + i, len, out)) {
                    i += len;
                } else {
                    out += bad;
                    ++rejected;
                    ++i;
                }
            }
        }
        if (i < n && sequenceLength(p + i, n - i) == 0) {
            out += bad;
            ++rejected;
            ++i;
        }
    }
    if (badCount) *badCount = rejected;
    return out;
}

std::string gb18030ToUtf8(std::string_view bytes, std::string_view bad, std::size_t* badCount = nullptr) {
    return convertCodePages(kGb18030CodePage, CP_UTF8, gbSequenceLength, bytes, bad, badCount);
}

std::string utf8ToGb(std::string_view utf8, std::string_view bad) {
    return convertCodePages(CP_UTF8, kGb18030CodePage, utf8SequenceLength, utf8, bad, nullptr);
}

#endif

// C0 control characters that text files do not hold: all but tab, the line breaks, form
// feed and the old end-of-file mark (SUB) some editors leave at the end.
bool isStrayControl(unsigned char c) {
    return c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1A;
}

// Eight bytes at once, in memory order.
std::uint64_t eightBytes(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// True when one of the eight bytes is below 0x20 (a control character).
constexpr bool hasControlByte(std::uint64_t w) { return ((w - kEveryByte * 0x20) & ~w & kHighBits) != 0; }

// The stray control characters (isStrayControl) among eight bytes, counted at once: the
// high bit of every byte set first, so that no subtraction borrows from the next byte.
int strayControlsIn(std::uint64_t w) {
    constexpr std::uint64_t kLow7 = kEveryByte * 0x7F;
    const std::uint64_t set = w | kHighBits;
    const std::uint64_t below20 = ~(set - kEveryByte * 0x20) & ~w & kHighBits;
    const std::uint64_t from09 = (set - kEveryByte * 0x09) & kHighBits;
    const std::uint64_t below0E = ~(set - kEveryByte * 0x0E) & kHighBits;
    const std::uint64_t x = w ^ (kEveryByte * 0x1A);
    const std::uint64_t is1A = ~(((x & kLow7) + kLow7) | x | kLow7);
    // One bit per stray byte, moved to the byte's lowest bit and summed into the top byte.
    const std::uint64_t stray = (below20 & ~(from09 & below0E) & ~is1A) >> 7;
    return static_cast<int>((stray * kEveryByte) >> 56);
}

// The stray control characters from byte i on.
std::size_t strayControls(const unsigned char* p, std::size_t i, std::size_t n) {
    std::size_t count = 0;
    for (; i + 8 <= n; i += 8) {
        if (const std::uint64_t w = eightBytes(p + i); hasControlByte(w))
            count += static_cast<std::size_t>(strayControlsIn(w));
    }
    for (; i < n; ++i) count += isStrayControl(p[i]) ? 1 : 0;
    return count;
}

// isValidUtf8 and the count of stray control characters (added to count) in one pass: a
// control character is a single byte, never part of a longer sequence.
bool utf8CountingControls(std::string_view bytes, std::size_t& count) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            const std::uint64_t w = eightBytes(p + i);
            if ((w & kHighBits) == 0) {
                if (hasControlByte(w)) count += static_cast<std::size_t>(strayControlsIn(w));
                i += 8;
                continue;
            }
        }
        if (p[i] < 0x80) {
            count += isStrayControl(p[i]) ? 1 : 0;
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceLength(p + i, n - i);
        if (len == 0) {
            count += strayControls(p, i, n);
            return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        // Fast paths over plain ASCII: eight bytes at a time, then one.
        if (i + 8 <= n && (eightBytes(p + i) & kHighBits) == 0) {
            i += 8;
            continue;
        }
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
    return gb18030ToUtf8(bytes, kReplacement);
}

std::optional<std::string_view> textAsUtf8(std::string_view bytes, std::string& storage) {
    // A NUL byte never occurs in UTF-8 or GBK text; every binary format of any size holds
    // some. Looked for first, so that such a file costs one quick pass.
    if (bytes.find('\0') != std::string_view::npos) return std::nullopt;
    std::size_t suspicious = 0;
    std::string_view text = bytes;
    if (!utf8CountingControls(bytes, suspicious)) {
        std::size_t undecodable = 0;
        storage = gb18030ToUtf8(bytes, kReplacement, &undecodable);
        suspicious += undecodable;
        text = storage;
    }
    // GB18030 decodes almost every pair of bytes, so even random bytes decode mostly; but a
    // real UTF-8 or GBK text has no stray control character and no undecodable byte, or at
    // most a few (a character cut off, a pasted fragment in the other encoding).
    if (suspicious > bytes.size() / kMaxSuspiciousShare) return std::nullopt;
    return text;
}

std::optional<std::string> textToUtf8(std::string_view bytes) {
    std::string storage;
    const std::optional<std::string_view> text = textAsUtf8(bytes, storage);
    if (!text) return std::nullopt;
    if (text->data() == storage.data()) return storage;
    return std::string(*text);
}

std::string utf8ToGb18030(std::string_view utf8) { return utf8ToGb(utf8, "?"); }

}  // namespace korvane
