#include "sim/status_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

#include "loader/data_block.h"
#include "loader/text_encoding.h"
#include "platform/file_read.h"
#include "sim/display_format.h"

namespace korvane {

namespace {

constexpr double kSingleMax = 3.4028234663852886e38;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// A run of decimal digits as a number; nullopt for an empty run, any other character, or
// more digits than an address can have.
std::optional<int> digitsOnly(std::string_view s) {
    if (s.empty() || s.size() > 9) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The length of the number at the front of s (no blanks inside): sign, digits, point,
// digits, exponent. 0 when there is none.
std::size_t numberPrefix(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j, ++expDigits;
        if (expDigits) i = j;
    }
    return i;
}

double convertNumber(std::string s) {
    for (char& c : s)
        if (c == 'D' || c == 'd') c = 'E';
    std::size_t start = s[0] == '+' ? 1 : 0;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data() + start, s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Beyond the double range: an infinity of the right sign (or zero for tiny values).
        const bool negative = s[start] == '-';
        const auto e = s.find_first_of("Ee");
        const bool tiny = e != std::string::npos && s.find('-', e) != std::string::npos;
        return tiny ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    (void)p;
    return v;
}

std::string withoutBlanks(std::string_view text) {
    std::string s;
    for (char c : text)
        if (!isBlank(c)) s += c;
    return s;
}

// The whole field as a decimal number (outer blanks already removed); nullopt otherwise.
std::optional<double> strictNumber(std::string_view field) {
    const std::size_t n = numberPrefix(field);
    if (n == 0 || n != field.size()) return std::nullopt;
    return convertNumber(std::string(field));
}

std::optional<double> hexNumber(std::string_view text) {
    std::string s = upperAscii(withoutBlanks(text));
    std::string_view v = s;
    if (v.starts_with("16#")) v.remove_prefix(3);
    else if (v.starts_with("0X") || v.starts_with("&H")) v.remove_prefix(2);
    double value = 0;
    std::size_t digits = 0;
    for (char c : v) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        if (++digits > 16) return std::nullopt;  // far wider than any row
        value = value * 16 + d;
    }
    return value;
}

// "-5" or " 12"; the shortest text that reads back as the same double.
std::string numberText(double v) {
    if (!std::isfinite(v) || v == 0) v = 0;  // also -0, which would read " -0"
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, ec == std::errc() ? p : buf);
    for (char& c : s)
        if (c == 'e') c = 'E';
    if (v >= 0) s.insert(s.begin(), ' ');
    return s;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (true) {
        const std::size_t tab = line.find('\t', pos);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(pos));
            break;
        }
        fields.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    return fields;
}

// Lines at LF with a CR before it removed; a line break at the very end adds no line.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        std::string_view line = text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    }
    return lines;
}

bool formatAllowed(int kind, int format) {
    const auto list = formatsFor(kind);
    return std::find(list.begin(), list.end(), format) != list.end();
}

bool isFormatCode(int format) {
    return format == rowformat::Signed || format == rowformat::Unsigned || format == rowformat::Hex ||
           format == rowformat::Binary || format == rowformat::Real || format == rowformat::Bit;
}

// The format a row of this kind keeps: bit rows always show "位"; timers and counters keep
// any format (only "二进制" changes their display); bytes, words and double words keep the
// formats of their drop-down and fall back to signed decimal.
int normalizedFormat(int kind, int format) {
    switch (kind) {
    case rowkind::Bit: return rowformat::Bit;
    case rowkind::TimerCounter: return isFormatCode(format) ? format : rowformat::Signed;
    case rowkind::Byte:
    case rowkind::Word:
    case rowkind::DWord: return formatAllowed(kind, format) ? format : rowformat::Signed;
    default: return isFormatCode(format) ? format : rowformat::Signed;
    }
}

// Whether a value fits the row for its format (what writing would store faithfully).
bool fitsRow(const StatusRow& row, double v) {
    if (std::isnan(v)) return false;
    const int w = row.width();
    if (row.kind == rowkind::Bit || row.kind == rowkind::TimerCounter) return true;
    if (row.format == rowformat::Real) return std::fabs(v) <= kSingleMax;
    const double r = std::nearbyint(v);
    if (row.format == rowformat::Signed) return unsignedPattern(r, w) != -1;
    return r >= 0 && r <= std::ldexp(1.0, w) - 1;
}

void setCell(std::string& cell, std::string text, bool& changed) {
    if (cell != text) {
        cell = std::move(text);
        changed = true;
    }
}

}  // namespace

const char* formatName(int format) {
    switch (format) {
    case rowformat::Signed: return "有符号十进制";
    case rowformat::Unsigned: return "无符号十进制";
    case rowformat::Hex: return "十六进制";
    case rowformat::Binary: return "二进制";
    case rowformat::Real: return "浮点数";
    case rowformat::Bit: return "位";
    default: return "";
    }
}

std::optional<int> formatCodeOf(std::string_view name) {
    for (int f : {rowformat::Signed, rowformat::Unsigned, rowformat::Hex, rowformat::Binary, rowformat::Real,
                  rowformat::Bit})
        if (name == formatName(f)) return f;
    return std::nullopt;
}

std::vector<int> formatsFor(int kind) {
    using namespace rowformat;
    switch (kind) {
    case rowkind::Bit: return {Bit};
    case rowkind::Byte:
    case rowkind::Word: return {Signed, Unsigned, Hex, Binary};
    case rowkind::DWord: return {Signed, Unsigned, Hex, Binary, Real};
    case rowkind::TimerCounter: return {Signed, Binary};
    default: return {};
    }
}

double leadingNumber(std::string_view text) {
    const std::string s = withoutBlanks(text);
    const std::size_t n = numberPrefix(s);
    return n == 0 ? 0.0 : convertNumber(s.substr(0, n));
}

void parseStatusAddress(StatusRow& row, int vMemoryBytes) {
    row.valid = false;
    row.areaBase = 0;
    row.kind = 0;
    row.number = 0;
    row.bit = 0;
    const std::string_view s = row.address;
    if (s.empty()) return;

    struct Area {
        char letter;
        int base;
        int bytes;       // the size the address rules use
        int imageBytes;  // the bytes the image holds for the area
    };
    const int vBytes = std::max(vMemoryBytes, 0);
    const Area areas[] = {{'S', area::S, 32, 32},
                          {'V', area::V, vBytes, StatusTable::kImageVBytes},
                          {'I', area::I, 16, 16},
                          {'Q', area::Q, 16, 16},
                          {'M', area::M, 32, 32}};
    for (const Area& a : areas) {
        if (s[0] != a.letter) continue;
        if (s.size() >= 2 && (s[1] == 'B' || s[1] == 'W' || s[1] == 'D')) {
            const auto n = digitsOnly(s.substr(2));
            const int kind = s[1] == 'B' ? rowkind::Byte : s[1] == 'W' ? rowkind::Word : rowkind::DWord;
            // A word or double word is named by its first byte and must lie whole in the
            // area (IW14 and ID12 are the last of I), and in the area's part of the image
            // (the CPU's V memory is larger than the 1024 bytes the image holds).
            if (!n || *n + kind / 8 > a.bytes || *n + kind / 8 > a.imageBytes) return;
            row.kind = kind;
            row.number = *n;
        } else {
            const std::string_view rest = s.substr(1);
            const std::size_t dot = rest.find('.');
            if (dot == std::string_view::npos) return;
            const auto byte = digitsOnly(rest.substr(0, dot));
            const auto bit = digitsOnly(rest.substr(dot + 1));
            if (!byte || !bit || *byte >= a.bytes || *byte >= a.imageBytes || *bit > 7) return;
            row.kind = rowkind::Bit;
            row.number = *byte;
            row.bit = static_cast<std::int16_t>(*bit);
        }
        row.areaBase = a.base;
        row.valid = true;
        row.format = normalizedFormat(row.kind, row.format);
        return;
    }
    auto numbered = [&](std::string_view prefix, int base, int kind, int last) {
        if (!s.starts_with(prefix)) return false;
        const auto n = digitsOnly(s.substr(prefix.size()));
        if (!n || *n > last) return true;  // the prefix matched: nothing else can
        row.areaBase = base;
        row.kind = kind;
        row.number = *n;
        row.valid = true;
        row.format = normalizedFormat(row.kind, row.format);
        return true;
    };
    // Analog words are named by their even first byte: AIW0 to AIW62.
    const auto analog = [&](std::string_view prefix, int base) {
        if (!s.starts_with(prefix)) return false;
        const auto n = digitsOnly(s.substr(prefix.size()));
        if (n && *n % 2 == 0 && *n <= 62) {
            row.areaBase = base;
            row.kind = rowkind::Word;
            row.number = *n;
            row.valid = true;
            row.format = normalizedFormat(row.kind, row.format);
        }
        return true;
    };
    if (analog("AIW", area::AIW) || analog("AQW", area::AQW)) return;
    if (numbered("T", area::T, rowkind::TimerCounter, 255) || numbered("C", area::C, rowkind::TimerCounter, 255))
        return;
}

// --- the table -----------------------------------------------------------------------

StatusRow StatusTable::makeRow(std::string_view address, int format) const {
    StatusRow r;
    r.address = std::string(address);
    r.format = format;
    parseStatusAddress(r, vBytes_);
    return r;
}

StatusTable::StatusTable() {
    rows_.push_back(makeRow("VD0", rowformat::Real));
    rows_.push_back(makeRow("I0.0", rowformat::Bit));
    rows_.push_back(makeRow("QB0", rowformat::Unsigned));
    rows_.push_back(makeRow("T50", rowformat::Binary));
    rows_.push_back(makeRow("T50", rowformat::Unsigned));
}

void StatusTable::setVMemoryBytes(int bytes) {
    vBytes_ = std::max(bytes, 0);
    for (StatusRow& r : rows_) parseStatusAddress(r, vBytes_);
}

void StatusTable::setSymbol(std::size_t i, std::string text) {
    if (i < rows_.size()) rows_[i].symbol = std::move(text);
}

void StatusTable::setComment(std::size_t i, std::string text) {
    if (i < rows_.size()) rows_[i].comment = std::move(text);
}

void StatusTable::setAddress(std::size_t i, std::string_view text) {
    if (i >= rows_.size()) return;
    rows_[i].address = upperAscii(text);
    parseStatusAddress(rows_[i], vBytes_);
}

std::optional<double> StatusTable::readNewValue(const StatusRow& row, std::string_view text) {
    double v = 0;
    if (row.kind == rowkind::Bit) {
        v = leadingNumber(text) > 0 ? 1.0 : 0.0;
    } else if (row.kind == rowkind::TimerCounter) {
        v = leadingNumber(text);
    } else {
        switch (row.format) {
        case rowformat::Unsigned: v = std::fabs(leadingNumber(text)); break;
        case rowformat::Hex: {
            const auto h = hexNumber(text);
            if (!h) return std::nullopt;
            v = *h;
            break;
        }
        case rowformat::Binary:
            try {
                // As in data blocks, a "2#" prefix may stand before the digits.
                std::string_view digits = trimBlanks(text);
                if (digits.starts_with("2#")) digits.remove_prefix(1);
                v = BinToLong(digits);
            } catch (const PlcFault&) {
                return std::nullopt;
            }
            break;
        default: v = leadingNumber(text); break;
        }
    }
    if (!fitsRow(row, v)) return std::nullopt;
    return v;
}

StatusTable::NewValue StatusTable::enterNewValue(std::size_t i, std::string_view text) {
    if (i >= rows_.size()) return NewValue::Rejected;
    StatusRow& r = rows_[i];
    if (text.empty()) {
        r.newValuePending = false;
        r.newValueText.clear();
        return NewValue::Cleared;
    }
    const std::string upper = upperAscii(text);
    const auto v = readNewValue(r, upper);
    if (!v) {
        r.newValuePending = false;
        r.newValueText.clear();
        return NewValue::Rejected;
    }
    r.newValueText = upper;
    r.newValue = *v;
    r.newValuePending = true;
    return NewValue::Stored;
}

bool StatusTable::setFormat(std::size_t i, int format) {
    if (i >= rows_.size() || !rows_[i].valid || !formatAllowed(rows_[i].kind, format)) return false;
    rows_[i].format = format;
    requestRead();
    return true;
}

void StatusTable::insertBefore(std::size_t i) {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(std::min(i, rows_.size())), StatusRow{});
}

void StatusTable::append() { rows_.emplace_back(); }

void StatusTable::removeRow(std::size_t i) {
    if (i >= rows_.size()) return;
    if (i == 0) rows_[0] = StatusRow{};  // the first row is only emptied
    else rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
}

// --- reading and rendering -----------------------------------------------------------

void StatusTable::readRow(const PlcMemory& mem, StatusRow& row) const {
    if (!row.valid) return;
    const int key = row.key();
    try {
        switch (row.kind) {
        case rowkind::Bit: row.currentValue = mem.cell(key) != 0 ? 1.0 : 0.0; break;
        case rowkind::Byte:
            row.currentValue = row.format == rowformat::Unsigned ? mem.GetByteValue(key) : mem.GetSByteValue(key);
            break;
        case rowkind::Word:
            row.currentValue = row.format == rowformat::Unsigned ? mem.GetWordValue(key) : mem.GetIntValue(key);
            break;
        case rowkind::DWord:
            row.currentValue = row.format == rowformat::Unsigned ? mem.GetDWordValue(key)
                               : row.format == rowformat::Real   ? mem.GetRealValue(key)
                                                                 : mem.GetDIntValue(key);
            break;
        default: break;  // timers and counters are shown from their records
        }
    } catch (const PlcFault&) {
        // A cell outside the image (not reachable through the parsed areas): keep the value.
    }
}

void StatusTable::renderRow(const PlcMemory& mem, StatusRow& row, bool& changed) {
    if (!row.valid) {
        setCell(row.formatCell, std::string(), changed);
        setCell(row.currentValueCell, std::string(), changed);
        return;
    }
    const double cv = row.currentValue;
    const int w = row.width();
    auto pattern = [&] {
        if (cv >= 0) return cv;
        const double p = unsignedPattern(cv, w);
        return p < 0 ? 0.0 : p;
    };
    std::string fmt;
    const std::string text = [&]() -> std::string {
        if (row.kind == rowkind::Bit) {
            fmt = formatName(rowformat::Bit);
            return std::string(cv > 0 ? " 1" : " 0");
        }
        if (row.kind == rowkind::TimerCounter) {
            const int n = std::clamp(row.number, 0, 255);
            if (row.format == rowformat::Binary) {
                fmt = formatName(rowformat::Binary);
                return std::string(mem.cells()[std::clamp(row.key(), 0, area::LastCell)] != 0 ? " 1" : " 0");
            }
            fmt = formatName(rowformat::Unsigned);
            const std::int32_t value = row.isTimer() ? mem.timers()[n].Current : mem.counters()[n].Current;
            std::string t = std::to_string(value);
            if (value >= 0) t.insert(t.begin(), ' ');
            return t;
        }
        fmt = formatName(row.format);
        switch (row.format) {
        case rowformat::Hex: return hexForm(pattern(), w) + " ";
        case rowformat::Binary: return binaryForm(pattern(), w) + " ";
        case rowformat::Real: return tableRealForm(cv) + " ";
        default: return decimalForm(cv, w) + " ";
        }
    }();
    setCell(row.formatCell, std::move(fmt), changed);
    setCell(row.currentValueCell, text, changed);
}

bool StatusTable::FreshShow(const PlcMemory& mem) {
    if (continuous_ || readRequested_) {
        readRequested_ = false;
        for (StatusRow& r : rows_) readRow(mem, r);
    }
    bool changed = false;
    for (StatusRow& r : rows_) renderRow(mem, r, changed);
    return changed;
}

std::string StatusTable::indexCell(std::size_t i) { return std::string(1, ' ').append(std::to_string(i)); }

std::string StatusTable::symbolCell(const StatusRow& row, const SymbolTable& symbols) {
    if (!row.symbol.empty() || row.address.empty()) return row.symbol;
    const std::string* s = symbols.symbolOf(row.address);
    return s ? *s : std::string();
}

// --- writing and forcing -------------------------------------------------------------

bool StatusTable::writeRow(PlcMemory& mem, const StatusRow& row) {
    if (!row.valid || row.kind == rowkind::TimerCounter) return false;
    if (!fitsRow(row, row.newValue)) return false;
    const int key = row.key();
    const int w = row.width();
    switch (row.format) {
    case rowformat::Real:
        if (row.kind != rowkind::DWord) return false;
        return mem.tobit2(row.newValue, key, 40);
    case rowformat::Signed: {
        const double p = PlcMemory::ToUnsignedPattern(row.newValue, w);
        if (w > 1 && p == -1) return false;
        return mem.tobit(p, key, w);
    }
    default: return mem.tobit(row.newValue, key, w);
    }
}

int StatusTable::pendingWriteStep(PlcMemory& mem) {
    int written = 0;
    for (const StatusRow& r : rows_)
        if (r.valid && r.newValuePending && writeRow(mem, r)) ++written;
    return written;
}

StatusTable::WriteOnce StatusTable::writeOnce(PlcMemory& mem, bool running) {
    if (running) {
        writeRequested_ = true;
        return WriteOnce::Requested;
    }
    pendingWriteStep(mem);
    requestRead();
    return WriteOnce::Written;
}

bool StatusTable::applyRequestedWrites(PlcMemory& mem) {
    if (!writeRequested_) return false;
    writeRequested_ = false;
    pendingWriteStep(mem);
    return true;
}

bool StatusTable::forceStep(PlcMemory& mem) {
    bool wrote = false;
    for (const StatusRow& r : rows_)
        if (r.valid && r.forced && writeRow(mem, r)) wrote = true;
    return wrote;
}

bool StatusTable::anyForced() const {
    return std::any_of(rows_.begin(), rows_.end(), [](const StatusRow& r) { return r.valid && r.forced; });
}

void StatusTable::force(std::size_t i) {
    if (i < rows_.size()) rows_[i].forced = true;
}

void StatusTable::unforce(std::size_t i) {
    if (i < rows_.size()) rows_[i].forced = false;
}

void StatusTable::toggleForce(std::size_t i) {
    if (i < rows_.size()) rows_[i].forced = !rows_[i].forced;
}

void StatusTable::unforceAll() {
    for (StatusRow& r : rows_) r.forced = false;
}

// --- files and clipboard -------------------------------------------------------------

std::string StatusTable::tableFileText() const {
    std::string out;
    for (const StatusRow& r : rows_) {
        out += r.symbol;
        out += '\t';
        out += r.address;
        out += '\t';
        out += r.comment;
        out += '\t';
        out += numberText(r.newValue);
        out += '\t';
        out += r.forced ? "True" : "False";
        out += '\t';
        out += ' ';
        out += std::to_string(r.format);
        out += "\r\n";
    }
    return out;
}

bool StatusTable::rowFromFields(const std::vector<std::string_view>& fields, bool trimFields, bool strict,
                                StatusRow& out) const {
    auto field = [&](std::size_t k) -> std::string_view {
        if (k >= fields.size()) return {};
        return trimFields ? trimBlanks(fields[k]) : fields[k];
    };
    StatusRow r;
    // A byte order mark ahead of the first symbol is no part of the name; a symbol that
    // starts with one would not survive a save and load.
    std::string_view symbol = field(0);
    while (trimFields && symbol.starts_with("\xEF\xBB\xBF")) symbol = trimBlanks(symbol.substr(3));
    r.symbol = std::string(symbol);
    r.address = upperAscii(field(1));
    r.comment = std::string(field(2));
    auto number = [&](std::string_view f, double& target) {
        if (f.empty()) return true;
        if (!strict) {
            target = leadingNumber(f);
            return true;
        }
        const auto v = strictNumber(trimBlanks(f));
        if (!v) return false;
        target = *v;
        return true;
    };
    if (!number(field(3), r.newValue)) return false;
    if (!std::isfinite(r.newValue)) {
        if (strict) return false;
        r.newValue = 0;
    }
    const std::string_view forced = trimBlanks(field(4));
    if (!forced.empty()) {
        const std::string up = upperAscii(forced);
        if (up == "TRUE") r.forced = true;
        else if (up == "FALSE") r.forced = false;
        else if (numberPrefix(withoutBlanks(forced)) != 0) r.forced = leadingNumber(forced) != 0;
        else if (strict) return false;
    }
    double format = rowformat::Signed;
    if (!number(field(5), format)) return false;
    if (format != std::floor(format) || !isFormatCode(static_cast<int>(std::clamp(format, -1.0, 100.0)))) {
        if (strict) return false;
        format = rowformat::Signed;
    }
    r.format = static_cast<int>(format);
    parseStatusAddress(r, vBytes_);
    // The loaded new value is shown, so that a forced row shows what it forces.
    r.newValueText = field(3).empty() ? std::string() : std::string(trimBlanks(numberText(r.newValue)));
    out = std::move(r);
    return true;
}

bool StatusTable::loadTableText(std::string_view text) {
    rows_.clear();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte order mark
    const std::string utf8 = toUtf8(text);
    for (std::string_view line : splitLines(utf8)) {
        StatusRow r;
        if (!rowFromFields(splitFields(line), true, true, r)) return false;
        rows_.push_back(std::move(r));
    }
    return true;
}

bool StatusTable::saveFile(const std::string& path, const Log& log) const {
    if (path.empty()) return false;
    log.plain("保存状态表配置：" + path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string text = tableFileText();
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        log.plain("保存状态表配置错误：" + path);
        return false;
    }
    return true;
}

bool StatusTable::loadFile(const std::string& path, const Log& log) {
    if (path.empty()) return false;
    // A table of a few hundred rows is a few kilobytes; a longer file is refused.
    std::string text;
    if (!readFileUpTo(path, kMaxFileBytes, text)) {
        log.plain("载入状态表配置错误");
        return false;
    }
    const bool ok = loadTableText(text);
    if (ok) log.plain("载入状态表文件：" + path);
    else log.plain("载入状态表配置错误");
    requestRead();
    return ok;
}

bool StatusTable::pasteSymbolTable(const std::optional<std::string>& clipboard, Prompt* prompt) {
    // Empty text counts as no text: it would replace the list with nothing.
    if (!clipboard || clipboard->empty()) {
        if (prompt) prompt->inform(kMsgClipboardNoText);
        return false;
    }
    std::vector<StatusRow> rows;
    for (std::string_view line : splitLines(*clipboard)) {
        StatusRow r;
        rowFromFields(splitFields(line), false, false, r);
        rows.push_back(std::move(r));
    }
    rows_ = std::move(rows);
    requestRead();
    return true;
}

}  // namespace korvane
