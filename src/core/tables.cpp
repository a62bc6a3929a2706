// Tables: add to table (ATT), first-in and last-in first-out (FIFO, LIFO) and table find
// (FND=, FND<>, FND<, FND>). A table is a run of words: TL, the most entries it may hold,
// then EC, the entries it holds, then the entries; table find is given the address of EC.
// At most 100 entries. Box instructions: they execute only while the logic result is on,
// never change it, and record their operands' values for the status view whether they
// executed or not. A full table sets SM1.4 and an empty one SM1.5 (with ENO off); a table
// that does not lie whole inside its area, more than 100 entries or a constant where a
// place is needed is the non-fatal error 0091, and nothing is written.
#include <array>
#include <cstdint>

#include "core/interpreter.h"
#include "core/operand_access.h"

namespace korvane {

namespace {

using namespace access;

constexpr std::uint16_t kOperandOutOfRange = 0x0091;
constexpr int kMaxEntries = 100;

void outOfRange(Interpreter& cpu) { cpu.nonFatal(kOperandOutOfRange); }

bool isPlace(const CodeLine& line, int k) { return line.kindOf(k) != kind::Constant; }

std::uint16_t wordOf(Interpreter& cpu, const CodeLine& line, int k) {
    return static_cast<std::uint16_t>(toInt64(operandValue(cpu, line, k)) & 0xFFFF);
}

double signedWord(double v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(toInt64(v) & 0xFFFF)); }

// The words of a table from operand k: the words from its address on, or, from T n (C n),
// the current values of T n, T n+1 ... as a pointer to a timer steps through them.
class WordRun {
public:
    WordRun(Interpreter& cpu, const CodeLine& line, int k) : mem_(cpu.mem()) {
        const int knd = line.kindOf(k);
        if (knd == kind::Constant) return;
        if (knd == kind::Timer || knd == kind::Counter) {
            records_ = knd == kind::Timer ? &mem_.timers() : &mem_.counters();
            first_ = line.key(k) - (knd == kind::Timer ? area::T : area::C);
        } else {
            key_ = operandKey(mem_, line, k);
        }
        valid_ = true;
    }
    // Whether words 0 to count - 1 exist (in one data area, or up to T255 / C255).
    bool holds(int count) const {
        if (!valid_) return false;
        if (records_) return first_ >= 0 && first_ + count <= 256;
        return area::dataAreaOf(key_).holds(key_, 16 * count);
    }
    // Word i, after holds(i + 1).
    std::uint16_t get(int i) const {
        if (records_) return static_cast<std::uint16_t>((*records_)[static_cast<std::size_t>(first_ + i)].Current & 0xFFFF);
        return static_cast<std::uint16_t>(readBits(mem_, key_ + 16 * i, 16));
    }
    void set(int i, std::uint16_t v) {
        if (records_)
            (*records_)[static_cast<std::size_t>(first_ + i)].Current = v;
        else
            writeBits(mem_, key_ + 16 * i, 16, v);
    }

private:
    PlcMemory& mem_;
    std::array<TimerCounterRecord, 256>* records_ = nullptr;
    int first_ = 0;
    int key_ = 0;
    bool valid_ = false;
};

// ATT DATA, TBL: DATA becomes entry EC and EC counts it; with EC >= TL the table is full.
void addToTable(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    WordRun table(cpu, line, 1);
    if (!table.holds(2)) return outOfRange(cpu);
    const int limit = table.get(0);
    const int count = table.get(1);
    if (limit > kMaxEntries) return outOfRange(cpu);
    if (count >= limit) {
        setSm(mem, area::SM1_4, true);
        cpu.enoOff = true;
        return;
    }
    if (!table.holds(2 + limit)) return outOfRange(cpu);
    const std::uint16_t data = wordOf(cpu, line, 0);
    table.set(2 + count, data);
    table.set(1, static_cast<std::uint16_t>(count + 1));
    setSm(mem, area::SM1_4, false);
}

// FIFO TBL, DATA takes entry 0 and moves the others down one place (the word of the last
// entry keeps its value); LIFO TBL, DATA takes the last entry. Both count it off EC.
void takeFromTable(Interpreter& cpu, CodeLine& line, bool first) {
    PlcMemory& mem = cpu.mem();
    WordRun table(cpu, line, 0);
    if (!table.holds(2) || !isPlace(line, 1)) return outOfRange(cpu);
    const int count = table.get(1);
    if (count == 0) {
        setSm(mem, area::SM1_5, true);
        cpu.enoOff = true;
        return;
    }
    if (count > kMaxEntries || !table.holds(2 + count)) return outOfRange(cpu);
    const std::uint16_t data = table.get(first ? 2 : 2 + count - 1);
    if (first)
        for (int i = 1; i < count; ++i) table.set(2 + i - 1, table.get(2 + i));
    table.set(1, static_cast<std::uint16_t>(count - 1));
    storeWord(mem, line, 1, operandKey(mem, line, 1), data);
    setSm(mem, area::SM1_5, false);
}

// FND TBL, PTN, INDX: from entry INDX on, the first entry that stands in the relation to
// PTN (signed), else EC, into INDX. TBL is the address of EC.
void findInTable(Interpreter& cpu, CodeLine& line) {
    PlcMemory& mem = cpu.mem();
    WordRun table(cpu, line, 0);
    if (!table.holds(1) || !isPlace(line, 2)) return outOfRange(cpu);
    const int count = table.get(0);
    if (count > kMaxEntries || !table.holds(1 + count)) return outOfRange(cpu);
    const auto pattern = static_cast<std::int16_t>(wordOf(cpu, line, 1));
    int found = count;
    for (int i = wordOf(cpu, line, 2); i < count; ++i) {
        const auto entry = static_cast<std::int16_t>(table.get(1 + i));
        bool match = false;
        switch (line.op) {
        case Op::FND_EQ:
            match = entry == pattern;
            break;
        case Op::FND_NE:
            match = entry != pattern;
            break;
        case Op::FND_LT:
            match = entry < pattern;
            break;
        default:  // FND_GT
            match = entry > pattern;
            break;
        }
        if (match) {
            found = i;
            break;
        }
    }
    storeWord(mem, line, 2, operandKey(mem, line, 2), found);
}

}  // namespace

void execTable(Interpreter& cpu, CodeLine& line) {
    const bool on = powerOn(cpu);
    switch (line.op) {
    case Op::ATT:
        if (on) addToTable(cpu, line);
        setStatus(cpu, 0, signedWord(operandValue(cpu, line, 0)), 5);
        setStatus(cpu, 1, operandValue(cpu, line, 1), 2);
        return;
    case Op::FIFO:
    case Op::LIFO:
        if (on) takeFromTable(cpu, line, line.op == Op::FIFO);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 2);
        setStatus(cpu, 1, signedWord(operandValue(cpu, line, 1)), 5);
        return;
    case Op::FND_EQ:
    case Op::FND_NE:
    case Op::FND_LT:
    case Op::FND_GT:
        if (on) findInTable(cpu, line);
        setStatus(cpu, 0, operandValue(cpu, line, 0), 2);
        setStatus(cpu, 1, signedWord(operandValue(cpu, line, 1)), 5);
        setStatus(cpu, 2, operandValue(cpu, line, 2), 2);
        return;
    default:
        return;
    }
}

}  // namespace korvane
