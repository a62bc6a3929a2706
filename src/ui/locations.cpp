#include "ui/locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace korvane {

namespace {
QString beside(const QString& relative) {
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(relative));
}
}  // namespace

QStringList manualCandidates() {
    QStringList out{beside(QStringLiteral("../share/doc/korvane/manual.md"))};
#ifdef KORVANE_SOURCE_DIR
    out << QDir::cleanPath(QStringLiteral(KORVANE_SOURCE_DIR "/docs/manual.md"));
#endif
    return out;
}

QString findManual() {
    for (const QString& p : manualCandidates())
        if (QFileInfo(p).isFile()) return p;
    return {};
}

QString examplesFolder() {
    QStringList candidates{beside(QStringLiteral("../share/korvane/examples"))};
#ifdef KORVANE_SOURCE_DIR
    candidates << QDir::cleanPath(QStringLiteral(KORVANE_SOURCE_DIR "/examples"));
#endif
    for (const QString& p : candidates)
        if (QFileInfo(p).isDir()) return p;
    return {};
}

QTranslator* loadQtTranslations() {
    auto* t = new QTranslator(QCoreApplication::instance());
    if (!t->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return nullptr;
    }
    QCoreApplication::installTranslator(t);
    return t;
}

}  // namespace korvane
