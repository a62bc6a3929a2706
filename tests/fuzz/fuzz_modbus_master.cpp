// Modbus RTU master against arbitrary slave responses: the first input bytes choose the
// request (read or write, which table, how many), the rest comes back as the slave's bytes
// in pieces. Every request ends (Done on, the master free again) by a response or by the
// timeout, and only the data area, Done and Error change.
#include "master_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    if (size < 2) return 0;
    fuzz::Rig rig(MasterProtocol::ModbusRtu);
    static PlcMemory before;
    fuzz::pattern(rig.mem);
    constexpr int kMode = 256 + 16, kFirst = 256 + 32, kDone = 256 + 33, kError = 256 + 40;
    rig.mem.setBit(kMode, true);
    rig.mem.setBit(kFirst, true);
    rig.mem.setBit(kDone, false);
    constexpr long kAddrs[4] = {1, 10001, 30001, 40001};
    const bool write = data[0] & 0x80;
    const long addr = kAddrs[(data[0] >> 5) & 3] + (data[0] & 0x1F);
    const int count = 1 + data[1] % 40;
    before = rig.mem;
    rig.cpu.logicResult = kOn;
    CodeLine ctrl = fuzz::line("CALL", {{library::MBUS_CTRL, 0}, {kMode, 0}, {9600, 0}, {0, 0}, {50, 0},
                                        {256 + 17, 0}, {256 + 24, kind::Byte}});
    rig.comm.masters.call(rig.cpu, ctrl, library::MBUS_CTRL);
    CodeLine msg = fuzz::line("CALL", {{library::MBUS_MSG, 0}, {kFirst, 0}, {1, 0}, {write ? 1.0 : 0.0, 0},
                                       {static_cast<double>(addr), 0}, {static_cast<double>(count), 0},
                                       {64 + 100, 0}, {kDone, 0}, {kError, kind::Byte}});
    rig.comm.masters.call(rig.cpu, msg, library::MBUS_MSG);
    const bool sent = rig.comm.masters.modbus.busy();
    rig.feed(ChannelId::MODBUS, data + 2, size - 2, [] {});
    rig.sched.advanceBy(60);
    if (rig.comm.masters.modbus.busy()) __builtin_trap();
    if (sent) {
        if (!rig.mem.bit(kDone)) __builtin_trap();
        const int e = rig.mem.byteAt(kError);
        if (e != 0 && e != 1 && e != 3 && e != 7) __builtin_trap();
    }
    fuzz::checkImage(rig.mem, before,
                     {{512 + 8 * 100, 512 + 8 * 200}, {256 + 16, 256 + 32}, {kDone, kDone + 1}, {kError, kError + 8}});
    return 0;
}
