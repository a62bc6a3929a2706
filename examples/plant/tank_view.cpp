#include "tank_view.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

TankPicture::TankPicture(const TankModel& tank, const TankLink& link, QWidget* parent)
    : QWidget(parent), tank_(tank), link_(link) {
    setMinimumSize(380, 320);
}

namespace {
void valve(QPainter& p, QPointF c, bool open, const QString& name) {
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(open ? QColor(40, 180, 60) : QColor(200, 40, 40));
    QPolygonF left{{c.x() - 14, c.y() - 9}, {c.x(), c.y()}, {c.x() - 14, c.y() + 9}};
    QPolygonF right{{c.x() + 14, c.y() - 9}, {c.x(), c.y()}, {c.x() + 14, c.y() + 9}};
    p.drawPolygon(left);
    p.drawPolygon(right);
    p.drawText(QRectF(c.x() - 50, c.y() + 10, 100, 18), Qt::AlignCenter,
               name + (open ? QStringLiteral(" 开") : QStringLiteral(" 关")));
}
void lamp(QPainter& p, QPointF c, bool on, QColor color, const QString& text) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(on ? color : QColor(90, 90, 90));
    p.drawEllipse(c, 7, 7);
    p.drawText(QPointF(c.x() + 12, c.y() + 5), text);
}
}  // namespace

void TankPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(245, 245, 240));
    const QRectF tank(110, 60, 160, 230);
    // Pipes: in at the top left, out at the bottom right.
    p.setPen(QPen(QColor(120, 120, 120), 8));
    p.drawLine(QPointF(20, 22), QPointF(tank.left() + 30, 22));
    p.drawLine(QPointF(tank.left() + 30, 22), QPointF(tank.left() + 30, tank.top() + 10));
    p.drawLine(QPointF(tank.right(), tank.bottom() - 15), QPointF(width() - 20.0, tank.bottom() - 15));
    valve(p, QPointF(65, 22), tank_.fillValve, QStringLiteral("进水阀"));
    valve(p, QPointF(tank.right() + 50, tank.bottom() - 15), tank_.drainValve, QStringLiteral("出水阀"));
    // Water.
    const double h = tank.height() * tank_.level / 100.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 130, 220));
    p.drawRect(QRectF(tank.left(), tank.bottom() - h, tank.width(), h));
    p.setPen(QPen(Qt::black, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(tank);
    // Level switches on the left wall.
    for (auto [pct, on, name] : {std::tuple{TankModel::kHighSwitch, tank_.highSwitch(), QStringLiteral("LS_HIGH")},
                                 std::tuple{TankModel::kLowSwitch, tank_.lowSwitch(), QStringLiteral("LS_LOW")}}) {
        const double y = tank.bottom() - tank.height() * pct / 100.0;
        p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        p.drawLine(QPointF(tank.left() - 30, y), QPointF(tank.left(), y));
        lamp(p, QPointF(tank.left() - 40, y), on, QColor(255, 210, 0), QString());
        p.drawText(QRectF(0, y - 22, tank.left() - 30, 16), Qt::AlignRight, name);
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(tank.left() - 80, tank.top() - 26, tank.width() + 160, 18), Qt::AlignCenter,
               QStringLiteral("液位 %1 %  传感器 %2 mA").arg(tank_.level, 0, 'f', 1).arg(tank_.sensorMilliamps(), 0, 'f', 2));
    const double display = link_.displayMa < 4 ? 0 : (link_.displayMa - 4) / 16 * 100;
    p.drawText(QPointF(tank.right() + 12, tank.top() + 20), QStringLiteral("PLC显示 %1 %").arg(display, 0, 'f', 1));
    lamp(p, QPointF(tank.right() + 20, tank.top() + 45), link_.alarm, QColor(255, 60, 60), QStringLiteral("高液位报警"));
    p.drawText(QPointF(tank.right() + 12, tank.top() + 80), QStringLiteral("应答 %1").arg(link_.answers));
}

TankView::TankView(TankModel& tank, TankLink& link, QWidget* parent) : QWidget(parent), tank_(tank), link_(link) {
    setWindowTitle(QStringLiteral("水箱液位对象 - Korvane"));
    auto* v = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    host_ = new QLineEdit(QStringLiteral("127.0.0.1"), this);
    port_ = new QLineEdit(QStringLiteral("9215"), this);
    port_->setMaximumWidth(70);
    connect_ = new QPushButton(QStringLiteral("连接"), this);
    row->addWidget(new QLabel(QStringLiteral("仿真器"), this));
    row->addWidget(host_);
    row->addWidget(port_);
    row->addWidget(connect_);
    v->addLayout(row);
    picture_ = new TankPicture(tank_, link_, this);
    v->addWidget(picture_, 1);
    auto* bottom = new QHBoxLayout;
    demand_ = new QCheckBox(QStringLiteral("用水 (DEMAND)"), this);
    demand_->setChecked(tank_.demand);
    state_ = new QLabel(QStringLiteral("未连接"), this);
    bottom->addWidget(demand_);
    bottom->addStretch();
    bottom->addWidget(state_);
    v->addLayout(bottom);
    connect(connect_, &QPushButton::clicked, this, [this] {
        if (link_.connected()) link_.disconnectFrom();
        else link_.connectTo(host_->text(), static_cast<quint16>(port_->text().toUInt()));
    });
    connect(demand_, &QCheckBox::toggled, this, [this](bool on) { tank_.demand = on; });
    connect(&link_, &TankLink::stateChanged, this, [this](const QString& t) {
        state_->setText(t);
        connect_->setText(link_.connected() ? QStringLiteral("断开") : QStringLiteral("连接"));
    });
    connect(&link_, &TankLink::updated, picture_, qOverload<>(&QWidget::update));
}

void TankView::setTarget(const QString& host, quint16 port) {
    host_->setText(host);
    port_->setText(QString::number(port));
}
