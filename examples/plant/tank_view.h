#pragma once
// The plant's window: the tank with its water, the two valves, the switches and the sensor,
// the PLC's alarm lamp and level display, the consumers' demand switch, and the connection.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "tank_link.h"

class TankPicture : public QWidget {
public:
    TankPicture(const TankModel& tank, const TankLink& link, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {420, 360}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const TankModel& tank_;
    const TankLink& link_;
};

class TankView : public QWidget {
public:
    TankView(TankModel& tank, TankLink& link, QWidget* parent = nullptr);
    void setTarget(const QString& host, quint16 port);

private:
    TankModel& tank_;
    TankLink& link_;
    TankPicture* picture_;
    QLineEdit* host_;
    QLineEdit* port_;
    QPushButton* connect_;
    QCheckBox* demand_;
    QLabel* state_;
};
