#include "qt/qt_object_server.h"

#include <QHostAddress>

namespace korvane {

QtObjectServer::QtObjectServer(QObject* parent) : QObject(parent) {
    connect(&srSocketListen_, &QTcpServer::newConnection, this, &QtObjectServer::onNewConnection);
}

QtObjectServer::~QtObjectServer() {
    closeConnection();
    refusePending();
}

bool QtObjectServer::listen(const std::string& address, std::uint16_t port) {
    srSocketListen_.close();
    const QHostAddress host = address.empty() ? QHostAddress(QHostAddress::Any) : QHostAddress(QString::fromStdString(address));
    if (host.isNull()) {
        setError("not an address: " + address);
        return false;
    }
    if (srSocketListen_.listen(host, port)) return true;
    setError(srSocketListen_.errorString().toStdString());
    return false;
}

void QtObjectServer::onNewConnection() {
    while (srSocketListen_.hasPendingConnections()) {
        refusePending();
        pending_ = srSocketListen_.nextPendingConnection();
        if (onConnectionRequest) onConnectionRequest();
        refusePending();  // neither taken nor refused: turned away
    }
}

void QtObjectServer::release(QTcpSocket* s) {
    if (!s) return;
    QObject::disconnect(s, nullptr, this, nullptr);
    s->disconnectFromHost();
    s->deleteLater();
}

void QtObjectServer::refusePending() {
    if (pending_) {
        pending_->abort();
        pending_->deleteLater();
    }
    pending_ = nullptr;
}

void QtObjectServer::acceptPending() {
    if (!pending_) return;
    closeConnection();
    QTcpSocket* s = pending_;
    pending_ = nullptr;
    srSocket_ = s;
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
        if (s == srSocket_) pump();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (s == srSocket_ && onDataArrival) onDataArrival();
    });
    connect(s, &QTcpSocket::disconnected, this, [this, s] {
        if (s != srSocket_) return;
        if (onPeerClosed) onPeerClosed();
        if (s == srSocket_) closeConnection();
    });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError e) {
        // The peer's orderly close comes as disconnected() as well.
        if (s != srSocket_ || e == QAbstractSocket::RemoteHostClosedError) return;
        if (onError) onError(static_cast<int>(e), s->errorString().toStdString());
        if (s == srSocket_) closeConnection();
    });
}

std::size_t QtObjectServer::readAll(Bytes& out) {
    if (!srSocket_) return 0;
    const QByteArray b = srSocket_->readAll();
    out.insert(out.end(), b.begin(), b.end());
    return static_cast<std::size_t>(b.size());
}

void QtObjectServer::write(std::span<const std::uint8_t> bytes) {
    if (!srSocket_) return;
    tx_.push(bytes);
    pump();
}

void QtObjectServer::pump() {
    char chunk[16384];
    while (srSocket_ && !tx_.empty() && srSocket_->bytesToWrite() < kSocketBytes) {
        const std::size_t n = tx_.peek(reinterpret_cast<std::uint8_t*>(chunk), sizeof chunk);
        if (srSocket_->write(chunk, static_cast<qint64>(n)) != static_cast<qint64>(n)) return;
        tx_.consume(n);
    }
}

void QtObjectServer::closeConnection() {
    QTcpSocket* s = srSocket_;
    srSocket_ = nullptr;
    tx_.clear();
    release(s);
}

}  // namespace korvane
