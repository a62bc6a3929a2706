#pragma once
// The plant's side of the object link: it describes itself (3 DI, 3 DO, 1 AI, 1 AO, with
// names), then every period sends the switches, the demand and the sensor current and takes
// the valves, the alarm and the level display from the answer. Numbers are sent most
// significant byte first (object kind 1).
#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "tank_model.h"

class TankLink : public QObject {
    Q_OBJECT
public:
    explicit TankLink(TankModel& tank, QObject* parent = nullptr);
    // The socket outlives the timer; its last signals must not reach a link half destroyed.
    ~TankLink() override;
    void connectTo(const QString& host, quint16 port);
    void disconnectFrom();
    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // Plant seconds per real second.
    double speed = 1.0;
    int periodMs = 50;

    bool alarm = false;       // DO 2
    double displayMa = 0;     // AO 0: the PLC's level display
    long answers = 0;

signals:
    void stateChanged(const QString& text);
    void updated();

private:
    void onConnected();
    void onReadyRead();
    void tick();

    TankModel& tank_;
    QTcpSocket socket_;
    QTimer timer_;
    QByteArray pending_;
};

// The messages, exposed for the headless check.
QByteArray describeMessage();
QByteArray dataMessage(const TankModel& tank);
