// The object I/O view with a real TCP peer on the window's object link: counts, hexadecimal
// and analog fields, the grid with unassignable points, the disconnect command, the peer's
// close, staying on top, the listen failure, a peer that never reads its answers, and a
// screenshot with the peer connected.
#include <QElapsedTimer>
#include <QMdiSubWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cstring>

#include "objectlink/object_view_model.h"
#include "qt/qt_object_server.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {

void put32(QByteArray& m, quint32 v) {
    char b[4];
    qToBigEndian(v, b);
    m.append(b, 4);
}

// 16 DI, 12 DO, 2 AI, 2 AO with names, kind 1.
QByteArray describe() {
    QByteArray m("\x01\x01\x01\x02", 4);
    put32(m, 1);
    for (quint32 n : {16u, 12u, 2u, 2u}) put32(m, n);
    auto name = [&](const QString& s) {
        QByteArray f = s.toLatin1();
        f.resize(8, '\0');
        m.append(f);
    };
    const char* di[] = {"LS_LOW", "LS_HIGH", "DEMAND"};
    for (int k = 0; k < 16; ++k) name(k < 3 ? QString::fromLatin1(di[k]) : QStringLiteral("DI%1").arg(k));
    const char* dout[] = {"FILL", "DRAIN", "ALARM"};
    for (int k = 0; k < 12; ++k) name(k < 3 ? QString::fromLatin1(dout[k]) : QStringLiteral("DO%1").arg(k));
    name(QStringLiteral("LEVEL"));
    name(QStringLiteral("TEMP"));
    name(QStringLiteral("DISPLAY"));
    name(QStringLiteral("SPARE"));
    return m;
}

QByteArray data(quint8 di0, float ai0, float ai1) {
    QByteArray m("\x01\x01\x01\x03", 4);
    m.append(static_cast<char>(di0));
    m.append(7, '\0');
    for (float f : {ai0, ai1}) {
        quint32 u;
        std::memcpy(&u, &f, 4);
        put32(m, u);
    }
    for (int k = 2; k < 16; ++k) put32(m, 0);
    return m;
}

QString cell(QTableWidget* g, int r, int c) {
    const QTableWidgetItem* it = g->item(r, c);
    return it ? it->text() : QString();
}

}  // namespace

class ObjectViewTest : public QObject {
    Q_OBJECT

    // CPU 224 with an EM235 (4 AI, 1 AO) in M1, the view shown, a peer connected.
    struct Rig {
        Harness h;
        QTcpSocket peer;
        Rig() {
            FormMain& w = h.w();
            w.hardware().chooseCpu(4);
            w.hardware().chooseModule(0, 22);
            w.showObjectView();
            peer.connectToHost(QStringLiteral("127.0.0.1"), w.objectLinkPort());
        }
        FrmObject& view() { return *h.w().objectView(); }
        bool describedAndAnswered(quint8 di0, float ai0, float ai1) {
            peer.readAll();
            peer.write(data(di0, ai0, ai1));
            return QTest::qWaitFor([&] { return peer.bytesAvailable() >= 76; }, 3000);
        }
    };

private slots:
    void viewIsReachedFromToolbarAndMenuAndHidesWhenClosed() {
        Harness h;
        FormMain& w = h.w();
        FrmObject* v = w.objectView();
        QVERIFY(v && !v->isVisible());
        QCOMPARE(v->windowTitle(), QString::fromUtf8(objectview::kCaption));
        h.clickTool("btObj");
        QVERIFY(v->isVisible());
        v->action("mnuClose")->trigger();
        QVERIFY(!v->isVisible());
        QCOMPARE(w.objectView(), v);  // kept, only hidden
        w.action("mnuObj")->trigger();
        QVERIFY(v->isVisible());
        QVERIFY(!v->action("mnuDisconnect")->isEnabled());
        QCOMPARE(v->grid->rowCount(), 4);
        QVERIFY(w.objectLinkPort() != 0);
        // The window listens on every interface and says where.
        QVERIFY(w.logText().contains(QString::fromUtf8("在 0.0.0.0:%1 上监听仿真对象连接。").arg(w.objectLinkPort())));

        v->action("mnuOnTop")->trigger();
        auto* sub = qobject_cast<QMdiSubWindow*>(v->parentWidget());
        QVERIFY(sub->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(v->action("mnuOnTop")->isChecked() && !v->action("mnuNotOnTop")->isChecked());
        v->action("mnuNotOnTop")->trigger();
        QVERIFY(!(sub->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!v->action("mnuOnTop")->isChecked() && v->action("mnuNotOnTop")->isChecked());
    }

    void aConnectedPeerFillsTheViewAndDrivesTheInputs() {
        Rig r;
        FormMain& w = r.h.w();
        FrmObject& v = r.view();
        QVERIFY(r.peer.waitForConnected(3000));
        r.peer.write(describe());
        QTRY_COMPARE_WITH_TIMEOUT(v.txtCount[0]->text(), QStringLiteral(" 16"), 3000);
        QCOMPARE(v.txtCount[1]->text(), QStringLiteral(" 2"));
        QCOMPARE(v.txtCount[2]->text(), QStringLiteral(" 12"));
        QCOMPARE(v.txtCount[3]->text(), QStringLiteral(" 2"));
        QVERIFY(v.action("mnuDisconnect")->isEnabled());
        QCOMPARE(v.grid->rowCount(), 32);
        QCOMPARE(cell(v.grid, 0, 3), QStringLiteral("LS_LOW"));
        QCOMPARE(cell(v.grid, 13, 4), QStringLiteral("CPU集成"));
        QCOMPARE(cell(v.grid, 13, 5), QStringLiteral("I1.5"));
        QCOMPARE(cell(v.grid, 14, 4), QStringLiteral("不存在"));
        QCOMPARE(cell(v.grid, 14, 5), QString());
        QCOMPARE(cell(v.grid, 16, 1), QStringLiteral("字"));
        QCOMPARE(cell(v.grid, 16, 4), QStringLiteral("IO模块1"));
        QCOMPARE(cell(v.grid, 17, 5), QStringLiteral("AIW2"));
        QCOMPARE(cell(v.grid, 18, 2), QStringLiteral("DO"));
        QCOMPARE(cell(v.grid, 28, 4), QStringLiteral("不存在"));  // DO 10: the CPU has ten outputs
        QCOMPARE(cell(v.grid, 30, 5), QStringLiteral("AQW0"));
        QCOMPARE(cell(v.grid, 31, 4), QStringLiteral("不存在"));  // AO 1: EM235 has one output
        QVERIFY(w.logText().contains(QStringLiteral("\r\nDI14IO无法分配\r\nDI15IO无法分配")));
        QCOMPARE(w.logText().count(QStringLiteral("DI14IO无法分配")), 1);
        QCOMPARE(w.statusPanel(3)->text(), QString::fromUtf8(objectview::kStatusUnassignable));
        QVERIFY(w.inputsFromObject());

        // DI 0 and 3 on; AI 0 at 4.03125 mA, AI 1 at 25 mA (limited).
        QVERIFY(r.describedAndAnswered(0x09, 4.03125f, 25.0f));
        QTRY_COMPARE_WITH_TIMEOUT(v.txtDI[0]->text(), QStringLiteral("9"), 3000);
        QCOMPARE(v.txtDI[1]->text(), QStringLiteral("0"));
        QCOMPARE(v.txtAI[0]->text(), QStringLiteral("4.031"));
        QCOMPARE(v.txtAI[1]->text(), QStringLiteral("20.479"));
        QCOMPARE(cell(v.grid, 16, 6), QStringLiteral(" 4.03125"));
        QCOMPARE(cell(v.grid, 0, 6), QStringLiteral(" 1"));
        QCOMPARE(cell(v.grid, 1, 6), QStringLiteral(" 0"));
        QCOMPARE(cell(v.grid, 14, 6), QString());  // unassigned
        // The scan takes the object's inputs into the image; the panels only show them.
        w.sim().scan.continuousRun();
        QTRY_VERIFY_WITH_TIMEOUT(r.h.mem().bit(3), 3000);
        QCOMPARE(r.h.mem().GetWordValue(area::AIW), 6450.0);
        QCOMPARE(w.inputPanel()->lbSource->text(), QStringLiteral("输入仿真控制"));

        const QString dir = QStringLiteral(KORVANE_SCREENSHOT_DIR);
        QDir().mkpath(dir);
        auto* sub = qobject_cast<QMdiSubWindow*>(v.parentWidget());
        sub->resize(760, 640);
        QTest::qWait(100);
        QVERIFY(sub->grab().save(dir + QStringLiteral("/object_view_connected.png")));

        v.action("mnuDisconnect")->trigger();
        QVERIFY(!w.inputsFromObject());
        for (QLineEdit* e : v.txtDI) QCOMPARE(e->text(), QString());
        for (QLineEdit* e : v.txtAI) QCOMPARE(e->text(), QString());
        QCOMPARE(v.grid->rowCount(), 4);
        for (int c = 0; c < 7; ++c) QCOMPARE(cell(v.grid, 0, c), QString());
        QCOMPARE(v.txtCount[0]->text(), QStringLiteral(" 16"));  // the last declared counts stay
        QVERIFY(QTest::qWaitFor([&] { return r.peer.state() != QAbstractSocket::ConnectedState; }, 3000));
        w.sim().scan.stop();
    }

    void thePeersCloseGivesTheInputsBackAndSaysSo() {
        Rig r;
        FormMain& w = r.h.w();
        QVERIFY(r.peer.waitForConnected(3000));
        r.peer.write(describe());
        QTRY_VERIFY_WITH_TIMEOUT(w.inputsFromObject(), 3000);
        QVERIFY(w.logText().contains(QString::fromUtf8(kLogObjectAccepted)));
        r.peer.disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(!w.inputsFromObject(), 3000);
        QCOMPARE(w.statusPanel(2)->text(), QString::fromUtf8(kStatusObjectClosed));
        QVERIFY(w.logText().contains(QString::fromUtf8(kLogObjectClosed)));
        // A new peer is accepted.
        QTcpSocket again;
        again.connectToHost(QStringLiteral("127.0.0.1"), w.objectLinkPort());
        QVERIFY(again.waitForConnected(3000));
        again.write(describe());
        QTRY_VERIFY_WITH_TIMEOUT(w.inputsFromObject(), 3000);
    }

    void aPeerThatNeverReadsIsQueuedForWithinABound() {
        Rig r;
        FormMain& w = r.h.w();
        QVERIFY(r.peer.waitForConnected(3000));
        // The peer takes nothing in: the sockets' buffers fill, then the server's queue.
        r.peer.setReadBufferSize(4096);
        r.peer.write(describe());
        QByteArray batch;
        for (int k = 0; k < 64; ++k) batch += data(static_cast<quint8>(k & 1), 4.0f + static_cast<float>(k % 16), 4.0f);
        const ObjectServer& server = w.sim().link->server();
        std::size_t most = 0;
        QElapsedTimer t;
        t.start();
        for (int k = 0; k < 1500; ++k) {  // 96,000 messages, 7.3 MB of answers
            r.peer.write(batch);
            QCoreApplication::processEvents();
            most = std::max(most, server.queuedBytes());
        }
        while (r.peer.bytesToWrite() > 0 && t.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            most = std::max(most, server.queuedBytes());
        }
        QTest::qWait(200);
        most = std::max(most, server.queuedBytes());
        qInfo("most queued for the peer: %zu bytes", most);
        // The queue's limit, and the socket's own short buffer.
        QVERIFY(most <= AnswerQueue::kDefaultLimit + QtObjectServer::kSocketBytes + 16 * 1024);
        QVERIFY(w.sim().link->connected());
        QVERIFY(server.droppedMessages() > 0);
        QCOMPARE(w.logText().count(QString::fromUtf8(kLogObjectSlowReader)), 1);
        // Reading again, the peer gets everything that was kept: whole answers, in step.
        r.peer.setReadBufferSize(0);
        QByteArray got;
        QElapsedTimer quiet;
        quiet.start();
        t.restart();
        while (quiet.elapsed() < 500 && t.elapsed() < 20000) {
            QTest::qWait(10);
            if (const QByteArray b = r.peer.readAll(); !b.isEmpty()) {
                got += b;
                quiet.restart();
            }
        }
        qInfo("read afterwards: %lld bytes", static_cast<long long>(got.size()));
        QVERIFY(static_cast<std::size_t>(got.size()) > AnswerQueue::kDefaultLimit);
        QCOMPARE(got.size() % 76, 0);
        for (qsizetype at = 0; at < got.size(); at += 76) QCOMPARE(got.mid(at, 4), QByteArray("\x01\x01\x01\x03", 4));
    }

    void aPortInUseShowsTheMessageAndTheWindowRunsOn() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        AutoPrompt prompt;
        MemorySettingsStore settings;
        FormMainOptions o;
        o.prompt = &prompt;
        o.settings = &settings;
        o.lockPath = QDir(testTmp()).filePath(QStringLiteral("object_view_busy.lock"));
        o.objectPort = squatter.serverPort();
        FormMain w(o);
        QCOMPARE(prompt.informed, std::vector<std::string>{kMsgObjectListenFailed});
        QCOMPARE(w.objectLinkPort(), quint16(0));
        QVERIFY(w.objectView());

        // A loopback-only setting, and a port of -1 that turns the link off.
        MemorySettingsStore loopback;
        loopback.setValue(kObjectLinkSection, kObjectLinkAddressKey, "127.0.0.1");
        AutoPrompt p2;
        FormMainOptions o2 = o;
        o2.prompt = &p2;
        o2.settings = &loopback;
        o2.lockPath = QDir(testTmp()).filePath(QStringLiteral("object_view_loopback.lock"));
        o2.objectPort = 0;
        FormMain w2(o2);
        QVERIFY(w2.objectLinkPort() != 0);
        QVERIFY(w2.logText().contains(QString::fromUtf8("在 127.0.0.1:%1 上监听仿真对象连接。").arg(w2.objectLinkPort())));
        QVERIFY(p2.informed.empty());
        o2.objectPort = -1;
        o2.lockPath = QDir(testTmp()).filePath(QStringLiteral("object_view_off.lock"));
        FormMain w3(o2);
        QCOMPARE(w3.objectLinkPort(), quint16(0));
    }
};

QTEST_MAIN(ObjectViewTest)
#include "object_view_test.moc"
