// The port settings dialog FrmPort, reached from the main window's "串口设置": captions,
// lists and their defaults, selection handlers reaching PortConfig, opening a port, hiding.
#include <QtTest>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "hardware/catalogue.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {

FrmPort* openDialog(Harness& h) {
    h.w().action(QStringLiteral("mnuSetupComm"))->trigger();
    return h.w().portDialog();
}

void choose(QComboBox* list, const QString& text) {
    const int i = list->findText(text);
    QVERIFY2(i >= 0, qPrintable(text));
    list->setCurrentIndex(i);
}

bool fieldShown(FrmPort* d, QWidget* control) { return !d->fieldOf(control)->isHidden(); }

QStringList items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
}

}  // namespace

class FormPortTest : public QObject {
    Q_OBJECT
private slots:
    void reachedFromTheMainWindowAndHiddenWhenClosed() {
        Harness h;
        FrmPort* d = openDialog(h);
        QVERIFY(d);
        QVERIFY(d->isVisible());
        QVERIFY(!h.w().logText().contains(QStringLiteral("尚未接入串口")));
        QCOMPARE(d->windowTitle(), QStringLiteral("端口设置，CPU运行后才能通信"));
        QCOMPARE(d->grpMaster->title(), QStringLiteral("PORT1-主站"));
        QCOMPARE(d->grpSlave->title(), QStringLiteral("PORT0-从站"));
        QCOMPARE(d->lbSlaveNote->text(), QStringLiteral("组态王等软件连接PORT0，PPI从站模式"));
        QCOMPARE(d->lbComNote->text(), QStringLiteral("注意串口号，如果采用虚拟串口。则关联成对串口中的一个。"));
        QCOMPARE(d->ckMasterComm->text(), QStringLiteral("通信"));
        QCOMPARE(d->ckSlaveComm->text(), QStringLiteral("通信"));
        QCOMPARE(d->btOK->text(), QStringLiteral("确定"));
        const QStringList master = {QStringLiteral("PPI协议"), QStringLiteral("MODBUS-RTU"), QStringLiteral("自由协议"),
                                    QStringLiteral("USS协议")};
        for (int i = 0; i < 4; ++i) QCOMPARE(d->optMaster[static_cast<std::size_t>(i)]->text(), master[i]);
        QCOMPARE(d->optSlave[0]->text(), QStringLiteral("PPI协议"));
        QCOMPARE(d->optSlave[1]->text(), QStringLiteral("MODBUS-RTU"));

        // Closed and "确定" both hide; the same dialog comes back with its state.
        QPointer<FrmPort> kept = d;
        choose(d->cmbSlaveAddress, QStringLiteral("9"));
        d->close();
        QVERIFY(kept);
        QVERIFY(!d->isVisible());
        QCOMPARE(openDialog(h), d);
        QCOMPARE(d->cmbSlaveAddress->currentText(), QStringLiteral("9"));
        QTest::mouseClick(d->btOK, Qt::LeftButton);
        QVERIFY(kept);
        QVERIFY(!d->isVisible());
    }

    void listsShowTheirDefaults() {
        Harness h;
        FrmPort* d = openDialog(h);
        const struct {
            QComboBox* list;
            int count;
            const char *first, *last, *current;
        } lists[] = {
            {d->cmbSlaveAddress, 247, "1", "247", "2"}, {d->cmbSlaveCom, 32, "1", "32", "2"},
            {d->cmbReplyWindow, 150, "10", "1500", "70"}, {d->cmbSlaveSpeed, 4, "9600", "57600", "9600"},
            {d->cmbMasterAddress, 247, "1", "247", "1"}, {d->cmbMasterCom, 32, "1", "32", "1"},
            {d->cmbMasterSpeed, 4, "9600", "57600", "9600"}, {d->cmbPPITimeout, 150, "10", "1500", "70"},
            {d->cmbUSSTimeout, 150, "10", "1500", "70"},
        };
        for (const auto& l : lists) {
            QCOMPARE(l.list->count(), l.count);
            QCOMPARE(l.list->itemText(0), QString::fromLatin1(l.first));
            QCOMPARE(l.list->itemText(l.count - 1), QString::fromLatin1(l.last));
            QCOMPARE(l.list->currentText(), QString::fromLatin1(l.current));
        }
        QCOMPARE(items(d->cmbSlaveSpeed), (QStringList{"9600", "19200", "38400", "57600"}));
        QCOMPARE(d->cmbReplyWindow->itemText(1), QStringLiteral("20"));
        QVERIFY(d->optSlave[0]->isChecked());
        QVERIFY(d->optMaster[0]->isChecked());
        QVERIFY(!d->ckSlaveComm->isChecked());
        QVERIFY(!d->ckMasterComm->isChecked());
        QVERIFY(fieldShown(d, d->cmbReplyWindow));
        QCOMPARE(d->txtSlaveSettings->text(), QStringLiteral("9600,E,8,1"));
        QCOMPARE(d->txtPPISettings->text(), QStringLiteral("9600,E,8,1"));
        QVERIFY(d->txtSlaveSettings->isReadOnly());
        // The start-up settings of both slave channels.
        for (ChannelId id : {ChannelId::Port0, ChannelId::Port1}) {
            QCOMPARE(h.w().sim().comm->config.channel(id).settings(), std::string("9600,E,8,1"));
            QVERIFY(h.w().sim().comm->config.channel(id).binaryInput());
        }
    }

    void selectionsReachThePortConfiguration() {
        Harness h;
        FrmPort* d = openDialog(h);
        CommPorts& comm = *h.w().sim().comm;
        // An address chosen under PPI goes to PPI; switching to Modbus carries it over; a
        // later choice changes only Modbus.
        choose(d->cmbSlaveAddress, QStringLiteral("5"));
        QCOMPARE(comm.ppi.address(), 5);
        d->optSlave[1]->click();
        QCOMPARE(comm.config.slave().protocol, SlaveProtocol::ModbusRtu);
        QCOMPARE(int(comm.modbus.address()), 5);
        QVERIFY(comm.timers[TimerId::ModbusSlave].enabled());
        QVERIFY(!fieldShown(d, d->cmbReplyWindow));
        choose(d->cmbSlaveAddress, QStringLiteral("7"));
        QCOMPARE(int(comm.modbus.address()), 7);
        QCOMPARE(comm.ppi.address(), 5);
        d->optSlave[0]->click();
        QVERIFY(fieldShown(d, d->cmbReplyWindow));
        QVERIFY(!comm.timers[TimerId::ModbusSlave].enabled());

        choose(d->cmbSlaveSpeed, QStringLiteral("38400"));
        for (ChannelId id : {ChannelId::Port0, ChannelId::Port1})
            QCOMPARE(comm.config.channel(id).settings(), std::string("38400,E,8,1"));
        QCOMPARE(d->txtSlaveSettings->text(), QStringLiteral("38400,E,8,1"));
        choose(d->cmbReplyWindow, QStringLiteral("150"));
        QCOMPARE(comm.timers[TimerId::PPISlaveSecReac].interval(), 150);
        choose(d->cmbSlaveCom, QStringLiteral("4"));
        QCOMPARE(comm.config.channel(ChannelId::Port1).portNumber(), 4);

        choose(d->cmbMasterSpeed, QStringLiteral("19200"));
        QCOMPARE(comm.config.channel(ChannelId::PPI).settings(), std::string("19200,E,8,1"));
        QCOMPARE(d->txtPPISettings->text(), QStringLiteral("19200,E,8,1"));
        choose(d->cmbPPITimeout, QStringLiteral("100"));
        QCOMPARE(comm.timers[TimerId::PPITimerOut].interval(), 100);
        choose(d->cmbUSSTimeout, QStringLiteral("200"));
        QCOMPARE(comm.timers[TimerId::USSRec].interval(), 200);
        choose(d->cmbMasterAddress, QStringLiteral("3"));
        QCOMPARE(comm.config.master().stationAddress, 3);
        choose(d->cmbMasterCom, QStringLiteral("6"));
        QCOMPARE(comm.config.master().com, 6);

        // Each master protocol shows its own fields; the station address stays.
        const struct {
            int option;
            std::vector<QWidget*> shown, hidden;
        } protocols[] = {
            {1, {d->txtModbusSpeed, d->txtModbusSettings, d->txtModbusTimeout}, {d->cmbMasterSpeed, d->cmbUSSTimeout}},
            {2, {d->txtFreeSpeed, d->txtFreeGap, d->txtFreeSettings}, {d->txtModbusSpeed, d->cmbPPITimeout}},
            {3, {d->txtUSSSpeed, d->txtUSSSettings, d->cmbUSSTimeout}, {d->txtFreeGap, d->txtPPISettings}},
            {0, {d->cmbMasterSpeed, d->txtPPISettings, d->cmbPPITimeout}, {d->txtUSSSpeed, d->txtModbusTimeout}},
        };
        for (const auto& p : protocols) {
            d->optMaster[static_cast<std::size_t>(p.option)]->click();
            QCOMPARE(static_cast<int>(comm.config.master().protocol), p.option);
            QVERIFY(fieldShown(d, d->cmbMasterAddress));
            for (QWidget* w : p.shown) QVERIFY2(fieldShown(d, w), qPrintable(w->objectName()));
            for (QWidget* w : p.hidden) QVERIFY2(!fieldShown(d, w), qPrintable(w->objectName()));
        }
        QCOMPARE(d->txtModbusSettings->text(), QStringLiteral("9600,N,8,1"));
        QCOMPARE(d->txtUSSSettings->text(), QStringLiteral("9600,E,8,1"));
    }

    void theCheckBoxesOpenAndCloseThePorts() {
        Harness h;
        FrmPort* d = openDialog(h);
        CommPorts& comm = *h.w().sim().comm;
        // A COM number with no device: the line is logged and the box stays clear.
        ::setenv("KORVANE_COM9", "/nonexistent/korvane-tty", 1);
        choose(d->cmbSlaveCom, QStringLiteral("9"));
        d->ckSlaveComm->click();
        QVERIFY(!d->ckSlaveComm->isChecked());
        QVERIFY(h.w().logText().contains(QStringLiteral(" 端口9不能打开")));
        QVERIFY(d->cmbSlaveAddress->isEnabled());
        ::unsetenv("KORVANE_COM9");

        // A pseudo-terminal as COM10: the slave port opens, its lists but speed lock.
        const int leader = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(leader >= 0);
        QVERIFY(::grantpt(leader) == 0 && ::unlockpt(leader) == 0);
        ::setenv("KORVANE_COM10", ::ptsname(leader), 1);
        d->optSlave[1]->click();
        choose(d->cmbSlaveCom, QStringLiteral("10"));
        d->ckSlaveComm->click();
        QVERIFY(d->ckSlaveComm->isChecked());
        QVERIFY(comm.config.channel(ChannelId::Port0).isOpen());
        QVERIFY(!comm.config.channel(ChannelId::Port1).isOpen());
        QVERIFY(!d->cmbSlaveAddress->isEnabled());
        QVERIFY(!d->cmbSlaveCom->isEnabled());
        QVERIFY(!d->optSlave[0]->isEnabled());
        QVERIFY(d->cmbSlaveSpeed->isEnabled());
        choose(d->cmbSlaveSpeed, QStringLiteral("19200"));
        QCOMPARE(comm.config.channel(ChannelId::Port0).settings(), std::string("19200,E,8,1"));
        d->ckSlaveComm->click();
        QVERIFY(!d->ckSlaveComm->isChecked());
        QVERIFY(!comm.config.channel(ChannelId::Port0).isOpen());
        QVERIFY(d->cmbSlaveAddress->isEnabled());

        // The master port on the same device, as Modbus master.
        d->optMaster[1]->click();
        choose(d->cmbMasterCom, QStringLiteral("10"));
        d->ckMasterComm->click();
        QVERIFY(d->ckMasterComm->isChecked());
        QVERIFY(comm.config.channel(ChannelId::MODBUS).isOpen());
        QVERIFY(!d->cmbMasterCom->isEnabled());
        QVERIFY(!d->optMaster[0]->isEnabled());
        d->ckMasterComm->click();
        QVERIFY(!comm.config.channel(ChannelId::MODBUS).isOpen());
        QVERIFY(d->cmbMasterCom->isEnabled());
        ::unsetenv("KORVANE_COM10");
        ::close(leader);
    }

    void aSinglePortCpuDisablesTheMasterGroup() {
        Harness h;
        int single = -1;
        for (int i = 0; i < kCpuCount; ++i)
            if (cpuCatalogue()[static_cast<std::size_t>(i)].ports == 1) single = i;
        QVERIFY(single >= 0);
        FrmPort* d = openDialog(h);
        QVERIFY(d->grpMaster->isEnabled());  // the default CPU 226 has two ports
        d->hide();
        h.w().hardware().chooseCpu(single);
        QCOMPARE(int(h.w().hardware().cpu().ports), 1);
        openDialog(h);
        QVERIFY(!d->grpMaster->isEnabled());
        QVERIFY(d->grpSlave->isEnabled());
    }

    void screenshot() {
        Harness h;
        FrmPort* d = openDialog(h);
        QDir dir{QStringLiteral(KORVANE_SCREENSHOT_DIR)};
        dir.mkpath(QStringLiteral("."));
        QVERIFY(d->grab().save(dir.filePath(QStringLiteral("dialog_port.png"))));
        d->optMaster[1]->click();
        d->optSlave[1]->click();
        QVERIFY(d->grab().save(dir.filePath(QStringLiteral("dialog_port_modbus.png"))));
    }
};

QTEST_MAIN(FormPortTest)
#include "form_port_test.moc"
