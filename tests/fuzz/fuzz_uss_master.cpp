// USS master against arbitrary drive answers: drives 0 and 2 are polled by a program that
// calls USS_CTRL for both every 10 ms; the fuzzer's bytes come back as answers in pieces.
// The poller never stops (after a silent line it still sends), the Error bytes are 0 or 1,
// and only the USS_CTRL outputs change.
#include "master_fuzz.h"

namespace {

using namespace korvane;

void ctrlLine(CodeLine& l, int drive, int m, int v) {
    l.setMnemonic("CALL");
    const double ops[17] = {library::USS_CTRL, 256.0 + 8 * m, 256.0 + 8 * m + 1, 256.0 + 8 * m + 2,
                            256.0 + 8 * m + 3, 256.0 + 8 * m + 4, static_cast<double>(drive), 1,
                            512.0 + 8 * v, 256.0 + 8 * (m + 1), 256.0 + 8 * (m + 2), 512.0 + 8 * (v + 4),
                            512.0 + 8 * (v + 8), 256.0 + 8 * (m + 1) + 1, 256.0 + 8 * (m + 1) + 2,
                            256.0 + 8 * (m + 1) + 3, 256.0 + 8 * (m + 1) + 4};
    const int kinds[17] = {0, 0, 0, 0, 0, 0, 0, 0, kind::DWord, 0, kind::Byte, kind::Word, kind::DWord, 0, 0, 0, 0};
    for (int k = 0; k < 17; ++k) l.setOperand(k, ops[k], kinds[k]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Rig rig(MasterProtocol::USS);
    static PlcMemory before;
    fuzz::pattern(rig.mem);
    rig.prog.resetCodeTable(5);
    rig.prog.CodeTable[0].setMnemonic("ORGANIZATION_BLOCK");
    rig.prog.CodeTable[1].setMnemonic("Network");
    ctrlLine(rig.prog.CodeTable[2], 0, 1, 100);
    ctrlLine(rig.prog.CodeTable[3], 2, 4, 120);
    rig.prog.CodeTable[4].setMnemonic("END_ORGANIZATION_BLOCK");
    rig.prog.CodeTable[4].setOperand(0, 4);
    before = rig.mem;
    rig.cpu.logicResult = kOn;
    CodeLine init = fuzz::line("CALL", {{library::USS_INIT, 0}, {1, 0}, {19200, 0}, {5, 0}});
    rig.comm.masters.call(rig.cpu, init, library::USS_INIT);
    int t = 0;
    auto each = [&] {
        if (++t % 10 == 0) rig.cpu.RunExec(0);
    };
    rig.feed(ChannelId::USS, data, size, each);
    for (int k = 0; k < 200; ++k) {
        rig.sched.advanceBy(1);
        each();
    }
    rig.peer(ChannelId::USS).take();
    for (int k = 0; k < 100; ++k) {
        rig.sched.advanceBy(1);
        each();
    }
    if (rig.peer(ChannelId::USS).bytesWaiting() == 0) __builtin_trap();  // the poller goes on
    for (int m : {1, 4}) {
        const int key = 256 + 8 * (m + 2);  // the drive's Error byte: 0, 1 or untouched
        const int e = rig.mem.byteAt(key);
        if (e > 1 && e != before.byteAt(key)) __builtin_trap();
    }
    fuzz::checkImage(rig.mem, before,
                     {{256 + 8 * 2, 256 + 8 * 4}, {256 + 8 * 5, 256 + 8 * 7}, {512 + 8 * 104, 512 + 8 * 112},
                      {512 + 8 * 124, 512 + 8 * 132}, {area::SM, area::SM + 16}, {area::FirstScanDone, area::FirstScanDone + 1}});
    return 0;
}
