// The main window: start-up state, commands, the program running from the toolbar with
// inputs from the input panel, the rack's refusals, the log rule, recent files and the
// single-instance rule.
#include <QLockFile>
#include <QRegularExpression>
#include <QMdiSubWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTextBlock>
#include <QToolTip>
#include <QtTest>

#include "qt/qt_settings.h"
#include "sim/simulator.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

class FormMainTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, testTmp() + "/settings");
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, testTmp() + "/settings");
    }

    void startUpState() {
        Harness h;
        FormMain& w = h.w();
        QCOMPARE(w.windowTitle(), QString::fromUtf8(kProductTitle));
        RackView* r = w.rack();
        QCOMPARE(r->cmbScanPeriod->count(), 300);
        QCOMPARE(r->cmbScanPeriod->currentText(), QStringLiteral("50"));
        QCOMPARE(r->cmbScanPeriod->itemText(299), QStringLiteral("3000"));
        QCOMPARE(r->cmbTimeBase->count(), 195);
        QCOMPARE(r->cmbTimeBase->currentText(), QStringLiteral("80"));
        QCOMPARE(r->cmbCPU->currentIndex(), 8);
        QCOMPARE(r->cmbCPU->currentText(), QStringLiteral("CPU 226双口DC/DC/DC,24DI/16DO"));
        for (const auto& s : r->moduleSlots) {
            QCOMPARE(s.list->count(), 23);
            QCOMPARE(s.list->currentText(), QStringLiteral("No Any Module"));
            QVERIFY(!s.config->isVisible());
            QVERIFY(!s.inputs->isVisible());
        }
        QCOMPARE(r->cpuInputs->count(), 24);
        QCOMPARE(r->cpuOutputs->count(), 16);
        QCOMPARE(r->cpuInputs->captionText(), QString::fromStdString(lampCaption(24)));
        QVERIFY(r->port1->isVisible());
        QCOMPARE(r->statusLamps->stop(), QColor(255, 0, 0));
        QCOMPARE(r->statusLamps->run(), QColor(255, 255, 255));
        QCOMPARE(r->statusLamps->sf(), QColor(255, 255, 255));
        QCOMPARE(r->lbScanCount->text(), QStringLiteral("0"));
        QVERIFY(w.action("btStop")->isChecked());
        QVERIFY(w.action("btSwitchButton")->isChecked());
        QVERIFY(w.action("mnuSwitchButton")->isChecked());
        QVERIFY(!w.action("mnuPushButton")->isChecked());
        QVERIFY(w.action("btAWL")->isChecked());
        QVERIFY(w.action("mnuAWL")->isChecked());
        QVERIFY(w.inputPanel() && w.outputPanel() && w.mPanel() && w.vPanel() && w.analogPanel() &&
                w.timerCounterPanel());
        // The six panels and the object I/O view, which starts hidden.
        QCOMPARE(w.mdiArea()->subWindowList().size(), 7);
        QVERIFY(w.objectView() && !w.objectView()->isVisible());
        QCOMPARE(w.statusPanel(1)->text(), QString::fromUtf8(FormMain::kVersionText));
        QVERIFY(!w.secondInstance());
        // An empty store hides every recent item and the separator.
        for (int k = 1; k <= 9; ++k) QVERIFY(!w.action(QStringLiteral("mnuRecent%1").arg(k))->isVisible());
    }

    void commandCaptionsAndTooltips() {
        Harness h;
        FormMain& w = h.w();
        const std::pair<const char*, const char*> captions[] = {
            {"mnuRun", "连续运行(&R)"},     {"mnuRunFirst", "首次扫描(&F)"}, {"mnuRunN", "指定次数扫描"},
            {"mnuSlowRun", "秒周期扫描(&L)"}, {"mnuOneRun", "单周期扫描(&O)"}, {"mnuStop", "停止(&S)"},
            {"mnuStatusTable", "变量状态表(&T)"}, {"mnuAIO", "模拟量输入输出(&A)"}, {"mnuTile", "平铺(&T)"},
            {"mnuHelpOnline", "在线帮助(^F1)"}, {"mnuExit", "退出"}, {"mnuPushButton", "非锁定按钮"}};
        for (const auto& [name, caption] : captions) QCOMPARE(w.action(name)->text(), QString::fromUtf8(caption));
        const std::pair<const char*, const char*> tips[] = {
            {"btLoadProg", "载入程序"}, {"btUnloadDB", "卸载DB块"}, {"btStatusTable", "监控变量，状态表"},
            {"btPushButton", "输入非自锁开关"}, {"btKOP", "LAD梯形图"}, {"btTSC", "定时器计数器"}};
        for (const auto& [name, tip] : tips) QCOMPARE(w.action(name)->toolTip(), QString::fromUtf8(tip));
        // The pressed-button groups.
        h.clickTool("btPushButton");
        QVERIFY(w.inputMomentary());
        QVERIFY(!w.action("btSwitchButton")->isChecked());
        QVERIFY(w.action("mnuPushButton")->isChecked());
        QVERIFY(!w.action("mnuSwitchButton")->isChecked());
        QCOMPARE(w.inputPanel()->lbMode->text(), QStringLiteral("非自锁自复位"));
        // The code-view keys are one group: btKOP shows the ladder.
        h.clickTool("btKOP");
        QVERIFY(w.action("btKOP")->isChecked() && !w.action("btAWL")->isChecked());
        QVERIFY(w.codeViewIsLad());
    }

    void programRunsFromTheToolbarWithPanelInputs() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        QVERIFY(w.sim().hasProgram());
        QVERIFY(w.windowTitle().endsWith(example("motor_start_stop.awl")));
        QVERIFY(w.codeBox()->toPlainText().contains(QStringLiteral("LD     I0.0")) ||
                w.codeBox()->toPlainText().contains(QStringLiteral("LD I0.0")));
        h.clickTool("btRun");
        QVERIFY(w.sim().running());
        QVERIFY(w.action("btRun")->isChecked());
        QCOMPARE(w.rack()->statusLamps->run(), QColor(0, 255, 0));
        QVERIFY(w.rack()->runSwitch->running());

        FrmDI* in = w.inputPanel();
        // Latching: I0.0 on starts the motor; the output lamp turns red.
        BitBox* start = in->bitBoxes[0];
        QTest::mouseClick(start, Qt::LeftButton, {}, indicatorPoint(start));
        QVERIFY(start->isChecked());
        QCOMPARE(h.mem().cell(0), kOn);
        QTRY_VERIFY_WITH_TIMEOUT(h.mem().cell(area::Q) == kOn, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(w.rack()->cpuOutputs->lampColor(0), QColor(255, 0, 0), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(w.rack()->cpuInputs->lampColor(0), QColor(255, 0, 0), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(w.rack()->lbScanCount->text().toInt() > 2, 3000);
        // Releasing the start switch: the seal-in keeps the motor on.
        QTest::mouseClick(start, Qt::LeftButton, {}, indicatorPoint(start));
        QCOMPARE(h.mem().cell(0), kOff);
        QTest::qWait(300);
        QCOMPARE(h.mem().cell(area::Q), kOn);

        // Momentary: a right press does nothing; a left press of I0.1 stops the motor and
        // the release turns I0.1 off again.
        h.clickTool("btPushButton");
        BitBox* stop = in->bitBoxes[1];
        QTest::mousePress(stop, Qt::RightButton, {}, indicatorPoint(stop));
        QTest::mouseRelease(stop, Qt::RightButton, {}, indicatorPoint(stop));
        QCOMPARE(h.mem().cell(1), kOff);
        QTest::mousePress(stop, Qt::LeftButton, {}, indicatorPoint(stop));
        QCOMPARE(h.mem().cell(1), kOn);
        QVERIFY(stop->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(h.mem().cell(area::Q) == kOff, 3000);
        QTest::mouseRelease(stop, Qt::LeftButton, {}, indicatorPoint(stop));
        QCOMPARE(h.mem().cell(1), kOff);
        QVERIFY(!stop->isChecked());
        QTest::qWait(200);
        QCOMPARE(h.mem().cell(area::Q), kOff);
        QTRY_COMPARE_WITH_TIMEOUT(w.rack()->cpuOutputs->lampColor(0), QColor(255, 255, 255), 3000);

        h.clickTool("btStop");
        QVERIFY(!w.sim().running());
        QCOMPARE(w.rack()->statusLamps->stop(), QColor(255, 0, 0));
    }

    void rackRefusesChangesInRun() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        w.sim().scan.continuousRun();
        emit w.rack()->cmbCPU->activated(4);
        QCOMPARE(h.prompt.informed.back(), std::string(kMsgCpuWhileRunning));
        QCOMPARE(w.rack()->cmbCPU->currentIndex(), 8);
        emit w.rack()->moduleSlots[0].list->activated(10);
        QCOMPARE(h.prompt.informed.back(), std::string(kMsgModuleWhileRunning));
        QCOMPARE(w.rack()->moduleSlots[0].list->currentIndex(), 0);
        w.sim().scan.stop();
        // Stopped: CPU 221 empties and disables every slot; CPU 224 with a module in M1.
        emit w.rack()->cmbCPU->activated(0);
        QCOMPARE(w.rack()->cpuInputs->count(), 6);
        QVERIFY(!w.rack()->port1->isVisible());
        QVERIFY(!w.rack()->pot1->isVisible());
        for (const auto& s : w.rack()->moduleSlots) QVERIFY(!s.list->isEnabled());
        emit w.rack()->cmbCPU->activated(4);
        emit w.rack()->moduleSlots[1].list->activated(10);
        QCOMPARE(h.prompt.informed.back(), std::string(kMsgEarlierSlotEmpty));
        emit w.rack()->moduleSlots[0].list->activated(10);
        QCOMPARE(w.hardware().module(0).name, std::string("EM223 8DioDC"));
        QVERIFY(w.rack()->moduleSlots[0].inputs->isVisible());
        QCOMPARE(w.rack()->moduleSlots[0].inputs->count(), 8);
        // The module's lamps follow I2.0 and Q2.0.
        h.mem().setCell(16, kOn);
        h.mem().setCell(area::Q + 16, kOn);
        w.FreshShow();
        QCOMPARE(w.rack()->moduleSlots[0].inputs->lampColor(0), QColor(255, 0, 0));
        QCOMPARE(w.rack()->moduleSlots[0].outputs->lampColor(0), QColor(255, 0, 0));
        QCOMPARE(w.rack()->moduleSlots[0].inputs->lampColor(1), QColor(255, 255, 255));
    }

    void potentiometersFeedSmb28AndSmb29EvenInStop() {
        Harness h;
        FormMain& w = h.w();
        w.rack()->pot0->setValue(120);
        w.rack()->pot1->setValue(300);  // beyond the range: 255
        QCOMPARE(w.rack()->pot1->value(), 255);
        QTRY_COMPARE_WITH_TIMEOUT(int(h.mem().byteAt(area::SM + 8 * 28)), 120, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(int(h.mem().byteAt(area::SM + 8 * 29)), 255, 3000);
        QVERIFY(!w.sim().running());
    }

    void logBoxClearsPast6000Characters() {
        Harness h;
        FormMain& w = h.w();
        // Start-up may already have logged a line (a second instance does).
        const auto already = static_cast<std::size_t>(w.logText().size());
        w.ShowLog(std::string(5998 - already, 'x'));  // + CR LF = 6000: not cleared yet
        w.ShowLog("a");
        QVERIFY(w.logText().size() > 6000);
        w.ShowLog("新的一行");
        QCOMPARE(w.logText(), QStringLiteral("新的一行\r\n"));
        QCOMPARE(w.logBox()->toPlainText(), QStringLiteral("新的一行"));
    }

    void codeViewsAndDataBlock() {
        Harness h;
        FormMain& w = h.w();
        const QString db = testTmp() + "/three.txt";
        QFile f(db);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("VB0 1\r\nVB1 2\r\nVW2 3\r\n");
        f.close();
        h.nextFile = db;
        w.loadDataBlockCommand();
        QVERIFY(w.codeViewIsDb());
        QVERIFY(w.action("btDB")->isChecked() && w.action("mnuDB")->isChecked() && !w.action("mnuAWL")->isChecked());
        QCOMPARE(w.codeBox()->toPlainText(), db + "\n 0      VB0 1\n 1      VB1 2\n 2      VW2 3");
        QCOMPARE(h.mem().byteAt(area::V + 8), 2);
        w.showStlView();
        QVERIFY(w.action("mnuAWL")->isChecked() && !w.action("mnuDB")->isChecked());
        w.unloadDataBlockCommand();  // the STL view is shown: it stays
        w.showDbView();
        QCOMPARE(w.codeBox()->toPlainText(), QStringLiteral("\n 0      "));
    }

    void exitAsksWhileRunning() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        w.sim().scan.continuousRun();
        h.prompt.answer = false;
        w.action("mnuExit")->trigger();
        QCOMPARE(h.prompt.asked.back(), std::string("正在运行，真的退出？"));
        QVERIFY(w.isVisible());
        h.prompt.answer = true;
        w.action("mnuExit")->trigger();
        QVERIFY(!w.isVisible());
        QTRY_VERIFY(!w.inputPanel());  // the panels are closed
    }

    void recentFilesMenuAndExitUpdate() {
        {
            Harness h;
            h.settings.setValue(kRecentSection, "RecentFile1", "/a/one.awl");
            h.settings.setValue(kRecentSection, "RecentFile2", "/a/two.awl");
            h.settings.setValue(kRecentSection, "RecentFile3", "/a/one.awl");
            h.settings.setValue(kRecentSection, "RecentFile4", "/a/three.awl");
            h.window.reset();
            FormMainOptions o;
            o.prompt = &h.prompt;
            o.settings = &h.settings;
            o.lockPath = testTmp() + "/" + QCoreApplication::applicationName() + ".lock";
            FormMain w(o);
            QCOMPARE(w.action("mnuRecent1")->text(), QStringLiteral("&1 /a/one.awl"));
            QCOMPARE(w.action("mnuRecent2")->text(), QStringLiteral("&2 /a/two.awl"));
            QCOMPARE(w.action("mnuRecent3")->text(), QStringLiteral("&3 /a/three.awl"));
            QVERIFY(!w.action("mnuRecent4")->isVisible());
            // A chosen recent item loads its program.
            w.action("mnuRecent1")->setData(example("motor_start_stop.awl"));
            w.action("mnuRecent1")->trigger();
            QVERIFY(w.sim().hasProgram());
        }
        // Through QSettings in the test folder: a new path becomes RecentFile1 at exit.
        QSettings(kSettingsApp, kSettingsApp).remove(kRecentSection);
        {
            QtSettingsStore store;
            store.setValue(kRecentSection, "RecentFile1", "/old/first.awl");
            store.setValue(kRecentSection, "RecentFile2", "/old/second.awl");
            Harness h(false);
            h.w().loadProgramFile(example("motor_start_stop.awl"));
            h.w().close();
        }
        QSettings s(kSettingsApp, kSettingsApp);
        s.beginGroup(kRecentSection);
        QCOMPARE(s.value("RecentFile1").toString(), example("motor_start_stop.awl"));
        QCOMPARE(s.value("RecentFile2").toString(), QStringLiteral("/old/first.awl"));
        QCOMPARE(s.value("RecentFile3").toString(), QStringLiteral("/old/second.awl"));
        s.endGroup();
        // Loading a file already in the list changes nothing.
        {
            Harness h(false);
            h.w().loadProgramFile(QStringLiteral("/old/first.awl"));
            h.w().close();
        }
        QSettings s2(kSettingsApp, kSettingsApp);
        QCOMPARE(s2.value(QStringLiteral("Recent Files/RecentFile1")).toString(), example("motor_start_stop.awl"));
        QVERIFY(!s2.contains(QStringLiteral("Recent Files/RecentFile4")));
    }

    void secondInstanceCaption() {
        QLockFile first(testTmp() + "/second.lock");
        QVERIFY(first.tryLock(0));
        Harness h(true, QStringLiteral("second.lock"));
        QVERIFY(h.w().secondInstance());
        QCOMPARE(h.w().windowTitle(), QString::fromUtf8(FormMain::kSecondInstanceCaption));
        QVERIFY(h.w().logText().startsWith(QStringLiteral("此实例不能与对象连接\r\n")));
        QCOMPARE(h.w().objectLinkPort(), quint16(0));  // a second instance never listens
        QVERIFY(h.prompt.informed.empty());
        first.unlock();
        Harness other(true, QStringLiteral("second.lock"));
        QVERIFY(!other.w().secondInstance());
        QVERIFY(other.w().objectLinkPort() != 0);
    }

    // The check's findings after a load: the status bar's summary, one row per finding, and
    // a chosen row showing its line in the STL listing, even from the data-block view.
    void programCheckResultsLeadToTheirLines() {
        Harness h;
        FormMain& w = h.w();
        h.nextFile = writeTestFile(QStringLiteral("check/faults.awl"), QByteArray(kProgramWithFaults));
        QVERIFY(!h.nextFile.isEmpty());
        w.action("mnuLoadProg")->trigger();
        QCOMPARE(w.statusPanel(3)->text(), QStringLiteral("程序检查：发现2处问题"));
        w.showDbView();
        w.action("mnuCheckResults")->trigger();
        FrmCheckResults* r = w.checkResultsWindow();
        QVERIFY(r && r->isVisible());
        QCOMPARE(r->windowTitle(), QStringLiteral("程序检查结果"));
        QCOMPARE(r->summary->text(), QStringLiteral("程序检查：发现2处问题"));
        QTableWidget* g = r->grid;
        const QStringList header{QStringLiteral("行号"), QStringLiteral("程序行"), QStringLiteral("问题")};
        const QList<QStringList> rows{
            {QStringLiteral("8"), QStringLiteral("HSC 0"), QStringLiteral("不支持的指令")},
            {QStringLiteral("9"), QStringLiteral("MOVW 1, VW1023"), QStringLiteral("地址超出范围 VW1023")}};
        QCOMPARE(g->columnCount(), 3);
        QCOMPARE(g->rowCount(), rows.size());
        for (int c = 0; c < 3; ++c) QCOMPARE(g->horizontalHeaderItem(c)->text(), header[c]);
        for (int i = 0; i < rows.size(); ++i)
            for (int c = 0; c < 3; ++c) QCOMPARE(g->item(i, c)->text(), rows[i][c]);

        // A code view three lines high, so that line 7 lies below it until it is chosen.
        w.codeBox()->setFixedHeight(3 * w.codeBox()->fontMetrics().lineSpacing() + 2 * w.codeBox()->frameWidth() + 8);
        QCoreApplication::processEvents();
        auto inView = [&w](const QTextCursor& c) { return w.codeBox()->viewport()->rect().contains(w.codeBox()->cursorRect(c)); };
        // A click on the second row: the listing comes back with code line 7 selected.
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualItemRect(g->item(1, 1)).center());
        QVERIFY(!w.codeViewIsDb());
        QVERIFY(w.action("mnuAWL")->isChecked());
        QCOMPARE(w.codeBox()->textCursor().selectedText(), QStringLiteral("7      MOVW   1, VW1023"));
        QVERIFY(inView(w.codeBox()->textCursor()));
        QVERIFY(!inView(QTextCursor(w.codeBox()->document()->firstBlock())));
        // Enter on the first row.
        g->setFocus();
        g->setCurrentCell(0, 0);
        QTest::keyClick(g, Qt::Key_Return);
        QCOMPARE(w.codeBox()->textCursor().selectedText(), QStringLiteral("6      HSC    0"));

        // A clean program empties the list; closing hides the window, which keeps up.
        qobject_cast<QMdiSubWindow*>(r->parentWidget())->close();
        QVERIFY(!r->isVisible());
        w.loadProgramFile(example("motor_start_stop.awl"));
        QCOMPARE(w.statusPanel(3)->text(), QStringLiteral("程序检查：没有发现问题"));
        QCOMPARE(w.checkResultsWindow(), r);
        QCOMPARE(g->rowCount(), 0);
        QVERIFY(r->summary->text().endsWith(QStringLiteral("没有发现问题")));
    }

    // 真实CPU时序 from the 设置 menu: the simulator's mode, the program check weighing the
    // TON on a TONR number as an error, the time base disabled with its reason, the status
    // bar's mark, the timer panel's resolution row, and the setting a new window starts with.
    void realCpuModeFromTheMenu() {
        Harness h;
        FormMain& w = h.w();
        h.nextFile = writeTestFile(QStringLiteral("realcpu/ton_t0.awl"),
                                   QByteArray("ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\nLD     I0.0\r\n"
                                              "TON    T0, +100\r\nEND_ORGANIZATION_BLOCK\r\n"));
        QVERIFY(!h.nextFile.isEmpty());
        w.action("mnuLoadProg")->trigger();
        w.showCheckResults();
        QTableWidget* g = w.checkResultsWindow()->grid;
        QCOMPARE(g->rowCount(), 1);
        const QString problem = QStringLiteral("T0 是TONR定时器，不能用于TON/TOF");
        QComboBox* timeBase = w.rack()->cmbTimeBase;
        TimerCounterPanel* tc = w.timerCounterPanel();
        QAction* item = w.action("mnuRealCpu");
        QVERIFY(item->isCheckable());
        QCOMPARE(item->text(), QStringLiteral("真实CPU时序"));
        // Off, with the timer group as high as the counter group (the row takes no room).
        auto assertOff = [&] {
            QVERIFY(!item->isChecked());
            QVERIFY(!w.sim().realCpu());
            QVERIFY(timeBase->isEnabled());
            QCOMPARE(timeBase->toolTip(), QString());
            QVERIFY(!w.realCpuPanel()->isVisible());
            QVERIFY(!tc->timerResolution[0]->isVisible());
            QCOMPARE(tc->timerGroup->sizeHint(), tc->counterGroup->sizeHint());
            QCOMPARE(g->item(0, 2)->text(), QStringLiteral("警告，") + problem);
            QCOMPARE(w.statusPanel(3)->text(), QStringLiteral("程序检查：发现1处问题"));
        };
        assertOff();

        item->trigger();
        QVERIFY(item->isChecked());
        QVERIFY(w.sim().realCpu());
        QCOMPARE(h.settings.value(kSimulationSection, kRealCpuKey), std::string("1"));
        QVERIFY(!timeBase->isEnabled());
        QCOMPARE(timeBase->toolTip(), QString::fromUtf8(RackView::kTimeBaseRealCpuTip));
        // The disabled box still shows its tip.
        QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), timeBase->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(timeBase, &tip);
        QTRY_COMPARE(QToolTip::text(), QString::fromUtf8(RackView::kTimeBaseRealCpuTip));
        QToolTip::hideText();
        QVERIFY(w.realCpuPanel()->isVisible());
        QCOMPARE(w.realCpuPanel()->text(), QStringLiteral("真实CPU时序"));
        QCOMPARE(g->item(0, 2)->text(), problem);
        QCOMPARE(w.statusPanel(3)->text(), QStringLiteral("程序检查：发现1处问题"));
        emit tc->cmbT->activated(30);  // T30 to T33: 100, 100, 1, 10 ms
        const QStringList resolutions{QStringLiteral("100 ms"), QStringLiteral("100 ms"), QStringLiteral("1 ms"),
                                      QStringLiteral("10 ms")};
        for (int j = 0; j < 4; ++j) {
            QVERIFY(tc->timerResolution[static_cast<std::size_t>(j)]->isVisible());
            QCOMPARE(tc->timerResolution[static_cast<std::size_t>(j)]->text(), resolutions[j]);
        }

        // The next window starts in the mode, its timer panel with the row.
        w.close();
        h.window.reset();
        FormMainOptions o;
        o.prompt = &h.prompt;
        o.settings = &h.settings;
        o.lockPath = QDir(testTmp()).filePath(QStringLiteral("realcpu.lock"));
        o.objectPort = -1;
        FormMain next(o);
        next.show();
        QVERIFY(next.sim().realCpu());
        QVERIFY(next.action("mnuRealCpu")->isChecked());
        QVERIFY(!next.rack()->cmbTimeBase->isEnabled());
        QVERIFY(next.realCpuPanel()->isVisible());
        QVERIFY(next.timerCounterPanel()->timerResolution[0]->isVisible());
        QCOMPARE(next.timerCounterPanel()->timerResolution[0]->text(), QStringLiteral("100 ms"));  // T37

        // Off again: everything as before, and the store says so.
        next.action("mnuRealCpu")->trigger();
        QCOMPARE(h.settings.value(kSimulationSection, kRealCpuKey), std::string("0"));
        QVERIFY(!next.sim().realCpu());
        QVERIFY(next.rack()->cmbTimeBase->isEnabled());
        QCOMPARE(next.rack()->cmbTimeBase->toolTip(), QString());
        QVERIFY(!next.realCpuPanel()->isVisible());
        QVERIFY(!next.timerCounterPanel()->timerResolution[0]->isVisible());
        QCOMPARE(next.timerCounterPanel()->timerGroup->sizeHint(), next.timerCounterPanel()->counterGroup->sizeHint());
    }

    // 上电复位 in the 调试 menu, in the default mode: M0.0 and a TON's value are cleared, V
    // memory and a TONR's value are kept, the panels show it and the log says so.
    void powerUpCommandKeepsTheRetentiveRanges() {
        Harness h;
        FormMain& w = h.w();
        PlcMemory& mem = h.mem();
        mem.setCell(area::M, kOn);                     // M0.0
        QVERIFY(mem.tobit(0x5A, area::V, 8));          // VB0
        mem.setCell(area::M + 8 * 14, kOn);            // M14.0
        mem.timers()[1].Current = 25;                  // T1: TONR
        mem.timers()[37].Current = 40;                 // T37: TON
        w.FreshShow();
        TimerCounterPanel* tc = w.timerCounterPanel();
        QCOMPARE(tc->timerPv[0]->text(), QStringLiteral(" 40"));
        QCOMPARE(w.mPanel()->bitBoxes[0]->isChecked(), true);

        w.action("mnuPowerUp")->trigger();
        QCOMPARE(mem.cell(area::M), kOff);
        QCOMPARE(mem.GetByteValue(area::V), 90.0);
        QCOMPARE(mem.cell(area::M + 8 * 14), kOn);
        QCOMPARE(mem.timers()[1].Current, 25);
        QCOMPARE(mem.timers()[37].Current, 0);
        QCOMPARE(tc->timerPv[0]->text(), QStringLiteral(" 0"));
        QCOMPARE(w.mPanel()->bitBoxes[0]->isChecked(), false);
        const QStringList lines = w.logText().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d 上电复位$")).match(lines.back()).hasMatch(),
                 qPrintable(lines.back()));
    }

    void closedPanelReopensFresh() {
        Harness h;
        FormMain& w = h.w();
        emit w.mPanel()->cmbDataType->activated(datatype::Word);
        auto* sub = qobject_cast<QMdiSubWindow*>(w.mPanel()->parentWidget());
        sub->close();
        QTRY_VERIFY(!w.mPanel());
        w.action("btM")->trigger();
        QVERIFY(w.mPanel());
        QCOMPARE(w.mPanel()->model().dataType(), datatype::Bit);
        QCOMPARE(w.mPanel()->cmbFormat->currentText(), QStringLiteral("十六进制"));
    }
};

QTEST_MAIN(FormMainTest)
#include "form_main_test.moc"
