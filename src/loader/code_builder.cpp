#include "loader/code_builder.h"

#include <array>
#include <exception>
#include <string_view>

#include "core/fault.h"
#include "loader/operand_decoder.h"
#include "loader/stl_text.h"

namespace korvane {

namespace {

using stl::isBlank;
using stl::startsWith;
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

// The working state of one build: current subroutine s, local-memory bit offset j,
// parameter slot k and the declaration section.
struct BuildState {
    int s = 0;
    int j = 0;
    int k = 0;
    Section section = Section::None;
};

SubroutineEntry& subroutine(Program& prog, int s) {
    if (s < 0 || s >= static_cast<int>(prog.subroutines.size())) fault(FaultCode::IndexOutOfRange);
    return prog.subroutines[s];
}

// A line without a blank: a block keyword, a section header, a declaration, or an
// instruction without operands.
void buildBareLine(Program& prog, CodeLine& line, std::string_view t, BuildState& st) {
    line.Param[kOperandCountSlot] = 0;
    line.setMnemonic(std::string(t));
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
    } else if (const Declaration* d = declarationOf(t); d && st.k <= 20) {
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
        if (d->bits == 1) {
            e.ParamKey[st.k] = int16Of(long{area::L} + st.j);
            st.j += 1;
        } else if (d->bits > 1) {
            const int f = st.j % 8;
            const int start = f == 0 ? st.j : st.j - f + 8;
            e.ParamKey[st.k] = int16Of(long{area::L} + start);
            st.j = start + d->bits;
        }
        ++st.k;
    }
}

// A line "mnemonic operands": every operand decoded into its number and kind.
void buildInstruction(Program& prog, PlcMemory& mem, int i, std::string_view t, std::size_t p, BuildState& st) {
    CodeLine& line = prog.CodeTable[i];
    const std::string_view mnemonic = trim(t.substr(0, p));
    const std::string_view rest = trim(t.substr(p + 1));
    line.setMnemonic(std::string(mnemonic));

    std::size_t commas = 0;
    for (char c : rest)
        if (c == ',') ++commas;
    // A line has at most 20 operands: the numbers of further ones would land in the kind
    // slots of the first.
    if (commas + 1 > static_cast<std::size_t>(kMaxOperands)) fault(FaultCode::IndexOutOfRange);
    line.Param[kOperandCountSlot] = static_cast<double>(commas + 1);

    std::size_t from = 0;
    for (int k = 0; k <= static_cast<int>(commas); ++k) {
        std::size_t to = rest.find(',', from);
        if (to == std::string_view::npos) to = rest.size();
        const std::string_view operand = trim(rest.substr(from, to - from));
        // Kind slots written by the decoder for earlier operands (accumulators in
        // conversions) must survive, so the number goes in after the call.
        const double number = GetParamValue(prog, mnemonic, operand, i, k);
        line.Param[k] = number;
        from = to + 1;
    }

    const Op op = line.op;
    auto timerIndex = [&] { return toInt16(line.Param[0] - area::T); };
    auto counterIndex = [&] { return toInt16(line.Param[0] - area::C); };
    switch (op) {
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
        const int n = toInt16(line.Param[0]);
        if (n < 0 || n >= static_cast<int>(prog.labels.size())) fault(FaultCode::IndexOutOfRange);
        prog.labels[n] = int16Of(i);
        line.HasStatus = 0;
        break;
    }
    case Op::SUBROUTINE_BLOCK: {
        st.s = toInt16(line.Param[0]);
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
    return startsWith(mnemonic, "Network") || startsWith(mnemonic, "END") || startsWith(mnemonic, "SUB") ||
           startsWith(mnemonic, "ORG") || startsWith(mnemonic, "BEGIN") || startsWith(mnemonic, "INTER");
}

}  // namespace

bool AnalyseCode(const std::vector<std::string>& lines, Program& prog, PlcMemory& mem, const Log& log) {
    for (auto& e : prog.events) e.Routine = -1;
    // Labels of an earlier program must not send a jump of this one to a stale line.
    prog.labels.fill(0);
    // The table has one row per line when the reader made it. A table with fewer rows (an
    // unloaded program's line list built again after a failed read) ends the build at the
    // first line without a row, so that the unloaded program does not come back.
    if (prog.CodeTable.size() > lines.size()) prog.resetCodeTable(lines.size());

    BuildState st;
    std::size_t i = 0;
    try {
        for (; i < lines.size(); ++i) {
            if (i >= prog.CodeTable.size()) fault(FaultCode::IndexOutOfRange);
            CodeLine& line = prog.CodeTable[i];
            line = CodeLine{};
            const std::string_view t = trim(lines[i]);
            line.SourceText = std::string(t);
            line.HasStatus = kOn;
            line.StackText = {'0', '0', '0', '0'};
            line.StatusKind = {0, 0, 0};
            std::size_t p = 0;
            while (p < t.size() && !isBlank(t[p])) ++p;
            if (p == t.size())
                buildBareLine(prog, line, t, st);
            else
                buildInstruction(prog, mem, static_cast<int>(i), t, p, st);
        }
    } catch (const PlcFault&) {
        log.stamped(" 代码组装错误");
    } catch (const std::exception&) {
        log.stamped(" 代码组装错误");
    }
    if (i < lines.size()) {
        // The failing line and everything after it stay empty rows (no-operations).
        for (std::size_t r = i; r < prog.CodeTable.size(); ++r) prog.CodeTable[r] = CodeLine{};
        return false;
    }
    for (auto& line : prog.CodeTable) line.HasStatus = showsNoStatus(line.Mnemonic) ? 0 : kOn;
    return true;
}

}  // namespace korvane
