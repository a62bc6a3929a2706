#include "ui/analog_panels.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

namespace {
void setTextIfChanged(QLineEdit* e, const QString& t) {
    if (e->text() != t) e->setText(t);
}
QLineEdit* valueBox(QWidget* parent, bool readOnly) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(readOnly);
    e->setMinimumWidth(44);
    e->setMaximumWidth(90);
    return e;
}
}  // namespace

// --- AnalogPanel ---------------------------------------------------------------------------

AnalogPanel::AnalogPanel(PlcMemory& mem, const HardwareConfig& hw, std::function<bool()> fromObject, QWidget* parent)
    : QWidget(parent), mem_(mem), hw_(hw), fromObject_(std::move(fromObject)) {
    setWindowTitle(QString::fromUtf8(AnalogPanelModel::caption()));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);

    auto* aiwList = new QGroupBox(QStringLiteral("AIW LIST"), this);
    auto* al = new QVBoxLayout(aiwList);
    cmbAIW = new QComboBox(aiwList);
    cmbAIW->setObjectName("cmbAIW");
    al->addWidget(cmbAIW);
    auto* aqwList = new QGroupBox(QStringLiteral("AQW LIST"), this);
    auto* ql = new QVBoxLayout(aqwList);
    cmbAQW = new QComboBox(aqwList);
    cmbAQW->setObjectName("cmbAQW");
    ql->addWidget(cmbAQW);

    auto* first = new QGroupBox(QStringLiteral("AIW第一通道"), this);
    auto* fl = new QVBoxLayout(first);
    fl->addWidget(new QLabel(QStringLiteral("位于IO模块："), first));
    lbModule = new QLabel(first);
    lbModule->setObjectName("lbModule");
    lbClass = new QLabel(first);
    lbClass->setObjectName("lbClass");
    fl->addWidget(lbModule);
    fl->addWidget(lbClass);
    lbSource = new QLabel(QString::fromUtf8(AnalogPanelModel::sourceLabel(false)), this);
    lbSource->setObjectName("lbSource");

    inputGroup = new QGroupBox(this);
    auto* ig = new QGridLayout(inputGroup);
    outputGroup = new QGroupBox(this);
    auto* og = new QGridLayout(outputGroup);
    for (int k = 0; k < 8; ++k) {
        inputs[static_cast<std::size_t>(k)] = valueBox(inputGroup, false);
        inputs[static_cast<std::size_t>(k)]->setObjectName(QStringLiteral("aiw%1").arg(k));
        ig->addWidget(inputs[static_cast<std::size_t>(k)], k / 4, k % 4);
        outputs[static_cast<std::size_t>(k)] = valueBox(outputGroup, true);
        outputs[static_cast<std::size_t>(k)]->setObjectName(QStringLiteral("aqw%1").arg(k));
        og->addWidget(outputs[static_cast<std::size_t>(k)], k / 4, k % 4);
    }
    grid->addWidget(aiwList, 0, 0);
    grid->addWidget(inputGroup, 0, 1);
    grid->addWidget(aqwList, 1, 0);
    grid->addWidget(outputGroup, 1, 1);
    grid->addWidget(first, 2, 0);
    grid->addWidget(lbSource, 2, 1, Qt::AlignLeft | Qt::AlignTop);

    InitData();
    connect(cmbAIW, &QComboBox::activated, this, &AnalogPanel::chooseAiw);
    connect(cmbAQW, &QComboBox::activated, this, &AnalogPanel::chooseAqw);
}

void AnalogPanel::InitData() {
    cmbAIW->clear();
    cmbAQW->clear();
    for (const auto& s : model_.aiwList()) cmbAIW->addItem(QString::fromStdString(s));
    for (const auto& s : model_.aqwList()) cmbAQW->addItem(QString::fromStdString(s));
    cmbAIW->setCurrentIndex(0);
    cmbAQW->setCurrentIndex(0);
    chooseAiw(0);
    chooseAqw(0);
}

void AnalogPanel::chooseAiw(int n) {
    model_.chooseAiw(n, hw_);
    if (cmbAIW->currentIndex() != n) cmbAIW->setCurrentIndex(n);
    inputGroup->setTitle(QString::fromStdString(model_.inputCaption()));
    lbModule->setText(QString::fromStdString(model_.moduleLabel()));
    lbClass->setText(QString::fromStdString(model_.classLabel()));
}

void AnalogPanel::chooseAqw(int m) {
    model_.chooseAqw(m);
    if (cmbAQW->currentIndex() != m) cmbAQW->setCurrentIndex(m);
    outputGroup->setTitle(QString::fromStdString(model_.outputCaption()));
}

void AnalogPanel::fillInputs() {
    for (int k = 0; k < 8; ++k)
        setTextIfChanged(inputs[static_cast<std::size_t>(k)], QString::fromStdString(model_.inputText(mem_, k)));
    model_.markInputsShown();
}

void AnalogPanel::FreshShow() {
    const bool fromObject = fromObject_ && fromObject_();
    const QString src = QString::fromUtf8(AnalogPanelModel::sourceLabel(fromObject));
    if (lbSource->text() != src) lbSource->setText(src);
    if (editable_ == fromObject) {
        editable_ = !fromObject;
        for (QLineEdit* e : inputs) e->setReadOnly(fromObject);
    }
    if (model_.inputsDue(fromObject)) fillInputs();
    for (int k = 0; k < 8; ++k)
        setTextIfChanged(outputs[static_cast<std::size_t>(k)], QString::fromStdString(model_.outputText(mem_, k)));
}

void AnalogPanel::renderNow() { fillInputs(); }

void AnalogPanel::FreshInData() {
    // With an object driving the inputs the object link writes the AIW words itself.
    if (fromObject_ && fromObject_()) return;
    for (std::size_t k = 0; k < 8; ++k) texts_[k] = inputs[k]->text().toStdString();
    model_.writeBack(mem_, texts_);
}

// --- TimerCounterPanel ---------------------------------------------------------------------

TimerCounterPanel::TimerCounterPanel(PlcMemory& mem, const Log& log, QWidget* parent)
    : QWidget(parent), mem_(mem), log_(log) {
    setWindowTitle(QString::fromUtf8(TimerCounterPanelModel::caption()));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(2);
    cmbS = new QComboBox(this);
    cmbS->setObjectName("cmbS");
    for (int n = 0; n < TimerCounterPanelModel::kSPositions; ++n) cmbS->addItem(QStringLiteral("S%1").arg(n));
    cmbT = new QComboBox(this);
    cmbT->setObjectName("cmbT");
    cmbC = new QComboBox(this);
    cmbC->setObjectName("cmbC");
    for (int n = 0; n < TimerCounterPanelModel::kTCPositions; ++n) {
        cmbT->addItem(QStringLiteral("T%1").arg(n));
        cmbC->addItem(QStringLiteral("C%1").arg(n));
    }
    auto listRow = [this](const QString& label, QComboBox* list) {
        auto* h = new QHBoxLayout;
        h->addWidget(new QLabel(label, this));
        h->addWidget(list);
        h->addStretch();
        return h;
    };
    outer->addLayout(listRow(QStringLiteral("S区选择"), cmbS));
    for (int g = 0; g < 3; ++g) {
        auto* box = new QGroupBox(this);
        auto* h = new QHBoxLayout(box);
        h->setContentsMargins(4, 0, 4, 0);
        h->setSpacing(2);
        for (int col = 0; col < 8; ++col) {
            const int i = 8 * g + (7 - col);
            auto* cb = new QCheckBox(QString::number(i % 8), box);
            cb->setObjectName(QStringLiteral("s%1").arg(i));
            cb->setAttribute(Qt::WA_TransparentForMouseEvents);  // display only
            cb->setFocusPolicy(Qt::NoFocus);
            sBoxes[static_cast<std::size_t>(i)] = cb;
            h->addWidget(cb);
        }
        sGroups[static_cast<std::size_t>(g)] = box;
        outer->addWidget(box);
    }

    auto makeGroup = [this](std::array<QLineEdit*, 4>& pre, std::array<QLineEdit*, 4>& pv, const QString& prefix) {
        auto* box = new QGroupBox(this);
        auto* g = new QGridLayout(box);
        g->setContentsMargins(4, 2, 4, 2);
        g->setSpacing(2);
        g->addWidget(new QLabel(QStringLiteral("Pre"), box), 0, 0);
        g->addWidget(new QLabel(QStringLiteral("PV"), box), 1, 0);
        for (int j = 0; j < 4; ++j) {
            pre[static_cast<std::size_t>(j)] = valueBox(box, true);
            pre[static_cast<std::size_t>(j)]->setObjectName(QStringLiteral("%1Pre%2").arg(prefix).arg(j));
            pv[static_cast<std::size_t>(j)] = valueBox(box, true);
            pv[static_cast<std::size_t>(j)]->setObjectName(QStringLiteral("%1PV%2").arg(prefix).arg(j));
            g->addWidget(pre[static_cast<std::size_t>(j)], 0, j + 1);
            g->addWidget(pv[static_cast<std::size_t>(j)], 1, j + 1);
        }
        return box;
    };
    timerGroup = makeGroup(timerPre, timerPv, QStringLiteral("t"));
    // The resolution row, hidden (and taking no room) outside the real-CPU mode.
    auto* tg = static_cast<QGridLayout*>(timerGroup->layout());
    timerResolutionCaption = new QLabel(QStringLiteral("分辨率"), timerGroup);
    timerResolutionCaption->setObjectName("tResCaption");
    timerResolutionCaption->hide();
    tg->addWidget(timerResolutionCaption, 2, 0);
    for (int j = 0; j < 4; ++j) {
        auto* l = new QLabel(timerGroup);
        l->setObjectName(QStringLiteral("tRes%1").arg(j));
        l->setAlignment(Qt::AlignCenter);
        l->hide();
        timerResolution[static_cast<std::size_t>(j)] = l;
        tg->addWidget(l, 2, j + 1);
    }
    counterGroup = makeGroup(counterPre, counterPv, QStringLiteral("c"));
    outer->addLayout(listRow(QStringLiteral("定时器选择"), cmbT));
    outer->addWidget(timerGroup);
    outer->addLayout(listRow(QStringLiteral("计数器选择"), cmbC));
    outer->addWidget(counterGroup);
    outer->addStretch();

    chooseS(0);
    chooseTimer(37);
    chooseCounter(0);
    connect(cmbS, &QComboBox::activated, this, &TimerCounterPanel::chooseS);
    connect(cmbT, &QComboBox::activated, this, &TimerCounterPanel::chooseTimer);
    connect(cmbC, &QComboBox::activated, this, &TimerCounterPanel::chooseCounter);
}

void TimerCounterPanel::chooseS(int n) {
    if (n < 0 || n >= TimerCounterPanelModel::kSPositions) {
        log_.stamped(" 显示数据偏移错误");
        return;
    }
    model_.chooseS(n);
    if (cmbS->currentIndex() != n) cmbS->setCurrentIndex(n);
    for (int g = 0; g < 3; ++g) sGroups[static_cast<std::size_t>(g)]->setTitle(QString::fromStdString(model_.sCaption(g)));
}

void TimerCounterPanel::chooseTimer(int t) {
    if (t < 0 || t >= TimerCounterPanelModel::kTCPositions) return;
    model_.chooseTimer(t);
    if (cmbT->currentIndex() != t) cmbT->setCurrentIndex(t);
    timerGroup->setTitle(QString::fromStdString(model_.timerCaption()));
    showResolutions();
}

void TimerCounterPanel::setRealCpu(bool on) {
    realCpu_ = on;
    timerResolutionCaption->setVisible(on);
    for (QLabel* l : timerResolution) l->setVisible(on);
    showResolutions();
}

void TimerCounterPanel::showResolutions() {
    if (!timerResolution[0]) return;  // not built yet
    for (int j = 0; j < 4; ++j) {
        const QString text = realCpu_ ? QString::fromStdString(model_.timerResolution(j)) : QString();
        timerResolution[static_cast<std::size_t>(j)]->setText(text);
    }
}

void TimerCounterPanel::chooseCounter(int c) {
    if (c < 0 || c >= TimerCounterPanelModel::kTCPositions) return;
    model_.chooseCounter(c);
    if (cmbC->currentIndex() != c) cmbC->setCurrentIndex(c);
    counterGroup->setTitle(QString::fromStdString(model_.counterCaption()));
}

void TimerCounterPanel::FreshShow() {
    for (int i = 0; i < 24; ++i) {
        const bool on = model_.sBit(mem_, i);
        if (sBoxes[static_cast<std::size_t>(i)]->isChecked() != on) sBoxes[static_cast<std::size_t>(i)]->setChecked(on);
    }
    for (int j = 0; j < 4; ++j) {
        const auto u = static_cast<std::size_t>(j);
        setTextIfChanged(timerPre[u], QString::fromStdString(model_.timerPreset(mem_, j)));
        setTextIfChanged(timerPv[u], QString::fromStdString(model_.timerCurrent(mem_, j)));
        setTextIfChanged(counterPre[u], QString::fromStdString(model_.counterPreset(mem_, j)));
        setTextIfChanged(counterPv[u], QString::fromStdString(model_.counterCurrent(mem_, j)));
    }
}

// --- FormAConfig ---------------------------------------------------------------------------

FormAConfig::FormAConfig(HardwareConfig& hw, int moduleIndex, QWidget* parent)
    : QDialog(parent), hw_(hw), form_(AnalogSettingsForm::open(moduleIndex, hw.module(moduleIndex))) {
    setWindowTitle(QString::fromStdString(form_.caption));
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("输入类型"), this), 0, 0);
    cmbInput = new QComboBox(this);
    cmbInput->setObjectName("cmbInput");
    for (const auto& e : form_.inputList) cmbInput->addItem(QString::fromStdString(e.text), e.code);
    cmbInput->setCurrentIndex(form_.inputSelected);
    lists->addWidget(cmbInput, 0, 1);
    lists->addWidget(new QLabel(QStringLiteral("输出类型"), this), 1, 0);
    cmbOutput = new QComboBox(this);
    cmbOutput->setObjectName("cmbOutput");
    for (const auto& e : form_.outputList) cmbOutput->addItem(QString::fromStdString(e.text), e.code);
    cmbOutput->setCurrentIndex(form_.outputSelected);
    lists->addWidget(cmbOutput, 1, 1);
    v->addLayout(lists);
    if (form_.group != SwitchGroup::None) {
        switchGroup = new QGroupBox(QString::fromStdString(form_.groupTitle), this);
        auto* g = new QVBoxLayout(switchGroup);
        for (const auto& sw : form_.switches) {
            auto* cb = new QCheckBox(QString::fromStdString(sw.caption), switchGroup);
            cb->setChecked(sw.checked);
            switches.push_back(cb);
            g->addWidget(cb);
        }
        v->addWidget(switchGroup);
    }
    btClose = new QPushButton(QStringLiteral("关闭"), this);
    btClose->setObjectName("btClose");
    v->addWidget(btClose, 0, Qt::AlignRight);
    connect(btClose, &QPushButton::clicked, this, &FormAConfig::closeAndStore);
}

void FormAConfig::closeAndStore() {
    form_.inputSelected = std::max(cmbInput->currentIndex(), 0);
    form_.outputSelected = std::max(cmbOutput->currentIndex(), 0);
    for (std::size_t i = 0; i < switches.size() && i < form_.switches.size(); ++i)
        form_.switches[i].checked = switches[i]->isChecked();
    form_.close(hw_.moduleRecord(form_.moduleIndex));
    accept();
}

}  // namespace korvane
