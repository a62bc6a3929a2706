#pragma once
// The serial side of the simulated CPU as one part: the six channels, the protocol timers,
// the port configuration and the two slave protocols of the slave port, wired together.
// The front end supplies the channels (real ports or fakes) and the run state.
#include <functional>

#include "comm/master_ports.h"
#include "comm/modbus_slave.h"
#include "comm/port_config.h"
#include "comm/ppi_slave.h"

namespace korvane {

class CommPorts {
public:
    // Builds the channels with their start-up settings, creates the timers, and applies the
    // port settings' defaults (the dialog's first showing) so that the slave port can be
    // opened without the dialog.
    CommPorts(Scheduler& scheduler, PlcMemory& mem, const Log& log, const ChannelFactory& makeChannel,
              std::function<bool()> running);
    CommPorts(const CommPorts&) = delete;
    CommPorts& operator=(const CommPorts&) = delete;

    SerialChannels channels;
    PortTimers timers;
    PortConfig config;
    ModbusSlave modbus;
    PpiSlave ppi;
    // The master port's protocols, which serve the interpreter's port instructions and
    // library calls.
    MasterPorts masters;
    // Reopens the lines whose device went away once it is back.
    SerialLineKeeper lineKeeper;
};

}  // namespace korvane
