#include "comm/modbus_slave.h"

#include <algorithm>

#include "comm/modbus_crc.h"

namespace korvane {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

int word(std::span<const std::uint8_t> b, std::size_t i) { return (b[i] << 8) | b[i + 1]; }

}  // namespace

ModbusScan scanModbusRequest(std::span<const std::uint8_t> bytes, std::size_t i, std::uint8_t address) {
    using K = ModbusScan::Kind;
    const std::size_t remaining = bytes.size() - i;
    if (bytes[i] != address) return {K::Skip};
    if (remaining < 2) return {K::NeedMore};
    const std::uint8_t fc = bytes[i + 1];
    switch (fc) {
    case 1: case 2: case 3: case 4: case 5: case 6:
        if (remaining < 8) return {K::NeedMore};
        return {K::Frame, 8, 1};
    case 15: case 16: {
        if (remaining < 7) return {K::NeedMore};
        const int quantity = word(bytes, i + 4);
        const int byteCount = bytes[i + 6];
        const int expected = fc == 15 ? (quantity + 7) / 8 : 2 * quantity;
        if (byteCount == 0 || quantity < 1 || byteCount != expected) return {K::Skip};
        const std::size_t length = static_cast<std::size_t>(byteCount) + 9;
        if (remaining < length) return {K::NeedMore};
        return {K::Frame, length, length};
    }
    default:
        return {K::Skip};
    }
}

ModbusSlave::ModbusSlave(SerialChannel& channel, PlcMemory& mem) : channel_(channel), image_(mem) {
    rx_.reserve(kMaxPending);
    pending_.reserve(kMaxPending);
    response_.reserve(260);
}

void ModbusSlave::poll(std::int64_t nowMs) {
    if (!channel_.isOpen()) {
        pending_.clear();
        return;
    }
    if (channel_.bytesWaiting() == 0) {
        // A request that stays incomplete once the line has been silent for 3.5 character
        // times never completes: the master has given up on it.
        if (!pending_.empty() &&
            static_cast<double>(nowMs - lastArrivalMs_) * 1000.0 >= channel_.lineSettings().silentIntervalMicros())
            pending_.clear();
        return;
    }
    rx_.clear();
    channel_.readAll(rx_);
    feed(rx_, nowMs);
}

void ModbusSlave::feed(std::span<const std::uint8_t> bytes, std::int64_t nowMs) {
    if (bytes.empty()) return;
    lastArrivalMs_ = nowMs;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    scanPending();
}

void ModbusSlave::scanPending() {
    using K = ModbusScan::Kind;
    const std::span<const std::uint8_t> buf(pending_);
    std::size_t keepFrom = kNone;
    std::size_t i = 0;
    while (i < buf.size()) {
        const ModbusScan s = scanModbusRequest(buf, i, address_);
        if (s.kind == K::Skip) {
            ++i;
        } else if (s.kind == K::NeedMore) {
            if (keepFrom == kNone) keepFrom = i;
            ++i;
        } else {
            const auto frame = buf.subspan(i, s.length);
            if (modbusCrcOk(frame)) {
                ModbusSlaveCom(frame);
                i += s.length;
                keepFrom = kNone;  // a candidate overlapping a served request is abandoned
            } else {
                i += s.advanceOnBadCrc;
            }
        }
    }
    if (keepFrom == kNone) {
        pending_.clear();
    } else {
        if (pending_.size() - keepFrom > kMaxPending) keepFrom = pending_.size() - kMaxPending;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(keepFrom));
    }
}

int ModbusSlave::ModbusSlaveCom(std::span<const std::uint8_t> inb) {
    try {
        return serve(inb);
    } catch (const PlcFault&) {
        return 0;  // the tick ends; the next one starts afresh
    }
}

int ModbusSlave::serve(std::span<const std::uint8_t> inb) {
    if (inb.size() < 8 || !modbusCrcOk(inb)) return 0;
    const int start = word(inb, 2);
    const int n = word(inb, 4);
    response_.clear();
    response_.push_back(inb[0]);
    response_.push_back(inb[1]);
    switch (inb[1]) {
    case 1:
    case 2:
        if (n > 2040) return 0;  // the byte count would not fit its byte
        readBits(inb, inb[1] == 1 ? area::Q : area::I);
        break;
    case 3:
    case 4:
        if (n > 127) return 0;
        readRegisters(inb, inb[1] == 3 ? area::V : area::AIW, inb[1] == 3 ? kHoldingRegisters : kInputRegisters);
        break;
    case 5:
        if (start < kCoils) {
            if (n == 0xFF00) image_.setBit(area::Q + start, true);
            else if (n == 0x0000) image_.setBit(area::Q + start, false);
        }
        echoRequest(inb);
        send();
        return 1;
    case 6:
        echoRequest(inb);
        send();
        if (start < kHoldingRegisters) {
            image_.setByte(area::V + 16 * start, inb[4]);
            image_.setByte(area::V + 16 * start + 8, inb[5]);
        }
        return 1;
    case 15: {
        const int byteCount = inb[6];
        if ((n + 7) / 8 != byteCount || inb.size() < static_cast<std::size_t>(byteCount) + 9) return 0;
        const int bits = start >= kCoils ? 0 : std::min(n, kCoils - start);
        for (int m = 0; m < bits; ++m) image_.setBit(area::Q + start + m, (inb[7 + m / 8] >> (m % 8)) & 1);
        response_.assign(inb.begin(), inb.begin() + 6);
        appendModbusCrc(response_);
        break;
    }
    case 16: {
        const int byteCount = inb[6];
        if (2 * n != byteCount || inb.size() < static_cast<std::size_t>(byteCount) + 9) return 0;
        const int regs = start >= kHoldingRegisters ? 0 : std::min(n, kHoldingRegisters - start);
        for (int k = 0; k < regs; ++k) {
            image_.setByte(area::V + 16 * (start + k), inb[7 + 2 * k]);
            image_.setByte(area::V + 16 * (start + k) + 8, inb[8 + 2 * k]);
        }
        response_.assign(inb.begin(), inb.begin() + 6);
        appendModbusCrc(response_);
        break;
    }
    default:
        return 0;  // no exception responses
    }
    send();
    return 1;
}

void ModbusSlave::readBits(std::span<const std::uint8_t> inb, int base) {
    const int start = word(inb, 2);
    const int n = word(inb, 4);
    const int byteCount = (n + 7) / 8;
    response_.push_back(static_cast<std::uint8_t>(byteCount));
    for (int k = 0; k < byteCount; ++k) {
        const int first = start + 8 * k;
        unsigned byte = 0;
        if (first < kCoils) {
            const int count = std::min({8, n - 8 * k, kCoils - first});
            for (int j = 0; j < count; ++j)
                if (image_.bit(base + first + j)) byte |= 1u << j;
        }
        response_.push_back(static_cast<std::uint8_t>(byte));
    }
    appendModbusCrc(response_);
}

void ModbusSlave::readRegisters(std::span<const std::uint8_t> inb, int base, int served) {
    const int start = word(inb, 2);
    const int n = word(inb, 4);
    response_.push_back(static_cast<std::uint8_t>(2 * n));
    for (int k = 0; k < n; ++k) {
        const int reg = start + k;
        if (reg < served) {
            response_.push_back(image_.byteAt(base + 16 * reg));
            response_.push_back(image_.byteAt(base + 16 * reg + 8));
        } else {
            response_.push_back(0);
            response_.push_back(0);
        }
    }
    appendModbusCrc(response_);
}

// The echo of a single write: the six request fields with their CRC computed afresh, so that
// a longer frame whose CRC covers it all is never answered with bytes that fail the check.
void ModbusSlave::echoRequest(std::span<const std::uint8_t> inb) {
    response_.assign(inb.begin(), inb.begin() + 6);
    appendModbusCrc(response_);
}

void ModbusSlave::send() {
    channel_.write(response_);
    ++served_;
}

}  // namespace korvane
