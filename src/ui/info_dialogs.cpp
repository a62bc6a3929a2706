#include "ui/info_dialogs.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/painted.h"

namespace korvane {

void placeAboveCentre(QWidget* w) {
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect r = screen->availableGeometry();
    w->move(r.left() + (r.width() - w->width()) / 2, r.top() + (r.height() - w->height()) / 2 - 20);
}

QString InstructionsWindow::text() {
    const QStringList paragraphs = {
        QStringLiteral("    软件支持西门子公司的SIMATIC指令集中的常用指令,包括函数，PID，部分中断，并不支持全部的SIMATIC指令（例如高速计数器与高速脉冲输出），具体内容请参考软件说明文档。"),
        QStringLiteral("    软件的最大特色是有完整的串口通信功能，功能上与软PLC相当，目前支持PPI、MODBUS-RTU和USS三种固定协议，可以做主站和从站。还支持自由口编程通信方式。"),
        QStringLiteral("    做从站时无需编程，支持PPI和MODBUS-RTU两种协议，PORT1为从站接口，支持MODBUS-RTU功能码：2，1，5，15，4，3，6，16；PPI协议下的从站功能，假定主站为组态王，并不支持全部的PPI功能。"),
        QStringLiteral("    做主站时支持PPI、MODBUS-RTU和USS三种固定协议，PORT0为主站接口。在PPI协议下，支持NETR读指令和NETW写指令；在MODBUS协议下，支持西门子官方的MODBUS主站库中的P0口子程序，即MBUS_CTRL初始化和MBUS_MSG读写子程序；在USS协议下，支持西门子官方USS主站库中的P0口子程序，即USS_INIT初始化和USS_CTRL控制两个子程序。"),
        QStringLiteral("    在自由口编程通信方式下，支持XMT发送指令和RCV接收指令。"),
        QStringLiteral("    软件可以通过TCP端口9215与一个仿真对象连接，仿真对象最多有16个AI、16个AO、64个DI和64个DO；软件还可以接受组态软件通过PPI协议的连接。"),
        QStringLiteral("    调试时，非全速，一般中断执行与主程序次数很可能不同。"),
    };
    return paragraphs.join(QStringLiteral("\r\n"));
}

InstructionsWindow::InstructionsWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("说明"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    auto* v = new QVBoxLayout(this);
    txtInfo = new QPlainTextEdit(this);
    txtInfo->setReadOnly(true);
    txtInfo->setPlainText(text());
    v->addWidget(txtInfo);
    resize(560, 360);
    placeAboveCentre(this);
}

AboutBox::AboutBox(const QUrl& site, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于软件"));
    auto* v = new QVBoxLayout(this);
    auto* logo = new Logo(this);
    v->addWidget(logo, 0, Qt::AlignHCenter);
    v->addWidget(new QLabel(QStringLiteral("Korvane107B S7-200 PLC 仿真软件，Korvane 开发组"), this), 0, Qt::AlignHCenter);
    lbLink = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(site.toString(), QStringLiteral("Korvane 产品网站")), this);
    lbLink->setObjectName("lbLink");
    lbLink->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(lbLink, &QLabel::linkActivated, this, [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    v->addWidget(lbLink, 0, Qt::AlignHCenter);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    v->addWidget(close, 0, Qt::AlignHCenter);
    adjustSize();
    placeAboveCentre(this);
}

}  // namespace korvane
