#pragma once
// Shared by the master-port fuzz targets: a CPU with its serial side on fake lines, the far
// end of every channel kept for the fuzzer's bytes, and a check that the image holds only
// 0 / -1 cells and changed nowhere but where the protocol may write.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

#include "comm/comm_ports.h"
#include "core/interpreter.h"
#include "platform/fake_serial.h"

namespace korvane::fuzz {

struct Rig {
    VirtualScheduler sched;
    Log log;
    PlcMemory mem;
    Program prog;
    Interpreter cpu{mem, prog, log};
    bool running = true;
    std::array<std::unique_ptr<FakeSerialPort>, kChannelCount> peers;
    CommPorts comm{sched, mem, log,
                   [this](ChannelId id) {
                       auto ends = makeFakeSerialPair(sched);
                       peers[static_cast<std::size_t>(id)] = std::move(ends.second);
                       return std::unique_ptr<SerialChannel>(std::move(ends.first));
                   },
                   [this] { return running; }};

    explicit Rig(MasterProtocol p) {
        cpu.ports = &comm.masters;
        cpu.libraries = &comm.masters;
        comm.masters.uss.bind(&cpu);
        comm.config.selectMasterProtocol(p);
        comm.config.setMasterCommunication(true);
        for (auto& e : peers) e->open();
        comm.masters.resetMasters(true);
    }
    FakeSerialPort& peer(ChannelId id) { return *peers[static_cast<std::size_t>(id)]; }

    // The input as the far end's bytes: each piece starts with a byte whose low 7 bits give
    // its length and whose high bit a long pause (10 ms instead of 1 ms) after it.
    template <typename Each>
    void feed(ChannelId id, const std::uint8_t* data, std::size_t size, Each each) {
        std::size_t i = 0;
        while (i < size) {
            const std::size_t n = std::min<std::size_t>(data[i] & 0x7F, size - i - 1);
            peer(id).write(std::span<const std::uint8_t>(data + i + 1, n));
            const int pause = data[i] & 0x80 ? 10 : 1;
            for (int t = 0; t < pause; ++t) {
                sched.advanceBy(1);
                each();
            }
            i += n + 1;
        }
    }
};

inline CodeLine line(const char* mnemonic, std::initializer_list<std::pair<double, int>> ops) {
    CodeLine l;
    l.setMnemonic(mnemonic);
    int k = 0;
    for (auto [num, kind] : ops) l.setOperand(k++, num, kind);
    return l;
}

// Traps unless every cell is 0 or -1 and every cell outside [from, to) is as in before.
inline void checkImage(const PlcMemory& mem, const PlcMemory& before, std::initializer_list<std::pair<int, int>> allowed) {
    for (int k = 0; k < area::CellCount; ++k) {
        const std::int16_t c = mem.cells()[k];
        if (c != 0 && c != kOn) __builtin_trap();
        bool free = false;
        for (auto [from, to] : allowed) free = free || (k >= from && k < to);
        if (!free && c != before.cells()[k]) __builtin_trap();
    }
}

inline void pattern(PlcMemory& mem) {
    for (int k = 0; k < area::CellCount; k += 7) mem.setCell(k, kOn);
}

}  // namespace korvane::fuzz
