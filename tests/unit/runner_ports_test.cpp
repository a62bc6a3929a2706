#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "comm/modbus_crc.h"
#include "comm_test_support.h"
#include "posix/runner_ports.h"
#include "test_support.h"
#include "test_tmp.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

using Role = PortOption::Role;

struct GoodOption {
    Role role;
    const char* text;
    ChannelId channel;
    const char* device;
    int com, address, baud;
};

class PortOptionAccepted : public ::testing::TestWithParam<GoodOption> {};

TEST_P(PortOptionAccepted, FieldsAndDefaults) {
    const GoodOption& c = GetParam();
    std::string error;
    auto o = parsePortOption(c.role, c.text, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->channel(), c.channel);
    EXPECT_EQ(o->device, c.device);
    EXPECT_EQ(o->com, c.com);
    EXPECT_EQ(o->address, c.address);
    EXPECT_EQ(o->baud, c.baud);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, PortOptionAccepted,
    ::testing::Values(GoodOption{Role::Slave, "modbus,/dev/pts/7", ChannelId::Port0, "/dev/pts/7", 0, 2, 9600},
                      GoodOption{Role::Slave, "PPI,COM3,5,19200", ChannelId::Port1, "", 3, 5, 19200},
                      GoodOption{Role::Slave, "modbus,com32,247,115200", ChannelId::Port0, "", 32, 247, 115200},
                      GoodOption{Role::Slave, "modbus,/tmp/x,,57600", ChannelId::Port0, "/tmp/x", 0, 2, 57600},
                      GoodOption{Role::Master, "ppi,/dev/ttyUSB0", ChannelId::PPI, "/dev/ttyUSB0", 0, 1, 9600},
                      GoodOption{Role::Master, "modbus,COM1,3", ChannelId::MODBUS, "", 1, 3, 9600},
                      GoodOption{Role::Master, "Free,COM4,,38400", ChannelId::FREE, "", 4, 1, 38400},
                      GoodOption{Role::Master, "uss,ttyS1", ChannelId::USS, "ttyS1", 0, 1, 9600}));

struct BadOption {
    Role role;
    const char* text;
    const char* says;  // part of the error text
};

class PortOptionRefused : public ::testing::TestWithParam<BadOption> {};

TEST_P(PortOptionRefused, WithAReason) {
    const BadOption& c = GetParam();
    std::string error;
    EXPECT_FALSE(parsePortOption(c.role, c.text, error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Runner, PortOptionRefused,
    ::testing::Values(BadOption{Role::Slave, "modbus", "PROTOCOL,DEVICE"},
                      BadOption{Role::Slave, "modbus,COM1,2,9600,E", "PROTOCOL,DEVICE"},
                      BadOption{Role::Slave, "free,COM1", "modbus or ppi"},
                      BadOption{Role::Master, "tcp,COM1", "ppi, modbus, free or uss"},
                      BadOption{Role::Slave, "modbus,", "needs a device"},
                      BadOption{Role::Slave, "modbus,COM0", "1 to 32"},
                      BadOption{Role::Slave, "modbus,COM33", "1 to 32"},
                      BadOption{Role::Slave, "modbus,COMx", "1 to 32"},
                      BadOption{Role::Slave, "modbus,COM1,0", "1 to 247"},
                      BadOption{Role::Slave, "modbus,COM1,248", "1 to 247"},
                      BadOption{Role::Slave, "modbus,COM1,2x", "1 to 247"},
                      BadOption{Role::Slave, "modbus,COM1,2,9601", "baud rate"},
                      BadOption{Role::Master, "ppi,COM1,2,14400", "baud rate"}));

std::optional<PortOption> option(Role role, const char* text) {
    std::string error;
    return parsePortOption(role, text, error);
}

TEST(RunnerPorts, DevicePathsGetComNumbersTheOtherPortDoesNotUse) {
    const struct {
        const char* slave;
        const char* master;
        int slaveCom, masterCom;
    } cases[] = {
        {"modbus,/tmp/s", "ppi,/tmp/m", 2, 1},
        {"modbus,/tmp/s", "ppi,COM2", 3, 2},    // COM2 is the master's: the path moves on
        {"modbus,COM1", "ppi,/tmp/m", 1, 2},
        {"modbus,COM32", "ppi,COM31", 32, 31},
    };
    for (const auto& c : cases) {
        RunnerPorts ports;
        std::string error;
        ASSERT_TRUE(ports.assign(option(Role::Slave, c.slave), option(Role::Master, c.master), error)) << error;
        EXPECT_EQ(ports.slave()->com, c.slaveCom) << c.slave << " " << c.master;
        EXPECT_EQ(ports.master()->com, c.masterCom) << c.slave << " " << c.master;
        if (!ports.slave()->device.empty()) {
            EXPECT_EQ(ports.deviceFor(c.slaveCom), "/tmp/s");
        }
        if (!ports.master()->device.empty()) {
            EXPECT_EQ(ports.deviceFor(c.masterCom), "/tmp/m");
        }
    }
}

TEST(RunnerPorts, UnmappedComNumbersFollowTheEnvironmentThenTheDefault) {
    RunnerPorts ports;
    std::string error;
    ASSERT_TRUE(ports.assign(option(Role::Slave, "modbus,/tmp/s"), std::nullopt, error));
    ::setenv("KORVANE_COM7", "/tmp/seven", 1);
    EXPECT_EQ(ports.deviceFor(7), "/tmp/seven");
    ::unsetenv("KORVANE_COM7");
    EXPECT_EQ(ports.deviceFor(7), "/dev/ttyS6");
    EXPECT_EQ(ports.deviceFor(2), "/tmp/s");
}

TEST(RunnerPorts, BothPortsOnOneDeviceAreRefused) {
    for (auto [s, m] : {std::pair{"modbus,COM3", "ppi,com3"}, std::pair{"ppi,/tmp/x", "free,/tmp/x"}}) {
        RunnerPorts ports;
        std::string error;
        EXPECT_FALSE(ports.assign(option(Role::Slave, s), option(Role::Master, m), error)) << s << " " << m;
        EXPECT_NE(error.find("same device"), std::string::npos);
    }
}

// A pseudo-terminal: the runner's port opens the follower end, the test keeps the leader.
struct Pty {
    int leader = -1;
    std::string follower;
    Pty() {
        leader = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (leader >= 0 && ::grantpt(leader) == 0 && ::unlockpt(leader) == 0) follower = ::ptsname(leader);
    }
    ~Pty() {
        if (leader >= 0) ::close(leader);
    }
    Bytes readFor(int ms) {
        Bytes out;
        for (int i = 0; i < ms; ++i) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(leader, buf, sizeof buf);
            if (n > 0) out.insert(out.end(), buf, buf + n);
            ::usleep(1000);
        }
        return out;
    }
};

struct RunnerRig {
    VirtualScheduler sched;
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem;
    RunnerPorts ports;
    std::unique_ptr<CommPorts> comm;
    bool attach(std::optional<PortOption> slave, std::optional<PortOption> master, std::string& error) {
        if (!ports.assign(std::move(slave), std::move(master), error)) return false;
        comm = std::make_unique<CommPorts>(sched, mem, log, ports.factory(), [] { return true; });
        return true;
    }
};

TEST(RunnerPorts, SlavePortOpensOnTheDeviceAndAnswers) {
    Pty pty;
    ASSERT_FALSE(pty.follower.empty());
    RunnerRig rig;
    std::string error;
    const std::string text = "modbus," + pty.follower + ",7,19200";
    ASSERT_TRUE(rig.attach(option(Role::Slave, text.c_str()), std::nullopt, error)) << error;
    ASSERT_TRUE(rig.ports.open(*rig.comm, 2, error)) << error;
    SerialChannel& ch = rig.comm->config.channel(ChannelId::Port0);
    EXPECT_TRUE(ch.isOpen());
    EXPECT_FALSE(rig.comm->config.channel(ChannelId::Port1).isOpen());
    EXPECT_EQ(ch.portNumber(), 2);
    EXPECT_EQ(ch.settings(), "19200,E,8,1");
    EXPECT_EQ(rig.comm->modbus.address(), 7);
    EXPECT_TRUE(rig.comm->config.slave().communication);

    rig.mem.tobit(0x1234, area::V, 16);
    const Bytes request = withCrc({7, 3, 0, 0, 0, 1});
    ASSERT_EQ(::write(pty.leader, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes answer;
    for (int i = 0; i < 200 && answer.size() < 7; ++i) {
        ::usleep(1000);
        rig.ports.pollAll();
        rig.sched.advanceBy(1);
        const Bytes got = pty.readFor(1);
        answer.insert(answer.end(), got.begin(), got.end());
    }
    EXPECT_EQ(hex(answer), hex(withCrc({7, 3, 2, 0x12, 0x34})));
}

// The device behind a link goes away (its leader closes, as when an adapter is pulled out):
// the line is lost, logged, still counts as open, and is tried again once a second; once a
// new device stands behind the link the retry opens it and the slave answers on it.
TEST(RunnerPorts, ALineWhoseDeviceWentAwayIsLoggedAndReopenedOnceItIsBack) {
    auto pty = std::make_unique<Pty>();
    ASSERT_FALSE(pty->follower.empty());
    const std::filesystem::path link = testTmpDir("runner_ports") / "adapter";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty->follower, link);
    RunnerRig rig;
    rig.log.setClock([] { return std::string("12:00:00"); });
    std::string error;
    const std::string text = "modbus," + link.string() + ",7";
    ASSERT_TRUE(rig.attach(option(Role::Slave, text.c_str()), std::nullopt, error)) << error;
    ASSERT_TRUE(rig.ports.open(*rig.comm, 2, error)) << error;
    SerialChannel& ch = rig.comm->config.channel(ChannelId::Port0);
    rig.sink.lines.clear();

    pty.reset();
    rig.ports.pollAll();
    EXPECT_TRUE(ch.lost());
    EXPECT_TRUE(ch.isOpen());
    ASSERT_EQ(rig.sink.lines.size(), 1u);
    EXPECT_EQ(rig.sink.lines[0], "12:00:00 串口COM2断开（" + link.string() + ": 设备已断开），每秒重试打开");
    rig.sched.advanceBy(1000);  // nothing behind the link yet
    EXPECT_TRUE(ch.lost());
    EXPECT_EQ(rig.sink.lines.size(), 1u);

    pty = std::make_unique<Pty>();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty->follower, link);
    rig.sched.advanceBy(1000);
    EXPECT_FALSE(ch.lost());
    ASSERT_EQ(rig.sink.lines.size(), 2u);
    EXPECT_EQ(rig.sink.lines[1], "12:00:00 串口COM2已重新打开（" + link.string() + "）");
    rig.mem.tobit(0x4321, area::V, 16);
    const Bytes request = withCrc({7, 3, 0, 0, 0, 1});
    ASSERT_EQ(::write(pty->leader, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes answer;
    for (int i = 0; i < 200 && answer.size() < 7; ++i) {
        ::usleep(1000);
        rig.ports.pollAll();
        rig.sched.advanceBy(1);
        const Bytes got = pty->readFor(1);
        answer.insert(answer.end(), got.begin(), got.end());
    }
    EXPECT_EQ(hex(answer), hex(withCrc({7, 3, 2, 0x43, 0x21})));
}

TEST(RunnerPorts, MasterPortOpensTheChannelOfItsProtocolOnTwoPortCpusOnly) {
    Pty pty;
    ASSERT_FALSE(pty.follower.empty());
    for (int cpuPorts : {1, 2}) {
        RunnerRig rig;
        std::string error;
        const std::string text = "modbus," + pty.follower + ",4,38400";
        ASSERT_TRUE(rig.attach(std::nullopt, option(Role::Master, text.c_str()), error)) << error;
        const bool opened = rig.ports.open(*rig.comm, cpuPorts, error);
        EXPECT_EQ(opened, cpuPorts == 2) << error;
        PortConfig& cfg = rig.comm->config;
        EXPECT_EQ(cfg.channel(ChannelId::MODBUS).isOpen(), cpuPorts == 2);
        EXPECT_FALSE(cfg.channel(ChannelId::PPI).isOpen());
        if (cpuPorts == 1) {
            EXPECT_NE(error.find("one port"), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(cfg.master().protocol, MasterProtocol::ModbusRtu);
        EXPECT_EQ(cfg.master().stationAddress, 4);
        EXPECT_EQ(cfg.master().com, 1);
        EXPECT_EQ(cfg.channel(ChannelId::MODBUS).settings(), "38400,N,8,1");  // its own parity kept
        EXPECT_FALSE(cfg.master().listsEnabled);
    }
}

TEST(RunnerPorts, ADeviceThatCannotOpenIsReportedAndThePortStaysClosed) {
    RunnerRig rig;
    std::string error;
    ASSERT_TRUE(rig.attach(option(Role::Slave, "ppi,/nonexistent/tty"), std::nullopt, error));
    EXPECT_FALSE(rig.ports.open(*rig.comm, 2, error));
    EXPECT_NE(error.find("cannot open /nonexistent/tty"), std::string::npos) << error;
    EXPECT_FALSE(rig.comm->config.slave().communication);
    ASSERT_FALSE(rig.sink.lines.empty());
    EXPECT_NE(rig.sink.lines.back().find(" 端口2不能打开"), std::string::npos) << rig.sink.lines.back();
}

}  // namespace
