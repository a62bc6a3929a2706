#pragma once
// A Value Change Dump writer (the text format waveform viewers such as GTKWave read).
//
// The header names every signal once in the scope "korvane": bits as "wire 1", numbers as
// "reg N" with the range [N-1:0], reals as "real 32". VCD viewers take a dot as a scope
// separator, so a reference name is the address with every character other than a letter,
// a digit or '_' replaced by '_' (I0.0 -> I0_0, T37:b -> T37_b); a $comment in the header
// lists each name with its address. Identifier codes are short strings of the printable
// characters '!' to '~'. Time is in milliseconds ($timescale 1 ms).
//
// Values are written as they come: the first sample as $dumpvars, later ones only where a
// value changed, each group after its "#time". Nothing but the last values is kept.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/signal_trace.h"

namespace korvane {

// The reference name of a signal in the dump: I0.0 -> I0_0.
std::string vcdReference(const TraceSignal& s);
// The identifier code of the n-th signal: "!", "\"", ... "~", "!!", ...
std::string vcdIdentifier(std::size_t n);

class VcdWriter {
public:
    // date: the $date text; version: the program and its version (korvane-run 1.0.7).
    VcdWriter(std::ostream& out, std::vector<TraceSignal> traced, std::string date, std::string version);

    // Writes the header (once, before the first sample).
    void writeHeader();
    // The values at time ms: the first call writes them all as $dumpvars, later calls only
    // the changed ones. A time earlier than the last one written is taken as that one.
    void sample(std::int64_t ms, const std::vector<std::uint32_t>& values);
    void sample(std::int64_t ms, const PlcMemory& mem);
    // The first values, as $dumpvars at time ms; a value not known is written as x.
    void dumpVars(std::int64_t ms, const std::vector<std::optional<std::uint32_t>>& values);
    // One signal's value at time ms (the recorder's export, signal by signal in time order).
    void change(std::int64_t ms, std::size_t signal, std::uint32_t value);
    // The end of the dump: a last "#time" when ms is past the last one written, then flush.
    void finish(std::int64_t ms);

    const std::vector<TraceSignal>& traced() const { return signals_; }
    bool good() const { return out_.good(); }

private:
    void writeValue(std::size_t i, std::optional<std::uint32_t> value);
    void writeTime(std::int64_t ms);

    std::ostream& out_;
    std::vector<TraceSignal> signals_;
    std::string date_, version_;
    std::vector<std::uint32_t> last_;
    std::vector<std::string> ids_;
    std::vector<std::uint32_t> scratch_;
    bool headerWritten_ = false;
    bool dumped_ = false;
    std::int64_t lastTime_ = -1;
};

// Writes what a recorder holds as a dump: $dumpvars at its first kept time, then every later
// change in time order.
void writeRecorderVcd(std::ostream& out, const SignalRecorder& rec, const std::string& date, const std::string& version);

}  // namespace korvane
