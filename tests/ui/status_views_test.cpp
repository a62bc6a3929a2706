// The status table window and the program status view bound to a running simulator.
#include <QMdiSubWindow>
#include <QtTest>

#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {
QString cell(QTableWidget* g, int r, int c) { return g->item(r, c) ? g->item(r, c)->text() : QString(); }

void typeInto(frmStatusTable* t, int row, int column, const QString& text) {
    t->editCell(row, column);
    QVERIFY(t->editor()->isVisible());
    t->editor()->selectAll();
    QTest::keyClicks(t->editor(), text);
    QTest::keyClick(t->editor(), Qt::Key_Return);
}
}  // namespace

class StatusViewsTest : public QObject {
    Q_OBJECT
private slots:
    void statusTableRowsEditsAndWrites() {
        Harness h;
        FormMain& w = h.w();
        h.clickTool("btStatusTable");
        frmStatusTable* t = w.statusTableWindow();
        QVERIFY(t && t->isVisible());
        QCOMPARE(t->windowTitle(), QStringLiteral("监控状态表"));
        QTableWidget* g = t->grid;
        QCOMPARE(g->rowCount(), 5);
        QCOMPARE(cell(g, 0, 2), QStringLiteral("VD0"));
        QCOMPARE(cell(g, 0, 4), QStringLiteral("浮点数"));
        QCOMPARE(cell(g, 1, 4), QStringLiteral("位"));
        QCOMPARE(cell(g, 1, 7), QStringLiteral("否"));
        QCOMPARE(t->action("btForce")->toolTip(), QStringLiteral("设为强制"));

        // A new value for QB0 written once while stopped lands at once.
        typeInto(t, 2, 6, QStringLiteral("5"));
        QCOMPARE(cell(g, 2, 6), QStringLiteral("5"));
        QCOMPARE(g->currentColumn(), 7);
        t->action("btWriteOnce")->trigger();
        QCOMPARE(h.mem().byteAt(area::Q), 5);
        QCOMPARE(cell(g, 2, 5).trimmed(), QStringLiteral("5"));
        // Writing I0.0 while stopped shows on the input panel at once.
        typeInto(t, 1, 6, QStringLiteral("1"));
        t->action("btWriteOnce")->trigger();
        QVERIFY(w.inputPanel()->bitBoxes[0]->isChecked());

        // A typed address is parsed in upper case; a bad one blanks the row.
        typeInto(t, 3, 2, QStringLiteral("mw2"));
        QCOMPARE(cell(g, 3, 2), QStringLiteral("MW2"));
        typeInto(t, 4, 2, QStringLiteral("IW15"));
        QCOMPARE(cell(g, 4, 4), QString());
        // Esc leaves the cell as it was.
        t->editCell(3, 1);
        QTest::keyClicks(t->editor(), QStringLiteral("xyz"));
        QTest::keyClick(t->editor(), Qt::Key_Escape);
        QVERIFY(!t->editor()->isVisible());
        QCOMPARE(cell(g, 3, 1), QString());

        // Row commands.
        g->setCurrentCell(2, 0);
        t->action("btAddBefore")->trigger();
        QCOMPARE(g->rowCount(), 6);
        QCOMPARE(cell(g, 2, 2), QString());
        QCOMPARE(cell(g, 3, 2), QStringLiteral("QB0"));
        g->setCurrentCell(0, 0);
        t->action("btDelSelect")->trigger();
        QCOMPARE(g->rowCount(), 6);
        QCOMPARE(cell(g, 0, 2), QString());

        // Closing hides the window and keeps the rows.
        auto* sub = qobject_cast<QMdiSubWindow*>(t->parentWidget());
        sub->close();
        QVERIFY(!t->isVisible());
        QTest::qWait(20);
        QVERIFY(w.statusTableWindow());
        w.showStatusTable();
        QCOMPARE(w.statusTableWindow()->grid->rowCount(), 6);
    }

    void forcedInputWinsOverThePanel() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        w.showStatusTable();
        frmStatusTable* t = w.statusTableWindow();
        typeInto(t, 1, 6, QStringLiteral("1"));  // I0.0
        t->grid->setCurrentCell(1, 0);
        t->action("btForce")->trigger();
        QCOMPARE(cell(t->grid, 1, 7), QStringLiteral("是"));
        h.clickTool("btRun");
        QVERIFY(!w.inputPanel()->bitBoxes[0]->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(h.mem().cell(area::Q) == kOn, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(w.rack()->statusLamps->sf(), QColor(255, 255, 0), 3000);
        t->action("btUnForceAll")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.rack()->statusLamps->sf(), QColor(255, 255, 255), 3000);
        QCOMPARE(h.mem().cell(0), kOff);  // the panel's cleared box is back in charge
    }

    void programStatusView() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        h.clickTool("btStatusProg");
        frmProgramStatus* p = w.programStatusWindow();
        QVERIFY(p && p->isVisible());
        QCOMPARE(p->windowTitle(), QStringLiteral("监控程序"));
        QTableWidget* g = p->grid;
        QCOMPARE(g->rowCount(), w.sim().program.lastIndex() + 1);
        QCOMPARE(cell(g, 0, 0), QStringLiteral(" 0"));
        QVERIFY(cell(g, 3, 1).contains(QStringLiteral("I0.0")));
        QCOMPARE(cell(g, 3, 2), QString());  // not before a pass
        QCOMPARE(p->txtState->text(), QStringLiteral("停止"));
        QCOMPARE(p->txtCount->text(), QStringLiteral(" 0"));
        h.mem().setCell(0, kOn);
        BitBox* start = w.inputPanel()->bitBoxes[0];
        QTest::mouseClick(start, Qt::LeftButton, {}, indicatorPoint(start));
        h.clickTool("btRun");
        QTRY_VERIFY_WITH_TIMEOUT(cell(g, 3, 3) == QStringLiteral("ON"), 3000);
        QCOMPARE(p->txtState->text(), QStringLiteral("运行"));
        QVERIFY(p->txtCount->text().startsWith(QLatin1Char(' ')));
        QCOMPARE(cell(g, 3, 2), QStringLiteral(" 1"));  // filled by the rebuild at scan count 2
        QVERIFY(cell(g, 3, 6).startsWith(QLatin1Char('1')));
        QVERIFY(cell(g, 3, 7) == QStringLiteral("True") || cell(g, 3, 7) == QStringLiteral("False"));
        QCOMPARE(cell(g, 2, 3), QString());  // a Network line
        QCOMPARE(cell(g, 2, 7), QString());
        h.clickTool("btStop");
        QTRY_COMPARE_WITH_TIMEOUT(p->txtState->text(), QStringLiteral("停止"), 3000);
        QCOMPARE(cell(g, 3, 3), QStringLiteral("ON"));  // kept after STOP
    }

    // A symbol table loaded from the file menu names the status table's rows that have no
    // symbol of their own, and the operands of the program status view's lines.
    void symbolTableNamesRowsAndOperands() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        w.showStatusTable();
        w.showProgramStatus();
        frmStatusTable* t = w.statusTableWindow();
        QTableWidget* p = w.programStatusWindow()->grid;
        typeInto(t, 2, 2, QStringLiteral("Q0.0"));
        typeInto(t, 3, 1, QStringLiteral("Mine"));  // a symbol of the row's own for T50
        QCOMPARE(cell(p, 3, 1), QStringLiteral("LD     I0.0"));

        h.nextFile = writeTestFile(QStringLiteral("symbols/plant.txt"),
                                   QByteArray("Start_PB\tI0.0\t启动按钮\r\nMotor\tQ0.0\r\nCycle\tT50\r\n"));
        QVERIFY(!h.nextFile.isEmpty());
        w.action("mnuLoadSymbols")->trigger();
        QCOMPARE(h.lastSuggested, QString());
        QCOMPARE(cell(t->grid, 1, 1), QStringLiteral("Start_PB"));
        QCOMPARE(cell(t->grid, 2, 1), QStringLiteral("Motor"));
        QCOMPARE(cell(t->grid, 3, 1), QStringLiteral("Mine"));
        QCOMPARE(cell(t->grid, 4, 1), QStringLiteral("Cycle"));  // T50 again, without a symbol
        QCOMPARE(cell(t->grid, 0, 1), QString());  // VD0 has no symbol
        QCOMPARE(cell(p, 3, 1), QStringLiteral("LD     Start_PB:I0.0"));
        QCOMPARE(cell(p, 4, 1), QStringLiteral("O      Motor:Q0.0"));
        QCOMPARE(cell(p, 5, 1), QStringLiteral("AN     I0.1"));

        // The next dialog opens in the folder of the file chosen before.
        h.nextFile.clear();
        w.action("mnuLoadSymbols")->trigger();
        QCOMPARE(h.lastSuggested, QDir(testTmp()).filePath(QStringLiteral("symbols")));
        QCOMPARE(cell(p, 3, 1), QStringLiteral("LD     Start_PB:I0.0"));
    }
};

QTEST_MAIN(StatusViewsTest)
#include "status_views_test.moc"
