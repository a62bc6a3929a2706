#include "posix/posix_serial.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace korvane {

namespace {

speed_t speedFor(int baud) {
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
    default: return 0;
    }
}

// A pseudo-terminal follower (Unix 98 ptys have the majors 136 to 143): it has no line, so
// the kernel keeps no parity and character size for it.
bool isPseudoTerminal(int fd) {
#ifdef __linux__
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
#else
    (void)fd;
    return false;
#endif
}

}  // namespace

PosixSerialPort::~PosixSerialPort() { close(); }

std::string PosixSerialPort::deviceForPort(int com) {
    const std::string var = "KORVANE_COM" + std::to_string(com);
    if (const char* v = std::getenv(var.c_str()); v && *v) return v;
    return "/dev/ttyS" + std::to_string(com - 1);
}

std::string PosixSerialPort::device() const {
    if (!devicePath_.empty()) return devicePath_;
    if (deviceMap_)
        if (std::string mapped = deviceMap_(portNumber()); !mapped.empty()) return mapped;
    return deviceForPort(portNumber());
}

bool PosixSerialPort::supportsBaud(int baud) { return speedFor(baud) != 0; }

bool PosixSerialPort::open() {
    if (isOpen()) return true;
    return openDevice();
}

bool PosixSerialPort::reopen() {
    if (!lost()) return isOpen();
    if (!openDevice()) return false;
    clearLost();
    return true;
}

bool PosixSerialPort::openDevice() {
    const std::string dev = device();
    const int fd = ::open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(dev + ": " + std::strerror(errno));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !::isatty(fd)) {
        setError(dev + (::isatty(fd) ? ": in use" : ": not a terminal"));
        ::close(fd);
        return false;
    }
    fd_ = fd;
    if (!applyTermios()) {
        setError(dev + ": settings refused");
        closeDevice();
        return false;
    }
    ::tcflush(fd_, TCIOFLUSH);
    setError("");
    return true;
}

void PosixSerialPort::close() {
    closeDevice();
    clearLost();
}

void PosixSerialPort::closeDevice() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    fd_ = -1;
    rx_.clear();
    tx_.clear();
    arrived_ = drainPending_ = false;
    failedErrno_ = 0;
}

bool PosixSerialPort::applyTermios() {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    const SerialSettings& s = settings_;
    const speed_t sp = speedFor(s.baud);
    if (sp == 0) return false;
    ::cfsetispeed(&tio, sp);
    ::cfsetospeed(&tio, sp);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (s.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    if (s.parity == 'E') tio.c_cflag |= PARENB;
    else if (s.parity == 'O') tio.c_cflag |= PARENB | PARODD;
#ifdef CMSPAR
    else if (s.parity == 'M') tio.c_cflag |= PARENB | PARODD | CMSPAR;
    else if (s.parity == 'S') tio.c_cflag |= PARENB | CMSPAR;
#endif
    if (s.stopTenths > 10) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) == 0) return true;
    // The C library reports a parity the kernel did not keep as EINVAL, although the rest was
    // applied. A pseudo-terminal never keeps one: accept it there when the speed and the raw
    // mode took effect.
    termios now{};
    return errno == EINVAL && isPseudoTerminal(fd_) && ::tcgetattr(fd_, &now) == 0 &&
           ::cfgetospeed(&now) == sp && (now.c_lflag & ICANON) == 0;
}

void PosixSerialPort::settingsChanged() { applyTermios(); }

bool PosixSerialPort::takeIn() const {
    if (fd_ < 0) return false;
    bool got = false;
    std::uint8_t buf[512];
    while (true) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) failedErrno_ = errno;
        if (n <= 0) break;  // 0 or EAGAIN: nothing more for now
        rx_.insert(rx_.end(), buf, buf + n);
        got = true;
    }
    if (got) arrived_ = true;
    return got;
}

std::size_t PosixSerialPort::bytesWaiting() const {
    takeIn();
    return rx_.size();
}

std::size_t PosixSerialPort::readAll(Bytes& out) {
    takeIn();
    const std::size_t n = rx_.size();
    out.insert(out.end(), rx_.begin(), rx_.end());
    rx_.clear();
    return n;
}

void PosixSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0 || bytes.empty()) return;
    tx_.insert(tx_.end(), bytes.begin(), bytes.end());
    flushOut();
}

void PosixSerialPort::flushOut() {
    while (!tx_.empty()) {
        const ssize_t n = ::write(fd_, tx_.data(), tx_.size());
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) failedErrno_ = errno;
        if (n <= 0) return;  // the device is full: the rest goes on the next poll
        tx_.erase(tx_.begin(), tx_.begin() + n);
        if (tx_.empty()) drainPending_ = true;
    }
}

short PosixSerialPort::waitEvents() const { return static_cast<short>(POLLIN | (tx_.empty() ? 0 : POLLOUT)); }

void PosixSerialPort::pollOnce() {
    if (fd_ < 0) return;
    pollfd p{fd_, waitEvents(), 0};
    if (::poll(&p, 1, 0) < 0) p.revents = 0;
    handleEvents(p.revents);
}

void PosixSerialPort::handleEvents(short revents) {
    if (fd_ < 0) return;
    if (revents & POLLIN) takeIn();
    if (revents & POLLOUT) flushOut();
    if ((revents & (POLLHUP | POLLERR | POLLNVAL)) || failedErrno_ != 0) {
        const std::string why = device() + ": " + (failedErrno_ != 0 ? std::strerror(failedErrno_) : "设备已断开");
        closeDevice();
        lineLost(why);
        return;
    }
    if (arrived_) {
        arrived_ = false;
        raiseReceive();
    }
    if (drainPending_ && tx_.empty()) {
        drainPending_ = false;
        raiseDrained();
    }
}

}  // namespace korvane
