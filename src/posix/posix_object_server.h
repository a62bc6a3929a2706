#pragma once
// The object server on POSIX sockets (IPv4, non-blocking), for the headless runner. The
// front end calls pollOnce() or waitUntil() between scan ticks: they accept connection
// requests, read what arrived, send what is queued and raise the events. A refused request
// is accepted by the system and closed at once. What the peer does not take in is queued up
// to 1 MiB, beyond which its oldest answers are dropped (AnswerQueue); a poll reads at most
// 64 KiB of what the peer sent.
#include <chrono>
#include <string>

#include "platform/object_server.h"

namespace korvane {

class PosixObjectServer final : public ObjectServer {
public:
    PosixObjectServer() = default;
    PosixObjectServer(const PosixObjectServer&) = delete;
    PosixObjectServer& operator=(const PosixObjectServer&) = delete;
    ~PosixObjectServer() override;

    bool listen(const std::string& address, std::uint16_t port) override;
    void stopListening() override;
    bool isListening() const override { return listenFd_ >= 0; }
    std::uint16_t port() const override { return port_; }

    bool connected() const override { return connFd_ >= 0; }
    void acceptPending() override;
    void refusePending() override;
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;
    void closeConnection() override;
    std::size_t queuedBytes() const override { return tx_.size(); }
    std::uint64_t droppedMessages() const override { return tx_.dropped(); }

    // Waits up to timeoutMs for socket activity and handles it; 0 only looks.
    void pollOnce(int timeoutMs);
    // Handles socket activity until the time given.
    void waitUntil(std::chrono::steady_clock::time_point until);
    // For a front end that waits on these sockets together with other descriptors: the
    // descriptors (up to two) with the poll() events to wait for; returns how many.
    // pollOnce(0) handles what they report. reportPending(): pollOnce(0) has something to
    // report without waiting (a send that failed).
    int descriptors(int fds[2], short events[2]) const;
    bool reportPending() const { return failedErrno_ != 0; }

private:
    void flush();
    void readIn();

    int listenFd_ = -1;
    int connFd_ = -1;
    int pendingFd_ = -1;
    std::uint16_t port_ = 0;
    Bytes rx_;
    AnswerQueue tx_;
    int failedErrno_ = 0;  // a send failed; reported at the next poll
};

}  // namespace korvane
