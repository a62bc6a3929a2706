#pragma once
// The CRC-16 of Modbus RTU (initial value all ones, the table-driven form). On the wire the
// low byte goes first, the high byte second. Run over a whole frame including its two CRC
// bytes, a correct frame gives 0 in both bytes.
#include <cstdint>
#include <span>

#include "platform/serial_channel.h"

namespace korvane {

struct ModbusCrc {
    std::uint8_t lo;  // sent first
    std::uint8_t hi;  // sent second
};

// The two table lookups of the table-driven CRC.
std::uint8_t GetCRCHi(std::uint8_t index);
std::uint8_t GetCRCLo(std::uint8_t index);

ModbusCrc modbusCrc(std::span<const std::uint8_t> bytes);
// True when the frame's last two bytes are its correct CRC.
bool modbusCrcOk(std::span<const std::uint8_t> frame);
// Appends the CRC, low byte first.
void appendModbusCrc(Bytes& frame);

}  // namespace korvane
