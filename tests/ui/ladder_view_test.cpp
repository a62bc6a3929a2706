// The ladder view in the main window: btKOP shows it in the code area, its elements light up
// as the running program's lines recorded them, a network chosen in it is chosen in the
// listing and the program status view and back; screenshots of typical networks; the
// refresh cost on a long program.
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>

#include "ui/bit_byte_panel.h"
#include "ui/ladder_view.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;
using ladder::Shape;

namespace {

// Network 1 a seal-in circuit, 2 and 3 a timer chain, 4 three outputs through the logic
// stack, 5 an output and then a contact in parallel to the circuit that has it (no ladder
// form).
constexpr const char* kProgram =
    "ORGANIZATION_BLOCK 主程序:OB1\r\n"   // 1
    "TITLE=梯形图示例\r\n"                 // 2
    "BEGIN\r\n"                            // 3
    "Network 1 // 电机启保停\r\n"          // 4
    "// 按下启动按钮电机运行，按下停止按钮电机停止\r\n"  // 5
    "LD     I0.0\r\n"                      // 6
    "O      Q0.0\r\n"                      // 7
    "AN     I0.1\r\n"                      // 8
    "=      Q0.0\r\n"                      // 9
    "Network 2 // 定时器链：第一段\r\n"    // 10
    "LD     Q0.0\r\n"                      // 11
    "TON    T37, 20\r\n"                   // 12
    "Network 3 // 第二段\r\n"              // 13
    "LD     T37\r\n"                       // 14
    "TON    T38, 30\r\n"                   // 15
    "Network 4 // 逻辑堆栈：三个输出\r\n"  // 16
    "LD     I0.2\r\n"                      // 17
    "LPS\r\n"                              // 18
    "A      I0.3\r\n"                      // 19
    "=      Q0.1\r\n"                      // 20
    "LRD\r\n"                              // 21
    "AN     I0.3\r\n"                      // 22
    "=      Q0.2\r\n"                      // 23
    "LPP\r\n"                              // 24
    "MOVW   +1234, VW2\r\n"                // 25
    "Network 5 // 只能用STL表示\r\n"      // 26
    "LD     I0.4\r\n"                      // 27
    "=      Q0.4\r\n"                      // 28
    "O      I0.5\r\n"                      // 29
    "=      Q0.5\r\n"                      // 30
    "END_ORGANIZATION_BLOCK\r\n";

int codeLineOf(const Simulator& sim, int fileLine) {
    const auto& f = sim.reader.fileLines;
    const auto it = std::find(f.begin(), f.end(), fileLine);
    return it == f.end() ? -1 : static_cast<int>(it - f.begin());
}

// The first element of a network with this shape and operand; -1 when none.
int find(const ladder::Network& n, Shape shape, const std::string& operand) {
    for (std::size_t i = 0; i < n.elements.size(); ++i)
        if (n.elements[i].shape == shape && n.elements[i].operand == operand) return static_cast<int>(i);
    return -1;
}

void setInput(FormMain& w, int bit, bool on) {
    BitBox* b = w.inputPanel()->bitBoxes[static_cast<std::size_t>(bit)];
    if (b->isChecked() != on) QTest::mouseClick(b, Qt::LeftButton, {}, indicatorPoint(b));
}

}  // namespace

class LadderViewTest : public QObject {
    Q_OBJECT

    QDir dir{QStringLiteral(KORVANE_SCREENSHOT_DIR)};

private slots:
    void initTestCase() { QVERIFY(dir.mkpath(QStringLiteral("."))); }

    // btKOP shows the ladder in the code area; while the program runs, contacts, coils and
    // boxes light up as their lines recorded them, and box pins show values.
    void elementsFollowTheRunningProgram() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeTestFile(QStringLiteral("ladder/example.awl"), QByteArray(kProgram)));
        LadderView* v = w.ladderView();
        QCOMPARE(w.action("btKOP")->toolTip(), QStringLiteral("LAD梯形图"));
        h.clickTool("btKOP");
        QVERIFY(w.codeViewIsLad());
        QVERIFY(v->isVisible());
        QVERIFY(!w.codeBox()->isVisible());
        QVERIFY(w.action("btKOP")->isChecked());
        QVERIFY(w.action("mnuKOP")->isChecked());
        QVERIFY(!w.action("mnuAWL")->isChecked());

        const auto& nets = v->ladder().blocks.at(0).networks;
        QVERIFY(nets.size() >= 5);
        const LadderView::NetworkRef n1{0, 0}, n2{0, 1}, n4{0, 3};
        const int start = find(nets[0], Shape::Contact, "I0.0");
        const int stop = find(nets[0], Shape::ClosedContact, "I0.1");
        const int motor = find(nets[0], Shape::Coil, "Q0.0");
        const int seal = find(nets[0], Shape::Contact, "Q0.0");
        const int timer = find(nets[1], Shape::Box, "T37");
        const int q1 = find(nets[3], Shape::Coil, "Q0.1");
        const int q2 = find(nets[3], Shape::Coil, "Q0.2");
        int move = -1;
        for (std::size_t i = 0; i < nets[3].elements.size(); ++i)
            if (nets[3].elements[i].shape == Shape::Box) move = static_cast<int>(i);
        QVERIFY(start >= 0 && stop >= 0 && motor >= 0 && seal >= 0 && timer >= 0 && q1 >= 0 && q2 >= 0 && move >= 0);
        QVERIFY(!nets[4].drawable);

        // Before the first pass nothing is lit, not even a closed contact.
        QVERIFY(!v->statusShown());
        QVERIFY(!v->elementState(n1, stop).lit);

        setInput(w, 0, true);   // start
        setInput(w, 2, true);   // I0.2 on, I0.3 off: Q0.2, not Q0.1
        h.clickTool("btRun");
        QTRY_VERIFY_WITH_TIMEOUT(v->elementState(n1, motor).lit, 3000);
        QVERIFY(v->elementState(n1, start).lit);
        QVERIFY(v->elementState(n1, stop).lit);  // a closed contact of an open input conducts
        QTRY_VERIFY_WITH_TIMEOUT(v->elementState(n2, timer).lit, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(v->elementState(n4, q2).lit, 3000);
        QVERIFY(!v->elementState(n4, q1).lit);
        const LadderView::ElementState moved = v->elementState(n4, move);
        QVERIFY(moved.lit);
        QCOMPARE(moved.values[1], QStringLiteral("1234"));  // VW2 after the move

        // Seal-in: the start button released, the motor keeps running through Q0.0.
        setInput(w, 0, false);
        QTRY_VERIFY_WITH_TIMEOUT(!v->elementState(n1, start).lit, 3000);
        QVERIFY(v->elementState(n1, seal).lit);
        QVERIFY(v->elementState(n1, motor).lit);
        // Stop: the closed contact opens, the coil drops, and the seal with it.
        setInput(w, 1, true);
        QTRY_VERIFY_WITH_TIMEOUT(!v->elementState(n1, motor).lit, 3000);
        QVERIFY(!v->elementState(n1, stop).lit);
        QTRY_VERIFY_WITH_TIMEOUT(!v->elementState(n1, seal).lit, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!v->elementState(n2, timer).lit, 3000);

        // Stopped, the last status stays in view, and nothing changes: a refresh asks for no
        // repaint.
        h.clickTool("btStop");
        QTRY_VERIFY_WITH_TIMEOUT(!w.sim().running(), 3000);
        QVERIFY(v->elementState(n1, stop).lit == false && v->elementState(n4, q2).lit);
        QCoreApplication::processEvents();
        v->FreshShow();
        const int repaints = v->repaintsRequested();
        for (int i = 0; i < 5; ++i) v->FreshShow();
        QCOMPARE(v->repaintsRequested(), repaints);
        // A change of what is shown (another program state) asks for one.
        v->FreshAllShow();
        v->FreshShow();
        QCOMPARE(v->repaintsRequested(), repaints + 1);

        // Back to the listing: the three keys stay one group.
        h.clickTool("btAWL");
        QVERIFY(!w.codeViewIsLad());
        QVERIFY(w.codeBox()->isVisible());
        QVERIFY(!w.action("btKOP")->isChecked());
        QVERIFY(!w.action("mnuKOP")->isChecked());
    }

    // A network chosen in the ladder is chosen in the listing and the program status view,
    // and a line chosen there chooses its network in the ladder.
    void networksFollowEachOther() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeTestFile(QStringLiteral("ladder/follow.awl"), QByteArray(kProgram)));
        h.clickTool("btStatusProg");
        h.clickTool("btKOP");
        LadderView* v = w.ladderView();
        QTableWidget* grid = w.programStatusWindow()->grid;
        const int header4 = codeLineOf(w.sim(), 16);
        QCOMPARE(v->headerLine({0, 3}), header4);

        // A click on network 4 in the ladder.
        v->scrollToNetwork({0, 3});
        const QRect r = v->networkRect({0, 3});
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {},
                          QPoint(40, r.top() - v->verticalScrollBar()->value() + 8));
        QCOMPARE(v->selected(), (LadderView::NetworkRef{0, 3}));
        QCOMPARE(w.codeBox()->textCursor().blockNumber(), header4 + 1);  // the listing's line i + 1
        QCOMPARE(grid->currentRow(), header4);

        // A line of network 2 chosen in the listing.
        h.clickTool("btAWL");
        QTextCursor c(w.codeBox()->document()->findBlockByNumber(codeLineOf(w.sim(), 12) + 1));
        w.codeBox()->setTextCursor(c);
        QCOMPARE(v->selected(), (LadderView::NetworkRef{0, 1}));
        // A line of network 1 chosen in the program status view.
        grid->setCurrentCell(codeLineOf(w.sim(), 8), 1);
        QCOMPARE(v->selected(), (LadderView::NetworkRef{0, 0}));
        // Lines before the first network belong to none: the choice stays.
        grid->setCurrentCell(0, 1);
        QCOMPARE(v->selected(), (LadderView::NetworkRef{0, 0}));
        // Back in the ladder the chosen network is in view.
        h.clickTool("btKOP");
        QVERIFY(v->networkRect({0, 0}).top() <= v->verticalScrollBar()->value() + v->viewport()->height());

        // Zoom by the pane's keys and Ctrl + wheel: everything grows, the label follows.
        const int height = v->networkRect({0, 3}).height();
        QTest::mouseClick(w.findChild<QToolButton*>(QStringLiteral("btLadZoomIn")), Qt::LeftButton);
        QCOMPARE(v->zoom(), 1.25);
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblLadZoom"))->text(), QStringLiteral("125%"));
        QVERIFY(v->networkRect({0, 3}).height() > height);
        QWheelEvent wheel(QPointF(20, 20), v->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(v->viewport(), &wheel);
        QCOMPARE(v->zoom(), 1.0);
        QCOMPARE(v->networkRect({0, 3}).height(), height);

        // With a symbol table the operands read "symbol:address".
        const int start = find(v->ladder().blocks[0].networks[0], Shape::Contact, "I0.0");
        QCOMPARE(v->operandText({0, 0}, start), QStringLiteral("I0.0"));
        h.nextFile = writeTestFile(QStringLiteral("ladder/symbols.txt"), QByteArray("启动按钮\tI0.0\r\n"));
        w.action("mnuLoadSymbols")->trigger();
        QCOMPARE(v->operandText({0, 0}, start), QStringLiteral("启动按钮:I0.0"));
    }

    // Screenshots of a seal-in circuit, a timer chain, a network with LPS/LRD/LPP and one
    // with no ladder form, running; and the window with the ladder in its code area.
    void screenshots() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeTestFile(QStringLiteral("ladder/shots.awl"), QByteArray(kProgram)));
        h.clickTool("btKOP");
        setInput(w, 0, true);
        setInput(w, 2, true);
        h.clickTool("btRun");
        LadderView* wv = w.ladderView();
        QTRY_VERIFY_WITH_TIMEOUT(wv->elementState({0, 0}, find(wv->ladder().blocks[0].networks[0], Shape::Coil, "Q0.0")).lit,
                                 3000);
        setInput(w, 0, false);
        QTest::qWait(1200);  // T37 counts
        QVERIFY(w.grab().save(dir.filePath(QStringLiteral("ladder_window.png"))));

        LadderView view(w.sim());
        view.setLadder(wv->ladder(), w.sim().reader.fileLines);
        view.resize(760, 1100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto shot = [&](std::vector<LadderView::NetworkRef> refs, const QString& name) {
            view.scrollToNetwork(refs.front());
            QCoreApplication::processEvents();
            const int top = view.networkRect(refs.front()).top() - view.verticalScrollBar()->value();
            const int bottom = view.networkRect(refs.back()).bottom() - view.verticalScrollBar()->value();
            const QPixmap pm = view.viewport()->grab(QRect(0, top, view.viewport()->width(), bottom - top + 1));
            QVERIFY(!pm.isNull());
            QVERIFY(pm.save(dir.filePath(name)));
        };
        shot({{0, 0}}, QStringLiteral("ladder_seal_in.png"));
        shot({{0, 1}, {0, 2}}, QStringLiteral("ladder_timer_chain.png"));
        shot({{0, 3}}, QStringLiteral("ladder_logic_stack.png"));
        shot({{0, 4}}, QStringLiteral("ladder_no_ladder_form.png"));
        shot({{0, 0}, {0, 4}}, QStringLiteral("ladder_running.png"));
        view.setZoom(1.5);
        shot({{0, 0}}, QStringLiteral("ladder_seal_in_zoom150.png"));
        h.clickTool("btStop");
        QTRY_VERIFY_WITH_TIMEOUT(!w.sim().running(), 3000);
        // The first page of each example program and of some programs of the tests, after a
        // few passes.
        view.setZoom(1.0);
        const QString golden = QStringLiteral(KORVANE_SOURCE_DIR "/tests/golden/%1/program.awl");
        const std::pair<const char*, QString> programs[] = {
            {"motor_start_stop", example("motor_start_stop.awl")},
            {"traffic_light", example("traffic_light.awl")},
            {"tank_level", example("tank_level.awl")},
            {"subroutine_interrupt_gbk", example("subroutine_interrupt_gbk.awl")},
            {"scr_sequence", golden.arg(QStringLiteral("scr_sequence"))},
            {"lad_counters", golden.arg(QStringLiteral("lad_counters"))},
            {"lad_eno_chain", golden.arg(QStringLiteral("lad_eno_chain"))}};
        for (const auto& [name, path] : programs) {
            w.loadProgramFile(path);
            view.setLadder(wv->ladder(), w.sim().reader.fileLines);
            QVERIFY(!view.ladder().blocks.empty());
            w.sim().scan.continuousRun();
            QTest::qWait(300);
            view.FreshShow();  // the window refreshes its own view; this one is refreshed here
            w.sim().scan.stop();
            QTRY_VERIFY_WITH_TIMEOUT(!w.sim().running(), 3000);
            QCoreApplication::processEvents();
            QVERIFY(view.viewport()->grab().save(dir.filePath(QStringLiteral("ladder_example_%1.png").arg(name))));
        }
    }

    // The refresh cost on a program of 2,000 lines while it runs: printed, not asserted.
    void refreshCostOnALongProgram() {
        Harness h;
        FormMain& w = h.w();
        // 400 networks of five lines: a contact, an inverted one, a coil, a move box.
        QByteArray text = "ORGANIZATION_BLOCK 主程序:OB1\r\nBEGIN\r\n";
        for (int k = 0; k < 400; ++k) {
            text += QStringLiteral("Network %1 // 第%1段\r\nLD     SM0.5\r\nAN     M%2.%3\r\n=      M%4.%3\r\nMOVW   VW%5, VW%6\r\n")
                        .arg(k + 1)
                        .arg(k % 16)
                        .arg(k % 8)
                        .arg(16 + k % 16)
                        .arg(2 * (k % 100))
                        .arg(400 + 2 * (k % 100))
                        .toUtf8();
        }
        text += "END_ORGANIZATION_BLOCK\r\n";
        w.loadProgramFile(writeTestFile(QStringLiteral("ladder/long.awl"), text));
        QVERIFY(w.sim().program.lastIndex() >= 2000);
        LadderView* v = w.ladderView();
        QCOMPARE(v->ladder().blocks.at(0).networks.size(), std::size_t{400});
        h.clickTool("btKOP");
        w.sim().scan.continuousRun();
        QTRY_VERIFY_WITH_TIMEOUT(w.sim().interpreter.scanCounter > 2, 10000);
        std::printf("passes after start: %d\n", static_cast<int>(w.sim().interpreter.scanCounter));
        // The window's own view, and one as large as a full-HD screen beside it (some 13
        // networks in view).
        LadderView tall(w.sim());
        tall.setLadder(v->ladder(), w.sim().reader.fileLines);
        tall.resize(1920, 1080);
        tall.show();
        for (LadderView* view : {v, &tall}) {
            view->scrollToNetwork({0, 200});
            QCoreApplication::processEvents();
            constexpr int kRounds = 2000;
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < kRounds; ++i) view->FreshShow();
            const double refresh = static_cast<double>(t.nsecsElapsed()) / kRounds / 1000.0;
            constexpr int kPaints = 50;
            t.restart();
            for (int i = 0; i < kPaints; ++i) view->viewport()->repaint();
            const double paint = static_cast<double>(t.nsecsElapsed()) / kPaints / 1000.0;
            std::printf("ladder refresh, %d lines, viewport %dx%d: %.1f us per refresh, %.1f us per repaint\n",
                        w.sim().program.lastIndex() + 1, view->viewport()->width(), view->viewport()->height(), refresh,
                        paint);
        }
        w.sim().scan.stop();
    }
};

QTEST_MAIN(LadderViewTest)
#include "ladder_view_test.moc"
