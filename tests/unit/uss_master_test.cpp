#include <gtest/gtest.h>

#include "master_rig.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

constexpr int M_(int byte, int bit) { return 256 + 8 * byte + bit; }
Operand op(int key, int k = kind::Constant) { return {static_cast<double>(key), k}; }
constexpr int VKey(int byte) { return 512 + 8 * byte; }

// The operands of one drive's USS_CTRL call: commands in MB(base), outputs from MB(base + 1).
struct DriveOperands {
    int drive;
    int cmd;    // M byte of RUN, OFF2, OFF3, F_ACK, DIR (bits 0 to 4)
    int out;    // M byte of Resp_R, Run_EN, D_Dir, Inhibit, Fault (bits 0 to 4)
    int error;  // MB
    int sp;     // VD of Speed_SP
    int status; // VW
    int speed;  // VD
};
const DriveOperands kDrive0{0, 1, 6, 7, 100, 10, 20};
const DriveOperands kDrive2{2, 2, 8, 9, 104, 30, 40};

Line ussCtrl(const DriveOperands& d) {
    return {"CALL",
            {{library::USS_CTRL},
             op(M_(d.cmd, 0)), op(M_(d.cmd, 1)), op(M_(d.cmd, 2)), op(M_(d.cmd, 3)), op(M_(d.cmd, 4)),
             op(d.drive), {1},
             op(VKey(d.sp), kind::DWord),
             op(M_(d.out, 0)),
             op(M_(d.error, 0), kind::Byte),
             op(VKey(d.status), kind::Word),
             op(VKey(d.speed), kind::DWord),
             op(M_(d.out, 1)), op(M_(d.out, 2)), op(M_(d.out, 3)), op(M_(d.out, 4))}};
}

// Drive 0's USS_CTRL runs with power flow while M0.0 is on, drive 2's while M0.1 is on;
// Q0.0 copies drive 0's Resp_R during the pass.
struct UssRig : MasterRig {
    UssRig() {
        c.program({{"Network", {{1}}},
                   {"LD", {op(M_(0, 0))}},
                   ussCtrl(kDrive0),
                   {"Network", {{2}}},
                   {"LD", {op(M_(0, 1))}},
                   ussCtrl(kDrive2),
                   {"Network", {{3}}},
                   {"LD", {op(M_(kDrive0.out, 0))}},
                   {"=", {{128}}}});
        open(MasterProtocol::USS);
        enterRun();
    }
    void init(double mode, double baud, double active) {
        CodeLine l = makeLine("CALL", {{library::USS_INIT}, {mode}, {baud}, {active}});
        exec(l, true);
    }
    FakeSerialPort& peer() { return MasterRig::peer(ChannelId::USS); }
    // Drive 0 active at 9600 baud with RUN on: its first request has gone out and the peer
    // has taken it, so the next bytes the peer writes are the answer.
    void firstRequestTaken() {
        init(1, 9600, 1);
        c.set(M_(0, 0), true);
        c.pass();
        sched.advanceBy(2);
        peer().take();
    }
    // Telegrams the drives received so far, one per entry.
    std::vector<Bytes> telegrams() {
        Bytes all = peer().take();
        std::vector<Bytes> out;
        for (std::size_t i = 0; i + 14 <= all.size(); i += 14) out.emplace_back(all.begin() + static_cast<long>(i), all.begin() + static_cast<long>(i) + 14);
        return out;
    }
    void run(int ms) {
        for (int t = 0; t < ms; ++t) {
            sched.advanceBy(1);
            if (t % 10 == 0) c.pass();
        }
    }
};

Bytes answer(int adr, int stHi, int stLo, int spHi, int spLo) {
    Bytes r = {0x02, 0x0C, static_cast<std::uint8_t>(adr), 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(stHi),
               static_cast<std::uint8_t>(stLo), static_cast<std::uint8_t>(spHi), static_cast<std::uint8_t>(spLo)};
    std::uint8_t x = 0;
    for (std::uint8_t b : r) x = static_cast<std::uint8_t>(x ^ b);
    r.push_back(x);
    return r;
}

TEST(UssMaster, InitSetsTheLineAndTheActiveDrives) {
    UssRig rig;
    rig.init(1, 19200, 5);
    EXPECT_TRUE(rig.m.uss.enabled());
    EXPECT_EQ(rig.comm.channels[ChannelId::USS].settings(), "19200,E,8,1");
    EXPECT_EQ(rig.m.uss.speedText(), "19200");
    EXPECT_EQ(rig.m.uss.settingsText(), "19200,E,8,1");
    for (int n = 0; n < 32; ++n) EXPECT_EQ(rig.m.uss.drive(n).active, n == 0 || n == 2) << n;
    rig.init(1, 14400, 5);  // not a USS speed: the line stays
    EXPECT_EQ(rig.comm.channels[ChannelId::USS].settings(), "19200,E,8,1");
    rig.init(2, 9600, 5);
    EXPECT_FALSE(rig.m.uss.enabled());
}

struct WordCase {
    bool run, off2, off3, fAck, dir;
    std::uint16_t word;
};
class UssControlWords : public ::testing::TestWithParam<WordCase> {};
TEST_P(UssControlWords, Bits) {
    const WordCase& w = GetParam();
    EXPECT_EQ(ussControlWord(w.run, w.off2, w.off3, w.fAck, w.dir), w.word);
}
INSTANTIATE_TEST_SUITE_P(Commands, UssControlWords,
                         ::testing::Values(WordCase{true, false, false, false, true, 0x0C7F},
                                           WordCase{false, false, false, false, false, 0x047E},
                                           WordCase{true, true, true, true, false, 0x04F9},
                                           WordCase{false, true, false, false, false, 0x047C},
                                           WordCase{false, false, true, false, false, 0x047A}));

TEST(UssMaster, TelegramByteForByte) {
    UssRig rig;
    rig.init(1, 9600, 1);
    rig.c.set(M_(0, 0), true);
    rig.c.set(M_(1, 0), true);  // RUN
    rig.c.set(M_(1, 4), true);  // DIR
    rig.setByte(VKey(102), 0x40);
    rig.setByte(VKey(103), 0x00);
    rig.c.pass();
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.peer().take()), "02 0C 00 00 00 00 00 00 00 0C 7F 40 00 3D");
}

TEST(UssMaster, AnswerIsDecodedFromTheEndAndPulsesRespR) {
    UssRig rig;
    rig.init(1, 9600, 1);
    rig.c.set(M_(0, 0), true);
    rig.c.pass();
    rig.sched.advanceBy(2);
    ASSERT_EQ(rig.telegrams().size(), 1u);
    rig.setByte(M_(kDrive0.error, 0), 9);
    rig.peer().write(bytes({0x02, 0x0C, 0x00, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78, 0x06}));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.byte(M_(kDrive0.error, 0)), 0);
    EXPECT_EQ(rig.byte(VKey(10)), 0x12);
    EXPECT_EQ(rig.byte(VKey(11)), 0x34);
    EXPECT_EQ(rig.byte(VKey(22)), 0x56);
    EXPECT_EQ(rig.byte(VKey(23)), 0x78);
    EXPECT_TRUE(rig.c.bit(M_(kDrive0.out, 1))) << "Run_EN, bit 2 of 34";
    EXPECT_FALSE(rig.c.bit(M_(kDrive0.out, 2)));
    EXPECT_FALSE(rig.c.bit(M_(kDrive0.out, 4)));
    EXPECT_FALSE(rig.c.bit(128));
    rig.c.pass();
    EXPECT_TRUE(rig.c.bit(128)) << "Resp_R on during the next pass";
    EXPECT_FALSE(rig.c.bit(M_(kDrive0.out, 0))) << "and off after it";
    rig.c.pass();
    EXPECT_FALSE(rig.c.bit(128));
}

struct StatusCase {
    int lo, hi;
    bool runEn, dDir, fault;
};
class UssStatusBits : public ::testing::TestWithParam<StatusCase> {};
TEST_P(UssStatusBits, OutputBits) {
    UssRig rig;
    rig.firstRequestTaken();
    rig.peer().write(answer(0, GetParam().hi, GetParam().lo, 0, 0));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.c.bit(M_(kDrive0.out, 1)), GetParam().runEn);
    EXPECT_EQ(rig.c.bit(M_(kDrive0.out, 2)), GetParam().dDir);
    EXPECT_EQ(rig.c.bit(M_(kDrive0.out, 4)), GetParam().fault);
}
INSTANTIATE_TEST_SUITE_P(Words, UssStatusBits,
                         ::testing::Values(StatusCase{0x06, 0x00, true, false, false},
                                           StatusCase{0x0A, 0x00, false, false, true},
                                           StatusCase{0x00, 0x40, false, true, false},
                                           StatusCase{0xFF, 0xFF, true, true, true}));

TEST(UssMaster, LongerParameterAreaIsAccepted) {
    UssRig rig;
    rig.firstRequestTaken();
    Bytes r = {0x02, 0x0E, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x04, 0x01, 0x02};
    std::uint8_t x = 0;
    for (std::uint8_t b : r) x = static_cast<std::uint8_t>(x ^ b);
    r.push_back(x);
    rig.peer().write(r);
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.byte(VKey(11)), 0x04);
    EXPECT_EQ(rig.byte(VKey(22)), 0x01);
    EXPECT_EQ(rig.byte(VKey(23)), 0x02);
}

TEST(UssMaster, DrivesArePolledInTurn) {
    UssRig rig;
    rig.init(1, 9600, 5);
    rig.c.set(M_(0, 0), true);
    rig.c.set(M_(0, 1), true);
    std::vector<int> order;
    for (int t = 0; t < 400 && order.size() < 6; ++t) {
        if (t % 10 == 0) rig.c.pass();
        rig.sched.advanceBy(1);
        for (const Bytes& tg : rig.telegrams()) {
            order.push_back(tg[2]);
            rig.peer().write(answer(tg[2], 0, 0, 0, 0));
        }
    }
    EXPECT_EQ(order, (std::vector<int>{0, 2, 0, 2, 0, 2}));

    // Only drive 0 keeps being called: only drive 0 is polled.
    rig.c.set(M_(0, 1), false);
    order.clear();
    for (int t = 0; t < 400 && order.size() < 4; ++t) {
        if (t % 10 == 0) rig.c.pass();
        rig.sched.advanceBy(1);
        for (const Bytes& tg : rig.telegrams()) {
            order.push_back(tg[2]);
            rig.peer().write(answer(tg[2], 0, 0, 0, 0));
        }
    }
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(std::count(order.begin() + 1, order.end(), 2), 0);
}

TEST(UssMaster, NoAnswerTimesOutAndMovesOn) {
    UssRig rig;
    rig.init(1, 9600, 5);
    rig.c.set(M_(0, 0), true);
    rig.c.set(M_(0, 1), true);
    rig.c.pass();
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.telegrams().size(), 1u);
    rig.sched.advanceBy(65);
    EXPECT_EQ(rig.byte(M_(kDrive0.error, 0)), 0);
    EXPECT_TRUE(rig.telegrams().empty());
    rig.sched.advanceBy(6);
    EXPECT_EQ(rig.byte(M_(kDrive0.error, 0)), 1);
    rig.sched.advanceBy(2);
    const auto next = rig.telegrams();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0][2], 2);
}

struct BadAnswer {
    const char* name;
    Bytes answer;
};
class UssBadAnswers : public ::testing::TestWithParam<BadAnswer> {};
TEST_P(UssBadAnswers, IgnoredUntilTheTimeout) {
    UssRig rig;
    rig.firstRequestTaken();
    rig.peer().write(GetParam().answer);
    rig.sched.advanceBy(10);
    EXPECT_TRUE(rig.m.uss.drive(0).replyAwaited);
    EXPECT_EQ(rig.byte(VKey(10)), 0);
    rig.sched.advanceBy(70);
    EXPECT_EQ(rig.byte(M_(kDrive0.error, 0)), 1);
}
Bytes withBadBcc() {
    Bytes r = answer(0, 0x12, 0x34, 0, 0);
    r.back() ^= 1;
    return r;
}
INSTANTIATE_TEST_SUITE_P(
    Cases, UssBadAnswers,
    ::testing::Values(BadAnswer{"OtherDrive", answer(3, 0x12, 0x34, 0, 0)}, BadAnswer{"WrongBcc", withBadBcc()},
                      BadAnswer{"LgeTooShort", bytes({0x02, 0x0A, 0x00, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 0, 0x20})},
                      BadAnswer{"WrongStart", bytes({0x03, 0x0C, 0x00, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 0, 0x31})},
                      BadAnswer{"TooShort", bytes({0x02, 0x03, 0x00, 0x12, 0x34})},
                      BadAnswer{"Garbage", bytes({0xFF, 0x00, 0xAA})}),
    [](const ::testing::TestParamInfo<BadAnswer>& i) { return std::string(i.param.name); });

TEST(UssMaster, AnswerArrivingOverSeveralTicksIsJoined) {
    UssRig rig;
    rig.firstRequestTaken();
    rig.peer().setByteTiming(true);  // 14 bytes at 9600,E,8,1: about 16 ms
    rig.peer().write(answer(0, 0x12, 0x34, 0x56, 0x78));
    rig.sched.advanceBy(8);
    EXPECT_TRUE(rig.m.uss.drive(0).replyAwaited);
    EXPECT_EQ(rig.byte(VKey(10)), 0);
    rig.sched.advanceBy(12);
    EXPECT_EQ(rig.byte(VKey(10)), 0x12);
    EXPECT_EQ(rig.byte(VKey(23)), 0x78);
    EXPECT_EQ(rig.telegrams().size(), 1u) << "the next poll went out after the answer";
    EXPECT_EQ(rig.byte(M_(kDrive0.error, 0)), 0);
}

TEST(UssMaster, ActiveZeroSendsNothing) {
    UssRig rig;
    rig.init(1, 9600, 0);
    rig.c.set(M_(0, 0), true);
    rig.run(200);
    EXPECT_EQ(rig.local(ChannelId::USS).writes(), 0u);
}

TEST(UssMaster, StopAndRunNeedInitAgain) {
    UssRig rig;
    rig.init(1, 9600, 1);
    rig.c.set(M_(0, 0), true);
    rig.run(20);
    EXPECT_GT(rig.local(ChannelId::USS).writes(), 0u);
    rig.enterStop();
    rig.enterRun();
    const auto before = rig.local(ChannelId::USS).writes();
    rig.run(300);
    EXPECT_EQ(rig.local(ChannelId::USS).writes(), before);
    EXPECT_FALSE(rig.comm.timers[TimerId::USSRec].enabled());
}

TEST(UssMaster, NothingOutsideRunAndOnAnotherProtocol) {
    UssRig rig;
    rig.init(1, 9600, 1);
    rig.c.set(M_(0, 0), true);
    rig.c.pass();
    rig.running = false;
    rig.sched.advanceBy(50);
    EXPECT_EQ(rig.local(ChannelId::USS).writes(), 0u);

    MasterRig other;
    other.open(MasterProtocol::ModbusRtu);
    CodeLine init = makeLine("CALL", {{library::USS_INIT}, {1}, {9600}, {1}});
    other.exec(init, true);
    EXPECT_TRUE(other.logged("警告：PORT0口未配置成USS模式，而程序中有USS_INIT指令，指令将不被执行"));
    EXPECT_FALSE(other.m.uss.enabled());
    Line l = ussCtrl(kDrive0);
    CodeLine ctl = makeLine("CALL", {});
    for (std::size_t k = 0; k < l.operands.size(); ++k) ctl.setOperand(static_cast<int>(k), l.operands[k].number, l.operands[k].kind);
    other.exec(ctl, true);
    EXPECT_TRUE(other.logged("警告：PORT0口未配置成USS模式，而程序中有USS_CTRL指令，指令将不被执行"));
    EXPECT_FALSE(other.m.uss.drive(0).called);
}

TEST(UssMaster, ClosingThePortForgetsAwaitedAnswers) {
    UssRig rig;
    rig.init(1, 9600, 1);
    rig.c.set(M_(0, 0), true);
    rig.c.pass();
    rig.sched.advanceBy(2);
    ASSERT_TRUE(rig.m.uss.drive(0).replyAwaited);
    rig.comm.config.setMasterCommunication(false);
    EXPECT_FALSE(rig.m.uss.drive(0).replyAwaited);
}

}  // namespace
