#pragma once
// The two serial ports of the simulated CPU: the six channels (one per protocol role), the
// protocol timers, and the configuration of the master and the slave port with the engine
// side of the port settings dialog FrmPort (its lists, options and check boxes). The dialog
// is a thin binding: each control calls one handler here and shows the state kept here.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/plc_memory.h"
#include "platform/log_sink.h"
#include "platform/scheduler.h"
#include "platform/serial_channel.h"

namespace korvane {

class ModbusSlave;
class PpiSlave;

// --- channels ----------------------------------------------------------------------------
enum class ChannelId : std::uint8_t { PPI, MODBUS, FREE, USS, Port1, Port0 };
inline constexpr std::size_t kChannelCount = 6;

struct ChannelInfo {
    const char* name;
    bool slavePort;
    const char* initialSettings;
};
// msComPPI, msComMODBUS, msComFREE, msComUSS (master port), msComPort1 (PPI slave),
// msComPort0 (Modbus slave).
const ChannelInfo& channelInfo(ChannelId id);

using ChannelFactory = std::function<std::unique_ptr<SerialChannel>(ChannelId)>;

// The six channels, made by the front end's factory (real ports, or the fakes of the tests),
// with their start-up settings applied.
class SerialChannels {
public:
    explicit SerialChannels(const ChannelFactory& make);
    SerialChannel& operator[](ChannelId id) { return *channels_[static_cast<std::size_t>(id)]; }
    const SerialChannel& operator[](ChannelId id) const { return *channels_[static_cast<std::size_t>(id)]; }

private:
    std::array<std::unique_ptr<SerialChannel>, kChannelCount> channels_;
};

// --- protocol timers ---------------------------------------------------------------------
enum class TimerId : std::uint8_t {
    ModbusSlave,      // TimerModbusSlave, 1 ms, enabled
    PPISlaveRec,      // TimerPPISlaveRec, 1 ms
    PPISlaveSecReac,  // TimerPPISlaveSecReac, the PPI reply window (70 ms)
    PPI,              // TimerPPI, 1 ms
    PPITimerOut,      // TimerPPITimerOut, the PPI timeout (70 ms)
    MODBUS,           // TimerMODBUS, set by the Modbus master
    FreeCom,          // TimerFreeCom, 1 ms, enabled
    USSSend,          // TimerUSSSend, 1 ms, enabled
    USSRec,           // TimerUSSRec, the USS timeout (70 ms)
};
inline constexpr std::size_t kTimerCount = 9;

struct TimerInfo {
    const char* name;
    int periodMs;
    bool initiallyEnabled;
};
const TimerInfo& timerInfo(TimerId id);

// The protocol timers with their periods and initial states. Each tick calls the handler
// the owning protocol has set (nothing until then).
class PortTimers {
public:
    explicit PortTimers(Scheduler& scheduler);
    Timer& operator[](TimerId id) { return *timers_[static_cast<std::size_t>(id)]; }
    void setHandler(TimerId id, std::function<void()> fn) { handlers_[static_cast<std::size_t>(id)] = std::move(fn); }

private:
    std::array<std::unique_ptr<Timer>, kTimerCount> timers_;
    std::array<std::function<void()>, kTimerCount> handlers_;
};

// --- configuration -----------------------------------------------------------------------
enum class MasterProtocol : std::uint8_t { PPI = 0, ModbusRtu = 1, FreePort = 2, USS = 3 };
enum class SlaveProtocol : std::uint8_t { PPI = 0, ModbusRtu = 1 };

struct MasterPortConfig {
    bool communication = false;  // the check box "通信"
    MasterProtocol protocol = MasterProtocol::PPI;
    int com = 1;                 // the COM list
    int stationAddress = 1;      // the PPI master's own address
    std::string ppiSpeed = "9600";
    int ppiTimeoutMs = 70;
    int ussTimeoutMs = 70;
    bool listsEnabled = true;    // address, COM, speed, timeout lists and protocol options
};

struct SlavePortConfig {
    bool communication = false;
    SlaveProtocol protocol = SlaveProtocol::PPI;
    int com = 2;
    int addressList = 2;          // the station address list's value
    int ppiAddress = 2;           // the PPI slave's address
    std::uint8_t modbusAddress = 2;
    std::string speed = "9600";   // applied to both slave channels
    int replyWindowMs = 70;       // "PPI延时"
    bool listsEnabled = true;     // protocol options, address, COM and reply-window lists
    bool replyWindowShown = true; // only while PPI is selected
};

// Which setting fields of the master group are shown for its protocol.
struct MasterFields {
    bool stationAddress = true;  // shown for every protocol
    bool ppiSpeed = false, ppiSettings = false, ppiTimeout = false;
    bool modbusTimeout = false, modbusSpeed = false, modbusSettings = false;
    bool freeSpeed = false, freeGap = false, freeSettings = false;
    bool ussSpeed = false, ussSettings = false, ussTimeout = false;
};
MasterFields masterFieldsFor(MasterProtocol p);

inline constexpr const char* kSpeeds[] = {"9600", "19200", "38400", "57600"};

class PortConfig {
public:
    static constexpr int kMinAddress = 1, kMaxAddress = 247;
    static constexpr int kMinWindowMs = 10, kMaxWindowMs = 1500;

    // Start-up: the slave channels get binary input and "9600,E,8,1"; the PPI slave and PPI
    // master timers are disabled.
    PortConfig(SerialChannels& channels, PortTimers& timers, PlcMemory& mem, const Log& log);

    // The slave protocols whose address and state the handlers set.
    void attach(ModbusSlave* modbus, PpiSlave* ppi);
    // The master-port protocols' parts of the handlers (they come later).
    std::function<void(int)> onMasterAddress;  // the PPI master's own address changed
    std::function<void()> onMasterClosed;      // clears the USS drives' reply-awaited marks

    // The dialog's first showing: the lists get their defaults through the same handlers as
    // a user's selection. Runs once; later calls do nothing.
    void load();
    bool loaded() const { return loaded_; }
    // The master group is usable only when the CPU model has more than one port.
    static bool masterGroupEnabled(int cpuPortCount) { return cpuPortCount > 1; }

    // --- master port ---------------------------------------------------------------------
    // Each handler returns false when it changed nothing (a value outside its list, or a
    // setting that may change only while the port is closed).
    bool selectMasterSpeed(const std::string& speed);
    bool selectPpiTimeout(int ms);
    bool selectUssTimeout(int ms);
    bool selectMasterAddress(int a);
    bool selectMasterProtocol(MasterProtocol p);
    bool selectMasterCom(int com);
    // The check box; true when the port is open afterwards.
    bool setMasterCommunication(bool on);
    MasterFields masterFields() const { return masterFieldsFor(master_.protocol); }
    std::string ppiSettingsText() const;

    // --- slave port ----------------------------------------------------------------------
    bool selectSlaveProtocol(SlaveProtocol p);
    bool selectSlaveAddress(int a);
    bool selectSlaveCom(int com);
    bool selectSlaveSpeed(const std::string& speed);
    bool selectReplyWindow(int ms);
    bool setSlaveCommunication(bool on);
    // The slave channels' settings as the dialog shows them (msComPort0's).
    std::string slaveSettingsText() const;

    const MasterPortConfig& master() const { return master_; }
    const SlavePortConfig& slave() const { return slave_; }
    SerialChannel& channel(ChannelId id) { return channels_[id]; }

private:
    SerialChannel& masterChannel() { return channels_[masterChannelId()]; }
    ChannelId masterChannelId() const;
    void closeSlave();
    void closeMaster();

    SerialChannels& channels_;
    PortTimers& timers_;
    PlcMemory& mem_;
    const Log& log_;
    ModbusSlave* modbus_ = nullptr;
    PpiSlave* ppi_ = nullptr;
    MasterPortConfig master_;
    SlavePortConfig slave_;
    bool loaded_ = false;
};

}  // namespace korvane
