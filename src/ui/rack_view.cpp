#include "ui/rack_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QAbstractItemView>
#include <QVBoxLayout>

#include "hardware/catalogue.h"
#include "sim/panel_models.h"

namespace korvane {

namespace {
QLabel* small(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPixelSize(11);
    l->setFont(f);
    return l;
}
}  // namespace

RackView::RackView(const HardwareConfig& hw, QWidget* parent) : QWidget(parent), hw_(hw) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);

    // Run controls.
    auto* run = new QGroupBox(QStringLiteral("运行"), this);
    auto* rg = new QGridLayout(run);
    rg->setContentsMargins(4, 2, 4, 2);
    rg->setVerticalSpacing(2);
    cmbScanPeriod = new QComboBox(run);
    cmbScanPeriod->setObjectName("cmbScanPeriod");
    for (int ms = 10; ms <= 3000; ms += 10) cmbScanPeriod->addItem(QString::number(ms), ms);
    cmbTimeBase = new QComboBox(run);
    cmbTimeBase->setObjectName("cmbTimeBase");
    for (int ms = 30; ms <= 1000; ms += 5) cmbTimeBase->addItem(QString::number(ms), ms);
    timeBaseTip_ = cmbTimeBase->toolTip();
    lbScanCount = new QLabel(QStringLiteral("0"), run);
    lbScanCount->setObjectName("lbScanCount");
    lbScanCount->setFrameShape(QFrame::Panel);
    lbScanCount->setFrameShadow(QFrame::Sunken);
    lbScanCount->setMinimumWidth(60);
    btClearCount = new QPushButton(QStringLiteral("C"), run);
    btClearCount->setObjectName("btClearCount");
    btClearCount->setFixedWidth(24);
    rg->addWidget(small(QStringLiteral("周期ms"), run), 0, 0);
    rg->addWidget(cmbScanPeriod, 0, 1, 1, 2);
    rg->addWidget(small(QStringLiteral("时基"), run), 1, 0);
    rg->addWidget(cmbTimeBase, 1, 1, 1, 2);
    rg->addWidget(small(QStringLiteral("扫描计数"), run), 2, 0);
    rg->addWidget(lbScanCount, 2, 1);
    rg->addWidget(btClearCount, 2, 2);
    row->addWidget(run);

    // The CPU frame.
    cpuFrame = new QGroupBox(QStringLiteral("CPU"), this);
    cpuFrame->setObjectName("frameCPU");
    auto* cg = new QGridLayout(cpuFrame);
    cg->setContentsMargins(4, 2, 4, 2);
    cg->setHorizontalSpacing(4);
    cg->setVerticalSpacing(1);
    cmbCPU = new QComboBox(cpuFrame);
    cmbCPU->setObjectName("cmbCPU");
    for (const auto& c : cpuCatalogue()) cmbCPU->addItem(QString::fromStdString(c.name), c.id);
    // The list does not widen the frame (the lamps do); its drop-down shows whole names.
    cmbCPU->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbCPU->setMinimumContentsLength(12);
    cmbCPU->view()->setMinimumWidth(cmbCPU->view()->sizeHintForColumn(0) + 24);
    runSwitch = new RunSwitch(cpuFrame);
    statusLamps = new StatusLamps(cpuFrame);
    cpuInputs = new LampRow(24, cpuFrame);
    cpuOutputs = new LampRow(24, cpuFrame);
    port0 = new PortSymbol(QStringLiteral("Port0"), cpuFrame);
    port1 = new PortSymbol(QStringLiteral("Port1"), cpuFrame);
    for (int n = 0; n < 2; ++n) {
        auto* pot = new QSpinBox(cpuFrame);
        pot->setObjectName(QStringLiteral("potSMB%1").arg(28 + n));
        pot->setRange(0, 255);
        pot->setPrefix(QStringLiteral("SMB%1=").arg(28 + n));
        pot->setToolTip(QStringLiteral("模拟电位器%1").arg(n));
        QFont f = pot->font();
        f.setPixelSize(11);
        pot->setFont(f);
        pot->setFixedHeight(18);
        connect(pot, &QSpinBox::valueChanged, this, [this, n](int v) { emit potentiometerChanged(n, v); });
        (n == 0 ? pot0 : pot1) = pot;
    }
    auto* ports = new QHBoxLayout;
    ports->setSpacing(2);
    ports->addWidget(port0);
    ports->addWidget(port1);
    ports->addWidget(pot0);
    ports->addWidget(pot1);
    ports->addStretch();
    cg->addWidget(cmbCPU, 0, 0, 1, 4);
    cg->addWidget(runSwitch, 1, 0, 2, 1);
    cg->addWidget(statusLamps, 1, 1, 2, 1);
    cg->addWidget(small(QStringLiteral("I"), cpuFrame), 1, 2);
    cg->addWidget(cpuInputs, 1, 3, Qt::AlignLeft);
    cg->addWidget(small(QStringLiteral("Q"), cpuFrame), 2, 2);
    cg->addWidget(cpuOutputs, 2, 3, Qt::AlignLeft);
    cg->addLayout(ports, 3, 0, 1, 4);
    row->addWidget(cpuFrame);

    for (int s = 0; s < HardwareConfig::kSlotCount; ++s) {
        Slot& sl = moduleSlots[static_cast<std::size_t>(s)];
        sl.frame = new QGroupBox(QStringLiteral("M%1").arg(s + 1), this);
        sl.frame->setObjectName(QStringLiteral("frameM%1").arg(s + 1));
        auto* g = new QVBoxLayout(sl.frame);
        g->setContentsMargins(3, 1, 3, 1);
        g->setSpacing(1);
        sl.list = new QComboBox(sl.frame);
        sl.list->setObjectName(QStringLiteral("cmbModule%1").arg(s + 1));
        for (const auto& m : moduleCatalogue()) sl.list->addItem(QString::fromStdString(m.name), m.id);
        sl.list->setMaximumWidth(150);
        sl.name = small(QString(), sl.frame);
        sl.inputs = new LampRow(16, sl.frame);
        sl.outputs = new LampRow(16, sl.frame);
        sl.config = new QPushButton(QStringLiteral("配置"), sl.frame);
        sl.config->setObjectName(QStringLiteral("btConfig%1").arg(s + 1));
        g->addWidget(sl.list);
        g->addWidget(sl.name);
        g->addWidget(sl.inputs);
        g->addWidget(sl.outputs);
        g->addWidget(sl.config, 0, Qt::AlignLeft);
        g->addStretch();
        sl.frame->setFixedWidth(160);
        // Hidden until a module is configured into the slot.
        sl.name->hide();
        sl.inputs->hide();
        sl.outputs->hide();
        sl.config->hide();
        row->addWidget(sl.frame);
        connect(sl.list, &QComboBox::activated, this, [this, s](int index) { emit moduleChosen(s, index); });
        connect(sl.config, &QPushButton::clicked, this, [this, s] { emit configureClicked(s); });
    }
    row->addWidget(new Logo(this));
    row->addStretch();

    connect(cmbCPU, &QComboBox::activated, this, &RackView::cpuChosen);
    connect(runSwitch, &RunSwitch::toggled, this, &RackView::switchClicked);
    connect(btClearCount, &QPushButton::clicked, this, &RackView::clearCountClicked);
    connect(cmbScanPeriod, &QComboBox::activated, this,
            [this](int i) { emit scanPeriodChosen(cmbScanPeriod->itemData(i).toInt()); });
    connect(cmbTimeBase, &QComboBox::activated, this,
            [this](int i) { emit timeBaseChosen(cmbTimeBase->itemData(i).toInt()); });
}

void RackView::drawSlot(int s) {
    Slot& sl = moduleSlots[static_cast<std::size_t>(s)];
    const CatalogueEntry& m = hw_.module(s);
    const bool present = m.id != 0;
    sl.name->setText(QString::fromStdString(m.name));
    sl.name->setVisible(present);
    sl.inputs->setCount(m.digitalInputs);
    sl.outputs->setCount(m.digitalOutputs);
    sl.inputs->setVisible(m.digitalInputs > 0);
    sl.outputs->setVisible(m.digitalOutputs > 0);
    sl.config->setVisible(m.analogInputs > 0 || m.analogOutputs > 0);
    const bool usable = hw_.slotUsable(s);
    sl.frame->setEnabled(usable);
    sl.list->setEnabled(usable);
    const QSignalBlocker block(sl.list);
    sl.list->setCurrentIndex(hw_.moduleIndex(s));
}

void RackView::syncFromConfig() {
    const CatalogueEntry& cpu = hw_.cpu();
    {
        const QSignalBlocker block(cmbCPU);
        cmbCPU->setCurrentIndex(hw_.cpuIndex());
    }
    cpuInputs->setCount(cpu.digitalInputs);
    cpuOutputs->setCount(cpu.digitalOutputs);
    port1->setVisible(cpu.ports >= 2);
    pot1->setVisible(cpu.potentiometers >= 2);
    // The frame is as wide as its contents need (the lamp rows grow with the CPU's inputs
    // and outputs, the port row with its ports), so that every lamp lies inside it.
    cpuFrame->layout()->invalidate();
    cpuFrame->setFixedWidth(std::max(cpuFrame->minimumSizeHint().width(), 200));
    for (int s = 0; s < HardwareConfig::kSlotCount; ++s) drawSlot(s);
}

void RackView::refreshLamps(const PlcMemory& mem) {
    const std::int16_t* c = mem.cells();
    for (int slot = 0; slot < HardwareConfig::kRecordCount; ++slot) {
        const SlotLamps l = slotLamps(hw_, slot);
        LampRow* in = inputRow(slot);
        LampRow* out = outputRow(slot);
        for (int k = 0; k < l.inputs && k < in->capacity(); ++k) {
            const int key = l.inputKey + k;
            in->setLamp(k, key < area::Q && c[key] == kOn);
        }
        for (int k = 0; k < l.outputs && k < out->capacity(); ++k) {
            const int key = area::Q + l.outputOffset + k;
            out->setLamp(k, key < area::M && c[key] == kOn);
        }
    }
}

void RackView::setRunning(bool running) { runSwitch->setRunning(running); }

void RackView::setStatusLamps(bool running, bool forced) {
    const QColor white(255, 255, 255);
    statusLamps->setColors(forced ? QColor(255, 255, 0) : white, running ? QColor(0, 255, 0) : white,
                           running ? white : QColor(255, 0, 0));
}

void RackView::setRealCpu(bool on) {
    cmbTimeBase->setEnabled(!on);
    cmbTimeBase->setToolTip(on ? QString::fromUtf8(kTimeBaseRealCpuTip) : timeBaseTip_);
}

void RackView::setScanCount(std::int32_t n) {
    const QString t = QString::number(n);
    if (lbScanCount->text() != t) lbScanCount->setText(t);
}

}  // namespace korvane
