#include <gtest/gtest.h>

#include "test_tmp.h"

#include <filesystem>
#include <fstream>

#include <map>

#include "comm/modbus_crc.h"
#include "platform/fake_serial.h"
#include "sim/simulator.h"

using namespace korvane;

namespace {

std::filesystem::path tmpDir() {
    return testTmpDir("simulator");
}

std::string writeFile(const std::string& name, const std::string& text) {
    auto p = tmpDir() / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
}

const char* kMotor =
    "ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\nNetwork 1 // seal-in\r\nLD     I0.0\r\nO      Q0.0\r\n"
    "AN     I0.1\r\n=      Q0.0\r\nEND_ORGANIZATION_BLOCK\r\n";

struct Views : ViewHooks {
    std::string nextFile;
    std::string caption, code;
    int fullRefreshes = 0;
    std::string chooseProgramFile(const std::string&) override { return nextFile; }
    void captionChanged(const std::string& c) override { caption = c; }
    void codeViewChanged(const std::string& t) override { code = t; }
    void FreshAllShow() override { ++fullRefreshes; }
};

struct Fixture {
    MemoryLogSink sink;
    AutoPrompt prompt;
    Views views;
    VirtualScheduler clock;
    Simulator sim{clock, &sink, &prompt, &views};
    Fixture() { sim.log.setClock([] { return std::string("12:00:00"); }); }
};

TEST(LoadCommand, LoadsBuildsAndShowsTheProgram) {
    Fixture f;
    f.views.nextFile = writeFile("motor.awl", kMotor);
    f.sim.loadProgramCommand();
    ASSERT_TRUE(f.sim.hasProgram());
    EXPECT_EQ(f.sim.program.lastIndex(), 7);
    EXPECT_EQ(f.sim.caption(), std::string(kProductTitle) + " [程序路径]：" + f.views.nextFile);
    EXPECT_EQ(f.views.caption, f.sim.caption());
    EXPECT_EQ(f.sim.programBaseName(), "motor");
    EXPECT_EQ(f.sim.listing().substr(0, 2), "\r\n");
    EXPECT_NE(f.sim.listing().find("\r\n3      LD     I0.0"), std::string::npos);
    EXPECT_EQ(f.views.code, f.sim.listing());
    EXPECT_EQ(f.views.fullRefreshes, 1);
    EXPECT_TRUE(f.prompt.asked.empty());

    f.sim.memory.setBit(0, true);
    f.sim.runPass();
    EXPECT_TRUE(f.sim.memory.bit(area::Q));
    f.sim.memory.setBit(0, false);
    f.sim.runPass();
    EXPECT_TRUE(f.sim.memory.bit(area::Q));  // sealed in
}

TEST(LoadCommand, AsksBeforeReplacingAProgramAndKeepsItOnCancel) {
    Fixture f;
    f.views.nextFile = writeFile("first.awl", kMotor);
    f.sim.loadProgramCommand();
    f.prompt.answer = false;
    f.views.nextFile = writeFile("second.awl", "ORGANIZATION_BLOCK OB1\nBEGIN\nNetwork 1\nEND_ORGANIZATION_BLOCK\n");
    f.sim.loadProgramCommand();
    ASSERT_EQ(f.prompt.asked.size(), 1u);
    EXPECT_EQ(f.prompt.asked[0], "可能已经有程序，继续则覆盖该程序，继续？");
    EXPECT_EQ(f.sim.programBaseName(), "first");
    EXPECT_EQ(f.sim.program.lastIndex(), 7);
}

TEST(LoadCommand, InRunAsksToStopAndStopsOnOk) {
    Fixture f;
    f.views.nextFile = writeFile("motor.awl", kMotor);
    f.sim.loadProgramCommand();
    f.sim.scan.continuousRun();
    f.sim.loadProgramCommand();
    ASSERT_FALSE(f.prompt.asked.empty());
    EXPECT_EQ(f.prompt.asked[0], "程序在运行，停止？");
    EXPECT_FALSE(f.sim.running());
    EXPECT_TRUE(f.sim.hasProgram());
}

TEST(LoadCommand, InRunCancelKeepsRunning) {
    Fixture f;
    f.views.nextFile = writeFile("motor.awl", kMotor);
    f.sim.loadProgramCommand();
    f.sim.scan.continuousRun();
    f.prompt.answer = false;
    f.sim.loadProgramCommand();
    EXPECT_TRUE(f.sim.running());
    EXPECT_EQ(f.prompt.asked.size(), 1u);
}

TEST(LoadCommand, ACancelledDialogKeepsTheProgramAndRebuildsTheListing) {
    Fixture f;
    f.views.nextFile = writeFile("motor.awl", kMotor);
    f.sim.loadProgramCommand();
    const std::string listing = f.sim.listing();
    f.views.nextFile = "";
    f.sim.loadProgramCommand();
    EXPECT_EQ(f.sim.listing(), listing);
    EXPECT_EQ(f.sim.program.lastIndex(), 7);
}

TEST(LoadCommand, AnExtensionInAnyCaseIsBuiltLikeAwl) {
    for (const char* name : {"PROG.AWL", "prog.Awl"}) {
        Fixture f;
        f.views.nextFile = writeFile(name, kMotor);
        f.sim.loadProgramCommand();
        EXPECT_EQ(f.sim.program.lastIndex(), 7) << name;
        EXPECT_EQ(f.sim.program.CodeTable[3].mnemonic(), "LD") << name;
        EXPECT_EQ(f.sim.programBaseName(), std::string(name).substr(0, 4)) << name;
    }
}

TEST(UnloadCommand, EmptiesTheCodeTableButKeepsTheImageAndTheLineList) {
    Fixture f;
    f.views.nextFile = writeFile("motor.awl", kMotor);
    f.sim.loadProgramCommand();
    f.sim.memory.setBit(area::Q, true);
    f.sim.unloadProgramCommand();
    EXPECT_FALSE(f.sim.hasProgram());
    EXPECT_EQ(f.sim.caption(), kProductTitle);
    EXPECT_EQ(f.sim.programBaseName(), "");
    EXPECT_EQ(f.sim.listing(), "");
    EXPECT_TRUE(f.sim.memory.bit(area::Q));
    EXPECT_EQ(f.sim.reader.lines.size(), 8u);
    EXPECT_EQ(f.views.code, "");
}

TEST(UnloadCommand, InRunAsksAndCancelChangesNothing) {
    Fixture f;
    f.views.nextFile = writeFile("motor.awl", kMotor);
    f.sim.loadProgramCommand();
    f.sim.scan.continuousRun();
    f.prompt.answer = false;
    f.sim.unloadProgramCommand();
    ASSERT_EQ(f.prompt.asked.size(), 1u);
    EXPECT_EQ(f.prompt.asked[0], "程序在运行，停止,然后继续卸载？");
    EXPECT_TRUE(f.sim.hasProgram());
    EXPECT_TRUE(f.sim.running());
}

TEST(DataBlockCommand, ABlockLoadedInStopIsClearedByRunAndOneLoadedInRunStays) {
    Fixture f;
    struct DbViews : Views {
        std::string nextDb;
        std::string dbView;
        std::string chooseDataBlockFile(const std::string&) override { return nextDb; }
        void dataBlockViewShown(const std::string& t) override { dbView = t; }
    } views;
    VirtualScheduler clock;
    Simulator sim{clock, &f.sink, &f.prompt, &views};
    views.nextFile = writeFile("motor.awl", kMotor);
    sim.loadProgramCommand();
    views.nextDb = writeFile("start.txt", "VB10 16#12\r\nVW100 1, 2\r\n");
    sim.loadDataBlockCommand();
    EXPECT_EQ(sim.memory.GetByteValue(area::V + 80), 0x12);
    EXPECT_EQ(views.dbView.substr(0, views.nextDb.size()), views.nextDb);
    sim.scan.continuousRun();
    EXPECT_EQ(sim.memory.GetByteValue(area::V + 80), 0);
    // Loaded while running: the values stay, and a second load asks first.
    sim.loadDataBlockCommand();
    EXPECT_EQ(f.prompt.asked.back(), "可能已经有数据块，继续则覆盖该程序，继续？");
    clock.advanceTo(500);
    EXPECT_EQ(sim.memory.GetByteValue(area::V + 80), 0x12);
    EXPECT_EQ(sim.memory.GetWordValue(area::V + 8 * 102), 2);
    // Unloading forgets the block but leaves V memory.
    sim.unloadDataBlockCommand();
    EXPECT_EQ(sim.memory.GetByteValue(area::V + 80), 0x12);
    EXPECT_EQ(sim.dataBlock.entries().size(), 1u);
}

TEST(InterruptQueue, TheDepthsFollowTheCpuModel) {
    Fixture f;
    // The communication queue: 4 on CPU 221, 222 and 224, 8 on the two-port 224XP and 226.
    const int communication[kCpuCount] = {4, 4, 4, 4, 4, 4, 8, 8, 8, 8};
    for (int cpu : {4, 0, 8, 2, 6, 5, 9}) {
        ASSERT_EQ(f.sim.hardware.chooseCpu(cpu), RackChange::Applied) << cpu;
        const InterruptQueueDepths& d = f.sim.interpreter.interruptQueue.depths();
        EXPECT_EQ(d.communication, communication[cpu]) << cpu;
        EXPECT_EQ(d.io, 16) << cpu;
        EXPECT_EQ(d.timed, 8) << cpu;
    }
}

TEST(Potentiometers, EveryTickWritesThemLikeInputsInStopAndRun) {
    Fixture f;
    f.views.nextFile = writeFile("pots.awl", kMotor);
    f.sim.loadProgramCommand();
    const int smb28 = area::SM + 8 * 28, smb29 = area::SM + 8 * 29;
    const auto pots = [&] { return std::pair<int, int>(f.sim.memory.byteAt(smb28), f.sim.memory.byteAt(smb29)); };
    f.sim.potentiometers = {120, 7};
    f.clock.advanceBy(10);
    EXPECT_EQ(pots(), (std::pair<int, int>(120, 7))) << "in STOP";
    f.sim.scan.continuousRun();
    f.sim.potentiometers[0] = 200;
    f.sim.memory.tobit(1, smb29, 8);  // as a program might
    f.clock.advanceBy(10);
    EXPECT_EQ(pots(), (std::pair<int, int>(200, 7))) << "in RUN";
    // CPU 221 has one potentiometer: SMB29 is left alone.
    f.sim.scan.stop();
    ASSERT_EQ(f.sim.hardware.chooseCpu(0), RackChange::Applied);
    f.sim.memory.tobit(99, smb29, 8);
    f.sim.potentiometers = {5, 6};
    f.clock.advanceBy(10);
    EXPECT_EQ(pots(), (std::pair<int, int>(5, 99)));
}

TEST(BaseName, TakesTheFileNameWithoutFolderAndExtension) {
    EXPECT_EQ(baseNameOf("C:\\Programme\\Ampel.awl"), "Ampel");
    EXPECT_EQ(baseNameOf("/home/u/a.b/prog.v2.awl"), "prog.v2");
    EXPECT_EQ(baseNameOf("plain"), "plain");
    EXPECT_EQ(baseNameOf(""), "");
}

}  // namespace

namespace {

// The serial side attached to a running simulator: the Modbus slave serves the image the
// program writes, and the PPI slave answers only while the CPU runs.
struct SerialFixture : Fixture {
    std::map<ChannelId, std::unique_ptr<FakeSerialPort>> far;
    SerialFixture() {
        sim.attachSerial([this](ChannelId id) {
            auto [a, b] = makeFakeSerialPair(clock);
            b->setSettings("9600,E,8,1");
            b->open();
            far[id] = std::move(b);
            return std::unique_ptr<SerialChannel>(std::move(a));
        });
    }
};

}  // namespace

TEST(SerialSide, ModbusSlaveServesWhatTheRunningProgramWrote) {
    SerialFixture f;
    f.views.nextFile = writeFile("serial.awl",
                                 "ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\n"
                                 "MOVW   16#1234, VW0\r\nEND_ORGANIZATION_BLOCK\r\n");
    f.sim.loadProgramCommand();
    ASSERT_TRUE(f.sim.hasProgram());
    PortConfig& cfg = f.sim.comm->config;
    ASSERT_TRUE(cfg.selectSlaveProtocol(SlaveProtocol::ModbusRtu));
    ASSERT_TRUE(cfg.setSlaveCommunication(true));
    f.sim.scan.continuousRun();
    f.clock.advanceBy(50);
    FakeSerialPort& master = *f.far[ChannelId::Port0];
    master.write(Bytes{0x02, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x39});
    f.clock.advanceBy(30);
    Bytes answer;
    master.readAll(answer);
    Bytes want{0x02, 0x03, 0x02, 0x12, 0x34};
    appendModbusCrc(want);
    EXPECT_EQ(answer, want);
    // Attaching again replaces the serial side; the old channels are gone.
    f.sim.attachSerial([this_clock = &f.clock](ChannelId) { return makeFakeSerialPair(*this_clock).first; });
    EXPECT_FALSE(f.sim.comm->config.slave().communication);
}

TEST(SerialSide, FreePortEventsRunTheirRoutinesWithTheCharacterInSmb2) {
    SerialFixture f;
    f.views.nextFile = writeFile("free_events.awl",
                                 "ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.1\r\n"
                                 "MOVB   16#09, SMB30\r\nMOVD   &VB100, VD0\r\nATCH   INT_0, 8\r\n"
                                 "ATCH   INT_1, 23\r\nMOVB   10, SMB94\r\nS      SM87.7, 1\r\n"
                                 "RCV    VB200, 0\r\nENI\r\nEND_ORGANIZATION_BLOCK\r\n"
                                 "INTERRUPT_BLOCK INT_0:INT0\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\n"
                                 "MOVB   SMB2, *VD0\r\nINCD   VD0\r\nEND_INTERRUPT_BLOCK\r\n"
                                 "INTERRUPT_BLOCK INT_1:INT1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\n"
                                 "MOVB   VB200, VB10\r\nINCW   VW20\r\nEND_INTERRUPT_BLOCK\r\n");
    f.sim.loadProgramCommand();
    ASSERT_TRUE(f.sim.findings().empty());
    PortConfig& cfg = f.sim.comm->config;
    ASSERT_TRUE(cfg.selectMasterProtocol(MasterProtocol::FreePort));
    ASSERT_TRUE(cfg.setMasterCommunication(true));
    f.sim.scan.continuousRun();
    f.clock.advanceBy(60);  // the first pass arms the receiver
    f.far[ChannelId::FREE]->write(Bytes{'O', 'K', '!'});
    f.clock.advanceBy(40);
    const PlcMemory& m = f.sim.memory;
    const int vb = area::V;
    EXPECT_EQ(m.byteAt(vb + 8 * 100), 'O');
    EXPECT_EQ(m.byteAt(vb + 8 * 101), 'K');
    EXPECT_EQ(m.byteAt(vb + 8 * 102), '!');
    EXPECT_EQ(m.byteAt(vb + 8 * 10), 3) << "the message routine sees the whole message";
    EXPECT_EQ(m.GetWordValue(vb + 8 * 20), 1);
}
