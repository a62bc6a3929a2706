#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "comm_test_support.h"
#include "platform/fake_serial.h"
#include "posix/posix_serial.h"

using namespace korvane;
using namespace korvane::testing;

namespace {

struct SettingsCase {
    const char* text;
    bool ok;
    const char* after;  // from "9600,E,8,1"
};

class SerialSettingsText : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SerialSettingsText, AppliesOrRefuses) {
    SerialSettings s;
    ASSERT_TRUE(s.apply("9600,E,8,1"));
    EXPECT_EQ(s.apply(GetParam().text), GetParam().ok);
    EXPECT_EQ(s.text(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialSettingsText,
                         ::testing::Values(SettingsCase{"38400,,,", true, "38400,E,8,1"},
                                           SettingsCase{",n,7,2", true, "9600,N,7,2"},
                                           SettingsCase{"19200,o,8,1.5", true, "19200,O,8,1.5"},
                                           SettingsCase{",,,", true, "9600,E,8,1"},
                                           SettingsCase{"57600", true, "57600,E,8,1"},
                                           SettingsCase{"9601,,,", false, "9600,E,8,1"},
                                           SettingsCase{"57600,X,8,1", false, "9600,E,8,1"},
                                           SettingsCase{"57600,N,9,1", false, "9600,E,8,1"},
                                           SettingsCase{"57600,N,8,3", false, "9600,E,8,1"},
                                           SettingsCase{"1200,N,8,1,9", false, "9600,E,8,1"},
                                           SettingsCase{"abc,,,", false, "9600,E,8,1"}));

TEST(SerialSettings, CharacterTimes) {
    SerialSettings s;
    s.apply("9600,E,8,1");
    EXPECT_DOUBLE_EQ(s.bitsPerCharacter(), 11.0);
    EXPECT_NEAR(s.silentIntervalMicros(), 4010.4, 0.1);
    s.apply("57600,N,8,1");
    EXPECT_DOUBLE_EQ(s.silentIntervalMicros(), 1750.0);
}

TEST(SerialChannel, PortNumberOnlyWhileClosedAndInRange) {
    VirtualScheduler sched;
    FakeSerialLine line(sched);
    FakeSerialPort& p = line.a();
    EXPECT_TRUE(p.setPortNumber(32));
    EXPECT_FALSE(p.setPortNumber(0));
    EXPECT_FALSE(p.setPortNumber(33));
    ASSERT_TRUE(p.open());
    EXPECT_FALSE(p.setPortNumber(5));
    EXPECT_EQ(p.portNumber(), 32);
}

TEST(FakeSerial, OpenFailsForMissingOrBusyPorts) {
    VirtualScheduler sched;
    FakeSerialLine line(sched);
    line.a().portExists = [](int com) { return com <= 4; };
    line.a().setPortNumber(5);
    EXPECT_FALSE(line.a().open());
    line.a().setPortNumber(4);
    line.a().inUse = true;
    EXPECT_FALSE(line.a().open());
    line.a().inUse = false;
    EXPECT_TRUE(line.a().open());
    // Bytes sent to a closed end are lost; a closed end sends nothing.
    line.a().write(Bytes{1, 2});
    EXPECT_EQ(line.b().bytesWaiting(), 0u);
    line.b().write(Bytes{3});
    EXPECT_TRUE(line.a().take().empty());
}

TEST(FakeSerial, ByteTimingFollowsTheSendersCharacterTime) {
    VirtualScheduler sched;
    FakeSerialLine line(sched);
    line.a().open();
    line.b().open();
    line.a().setByteTiming(true);
    line.a().setSettings("9600,E,8,1");  // 1145.8 us a character
    line.a().write(Bytes(10, 0x55));
    std::vector<std::size_t> seen;
    for (int ms = 1; ms <= 12; ++ms) {
        sched.advanceTo(ms);
        seen.push_back(line.b().bytesWaiting());
    }
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10}));
    // A second write queues behind the first.
    line.a().write(Bytes{1});
    line.a().write(Bytes{2});
    sched.advanceBy(1);
    EXPECT_EQ(line.b().bytesWaiting(), 10u);
    sched.advanceBy(2);
    EXPECT_EQ(line.b().bytesWaiting(), 12u);
}

TEST(FakeSerial, FaultsDropCorruptAndDelay) {
    VirtualScheduler sched;
    FakeSerialLine line(sched);
    line.a().open();
    line.b().open();
    line.a().injectFault({LineFault::Kind::Drop, 1});
    line.a().injectFault({LineFault::Kind::Corrupt, 2, 0x0F});
    line.a().injectFault({LineFault::Kind::Delay, 3, 0, 5000});
    line.a().write(Bytes{0x10, 0x20, 0x30, 0x40, 0x50});
    EXPECT_EQ(hex(line.b().take()), "10 3F");
    sched.advanceBy(4);
    EXPECT_TRUE(line.b().take().empty());
    sched.advanceBy(1);
    EXPECT_EQ(hex(line.b().take()), "40 50");
    EXPECT_EQ(hex(line.a().sent()), "10 20 30 40 50");
}

TEST(FakeSerial, EventsComeFromTheLineNotFromWrite) {
    VirtualScheduler sched;
    FakeSerialLine line(sched);
    line.a().open();
    line.b().open();
    int received = 0, drained = 0;
    line.b().setReceiveThreshold(3);
    line.b().onReceive = [&] { ++received; };
    line.a().setSendThreshold(1);
    line.a().onSendDrained = [&] { ++drained; };
    line.a().write(Bytes{1, 2});
    EXPECT_EQ(received + drained, 0);
    sched.advanceBy(1);
    EXPECT_EQ(received, 0);  // below the threshold
    EXPECT_EQ(drained, 1);
    line.a().write(Bytes{3});
    sched.advanceBy(1);
    EXPECT_EQ(received, 1);
    EXPECT_EQ(drained, 2);
    line.a().setSendThreshold(0);
    line.a().write(Bytes{4});
    sched.advanceBy(1);
    EXPECT_EQ(drained, 2);
}

TEST(PosixSerial, ComNumbersMapToDevices) {
    ::setenv("KORVANE_COM7", "/tmp/korvane-pty-a", 1);
    EXPECT_EQ(PosixSerialPort::deviceForPort(7), "/tmp/korvane-pty-a");
    ::unsetenv("KORVANE_COM7");
    EXPECT_EQ(PosixSerialPort::deviceForPort(7), "/dev/ttyS6");
    PosixSerialPort p;
    p.setDevicePath("/nonexistent/tty");
    EXPECT_EQ(p.device(), "/nonexistent/tty");
    EXPECT_FALSE(p.open());
    EXPECT_FALSE(p.errorText().empty());
}

TEST(PosixSerial, TalksOverAPseudoTerminal) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    PosixSerialPort p;
    p.setDevicePath(::ptsname(master));
    ASSERT_TRUE(p.open()) << p.errorText();
    PosixSerialPort second;
    second.setDevicePath(p.device());
    EXPECT_FALSE(second.open());  // in use
    const std::uint8_t req[] = {0x01, 0x03, 0x00, 0x0A, 0xFF};
    ASSERT_EQ(::write(master, req, sizeof req), static_cast<ssize_t>(sizeof req));
    int received = 0;
    p.setReceiveThreshold(1);
    p.onReceive = [&] { ++received; };
    Bytes got;
    for (int tries = 0; tries < 200 && got.size() < sizeof req; ++tries) {
        p.pollOnce();
        p.readAll(got);
        if (got.size() < sizeof req) ::usleep(1000);
    }
    EXPECT_EQ(hex(got), "01 03 00 0A FF");
    p.write(Bytes{0xE5, 0x16});
    std::uint8_t back[4] = {};
    ssize_t n = 0;
    for (int tries = 0; tries < 200 && n <= 0; ++tries) {
        n = ::read(master, back, sizeof back);
        if (n <= 0) ::usleep(1000);
    }
    EXPECT_EQ(n, 2);
    EXPECT_EQ(back[0], 0xE5);
    EXPECT_TRUE(p.setSettings("19200,N,8,1"));
    p.close();
    ::close(master);
}

// A pseudo-terminal keeps no parity: opening it again with even parity (the slave port's
// settings) must not be refused because the parity set last time is not read back.
TEST(PosixSerial, PseudoTerminalReopensWithParity) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    // The follower held open as socat holds it, so its settings last from one open to the
    // next.
    const int held = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    for (const char* settings : {"9600,E,8,1", "9600,E,8,1", "115200,O,8,2", "9600,N,8,1", "19200,E,7,1"}) {
        PosixSerialPort p;
        p.setDevicePath(::ptsname(master));
        ASSERT_TRUE(p.setSettings(settings));
        EXPECT_TRUE(p.open()) << settings << ": " << p.errorText();
        p.close();
    }
    ::close(held);
    ::close(master);
}

}  // namespace
