// korvane: the simulator's window.
//   korvane [--load PROGRAM.awl] [--run] [--watch] [--quit-after MS]
// --watch opens the status table and the program status view.
// --quit-after closes the window after MS milliseconds and prints the scan ticks and
// program passes counted meanwhile, for measuring whether the scan keeps its 10 ms.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

#include "ui/form_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane107B"));
    QApplication::setOrganizationName(QStringLiteral("Korvane107B"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Korvane S7-200 simulator"));
    parser.addHelpOption();
    const QCommandLineOption load(QStringLiteral("load"), QStringLiteral("Load an STL program at start-up."),
                                  QStringLiteral("file"));
    const QCommandLineOption run(QStringLiteral("run"), QStringLiteral("Put the CPU in RUN after start-up."));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Quit after MS milliseconds and print the scan figures."),
                                       QStringLiteral("ms"));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Open the status table and the program status view."));
    parser.addOption(load);
    parser.addOption(watch);
    parser.addOption(run);
    parser.addOption(quitAfter);
    parser.process(app);

    korvane::FormMain window;
    window.showMaximized();
    if (parser.isSet(load)) window.loadProgramFile(parser.value(load));
    // After the panels are tiled, so that both windows keep their own size.
    if (parser.isSet(watch))
        QTimer::singleShot(0, &window, [&window] {
            window.showStatusTable();
            window.showProgramStatus();
        });
    if (parser.isSet(run)) window.sim().scan.continuousRun();
    QElapsedTimer clock;
    clock.start();
    const std::int32_t ticks0 = window.sim().scan.state().tickCounter;
    const std::uint64_t passes0 = window.sim().scan.passes();
    if (parser.isSet(quitAfter)) {
        QTimer::singleShot(parser.value(quitAfter).toInt(), &window, [&] {
            const double ms = static_cast<double>(clock.elapsed());
            const double ticks = window.sim().scan.state().tickCounter - ticks0;
            const double passes = static_cast<double>(window.sim().scan.passes() - passes0);
            std::printf("elapsed_ms=%.0f ticks=%.0f (expected %.0f) passes=%.0f (expected %.0f)\n", ms, ticks, ms / 10,
                        passes, ms / 50);
            std::fflush(stdout);
            window.sim().scan.stop();
            window.close();
        });
    }
    return app.exec();
}
