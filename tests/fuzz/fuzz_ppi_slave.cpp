// PPI slave from arbitrary byte streams on a fake line: the input is cut into pieces sent
// over several polls (each piece starts with a byte giving its length and the pause after
// it). The slave must never write outside I, Q, M and V (IB0 to VB1023), and cells keep
// their 0 / -1 values.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "comm/ppi_slave.h"
#include "platform/fake_serial.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    VirtualScheduler sched;
    FakeSerialLine line(sched);
    Log log;
    static PlcMemory before;
    static PlcMemory mem;
    mem = PlcMemory();
    for (int k = 0; k < area::CellCount; k += 5) mem.setCell(k, kOn);
    before = mem;
    std::unique_ptr<Timer> window;
    PpiSlave* self = nullptr;
    window = sched.createTimer("TimerPPISlaveSecReac", 70, [&self] { self->replyWindowElapsed(); });
    PpiSlave slave(line.a(), mem, *window, log, [] { return true; });
    self = &slave;
    auto poll = sched.createTimer("TimerPPISlaveRec", 1, [&] { slave.poll(sched.nowMs()); });
    poll->setEnabled(true);
    line.a().open();
    line.b().open();
    slave.setAddress(2);
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i] & 0x7F, size - i - 1);
        line.b().write(std::span<const std::uint8_t>(data + i + 1, n));
        sched.advanceBy(data[i] & 0x80 ? 10 : 1);
        i += n + 1;
    }
    sched.advanceBy(100);
    slave.handleTelegram(std::span<const std::uint8_t>(data, size));
    for (int k = 0; k < area::CellCount; ++k) {
        const std::int16_t c = mem.cells()[k];
        if (c != 0 && c != kOn) __builtin_trap();
        if (k >= area::Edge && c != before.cells()[k]) __builtin_trap();
    }
    return 0;
}
