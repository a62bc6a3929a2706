#pragma once
// Shared set-up of the window tests: a FormMain whose questions are answered by an
// AutoPrompt, whose settings live in memory, whose lock file sits in the test folder and
// whose file dialogs return what the test chose.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <memory>

#include "platform/prompt.h"
#include "sim/recent_files.h"
#include "ui/form_main.h"
#include "ui/rack_view.h"

namespace korvane::test {

inline QString testTmp() {
    QDir().mkpath(QStringLiteral(KORVANE_TEST_TMP));
    return QStringLiteral(KORVANE_TEST_TMP);
}

inline QString example(const char* name) {
    return QStringLiteral(KORVANE_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

// Writes a file of the test folder; its path, or "" when it cannot be written.
inline QString writeTestFile(const QString& name, const QByteArray& bytes) {
    const QString path = QDir(testTmp()).filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) return {};
    return path;
}

// A program as exported, with two lines the program check reports: an instruction the
// simulator does not execute (file line 8, code line 6) and a word past V memory's image
// (file line 9, code line 7).
inline constexpr const char* kProgramWithFaults =
    "ORGANIZATION_BLOCK 主程序:OB1\r\n"
    "TITLE=检查示例\r\n"
    "BEGIN\r\n"
    "Network 1 // 启动\r\n"
    "LD     I0.0\r\n"
    "=      Q0.0\r\n"
    "Network 2 // 有问题的行\r\n"
    "HSC    0\r\n"
    "MOVW   1, VW1023\r\n"
    "END_ORGANIZATION_BLOCK\r\n";

struct Harness {
    AutoPrompt prompt;
    MemorySettingsStore settings;
    QString nextFile;       // what the next file dialog returns
    QString lastSuggested;  // the file name the last dialog proposed
    std::unique_ptr<FormMain> window;

    // The lock is per test program, so that test programs run side by side never see each
    // other as a first instance.
    explicit Harness(bool useMemorySettings = true, QString lockName = QString()) {
        if (lockName.isEmpty()) lockName = QCoreApplication::applicationName() + QStringLiteral(".lock");
        FormMainOptions o;
        o.prompt = &prompt;
        if (useMemorySettings) o.settings = &settings;
        o.lockPath = QDir(testTmp()).filePath(lockName);
        o.fileDialog = [this](FileDialogKind, const QString& suggested) {
            lastSuggested = suggested;
            return nextFile;
        };
        o.objectPort = 0;  // a free port: test programs never compete for 9215
        window = std::make_unique<FormMain>(o);
        window->resize(1280, 860);
        window->show();
    }
    FormMain& w() { return *window; }
    PlcMemory& mem() { return window->sim().memory; }

    // Clicks the toolbar button of a toolbar key.
    void clickTool(const char* key) {
        QToolBar* bar = window->findChild<QToolBar*>(QStringLiteral("toolbar"));
        QWidget* b = bar->widgetForAction(window->action(QString::fromLatin1(key)));
        QTest::mouseClick(b, Qt::LeftButton);
    }
};

// A point on the indicator of a check box, where a click always lands.
inline QPoint indicatorPoint(QCheckBox* box) { return QPoint(7, box->height() / 2); }

}  // namespace korvane::test
