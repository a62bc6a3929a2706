#pragma once
// A CPU with the serial side on fake lines: every channel's far end is kept for the test
// (the peer), the virtual scheduler drives the protocol timers and the lines.
#include <array>
#include <memory>

#include "comm/comm_ports.h"
#include "comm_test_support.h"
#include "platform/fake_serial.h"
#include "test_support.h"

namespace korvane::testing {

inline Bytes bytes(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

struct MasterRig {
    VirtualScheduler sched;
    Cpu c;
    bool running = true;
    std::array<std::unique_ptr<FakeSerialPort>, kChannelCount> peers;
    CommPorts comm{sched, c.mem, c.log,
                   [this](ChannelId id) {
                       auto ends = makeFakeSerialPair(sched);
                       peers[static_cast<std::size_t>(id)] = std::move(ends.second);
                       return std::unique_ptr<SerialChannel>(std::move(ends.first));
                   },
                   [this] { return running; }};
    MasterPorts& m = comm.masters;

    MasterRig() {
        c.cpu.ports = &m;
        c.cpu.libraries = &m;
        m.uss.bind(&c.cpu);
    }
    FakeSerialPort& peer(ChannelId id) { return *peers[static_cast<std::size_t>(id)]; }
    FakeSerialPort& local(ChannelId id) { return static_cast<FakeSerialPort&>(comm.channels[id]); }
    // Selects the master protocol, opens the master port and the peer end.
    void open(MasterProtocol p) {
        ASSERT_TRUE(comm.config.selectMasterProtocol(p));
        ASSERT_TRUE(comm.config.setMasterCommunication(true));
        for (std::size_t i = 0; i < kChannelCount; ++i) peers[i]->open();
    }
    // RUN entry as the scan cycle makes it.
    void enterRun() {
        running = true;
        m.resetMasters(true);
    }
    void enterStop() {
        running = false;
        m.resetMasters(false);
    }
    // Executes one hand-built line with the given logic result.
    void exec(CodeLine& line, bool power) {
        c.cpu.logicResult = power ? kOn : kOff;
        if (line.op == Op::CALL) {
            const int code = static_cast<int>(line.number(0));
            if (power || code == library::USS_CTRL) m.call(c.cpu, line, code);
        } else {
            m.exec(c.cpu, line);
        }
    }
    std::uint8_t byte(int key) const { return c.mem.byteAt(key); }
    void setByte(int key, int v) { c.mem.tobit(v, key, 8); }
    bool logged(const std::string& text) const {
        for (const std::string& l : c.sink.lines)
            if (l == text) return true;
        return false;
    }
};

inline CodeLine makeLine(const char* mnemonic, std::initializer_list<Operand> ops) {
    CodeLine l;
    l.setMnemonic(mnemonic);
    int k = 0;
    for (const Operand& o : ops) l.setOperand(k++, o.number, o.kind);
    return l;
}

}  // namespace korvane::testing
