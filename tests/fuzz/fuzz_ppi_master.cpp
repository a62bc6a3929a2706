// PPI master against arbitrary station answers: three NETR/NETW requests are queued and the
// fuzzer's bytes come back as the station's replies, in pieces over several ticks. The queue
// must drain (every request done, with or without error), and only the network tables may
// change.
#include "master_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    fuzz::Rig rig(MasterProtocol::PPI);
    static PlcMemory before;
    fuzz::pattern(rig.mem);
    constexpr int kTables[3] = {512 + 8 * 200, 512 + 8 * 300, 512 + 8 * 400};
    const std::uint8_t first = size > 0 ? data[0] : 0;
    for (int i = 0; i < 3; ++i) {
        const int t = kTables[i];
        rig.mem.tobit(0, t, 8);
        rig.mem.tobit(2, t + 8, 8);
        rig.mem.tobit(i == 2 ? 16 : 164, t + 16, 32);
        rig.mem.tobit((first >> (2 * i)) & 3 ? 4 : 16, t + 48, 8);
    }
    before = rig.mem;
    rig.cpu.logicResult = kOn;
    for (int i = 0; i < 3; ++i) {
        CodeLine l = fuzz::line(first & (1 << (6 + i % 2)) ? "NETW" : "NETR", {{kTables[i], kind::Byte}, {0, 0}});
        rig.comm.masters.exec(rig.cpu, l);
    }
    if (rig.comm.masters.ppi.queued() != 3) __builtin_trap();
    rig.feed(ChannelId::PPI, data, size, [] {});
    rig.sched.advanceBy(3 * 2 * 80);
    if (rig.comm.masters.ppi.queued() != 0) __builtin_trap();
    for (int t : kTables)
        if (!rig.mem.bit(t + 7) || rig.mem.bit(t + 6)) __builtin_trap();  // done, not active
    fuzz::checkImage(rig.mem, before, {{512 + 8 * 200, 512 + 8 * 500}});
    return 0;
}
