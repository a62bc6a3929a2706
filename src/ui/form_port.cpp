#include "ui/form_port.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/info_dialogs.h"

namespace korvane {

namespace {

QComboBox* numberList(QWidget* parent, const char* name, int first, int last, int step) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    for (int v = first; v <= last; v += step) c->addItem(QString::number(v));
    return c;
}

QLineEdit* display(QWidget* parent, const char* name) {
    auto* t = new QLineEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setReadOnly(true);
    t->setFocusPolicy(Qt::NoFocus);
    return t;
}

void showText(QComboBox* list, const QString& text) {
    const QSignalBlocker block(list);
    list->setCurrentIndex(list->findText(text));
}

void showText(QLineEdit* box, const QString& text) {
    if (box->text() != text) box->setText(text);
}

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

FrmPort::FrmPort(CommPorts& comm, std::function<int()> cpuPorts, QWidget* parent)
    : QDialog(parent), comm_(comm), config_(comm.config), cpuPorts_(std::move(cpuPorts)) {
    setObjectName(QStringLiteral("FrmPort"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setModal(false);
    auto* top = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    top->addLayout(groups);

    // --- master port ---------------------------------------------------------------------
    grpMaster = new QGroupBox(QString::fromUtf8(kMasterGroup), this);
    grpMaster->setObjectName(QStringLiteral("grpMaster"));
    auto* m = new QVBoxLayout(grpMaster);
    ckMasterComm = new QCheckBox(QStringLiteral("通信"), grpMaster);
    ckMasterComm->setObjectName(QStringLiteral("ckMasterComm"));
    m->addWidget(ckMasterComm);
    auto* mOptions = new QGridLayout;
    const char* masterCaptions[] = {"PPI协议", "MODBUS-RTU", "自由协议", "USS协议"};
    const char* masterNames[] = {"optMasterPPI", "optMasterModbus", "optMasterFree", "optMasterUSS"};
    for (int i = 0; i < 4; ++i) {
        optMaster[static_cast<std::size_t>(i)] = new QRadioButton(QString::fromUtf8(masterCaptions[i]), grpMaster);
        optMaster[static_cast<std::size_t>(i)]->setObjectName(QString::fromLatin1(masterNames[i]));
        mOptions->addWidget(optMaster[static_cast<std::size_t>(i)], i / 2, i % 2);
    }
    m->addLayout(mOptions);
    cmbMasterAddress = numberList(grpMaster, "cmbMasterAddress", PortConfig::kMinAddress, PortConfig::kMaxAddress, 1);
    cmbMasterCom = numberList(grpMaster, "cmbMasterCom", SerialChannel::kMinPort, SerialChannel::kMaxPort, 1);
    cmbMasterSpeed = new QComboBox(grpMaster);
    cmbMasterSpeed->setObjectName(QStringLiteral("cmbMasterSpeed"));
    for (const char* s : kSpeeds) cmbMasterSpeed->addItem(QString::fromLatin1(s));
    cmbPPITimeout = numberList(grpMaster, "cmbPPITimeout", PortConfig::kMinWindowMs, PortConfig::kMaxWindowMs, 10);
    cmbUSSTimeout = numberList(grpMaster, "cmbUSSTimeout", PortConfig::kMinWindowMs, PortConfig::kMaxWindowMs, 10);
    txtPPISettings = display(grpMaster, "txtPPISettings");
    txtModbusSpeed = display(grpMaster, "txtModbusSpeed");
    txtModbusTimeout = display(grpMaster, "txtModbusTimeout");
    txtModbusSettings = display(grpMaster, "txtModbusSettings");
    txtFreeSpeed = display(grpMaster, "txtFreeSpeed");
    txtFreeGap = display(grpMaster, "txtFreeGap");
    txtFreeSettings = display(grpMaster, "txtFreeSettings");
    txtUSSSpeed = display(grpMaster, "txtUSSSpeed");
    txtUSSSettings = display(grpMaster, "txtUSSSettings");
    const std::pair<const char*, QWidget*> masterFields[] = {
        {"站地址", cmbMasterAddress},     {"串口号", cmbMasterCom},         {"PPI速率", cmbMasterSpeed},
        {"PPI通信参数", txtPPISettings},  {"PPI超时", cmbPPITimeout},       {"MOD速率", txtModbusSpeed},
        {"MOD通信参数", txtModbusSettings}, {"MOD超时", txtModbusTimeout},  {"自由口速率", txtFreeSpeed},
        {"帧间隔", txtFreeGap},           {"自由口通信参数", txtFreeSettings}, {"USS速率", txtUSSSpeed},
        {"USS通信参数", txtUSSSettings},  {"USS超时", cmbUSSTimeout}};
    for (auto [caption, control] : masterFields) m->addWidget(field(grpMaster, QString::fromUtf8(caption), control));
    m->addStretch(1);
    groups->addWidget(grpMaster);

    // --- slave port ----------------------------------------------------------------------
    grpSlave = new QGroupBox(QString::fromUtf8(kSlaveGroup), this);
    grpSlave->setObjectName(QStringLiteral("grpSlave"));
    auto* sl = new QVBoxLayout(grpSlave);
    ckSlaveComm = new QCheckBox(QStringLiteral("通信"), grpSlave);
    ckSlaveComm->setObjectName(QStringLiteral("ckSlaveComm"));
    sl->addWidget(ckSlaveComm);
    auto* sOptions = new QHBoxLayout;
    optSlave[0] = new QRadioButton(QStringLiteral("PPI协议"), grpSlave);
    optSlave[0]->setObjectName(QStringLiteral("optSlavePPI"));
    optSlave[1] = new QRadioButton(QStringLiteral("MODBUS-RTU"), grpSlave);
    optSlave[1]->setObjectName(QStringLiteral("optSlaveModbus"));
    sOptions->addWidget(optSlave[0]);
    sOptions->addWidget(optSlave[1]);
    sl->addLayout(sOptions);
    cmbSlaveAddress = numberList(grpSlave, "cmbSlaveAddress", PortConfig::kMinAddress, PortConfig::kMaxAddress, 1);
    cmbSlaveCom = numberList(grpSlave, "cmbSlaveCom", SerialChannel::kMinPort, SerialChannel::kMaxPort, 1);
    cmbSlaveSpeed = new QComboBox(grpSlave);
    cmbSlaveSpeed->setObjectName(QStringLiteral("cmbSlaveSpeed"));
    for (const char* s : kSpeeds) cmbSlaveSpeed->addItem(QString::fromLatin1(s));
    cmbReplyWindow = numberList(grpSlave, "cmbReplyWindow", PortConfig::kMinWindowMs, PortConfig::kMaxWindowMs, 10);
    txtSlaveSettings = display(grpSlave, "txtSlaveSettings");
    const std::pair<const char*, QWidget*> slaveFields[] = {{"站地址", cmbSlaveAddress},
                                                            {"串口号", cmbSlaveCom},
                                                            {"速率", cmbSlaveSpeed},
                                                            {"通信参数", txtSlaveSettings},
                                                            {"PPI延时", cmbReplyWindow}};
    for (auto [caption, control] : slaveFields) sl->addWidget(field(grpSlave, QString::fromUtf8(caption), control));
    lbSlaveNote = new QLabel(QString::fromUtf8(kSlaveNote), grpSlave);
    lbSlaveNote->setObjectName(QStringLiteral("lbSlaveNote"));
    lbSlaveNote->setWordWrap(true);
    sl->addWidget(lbSlaveNote);
    sl->addStretch(1);
    groups->addWidget(grpSlave);

    lbComNote = new QLabel(QString::fromUtf8(kComNote), this);
    lbComNote->setObjectName(QStringLiteral("lbComNote"));
    lbComNote->setWordWrap(true);
    top->addWidget(lbComNote);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btOK = new QPushButton(QStringLiteral("确定"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    buttons->addWidget(btOK);
    top->addLayout(buttons);
    connect(btOK, &QPushButton::clicked, this, &QWidget::hide);

    // --- the handlers: one PortConfig call each, then every control shows the state -------
    bindList(cmbMasterAddress, [this](const QString& t) { return config_.selectMasterAddress(t.toInt()); });
    bindList(cmbMasterCom, [this](const QString& t) { return config_.selectMasterCom(t.toInt()); });
    bindList(cmbMasterSpeed, [this](const QString& t) { return config_.selectMasterSpeed(t.toStdString()); });
    bindList(cmbPPITimeout, [this](const QString& t) { return config_.selectPpiTimeout(t.toInt()); });
    bindList(cmbUSSTimeout, [this](const QString& t) { return config_.selectUssTimeout(t.toInt()); });
    bindList(cmbSlaveAddress, [this](const QString& t) { return config_.selectSlaveAddress(t.toInt()); });
    bindList(cmbSlaveCom, [this](const QString& t) { return config_.selectSlaveCom(t.toInt()); });
    bindList(cmbSlaveSpeed, [this](const QString& t) { return config_.selectSlaveSpeed(t.toStdString()); });
    bindList(cmbReplyWindow, [this](const QString& t) { return config_.selectReplyWindow(t.toInt()); });
    for (std::size_t i = 0; i < optMaster.size(); ++i)
        connect(optMaster[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (refreshing_ || !on) return;
            config_.selectMasterProtocol(static_cast<MasterProtocol>(i));
            refresh();
        });
    for (std::size_t i = 0; i < optSlave.size(); ++i)
        connect(optSlave[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (refreshing_ || !on) return;
            config_.selectSlaveProtocol(static_cast<SlaveProtocol>(i));
            refresh();
        });
    connect(ckMasterComm, &QCheckBox::toggled, this, [this](bool on) {
        if (refreshing_) return;
        config_.setMasterCommunication(on);
        refresh();
    });
    connect(ckSlaveComm, &QCheckBox::toggled, this, [this](bool on) {
        if (refreshing_) return;
        config_.setSlaveCommunication(on);
        refresh();
    });

    // The running program fills the master protocols' displays.
    auto* tick = new QTimer(this);
    tick->setInterval(500);
    connect(tick, &QTimer::timeout, this, [this] {
        if (isVisible()) refresh();
    });
    tick->start();
    refresh();
}

QWidget* FrmPort::field(QWidget* parent, const QString& caption, QWidget* control) {
    auto* w = new QWidget(parent);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(caption, w);
    label->setMinimumWidth(96);
    control->setParent(w);
    control->setMinimumWidth(110);
    h->addWidget(label);
    h->addWidget(control, 1);
    return w;
}

QWidget* FrmPort::fieldOf(QWidget* control) const { return control ? control->parentWidget() : nullptr; }

void FrmPort::bindList(QComboBox* list, std::function<bool(const QString&)> handler) {
    connect(list, &QComboBox::currentTextChanged, this, [this, handler = std::move(handler)](const QString& text) {
        if (refreshing_ || text.isEmpty()) return;
        handler(text);
        refresh();
    });
}

void FrmPort::refresh() {
    refreshing_ = true;
    const MasterPortConfig& mc = config_.master();
    const SlavePortConfig& sc = config_.slave();

    {
        const QSignalBlocker b(ckMasterComm);
        ckMasterComm->setChecked(mc.communication);
    }
    for (std::size_t i = 0; i < optMaster.size(); ++i) {
        const QSignalBlocker b(optMaster[i]);
        optMaster[i]->setChecked(static_cast<std::size_t>(mc.protocol) == i);
        optMaster[i]->setEnabled(mc.listsEnabled);
    }
    showText(cmbMasterAddress, QString::number(mc.stationAddress));
    showText(cmbMasterCom, QString::number(mc.com));
    showText(cmbMasterSpeed, q(mc.ppiSpeed));
    showText(cmbPPITimeout, QString::number(mc.ppiTimeoutMs));
    showText(cmbUSSTimeout, QString::number(mc.ussTimeoutMs));
    for (QComboBox* c : {cmbMasterAddress, cmbMasterCom, cmbMasterSpeed, cmbPPITimeout, cmbUSSTimeout})
        c->setEnabled(mc.listsEnabled);

    const SerialChannel& modbus = config_.channel(ChannelId::MODBUS);
    const SerialChannel& free = config_.channel(ChannelId::FREE);
    const SerialChannel& uss = config_.channel(ChannelId::USS);
    showText(txtPPISettings, q(config_.ppiSettingsText()));
    showText(txtModbusSpeed, QString::number(modbus.lineSettings().baud));
    showText(txtModbusSettings, q(modbus.settings()));
    const int modbusTimeout = comm_.timers[TimerId::MODBUS].interval();
    showText(txtModbusTimeout, modbusTimeout > 0 ? QString::number(modbusTimeout) : QString());
    showText(txtFreeSpeed, QString::number(free.lineSettings().baud));
    showText(txtFreeGap, QString());
    showText(txtFreeSettings, q(free.settings()));
    showText(txtUSSSpeed, QString::number(uss.lineSettings().baud));
    showText(txtUSSSettings, q(uss.settings()));

    const MasterFields f = config_.masterFields();
    const std::pair<QWidget*, bool> shown[] = {
        {cmbMasterAddress, f.stationAddress}, {cmbMasterCom, true},
        {cmbMasterSpeed, f.ppiSpeed},         {txtPPISettings, f.ppiSettings},
        {cmbPPITimeout, f.ppiTimeout},        {txtModbusSpeed, f.modbusSpeed},
        {txtModbusSettings, f.modbusSettings}, {txtModbusTimeout, f.modbusTimeout},
        {txtFreeSpeed, f.freeSpeed},          {txtFreeGap, f.freeGap},
        {txtFreeSettings, f.freeSettings},    {txtUSSSpeed, f.ussSpeed},
        {txtUSSSettings, f.ussSettings},      {cmbUSSTimeout, f.ussTimeout}};
    for (auto [control, on] : shown) fieldOf(control)->setVisible(on);

    {
        const QSignalBlocker b(ckSlaveComm);
        ckSlaveComm->setChecked(sc.communication);
    }
    for (std::size_t i = 0; i < optSlave.size(); ++i) {
        const QSignalBlocker b(optSlave[i]);
        optSlave[i]->setChecked(static_cast<std::size_t>(sc.protocol) == i);
        optSlave[i]->setEnabled(sc.listsEnabled);
    }
    showText(cmbSlaveAddress, QString::number(sc.addressList));
    showText(cmbSlaveCom, QString::number(sc.com));
    showText(cmbSlaveSpeed, q(sc.speed));
    showText(cmbReplyWindow, QString::number(sc.replyWindowMs));
    for (QComboBox* c : {cmbSlaveAddress, cmbSlaveCom, cmbReplyWindow}) c->setEnabled(sc.listsEnabled);
    showText(txtSlaveSettings, q(config_.slaveSettingsText()));
    fieldOf(cmbReplyWindow)->setVisible(sc.replyWindowShown);

    grpMaster->setEnabled(PortConfig::masterGroupEnabled(cpuPorts_ ? cpuPorts_() : 2));
    refreshing_ = false;
}

void FrmPort::showEvent(QShowEvent* e) {
    if (firstShow_) {
        firstShow_ = false;
        config_.load();  // the lists' defaults, through the handlers (once)
        adjustSize();
        placeAboveCentre(this);
    }
    refresh();
    QDialog::showEvent(e);
}

void FrmPort::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) refresh();
    QDialog::changeEvent(e);
}

void FrmPort::closeEvent(QCloseEvent* e) {
    e->ignore();
    hide();
}

}  // namespace korvane
