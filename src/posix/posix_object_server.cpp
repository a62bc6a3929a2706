#include "posix/posix_object_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvane {

namespace {
// What one poll reads at most before it hands the bytes on: a peer that sends without
// pause cannot make the server hold more than this of its input.
constexpr std::size_t kReadLimit = 64 * 1024;

void setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}
}  // namespace

PosixObjectServer::~PosixObjectServer() {
    closeConnection();
    refusePending();
    stopListening();
}

bool PosixObjectServer::listen(const std::string& address, std::uint16_t port) {
    stopListening();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
        setError("not an IPv4 address: " + address);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        setError(std::strerror(errno));
        return false;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
        setError(std::strerror(errno));
        ::close(fd);
        return false;
    }
    setNonBlocking(fd);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listenFd_ = fd;
    return true;
}

void PosixObjectServer::stopListening() {
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    port_ = 0;
}

void PosixObjectServer::acceptPending() {
    if (pendingFd_ < 0) return;
    closeConnection();
    connFd_ = pendingFd_;
    pendingFd_ = -1;
    setNonBlocking(connFd_);
    const int one = 1;
    setsockopt(connFd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void PosixObjectServer::refusePending() {
    if (pendingFd_ >= 0) ::close(pendingFd_);
    pendingFd_ = -1;
}

std::size_t PosixObjectServer::readAll(Bytes& out) {
    readIn();
    const std::size_t n = rx_.size();
    out.insert(out.end(), rx_.begin(), rx_.end());
    rx_.clear();
    return n;
}

void PosixObjectServer::write(std::span<const std::uint8_t> bytes) {
    if (connFd_ < 0) return;
    // Bytes already waiting mean the socket was full: the next poll sends when it can.
    const bool waiting = !tx_.empty();
    tx_.push(bytes);
    if (!waiting) flush();
}

void PosixObjectServer::closeConnection() {
    if (connFd_ >= 0) ::close(connFd_);
    connFd_ = -1;
    rx_.clear();
    tx_.clear();
    failedErrno_ = 0;
}

void PosixObjectServer::flush() {
    std::uint8_t chunk[16384];
    while (connFd_ >= 0 && !tx_.empty()) {
        const std::size_t size = tx_.peek(chunk, sizeof chunk);
        const ssize_t n = ::send(connFd_, chunk, size, MSG_NOSIGNAL);
        if (n > 0) {
            tx_.consume(static_cast<std::size_t>(n));
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) failedErrno_ = errno;
            return;
        }
    }
}

void PosixObjectServer::readIn() {
    if (connFd_ < 0) return;
    std::uint8_t buf[4096];
    while (rx_.size() < kReadLimit) {
        const ssize_t n = ::recv(connFd_, buf, sizeof buf, 0);
        if (n <= 0) return;
        rx_.insert(rx_.end(), buf, buf + n);
    }
}

void PosixObjectServer::pollOnce(int timeoutMs) {
    pollfd fds[2]{};
    nfds_t count = 0;
    if (listenFd_ >= 0) fds[count++] = {listenFd_, POLLIN, 0};
    const int conn = connFd_;
    if (conn >= 0) fds[count++] = {conn, static_cast<short>(POLLIN | (tx_.empty() ? 0 : POLLOUT)), 0};
    if (failedErrno_ != 0) timeoutMs = 0;
    if (count == 0) {
        if (timeoutMs > 0) ::poll(nullptr, 0, timeoutMs);
        return;
    }
    if (::poll(fds, count, timeoutMs) < 0) return;

    if (failedErrno_ != 0 && connFd_ >= 0) {
        const int e = failedErrno_;
        failedErrno_ = 0;
        if (onError) onError(e, std::strerror(e));
        return;
    }
    // The connection first: a peer that closed and connects again finds its old
    // connection gone rather than refused.
    for (nfds_t i = count; i-- > 0;) {
        if (fds[i].fd == listenFd_ && (fds[i].revents & POLLIN)) {
            for (;;) {
                const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) break;
                refusePending();
                pendingFd_ = fd;
                if (onConnectionRequest) onConnectionRequest();
                refusePending();  // neither taken nor refused: turned away
            }
        } else if (fds[i].fd == conn && conn == connFd_ && fds[i].revents) {
            if (fds[i].revents & POLLOUT) flush();
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            std::uint8_t buf[4096];
            bool closed = false;
            int error = 0;
            while (rx_.size() < kReadLimit) {
                const ssize_t n = ::recv(connFd_, buf, sizeof buf, 0);
                if (n > 0) {
                    rx_.insert(rx_.end(), buf, buf + n);
                    continue;
                }
                if (n == 0) closed = true;
                else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) error = errno;
                break;
            }
            if (!rx_.empty() && onDataArrival) onDataArrival();
            if (connFd_ != conn) continue;  // the handler closed it
            if (error != 0) {
                if (onError) onError(error, std::strerror(error));
            } else if (closed) {
                if (onPeerClosed) onPeerClosed();
                if (connFd_ == conn) closeConnection();
            }
        }
    }
}

int PosixObjectServer::descriptors(int fds[2], short events[2]) const {
    int n = 0;
    if (listenFd_ >= 0) fds[n] = listenFd_, events[n++] = POLLIN;
    if (connFd_ >= 0) fds[n] = connFd_, events[n++] = static_cast<short>(POLLIN | (tx_.empty() ? 0 : POLLOUT));
    return n;
}

void PosixObjectServer::waitUntil(std::chrono::steady_clock::time_point until) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            pollOnce(0);
            return;
        }
        pollOnce(static_cast<int>(std::min<long long>(left.count(), 1000)));
    }
}

}  // namespace korvane
