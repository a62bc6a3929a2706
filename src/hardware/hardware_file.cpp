#include "hardware/hardware_file.h"

#include <fstream>

#include "platform/file_read.h"

namespace korvane {

namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '\f' || c == '\v'; }

// A decimal integer with an optional sign; nullopt otherwise (also for absurdly long digit
// runs, which cannot be list positions anyway).
std::optional<int> decimalToken(std::string_view t) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size() || t.size() - i > 6) return std::nullopt;
    int v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        v = v * 10 + (t[i] - '0');
    }
    return negative ? -v : v;
}

}  // namespace

std::string formatHardwareRecord(const HardwareRecord& record) {
    std::string line;
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i) line += ' ';
        line += std::to_string(record[i]);
    }
    line += "\r\n";
    return line;
}

std::optional<HardwareRecord> parseHardwareRecord(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte order mark
    HardwareRecord current{};
    std::optional<HardwareRecord> last;
    std::size_t filled = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (isSeparator(text[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        const auto v = decimalToken(text.substr(pos, end - pos));
        if (!v) return std::nullopt;
        const int limit = filled == 0 ? kCpuCount : kModuleCount;
        if (*v < 0 || *v >= limit) return std::nullopt;
        current[filled++] = *v;
        if (filled == current.size()) {
            last = current;
            filled = 0;
        }
        pos = end;
    }
    return last;
}

bool saveHardwareFile(const std::string& path, const HardwareConfig& hw, const Log& log) {
    if (path.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string line = formatHardwareRecord(hw.positions());
    if (out) out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.close();
    if (!out) {
        log.plain("保存硬件配置文件错误：" + path);
        return false;
    }
    log.plain("保存硬件配置文件：" + path);
    return true;
}

bool loadHardwareFile(const std::string& path, HardwareConfig& hw, const Log& log, Prompt* prompt) {
    std::optional<HardwareRecord> record;
    if (!path.empty()) {
        std::string text;
        if (readFileUpTo(path, kMaxHardwareFileBytes, text)) record = parseHardwareRecord(text);
        if (!record) {
            if (prompt) prompt->inform(kMsgHardwareFileBad);
        } else {
            log.plain("载入硬件配置文件：" + path);
        }
    }
    if (record) return hw.applyPositions(*record);
    hw.allocate();
    // The object link rebuilds its point lists whether or not a file was chosen.
    hw.notify();
    return false;
}

}  // namespace korvane
