// The master-port protocols inside the simulator: programs loaded from STL text call them
// through the interpreter, and the scan cycle resets them on RUN and STOP.
#include <gtest/gtest.h>

#include "test_tmp.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "comm/modbus_slave.h"
#include "platform/fake_serial.h"
#include "sim/simulator.h"

using namespace korvane;

namespace {

std::string writeProgram(const std::string& name, const std::string& text) {
    auto p = testTmpDir("master_ports") / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
}

struct Views : ViewHooks {
    std::string nextFile;
    std::string chooseProgramFile(const std::string&) override { return nextFile; }
};

struct SimRig {
    MemoryLogSink sink;
    AutoPrompt prompt;
    Views views;
    VirtualScheduler clock;
    Simulator sim{clock, &sink, &prompt, &views};
    std::map<ChannelId, std::unique_ptr<FakeSerialPort>> far;

    SimRig() { sim.log.setClock([] { return std::string("12:00:00"); }); }
    void attach() {
        sim.attachSerial([this](ChannelId id) {
            auto [a, b] = makeFakeSerialPair(clock);
            b->open();
            far[id] = std::move(b);
            return std::unique_ptr<SerialChannel>(std::move(a));
        });
    }
    void load(const std::string& text) {
        // One file per test: ctest runs the tests of this binary side by side.
        views.nextFile = writeProgram(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".awl", text);
        sim.loadProgramCommand();
        ASSERT_TRUE(sim.hasProgram());
    }
    int vb(int n) const { return sim.memory.byteAt(512 + 8 * n); }
    int mb(int n) const { return sim.memory.byteAt(256 + 8 * n); }
    bool logged(const std::string& line) const {
        return std::find(sink.lines.begin(), sink.lines.end(), line) != sink.lines.end();
    }
};

const char* kModbusProgram =
    "ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\n"
    "Network 1\r\nLD     SM0.0\r\nCALL   SBR1, SM0.0, 9600, 2, 200, M0.0, MB1\r\n"
    "Network 2\r\nLD     SM0.0\r\nCALL   SBR2, SM0.0, 2, 0, 40001, 2, &VB100, M0.1, MB2\r\n"
    "END_ORGANIZATION_BLOCK\r\n"
    "SUBROUTINE_BLOCK MBUS_CTRL:SBR1\r\nBEGIN\r\nEND_SUBROUTINE_BLOCK\r\n"
    "SUBROUTINE_BLOCK MBUS_MSG:SBR2\r\nBEGIN\r\nEND_SUBROUTINE_BLOCK\r\n";

TEST(MasterPortsInSimulator, ModbusProgramReadsAKorvaneSlave) {
    SimRig r;
    r.attach();
    r.load(kModbusProgram);
    // Korvane's own Modbus slave (address 2) on the far end of the master channel.
    PlcMemory slaveMem;
    slaveMem.tobit(0x1234, 512, 16);  // VW0: register 0
    slaveMem.tobit(0x5678, 528, 16);  // VW2: register 1
    FakeSerialPort& far = *r.far[ChannelId::MODBUS];
    far.setSettings("9600,E,8,1");
    ModbusSlave slave(far, slaveMem);
    slave.setAddress(2);
    auto poll = r.clock.createTimer("slave", 1, [&] { slave.poll(r.clock.nowMs()); });
    poll->setEnabled(true);

    PortConfig& cfg = r.sim.comm->config;
    ASSERT_TRUE(cfg.selectMasterProtocol(MasterProtocol::ModbusRtu));
    ASSERT_TRUE(cfg.setMasterCommunication(true));
    r.sim.scan.continuousRun();
    r.clock.advanceBy(300);
    EXPECT_EQ(r.sim.comm->channels[ChannelId::MODBUS].settings(), "9600,E,8,1");
    EXPECT_EQ(r.mb(1), 0);
    EXPECT_EQ(r.mb(2), 0);
    EXPECT_EQ(r.vb(100), 0x12);
    EXPECT_EQ(r.vb(101), 0x34);
    EXPECT_EQ(r.vb(102), 0x56);
    EXPECT_EQ(r.vb(103), 0x78);
    EXPECT_TRUE(r.sim.memory.bit(256 + 1));

    r.sim.scan.stop();
    EXPECT_FALSE(r.sim.comm->masters.modbus.enabled());
}

TEST(MasterPortsInSimulator, RunEntryStartsThePpiWorkerAndStopHaltsIt) {
    SimRig r;
    r.attach();
    r.load("ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.1\r\nNETR   VB200, 0\r\n"
           "END_ORGANIZATION_BLOCK\r\n");
    Timer& worker = r.sim.comm->timers[TimerId::PPI];
    EXPECT_FALSE(worker.enabled());
    r.sim.scan.continuousRun();
    EXPECT_TRUE(worker.enabled());
    r.clock.advanceBy(60);
    EXPECT_EQ(r.vb(200) & 0xE0, 0xA0) << "the port is closed: the request fails";
    r.sim.scan.stop();
    EXPECT_FALSE(worker.enabled());
}

TEST(MasterPortsInSimulator, FreePortLineFollowsSmb30OncePerScan) {
    SimRig r;
    r.attach();
    r.load("ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\nMOVB   16#C5, SMB30\r\n"
           "END_ORGANIZATION_BLOCK\r\n");
    r.sim.scan.continuousRun();
    r.clock.advanceBy(120);
    EXPECT_EQ(r.sim.comm->channels[ChannelId::FREE].settings(), "19200,O,8,1");
    EXPECT_EQ(r.sim.comm->masters.free.speedText(), "19200");
}

TEST(MasterPortsInSimulator, WithoutASerialSideTheInstructionsDoNothing) {
    SimRig r;
    r.load("ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\nNETR   VB200, 0\r\n"
           "XMT    VB300, 0\r\nCALL   SBR1, 1, 9600, 1\r\nMOVB   16#AA, VB10\r\nEND_ORGANIZATION_BLOCK\r\n"
           "SUBROUTINE_BLOCK USS_INIT:SBR1\r\nBEGIN\r\nEND_SUBROUTINE_BLOCK\r\n");
    r.sim.scan.continuousRun();
    r.clock.advanceBy(200);
    EXPECT_EQ(r.vb(10), 0xAA) << "the pass runs through";
    EXPECT_EQ(r.vb(200), 0);
    r.sim.scan.stop();
    // Attached later, the same program reaches the master protocols.
    r.attach();
    r.sim.scan.continuousRun();
    r.clock.advanceBy(100);
    EXPECT_TRUE(r.logged("警告：PORT0口未配置成自由口模式，而程序中有XMT指令，指令将不被执行"));
    EXPECT_TRUE(r.logged("警告：PORT0口未配置成USS模式，而程序中有USS_INIT指令，指令将不被执行"));
    EXPECT_EQ(r.vb(200) & 0xE0, 0xA0);
}

}  // namespace
