#include "loader/code_builder.h"

#include <array>
#include <cstring>
#include <exception>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/fault.h"
#include "loader/operand_decoder.h"
#include "loader/operand_syntax.h"
#include "loader/stl_text.h"
#include "loader/symbol_table.h"
#include "loader/text_encoding.h"

namespace korvane {

namespace {

using stl::isBlank;
using stl::startsWith;
using stl::trailingNumber;
using stl::trim;

enum class Section { None, Input, InOut, Output };

struct Declaration {
    std::string_view text;
    int type;
    int bits;  // 0 for STRING: no key, no local memory
};
constexpr std::array<Declaration, 8> kDeclarations{{{":BOOL;", ptype::Bool, 1},
                                                    {":BYTE;", ptype::Byte, 8},
                                                    {":WORD;", ptype::Word, 16},
                                                    {":INT;", ptype::Int, 16},
                                                    {":DWORD;", ptype::DWord, 32},
                                                    {":DINT;", ptype::DInt, 32},
                                                    {":REAL;", ptype::Real, 32},
                                                    {":STRING;", ptype::String, 0}}};

const Declaration* declarationOf(std::string_view t) {
    for (const auto& d : kDeclarations)
        if (d.text == t) return &d;
    return nullptr;
}

std::int16_t int16Of(long v) {
    if (v < -32768 || v > 32767) fault(FaultCode::Overflow);
    return static_cast<std::int16_t>(v);
}

// opcodeOf for the mnemonics of one build: a program repeats a few dozen mnemonics, each
// looked up once and then found here by its text.
class MnemonicCache {
public:
    Op operator()(std::string_view m) {
        if (m.empty() || m.size() > kLongest) return opcodeOf(m);
        const std::size_t h = (m.size() * 31 + static_cast<unsigned char>(m[0]) * 7 +
                               static_cast<unsigned char>(m.back()) * 13 + static_cast<unsigned char>(m[m.size() / 2])) %
                              kEntries;
        Entry& e = entries_[h];
        if (e.length == m.size()) {
            std::size_t k = 0;
            while (k < m.size() && e.text[k] == m[k]) ++k;
            if (k == m.size()) return e.op;
        }
        e.op = opcodeOf(m);
        e.length = m.size();
        std::memcpy(e.text.data(), m.data(), m.size());
        return e.op;
    }

private:
    static constexpr std::size_t kLongest = 23;
    static constexpr std::size_t kEntries = 64;
    struct Entry {
        std::array<char, kLongest> text{};
        std::size_t length = 0;  // 0: empty (an empty mnemonic is never kept)
        Op op = Op::Unknown;
    };
    std::array<Entry, kEntries> entries_{};
};

// The mnemonic as written and its operation.
void setMnemonic(CodeLine& line, std::string_view m, MnemonicCache& opcodes) { line.setMnemonic(m, opcodes(m)); }

// The working state of one build: current subroutine s, local-memory bit offset j,
// parameter slot k and the declaration section; the current block with the addresses of its
// named local variables.
struct BuildState {
    int s = 0;
    int j = 0;
    int k = 0;
    Section section = Section::None;
    int block = 0;
    int localBits = 0;  // the next free L bit of the block's local variables
    std::unordered_map<std::string, std::string> locals;
    MnemonicCache opcodes;
    std::array<std::size_t, kMaxOperands> operandEnds{};  // where each operand of a line ends
};

// The L placement of a declaration: a bit takes the next bit; anything wider starts at the
// next byte boundary unless j is on one. Returns the start; j moves past the declaration.
int placeLocal(int& j, int bits) {
    if (bits == 1) return j++;
    const int f = j % 8;
    const int start = f == 0 ? j : j - f + 8;
    j = start + bits;
    return start;
}

SubroutineEntry& subroutine(Program& prog, int s) {
    if (s < 0 || s >= static_cast<int>(prog.subroutines.size())) fault(FaultCode::IndexOutOfRange);
    return prog.subroutines[s];
}

// A line without a blank: a block keyword, a section header, a declaration, or an
// instruction without operands. name is the declaration's name as the file gives it.
void buildBareLine(Program& prog, CodeLine& line, std::string_view t, BuildState& st, std::string_view name) {
    line.setOperandCount(0);
    setMnemonic(line, t, st.opcodes);
    if (t == "VAR_INPUT") {
        subroutine(prog, st.s).InCount = 0;
        st.section = Section::Input;
    } else if (t == "VAR_IN_OUT") {
        subroutine(prog, st.s).InOutCount = 0;
        st.section = Section::InOut;
    } else if (t == "VAR_OUTPUT") {
        subroutine(prog, st.s).OutCount = 0;
        st.section = Section::Output;
    } else if (t == "END_VAR") {
        SubroutineEntry& e = subroutine(prog, st.s);
        switch (st.section) {
        case Section::Input:
            e.ParamCount = e.InCount;
            break;
        case Section::InOut:
            e.ParamCount = int16Of(long{e.InCount} + e.InOutCount);
            break;
        case Section::Output:
            e.ParamCount = int16Of(long{e.InCount} + e.InOutCount + e.OutCount);
            break;
        case Section::None:
            break;
        }
        st.section = Section::None;
    } else if (const Declaration* d = declarationOf(t); d) {
        // Every declaration has its L address for #name, also past the 20th.
        if (d->bits > 0) {
            const int start = placeLocal(st.localBits, d->bits);
            if (!name.empty() && start + d->bits <= 8 * 64) st.locals[std::string(name)] = localAddress(d->type, start);
        }
        if (st.k > 20) return;
        SubroutineEntry& e = subroutine(prog, st.s);
        switch (st.section) {
        case Section::Input:
            e.InCount = int16Of(long{e.InCount} + 1);
            break;
        case Section::InOut:
            e.InOutCount = int16Of(long{e.InOutCount} + 1);
            break;
        case Section::Output:
            e.OutCount = int16Of(long{e.OutCount} + 1);
            break;
        case Section::None:
            break;
        }
        e.ParamType[st.k] = static_cast<std::int16_t>(d->type);
        line.HasStatus = 0;
        // Each declaration gets its own bits in L, counted from L0.0; anything wider than a
        // bit starts at the next byte boundary unless j is on one.
        if (d->bits > 0) e.ParamKey[st.k] = int16Of(long{area::L} + placeLocal(st.j, d->bits));
        ++st.k;
    }
}

// The signature character of operand k (see operandSignature): 0 past the signature, '*'
// where any operand goes.
char signatureChar(std::string_view sig, int k) {
    int i = 0;
    for (char c : sig) {
        if (c == '?') continue;
        if (c == '*') return '*';
        if (i++ == k) return c;
    }
    return 0;
}

// The operands an instruction cannot do without.
int requiredOperands(std::string_view sig) {
    int n = 0;
    for (char c : sig) {
        if (c == '?' || c == '*') break;
        ++n;
    }
    return n;
}

// Lines whose operands are taken as they stand: block headers and ends, networks, unknown
// mnemonics.
bool takesOperandsAsWritten(Op op) { return operandSignature(op) == "*"; }

// What one operand resolved to, and what is wrong with it.
struct Resolved {
    // The text the decoder reads: the operand as written, the address a symbol or a local
    // name stands for, or (made here) a constant string's bytes or a routine's number.
    std::string_view text() const { return made ? std::string_view(madeText) : found; }
    void set(std::string_view t) { found = t, made = false; }
    void make(std::string t) { madeText = std::move(t), made = true; }
    std::string_view found;
    std::string madeText;
    bool made = false;
    bool problem = false;
    OperandProblem kind = OperandProblem::Unreadable;
    bool namesNothing = false;  // the line must not act on it
    bool outside = false;       // a run-time error when the line acts
    bool constantString = false;
    OperandSyntax syn;  // what text names, when resolved to an address or a constant
};

bool isQuoted(std::string_view text) { return text.size() >= 2 && text.front() == '"' && text.back() == '"'; }

// Turns a symbol, a local variable name, a "symbol:address" pair or a routine name into the
// address text the decoder reads, and checks the result against what the instruction takes
// (signature character c).
Resolved resolveOperand(const Program& prog, Op op, int position, std::string_view text, char c,
                        const BuildState& st, const BuildInputs& in) {
    Resolved r;
    r.set(text);
    auto nothing = [&](OperandProblem k) {
        r.problem = true;
        r.kind = k;
        r.namesNothing = true;
        return r;
    };
    if (text.empty()) return nothing(OperandProblem::Missing);
    if (c == 's' && isQuoted(text)) {
        // A string in double quotes is a constant string where the instruction takes one. The
        // CPU holds it in the character set of the programming package (GBK): the bytes of
        // its characters count, not the characters.
        if (stringConstantAllowed(op, position)) {
            r.make(utf8ToGb18030(text.substr(1, text.size() - 2)));
            r.constantString = true;
            if (r.text().size() > kMaxConstantString) return nothing(OperandProblem::StringTooLong);
            return r;
        }
        // Where it writes (or IN2 of a compare), only a symbol can stand in quotes.
        if (!in.symbols || !in.symbols->addressOf(text.substr(1, text.size() - 2)))
            return nothing(OperandProblem::WrongType);
    }
    if (isQuoted(text)) {
        const std::string_view name = text.substr(1, text.size() - 2);
        const std::string* a = in.symbols ? in.symbols->addressOf(name) : nullptr;
        if (!a) return nothing(OperandProblem::UnknownSymbol);
        r.set(*a);
    } else if (text.front() == '#') {
        auto it = st.locals.find(std::string(text.substr(1)));
        if (it == st.locals.end()) return nothing(OperandProblem::UnknownLocal);
        r.set(it->second);
    } else if (std::string_view a = addressAfterSymbol(text); !a.empty()) {
        r.set(a);
    }
    OperandSyntax syn = parseOperand(r.text());
    if (syn.form == OperandForm::Invalid) {
        if (c == 'r') {
            // A routine by its name (CALL MBUS_CTRL, ATCH Timer_INT), or SBR_0 / INT_0.
            if (op == Op::CALL) {
                for (std::size_t n = 0; n < prog.subroutines.size(); ++n)
                    if (!prog.subroutines[n].Name.empty() && prog.subroutines[n].Name == r.text()) {
                        r.make("SBR" + std::to_string(n));
                        return r;
                    }
            } else {
                for (std::size_t n = 0; n < prog.interrupts.size(); ++n)
                    if (!prog.interrupts[n].Name.empty() && prog.interrupts[n].Name == r.text()) {
                        r.make("INT" + std::to_string(n));
                        return r;
                    }
            }
            if ((startsWith(r.text(), "SBR") || startsWith(r.text(), "INT")) && trailingNumber(r.text()) >= 0) return r;
            return nothing(isSymbolName(r.text()) ? OperandProblem::UnknownSymbol : OperandProblem::Unreadable);
        }
        const std::string* a = in.symbols ? in.symbols->addressOf(r.text()) : nullptr;
        // HC n (the high-speed counters) and other forms this simulator has no area for.
        const bool highSpeedCounter = startsWith(r.text(), "HC") && trailingNumber(r.text()) >= 0;
        if (!a)
            return nothing(isSymbolName(r.text()) && !highSpeedCounter ? OperandProblem::UnknownSymbol
                                                                         : OperandProblem::Unreadable);
        r.set(*a);
        syn = parseOperand(r.text());
        if (syn.form == OperandForm::Invalid) return nothing(OperandProblem::Unreadable);
    }
    auto note = [&](OperandProblem k) {
        r.problem = true;
        r.kind = k;
    };
    bool typeOk = true;
    switch (c) {
    case 'b':
        typeOk = syn.form == OperandForm::Bit || syn.form == OperandForm::Timer || syn.form == OperandForm::Counter;
        break;
    case 'B':
    case 'W':
    case 'D':
    case 'R':
        typeOk = syn.form != OperandForm::Bit && syn.form != OperandForm::Routine;
        break;
    case 't':
        typeOk = syn.form == OperandForm::Timer;
        break;
    case 'c':
        typeOk = syn.form == OperandForm::Counter;
        break;
    case 'k':
    case 'e':
        typeOk = syn.form == OperandForm::Constant;
        break;
    case 'r':
        typeOk = syn.form == OperandForm::Routine;
        break;
    case 'p':
        typeOk = syn.form == OperandForm::Byte && syn.area == AreaId::V;
        break;
    case 's':
        typeOk = (syn.form == OperandForm::Byte && (syn.area == AreaId::V || syn.area == AreaId::L)) ||
                 syn.form == OperandForm::Pointer;
        break;
    default:
        break;
    }
    if (!typeOk) note(OperandProblem::WrongType);
    // A PID loop table takes 36 bytes from its first.
    const bool pidPastEnd = c == 'p' && typeOk && syn.offset + 36 > areaSize(AreaId::V);
    if (!insideArea(syn) || pidPastEnd) {
        note(OperandProblem::OutsideArea);
        r.outside = true;
    } else if (syn.form == OperandForm::Bit && syn.bit > 7 && !r.problem) {
        note(OperandProblem::BitNumber);
    }
    r.syn = syn;
    return r;
}

// The image base of an area whose bits, bytes, words and double words are addressed by
// offset; -1 for the others.
int bitAreaBase(AreaId a) {
    switch (a) {
    case AreaId::I: return area::I;
    case AreaId::Q: return area::Q;
    case AreaId::M: return area::M;
    case AreaId::V: return area::V;
    case AreaId::L: return area::L;
    case AreaId::S: return area::S;
    case AreaId::SM: return area::SM;
    default: return -1;
    }
}

// The value of radix digits, summed as the decoder sums them (2# takes any decimal digit).
double radixDigits(std::string_view digits, int radix) {
    double v = 0;
    for (char c : digits) {
        const int d = c <= '9' ? c - '0' : c <= 'F' ? c - 'A' + 10 : c - 'a' + 10;
        v = v * radix + d;
    }
    return v;
}

// What an operand decodes to (see GetParamValue), read from its parse for the plain forms
// that decode the same under every instruction: bits, bytes, words and double words of the
// bit areas, timers, counters, and decimal, 2# and 16# constants. kind -1 leaves the kind as
// it is. False for any other form: the decoder reads those.
bool plainOperand(const OperandSyntax& syn, std::string_view text, double& number, int& knd) {
    knd = -1;
    switch (syn.form) {
    case OperandForm::Bit:
    case OperandForm::Byte:
    case OperandForm::Word:
    case OperandForm::DWord: {
        const int base = bitAreaBase(syn.area);
        if (base < 0 || syn.offset > 4095) return false;
        const long key = base + 8 * syn.offset + (syn.form == OperandForm::Bit ? syn.bit : 0);
        if (key > 32767) return false;
        number = static_cast<double>(key);
        if (syn.form != OperandForm::Bit)
            knd = syn.form == OperandForm::Byte ? kind::Byte : syn.form == OperandForm::Word ? kind::Word : kind::DWord;
        return true;
    }
    case OperandForm::Timer:
    case OperandForm::Counter:
        if (syn.offset > 4095) return false;
        number = static_cast<double>((syn.form == OperandForm::Timer ? area::T : area::C) + syn.offset);
        knd = syn.form == OperandForm::Timer ? kind::Timer : kind::Counter;
        return true;
    case OperandForm::Constant: {
        if (text.empty() || text[0] == '&') return false;
        if (startsWith(text, "16#") || startsWith(text, "2#")) {
            const std::string_view digits = text.substr(text[0] == '2' ? 2 : 3);
            if (digits.size() > 60) return false;
            number = radixDigits(digits, text[0] == '2' ? 2 : 16);
        } else {
            number = syn.value;  // a decimal number: '&' was refused above
        }
        knd = kind::Constant;
        return true;
    }
    default:
        return false;
    }
}

// The mnemonics whose operands the decoder reads in a way of their own.
bool decodesOperandsItsOwnWay(Op op) {
    switch (op) {
    case Op::CALL:
    case Op::ATCH:
    case Op::SUBROUTINE_BLOCK:
    case Op::INTERRUPT_BLOCK:
    case Op::EU:
    case Op::ED:
    case Op::Network: return true;
    default: return false;
    }
}

// The immediate instructions reach the I/O terminals: their bit is an input (LDI ... ONI) or
// an output (=I, SI, RI), BIR reads an input byte and BIW writes an output byte (directly or
// through a pointer, which is checked when the line runs). Any other operand there names no
// terminal.
bool reachesTerminal(Op op, int k, std::string_view text) {
    if (info(op).family != Family::Immediate) return true;
    const OperandSyntax syn = parseOperand(text);
    switch (op) {
    case Op::LDI:
    case Op::LDNI:
    case Op::AI:
    case Op::ANI:
    case Op::OI:
    case Op::ONI:
        return k != 0 || (syn.form == OperandForm::Bit && syn.area == AreaId::I);
    case Op::AssignI:
    case Op::SI:
    case Op::RI:
        return k != 0 || (syn.form == OperandForm::Bit && syn.area == AreaId::Q);
    case Op::BIR:
        return k != 0 || syn.form == OperandForm::Pointer || (syn.form == OperandForm::Byte && syn.area == AreaId::I);
    case Op::BIW:
        return k != 1 || syn.form == OperandForm::Pointer || (syn.form == OperandForm::Byte && syn.area == AreaId::Q);
    default:
        return true;
    }
}

// FOR and NEXT pair up inside their block as brackets do, at most eight loops deep. A pair
// nested deeper gets -1 on both lines; a line left without a partner keeps 0.
constexpr std::size_t kLoopDepth = 8;
void pairLoops(Program& prog) {
    std::vector<int> open;  // the FOR lines of the block still waiting for their NEXT
    int block = 0;
    for (int i = 0; i <= prog.lastIndex(); ++i) {
        CodeLine& line = prog.CodeTable[static_cast<std::size_t>(i)];
        if (line.Block != block) {
            open.clear();
            block = line.Block;
        }
        if (line.op == Op::FOR) {
            open.push_back(i);
        } else if (line.op == Op::NEXT && !open.empty()) {
            const int head = open.back();
            open.pop_back();
            const bool tooDeep = open.size() >= kLoopDepth;
            prog.CodeTable[static_cast<std::size_t>(head)].LoopPartner = tooDeep ? -1 : i;
            line.LoopPartner = tooDeep ? -1 : head;
        }
    }
}

// A line "mnemonic operands": every operand resolved, checked and decoded into its number
// and kind.
void buildInstruction(Program& prog, PlcMemory& mem, int i, std::string_view t, std::size_t p, BuildState& st,
                      const BuildInputs& in) {
    CodeLine& line = prog.CodeTable[i];
    const std::string_view mnemonic = trim(t.substr(0, p));
    const std::string_view rest = trim(t.substr(p + 1));
    setMnemonic(line, mnemonic, st.opcodes);
    const Op op0 = line.op;
    const std::string_view sig = operandSignature(op0);
    const bool checked = !takesOperandsAsWritten(op0);
    const bool plainDecoding = !decodesOperandsItsOwnWay(op0);
    std::array<bool, kMaxOperands> usable{};

    // Operands are separated by the commas outside double quotes.
    // A line has at most 20 operands: a line with more ends the build here.
    std::array<std::size_t, kMaxOperands>& ends = st.operandEnds;
    std::size_t operands = 0;
    for (std::size_t at = 0;;) {
        const std::size_t to = stl::operandEnd(rest, at);
        if (operands == ends.size()) fault(FaultCode::IndexOutOfRange);
        ends[operands++] = to;
        if (to >= rest.size()) break;
        at = to + 1;
    }
    const std::size_t commas = operands - 1;
    line.setOperandCount(static_cast<int>(operands));

    std::size_t from = 0;
    for (int k = 0; k <= static_cast<int>(commas); ++k) {
        const std::size_t to = ends[static_cast<std::size_t>(k)];
        const std::string_view operand = trim(rest.substr(from, to - from));
        from = to + 1;
        usable[static_cast<std::size_t>(k)] = true;
        const char c = signatureChar(sig, k);
        if (!checked || c == 0) {
            line.setNumber(k, GetParamValue(prog, mnemonic, operand, i, k));
            continue;
        }
        Resolved r = resolveOperand(prog, op0, k, operand, c, st, in);
        if (!r.problem && !reachesTerminal(op0, k, r.text())) {
            r.problem = true;
            r.kind = OperandProblem::WrongType;
            r.namesNothing = true;
        }
        if (r.problem) prog.operandNotes.push_back({i, k, r.kind, std::string(operand)});
        if (r.constantString && !r.problem) {
            line.setNumber(k, static_cast<double>(prog.strings.size()));
            line.setKind(k, kind::String);
            prog.strings.emplace_back(r.text());
            continue;
        }
        if (r.namesNothing || r.outside) usable[static_cast<std::size_t>(k)] = false;
        if (r.outside) {
            line.Guard = LineGuard::OutsideArea;
        } else if (r.namesNothing) {
            if (isContact(op0)) {
                // A contact on nothing reads off: a bit contact the cell no one writes, a
                // compare the constant 0.
                line.setNumber(k, c == 'b' ? area::AlwaysOff : 0);
                line.setKind(k, kind::Constant);
                continue;
            }
            if (line.Guard == LineGuard::None) line.Guard = LineGuard::NamesNothing;
        }
        double number = 0;
        int knd = -1;
        if (plainDecoding && !r.problem && plainOperand(r.syn, r.text(), number, knd)) {
            line.setNumber(k, number);
            if (knd >= 0) line.setKind(k, knd);
            continue;
        }
        line.setNumber(k, GetParamValue(prog, mnemonic, r.text(), i, k));
    }
    // The 129th edge instruction and those after it have no edge flag of their own.
    if ((op0 == Op::EU || op0 == Op::ED) && line.number(0) >= area::EdgeEnd) {
        prog.operandNotes.push_back({i, 0, OperandProblem::OutsideArea, std::string(rest)});
        line.Guard = LineGuard::OutsideArea;
        usable[0] = false;
    }
    if (checked && static_cast<int>(commas) + 1 < requiredOperands(sig)) {
        prog.operandNotes.push_back({i, static_cast<int>(commas) + 1, OperandProblem::Missing, {}});
        if (isContact(op0)) {
            for (int k = static_cast<int>(commas) + 1; k < requiredOperands(sig); ++k) {
                line.setNumber(k, sig[static_cast<std::size_t>(k)] == 'b' ? area::AlwaysOff : 0);
                line.setKind(k, kind::Constant);
            }
        } else if (line.Guard == LineGuard::None) {
            line.Guard = LineGuard::NamesNothing;
        }
    }

    const Op op = line.op;
    auto timerIndex = [&] { return toInt16(line.number(0) - area::T); };
    auto counterIndex = [&] { return toInt16(line.number(0) - area::C); };
    // A timer or counter box whose number names nothing, or one past 255, has no record.
    const bool boxNumberUsable = usable[0];
    switch (boxNumberUsable || (op != Op::TON && op != Op::TOF && op != Op::TONR && op != Op::CTU &&
                                op != Op::CTD && op != Op::CTUD)
                ? op
                : Op::Empty) {
    case Op::TON:
        mem.timer(timerIndex()).Kind = 1;
        break;
    case Op::TOF:
        mem.timer(timerIndex()).Kind = 2;
        break;
    case Op::TONR:
        mem.timer(timerIndex()).Kind = 3;
        break;
    case Op::CTU:
        mem.counter(counterIndex()).Kind = 1;
        break;
    case Op::CTD:
        mem.counter(counterIndex()).Kind = 2;
        break;
    case Op::CTUD:
        mem.counter(counterIndex()).Kind = 3;
        break;
    case Op::LBL: {
        const int n = toInt16(line.number(0));
        LabelTable& labels = prog.labels[static_cast<std::size_t>(st.block)];
        if (n < 0 || n >= static_cast<int>(labels.size())) fault(FaultCode::IndexOutOfRange);
        labels[static_cast<std::size_t>(n)] = int16Of(i);
        line.HasStatus = 0;
        break;
    }
    case Op::SUBROUTINE_BLOCK: {
        st.s = toInt16(line.number(0));
        // The entry describes this program's routine from here on: counts and slots left
        // from an earlier program would corrupt calls of a routine without sections.
        SubroutineEntry& e = subroutine(prog, st.s);
        e.InCount = e.InOutCount = e.OutCount = e.ParamCount = 0;
        for (std::size_t slot = 1; slot < e.ParamType.size(); ++slot) e.ParamType[slot] = e.ParamKey[slot] = 0;
        line.HasStatus = 0;
        st.j = 0;
        st.section = Section::None;
        st.k = 1;
        break;
    }
    case Op::INTERRUPT_BLOCK:
        line.HasStatus = 0;
        break;
    default:
        break;
    }
}

bool showsNoStatus(std::string_view mnemonic) {
    if (mnemonic.empty()) return false;
    switch (mnemonic[0]) {
    case 'N':
    case 'E':
    case 'S':
    case 'O':
    case 'B':
    case 'I':
        break;
    default:
        return false;
    }
    return startsWith(mnemonic, "Network") || startsWith(mnemonic, "END") || startsWith(mnemonic, "SUB") ||
           startsWith(mnemonic, "ORG") || startsWith(mnemonic, "BEGIN") || startsWith(mnemonic, "INTER");
}

// An instruction written without the operands it needs ("LD" alone) names nothing: a
// contact reads off, anything else does nothing.
void missingOperands(Program& prog, CodeLine& line, int i) {
    const std::string_view sig = operandSignature(line.op);
    if (takesOperandsAsWritten(line.op) || requiredOperands(sig) == 0) return;
    prog.operandNotes.push_back({i, 0, OperandProblem::Missing, {}});
    if (isContact(line.op)) {
        for (int k = 0; k < requiredOperands(sig); ++k) {
            line.setNumber(k, sig[static_cast<std::size_t>(k)] == 'b' ? area::AlwaysOff : 0);
            line.setKind(k, kind::Constant);
        }
    } else {
        line.Guard = LineGuard::NamesNothing;
    }
}

// A block header line starts a new block: its labels and local variables are its own.
void startBlock(Program& prog, BuildState& st, int i, std::string_view t) {
    const bool sbr = startsWith(t, "SUBROUTINE_BLOCK");
    if (!sbr && !startsWith(t, "INTERRUPT_BLOCK")) return;
    if (i > 0) prog.blocks.back().lastLine = i - 1;
    const std::string_view rest = trim(t.substr(sbr ? 16 : 15));
    prog.blocks.push_back({sbr ? BlockKind::Subroutine : BlockKind::Interrupt, trailingNumber(rest), i, i});
    prog.labels.emplace_back();
    st.block = static_cast<int>(prog.blocks.size()) - 1;
    st.locals.clear();
    st.localBits = 0;
}

}  // namespace

bool AnalyseCode(const TextLines& lines, Program& prog, PlcMemory& mem, const Log& log,
                 const BuildInputs& inputs) {
    for (auto& e : prog.events) e.Routine = -1;
    // Labels of an earlier program must not send a jump of this one to a stale line.
    prog.clearLabels();
    prog.blocks.assign(1, BlockInfo{BlockKind::Main, 0, 0, 0});
    prog.operandNotes.clear();
    prog.strings.clear();
    // Entry lines are recorded again from this program's headers: one left from an earlier
    // program would send a CALL of a routine this program does not have into another one.
    for (auto& e : prog.subroutines) e.EntryLine = 0;
    for (auto& e : prog.interrupts) e.EntryLine = 0;
    // The table has one row per line when the reader made it. A table with fewer rows (an
    // unloaded program's line list built again after a failed read) ends the build at the
    // first line without a row, so that the unloaded program does not come back.
    if (prog.CodeTable.size() > lines.size()) prog.resetCodeTable(lines.size());
    prog.clearRunStatus();  // what an earlier program's lines recorded goes too
    prog.sourceTexts.clear();

    BuildState st;
    std::size_t i = 0;
    // The lines whose source text is kept (up to the failing one), and whether each was
    // already trimmed: then the program shares the lines' text instead of copying it.
    std::size_t withText = 0;
    bool asWritten = true;
    std::size_t nextDeclaration = 0;  // the first declared name not before line i
    try {
        for (; i < lines.size(); ++i) {
            if (i >= prog.CodeTable.size()) fault(FaultCode::IndexOutOfRange);
            CodeLine& line = prog.CodeTable[i];
            line = CodeLine{};
            const std::string_view raw = lines[i];
            const std::string_view t = trim(raw);
            withText = i + 1;
            asWritten = asWritten && t.size() == raw.size();
            line.HasStatus = kOn;
            startBlock(prog, st, static_cast<int>(i), t);
            line.Block = static_cast<std::int16_t>(st.block);
            prog.blocks.back().lastLine = static_cast<int>(i);
            std::size_t p = 0;
            while (p < t.size() && !isBlank(t[p])) ++p;
            if (p == t.size()) {
                std::string_view name;
                if (const auto* names = inputs.declarationNames) {
                    while (nextDeclaration < names->size() &&
                           (*names)[nextDeclaration].line < static_cast<int>(i))
                        ++nextDeclaration;
                    if (nextDeclaration < names->size() && (*names)[nextDeclaration].line == static_cast<int>(i))
                        name = (*names)[nextDeclaration].name;
                }
                buildBareLine(prog, line, t, st, name);
                missingOperands(prog, line, static_cast<int>(i));
            } else {
                buildInstruction(prog, mem, static_cast<int>(i), t, p, st, inputs);
            }
        }
    } catch (const PlcFault&) {
        log.stamped(" 代码组装错误");
    } catch (const std::exception&) {
        log.stamped(" 代码组装错误");
    }
    if (asWritten && withText == lines.size()) {
        prog.sourceTexts = lines;
    } else {
        std::size_t bytes = 0;
        for (std::size_t r = 0; r < withText; ++r) bytes += lines[r].size();
        prog.sourceTexts.reserve(withText, bytes);
        for (std::size_t r = 0; r < withText; ++r) prog.sourceTexts.push_back(trim(lines[r]));
    }
    if (i < lines.size()) {
        // The failing line and everything after it stay empty rows (no-operations).
        for (std::size_t r = i; r < prog.CodeTable.size(); ++r) prog.CodeTable[r] = CodeLine{};
        return false;
    }
    // Whether an opcode's lines show no status, looked up once per opcode.
    static const std::array<bool, kOpCount> noStatus = [] {
        std::array<bool, kOpCount> t{};
        for (std::size_t o = 0; o < kOpCount; ++o) t[o] = showsNoStatus(kOpInfo[o].mnemonic);
        return t;
    }();
    for (auto& line : prog.CodeTable) {
        const bool none = line.op == Op::Unknown ? showsNoStatus(line.mnemonic())
                                                 : noStatus[static_cast<std::size_t>(line.op)];
        line.HasStatus = none ? 0 : kOn;
    }
    pairLoops(prog);
    return true;
}

}  // namespace korvane
