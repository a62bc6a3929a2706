#pragma once
// A small assembler and test rig for programs that call subroutines, run interrupts and
// sequence control: lines are written as mnemonic plus operands, and the routine tables are
// filled the way the code builder fills them (entry lines, parameter types, L placement,
// labels).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/flow_control.h"
#include "core/interpreter.h"

namespace flowtest {

using namespace korvane;

struct Operand {
    double number;
    int kind;
};

inline Operand k(double v) { return {v, kind::Constant}; }
inline Operand bitAt(int key) { return {static_cast<double>(key), kind::Constant}; }
inline int Ibit(int byte, int b) { return area::I + 8 * byte + b; }
inline int Qbit(int byte, int b) { return area::Q + 8 * byte + b; }
inline int Mbit(int byte, int b) { return area::M + 8 * byte + b; }
inline int Sbit(int byte, int b) { return area::S + 8 * byte + b; }
inline int Lbit(int byte, int b) { return area::L + 8 * byte + b; }
inline int SMbit(int byte, int b) { return area::SM + 8 * byte + b; }
inline int Vkey(int byte) { return area::V + 8 * byte; }
inline int Lkey(int byte) { return area::L + 8 * byte; }
inline Operand I(int byte, int b) { return bitAt(Ibit(byte, b)); }
inline Operand Q(int byte, int b) { return bitAt(Qbit(byte, b)); }
inline Operand Mb(int byte, int b) { return bitAt(Mbit(byte, b)); }
inline Operand S(int byte, int b) { return bitAt(Sbit(byte, b)); }
inline Operand SM(int byte, int b) { return bitAt(SMbit(byte, b)); }
inline Operand VB(int n) { return {static_cast<double>(Vkey(n)), kind::Byte}; }
inline Operand VW(int n) { return {static_cast<double>(Vkey(n)), kind::Word}; }
inline Operand VD(int n) { return {static_cast<double>(Vkey(n)), kind::DWord}; }
inline Operand LB(int n) { return {static_cast<double>(Lkey(n)), kind::Byte}; }
inline Operand LW(int n) { return {static_cast<double>(Lkey(n)), kind::Word}; }
inline Operand T(int n) { return {static_cast<double>(area::T + n), kind::Timer}; }
inline Operand C(int n) { return {static_cast<double>(area::C + n), kind::Counter}; }

struct Line {
    std::string mnemonic;
    std::vector<Operand> ops{};
};
using Source = std::vector<Line>;

inline const char* declMnemonic(int type) {
    static const char* const names[] = {":BOOL;", ":BYTE;", ":WORD;", ":INT;", ":DWORD;", ":DINT;", ":REAL;", ":STRING;"};
    return names[type];
}

inline void append(Source& to, const Source& more) { to.insert(to.end(), more.begin(), more.end()); }

// The main program: block lines around a body that starts with its own Network line.
inline Source ob(const Source& body) {
    Source s{{"ORGANIZATION_BLOCK"}, {"BEGIN"}, {"Network", {k(1)}}};
    append(s, body);
    s.push_back({"END_ORGANIZATION_BLOCK"});
    return s;
}

struct Decls {
    std::vector<int> in{}, inOut{}, out{}, temp{};
};

// A subroutine with its declaration sections and a body (no Network line is added).
inline Source sbr(int n, const Decls& d, const Source& body) {
    Source s{{"SUBROUTINE_BLOCK", {k(n)}}};
    auto section = [&](const char* header, const std::vector<int>& types) {
        if (types.empty()) return;
        s.push_back({header});
        for (int t : types) s.push_back({declMnemonic(t)});
        s.push_back({"END_VAR"});
    };
    section("VAR_INPUT", d.in);
    section("VAR_IN_OUT", d.inOut);
    section("VAR_OUTPUT", d.out);
    section("VAR", d.temp);
    s.push_back({"BEGIN"});
    append(s, body);
    s.push_back({"END_SUBROUTINE_BLOCK"});
    return s;
}

inline Source intr(int n, const Source& body) {
    Source s{{"INTERRUPT_BLOCK", {k(n)}}, {"BEGIN"}, {"Network", {k(1)}}};
    append(s, body);
    s.push_back({"END_INTERRUPT_BLOCK"});
    return s;
}

// NETR lines run the probe: a hook into the middle of a pass.
class Probe : public PortInstructions {
public:
    void exec(Interpreter& cpu, CodeLine&) override {
        ++hits;
        if (hook) hook(cpu, hits);
    }
    std::function<void(Interpreter&, int)> hook;
    int hits = 0;
};

class Library : public LibraryRoutines {
public:
    struct Call {
        int code;
        std::int16_t logicResult;
    };
    void call(Interpreter& cpu, CodeLine&, int code) override { calls.push_back({code, cpu.logicResult}); }
    std::vector<Call> calls;
};

struct Rig {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    Program prog;
    Interpreter cpu{mem, prog, log};
    Probe probe;
    Library library;
    InterruptEdges edges;

    Rig() {
        log.setClock([] { return std::string("12:00:00"); });
        cpu.ports = &probe;
        cpu.libraries = &library;
    }

    // The code table and routine tables, as the code builder leaves them.
    void load(const Source& src) {
        prog.resetCodeTable(src.size() < 2 ? 2 : src.size());
        int s = 0, j = 0, slot = 0;
        enum { None, In, InOut, Out } section = None;
        for (std::size_t i = 0; i < src.size(); ++i) {
            CodeLine& line = prog.CodeTable[i];
            const Line& l = src[i];
            line.setMnemonic(l.mnemonic);
            prog.setSourceText(static_cast<int>(i), l.mnemonic);
            for (std::size_t o = 0; o < l.ops.size(); ++o) line.setOperand(static_cast<int>(o), l.ops[o].number, l.ops[o].kind);
            const int idx = static_cast<int>(i);
            SubroutineEntry& sub = prog.subroutines[static_cast<std::size_t>(s)];
            switch (line.op) {
            case Op::SUBROUTINE_BLOCK:
                s = static_cast<int>(l.ops[0].number);
                prog.subroutines[static_cast<std::size_t>(s)] = SubroutineEntry{};
                prog.subroutines[static_cast<std::size_t>(s)].EntryLine = static_cast<std::int16_t>(idx);
                j = 0;
                slot = 1;
                section = None;
                break;
            case Op::INTERRUPT_BLOCK:
                prog.interrupts[static_cast<std::size_t>(l.ops[0].number)].EntryLine = static_cast<std::int16_t>(idx);
                break;
            case Op::LBL:
                prog.labels[0][static_cast<std::size_t>(l.ops[0].number)] = static_cast<std::int16_t>(idx);
                break;
            case Op::VAR_INPUT:
                sub.InCount = 0;
                section = In;
                break;
            case Op::VAR_IN_OUT:
                sub.InOutCount = 0;
                section = InOut;
                break;
            case Op::VAR_OUTPUT:
                sub.OutCount = 0;
                section = Out;
                break;
            case Op::END_VAR:
                if (section == In) sub.ParamCount = sub.InCount;
                if (section == InOut) sub.ParamCount = static_cast<std::int16_t>(sub.InCount + sub.InOutCount);
                if (section == Out) sub.ParamCount = static_cast<std::int16_t>(sub.InCount + sub.InOutCount + sub.OutCount);
                section = None;
                break;
            case Op::DeclBool:
            case Op::DeclByte:
            case Op::DeclWord:
            case Op::DeclInt:
            case Op::DeclDword:
            case Op::DeclDint:
            case Op::DeclReal:
            case Op::DeclString: {
                if (slot > 20) break;
                if (section == In) ++sub.InCount;
                if (section == InOut) ++sub.InOutCount;
                if (section == Out) ++sub.OutCount;
                const int type = static_cast<int>(line.op) - static_cast<int>(Op::DeclBool);
                sub.ParamType[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(type);
                const int width = type == ptype::Bool ? 1 : type == ptype::Byte ? 8 : type <= ptype::Int ? 16 : 32;
                if (type == ptype::String) {
                } else if (width == 1) {
                    sub.ParamKey[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(area::L + j);
                    ++j;
                } else {
                    const int f = j % 8;
                    const int at = f == 0 ? j : j - f + 8;
                    sub.ParamKey[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(area::L + at);
                    j = at + width;
                }
                ++slot;
                break;
            }
            default:
                break;
            }
        }
        const int last = prog.lastIndex();
        for (CodeLine& line : prog.CodeTable) {
            if (line.op == Op::END_ORGANIZATION_BLOCK) line.setOperand(0, last);
            const std::string& m = line.mnemonic();
            const bool quiet = m.rfind("Network", 0) == 0 || m.rfind("END", 0) == 0 || m.rfind("SUB", 0) == 0 ||
                               m.rfind("ORG", 0) == 0 || m.rfind("BEGIN", 0) == 0 || m.rfind("INTER", 0) == 0;
            line.HasStatus = quiet ? 0 : kOn;
        }
    }

    void pass() { cpu.RunExec(0); }
    // One scan tick: the tick count advances, the interrupt dispatcher runs, and a pass
    // follows when asked.
    void tick(bool withPass = false) {
        ++cpu.tick;
        runInterrupts(cpu, edges);
        if (withPass) pass();
    }
    void set(int key, bool on) { mem.setCell(key, on ? kOn : kOff); }
    bool on(int key) const { return mem.cell(key) != 0; }
    int lineOf(const std::string& mnemonic, int nth = 0) const {
        for (int i = 0; i <= prog.lastIndex(); ++i)
            if (prog.CodeTable[static_cast<std::size_t>(i)].mnemonic() == mnemonic && nth-- == 0) return i;
        return -1;
    }
};

}  // namespace flowtest
