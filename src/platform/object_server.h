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
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace korvane {

using Bytes = std::vector<std::uint8_t>;

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
