#include <gtest/gtest.h>

#include "comm/ppi_slave.h"
#include "comm_test_support.h"
#include "test_support.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

// A PPI telegram: 68 LE LE 68, the body (from the destination address on), FCS, 16.
Bytes sd2(const Bytes& body) {
    Bytes t = {0x68, static_cast<std::uint8_t>(body.size()), static_cast<std::uint8_t>(body.size()), 0x68};
    t.insert(t.end(), body.begin(), body.end());
    unsigned s = 0;
    for (std::uint8_t b : body) s += b;
    t.push_back(static_cast<std::uint8_t>(s));
    t.push_back(0x16);
    return t;
}

// The S7 header and one item (bytes 4 to 30 of the telegram).
Bytes header(int fn, int size, int count, int areaCode, int bitAddress, int da = 2, int sa = 0) {
    return {static_cast<std::uint8_t>(da), static_cast<std::uint8_t>(sa), 0x6C, 0x32, 0x01, 0, 0, 0, 0, 0, 0x0E, 0,
            0, static_cast<std::uint8_t>(fn), 0x01, 0x12, 0x0A, 0x10, static_cast<std::uint8_t>(size), 0,
            static_cast<std::uint8_t>(count), 0, 0x01, static_cast<std::uint8_t>(areaCode),
            static_cast<std::uint8_t>(bitAddress >> 16), static_cast<std::uint8_t>(bitAddress >> 8),
            static_cast<std::uint8_t>(bitAddress)};
}

Bytes readTelegram(int areaCode, int bitAddress, int count) { return sd2(header(4, 2, count, areaCode, bitAddress)); }

Bytes writeTelegram(int size, int count, int areaCode, int bitAddress, int dataSize, const Bytes& data) {
    Bytes body = header(5, size, count, areaCode, bitAddress);
    body.push_back(0);
    body.push_back(static_cast<std::uint8_t>(dataSize));
    body.push_back(0);
    body.push_back(static_cast<std::uint8_t>(data.size() * (dataSize == 3 ? 1 : 8)));
    body.insert(body.end(), data.begin(), data.end());
    return sd2(body);
}

// A user-data telegram forcing output bit bitAddress to value (body bytes 37 on: 41 area,
// 43..44 bit address; the value is the last data byte).
Bytes userDataTelegram(int areaCode, int bitAddress, int value) {
    Bytes body(44, 0);
    body[0] = 2;  // DA
    body[1] = 0;  // SA
    body[2] = 0x6C;
    body[3] = 0x32;
    body[4] = 0x07;  // R[8]
    body[37] = static_cast<std::uint8_t>(areaCode);
    body[39] = static_cast<std::uint8_t>(bitAddress >> 8);
    body[40] = static_cast<std::uint8_t>(bitAddress);
    body[43] = static_cast<std::uint8_t>(value);
    return sd2(body);
}

const Bytes kPoll = {0x10, 0x02, 0x00, 0x5C, 0x5E, 0x16};

struct PpiRig {
    VirtualScheduler sched;
    FakeSerialLine line{sched};
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem;
    bool running = true;
    std::unique_ptr<Timer> window = sched.createTimer("TimerPPISlaveSecReac", 70, [this] { slave.replyWindowElapsed(); });
    PpiSlave slave{line.a(), mem, *window, log, [this] { return running; }};
    std::unique_ptr<Timer> poll = sched.createTimer("TimerPPISlaveRec", 1, [this] { slave.poll(sched.nowMs()); });
    FakeSerialPort& master = line.b();

    PpiRig() {
        log.setClock([] { return std::string("12:00:00"); });
        line.a().open();
        master.open();
        poll->setEnabled(true);
    }
    Bytes transact(const Bytes& t, int ms = 5) {
        master.write(t);
        sched.advanceBy(ms);
        return master.take();
    }
    // The request, its acknowledgement, and the answer to the poll.
    Bytes request(const Bytes& t) {
        EXPECT_EQ(hex(transact(t)), "E5");
        EXPECT_EQ(slave.state(), PpiSlave::State::AwaitingPoll);
        return transact(kPoll);
    }
};

TEST(PpiSlave, ReadOfFourBytesFromVB100) {
    PpiRig rig;
    for (int k = 0; k < 4; ++k) rig.mem.tobit(0x11 * (k + 1), VB(100 + k), 8);
    const Bytes answer = rig.request(readTelegram(0x84, 800, 4));
    Bytes want = {0x68, 25, 25, 0x68, 0x00, 0x02, 0x08, 0x32, 0x03, 0, 0, 0, 0, 0, 0x02, 0, 8, 0, 0, 0x04, 0x01,
                  0xFF, 0x04, 0x00, 0x20, 0x11, 0x22, 0x33, 0x44};
    unsigned s = 0;
    for (std::size_t k = 4; k < want.size(); ++k) s += want[k];
    want.push_back(static_cast<std::uint8_t>(s));
    want.push_back(0x16);
    EXPECT_EQ(answer.size(), 31u);
    EXPECT_EQ(hex(answer), hex(want));
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);
}

struct AreaReadCase {
    const char* name;
    int areaCode;
    int bitAddress;
    int count;
    Bytes data;
};

class PpiAreaReads : public ::testing::TestWithParam<AreaReadCase> {};

TEST_P(PpiAreaReads, DataBytes) {
    PpiRig rig;
    rig.mem.tobit(0xA1, I(0, 0), 8);
    rig.mem.tobit(0xA2, I(1, 0), 8);
    rig.mem.tobit(0xB5, Q(15, 0), 8);
    rig.mem.tobit(0xC7, area::M + 8 * 31, 8);
    const AreaReadCase& c = GetParam();
    const Bytes answer = rig.request(readTelegram(c.areaCode, c.bitAddress, c.count));
    ASSERT_EQ(answer.size(), static_cast<std::size_t>(c.count) + 27);
    EXPECT_EQ(hex(Bytes(answer.begin() + 25, answer.end() - 2)), hex(c.data));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpiAreaReads,
    ::testing::Values(AreaReadCase{"BeyondQ15StartsAtIB0", 0x82, 160, 2, {0xA1, 0xA2}},
                      AreaReadCase{"QB15AndTwoZeros", 0x82, 120, 3, {0xB5, 0, 0}},
                      AreaReadCase{"UnknownAreaStartsAtIB0", 0x05, 800, 2, {0xA1, 0xA2}},
                      AreaReadCase{"LastMByte", 0x83, 248, 2, {0xC7, 0}},
                      AreaReadCase{"AddressAbove30000IsZero", 0x84, 30008, 1, {0}},
                      AreaReadCase{"NoBytes", 0x84, 0, 0, {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PpiSlave, InStopTelegramsAreDiscarded) {
    PpiRig rig;
    rig.running = false;
    EXPECT_TRUE(rig.transact(readTelegram(0x84, 800, 4)).empty());
    EXPECT_EQ(rig.line.a().bytesWaiting(), 0u);
    EXPECT_TRUE(rig.transact(kPoll).empty());
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);
}

TEST(PpiSlave, PollAfterTheReplyWindowGetsTheShortAnswer) {
    PpiRig rig;
    EXPECT_EQ(hex(rig.transact(readTelegram(0x84, 800, 4))), "E5");
    rig.sched.advanceBy(70);
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);
    EXPECT_FALSE(rig.window->enabled());
    EXPECT_EQ(hex(rig.transact(kPoll)), "10 00 02 00 02 16");
}

TEST(PpiSlave, ShortFramesForOtherStationsAreIgnored) {
    PpiRig rig;
    EXPECT_TRUE(rig.transact({0x10, 0x03, 0x00, 0x5C, 0x5F, 0x16}).empty());
    // A poll from another master while awaiting is not answered and ends the wait.
    EXPECT_EQ(hex(rig.transact(readTelegram(0x84, 0, 1))), "E5");
    EXPECT_TRUE(rig.transact({0x10, 0x02, 0x01, 0x5C, 0x5F, 0x16}).empty());
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);
    // Anything short but not six bytes ends the wait as well.
    EXPECT_EQ(hex(rig.transact(readTelegram(0x84, 0, 1))), "E5");
    EXPECT_TRUE(rig.transact({0xE5}).empty());
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);
}

TEST(PpiSlave, FramingAndChecksumFaultsAreIgnored) {
    PpiRig rig;
    Bytes bad = readTelegram(0x84, 800, 4);
    bad[bad.size() - 2] ^= 1;
    EXPECT_TRUE(rig.transact(bad).empty());
    Bytes other = sd2(header(4, 2, 1, 0x84, 0, /*da=*/3));
    EXPECT_TRUE(rig.transact(other).empty());
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);
    EXPECT_TRUE(rig.sink.lines.empty());
}

Bytes writeAnswer() {
    Bytes w = {0x68, 0x12, 0x12, 0x68, 0x00, 0x02, 0x08, 0x32, 0x03, 0, 0, 0, 0, 0, 0x02, 0, 0x01, 0, 0, 0x05, 0x01, 0xFF};
    unsigned s = 0;
    for (std::size_t k = 4; k < w.size(); ++k) s += w[k];
    w.push_back(static_cast<std::uint8_t>(s));
    w.push_back(0x16);
    return w;
}

TEST(PpiSlave, WordWriteToVW1022DropsTheBytesBeyondV) {
    PpiRig rig;
    EXPECT_EQ(hex(rig.request(writeTelegram(4, 2, 0x84, 1022 * 8, 4, {0x12, 0x34, 0x56, 0x78}))), hex(writeAnswer()));
    EXPECT_EQ(rig.mem.byteAt(VB(1022)), 0x12);
    EXPECT_EQ(rig.mem.byteAt(VB(1023)), 0x34);
    EXPECT_EQ(rig.mem.byteAt(area::Edge), 0);
    EXPECT_EQ(rig.mem.byteAt(area::Edge + 8), 0);
}

TEST(PpiSlave, ByteAndDoubleWordWrites) {
    PpiRig rig;
    rig.request(writeTelegram(2, 2, 0x82, 14 * 8, 4, {0xAA, 0xBB}));
    EXPECT_EQ(rig.mem.byteAt(Q(14, 0)), 0xAA);
    EXPECT_EQ(rig.mem.byteAt(Q(15, 0)), 0xBB);
    rig.request(writeTelegram(6, 1, 0x83, 28 * 8, 4, {1, 2, 3, 4}));
    EXPECT_EQ(rig.mem.GetDWordValue(area::M + 28 * 8), 0x01020304);
    // Inputs are written only up to I15.7.
    rig.request(writeTelegram(2, 2, 0x81, 15 * 8, 4, {0x5A, 0x77}));
    EXPECT_EQ(rig.mem.byteAt(I(15, 0)), 0x5A);
    EXPECT_EQ(rig.mem.byteAt(Q(0, 0)), 0);
}

TEST(PpiSlave, BitWriteSetsOnlyMBits) {
    PpiRig rig;
    EXPECT_EQ(hex(rig.request(writeTelegram(1, 1, 0x83, 3, 3, {1}))), hex(writeAnswer()));
    EXPECT_TRUE(rig.mem.bit(M(0, 3)));
    EXPECT_EQ(hex(rig.request(writeTelegram(1, 1, 0x82, 3, 3, {1}))), hex(writeAnswer()));
    EXPECT_FALSE(rig.mem.bit(Q(0, 3)));
    rig.request(writeTelegram(1, 1, 0x83, 3, 3, {0}));
    EXPECT_FALSE(rig.mem.bit(M(0, 3)));
}

TEST(PpiSlave, UserDataSetsAndClearsAnOutputBit) {
    PpiRig rig;
    const Bytes answer = rig.request(userDataTelegram(0x82, 10, 1));
    ASSERT_EQ(answer.size(), 38u);
    EXPECT_EQ(hex(Bytes(answer.begin(), answer.begin() + 8)), "68 20 20 68 00 02 08 32");
    unsigned s = 0;
    for (std::size_t k = 4; k < 36; ++k) s += answer[k];
    EXPECT_EQ(answer[36], static_cast<std::uint8_t>(s));
    EXPECT_EQ(answer[37], 0x16);
    EXPECT_TRUE(rig.mem.bit(Q(1, 2)));
    rig.request(userDataTelegram(0x82, 10, 5));
    EXPECT_TRUE(rig.mem.bit(Q(1, 2)));
    rig.request(userDataTelegram(0x82, 10, 0));
    EXPECT_FALSE(rig.mem.bit(Q(1, 2)));
    // Another area: only the bare acknowledgement comes back on the poll.
    EXPECT_EQ(hex(rig.request(userDataTelegram(0x83, 10, 1))), "E5");
    EXPECT_FALSE(rig.mem.bit(M(1, 2)));
}

TEST(PpiSlave, IllegalRequestsAreLoggedAndNotAnswered) {
    PpiRig rig;
    // A read that no length byte can frame.
    EXPECT_EQ(hex(rig.request(readTelegram(0x84, 0, 235))), "E5");
    // A word write whose data are missing: nothing is written.
    EXPECT_EQ(hex(rig.request(writeTelegram(4, 3, 0x84, 0, 4, {1, 2}))), "E5");
    EXPECT_EQ(rig.mem.byteAt(VB(0)), 0);
    EXPECT_EQ(rig.sink.lines, (std::vector<std::string>{"12:00:00 PPI数据包非法", "12:00:00 PPI数据包非法"}));
}

TEST(PpiSlave, ATelegramSplitOverPollsIsPutTogether) {
    PpiRig rig;
    rig.mem.tobit(0x42, VB(7), 8);
    const Bytes t = readTelegram(0x84, 56, 1);
    rig.master.write(std::span(t).first(2));
    rig.sched.advanceBy(2);
    rig.master.write(std::span(t).subspan(2, 20));
    rig.sched.advanceBy(2);
    EXPECT_TRUE(rig.master.take().empty());
    rig.master.write(std::span(t).subspan(22));
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.master.take()), "E5");
    // Byte by byte at 9600 baud, the poll too.
    rig.master.setByteTiming(true);
    EXPECT_EQ(rig.transact(kPoll, 20)[25], 0x42);
    EXPECT_EQ(hex(rig.transact(t, 60)), "E5");
    EXPECT_EQ(rig.transact(kPoll, 20).size(), 28u);
}

TEST(PpiSlave, AnIncompleteTelegramIsHandledOnceTheLineIsSilent) {
    PpiRig rig;
    const Bytes t = readTelegram(0x84, 0, 1);
    EXPECT_EQ(hex(rig.transact(t)), "E5");
    rig.master.write(std::span(t).first(10));  // the rest never comes
    rig.sched.advanceBy(3);
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::AwaitingPoll);
    rig.sched.advanceBy(5);
    EXPECT_EQ(rig.slave.state(), PpiSlave::State::Idle);  // a short frame ends the wait
    EXPECT_EQ(rig.slave.pendingBytes(), 0u);
}

}  // namespace
