#pragma once
// Signals over time: addresses sampled after program passes, as value changes.
//
// A signal is an address in the runner's syntax (sim/address.h): bits (I0.0, SM0.5) and
// the bits of timers and counters (T37:b, C5:b) are one bit wide; bytes, words and double
// words are 8, 16 and 32 bits; a timer or counter named without ":b" (T37, C5) is its
// current value as a signed 16-bit word. ":s" makes a number signed and ":x" shows it in
// hexadecimal (both change only how it is shown, not the bits); a ":r" double word is a real.
//
// Values are kept as the bit pattern of their width (a real as its 32-bit pattern).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plc_memory.h"
#include "sim/address.h"

namespace korvane {

struct TraceSignal {
    PlcAddress address;
    std::string name;  // the address as written, upper case, blanks removed ("T37:B" -> "T37:b")

    int width() const { return address.width(); }
    bool isBit() const { return width() == 1; }
    bool isReal() const { return address.format == PlcAddress::Format::Real; }
    // Timer and counter values are signed (a counter counting down goes below 0).
    bool isSigned() const {
        return address.format == PlcAddress::Format::Signed || address.kind == PlcAddress::Kind::TimerValue ||
               address.kind == PlcAddress::Kind::CounterValue;
    }
};

// One signal from its text; nullopt when the text is not an address.
std::optional<TraceSignal> parseTraceSignal(std::string_view text);

// A comma-separated list ("I0.0,Q0.0,T37,VW0"; blanks around items allowed). nullopt when an
// item is not an address or names the same signal twice; error then says which.
std::optional<std::vector<TraceSignal>> parseTraceSignals(std::string_view list, std::string& error);

// The signal's value in the memory image as its bit pattern.
std::uint32_t sampleSignal(const PlcMemory& mem, const TraceSignal& s);

// The pattern as a number: signed or unsigned by the signal's format, a real for ":r".
double signalNumber(const TraceSignal& s, std::uint32_t pattern);
// The pattern as the status table would show it: 0/1, decimal, 16#.. for ":x", a real.
std::string signalText(const TraceSignal& s, std::uint32_t pattern);

// The window's recorder: up to kMaxSignals signals, each as a list of its changes, fed after
// every program pass. Only the last kKeepMs of changes are kept (with the change that gives
// the value at the start of that span), and at most kMaxChanges per signal, so a long run
// holds a bounded amount.
class SignalRecorder {
public:
    static constexpr std::size_t kMaxSignals = 16;
    static constexpr std::int64_t kKeepMs = 600'000;
    // A bit toggled in every pass of a 10 ms task period changes 60 000 times in 600 s.
    static constexpr std::size_t kMaxChanges = 65'536;

    struct Change {
        std::int64_t ms;
        std::uint32_t value;
    };

    enum class Add { Added, NotAnAddress, AlreadyThere, Full };
    // Adds a signal; a signal added while recording starts with its next sample.
    Add add(std::string_view text);
    void remove(std::size_t i);
    // Forgets every recorded change; the signals stay.
    void clearSamples();

    // The values after a pass at time ms (never earlier than the last sample's time).
    void sample(std::int64_t ms, const PlcMemory& mem);

    std::size_t size() const { return signals_.size(); }
    const TraceSignal& signal(std::size_t i) const { return signals_.at(i).signal; }
    const std::deque<Change>& changes(std::size_t i) const { return signals_.at(i).changes; }
    // The time of the last sample; -1 before the first.
    std::int64_t lastMs() const { return lastMs_; }
    // The start of what is kept: the first sample's time, or lastMs() - kKeepMs once the
    // run is longer.
    std::int64_t firstMs() const { return firstMs_; }
    // The value of a signal at a time (the last change at or before it); nullopt before its
    // first change.
    std::optional<std::uint32_t> valueAt(std::size_t i, std::int64_t ms) const;

private:
    struct Lane {
        TraceSignal signal;
        std::deque<Change> changes;
    };
    std::vector<Lane> signals_;
    std::int64_t lastMs_ = -1;
    std::int64_t firstMs_ = -1;
};

}  // namespace korvane
