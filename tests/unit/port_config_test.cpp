#include <gtest/gtest.h>

#include <map>

#include "comm/comm_ports.h"
#include "comm_test_support.h"
#include "test_support.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

// The six channels are fake ports; the test keeps their far ends.
struct PortsRig {
    VirtualScheduler sched;
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem;
    bool running = true;
    std::map<ChannelId, std::unique_ptr<FakeSerialPort>> far;
    std::map<ChannelId, FakeSerialPort*> near;
    int missingCom = 9;
    CommPorts ports{sched, mem, log,
                    [this](ChannelId id) {
                        auto [a, b] = makeFakeSerialPair(sched);
                        a->portExists = [this](int com) { return com != missingCom; };
                        b->open();
                        near[id] = a.get();
                        far[id] = std::move(b);
                        return std::unique_ptr<SerialChannel>(std::move(a));
                    },
                    [this] { return running; }};
    PortConfig& cfg = ports.config;

    PortsRig() { log.setClock([] { return std::string("12:00:00"); }); }
    bool open(ChannelId id) { return near[id]->isOpen(); }
};

TEST(PortConfig, StartUpSettingsAndTimers) {
    PortsRig rig;
    const std::pair<ChannelId, const char*> settings[] = {
        {ChannelId::PPI, "9600,E,8,1"},   {ChannelId::MODBUS, "9600,N,8,1"}, {ChannelId::FREE, "9600,N,8,1"},
        {ChannelId::USS, "9600,E,8,1"},   {ChannelId::Port1, "9600,E,8,1"},  {ChannelId::Port0, "9600,E,8,1"}};
    for (auto [id, text] : settings) EXPECT_EQ(rig.cfg.channel(id).settings(), text) << channelInfo(id).name;
    EXPECT_TRUE(rig.cfg.channel(ChannelId::Port0).binaryInput());
    EXPECT_TRUE(rig.cfg.channel(ChannelId::Port1).binaryInput());
    // After the defaults: PPI is the slave protocol, so the Modbus slave timer is off.
    const std::tuple<TimerId, int, bool> timers[] = {
        {TimerId::ModbusSlave, 1, false}, {TimerId::PPISlaveRec, 1, false}, {TimerId::PPISlaveSecReac, 70, false},
        {TimerId::PPI, 1, false},         {TimerId::PPITimerOut, 70, false}, {TimerId::MODBUS, 0, false},
        {TimerId::FreeCom, 1, true},      {TimerId::USSSend, 1, true},       {TimerId::USSRec, 70, false}};
    for (auto [id, period, on] : timers) {
        EXPECT_EQ(rig.ports.timers[id].interval(), period) << timerInfo(id).name;
        EXPECT_EQ(rig.ports.timers[id].enabled(), on) << timerInfo(id).name;
    }
    EXPECT_EQ(rig.cfg.channel(ChannelId::Port1).portNumber(), 2);
    EXPECT_EQ(rig.ports.ppi.address(), 2);
    EXPECT_EQ(rig.ports.modbus.address(), 2);
    EXPECT_FALSE(PortConfig::masterGroupEnabled(1));
    EXPECT_TRUE(PortConfig::masterGroupEnabled(2));
}

TEST(PortConfig, OpeningTheSlavePortOnAMissingComLogsAndStaysClosed) {
    PortsRig rig;
    ASSERT_TRUE(rig.cfg.selectSlaveCom(9));
    EXPECT_FALSE(rig.cfg.setSlaveCommunication(true));
    EXPECT_EQ(rig.sink.lines, (std::vector<std::string>{"12:00:00 端口9不能打开"}));
    EXPECT_FALSE(rig.cfg.slave().communication);
    EXPECT_TRUE(rig.cfg.slave().listsEnabled);
    EXPECT_FALSE(rig.ports.timers[TimerId::PPISlaveRec].enabled());
    // The master port's line.
    ASSERT_TRUE(rig.cfg.selectMasterCom(9));
    EXPECT_FALSE(rig.cfg.setMasterCommunication(true));
    EXPECT_EQ(rig.sink.lines.back(), "12:00:00 端口9无法打开");
    EXPECT_TRUE(rig.cfg.master().listsEnabled);
}

TEST(PortConfig, SwitchingToModbusOpensPort0OnTheSameCom) {
    PortsRig rig;
    rig.cfg.selectSlaveCom(4);
    ASSERT_TRUE(rig.cfg.selectSlaveProtocol(SlaveProtocol::ModbusRtu));
    EXPECT_FALSE(rig.cfg.slave().replyWindowShown);
    ASSERT_TRUE(rig.cfg.setSlaveCommunication(true));
    EXPECT_TRUE(rig.open(ChannelId::Port0));
    EXPECT_FALSE(rig.open(ChannelId::Port1));
    EXPECT_EQ(rig.cfg.channel(ChannelId::Port0).portNumber(), 4);
    EXPECT_TRUE(rig.ports.timers[TimerId::ModbusSlave].enabled());
    EXPECT_FALSE(rig.cfg.selectSlaveProtocol(SlaveProtocol::PPI));  // only while closed
    // The Modbus slave answers through the port, in STOP too.
    rig.running = false;
    rig.far[ChannelId::Port0]->write(withCrc({2, 6, 0, 1, 0, 9}));
    rig.sched.advanceBy(5);
    EXPECT_EQ(rig.mem.GetWordValue(VB(2)), 9);
    EXPECT_EQ(rig.far[ChannelId::Port0]->take().size(), 8u);
    rig.cfg.setSlaveCommunication(false);
    EXPECT_FALSE(rig.open(ChannelId::Port0));
    EXPECT_TRUE(rig.cfg.slave().listsEnabled);
}

TEST(PortConfig, OpeningThePpiSlaveArmsItsPoll) {
    PortsRig rig;
    ASSERT_TRUE(rig.cfg.setSlaveCommunication(true));
    EXPECT_TRUE(rig.open(ChannelId::Port1));
    EXPECT_TRUE(rig.ports.timers[TimerId::PPISlaveRec].enabled());
    EXPECT_FALSE(rig.ports.timers[TimerId::ModbusSlave].enabled());
    EXPECT_FALSE(rig.cfg.slave().listsEnabled);
    rig.far[ChannelId::Port1]->write(Bytes{0x10, 0x02, 0x00, 0x49, 0x4B, 0x16});
    rig.sched.advanceBy(3);
    EXPECT_EQ(hex(rig.far[ChannelId::Port1]->take()), "10 00 02 00 02 16");
}

TEST(PortConfig, SlaveSpeedWhileOpenKeepsParityAndFraming) {
    PortsRig rig;
    rig.cfg.setSlaveCommunication(true);
    EXPECT_TRUE(rig.cfg.selectSlaveSpeed("38400"));
    EXPECT_EQ(rig.cfg.channel(ChannelId::Port0).settings(), "38400,E,8,1");
    EXPECT_EQ(rig.cfg.channel(ChannelId::Port1).settings(), "38400,E,8,1");
    EXPECT_EQ(rig.cfg.slaveSettingsText(), "38400,E,8,1");
    EXPECT_FALSE(rig.cfg.selectSlaveSpeed("12345"));
    EXPECT_EQ(rig.sink.lines, (std::vector<std::string>{"12:00:00 通信速率选择错误"}));
    EXPECT_EQ(rig.cfg.slave().speed, "38400");
}

TEST(PortConfig, StationAddressGoesToTheSelectedProtocol) {
    PortsRig rig;
    rig.cfg.selectSlaveAddress(5);
    rig.cfg.selectSlaveProtocol(SlaveProtocol::ModbusRtu);
    EXPECT_EQ(rig.ports.ppi.address(), 5);
    EXPECT_EQ(rig.ports.modbus.address(), 5);
    rig.cfg.selectSlaveAddress(7);
    EXPECT_EQ(rig.ports.ppi.address(), 5);
    EXPECT_EQ(rig.ports.modbus.address(), 7);
    EXPECT_FALSE(rig.cfg.selectSlaveAddress(248));
}

TEST(PortConfig, ListHandlersSetPeriodsAndRefuseValuesOffTheirLists) {
    PortsRig rig;
    EXPECT_TRUE(rig.cfg.selectReplyWindow(150));
    EXPECT_EQ(rig.ports.timers[TimerId::PPISlaveSecReac].interval(), 150);
    EXPECT_TRUE(rig.cfg.selectPpiTimeout(200));
    EXPECT_EQ(rig.ports.timers[TimerId::PPITimerOut].interval(), 200);
    EXPECT_TRUE(rig.cfg.selectUssTimeout(1500));
    EXPECT_EQ(rig.ports.timers[TimerId::USSRec].interval(), 1500);
    for (int bad : {0, 5, 15, 1510}) {
        EXPECT_FALSE(rig.cfg.selectReplyWindow(bad));
        EXPECT_FALSE(rig.cfg.selectPpiTimeout(bad));
    }
    EXPECT_FALSE(rig.cfg.selectSlaveCom(33));
    EXPECT_EQ(rig.sink.lines.back(), "12:00:00 无效的端口编号");
    EXPECT_TRUE(rig.cfg.selectMasterSpeed("19200"));
    EXPECT_EQ(rig.cfg.ppiSettingsText(), "19200,E,8,1");
}

TEST(PortConfig, MasterPortOpensTheSelectedProtocolsChannel) {
    PortsRig rig;
    int closed = 0;
    rig.cfg.onMasterClosed = [&] { ++closed; };
    rig.cfg.selectMasterCom(3);
    rig.cfg.selectMasterProtocol(MasterProtocol::FreePort);
    EXPECT_TRUE(rig.cfg.masterFields().freeGap);
    EXPECT_FALSE(rig.cfg.masterFields().ppiTimeout);
    EXPECT_TRUE(rig.cfg.masterFields().stationAddress);
    ASSERT_TRUE(rig.cfg.setMasterCommunication(true));
    for (ChannelId id : {ChannelId::PPI, ChannelId::MODBUS, ChannelId::FREE, ChannelId::USS})
        EXPECT_EQ(rig.cfg.channel(id).portNumber(), 3);
    EXPECT_TRUE(rig.open(ChannelId::FREE));
    EXPECT_FALSE(rig.open(ChannelId::PPI));
    EXPECT_TRUE(rig.mem.bit(area::SM + 8 * 4 + 5));
    EXPECT_TRUE(rig.mem.bit(area::SM + 8 * 86 + 7));
    EXPECT_FALSE(rig.cfg.master().listsEnabled);
    EXPECT_FALSE(rig.cfg.selectMasterProtocol(MasterProtocol::USS));
    rig.cfg.setMasterCommunication(false);
    EXPECT_FALSE(rig.open(ChannelId::FREE));
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(rig.cfg.master().listsEnabled);
}

}  // namespace
