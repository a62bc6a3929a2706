#pragma once
// The status table's row list: addresses to watch, a format per row, new values to write
// once or to force. The main window owns it; the scan cycle runs its pending-write step at
// the start of a tick and its force step twice a tick; the window edits and shows it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plc_memory.h"
#include "loader/symbol_table.h"
#include "platform/log_sink.h"
#include "platform/prompt.h"

namespace korvane {

namespace rowkind {
inline constexpr int Bit = 1;
inline constexpr int Byte = 8;
inline constexpr int Word = 16;
inline constexpr int DWord = 32;
inline constexpr int TimerCounter = 33;
}  // namespace rowkind

namespace rowformat {
inline constexpr int Signed = 0;    // "有符号十进制"
inline constexpr int Unsigned = 1;  // "无符号十进制"
inline constexpr int Hex = 2;       // "十六进制"
inline constexpr int Binary = 4;    // "二进制"
inline constexpr int Real = 7;      // "浮点数"
inline constexpr int Bit = 10;      // "位"
}  // namespace rowformat

inline constexpr const char* kMsgClipboardNoText = "剪贴板没有文本";
inline constexpr const char* kMsgNewValueOutOfRange = "新值超出该地址的数值范围，未被接受";

// The format's name ("" for a code that is not a format).
const char* formatName(int format);
// The code of a format name; nullopt for any other text.
std::optional<int> formatCodeOf(std::string_view name);
// The formats the format drop-down offers for a kind, in list order.
std::vector<int> formatsFor(int kind);

struct StatusRow {
    std::string address;  // upper case
    std::string comment;
    std::string symbol;
    int areaBase = 0;
    int kind = 0;
    int number = 0;        // byte address, or timer, counter or analog word number
    std::int16_t bit = 0;  // 0 to 7 for bit rows
    double currentValue = 0;
    double newValue = 0;
    bool newValuePending = false;
    bool forced = false;
    int format = rowformat::Signed;
    bool valid = false;

    std::string newValueText;      // the "新值" cell as typed
    std::string formatCell;        // rendered by FreshShow
    std::string currentValueCell;  // rendered by FreshShow

    // The memory cell: the bit or first byte; for timers and counters their bit.
    int key() const { return kind == rowkind::TimerCounter ? areaBase + number : areaBase + 8 * number + bit; }
    // Writer width: 1, 8, 16 or 32; 0 for timer and counter rows.
    int width() const { return kind == rowkind::TimerCounter ? 0 : kind; }
    bool isTimer() const { return kind == rowkind::TimerCounter && areaBase == area::T; }
};

// Parses row.address into the row's area, kind, number and bit, and sets valid. A byte
// number must lie below the area size, a word's below half of it, a double word's below a
// quarter (IW7 parses, IW8 does not); the V area's size is the CPU's V memory, and a V item
// must also lie within the 1024 bytes the image holds. A format the new kind cannot show is
// replaced by signed decimal ("位" for bit rows).
void parseStatusAddress(StatusRow& row, int vMemoryBytes);

// The number at the front of a text, blanks ignored: sign, digits, point, exponent; 0 when
// the text does not start with a number.
double leadingNumber(std::string_view text);

class StatusTable {
public:
    static constexpr int kImageVBytes = 1024;

    // The five rows of a new window; one read requested.
    StatusTable();  // V memory of the start-up CPU (10240 bytes)

    // --- rows ------------------------------------------------------------------------
    std::vector<StatusRow>& rows() { return rows_; }
    const std::vector<StatusRow>& rows() const { return rows_; }
    std::size_t size() const { return rows_.size(); }
    StatusRow& row(std::size_t i) { return rows_.at(i); }
    const StatusRow& row(std::size_t i) const { return rows_.at(i); }

    // The configured CPU's V memory size; rows are parsed again against it.
    void setVMemoryBytes(int bytes);
    int vMemoryBytes() const { return vBytes_; }

    // --- editing -----------------------------------------------------------------------
    void setSymbol(std::size_t i, std::string text);
    void setComment(std::size_t i, std::string text);
    // The address editor's Enter: upper case, then parsed.
    void setAddress(std::size_t i, std::string_view text);
    enum class NewValue { Stored, Cleared, Rejected };
    // The new-value editor's Enter: an empty text clears the pending value; a text that the
    // row cannot hold (a signed value outside the width, a pattern wider than the row, a
    // real outside single precision, bad binary digits) is rejected and also clears it.
    NewValue enterNewValue(std::size_t i, std::string_view text);
    // A new value text read by the row's kind and format (the text in upper case); nullopt
    // when the row cannot hold it.
    static std::optional<double> readNewValue(const StatusRow& row, std::string_view text);
    // The format drop-down's choice; false when the kind does not offer it. Requests a read.
    bool setFormat(std::size_t i, int format);

    // "增加到其后", "增加到最后", "删除所选".
    void insertBefore(std::size_t i);
    void append();
    void removeRow(std::size_t i);

    // --- reading and rendering -------------------------------------------------------
    void requestRead() { readRequested_ = true; }
    bool readRequested() const { return readRequested_; }
    // "读取一次": one read, continuous reading off.
    void readOnce() {
        readRequested_ = true;
        continuous_ = false;
    }
    // "连续在线读取".
    void toggleContinuous() { continuous_ = !continuous_; }
    bool continuousReading() const { return continuous_; }
    // Reads when due, then renders every row's format and current-value cells. True when
    // any cell text changed (the grid redraws only then).
    bool FreshShow(const PlcMemory& mem);

    // Cells the window shows besides the rendered ones.
    static std::string indexCell(std::size_t i);
    // The "符号" cell: the row's own symbol; when it has none, the symbol the loaded symbol
    // table gives its address (the row's symbol itself is not changed, nor saved).
    static std::string symbolCell(const StatusRow& row, const SymbolTable& symbols);
    static std::string newValueCell(const StatusRow& row) { return row.valid ? row.newValueText : std::string(); }
    static std::string forceCell(const StatusRow& row) {
        if (!row.valid) return {};
        return row.forced ? "是" : "否";
    }

    // --- writing and forcing ---------------------------------------------------------
    // Writes a valid row's new value; false when nothing was written (an invalid row, a
    // timer or counter row, a value the row cannot hold, a failed write).
    static bool writeRow(PlcMemory& mem, const StatusRow& row);
    // Writes every valid row whose new value is pending (the pending flags stay set).
    // Returns the number of rows written.
    int pendingWriteStep(PlcMemory& mem);
    enum class WriteOnce { Requested, Written };
    // "写一次": while running the scan cycle does it at the start of its next tick; while
    // stopped it is done at once and one read is requested (the caller then renders the
    // input and analog panels from the image).
    WriteOnce writeOnce(PlcMemory& mem, bool running);
    bool writeRequested() const { return writeRequested_; }
    // The scan cycle's call: runs the requested pending-write step; true when it ran.
    bool applyRequestedWrites(PlcMemory& mem);
    // The force step: writes every valid forced row. True when it wrote any row.
    bool forceStep(PlcMemory& mem);
    bool anyForced() const;

    void force(std::size_t i);
    void unforce(std::size_t i);
    void toggleForce(std::size_t i);
    void unforceAll();

    // --- files and clipboard ---------------------------------------------------------
    // The table file's text: one line per row, TAB-separated, CR LF.
    std::string tableFileText() const;
    // Replaces the list with the rows of a table file's text. False when a line cannot be
    // stored (a new value or format field that is not a number, a format code that is not
    // a format); the list then holds the rows read before it.
    bool loadTableText(std::string_view text);
    // "保存状态表(&S)" after its dialog; the log gets "保存状态表配置：" and the path, and
    // "保存状态表配置错误：" and the path when the file cannot be written.
    bool saveFile(const std::string& path, const Log& log) const;
    // "载入状态表(&L)" after its dialog; the log gets "载入状态表文件：" and the path, or
    // "载入状态表配置错误" when the file cannot be read, is longer than kMaxFileBytes or a
    // line cannot be stored.
    static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
    bool loadFile(const std::string& path, const Log& log);
    // "粘贴符号表(&P)": the clipboard's text (nullopt or empty when it holds none, which
    // shows "剪贴板没有文本" and keeps the list).
    bool pasteSymbolTable(const std::optional<std::string>& clipboard, Prompt* prompt);

private:
    StatusRow makeRow(std::string_view address, int format) const;
    void readRow(const PlcMemory& mem, StatusRow& row) const;
    static void renderRow(const PlcMemory& mem, StatusRow& row, bool& changed);
    bool rowFromFields(const std::vector<std::string_view>& fields, bool trimFields, bool strict, StatusRow& out) const;

    std::vector<StatusRow> rows_;
    int vBytes_ = 10240;
    bool continuous_ = false;
    bool readRequested_ = true;
    bool writeRequested_ = false;
};

}  // namespace korvane
