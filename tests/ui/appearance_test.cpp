// How the window looks and helps: every lamp inside its frame, the child windows laid out
// without hiding the panels on a small screen, Chinese tooltips and distinct icons on every
// toolbar, message boxes above windows that stay on top, a fixed-width code view, where the
// file dialogs open, the manual behind "?" and Qt's own texts in Chinese.
#include <QClipboard>
#include <QFontInfo>
#include <QLibraryInfo>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

#include "hardware/catalogue.h"
#include "ui/locations.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {
bool hasCjk(const QString& s) {
    for (QChar c : s)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
    return false;
}

QImage iconImage(const QAction* a) { return a->icon().pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32); }

QMdiSubWindow* subOf(QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }

// The lamps of a row that lie outside the frame, by number.
QStringList lampsOutside(const LampRow* row, const QWidget* frame) {
    QStringList out;
    for (int k = 0; k < row->count(); ++k) {
        const QRect r = LampRow::lampRect(k).translated(row->mapTo(frame, QPoint(0, 0)));
        if (!row->isVisibleTo(frame) || !frame->contentsRect().contains(r)) out << QString::number(k);
    }
    return out;
}
}  // namespace

class AppearanceTest : public QObject {
    Q_OBJECT
private slots:
    // Every input and output lamp of every CPU model and of every module lies inside its frame.
    void everyLampLiesInsideItsFrame() {
        Harness h;
        FormMain& w = h.w();
        RackView* r = w.rack();
        for (int i = 0; i < static_cast<int>(cpuCatalogue().size()); ++i) {
            emit r->cmbCPU->activated(i);
            QTest::qWait(20);
            const CatalogueEntry& cpu = cpuCatalogue()[static_cast<std::size_t>(i)];
            QCOMPARE(r->cpuInputs->count(), cpu.digitalInputs);
            const QString name = QString::fromStdString(cpu.name);
            QVERIFY2(lampsOutside(r->cpuInputs, r->cpuFrame).isEmpty(),
                     qPrintable(name + ": I " + lampsOutside(r->cpuInputs, r->cpuFrame).join(',')));
            QVERIFY2(lampsOutside(r->cpuOutputs, r->cpuFrame).isEmpty(),
                     qPrintable(name + ": Q " + lampsOutside(r->cpuOutputs, r->cpuFrame).join(',')));
        }
        emit r->cmbCPU->activated(8);
        const RackView::Slot& m1 = r->moduleSlots[0];
        for (int m = 1; m < static_cast<int>(moduleCatalogue().size()); ++m) {
            w.hardware().chooseModule(0, m);
            QTest::qWait(20);
            const QString name = QString::fromStdString(moduleCatalogue()[static_cast<std::size_t>(m)].name);
            QVERIFY2(lampsOutside(m1.inputs, m1.frame).isEmpty(), qPrintable(name));
            QVERIFY2(lampsOutside(m1.outputs, m1.frame).isEmpty(), qPrintable(name));
        }
    }

    // On a 1366 x 768 screen the input panel's boxes and the output panel are in view and
    // covered by no other window; the status table and the program status view open beside
    // the input panel and beside each other (on both screen sizes).
    void childWindowsOnSmallScreens_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1366x768") << QSize(1366, 768);
        QTest::newRow("1600x1000") << QSize(1600, 1000);
    }
    void childWindowsOnSmallScreens() {
        QFETCH(QSize, size);
        Harness h;
        FormMain& w = h.w();
        w.resize(size);
        QTest::qWait(50);
        w.arrangePanels();
        QTest::qWait(50);
        QWidget* view = w.mdiArea()->viewport();
        const QRect inView = view->rect();
        QMdiSubWindow* in = subOf(w.inputPanel());
        QMdiSubWindow* out = subOf(w.outputPanel());
        for (QMdiSubWindow* sub : {in, out}) {
            QVERIFY2(inView.contains(sub->geometry()), qPrintable(sub->windowTitle()));
            for (QMdiSubWindow* other : w.mdiArea()->subWindowList())
                if (other != sub && other->isVisible())
                    QVERIFY2(!other->geometry().intersects(sub->geometry()),
                             qPrintable(other->windowTitle() + " covers " + sub->windowTitle()));
        }
        for (BitBox* box : w.inputPanel()->bitBoxes) {
            const QRect r(box->mapTo(view, QPoint(0, 0)), box->size());
            QVERIFY2(inView.contains(r), qPrintable(box->text()));
        }

        w.showStatusTable();
        w.showProgramStatus();
        QTest::qWait(20);
        const QRect table = subOf(w.statusTableWindow())->geometry();
        const QRect program = subOf(w.programStatusWindow())->geometry();
        QVERIFY(inView.contains(table) && inView.contains(program));
        QVERIFY(!table.intersects(in->geometry()));
        QVERIFY(!program.intersects(in->geometry()));
        QVERIFY(!table.intersects(program));
    }

    // Every button of every toolbar (the main window's, the status table's) tells in Chinese
    // what it does, and has an icon of its own.
    void toolbarButtonsHaveChineseTooltipsAndOwnIcons() {
        Harness h;
        FormMain& w = h.w();
        w.showStatusTable();
        auto* mainBar = w.findChild<QToolBar*>(QStringLiteral("toolbar"));
        auto* tableBar = w.statusTableWindow()->findChild<QToolBar*>();
        QVERIFY(mainBar && tableBar);
        const QList<QToolBar*> bars = w.findChildren<QToolBar*>();
        QVERIFY(bars.contains(mainBar) && bars.contains(tableBar));
        for (QToolBar* bar : bars) {
            for (QAction* a : bar->actions()) {
                if (a->isSeparator()) continue;
                const QString tip = a->toolTip();
                QVERIFY2(hasCjk(tip) && tip != a->objectName(), qPrintable(a->objectName() + ": " + tip));
                auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
                QVERIFY2(button, qPrintable(a->objectName()));
                QCOMPARE(button->toolTip(), tip);
            }
        }
        QList<QImage> mainIcons;
        for (QAction* a : mainBar->actions())
            if (!a->isSeparator()) mainIcons << iconImage(a);
        QList<QImage> tableIcons;
        for (QAction* a : tableBar->actions()) {
            const QImage img = iconImage(a);
            QVERIFY2(!img.isNull(), qPrintable(a->objectName()));
            QVERIFY2(!tableIcons.contains(img), qPrintable(a->objectName() + " looks like another button of the table"));
            QVERIFY2(!mainIcons.contains(img), qPrintable(a->objectName() + " looks like a button of the main window"));
            tableIcons << img;
        }
    }

    // A message box belongs to the window that stays on top ("说明") and so shows above it.
    void messageBoxAboveAWindowOnTop() {
        Harness h;
        FormMain& w = h.w();
        w.showInstructions();
        QVERIFY(w.instructionsWindow()->windowFlags() & Qt::WindowStaysOnTopHint);
        w.showStatusTable();
        w.setPrompt(nullptr);  // real message boxes from here on
        QGuiApplication::clipboard()->clear();
        QPointer<QWidget> owner;
        QString text;
        bool boxOnTop = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            owner = box->parentWidget();
            text = box->text();
            boxOnTop = box->windowFlags() & Qt::WindowStaysOnTopHint;
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        w.statusTableWindow()->pasteSymbols();
        QCOMPARE(text, QString::fromUtf8(kMsgClipboardNoText));
        QCOMPARE(owner.data(), static_cast<QWidget*>(w.instructionsWindow()));
        QVERIFY(boxOnTop);
    }

    // The code view's STL columns line up: narrow and wide letters are equally wide.
    void codeViewUsesAFixedWidthFont() {
        Harness h;
        const QFontMetrics fm(h.w().codeBox()->font());
        QCOMPARE(fm.horizontalAdvance(QStringLiteral("iiii")), fm.horizontalAdvance(QStringLiteral("WWWW")));
    }

    // The file dialogs open beside the last program file, else among the examples.
    void fileDialogsOpenWhereTheLastFileWas() {
        {
            Harness h;
            QCOMPARE(QDir(h.w().dialogFolder()), QDir(QStringLiteral(KORVANE_SOURCE_DIR "/examples")));
        }
        const QString program = writeTestFile(QStringLiteral("dialogs/last.awl"), QByteArray("Network 1\r\n"));
        QVERIFY(!program.isEmpty());
        Harness h;
        h.settings.setValue(kRecentSection, "RecentFile1", program.toStdString());
        h.window.reset();
        FormMainOptions o;
        o.prompt = &h.prompt;
        o.settings = &h.settings;
        o.lockPath = testTmp() + "/" + QCoreApplication::applicationName() + ".lock";
        FormMain w(o);
        QCOMPARE(QDir(w.dialogFolder()), QDir(testTmp() + "/dialogs"));
        w.loadProgramFile(example("motor_start_stop.awl"));
        QCOMPARE(QDir(w.dialogFolder()), QDir(QStringLiteral(KORVANE_SOURCE_DIR "/examples")));
    }

    // "?" opens the user manual in its own window, with its pictures.
    void helpButtonOpensTheManual() {
        QFile f(QStringLiteral(KORVANE_SOURCE_DIR "/docs/manual.md"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString heading = QString::fromUtf8(f.readLine()).trimmed().remove(QRegularExpression(QStringLiteral("^#+\\s*")));
        QVERIFY(!heading.isEmpty());
        Harness h;
        h.clickTool("btHelp");
        ManualWindow* m = h.w().manualWindow();
        QVERIFY(m && m->isVisible() && m->isWindow());
        QVERIFY(m->browser->document()->toPlainText().startsWith(heading));
        const QVariant picture =
            m->browser->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/panel_input.png")));
        QVERIFY(!QImage::fromData(picture.toByteArray()).isNull() || !picture.value<QImage>().isNull());
        // The help menu's item shows the same window.
        m->close();
        QTRY_VERIFY(!h.w().manualWindow());
        h.w().action("mnuHelpOnline")->trigger();
        QVERIFY(h.w().manualWindow() && h.w().manualWindow()->isVisible());
    }

    // With Qt's Chinese texts loaded, the standard buttons speak Chinese.
    void qtTextsInChinese() {
        const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFileInfo::exists(dir + "/qtbase_zh_CN.qm"))
            QSKIP(qPrintable("qtbase_zh_CN.qm is not in " + dir + " (Debian package qt6-translations-l10n)"));
        QTranslator* t = loadQtTranslations();
        QVERIFY(t);
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
        const QString yes = box.button(QMessageBox::Yes)->text();
        const QString cancel = box.button(QMessageBox::Cancel)->text();
        QCoreApplication::removeTranslator(t);
        delete t;
        QVERIFY2(hasCjk(yes), qPrintable(yes));
        QVERIFY2(hasCjk(cancel), qPrintable(cancel));
    }
};

QTEST_MAIN(AppearanceTest)
#include "appearance_test.moc"
