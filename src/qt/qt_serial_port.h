#pragma once
// The serial-port seam on QSerialPort. COM n stands for the device named by the environment
// variable KORVANE_COMn, else by the settings store's entry "COMn" in the section
// "SerialPorts", else the platform's own (/dev/ttyS(n-1) on Linux, COMn on Windows); a device
// path given directly is used as is.
//
// The receive and send-drained events are raised from the event loop (queued after the
// port's readyRead and bytesWritten signals), never from inside write() or readAll(). A
// resource error, or a read or write error with the device hung up, loses the line (see
// SerialChannel::lost()), from the event loop too.
#include <QSerialPort>

#include <string>

#include "comm/port_config.h"
#include "platform/serial_channel.h"
#include "sim/recent_files.h"

namespace korvane {

inline constexpr const char* kSerialPortsSection = "SerialPorts";

class QtSerialPort final : public SerialChannel {
public:
    // settings may be null: then only the environment and the platform default map COM
    // numbers. The store must outlive the port.
    explicit QtSerialPort(const SettingsStore* settings = nullptr);
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;
    ~QtSerialPort() override;

    // A device used instead of the COM number's (empty: back to the COM number).
    void setDevicePath(std::string path) { devicePath_ = std::move(path); }
    std::string device() const;
    static std::string deviceForPort(int com, const SettingsStore* settings);

    bool open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen() || lost(); }
    bool reopen() override;
    std::string deviceName() const override { return device(); }
    std::size_t bytesWaiting() const override;
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;

    QSerialPort& port() { return port_; }

private:
    void settingsChanged() override;
    bool applySettings();
    bool openDevice();
    void bytesWritten();
    void errorOccurred(QSerialPort::SerialPortError error);
    bool deviceGone(QSerialPort::SerialPortError error);

    QSerialPort port_;
    const SettingsStore* store_;
    std::string devicePath_;
    bool drainPending_ = false;
};

// A channel factory for the window: every channel on QSerialPort with this store's mapping.
ChannelFactory qtChannelFactory(const SettingsStore* settings);

}  // namespace korvane
