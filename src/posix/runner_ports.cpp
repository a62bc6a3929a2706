#include "posix/runner_ports.h"

#include <charconv>
#include <memory>

namespace korvane {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool parseInt(std::string_view s, int& out) {
    if (s.empty()) return false;
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return false;
    out = v;
    return true;
}

std::vector<std::string_view> splitCommas(std::string_view text) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t comma = text.find(',');
        fields.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

// COM1 to COM32 in either case; 0 when the text is not a COM name.
int comNumber(std::string_view device) {
    if (device.size() < 4 || lower(device.substr(0, 3)) != "com") return 0;
    int n = 0;
    return parseInt(device.substr(3), n) && n > 0 ? n : -1;
}

}  // namespace

ChannelId PortOption::channel() const {
    if (role == Role::Slave) return slaveProtocol == SlaveProtocol::PPI ? ChannelId::Port1 : ChannelId::Port0;
    switch (masterProtocol) {
    case MasterProtocol::ModbusRtu: return ChannelId::MODBUS;
    case MasterProtocol::FreePort: return ChannelId::FREE;
    case MasterProtocol::USS: return ChannelId::USS;
    case MasterProtocol::PPI: break;
    }
    return ChannelId::PPI;
}

std::optional<PortOption> parsePortOption(PortOption::Role role, std::string_view text, std::string& error) {
    PortOption o;
    o.role = role;
    o.address = role == PortOption::Role::Slave ? PortOption::kDefaultSlaveAddress : PortOption::kDefaultMasterAddress;
    const std::string name = o.optionName();
    const auto fields = splitCommas(text);
    if (fields.size() < 2 || fields.size() > 4) {
        error = name + " takes PROTOCOL,DEVICE[,ADDRESS[,BAUD]], not '" + std::string(text) + "'";
        return std::nullopt;
    }
    const std::string protocol = lower(fields[0]);
    if (role == PortOption::Role::Slave) {
        if (protocol == "modbus") o.slaveProtocol = SlaveProtocol::ModbusRtu;
        else if (protocol == "ppi") o.slaveProtocol = SlaveProtocol::PPI;
        else {
            error = name + ": the protocol is modbus or ppi, not '" + std::string(fields[0]) + "'";
            return std::nullopt;
        }
    } else {
        if (protocol == "ppi") o.masterProtocol = MasterProtocol::PPI;
        else if (protocol == "modbus") o.masterProtocol = MasterProtocol::ModbusRtu;
        else if (protocol == "free") o.masterProtocol = MasterProtocol::FreePort;
        else if (protocol == "uss") o.masterProtocol = MasterProtocol::USS;
        else {
            error = name + ": the protocol is ppi, modbus, free or uss, not '" + std::string(fields[0]) + "'";
            return std::nullopt;
        }
    }
    const std::string_view device = fields[1];
    if (device.empty()) {
        error = name + " needs a device";
        return std::nullopt;
    }
    const int com = comNumber(device);
    if (com != 0) {
        if (com < SerialChannel::kMinPort || com > SerialChannel::kMaxPort) {
            error = name + ": COM numbers run from 1 to 32, not '" + std::string(device) + "'";
            return std::nullopt;
        }
        o.com = com;
    } else {
        o.device = std::string(device);
    }
    if (fields.size() > 2 && !fields[2].empty()) {
        if (!parseInt(fields[2], o.address) || o.address < PortConfig::kMinAddress ||
            o.address > PortConfig::kMaxAddress) {
            error = name + ": the station address is 1 to 247, not '" + std::string(fields[2]) + "'";
            return std::nullopt;
        }
    }
    if (fields.size() > 3 && !fields[3].empty()) {
        if (!parseInt(fields[3], o.baud) || !isSupportedBaud(o.baud) || !PosixSerialPort::supportsBaud(o.baud)) {
            error = name + ": '" + std::string(fields[3]) + "' is not a baud rate the serial line can take";
            return std::nullopt;
        }
    }
    return o;
}

bool RunnerPorts::assign(std::optional<PortOption> slave, std::optional<PortOption> master, std::string& error) {
    slave_ = std::move(slave);
    master_ = std::move(master);
    paths_.fill({});
    if (slave_ && master_) {
        const bool sameCom = slave_->device.empty() && master_->device.empty() && slave_->com == master_->com;
        const bool samePath = !slave_->device.empty() && slave_->device == master_->device;
        if (sameCom || samePath) {
            error = "--slave-port and --master-port name the same device";
            return false;
        }
    }
    auto taken = [&](int com) {
        for (const auto* p : {&slave_, &master_})
            if (*p && (*p)->com == com) return true;
        return false;
    };
    // The ports given by path get a COM number that the other port does not use.
    for (auto* p : {&slave_, &master_}) {
        if (!*p || (*p)->device.empty()) continue;
        int com = (*p)->role == PortOption::Role::Slave ? 2 : 1;
        while (taken(com)) com = com % SerialChannel::kMaxPort + 1;
        (*p)->com = com;
        paths_[static_cast<std::size_t>(com)] = (*p)->device;
    }
    return true;
}

std::string RunnerPorts::deviceFor(int com) const {
    if (com >= SerialChannel::kMinPort && com <= SerialChannel::kMaxPort &&
        !paths_[static_cast<std::size_t>(com)].empty())
        return paths_[static_cast<std::size_t>(com)];
    return PosixSerialPort::deviceForPort(com);
}

ChannelFactory RunnerPorts::factory() {
    channels_.clear();
    return [this](ChannelId) -> std::unique_ptr<SerialChannel> {
        auto port = std::make_unique<PosixSerialPort>();
        port->setDeviceMap([this](int com) { return deviceFor(com); });
        channels_.push_back(port.get());
        return port;
    };
}

bool RunnerPorts::open(CommPorts& comm, int cpuPorts, std::string& error) {
    PortConfig& config = comm.config;
    auto failed = [&](const PortOption& o, const std::string& why) {
        error = std::string(o.optionName()) + ": " + why;
        return false;
    };
    auto openError = [&](const PortOption& o) {
        const std::string& why = config.channel(o.channel()).errorText();
        return "cannot open " + deviceFor(o.com) + (why.empty() ? std::string() : " (" + why + ")");
    };
    if (slave_) {
        const PortOption& o = *slave_;
        config.setSlaveCommunication(false);
        config.selectSlaveProtocol(o.slaveProtocol);
        config.selectSlaveAddress(o.address);
        if (!config.selectSlaveCom(o.com)) return failed(o, "COM" + std::to_string(o.com) + " is refused");
        if (!config.selectSlaveSpeed(std::to_string(o.baud)))
            return failed(o, std::to_string(o.baud) + " baud is refused");
        if (!config.setSlaveCommunication(true)) return failed(o, openError(o));
    }
    if (master_) {
        const PortOption& o = *master_;
        if (!PortConfig::masterGroupEnabled(cpuPorts))
            return failed(o, "the CPU model has one port only, and it is the slave port");
        config.setMasterCommunication(false);
        config.selectMasterProtocol(o.masterProtocol);
        config.selectMasterAddress(o.address);
        if (!config.selectMasterCom(o.com)) return failed(o, "COM" + std::to_string(o.com) + " is refused");
        // The PPI master's speed is the dialog's; the other protocols' programs set their own
        // line (MBUS_CTRL, SMB30, USS_INIT), which starts at this baud rate.
        const std::string speed = std::to_string(o.baud);
        const bool speedSet = o.masterProtocol == MasterProtocol::PPI
                                  ? config.selectMasterSpeed(speed)
                                  : config.channel(o.channel()).setSettings(speed + ",,,");
        if (!speedSet) return failed(o, speed + " baud is refused");
        if (!config.setMasterCommunication(true)) return failed(o, openError(o));
    }
    return true;
}

void RunnerPorts::pollAll() {
    for (PosixSerialPort* port : channels_) port->pollOnce();
}

void RunnerPorts::raisePending() {
    for (PosixSerialPort* port : channels_) port->handleEvents(0);
}

void RunnerPorts::addTo(DescriptorWait& wait) {
    for (PosixSerialPort* port : channels_)
        wait.add(port->descriptor(), port->waitEvents(), [port](short revents) { port->handleEvents(revents); });
}

}  // namespace korvane
