// Immediate I/O: contacts and outputs that reach the I/O terminals at the moment they
// execute, and the immediate byte moves. An immediate read takes the input terminal and
// leaves the I image alone; an immediate write sets the Q image and hands the outputs to the
// terminals at once, without waiting for the end of the pass.
#include <optional>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

bool isInputKey(int key) { return key >= area::I && key < area::Q; }
bool isOutputKey(int key) { return key >= area::Q && key < area::M; }

// The input terminal of an I bit. A contact whose operand names nothing has been given a
// cell outside I by the builder: it reads that cell, which is off.
std::int16_t inputTerminal(Interpreter& cpu, int key) {
    if (isInputKey(key) && cpu.terminals) return cpu.terminals->inputTerminal(key) ? kOn : kOff;
    return cpu.mem().cell(key);
}

// The byte of eight input terminals from key, least significant bit first.
unsigned inputByte(Interpreter& cpu, int key) {
    unsigned byte = 0;
    for (int i = 0; i < 8; ++i)
        if (inputTerminal(cpu, key + i)) byte |= 1u << i;
    return byte;
}

void outputsWritten(Interpreter& cpu) {
    if (cpu.terminals) cpu.terminals->outputsWritten();
}

// SI / RI bit, N: N outputs from bit on, in the image and on the terminals. The run stays
// inside Q: it is cut at Q15.7.
void setResetImmediate(Interpreter& cpu, CodeLine& line, bool set) {
    PlcMemory& mem = cpu.mem();
    const int k = line.key(0);
    if (powerOn(cpu) && isOutputKey(k)) {
        if (const std::optional<double> count = operandValueOrError(cpu, line, 1)) {
            int n = toInt16(*count);
            if (k + n > area::M) n = area::M - k;
            for (int i = 0; i < n; ++i) mem.setCell(k + i, set ? kOn : kOff);
            if (n > 0) outputsWritten(cpu);
            setStatus(cpu, 1, n, 5);
        }
    } else if (const std::optional<double> count = operandValueIfReadable(cpu, line, 1)) {
        setStatus(cpu, 1, *count, 5);
    }
    setStatus(cpu, 0, mem.cell(k), 0);
}

// The key of a byte operand that must lie on the terminals: an IB (BIR's IN) or a QB (BIW's
// OUT), directly or through a pointer. A pointer to anything else is the error 0006.
std::optional<int> terminalByteKey(Interpreter& cpu, const CodeLine& line, int k, bool input) {
    if (effectiveKind(line.kindOf(k)) != kind::Byte) return std::nullopt;
    const std::optional<int> key = operandKeyOrError(cpu, line, k);
    if (!key) return std::nullopt;
    const bool inside = input ? isInputKey(*key) && isInputKey(*key + 7) : isOutputKey(*key) && isOutputKey(*key + 7);
    if (!inside) {
        cpu.nonFatal(kBadPointerError);
        return std::nullopt;
    }
    return key;
}

// BIR IN, OUT: the input terminals of byte IN into OUT; the I image is not updated.
void readByteImmediate(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (powerOn(cpu)) {
        const std::optional<int> in = terminalByteKey(cpu, line, 0, true);
        if (!in) return;
        const unsigned byte = inputByte(cpu, *in);
        if (effectiveKind(line.kindOf(1)) != kind::Byte) return;  // OUT takes no byte
        const std::optional<int> out = operandKeyOrError(cpu, line, 1);
        if (!out) return;
        writeBits(mem, *out, 8, byte);
        setStatus(cpu, 0, byte, 1);
        setStatus(cpu, 1, byte, 1);
        return;
    }
    try {
        const int in = operandKey(mem, line, 0);
        if (isInputKey(in) && isInputKey(in + 7)) setStatus(cpu, 0, inputByte(cpu, in), 1);
    } catch (const PlcFault&) {
    }
    if (const std::optional<double> v = operandValueIfReadable(cpu, line, 1)) setStatus(cpu, 1, *v, 1);
}

// BIW IN, OUT: IN into the Q byte OUT and on to its output terminals at once.
void writeByteImmediate(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    if (powerOn(cpu)) {
        std::optional<unsigned> byte;
        if (line.kindOf(0) == kind::Constant) {
            // The low 8 bits of the constant rounded to 16 bits, as MOVB takes it.
            byte = static_cast<std::uint16_t>(toInt16(line.number(0))) & 0xFFu;
        } else if (const std::optional<double> v = operandValueOrError(cpu, line, 0)) {
            byte = static_cast<unsigned>(*v) & 0xFFu;
        }
        if (!byte) return;
        const std::optional<int> out = terminalByteKey(cpu, line, 1, false);
        if (!out) return;
        writeBits(mem, *out, 8, *byte);
        outputsWritten(cpu);
    }
    if (const std::optional<double> v = operandValueIfReadable(cpu, line, 0)) setStatus(cpu, 0, *v, 1);
    if (const std::optional<double> v = operandValueIfReadable(cpu, line, 1)) setStatus(cpu, 1, *v, 1);
}

}  // namespace

void execImmediate(Interpreter& cpu, CodeLine& line) {
    std::int16_t& lr = cpu.logicResult;
    switch (line.op) {
    case Op::LDI:
    case Op::LDNI: {
        const std::int16_t c = inputTerminal(cpu, line.key(0));
        cpu.push(lr);
        lr = line.op == Op::LDI ? c : static_cast<std::int16_t>(~c);
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::AI:
    case Op::ANI: {
        const std::int16_t c = inputTerminal(cpu, line.key(0));
        lr = static_cast<std::int16_t>(lr & (line.op == Op::AI ? c : ~c));
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::OI:
    case Op::ONI: {
        const std::int16_t c = inputTerminal(cpu, line.key(0));
        lr = static_cast<std::int16_t>(lr | (line.op == Op::OI ? c : ~c));
        cpu.status().StatusValue[0] = c;
        return;
    }
    case Op::AssignI: {
        const int k = line.key(0);
        if (!isOutputKey(k)) return;
        cpu.mem().setCell(k, lr);
        cpu.status().StatusValue[0] = lr;
        outputsWritten(cpu);
        return;
    }
    case Op::SI:
        setResetImmediate(cpu, line, true);
        return;
    case Op::RI:
        setResetImmediate(cpu, line, false);
        return;
    case Op::BIR:
        readByteImmediate(cpu, line);
        return;
    case Op::BIW:
        writeByteImmediate(cpu, line);
        return;
    default:
        return;
    }
}

}  // namespace korvane
