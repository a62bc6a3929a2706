#pragma once
// Addresses as the headless runner names them: bits (I0.0, SM0.5), bytes (VB10), words
// (AIW0), double words (VD100), timers and counters (T37, C5, T37:b), accumulators (AC0),
// with an optional format suffix (:s signed, :r real, :x hexadecimal).
#include <optional>
#include <string>
#include <string_view>

#include "core/plc_memory.h"

namespace korvane {

struct PlcAddress {
    enum class Kind { Bit, Byte, Word, DWord, TimerValue, CounterValue, TimerBit, CounterBit };
    enum class Format { Unsigned, Signed, Real, Hex };

    Kind kind = Kind::Bit;
    Format format = Format::Unsigned;
    int key = 0;       // bit key of the bit or first byte; the T/C bit key for timers and counters
    int number = 0;    // timer or counter number
    std::string text;  // as written by the user

    int width() const;
    bool isInput() const;  // I and AIW addresses, which the input state drives
};

// Parses an address; nullopt when it is not one. Blanks between the area and the number are
// allowed ("VB 10"); letters are case-insensitive.
std::optional<PlcAddress> parseAddress(std::string_view text);

// The value at the address in its format: bits 0/1, numbers in decimal, ":x" in hexadecimal
// with the digits of its width, ":r" as a real.
std::string readAddress(const PlcMemory& mem, const PlcAddress& a);

// Writes a value given as text (decimal, signed decimal, 16#hex or 0xhex, a real for ":r";
// bits take 0/1). Returns false when the text is not a value that fits the address.
bool writeAddress(PlcMemory& mem, const PlcAddress& a, std::string_view value);

}  // namespace korvane
