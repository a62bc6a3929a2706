#include "ui/status_views.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "sim/panel_models.h"
#include "ui/painted.h"

namespace korvane {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

void setCellText(QTableWidget* grid, int row, int column, const QString& text) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(row, column, item);
    } else if (item->text() != text) {
        item->setText(text);
    }
}

void shareWidths(QTableWidget* grid, std::initializer_list<int> percents) {
    const int w = grid->viewport()->width();
    int c = 0;
    for (int p : percents) grid->setColumnWidth(c++, std::max(w * p / 100, 24));
}

QAction* menuAction(QMainWindow* owner, QMenu* menu, const char* name, const QString& caption,
                    std::function<void()> slot, bool checkable = false) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setCheckable(checkable);
    if (slot) QObject::connect(a, &QAction::triggered, owner, [slot = std::move(slot)] { slot(); });
    menu->addAction(a);
    return a;
}
}  // namespace

void setChildOnTop(QWidget* w, bool on) {
    QWidget* target = qobject_cast<QMdiSubWindow*>(w->parentWidget()) ? w->parentWidget() : w;
    const bool visible = target->isVisible();
    target->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) target->show();
    if (!on) target->lower();
}

void hideUnlessExiting(QWidget* w, QCloseEvent* e, bool realExit) {
    if (realExit) {
        e->accept();
        return;
    }
    e->ignore();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->hide();
    else w->hide();
}

// --- CellEditor ----------------------------------------------------------------------------

void CellEditor::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: emit committed(text()); return;
    case Qt::Key_Escape: emit cancelled(false); return;
    case Qt::Key_Up: emit cancelled(true); return;
    default: QLineEdit::keyPressEvent(e);
    }
}

void CellEditor::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (isVisible()) emit cancelled(false);
}

// --- frmStatusTable ------------------------------------------------------------------------

frmStatusTable::frmStatusTable(Simulator& sim, Prompt& prompt, std::function<QString(FileKind, const QString&)> chooseFile,
                               std::function<std::optional<std::string>()> clipboard, QWidget* parent)
    : QMainWindow(parent), sim_(sim), prompt_(prompt), chooseFile_(std::move(chooseFile)), clipboard_(std::move(clipboard)) {
    setWindowTitle(QStringLiteral("监控状态表"));
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(2, 2, 2, 2);
    grid = new QTableWidget(0, 8, central);
    grid->setObjectName("gridStatus");
    grid->setHorizontalHeaderLabels({QStringLiteral("编号"), QStringLiteral("符号"), QStringLiteral("地址"),
                                     QStringLiteral("注释"), QStringLiteral("格式"), QStringLiteral("当前值"),
                                     QStringLiteral("新值"), QStringLiteral("强制")});
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setDefaultSectionSize(20);
    v->addWidget(grid, 1);
    for (const char* hint : {"提示：在地址或新值编辑时，按Esc退出编辑,回车确认。写入在扫描输入前，强制在扫描输入后及输出前。T,C二进制位为位，其他当前值",
                             "建议：为了更容易调试，建议选中S7 Micro/win中的符号表，然后复制，单击文件>粘贴符号表，或者保存到txt文本文件，再载入。"}) {
        auto* l = new QLabel(QString::fromUtf8(hint), central);
        l->setWordWrap(true);
        v->addWidget(l);
    }
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    QAction* load = menuAction(this, file, "mnuLoad", QStringLiteral("载入状态表(&L)"), [this] { loadTable(); });
    QAction* save = menuAction(this, file, "mnuSave", QStringLiteral("保存状态表(&S)"), [this] { saveTable(); });
    menuAction(this, file, "mnuPaste", QStringLiteral("粘贴符号表(&P)"), [this] { pasteSymbols(); });
    menuAction(this, file, "mnuClose", QStringLiteral("关闭窗口"), [this] { close(); });
    QMenu* rw = menuBar()->addMenu(QStringLiteral("读写(&W)"));
    QAction* once = menuAction(this, rw, "mnuReadOnce", QStringLiteral("读取一次"), [this] { readOnce(); });
    QAction* cont = menuAction(this, rw, "mnuReadContinue", QStringLiteral("连续在线读取"), [this] { toggleContinuous(); }, true);
    QAction* write = menuAction(this, rw, "mnuWriteOnce", QStringLiteral("写一次"), [this] { writeOnce(); });
    QMenu* forceMenu = rw->addMenu(QStringLiteral("强制"));
    QAction* f = menuAction(this, forceMenu, "mnuForce", QStringLiteral("强制"), [this] { force(); });
    QAction* uf = menuAction(this, forceMenu, "mnuUnForce", QStringLiteral("取消强制"), [this] { unforce(); });
    QAction* ufa = menuAction(this, forceMenu, "mnuUnForceAll", QStringLiteral("全部取消强制"), [this] { unforceAll(); });
    QMenu* edit = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    QAction* ab = menuAction(this, edit, "mnuAddBefore", QStringLiteral("增加到其后"), [this] { addBefore(); });
    QAction* al = menuAction(this, edit, "mnuAddLast", QStringLiteral("增加到最后"), [this] { addLast(); });
    QAction* del = menuAction(this, edit, "mnuDelSelect", QStringLiteral("删除所选"), [this] { deleteSelected(); });
    QMenu* win = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    menuAction(this, win, "mnuOnTop", QStringLiteral("窗口置于最前端"), [this] { stayOnTop(true); });
    menuAction(this, win, "mnuNotOnTop", QStringLiteral("取消置于最前端"), [this] { stayOnTop(false); });

    QToolBar* bar = addToolBar(QStringLiteral("状态表"));
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    struct Tool {
        const char* key;
        const char* tip;
        QAction* same;
    };
    const Tool tools[] = {{"btLoad", "", load},          {"btSave", "", save},
                          {"btReadOnce", "读取一次", once}, {"btReadContinue", "连续读取", cont},
                          {"btWriteOnce", "写一次", write}, {"btForce", "设为强制", f},
                          {"btUnForce", "取消强制", uf},    {"btUnForceAll", "取消全部强制", ufa},
                          {"btAddBefore", "在当前之前增加", ab}, {"btAddLast", "在最后增加", al},
                          {"btDelSelect", "删除选择", del}};
    for (const Tool& t : tools) {
        // A button without a tooltip of its own shows its menu item's caption.
        QString text = QString::fromUtf8(t.tip);
        if (text.isEmpty()) text = t.same->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
        auto* a = new QAction(toolIcon(QString::fromLatin1(t.key)), text, this);
        a->setObjectName(QString::fromLatin1(t.key));
        a->setCheckable(t.same->isCheckable());
        QAction* same = t.same;
        if (a->isCheckable()) connect(a, &QAction::triggered, this, [same] { same->trigger(); });
        else connect(a, &QAction::triggered, same, &QAction::trigger);
        bar->addAction(a);
    }

    editor_ = new CellEditor(grid->viewport());
    editor_->setObjectName("cellEditor");
    editor_->hide();
    formatList_ = new QComboBox(grid->viewport());
    formatList_->setObjectName("formatList");
    formatList_->hide();
    formatList_->installEventFilter(this);
    connect(grid, &QTableWidget::cellDoubleClicked, this, &frmStatusTable::editCell);
    connect(editor_, &CellEditor::cancelled, this, [this](bool up) {
        const int r = grid->currentRow(), c = grid->currentColumn();
        closeEditors();
        if (up && r > 0) grid->setCurrentCell(r - 1, c);
    });
    connect(editor_, &CellEditor::committed, this, [this](const QString& text) {
        const int r = editor_->property("row").toInt(), c = editor_->property("column").toInt();
        closeEditors();
        commitCell(r, c, text);
    });
    connect(formatList_, &QComboBox::activated, this, [this](int index) {
        const int r = formatList_->property("row").toInt();
        const int code = formatList_->itemData(index).toInt();
        closeEditors();
        if (r >= 0 && r < static_cast<int>(sim_.statusTable.size())) sim_.statusTable.setFormat(static_cast<std::size_t>(r), code);
        FreshShow();
    });

    resize(720, 300);
    sim_.statusTable.requestRead();
    rebuild();
}

QAction* frmStatusTable::action(const QString& name) const { return findChild<QAction*>(name); }

// Esc closes the format drop-down without a choice, and so does leaving it (but not for its
// own list popping up).
bool frmStatusTable::eventFilter(QObject* watched, QEvent* e) {
    if (watched == formatList_ && formatList_->isVisible()) {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            closeEditors();
            return true;
        }
        if (e->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason)
            QTimer::singleShot(0, this, [this] {
                if (!formatList_->hasFocus() && !formatList_->view()->isVisible()) {
                    formatList_->hide();
                }
            });
    }
    return QMainWindow::eventFilter(watched, e);
}

void frmStatusTable::setCell(int row, int column, const std::string& text) { setCellText(grid, row, column, q(text)); }

void frmStatusTable::renderRow(int i) {
    const StatusRow& r = sim_.statusTable.row(static_cast<std::size_t>(i));
    setCell(i, 0, StatusTable::indexCell(static_cast<std::size_t>(i)));
    setCell(i, 1, StatusTable::symbolCell(r, sim_.symbols));
    setCell(i, 2, r.address);
    setCell(i, 3, r.comment);
    setCell(i, 4, r.valid ? r.formatCell : std::string());
    setCell(i, 5, r.valid ? r.currentValueCell : std::string());
    setCell(i, 6, StatusTable::newValueCell(r));
    setCell(i, 7, StatusTable::forceCell(r));
}

void frmStatusTable::rebuild() {
    sim_.statusTable.FreshShow(sim_.memory);
    const int n = static_cast<int>(sim_.statusTable.size());
    if (grid->rowCount() != n) grid->setRowCount(n);
    for (int i = 0; i < n; ++i) renderRow(i);
}

void frmStatusTable::FreshShow() {
    const int n = static_cast<int>(sim_.statusTable.size());
    const bool changed = sim_.statusTable.FreshShow(sim_.memory);
    if (grid->rowCount() != n) {
        rebuild();
        return;
    }
    if (!changed) return;
    // A row can also become valid or invalid here (the CPU's V memory changed), which
    // shows in its new-value and force cells.
    for (int i = 0; i < n; ++i) {
        const StatusRow& r = sim_.statusTable.row(static_cast<std::size_t>(i));
        setCell(i, 4, r.valid ? r.formatCell : std::string());
        setCell(i, 5, r.valid ? r.currentValueCell : std::string());
        setCell(i, 6, StatusTable::newValueCell(r));
        setCell(i, 7, StatusTable::forceCell(r));
    }
}

void frmStatusTable::closeEditors() {
    editor_->hide();
    formatList_->hide();
    grid->setFocus();
}

void frmStatusTable::editCell(int row, int column) {
    if (row < 0 || row >= static_cast<int>(sim_.statusTable.size())) return;
    const StatusRow& r = sim_.statusTable.row(static_cast<std::size_t>(row));
    const QRect rect = grid->visualItemRect(grid->item(row, column));
    grid->setCurrentCell(row, column);
    switch (column) {
    case 1:
    case 2:
    case 3:
    case 6: {
        editor_->setProperty("row", row);
        editor_->setProperty("column", column);
        editor_->setGeometry(rect);
        editor_->setText(grid->item(row, column) ? grid->item(row, column)->text() : QString());
        editor_->selectAll();
        editor_->show();
        editor_->setFocus();
        break;
    }
    case 4: {
        if (!r.valid) return;
        formatList_->clear();
        for (int code : formatsFor(r.kind)) formatList_->addItem(QString::fromUtf8(formatName(code)), code);
        formatList_->setCurrentIndex(std::max(formatList_->findText(q(r.formatCell)), 0));
        formatList_->setProperty("row", row);
        formatList_->setGeometry(rect);
        formatList_->show();
        formatList_->setFocus();
        break;
    }
    case 7:
        if (!r.valid) return;
        sim_.statusTable.toggleForce(static_cast<std::size_t>(row));
        renderRow(row);
        break;
    default: break;
    }
}

void frmStatusTable::commitCell(int row, int column, const QString& text) {
    StatusTable& t = sim_.statusTable;
    if (row < 0 || row >= static_cast<int>(t.size())) return;
    const auto i = static_cast<std::size_t>(row);
    const std::string s = text.toStdString();
    switch (column) {
    case 1: t.setSymbol(i, s); break;
    case 2: t.setAddress(i, s); break;
    case 3: t.setComment(i, s); break;
    case 6:
        if (t.enterNewValue(i, s) == StatusTable::NewValue::Rejected) prompt_.inform(kMsgNewValueOutOfRange);
        break;
    default: return;
    }
    t.requestRead();
    t.FreshShow(sim_.memory);
    renderRow(row);
    grid->setFocus();
    grid->setCurrentCell(row, std::min(column + 1, 7));
}

void frmStatusTable::readOnce() {
    sim_.statusTable.readOnce();
    action("mnuReadContinue")->setChecked(false);
    action("btReadContinue")->setChecked(false);
    FreshShow();
}

void frmStatusTable::toggleContinuous() {
    sim_.statusTable.toggleContinuous();
    const bool on = sim_.statusTable.continuousReading();
    action("mnuReadContinue")->setChecked(on);
    action("btReadContinue")->setChecked(on);
}

void frmStatusTable::writeOnce() {
    sim_.statusWriteOnce();
    FreshShow();
}

void frmStatusTable::force() {
    const int r = grid->currentRow();
    if (r < 0 || r >= static_cast<int>(sim_.statusTable.size())) return;
    sim_.statusTable.force(static_cast<std::size_t>(r));
    renderRow(r);
}

void frmStatusTable::unforce() {
    const int r = grid->currentRow();
    if (r < 0 || r >= static_cast<int>(sim_.statusTable.size())) return;
    sim_.statusTable.unforce(static_cast<std::size_t>(r));
    renderRow(r);
}

void frmStatusTable::unforceAll() {
    sim_.statusTable.unforceAll();
    rebuild();
}

void frmStatusTable::addBefore() {
    const int r = std::max(grid->currentRow(), 0);
    sim_.statusTable.insertBefore(static_cast<std::size_t>(r));
    rebuild();
}

void frmStatusTable::addLast() {
    sim_.statusTable.append();
    rebuild();
}

void frmStatusTable::deleteSelected() {
    const int r = std::max(grid->currentRow(), 0);
    if (r >= static_cast<int>(sim_.statusTable.size())) return;
    sim_.statusTable.removeRow(static_cast<std::size_t>(r));
    rebuild();
}

void frmStatusTable::loadTable() {
    const QString path = chooseFile_ ? chooseFile_(FileKind::Open, QString()) : QString();
    if (path.isEmpty()) return;
    sim_.statusTable.loadFile(path.toStdString(), sim_.log);
    sim_.statusTable.requestRead();
    rebuild();
}

void frmStatusTable::saveTable() {
    const QString path = chooseFile_ ? chooseFile_(FileKind::Save, q(sim_.programBaseName())) : QString();
    if (path.isEmpty()) return;
    sim_.statusTable.saveFile(path.toStdString(), sim_.log);
}

void frmStatusTable::pasteSymbols() {
    sim_.statusTable.pasteSymbolTable(clipboard_ ? clipboard_() : std::nullopt, &prompt_);
    sim_.statusTable.requestRead();
    rebuild();
}

void frmStatusTable::stayOnTop(bool on) { setChildOnTop(this, on); }

void frmStatusTable::closeEvent(QCloseEvent* e) {
    hideUnlessExiting(this, e, bRealExit);
}

void frmStatusTable::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    // The grid gets its new size from the layout after this event.
    QTimer::singleShot(0, this, [this] { shareWidths(grid, {4, 10, 10, 21, 13, 13, 13, 13}); });
}

// --- frmProgramStatus ----------------------------------------------------------------------

frmProgramStatus::frmProgramStatus(Simulator& sim, QWidget* parent) : QMainWindow(parent), sim_(sim) {
    setWindowTitle(QStringLiteral("监控程序"));
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("当前状态"), central));
    txtState = new QLineEdit(QStringLiteral("停止"), central);
    txtState->setObjectName("txtState");
    txtState->setReadOnly(true);
    txtState->setMaximumWidth(80);
    top->addWidget(txtState);
    top->addWidget(new QLabel(QStringLiteral("当前扫描次数"), central));
    txtCount = new QLineEdit(QStringLiteral(" 0"), central);
    txtCount->setObjectName("txtCount");
    txtCount->setReadOnly(true);
    txtCount->setMaximumWidth(100);
    top->addWidget(txtCount);
    top->addStretch();
    v->addLayout(top);
    grid = new QTableWidget(1, 8, central);
    grid->setObjectName("gridProgram");
    grid->setHorizontalHeaderLabels({QStringLiteral("行号"), QStringLiteral("STL指令"), QStringLiteral("参数个数"),
                                     QStringLiteral("操作数1"), QStringLiteral("操作数2"), QStringLiteral("操作数3"),
                                     QStringLiteral("堆栈0123"), QStringLiteral("前端使能")});
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->setDefaultSectionSize(20);
    v->addWidget(grid, 1);
    setCentralWidget(central);
    freezeFirstColumn();

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    menuAction(this, file, "mnuClose", QStringLiteral("关闭"), [this] { close(); });
    QMenu* win = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    auto* group = new QActionGroup(this);
    QAction* onTop = menuAction(this, win, "mnuOnTop", QStringLiteral("窗口置于最前端"), [this] { setChildOnTop(this, true); }, true);
    QAction* normal = menuAction(this, win, "mnuNotOnTop", QStringLiteral("取消置于最前端"), [this] { setChildOnTop(this, false); }, true);
    group->addAction(onTop);
    group->addAction(normal);
    resize(720, 360);
    FreshAllShow();
}

QAction* frmProgramStatus::action(const QString& name) const { return findChild<QAction*>(name); }

void frmProgramStatus::setCell(int row, int column, const std::string& text) { setCellText(grid, row, column, q(text)); }

// A grid row per program line; the header is the grid's own header row, so line i is row i.
// Another program (other lines, or another number of them) empties the columns 2 to 7, so
// that no value of the old program stands beside a line of the new one; the same program
// loaded again keeps them until the next refresh after a pass. With a symbol table the
// lines show their operands as "symbol:address"; other symbols count as other lines.
void frmProgramStatus::FreshAllShow() {
    const auto& table = sim_.program.CodeTable;
    const int n = static_cast<int>(table.size());
    bool another = grid->rowCount() != n;
    std::vector<QString> texts(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        texts[k] = q(withSymbols(sim_.program.sourceText(i), sim_.symbols));
        if (another) continue;
        const QTableWidgetItem* source = grid->item(i, 1);
        another = !source || source->text() != texts[k];
    }
    if (grid->rowCount() != n) grid->setRowCount(n);
    if (another) {
        shown_.assign(static_cast<std::size_t>(n), ShownStatus{});
        for (int i = 0; i < n; ++i)
            for (int c = 2; c <= 7; ++c)
                if (grid->item(i, c)) setCellText(grid, i, c, QString());
    }
    const std::int32_t count = sim_.interpreter.scanCounter;
    const bool counted = count > 0;
    for (int i = 0; i < n; ++i) {
        const CodeLine& line = table[static_cast<std::size_t>(i)];
        setCell(i, 0, blankSignedText(i));
        setCellText(grid, i, 1, texts[static_cast<std::size_t>(i)]);
        if (counted && lineStatus(sim_.program, i).shown) setCell(i, 2, blankSignedText(line.operandCount()));
    }
    countedRebuild_ = counted;
    lastCount_ = count;
}

void frmProgramStatus::showStatus(int row, const LineStatus& line) {
    ShownStatus& s = shown_[static_cast<std::size_t>(row)];
    if (!line.shown) {
        if (s.known && !s.hasStatus) return;
        // Emptied without comparing: a block, network or declaration line shows nothing.
        for (int c = 3; c <= 7; ++c)
            if (grid->item(row, c)) setCellText(grid, row, c, QString());
        s = ShownStatus{};
        s.known = true;
        return;
    }
    const int operands = line.operands;
    if (s.known && s.hasStatus && s.operands == operands && s.value == line.value && s.kind == line.kind &&
        s.stack == line.stack && s.flow == line.flowBefore)
        return;
    for (int k = 0; k < 3 && k < operands; ++k)
        if (auto text = statusValueText(line.kind[static_cast<std::size_t>(k)], line.value[static_cast<std::size_t>(k)]))
            setCell(row, 3 + k, *text);
    setCell(row, 6, std::string(line.stack.data(), line.stack.size()));
    setCell(row, 7, line.flowBefore ? "True" : "False");
    s.known = true;
    s.hasStatus = true;
    s.operands = operands;
    s.value = line.value;
    s.kind = line.kind;
    s.stack = line.stack;
    s.flow = line.flowBefore;
}

void frmProgramStatus::FreshShow() {
    const QString state = sim_.running() ? QStringLiteral("运行") : QStringLiteral("停止");
    if (txtState->text() != state) txtState->setText(state);
    const std::int32_t count = sim_.interpreter.scanCounter;
    const QString countText = QString::fromStdString(blankSignedText(count));
    if (txtCount->text() != countText) txtCount->setText(countText);
    // A counter below the last one seen: a new run (or a wrap), whose rebuild is still due.
    if (count < lastCount_ || count <= 0) countedRebuild_ = false;
    lastCount_ = count;
    if (count <= 0) return;
    if (count >= 2 && !countedRebuild_) FreshAllShow();
    const auto& table = sim_.program.CodeTable;
    const int n = std::min({static_cast<int>(table.size()), grid->rowCount(), static_cast<int>(shown_.size())});
    for (int i = 0; i < n; ++i) showStatus(i, lineStatus(sim_.program, i));
}

// The grid's first column, drawn a second time by a view over the grid's left edge that
// shares its model and selection and scrolls with it up and down, never sideways.
void frmProgramStatus::freezeFirstColumn() {
    frozen = new QTableView(grid);
    frozen->setObjectName("gridProgramFrozen");
    frozen->setModel(grid->model());
    frozen->setSelectionModel(grid->selectionModel());
    frozen->setFocusPolicy(Qt::NoFocus);
    frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    frozen->verticalHeader()->hide();
    frozen->verticalHeader()->setDefaultSectionSize(grid->verticalHeader()->defaultSectionSize());
    frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    for (int c = 1; c < grid->columnCount(); ++c) frozen->setColumnHidden(c, true);
    grid->viewport()->stackUnder(frozen);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    frozen->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column != 0) return;
        frozen->setColumnWidth(0, size);
        placeFrozenColumn();
    });
    connect(grid->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { frozen->setRowHeight(row, size); });
    connect(frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, grid->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(grid->verticalScrollBar(), &QAbstractSlider::valueChanged, frozen->verticalScrollBar(), &QAbstractSlider::setValue);
    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
    frozen->show();
    placeFrozenColumn();
}

void frmProgramStatus::placeFrozenColumn() {
    frozen->setColumnWidth(0, grid->columnWidth(0));
    frozen->horizontalHeader()->setFixedHeight(grid->horizontalHeader()->height());
    frozen->setGeometry(grid->frameWidth(), grid->frameWidth(), grid->columnWidth(0),
                        grid->viewport()->height() + grid->horizontalHeader()->height());
}

bool frmProgramStatus::eventFilter(QObject* watched, QEvent* e) {
    if ((watched == grid || watched == grid->viewport()) && e->type() == QEvent::Resize) placeFrozenColumn();
    return QMainWindow::eventFilter(watched, e);
}

void frmProgramStatus::closeEvent(QCloseEvent* e) {
    hideUnlessExiting(this, e, bRealExit);
}

void frmProgramStatus::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    QTimer::singleShot(0, this, [this] { shareWidths(grid, {5, 25, 10, 12, 12, 12, 10, 12}); });
}

}  // namespace korvane
