#pragma once
// The TCP seam of the object link: one listening socket and at most one connection socket,
// with the connection-request, data-arrival, peer-closed and error events. It maps one to one
// onto QTcpServer/QTcpSocket and onto a POSIX socket pair (listen, accept, recv, send).
//
// Events are never raised from inside write(), readAll() or the accept and refuse calls: a
// server raises them from its own poll (the fake's test calls, the POSIX server's pollOnce,
// the toolkit's event loop), so the link's handlers are never re-entered.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace korvane {

using Bytes = std::vector<std::uint8_t>;

// The bytes a server holds for a peer that reads slower than it asks. Every answer of the
// link is a whole picture of the outputs, so a newer one makes the older ones worthless:
// when the queue would exceed its limit, the oldest messages not yet begun are dropped, whole,
// so the stream stays in step and the peer gets the newest answers when it reads again. The
// newest message always stays, and so does the rest of one whose first bytes went out.
class AnswerQueue {
public:
    static constexpr std::size_t kDefaultLimit = std::size_t{1} << 20;  // 1 MiB
    explicit AnswerQueue(std::size_t limit = kDefaultLimit) : limit_(limit) {}

    // Queues one whole message, then drops the oldest ones while over the limit.
    void push(std::span<const std::uint8_t> message);
    // Copies up to n of the next bytes to send into out; returns how many.
    std::size_t peek(std::uint8_t* out, std::size_t n) const;
    // The first n bytes went out.
    void consume(std::size_t n);
    void clear();

    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }
    // Messages dropped since the last clear().
    std::uint64_t dropped() const { return dropped_; }

private:
    std::size_t limit_;
    std::deque<std::uint8_t> bytes_;
    std::size_t begun_ = 0;               // bytes at the front left of a message partly sent
    std::deque<std::uint32_t> lengths_;  // the whole messages after those, oldest first
    std::uint64_t dropped_ = 0;
};

class ObjectServer {
public:
    virtual ~ObjectServer() = default;

    // Listens on the port of the address given ("" all interfaces, "127.0.0.1" loopback
    // only; port 0 picks a free port). False when the port cannot be taken; errorText() says
    // why. A server that listens already is closed and opened again.
    virtual bool listen(const std::string& address, std::uint16_t port) = 0;
    virtual void stopListening() = 0;
    virtual bool isListening() const = 0;
    // The port listened on (the one chosen for port 0); 0 while not listening.
    virtual std::uint16_t port() const = 0;

    // --- the connection socket -------------------------------------------------------
    // True while the connection socket is not closed (a peer is connected).
    virtual bool connected() const = 0;
    // The request raised by onConnectionRequest: taken onto the connection socket, or
    // turned away. Either call consumes the request.
    virtual void acceptPending() = 0;
    virtual void refusePending() = 0;
    // Appends every received byte not yet read to out; returns how many.
    virtual std::size_t readAll(Bytes& out) = 0;
    // Queues bytes for the peer; ignored while not connected.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    // Closes the connection socket (nothing happens when it is closed).
    virtual void closeConnection() = 0;
    // Bytes written but not yet taken by the system, and the whole messages dropped from
    // them (AnswerQueue) since the connection was accepted.
    virtual std::size_t queuedBytes() const { return 0; }
    virtual std::uint64_t droppedMessages() const { return 0; }

    const std::string& errorText() const { return error_; }

    // --- events ------------------------------------------------------------------------
    std::function<void()> onConnectionRequest;
    std::function<void()> onDataArrival;
    std::function<void()> onPeerClosed;
    std::function<void(int number, const std::string& description)> onError;

protected:
    void setError(std::string text) { error_ = std::move(text); }

private:
    std::string error_;
};

}  // namespace korvane
