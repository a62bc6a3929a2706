#pragma once
// The data memory of the simulated CPU: one flat array of bit cells (0 off, -1 on) in which
// every operand area has a fixed base, plus the timer and counter records. Bytes are eight
// cells, least significant bit first; words, double words and reals are big-endian.
#include <array>
#include <cstdint>

#include "core/fault.h"
#include "platform/log_sink.h"

namespace korvane {

namespace area {
// Bit bases of the areas in the image.
inline constexpr int I = 0;
inline constexpr int Q = 128;
inline constexpr int M = 256;
inline constexpr int V = 512;
inline constexpr int Edge = 8704;
inline constexpr int SM = 8832;
inline constexpr int T = 13232;
inline constexpr int C = 13488;
inline constexpr int FirstScanDone = 13744;
inline constexpr int AIW = 13760;
inline constexpr int AQW = 14272;
inline constexpr int L = 14784;
inline constexpr int S = 15296;
inline constexpr int AC = 15552;
inline constexpr int CellCount = 19201;  // cells 0 to 19200
inline constexpr int LastCell = CellCount - 1;

// Byte bases used by address-of operands (&VB100 is 64 + 100).
inline constexpr int byteBase(int bitBase) { return bitBase / 8; }

// Special-memory bits the engine keeps.
inline constexpr int SM0_0 = SM + 0;
inline constexpr int SM0_1 = SM + 1;
inline constexpr int SM0_3 = SM + 3;
inline constexpr int SM0_4 = SM + 4;
inline constexpr int SM0_5 = SM + 5;
inline constexpr int SM0_6 = SM + 6;
inline constexpr int SM1_0 = SM + 8;
inline constexpr int SM1_1 = SM + 9;
inline constexpr int SM1_2 = SM + 10;
inline constexpr int SM1_3 = SM + 11;
inline constexpr int SM1_4 = SM + 12;  // ATT: the table is full
inline constexpr int SM1_5 = SM + 13;  // FIFO, LIFO: the table is empty
inline constexpr int SM1_6 = SM + 14;  // a value that is not BCD
inline constexpr int SM1_7 = SM + 15;  // a character that is not a hexadecimal digit
inline constexpr int SM4_0 = SM + 32;  // communication interrupt queue overflow
inline constexpr int SM4_1 = SM + 33;  // I/O interrupt queue overflow
inline constexpr int SM4_2 = SM + 34;  // timed interrupt queue overflow
inline constexpr int SM4_3 = SM + 35;  // a run-time programming problem (a non-fatal error)
inline constexpr int SM4_4 = SM + 36;  // interrupts enabled
inline constexpr int SMB34 = SM + 8 * 34;
inline constexpr int SMB35 = SM + 8 * 35;

// A cell no instruction writes: contacts whose operand names nothing read it (always off).
inline constexpr int AlwaysOff = FirstScanDone + 1;

// Ends (one past the last cell) of the areas.
inline constexpr int IEnd = I + 8 * 16;
inline constexpr int QEnd = Q + 8 * 16;
inline constexpr int MEnd = M + 8 * 32;
inline constexpr int VEnd = V + 8 * 1024;
inline constexpr int EdgeEnd = Edge + 128;
inline constexpr int SMEnd = SM + 8 * 550;
inline constexpr int AIWEnd = AIW + 8 * 64;
inline constexpr int AQWEnd = AQW + 8 * 64;
inline constexpr int LEnd = L + 8 * 64;
inline constexpr int SEnd = S + 8 * 32;
inline constexpr int ACEnd = AC + 32 * 4;

// The cells [begin, end) of one area.
struct Span {
    int begin = 0;
    int end = 0;
    constexpr bool holds(int key, int cells) const { return key >= begin && cells >= 0 && key + cells <= end; }
};

// The data area a pointer may address that holds cell key (I, Q, M, V, SM, AIW, AQW, L or
// S); an empty span for any other cell.
constexpr Span dataAreaOf(int key) {
    constexpr Span kAreas[] = {{I, IEnd},     {Q, QEnd},     {M, MEnd}, {V, VEnd}, {SM, SMEnd},
                               {AIW, AIWEnd}, {AQW, AQWEnd}, {L, LEnd}, {S, SEnd}};
    for (const Span& a : kAreas)
        if (key >= a.begin && key < a.end) return a;
    return {};
}
}  // namespace area

inline constexpr std::int16_t kOn = -1;
inline constexpr std::int16_t kOff = 0;

// One timer or counter record. Timers: Flag is -1 while counting, LastInput the enabling
// input of the previous execution. Counters: Flag is the count input seen last time,
// LastInput the count-down input of CTUD. Kind: 0 none, 1 TON/CTU, 2 TOF/CTD, 3 TONR/CTUD.
struct TimerCounterRecord {
    std::int16_t Flag = 0;
    std::int16_t LastInput = 0;
    std::int32_t Preset = 0;
    std::int32_t Current = 0;
    std::int16_t Kind = 0;
};

class PlcMemory {
public:
    PlcMemory() = default;
    // The log receives " tobit错误" and " tobit2错误".
    explicit PlcMemory(const Log* log) : log_(log) {}
    void setLog(const Log* log) { log_ = log; }

    // --- cells -------------------------------------------------------------------------
    static bool inImage(int bit) { return bit >= 0 && bit <= area::LastCell; }
    std::int16_t cell(int bit) const {
        if (!inImage(bit)) fault(FaultCode::AccessOutOfImage);
        return cells_[bit];
    }
    void setCell(int bit, std::int16_t v) {
        if (!inImage(bit)) fault(FaultCode::AccessOutOfImage);
        cells_[bit] = v;
    }
    void setBit(int bit, bool on) { setCell(bit, on ? kOn : kOff); }
    bool bit(int bit) const { return cell(bit) != 0; }
    // Unchecked access for callers that have checked the range themselves.
    std::int16_t* cells() { return cells_.data(); }
    const std::int16_t* cells() const { return cells_.data(); }

    // --- readers (fault on a cell outside the image) -----------------------------------
    double GetByteValue(int bit) const { return byteAt(bit); }
    double GetSByteValue(int bit) const;
    double GetWordValue(int bit) const;
    double GetIntValue(int bit) const;
    double GetDWordValue(int bit) const;
    double GetDIntValue(int bit) const;
    double GetRealValue(int bit) const;
    std::uint8_t byteAt(int bit) const;
    std::uint32_t dwordPattern(int bit) const;

    // --- writers -----------------------------------------------------------------------
    // Split value into width (1, 8, 16, 32) cells from bit. Faults are caught here and
    // logged as " tobit错误"; cells written before the fault keep their values.
    // Returns false when the write failed.
    bool tobit(double value, int bit, int width);
    // As tobit, plus width 40 (a real) and 16-bit writes at timer and counter keys, which
    // set the record's current value. Logs " tobit2错误".
    bool tobit2(double value, int bit, int width);
    // The single-precision bytes of value, most significant first, through tobit. A value
    // beyond the single range faults (to the caller).
    void SetRealValue(int bit, double value);
    // The unsigned number with the bit pattern of a signed value; -1 when out of range.
    static double ToUnsignedPattern(double value, int width);
    // Cells 0 to 19000 := 0; the records are kept (the warm restart).
    void ClearImage();
    // Every cell := 0 and every record's Flag, LastInput, Preset and Current := 0 (RUN entry).
    void clearForRun();

    // The throwing core of tobit / tobit2, for callers that handle faults themselves.
    void writeValue(double value, int bit, int width);
    void writeValue2(double value, int bit, int width);

    // --- timer and counter records -----------------------------------------------------
    std::array<TimerCounterRecord, 256>& timers() { return timers_; }
    std::array<TimerCounterRecord, 256>& counters() { return counters_; }
    const std::array<TimerCounterRecord, 256>& timers() const { return timers_; }
    const std::array<TimerCounterRecord, 256>& counters() const { return counters_; }
    TimerCounterRecord& timer(int n) {
        if (n < 0 || n > 255) fault(FaultCode::IndexOutOfRange);
        return timers_[n];
    }
    TimerCounterRecord& counter(int n) {
        if (n < 0 || n > 255) fault(FaultCode::IndexOutOfRange);
        return counters_[n];
    }

private:
    void writeByteLow8(int bit, long v);  // the low 8 bits of v into cells bit..bit+7
    void writeWord16(double value, int bit);

    std::array<std::int16_t, area::CellCount> cells_{};
    std::array<TimerCounterRecord, 256> timers_{};
    std::array<TimerCounterRecord, 256> counters_{};
    const Log* log_ = nullptr;
};

}  // namespace korvane
