#pragma once
// The code table the interpreter executes, one CodeLine per program line, and the
// fixed-size routine tables that calls, jumps and interrupts consult.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "core/opcodes.h"
#include "core/plc_memory.h"
#include "core/text_lines.h"

namespace korvane {

// Operand kinds.
namespace kind {
inline constexpr int Constant = 0;  // a constant, a bit key, a routine or network number
inline constexpr int Byte = 1;
inline constexpr int Word = 2;
inline constexpr int DWord = 3;
inline constexpr int Timer = 5;
inline constexpr int Counter = 6;
inline constexpr int IndirectByte = 7;
inline constexpr int IndirectWord = 8;
inline constexpr int IndirectDWord = 9;  // a pointer in a double-word or real operand
inline constexpr int String = 10;        // a constant string: the number is its index in Program::strings
}  // namespace kind

// A constant string of a program ("ABC" in SCPY "ABC", VB0) holds at most this many bytes.
inline constexpr std::size_t kMaxConstantString = 126;

// How the interpreter treats a line the builder found a bad operand in.
enum class LineGuard : std::uint8_t {
    None,
    NamesNothing,  // an operand names nothing: the line does nothing
    OutsideArea,   // an operand lies (partly) outside its area: a run-time error when executed
};

inline constexpr int kMaxOperands = 20;

// A key held as a double, as an image index (rounded; faults when it is not one).
inline int keyOf(double number) {
    double r = roundEven(number);
    if (!(r >= 0 && r <= area::LastCell)) fault(FaultCode::AccessOutOfImage);
    return static_cast<int>(r);
}

// One operand as the builder decoded it: the number as written (a constant's value, a key,
// a pointer's key, a routine or string number), its kind, and the number as an image key,
// rounded once here so that execution reads an integer.
struct LineOperand {
    double number = 0;
    std::int32_t key = 0;  // keyOf(number) when that is an image index; -1 when keyOf faults
    std::uint8_t kind = kind::Constant;

    void decode() {
        const double r = roundEven(number);
        key = (r >= 0 && r <= area::LastCell) ? static_cast<std::int32_t>(r) : -1;
    }
};

// What a line keeps apart from its 64 bytes, allocated only for the lines that need it: the
// operands beyond the third and the text of a mnemonic that names no opcode.
struct LineSide {
    std::array<LineOperand, kMaxOperands - 3> more{};
    std::optional<std::string> unknownMnemonic;
};

// The operands of a line: the first three in place (nearly every instruction has no more),
// the others in the line's side block. The count is the line's (CodeLine::operandCount).
// The side block also holds an unknown mnemonic's text, so that a line carries one pointer.
class OperandList {
public:
    static constexpr int kInline = 3;
    OperandList() = default;
    OperandList(const OperandList& o) : inline_(o.inline_), side_(o.side_ ? std::make_unique<LineSide>(*o.side_) : nullptr) {}
    OperandList& operator=(const OperandList& o) {
        if (this != &o) {
            inline_ = o.inline_;
            side_ = o.side_ ? std::make_unique<LineSide>(*o.side_) : nullptr;
        }
        return *this;
    }
    OperandList(OperandList&&) noexcept = default;
    OperandList& operator=(OperandList&&) noexcept = default;

    // Operand k (0 to 19); one never set reads as the constant 0.
    const LineOperand& operator[](int k) const {
        if (k < kInline) return inline_[static_cast<std::size_t>(k)];
        if (side_ && k < kMaxOperands) return side_->more[static_cast<std::size_t>(k - kInline)];
        return none();
    }
    LineOperand& at(int k) {
        if (k < kInline) return inline_[static_cast<std::size_t>(k)];
        return side().more[static_cast<std::size_t>(k - kInline)];
    }

    const std::string* unknownMnemonic() const {
        return side_ && side_->unknownMnemonic ? &*side_->unknownMnemonic : nullptr;
    }
    void setUnknownMnemonic(std::string_view m) { side().unknownMnemonic.emplace(m); }
    void clearUnknownMnemonic() {
        if (side_) side_->unknownMnemonic.reset();
    }

private:
    static const LineOperand& none() {
        static const LineOperand zero{0, 0, kind::Constant};
        return zero;
    }
    LineSide& side() {
        if (!side_) side_ = std::make_unique<LineSide>();
        return *side_;
    }
    std::array<LineOperand, kInline> inline_{};
    std::unique_ptr<LineSide> side_;
};

// The canonical text of an opcode's mnemonic ("" for Op::Empty, "?" for Op::Unknown).
const std::string& mnemonicText(Op op);

// A line index kept in 16 bits: a program holds at most 32767 lines (the reader refuses more).
class ShortLine {
public:
    constexpr ShortLine(int line = 0) : v_(static_cast<std::int16_t>(line)) {}
    constexpr operator int() const { return v_; }

private:
    std::int16_t v_;
};

// One line of the code table, 64 bytes: what execution reads on every pass. What the line
// recorded when it last ran is kept beside the table (Program::runStatus); the mnemonic's
// text only when it names no opcode; the source text by the program (Program::sourceText).
struct CodeLine {
    Op op = Op::Empty;  // resolved from Mnemonic when the line is built
    LineGuard Guard = LineGuard::None;
    std::uint8_t operandCount_ : 5 = 0;
    std::int8_t HasStatus : 1 = 0;  // -1: the status view shows values for this line
    std::int16_t Block = 0;         // the program block of the line: 0 main, then in file order
    // FOR: the line of its NEXT; NEXT: the line of its FOR. The builder pairs them inside
    // their block; 0 when the line has no partner, -1 when the pair is nested deeper than
    // eight loops. A line without a partner does nothing.
    ShortLine LoopPartner = 0;
    OperandList operands;

    double number(int k) const { return operands[k].number; }
    int kindOf(int k) const { return operands[k].kind; }
    // keyOf(number(k)) without the rounding: the key decoded when the operand was set.
    int key(int k) const {
        const int r = operands[k].key;
        if (r < 0) fault(FaultCode::AccessOutOfImage);
        return r;
    }
    int operandCount() const { return operandCount_; }
    // The mnemonic as written.
    const std::string& mnemonic() const {
        if (const std::string* t = operands.unknownMnemonic()) return *t;
        return mnemonicText(op);
    }
    void setMnemonic(std::string_view m) { setMnemonic(m, opcodeOf(m)); }
    // With the opcode already looked up (opcodeOf(m)).
    void setMnemonic(std::string_view m, Op resolved) {
        op = resolved;
        if (resolved == Op::Unknown)
            operands.setUnknownMnemonic(m);
        else
            operands.clearUnknownMnemonic();
    }
    void setNumber(int k, double num) {
        LineOperand& o = operands.at(k);
        o.number = num;
        o.decode();
    }
    void setKind(int k, int knd) { operands.at(k).kind = static_cast<std::uint8_t>(knd); }
    void setOperandCount(int n) { operandCount_ = static_cast<std::uint8_t>(n) & 31u; }
    // Fill an operand directly (code tables built by hand).
    void setOperand(int k, double num, int knd = kind::Constant) {
        setNumber(k, num);
        setKind(k, knd);
        if (operandCount() < k + 1) setOperandCount(k + 1);
    }
};

// A program of 10,000 lines touches its code table on load: keep the line small.
static_assert(sizeof(void*) != 8 || sizeof(CodeLine) <= 64);

// What a line recorded when it last ran, as raw values (see lineStatus), kept beside the code
// table so that a load does not touch it: all zero is a line that has not run.
struct LineRunStatus {
    std::array<double, 3> StatusValue{};
    std::array<std::int8_t, 3> StatusKind{};  // display kinds (see statusValueText)
    std::uint8_t flowBits = 0;                // status:: bits
    bool UnknownLogged = false;  // an unknown mnemonic (or a misplaced END) is logged once per RUN
    bool PointerLogged = false;  // so is a bad pointer
};
static_assert(sizeof(LineRunStatus) == 32 && std::is_trivially_copyable_v<LineRunStatus>);

// The run status of every line, made (zero-filled by calloc) when a run starts: a load, even
// of a large program, never touches it, and a line without a record reads as all zero.
class RunStatusTable {
public:
    RunStatusTable() = default;
    RunStatusTable(const RunStatusTable& o) { copyFrom(o); }
    RunStatusTable& operator=(const RunStatusTable& o) {
        if (this != &o) copyFrom(o);
        return *this;
    }
    RunStatusTable(RunStatusTable&& o) noexcept : data_(std::move(o.data_)), size_(std::exchange(o.size_, 0)) {}
    RunStatusTable& operator=(RunStatusTable&& o) noexcept {
        data_ = std::move(o.data_);
        size_ = std::exchange(o.size_, 0);
        return *this;
    }

    std::size_t size() const { return size_; }
    LineRunStatus* data() { return data_.get(); }
    const LineRunStatus* data() const { return data_.get(); }
    void clear() {
        data_.reset();
        size_ = 0;
    }
    // n records: the first ones kept, any new ones zero.
    void resize(std::size_t n) {
        if (n == size_) return;
        LineRunStatus* p = allocate(n);
        if (size_ && n) std::memcpy(static_cast<void*>(p), data_.get(), std::min(n, size_) * sizeof(LineRunStatus));
        data_.reset(p);
        size_ = n;
    }

private:
    struct Free {
        void operator()(LineRunStatus* p) const { std::free(p); }
    };
    static LineRunStatus* allocate(std::size_t n) {
        if (n == 0) return nullptr;
        void* p = std::calloc(n, sizeof(LineRunStatus));
        if (!p) throw std::bad_alloc();
        return static_cast<LineRunStatus*>(p);
    }
    void copyFrom(const RunStatusTable& o) {
        clear();
        resize(o.size_);
        if (size_) std::memcpy(static_cast<void*>(data_.get()), o.data_.get(), size_ * sizeof(LineRunStatus));
    }
    std::unique_ptr<LineRunStatus, Free> data_;
    std::size_t size_ = 0;
};

// The bits of LineRunStatus::flowBits.
namespace status {
inline constexpr std::uint8_t FlowBefore = 1;  // the logic result the line was entered with
inline constexpr std::uint8_t FlowAfter = 2;   // the logic result it left (also the stack text's first bit)
inline constexpr std::uint8_t Eno = 4;         // the box's ENO as shown
inline constexpr std::uint8_t Stack0 = 8;      // the top three logic stack bits
inline constexpr std::uint8_t Stack1 = 16;
inline constexpr std::uint8_t Stack2 = 32;
inline constexpr std::uint8_t AfterBits = FlowAfter | Eno | Stack0 | Stack1 | Stack2;
}  // namespace status

// Declaration types of subroutine parameters.
namespace ptype {
inline constexpr int Bool = 0, Byte = 1, Word = 2, Int = 3, DWord = 4, DInt = 5, Real = 6, String = 7;
}

struct SubroutineEntry {
    std::string Name;
    std::int16_t EntryLine = 0;
    std::array<std::int16_t, 21> ParamType{};
    std::array<std::int16_t, 21> ParamKey{};
    std::int16_t InCount = 0;
    std::int16_t InOutCount = 0;
    std::int16_t OutCount = 0;
    std::int16_t ParamCount = 0;
};

struct InterruptEntry {
    std::string Name;
    std::int16_t EntryLine = 0;
};

struct EventEntry {
    std::int32_t Routine = -1;
    std::int32_t LastTick = 0;
};

// Library codes that CALL targets and subroutine headers receive in place of the number.
namespace library {
inline constexpr int MBUS_CTRL = 101, MBUS_MSG = 102, USS_INIT = 103, USS_CTRL = 104, MBUS_INIT = 105,
                     MBUS_SLAVE = 106;
}

// One program block: the main program, a subroutine or an interrupt routine, from its
// header line to its end line.
enum class BlockKind : std::uint8_t { Main, Subroutine, Interrupt };
struct BlockInfo {
    BlockKind kind = BlockKind::Main;
    int number = 0;     // SBR n, INT n
    int firstLine = 0;  // the header line
    int lastLine = 0;   // the end line, or the last line before the next header
};

// An operand the builder could not take as written, for the program check.
enum class OperandProblem : std::uint8_t {
    Missing,        // the instruction needs more operands, or one is empty
    Unreadable,     // the text names nothing this CPU has
    UnknownSymbol,  // a symbol the symbol table does not hold
    UnknownLocal,   // a #name that is not a local variable of its block
    OutsideArea,    // past the end of its area (VW1023, T300, AIW3, the 129th edge)
    StringTooLong,  // a constant string of more than kMaxConstantString bytes
    BitNumber,      // a bit number above 7 (I0.9)
    WrongType,      // an operand of another type than the instruction takes (LD VW0)
};
struct OperandNote {
    int line = 0;     // code-table index
    int operand = 0;  // position, from 0
    OperandProblem problem = OperandProblem::Unreadable;
    std::string text;  // the operand as written
};

using LabelTable = std::array<std::int16_t, 256>;

// The record of a line that has none: it has not run.
inline const LineRunStatus& noRunStatus() {
    static const LineRunStatus none{};
    return none;
}

struct Program {
    std::vector<CodeLine> CodeTable{1};
    std::array<SubroutineEntry, 501> subroutines{};
    std::array<InterruptEntry, 101> interrupts{};
    // Labels belong to their block: labels[b][n] is the line of LBL n in block b (0 none).
    std::vector<LabelTable> labels{LabelTable{}};
    std::array<EventEntry, 34> events{};
    std::vector<BlockInfo> blocks;       // filled by the builder
    std::vector<OperandNote> operandNotes;  // filled by the builder
    std::vector<std::string> strings;       // the constant strings' bytes, by operand number
    // The source text of each line as the builder took it (trimmed), beside the table so that
    // the lines the interpreter walks stay small. A line never built has none.
    TextLines sourceTexts;
    // What each line recorded when it last ran, by line index: made as long as the code table
    // when a run starts (runStatusFollowingTable), empty after a load; a line without a record
    // has not run.
    RunStatusTable runStatus;

    // The status records, made as long as the code table first (a table built by hand may
    // have grown since): new records are zero.
    LineRunStatus* runStatusFollowingTable() {
        if (runStatus.size() != CodeTable.size()) runStatus.resize(CodeTable.size());
        return runStatus.data();
    }
    // The record of a line of this table; a line that has none reads as all zero.
    const LineRunStatus& runStatusOf(std::size_t index) const {
        return index < runStatus.size() ? runStatus.data()[index] : noRunStatus();
    }
    const LineRunStatus& runStatusOf(const CodeLine& line) const {
        const auto at = reinterpret_cast<std::uintptr_t>(&line);
        const auto base = reinterpret_cast<std::uintptr_t>(CodeTable.data());
        if (at < base || at >= base + CodeTable.size() * sizeof(CodeLine)) return noRunStatus();
        return runStatusOf((at - base) / sizeof(CodeLine));
    }
    // Every line's record back to zero (a new program), without touching memory: the records
    // go, and the next run makes them again.
    void clearRunStatus() { runStatus.clear(); }

    void clearLabels() { labels.assign(1, LabelTable{}); }

    // A table whose last index is 0 counts as no program.
    int lastIndex() const { return static_cast<int>(CodeTable.size()) - 1; }
    bool loaded() const { return lastIndex() > 0; }
    void resetCodeTable(std::size_t rows = 1) {
        CodeTable.assign(rows == 0 ? 1 : rows, CodeLine{});
        sourceTexts.clear();
        clearRunStatus();
    }
    std::string_view sourceText(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < sourceTexts.size()
                   ? sourceTexts[static_cast<std::size_t>(index)]
                   : std::string_view{};
    }
    // Set one line's text (code tables built by hand); lines before it without one get none.
    void setSourceText(int index, std::string_view text) {
        if (index < 0) return;
        const auto at = static_cast<std::size_t>(index);
        while (sourceTexts.size() < at) sourceTexts.push_back({});
        if (sourceTexts.size() == at) {
            sourceTexts.push_back(text);
            return;
        }
        TextLines rebuilt;
        for (std::size_t i = 0; i < sourceTexts.size(); ++i) rebuilt.push_back(i == at ? text : sourceTexts[i]);
        sourceTexts = std::move(rebuilt);
    }
};

// What a line recorded the last time it ran, as the program status view and the ladder view
// show it. Views read status only through this, so the record can stay compact.
struct LineStatus {
    bool shown = false;       // the line records status (block, network and declaration lines do not)
    bool flowBefore = false;  // the logic result the line was entered with
    bool flowAfter = false;   // the logic result it left
    bool enoShown = false;    // a box's ENO as shown
    int operands = 0;         // operand count of the line
    std::array<char, 4> stack{'0', '0', '0', '0'};  // logic result and the top three stack bits
    std::array<double, 3> value{};                   // the first three operands' values
    std::array<std::int16_t, 3> kind{};              // their display kinds (see statusValueText)
    std::string stackText() const { return std::string(stack.data(), stack.size()); }
};
LineStatus lineStatus(const Program& prog, int index);
// The same for a line of prog's code table.
LineStatus lineStatus(const Program& prog, const CodeLine& line);

// The value of operand index of a line: constants as they stand, memory read unsigned,
// timers and counters from their records, pointer operands read through the pointer.
// Faults pass to the caller.
double GetCodeParamVal(const PlcMemory& mem, const CodeLine& line, int index);
// The value as a real: a constant as it stands, a pointer operand the four bytes it
// addresses, anything else the four bytes at the key.
double GetCodeParamRealVal(const PlcMemory& mem, const CodeLine& line, int index);

}  // namespace korvane

namespace korvane {

// The bits a pointer operand of this kind reads or writes: 8, 16 or 32; 0 for other kinds.
constexpr int pointerBits(int knd) {
    return knd == kind::IndirectByte ? 8 : knd == kind::IndirectWord ? 16 : knd == kind::IndirectDWord ? 32 : 0;
}

// The key a pointer addresses. The pointer double word at pointerKey holds a byte address
// (&VB100 gives 164); the bits from it must lie inside one of the areas a pointer may
// address (I, Q, M, V, SM, AIW, AQW, L, S), or it faults with BadPointer: a pointer never
// reaches into another area.
int pointerTarget(const PlcMemory& mem, double pointerKey, int bits);
// The same for a pointer double word at an image key already decoded.
int pointerTarget(const PlcMemory& mem, int pointerKey, int bits);

}  // namespace korvane
