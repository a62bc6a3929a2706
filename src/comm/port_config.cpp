#include "comm/port_config.h"

#include "comm/modbus_slave.h"
#include "comm/ppi_slave.h"

namespace korvane {

namespace {

constexpr std::array<ChannelInfo, kChannelCount> kChannels = {{
    {"msComPPI", false, "9600,E,8,1"},
    {"msComMODBUS", false, "9600,N,8,1"},
    {"msComFREE", false, "9600,N,8,1"},
    {"msComUSS", false, "9600,E,8,1"},
    {"msComPort1", true, "9600,E,8,1"},
    {"msComPort0", true, "9600,E,8,1"},
}};

constexpr std::array<TimerInfo, kTimerCount> kTimers = {{
    {"TimerModbusSlave", 1, true},
    {"TimerPPISlaveRec", 1, false},
    {"TimerPPISlaveSecReac", 70, false},
    {"TimerPPI", 1, false},
    {"TimerPPITimerOut", 70, false},
    {"TimerMODBUS", 0, false},
    {"TimerFreeCom", 1, true},
    {"TimerUSSSend", 1, true},
    {"TimerUSSRec", 70, false},
}};

constexpr int kSm4_5 = area::SM + 8 * 4 + 5;
constexpr int kSm86_7 = area::SM + 8 * 86 + 7;

bool validWindow(int ms) {
    return ms >= PortConfig::kMinWindowMs && ms <= PortConfig::kMaxWindowMs && ms % 10 == 0;
}
bool validCom(int com) { return com >= SerialChannel::kMinPort && com <= SerialChannel::kMaxPort; }
bool validAddress(int a) { return a >= PortConfig::kMinAddress && a <= PortConfig::kMaxAddress; }

}  // namespace

const ChannelInfo& channelInfo(ChannelId id) { return kChannels[static_cast<std::size_t>(id)]; }
const TimerInfo& timerInfo(TimerId id) { return kTimers[static_cast<std::size_t>(id)]; }

SerialChannels::SerialChannels(const ChannelFactory& make) {
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        const auto id = static_cast<ChannelId>(i);
        channels_[i] = make(id);
        channels_[i]->setSettings(kChannels[i].initialSettings);
        channels_[i]->setBinaryInput(kChannels[i].slavePort);
    }
}

PortTimers::PortTimers(Scheduler& scheduler) {
    for (std::size_t i = 0; i < kTimerCount; ++i) {
        timers_[i] = scheduler.createTimer(kTimers[i].name, kTimers[i].periodMs, [this, i] {
            if (handlers_[i]) handlers_[i]();
        });
        timers_[i]->setEnabled(kTimers[i].initiallyEnabled);
    }
}

MasterFields masterFieldsFor(MasterProtocol p) {
    MasterFields f;
    switch (p) {
    case MasterProtocol::PPI: f.ppiSpeed = f.ppiSettings = f.ppiTimeout = true; break;
    case MasterProtocol::ModbusRtu: f.modbusTimeout = f.modbusSpeed = f.modbusSettings = true; break;
    case MasterProtocol::FreePort: f.freeSpeed = f.freeGap = f.freeSettings = true; break;
    case MasterProtocol::USS: f.ussSpeed = f.ussSettings = f.ussTimeout = true; break;
    }
    return f;
}

PortConfig::PortConfig(SerialChannels& channels, PortTimers& timers, PlcMemory& mem, const Log& log)
    : channels_(channels), timers_(timers), mem_(mem), log_(log) {
    for (ChannelId id : {ChannelId::Port1, ChannelId::Port0}) {
        channels_[id].setBinaryInput(true);
        channels_[id].setSettings("9600,E,8,1");
    }
    for (TimerId id : {TimerId::PPISlaveSecReac, TimerId::PPISlaveRec, TimerId::PPI, TimerId::PPITimerOut})
        timers_[id].setEnabled(false);
}

void PortConfig::attach(ModbusSlave* modbus, PpiSlave* ppi) {
    modbus_ = modbus;
    ppi_ = ppi;
    if (modbus_) modbus_->setAddress(slave_.modbusAddress);
    if (ppi_) ppi_->setAddress(slave_.ppiAddress);
}

void PortConfig::load() {
    if (loaded_) return;
    loaded_ = true;
    selectSlaveAddress(2);
    selectSlaveCom(2);
    selectReplyWindow(70);
    selectSlaveSpeed("9600");
    selectSlaveProtocol(SlaveProtocol::PPI);
    selectMasterProtocol(MasterProtocol::PPI);
    selectMasterAddress(1);
    selectMasterCom(1);
    selectMasterSpeed("9600");
    selectPpiTimeout(70);
    selectUssTimeout(70);
}

// --- master port -----------------------------------------------------------------------

ChannelId PortConfig::masterChannelId() const {
    switch (master_.protocol) {
    case MasterProtocol::ModbusRtu: return ChannelId::MODBUS;
    case MasterProtocol::FreePort: return ChannelId::FREE;
    case MasterProtocol::USS: return ChannelId::USS;
    case MasterProtocol::PPI: break;
    }
    return ChannelId::PPI;
}

bool PortConfig::selectMasterSpeed(const std::string& speed) {
    if (master_.communication) return false;
    if (!channels_[ChannelId::PPI].setSettings(speed + ",,,")) return false;
    master_.ppiSpeed = speed;
    return true;
}

std::string PortConfig::ppiSettingsText() const { return channels_[ChannelId::PPI].settings(); }

bool PortConfig::selectPpiTimeout(int ms) {
    if (master_.communication || !validWindow(ms)) return false;
    master_.ppiTimeoutMs = ms;
    timers_[TimerId::PPITimerOut].setInterval(ms);
    return true;
}

bool PortConfig::selectUssTimeout(int ms) {
    if (master_.communication || !validWindow(ms)) return false;
    master_.ussTimeoutMs = ms;
    timers_[TimerId::USSRec].setInterval(ms);
    return true;
}

bool PortConfig::selectMasterAddress(int a) {
    if (master_.communication || !validAddress(a)) return false;
    master_.stationAddress = a;
    if (onMasterAddress) onMasterAddress(a);
    return true;
}

bool PortConfig::selectMasterProtocol(MasterProtocol p) {
    if (master_.communication) return false;
    master_.protocol = p;
    return true;
}

bool PortConfig::selectMasterCom(int com) {
    if (master_.communication || !validCom(com)) return false;
    master_.com = com;
    return true;
}

bool PortConfig::setMasterCommunication(bool on) {
    if (!on) {
        closeMaster();
        return false;
    }
    if (master_.communication) return masterChannel().isOpen();
    master_.communication = true;
    for (ChannelId id : {ChannelId::PPI, ChannelId::MODBUS, ChannelId::FREE, ChannelId::USS}) {
        if (!channels_[id].setPortNumber(master_.com)) {
            log_.stamped(" 无效的端口编号");
            closeMaster();
            return false;
        }
    }
    SerialChannel& ch = masterChannel();
    if (!ch.isOpen() && !ch.open()) {
        log_.stamped(" 端口" + std::to_string(ch.portNumber()) + "无法打开");
        closeMaster();
        return false;
    }
    if (master_.protocol == MasterProtocol::FreePort) {
        mem_.setBit(kSm4_5, true);  // transmitter idle
        mem_.setBit(kSm86_7, true);
        ch.setSendThreshold(0);
    }
    master_.listsEnabled = false;
    return true;
}

void PortConfig::closeMaster() {
    master_.communication = false;
    if (onMasterClosed) onMasterClosed();
    for (ChannelId id : {ChannelId::PPI, ChannelId::MODBUS, ChannelId::FREE, ChannelId::USS})
        if (channels_[id].isOpen()) channels_[id].close();
    master_.listsEnabled = true;
    channels_[ChannelId::FREE].setSendThreshold(0);
}

// --- slave port ------------------------------------------------------------------------

bool PortConfig::selectSlaveProtocol(SlaveProtocol p) {
    if (slave_.communication) return false;
    slave_.protocol = p;
    if (p == SlaveProtocol::PPI) {
        slave_.ppiAddress = slave_.addressList;
        if (ppi_) ppi_->setAddress(slave_.ppiAddress);
        if (!channels_[ChannelId::Port1].setPortNumber(slave_.com)) log_.stamped(" 无效的端口编号");
        slave_.replyWindowShown = true;
        timers_[TimerId::ModbusSlave].setEnabled(false);
    } else {
        slave_.modbusAddress = static_cast<std::uint8_t>(slave_.addressList);
        if (modbus_) modbus_->setAddress(slave_.modbusAddress);
        if (!channels_[ChannelId::Port0].setPortNumber(slave_.com)) log_.stamped(" 无效的端口编号");
        timers_[TimerId::ModbusSlave].setEnabled(true);
        slave_.replyWindowShown = false;
    }
    return true;
}

bool PortConfig::selectSlaveAddress(int a) {
    if (slave_.communication || !validAddress(a)) return false;
    slave_.addressList = a;
    if (slave_.protocol == SlaveProtocol::PPI) {
        slave_.ppiAddress = a;
        if (ppi_) ppi_->setAddress(a);
    } else {
        slave_.modbusAddress = static_cast<std::uint8_t>(a);
        if (modbus_) modbus_->setAddress(slave_.modbusAddress);
    }
    return true;
}

bool PortConfig::selectSlaveCom(int com) {
    if (slave_.communication) return false;
    SerialChannel& ch = channels_[slave_.protocol == SlaveProtocol::PPI ? ChannelId::Port1 : ChannelId::Port0];
    if (!ch.setPortNumber(com)) {
        log_.stamped(" 无效的端口编号");
        return false;
    }
    slave_.com = com;
    return true;
}

bool PortConfig::selectSlaveSpeed(const std::string& speed) {
    const std::string text = speed + ",,,";
    const bool ok0 = channels_[ChannelId::Port0].setSettings(text);
    const bool ok1 = channels_[ChannelId::Port1].setSettings(text);
    if (!ok0 || !ok1) {
        log_.stamped(" 通信速率选择错误");
        return false;
    }
    slave_.speed = speed;
    return true;
}

std::string PortConfig::slaveSettingsText() const { return channels_[ChannelId::Port0].settings(); }

bool PortConfig::selectReplyWindow(int ms) {
    if (slave_.communication || !validWindow(ms)) return false;
    slave_.replyWindowMs = ms;
    timers_[TimerId::PPISlaveSecReac].setInterval(ms);
    return true;
}

bool PortConfig::setSlaveCommunication(bool on) {
    if (!on) {
        closeSlave();
        return false;
    }
    const ChannelId id = slave_.protocol == SlaveProtocol::PPI ? ChannelId::Port1 : ChannelId::Port0;
    if (slave_.communication) return channels_[id].isOpen();
    slave_.communication = true;
    slave_.listsEnabled = false;
    SerialChannel& port0 = channels_[ChannelId::Port0];
    SerialChannel& port1 = channels_[ChannelId::Port1];
    if (slave_.protocol == SlaveProtocol::PPI) {
        if (port0.isOpen()) port0.close();
        timers_[TimerId::ModbusSlave].setEnabled(false);
    } else {
        timers_[TimerId::ModbusSlave].setEnabled(true);
        timers_[TimerId::PPISlaveRec].setEnabled(false);
        if (port1.isOpen()) port1.close();
    }
    SerialChannel& ch = channels_[id];
    if (!ch.isOpen() && !ch.open()) {
        log_.stamped(" 端口" + std::to_string(ch.portNumber()) + "不能打开");
        closeSlave();
        return false;
    }
    if (slave_.protocol == SlaveProtocol::PPI) {
        timers_[TimerId::PPISlaveRec].setEnabled(true);
        if (ppi_) ppi_->setIdle();
    } else if (modbus_) {
        modbus_->reset();
    }
    timers_[TimerId::PPISlaveSecReac].setEnabled(false);
    return true;
}

void PortConfig::closeSlave() {
    slave_.communication = false;
    for (ChannelId id : {ChannelId::Port0, ChannelId::Port1})
        if (channels_[id].isOpen()) channels_[id].close();
    timers_[TimerId::PPISlaveRec].setEnabled(false);
    timers_[TimerId::PPISlaveSecReac].setEnabled(false);
    slave_.listsEnabled = true;
    if (ppi_) ppi_->setIdle();
    if (modbus_) modbus_->reset();
}

}  // namespace korvane
