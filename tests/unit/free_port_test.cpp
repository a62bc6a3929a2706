#include <gtest/gtest.h>

#include "master_rig.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

constexpr int kTbl = 512 + 8 * 100;  // VB100
constexpr int kRcvTbl = 512 + 8 * 200;  // VB200

struct FreeRig : MasterRig {
    CodeLine xmt = makeLine("XMT", {{kTbl, kind::Byte}, {0}});
    CodeLine rcv = makeLine("RCV", {{kRcvTbl, kind::Byte}, {0}});
    FreeRig() {
        open(MasterProtocol::FreePort);
        enterRun();
        c.mem.setBit(freeport::SM4_5, true);
        c.mem.setBit(freeport::SM86_7, true);
    }
    FakeSerialPort& peer() { return MasterRig::peer(ChannelId::FREE); }
    void arm(int maxChars) {
        setByte(freeport::SMB94, maxChars);
        c.mem.setBit(freeport::SM87_7, true);
        exec(rcv, true);
    }
    Bytes received() {
        Bytes out;
        for (int k = 0; k < byte(kRcvTbl); ++k) out.push_back(byte(kRcvTbl + 8 * (k + 1)));
        return out;
    }
};

struct Smb30Case {
    int smb30;
    const char* settings;
    const char* speed;
};

class FreePortSmb30 : public ::testing::TestWithParam<Smb30Case> {};

TEST_P(FreePortSmb30, SettingsText) {
    FreeRig rig;
    rig.setByte(freeport::SMB30, GetParam().smb30);
    rig.m.freeportPostProcess();
    EXPECT_EQ(rig.comm.channels[ChannelId::FREE].settings(), GetParam().settings);
    EXPECT_EQ(rig.m.free.speedText(), GetParam().speed);
    EXPECT_EQ(rig.m.free.settingsText(), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(Codes, FreePortSmb30,
                         ::testing::Values(Smb30Case{0x09, "9600,N,8,1", "9600"}, Smb30Case{0x49, "9600,E,8,1", "9600"},
                                           Smb30Case{0xC9, "9600,O,8,1", "9600"}, Smb30Case{0x89, "9600,N,8,1", "9600"},
                                           Smb30Case{0x29, "9600,N,7,1", "9600"}, Smb30Case{0x00, "38400,N,8,1", "38400"},
                                           Smb30Case{0x04, "19200,N,8,1", "19200"}, Smb30Case{0x0C, "4800,N,8,1", "4800"},
                                           Smb30Case{0x10, "2400,N,8,1", "2400"}, Smb30Case{0x14, "1200,N,8,1", "1200"},
                                           Smb30Case{0x18, "115200,N,8,1", "115200"},
                                           Smb30Case{0x1C, "57600,N,8,1", "57600"},
                                           Smb30Case{0xE9, "9600,O,7,1", "9600"}));

TEST(FreePort, ParityChangesKeepBaudAndDataBits) {
    FreeRig rig;
    rig.setByte(freeport::SMB30, 0x49);
    rig.m.freeportPostProcess();
    EXPECT_EQ(rig.comm.channels[ChannelId::FREE].settings(), "9600,E,8,1");
    rig.setByte(freeport::SMB30, 0xC9);
    rig.m.freeportPostProcess();
    EXPECT_EQ(rig.comm.channels[ChannelId::FREE].settings(), "9600,O,8,1");
    // Stop bits are always one, whatever the channel held.
    rig.comm.channels[ChannelId::FREE].setSettings(",,,2");
    rig.m.freeportPostProcess();
    EXPECT_EQ(rig.comm.channels[ChannelId::FREE].settings(), "9600,O,8,1");
}

TEST(FreePort, XmtOfZeroCharactersSendsNothing) {
    FreeRig rig;
    rig.setByte(kTbl, 0);
    rig.exec(rig.xmt, true);
    rig.sched.advanceBy(5);
    EXPECT_EQ(rig.local(ChannelId::FREE).writes(), 0u);
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM4_5));
}

TEST(FreePort, XmtSendsTheBufferAndSm45FollowsTheTransmitter) {
    FreeRig rig;
    rig.local(ChannelId::FREE).setByteTiming(true);  // 9600 baud: about 1 ms a character
    rig.setByte(kTbl, 3);
    rig.setByte(kTbl + 8, 'A');
    rig.setByte(kTbl + 16, 'B');
    rig.setByte(kTbl + 24, 'C');
    rig.exec(rig.xmt, true);
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM4_5));
    EXPECT_EQ(rig.comm.channels[ChannelId::FREE].sendThreshold(), 1);
    rig.sched.advanceBy(2);
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM4_5)) << "still on the line";
    rig.sched.advanceBy(5);
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM4_5));
    EXPECT_EQ(rig.comm.channels[ChannelId::FREE].sendThreshold(), 0);
    EXPECT_EQ(hex(rig.peer().take()), "41 42 43");
}

TEST(FreePort, XmtWithoutPowerOrOnAnotherProtocol) {
    FreeRig rig;
    rig.setByte(kTbl, 1);
    rig.exec(rig.xmt, false);
    EXPECT_EQ(rig.local(ChannelId::FREE).writes(), 0u);

    MasterRig other;
    other.open(MasterProtocol::PPI);
    CodeLine xmt = makeLine("XMT", {{kTbl, kind::Byte}, {0}});
    CodeLine rcv = makeLine("RCV", {{kTbl, kind::Byte}, {0}});
    other.setByte(kTbl, 1);
    other.exec(xmt, true);
    other.exec(rcv, true);
    EXPECT_TRUE(other.logged("警告：PORT0口未配置成自由口模式，而程序中有XMT指令，指令将不被执行"));
    EXPECT_TRUE(other.logged("警告：PORT0口未配置成自由口模式，而程序中有RCV指令，指令将不被执行"));
    other.sched.advanceBy(5);
    EXPECT_EQ(other.local(ChannelId::FREE).writes(), 0u);
    EXPECT_EQ(other.local(ChannelId::PPI).writes(), 0u);
}

TEST(FreePort, BurstLongerThanSmb94IsCut) {
    FreeRig rig;
    rig.arm(5);
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM86_7));
    rig.peer().write(bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    rig.sched.advanceBy(10);
    EXPECT_EQ(hex(rig.received()), "01 02 03 04 05");
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_1));
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_2));
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_7));
}

TEST(FreePort, MessageArrivingOverManyPollsIsKeptWhole) {
    FreeRig rig;
    rig.arm(100);
    rig.peer().setByteTiming(true);  // 12 characters take about 12.5 ms at 9600 baud
    rig.peer().write(bytes({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}));
    rig.sched.advanceBy(6);
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM86_7)) << "the message is still arriving";
    rig.sched.advanceBy(20);
    EXPECT_EQ(hex(rig.received()), hex(bytes({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'})));
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM86_1));
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_2));
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_7));
}

TEST(FreePort, SilenceEndsTheMessageAndLaterBytesWaitForTheNextRcv) {
    FreeRig rig;
    rig.arm(100);
    rig.peer().write(bytes({0x11, 0x22}));
    rig.sched.advanceBy(10);  // 3.5 characters at 9600 baud are about 3.6 ms
    EXPECT_EQ(hex(rig.received()), "11 22");
    rig.peer().write(bytes({0x33}));
    rig.sched.advanceBy(10);
    EXPECT_EQ(hex(rig.received()), "11 22") << "the receiver is not armed";
    rig.peer().write(bytes({0x44}));
    rig.arm(100);  // RCV throws away what arrived before it
    rig.sched.advanceBy(10);
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM86_7));
    rig.peer().write(bytes({0x55}));
    rig.sched.advanceBy(10);
    EXPECT_EQ(hex(rig.received()), "55");
}

// Interrupt events: every character read off the line, armed or not; the message taken; the
// transmission complete. The port operand of RCV and XMT chooses port 0's or port 1's.
class FreePortEvents : public ::testing::TestWithParam<int> {};

TEST_P(FreePortEvents, CharactersMessagesAndTransmissionsRaiseThePortsEvents) {
    const int port = GetParam();
    const int character = port ? 25 : 8, message = port ? 24 : 23, sent = port ? 26 : 9;
    FreeRig rig;
    std::vector<std::pair<int, int>> events;
    rig.m.free.onInterruptEvent = [&](int ev, std::uint8_t ch) { events.emplace_back(ev, ch); };
    rig.rcv = makeLine("RCV", {{kRcvTbl, kind::Byte}, {double(port)}});
    rig.xmt = makeLine("XMT", {{kTbl, kind::Byte}, {double(port)}});
    rig.arm(100);
    rig.peer().write(bytes({'A', 'B'}));
    rig.sched.advanceBy(10);
    rig.peer().write(bytes({'Z'}));  // the receiver is no longer armed
    rig.sched.advanceBy(10);
    rig.setByte(kTbl, 2);
    rig.exec(rig.xmt, true);
    rig.sched.advanceBy(10);
    rig.setByte(kTbl, 0);
    rig.exec(rig.xmt, true);  // sends nothing, and nothing completes
    rig.sched.advanceBy(10);
    using E = std::vector<std::pair<int, int>>;
    EXPECT_EQ(events, (E{{character, 'A'}, {character, 'B'}, {message, 0}, {character, 'Z'}, {sent, 0}}));
}

INSTANTIATE_TEST_SUITE_P(Ports, FreePortEvents, ::testing::Values(0, 1));

TEST(FreePort, RcvWithReceiveDisabled) {
    FreeRig rig;
    rig.setByte(kRcvTbl, 7);
    rig.c.mem.setBit(freeport::SM86_7, false);
    rig.c.mem.setBit(freeport::SM87_7, false);
    rig.exec(rig.rcv, true);
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_7));
    EXPECT_EQ(rig.byte(kRcvTbl), 7);
}

TEST(FreePort, NothingIsReceivedOutsideRun) {
    FreeRig rig;
    rig.arm(100);
    rig.running = false;
    rig.peer().write(bytes({0x11}));
    rig.sched.advanceBy(10);
    EXPECT_FALSE(rig.c.mem.bit(freeport::SM86_7));
    rig.running = true;
    rig.sched.advanceBy(10);
    EXPECT_EQ(hex(rig.received()), "11");
}

TEST(FreePort, ClosedPortReportsTheReceiverNotArmed) {
    FreeRig rig;
    rig.arm(100);
    rig.comm.config.setMasterCommunication(false);
    rig.c.mem.setBit(freeport::SM86_7, false);
    rig.exec(rig.rcv, true);
    EXPECT_TRUE(rig.c.mem.bit(freeport::SM86_7));
}

}  // namespace
