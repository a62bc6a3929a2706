#include <gtest/gtest.h>

#include "comm/modbus_crc.h"
#include "comm/modbus_slave.h"
#include "comm_test_support.h"
#include "test_support.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

struct ModbusRig {
    VirtualScheduler sched;
    FakeSerialLine line{sched};
    PlcMemory mem;
    ModbusSlave slave{line.a(), mem};
    std::unique_ptr<Timer> poll = sched.createTimer("TimerModbusSlave", 1, [this] { slave.poll(sched.nowMs()); });
    FakeSerialPort& master = line.b();

    explicit ModbusRig(std::uint8_t address = 1) {
        slave.setAddress(address);
        line.a().setSettings("9600,E,8,1");
        master.setSettings("9600,E,8,1");
        line.a().open();
        master.open();
        poll->setEnabled(true);
    }
    // Sends bytes and returns what came back within ms.
    Bytes transact(const Bytes& request, int ms = 20) {
        master.write(request);
        sched.advanceBy(ms);
        return master.take();
    }
    void setWord(int keyOfByte, int value) {
        mem.tobit(value, keyOfByte, 16);
    }
};

TEST(ModbusCrc, MatchesTheSerialLineCrc) {
    const Bytes req = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    const ModbusCrc c = modbusCrc(req);
    EXPECT_EQ(c.lo, 0x84);
    EXPECT_EQ(c.hi, 0x0A);
    const Bytes check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};  // CRC-16/MODBUS 0x4B37
    EXPECT_EQ(modbusCrc(check).lo, 0x37);
    EXPECT_EQ(modbusCrc(check).hi, 0x4B);
    EXPECT_TRUE(modbusCrcOk(withCrc({0x11, 0x05, 0x00, 0xAC, 0xFF, 0x00})));
    EXPECT_FALSE(modbusCrcOk(Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x84}));
    EXPECT_EQ(GetCRCHi(1), 0xC1);
    EXPECT_EQ(GetCRCLo(1), 0xC0);
}

TEST(ModbusSlave, AnswersTheReadOfVW0) {
    ModbusRig rig;
    rig.setWord(VB(0), 0x1234);
    const Bytes answer = rig.transact({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A});
    EXPECT_EQ(hex(answer), hex(withCrc({0x01, 0x03, 0x02, 0x12, 0x34})));
    EXPECT_EQ(rig.line.a().writes(), 1u);  // one write per response
}

struct ReadCase {
    const char* name;
    Bytes request;  // without CRC
    Bytes answer;   // without CRC; empty: no answer
};

class ModbusReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ModbusReads, AnswerMatches) {
    ModbusRig rig(2);
    // Q15.0..Q15.7 = 1010 0101 (bit 0 first), I1.0 and I1.3 on, VW1020 = 0xA1B2,
    // VW1022 = 0xC3D4, AIW60 = 0x0102, AIW62 = 0x0304, VW0 = 0x0506.
    for (int j : {0, 2, 5, 7}) rig.mem.setBit(Q(15, j), true);
    rig.mem.setBit(I(1, 0), true);
    rig.mem.setBit(I(1, 3), true);
    rig.setWord(VB(1020), 0xA1B2);
    rig.setWord(VB(1022), 0xC3D4);
    rig.setWord(area::AIW + 8 * 60, 0x0102);
    rig.setWord(area::AIW + 8 * 62, 0x0304);
    rig.setWord(VB(0), 0x0506);
    Bytes req = GetParam().request;
    appendModbusCrc(req);
    Bytes want = GetParam().answer;
    if (!want.empty()) appendModbusCrc(want);
    EXPECT_EQ(hex(rig.transact(req)), hex(want));
}

Bytes longRead(int n) {
    Bytes b(3 + 2 * static_cast<std::size_t>(n), 0);
    b[0] = 0x02;
    b[1] = 0x03;
    b[2] = static_cast<std::uint8_t>(2 * n);
    b[3] = 0x05;  // VW0
    b[4] = 0x06;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModbusReads,
    ::testing::Values(
        ReadCase{"CoilsCutAt127", {2, 1, 0, 120, 0, 16}, {2, 1, 2, 0xA5, 0x00}},
        ReadCase{"CoilsAcrossTheEnd", {2, 1, 0, 124, 0, 8}, {2, 1, 1, 0x0A}},
        ReadCase{"CoilsBeyond127AreZero", {2, 1, 0, 200, 0, 3}, {2, 1, 1, 0x00}},
        ReadCase{"CoilsQuantityZero", {2, 1, 0, 0, 0, 0}, {2, 1, 0}},
        ReadCase{"CoilsPartialLastByte", {2, 1, 0, 122, 0, 3}, {2, 1, 1, 0x01}},
        ReadCase{"DiscreteInputs", {2, 2, 0, 8, 0, 4}, {2, 2, 1, 0x09}},
        ReadCase{"CoilsAbove2040Unanswered", {2, 1, 0, 0, 0x07, 0xF9}, {}},
        ReadCase{"HoldingAcrossTheEnd", {2, 3, 0x01, 0xFE, 0, 4}, {2, 3, 8, 0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 0}},
        ReadCase{"InputRegisters30And31", {2, 4, 0, 30, 0, 2}, {2, 4, 4, 0x01, 0x02, 0x03, 0x04}},
        ReadCase{"InputRegisterBeyond31", {2, 4, 0, 32, 0, 1}, {2, 4, 2, 0, 0}},
        ReadCase{"Holding127Registers", {2, 3, 0, 0, 0, 127}, longRead(127)},
        ReadCase{"Holding128Unanswered", {2, 3, 0, 0, 0, 128}, {}},
        ReadCase{"UnknownFunctionUnanswered", {2, 7, 0, 0, 0, 1}, {}},
        ReadCase{"OtherStationIgnored", {3, 3, 0, 0, 0, 1}, {}},
        ReadCase{"BroadcastIgnored", {0, 3, 0, 0, 0, 1}, {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ModbusSlave, WriteSingleCoilEchoesAndSetsOnlyOnFF00Or0000) {
    ModbusRig rig;
    const Bytes on = withCrc({1, 5, 0, 5, 0xFF, 0x00});
    EXPECT_EQ(rig.transact(on), on);
    EXPECT_TRUE(rig.mem.bit(Q(0, 5)));
    const Bytes odd = withCrc({1, 5, 0, 5, 0x12, 0x34});
    EXPECT_EQ(rig.transact(odd), odd);
    EXPECT_TRUE(rig.mem.bit(Q(0, 5)));
    const Bytes off = withCrc({1, 5, 0, 5, 0x00, 0x00});
    EXPECT_EQ(rig.transact(off), off);
    EXPECT_FALSE(rig.mem.bit(Q(0, 5)));
    const Bytes beyond = withCrc({1, 5, 0, 128, 0xFF, 0x00});
    EXPECT_EQ(rig.transact(beyond), beyond);
    EXPECT_FALSE(rig.mem.bit(area::M));  // coil 128 would be M0.0
}

TEST(ModbusSlave, WriteSingleRegister) {
    ModbusRig rig;
    const Bytes req = withCrc({1, 6, 0x01, 0xFF, 0xBE, 0xEF});
    EXPECT_EQ(rig.transact(req), req);
    EXPECT_EQ(rig.mem.GetWordValue(VB(1022)), 0xBEEF);
    const Bytes beyond = withCrc({1, 6, 0x02, 0x00, 0x11, 0x22});
    PlcMemory before = rig.mem;
    EXPECT_EQ(rig.transact(beyond), beyond);
    EXPECT_TRUE(std::equal(before.cells(), before.cells() + area::CellCount, rig.mem.cells()));
}

TEST(ModbusSlave, WriteMultipleCoilsIsCutAtQ15_7) {
    ModbusRig rig;
    const Bytes req = withCrc({1, 15, 0, 125, 0, 8, 1, 0xFF});
    EXPECT_EQ(hex(rig.transact(req)), hex(withCrc({1, 15, 0, 125, 0, 8})));
    for (int j = 0; j < 8; ++j) EXPECT_EQ(rig.mem.bit(Q(15, j)), j >= 5) << j;
    EXPECT_FALSE(rig.mem.bit(area::M));
    // Bits are taken least significant first across data bytes.
    rig.transact(withCrc({1, 15, 0, 0, 0, 10, 2, 0x81, 0x02}));
    EXPECT_EQ(rig.mem.byteAt(Q(0, 0)), 0x81);
    EXPECT_FALSE(rig.mem.bit(Q(1, 0)));
    EXPECT_TRUE(rig.mem.bit(Q(1, 1)));
}

TEST(ModbusSlave, WriteMultipleRegistersIsCutAtVW1022) {
    ModbusRig rig;
    const Bytes req = withCrc({1, 16, 0x01, 0xFF, 0, 2, 4, 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(hex(rig.transact(req)), hex(withCrc({1, 16, 0x01, 0xFF, 0, 2})));
    EXPECT_EQ(rig.mem.GetWordValue(VB(1022)), 0x1234);
    EXPECT_EQ(rig.mem.byteAt(area::Edge), 0);
}

TEST(ModbusSlave, InconsistentByteCountsAreRefused) {
    ModbusRig rig;
    // On the line the scanner does not take them; served directly they are refused.
    for (const Bytes& req : {withCrc({1, 16, 0, 0, 0, 2, 3, 1, 2, 3}), withCrc({1, 15, 0, 0, 0, 9, 1, 0xFF}),
                             withCrc({1, 16, 0, 0, 0, 2, 4, 1, 2})}) {
        EXPECT_TRUE(rig.transact(req).empty()) << hex(req);
        EXPECT_EQ(rig.slave.ModbusSlaveCom(req), 0) << hex(req);
    }
    EXPECT_EQ(rig.mem.GetWordValue(VB(0)), 0);
    EXPECT_EQ(rig.slave.ModbusSlaveCom({}), 0);
}

TEST(ModbusSlave, SingleWriteEchoCarriesItsOwnCrcWhenServedFromALongerFrame) {
    ModbusRig rig;
    // A frame whose CRC covers more than the eight bytes of a single write.
    for (const std::uint8_t fn : {std::uint8_t{5}, std::uint8_t{6}}) {
        const Bytes longer = withCrc({1, fn, 0, 2, 0xFF, 0x00, 0x11, 0x22, 0x33});
        ASSERT_EQ(rig.slave.ModbusSlaveCom(longer), 1);
        rig.sched.advanceBy(20);
        const Bytes echo = rig.master.take();
        EXPECT_EQ(hex(echo), hex(withCrc({1, fn, 0, 2, 0xFF, 0x00}))) << int(fn);
    }
}

TEST(ModbusSlave, WrongCrcIsNotAnswered) {
    ModbusRig rig;
    Bytes req = withCrc({1, 6, 0, 0, 0x12, 0x34});
    req.back() ^= 1;
    EXPECT_TRUE(rig.transact(req).empty());
    EXPECT_EQ(rig.mem.GetWordValue(VB(0)), 0);
    EXPECT_EQ(rig.slave.ModbusSlaveCom(req), 0);
}

TEST(ModbusSlave, SeveralRequestsInOneBufferAreServedInOrder) {
    ModbusRig rig;
    Bytes buf = {0x55, 0x01};  // noise, including a stray own address
    const Bytes write = withCrc({1, 6, 0, 3, 0, 7});
    const Bytes read = withCrc({1, 3, 0, 3, 0, 1});
    const Bytes coils = withCrc({1, 15, 0, 0, 0, 1, 1, 1});
    for (const Bytes* p : {&write, &read, &coils}) buf.insert(buf.end(), p->begin(), p->end());
    Bytes want = write;
    for (const Bytes& b : {withCrc({1, 3, 2, 0, 7}), withCrc({1, 15, 0, 0, 0, 1})}) want.insert(want.end(), b.begin(), b.end());
    EXPECT_EQ(hex(rig.transact(buf)), hex(want));
    EXPECT_EQ(rig.line.a().writes(), 3u);
    EXPECT_EQ(rig.slave.pendingBytes(), 0u);
}

TEST(ModbusSlave, ARequestSplitOverTwoPollsIsServed) {
    ModbusRig rig;
    rig.setWord(VB(0), 0x4321);
    const Bytes req = withCrc({1, 3, 0, 0, 0, 1});
    rig.master.write(std::span(req).first(3));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.slave.pendingBytes(), 3u);
    rig.master.write(std::span(req).subspan(3));
    rig.sched.advanceBy(2);
    EXPECT_EQ(hex(rig.master.take()), hex(withCrc({1, 3, 2, 0x43, 0x21})));
}

TEST(ModbusSlave, ByteByByteDeliveryIsServed) {
    for (const char* speed : {"9600,E,8,1", "57600,N,8,1"}) {
        ModbusRig rig;
        rig.master.setSettings(speed);
        rig.line.a().setSettings(speed);
        rig.master.setByteTiming(true);
        rig.setWord(VB(20), 0x0A0B);
        const Bytes write = withCrc({1, 16, 0, 9, 0, 1, 2, 0x77, 0x66});
        EXPECT_EQ(hex(rig.transact(write, 30)), hex(withCrc({1, 16, 0, 9, 0, 1}))) << speed;
        EXPECT_EQ(hex(rig.transact(withCrc({1, 3, 0, 10, 0, 1}), 30)), hex(withCrc({1, 3, 2, 0x0A, 0x0B}))) << speed;
        EXPECT_EQ(rig.mem.GetWordValue(VB(18)), 0x7766);
    }
}

TEST(ModbusSlave, AFragmentIsDroppedAfterThreeAndAHalfSilentCharacters) {
    ModbusRig rig;  // 9600,E,8,1: 3.5 characters are about 4 ms
    const Bytes req = withCrc({1, 6, 0, 0, 0x12, 0x34});
    rig.master.write(std::span(req).first(5));
    rig.sched.advanceBy(10);
    EXPECT_EQ(rig.slave.pendingBytes(), 0u);
    rig.master.write(std::span(req).subspan(5));
    rig.sched.advanceBy(10);
    EXPECT_TRUE(rig.master.take().empty());
    EXPECT_EQ(rig.mem.GetWordValue(VB(0)), 0);
    // The next whole request is served as usual.
    EXPECT_EQ(rig.transact(req), req);
    // A gap on the line inside a frame (fault injection) has the same effect.
    rig.master.setByteTiming(true);
    rig.master.injectFault({LineFault::Kind::Delay, rig.master.sent().size() + 4, 0, 8000});
    EXPECT_TRUE(rig.transact(withCrc({1, 6, 0, 1, 0, 1}), 40).empty());
    EXPECT_EQ(rig.mem.GetWordValue(VB(2)), 0);
}

TEST(ModbusSlave, ACorruptedByteCostsOnlyThatRequest) {
    ModbusRig rig;
    rig.master.injectFault({LineFault::Kind::Corrupt, 3, 0x10, 0});
    Bytes two = withCrc({1, 6, 0, 0, 0, 1});
    const Bytes second = withCrc({1, 6, 0, 1, 0, 2});
    two.insert(two.end(), second.begin(), second.end());
    EXPECT_EQ(hex(rig.transact(two)), hex(second));
    EXPECT_EQ(rig.mem.GetWordValue(VB(0)), 0);
    EXPECT_EQ(rig.mem.GetWordValue(VB(2)), 2);
}

TEST(ModbusSlave, ClosedChannelIsNotServed) {
    ModbusRig rig;
    rig.line.a().close();
    EXPECT_TRUE(rig.transact(withCrc({1, 3, 0, 0, 0, 1})).empty());
}

}  // namespace
