#include <gtest/gtest.h>

#include "comm/ppi_slave.h"
#include "master_rig.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

constexpr int kTbl = 512 + 8 * 200;  // VB200

struct PpiRig : MasterRig {
    CodeLine netr = makeLine("NETR", {{kTbl, kind::Byte}, {0}});
    CodeLine netw = makeLine("NETW", {{kTbl, kind::Byte}, {0}});
    PpiRig() {
        open(MasterProtocol::PPI);
        enterRun();
    }
    FakeSerialPort& peer() { return MasterRig::peer(ChannelId::PPI); }
    void table(int tbl, int remote, int pointer, int length, std::initializer_list<int> data = {}) {
        setByte(tbl, 0);
        setByte(tbl + 8, remote);
        c.mem.tobit(pointer, tbl + 16, 32);
        setByte(tbl + 48, length);
        int k = 0;
        for (int v : data) setByte(tbl + 8 * (7 + k++), v);
    }
    int status(int tbl = kTbl) const { return byte(tbl) & 0xE0; }
};

// A read answer as a PPI slave at station 2 sends it to master 1.
Bytes readAnswer(const Bytes& data, int da = 1, int sa = 2) {
    Bytes t = {0x68, 0, 0, 0x68, static_cast<std::uint8_t>(da), static_cast<std::uint8_t>(sa), 0x08, 0x32, 0x03,
               0, 0, 0, 0, 0, 0x02, 0, static_cast<std::uint8_t>(data.size() + 4), 0, 0, 0x04, 0x01, 0xFF, 0x04,
               0, static_cast<std::uint8_t>(data.size() * 8)};
    t.insert(t.end(), data.begin(), data.end());
    t[1] = t[2] = static_cast<std::uint8_t>(t.size() - 4);
    unsigned s = 0;
    for (std::size_t k = 4; k < t.size(); ++k) s += t[k];
    t.push_back(static_cast<std::uint8_t>(s));
    t.push_back(0x16);
    return t;
}

TEST(PpiMaster, NetrSendsTheReadRequestByteForByte) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 4);  // &VB100
    rig.exec(rig.netr, true);
    EXPECT_EQ(rig.status(), 0x40) << "active";
    EXPECT_EQ(rig.m.ppi.queued(), 1u);
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.peer().take()),
              "68 1B 1B 68 02 01 6C 32 01 00 00 00 00 00 0E 00 00 04 01 12 0A 10 02 00 04 00 01 84 00 03 20 8F 16");
}

TEST(PpiMaster, AcknowledgementPollAndAnswer) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(2);
    rig.peer().take();
    rig.peer().write(bytes({0xE5}));
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.peer().take()), "10 02 01 5C 5F 16");
    EXPECT_EQ(rig.status(), 0x40);
    rig.peer().write(readAnswer(bytes({0xDE, 0xAD, 0xBE, 0xEF})));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.status(), 0x80) << "done, no error";
    EXPECT_EQ(rig.byte(kTbl + 56), 0xDE);
    EXPECT_EQ(rig.byte(kTbl + 64), 0xAD);
    EXPECT_EQ(rig.byte(kTbl + 72), 0xBE);
    EXPECT_EQ(rig.byte(kTbl + 80), 0xEF);
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
    EXPECT_FALSE(rig.comm.timers[TimerId::PPITimerOut].enabled());
}

TEST(PpiMaster, OwnAddressComesFromThePortSettings) {
    PpiRig rig;
    rig.comm.config.setMasterCommunication(false);
    ASSERT_TRUE(rig.comm.config.selectMasterAddress(5));
    ASSERT_TRUE(rig.comm.config.setMasterCommunication(true));
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(2);
    const Bytes t = rig.peer().take();
    ASSERT_EQ(t.size(), 33u);
    EXPECT_EQ(t[5], 5);
    EXPECT_EQ(t[31], 0x8F + 4);
    rig.peer().write(bytes({0xE5}));
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.peer().take()), "10 02 05 5C 63 16");
    // An answer addressed to master 1 is not ours any more.
    rig.peer().write(readAnswer(bytes({1, 2, 3, 4}), 1));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.status(), 0x40);
    rig.peer().write(readAnswer(bytes({1, 2, 3, 4}), 5));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.status(), 0x80);
}

TEST(PpiMaster, StatusBitsLeaveTheErrorCodeAlone) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 1);
    rig.setByte(kTbl, 0x0F);
    rig.exec(rig.netr, true);
    EXPECT_EQ(rig.byte(kTbl), 0x4F);
}

TEST(PpiMaster, NetwToQb0SendsTheWriteRequest) {
    PpiRig rig;
    rig.table(kTbl, 3, 16, 2, {0x12, 0x34});
    rig.exec(rig.netw, true);
    rig.sched.advanceBy(2);
    const Bytes t = rig.peer().take();
    ASSERT_EQ(t.size(), 39u);
    EXPECT_EQ(hex(t), "68 21 21 68 03 01 6C 32 01 00 00 00 00 00 0E 00 06 05 01 12 0A 10 02 00 02 00 00 82 00 00 00 00 04 "
                      "00 10 12 34 " + hex(bytes({(0x03 + 0x01 + 0x6C + 0x32 + 0x01 + 0x0E + 0x06 + 0x05 + 0x01 + 0x12 +
                                                   0x0A + 0x10 + 0x02 + 0x02 + 0x82 + 0x04 + 0x10 + 0x12 + 0x34) & 0xFF})) +
                          " 16");
}

struct AreaCase {
    int pointer;
    int areaCode;
    int db;
    int bitAddress;
};
class PpiRemoteAreas : public ::testing::TestWithParam<AreaCase> {};
TEST_P(PpiRemoteAreas, Mapping) {
    const PpiRemoteArea a = ppiRemoteArea(GetParam().pointer);
    EXPECT_EQ(a.areaCode, GetParam().areaCode);
    EXPECT_EQ(a.dbNumber, GetParam().db);
    EXPECT_EQ(a.bitAddress, GetParam().bitAddress);
}
INSTANTIATE_TEST_SUITE_P(Pointers, PpiRemoteAreas,
                         ::testing::Values(AreaCase{0, 0x81, 0, 0}, AreaCase{15, 0x81, 0, 120}, AreaCase{16, 0x82, 0, 0},
                                           AreaCase{31, 0x82, 0, 120}, AreaCase{32, 0x83, 0, 0},
                                           AreaCase{63, 0x83, 0, 248}, AreaCase{64, 0x84, 1, 0},
                                           AreaCase{1088, 0x84, 1, 8192}));

TEST(PpiMaster, NoAcknowledgementWithinTheTimeout) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(60);
    EXPECT_EQ(rig.status(), 0x40);
    rig.sched.advanceBy(15);
    EXPECT_EQ(rig.status(), 0xA0) << "done with error after 70 ms";
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
}

TEST(PpiMaster, TimeoutFollowsThePortSetting) {
    PpiRig rig;
    rig.comm.config.setMasterCommunication(false);
    ASSERT_TRUE(rig.comm.config.selectPpiTimeout(200));
    rig.comm.config.setMasterCommunication(true);
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(150);
    EXPECT_EQ(rig.status(), 0x40);
    rig.sched.advanceBy(60);
    EXPECT_EQ(rig.status(), 0xA0);
}

TEST(PpiMaster, ReplyOtherThanE5FailsAtOnce) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(2);
    rig.peer().take();
    rig.peer().write(bytes({0x10, 0x01, 0x02, 0x00, 0x03, 0x16}));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.status(), 0xA0);
    EXPECT_TRUE(rig.peer().take().empty()) << "no poll after a wrong acknowledgement";
}

TEST(PpiMaster, RepeatedAcknowledgementInOneReadCountsOnce) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(2);
    rig.peer().take();
    rig.peer().write(bytes({0xE5, 0xE5}));
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.peer().take()), "10 02 01 5C 5F 16");
    EXPECT_EQ(rig.status(), 0x40);
}

TEST(PpiMaster, QueueHoldsNineRequests) {
    PpiRig rig;
    for (int i = 0; i < 10; ++i) {
        const int tbl = kTbl + 8 * 16 * i;
        rig.table(tbl, 2, 164, 1);
        CodeLine l = makeLine("NETR", {{static_cast<double>(tbl), kind::Byte}, {0}});
        rig.exec(l, true);
    }
    EXPECT_EQ(rig.m.ppi.queued(), 9u);
    EXPECT_EQ(rig.status(kTbl + 8 * 16 * 8), 0x40);
    EXPECT_EQ(rig.status(kTbl + 8 * 16 * 9), 0x00) << "the tenth is dropped untouched";
    // No station answers: each request times out in turn and the queue drains.
    rig.sched.advanceBy(9 * 72 + 20);
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rig.status(kTbl + 8 * 16 * i), 0xA0) << i;
}

TEST(PpiMaster, NetrOnAnotherProtocolWarns) {
    MasterRig rig;
    rig.open(MasterProtocol::FreePort);
    CodeLine netr = makeLine("NETR", {{kTbl, kind::Byte}, {0}});
    CodeLine netw = makeLine("NETW", {{kTbl, kind::Byte}, {0}});
    rig.exec(netr, true);
    rig.exec(netw, true);
    EXPECT_TRUE(rig.logged("警告：PORT0口未配置成PPI模式，而程序中有NETR指令，指令将不被执行"));
    EXPECT_TRUE(rig.logged("警告：PORT0口未配置成PPI模式，而程序中有NETW指令，指令将不被执行"));
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
}

TEST(PpiMaster, TablesThatCannotBeFramedEndInError) {
    PpiRig rig;
    rig.table(kTbl, 2, 40000, 4);  // a pointer beyond the queue's 16-bit entry
    rig.exec(rig.netr, true);
    EXPECT_EQ(rig.status(), 0xA0);
    rig.table(kTbl, 2, 164, 230);  // longer than a write telegram can carry
    rig.exec(rig.netw, true);
    EXPECT_EQ(rig.status(), 0xA0);
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
}

TEST(PpiMaster, StopAndRunEmptyTheQueue) {
    PpiRig rig;
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.exec(rig.netr, true);
    rig.enterStop();
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
    EXPECT_FALSE(rig.comm.timers[TimerId::PPI].enabled());
    rig.sched.advanceBy(200);
    EXPECT_EQ(rig.status(), 0x40) << "a request dropped by STOP is not reported";
    rig.enterRun();
    EXPECT_TRUE(rig.comm.timers[TimerId::PPI].enabled());
}

TEST(PpiMaster, ClosedPortFailsTheHead) {
    PpiRig rig;
    rig.comm.config.setMasterCommunication(false);
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.status(), 0xA0);
}

// The master against Korvane's own PPI slave on the far end of the line, with the bytes
// going out one at a time at 9600 baud on both sides.
struct PpiPair : PpiRig {
    Log slaveLog;
    PlcMemory slaveMem;
    std::unique_ptr<Timer> window;
    std::unique_ptr<PpiSlave> slave;
    std::unique_ptr<Timer> slavePoll;
    PpiPair() {
        window = sched.createTimer("TimerPPISlaveSecReac", 70, [this] { slave->replyWindowElapsed(); });
        slave = std::make_unique<PpiSlave>(peer(), slaveMem, *window, slaveLog, [] { return true; });
        slave->setAddress(2);
        slavePoll = sched.createTimer("TimerPPISlaveRec", 1, [this] { slave->poll(sched.nowMs()); });
        slavePoll->setEnabled(true);
        peer().setByteTiming(true);
        local(ChannelId::PPI).setByteTiming(true);
    }
};

TEST(PpiMaster, ReadsAndWritesAPpiSlaveWithAnswersArrivingOverManyTicks) {
    PpiPair rig;
    for (int k = 0; k < 4; ++k) rig.slaveMem.tobit(0x10 + k, 512 + 8 * (100 + k), 8);
    rig.table(kTbl, 2, 164, 4);
    rig.exec(rig.netr, true);
    ASSERT_TRUE(rig.sched.runUntil([&] { return rig.status() != 0x40; }, 500));
    EXPECT_EQ(rig.status(), 0x80);
    EXPECT_EQ(rig.byte(kTbl + 56), 0x10);
    EXPECT_EQ(rig.byte(kTbl + 80), 0x13);

    constexpr int kTblW = 512 + 8 * 300;
    rig.table(kTblW, 2, 64 + 20, 3, {0xA1, 0xB2, 0xC3});
    CodeLine netw = makeLine("NETW", {{kTblW, kind::Byte}, {0}});
    rig.exec(netw, true);
    ASSERT_TRUE(rig.sched.runUntil([&] { return rig.status(kTblW) != 0x40; }, 500));
    EXPECT_EQ(rig.status(kTblW), 0x80);
    EXPECT_EQ(rig.slaveMem.byteAt(512 + 8 * 20), 0xA1);
    EXPECT_EQ(rig.slaveMem.byteAt(512 + 8 * 22), 0xC3);
}

// Misbehaving stations: every request ends (done, with or without error) and the queue
// never hangs.
struct Misbehaviour {
    const char* name;
    std::function<void(PpiRig&, const Bytes& got)> answer;  // called for each telegram the station receives
    int wantStatus;
};

class PpiMisbehaving : public ::testing::TestWithParam<Misbehaviour> {};

TEST_P(PpiMisbehaving, EveryRequestEnds) {
    PpiRig rig;
    for (int i = 0; i < 3; ++i) {
        const int tbl = kTbl + 8 * 16 * i;
        rig.table(tbl, 2, 164, 2);
        CodeLine l = makeLine("NETR", {{static_cast<double>(tbl), kind::Byte}, {0}});
        rig.exec(l, true);
    }
    for (int ms = 0; ms < 1000 && rig.m.ppi.queued() > 0; ++ms) {
        rig.sched.advanceBy(1);
        const Bytes got = rig.peer().take();
        if (!got.empty()) GetParam().answer(rig, got);
    }
    EXPECT_EQ(rig.m.ppi.queued(), 0u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.status(kTbl + 8 * 16 * i), GetParam().wantStatus) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Stations, PpiMisbehaving,
    ::testing::Values(
        Misbehaviour{"Silent", [](PpiRig&, const Bytes&) {}, 0xA0},
        Misbehaviour{"Garbage", [](PpiRig& r, const Bytes&) { r.peer().write(bytes({0x01, 0x02, 0x03})); }, 0xA0},
        Misbehaviour{"AcknowledgesButNeverAnswers",
                     [](PpiRig& r, const Bytes& got) {
                         if (got[0] == 0x68) r.peer().write(bytes({0xE5}));
                     },
                     0xA0},
        Misbehaviour{"AnswersForAnotherMaster",
                     [](PpiRig& r, const Bytes& got) {
                         if (got[0] == 0x68) r.peer().write(bytes({0xE5}));
                         else r.peer().write(readAnswer(bytes({1, 2}), 5));
                     },
                     0xA0},
        Misbehaviour{"AnswersTwice",
                     [](PpiRig& r, const Bytes& got) {
                         if (got[0] == 0x68) {
                             r.peer().write(bytes({0xE5}));
                         } else {
                             Bytes twice = readAnswer(bytes({1, 2}));
                             const Bytes again = twice;
                             twice.insert(twice.end(), again.begin(), again.end());
                             r.peer().write(twice);
                         }
                     },
                     0x80},
        Misbehaviour{"AnswersLate",
                     [](PpiRig& r, const Bytes& got) {
                         if (got[0] == 0x68) {
                             r.peer().injectFault({LineFault::Kind::Delay, r.peer().sent().size(), 0, 90000});
                             r.peer().write(bytes({0xE5}));
                         }
                     },
                     0xA0}),
    [](const ::testing::TestParamInfo<Misbehaviour>& i) { return std::string(i.param.name); });

}  // namespace
