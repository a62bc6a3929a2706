// korvane: the simulator's window.
//   korvane [--load PROGRAM.awl] [--run]
#include <QApplication>
#include <QCommandLineParser>

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
    parser.addOption(load);
    parser.addOption(run);
    parser.process(app);

    korvane::FormMain window;
    window.showMaximized();
    if (parser.isSet(load)) window.loadProgramFile(parser.value(load));
    if (parser.isSet(run)) window.sim().scan.continuousRun();
    return app.exec();
}
