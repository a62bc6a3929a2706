// Bit logic: contacts, coils, the logic stack instructions, edges, set and reset.
#include "core/interpreter.h"

namespace korvane {

namespace {

// The end of the area in which a set/reset run starting at key k must stay: a run never
// reaches into the next area. 0 when k lies in no area.
int areaEnd(int k) {
    if (const area::Span a = area::dataAreaOf(k); a.end) return a.end;
    if (k >= area::Edge && k < area::EdgeEnd) return area::EdgeEnd;
    if (k >= area::T && k < area::C) return area::C;
    if (k >= area::C && k < area::FirstScanDone) return area::FirstScanDone;
    if (k >= area::AC && k < area::ACEnd) return area::ACEnd;
    return 0;
}

void setReset(Interpreter& cpu, CodeLine& line, bool set) {
    PlcMemory& mem = cpu.mem();
    const int k = line.key(0);
    if (cpu.logicResult == kOn) {
        int n = toInt16(cpu.val(line, 1));
        const int knd = line.kindOf(0);
        if (!set && knd == kind::Timer) {
            if (k + n > area::C) n = area::C - k;
            for (int i = 0; i < n; ++i) {
                mem.timer(k - area::T + i).Current = 0;
                mem.setCell(k + i, kOff);
            }
        } else if (!set && knd == kind::Counter) {
            if (k + n > area::FirstScanDone) n = area::FirstScanDone - k;
            for (int i = 0; i < n; ++i) {
                mem.counter(k - area::C + i).Current = 0;
                mem.setCell(k + i, kOff);
            }
        } else {
            const int end = areaEnd(k);
            if (end && k + n > end) n = end - k;
            for (int i = 0; i < n; ++i) mem.setCell(k + i, set ? kOn : kOff);
        }
        cpu.status().StatusValue[1] = n;
    } else {
        // Not executed: the count is shown as written when it can be read.
        try {
            cpu.status().StatusValue[1] = cpu.val(line, 1);
        } catch (const PlcFault&) {
        }
    }
    cpu.status().StatusValue[0] = mem.cell(k);
    cpu.status().StatusKind[0] = 0;
    cpu.status().StatusKind[1] = 5;
}

}  // namespace

void execBitLogic(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    std::int16_t& lr = cpu.logicResult;
    switch (line.op) {
    case Op::LD: {
        std::int16_t c = mem.cell(line.key(0));
        cpu.push(lr);
        lr = c;
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::LDN: {
        std::int16_t c = mem.cell(line.key(0));
        cpu.push(lr);
        lr = static_cast<std::int16_t>(~c);
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::A: {
        std::int16_t c = mem.cell(line.key(0));
        lr = static_cast<std::int16_t>(lr & c);
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::AN: {
        std::int16_t c = mem.cell(line.key(0));
        lr = static_cast<std::int16_t>(lr & ~c);
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::O: {
        std::int16_t c = mem.cell(line.key(0));
        lr = static_cast<std::int16_t>(lr | c);
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::ON: {
        std::int16_t c = mem.cell(line.key(0));
        lr = static_cast<std::int16_t>(lr | ~c);
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::Assign: {
        const int k = line.key(0);
        mem.setCell(k, lr);
        cpu.status().StatusValue[0] = lr;
        return;
    }
    case Op::NOT:
        lr = static_cast<std::int16_t>(~lr);
        return;
    case Op::LPS:
        cpu.push(lr);
        return;
    case Op::LRD:
        lr = cpu.pop();
        cpu.push(lr);
        return;
    case Op::LPP:
        lr = cpu.pop();
        return;
    case Op::LDS: {
        const int n = toInt16(line.number(0));
        cpu.push(lr);
        const int idx = cpu.top - n - 1;
        if (idx < 0 || idx >= Interpreter::kStackSize) fault(FaultCode::IndexOutOfRange);
        lr = cpu.stack[idx];
        return;
    }
    case Op::ALD:
        lr = static_cast<std::int16_t>(lr & cpu.pop());
        return;
    case Op::OLD:
        lr = static_cast<std::int16_t>(lr | cpu.pop());
        return;
    case Op::EU: {
        const int k = line.key(0);
        if (mem.cell(k) == 0 && lr == kOn) {
            mem.setCell(k, kOn);
        } else {
            mem.setCell(k, lr);
            lr = 0;
        }
        return;
    }
    case Op::ED: {
        const int k = line.key(0);
        if (mem.cell(k) == kOn && lr == 0) {
            mem.setCell(k, kOff);
            lr = kOn;
        } else {
            mem.setCell(k, lr);
            lr = 0;
        }
        return;
    }
    case Op::S:
        setReset(cpu, line, true);
        return;
    case Op::R:
        setReset(cpu, line, false);
        return;
    default:
        return;
    }
}

}  // namespace korvane
