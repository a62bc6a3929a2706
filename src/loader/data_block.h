#pragma once
// The data block: start values for V memory from a text file ("VB10 16#12", "VW100 1, 2, 3",
// continuation lines, "//" comments). Loading reads the file into the line list, analyses the
// lines into entries and writes every entry into V memory once.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/plc_memory.h"
#include "platform/log_sink.h"
#include "platform/prompt.h"

namespace korvane {

struct DbEntry {
    std::int32_t Width = 0;       // 8, 16 or 32 bits; 0 in an empty row
    std::int32_t ByteOffset = 0;  // V byte number of the first byte
    std::int32_t Value = 0;
};

// A string of binary digits, most significant first. A "#" (from the "2#" prefix), blanks
// and "_" group separators are skipped. A value past 2147483647 faults with Overflow, any
// other character with InvalidArgument; both go to the caller.
std::int32_t BinToLong(std::string_view text);

class DataBlock {
public:
    static constexpr std::size_t kMaxLines = 101;
    // A data block file longer than this is refused (101 lines of values for 10 KB of V
    // memory are far shorter).
    static constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
    // V memory: VB0 to VB1023; the cells after it are the edge flags and special memory.
    static constexpr std::int64_t kVBytes = (area::Edge - area::V) / 8;

    DataBlock() = default;

    // Rebuilds the entry table from the line list. A value that cannot be read ends the
    // analysis there: its row keeps Value 0 and no later value is taken.
    void AnalyseDB();
    // The first line (from 0) of the last analysis with an entry any byte of which lies past
    // VB1023; -1 when every entry ends inside V memory.
    int lineOutsideV() const { return lineOutsideV_; }

    // The load command from a chosen file name (empty: the dialog was cancelled, the lines
    // held are analysed and written again). True when the entries were written; false when
    // the file could not be read, holds more than kMaxLines lines or kMaxFileBytes bytes
    // (logged as " 打开DB数据块文件错误"; nothing is written and
    // the entries keep the previous analysis) or when an entry runs past VB1023 (logged as
    // " 数据块第n行超出V存储区：" and that line, n counted from 1; the lines are held and
    // analysed, but nothing of the block is written and the view is not rebuilt).
    bool load(const std::string& path, PlcMemory& mem, Prompt& prompt, const Log& log);
    // Every non-empty entry into V memory through tobit, in file order.
    void writeEntries(PlcMemory& mem) const;
    // One empty line, one empty row, no file name, view text "".
    void unload();

    // The DB view: the file path, then per line CR LF, " i", six blanks and the line.
    std::string buildViewText() const;
    // The view text as last shown: rebuilt by showView() (which load calls), "" after unload.
    const std::string& viewText() const { return viewText_; }
    const std::string& showView() { return viewText_ = buildViewText(); }

    const std::vector<std::string>& lines() const { return lines_; }
    void setLines(std::vector<std::string> lines) { lines_ = std::move(lines); }
    const std::vector<DbEntry>& entries() const { return entries_; }
    const std::string& fileName() const { return fileName_; }
    void setFileName(std::string name) { fileName_ = std::move(name); }

private:
    bool readFile(const std::string& path, Prompt& prompt);

    std::vector<std::string> lines_;
    std::vector<DbEntry> entries_{DbEntry{}};
    std::string fileName_;
    std::string viewText_;
    int lineOutsideV_ = -1;
};

}  // namespace korvane
