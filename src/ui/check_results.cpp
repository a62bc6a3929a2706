#include "ui/check_results.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMenuBar>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/status_views.h"

namespace korvane {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

QTableWidgetItem* cellItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
}  // namespace

QString checkSummaryCaption(std::size_t count) { return q(checkSummaryText(count)).trimmed(); }

FrmCheckResults::FrmCheckResults(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("程序检查结果"));
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(4, 4, 4, 4);
    summary = new QLabel(checkSummaryCaption(0), central);
    summary->setObjectName("lblSummary");
    v->addWidget(summary);
    grid = new QTableWidget(0, 3, central);
    grid->setObjectName("gridFindings");
    grid->setHorizontalHeaderLabels({QStringLiteral("行号"), QStringLiteral("程序行"), QStringLiteral("问题")});
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setWordWrap(false);
    v->addWidget(grid, 1);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    auto* close = new QAction(QStringLiteral("关闭"), this);
    close->setObjectName("mnuClose");
    connect(close, &QAction::triggered, this, &QWidget::close);
    file->addAction(close);

    // A click chooses the row; so does Enter, which the view reports as an activation.
    connect(grid, &QTableWidget::cellClicked, this, [this](int row, int) { choose(row); });
    connect(grid, &QAbstractItemView::activated, this, [this](const QModelIndex& index) { choose(index.row()); });
    resize(620, 280);
}

void FrmCheckResults::showFindings(const std::vector<Finding>& findings) {
    summary->setText(checkSummaryCaption(findings.size()));
    const int n = static_cast<int>(findings.size());
    grid->clearContents();
    grid->setRowCount(n);
    lines_.clear();
    lines_.reserve(findings.size());
    for (int i = 0; i < n; ++i) {
        const Finding& f = findings[static_cast<std::size_t>(i)];
        const QString text = q(f.text);
        // A warning reads as in the log: the program runs here, but would not on the CPU.
        const QString message = (f.warning ? QStringLiteral("警告，") : QString()) + q(findingMessage(f));
        grid->setItem(i, 0, cellItem(QString::number(f.fileLine)));
        grid->setItem(i, 1, cellItem(text));
        grid->setItem(i, 2, cellItem(message));
        // A long line or message cut at the column's edge reads in full as a tip.
        grid->item(i, 1)->setToolTip(text);
        grid->item(i, 2)->setToolTip(message);
        lines_.push_back(f.line);
    }
    grid->resizeColumnToContents(0);
    grid->resizeColumnToContents(1);
    grid->setColumnWidth(0, std::max(grid->columnWidth(0), 48));
    grid->setColumnWidth(1, std::clamp(grid->columnWidth(1), 120, 300));
}

void FrmCheckResults::choose(int row) {
    if (row < 0 || row >= static_cast<int>(lines_.size())) return;
    emit lineChosen(lines_[static_cast<std::size_t>(row)]);
}

void FrmCheckResults::closeEvent(QCloseEvent* e) { hideUnlessExiting(this, e, bRealExit); }

}  // namespace korvane
