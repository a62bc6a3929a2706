// Modbus RTU slave from arbitrary byte streams: the input is cut into pieces that arrive
// over several ticks (each piece starts with a byte giving its length and the silence
// before it). The slave must never write outside the coils Q0.0 to Q15.7 and the holding
// registers VW0 to VW1022, and every response it sends must carry a correct CRC.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "comm/modbus_crc.h"
#include "comm/modbus_slave.h"

namespace {

using namespace korvane;

class RecordingChannel final : public SerialChannel {
public:
    bool open() override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    std::size_t bytesWaiting() const override { return 0; }
    std::size_t readAll(Bytes&) override { return 0; }
    void write(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() < 4 || !modbusCrcOk(bytes)) __builtin_trap();
    }
};

bool servedWrite(int cell) {
    return (cell >= area::Q && cell < area::M) || (cell >= area::V && cell < area::Edge);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RecordingChannel ch;
    static PlcMemory before;
    static PlcMemory mem;
    mem = PlcMemory();
    for (int k = 0; k < area::CellCount; k += 3) mem.setCell(k, kOn);
    before = mem;
    ModbusSlave slave(ch, mem);
    slave.setAddress(size > 0 ? data[0] : 1);
    std::int64_t now = 0;
    std::size_t i = size > 0 ? 1 : 0;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i] & 0x3F, size - i - 1);
        now += data[i] >> 6;
        slave.feed(std::span<const std::uint8_t>(data + i + 1, n), now);
        i += n + 1;
    }
    // Served directly as one frame, too.
    slave.ModbusSlaveCom(std::span<const std::uint8_t>(data, size));
    for (int k = 0; k < area::CellCount; ++k) {
        const std::int16_t c = mem.cells()[k];
        if (c != 0 && c != kOn) __builtin_trap();
        if (!servedWrite(k) && c != before.cells()[k]) __builtin_trap();
    }
    return 0;
}
