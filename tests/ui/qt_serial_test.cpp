// The serial channel on QSerialPort, over a socat pseudo-terminal pair: the COM-number
// mapping, opening with settings, writing and reading, the receive threshold and the
// drained event, both raised from the event loop only; a line whose device goes away and
// comes back.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

#include "platform/log_sink.h"
#include "qt/qt_scheduler.h"
#include "qt/qt_serial_port.h"

using namespace korvane;

namespace {
Bytes bytes(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return b;
}
}  // namespace

class QtSerialTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QProcess socat_;
    QString a_, b_;

    // The pair, linked as a_ and b_.
    void startSocat() {
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        socat_.start(socat, {QStringLiteral("pty,raw,echo=0,link=") + a_, QStringLiteral("pty,raw,echo=0,link=") + b_});
        QVERIFY(socat_.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(a_) && QFileInfo::exists(b_), 5000);
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty()) QSKIP("socat is not installed");
        a_ = dir_.filePath(QStringLiteral("a"));
        b_ = dir_.filePath(QStringLiteral("b"));
        startSocat();
    }
    void cleanupTestCase() {
        if (socat_.state() != QProcess::NotRunning) {
            socat_.terminate();
            socat_.waitForFinished(2000);
        }
    }

    void comNumbersMapThroughTheEnvironmentThenTheStoreThenTheDefault() {
        MemorySettingsStore store;
        store.setValue(kSerialPortsSection, "COM5", "/dev/ttyUSB3");
        ::unsetenv("KORVANE_COM5");
        QCOMPARE(QtSerialPort::deviceForPort(5, &store), std::string("/dev/ttyUSB3"));
        ::setenv("KORVANE_COM5", "/tmp/from-env", 1);
        QCOMPARE(QtSerialPort::deviceForPort(5, &store), std::string("/tmp/from-env"));
        ::unsetenv("KORVANE_COM5");
        QCOMPARE(QtSerialPort::deviceForPort(6, &store), std::string("/dev/ttyS5"));
        QCOMPARE(QtSerialPort::deviceForPort(6, nullptr), std::string("/dev/ttyS5"));
        QtSerialPort p(&store);
        QVERIFY(p.setPortNumber(5));
        QCOMPARE(p.device(), std::string("/dev/ttyUSB3"));
        p.setDevicePath("/tmp/x");
        QCOMPARE(p.device(), std::string("/tmp/x"));
    }

    void openFailsWithAReasonForAMissingDevice() {
        QtSerialPort p;
        p.setDevicePath("/nonexistent/tty");
        QVERIFY(!p.open());
        QVERIFY(!p.isOpen());
        QVERIFY(p.errorText().find("/nonexistent/tty") != std::string::npos);
    }

    void opensWithItsSettingsAndRefusesASecondUser() {
        QtSerialPort a;
        a.setDevicePath(a_.toStdString());
        QVERIFY(a.setSettings("19200,E,8,1"));
        QVERIFY2(a.open(), a.errorText().c_str());
        QCOMPARE(a.port().baudRate(), 19200);
        QCOMPARE(a.port().dataBits(), QSerialPort::Data8);
        QCOMPARE(a.settings(), std::string("19200,E,8,1"));
        QVERIFY(!a.setPortNumber(3));  // only while closed
        // A speed on the open line keeps the other fields.
        QVERIFY(a.setSettings("38400,,,"));
        QCOMPARE(a.port().baudRate(), 38400);
        QCOMPARE(a.settings(), std::string("38400,E,8,1"));
        QVERIFY(!a.setSettings("38400,X,8,1"));
        QCOMPARE(a.port().baudRate(), 38400);

        QtSerialPort second;
        second.setDevicePath(a_.toStdString());
        QVERIFY(!second.open());
        QVERIFY(!second.errorText().empty());
        a.close();
        QVERIFY(!a.isOpen());
        QVERIFY2(second.open(), second.errorText().c_str());  // free again once closed
    }

    void bytesTravelAndEventsComeFromTheEventLoop() {
        QtSerialPort a, b;
        a.setDevicePath(a_.toStdString());
        b.setDevicePath(b_.toStdString());
        QVERIFY2(a.open(), a.errorText().c_str());
        QVERIFY2(b.open(), b.errorText().c_str());
        bool inCall = false;
        int received = 0, drained = 0;
        a.setReceiveThreshold(6);
        a.onReceive = [&] {
            QVERIFY(!inCall);
            ++received;
        };
        b.setSendThreshold(1);
        b.onSendDrained = [&] {
            QVERIFY(!inCall);
            ++drained;
        };

        inCall = true;
        b.write(bytes({1, 2, 3, 4, 5}));
        inCall = false;
        QCOMPARE(drained, 0);  // not from inside write()
        QTRY_COMPARE(drained, 1);
        QTRY_COMPARE(a.bytesWaiting(), std::size_t{5});
        QTest::qWait(50);
        QCOMPARE(received, 0);  // five bytes wait, below the threshold of six

        b.write(bytes({6}));
        QTRY_COMPARE(received, 1);
        QTRY_COMPARE(drained, 2);
        Bytes got;
        inCall = true;
        QCOMPARE(a.readAll(got), std::size_t{6});
        inCall = false;
        QCOMPARE(got, bytes({1, 2, 3, 4, 5, 6}));
        QCOMPARE(a.bytesWaiting(), std::size_t{0});

        // Threshold 0 switches the receive event off; the bytes still arrive.
        a.setReceiveThreshold(0);
        b.setSendThreshold(0);
        b.write(bytes({0xE5}));
        QTRY_COMPARE(a.bytesWaiting(), std::size_t{1});
        QTest::qWait(30);
        QCOMPARE(received, 1);
        QCOMPARE(drained, 2);

        // The other way round, and nothing is written while closed.
        a.write(bytes({0x10, 0x02}));
        QTRY_COMPARE(b.bytesWaiting(), std::size_t{2});
        a.close();
        a.write(bytes({0x16}));
        QTest::qWait(30);
        got.clear();
        b.readAll(got);
        QCOMPARE(got, bytes({0x10, 0x02}));
    }

    // Last: it replaces the pair. The pair goes away as an adapter pulled out does; the line
    // is lost (and logged) but still counts as open, and once the pair is back under the same
    // names the keeper's retry opens it again and bytes travel.
    void aLineWhoseDeviceWentAwayIsReopenedWhenItComesBack() {
        QtScheduler scheduler;
        MemoryLogSink sink;
        Log log(&sink);
        log.setClock([] { return std::string("12:00:00"); });
        QtSerialPort a;
        a.setDevicePath(a_.toStdString());
        SerialLineKeeper keeper(scheduler, log);
        keeper.keep(a);
        QVERIFY2(a.open(), a.errorText().c_str());

        socat_.kill();
        QVERIFY(socat_.waitForFinished(2000));
        QFile::remove(a_);
        QFile::remove(b_);
        QTRY_VERIFY_WITH_TIMEOUT(a.lost(), 5000);
        QVERIFY(a.isOpen());
        QCOMPARE(sink.lines.size(), std::size_t{1});
        QVERIFY2(sink.lines[0].find("串口COM1断开") != std::string::npos, sink.lines[0].c_str());
        QTest::qWait(1200);  // a retry finds nothing yet
        QVERIFY(a.lost());

        startSocat();
        QTRY_VERIFY_WITH_TIMEOUT(!a.lost(), 5000);
        QVERIFY(a.isOpen());
        QCOMPARE(sink.lines.size(), std::size_t{2});
        QVERIFY2(sink.lines[1].find("串口COM1已重新打开") != std::string::npos, sink.lines[1].c_str());
        QtSerialPort b;
        b.setDevicePath(b_.toStdString());
        QVERIFY2(b.open(), b.errorText().c_str());
        b.write(bytes({7, 8, 9}));
        QTRY_COMPARE(a.bytesWaiting(), std::size_t{3});
    }
};

QTEST_MAIN(QtSerialTest)
#include "qt_serial_test.moc"
