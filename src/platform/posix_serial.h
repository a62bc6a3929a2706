#pragma once
// A serial channel on a POSIX terminal device (termios, raw, non-blocking). COM n is the
// device named by the environment variable KORVANE_COMn, else /dev/ttyS(n-1); a device path
// given directly is used as is. The device is locked (flock) while open, so a second open of
// the same device fails as "in use".
//
// The front end calls pollOnce() often (every millisecond or so): it reads what arrived,
// sends what is queued and raises the receive and send-drained events. bytesWaiting() and
// readAll() also take in what the device holds, so a protocol polling on its own timer sees
// fresh bytes.
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
    bool isOpen() const override { return fd_ >= 0; }
    std::size_t bytesWaiting() const override;
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;

    // Reads what arrived, sends what is queued, raises the events.
    void pollOnce();

private:
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
};

}  // namespace korvane
