#pragma once
// A serial channel on a POSIX terminal device (termios, raw, non-blocking). COM n is the
// device named by the environment variable KORVANE_COMn, else /dev/ttyS(n-1); a device path
// given directly is used as is. The device is locked (flock) while open, so a second open of
// the same device fails as "in use".
//
// The front end calls pollOnce() often (every millisecond or so): it reads what arrived,
// sends what is queued and raises the receive and send-drained events. A front end that
// waits on many descriptors at once waits on descriptor() for waitEvents() instead, and hands
// what poll() reported to handleEvents(). bytesWaiting() and readAll() also take in what the
// device holds, so a protocol polling on its own timer sees fresh bytes.
//
// A hang-up (poll() reports POLLHUP or POLLERR, or a read or write fails with EIO and the
// like) loses the line: see SerialChannel::lost(). With the line's raw settings (VMIN and
// VTIME 0) a read of no bytes only means that nothing has arrived, so it is not taken as one.
#include <functional>
#include <string>

#include "platform/serial_channel.h"

namespace korvane {

class PosixSerialPort final : public SerialChannel {
public:
    PosixSerialPort() = default;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;
    ~PosixSerialPort() override;

    // A device used instead of the COM number's (empty: back to the COM number).
    void setDevicePath(std::string path) { devicePath_ = std::move(path); }
    // A front end's own COM-number mapping, asked before KORVANE_COMn (empty answer: not
    // mapped).
    void setDeviceMap(std::function<std::string(int com)> map) { deviceMap_ = std::move(map); }
    // The device the channel opens: the path given, else the device map's, else
    // KORVANE_COMn, else /dev/ttyS(n-1).
    std::string device() const;
    static std::string deviceForPort(int com);
    // Baud rates the terminal layer can set.
    static bool supportsBaud(int baud);

    bool open() override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0 || lost(); }
    bool reopen() override;
    std::string deviceName() const override { return device(); }
    std::size_t bytesWaiting() const override;
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;

    // Reads what arrived, sends what is queued, raises the events; notices a hang-up.
    void pollOnce();
    // The descriptor to wait on (-1 while closed) and the events to wait for.
    int descriptor() const { return fd_; }
    short waitEvents() const;
    // Handles what poll() reported for descriptor() (0: nothing), as pollOnce() does.
    void handleEvents(short revents);

private:
    bool openDevice();
    void closeDevice();
    void settingsChanged() override;
    bool applyTermios();
    bool takeIn() const;  // true when bytes were read
    void flushOut();

    std::string devicePath_;
    std::function<std::string(int)> deviceMap_;
    int fd_ = -1;
    mutable Bytes rx_;
    mutable bool arrived_ = false;
    Bytes tx_;
    bool drainPending_ = false;
    mutable int failedErrno_ = 0;  // a read or write found the device gone
};

}  // namespace korvane
