#include "core/plc_memory.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace korvane {

std::uint8_t PlcMemory::byteAt(int bit) const {
    if (bit < 0 || bit + 7 > area::LastCell) fault(FaultCode::AccessOutOfImage);
    const std::int16_t* c = cells_.data() + bit;
    unsigned v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<unsigned>(c[i] != 0) << i;
    return static_cast<std::uint8_t>(v);
}

std::uint32_t PlcMemory::dwordPattern(int bit) const {
    return (static_cast<std::uint32_t>(byteAt(bit)) << 24) | (static_cast<std::uint32_t>(byteAt(bit + 8)) << 16) |
           (static_cast<std::uint32_t>(byteAt(bit + 16)) << 8) | byteAt(bit + 24);
}

double PlcMemory::GetSByteValue(int bit) const {
    int b = byteAt(bit);
    return b >= 128 ? b - 256 : b;
}

double PlcMemory::GetWordValue(int bit) const { return byteAt(bit) * 256.0 + byteAt(bit + 8); }

double PlcMemory::GetIntValue(int bit) const {
    double w = GetWordValue(bit);
    return w >= 32768.0 ? w - 65536.0 : w;
}

double PlcMemory::GetDWordValue(int bit) const { return dwordPattern(bit); }

double PlcMemory::GetDIntValue(int bit) const {
    return static_cast<double>(static_cast<std::int32_t>(dwordPattern(bit)));
}

double PlcMemory::GetRealValue(int bit) const {
    return static_cast<double>(std::bit_cast<float>(dwordPattern(bit)));
}

// Cells bit..bit+7 receive the low 8 bits of v (two's complement), least significant first.
// Cells are written one by one so that a write running off the image keeps what it wrote.
void PlcMemory::writeByteLow8(int bit, long v) {
    for (int i = 0; i < 8; ++i) {
        setCell(bit + i, (v & 1) ? kOn : kOff);
        v >>= 1;  // floor halving
    }
}

// Width 16: v rounded to 32 bits; h := floor(v / 256) must fit 16 bits; the high byte gets
// the low 8 bits of h, the low byte those of v - 256 * trunc(v / 256).
void PlcMemory::writeWord16(double value, int bit) {
    long v = toInt32(value);
    double h = std::floor(static_cast<double>(v) / 256.0);
    if (!(h >= -32768.0 && h <= 32767.0)) fault(FaultCode::Overflow);
    long l = v - 256 * (v / 256);  // C++ division truncates
    writeByteLow8(bit, static_cast<long>(h));
    writeByteLow8(bit + 8, l);
}

void PlcMemory::writeValue(double value, int bit, int width) {
    switch (width) {
    case 1:
        setCell(bit, value > 0 ? kOn : kOff);
        break;
    case 8:
        writeByteLow8(bit, toInt16(value));
        break;
    case 16:
        writeWord16(value, bit);
        break;
    case 32: {
        // The value is rounded before it is split: splitting a fraction first would carry
        // the rounded-up low word into nothing (-0.5 would store 0xFFFF0000).
        const double v = roundEven(value);
        double hw = std::floor(v / 65536.0);
        if (!(hw >= -2147483648.0 && hw <= 2147483647.0)) fault(FaultCode::Overflow);
        double lw = v - hw * 65536.0;
        writeWord16(hw, bit);
        writeWord16(lw, bit + 16);
        break;
    }
    default:
        break;
    }
}

void PlcMemory::writeValue2(double value, int bit, int width) {
    if (width == 16 && bit >= area::T && bit < area::C) {
        timers_[bit - area::T].Current = toInt32(value);
        return;
    }
    if (width == 16 && bit >= area::C && bit < area::FirstScanDone) {
        counters_[bit - area::C].Current = toInt32(value);
        return;
    }
    if (width == 40) {
        std::uint32_t p = std::bit_cast<std::uint32_t>(toSingle(value));
        for (int k = 0; k < 4; ++k) writeByteLow8(bit + 8 * k, static_cast<long>((p >> (24 - 8 * k)) & 0xFF));
        return;
    }
    writeValue(value, bit, width);
}

bool PlcMemory::tobit(double value, int bit, int width) {
    try {
        writeValue(value, bit, width);
        return true;
    } catch (const PlcFault&) {
        if (log_) log_->stamped(" tobit错误");
        return false;
    }
}

bool PlcMemory::tobit2(double value, int bit, int width) {
    try {
        writeValue2(value, bit, width);
        return true;
    } catch (const PlcFault&) {
        if (log_) log_->stamped(" tobit2错误");
        return false;
    }
}

void PlcMemory::SetRealValue(int bit, double value) {
    std::uint32_t p = std::bit_cast<std::uint32_t>(toSingle(value));
    for (int k = 0; k < 4; ++k) tobit(static_cast<double>((p >> (24 - 8 * k)) & 0xFF), bit + 8 * k, 8);
}

double PlcMemory::ToUnsignedPattern(double value, int width) {
    switch (width) {
    case 8:
        if (value < -128 || value > 127) return -1;
        return value < 0 ? 256 + value : value;
    case 16:
        if (value < -32768 || value > 32767) return -1;
        return value < 0 ? 65536 + value : value;
    case 32:
        if (value < -2147483648.0 || value > 2147483647.0) return -1;
        return value < 0 ? 4294967296.0 + value : value;
    default:
        return value;
    }
}

void PlcMemory::ClearImage() { std::memset(cells_.data(), 0, sizeof(std::int16_t) * 19001); }

void PlcMemory::clearForRun() {
    cells_.fill(0);
    for (auto* table : {&timers_, &counters_})
        for (auto& r : *table) {
            r.Flag = 0;
            r.LastInput = 0;
            r.Preset = 0;
            r.Current = 0;
        }
}

}  // namespace korvane
