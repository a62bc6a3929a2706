#include "ui/object_view.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "objectlink/object_view_model.h"
#include "ui/status_views.h"

namespace korvane {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

constexpr std::array<int, objectview::kColumns> kWidths = {6, 7, 12, 17, 17, 12, 12};

QLineEdit* field(QWidget* parent, const QString& name, int width) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setFixedWidth(width);
    e->setAlignment(Qt::AlignRight);
    return e;
}

QAction* menuItem(QMainWindow* owner, QMenu* menu, const char* name, const QString& caption,
                  std::function<void()> slot, bool checkable = false) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setCheckable(checkable);
    QObject::connect(a, &QAction::triggered, owner, [slot = std::move(slot)] { slot(); });
    menu->addAction(a);
    return a;
}

}  // namespace

FrmObject::FrmObject(ObjectLink& link, const Log& log, std::function<void(const QString&)> statusText, QWidget* parent)
    : QMainWindow(parent), link_(link), log_(log), statusText_(std::move(statusText)) {
    setWindowTitle(QString::fromUtf8(objectview::kCaption));

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    menuItem(this, file, "mnuClose", QStringLiteral("关闭"), [this] { close(); });
    QMenu* op = menuBar()->addMenu(QStringLiteral("操作(&O)"));
    menuItem(this, op, "mnuDisconnect", QStringLiteral("断开对象"), [this] {
        link_.Disconnect();
        FreshShow();
    });
    QMenu* win = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    auto* group = new QActionGroup(this);
    group->addAction(menuItem(this, win, "mnuNotOnTop", QStringLiteral("取消置于最前面"), [this] { setChildOnTop(this, false); }, true));
    group->addAction(menuItem(this, win, "mnuOnTop", QStringLiteral("窗口置于最前面"), [this] { setChildOnTop(this, true); }, true));

    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(6, 4, 6, 4);
    v->setSpacing(3);
    v->addWidget(new QLabel(QStringLiteral("交互数据"), central));

    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* counts = new QGroupBox(QStringLiteral("对象与控制器交换点数"), central);
    auto* cg = new QGridLayout(counts);
    const char* countLabels[4] = {"到控制器数字量", "到控制器模拟量", "到对象数字量", "到对象模拟量"};
    const char* countNames[4] = {"txtDICount", "txtAICount", "txtDOCount", "txtAOCount"};
    for (int i = 0; i < 4; ++i) {
        cg->addWidget(new QLabel(QString::fromUtf8(countLabels[i]), counts), i / 2, 2 * (i % 2));
        txtCount[static_cast<std::size_t>(i)] = field(counts, QString::fromLatin1(countNames[i]), 44);
        cg->addWidget(txtCount[static_cast<std::size_t>(i)], i / 2, 2 * (i % 2) + 1);
    }
    left->addWidget(counts);
    auto bytes = [&](const QString& title, const char* prefix, std::array<QLineEdit*, 8>& out) {
        auto* g = new QGroupBox(title, central);
        auto* h = new QHBoxLayout(g);
        h->setSpacing(2);
        for (int j = 0; j < 8; ++j) {
            out[static_cast<std::size_t>(j)] = field(g, QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(j), 30);
            h->addWidget(out[static_cast<std::size_t>(j)]);
        }
        h->addStretch();
        left->addWidget(g);
    };
    bytes(QStringLiteral("到控制器数字量16进制8位"), "txtDI", txtDI);
    bytes(QStringLiteral("到对象数字量,16进制8位"), "txtDO", txtDO);
    top->addLayout(left);

    auto* analog = new QGroupBox(QStringLiteral("模拟量点"), central);
    auto* ag = new QGridLayout(analog);
    ag->setHorizontalSpacing(4);
    ag->setVerticalSpacing(1);
    ag->addWidget(new QLabel(QStringLiteral("到控制器"), analog), 0, 1);
    ag->addWidget(new QLabel(QStringLiteral("到对象"), analog), 0, 3);
    for (int k = 0; k < 16; ++k) {
        const int row = 1 + k % 8;
        txtAI[static_cast<std::size_t>(k)] = field(analog, QStringLiteral("txtAI%1").arg(k), 62);
        txtAO[static_cast<std::size_t>(k)] = field(analog, QStringLiteral("txtAO%1").arg(k), 62);
        auto* l = new QLabel(QString::number(k), analog);
        ag->addWidget(l, row, k < 8 ? 0 : 4);
        ag->addWidget(txtAI[static_cast<std::size_t>(k)], row, k < 8 ? 1 : 5);
        ag->addWidget(txtAO[static_cast<std::size_t>(k)], row, k < 8 ? 3 : 7);
    }
    ag->addWidget(new QLabel(QStringLiteral("到控制器"), analog), 0, 5);
    ag->addWidget(new QLabel(QStringLiteral("到对象"), analog), 0, 7);
    top->addWidget(analog, 1);
    v->addLayout(top);

    v->addWidget(new QLabel(QStringLiteral("IO点位与硬件对应表,组态与程序一定要一一核对"), central));
    grid = new QTableWidget(4, objectview::kColumns, central);
    grid->setObjectName("grid");
    grid->setHorizontalHeaderLabels({QStringLiteral("编号"), QStringLiteral("类型"), QStringLiteral("IO属性"),
                                     QStringLiteral("点位名"), QStringLiteral("模块序号"), QStringLiteral("模块IO位"),
                                     QStringLiteral("当前值")});
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < 4; ++r) setCell(r, 0, " " + std::to_string(r + 1));
    v->addWidget(grid, 1);
    auto* hint = new QLabel(QStringLiteral("按照可用的IO点连续分配给对象。例如CPU224,14DI/10DO。如果对象要16DI/16DO,则分配DI14-DI15，DO11-DO15到后续的IO模块"),
                            central);
    hint->setObjectName("lbHint");
    hint->setWordWrap(true);
    v->addWidget(hint);
    setCentralWidget(central);
    resize(720, 560);
    action("mnuNotOnTop")->setChecked(true);

    FreshAllShow();
    FreshShow();
}

QAction* FrmObject::action(const QString& name) const { return findChild<QAction*>(name, Qt::FindDirectChildrenOnly); }

void FrmObject::setField(QLineEdit* e, const std::string& text) {
    const QString t = q(text);
    if (e->text() != t) e->setText(t);
}

void FrmObject::setCell(int row, int column, const std::string& text) {
    const QString t = q(text);
    QTableWidgetItem* it = grid->item(row, column);
    if (!it) {
        if (t.isEmpty()) return;
        grid->setItem(row, column, new QTableWidgetItem(t));
        return;
    }
    if (it->text() != t) it->setText(t);
}

void FrmObject::FreshAllShow() {
    using namespace objectview;
    for (PointKind k : {PointKind::DI, PointKind::AI, PointKind::DO, PointKind::AO})
        setField(txtCount[static_cast<std::size_t>(k)], countText(link_.count(k)));
    action("mnuDisconnect")->setEnabled(link_.inputsFromObject());
    const std::vector<Row> rows = objectview::rows(link_);
    if (grid->rowCount() != static_cast<int>(rows.size())) grid->setRowCount(static_cast<int>(rows.size()));
    std::string report;
    for (std::size_t v = 0; v < rows.size(); ++v) {
        const int r = static_cast<int>(v);
        const ObjectPoint& p = link_.points(rows[v].kind)[static_cast<std::size_t>(rows[v].index)];
        setCell(r, 0, countText(r));
        setCell(r, 1, typeText(rows[v].kind));
        setCell(r, 2, kindText(rows[v].kind));
        setCell(r, 3, p.name);
        const std::string module = moduleText(rows[v].kind, p);
        const QTableWidgetItem* it = grid->item(r, 4);
        if (module == kMissing && (!it || it->text() != QString::fromUtf8(kMissing)))
            report += "\r\n" + p.name + kUnassignableSuffix;
        setCell(r, 4, module);
        setCell(r, 5, addressText(rows[v].kind, p));
    }
    if (!report.empty()) {
        log_.plain(report);
        if (statusText_) statusText_(QString::fromUtf8(kStatusUnassignable));
    }
}

void FrmObject::emptyGrid() {
    if (grid->rowCount() != 4) grid->setRowCount(4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < objectview::kColumns; ++c) setCell(r, c, std::string());
}

void FrmObject::FreshShow() {
    using namespace objectview;
    if (!link_.inputsFromObject()) {
        for (auto* list : {&txtDI, &txtDO})
            for (QLineEdit* e : *list) setField(e, {});
        for (auto* list : {&txtAI, &txtAO})
            for (QLineEdit* e : *list) setField(e, {});
        emptyGrid();
        return;
    }
    for (int j = 0; j < 8; ++j) setField(txtDI[static_cast<std::size_t>(j)], hexByteText(link_.points(PointKind::DI), j));
    for (int k = 0; k < 16; ++k)
        setField(txtAI[static_cast<std::size_t>(k)], analogFieldText(link_.point(PointKind::AI, k).value));
    for (int j = 0; j < 8; ++j) setField(txtDO[static_cast<std::size_t>(j)], hexByteText(link_.points(PointKind::DO), j));
    for (int k = 0; k < 16; ++k)
        setField(txtAO[static_cast<std::size_t>(k)], analogFieldText(link_.point(PointKind::AO, k).value));
    const std::vector<Row> rows = objectview::rows(link_);
    if (grid->rowCount() != static_cast<int>(rows.size())) grid->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t v = 0; v < rows.size(); ++v) {
        const ObjectPoint& p = link_.points(rows[v].kind)[static_cast<std::size_t>(rows[v].index)];
        const bool analog = rows[v].kind == PointKind::AI || rows[v].kind == PointKind::AO;
        if (analog && !p.assigned()) setCell(static_cast<int>(v), 5, std::string());
        setCell(static_cast<int>(v), 6, gridValueText(rows[v].kind, p));
    }
}

void FrmObject::closeEvent(QCloseEvent* e) { hideUnlessExiting(this, e, bRealExit); }

void FrmObject::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    QTimer::singleShot(0, this, [this] {
        const int w = grid->viewport()->width();
        for (int c = 0; c < objectview::kColumns; ++c)
            grid->setColumnWidth(c, std::max(w * kWidths[static_cast<std::size_t>(c)] / 100, 24));
    });
}

void FrmObject::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    FreshAllShow();
    FreshShow();
}

}  // namespace korvane
