#include "loader/stl_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/fault.h"
#include "loader/stl_text.h"
#include "loader/text_encoding.h"
#include "platform/file_read.h"

namespace korvane {

namespace {

using stl::startsWith;
using stl::trailingNumber;
using stl::trim;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The lines of a text, one after the other: a line ends at LF, CR LF or a lone CR; a last
// line without a line end counts; a line end at the very end does not start another line.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}
    bool next(std::string_view& line) {
        const std::size_t n = text_.size();
        if (start_ >= n) return false;
        const std::size_t i = lineEnd(start_);
        if (i < n) {
            line = text_.substr(start_, i - start_);
            start_ = i + 1;
            if (text_[i] == '\r' && start_ < n && text_[start_] == '\n') ++start_;
            return true;
        }
        line = text_.substr(start_);
        start_ = n;
        return true;
    }

private:
    // The first LF or CR at or after from (the text's size when there is none), eight bytes
    // at a time.
    std::size_t lineEnd(std::size_t from) const {
        const char* d = text_.data();
        const std::size_t n = text_.size();
        std::size_t i = from;
#if defined(__SSE2__)
        // Sixteen bytes at a time where the processor compares them at once.
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
            const int ends = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
            if (ends != 0) return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(ends)));
        }
#endif
        if constexpr (std::endian::native == std::endian::little) {
            constexpr std::uint64_t kEvery = 0x0101010101010101ull;
            constexpr std::uint64_t kLow7 = kEvery * 0x7F;
            // The high bit of each byte that is zero.
            const auto zeroBytes = [](std::uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); };
            for (; i + 8 <= n; i += 8) {
                std::uint64_t w;
                std::memcpy(&w, d + i, sizeof w);
                const std::uint64_t ends = zeroBytes(w ^ (kEvery * 0x0Au)) | zeroBytes(w ^ (kEvery * 0x0Du));
                if (ends != 0) return i + static_cast<std::size_t>(std::countr_zero(ends) / 8);
            }
        }
        for (; i < n; ++i)
            if (d[i] == '\n' || d[i] == '\r') return i;
        return n;
    }
    std::string_view text_;
    std::size_t start_ = 0;
};

bool isBlankLine(std::string_view raw) { return trim(raw).empty(); }

// The raw-line filter both passes apply once the main block has begun.
bool counts(std::string_view raw) { return !startsWith(raw, "//") && !startsWith(raw, "TITLE") && !isBlankLine(raw); }

// The line without a trailing "//" comment, trimmed; a "//" inside a constant string stays.
std::string_view withoutComment(std::string_view line) {
    // Most lines: no slash at all, or the comment's "//" before any quote.
    const std::size_t slash = line.find('/');
    if (slash == std::string_view::npos) return trim(line);
    if (slash + 1 < line.size() && line[slash + 1] == '/' &&
        line.substr(0, slash).find('"') == std::string_view::npos)
        return trim(line.substr(0, slash));
    const std::size_t c = stl::commentStart(line);
    return trim(c == std::string_view::npos ? line : line.substr(0, c));
}

// The header rest after "SUBROUTINE_BLOCK " or "INTERRUPT_BLOCK ": the keyword and the one
// character after it are dropped (a multi-byte character as a whole).
std::string_view headerRest(std::string_view raw, std::size_t keywordLength) {
    if (raw.size() <= keywordLength) return {};
    std::size_t p = keywordLength + 1;
    while (p < raw.size() && (static_cast<unsigned char>(raw[p]) & 0xC0) == 0x80) ++p;
    return withoutComment(raw.substr(p));
}

// Registers the routine name of a block header "name:SBRn" in entry n of the table.
// A routine number beyond the table is an illegal source.
template <typename Table>
void registerName(Table& table, std::string_view rest) {
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return;
    const int n = trailingNumber(rest);
    if (n < 0) return;
    if (n >= static_cast<int>(table.size())) fault(FaultCode::IndexOutOfRange);
    table[n].Name = std::string(rest.substr(0, colon));
}

constexpr std::array<std::string_view, 8> kTypes{":BOOL;", ":BYTE;", ":WORD;",  ":INT;",
                                                 ":DWORD;", ":DINT;", ":REAL;", ":STRING;"};

}  // namespace

bool StlReader::loadcode(const std::string& strFileName, Program& prog, const Log& log) {
    // An export of even a very large program is a few megabytes; a file past
    // kMaxProgramBytes is refused like an unreadable one.
    std::string bytes;
    switch (readFileBounded(strFileName, kMaxProgramBytes, bytes)) {
    case FileRead::Ok: return loadText(bytes, prog, log);
    case FileRead::Folder: problem_ = ProgramFileProblem::Folder; break;
    case FileRead::TooLarge: problem_ = ProgramFileProblem::TooLarge; break;
    case FileRead::CannotOpen:
    case FileRead::ReadError: problem_ = ProgramFileProblem::CannotOpen; break;
    }
    log.stamped(" 源程序非法");
    return false;
}

bool StlReader::loadText(std::string_view fileBytes, Program& prog, const Log& log) {
    edgeCounter = 0;
    if (startsWith(fileBytes, kUtf8Bom)) fileBytes.remove_prefix(kUtf8Bom.size());
    problem_ = ProgramFileProblem::None;
    try {
        // The whole file is either UTF-8 or GBK/GB18030: decide once, decode once.
        std::string decodedStorage;
        const std::optional<std::string_view> decoded = textAsUtf8(fileBytes, decodedStorage);
        if (!decoded) {
            problem_ = ProgramFileProblem::NotText;
            log.stamped(" 源程序非法");
            return false;
        }
        const std::string_view text = *decoded;

        // Pass 1: count the lines to keep and register the routine names of the headers.
        bool mainBlock = false;
        int count = 0;
        LineCursor lines1(text);
        for (std::string_view r; lines1.next(r);) {
            if (startsWith(r, "ORGANIZATION_BLOCK")) mainBlock = true;
            if (mainBlock && counts(r)) {
                if (count == kMaxProgramLines) {
                    problem_ = ProgramFileProblem::TooManyLines;
                    fault(FaultCode::Overflow);
                }
                ++count;
            }
            if (startsWith(r, "SUBROUTINE_BLOCK"))
                registerName(prog.subroutines, headerRest(r, 16));
            else if (startsWith(r, "INTERRUPT_BLOCK"))
                registerName(prog.interrupts, headerRest(r, 15));
        }
        if (count < 3) {
            problem_ = ProgramFileProblem::NoProgram;
            return false;
        }

        // A kept line is never longer than its file line, but for the number given to EU, ED
        // and the block ends; the block is taken at once and only what is written is touched.
        lines.clear();
        lines.reserve(static_cast<std::size_t>(count), text.size() + 8 * static_cast<std::size_t>(count));
        fileLines.assign(static_cast<std::size_t>(count), 0);
        declarationNames.clear();
        prog.resetCodeTable(static_cast<std::size_t>(count));
        const int lastIndex = count - 1;

        // Pass 2: the same filter, so exactly the counted lines are stored.
        mainBlock = false;
        int index = 0;
        int fileLine = 0;
        LineCursor lines2(text);
        for (std::string_view r; lines2.next(r);) {
            ++fileLine;
            if (startsWith(r, "ORGANIZATION_BLOCK")) mainBlock = true;
            if (!mainBlock || !counts(r)) continue;
            fileLines[static_cast<std::size_t>(index)] = fileLine;
            const std::string_view t = withoutComment(r);
            if (t == "EU" || t == "ED") {
                const std::int16_t number = edgeCounter;
                lines.append(t);
                lines.append(" ");
                lines.append(std::to_string(number));
                lines.endLine();
                if (number == 32767) fault(FaultCode::Overflow);
                edgeCounter = static_cast<std::int16_t>(number + 1);
                if (number == 126) log.stamped(" 沿触发器满");
            } else if (t == "END_ORGANIZATION_BLOCK") {
                lines.append(t);
                lines.append(" ");
                lines.append(std::to_string(lastIndex));
                lines.endLine();
            } else if (t == "END_SUBROUTINE_BLOCK" || t == "END_INTERRUPT_BLOCK") {
                lines.append(t);
                lines.append(" 0");
                lines.endLine();
            } else {
                // A declaration's type, never one written inside a constant string.
                const std::string_view unquoted = t.substr(0, t.find('"'));
                std::string_view type;
                // Every type starts with its colon: a line without one declares nothing.
                if (unquoted.find(':') != std::string_view::npos)
                    for (auto ty : kTypes) {
                        if (unquoted.find(ty) != std::string_view::npos) {
                            type = ty;
                            break;
                        }
                    }
                lines.push_back(type.empty() ? t : type);
                if (!type.empty()) {
                    const std::size_t colon = t.find(':');
                    declarationNames.push_back({index, std::string(trim(t.substr(0, colon)))});
                }
            }
            if (onProgress) onProgress(index, lastIndex);
            ++index;
        }
        if (keepText) {
            if (text.data() == decodedStorage.data())
                *keepText = std::move(decodedStorage);
            else
                keepText->assign(text);
        }
        return true;
    } catch (const PlcFault&) {
        log.stamped(" 源程序非法");
    } catch (const std::exception&) {
        log.stamped(" 源程序非法");
    }
    if (problem_ == ProgramFileProblem::None) problem_ = ProgramFileProblem::Invalid;
    return false;
}

std::string programFileProblemMessage(ProgramFileProblem problem, const std::string& path) {
    switch (problem) {
    case ProgramFileProblem::None:
    case ProgramFileProblem::NoProgram: return {};
    case ProgramFileProblem::CannotOpen: return "无法读取程序文件：" + path;
    case ProgramFileProblem::Folder: return "这是文件夹，不是程序文件：" + path;
    case ProgramFileProblem::TooLarge: return "程序文件超过64MB，不能载入：" + path;
    case ProgramFileProblem::NotText: return "不是文本文件，不能作为程序载入：" + path;
    case ProgramFileProblem::TooManyLines: return "程序超过32767行，不能载入：" + path;
    case ProgramFileProblem::Invalid: return "源程序非法：" + path;
    }
    return {};
}

}  // namespace korvane
