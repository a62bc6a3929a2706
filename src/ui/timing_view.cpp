#include "ui/timing_view.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "korvane_version.h"
#include "sim/vcd_writer.h"

namespace korvane {

namespace {

constexpr std::int64_t kMinSpanMs = 1'000;
constexpr std::int64_t kMaxSpanMs = SignalRecorder::kKeepMs;
constexpr int kSpanChoices[] = {10, 30, 60, 120, 300, 600};  // "时间窗", seconds
constexpr int kScrollUnitMs = 10;

const QColor kBackground(22, 24, 28);
const QColor kLabelBackground(38, 41, 47);
const QColor kSelectedLabel(58, 74, 104);
const QColor kGrid(58, 62, 70);
const QColor kSeparator(48, 52, 58);
const QColor kText(222, 226, 232);
const QColor kDimText(150, 156, 166);
const QColor kBitColor(64, 222, 120);
const QColor kWordColors[] = {QColor(90, 200, 250), QColor(250, 204, 80), QColor(236, 120, 220), QColor(255, 150, 80)};

int laneHeight(const TraceSignal& s) { return s.isBit() ? TimingChart::kBitLane : TimingChart::kWordLane; }

// A grid step of 1, 2 or 5 times a power of ten giving at most about ten lines in the span.
std::int64_t gridStep(std::int64_t spanMs) {
    for (std::int64_t decade = 10;; decade *= 10)
        for (std::int64_t m : {1, 2, 5})
            if (spanMs / (m * decade) <= 10) return m * decade;
}

QString secondsText(std::int64_t ms, std::int64_t step) {
    const double s = static_cast<double>(ms) / 1000.0;
    return QString::number(s, 'f', step < 100 ? 2 : step < 1000 ? 1 : 0);
}

QString spanText(std::int64_t ms) {
    if (ms % 1000 == 0) return QStringLiteral("%1 秒").arg(ms / 1000);
    return QStringLiteral("%1 秒").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

}  // namespace

// --- the chart ----------------------------------------------------------------------------

TimingChart::TimingChart(TimingView& view) : view_(view) {
    setObjectName(QStringLiteral("chart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

TimingChart::Frame TimingChart::frame() const {
    // Until a span has passed the chart fills from 0 to the right; then it rolls.
    const std::int64_t span = view_.spanMs();
    const std::int64_t now = view_.endMs();
    const std::int64_t end = std::max(now, span);
    return {now, end - span, end, kLabelWidth + 1, width() - 6};
}

std::optional<std::int64_t> TimingChart::cursorMs() const {
    const Frame fr = frame();
    if (!cursorX_ || *cursorX_ < fr.plotLeft || *cursorX_ > fr.plotRight) return std::nullopt;
    const double perPixel = static_cast<double>(fr.end - fr.start) / std::max(1, fr.plotRight - fr.plotLeft);
    const std::int64_t t = fr.start + std::llround(static_cast<double>(*cursorX_ - fr.plotLeft) * perPixel);
    if (t > fr.now) return std::nullopt;
    return t;
}

int TimingChart::laneAt(QPoint p) const {
    int y = 0;
    const SignalRecorder& rec = view_.recorder_;
    for (std::size_t i = 0; i < rec.size(); ++i) {
        const int h = laneHeight(rec.signal(i));
        if (p.y() >= y && p.y() < y + h) return static_cast<int>(i);
        y += h;
    }
    return -1;
}

void TimingChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.fillRect(QRect(0, 0, kLabelWidth, height()), kLabelBackground);
    const SignalRecorder& rec = view_.recorder_;
    const std::int64_t span = view_.spanMs();
    const Frame fr = frame();
    const std::int64_t now = fr.now, start = fr.start, end = fr.end;
    const int plotLeft = fr.plotLeft, plotRight = fr.plotRight;
    // The labels show the values at the cursor while there is one, else at the right edge.
    const std::optional<std::int64_t> cursor = cursorMs();
    const double plotWidth = std::max(1, plotRight - plotLeft);
    auto toX = [&](std::int64_t ms) {
        return plotLeft + static_cast<double>(ms - start) * plotWidth / static_cast<double>(span);
    };

    QFont font = p.font();
    QFont small = font;
    small.setPointSizeF(font.pointSizeF() * 0.85);
    QFont bold = font;
    bold.setBold(true);

    // Lanes.
    int lanesHeight = 0;
    for (std::size_t i = 0; i < rec.size(); ++i) lanesHeight += laneHeight(rec.signal(i));
    const int axisTop = std::max(lanesHeight, height() - kAxisHeight);

    // The time grid over every lane and the axis under them.
    const std::int64_t step = gridStep(span);
    p.setFont(small);
    for (std::int64_t t = (start + step - 1) / step * step; t <= end; t += step) {
        const int x = static_cast<int>(std::lround(toX(t)));
        if (x < plotLeft) continue;
        p.setPen(QPen(kGrid, 1, Qt::DotLine));
        p.drawLine(x, 0, x, axisTop);
        p.setPen(kDimText);
        p.drawLine(x, axisTop, x, axisTop + 4);
        const QString label = secondsText(t, step);
        const int w = p.fontMetrics().horizontalAdvance(label);
        const int labelLeft = std::max(plotLeft + 2, std::min(x - w / 2, plotRight - w));
        p.drawText(QRect(labelLeft, axisTop + 5, w + 2, kAxisHeight - 5), Qt::AlignLeft | Qt::AlignTop, label);
    }
    p.setPen(kDimText);
    p.drawLine(plotLeft, axisTop, plotRight, axisTop);
    p.drawText(QRect(8, axisTop + 3, kLabelWidth - 12, kAxisHeight - 4), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("时间（秒）"));

    if (rec.size() == 0) {
        p.setFont(font);
        p.setPen(kDimText);
        p.drawText(QRect(plotLeft, 0, plotRight - plotLeft, axisTop), Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("在上方输入地址（如 I0.0、Q0.1、T37、VW0）后按“添加”，\n最多 16 个信号"));
        return;
    }

    int y = 0;
    int wordIndex = 0;
    for (std::size_t i = 0; i < rec.size(); ++i) {
        const TraceSignal& s = rec.signal(i);
        const int h = laneHeight(s);
        const QRect label(0, y, kLabelWidth, h);
        if (static_cast<int>(i) == view_.selectedLane()) p.fillRect(label, kSelectedLabel);
        p.setPen(kSeparator);
        p.drawLine(0, y + h - 1, plotRight, y + h - 1);

        const auto& changes = rec.changes(i);
        const auto shown = rec.valueAt(i, cursor.value_or(now));
        // The label: the address, and its value at the right edge.
        p.setFont(bold);
        p.setPen(kText);
        p.drawText(label.adjusted(8, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(s.name));
        p.setFont(font);
        p.setPen(s.isBit() ? kBitColor : kWordColors[wordIndex % 4]);
        p.drawText(label.adjusted(8, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter,
                   shown ? QString::fromStdString(signalText(s, *shown)) : QStringLiteral("—"));

        // The trace: from the value at the left edge (or the first change after it) to the
        // right edge, where the last value holds.
        const int top = y + (s.isBit() ? 6 : 14), bottom = y + h - (s.isBit() ? 6 : 10);
        auto first = std::upper_bound(changes.begin(), changes.end(), start,
                                      [](std::int64_t t, const SignalRecorder::Change& c) { return t < c.ms; });
        auto last = std::upper_bound(first, changes.end(), now,
                                     [](std::int64_t t, const SignalRecorder::Change& c) { return t < c.ms; });
        std::optional<std::uint32_t> initial;
        if (first != changes.begin()) initial = std::prev(first)->value;
        if (!initial && first == last) {
            y += h;
            if (!s.isBit()) ++wordIndex;
            continue;
        }
        double lo = 0, hi = 1;
        if (!s.isBit()) {
            lo = hi = signalNumber(s, initial ? *initial : first->value);
            for (auto it = first; it != last; ++it) {
                const double v = signalNumber(s, it->value);
                lo = std::min(lo, v), hi = std::max(hi, v);
            }
            if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
            if (hi == lo) lo -= 1, hi += 1;
        }
        auto toY = [&](std::uint32_t pattern) {
            double v = s.isBit() ? (pattern ? 1.0 : 0.0) : signalNumber(s, pattern);
            if (!std::isfinite(v)) v = lo;
            return bottom - (v - lo) / (hi - lo) * (bottom - top);
        };
        QPainterPath path;
        std::uint32_t held = initial ? *initial : first->value;
        double x0 = initial ? plotLeft : toX(first->ms);
        path.moveTo(x0, toY(held));
        // Changes that fall on one pixel column are drawn as one vertical stroke.
        int column = static_cast<int>(std::floor(x0));
        double colLo = toY(held), colHi = colLo;
        bool open = false;
        auto flush = [&] {
            if (!open) return;
            path.lineTo(column, colLo);
            path.lineTo(column, colHi);
            path.lineTo(column, toY(held));
            open = false;
        };
        for (auto it = first; it != last; ++it) {
            const int x = static_cast<int>(std::floor(toX(it->ms)));
            const double yPrev = toY(held), yNew = toY(it->value);
            if (x != column || !open) {
                flush();
                path.lineTo(x, yPrev);
                column = x;
                colLo = std::min(yPrev, yNew), colHi = std::max(yPrev, yNew);
                open = true;
            } else {
                colLo = std::min(colLo, yNew), colHi = std::max(colHi, yNew);
            }
            held = it->value;
        }
        flush();
        const double xNow = std::min<double>(plotRight, toX(now));
        path.lineTo(xNow, toY(held));

        p.setRenderHint(QPainter::Antialiasing, false);
        const QColor color = s.isBit() ? kBitColor : kWordColors[wordIndex % 4];
        if (s.isBit()) {
            // High stretches lightly filled, as a logic analyzer shows them.
            QPainterPath fill = path;
            fill.lineTo(xNow, bottom);
            fill.lineTo(x0, bottom);
            fill.closeSubpath();
            QColor f = color;
            f.setAlpha(40);
            p.fillPath(fill, f);
        }
        p.setPen(QPen(color, 1.6));
        p.drawPath(path);
        if (!s.isBit()) {
            // The value axis of the lane: its top and bottom values.
            p.setFont(small);
            p.setPen(kDimText);
            auto number = [&](double v) {
                return s.isReal() ? QString::number(v, 'g', 5) : QString::number(static_cast<qint64>(std::llround(v)));
            };
            p.drawText(QRect(plotLeft + 3, y + 1, 120, 13), Qt::AlignLeft | Qt::AlignTop, number(hi));
            p.drawText(QRect(plotLeft + 3, bottom - 1, 120, 12), Qt::AlignLeft | Qt::AlignTop, number(lo));
            ++wordIndex;
        }
        y += h;
    }

    if (cursor) {
        // The cursor line, its time in a box on the axis.
        const int x = *cursorX_;
        p.setPen(QPen(QColor(240, 240, 240, 170), 1, Qt::DashLine));
        p.drawLine(x, 0, x, axisTop);
        p.setFont(small);
        const QString label = QStringLiteral("%1 s").arg(static_cast<double>(*cursor) / 1000.0, 0, 'f', 3);
        const int w = p.fontMetrics().horizontalAdvance(label) + 10;
        const QRect box(std::clamp(x - w / 2, plotLeft, std::max(plotLeft, plotRight - w)), axisTop + 2, w, kAxisHeight - 5);
        p.fillRect(box, QColor(240, 240, 240));
        p.setPen(kBackground);
        p.drawText(box, Qt::AlignCenter, label);
    }
}

void TimingChart::mouseMoveEvent(QMouseEvent* e) {
    cursorX_ = e->position().toPoint().x();
    update();
}

void TimingChart::leaveEvent(QEvent*) {
    cursorX_.reset();
    update();
}

void TimingChart::wheelEvent(QWheelEvent* e) {
    const int dy = e->angleDelta().y();
    if (dy > 0) view_.zoomIn();
    else if (dy < 0) view_.zoomOut();
    e->accept();
}

void TimingChart::mousePressEvent(QMouseEvent* e) {
    view_.selectLane(laneAt(e->position().toPoint()));
}

// --- the view ---------------------------------------------------------------------------

TimingView::TimingView(Simulator& sim, std::function<QString(const QString&)> saveFile, QWidget* parent)
    : QWidget(parent), sim_(sim), saveFile_(std::move(saveFile)) {
    setWindowTitle(QStringLiteral("时序图"));
    auto* top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(new QLabel(QStringLiteral("地址")));
    address_ = new QLineEdit;
    address_->setObjectName(QStringLiteral("address"));
    address_->setPlaceholderText(QStringLiteral("如 Q0.0、T37、VW0"));
    address_->setMaximumWidth(150);
    top->addWidget(address_);
    auto button = [&](const char* name, const QString& text, auto slot) {
        auto* b = new QPushButton(text);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        top->addWidget(b);
        return b;
    };
    button("add", QStringLiteral("添加"), [this] {
        if (addSignal(address_->text())) address_->clear();
    });
    button("remove", QStringLiteral("删除所选"), [this] { removeSelected(); });
    top->addSpacing(10);
    top->addWidget(new QLabel(QStringLiteral("时间窗")));
    span_ = new QComboBox;
    span_->setObjectName(QStringLiteral("span"));
    for (int s : kSpanChoices) span_->addItem(spanText(s * 1000), s * 1000);
    top->addWidget(span_);
    connect(span_, &QComboBox::activated, this, [this](int i) { setSpanMs(span_->itemData(i).toLongLong()); });
    button("zoomIn", QStringLiteral("放大"), [this] { zoomIn(); });
    button("zoomOut", QStringLiteral("缩小"), [this] { zoomOut(); });
    top->addSpacing(10);
    pause_ = button("pause", QStringLiteral("暂停"), [this] { setPaused(pause_->isChecked()); });
    pause_->setCheckable(true);
    button("export", QStringLiteral("导出VCD"), [this] { exportVcd(); });
    top->addStretch(1);
    connect(address_, &QLineEdit::returnPressed, this, [this] {
        if (addSignal(address_->text())) address_->clear();
    });

    chart_ = new TimingChart(*this);
    auto* area = new QScrollArea;
    area->setObjectName(QStringLiteral("chartArea"));
    area->setWidget(chart_);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFrameShape(QFrame::NoFrame);

    scroll_ = new QScrollBar(Qt::Horizontal);
    scroll_->setObjectName(QStringLiteral("timeScroll"));
    scroll_->setEnabled(false);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int) {
        if (paused_) chart_->update();
    });

    auto* bottom = new QHBoxLayout;
    spanLabel_ = new QLabel;
    spanLabel_->setObjectName(QStringLiteral("spanLabel"));
    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("message"));
    message_->setStyleSheet(QStringLiteral("color: #b03030;"));
    bottom->addWidget(spanLabel_);
    bottom->addSpacing(16);
    bottom->addWidget(message_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(area, 1);
    layout->addWidget(scroll_);
    layout->addLayout(bottom);
    setSpanMs(spanMs_);
}

void TimingView::samplePass() { recorder_.sample(sim_.scan.scheduler().nowMs(), sim_.memory); }

void TimingView::FreshShow() {
    if (!paused_) chart_->update();
}

void TimingView::showMessage(const QString& text) { message_->setText(text); }

bool TimingView::addSignal(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    switch (recorder_.add(t.toStdString())) {
    case SignalRecorder::Add::Added: break;
    case SignalRecorder::Add::NotAnAddress: showMessage(QStringLiteral("不是地址：%1").arg(t)); return false;
    case SignalRecorder::Add::AlreadyThere: showMessage(QStringLiteral("%1 已在时序图中").arg(t.toUpper())); return false;
    case SignalRecorder::Add::Full:
        showMessage(QStringLiteral("时序图最多显示 %1 个信号").arg(SignalRecorder::kMaxSignals));
        return false;
    }
    showMessage(QString());
    int h = 0;
    for (std::size_t i = 0; i < recorder_.size(); ++i) h += laneHeight(recorder_.signal(i));
    chart_->setMinimumHeight(h + TimingChart::kAxisHeight);
    chart_->update();
    return true;
}

void TimingView::selectLane(int i) {
    selected_ = i >= 0 && i < static_cast<int>(recorder_.size()) ? i : -1;
    chart_->update();
}

void TimingView::removeSelected() {
    if (selected_ < 0) {
        showMessage(QStringLiteral("请先在图中点选要删除的信号"));
        return;
    }
    recorder_.remove(static_cast<std::size_t>(selected_));
    selected_ = -1;
    showMessage(QString());
    int h = 0;
    for (std::size_t i = 0; i < recorder_.size(); ++i) h += laneHeight(recorder_.signal(i));
    chart_->setMinimumHeight(h + TimingChart::kAxisHeight);
    chart_->update();
}

void TimingView::setSpanMs(std::int64_t ms) {
    spanMs_ = std::clamp(ms, kMinSpanMs, kMaxSpanMs);
    const int i = span_->findData(static_cast<qlonglong>(spanMs_));
    if (i >= 0) span_->setCurrentIndex(i);
    if (i < 0) {
        span_->setCurrentIndex(-1);
        span_->setPlaceholderText(spanText(spanMs_));
    }
    spanLabel_->setText(QStringLiteral("显示 %1　滚轮或“放大”“缩小”缩放，点选信号后可删除").arg(spanText(spanMs_)));
    updateScrollBar();
    chart_->update();
}

std::int64_t TimingView::endMs() const {
    if (paused_) return pausedEnd_ - static_cast<std::int64_t>(scroll_->maximum() - scroll_->value()) * kScrollUnitMs;
    return std::max<std::int64_t>(sim_.scan.scheduler().nowMs(), 0);
}

void TimingView::updateScrollBar() {
    const QSignalBlocker block(scroll_);
    if (!paused_) {
        scroll_->setRange(0, 0);
        scroll_->setEnabled(false);
        return;
    }
    // From the first kept time (a span later, so the span is full) to the time of pausing.
    const std::int64_t earliestEnd = std::min(pausedEnd_, std::max<std::int64_t>(recorder_.firstMs(), 0) + spanMs_);
    const int units = static_cast<int>((pausedEnd_ - earliestEnd) / kScrollUnitMs);
    const int keepFromEnd = scroll_->maximum() - scroll_->value();
    scroll_->setRange(0, units);
    scroll_->setPageStep(std::max(1, static_cast<int>(spanMs_ / kScrollUnitMs)));
    scroll_->setSingleStep(std::max(1, static_cast<int>(spanMs_ / kScrollUnitMs / 10)));
    scroll_->setValue(std::max(0, units - keepFromEnd));
    scroll_->setEnabled(units > 0);
}

void TimingView::setPaused(bool on) {
    if (on == paused_) return;
    if (on) pausedEnd_ = endMs();
    paused_ = on;
    {
        const QSignalBlocker block(scroll_);
        scroll_->setRange(0, 0);
    }
    pause_->setChecked(on);
    pause_->setText(on ? QStringLiteral("继续") : QStringLiteral("暂停"));
    updateScrollBar();
    chart_->update();
}

bool TimingView::exportVcd() {
    QString suggested = QFileInfo(QString::fromStdString(sim_.programBaseName())).completeBaseName();
    if (suggested.isEmpty()) suggested = QStringLiteral("timing");
    const QString path = saveFile_ ? saveFile_(suggested + QStringLiteral(".vcd")) : QString();
    if (path.isEmpty()) return false;
    return exportVcdTo(path);
}

bool TimingView::exportVcdTo(const QString& path) {
    std::ostringstream out;
    const QString date =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" UTC");
    writeRecorderVcd(out, recorder_, date.toStdString(), "korvane " KORVANE_VERSION);
    const std::string text = out.str();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        showMessage(QStringLiteral("导出VCD失败：%1").arg(path));
        sim_.log.plain("导出VCD失败：" + path.toStdString());
        return false;
    }
    showMessage(QString());
    sim_.log.plain("导出VCD：" + path.toStdString());
    return true;
}

}  // namespace korvane
