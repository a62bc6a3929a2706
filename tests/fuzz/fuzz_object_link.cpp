// The object link's message stream from arbitrary bytes: the input is cut into arrivals
// (each piece starts with a byte: its low six bits the length, bit 6 a rack change before
// it, bit 7 the peer reconnecting before it). Whatever arrives, the link must only ever send
// whole answers (76-byte data answers or the policy answer), keep its counts within the
// tables, hold a bounded number of unfinished bytes, and write only assigned inputs with
// analog words from 6400 to 32000.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "objectlink/object_link.h"
#include "platform/fake_object_server.h"

namespace {

using namespace korvane;

bool wholeAnswers(const Bytes& out) {
    static const Bytes policy = ObjectLink::policyAnswer();
    std::size_t at = 0;
    while (at < out.size()) {
        if (out.size() - at >= ObjectLink::kDataBytes && out[at] == 1 && out[at + 1] == 1 && out[at + 2] == 1 &&
            out[at + 3] == 3) {
            at += ObjectLink::kDataBytes;
        } else if (out.size() - at >= policy.size() && std::equal(policy.begin(), policy.end(), out.begin() + static_cast<std::ptrdiff_t>(at))) {
            at += policy.size();
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Log log;
    static PlcMemory mem;
    mem = PlcMemory();
    HardwareConfig rack;
    FakeObjectServer server;
    ObjectLink link(server, mem, rack, log, nullptr);
    link.start();
    server.peerConnects();
    std::size_t i = 0;
    int rackStep = 0;
    while (i < size) {
        const std::uint8_t ctl = data[i];
        const std::size_t n = std::min<std::size_t>(ctl & 0x3F, size - i - 1);
        if (ctl & 0x40) {
            // CPU 224 with an EM235 in M1, or the default rack.
            const int cpu = (rackStep++ % 2) ? 8 : 4;
            rack.chooseCpu(cpu);
            rack.chooseModule(0, cpu == 4 ? 22 : 0);
        }
        if (ctl & 0x80) {
            server.peerCloses();
            server.peerConnects();
        }
        server.peerSends(std::span<const std::uint8_t>(data + i + 1, n));
        if (link.bufferedBytes() > ObjectLink::kPolicyRequestLimit + ObjectLink::kDescriptionBytes + 8 * 160 + 64)
            __builtin_trap();
        link.inputTransfer();
        link.outputTransfer();
        i += n + 1;
    }
    if (!wholeAnswers(server.sent())) __builtin_trap();
    if (link.count(PointKind::DI) > 64 || link.count(PointKind::DO) > 64 || link.count(PointKind::AI) > 16 ||
        link.count(PointKind::AO) > 16)
        __builtin_trap();
    for (int k = 0; k < 16; ++k) {
        const double w = mem.GetWordValue(area::AIW + 16 * k);
        if (w != 0 && (w < 6400 || w > 32000)) __builtin_trap();
    }
    for (int c = area::Q; c < area::CellCount; ++c)
        if (c < area::AIW || c >= area::AQW)
            if (mem.cells()[c] != 0) __builtin_trap();
    // The whole input as one arrival, too.
    server.peerCloses();
    server.peerConnects();
    server.take();
    server.peerSends(std::span<const std::uint8_t>(data, size));
    if (!wholeAnswers(server.sent())) __builtin_trap();
    return 0;
}
