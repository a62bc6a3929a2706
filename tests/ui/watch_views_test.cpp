// The status table window and the program status view in use: renders by format, the cell
// editor, write-once through the scan cycle, table files, the clipboard, the status texts
// by kind, the counter rules after a load, the refresh cost of a long program, screenshots.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiSubWindow>
#include <QHeaderView>
#include <QMenuBar>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <vector>

#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {
QString cell(QTableWidget* g, int r, int c) { return g->item(r, c) ? g->item(r, c)->text() : QString(); }

void typeInto(frmStatusTable* t, int row, int column, const QString& text) {
    t->editCell(row, column);
    QVERIFY(t->editor()->isVisible());
    // Typed keys replace the selected old text; characters beyond Latin-1 go in as an
    // input method would put them.
    bool latin1 = true;
    for (QChar c : text) latin1 = latin1 && c.unicode() < 0x80;
    if (latin1) QTest::keyClicks(t->editor(), text);
    else t->editor()->insert(text);
    QTest::keyClick(t->editor(), Qt::Key_Return);
}

// Picks an entry of the format drop-down of a row as a click in its list would.
void chooseFormat(frmStatusTable* t, int row, const QString& name) {
    t->editCell(row, 4);
    QComboBox* list = t->formatList();
    QVERIFY(list->isVisible());
    const int index = list->findText(name);
    QVERIFY2(index >= 0, qPrintable(name));
    list->setCurrentIndex(index);
    emit list->activated(index);
    QVERIFY(!list->isVisible());
}

QStringList entries(QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
    return out;
}

QString writeProgram(const QString& name, const QString& body) {
    const QString path = QDir(testTmp()).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    f.write(body.toUtf8());
    return path;
}

QString readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

// The grid row showing the program line whose text is `source`.
int rowOf(QTableWidget* g, const QString& source) {
    for (int r = 0; r < g->rowCount(); ++r)
        if (cell(g, r, 1) == source) return r;
    return -1;
}

void ticks(FormMain& w, int n) {
    for (int i = 0; i < n; ++i) w.sim().scan.tick();
}

// Ticks until the tick counter is a multiple of `m` (so that the phase of the passes and of
// the refreshes is known).
void alignTicks(FormMain& w, int m) {
    while (w.sim().scan.state().tickCounter % m != 0) w.sim().scan.tick();
}

const char* kWatchProgram =
    "ORGANIZATION_BLOCK MAIN:OB1\r\n"
    "TITLE=Watch\r\n"
    "BEGIN\r\n"
    "Network 1 // start\r\n"
    "LD     I0.0\r\n"
    "=      Q0.0\r\n"
    "Network 2 // values\r\n"
    "LD     SM0.0\r\n"
    "MOVR   3.14159, VD0\r\n"
    "MOVW   1234, VW4\r\n"
    "+I     2, VW6\r\n"
    "Network 3 // off\r\n"
    "LD     I0.1\r\n"
    "=      Q0.2\r\n"
    "END_ORGANIZATION_BLOCK\r\n";
}  // namespace

class WatchViewsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(QDir(QStringLiteral(KORVANE_SCREENSHOT_DIR)).mkpath(QStringLiteral(".")));
    }

    // The menus with their captions in order, and the toolbar buttons with their tooltips,
    // each doing what its menu item does.
    void menusAndToolbar() {
        Harness h;
        h.w().showStatusTable();
        h.w().showProgramStatus();
        auto menuTexts = [](QMainWindow* win) {
            QStringList out;
            for (QAction* top : win->menuBar()->actions()) {
                out << top->text();
                for (QAction* a : top->menu()->actions()) {
                    if (a->isSeparator()) continue;
                    if (a->menu()) {
                        QStringList sub;
                        for (QAction* b : a->menu()->actions()) sub << b->text();
                        out << a->text() + QStringLiteral(" -> ") + sub.join(QLatin1Char('|'));
                    } else {
                        out << QStringLiteral("  ") + a->text();
                    }
                }
            }
            return out;
        };
        frmStatusTable* t = h.w().statusTableWindow();
        QCOMPARE(menuTexts(t), (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("  载入状态表(&L)"),
                                            QStringLiteral("  保存状态表(&S)"), QStringLiteral("  粘贴符号表(&P)"),
                                            QStringLiteral("  关闭窗口"), QStringLiteral("读写(&W)"),
                                            QStringLiteral("  读取一次"), QStringLiteral("  连续在线读取"),
                                            QStringLiteral("  写一次"), QStringLiteral("强制 -> 强制|取消强制|全部取消强制"),
                                            QStringLiteral("编辑(&E)"), QStringLiteral("  增加到其后"),
                                            QStringLiteral("  增加到最后"), QStringLiteral("  删除所选"),
                                            QStringLiteral("窗口(&W)"), QStringLiteral("  窗口置于最前端"),
                                            QStringLiteral("  取消置于最前端")}));
        frmProgramStatus* p = h.w().programStatusWindow();
        QCOMPARE(menuTexts(p), (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("  关闭"),
                                            QStringLiteral("窗口(&W)"), QStringLiteral("  窗口置于最前端"),
                                            QStringLiteral("  取消置于最前端")}));
        p->action("mnuOnTop")->trigger();
        QVERIFY(p->action("mnuOnTop")->isChecked());
        QVERIFY(qobject_cast<QMdiSubWindow*>(p->parentWidget())->windowFlags() & Qt::WindowStaysOnTopHint);
        p->action("mnuNotOnTop")->trigger();
        QVERIFY(!p->action("mnuOnTop")->isChecked());
        QVERIFY(p->action("mnuNotOnTop")->isChecked());
        QVERIFY(!(qobject_cast<QMdiSubWindow*>(p->parentWidget())->windowFlags() & Qt::WindowStaysOnTopHint));

        struct Tool {
            const char* key;
            const char* tip;
        };
        const Tool tools[] = {{"btLoad", "载入状态表"},          {"btSave", "保存状态表"},       {"btReadOnce", "读取一次"},
                              {"btReadContinue", "连续读取"},    {"btWriteOnce", "写一次"},      {"btForce", "设为强制"},
                              {"btUnForce", "取消强制"},         {"btUnForceAll", "取消全部强制"}, {"btAddBefore", "在当前之前增加"},
                              {"btAddLast", "在最后增加"},       {"btDelSelect", "删除选择"}};
        auto* bar = t->findChild<QToolBar*>();
        QVERIFY(bar);
        QStringList keys;
        for (QAction* a : bar->actions()) keys << a->objectName();
        QStringList expectedKeys;
        for (const Tool& tool : tools) {
            expectedKeys << QString::fromLatin1(tool.key);
            QAction* a = t->action(QString::fromLatin1(tool.key));
            QVERIFY2(a, tool.key);
            QCOMPARE(a->toolTip(), QString::fromUtf8(tool.tip));
        }
        QCOMPARE(keys, expectedKeys);

        // The force buttons and the row buttons act on the row under the cursor.
        QTableWidget* g = t->grid;
        g->setCurrentCell(3, 0);
        t->action("btForce")->trigger();
        QCOMPARE(cell(g, 3, 7), QStringLiteral("是"));
        g->setCurrentCell(4, 0);
        t->action("mnuForce")->trigger();
        QCOMPARE(cell(g, 4, 7), QStringLiteral("是"));
        t->action("btUnForce")->trigger();
        QCOMPARE(cell(g, 4, 7), QStringLiteral("否"));
        QCOMPARE(cell(g, 3, 7), QStringLiteral("是"));
        t->action("mnuUnForceAll")->trigger();
        QCOMPARE(cell(g, 3, 7), QStringLiteral("否"));
        t->action("mnuAddLast")->trigger();
        QCOMPARE(g->rowCount(), 6);
        QCOMPARE(cell(g, 5, 0), QStringLiteral(" 5"));
        QCOMPARE(cell(g, 5, 7), QString());  // a blank row is invalid
        g->setCurrentCell(2, 0);
        t->action("mnuAddBefore")->trigger();
        QCOMPARE(g->rowCount(), 7);
        QCOMPARE(cell(g, 2, 2), QString());
        QCOMPARE(cell(g, 3, 2), QStringLiteral("QB0"));
        g->setCurrentCell(3, 0);
        t->action("mnuDelSelect")->trigger();
        QCOMPARE(g->rowCount(), 6);
        QCOMPARE(cell(g, 3, 2), QStringLiteral("T50"));
        // The continuous button and its menu mark go together.
        t->action("mnuReadContinue")->trigger();
        QVERIFY(t->action("btReadContinue")->isChecked());
        QVERIFY(h.w().sim().statusTable.continuousReading());
        QWidget* button = bar->widgetForAction(t->action("btReadContinue"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!t->action("mnuReadContinue")->isChecked());
        QVERIFY(!t->action("btReadContinue")->isChecked());
        QVERIFY(!h.w().sim().statusTable.continuousReading());
        // "关闭窗口" hides; the rows stay and the window comes back with them.
        t->action("mnuClose")->trigger();
        QVERIFY(!t->isVisible());
        h.w().showStatusTable();
        QCOMPARE(h.w().statusTableWindow(), t);
        QCOMPARE(t->grid->rowCount(), 6);
        p->action("mnuClose")->trigger();
        QVERIFY(!p->isVisible());
    }

    // The drop-down offers the formats of the row's kind and starts on the cell's format.
    void formatListPerKind_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("selected");
        const QStringList integer = {QStringLiteral("有符号十进制"), QStringLiteral("无符号十进制"),
                                     QStringLiteral("十六进制"), QStringLiteral("二进制")};
        QTest::newRow("bit") << "I0.0" << QStringList{QStringLiteral("位")} << QStringLiteral("位");
        QTest::newRow("byte") << "QB1" << integer << QStringLiteral("十六进制");
        QTest::newRow("word") << "MW2" << integer << QStringLiteral("二进制");
        QTest::newRow("analog word") << "AIW4" << integer << QStringLiteral("无符号十进制");
        QTest::newRow("double word") << "VD8" << (QStringList(integer) << QStringLiteral("浮点数"))
                                     << QStringLiteral("浮点数");
        QTest::newRow("timer") << "T37" << QStringList{QStringLiteral("有符号十进制"), QStringLiteral("二进制")}
                               << QStringLiteral("二进制");
        QTest::newRow("counter") << "C3" << QStringList{QStringLiteral("有符号十进制"), QStringLiteral("二进制")}
                                 << QStringLiteral("二进制");
    }
    void formatListPerKind() {
        QFETCH(QString, address);
        QFETCH(QStringList, offered);
        QFETCH(QString, selected);
        Harness h;
        h.w().showStatusTable();
        frmStatusTable* t = h.w().statusTableWindow();
        typeInto(t, 2, 2, address);
        QCOMPARE(cell(t->grid, 2, 2), address);
        if (offered.size() > 1) chooseFormat(t, 2, selected);
        QCOMPARE(cell(t->grid, 2, 4), selected);
        t->editCell(2, 4);
        QComboBox* list = t->formatList();
        QVERIFY(list->isVisible());
        QCOMPARE(entries(list), offered);
        QCOMPARE(list->currentText(), selected);
        QTest::keyClick(list, Qt::Key_Escape);  // closes without a choice
        QVERIFY(!list->isVisible());
        QCOMPARE(cell(t->grid, 2, 4), selected);
        // An invalid row has no format to choose.
        typeInto(t, 3, 2, QStringLiteral("IW15"));
        t->editCell(3, 4);
        QVERIFY(!t->formatList()->isVisible());
    }

    // The current-value cell of a row by its kind and format, read once from the image.
    void currentValueByFormat() {
        struct Case {
            const char* address;
            const char* format;  // chosen in the drop-down; nullptr keeps the parsed one
            std::function<void(PlcMemory&)> set;
            const char* formatCell;
            const char* valueCell;
        };
        const Case cases[] = {
            {"VW0", "十六进制", [](PlcMemory& m) { m.tobit(65535, area::V, 16); }, "十六进制", "FF,FF "},
            {"VW0", "有符号十进制", [](PlcMemory& m) { m.tobit(65535, area::V, 16); }, "有符号十进制", "-  1 "},
            {"VW0", "无符号十进制", [](PlcMemory& m) { m.tobit(65535, area::V, 16); }, "无符号十进制", " 65,535 "},
            {"VW0", "二进制", [](PlcMemory& m) { m.tobit(256, area::V, 16); }, "二进制", "       1,00000000 "},
            {"VB1", "二进制", [](PlcMemory& m) { m.tobit(5, area::V + 8, 8); }, "二进制", "     101 "},
            {"VB1", "十六进制", [](PlcMemory& m) { m.tobit(10, area::V + 8, 8); }, "十六进制", "000A "},
            {"MD4", "十六进制", [](PlcMemory& m) { m.tobit(305419896, area::M + 32, 32); }, "十六进制", "1234,5678 "},
            {"MD4", "有符号十进制", [](PlcMemory& m) { m.tobit(4294967295.0, area::M + 32, 32); }, "有符号十进制", "-  1 "},
            {"VD8", "浮点数", [](PlcMemory& m) { m.SetRealValue(area::V + 64, 3.14159); }, "浮点数", "3.1416 "},
            {"I0.3", nullptr, [](PlcMemory& m) { m.setCell(3, kOn); }, "位", " 1"},
            {"Q1.7", nullptr, [](PlcMemory&) {}, "位", " 0"},
            {"T5", "二进制", [](PlcMemory& m) { m.setCell(area::T + 5, kOn); }, "二进制", " 1"},
            {"T5", "有符号十进制", [](PlcMemory& m) { m.timers()[5].Current = 37; }, "无符号十进制", " 37"},
            {"C9", nullptr, [](PlcMemory& m) { m.counters()[9].Current = 4; }, "无符号十进制", " 4"},
            {"IW15", nullptr, [](PlcMemory&) {}, "", ""},
        };
        Harness h;
        h.w().showStatusTable();
        frmStatusTable* t = h.w().statusTableWindow();
        QTableWidget* g = t->grid;
        for (const Case& c : cases) {
            const QString what = QString::fromUtf8(c.address) + QLatin1Char(' ') + QString::fromUtf8(c.format ? c.format : "");
            h.mem().ClearImage();
            for (auto& r : h.mem().timers()) r.Current = 0;
            for (auto& r : h.mem().counters()) r.Current = 0;
            typeInto(t, 0, 2, QString::fromUtf8(c.address));
            if (c.format) chooseFormat(t, 0, QString::fromUtf8(c.format));
            c.set(h.mem());
            t->action("btReadOnce")->trigger();
            QVERIFY2(cell(g, 0, 4) == QString::fromUtf8(c.formatCell), qPrintable(what + " -> " + cell(g, 0, 4)));
            QVERIFY2(cell(g, 0, 5) == QString::fromUtf8(c.valueCell), qPrintable(what + " -> [" + cell(g, 0, 5) + "]"));
        }
        // Without a read the cell keeps the value last read; continuous reading follows.
        typeInto(t, 0, 2, QStringLiteral("MB0"));
        h.mem().tobit(7, area::M, 8);
        t->action("btReadOnce")->trigger();
        h.mem().tobit(9, area::M, 8);
        t->FreshShow();
        QCOMPARE(cell(g, 0, 5), QStringLiteral("7 "));
        t->action("btReadContinue")->trigger();
        QVERIFY(t->action("mnuReadContinue")->isChecked());
        t->FreshShow();
        QCOMPARE(cell(g, 0, 5), QStringLiteral("9 "));
        t->action("btReadOnce")->trigger();  // ends continuous reading
        QVERIFY(!t->action("mnuReadContinue")->isChecked());
        QVERIFY(!t->action("btReadContinue")->isChecked());
        h.mem().tobit(11, area::M, 8);
        t->FreshShow();
        QCOMPARE(cell(g, 0, 5), QStringLiteral("9 "));
    }

    // The one-line editor: upper case, Enter moves right, Esc and the up arrow leave the
    // cell as it was ("&" is an ordinary character), Enter on an empty editor clears.
    void cellEditorKeys() {
        Harness h;
        h.w().showStatusTable();
        frmStatusTable* t = h.w().statusTableWindow();
        QTableWidget* g = t->grid;
        typeInto(t, 2, 2, QStringLiteral("vw10"));
        QCOMPARE(cell(g, 2, 2), QStringLiteral("VW10"));
        QCOMPARE(g->currentRow(), 2);
        QCOMPARE(g->currentColumn(), 3);
        QVERIFY(!t->editor()->isVisible());
        chooseFormat(t, 2, QStringLiteral("十六进制"));
        typeInto(t, 2, 6, QStringLiteral("ff"));
        QCOMPARE(cell(g, 2, 6), QStringLiteral("FF"));
        QCOMPARE(g->currentColumn(), 7);
        t->action("btWriteOnce")->trigger();
        QCOMPARE(h.mem().GetWordValue(area::V + 80), 255.0);
        QCOMPARE(cell(g, 2, 5), QStringLiteral("00,FF "));

        // Symbol and comment keep their case; "&" is text.
        typeInto(t, 2, 1, QStringLiteral("Pump&Valve"));
        QCOMPARE(cell(g, 2, 1), QStringLiteral("Pump&Valve"));
        QCOMPARE(g->currentColumn(), 2);
        typeInto(t, 2, 3, QStringLiteral("flow a&b"));
        QCOMPARE(cell(g, 2, 3), QStringLiteral("flow a&b"));

        // The editor opens with the cell's text, all of it selected.
        t->editCell(2, 1);
        QCOMPARE(t->editor()->text(), QStringLiteral("Pump&Valve"));
        QCOMPARE(t->editor()->selectedText(), QStringLiteral("Pump&Valve"));
        QTest::keyClicks(t->editor(), QStringLiteral("xyz"));
        QTest::keyClick(t->editor(), Qt::Key_Escape);
        QVERIFY(!t->editor()->isVisible());
        QCOMPARE(cell(g, 2, 1), QStringLiteral("Pump&Valve"));
        QCOMPARE(g->currentRow(), 2);
        // The up arrow closes without change and moves one row up.
        t->editCell(2, 6);
        QTest::keyClicks(t->editor(), QStringLiteral("1"));
        QTest::keyClick(t->editor(), Qt::Key_Up);
        QVERIFY(!t->editor()->isVisible());
        QCOMPARE(cell(g, 2, 6), QStringLiteral("FF"));
        QCOMPARE(g->currentRow(), 1);
        QCOMPARE(g->currentColumn(), 6);

        // Enter on an empty editor clears the pending value: write-once skips the row.
        t->editCell(2, 6);
        t->editor()->clear();
        QTest::keyClick(t->editor(), Qt::Key_Return);
        QCOMPARE(cell(g, 2, 6), QString());
        QVERIFY(!h.w().sim().statusTable.row(2).newValuePending);
        h.mem().tobit(0, area::V + 80, 16);
        t->action("btWriteOnce")->trigger();
        QCOMPARE(h.mem().GetWordValue(area::V + 80), 0.0);

        // A signed value too wide for a byte is refused with a message and not stored.
        typeInto(t, 2, 2, QStringLiteral("VB3"));
        typeInto(t, 2, 6, QStringLiteral("300"));
        QCOMPARE(cell(g, 2, 6), QString());
        QVERIFY(!h.prompt.informed.empty());
        QCOMPARE(QString::fromStdString(h.prompt.informed.back()), QString::fromUtf8(kMsgNewValueOutOfRange));

        // Double-clicking the force cell toggles it.
        t->editCell(2, 7);
        QCOMPARE(cell(g, 2, 7), QStringLiteral("是"));
        t->editCell(2, 7);
        QCOMPARE(cell(g, 2, 7), QStringLiteral("否"));
    }

    // In RUN the write waits for the scan cycle, which does it at the start of a tick,
    // before the inputs are taken; the pending values stay for the next write-once.
    void writeOnceInRun() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        w.showStatusTable();
        frmStatusTable* t = w.statusTableWindow();
        typeInto(t, 0, 2, QStringLiteral("VW10"));
        typeInto(t, 0, 6, QStringLiteral("-1234"));
        typeInto(t, 1, 6, QStringLiteral("1"));  // I0.0, the start button
        w.sim().scan.continuousRun();
        ticks(w, 2);
        t->action("btWriteOnce")->trigger();
        QCOMPARE(h.mem().GetIntValue(area::V + 80), 0.0);  // not yet
        QCOMPARE(h.mem().cell(0), kOff);
        ticks(w, 1);
        QCOMPARE(h.mem().GetIntValue(area::V + 80), -1234.0);
        QCOMPARE(h.mem().cell(0), kOn);
        QVERIFY(w.inputPanel()->bitBoxes[0]->isChecked());  // the written input shows
        ticks(w, 10);
        QCOMPARE(h.mem().cell(area::Q), kOn);  // the program saw the start button
        // Once written, the request is done: the cycle does not write again by itself.
        h.mem().tobit(0, area::V + 80, 16);
        ticks(w, 3);
        QCOMPARE(h.mem().GetIntValue(area::V + 80), 0.0);
        t->action("mnuWriteOnce")->trigger();
        ticks(w, 1);
        QCOMPARE(h.mem().GetIntValue(area::V + 80), -1234.0);
        w.sim().scan.stop();
    }

    // Saving and loading a table file, its exact text, the log lines, a cancelled dialog
    // and a file that cannot be read.
    void tableFileRoundTrip() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(example("motor_start_stop.awl"));
        w.showStatusTable();
        frmStatusTable* t = w.statusTableWindow();
        QTableWidget* g = t->grid;
        typeInto(t, 0, 1, QStringLiteral("Speed"));
        typeInto(t, 0, 2, QStringLiteral("VW0"));
        typeInto(t, 0, 3, QStringLiteral("目标 速度"));
        chooseFormat(t, 0, QStringLiteral("十六进制"));
        typeInto(t, 0, 6, QStringLiteral("FF"));
        g->setCurrentCell(0, 0);
        t->action("btForce")->trigger();
        typeInto(t, 1, 6, QStringLiteral("1"));
        typeInto(t, 2, 6, QStringLiteral("200"));

        const QString path = QDir(testTmp()).filePath(QStringLiteral("watch_table.txt"));
        QFile::remove(path);
        h.nextFile = path;
        t->action("btSave")->trigger();
        QCOMPARE(h.lastSuggested, QStringLiteral("motor_start_stop"));
        QVERIFY(w.logText().contains(QStringLiteral("保存状态表配置：") + path));
        const QString expected = QStringLiteral("Speed\tVW0\t目标 速度\t 255\tTrue\t 2\r\n"
                                                "\tI0.0\t\t 1\tFalse\t 10\r\n"
                                                "\tQB0\t\t 200\tFalse\t 1\r\n"
                                                "\tT50\t\t 0\tFalse\t 4\r\n"
                                                "\tT50\t\t 0\tFalse\t 1\r\n");
        QCOMPARE(readAll(path), expected);

        // Change everything, then load the file back.
        t->action("btUnForceAll")->trigger();
        t->action("btAddLast")->trigger();
        g->setCurrentCell(0, 0);
        t->action("btDelSelect")->trigger();
        QCOMPARE(g->rowCount(), 6);
        t->action("btLoad")->trigger();
        QVERIFY(w.logText().contains(QStringLiteral("载入状态表文件：") + path));
        QCOMPARE(g->rowCount(), 5);
        QCOMPARE(cell(g, 0, 1), QStringLiteral("Speed"));
        QCOMPARE(cell(g, 0, 2), QStringLiteral("VW0"));
        QCOMPARE(cell(g, 0, 3), QStringLiteral("目标 速度"));
        QCOMPARE(cell(g, 0, 4), QStringLiteral("十六进制"));
        QCOMPARE(cell(g, 0, 7), QStringLiteral("是"));
        QCOMPARE(cell(g, 1, 7), QStringLiteral("否"));
        QCOMPARE(cell(g, 2, 4), QStringLiteral("无符号十进制"));
        const StatusTable& list = w.sim().statusTable;
        QCOMPARE(list.row(0).newValue, 255.0);
        QVERIFY(list.row(0).forced);
        QCOMPARE(list.row(2).newValue, 200.0);
        for (std::size_t i = 0; i < list.size(); ++i) QVERIFY(!list.row(i).newValuePending);
        // A loaded table saves to the same text.
        const QString again = QDir(testTmp()).filePath(QStringLiteral("watch_table_again.txt"));
        h.nextFile = again;
        t->action("mnuSave")->trigger();
        QCOMPARE(readAll(again), expected);
        // The forced row forces at once: a tick in STOP writes it.
        ticks(w, 1);
        QCOMPARE(h.mem().GetWordValue(area::V), 255.0);

        // A cancelled dialog changes nothing and writes no log line.
        const QString logBefore = w.logText();
        h.nextFile.clear();
        t->action("mnuLoad")->trigger();
        t->action("mnuSave")->trigger();
        QCOMPARE(w.logText(), logBefore);
        QCOMPARE(g->rowCount(), 5);

        // A line that cannot be stored: the rows before it stay, and the log says so.
        const QString bad = QDir(testTmp()).filePath(QStringLiteral("watch_table_bad.txt"));
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("\tMB1\t\t 3\tFalse\t 0\r\n\tMB2\t\tabc\tFalse\t 0\r\n\tMB3\t\t 1\tFalse\t 0\r\n");
        }
        h.nextFile = bad;
        t->action("mnuLoad")->trigger();
        QVERIFY(w.logText().endsWith(QStringLiteral("载入状态表配置错误\r\n")));
        QCOMPARE(g->rowCount(), 1);
        QCOMPARE(cell(g, 0, 2), QStringLiteral("MB1"));
        // A missing file.
        h.nextFile = QDir(testTmp()).filePath(QStringLiteral("no_such_table.txt"));
        t->action("mnuLoad")->trigger();
        QVERIFY(w.logText().endsWith(QStringLiteral("载入状态表配置错误\r\n")));
    }

    // A symbol table copied out of the programming software replaces the list; without
    // text on the clipboard a message says so and the list stays.
    void pasteSymbolTable() {
        Harness h;
        FormMain& w = h.w();
        w.showStatusTable();
        frmStatusTable* t = w.statusTableWindow();
        QTableWidget* g = t->grid;
        QGuiApplication::clipboard()->setText(QStringLiteral("Start\tI0.0\t启动按钮\r\n"
                                                             "Motor\tQ0.0\tcontactor\r\n"
                                                             "\r\n"
                                                             "Level\tVW100\ttank level\r\n"));
        h.mem().setCell(area::Q, kOn);
        t->action("mnuPaste")->trigger();
        QCOMPARE(g->rowCount(), 4);
        QCOMPARE(cell(g, 0, 1), QStringLiteral("Start"));
        QCOMPARE(cell(g, 0, 2), QStringLiteral("I0.0"));
        QCOMPARE(cell(g, 0, 3), QStringLiteral("启动按钮"));
        QCOMPARE(cell(g, 0, 4), QStringLiteral("位"));
        QCOMPARE(cell(g, 1, 5), QStringLiteral(" 1"));  // read at once
        QCOMPARE(cell(g, 2, 2), QString());             // the empty line: an invalid row
        QCOMPARE(cell(g, 2, 4), QString());
        QCOMPARE(cell(g, 2, 7), QString());
        QCOMPARE(cell(g, 3, 4), QStringLiteral("有符号十进制"));
        QCOMPARE(cell(g, 3, 0), QStringLiteral(" 3"));

        QGuiApplication::clipboard()->clear();
        QVERIFY(!QGuiApplication::clipboard()->mimeData() || !QGuiApplication::clipboard()->mimeData()->hasText());
        h.prompt.informed.clear();
        t->action("mnuPaste")->trigger();
        QCOMPARE(h.prompt.informed.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(h.prompt.informed[0]), QStringLiteral("剪贴板没有文本"));
        QCOMPARE(g->rowCount(), 4);
        QCOMPARE(cell(g, 3, 1), QStringLiteral("Level"));
    }

    // The texts of the program status view by status kind, the stack and the power flow.
    void programStatusTexts() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeProgram(QStringLiteral("watch.awl"), QString::fromUtf8(kWatchProgram)));
        w.showProgramStatus();
        frmProgramStatus* p = w.programStatusWindow();
        QTableWidget* g = p->grid;
        const int net1 = rowOf(g, QStringLiteral("Network 1"));
        const int ld = rowOf(g, QStringLiteral("LD     I0.0"));
        const int outQ0 = rowOf(g, QStringLiteral("=      Q0.0"));
        const int movr = rowOf(g, QStringLiteral("MOVR   3.14159, VD0"));
        const int movw = rowOf(g, QStringLiteral("MOVW   1234, VW4"));
        const int addi = rowOf(g, QStringLiteral("+I     2, VW6"));
        const int ldOff = rowOf(g, QStringLiteral("LD     I0.1"));
        const int outQ2 = rowOf(g, QStringLiteral("=      Q0.2"));
        for (int r : {net1, ld, outQ0, movr, movw, addi, ldOff, outQ2}) QVERIFY(r >= 0);
        QCOMPARE(cell(g, ld, 0), QStringLiteral(" ") + QString::number(ld));
        // Markers in cells the view must empty (a Network line) or leave alone (a third
        // operand the line does not have).
        for (int c = 3; c <= 7; ++c) g->setItem(net1, c, new QTableWidgetItem(QStringLiteral("x")));
        g->setItem(addi, 5, new QTableWidgetItem(QStringLiteral("keep")));
        g->setItem(movw, 5, new QTableWidgetItem(QStringLiteral("keep")));

        h.mem().setCell(0, kOn);
        w.inputPanel()->bitBoxes[0]->setChecked(true);
        w.sim().scan.continuousRun();
        alignTicks(w, 10);
        ticks(w, 30);  // six passes, three refreshes
        QCOMPARE(p->txtState->text(), QStringLiteral("运行"));
        QCOMPARE(p->txtCount->text(), QStringLiteral(" 6"));

        struct Expect {
            int row;
            const char* operands;
            const char* v1;
            const char* v2;
            const char* stackStart;
            const char* flow;
        };
        const Expect rows[] = {
            {ld, " 1", "ON", "", "1", nullptr},
            {outQ0, " 1", "ON", "", "1", "True"},
            {movr, " 2", "3.1416", "3.1416", "1", "True"},
            {movw, " 2", " 1234", " 1234", "1", "True"},
            {addi, " 2", " 2", " 10", "1", "True"},  // VW6 as the sixth pass read it
            {ldOff, " 1", "OFF", "", "0", nullptr},
            {outQ2, " 1", "OFF", "", "0", "False"},
        };
        for (const Expect& e : rows) {
            const QString line = cell(g, e.row, 1);
            QVERIFY2(cell(g, e.row, 2) == QString::fromUtf8(e.operands), qPrintable(line));
            QVERIFY2(cell(g, e.row, 3) == QString::fromUtf8(e.v1), qPrintable(line + " -> " + cell(g, e.row, 3)));
            if (*e.v2) QVERIFY2(cell(g, e.row, 4) == QString::fromUtf8(e.v2), qPrintable(line + " -> " + cell(g, e.row, 4)));
            QVERIFY2(cell(g, e.row, 6).size() == 4 && cell(g, e.row, 6).startsWith(QString::fromUtf8(e.stackStart)),
                     qPrintable(line + " -> " + cell(g, e.row, 6)));
            if (e.flow) QVERIFY2(cell(g, e.row, 7) == QString::fromUtf8(e.flow), qPrintable(line + " -> " + cell(g, e.row, 7)));
            else QVERIFY(cell(g, e.row, 7) == QStringLiteral("True") || cell(g, e.row, 7) == QStringLiteral("False"));
        }
        for (int c = 3; c <= 7; ++c) QCOMPARE(cell(g, net1, c), QString());
        QCOMPARE(cell(g, addi, 5), QStringLiteral("keep"));
        QCOMPARE(cell(g, movw, 5), QStringLiteral("keep"));

        // STOP: the counter reads " 0" and the grid keeps what it showed.
        w.sim().scan.stop();
        ticks(w, 10);
        QCOMPARE(p->txtState->text(), QStringLiteral("停止"));
        QCOMPARE(p->txtCount->text(), QStringLiteral(" 0"));
        QCOMPARE(cell(g, movr, 3), QStringLiteral("3.1416"));
        QCOMPARE(cell(g, addi, 4), QStringLiteral(" 10"));
    }

    // The line-number column stays at the left edge while the other columns scroll sideways,
    // and it scrolls up and down with the grid, line for line.
    void frozenLineNumberColumn() {
        Harness h;
        FormMain& w = h.w();
        QString text = QString::fromUtf8("ORGANIZATION_BLOCK MAIN:OB1\r\nBEGIN\r\n");
        for (int i = 0; i < 60; ++i) text += QStringLiteral("Network %1\r\nLD     I0.0\r\n=      Q0.%2\r\n").arg(i + 1).arg(i % 8);
        text += QStringLiteral("END_ORGANIZATION_BLOCK\r\n");
        w.loadProgramFile(writeProgram(QStringLiteral("long_watch.awl"), text));
        w.showProgramStatus();
        frmProgramStatus* p = w.programStatusWindow();
        auto* sub = qobject_cast<QMdiSubWindow*>(p->parentWidget());
        QVERIFY(sub);
        w.mdiArea()->setActiveSubWindow(sub);
        sub->resize(360, 300);
        QTest::qWait(200);  // the resize shares the widths out again
        QTableWidget* g = p->grid;
        g->setColumnWidth(1, 500);  // a long STL text, widened by hand
        QTableView* f = p->frozen;
        QVERIFY(f && f->isVisible());
        QTRY_VERIFY(g->horizontalScrollBar()->maximum() > 0);
        QTRY_VERIFY(g->verticalScrollBar()->maximum() > 0);
        for (int c = 1; c < g->columnCount(); ++c) QVERIFY(f->isColumnHidden(c));
        QVERIFY(!f->isColumnHidden(0));
        QCOMPARE(f->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("行号"));

        g->horizontalScrollBar()->setValue(g->horizontalScrollBar()->maximum());
        g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum() / 2);
        QTest::qWait(50);
        // The grid's own first column has scrolled out of sight; the overlay has not moved.
        QVERIFY(g->visualRect(g->model()->index(0, 0)).right() < 0);
        QCOMPARE(f->geometry().left(), g->frameWidth());
        QCOMPARE(f->width(), g->columnWidth(0));
        QCOMPARE(f->horizontalHeader()->height(), g->horizontalHeader()->height());
        QCOMPARE(f->verticalScrollBar()->value(), g->verticalScrollBar()->value());
        // The row under the overlay's top shows the line number of the grid row beside it.
        const QModelIndex top = f->indexAt(QPoint(2, 2));
        QVERIFY(top.isValid());
        QCOMPARE(top.row(), g->indexAt(QPoint(2, 2)).row());
        QCOMPARE(f->model()->data(top).toString(), QStringLiteral(" ") + QString::number(top.row()));
        QVERIFY(top.row() > 10);
        // Scrolling in the overlay (the wheel over the line numbers) moves the grid too.
        f->verticalScrollBar()->setValue(0);
        QCOMPARE(g->verticalScrollBar()->value(), 0);
        // A wider first column is followed by the overlay.
        g->setColumnWidth(0, 70);
        QCOMPARE(f->width(), 70);
        g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum() / 2);
        QTest::qWait(50);
        QVERIFY(sub->grab().save(QDir(QStringLiteral(KORVANE_SCREENSHOT_DIR)).filePath(QStringLiteral("watch_program_status_scrolled.png"))));
    }

    // After a load the line numbers and texts are the new program's; the operand count
    // waits for the counted rebuild, the values for the first refresh after a pass.
    void counterRulesAfterLoad() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeProgram(QStringLiteral("watch.awl"), QString::fromUtf8(kWatchProgram)));
        w.showProgramStatus();
        frmProgramStatus* p = w.programStatusWindow();
        QTableWidget* g = p->grid;
        w.sim().scan.continuousRun();
        ticks(w, 40);
        w.sim().scan.stop();
        ticks(w, 10);
        const int oldMovr = rowOf(g, QStringLiteral("MOVR   3.14159, VD0"));
        QCOMPARE(cell(g, oldMovr, 3), QStringLiteral("3.1416"));

        // A new program while the counter is 0.
        w.loadProgramFile(example("motor_start_stop.awl"));
        const auto& table = w.sim().program.CodeTable;
        QCOMPARE(g->rowCount(), static_cast<int>(table.size()));
        for (int r = 0; r < g->rowCount(); ++r) {
            QCOMPARE(cell(g, r, 0), QStringLiteral(" ") + QString::number(r));
            QCOMPARE(cell(g, r, 1), QString::fromStdString(std::string(w.sim().program.sourceText(r))));
            // Nothing of the old program stays, not even beside a line that reads the same.
            for (int c = 2; c <= 7; ++c) QVERIFY2(cell(g, r, c).isEmpty(), qPrintable(cell(g, r, 1)));
        }
        const int ld = rowOf(g, QStringLiteral("LD     I0.0"));
        QVERIFY(ld >= 0);

        // Passes on ticks 5, 10, 15 ... after RUN; refreshes on every tenth tick.
        alignTicks(w, 10);
        w.sim().scan.continuousRun();
        ticks(w, 5);  // the first pass, no refresh yet
        QCOMPARE(w.sim().interpreter.scanCounter, 1);
        QCOMPARE(cell(g, ld, 3), QString());
        ticks(w, 5);  // the second pass and a refresh at counter 2: the counted rebuild
        QCOMPARE(w.sim().interpreter.scanCounter, 2);
        QCOMPARE(cell(g, ld, 2), QStringLiteral(" 1"));
        QCOMPARE(cell(g, ld, 3), QStringLiteral("OFF"));
        w.sim().scan.stop();
        ticks(w, 10);

        // RUN six ticks after a refresh: the first pass comes with a refresh (counter 1:
        // values, no operand counts yet), the second between refreshes, so that no refresh
        // sees counter 2; the view still fills the operand counts at its next refresh.
        w.loadProgramFile(writeProgram(QStringLiteral("watch.awl"), QString::fromUtf8(kWatchProgram)));
        const int movr = rowOf(g, QStringLiteral("MOVR   3.14159, VD0"));
        QVERIFY(movr >= 0);
        QCOMPARE(cell(g, movr, 2), QString());
        alignTicks(w, 10);
        ticks(w, 6);
        w.sim().scan.continuousRun();
        ticks(w, 4);
        QCOMPARE(w.sim().interpreter.scanCounter, 1);
        QCOMPARE(cell(g, movr, 3), QStringLiteral("3.1416"));
        QCOMPARE(cell(g, movr, 2), QString());
        ticks(w, 10);
        QCOMPARE(w.sim().interpreter.scanCounter, 3);
        QCOMPARE(cell(g, movr, 2), QStringLiteral(" 2"));
        w.sim().scan.stop();
    }

    // The refresh of a 2,000-line program while it runs, timed around the view's
    // FreshShow as the scan cycle calls it every tenth tick. Reported, not asserted.
    void refreshCostOfALongProgram() {
        QString body = QStringLiteral("ORGANIZATION_BLOCK MAIN:OB1\r\nTITLE=Long\r\nBEGIN\r\n");
        int lines = 2;  // the block header and BEGIN (the title is not a program line)
        for (int n = 1; lines < 2000; ++n) {
            body += QStringLiteral("Network %1\r\n").arg(n);
            if (n % 4 == 0) {  // values that change on every pass
                body += QStringLiteral("LD     SM0.0\r\n+I     1, VW%1\r\nMOVW   VW%1, VW%2\r\n").arg(2 * (n % 50)).arg(2 * (n % 50) + 200);
            } else {
                body += QStringLiteral("LD     I0.%1\r\nA      M%2.1\r\n=      Q0.%1\r\n").arg(n % 8).arg(n % 30);
            }
            lines += 4;
        }
        body += QStringLiteral("END_ORGANIZATION_BLOCK\r\n");
        Harness h;
        FormMain& w = h.w();
        QElapsedTimer load;
        load.start();
        w.loadProgramFile(writeProgram(QStringLiteral("long.awl"), body));
        const qint64 loadMs = load.elapsed();
        QVERIFY(w.sim().program.CodeTable.size() >= 2000);
        // A view of its own over the same simulator, shown, refreshed by this test at the
        // tenth ticks (the main window's view stays closed, so nothing else refreshes it).
        frmProgramStatus view(w.sim());
        view.resize(900, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QElapsedTimer all;
        all.start();
        view.FreshAllShow();
        const qint64 allUs = all.nsecsElapsed() / 1000;
        w.sim().scan.continuousRun();
        std::vector<double> us;
        for (int refresh = 0; refresh < 200; ++refresh) {
            for (int i = 0; i < 10; ++i) w.sim().scan.tick();
            QElapsedTimer timer;
            timer.start();
            view.FreshShow();
            us.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
            QCoreApplication::processEvents();  // paint as the window would
        }
        w.sim().scan.stop();
        QVERIFY(view.grid->item(5, 6) != nullptr);  // the refreshes wrote the grid
        const double first = us.front();
        std::vector<double> steady(us.begin() + 1, us.end());
        std::sort(steady.begin(), steady.end());
        double sum = 0;
        for (double v : steady) sum += v;
        qInfo("program status view, %zu lines: load %lld ms, FreshAllShow %lld us, first FreshShow %.0f us; "
              "steady FreshShow over %zu refreshes: mean %.0f us, median %.0f us, p95 %.0f us, max %.0f us",
              w.sim().program.CodeTable.size(), static_cast<long long>(loadMs), static_cast<long long>(allUs), first,
              steady.size(), sum / static_cast<double>(steady.size()), steady[steady.size() / 2],
              steady[steady.size() * 95 / 100], steady.back());
    }

    // Both windows with a program running, for a person to look at.
    void screenshots() {
        Harness h;
        FormMain& w = h.w();
        w.loadProgramFile(writeProgram(QStringLiteral("watch.awl"), QString::fromUtf8(kWatchProgram)));
        w.showStatusTable();
        frmStatusTable* t = w.statusTableWindow();
        typeInto(t, 0, 1, QStringLiteral("Pi"));
        typeInto(t, 1, 1, QStringLiteral("Start"));
        typeInto(t, 1, 3, QStringLiteral("启动按钮，强制为1"));
        typeInto(t, 1, 6, QStringLiteral("1"));
        t->grid->setCurrentCell(1, 0);
        t->action("btForce")->trigger();
        t->action("btAddLast")->trigger();
        typeInto(t, 5, 2, QStringLiteral("VW6"));
        chooseFormat(t, 5, QStringLiteral("十六进制"));
        t->action("btAddLast")->trigger();
        typeInto(t, 6, 2, QStringLiteral("VW4"));
        t->action("btReadContinue")->trigger();
        h.mem().timers()[50].Current = 120;
        w.showProgramStatus();
        h.clickTool("btRun");
        QTest::qWait(800);
        for (auto [widget, name] : {std::pair<QWidget*, const char*>{t, "watch_status_table"},
                                    std::pair<QWidget*, const char*>{w.programStatusWindow(), "watch_program_status"}}) {
            auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget());
            QVERIFY(sub);
            sub->resize(820, 360);
            w.mdiArea()->setActiveSubWindow(sub);
            QTest::qWait(150);
            QVERIFY(sub->grab().save(QDir(QStringLiteral(KORVANE_SCREENSHOT_DIR)).filePath(QString::fromLatin1(name) + ".png")));
        }
        QVERIFY(h.mem().cell(area::Q) == kOn);  // the forced start input drives the program
        h.clickTool("btStop");
    }
};

QTEST_MAIN(WatchViewsTest)
#include "watch_views_test.moc"
