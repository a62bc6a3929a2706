#pragma once
// The Modbus RTU slave of the slave port. Coils are the outputs Q0.0 to Q15.7, discrete
// inputs I0.0 to I15.7, holding registers VW0 to VW1022, input registers AIW0 to AIW62. It
// answers on its own station address in STOP and in RUN and never sends exception
// responses: what it cannot serve it ignores or answers with zeros.
//
// Every TimerModbusSlave tick polls the channel; the frame scanner walks the received bytes
// and serves every complete request for the own address, in order. Bytes that may still
// become a request (its first bytes have arrived, the rest has not) are kept for the next
// tick, until the line has been silent for 3.5 character times.
#include <cstddef>
#include <cstdint>
#include <span>

#include "comm/slave_image.h"
#include "core/plc_memory.h"
#include "platform/serial_channel.h"

namespace korvane {

// What the scanner finds at one position of the received bytes.
struct ModbusScan {
    enum class Kind : std::uint8_t { Skip, NeedMore, Frame };
    Kind kind = Kind::Skip;
    std::size_t length = 0;  // Frame: the request's length, address through CRC
    // Frame: where scanning continues when the CRC is wrong (1 for functions 1 to 6, the
    // whole frame for 15 and 16).
    std::size_t advanceOnBadCrc = 1;
};

// The request that may start at bytes[i] for station address.
ModbusScan scanModbusRequest(std::span<const std::uint8_t> bytes, std::size_t i, std::uint8_t address);

class ModbusSlave {
public:
    static constexpr int kCoils = 128;          // coils and discrete inputs 0 to 127
    static constexpr int kHoldingRegisters = 512;
    static constexpr int kInputRegisters = 32;
    static constexpr std::size_t kMaxPending = 512;

    ModbusSlave(SerialChannel& channel, PlcMemory& mem);

    void setAddress(std::uint8_t a) { address_ = a; }
    std::uint8_t address() const { return address_; }

    // One TimerModbusSlave tick at time nowMs.
    void poll(std::int64_t nowMs);
    // Bytes received at time nowMs: scanned together with what was kept; every complete
    // request for the own address is served.
    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowMs);
    // Forgets kept bytes (the port closed or switched).
    void reset() { pending_.clear(); }
    std::size_t pendingBytes() const { return pending_.size(); }

    // Serves one request frame and writes the response to the channel. 1 when the frame was
    // taken as a request, 0 when it was refused (empty, too short, CRC wrong, byte count
    // inconsistent, a quantity that cannot be answered).
    int ModbusSlaveCom(std::span<const std::uint8_t> inb);

    std::uint64_t served() const { return served_; }

private:
    void scanPending();
    int serve(std::span<const std::uint8_t> inb);
    void readBits(std::span<const std::uint8_t> inb, int base);
    void readRegisters(std::span<const std::uint8_t> inb, int base, int served);
    void echoRequest(std::span<const std::uint8_t> inb);
    void send();

    SerialChannel& channel_;
    SlaveImage image_;
    std::uint8_t address_ = 2;
    Bytes rx_;
    Bytes pending_;
    Bytes response_;
    std::int64_t lastArrivalMs_ = 0;
    std::uint64_t served_ = 0;
};

}  // namespace korvane
