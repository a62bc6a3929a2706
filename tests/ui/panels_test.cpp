// The panels bound to their models: captions and renders for the written edge cases, the
// input panel's write-back and object mode, the analog panel's typed inputs, the
// timer/counter panel and FormAConfig.
#include <QtTest>

#include "hardware/catalogue.h"
#include "ui_support.h"

using namespace korvane;
using namespace korvane::test;

namespace {
void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}
}  // namespace

class PanelsTest : public QObject {
    Q_OBJECT
private slots:
    void inputBitViewAtIB2() {
        Harness h;
        FrmDI* in = h.w().inputPanel();
        choose(in->cmbAddress, 2);
        QCOMPARE(in->shownGroup(0)->title(), QStringLiteral("I2.7-I2.0"));
        QCOMPARE(in->shownGroup(5)->title(), QStringLiteral("I7.7-I7.0"));
        // Box 0 is the rightmost of group 0 and stands for I2.0.
        BitBox* b0 = in->bitBoxes[0];
        for (int d = 1; d < 8; ++d) QVERIFY(in->bitBoxes[static_cast<std::size_t>(d)]->x() < b0->x());
        QTest::mouseClick(b0, Qt::LeftButton, {}, indicatorPoint(b0));
        QCOMPARE(h.mem().cell(16), kOn);
        in->FreshShow();
        in->FreshInData();
        QCOMPARE(h.mem().cell(16), kOn);
        QCOMPARE(h.mem().cell(0), kOff);
    }

    void inputWordViewRoundTrip() {
        Harness h;
        FrmDI* in = h.w().inputPanel();
        choose(in->cmbDataType, datatype::Word);
        h.mem().tobit(0x1234, 0, 16);
        in->FreshShow();  // the selection changed: it renders
        QCOMPARE(in->shownValueBoxes()[0]->text(), QStringLiteral("12,34"));
        QCOMPARE(in->shownGroup(0)->title(), QStringLiteral("IW0-IW6"));
        h.mem().tobit(0, 0, 16);
        in->FreshInData();
        QCOMPARE(h.mem().GetWordValue(0), 0x1234);
        // Typed text takes effect at the next write-back; the refresh leaves it alone.
        in->shownValueBoxes()[1]->setText(QStringLiteral("ab,cd"));
        in->FreshShow();
        QCOMPARE(in->shownValueBoxes()[1]->text(), QStringLiteral("ab,cd"));
        in->FreshInData();
        QCOMPARE(h.mem().GetWordValue(16), 0xABCD);
        // A format change is not read back before the boxes were rendered in it.
        choose(in->cmbFormat, 1);
        in->shownValueBoxes()[0]->setText(QStringLiteral("99"));
        in->FreshInData();
        QCOMPARE(h.mem().GetWordValue(0), 0x1234);
        in->FreshShow();
        QCOMPARE(in->shownValueBoxes()[0]->text(), QStringLiteral("  4,660"));
    }

    void inputObjectMode() {
        Harness h;
        FormMain& w = h.w();
        FrmDI* in = w.inputPanel();
        w.objectInputs()[0] = {5, 1.0};
        w.setInputsFromObject(true);
        in->FreshShow();
        QCOMPARE(in->lbSource->text(), QStringLiteral("输入仿真控制"));
        BitBox* b = in->bitBoxes[2];
        QTest::mouseClick(b, Qt::LeftButton, {}, indicatorPoint(b));
        QVERIFY(!b->isChecked());
        QCOMPARE(h.mem().cell(2), kOff);
        in->FreshInData();
        QCOMPARE(h.mem().cell(5), kOn);
        in->FreshShow();
        QVERIFY(in->bitBoxes[5]->isChecked());
        w.setInputsFromObject(false);
        in->FreshShow();
        QCOMPARE(in->lbSource->text(), QStringLiteral("输入手动更改"));
        QTest::mouseClick(b, Qt::LeftButton, {}, indicatorPoint(b));
        QCOMPARE(h.mem().cell(2), kOn);
    }

    // The switches are the input terminals of the immediate reads: a shown bit box answers
    // for its input whatever the image holds; inputs the panel does not show, the value
    // views and object mode leave the answer to the engine.
    void inputSwitchesAreTheTerminals() {
        Harness h;
        FormMain& w = h.w();
        FrmDI* in = w.inputPanel();
        choose(in->cmbAddress, 2);
        in->FreshShow();
        BitBox* b0 = in->bitBoxes[0];  // I2.0
        QTest::mouseClick(b0, Qt::LeftButton, {}, indicatorPoint(b0));
        h.mem().setBit(area::I + 16, false);
        QVERIFY(w.inputTerminal(area::I + 16) == std::optional<bool>(true));
        QVERIFY(w.inputTerminal(area::I + 8 * 7 + 7) == std::optional<bool>(false));  // the last box, I7.7
        QVERIFY(!w.inputTerminal(area::I + 15));  // I1.7 is not shown
        QVERIFY(!w.inputTerminal(area::I + 8 * 8));
        w.setInputsFromObject(true);
        QVERIFY(!w.inputTerminal(area::I + 16));
        w.setInputsFromObject(false);
        choose(in->cmbDataType, datatype::Byte);
        in->FreshShow();
        QVERIFY(!w.inputTerminal(area::I + 16));

        // In a running program: the pass resets the image, LDI still sees the switch.
        choose(in->cmbDataType, datatype::Bit);
        choose(in->cmbAddress, 0);
        in->FreshShow();
        w.loadProgramFile(writeTestFile(QStringLiteral("terminals/ldi.awl"),
                                        QByteArray("ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\n"
                                                   "R      I0.0, 1\r\nLDI    I0.0\r\n=      Q0.0\r\n"
                                                   "END_ORGANIZATION_BLOCK\r\n")));
        QVERIFY(w.sim().findings().empty());
        h.clickTool("btRun");
        BitBox* i00 = in->bitBoxes[0];
        QTest::mouseClick(i00, Qt::LeftButton, {}, indicatorPoint(i00));
        QTRY_VERIFY_WITH_TIMEOUT(h.mem().cell(area::Q) == kOn, 3000);
        QTest::mouseClick(i00, Qt::LeftButton, {}, indicatorPoint(i00));
        QTRY_VERIFY_WITH_TIMEOUT(h.mem().cell(area::Q) == kOff, 3000);
        h.clickTool("btStop");
    }

    void outputMAndVPanels() {
        Harness h;
        FormMain& w = h.w();
        BitBytePanel* q = w.outputPanel();
        choose(q->cmbDataType, datatype::Int);
        choose(q->cmbFormat, 1);
        h.mem().tobit(0xFFFB, area::Q, 16);
        q->FreshShow();
        QCOMPARE(q->shownValueBoxes()[0]->text(), QStringLiteral("-  5"));
        QVERIFY(q->shownValueBoxes()[0]->isReadOnly());

        BitBytePanel* m = w.mPanel();
        choose(m->cmbDataType, datatype::Word);
        choose(m->cmbAddress, 4);
        QCOMPARE(m->shownGroup(0)->title(), QStringLiteral("MW4-MW10"));
        h.mem().tobit(0x0006, area::M + 8 * 6, 16);
        m->FreshShow();
        QCOMPARE(m->shownValueBoxes()[1]->text(), QStringLiteral("00,06"));
        choose(m->cmbDataType, datatype::Float);
        h.mem().SetRealValue(area::M, 1.5);
        h.mem().SetRealValue(area::M + 32, 100.0);
        m->FreshShow();
        QCOMPARE(m->shownValueBoxes()[0]->text(), QStringLiteral(" 1.5"));
        QCOMPARE(m->shownValueBoxes()[1]->text(), QStringLiteral(" 100.0"));

        BitBytePanel* v = w.vPanel();
        QCOMPARE(v->cmbPage->count(), 103);
        choose(v->cmbPage, 1);
        QCOMPARE(v->cmbAddress->count(), 95);
        choose(v->cmbAddress, 5);
        QCOMPARE(v->model().startByte(), 105);
        QCOMPARE(v->shownGroup(0)->title(), QStringLiteral("V105.7-V105.0"));
        h.mem().setCell(area::V + 8 * 105 + 3, kOn);
        v->FreshShow();
        QVERIFY(v->bitBoxes[3]->isChecked());
        // Another CPU with less V memory shortens the page list.
        emit w.rack()->cmbCPU->activated(0);
        QCOMPARE(v->cmbPage->count(), 21);
    }

    void analogPanelTypedInputs() {
        Harness h;
        FormMain& w = h.w();
        w.hardware().chooseModuleType(0, 70);
        w.hardware().moduleRecord(0).inputRange = 6;
        AnalogPanel* a = w.analogPanel();
        QCOMPARE(a->inputGroup->title(), QStringLiteral("AIW0 -AIW14"));
        choose(a->cmbAIW, 1);
        QCOMPARE(a->lbModule->text(), QStringLiteral("AIO模块： 1"));
        QCOMPARE(a->lbClass->text(), QStringLiteral("双极性电压"));
        choose(a->cmbAIW, 2);
        QCOMPARE(a->inputGroup->title(), QStringLiteral("AIW4 -AIW18"));
        a->FreshInData();  // the boxes do not show AIW4 yet: nothing written
        a->FreshShow();
        a->inputs[2]->setText(QStringLiteral("1234"));
        a->inputs[3]->setText(QStringLiteral("-100"));
        a->FreshInData();
        QCOMPARE(h.mem().GetWordValue(area::AIW + 16 * 4), 1234);
        QCOMPARE(h.mem().GetWordValue(area::AIW + 16 * 5), 65436);
        choose(a->cmbAIW, 0);
        a->FreshShow();
        choose(a->cmbAIW, 2);
        a->FreshShow();
        QCOMPARE(a->inputs[3]->text(), QStringLiteral("-100"));
        h.mem().tobit(40000, area::AQW, 16);
        a->FreshShow();
        QCOMPARE(a->outputs[0]->text(), QStringLiteral("-25536"));
        QVERIFY(a->outputs[0]->isReadOnly());
        w.setInputsFromObject(true);
        a->FreshShow();
        QCOMPARE(a->lbSource->text(), QStringLiteral("输入来自仿真对象"));
        QVERIFY(a->inputs[0]->isReadOnly());
    }

    void timerCounterPanel() {
        Harness h;
        TimerCounterPanel* t = h.w().timerCounterPanel();
        QCOMPARE(t->cmbT->currentText(), QStringLiteral("T37"));
        QCOMPARE(t->timerGroup->title(), QStringLiteral("T37-T40"));
        choose(t->cmbS, 1);
        QCOMPARE(t->sGroups[0]->title(), QStringLiteral("S1.7-S1.0"));
        h.mem().setCell(area::S + 8, kOn);
        h.mem().timers()[37].Preset = 100;
        h.mem().timers()[37].Current = 37;
        choose(t->cmbC, 10);
        h.mem().counters()[10].Current = 4;
        t->FreshShow();
        QVERIFY(t->sBoxes[0]->isChecked());
        QCOMPARE(t->timerPre[0]->text(), QStringLiteral(" 100"));
        QCOMPARE(t->timerPv[0]->text(), QStringLiteral(" 37"));
        QCOMPARE(t->counterGroup->title(), QStringLiteral("C10-C13"));
        QCOMPARE(t->counterPv[0]->text(), QStringLiteral(" 4"));
    }

    void analogSettingsDialog() {
        Harness h;
        HardwareConfig& hw = h.w().hardware();
        hw.chooseModuleType(0, 70);
        {
            FormAConfig dlg(hw, 0);
            QCOMPARE(dlg.windowTitle(), QStringLiteral("EM235 4AI/1AO设置"));
            QCOMPARE(dlg.cmbInput->currentText(), QStringLiteral("0V~10V单极性"));
            QCOMPARE(dlg.cmbOutput->currentText(), QStringLiteral("0mA~20mA电流"));
            QVERIFY(!dlg.switchGroup);
            dlg.cmbInput->setCurrentIndex(6);
            dlg.btClose->click();
        }
        QCOMPARE(hw.module(0).inputRange, 6);
        QVERIFY(h.w().rack()->moduleSlots[0].config->isVisibleTo(h.w().rack()));
    }
};

QTEST_MAIN(PanelsTest)
#include "panels_test.moc"
