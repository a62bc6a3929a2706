#include "ui/form_main.h"

#include <QActionGroup>
#include <QClipboard>
#include <QMimeData>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "hardware/hardware_file.h"
#include "qt/qt_object_server.h"
#include "qt/qt_prompt.h"
#include "qt/qt_settings.h"
#include "ui/analog_panels.h"
#include "ui/bit_byte_panel.h"
#include "ui/info_dialogs.h"
#include "ui/locations.h"
#include "ui/painted.h"
#include "qt/qt_serial_port.h"
#include "ui/rack_view.h"

namespace korvane {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

// Selects a code-table line in the listing and centres it. The listing starts with a line
// end: code-table line i is the view's line i + 1.
void selectListingLine(QPlainTextEdit* box, int line) {
    if (line < 0) return;
    const QTextBlock block = box->document()->findBlockByNumber(line + 1);
    if (!block.isValid()) return;
    QTextCursor c(block);
    // Anchored at the line's end with the cursor at its start, so that a long line shows
    // from its beginning.
    c.movePosition(QTextCursor::EndOfBlock);
    c.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    box->setTextCursor(c);
    box->centerCursor();
}
}  // namespace

FormMain::FormMain(FormMainOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), qtPrompt_(this), prompt_(&qtPrompt_) {
    if (options_.prompt) prompt_.setTarget(options_.prompt);
    if (options_.settings) {
        settings_ = options_.settings;
    } else {
        ownSettings_ = std::make_unique<QtSettingsStore>();
        settings_ = ownSettings_.get();
    }
    setWindowTitle(QString::fromUtf8(kProductTitle));
    // The rack the window shows and edits is the simulator's own, so the object link, the
    // port dialog and the status table all see the same CPU and modules.
    sim_ = std::make_unique<Simulator>(scheduler_, this, &prompt_, this);
    sim_->reader.keepText = &programSource_;
    buildCentral();
    // The serial side on real ports: COM numbers through KORVANE_COMn and the settings store.
    sim_->attachSerial(qtChannelFactory(settings_));
    sim_->hardware.subscribe([this] { syncRack(); });
    attachObjectLink();
    buildMenus();
    buildToolbar();
    startUp();
}

FormMain::~FormMain() {
    shutDown();
    // The panels refer to the simulator's memory: they go before it does.
    delete mdi_;
    mdi_ = nullptr;
    // The link refers to the server, which goes first.
    sim_->link.reset();
    delete port_;  // it refers to the serial side, which goes with the simulator
}

// --- construction --------------------------------------------------------------------------

void FormMain::buildCentral() {
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    rack_ = new RackView(sim_->hardware, central);
    auto* scroll = new QScrollArea(central);
    scroll->setWidget(rack_);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    rack_->setFixedHeight(RackView::kHeight);
    scroll->setFixedHeight(RackView::kHeight + scroll->horizontalScrollBar()->sizeHint().height() + 2);
    v->addWidget(scroll);

    auto* split = new QSplitter(Qt::Horizontal, central);
    mdi_ = new QMdiArea(split);
    mdi_->setObjectName("mdiArea");
    // With scroll bars the area does not grow to the panels' minimum sizes.
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* side = new QSplitter(Qt::Vertical, split);
    codeStack_ = new QStackedWidget(side);
    codeStack_->setObjectName("codeArea");
    codeBox_ = new QPlainTextEdit(codeStack_);
    codeStack_->addWidget(codeBox_);
    codeStack_->addWidget(buildLadderPane(codeStack_));
    codeBox_->setObjectName("txtCode");
    codeBox_->setReadOnly(true);
    codeBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // STL columns line up in a fixed-width font; Chinese comments fall back to a CJK font.
    codeBox_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(codeBox_, &QPlainTextEdit::cursorPositionChanged, this,
            [this] { followCodeLine(codeBox_->textCursor().blockNumber() - 1, codeBox_); });
    logBox_ = new QPlainTextEdit(side);
    logBox_->setObjectName("txtLog");
    logBox_->setReadOnly(true);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    side->setStretchFactor(0, 3);
    side->setStretchFactor(1, 2);
    split->setSizes({760, 260});
    v->addWidget(split, 1);
    setCentralWidget(central);

    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("statusPanel%1").arg(i + 1));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        statusPanels_[static_cast<std::size_t>(i)] = l;
        statusBar()->addWidget(l, i == 2 ? 2 : 1);
    }
    realCpuPanel_ = new QLabel(QStringLiteral("真实CPU时序"), this);
    realCpuPanel_->setObjectName("statusRealCpu");
    realCpuPanel_->setFrameShape(QFrame::Panel);
    realCpuPanel_->setFrameShadow(QFrame::Sunken);
    statusBar()->addPermanentWidget(realCpuPanel_);
    realCpuPanel_->hide();

    connect(rack_, &RackView::cpuChosen, this, [this](int i) {
        sim_->hardware.chooseCpu(i);
        syncRack();
    });
    connect(rack_, &RackView::moduleChosen, this, [this](int s, int i) {
        sim_->hardware.chooseModule(s, i);
        syncRack();
    });
    connect(rack_, &RackView::configureClicked, this, [this](int s) {
        FormAConfig dlg(sim_->hardware, s, this);
        const QPoint corner = rack_->moduleSlots[static_cast<std::size_t>(s)].frame->mapToGlobal(QPoint(0, 0));
        dlg.move(corner + QPoint(-133, 133));
        dlg.exec();
    });
    connect(rack_, &RackView::switchClicked, this, [this] { sim_->scan.modeSwitch(); });
    connect(rack_, &RackView::scanPeriodChosen, this, [this](int ms) { sim_->scan.setTaskPeriod(ms); });
    connect(rack_, &RackView::timeBaseChosen, this, [this](int ms) { sim_->scan.setTimeBase(ms); });
    connect(rack_, &RackView::clearCountClicked, this, [this] { sim_->scan.clearCount(); });
    connect(rack_, &RackView::potentiometerChanged, this, [this](int n, int value) {
        sim_->potentiometers[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(value);
    });
}

QAction* FormMain::addMenuItem(QMenu* menu, const QString& name, const QString& caption, std::function<void()> slot,
                               bool checkable) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    a->setCheckable(checkable);
    if (slot) connect(a, &QAction::triggered, this, [slot = std::move(slot)] { slot(); });
    menu->addAction(a);
    return a;
}

void FormMain::buildMenus() {
    Simulator& s = *sim_;
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    addMenuItem(file, "mnuLoadHard", QStringLiteral("载入硬件配置"), [this] { loadHardwareCommand(); });
    addMenuItem(file, "mnuSaveHard", QStringLiteral("保存硬件配置"), [this] { saveHardwareCommand(); });
    addMenuItem(file, "mnuLoadProg", QStringLiteral("载入用户程序"), [this] { loadProgramCommand(); });
    addMenuItem(file, "mnuUnloadProg", QStringLiteral("卸载用户程序"), [this] { unloadProgramCommand(); });
    addMenuItem(file, "mnuLoadDB", QStringLiteral("载入数据块"), [this] { loadDataBlockCommand(); });
    addMenuItem(file, "mnuUnloadDB", QStringLiteral("卸载数据块"), [this] { unloadDataBlockCommand(); });
    addMenuItem(file, "mnuLoadSymbols", QStringLiteral("载入符号表"), [this] { loadSymbolsCommand(); });
    file->addSeparator();
    for (int k = 0; k < kRecentItems; ++k) {
        QAction* a = addMenuItem(file, QStringLiteral("mnuRecent%1").arg(k + 1), QString(), nullptr);
        connect(a, &QAction::triggered, this, [this, a] { loadProgramFile(a->data().toString()); });
        a->setVisible(false);
        recentItems_[static_cast<std::size_t>(k)] = a;
    }
    recentSeparator_ = file->addSeparator();
    addMenuItem(file, "mnuExit", QStringLiteral("退出"), [this] { close(); });

    QMenu* setup = menuBar()->addMenu(QStringLiteral("设置(&S)"));
    addMenuItem(setup, "mnuSetupComm", QStringLiteral("串口设置"),
                [this] { showPortSettings(); });
    QMenu* mode = setup->addMenu(QStringLiteral("输入手控时方式"));
    addMenuItem(mode, "mnuSwitchButton", QStringLiteral("锁定按钮"), [this] { setInputMode(false); }, true);
    addMenuItem(mode, "mnuPushButton", QStringLiteral("非锁定按钮"), [this] { setInputMode(true); }, true);
    addMenuItem(setup, "mnuOnTop", QStringLiteral("置于前端"), [this] { setStayOnTop(true); });
    addMenuItem(setup, "mnuNotOnTop", QStringLiteral("取消置顶"), [this] { setStayOnTop(false); });
    setup->addSeparator();
    addMenuItem(setup, "mnuRealCpu", QStringLiteral("真实CPU时序"),
                [this] { setRealCpuMode(action("mnuRealCpu")->isChecked()); }, true);

    QMenu* debug = menuBar()->addMenu(QStringLiteral("调试(&D)"));
    addMenuItem(debug, "mnuRun", QStringLiteral("连续运行(&R)"), [&s] { s.scan.continuousRun(); });
    addMenuItem(debug, "mnuRunFirst", QStringLiteral("首次扫描(&F)"), [&s] { s.scan.firstScan(); });
    addMenuItem(debug, "mnuRunN", QStringLiteral("指定次数扫描"), [&s] { s.scan.countedPasses(); });
    addMenuItem(debug, "mnuSlowRun", QStringLiteral("秒周期扫描(&L)"), [&s] { s.scan.onePerSecond(); }, true);
    addMenuItem(debug, "mnuOneRun", QStringLiteral("单周期扫描(&O)"), [&s] { s.scan.singlePass(); });
    addMenuItem(debug, "mnuPause", QStringLiteral("暂停"), [&s] { s.scan.pauseMenu(); });
    addMenuItem(debug, "mnuStop", QStringLiteral("停止(&S)"), [&s] { s.scan.stop(); }, true);
    debug->addSeparator();
    addMenuItem(debug, "mnuWarmRestart", QStringLiteral("热复位"), [&s] { s.scan.warmRestart(); });
    addMenuItem(debug, "mnuPowerUp", QStringLiteral("上电复位"), [this] { powerUpCommand(); });
    debug->addSeparator();
    addMenuItem(debug, "mnuCheckResults", QStringLiteral("程序检查结果"), [this] { showCheckResults(); });
    // A checkable item toggles itself; its mark follows the run state instead.
    for (const char* n : {"mnuSlowRun", "mnuStop"})
        connect(action(n), &QAction::triggered, this, [this] { syncRunButtons(sim_->scan.state().mode); });

    QMenu* show = menuBar()->addMenu(QStringLiteral("显示(&S)"));
    addMenuItem(show, "mnuStatusProg", QStringLiteral("程序状态表(&T)"), [this] { showProgramStatus(); });
    addMenuItem(show, "mnuStatusTable", QStringLiteral("变量状态表(&T)"), [this] { showStatusTable(); });
    addMenuItem(show, "mnuObj", QStringLiteral("对象状态表(&O)"), [this] { showObjectView(); });
    addMenuItem(show, "mnuTiming", QStringLiteral("时序图(&G)"), [this] { showTimingView(); });
    show->addSeparator();
    addMenuItem(show, "mnuAWL", QStringLiteral("AWL程序(&W)"), [this] { showStlView(); }, true);
    addMenuItem(show, "mnuKOP", QStringLiteral("LAD梯形图(&L)"), [this] { showLadView(); }, true);
    addMenuItem(show, "mnuDB", QStringLiteral("DB数据块(&D)"), [this] { showDbView(); }, true);
    show->addSeparator();
    addMenuItem(show, "mnuDI", QStringLiteral("数字量输入(&I)"), [this] { showInputPanel(); });
    addMenuItem(show, "mnuDO", QStringLiteral("数字量输出(&Q)"), [this] { showOutputPanel(); });
    addMenuItem(show, "mnuAIO", QStringLiteral("模拟量输入输出(&A)"), [this] { showAnalogPanel(); });
    addMenuItem(show, "mnuM", QStringLiteral("M内存区(&M)"), [this] { showMPanel(); });
    addMenuItem(show, "mnuV", QStringLiteral("V变量区(&V)"), [this] { showVPanel(); });
    addMenuItem(show, "mnuTSC", QStringLiteral("定时器计数器(&S)"), [this] { showTimerCounterPanel(); });

    QMenu* window = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    addMenuItem(window, "mnuCascade", QStringLiteral("层叠(&C)"), [this] { mdi_->cascadeSubWindows(); });
    addMenuItem(window, "mnuTile", QStringLiteral("平铺(&T)"), [this] { tileWindows(false); });
    addMenuItem(window, "mnuArrange", QStringLiteral("排列图标(&A)"), [this] { arrangeIcons(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    QAction* online = addMenuItem(help, "mnuHelpOnline", QStringLiteral("在线帮助(^F1)"), [this] { showManual(); });
    online->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
    addMenuItem(help, "mnuVersion", QStringLiteral("版本说明(&V)"), [this] { showInstructions(); });
    addMenuItem(help, "mnuAbout", QStringLiteral("关于(&A)"), [this] { showAbout(); });
}

QAction* FormMain::addTool(const QString& key, const QString& tooltip, std::function<void()> slot, QActionGroup* group) {
    // The tooltip is also the button's text, which the toolbar's overflow menu shows.
    auto* a = new QAction(toolIcon(key), tooltip, this);
    a->setObjectName(key);
    a->setToolTip(tooltip);
    if (group) {
        a->setCheckable(true);
        group->addAction(a);
    }
    if (slot) connect(a, &QAction::triggered, this, [slot = std::move(slot)] { slot(); });
    return a;
}

void FormMain::buildToolbar() {
    Simulator& s = *sim_;
    QToolBar* bar = addToolBar(QStringLiteral("工具栏"));
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    auto* inputGroup = new QActionGroup(this);
    auto* codeGroup = new QActionGroup(this);
    auto* runGroup = new QActionGroup(this);
    auto run = [this](std::function<void()> f) {
        return [this, f = std::move(f)] {
            f();
            syncRunButtons(sim_->scan.state().mode);
        };
    };
    bar->addAction(addTool("btLoadProg", QStringLiteral("载入程序"), [this] { loadProgramCommand(); }));
    bar->addAction(addTool("btUnLoadProg", QStringLiteral("清除程序"), [this] { unloadProgramCommand(); }));
    bar->addAction(addTool("btLoadDB", QStringLiteral("载入数据块"), [this] { loadDataBlockCommand(); }));
    bar->addAction(addTool("btUnloadDB", QStringLiteral("卸载DB块"), [this] { unloadDataBlockCommand(); }));
    bar->addAction(addTool("btSaveHard", QStringLiteral("保存硬件配置"), [this] { saveHardwareCommand(); }));
    bar->addAction(addTool("btLoadHard", QStringLiteral("载入硬件配置"), [this] { loadHardwareCommand(); }));
    bar->addAction(addTool("btSetupComm", QStringLiteral("设置串口"), [this] { action("mnuSetupComm")->trigger(); }));
    bar->addSeparator();
    bar->addAction(addTool("btStatusProg", QStringLiteral("监控程序，程序状态表"), [this] { showProgramStatus(); }));
    bar->addAction(addTool("btStatusTable", QStringLiteral("监控变量，状态表"), [this] { showStatusTable(); }));
    bar->addAction(addTool("btObj", QStringLiteral("仿真对象IO信息"), [this] { showObjectView(); }));
    bar->addSeparator();
    bar->addAction(addTool("btSwitchButton", QStringLiteral("输入自锁开关"), [this] { setInputMode(false); }, inputGroup));
    bar->addAction(addTool("btPushButton", QStringLiteral("输入非自锁开关"), [this] { setInputMode(true); }, inputGroup));
    bar->addSeparator();
    bar->addAction(addTool("btRun", QStringLiteral("运行"), run([&s] { s.scan.continuousRun(); }), runGroup));
    bar->addAction(addTool("btOneRun", QStringLiteral("执行一条"), run([&s] { s.scan.singlePass(); }), runGroup));
    bar->addAction(addTool("btSlowRun", QStringLiteral("秒周期扫描，每秒执行一次"), run([&s] { s.scan.onePerSecond(); }), runGroup));
    bar->addAction(addTool("btRunFirst", QStringLiteral("首次扫描"), run([&s] { s.scan.firstScan(); }), runGroup));
    bar->addAction(addTool("btRunN", QStringLiteral("指定次数扫描"), run([&s] { s.scan.countedPasses(); }), runGroup));
    bar->addAction(addTool("btPause", QStringLiteral("暂停"), run([&s] { s.scan.pauseButton(); }), runGroup));
    bar->addAction(addTool("btStop", QStringLiteral("停止"), run([&s] { s.scan.stop(); }), runGroup));
    bar->addSeparator();
    bar->addAction(addTool("btAWL", QStringLiteral("显示STL格式程序"), [this] { showStlView(); }, codeGroup));
    bar->addAction(addTool("btKOP", QStringLiteral("LAD梯形图"), [this] { showLadView(); }, codeGroup));
    bar->addAction(addTool("btDB", QStringLiteral("显示数据区"), [this] { showDbView(); }, codeGroup));
    bar->addSeparator();
    bar->addAction(addTool("btDI", QStringLiteral("显示DI区"), [this] { showInputPanel(); }));
    bar->addAction(addTool("btDO", QStringLiteral("显示Q区"), [this] { showOutputPanel(); }));
    bar->addAction(addTool("btAIO", QStringLiteral("模拟量输入输出"), [this] { showAnalogPanel(); }));
    bar->addAction(addTool("btM", QStringLiteral("M区"), [this] { showMPanel(); }));
    bar->addAction(addTool("btV", QStringLiteral("V区"), [this] { showVPanel(); }));
    bar->addAction(addTool("btTSC", QStringLiteral("定时器计数器"), [this] { showTimerCounterPanel(); }));
    bar->addSeparator();
    bar->addAction(addTool("btHelp", QStringLiteral("帮助：用户手册"), [this] { showManual(); }));
}

QAction* FormMain::action(const QString& name) const { return findChild<QAction*>(name, Qt::FindDirectChildrenOnly); }

// --- start-up ------------------------------------------------------------------------------

void FormMain::startUp() {
    // 1. and 4. Restored size: the screen capped at 1024 x 724, centred.
    try {
        lock_ = std::make_unique<QLockFile>(options_.lockPath.isEmpty()
                                                ? QDir(QDir::tempPath()).filePath(QStringLiteral("korvane107b.lock"))
                                                : options_.lockPath);
        lock_->setStaleLockTime(0);
        secondInstance_ = !lock_->tryLock(0);
        if (secondInstance_) {
            ShowLog("此实例不能与对象连接");
            setWindowTitle(QString::fromUtf8(kSecondInstanceCaption));
        }
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect r = screen->availableGeometry();
            resize(std::min(r.width(), 1024), std::min(r.height(), 724));
            move(r.left() + (r.width() - width()) / 2, r.top() + (r.height() - height()) / 2);
        } else {
            resize(1024, 724);
        }
        statusPanels_[0]->setText(QString::fromUtf8(kVersionText));
        running_ = false;
        updateStatusLamps();
        fromObject_ = false;
        momentary_ = false;
        syncRack();
        // The real-CPU mode of the last run, before any program is loaded; the CPU is then
        // switched on, so that the first RUN entry has SM0.3 on.
        if (settings_->value(kSimulationSection, kRealCpuKey) == "1") {
            sim_->setRealCpu(true);
            sim_->scan.powerUp();
        }
        showRealCpuMode(sim_->realCpu());

        showAnalogPanel();
        showInputPanel();
        showMPanel();
        showOutputPanel();
        showVPanel();
        showTimerCounterPanel();
        arrangePanels();
        // The object I/O view is made hidden; the menu and the toolbar show it.
        objectView_ = new FrmObject(*sim_->link, sim_->log, [this](const QString& t) { statusPanels_[2]->setText(t); });
        addPanel(objectView_)->setAttribute(Qt::WA_DeleteOnClose, false);
        objectView_->parentWidget()->hide();

        action("mnuSwitchButton")->setChecked(true);
        action("btSwitchButton")->setChecked(true);
        action("btStop")->setChecked(true);
        action("mnuStop")->setChecked(true);
        action("mnuAWL")->setChecked(true);
        action("btAWL")->setChecked(true);

        // Both serial ports "9600,E,8,1", their input as bytes.
        for (ChannelId id : {ChannelId::Port1, ChannelId::Port0}) {
            sim_->comm->config.channel(id).setBinaryInput(true);
            sim_->comm->config.channel(id).setSettings("9600,E,8,1");
        }
        rack_->setScanCount(0);
        rack_->cmbScanPeriod->setCurrentIndex(rack_->cmbScanPeriod->findData(50));
        rack_->cmbTimeBase->setCurrentIndex(rack_->cmbTimeBase->findData(80));
        loadRecentMenu();
        startObjectLink();
    } catch (const std::exception&) {
        sim_->log.stamped(" 软件初始化错误,必须退出");
    }
}

void FormMain::loadRecentMenu() {
    recent_.load(*settings_);
    const auto items = recent_.menuItems();
    for (std::size_t k = 0; k < recentItems_.size(); ++k) {
        QAction* a = recentItems_[k];
        if (k < items.size()) {
            a->setText(q(items[k].caption));
            a->setData(q(items[k].path));
            a->setVisible(true);
        } else {
            a->setVisible(false);
        }
    }
    recentSeparator_->setVisible(!items.empty());
}

void FormMain::syncRack() {
    rack_->syncFromConfig();
    if (v_) v_->setVMemoryBytes(sim_->hardware.vMemoryBytes());
    sim_->statusTable.setVMemoryBytes(sim_->hardware.vMemoryBytes());
    rack_->refreshLamps(sim_->memory);
}

// --- panels --------------------------------------------------------------------------------

QMdiSubWindow* FormMain::addPanel(QWidget* w) {
    QMdiSubWindow* sub = mdi_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(QIcon(QPixmap(1, 1)));
    return sub;
}

namespace {
void raisePanel(QMdiArea* mdi, QWidget* w) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) {
        sub->show();
        if (sub->isMinimized()) sub->showNormal();
        mdi->setActiveSubWindow(sub);
    }
}
}  // namespace

void FormMain::showInputPanel() {
    if (!input_) {
        input_ = new FrmDI(sim_->memory, sim_->log, sim_->hardware.vMemoryBytes(), [this] { return momentary_; },
                           [this] { return fromObject_; },
                           [this] { return std::span<const ObjectDigitalPoint>(objectInputs_); });
        addPanel(input_);
        input_->FreshShow();
    }
    raisePanel(mdi_, input_);
}

void FormMain::showOutputPanel() {
    if (!output_) {
        output_ = new BitBytePanel(PanelKind::Output, sim_->memory, sim_->log, sim_->hardware.vMemoryBytes());
        addPanel(output_);
        output_->FreshShow();
    }
    raisePanel(mdi_, output_);
}

void FormMain::showMPanel() {
    if (!m_) {
        m_ = new BitBytePanel(PanelKind::M, sim_->memory, sim_->log, sim_->hardware.vMemoryBytes());
        addPanel(m_);
        m_->FreshShow();
    }
    raisePanel(mdi_, m_);
}

void FormMain::showVPanel() {
    if (!v_) {
        v_ = new BitBytePanel(PanelKind::V, sim_->memory, sim_->log, sim_->hardware.vMemoryBytes());
        addPanel(v_);
        v_->FreshShow();
    }
    raisePanel(mdi_, v_);
}

void FormMain::showAnalogPanel() {
    if (!analog_) {
        analog_ = new AnalogPanel(sim_->memory, sim_->hardware, [this] { return fromObject_; });
        addPanel(analog_);
        analog_->FreshShow();
    }
    raisePanel(mdi_, analog_);
}

void FormMain::showTimerCounterPanel() {
    if (!tc_) {
        tc_ = new TimerCounterPanel(sim_->memory, sim_->log);
        tc_->setRealCpu(sim_->realCpu());
        addPanel(tc_);
        tc_->FreshShow();
    }
    raisePanel(mdi_, tc_);
}

namespace {
void centreIn(QMdiArea* mdi, QMdiSubWindow* sub) {
    const QSize area = mdi->viewport()->size();
    sub->move(std::max((area.width() - sub->width()) / 2, 0), std::max((area.height() - sub->height()) / 2, 0));
}
}  // namespace

namespace {
QSize smallest(const QMdiSubWindow* sub) { return sub->minimumSizeHint().expandedTo(sub->minimumSize()); }

// Column widths, row heights and how many rows fit in view, for n windows in `cols` columns.
struct Grid {
    std::vector<int> widths, heights;
    int rowsInView = 0;
    bool overflowsX = false, overflowsY = false;
};

Grid gridFor(const std::vector<QMdiSubWindow*>& subs, int cols, QSize area) {
    Grid g;
    const int n = static_cast<int>(subs.size());
    const int rows = (n + cols - 1) / cols;
    g.widths.assign(static_cast<std::size_t>(cols), 0);
    g.heights.assign(static_cast<std::size_t>(rows), 0);
    for (int i = 0; i < n; ++i) {
        const QSize m = smallest(subs[static_cast<std::size_t>(i)]);
        int& w = g.widths[static_cast<std::size_t>(i % cols)];
        int& h = g.heights[static_cast<std::size_t>(i / cols)];
        w = std::max(w, m.width());
        h = std::max(h, m.height());
    }
    int sumW = 0;
    for (int w : g.widths) sumW += w;
    g.overflowsX = sumW > area.width();
    if (!g.overflowsX) {
        const int extra = area.width() - sumW;
        for (int c = 0; c < cols; ++c) g.widths[static_cast<std::size_t>(c)] += extra / cols + (c < extra % cols ? 1 : 0);
    }
    // The rows that fit in view share its height; the others keep their smallest height.
    int used = 0;
    while (g.rowsInView < rows && used + g.heights[static_cast<std::size_t>(g.rowsInView)] <= area.height())
        used += g.heights[static_cast<std::size_t>(g.rowsInView++)];
    g.overflowsY = g.rowsInView < rows;
    if (g.rowsInView > 0) {
        const int extra = area.height() - used;
        for (int r = 0; r < g.rowsInView; ++r)
            g.heights[static_cast<std::size_t>(r)] += extra / g.rowsInView + (r < extra % g.rowsInView ? 1 : 0);
    }
    return g;
}

int sumTo(const std::vector<int>& v, int k) {
    int s = 0;
    for (int i = 0; i < k; ++i) s += v[static_cast<std::size_t>(i)];
    return s;
}

QMdiSubWindow* subOf(QWidget* w) { return w ? qobject_cast<QMdiSubWindow*>(w->parentWidget()) : nullptr; }

// The watch windows' preferred sizes.
const QSize kStatusTableSize(740, 320);
const QSize kProgramStatusSize(740, 380);
}  // namespace

void FormMain::arrangePanels() {
    tileWindows(true);
    // Open watch windows keep beside the input panel and each other.
    if (QMdiSubWindow* sub = statusTable_ ? subOf(statusTable_) : nullptr; sub && sub->isVisible())
        placeWatchWindow(sub, kStatusTableSize, nullptr);
    if (QMdiSubWindow* sub = programStatus_ ? subOf(programStatus_) : nullptr; sub && sub->isVisible())
        placeWatchWindow(sub, kProgramStatusSize, statusTable_);
}

void FormMain::tileWindows(bool operatorPanelsOnly) {
    std::vector<QMdiSubWindow*> subs;
    auto take = [&subs](QMdiSubWindow* sub) {
        if (sub && sub->isVisible() && !sub->isMinimized() && std::find(subs.begin(), subs.end(), sub) == subs.end())
            subs.push_back(sub);
    };
    for (QWidget* w : std::initializer_list<QWidget*>{input_, output_, analog_, m_, v_, tc_}) take(subOf(w));
    if (!operatorPanelsOnly)
        for (QMdiSubWindow* sub : mdi_->subWindowList()) take(sub);
    if (subs.empty()) return;
    for (QMdiSubWindow* sub : subs)
        if (sub->isMaximized()) sub->showNormal();
    const int n = static_cast<int>(subs.size());

    // As many columns as fit side by side, then as few as give the same number of rows. When
    // the rows do not all fit, the vertical scroll bar takes its width from the area.
    QSize area = mdi_->viewport()->size();
    if (mdi_->verticalScrollBar()->isVisible()) area.rwidth() += mdi_->verticalScrollBar()->width();
    if (mdi_->horizontalScrollBar()->isVisible()) area.rheight() += mdi_->horizontalScrollBar()->height();
    auto columnsFor = [&](QSize a) {
        int cols = 1;
        for (int c = n; c > 1; --c)
            if (!gridFor(subs, c, a).overflowsX) {
                cols = c;
                break;
            }
        const int rows = (n + cols - 1) / cols;
        return (n + rows - 1) / rows;
    };
    int cols = columnsFor(area);
    Grid g = gridFor(subs, cols, area);
    if (g.overflowsY) {
        area.rwidth() -= mdi_->verticalScrollBar()->sizeHint().width();
        cols = columnsFor(area);
        g = gridFor(subs, cols, area);
    }
    for (int i = 0; i < n; ++i) {
        const int c = i % cols, r = i / cols;
        subs[static_cast<std::size_t>(i)]->setGeometry(sumTo(g.widths, c), sumTo(g.heights, r), g.widths[static_cast<std::size_t>(c)],
                                                   g.heights[static_cast<std::size_t>(r)]);
    }
}

void FormMain::placeWatchWindow(QMdiSubWindow* sub, QSize preferred, QWidget* other) {
    const QRect view(QPoint(0, 0), mdi_->viewport()->size());
    std::vector<QRect> avoid;
    for (QMdiSubWindow* s : {subOf(input_), subOf(other)})
        if (s && s->isVisible()) avoid.push_back(s->geometry());
    auto overlap = [&avoid](const QRect& r) {
        qint64 sum = 0;
        for (const QRect& a : avoid) {
            const QRect i = a.intersected(r);
            if (!i.isEmpty()) sum += qint64(i.width()) * i.height();
        }
        return sum;
    };
    // Sizes from the preferred one down to a smallest useful one, largest first; at most half
    // the area's height, so that the other watch window finds room too. The first size with a
    // free place wins (right and top first); without one, the place that covers the least.
    const QSize most =
        QSize(preferred.width(), std::max(std::min(preferred.height(), view.height() / 2), 200)).boundedTo(view.size());
    const QSize least = QSize(440, 200).boundedTo(most);
    constexpr int kSteps = 6, kStep = 8;
    std::vector<QSize> sizes;
    for (int i = 0; i <= kSteps; ++i)
        for (int j = 0; j <= kSteps; ++j)
            sizes.emplace_back(most.width() - (most.width() - least.width()) * i / kSteps,
                               most.height() - (most.height() - least.height()) * j / kSteps);
    std::stable_sort(sizes.begin(), sizes.end(),
                     [](QSize a, QSize b) { return qint64(a.width()) * a.height() > qint64(b.width()) * b.height(); });
    QRect best;
    qint64 bestOverlap = -1;
    for (QSize size : sizes) {
        size = size.expandedTo(smallest(sub)).boundedTo(view.size());
        for (int y = 0;; y = std::min(y + kStep, view.height() - size.height())) {
            for (int x = view.width() - size.width();; x = std::max(x - kStep, 0)) {
                const QRect r(QPoint(x, y), size);
                const qint64 o = overlap(r);
                if (o == 0) {
                    sub->setGeometry(r);
                    return;
                }
                if (bestOverlap < 0 || o < bestOverlap) bestOverlap = o, best = r;
                if (x <= 0) break;
            }
            if (y >= view.height() - size.height()) break;
        }
    }
    sub->setGeometry(best.isValid() ? best : QRect(QPoint(0, 0), preferred));
}

void FormMain::showStatusTable() {
    if (!statusTable_) {
        statusTable_ = new frmStatusTable(
            *sim_, prompt_,
            [this](frmStatusTable::FileKind k, const QString& suggested) {
                return chooseFile(k == frmStatusTable::FileKind::Open ? FileDialogKind::OpenStatusTable
                                                                       : FileDialogKind::SaveStatusTable,
                                  suggested);
            },
            []() -> std::optional<std::string> {
                const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
                if (!mime || !mime->hasText()) return std::nullopt;
                return mime->text().toStdString();
            });
        placeWatchWindow(addPanel(statusTable_), kStatusTableSize, programStatus_);
    }
    raisePanel(mdi_, statusTable_);
    statusTable_->FreshShow();
}

void FormMain::showProgramStatus() {
    if (!programStatus_) {
        programStatus_ = new frmProgramStatus(*sim_);
        connect(programStatus_->grid, &QTableWidget::currentCellChanged, this,
                [this](int row, int, int, int) { followCodeLine(row, programStatus_->grid); });
        placeWatchWindow(addPanel(programStatus_), kProgramStatusSize, statusTable_);
    }
    raisePanel(mdi_, programStatus_);
    programStatus_->FreshShow();
}

void FormMain::showCheckResults() {
    if (!checkResults_) {
        checkResults_ = new FrmCheckResults;
        connect(checkResults_, &FrmCheckResults::lineChosen, this, &FormMain::showCodeLine);
        QMdiSubWindow* sub = addPanel(checkResults_);
        sub->resize(640, 300);
        centreIn(mdi_, sub);
        checkResults_->showFindings(sim_->findings());
    }
    raisePanel(mdi_, checkResults_);
}

void FormMain::showTimingView() {
    if (!timing_) {
        timing_ = new TimingView(
            *sim_, [this](const QString& suggested) { return chooseFile(FileDialogKind::ExportVcd, suggested); });
        QMdiSubWindow* sub = addPanel(timing_);
        sub->resize(900, 460);
        centreIn(mdi_, sub);
        sim_->scan.afterPass = [this] {
            if (timing_) timing_->samplePass();
        };
    }
    raisePanel(mdi_, timing_);
}

void FormMain::attachObjectLink() {
    objectServer_ = std::make_unique<QtObjectServer>();
    ObjectLink& link = sim_->attachObjectLink(*objectServer_, &sim_->hardware);
    link.onInputsFromObject = [this](bool on) { fromObject_ = on; };
    link.onStatusText = [this](const std::string& t) { statusPanels_[1]->setText(q(t)); };
    link.onRebuild = [this] {
        if (objectView_) objectView_->FreshAllShow();
    };
    link.onValues = [this] {
        if (objectView_) objectView_->FreshShow();
    };
}

void FormMain::startObjectLink() {
    int port = ObjectLink::kDefaultPort;
    if (options_.objectPort) {
        port = *options_.objectPort;
    } else if (const QByteArray env = qgetenv("KORVANE_OBJECT_PORT"); !env.isEmpty()) {
        bool ok = false;
        const int p = env.toInt(&ok);
        port = env == "off" ? -1 : ok && p >= 0 && p <= 65535 ? p : ObjectLink::kDefaultPort;
    }
    if (port < 0 || port > 65535) return;
    const std::string address = settings_->value(kObjectLinkSection, kObjectLinkAddressKey);
    sim_->link->start(static_cast<std::uint16_t>(port), address, secondInstance_);
}

std::uint16_t FormMain::objectLinkPort() const { return objectServer_ ? objectServer_->port() : 0; }

void FormMain::showObjectView() {
    if (!objectView_) return;
    raisePanel(mdi_, objectView_);
    objectView_->FreshAllShow();
    objectView_->FreshShow();
}

void FormMain::arrangeIcons() {
    int x = 0;
    const int bottom = mdi_->viewport()->height();
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (!sub->isMinimized()) continue;
        sub->move(x, bottom - sub->height());
        x += sub->width();
    }
}

// --- the log and the code view -------------------------------------------------------------

void FormMain::ShowLog(const std::string& strInfo) {
    const QString line = q(strInfo);
    if (static_cast<std::size_t>(logText_.size()) > kLogLimit) {
        logText_.clear();
        logBox_->clear();
    }
    logText_ += line + QStringLiteral("\r\n");
    logBox_->appendPlainText(line);
    logBox_->verticalScrollBar()->setValue(logBox_->verticalScrollBar()->maximum());
}

// The three code views (listing, ladder, data block) check their menu items and keys.
void FormMain::setCodeViewChecks() {
    action("mnuAWL")->setChecked(!codeViewDb_ && !codeViewLad_);
    action("mnuKOP")->setChecked(codeViewLad_);
    action("mnuDB")->setChecked(codeViewDb_);
    action(codeViewLad_ ? "btKOP" : codeViewDb_ ? "btDB" : "btAWL")->setChecked(true);
    codeStack_->setCurrentIndex(codeViewLad_ ? 1 : 0);
}

void FormMain::showStlView() {
    codeViewDb_ = false;
    codeViewLad_ = false;
    setCodeViewChecks();
    codeBox_->setPlainText(q(programText_).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    if (ladder_->selected().valid()) {
        followingNetwork_ = true;
        selectListingLine(codeBox_, ladder_->headerLine(ladder_->selected()));
        followingNetwork_ = false;
    }
}

void FormMain::showDbView() {
    codeViewDb_ = true;
    codeViewLad_ = false;
    setCodeViewChecks();
    codeBox_->setPlainText(q(sim_->dataBlock.showView()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void FormMain::showLadView() {
    // The listing under the ladder holds the program, so that choices follow each other.
    if (codeViewDb_) showStlView();
    codeViewLad_ = true;
    setCodeViewChecks();
    ladder_->FreshAllShow();
    ladder_->FreshShow();
    ladder_->setFocus();
}

QWidget* FormMain::buildLadderPane(QWidget* parent) {
    auto* pane = new QWidget(parent);
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(2, 2, 2, 2);
    ladder_ = new LadderView(*sim_, pane);
    const auto button = [pane, bar](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(pane);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        bar->addWidget(b);
        return b;
    };
    connect(button("btLadZoomOut", QStringLiteral("－"), QStringLiteral("缩小 (Ctrl+滚轮)")), &QToolButton::clicked,
            ladder_, &LadderView::zoomOut);
    auto* zoom = new QLabel(QStringLiteral("100%"), pane);
    zoom->setObjectName("lblLadZoom");
    zoom->setMinimumWidth(40);
    zoom->setAlignment(Qt::AlignCenter);
    bar->addWidget(zoom);
    connect(button("btLadZoomIn", QStringLiteral("＋"), QStringLiteral("放大 (Ctrl+滚轮)")), &QToolButton::clicked,
            ladder_, &LadderView::zoomIn);
    connect(button("btLadZoom100", QStringLiteral("1:1"), QStringLiteral("原始大小")), &QToolButton::clicked, ladder_,
            [this] { ladder_->setZoom(1.0); });
    bar->addStretch();
    connect(ladder_, &LadderView::zoomChanged, zoom,
            [zoom](double z) { zoom->setText(QStringLiteral("%1%").arg(static_cast<int>(z * 100 + 0.5))); });
    connect(ladder_, &LadderView::networkChosen, this, [this](int line) { followCodeLine(line, ladder_); });
    v->addLayout(bar);
    v->addWidget(ladder_, 1);
    return pane;
}

void FormMain::convertLadder() {
    if (programText_.empty() || !sim_->hasProgram()) {
        ladder_->setLadder({}, {});
        return;
    }
    // No file was read (a cancelled dialog), or the file was refused: the program, and with
    // it the ladder, stay as they were.
    const std::string& path = sim_->dialogFileName();
    if (path.empty() || sim_->reader.problem() != ProgramFileProblem::None) return;
    try {
        ladder_->setLadder(ladder::convertToLadder(programSource_, sim_->reader.fileLines), sim_->reader.fileLines);
    } catch (const std::exception&) {
        ladder_->setLadder({}, {});
    }
}

void FormMain::followCodeLine(int line, QObject* from) {
    if (followingNetwork_ || line < 0) return;
    followingNetwork_ = true;
    if (from != ladder_) ladder_->showCodeLine(line);
    // The ladder names a network by its header: the other views select that line.
    if (from == ladder_) {
        if (!codeViewDb_) selectListingLine(codeBox_, line);
        if (programStatus_ && line < programStatus_->grid->rowCount()) {
            programStatus_->grid->setCurrentCell(line, 1);
            programStatus_->grid->scrollToItem(programStatus_->grid->item(line, 1), QAbstractItemView::PositionAtTop);
        }
    } else if (from != codeBox_ && !codeViewDb_) {
        selectListingLine(codeBox_, line);
    }
    followingNetwork_ = false;
}

void FormMain::showCodeLine(int line) {
    if (line < 0) return;
    if (codeViewDb_) showStlView();
    selectListingLine(codeBox_, line);
}

void FormMain::codeViewChanged(const std::string& text) {
    programText_ = text;
    convertLadder();
    if (text.empty()) {
        if (!codeViewDb_) codeBox_->clear();
        return;
    }
    const bool lad = codeViewLad_;
    showStlView();
    if (lad) showLadView();
}

void FormMain::dataBlockViewShown(const std::string& text) {
    if (unloadingDb_) {
        if (codeViewDb_) codeBox_->clear();
        return;
    }
    codeViewDb_ = true;
    codeViewLad_ = false;
    setCodeViewChecks();
    codeBox_->setPlainText(q(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

// --- commands ------------------------------------------------------------------------------

QString FormMain::chooseFile(FileDialogKind kind, const QString& suggested) {
    if (options_.fileDialog) return options_.fileDialog(kind, suggested);
    // A proposed bare name opens in the dialog folder; a proposed folder or path as given.
    QString start = dialogFolder();
    if (!suggested.isEmpty()) start = QFileInfo(suggested).isAbsolute() ? suggested : QDir(start).filePath(suggested);
    QWidget* owner = dialogParent(this);
    switch (kind) {
    case FileDialogKind::OpenProgram:
        // Exports from Windows may carry the extension in capitals; they are built alike.
        return QFileDialog::getOpenFileName(owner, QStringLiteral("载入用户程序"), start,
                                            QStringLiteral("awl (*.awl *.AWL *.Awl)"));
    case FileDialogKind::OpenDataBlock:
        return QFileDialog::getOpenFileName(owner, QStringLiteral("载入数据块"), start, QStringLiteral("txt (*.txt)"));
    case FileDialogKind::OpenHardware:
        return QFileDialog::getOpenFileName(owner, QStringLiteral("载入硬件配置"), start, QStringLiteral("hd (*.hd)"));
    case FileDialogKind::SaveHardware:
        return QFileDialog::getSaveFileName(owner, QStringLiteral("保存硬件配置"), start, QStringLiteral("hd (*.hd)"));
    case FileDialogKind::OpenStatusTable:
        return QFileDialog::getOpenFileName(owner, QStringLiteral("载入状态表"), start, QStringLiteral("txt (*.txt)"));
    case FileDialogKind::SaveStatusTable:
        return QFileDialog::getSaveFileName(owner, QStringLiteral("保存状态表"), start, QStringLiteral("txt (*.txt)"));
    case FileDialogKind::ExportVcd:
        return QFileDialog::getSaveFileName(owner, QStringLiteral("导出VCD"), start, QStringLiteral("VCD (*.vcd)"));
    case FileDialogKind::OpenSymbols:
        return QFileDialog::getOpenFileName(owner, QStringLiteral("载入符号表"), start,
                                            QStringLiteral("符号表 (*.txt *.csv);;所有文件 (*)"));
    }
    return {};
}

std::string FormMain::chooseProgramFile(const std::string& suggested) {
    return chooseFile(FileDialogKind::OpenProgram, q(suggested)).toStdString();
}

std::string FormMain::chooseDataBlockFile(const std::string& suggested) {
    return chooseFile(FileDialogKind::OpenDataBlock, q(suggested)).toStdString();
}

std::string FormMain::chooseSymbolFile() {
    // The dialog opens where the last symbol file was chosen.
    const QString folder = lastSymbolPath_.isEmpty() ? QString() : QFileInfo(lastSymbolPath_).absolutePath();
    const QString path = chooseFile(FileDialogKind::OpenSymbols, folder);
    if (!path.isEmpty()) lastSymbolPath_ = path;
    return path.toStdString();
}

void FormMain::loadProgramFile(const QString& path) {
    sim_->loadRecentProgram(path.toStdString());
    if (!path.isEmpty()) lastProgramPath_ = path;
}

void FormMain::loadProgramCommand() {
    sim_->loadProgramCommand();
    if (!sim_->dialogFileName().empty()) lastProgramPath_ = q(sim_->dialogFileName());
}

void FormMain::unloadProgramCommand() { sim_->unloadProgramCommand(); }

void FormMain::loadDataBlockCommand() { sim_->loadDataBlockCommand(); }

void FormMain::unloadDataBlockCommand() {
    unloadingDb_ = true;
    sim_->unloadDataBlockCommand();
    unloadingDb_ = false;
}

void FormMain::loadSymbolsCommand() { sim_->loadSymbolsCommand(); }

void FormMain::saveHardwareCommand() {
    const QString path = chooseFile(FileDialogKind::SaveHardware, q(sim_->programBaseName()));
    if (!path.isEmpty()) saveHardwareFile(path.toStdString(), sim_->hardware, sim_->log);
}

void FormMain::loadHardwareCommand() {
    const QString path = chooseFile(FileDialogKind::OpenHardware, QString());
    loadHardwareFile(path.toStdString(), sim_->hardware, sim_->log, &prompt_);
    syncRack();
}

void FormMain::setInputMode(bool momentary) {
    momentary_ = momentary;
    action("mnuSwitchButton")->setChecked(!momentary);
    action("mnuPushButton")->setChecked(momentary);
    action(momentary ? "btPushButton" : "btSwitchButton")->setChecked(true);
    if (input_) input_->FreshShow();
}

void FormMain::setStayOnTop(bool on) {
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) show();
    if (!on) lower();
}

void FormMain::setRealCpuMode(bool on) {
    // The simulator checks the loaded program again and tells checkFindingsChanged.
    sim_->setRealCpu(on);
    settings_->setValue(kSimulationSection, kRealCpuKey, on ? "1" : "0");
    showRealCpuMode(on);
}

void FormMain::showRealCpuMode(bool on) {
    action("mnuRealCpu")->setChecked(on);
    rack_->setRealCpu(on);
    realCpuPanel_->setVisible(on);
    if (tc_) tc_->setRealCpu(on);
}

void FormMain::powerUpCommand() {
    sim_->scan.powerUp();
    sim_->log.stamped(" 上电复位");
    FreshShow();
}

void FormMain::showInstructions() {
    if (!instructions_) instructions_ = new InstructionsWindow(this);
    instructions_->show();
    instructions_->raise();
}

void FormMain::showPortSettings() {
    if (!port_) port_ = new FrmPort(*sim_->comm, [this] { return static_cast<int>(sim_->hardware.cpu().ports); }, this);
    port_->show();
    port_->raise();
    port_->activateWindow();
}

void FormMain::showAbout() {
    if (!about_) about_ = new AboutBox(productSite(), this);
    about_->show();
    about_->raise();
}

QUrl FormMain::productSite() {
    const QString manual = findManual();
    return manual.isEmpty() ? QUrl(QStringLiteral("https://korvane.invalid/")) : QUrl::fromLocalFile(manual);
}

void FormMain::showManual() {
    if (!manual_) {
        const QString path = findManual();
        if (path.isEmpty()) {
            QString where;
            for (const QString& p : manualCandidates()) where += QStringLiteral("\n") + QDir::toNativeSeparators(p);
            prompt_.inform((QStringLiteral("找不到用户手册 manual.md，查找过：") + where).toStdString());
            return;
        }
        manual_ = new ManualWindow(path, this);
        manual_->setAttribute(Qt::WA_DeleteOnClose);
    }
    manual_->show();
    manual_->raise();
    manual_->activateWindow();
}

QString FormMain::dialogFolder() const {
    QString last = lastProgramPath_;
    if (last.isEmpty()) {
        const auto items = recent_.menuItems();
        if (!items.empty()) last = q(items.front().path);
    }
    if (!last.isEmpty()) {
        const QString folder = QFileInfo(last).absolutePath();
        if (QFileInfo(folder).isDir()) return folder;
    }
    const QString examples = examplesFolder();
    return examples.isEmpty() ? QDir::currentPath() : examples;
}

// --- view hooks ----------------------------------------------------------------------------

void FormMain::FreshInData() {
    if (analog_) analog_->FreshInData();
    if (input_) input_->FreshInData();
}

std::optional<bool> FormMain::inputTerminal(int key) { return input_ ? input_->inputTerminal(key) : std::nullopt; }

void FormMain::FreshOutData() {
    if (analog_) analog_->FreshOutData();
}

void FormMain::FreshShow() {
    if (input_) input_->FreshShow();
    if (output_) output_->FreshShow();
    if (m_) m_->FreshShow();
    if (v_) v_->FreshShow();
    if (tc_) tc_->FreshShow();
    if (analog_) analog_->FreshShow();
    if (statusTable_ && statusTable_->isVisible()) statusTable_->FreshShow();
    if (programStatus_ && programStatus_->isVisible()) programStatus_->FreshShow();
    if (codeViewLad_) ladder_->FreshShow();
    if (objectView_ && objectView_->isVisible()) objectView_->FreshShow();
    if (timing_ && timing_->isVisible()) timing_->FreshShow();
    rack_->refreshLamps(sim_->memory);
}

void FormMain::FreshAllShow() {
    if (programStatus_) programStatus_->FreshAllShow();
    ladder_->FreshAllShow();
}

void FormMain::statusWritesApplied() {
    if (analog_) analog_->renderNow();
    if (input_) input_->renderNow();
}

void FormMain::checkFindingsChanged(const std::vector<Finding>& findings) {
    // Without a program (after an unload) there is nothing to sum up.
    statusPanels_[2]->setText(sim_->hasProgram() ? checkSummaryCaption(findings.size()) : QString());
    if (checkResults_) checkResults_->showFindings(findings);
}

void FormMain::symbolsChanged() {
    if (statusTable_) statusTable_->rebuild();
    if (programStatus_) programStatus_->FreshAllShow();
    ladder_->symbolsChanged();
}

void FormMain::captionChanged(const std::string& caption) { setWindowTitle(q(caption)); }

void FormMain::progressText(const std::string& text) { statusPanels_[2]->setText(q(text)); }

void FormMain::scanCountChanged(std::int32_t count) { rack_->setScanCount(count); }

void FormMain::runStateChanged(std::int16_t runFlag, Mode mode) {
    running_ = runFlag != 0;
    rack_->setRunning(running_);
    updateStatusLamps();
    syncRunButtons(mode);
}

void FormMain::syncRunButtons(Mode mode) {
    const char* key = nullptr;
    switch (mode) {
    case Mode::Stop: key = "btStop"; break;
    case Mode::Continuous: key = "btRun"; break;
    case Mode::OnePerSecond: key = "btSlowRun"; break;
    case Mode::SinglePass: key = "btOneRun"; break;
    case Mode::Pause: key = "btPause"; break;
    case Mode::FirstScan:
    case Mode::Counted: break;
    }
    if (key) {
        action(key)->setChecked(true);
        action("mnuSlowRun")->setChecked(mode == Mode::OnePerSecond);
    }
    action("mnuStop")->setChecked(!sim_->running());
}

void FormMain::forceIndicator(bool forced) {
    if (forced == forced_) return;
    forced_ = forced;
    updateStatusLamps();
}

void FormMain::updateStatusLamps() { rack_->setStatusLamps(running_, forced_); }

// --- exit ----------------------------------------------------------------------------------

void FormMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // The child windows are tiled once the frame has its first size.
    if (!tiled_) {
        tiled_ = true;
        autoArrangeUntil_ = QDateTime::currentMSecsSinceEpoch() + 2000;
        QTimer::singleShot(0, this, [this] {
            if (mdi_) arrangePanels();
        });
    }
}

void FormMain::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    // While the frame settles into its first (maximised) size, the layout follows it.
    if (!shutDown_ && QDateTime::currentMSecsSinceEpoch() < autoArrangeUntil_)
        QTimer::singleShot(0, this, [this] {
            if (mdi_) arrangePanels();
        });
}

void FormMain::closeEvent(QCloseEvent* e) {
    if (!shutDown_ && sim_->running() && !prompt_.ask("正在运行，真的退出？")) {
        e->ignore();
        return;
    }
    shutDown();
    e->accept();
}

void FormMain::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    recent_.update(*settings_, lastProgramPath_.toStdString());
    for (QWidget* w : std::initializer_list<QWidget*>{analog_, input_, m_, output_, tc_, v_})
        if (w)
            if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->close();
    if (about_) about_->close();
    if (manual_) manual_->close();
    if (instructions_) instructions_->close();
    for (QMainWindow* view : std::initializer_list<QMainWindow*>{statusTable_, programStatus_, objectView_, checkResults_}) {
        if (!view) continue;
        if (auto* t = qobject_cast<frmStatusTable*>(view)) t->bRealExit = true;
        if (auto* o = qobject_cast<FrmObject*>(view)) o->bRealExit = true;
        if (auto* p = qobject_cast<frmProgramStatus*>(view)) p->bRealExit = true;
        if (auto* c = qobject_cast<FrmCheckResults*>(view)) c->bRealExit = true;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget())) sub->close();
    }
}

}  // namespace korvane
