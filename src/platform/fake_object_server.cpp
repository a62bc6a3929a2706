#include "platform/fake_object_server.h"

namespace korvane {

bool FakeObjectServer::listen(const std::string& address, std::uint16_t port) {
    listening_ = false;
    if (!failListenWith.empty()) {
        setError(failListenWith);
        return false;
    }
    address_ = address;
    port_ = port == 0 ? 49152 : port;
    listening_ = true;
    return true;
}

void FakeObjectServer::acceptPending() {
    if (!pending_) return;
    pending_ = false;
    pendingTaken_ = true;
    connected_ = true;
    rx_.clear();
    ++accepted_;
}

void FakeObjectServer::refusePending() {
    if (!pending_) return;
    pending_ = false;
    ++refused_;
}

std::size_t FakeObjectServer::readAll(Bytes& out) {
    const std::size_t n = rx_.size();
    out.insert(out.end(), rx_.begin(), rx_.end());
    rx_.clear();
    return n;
}

void FakeObjectServer::write(std::span<const std::uint8_t> bytes) {
    if (connected_) sent_.insert(sent_.end(), bytes.begin(), bytes.end());
}

bool FakeObjectServer::peerConnects() {
    if (!listening_) return false;
    pending_ = true;
    pendingTaken_ = false;
    if (onConnectionRequest) onConnectionRequest();
    // A request the link neither took nor refused is turned away, as a socket would be.
    if (pending_) refusePending();
    return pendingTaken_;
}

void FakeObjectServer::peerSends(std::span<const std::uint8_t> bytes) {
    if (!connected_) return;
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    if (onDataArrival) onDataArrival();
}

void FakeObjectServer::peerCloses() {
    if (!connected_) return;
    if (onPeerClosed) onPeerClosed();
}

void FakeObjectServer::socketFails(int number, const std::string& description) {
    if (onError) onError(number, description);
}

Bytes FakeObjectServer::take() {
    Bytes out;
    out.swap(sent_);
    return out;
}

}  // namespace korvane
