#include "comm/comm_ports.h"

namespace korvane {

CommPorts::CommPorts(Scheduler& scheduler, PlcMemory& mem, const Log& log, const ChannelFactory& makeChannel,
                     std::function<bool()> running)
    : channels(makeChannel),
      timers(scheduler),
      config(channels, timers, mem, log),
      modbus(channels[ChannelId::Port0], mem),
      ppi(channels[ChannelId::Port1], mem, timers[TimerId::PPISlaveSecReac], log, running),
      masters(channels, timers, MasterContext{mem, log, config, scheduler, running}),
      lineKeeper(scheduler, log) {
    for (std::size_t i = 0; i < kChannelCount; ++i) lineKeeper.keep(channels[static_cast<ChannelId>(i)]);
    timers.setHandler(TimerId::ModbusSlave, [this, &scheduler] { modbus.poll(scheduler.nowMs()); });
    timers.setHandler(TimerId::PPISlaveRec, [this, &scheduler] { ppi.poll(scheduler.nowMs()); });
    timers.setHandler(TimerId::PPISlaveSecReac, [this] { ppi.replyWindowElapsed(); });
    // The slave protocols' line polls change nothing while no byte waits and no request is
    // begun; the free port's and the USS master's while their protocol is not the master
    // port's; the PPI master's while its line is closed and nothing is queued.
    timers[TimerId::ModbusSlave].setQuietWhen([this] {
        const SerialChannel& ch = channels[ChannelId::Port0];
        return !ch.isOpen() || (modbus.pendingBytes() == 0 && ch.bytesWaiting() == 0);
    });
    timers[TimerId::PPISlaveRec].setQuietWhen([this] {
        const SerialChannel& ch = channels[ChannelId::Port1];
        return !ch.isOpen() ||
               (ppi.pendingBytes() == 0 && ppi.state() == PpiSlave::State::Idle && ch.bytesWaiting() == 0);
    });
    timers[TimerId::FreeCom].setQuietWhen([this] {
        return !config.master().communication || config.master().protocol != MasterProtocol::FreePort;
    });
    timers[TimerId::USSSend].setQuietWhen([this] {
        return config.master().protocol != MasterProtocol::USS && !channels[ChannelId::USS].isOpen();
    });
    timers[TimerId::PPI].setQuietWhen([this] { return !channels[ChannelId::PPI].isOpen() && masters.ppi.queued() == 0; });
    config.attach(&modbus, &ppi);
    config.onMasterAddress = [this](int a) { masters.ppi.setAddress(a); };
    config.onMasterClosed = [this] { masters.portClosed(); };
    config.load();
}

}  // namespace korvane
