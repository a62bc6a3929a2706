#pragma once
// The object server on QTcpServer and QTcpSocket, for the window: srSocketListen and
// srSocket. The peer's orderly close is the peer-closed event; every other socket error is
// the error event with the socket's error number and text. The socket's own write buffer
// is kept short (kSocketBytes); what the peer does not take in waits in an AnswerQueue of
// 1 MiB, beyond which its oldest answers are dropped.
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include "platform/object_server.h"

namespace korvane {

class QtObjectServer : public QObject, public ObjectServer {
    Q_OBJECT
public:
    explicit QtObjectServer(QObject* parent = nullptr);
    ~QtObjectServer() override;

    bool listen(const std::string& address, std::uint16_t port) override;
    void stopListening() override { srSocketListen_.close(); }
    bool isListening() const override { return srSocketListen_.isListening(); }
    std::uint16_t port() const override { return isListening() ? srSocketListen_.serverPort() : 0; }

    bool connected() const override { return srSocket_ != nullptr; }
    void acceptPending() override;
    void refusePending() override;
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;
    void closeConnection() override;
    static constexpr qint64 kSocketBytes = 64 * 1024;
    std::size_t queuedBytes() const override {
        return tx_.size() + (srSocket_ ? static_cast<std::size_t>(srSocket_->bytesToWrite()) : 0);
    }
    std::uint64_t droppedMessages() const override { return tx_.dropped(); }

private:
    void onNewConnection();
    void release(QTcpSocket* s);
    // Moves queued bytes into the socket while its buffer is short.
    void pump();

    QTcpServer srSocketListen_;
    QPointer<QTcpSocket> srSocket_;
    QPointer<QTcpSocket> pending_;
    AnswerQueue tx_;
};

}  // namespace korvane
