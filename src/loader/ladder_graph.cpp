#include "loader/ladder_graph.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/opcodes.h"
#include "loader/stl_text.h"

namespace korvane::ladder {

namespace {

using stl::startsWith;
using stl::trim;

// Bounds that keep the conversion linear on any input: a network deeper than these has no
// ladder form.
constexpr std::size_t kMaxStack = 64;   // logic stack entries
constexpr int kMaxNesting = 100;        // series/parallel nesting of one circuit
constexpr int kMaxBranchDepth = 200;    // outputs hanging off outputs (forks after forks)
constexpr int kMaxRows = 4000;          // grid rows of one network
constexpr long kMaxCells = 50000;       // grid cells (rows x columns) of one network

// ---------------------------------------------------------------------------------------
// Reading the program text into blocks, networks and instruction lines.

struct Instr {
    std::string mnemonic;
    std::vector<std::string> operands;
    int line = -1;  // code-table line
    std::string text;
};

struct RawNetwork {
    Network net;
    std::vector<Instr> instrs;
};

struct RawBlock {
    Block block;
    std::vector<RawNetwork> networks;
    bool subroutine = false;
    std::string name;     // "ADD_TRUNC" of "ADD_TRUNC:SBR0"
    int number = -1;      // 0 of "SBR0"
    // The VAR_INPUT, VAR_IN_OUT and VAR_OUTPUT names in order; true for an output.
    std::vector<std::pair<std::string, bool>> params;
};

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') continue;
        out.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

std::string_view withoutComment(std::string_view line) {
    const std::size_t c = stl::commentStart(line);
    return trim(c == std::string_view::npos ? line : line.substr(0, c));
}

// The text after "//" on a line, trimmed; empty when there is none.
std::string commentOf(std::string_view line) {
    const std::size_t c = stl::commentStart(line);
    return c == std::string_view::npos ? std::string() : std::string(trim(line.substr(c + 2)));
}

Instr splitInstruction(std::string_view t) {
    Instr in;
    std::size_t p = 0;
    while (p < t.size() && !stl::isBlank(t[p])) ++p;
    in.mnemonic = std::string(t.substr(0, p));
    const std::string_view rest = trim(t.substr(p));
    std::size_t from = 0;
    while (from < rest.size()) {
        const std::size_t end = stl::operandEnd(rest, from);
        in.operands.emplace_back(trim(rest.substr(from, end - from)));
        from = end + 1;
    }
    return in;
}

// "MAIN:OB1" -> "MAIN (OB1)".
std::string blockTitle(std::string_view rest) {
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return std::string(rest);
    return std::string(trim(rest.substr(0, colon))) + " (" + std::string(trim(rest.substr(colon + 1))) + ")";
}

std::vector<RawBlock> readBlocks(std::string_view text, const std::vector<int>& keptFileLines) {
    if (startsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    const std::vector<std::string_view> raw = splitLines(text);
    std::unordered_map<int, int> keptIndex;
    keptIndex.reserve(keptFileLines.size());
    for (std::size_t i = 0; i < keptFileLines.size(); ++i) keptIndex.emplace(keptFileLines[i], static_cast<int>(i));

    std::vector<RawBlock> blocks;
    enum class State { Outside, Header, Declarations, Body } state = State::Outside;
    bool mainSeen = false;
    bool inTemps = false;    // inside VAR ... END_VAR (temporaries are no parameters)
    bool inOutputs = false;  // inside VAR_OUTPUT ... END_VAR
    bool networkHasInstr = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const int fileLine = static_cast<int>(i) + 1;
        const std::string_view r = raw[i];
        const std::string_view t = trim(r);
        if (startsWith(r, "ORGANIZATION_BLOCK")) mainSeen = true;
        if (!mainSeen) continue;
        const bool isHeader = startsWith(t, "ORGANIZATION_BLOCK") || startsWith(t, "SUBROUTINE_BLOCK") ||
                              startsWith(t, "INTERRUPT_BLOCK");
        if (isHeader) {
            RawBlock b;
            const std::size_t kw = t.find_first_of(" \t");
            const std::string_view rest = kw == std::string_view::npos ? std::string_view() : withoutComment(t.substr(kw));
            b.block.title = blockTitle(rest);
            b.block.fileLine = fileLine;
            b.subroutine = startsWith(t, "SUBROUTINE_BLOCK");
            const std::size_t colon = rest.find(':');
            b.name = std::string(trim(rest.substr(0, colon == std::string_view::npos ? rest.size() : colon)));
            b.number = stl::trailingNumber(colon == std::string_view::npos ? rest : rest.substr(colon + 1));
            blocks.push_back(std::move(b));
            state = State::Header;
            continue;
        }
        if (blocks.empty()) continue;
        RawBlock& b = blocks.back();
        if (startsWith(t, "END_ORGANIZATION_BLOCK") || startsWith(t, "END_SUBROUTINE_BLOCK") ||
            startsWith(t, "END_INTERRUPT_BLOCK")) {
            state = State::Outside;
            continue;
        }
        if (state == State::Outside) continue;
        const std::string_view code = withoutComment(t);
        if (state != State::Body) {
            if (startsWith(t, "TITLE")) {
                const std::size_t eq = t.find('=');
                if (eq != std::string_view::npos) b.block.comment.emplace_back(trim(t.substr(eq + 1)));
            } else if (startsWith(t, "//")) {
                if (state == State::Header) b.block.comment.push_back(commentOf(t));
            } else if (code == "VAR_INPUT" || code == "VAR_OUTPUT" || code == "VAR_IN_OUT" || code == "VAR") {
                state = State::Declarations;
                inTemps = code == "VAR";
                inOutputs = code == "VAR_OUTPUT";
            } else if (code == "END_VAR") {
                state = State::Header;
            } else if (code == "BEGIN") {
                state = State::Body;
            } else if (state == State::Declarations && !inTemps) {
                const std::size_t colon = code.find(':');
                if (colon != std::string_view::npos) b.params.emplace_back(std::string(trim(code.substr(0, colon))), inOutputs);
            }
            continue;
        }
        if (startsWith(t, "Network")) {
            RawNetwork n;
            std::string_view head = withoutComment(t).substr(7);
            head = trim(head);
            int number = 0;
            for (char c : head) {
                if (c < '0' || c > '9' || number > 100000) break;
                number = number * 10 + (c - '0');
            }
            n.net.number = number;
            n.net.title = commentOf(t);
            n.net.fileLine = fileLine;
            b.networks.push_back(std::move(n));
            networkHasInstr = false;
            continue;
        }
        if (t.empty() || startsWith(t, "TITLE")) continue;
        if (code.empty()) {
            // A comment line: the network comment while no instruction has come yet.
            if (!b.networks.empty() && !networkHasInstr) b.networks.back().net.comment.push_back(commentOf(t));
            continue;
        }
        if (b.networks.empty()) {
            RawNetwork n;
            n.net.fileLine = fileLine;
            b.networks.push_back(std::move(n));
        }
        RawNetwork& n = b.networks.back();
        Instr in = splitInstruction(code);
        const auto k = keptIndex.find(fileLine);
        in.line = k == keptIndex.end() ? -1 : k->second;
        in.text = std::string(t);
        n.net.stl.push_back(in.text);
        if (in.line >= 0) {
            if (n.net.firstLine < 0) n.net.firstLine = in.line;
            n.net.lastLine = in.line;
        }
        n.instrs.push_back(std::move(in));
        networkHasInstr = true;
    }
    return blocks;
}

// ---------------------------------------------------------------------------------------
// Instruction tables.

struct BoxShape {
    std::string_view stl;
    std::string_view title;
    // One token per pin in LAD order: "NAME:k" an input from operand k, ">NAME:k" an output,
    // "~NAME" a power input with its own circuit, "NAME=text" an input with a fixed text.
    std::string_view pins;
    std::string_view powerInput = "EN";
    bool hasEno = true;
    bool operandAbove = false;  // operand 0 is the box's number written above it (T37, C0)
    char width = 0;             // B, W, D, R: the move MicroWIN writes before it (0: none)
};

constexpr std::array kBoxes = {
    BoxShape{"TON", "TON", "PT:1", "IN", false, true},
    BoxShape{"TOF", "TOF", "PT:1", "IN", false, true},
    BoxShape{"TONR", "TONR", "PT:1", "IN", false, true},
    BoxShape{"CTU", "CTU", "~R PV:1", "CU", false, true},
    BoxShape{"CTD", "CTD", "~LD PV:1", "CD", false, true},
    BoxShape{"CTUD", "CTUD", "~CD ~R PV:1", "CU", false, true},
    BoxShape{"MOVB", "MOV_B", "IN:0 >OUT:1"},
    BoxShape{"MOVW", "MOV_W", "IN:0 >OUT:1"},
    BoxShape{"MOVD", "MOV_DW", "IN:0 >OUT:1"},
    BoxShape{"MOVR", "MOV_R", "IN:0 >OUT:1"},
    BoxShape{"BMB", "BLKMOV_B", "IN:0 N:2 >OUT:1"},
    BoxShape{"BMW", "BLKMOV_W", "IN:0 N:2 >OUT:1"},
    BoxShape{"BMD", "BLKMOV_D", "IN:0 N:2 >OUT:1"},
    BoxShape{"FILL", "FILL_N", "IN:0 N:2 >OUT:1"},
    BoxShape{"SWAP", "SWAP", "IN:0"},
    BoxShape{"BIR", "MOV_BIR", "IN:0 >OUT:1"},
    BoxShape{"BIW", "MOV_BIW", "IN:0 >OUT:1"},
    BoxShape{"+I", "ADD_I", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"-I", "SUB_I", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"*I", "MUL_I", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"/I", "DIV_I", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"+D", "ADD_DI", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"-D", "SUB_DI", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"*D", "MUL_DI", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"/D", "DIV_DI", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"+R", "ADD_R", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'R'},
    BoxShape{"-R", "SUB_R", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'R'},
    BoxShape{"*R", "MUL_R", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'R'},
    BoxShape{"/R", "DIV_R", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'R'},
    BoxShape{"MUL", "MUL", "IN1:1 IN2:0 >OUT:1"},
    BoxShape{"DIV", "DIV", "IN1:1 IN2:0 >OUT:1"},
    BoxShape{"SQRT", "SQRT", "IN:0 >OUT:1"},
    BoxShape{"SIN", "SIN", "IN:0 >OUT:1"},
    BoxShape{"COS", "COS", "IN:0 >OUT:1"},
    BoxShape{"TAN", "TAN", "IN:0 >OUT:1"},
    BoxShape{"LN", "LN", "IN:0 >OUT:1"},
    BoxShape{"EXP", "EXP", "IN:0 >OUT:1"},
    BoxShape{"INCB", "INC_B", "IN:0 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"INCW", "INC_W", "IN:0 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"INCD", "INC_DW", "IN:0 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"DECB", "DEC_B", "IN:0 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"DECW", "DEC_W", "IN:0 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"DECD", "DEC_DW", "IN:0 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"INVB", "INV_B", "IN:0 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"INVW", "INV_W", "IN:0 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"INVD", "INV_DW", "IN:0 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"ANDB", "WAND_B", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'B'},
    BoxShape{"ANDW", "WAND_W", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"ANDD", "WAND_DW", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"ORB", "WOR_B", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'B'},
    BoxShape{"ORW", "WOR_W", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"ORD", "WOR_DW", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"XORB", "WXOR_B", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'B'},
    BoxShape{"XORW", "WXOR_W", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'W'},
    BoxShape{"XORD", "WXOR_DW", "IN1:1 IN2:0 >OUT:1", "EN", true, false, 'D'},
    BoxShape{"SLB", "SHL_B", "IN:0 N:1 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"SLW", "SHL_W", "IN:0 N:1 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"SLD", "SHL_DW", "IN:0 N:1 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"SRB", "SHR_B", "IN:0 N:1 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"SRW", "SHR_W", "IN:0 N:1 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"SRD", "SHR_DW", "IN:0 N:1 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"RLB", "ROL_B", "IN:0 N:1 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"RLW", "ROL_W", "IN:0 N:1 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"RLD", "ROL_DW", "IN:0 N:1 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"RRB", "ROR_B", "IN:0 N:1 >OUT:0", "EN", true, false, 'B'},
    BoxShape{"RRW", "ROR_W", "IN:0 N:1 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"RRD", "ROR_DW", "IN:0 N:1 >OUT:0", "EN", true, false, 'D'},
    BoxShape{"SHRB", "SHRB", "DATA:0 S_BIT:1 N:2"},
    BoxShape{"BTI", "B_I", "IN:0 >OUT:1"},
    BoxShape{"ITB", "I_B", "IN:0 >OUT:1"},
    BoxShape{"ITD", "I_DI", "IN:0 >OUT:1"},
    BoxShape{"DTI", "DI_I", "IN:0 >OUT:1"},
    BoxShape{"DTR", "DI_R", "IN:0 >OUT:1"},
    BoxShape{"ROUND", "ROUND", "IN:0 >OUT:1"},
    BoxShape{"TRUNC", "TRUNC", "IN:0 >OUT:1"},
    BoxShape{"BCDI", "BCD_I", "IN:0 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"IBCD", "I_BCD", "IN:0 >OUT:0", "EN", true, false, 'W'},
    BoxShape{"SEG", "SEG", "IN:0 >OUT:1"},
    BoxShape{"DECO", "DECO", "IN:0 >OUT:1"},
    BoxShape{"ENCO", "ENCO", "IN:0 >OUT:1"},
    BoxShape{"ATH", "ATH", "IN:0 LEN:2 >OUT:1"},
    BoxShape{"HTA", "HTA", "IN:0 LEN:2 >OUT:1"},
    BoxShape{"ITA", "ITA", "IN:0 FMT:2 >OUT:1"},
    BoxShape{"DTA", "DTA", "IN:0 FMT:2 >OUT:1"},
    BoxShape{"RTA", "RTA", "IN:0 FMT:2 >OUT:1"},
    BoxShape{"ITS", "I_S", "IN:0 FMT:2 >OUT:1"},
    BoxShape{"DTS", "DI_S", "IN:0 FMT:2 >OUT:1"},
    BoxShape{"RTS", "R_S", "IN:0 FMT:2 >OUT:1"},
    BoxShape{"STI", "S_I", "IN:0 INDX:1 >OUT:2"},
    BoxShape{"STD", "S_DI", "IN:0 INDX:1 >OUT:2"},
    BoxShape{"STR", "S_R", "IN:0 INDX:1 >OUT:2"},
    BoxShape{"SLEN", "STR_LEN", "IN:0 >OUT:1"},
    BoxShape{"SCPY", "STR_CPY", "IN:0 >OUT:1"},
    BoxShape{"SCAT", "STR_CAT", "IN:0 >OUT:1"},
    BoxShape{"SSCPY", "SSTR_CPY", "IN:0 INDX:1 N:2 >OUT:3"},
    BoxShape{"SFND", "STR_FIND", "IN1:0 IN2:1 >OUT:2"},
    BoxShape{"CFND", "CHR_FIND", "IN1:0 IN2:1 >OUT:2"},
    BoxShape{"ATT", "AD_T_TBL", "DATA:0 TBL:1"},
    BoxShape{"FIFO", "FIFO", "TBL:0 >DATA:1"},
    BoxShape{"LIFO", "LIFO", "TBL:0 >DATA:1"},
    BoxShape{"FND=", "TBL_FIND", "TBL:0 PTN:1 INDX:2 CMD=1"},
    BoxShape{"FND<>", "TBL_FIND", "TBL:0 PTN:1 INDX:2 CMD=2"},
    BoxShape{"FND<", "TBL_FIND", "TBL:0 PTN:1 INDX:2 CMD=3"},
    BoxShape{"FND>", "TBL_FIND", "TBL:0 PTN:1 INDX:2 CMD=4"},
    BoxShape{"TODR", "READ_RTC", "T:0"},
    BoxShape{"TODW", "SET_RTC", "T:0"},
    BoxShape{"TODRX", "READ_RTCX", "T:0"},
    BoxShape{"TODWX", "SET_RTCX", "T:0"},
    BoxShape{"PID", "PID", "TBL:0 LOOP:1"},
    BoxShape{"NETR", "NETR", "TBL:0 PORT:1"},
    BoxShape{"NETW", "NETW", "TBL:0 PORT:1"},
    BoxShape{"XMT", "XMT", "TBL:0 PORT:1"},
    BoxShape{"RCV", "RCV", "TBL:0 PORT:1"},
    BoxShape{"ATCH", "ATCH", "INT:0 EVNT:1"},
    BoxShape{"DTCH", "DTCH", "EVNT:0"},
    BoxShape{"CEVNT", "CLR_EVNT", "EVNT:0"},
    BoxShape{"FOR", "FOR", "INDX:0 INIT:1 FINAL:2"},
    BoxShape{"GERR", "GET_ERROR", ">ECODE:0"},
    BoxShape{"DLED", "DIAG_LED", "IN:0"},
    BoxShape{"NOP", "NOP", "N:0"},
    BoxShape{"HDEF", "HDEF", "HSC:0 MODE:1"},
    BoxShape{"HSC", "HSC", "N:0"},
    BoxShape{"PLS", "PLS", "N:0"},
};

const BoxShape* boxShapeOf(std::string_view mnemonic) {
    for (const BoxShape& b : kBoxes)
        if (b.stl == mnemonic) return &b;
    return nullptr;
}

// Coils that take the logic result: mnemonic, symbol. JMP, ENI and DISI written without
// logic before them stand on the rail.
constexpr std::array<std::pair<std::string_view, std::string_view>, 16> kCoils{{
    {"=", ""}, {"=I", "I"}, {"S", "S"}, {"R", "R"}, {"SI", "SI"}, {"RI", "RI"}, {"JMP", "JMP"},
    {"SCRT", "SCRT"}, {"CSCRE", "SCRE"}, {"CRET", "RET"}, {"CRETI", "RETI"}, {"END", "END"},
    {"STOP", "STOP"}, {"WDR", "WDR"}, {"ENI", "ENI"}, {"DISI", "DISI"},
}};

// Coils that stand on the rail without logic.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kRailCoils{{
    {"SCRE", "SCRE"}, {"NEXT", "NEXT"}, {"MEND", "END"},
}};

std::string compareSymbol(std::string_view mnemonic) {
    // LDW>= -> ">=I", AR= -> "==R", OB<> -> "<>B", LDS= -> "==S"
    std::string_view m = mnemonic;
    if (startsWith(m, "LD")) m.remove_prefix(2);
    else m.remove_prefix(1);
    if (m.empty()) return {};
    const char type = m[0];
    std::string_view rel = m.substr(1);
    std::string t = type == 'W' ? "I" : type == 'S' ? "S" : std::string(1, type);
    return (rel == "=" ? std::string("==") : std::string(rel)) + t;
}

// ---------------------------------------------------------------------------------------
// The circuit model: series/parallel graphs of elements, and the fork tree of outputs.

struct Sp {
    enum class Kind { Leaf, Series, Parallel } kind = Kind::Leaf;
    Element element;
    std::vector<Sp> kids;
    int depth = 0;
};

Sp leaf(Element e) {
    Sp s;
    s.element = std::move(e);
    return s;
}

// a := a joined with b in series or in parallel; a series or parallel of the same kind
// grows in place, so a long rung costs linear time.
void combine(Sp& a, Sp b, Sp::Kind kind) {
    if (a.kind != kind) {
        Sp wrapped;
        wrapped.kind = kind;
        wrapped.depth = a.depth + 1;
        wrapped.kids.push_back(std::move(a));
        a = std::move(wrapped);
    }
    if (b.kind == kind) {
        for (Sp& k : b.kids) {
            a.depth = std::max(a.depth, k.depth + 1);
            a.kids.push_back(std::move(k));
        }
    } else {
        a.depth = std::max(a.depth, b.depth + 1);
        a.kids.push_back(std::move(b));
    }
}

struct Child {
    int node = -1;               // a sub-branch, or -1 for an output
    Element output;              // a coil or a box
    std::vector<int> powerNodes; // the circuits feeding the box's power pins, in pin order
};

struct Node {
    std::optional<Sp> seg;  // the circuit from the parent's fork (or the rail) to this point
    std::vector<Child> children;
    bool root = false;       // starts at the rail
    bool consumed = false;   // merged into another circuit
    int depth = 0;
};

class Builder {
public:
    std::vector<Node> nodes;
    std::vector<int> stack;
    std::vector<int> roots;
    int lpsDepth = 0;
    std::string error;

    bool fail(const Instr& in, const std::string& why) {
        if (error.empty()) error = in.mnemonic + "：" + why;
        return false;
    }

    int newNode(bool root) {
        nodes.push_back(Node{});
        nodes.back().root = root;
        return static_cast<int>(nodes.size()) - 1;
    }

    int referencesOnStack(int id) const { return static_cast<int>(std::count(stack.begin(), stack.end(), id)); }

    bool load(const Instr& in, Element e) {
        if (stack.size() >= kMaxStack) return fail(in, "逻辑栈过深");
        const int id = newNode(true);
        nodes[static_cast<std::size_t>(id)].seg = leaf(std::move(e));
        stack.push_back(id);
        roots.push_back(id);
        return true;
    }

    // Puts a circuit in series after the top of the stack.
    bool extend(const Instr& in, Sp s) {
        if (stack.empty()) return fail(in, "前面没有逻辑");
        const int top = stack.back();
        Node& t = nodes[static_cast<std::size_t>(top)];
        if (t.children.empty() && referencesOnStack(top) == 1) {
            if (t.seg) combine(*t.seg, std::move(s), Sp::Kind::Series);
            else t.seg = std::move(s);
            if (t.seg->depth > kMaxNesting) return fail(in, "嵌套过深");
            return true;
        }
        if (t.depth >= kMaxBranchDepth) return fail(in, "分支过深");
        const int depth = t.depth + 1;
        const int id = newNode(false);
        Node& c = nodes[static_cast<std::size_t>(id)];
        c.seg = std::move(s);
        c.depth = depth;
        nodes[static_cast<std::size_t>(top)].children.push_back(Child{id, {}, {}});
        stack.back() = id;
        return true;
    }

    // Whether a stack entry is a circuit of its own that starts at the rail and has nothing
    // after it yet (what OLD, ALD and a counter's extra inputs take).
    bool standalone(int id, int allowedRefs) const {
        const Node& n = nodes[static_cast<std::size_t>(id)];
        return n.root && n.seg && n.children.empty() && referencesOnStack(id) == allowedRefs;
    }

    bool parallel(const Instr& in, Sp s) {
        if (stack.empty()) return fail(in, "前面没有逻辑");
        const int top = stack.back();
        if (!standalone(top, 1)) return fail(in, "并联到已有输出或分支的电路，无梯形图形式");
        Node& t = nodes[static_cast<std::size_t>(top)];
        combine(*t.seg, std::move(s), Sp::Kind::Parallel);
        if (t.seg->depth > kMaxNesting) return fail(in, "嵌套过深");
        return true;
    }

    bool ald(const Instr& in) {
        if (stack.size() < 2) return fail(in, "逻辑栈中不足两层");
        const int y = stack.back();
        stack.pop_back();
        if (!standalone(y, 0)) return fail(in, "串联的电路已有输出，无梯形图形式");
        nodes[static_cast<std::size_t>(y)].consumed = true;
        return extend(in, std::move(*nodes[static_cast<std::size_t>(y)].seg));
    }

    bool old(const Instr& in) {
        if (stack.size() < 2) return fail(in, "逻辑栈中不足两层");
        const int y = stack.back();
        stack.pop_back();
        if (!standalone(y, 0)) return fail(in, "并联的电路已有输出，无梯形图形式");
        nodes[static_cast<std::size_t>(y)].consumed = true;
        return parallel(in, std::move(*nodes[static_cast<std::size_t>(y)].seg));
    }

    bool output(const Instr& in, Element e, int extraInputs) {
        if (stack.size() < static_cast<std::size_t>(extraInputs) + 1)
            return fail(in, extraInputs > 0 ? "输入电路不足" : "前面没有逻辑");
        std::vector<int> power(static_cast<std::size_t>(extraInputs));
        for (int k = extraInputs - 1; k >= 0; --k) {
            const int y = stack.back();
            stack.pop_back();
            if (!standalone(y, 0)) return fail(in, "输入电路已有输出，无梯形图形式");
            nodes[static_cast<std::size_t>(y)].consumed = true;
            power[static_cast<std::size_t>(k)] = y;
        }
        nodes[static_cast<std::size_t>(stack.back())].children.push_back(Child{-1, std::move(e), std::move(power)});
        return true;
    }

    // An output that stands on the rail: a rung of its own.
    void railOutput(Element e) {
        const int id = newNode(true);
        nodes[static_cast<std::size_t>(id)].children.push_back(Child{-1, std::move(e), {}});
        roots.push_back(id);
    }

    // AENO: the logic continues from the ENO of the box just written.
    bool aeno(const Instr& in) {
        if (stack.empty()) return fail(in, "前面没有方框");
        const int top = stack.back();
        Node& t = nodes[static_cast<std::size_t>(top)];
        if (t.children.empty() || t.children.back().node >= 0 || t.children.back().output.shape != Shape::Box ||
            !t.children.back().output.hasEno || !t.children.back().powerNodes.empty())
            return fail(in, "前面不是有ENO的方框");
        if (t.depth >= kMaxBranchDepth) return fail(in, "分支过深");
        Element box = std::move(t.children.back().output);
        box.enoUsed = true;
        const int id = newNode(false);
        Node& n = nodes[static_cast<std::size_t>(id)];
        n.seg = leaf(std::move(box));
        n.depth = nodes[static_cast<std::size_t>(top)].depth + 1;
        nodes[static_cast<std::size_t>(top)].children.back().node = id;
        stack.back() = id;
        return true;
    }
};

// ---------------------------------------------------------------------------------------
// Building elements from instructions.

Element boxFrom(const BoxShape& box, const Instr& in) {
    Element e;
    e.shape = Shape::Box;
    e.symbol = std::string(box.title);
    e.powerInput = std::string(box.powerInput);
    e.hasEno = box.hasEno;
    e.line = in.line;
    if (box.operandAbove && !in.operands.empty()) e.operand = in.operands[0];
    std::string_view pins = box.pins;
    while (!pins.empty()) {
        const std::size_t sp = pins.find(' ');
        std::string_view tok = pins.substr(0, sp);
        pins = sp == std::string_view::npos ? std::string_view() : pins.substr(sp + 1);
        Pin p;
        bool out = false;
        if (startsWith(tok, ">")) {
            out = true;
            tok.remove_prefix(1);
        }
        if (startsWith(tok, "~")) {
            p.power = true;
            p.name = std::string(tok.substr(1));
        } else if (const std::size_t eq = tok.find('='); eq != std::string_view::npos) {
            p.name = std::string(tok.substr(0, eq));
            p.operand = std::string(tok.substr(eq + 1));
        } else {
            const std::size_t colon = tok.find(':');
            p.name = std::string(tok.substr(0, colon));
            const int k = tok[colon + 1] - '0';
            p.operandIndex = k;
            if (static_cast<std::size_t>(k) < in.operands.size()) p.operand = in.operands[static_cast<std::size_t>(k)];
        }
        (out ? e.outputs : e.inputs).push_back(std::move(p));
    }
    return e;
}

// Whether `op` following a move of the same width into its in-place operand is one box as
// MicroWIN exports it; then the move's input becomes the box's first input.
bool mergesWithMove(const BoxShape& box, const Instr& move, const Instr& op) {
    if (box.width == 0 || move.operands.size() != 2) return false;
    const char w = move.mnemonic == "MOVB" ? 'B' : move.mnemonic == "MOVW" ? 'W' : move.mnemonic == "MOVD" ? 'D'
                 : move.mnemonic == "MOVR" ? 'R' : 0;
    if (w != box.width) return false;
    const std::size_t inPlace = box.pins.find(">OUT:");
    if (inPlace == std::string_view::npos) return false;
    const auto k = static_cast<std::size_t>(box.pins[inPlace + 5] - '0');
    return k < op.operands.size() && op.operands[k] == move.operands[1];
}

Element callBox(const Instr& in, const std::vector<RawBlock>& blocks) {
    Element e;
    e.shape = Shape::Box;
    e.line = in.line;
    const std::string target = in.operands.empty() ? std::string() : in.operands[0];
    const std::size_t colon = target.find(':');
    const RawBlock* routine = nullptr;
    for (const RawBlock& b : blocks) {
        if (!b.subroutine) continue;
        if (colon != std::string::npos) {
            if (b.number == stl::trailingNumber(std::string_view(target).substr(colon + 1))) routine = &b;
        } else if (b.name == target || (startsWith(target, "SBR") && b.number == stl::trailingNumber(target) &&
                                        target.find_first_not_of("SBR0123456789") == std::string::npos)) {
            routine = &b;
        }
        if (routine) break;
    }
    if (colon != std::string::npos) e.symbol = target.substr(0, colon);
    else if (routine && !routine->name.empty() && startsWith(target, "SBR")) e.symbol = routine->name;
    else e.symbol = target;
    for (std::size_t k = 1; k < in.operands.size(); ++k) {
        Pin p;
        const std::size_t i = k - 1;
        const bool known = routine && i < routine->params.size();
        p.name = known ? routine->params[i].first : "P" + std::to_string(k);
        p.operand = in.operands[k];
        p.operandIndex = static_cast<int>(k);
        (known && routine->params[i].second ? e.outputs : e.inputs).push_back(std::move(p));
    }
    return e;
}

// Converts the instructions of one network into its element tree (Builder); false with
// b.error set when it has no ladder form.
bool buildNetwork(const std::vector<Instr>& instrs, const std::vector<RawBlock>& blocks, Builder& b) {
    for (std::size_t i = 0; i < instrs.size(); ++i) {
        const Instr& in = instrs[i];
        const std::string& m = in.mnemonic;
        const Op op = opcodeOf(m);
        const std::string first = in.operands.empty() ? std::string() : in.operands[0];
        auto contact = [&](Shape shape, bool immediate) {
            Element e;
            e.shape = shape;
            e.operand = first;
            e.immediate = immediate;
            e.line = in.line;
            return e;
        };
        // Bit contacts.
        if (m == "LD" || m == "LDI" || m == "LDN" || m == "LDNI") {
            if (!b.load(in, contact(m[2] == 'N' ? Shape::ClosedContact : Shape::Contact, m.back() == 'I'))) return false;
            continue;
        }
        if (m == "A" || m == "AI" || m == "AN" || m == "ANI") {
            if (!b.extend(in, leaf(contact(m.size() > 1 && m[1] == 'N' ? Shape::ClosedContact : Shape::Contact,
                                           m.size() > 1 && m.back() == 'I'))))
                return false;
            continue;
        }
        if (m == "O" || m == "OI" || m == "ON" || m == "ONI") {
            if (!b.parallel(in, leaf(contact(m.size() > 1 && m[1] == 'N' ? Shape::ClosedContact : Shape::Contact,
                                             m.size() > 1 && m.back() == 'I'))))
                return false;
            continue;
        }
        if (isCompare(op) || op == Op::LDS_EQ || op == Op::LDS_NE || op == Op::AS_EQ || op == Op::AS_NE ||
            op == Op::OS_EQ || op == Op::OS_NE) {
            Element e = contact(Shape::CompareContact, false);
            e.symbol = compareSymbol(m);
            if (in.operands.size() > 1) e.operand2 = in.operands[1];
            const bool ok = startsWith(m, "LD") ? b.load(in, std::move(e))
                          : m[0] == 'A'         ? b.extend(in, leaf(std::move(e)))
                                                : b.parallel(in, leaf(std::move(e)));
            if (!ok) return false;
            continue;
        }
        if (m == "NOT" || m == "EU" || m == "ED") {
            Element e = contact(m == "NOT" ? Shape::NotContact : m == "EU" ? Shape::RisingContact : Shape::FallingContact,
                                false);
            e.operand.clear();
            if (!b.extend(in, leaf(std::move(e)))) return false;
            continue;
        }
        if (m == "ALD") {
            if (!b.ald(in)) return false;
            continue;
        }
        if (m == "OLD") {
            if (!b.old(in)) return false;
            continue;
        }
        if (m == "LPS") {
            if (b.stack.empty()) return b.fail(in, "前面没有逻辑");
            if (b.stack.size() >= kMaxStack) return b.fail(in, "逻辑栈过深");
            b.stack.push_back(b.stack.back());
            ++b.lpsDepth;
            continue;
        }
        if (m == "LRD" || m == "LPP") {
            if (b.stack.size() < 2 || b.lpsDepth == 0) return b.fail(in, "前面没有配对的LPS");
            if (m == "LRD") {
                b.stack.back() = b.stack[b.stack.size() - 2];
            } else {
                b.stack.pop_back();
                --b.lpsDepth;
            }
            continue;
        }
        if (m == "AENO" || m == "ENO") {
            if (!b.aeno(in)) return false;
            continue;
        }
        // Coils.
        if (auto c = std::find_if(kCoils.begin(), kCoils.end(), [&](const auto& p) { return p.first == m; });
            c != kCoils.end()) {
            Element e = contact(Shape::Coil, m == "=I" || m == "SI" || m == "RI");
            e.symbol = std::string(c->second);
            if ((m == "S" || m == "R" || m == "SI" || m == "RI") && in.operands.size() > 1) e.operand2 = in.operands[1];
            if ((m == "JMP" || m == "ENI" || m == "DISI") && b.stack.empty()) {
                b.railOutput(std::move(e));
                continue;
            }
            if (!b.output(in, std::move(e), 0)) return false;
            continue;
        }
        if (auto c = std::find_if(kRailCoils.begin(), kRailCoils.end(), [&](const auto& p) { return p.first == m; });
            c != kRailCoils.end()) {
            Element e = contact(Shape::Coil, false);
            e.symbol = std::string(c->second);
            b.railOutput(std::move(e));
            continue;
        }
        if (m == "LSCR" || m == "LBL") {
            Element e = contact(Shape::Box, false);
            e.symbol = m == "LSCR" ? "SCR" : "LBL";
            e.powerInput.clear();
            e.hasEno = false;
            b.railOutput(std::move(e));
            continue;
        }
        if (m == "CALL") {
            if (!b.output(in, callBox(in, blocks), 0)) return false;
            continue;
        }
        if (const BoxShape* box = boxShapeOf(m)) {
            const int extra = static_cast<int>(std::count(box->pins.begin(), box->pins.end(), '~'));
            Element e = boxFrom(*box, in);
            // MOVx IN1, OUT followed by the operation on OUT: one box.
            if ((m == "MOVB" || m == "MOVW" || m == "MOVD" || m == "MOVR") && i + 1 < instrs.size()) {
                const Instr& next = instrs[i + 1];
                if (const BoxShape* ns = boxShapeOf(next.mnemonic); ns && mergesWithMove(*ns, in, next)) {
                    e = boxFrom(*ns, next);
                    for (Pin& p : e.inputs) {
                        if (p.operandIndex == e.outputs.front().operandIndex) {
                            p.operand = in.operands[0];
                            p.operandIndex = 0;
                            p.line = in.line;
                            break;
                        }
                    }
                    ++i;
                }
            }
            if (!b.output(in, std::move(e), extra)) return false;
            continue;
        }
        if (op == Op::Empty) continue;
        return b.fail(in, op == Op::Unknown ? "未知指令" : "无梯形图形式");
    }
    if (b.lpsDepth != 0) return b.fail(Instr{"LPS", {}, -1, {}}, "没有配对的LPP");
    for (int id : b.roots) {
        const Node& n = b.nodes[static_cast<std::size_t>(id)];
        if (!n.consumed && n.children.empty()) return b.fail(Instr{"LD", {}, -1, {}}, "电路没有输出");
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Layout on the grid.

class Layout {
public:
    Layout(Network& net, const Builder& b) : net_(net), b_(b) {}

    // Empty when the network is laid out, else why it has no ladder form.
    std::string run() {
        int row = 0;
        for (int id : b_.roots) {
            const Node& n = b_.nodes[static_cast<std::size_t>(id)];
            if (n.consumed) continue;
            row = placeNode(id, row, 0);
            if (row > kMaxRows) return "网络过大";
        }
        net_.rows = row;
        // A link that crosses the circuit of a box's power pin would join it to the wrong
        // point: such a network has no ladder form.
        for (const PowerCircuit& p : power_) {
            for (std::size_t k = 0; k < net_.links.size(); ++k) {
                if (k >= p.firstLink && k < p.endLink) continue;
                const Link& l = net_.links[k];
                if (l.col <= p.boxCol && l.fromRow <= p.lastRow && l.toRow >= p.firstRow)
                    return "计数器的输入电路与分支交叉";
            }
        }
        // Links on one column that meet are one line.
        std::sort(net_.links.begin(), net_.links.end(), [](const Link& a, const Link& b) {
            return a.col != b.col ? a.col < b.col : a.fromRow < b.fromRow;
        });
        std::vector<Link> merged;
        for (const Link& l : net_.links) {
            if (!merged.empty() && merged.back().col == l.col && l.fromRow <= merged.back().toRow)
                merged.back().toRow = std::max(merged.back().toRow, l.toRow);
            else
                merged.push_back(l);
        }
        net_.links = std::move(merged);
        int cols = 0;
        for (const Element& e : net_.elements) cols = std::max(cols, e.col + e.width);
        for (const Link& l : net_.links) cols = std::max(cols, l.col);
        net_.cols = cols;
        if (static_cast<long>(net_.rows) * cols > kMaxCells) return "网络过大";
        return {};
    }

private:
    struct Size {
        int w = 0;
        int h = 0;
    };

    // The rows a box's power-pin circuit takes from the rail to the box, and its own links.
    struct PowerCircuit {
        int firstRow = 0;
        int lastRow = 0;
        int boxCol = 0;
        std::size_t firstLink = 0;
        std::size_t endLink = 0;
    };

    Network& net_;
    const Builder& b_;
    std::vector<PowerCircuit> power_;
    std::vector<std::vector<char>> occupied_;

    bool isFree(int r, int c) const {
        if (r < 0 || static_cast<std::size_t>(r) >= occupied_.size()) return true;
        const auto& row = occupied_[static_cast<std::size_t>(r)];
        return static_cast<std::size_t>(c) >= row.size() || !row[static_cast<std::size_t>(c)];
    }

    void mark(int r, int c, int w, int h) {
        if (r + h > kMaxRows + 64) return;
        for (int y = r; y < r + h; ++y) {
            if (static_cast<std::size_t>(y) >= occupied_.size()) occupied_.resize(static_cast<std::size_t>(y) + 1);
            auto& row = occupied_[static_cast<std::size_t>(y)];
            if (row.size() < static_cast<std::size_t>(c + w)) row.resize(static_cast<std::size_t>(c + w), 0);
            for (int x = c; x < c + w; ++x) row[static_cast<std::size_t>(x)] = 1;
        }
    }

    void put(Element e, int r, int c) {
        e.row = r;
        e.col = c;
        mark(r, c, e.width, e.height);
        net_.elements.push_back(std::move(e));
    }

    void wire(int r, int c, int w) {
        if (w <= 0) return;
        Element e;
        e.shape = Shape::Wire;
        e.width = w;
        put(std::move(e), r, c);
    }

    void link(int c, int from, int to) {
        if (c <= 0 || from >= to) return;
        net_.links.push_back(Link{c, from, to});
    }

    static int boxHeight(const Element& e) {
        int h = 1;
        for (const Pin& p : e.inputs) h = std::max(h, p.row + 1);
        for (const Pin& p : e.outputs) h = std::max(h, p.row + 1);
        return h;
    }

    static void numberPins(Element& e) {
        int r = 0;
        for (Pin& p : e.inputs) p.row = std::max(p.row, ++r);
        r = 0;
        for (Pin& p : e.outputs) p.row = ++r;
    }

    Size placeSp(const Sp& s, int r, int c) {
        switch (s.kind) {
        case Sp::Kind::Leaf: {
            Element e = s.element;
            if (e.shape == Shape::Box) {
                numberPins(e);
                e.height = boxHeight(e);
            }
            const Size size{1, e.height};
            put(std::move(e), r, c);
            return size;
        }
        case Sp::Kind::Series: {
            Size total;
            for (const Sp& k : s.kids) {
                const Size z = placeSp(k, r, c + total.w);
                total.w += z.w;
                total.h = std::max(total.h, z.h);
            }
            return total;
        }
        case Sp::Kind::Parallel: {
            std::vector<Size> sizes;
            Size total;
            int y = r;
            int last = r;
            for (const Sp& k : s.kids) {
                const Size z = placeSp(k, y, c);
                sizes.push_back(z);
                total.w = std::max(total.w, z.w);
                last = y;
                y += z.h;
            }
            y = r;
            for (const Size& z : sizes) {
                wire(y, c + z.w, total.w - z.w);
                y += z.h;
            }
            total.h = y - r;
            link(c, r, last);
            link(c + total.w, r, last);
            return total;
        }
        }
        return {};
    }

    // Places a node's circuit at (r, c) and its outputs and branches right of it; returns
    // the first row below everything placed.
    int placeNode(int id, int r, int c) {
        const Node& n = b_.nodes[static_cast<std::size_t>(id)];
        Size size;
        if (n.seg) size = placeSp(*n.seg, r, c);
        int bottom = r + size.h;
        const int fork = c + size.w;
        int y = r;
        int last = r;
        for (const Child& ch : n.children) {
            last = y;
            const int b = ch.node >= 0 ? placeNode(ch.node, y, fork) : placeOutput(ch, y, fork);
            y = std::max(b, y + 1);
            bottom = std::max(bottom, y);
            if (y > kMaxRows) return y;
        }
        if (n.children.size() > 1) link(fork, r, last);
        return std::max(bottom, r + 1);
    }

    int placeOutput(const Child& ch, int r, int c) {
        Element e = ch.output;
        if (e.shape != Shape::Box) {
            put(std::move(e), r, c);
            return r + 1;
        }
        // The circuits of the power pins come from the rail: the box moves right until the
        // widest fits before it.
        std::vector<Size> sizes;
        int col = c;
        for (int id : ch.powerNodes) {
            // Measure by placing into a scratch network.
            Network scratch;
            Layout probe(scratch, b_);
            const Size z = probe.placeSp(*b_.nodes[static_cast<std::size_t>(id)].seg, 0, 0);
            sizes.push_back(z);
            col = std::max(col, z.w);
        }
        wire(r, c, col - c);
        int bottom = r + 1;
        int pinRow = 1;  // the row the next input pin may take
        std::size_t power = 0;
        for (Pin& p : e.inputs) {
            p.row = pinRow++;
            if (p.power && power < ch.powerNodes.size()) {
                const Size z = sizes[power];
                int y = r + p.row;
                auto fits = [&](int at) {
                    for (int yy = at; yy < at + z.h; ++yy)
                        for (int x = 0; x < col; ++x)
                            if (!isFree(yy, x)) return false;
                    return true;
                };
                while (!fits(y) && y < r + kMaxRows) ++y;
                const std::size_t links = net_.links.size();
                placeSp(*b_.nodes[static_cast<std::size_t>(ch.powerNodes[power])].seg, y, 0);
                wire(y, z.w, col - z.w);
                power_.push_back(PowerCircuit{y, y + z.h - 1, col, links, net_.links.size()});
                // The pin on the circuit's first row, the next pin under the whole circuit.
                p.row = y - r;
                pinRow = p.row + z.h;
                bottom = std::max(bottom, y + z.h);
                ++power;
            }
        }
        int outRow = 0;
        for (Pin& p : e.outputs) p.row = ++outRow;
        e.height = boxHeight(e);
        bottom = std::max(bottom, r + e.height);
        put(std::move(e), r, col);
        return bottom;
    }
};

}  // namespace

Program convertToLadder(std::string_view programText, const std::vector<int>& keptFileLines) {
    Program program;
    const std::vector<RawBlock> blocks = readBlocks(programText, keptFileLines);
    for (const RawBlock& rb : blocks) {
        Block block = rb.block;
        for (const RawNetwork& rn : rb.networks) {
            Network net = rn.net;
            Builder b;
            bool ok = buildNetwork(rn.instrs, blocks, b);
            if (ok) {
                Layout layout(net, b);
                b.error = layout.run();
                ok = b.error.empty();
            }
            if (!ok) {
                net.drawable = false;
                net.reason = b.error;
                net.elements.clear();
                net.links.clear();
                net.rows = 0;
                net.cols = 0;
            }
            block.networks.push_back(std::move(net));
        }
        program.blocks.push_back(std::move(block));
    }
    return program;
}

}  // namespace korvane::ladder
