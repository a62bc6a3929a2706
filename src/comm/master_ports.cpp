#include "comm/master_ports.h"

namespace korvane {

MasterPorts::MasterPorts(SerialChannels& channels, PortTimers& timers, MasterContext ctx)
    : free(channels[ChannelId::FREE], ctx),
      ppi(channels[ChannelId::PPI], timers[TimerId::PPI], timers[TimerId::PPITimerOut], ctx),
      modbus(channels[ChannelId::MODBUS], timers[TimerId::MODBUS], ctx),
      uss(channels[ChannelId::USS], timers[TimerId::USSRec], ctx) {
    timers.setHandler(TimerId::FreeCom, [this] { free.poll(); });
    timers.setHandler(TimerId::PPI, [this] { ppi.work(); });
    timers.setHandler(TimerId::PPITimerOut, [this] { ppi.timedOut(); });
    timers.setHandler(TimerId::MODBUS, [this] { modbus.timedOut(); });
    timers.setHandler(TimerId::USSSend, [this] { uss.poll(); });
    timers.setHandler(TimerId::USSRec, [this] { uss.timedOut(); });
}

void MasterPorts::exec(Interpreter& cpu, CodeLine& line) {
    const bool power = cpu.logicResult == kOn;
    LineRunStatus& status = cpu.status();
    switch (line.op) {
    case Op::NETR: ppi.NETR(line, status, power); break;
    case Op::NETW: ppi.NETW(line, status, power); break;
    case Op::XMT: free.XMT(line, status, power); break;
    case Op::RCV: free.RCV(line, status, power); break;
    default: break;
    }
}

void MasterPorts::call(Interpreter& cpu, CodeLine& line, int code) {
    const bool power = cpu.logicResult == kOn;
    uss.bind(&cpu);
    switch (code) {
    case library::MBUS_CTRL:
        if (power) modbus.MBUS_CTRL(line);
        break;
    case library::MBUS_MSG:
        if (power) modbus.MBUS_MSG(line);
        break;
    case library::USS_INIT:
        if (power) uss.USS_INIT(line);
        break;
    case library::USS_CTRL: uss.USS_CTRL(line, cpu.iPC, power); break;
    default: break;  // MBUS_INIT and MBUS_SLAVE: the slave library is not served here
    }
}

void MasterPorts::resetMasters(bool enteringRun) {
    uss.reset();
    free.reset();
    ppi.reset(enteringRun);
    if (!enteringRun) modbus.reset();
}

void MasterPorts::portClosed() {
    uss.portClosed();
    free.reset();
}

}  // namespace korvane
