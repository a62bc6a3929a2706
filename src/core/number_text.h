#pragma once
// The text of a number under a format byte, as ITA, DTA and RTA write it into a byte array and
// ITS, DTS and RTS into a string.
//
// FMT of an integer: bits 7-4 zero, bit 3 the separator (1 comma, 0 point), bits 2-0 the
// digits after it (0 to 5). FMT of a real: bits 7-4 the width (3 to 15), bit 3 and bits 2-0
// as for an integer. The text is right-justified in its width, blanks on the left: the digits
// of the magnitude with at least one before the separator, a '-' in front of a negative
// value. A real is rounded to its digits, halves away from zero; one that rounds to zero has
// no sign.
#include <array>
#include <cstdint>

namespace korvane {

struct NumberText {
    enum class Outcome : std::uint8_t {
        Text,     // the text, width characters
        Spaces,   // a format the width cannot hold: width blanks, and ENO off
        Nothing,  // an illegal format: nothing is written, and ENO off
    };
    Outcome outcome = Outcome::Nothing;
    int width = 0;                 // the characters written: 8 for INT, 12 for DINT, FMT's for REAL
    std::array<char, 15> chars{};  // the first width are the text (or blanks)
};

// An INT (width 8) or DINT (width 12).
NumberText integerText(std::int32_t value, int width, unsigned fmt);
NumberText realText(float value, unsigned fmt);

}  // namespace korvane
