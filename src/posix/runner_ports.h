#pragma once
// The headless runner's serial ports: the --slave-port and --master-port options, the
// channels on POSIX terminal devices with the runner's own COM-number mapping, opening the
// ports through the port configuration as the dialog's check boxes do, and the poll that
// moves bytes and raises the channels' events between scheduler firings.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comm/comm_ports.h"
#include "posix/posix_serial.h"
#include "posix/descriptor_wait.h"

namespace korvane {

// PROTOCOL,DEVICE[,ADDRESS[,BAUD]] of one port.
struct PortOption {
    enum class Role : std::uint8_t { Slave, Master };
    Role role = Role::Slave;
    SlaveProtocol slaveProtocol = SlaveProtocol::ModbusRtu;
    MasterProtocol masterProtocol = MasterProtocol::PPI;
    std::string device;  // a device path; empty when a COM number was given
    int com = 0;         // COMn as given; for a device path the number it is mapped onto
    int address = 2;     // the station address (the slave's own, or the PPI master's own)
    int baud = 9600;

    static constexpr int kDefaultSlaveAddress = 2;
    static constexpr int kDefaultMasterAddress = 1;
    static constexpr int kDefaultBaud = 9600;

    const char* optionName() const { return role == Role::Slave ? "--slave-port" : "--master-port"; }
    // The channel the port's protocol talks through.
    ChannelId channel() const;
};

// Parses one option value; nullopt with error set when it is refused. PROTOCOL is modbus or
// ppi for the slave port, ppi, modbus, free or uss for the master port (either case);
// DEVICE a path or COM1 to COM32; ADDRESS 1 to 247; BAUD a rate the terminal layer can set.
std::optional<PortOption> parsePortOption(PortOption::Role role, std::string_view text, std::string& error);

class RunnerPorts {
public:
    // Gives the ports named by a device path a COM number of their own (the slave port
    // prefers 2, the master port 1, as the dialog's lists start); false with error set when
    // both ports name the same device.
    bool assign(std::optional<PortOption> slave, std::optional<PortOption> master, std::string& error);
    bool any() const { return slave_.has_value() || master_.has_value(); }
    const std::optional<PortOption>& slave() const { return slave_; }
    const std::optional<PortOption>& master() const { return master_; }

    // The device a COM number stands for here: a path given on the command line, else
    // KORVANE_COMn, else /dev/ttyS(n-1).
    std::string deviceFor(int com) const;

    // Channels on terminal devices with this mapping. The channels it makes are polled by
    // pollAll() for as long as the CommPorts built from them lives.
    ChannelFactory factory();

    // Opens the ports through the configuration as the dialog does: protocol, address, COM
    // number and speed are selected, then the communication check box is set. The master
    // port needs a CPU model with two ports. False with error set when a port does not open.
    bool open(CommPorts& comm, int cpuPorts, std::string& error);

    // Reads what arrived and sends what is queued on every open channel, raising their
    // events.
    void pollAll();
    // Raises the events the channels hold (bytes taken in by a protocol's own read, a queue
    // that drained) without asking the devices.
    void raisePending();
    // Puts the open lines' descriptors into a wait: what they report is handled as
    // pollAll() handles it.
    void addTo(DescriptorWait& wait);

private:
    std::optional<PortOption> slave_, master_;
    std::array<std::string, SerialChannel::kMaxPort + 1> paths_{};
    std::vector<PosixSerialPort*> channels_;
};

}  // namespace korvane
