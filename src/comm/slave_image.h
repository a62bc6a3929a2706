#pragma once
// What the slave protocols reach of the memory image: single bits and bytes by key (the bit
// index of the bit or of the byte's first bit; bit 0 of a byte is its lowest cell). Keys
// outside the image fault.
#include <cstdint>

#include "core/plc_memory.h"

namespace korvane {

class SlaveImage {
public:
    explicit SlaveImage(PlcMemory& mem) : cells_(mem.cells()) {}

    bool bit(int key) const { return cells_[checked(key, 1)] != 0; }
    void setBit(int key, bool on) { cells_[checked(key, 1)] = on ? kOn : kOff; }
    std::uint8_t byteAt(int key) const {
        const std::int16_t* c = cells_ + checked(key, 8);
        unsigned v = 0;
        for (int j = 0; j < 8; ++j) v |= (c[j] != 0 ? 1u : 0u) << j;
        return static_cast<std::uint8_t>(v);
    }
    void setByte(int key, std::uint8_t v) {
        std::int16_t* c = cells_ + checked(key, 8);
        for (int j = 0; j < 8; ++j) c[j] = (v >> j) & 1 ? kOn : kOff;
    }

private:
    static int checked(int key, int width) {
        if (key < 0 || key > area::CellCount - width) fault(FaultCode::AccessOutOfImage);
        return key;
    }
    std::int16_t* cells_;
};

}  // namespace korvane
