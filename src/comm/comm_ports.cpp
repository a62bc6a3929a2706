#include "comm/comm_ports.h"

namespace korvane {

CommPorts::CommPorts(Scheduler& scheduler, PlcMemory& mem, const Log& log, const ChannelFactory& makeChannel,
                     std::function<bool()> running)
    : channels(makeChannel),
      timers(scheduler),
      config(channels, timers, mem, log),
      modbus(channels[ChannelId::Port0], mem),
      ppi(channels[ChannelId::Port1], mem, timers[TimerId::PPISlaveSecReac], log, running),
      masters(channels, timers, MasterContext{mem, log, config, scheduler, running}) {
    timers.setHandler(TimerId::ModbusSlave, [this, &scheduler] { modbus.poll(scheduler.nowMs()); });
    timers.setHandler(TimerId::PPISlaveRec, [this, &scheduler] { ppi.poll(scheduler.nowMs()); });
    timers.setHandler(TimerId::PPISlaveSecReac, [this] { ppi.replyWindowElapsed(); });
    config.attach(&modbus, &ppi);
    config.onMasterAddress = [this](int a) { masters.ppi.setAddress(a); };
    config.onMasterClosed = [this] { masters.portClosed(); };
    config.load();
}

}  // namespace korvane
