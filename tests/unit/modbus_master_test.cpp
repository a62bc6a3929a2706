#include <gtest/gtest.h>

#include "master_rig.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

constexpr int kMode = 256 + 16;       // M2.0
constexpr int kCtrlDone = 256 + 17;   // M2.1
constexpr int kCtrlError = 256 + 24;  // MB3
constexpr int kFirst = 256 + 32;      // M4.0
constexpr int kDone = 256 + 33;       // M4.1
constexpr int kError = 256 + 40;      // MB5
constexpr int kData = 512 + 8 * 100;  // VB100
constexpr double kDataPtr = 64 + 100;  // &VB100

CodeLine ctrl(double baud, double parity, double timeout) {
    return makeLine("CALL", {{library::MBUS_CTRL}, {kMode}, {baud}, {parity}, {timeout}, {kCtrlDone}, {kCtrlError, kind::Byte}});
}
CodeLine msg(int slave, int rw, long addr, int count) {
    return makeLine("CALL", {{library::MBUS_MSG}, {kFirst}, {static_cast<double>(slave)}, {static_cast<double>(rw)},
                             {static_cast<double>(addr)}, {static_cast<double>(count)}, {kDataPtr}, {kDone},
                             {kError, kind::Byte}});
}

struct ModbusRig : MasterRig {
    ModbusRig(bool init = true) {
        open(MasterProtocol::ModbusRtu);
        enterRun();
        c.mem.setBit(kMode, true);
        c.mem.setBit(kFirst, true);
        if (init) {
            CodeLine l = ctrl(9600, 0, 100);
            exec(l, true);
        }
    }
    FakeSerialPort& peer() { return MasterRig::peer(ChannelId::MODBUS); }
    SerialChannel& channel() { return comm.channels[ChannelId::MODBUS]; }
    Bytes send(int slave, int rw, long addr, int count) {
        CodeLine l = msg(slave, rw, addr, count);
        exec(l, true);
        sched.advanceBy(1);
        return peer().take();
    }
    bool done() const { return c.mem.bit(kDone); }
    int error() const { return byte(kError); }
};

TEST(ModbusMaster, CtrlEnablesAndSetsTheLine) {
    ModbusRig rig(false);
    CodeLine l = ctrl(19200, 2, 500);
    rig.exec(l, true);
    EXPECT_TRUE(rig.m.modbus.enabled());
    EXPECT_EQ(rig.channel().settings(), "19200,E,8,1");
    EXPECT_TRUE(rig.c.mem.bit(kCtrlDone));
    EXPECT_EQ(rig.byte(kCtrlError), 0);
    EXPECT_EQ(rig.comm.timers[TimerId::MODBUS].interval(), 500);
    EXPECT_EQ(rig.m.modbus.speedText(), "19200");
    EXPECT_EQ(rig.m.modbus.timeoutText(), "500");
    EXPECT_EQ(rig.m.modbus.settingsText(), "19200,E,8,1");
}

TEST(ModbusMaster, ParityTwoChangesOnlyTheParity) {
    ModbusRig rig(false);
    ASSERT_EQ(rig.channel().settings(), "9600,N,8,1");
    CodeLine l = ctrl(9600, 2, 100);
    rig.exec(l, true);
    EXPECT_EQ(rig.channel().settings(), "9600,E,8,1");
    CodeLine odd = ctrl(9600, 1, 100);
    rig.exec(odd, true);
    EXPECT_EQ(rig.channel().settings(), "9600,O,8,1");
}

struct BadCtrl {
    const char* name;
    double baud, parity, timeout;
    const char* log;
    int error;
    bool enabled;
};
class ModbusBadCtrl : public ::testing::TestWithParam<BadCtrl> {};
TEST_P(ModbusBadCtrl, LogsAndReports) {
    ModbusRig rig(false);
    rig.setByte(kCtrlError, 0x55);
    CodeLine l = ctrl(GetParam().baud, GetParam().parity, GetParam().timeout);
    rig.exec(l, true);
    EXPECT_TRUE(rig.logged(GetParam().log));
    EXPECT_EQ(rig.byte(kCtrlError), GetParam().error);
    EXPECT_EQ(rig.m.modbus.enabled(), GetParam().enabled);
    EXPECT_TRUE(rig.c.mem.bit(kCtrlDone));
    if (!GetParam().enabled) {
        EXPECT_TRUE(rig.send(2, 0, 40001, 1).empty()) << "a disabled master sends nothing";
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, ModbusBadCtrl,
                         ::testing::Values(BadCtrl{"Baud38400", 38400, 0, 100, "非法的modbus速率", 2, false},
                                           BadCtrl{"Parity3", 9600, 3, 100, "非法的modbus校验类型", 1, false},
                                           BadCtrl{"Timeout0", 9600, 0, 0, "非法的modbus超时", 0, true},
                                           BadCtrl{"Timeout32768", 9600, 0, 32768, "非法的modbus超时", 0, true}),
                         [](const ::testing::TestParamInfo<BadCtrl>& i) { return std::string(i.param.name); });

TEST(ModbusMaster, ModeOffDisablesAndAnotherProtocolWarns) {
    ModbusRig rig;
    rig.c.mem.setBit(kMode, false);
    rig.c.mem.setBit(kCtrlDone, false);
    CodeLine l = ctrl(9600, 0, 100);
    rig.exec(l, true);
    EXPECT_FALSE(rig.m.modbus.enabled());
    EXPECT_FALSE(rig.c.mem.bit(kCtrlDone));

    MasterRig other;
    other.open(MasterProtocol::USS);
    other.c.mem.setBit(kMode, true);
    other.exec(l, true);
    EXPECT_TRUE(other.logged("警告：PORT0口未配置成MODBUS模式，而程序中有MODBUS指令，指令将不被执行"));
    EXPECT_FALSE(other.m.modbus.enabled());
}

struct RequestCase {
    const char* name;
    int rw;
    long addr;
    int count;
    Bytes data;     // at DataPtr
    const char* frame;  // the request as sent, CRC included
};
class ModbusRequests : public ::testing::TestWithParam<RequestCase> {};
TEST_P(ModbusRequests, ByteForByte) {
    ModbusRig rig;
    for (std::size_t k = 0; k < GetParam().data.size(); ++k) rig.setByte(kData + 8 * static_cast<int>(k), GetParam().data[k]);
    EXPECT_EQ(hex(rig.send(2, GetParam().rw, GetParam().addr, GetParam().count)), GetParam().frame);
    EXPECT_TRUE(rig.m.modbus.busy());
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ModbusRequests,
    ::testing::Values(RequestCase{"ReadTenCoilsFrom1", 0, 1, 10, {}, "02 01 00 00 00 0A BC 3E"},
                      RequestCase{"ReadThreeHoldingFrom40010", 0, 40010, 3, {}, "02 03 00 09 00 03 D5 FA"},
                      RequestCase{"ReadFiveInputsFrom10005", 0, 10005, 5, {}, "02 02 00 04 00 05 F9 FB"},
                      RequestCase{"ReadTwoInputRegistersFrom30001", 0, 30001, 2, {}, "02 04 00 00 00 02 71 F8"},
                      RequestCase{"WriteOneRegisterTo40001", 1, 40001, 1, {0x12, 0x34}, "02 06 00 00 12 34 84 8E"},
                      RequestCase{"WriteTwelveCoilsFrom17", 1, 17, 12, {0xA5, 0x0F}, "02 0F 00 10 00 0C 02 A5 0F C8 84"},
                      RequestCase{"WriteOneCoilAt5", 1, 5, 1, {0x01}, "02 05 00 04 FF 00 CD C8"},
                      RequestCase{"WriteTwoRegistersTo40002", 1, 40002, 2, {0x11, 0x22, 0x33, 0x44},
                                  "02 10 00 01 00 02 04 11 22 33 44 8C D2"}),
    [](const ::testing::TestParamInfo<RequestCase>& i) { return std::string(i.param.name); });

TEST(ModbusMaster, ExpectedLengthsAndCoilOff) {
    Cpu c;
    c.mem.tobit(0xFE, kData, 8);  // bit 0 off
    EXPECT_EQ(buildModbusRequest(c.mem, 2, false, 1, 10, kData).expectedLength, 7u);
    EXPECT_EQ(buildModbusRequest(c.mem, 2, false, 10001, 16, kData).expectedLength, 7u);
    EXPECT_EQ(buildModbusRequest(c.mem, 2, false, 40001, 3, kData).expectedLength, 11u);
    EXPECT_EQ(buildModbusRequest(c.mem, 2, true, 40001, 3, kData).expectedLength, 8u);
    EXPECT_EQ(hex(buildModbusRequest(c.mem, 2, true, 1, 1, kData).frame).substr(0, 17), "02 05 00 00 00 00");
}

TEST(ModbusMaster, AddressesOutsideTheTableSendNothing) {
    for (auto [rw, addr] : {std::pair{0, 20000L}, {0, 0L}, {0, 50000L}, {1, 10001L}, {1, 30001L}, {1, 20000L}}) {
        ModbusRig rig;
        EXPECT_TRUE(rig.send(2, rw, addr, 1).empty()) << addr;
        EXPECT_FALSE(rig.done());
        EXPECT_FALSE(rig.m.modbus.busy());
    }
    // Quantities whose byte count does not fit its byte are not sent either.
    ModbusRig rig;
    EXPECT_TRUE(rig.send(2, 0, 40001, 128).empty());
    EXPECT_TRUE(rig.send(2, 1, 1, 2041).empty());
    EXPECT_FALSE(rig.send(2, 0, 40001, 127).empty());
}

TEST(ModbusMaster, ReadCoilsLandsWholeBytesAndTheRemainingBits) {
    ModbusRig rig;
    rig.setByte(kData + 8, 0xF0);
    rig.send(2, 0, 1, 10);
    rig.peer().write(withCrc({2, 1, 2, 0x5A, 0xFF}));
    rig.sched.advanceBy(2);
    EXPECT_TRUE(rig.done());
    EXPECT_EQ(rig.error(), 0);
    EXPECT_EQ(rig.byte(kData), 0x5A);
    EXPECT_EQ(rig.byte(kData + 8), 0xF3) << "bits 0 and 1 written, the others kept";
    EXPECT_FALSE(rig.m.modbus.busy());
    EXPECT_EQ(rig.channel().receiveThreshold(), 0);
}

TEST(ModbusMaster, ReadHoldingRegistersCopiesTheirBytes) {
    ModbusRig rig;
    rig.send(2, 0, 40010, 3);
    rig.peer().setByteTiming(true);  // the 11 bytes take about 11 ms: the threshold waits for all
    rig.peer().write(withCrc({2, 3, 6, 1, 2, 3, 4, 5, 6}));
    rig.sched.advanceBy(5);
    EXPECT_FALSE(rig.done());
    rig.sched.advanceBy(10);
    EXPECT_TRUE(rig.done());
    EXPECT_EQ(rig.error(), 0);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(rig.byte(kData + 8 * k), k + 1);
}

struct ResponseCase {
    const char* name;
    int rw;
    long addr;
    int count;
    Bytes response;  // CRC added unless bad
    bool badCrc;
    int error;
};
class ModbusResponses : public ::testing::TestWithParam<ResponseCase> {};
TEST_P(ModbusResponses, ErrorCode) {
    ModbusRig rig;
    rig.setByte(kData, 0x12);
    rig.setByte(kData + 8, 0x34);
    rig.send(2, GetParam().rw, GetParam().addr, GetParam().count);
    Bytes r = GetParam().response;
    appendModbusCrc(r);
    if (GetParam().badCrc) r.back() ^= 0x01;
    rig.peer().write(r);
    rig.sched.advanceBy(2);
    EXPECT_TRUE(rig.done());
    EXPECT_EQ(rig.error(), GetParam().error);
    EXPECT_FALSE(rig.m.modbus.busy());
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ModbusResponses,
    ::testing::Values(ResponseCase{"EchoOfWriteRegister", 1, 40001, 1, bytes({2, 6, 0, 0, 0x12, 0x34}), false, 0},
                      ResponseCase{"EchoWithOtherValue", 1, 40001, 1, bytes({2, 6, 0, 0, 0x12, 0x35}), false, 7},
                      ResponseCase{"WriteAnsweredByOtherSlave", 1, 40001, 1, bytes({3, 6, 0, 0, 0x12, 0x34}), false, 7},
                      ResponseCase{"WriteMultipleEcho", 1, 40001, 2, bytes({2, 16, 0, 0, 0, 2}), false, 0},
                      ResponseCase{"WriteMultipleWrongCount", 1, 40001, 2, bytes({2, 16, 0, 0, 0, 3}), false, 7},
                      ResponseCase{"ReadWithWrongFunction", 0, 40001, 1, bytes({2, 4, 2, 0, 0}), false, 7},
                      ResponseCase{"ReadWithBadCrc", 0, 40001, 1, bytes({2, 3, 2, 0, 0}), true, 1},
                      ResponseCase{"WriteWithBadCrc", 1, 40001, 1, bytes({2, 6, 0, 0, 0x12, 0x34}), true, 1}),
    [](const ::testing::TestParamInfo<ResponseCase>& i) { return std::string(i.param.name); });

TEST(ModbusMaster, NoResponseTimesOutAtTheConfiguredPeriod) {
    ModbusRig rig;
    rig.send(2, 0, 40001, 1);
    rig.sched.advanceBy(95);
    EXPECT_FALSE(rig.done());
    EXPECT_TRUE(rig.m.modbus.busy());
    rig.sched.advanceBy(10);
    EXPECT_TRUE(rig.done());
    EXPECT_EQ(rig.error(), 3);
    EXPECT_FALSE(rig.m.modbus.busy());
    EXPECT_FALSE(rig.comm.timers[TimerId::MODBUS].enabled());
}

TEST(ModbusMaster, CtrlOnEveryScanDoesNotPostponeTheTimeout) {
    ModbusRig rig;
    rig.send(2, 0, 40001, 1);
    CodeLine l = ctrl(9600, 0, 100);
    for (int t = 0; t < 12; ++t) {
        rig.exec(l, true);
        rig.sched.advanceBy(10);
    }
    EXPECT_TRUE(rig.done());
    EXPECT_EQ(rig.error(), 3);
}

TEST(ModbusMaster, ExceptionResponseEndsByTimeout) {
    ModbusRig rig;
    rig.send(2, 0, 40001, 2);
    rig.peer().write(withCrc({2, 0x83, 2}));
    rig.sched.advanceBy(50);
    EXPECT_FALSE(rig.done());
    rig.sched.advanceBy(60);
    EXPECT_EQ(rig.error(), 3);
}

TEST(ModbusMaster, FirstHeldWhileOutstandingWritesSix) {
    ModbusRig rig;
    rig.send(2, 0, 40001, 1);
    EXPECT_TRUE(rig.send(2, 0, 40001, 1).empty());
    EXPECT_EQ(rig.error(), 6);
    rig.peer().write(withCrc({2, 3, 2, 0xAB, 0xCD}));
    rig.sched.advanceBy(2);
    EXPECT_EQ(rig.error(), 0);
    EXPECT_EQ(rig.byte(kData), 0xAB);
}

TEST(ModbusMaster, LateOrRepeatedAnswersDoNotSpoilTheNextRequest) {
    ModbusRig rig;
    rig.send(2, 0, 40001, 1);
    rig.sched.advanceBy(110);
    ASSERT_EQ(rig.error(), 3);
    rig.peer().write(withCrc({2, 3, 2, 0x11, 0x11}));  // the late answer
    rig.peer().write(withCrc({2, 3, 2, 0x11, 0x11}));  // and again
    rig.sched.advanceBy(5);
    rig.c.mem.setBit(kDone, false);
    rig.send(2, 0, 40001, 1);
    rig.peer().write(withCrc({2, 3, 2, 0x22, 0x33}));
    rig.sched.advanceBy(2);
    EXPECT_TRUE(rig.done());
    EXPECT_EQ(rig.error(), 0);
    EXPECT_EQ(rig.byte(kData), 0x22);
    EXPECT_EQ(rig.byte(kData + 8), 0x33);
}

TEST(ModbusMaster, StopForgetsTheRequestWithoutReporting) {
    ModbusRig rig;
    rig.send(2, 0, 40001, 1);
    rig.enterStop();
    EXPECT_FALSE(rig.m.modbus.busy());
    EXPECT_FALSE(rig.m.modbus.enabled());
    rig.sched.advanceBy(200);
    EXPECT_FALSE(rig.done());
    EXPECT_EQ(rig.channel().receiveThreshold(), 0);
}

}  // namespace
