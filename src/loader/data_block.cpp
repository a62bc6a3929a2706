#include "loader/data_block.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/fault.h"
#include "loader/text_encoding.h"

namespace korvane {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Positions count characters, not bytes: a UTF-8 sequence is one character.
bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The byte index at which character k (from 0) starts; s.size() when s is shorter.
std::size_t charOffset(std::string_view s, std::size_t k) {
    std::size_t i = 0;
    while (i < s.size()) {
        if (k == 0) return i;
        --k;
        ++i;
        while (i < s.size() && isContinuationByte(s[i])) ++i;
    }
    return s.size();
}

std::size_t charCount(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if (!isContinuationByte(c)) ++n;
    return n;
}

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
    for (std::size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

std::size_t firstBlank(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (isBlank(s[i])) return i;
    return std::string_view::npos;
}

// Length of the longest prefix of s of the form [+-] digits [. digits] [e [+-] digits] that
// holds at least one mantissa digit; 0 when there is none.
std::size_t decimalPrefix(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

// A decimal text as validated by decimalPrefix, rounded to 32 bits (ties to even).
std::int32_t decimalValue(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large does not fit.
        const std::size_t e = s.find_first_of("eE");
        if (e == std::string_view::npos || e + 1 >= s.size() || s[e + 1] != '-') fault(FaultCode::Overflow);
        v = 0;
    } else if (ec != std::errc{}) {
        fault(FaultCode::InvalidArgument);
    }
    return toInt32(negative ? -v : v);
}

enum class ValueForm { None, Decimal, Hex, Octal, Binary };

int digitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

bool allDigits(std::string_view s, int radix) {
    if (s.empty()) return false;
    for (char c : s)
        if (digitValue(c) >= radix) return false;
    return true;
}

// The form of a trimmed value text ("16#" and "8#" already rewritten as "&H" and "&O").
ValueForm formOf(std::string_view t) {
    if (t.find("2#") != std::string_view::npos) return ValueForm::Binary;
    if (t.size() >= 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h'))
        return allDigits(t.substr(2), 16) ? ValueForm::Hex : ValueForm::None;
    if (t.size() >= 2 && t[0] == '&' && (t[1] == 'O' || t[1] == 'o'))
        return allDigits(t.substr(2), 8) ? ValueForm::Octal : ValueForm::None;
    if (!t.empty() && decimalPrefix(t) == t.size()) return ValueForm::Decimal;
    return ValueForm::None;
}

// Hexadecimal and octal are unsigned numbers of up to 32 bits, stored as their pattern.
std::int32_t unsignedValue(std::string_view digits, int radix) {
    std::uint64_t v = 0;
    for (char c : digits) {
        v = v * static_cast<unsigned>(radix) + static_cast<unsigned>(digitValue(c));
        if (v > 0xFFFFFFFFu) fault(FaultCode::Overflow);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

std::int32_t valueOf(ValueForm form, std::string_view t) {
    switch (form) {
    case ValueForm::Binary:
        return BinToLong(t.substr(t.find("2#") + 1));
    case ValueForm::Hex:
        return unsignedValue(t.substr(2), 16);
    case ValueForm::Octal:
        return unsignedValue(t.substr(2), 8);
    case ValueForm::Decimal:
        return decimalValue(t);
    case ValueForm::None:
        break;
    }
    fault(FaultCode::InvalidArgument);
}

// The start byte of an address line: the number at the front of the text, 0 when the text
// does not begin with one; reading stops at the first character that cannot continue it.
std::int32_t leadingNumber(std::string_view s) {
    const std::size_t n = decimalPrefix(s);
    return n == 0 ? 0 : decimalValue(s.substr(0, n));
}

std::int32_t checked32(std::int64_t v) {
    if (v < INT32_MIN || v > INT32_MAX) fault(FaultCode::Overflow);
    return static_cast<std::int32_t>(v);
}

}  // namespace

std::int32_t BinToLong(std::string_view text) {
    std::int64_t result = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '#' && i == 0) || isBlank(c) || c == '_') continue;
        if (c != '0' && c != '1') fault(FaultCode::InvalidArgument);
        result = result * 2 + (c - '0');
        if (result > INT32_MAX) fault(FaultCode::Overflow);
    }
    return static_cast<std::int32_t>(result);
}

void DataBlock::AnalyseDB() {
    entries_.assign(1, DbEntry{});
    bool firstTaken = false;  // the first value replaces the empty row
    std::int32_t width = 0;
    std::int32_t address = 0;
    lineOutsideV_ = -1;
    try {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            std::string s = lines_[i];
            if (const std::size_t c = s.find("//"); c != std::string::npos) s = std::string(trim(s.substr(0, c)));
            if (s.find('V') != std::string::npos) {
                const std::size_t blank = firstBlank(s);
                // p: the position of the first blank, counted in characters from 1.
                const std::size_t p = blank == std::string::npos ? 0 : charCount(s.substr(0, blank)) + 1;
                width = 8;
                if (p >= 2) {
                    const char size = s[charOffset(s, 1)];
                    if (size == 'W') width = 16;
                    else if (size == 'D') width = 32;
                }
                address = 0;
                if (p >= 4) {
                    const std::size_t from = charOffset(s, 2);
                    address = leadingNumber(std::string_view(s).substr(from, blank - from));
                }
                if (blank != std::string::npos) s = std::string(trim(std::string_view(s).substr(blank + 1)));
                else s = std::string(trim(s));
            }
            replaceAll(s, "16#", "&H");
            replaceAll(s, "8#", "&O");
            if (width == 0) continue;  // before the first address line
            std::string_view rest = trim(s);
            std::int64_t k = 0;
            for (;;) {
                const std::size_t comma = rest.find(',');
                const std::string_view part = trim(rest.substr(0, comma));
                const ValueForm form = formOf(part);
                if (form != ValueForm::None) {
                    DbEntry e;
                    e.Width = width;
                    e.ByteOffset = checked32(std::int64_t{address} + std::int64_t{width} * k / 8);
                    if (lineOutsideV_ < 0 && (e.ByteOffset < 0 || std::int64_t{e.ByteOffset} + width / 8 > kVBytes))
                        lineOutsideV_ = static_cast<int>(i);
                    if (firstTaken) {
                        entries_.push_back(e);
                    } else {
                        entries_[0] = e;
                        firstTaken = true;
                    }
                    ++k;
                    entries_.back().Value = valueOf(form, part);
                }
                if (comma == std::string_view::npos) break;
                rest.remove_prefix(comma + 1);
            }
            address = checked32(std::int64_t{address} + std::int64_t{width} * k / 8);
        }
    } catch (const PlcFault&) {
        // A value that cannot be read ends the analysis; the rows before it stand.
    }
}

void DataBlock::writeEntries(PlcMemory& mem) const {
    for (const DbEntry& e : entries_) {
        if (e.Width < 8) continue;
        const std::int64_t key = area::V + 8 * std::int64_t{e.ByteOffset};
        // A key that is not even an int lies outside the image: tobit reports it.
        const int bit = (key < INT32_MIN || key > INT32_MAX) ? -1 : static_cast<int>(key);
        mem.tobit(e.Value, bit, e.Width);
    }
}

bool DataBlock::readFile(const std::string& path, Prompt& prompt) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Read in chunks and stop once the text holds more line breaks than a block may have
    // lines: such a file is refused below whatever follows, so a huge file (or an endless
    // device) costs no more than those lines.
    std::string bytes;
    std::size_t breaks = 0;
    char chunk[65536];
    while (in && breaks < 2 * (kMaxLines + 1)) {
        // A line may be long, but not endless: past kMaxFileBytes the file is refused.
        in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, kMaxFileBytes + 1 - bytes.size())));
        const auto got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i) breaks += (chunk[i] == '\r' || chunk[i] == '\n') ? 1 : 0;
        bytes.append(chunk, got);
        if (bytes.size() > kMaxFileBytes) return false;
    }
    if (in.bad()) return false;
    std::string text = toUtf8(bytes);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

    lines_.assign(kMaxLines, std::string());
    std::size_t n = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        if (n == kMaxLines) return false;  // no place for a 102nd line
        lines_[n] = text.substr(pos, end - pos);
        if (++n == kMaxLines) prompt.inform("不要超过100行");
        pos = end;
        if (pos < text.size()) pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
    }
    if (n > 0) lines_.resize(n);
    return true;
}

bool DataBlock::load(const std::string& path, PlcMemory& mem, Prompt& prompt, const Log& log) {
    fileName_ = path;
    if (!path.empty() && !readFile(path, prompt)) {
        log.stamped(" 打开DB数据块文件错误");
        return false;
    }
    AnalyseDB();
    if (lineOutsideV_ >= 0) {
        // Refused whole, so that no half-written block is left in V memory.
        const auto n = static_cast<std::size_t>(lineOutsideV_);
        log.stamped(" 数据块第" + std::to_string(n + 1) + "行超出V存储区：" + std::string(trim(lines_[n])));
        return false;
    }
    showView();
    writeEntries(mem);
    return true;
}

void DataBlock::unload() {
    lines_.assign(1, std::string());
    entries_.assign(1, DbEntry{});
    fileName_.clear();
    viewText_.clear();
}

std::string DataBlock::buildViewText() const {
    std::string text = fileName_;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += "\r\n ";
        text += std::to_string(i);
        text += "      ";
        text += lines_[i];
    }
    return text;
}

}  // namespace korvane
