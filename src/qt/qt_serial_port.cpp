#include "qt/qt_serial_port.h"

#include <QFileInfo>
#include <QMetaObject>

#include <cstdlib>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace korvane {

namespace {

QSerialPort::Parity parityOf(char p) {
    switch (p) {
    case 'E': return QSerialPort::EvenParity;
    case 'O': return QSerialPort::OddParity;
    case 'M': return QSerialPort::MarkParity;
    case 'S': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(int tenths) {
    return tenths == 15 ? QSerialPort::OneAndHalfStop : tenths == 20 ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

// A pseudo-terminal has no line: the kernel keeps no parity for it, and the C library then
// reports the parity as refused. Such a device is used without one.
bool isPseudoTerminal(const QString& path) {
#ifdef Q_OS_LINUX
    return QFileInfo(path).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/"));
#else
    (void)path;
    return false;
#endif
}

}  // namespace

QtSerialPort::QtSerialPort(const SettingsStore* settings) : store_(settings) {
    // Queued: the events come from the event loop, after whatever call is running returns.
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { raiseReceive(); }, Qt::QueuedConnection);
    QObject::connect(&port_, &QSerialPort::bytesWritten, &port_, [this] { bytesWritten(); }, Qt::QueuedConnection);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError e) { errorOccurred(e); }, Qt::QueuedConnection);
}

QtSerialPort::~QtSerialPort() {
    QObject::disconnect(&port_, nullptr, nullptr, nullptr);
    close();
}

std::string QtSerialPort::deviceForPort(int com, const SettingsStore* settings) {
    const std::string name = "COM" + std::to_string(com);
    if (const char* v = std::getenv(("KORVANE_" + name).c_str()); v && *v) return v;
    if (settings)
        if (std::string stored = settings->value(kSerialPortsSection, name); !stored.empty()) return stored;
#ifdef Q_OS_WIN
    return name;
#else
    return "/dev/ttyS" + std::to_string(com - 1);
#endif
}

std::string QtSerialPort::device() const {
    return devicePath_.empty() ? deviceForPort(portNumber(), store_) : devicePath_;
}

bool QtSerialPort::applySettings() {
    const SerialSettings& s = lineSettings();
    bool ok = port_.setBaudRate(s.baud);
    ok = port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) && ok;
    ok = port_.setStopBits(stopBitsOf(s.stopTenths)) && ok;
    const bool parityOk = port_.setParity(parityOf(s.parity));
    if (!parityOk && port_.isOpen() && isPseudoTerminal(port_.portName())) port_.setParity(QSerialPort::NoParity);
    return ok && (parityOk || isPseudoTerminal(port_.portName()));
}

bool QtSerialPort::open() {
    if (isOpen()) return true;
    return openDevice();
}

bool QtSerialPort::reopen() {
    if (!lost()) return isOpen();
    if (!openDevice()) return false;
    clearLost();
    return true;
}

bool QtSerialPort::openDevice() {
    const QString path = QString::fromStdString(device());
    port_.setPortName(path);
    applySettings();
    port_.setFlowControl(QSerialPort::NoFlowControl);
    bool opened = port_.open(QIODevice::ReadWrite);
    if (!opened && port_.error() == QSerialPort::UnsupportedOperationError && isPseudoTerminal(path)) {
        port_.clearError();
        port_.setParity(QSerialPort::NoParity);
        opened = port_.open(QIODevice::ReadWrite);
    }
    if (!opened) {
        setError(device() + ": " + port_.errorString().toStdString());
        port_.clearError();
        return false;
    }
    port_.clear();
    drainPending_ = false;
    setError("");
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen()) port_.close();
    drainPending_ = false;
    clearLost();
}

// A resource error is the device going away. A read or write error is one too when the
// descriptor reports a hang-up (the other end of a pseudo-terminal closed: the read fails
// with an error that the port does not take for a resource error).
bool QtSerialPort::deviceGone(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ResourceError) return true;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError) return false;
#ifdef Q_OS_UNIX
    pollfd p{static_cast<int>(port_.handle()), 0, 0};
    return p.fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void QtSerialPort::errorOccurred(QSerialPort::SerialPortError error) {
    if (!port_.isOpen() || !deviceGone(error)) return;
    const std::string why = device() + ": " + port_.errorString().toStdString();
    port_.close();
    port_.clearError();
    drainPending_ = false;
    lineLost(why);
}

void QtSerialPort::settingsChanged() { applySettings(); }

std::size_t QtSerialPort::bytesWaiting() const { return static_cast<std::size_t>(port_.bytesAvailable()); }

std::size_t QtSerialPort::readAll(Bytes& out) {
    if (!port_.isOpen()) return 0;
    const QByteArray data = port_.readAll();
    out.insert(out.end(), reinterpret_cast<const std::uint8_t*>(data.constData()),
               reinterpret_cast<const std::uint8_t*>(data.constData()) + data.size());
    return static_cast<std::size_t>(data.size());
}

void QtSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!port_.isOpen() || bytes.empty()) return;
    port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    drainPending_ = true;
}

void QtSerialPort::bytesWritten() {
    if (!drainPending_ || port_.bytesToWrite() > 0) return;
    drainPending_ = false;
    raiseDrained();
}

ChannelFactory qtChannelFactory(const SettingsStore* settings) {
    return [settings](ChannelId) -> std::unique_ptr<SerialChannel> { return std::make_unique<QtSerialPort>(settings); };
}

}  // namespace korvane
