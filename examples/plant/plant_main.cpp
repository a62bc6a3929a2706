// korvane-plant: a water tank to connect to the simulator's object link.
//   korvane-plant [--host H] [--port P] [--speed S] [--connect] [--screenshot FILE]
//   korvane-plant --headless [--host H] [--port P] [--speed S] [--seconds N]
// The headless mode runs the tank without a window for N seconds and checks that the PLC
// program keeps the level between the switches: the fill valve must open and close again,
// the level must stay within 10 % and 90 % once it has been controlled, and the PLC's level
// display must follow the sensor. Exit 0 when it did, 1 otherwise.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "tank_link.h"
#include "tank_view.h"

namespace {

struct Options {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 9215;
    double speed = 1.0;
    int seconds = 20;
    bool connect = false;
    QString screenshot;  // the window is saved there after --seconds, then the plant quits
};

Options parse(const QCoreApplication& app, bool& headless) {
    QCommandLineParser p;
    p.addHelpOption();
    const QCommandLineOption h(QStringLiteral("headless"), QStringLiteral("Run without a window and check the control."));
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Simulator host."), QStringLiteral("host"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Object link port."), QStringLiteral("port"));
    const QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("Plant seconds per second."), QStringLiteral("s"));
    const QCommandLineOption secs(QStringLiteral("seconds"), QStringLiteral("Headless run time."), QStringLiteral("n"));
    const QCommandLineOption conn(QStringLiteral("connect"), QStringLiteral("Connect at start."));
    const QCommandLineOption shot(QStringLiteral("screenshot"), QStringLiteral("Save the window after --seconds and quit."),
                                  QStringLiteral("file"));
    p.addOptions({h, host, port, speed, secs, conn, shot});
    p.process(app);
    Options o;
    headless = p.isSet(h);
    if (p.isSet(host)) o.host = p.value(host);
    if (p.isSet(port)) o.port = static_cast<quint16>(p.value(port).toUInt());
    if (p.isSet(speed)) o.speed = p.value(speed).toDouble();
    if (p.isSet(secs)) o.seconds = p.value(secs).toInt();
    o.connect = p.isSet(conn);
    if (p.isSet(shot)) o.screenshot = p.value(shot);
    return o;
}

bool headlessArg(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--headless") return true;
    return false;
}

int runHeadless(QCoreApplication& app, const Options& o) {
    TankModel tank;
    TankLink link(tank);
    link.speed = o.speed;
    int fillOpened = 0, fillClosed = 0;
    bool lastFill = false, controlled = false, failed = false;
    double minLevel = 100, maxLevel = 0, worstDisplay = 0;
    QObject::connect(&link, &TankLink::updated, &app, [&] {
        if (tank.fillValve != lastFill) {
            (tank.fillValve ? fillOpened : fillClosed)++;
            lastFill = tank.fillValve;
            std::printf("level %.1f %%: fill valve %s\n", tank.level, tank.fillValve ? "opens" : "closes");
        }
        if (fillOpened > 0) controlled = true;
        if (controlled) {
            minLevel = std::min(minLevel, tank.level);
            maxLevel = std::max(maxLevel, tank.level);
        }
        if (link.answers > 20 && link.displayMa >= 4) {
            // The display lags the sensor by a scan or two: compare within the travel of 0.5 s.
            const double displayPct = (link.displayMa - 4) / 16 * 100;
            worstDisplay = std::max(worstDisplay, std::abs(displayPct - tank.level));
        }
    });
    QObject::connect(&link, &TankLink::stateChanged, &app, [&](const QString& t) {
        std::printf("link: %s\n", t.toLocal8Bit().constData());
        if (t.startsWith(QStringLiteral("错误"))) {
            failed = true;
            app.exit(1);
        }
    });
    link.connectTo(o.host, o.port);
    QTimer::singleShot(o.seconds * 1000, &app, [&] { app.exit(0); });
    const int rc = app.exec();
    const bool ok = !failed && rc == 0 && fillOpened >= 1 && fillClosed >= 1 && minLevel >= 10 && maxLevel <= 90 &&
                    worstDisplay <= 5.0 * o.speed && link.answers > 0;
    std::printf("answers %ld, fill valve opened %d and closed %d times, level %.1f..%.1f %%, display off by %.1f %% at most: %s\n",
                link.answers, fillOpened, fillClosed, minLevel, maxLevel, worstDisplay, ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (headlessArg(argc, argv)) {
        QCoreApplication app(argc, argv);
        bool headless = true;
        const Options o = parse(app, headless);
        return runHeadless(app, o);
    }
    QApplication app(argc, argv);
    bool headless = false;
    const Options o = parse(app, headless);
    TankModel tank;
    TankLink link(tank);
    link.speed = o.speed;
    TankView view(tank, link);
    view.setTarget(o.host, o.port);
    view.resize(460, 470);
    view.show();
    if (o.connect) link.connectTo(o.host, o.port);
    if (!o.screenshot.isEmpty())
        QTimer::singleShot(o.seconds * 1000, &app, [&] { app.exit(view.grab().save(o.screenshot) ? 0 : 1); });
    return app.exec();
}
