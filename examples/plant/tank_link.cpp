#include "tank_link.h"

#include <QtEndian>
#include <cstring>

namespace {
void put32(QByteArray& m, quint32 v) {
    char b[4];
    qToBigEndian(v, b);
    m.append(b, 4);
}
quint32 get32(const char* p) { return qFromBigEndian<quint32>(p); }
}  // namespace

QByteArray describeMessage() {
    QByteArray m("\x01\x01\x01\x02", 4);
    put32(m, 1);  // kind 1: most significant byte first
    for (quint32 n : {3u, 3u, 1u, 1u}) put32(m, n);  // DI, DO, AI, AO
    for (const char* name : {"LS_LOW", "LS_HIGH", "DEMAND", "FILL", "DRAIN", "ALARM", "LEVEL", "DISPLAY"}) {
        QByteArray field(name);
        field.resize(8, '\0');
        m.append(field);
    }
    return m;
}

QByteArray dataMessage(const TankModel& tank) {
    QByteArray m("\x01\x01\x01\x03", 4);
    const char di = static_cast<char>((tank.lowSwitch() ? 1 : 0) | (tank.highSwitch() ? 2 : 0) | (tank.demand ? 4 : 0));
    m.append(di);
    m.append(7, '\0');
    const float ma = static_cast<float>(tank.sensorMilliamps());
    quint32 u;
    std::memcpy(&u, &ma, 4);
    put32(m, u);
    for (int k = 1; k < 16; ++k) put32(m, 0);
    return m;
}

TankLink::TankLink(TankModel& tank, QObject* parent) : QObject(parent), tank_(tank) {
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&socket_, &QTcpSocket::connected, this, &TankLink::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &TankLink::onReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        timer_.stop();
        emit stateChanged(QStringLiteral("已断开"));
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { emit stateChanged(QStringLiteral("错误: ") + socket_.errorString()); });
    connect(&timer_, &QTimer::timeout, this, &TankLink::tick);
}

TankLink::~TankLink() {
    socket_.disconnect(this);
    socket_.abort();
}

void TankLink::connectTo(const QString& host, quint16 port) {
    socket_.abort();
    pending_.clear();
    emit stateChanged(QStringLiteral("连接 %1:%2 ...").arg(host).arg(port));
    socket_.connectToHost(host, port);
}

void TankLink::disconnectFrom() {
    timer_.stop();
    socket_.disconnectFromHost();
}

void TankLink::onConnected() {
    emit stateChanged(QStringLiteral("已连接"));
    socket_.write(describeMessage());
    timer_.start(periodMs);
}

void TankLink::tick() {
    tank_.step(speed * periodMs / 1000.0);
    socket_.write(dataMessage(tank_));
    emit updated();
}

void TankLink::onReadyRead() {
    pending_.append(socket_.readAll());
    // Answers are 76 bytes: header, DO bytes 4 to 11, AO floats from byte 12.
    while (pending_.size() >= 76) {
        const char* a = pending_.constData();
        if (std::memcmp(a, "\x01\x01\x01\x03", 4) == 0) {
            tank_.fillValve = a[4] & 1;
            tank_.drainValve = a[4] & 2;
            alarm = a[4] & 4;
            const quint32 u = get32(a + 12);
            float f;
            std::memcpy(&f, &u, 4);
            displayMa = f;
            ++answers;
        }
        pending_.remove(0, 76);
    }
    emit updated();
}
