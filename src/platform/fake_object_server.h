#pragma once
// An in-memory object server for tests: the test plays the peers. A peer asks to connect,
// sends bytes, closes or fails; every such call raises the server's event at once, from the
// test's call, never from inside the link's own calls into the server.
#include <cstdint>
#include <string>

#include "platform/object_server.h"

namespace korvane {

class FakeObjectServer final : public ObjectServer {
public:
    bool listen(const std::string& address, std::uint16_t port) override;
    void stopListening() override { listening_ = false; }
    bool isListening() const override { return listening_; }
    std::uint16_t port() const override { return listening_ ? port_ : 0; }
    const std::string& address() const { return address_; }

    bool connected() const override { return connected_; }
    void acceptPending() override;
    void refusePending() override;
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;
    void closeConnection() override { connected_ = false; }

    // --- the test's side -------------------------------------------------------------
    // listen() fails with this text while set (the port is in use).
    std::string failListenWith;
    // A peer asks to connect: raises the request; true when it was accepted.
    bool peerConnects();
    // The connected peer's bytes arrive in one event.
    void peerSends(std::span<const std::uint8_t> bytes);
    void peerSends(const Bytes& bytes) { peerSends(std::span<const std::uint8_t>(bytes)); }
    // The connected peer closes its socket.
    void peerCloses();
    // The connection socket fails.
    void socketFails(int number, const std::string& description);
    // What the server sent to the peer since the last take().
    Bytes take();
    const Bytes& sent() const { return sent_; }
    int accepted() const { return accepted_; }
    int refused() const { return refused_; }

private:
    bool listening_ = false;
    std::uint16_t port_ = 0;
    std::string address_;
    bool connected_ = false;
    bool pending_ = false;
    bool pendingTaken_ = false;
    Bytes rx_;
    Bytes sent_;
    int accepted_ = 0;
    int refused_ = 0;
};

}  // namespace korvane
