// korvane: the simulator's window.
//   korvane [--load PROGRAM.awl] [--run] [--watch] [--quit-after MS] [--help] [--version]
// --watch opens the status table and the program status view.
// --quit-after closes the window after MS milliseconds and prints the scan ticks and
// program passes counted meanwhile, for measuring whether the scan keeps its 10 ms.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <string_view>

#include "ui/form_main.h"
#include "ui/locations.h"

namespace {

struct Options {
    QCommandLineOption load{QStringLiteral("load"), QStringLiteral("Load an STL program at start-up."),
                            QStringLiteral("file")};
    QCommandLineOption run{QStringLiteral("run"), QStringLiteral("Put the CPU in RUN after start-up.")};
    QCommandLineOption quitAfter{QStringLiteral("quit-after"),
                                 QStringLiteral("Quit after MS milliseconds and print the scan figures."),
                                 QStringLiteral("ms")};
    QCommandLineOption watch{QStringLiteral("watch"),
                             QStringLiteral("Open the status table and the program status view.")};
};

void describe(QCommandLineParser& parser, const Options& o) {
    parser.setApplicationDescription(QStringLiteral("Korvane S7-200 simulator"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(o.load);
    parser.addOption(o.watch);
    parser.addOption(o.run);
    parser.addOption(o.quitAfter);
}

void name() {
    QCoreApplication::setApplicationName(QStringLiteral("Korvane107B"));
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane107B"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
}

// Whether the command line asks for the usage or the version only.
bool asksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--") return false;
        if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all" || a == "--version" || a == "-v") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o;
    QCommandLineParser parser;
    describe(parser, o);
    if (asksForTextOnly(argc, argv)) {
        // Answered without a display: a core application is enough to print the usage or
        // the version, and the program ends there.
        QCoreApplication core(argc, argv);
        name();
        parser.process(core);
    }
    QApplication app(argc, argv);
    name();
    parser.process(app);
    // Qt's own texts (file dialogs, message-box buttons) in Chinese, like the rest.
    korvane::loadQtTranslations();
    const QCommandLineOption& load = o.load;
    const QCommandLineOption& run = o.run;
    const QCommandLineOption& quitAfter = o.quitAfter;
    const QCommandLineOption& watch = o.watch;

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
