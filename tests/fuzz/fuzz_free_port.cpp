// Free port against arbitrary incoming bytes: RCV arms the receiver with SMB94 from the
// first input byte, the rest arrives in pieces. The count byte never exceeds SMB94, and only
// the receive buffer and SMB86 change.
#include "comm/free_port.h"
#include "master_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    if (size < 1) return 0;
    fuzz::Rig rig(MasterProtocol::FreePort);
    static PlcMemory before;
    fuzz::pattern(rig.mem);
    constexpr int kBuf = 512 + 8 * 200;
    rig.mem.tobit(data[0], freeport::SMB94, 8);
    rig.mem.setBit(freeport::SM87_7, true);
    before = rig.mem;
    rig.cpu.logicResult = kOn;
    CodeLine rcv = fuzz::line("RCV", {{kBuf, kind::Byte}, {0, 0}});
    bool armed = true;
    rig.comm.masters.exec(rig.cpu, rcv);
    int t = 0;
    rig.feed(ChannelId::FREE, data + 1, size - 1, [&] {
        // Re-arm now and then, as a program would after taking a message.
        if (++t % 7 == 0 && rig.mem.bit(freeport::SM86_7)) {
            if (rig.mem.byteAt(kBuf) > data[0]) __builtin_trap();
            rig.comm.masters.exec(rig.cpu, rcv);
            armed = true;
        }
    });
    rig.sched.advanceBy(20);
    if (armed && rig.mem.byteAt(kBuf) > data[0]) __builtin_trap();
    fuzz::checkImage(rig.mem, before, {{kBuf, kBuf + 8 * 256}, {freeport::SMB86, freeport::SMB86 + 8}});
    return 0;
}
