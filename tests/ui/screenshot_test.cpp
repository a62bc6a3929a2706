// Writes PNGs of the main window with a program running and of every panel and dialog into
// the screenshot folder, for a person to look at.
#include <QDir>
#include <QFileDialog>
#include <QTranslator>
#include <QMessageBox>
#include <QAbstractTextDocumentLayout>
#include <QMdiSubWindow>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

#include "hardware/catalogue.h"
#include "ui/locations.h"
#include "ui/rack_view.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

class ScreenshotTest : public QObject {
    Q_OBJECT

    QDir dir{QStringLiteral(KORVANE_SCREENSHOT_DIR)};
    QTranslator* qtTexts = nullptr;  // Qt's own texts in Chinese, as the program loads them

    void save(QWidget* w, const QString& name) {
        QVERIFY(w);
        const QPixmap pm = w->grab();
        QVERIFY(!pm.isNull());
        QVERIFY(pm.save(dir.filePath(name + ".png")));
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        qtTexts = loadQtTranslations();
    }

    void mainWindowRunning() {
        Harness h;
        FormMain& w = h.w();
        w.hardware().chooseModule(0, moduleIndexOfType(70));  // EM235 in M1
        w.hardware().chooseModule(1, 10);
        w.loadProgramFile(example("motor_start_stop.awl"));
        h.clickTool("btRun");
        BitBox* start = w.inputPanel()->bitBoxes[0];
        QTest::mouseClick(start, Qt::LeftButton, {}, indicatorPoint(start));
        h.mem().setCell(area::V + 8 * 3, kOn);
        h.mem().setCell(area::M + 2, kOn);
        h.mem().timers()[37].Preset = 100;
        h.mem().timers()[37].Current = 37;
        QTRY_VERIFY_WITH_TIMEOUT(w.rack()->cpuOutputs->lampColor(0) == QColor(255, 0, 0), 3000);
        w.ShowLog("12:00:00 日志示例：程序已经载入");
        QTest::qWait(250);
        save(&w, "main_window_running");

        // Every panel at a readable size.
        const std::pair<QWidget*, const char*> panels[] = {
            {w.inputPanel(), "panel_input"},   {w.outputPanel(), "panel_output"},
            {w.mPanel(), "panel_m"},           {w.vPanel(), "panel_v"},
            {w.analogPanel(), "panel_analog"}, {w.timerCounterPanel(), "panel_timer_counter"}};
        for (const auto& [panel, name] : panels) {
            auto* sub = qobject_cast<QMdiSubWindow*>(panel->parentWidget());
            sub->resize(sub->sizeHint().expandedTo(QSize(520, 300)));
            QTest::qWait(20);
            save(sub, name);
        }
        // The word view of the input panel in hexadecimal and the V panel at VB105.
        FrmDI* in = w.inputPanel();
        emit in->cmbDataType->activated(datatype::Word);
        in->FreshShow();
        save(qobject_cast<QMdiSubWindow*>(in->parentWidget()), "panel_input_words");
        BitBytePanel* v = w.vPanel();
        emit v->cmbPage->activated(1);
        emit v->cmbAddress->activated(5);
        v->FreshShow();
        save(qobject_cast<QMdiSubWindow*>(v->parentWidget()), "panel_v_105");

        // The watch windows at their preferred sizes (where they open depends on the room).
        w.showStatusTable();
        auto* table = qobject_cast<QMdiSubWindow*>(w.statusTableWindow()->parentWidget());
        table->resize(740, 320);
        QTest::qWait(150);
        save(table, "window_status_table");
        w.showProgramStatus();
        auto* program = qobject_cast<QMdiSubWindow*>(w.programStatusWindow()->parentWidget());
        program->resize(740, 380);
        QTest::qWait(150);
        save(program, "window_program_status");

        FormAConfig cfg(w.hardware(), 0, &w);
        cfg.show();
        QTest::qWait(20);
        save(&cfg, "dialog_analog_settings");

        w.showInstructions();
        QTest::qWait(20);
        save(w.instructionsWindow(), "dialog_instructions");
        w.showAbout();
        QTest::qWait(20);
        save(w.aboutBox(), "dialog_about");

        // The program check's results with findings listed, a row chosen.
        h.clickTool("btStop");
        w.loadProgramFile(writeTestFile(QStringLiteral("screenshot/faults.awl"), QByteArray(kProgramWithFaults)));
        w.showCheckResults();
        FrmCheckResults* check = w.checkResultsWindow();
        QVERIFY(check && check->grid->rowCount() == 2);
        check->grid->selectRow(1);
        QTest::qWait(150);
        save(qobject_cast<QMdiSubWindow*>(check->parentWidget()), "window_check_results");

        QMessageBox box(QMessageBox::Question, QStringLiteral("Korvane107B"), QStringLiteral("正在运行，真的退出？"),
                        QMessageBox::Ok | QMessageBox::Cancel, &w);
        box.show();
        QTest::qWait(20);
        save(&box, "dialog_exit_question");
        box.close();
    }

    // The main window at three screen sizes with a program loaded, the child windows laid out
    // as at start-up, then with the status table and the program status view opened.
    void mainWindowSizes() {
        for (const QSize size : {QSize(1366, 768), QSize(1600, 1000), QSize(1920, 1080)}) {
            Harness h;
            FormMain& w = h.w();
            w.loadProgramFile(example("motor_start_stop.awl"));
            w.resize(size);
            QTest::qWait(50);
            w.arrangePanels();
            QTest::qWait(150);
            const QString name = QStringLiteral("main_window_%1x%2").arg(size.width()).arg(size.height());
            save(&w, name);
            w.showStatusTable();
            w.showProgramStatus();
            QTest::qWait(150);
            save(&w, name + QStringLiteral("_watch"));
        }
    }

    // Every toolbar icon at twice its size with its key and tooltip: the main window's, then
    // the status table's.
    void toolbarIcons() {
        Harness h;
        h.w().showStatusTable();
        QList<QAction*> actions;
        for (QToolBar* bar : {h.w().findChild<QToolBar*>(QStringLiteral("toolbar")),
                              h.w().statusTableWindow()->findChild<QToolBar*>()})
            for (QAction* a : bar->actions())
                if (!a->isSeparator()) actions << a;
        constexpr int kRow = 56, kColumns = 3, kWidth = 330;
        QImage sheet(kColumns * kWidth, static_cast<int>((actions.size() + kColumns - 1) / kColumns) * kRow,
                     QImage::Format_ARGB32);
        sheet.fill(Qt::white);
        QPainter p(&sheet);
        for (int i = 0; i < actions.size(); ++i) {
            const QPoint at((i % kColumns) * kWidth + 4, (i / kColumns) * kRow + 4);
            p.drawImage(QRect(at, QSize(48, 48)), actions[i]->icon().pixmap(24, 24).toImage());
            p.drawText(QRect(at + QPoint(56, 0), QSize(kWidth - 60, 48)), Qt::AlignVCenter | Qt::TextWordWrap,
                       actions[i]->objectName() + QStringLiteral("\n") + actions[i]->toolTip());
        }
        p.end();
        QVERIFY(sheet.save(dir.filePath(QStringLiteral("toolbar_icons.png"))));
    }

    // The user manual's window, as the "?" button opens it.
    void manualWindow() {
        Harness h;
        h.clickTool("btHelp");
        ManualWindow* m = h.w().manualWindow();
        QVERIFY(m);
        m->resize(900, 760);
        QTest::qWait(150);
        save(m, QStringLiteral("window_manual"));
        // Further down, at its first picture.
        QTextDocument* doc = m->browser->document();
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            bool picture = false;
            for (auto it = b.begin(); !it.atEnd() && !picture; ++it) picture = it.fragment().charFormat().isImageFormat();
            if (!picture) continue;
            m->browser->verticalScrollBar()->setValue(static_cast<int>(doc->documentLayout()->blockBoundingRect(b).top()) - 40);
            break;
        }
        QTest::qWait(100);
        save(m, QStringLiteral("window_manual_picture"));
    }

    // Qt's own dialogs with its Chinese texts: the program file dialog where it opens at
    // first (among the examples) and a question's buttons.
    void qtDialogsInChinese() {
        if (!qtTexts) QSKIP("Qt's Chinese texts (qtbase_zh_CN.qm) are not installed");
        Harness h;
        QFileDialog files(&h.w(), QStringLiteral("载入用户程序"), h.w().dialogFolder(), QStringLiteral("awl (*.awl *.AWL *.Awl)"));
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.resize(720, 440);
        files.show();
        QTest::qWait(150);
        save(&files, QStringLiteral("dialog_open_program"));
        files.close();
        QMessageBox box(QMessageBox::Question, QStringLiteral("Korvane107B"), QStringLiteral("正在运行，真的退出？"),
                        QMessageBox::Yes | QMessageBox::Cancel, &h.w());
        box.show();
        QTest::qWait(20);
        save(&box, QStringLiteral("dialog_question_zh"));
        box.close();
    }

    // The real-CPU mode: the time base disabled, the status bar's mark, and the timer panel
    // at T30 with each timer's resolution while T32 (1 ms) and T33 (10 ms) count.
    void mainWindowRealCpu() {
        Harness h;
        FormMain& w = h.w();
        w.action("mnuRealCpu")->trigger();
        const QString program = writeTestFile(
            QStringLiteral("screenshot/real_cpu.awl"),
            QByteArray("ORGANIZATION_BLOCK 主程序:OB1\r\nTITLE=三种分辨率的定时器\r\nBEGIN\r\n"
                       "Network 1 // 100 ms\r\nLD     I0.0\r\nTON    T37, 50\r\n"
                       "Network 2 // 10 ms\r\nLD     I0.0\r\nTON    T33, 500\r\n"
                       "Network 3 // 1 ms\r\nLD     I0.0\r\nTON    T32, 5000\r\n"
                       "Network 4\r\nLD     T37\r\n=      Q0.0\r\nEND_ORGANIZATION_BLOCK\r\n"));
        QVERIFY(!program.isEmpty());
        w.loadProgramFile(program);
        TimerCounterPanel* tc = w.timerCounterPanel();
        emit tc->cmbT->activated(30);
        h.clickTool("btRun");
        BitBox* start = w.inputPanel()->bitBoxes[0];
        QTest::mouseClick(start, Qt::LeftButton, {}, indicatorPoint(start));
        QTRY_VERIFY_WITH_TIMEOUT(h.mem().timers()[32].Current > 300, 3000);
        auto* sub = qobject_cast<QMdiSubWindow*>(tc->parentWidget());
        w.mdiArea()->setActiveSubWindow(sub);
        QTest::qWait(100);
        save(&w, "main_window_real_cpu");
        sub->resize(sub->sizeHint().expandedTo(QSize(520, 300)));
        QTest::qWait(20);
        save(sub, "panel_timer_counter_real_cpu");
    }
};

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
