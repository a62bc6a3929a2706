// "时序图": opened from the 显示 menu, fed after every program pass while the window runs a
// program, with pause, zoom and the VCD export; screenshots for a person to look at.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include "../vcd_reader.h"
#include "ui/timing_view.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Q0.0 follows the 1 s clock SM0.5; VW0 counts its rising edges; T37 runs up to 20 time-base
// steps and starts again (a saw tooth).
constexpr const char* kClockProgram =
    "ORGANIZATION_BLOCK 主程序:OB1\r\n"
    "TITLE=时序图示例\r\n"
    "BEGIN\r\n"
    "Network 1 // 秒脉冲\r\n"
    "LD     SM0.5\r\n"
    "=      Q0.0\r\n"
    "Network 2 // 上升沿计数\r\n"
    "LD     SM0.5\r\n"
    "EU\r\n"
    "INCW   VW0\r\n"
    "Network 3 // 锯齿\r\n"
    "LDN    M0.0\r\n"
    "TON    T37, 20\r\n"
    "Network 4\r\n"
    "LD     T37\r\n"
    "=      M0.0\r\n"
    "END_ORGANIZATION_BLOCK\r\n";

void typeAddress(TimingView* v, const QString& text) {
    auto* edit = v->findChild<QLineEdit*>(QStringLiteral("address"));
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

QPushButton* button(TimingView* v, const char* name) { return v->findChild<QPushButton*>(QString::fromLatin1(name)); }

}  // namespace

class TimingViewTest : public QObject {
    Q_OBJECT

private slots:
    void recordsPassesPausesZoomsAndExports() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeTestFile(QStringLiteral("timing/clock.awl"), QByteArray(kClockProgram)));
        QVERIFY(w.sim().hasProgram());

        // The 显示 menu holds the view.
        QAction* item = w.action(QStringLiteral("mnuTiming"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("时序图(&G)"));
        item->trigger();
        TimingView* v = w.timingView();
        QVERIFY(v);
        QVERIFY(v->isVisible());

        for (const char* a : {"Q0.0", "vw0", "T37", "SM0.5", "I0.0", "M0.0"}) typeAddress(v, QString::fromLatin1(a));
        QCOMPARE(v->recorder().size(), std::size_t{6});
        typeAddress(v, QStringLiteral("X9"));
        QCOMPARE(v->message(), QStringLiteral("不是地址：X9"));
        typeAddress(v, QStringLiteral("q0.0"));
        QCOMPARE(v->message(), QStringLiteral("Q0.0 已在时序图中"));
        QCOMPARE(v->recorder().size(), std::size_t{6});
        v->findChild<QLineEdit*>(QStringLiteral("address"))->clear();
        // A lane is chosen by a click on it and removed: I0.0, the fifth (three bit lanes and
        // two word lanes above it).
        const int y = 2 * TimingChart::kBitLane + 2 * TimingChart::kWordLane + 3;
        QCOMPARE(v->chart()->laneAt(QPoint(20, y)), 4);
        QTest::mouseClick(v->chart(), Qt::LeftButton, {}, QPoint(20, y));
        QCOMPARE(v->selectedLane(), 4);
        QTest::mouseClick(button(v, "remove"), Qt::LeftButton);
        QCOMPARE(v->recorder().size(), std::size_t{5});
        QCOMPARE(QString::fromStdString(v->recorder().signal(4).name), QStringLiteral("M0.0"));

        h.clickTool("btRun");
        QTest::qWait(3600);

        const SignalRecorder& rec = v->recorder();
        // Q0.0 follows SM0.5: a change every 500 ms, give or take a task period (and what a
        // busy machine adds to the window's timers).
        const auto& q = rec.changes(0);
        QVERIFY2(q.size() >= 6, qPrintable(QString::number(q.size())));
        for (std::size_t k = 2; k < q.size(); ++k) {
            const auto gap = q[k].ms - q[k - 1].ms;
            QVERIFY2(gap >= 350 && gap <= 900, qPrintable(QStringLiteral("gap %1 ms at change %2").arg(gap).arg(k)));
        }
        // VW0 goes up by one in the very pass in which Q0.0 rises.
        const auto& vw = rec.changes(1);
        QVERIFY(vw.size() >= 3);
        for (std::size_t k = 1; k < vw.size(); ++k) {
            QCOMPARE(vw[k].value, vw[k - 1].value + 1);
            QVERIFY(rec.valueAt(0, vw[k].ms) == 1u);
            QVERIFY(rec.valueAt(0, vw[k].ms - 1) == 0u);
        }
        // T37 runs up and falls back to 0 once done (M0.0 on for one pass).
        const auto& t = rec.changes(2);
        bool fell = false;
        for (std::size_t k = 1; k < t.size(); ++k) fell = fell || (t[k].value == 0 && t[k - 1].value >= 20);
        QVERIFY2(fell, "T37 never started again");

        // Pause freezes the picture; the recording goes on.
        const std::int64_t before = rec.lastMs();
        QTest::mouseClick(button(v, "pause"), Qt::LeftButton);
        QVERIFY(v->paused());
        QCOMPARE(button(v, "pause")->text(), QStringLiteral("继续"));
        const std::int64_t frozen = v->endMs();
        QTest::qWait(300);
        QCOMPARE(v->endMs(), frozen);
        QVERIFY(rec.lastMs() > before);
        QTest::mouseClick(button(v, "pause"), Qt::LeftButton);
        QVERIFY(!v->paused());
        QVERIFY(v->endMs() > frozen);

        // Zoom: the wheel and the buttons halve and double the span, within 1 s to 600 s.
        QCOMPARE(v->spanMs(), std::int64_t{10'000});
        QWheelEvent wheel(QPointF(300, 40), v->chart()->mapToGlobal(QPointF(300, 40)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(v->chart(), &wheel);
        QCOMPARE(v->spanMs(), std::int64_t{5'000});
        QTest::mouseClick(button(v, "zoomOut"), Qt::LeftButton);
        QTest::mouseClick(button(v, "zoomOut"), Qt::LeftButton);
        QCOMPARE(v->spanMs(), std::int64_t{20'000});
        auto* span = v->findChild<QComboBox*>(QStringLiteral("span"));
        span->setCurrentIndex(span->count() - 1);
        emit span->activated(span->count() - 1);
        QCOMPARE(v->spanMs(), std::int64_t{600'000});
        QTest::mouseClick(button(v, "zoomOut"), Qt::LeftButton);
        QCOMPARE(v->spanMs(), std::int64_t{600'000});
        span->setCurrentIndex(0);
        emit span->activated(0);
        QCOMPARE(v->spanMs(), std::int64_t{10'000});
        QTest::mouseClick(button(v, "zoomIn"), Qt::LeftButton);

        // The export: through the window's file dialog, read back by the tests' reader.
        h.clickTool("btStop");
        const QString path = QDir(testTmp()).filePath(QStringLiteral("timing/clock.vcd"));
        QFile::remove(path);
        h.nextFile = path;
        QTest::mouseClick(button(v, "export"), Qt::LeftButton);
        QCOMPARE(h.lastSuggested, QStringLiteral("clock.vcd"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const VcdFile vcd = readVcd(f.readAll().toStdString());
        QCOMPARE(QString::fromStdString(vcd.error), QString());
        QCOMPARE(vcd.vars.size(), std::size_t{5});
        QCOMPARE(QString::fromStdString(vcd.vars[0].reference), QStringLiteral("Q0_0"));
        QCOMPARE(vcd.vars[1].width, 16);
        QCOMPARE(QString::fromStdString(vcd.vars[3].reference), QStringLiteral("SM0_5"));
        const auto hist = vcd.history("Q0_0");
        QCOMPARE(hist.size(), rec.changes(0).size());
        for (std::size_t k = 0; k < hist.size(); ++k) {
            QCOMPARE(hist[k].first, rec.changes(0)[k].ms);
            QCOMPARE(hist[k].second, static_cast<std::int64_t>(rec.changes(0)[k].value));
        }
        QVERIFY(w.logText().contains(QStringLiteral("导出VCD：")));

        // The cursor: the mouse over the traces picks a time, whose values the labels show.
        QTest::mouseClick(button(v, "pause"), Qt::LeftButton);
        TimingChart* chart = v->chart();
        const std::int64_t span5 = v->spanMs(), frameEnd = std::max(v->endMs(), span5);
        const int plotLeft = TimingChart::kLabelWidth + 1, plotWidth = chart->width() - 6 - plotLeft;
        const int x = plotLeft + static_cast<int>((2000 - (frameEnd - span5)) * plotWidth / span5);
        QTest::mouseMove(chart, QPoint(x, 60));
        QTRY_VERIFY(chart->cursorMs().has_value());
        QVERIFY2(std::abs(*chart->cursorMs() - 2000) <= 20, qPrintable(QString::number(*chart->cursorMs())));

        // Screenshots: the view at a 5 s span with the cursor at 2 s, and the whole window.
        QDir shots(QStringLiteral(KORVANE_SCREENSHOT_DIR));
        QVERIFY(shots.mkpath(QStringLiteral(".")));
        v->chart()->update();
        QTest::qWait(50);
        auto* sub = qobject_cast<QMdiSubWindow*>(v->parentWidget());
        QVERIFY(sub);
        QVERIFY(sub->grab().save(shots.filePath(QStringLiteral("timing_view.png"))));
        QVERIFY(w.grab().save(shots.filePath(QStringLiteral("timing_window.png"))));
    }
};

QTEST_MAIN(TimingViewTest)
#include "timing_view_test.moc"
