#pragma once
// The protocols of the master port together: free port (XMT, RCV), PPI master (NETR, NETW),
// the Modbus RTU master library (MBUS_CTRL, MBUS_MSG) and the USS master library (USS_INIT,
// USS_CTRL). They serve the interpreter's port instructions and library calls; the calls of
// the Modbus slave library (MBUS_INIT, MBUS_SLAVE) do nothing.
#include "comm/free_port.h"
#include "comm/modbus_master.h"
#include "comm/ppi_master.h"
#include "comm/uss_master.h"
#include "core/interpreter.h"

namespace korvane {

class MasterPorts final : public PortInstructions, public LibraryRoutines {
public:
    // Each protocol on its own channel and timers; the timers' handlers are set here.
    MasterPorts(SerialChannels& channels, PortTimers& timers, MasterContext ctx);
    MasterPorts(const MasterPorts&) = delete;
    MasterPorts& operator=(const MasterPorts&) = delete;

    void exec(Interpreter& cpu, CodeLine& line) override;
    void call(Interpreter& cpu, CodeLine& line, int code) override;

    // The scan cycle's calls: the free-port line settings once per program scan in RUN, and
    // the resets on RUN entry and STOP entry.
    void freeportPostProcess() { free.AfterSMB30Handle(); }
    void resetMasters(bool enteringRun);
    // The master port was closed in the port settings.
    void portClosed();

    FreePort free;
    PpiMaster ppi;
    ModbusMaster modbus;
    UssMaster uss;
};

}  // namespace korvane
