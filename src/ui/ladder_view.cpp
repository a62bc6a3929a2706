#include "ui/ladder_view.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStaticText>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "loader/symbol_table.h"
#include "sim/panel_models.h"

namespace korvane {

namespace {

// Metrics at zoom 1, in pixels. A cell holds its operand text above the wire and a second
// text (a compare's second operand, a set or reset coil's bit count) below it.
constexpr int kMargin = 10;
constexpr int kRailX = 18;        // the left power rail; column 0 starts here
constexpr int kCellWidth = 84;    // the narrowest column
constexpr int kCellHeight = 50;
constexpr int kWireOffset = 24;   // the wire's height in its row
constexpr int kTextHeight = 15;
constexpr int kHeadingHeight = 22;
constexpr int kCommentHeight = 17;
constexpr int kNetworkGap = 14;
constexpr int kFontPixels = 12;
constexpr int kStub = 12;         // a box pin's line outside the box
// The widest value a pin is given room for.
constexpr const char* kValueRoom = "=-2147483648";

QString q(const std::string& s) { return QString::fromStdString(s); }

// The relation of a compare contact's symbol ("==I", "<>B", ">=R", "<D") holds for a and b.
bool relationHolds(const std::string& symbol, double a, double b) {
    const std::string_view s(symbol);
    if (s.starts_with("==") || (s.starts_with('=') && !s.starts_with("=<") && !s.starts_with("=>"))) return a == b;
    if (s.starts_with("<>")) return a != b;
    if (s.starts_with(">=")) return a >= b;
    if (s.starts_with("<=")) return a <= b;
    if (s.starts_with('>')) return a > b;
    if (s.starts_with('<')) return a < b;
    return false;
}

bool isContact(ladder::Shape s) {
    using ladder::Shape;
    return s == Shape::Contact || s == Shape::ClosedContact || s == Shape::CompareContact ||
           s == Shape::NotContact || s == Shape::RisingContact || s == Shape::FallingContact;
}

// The text between a contact's bars.
QString contactInside(const ladder::Element& el) {
    using ladder::Shape;
    switch (el.shape) {
    case Shape::ClosedContact:
        return el.immediate ? QStringLiteral("/I") : QStringLiteral("/");
    case Shape::Contact:
        return el.immediate ? QStringLiteral("I") : QString();
    case Shape::NotContact:
        return QStringLiteral("NOT");
    case Shape::RisingContact:
        return QStringLiteral("P");
    case Shape::FallingContact:
        return QStringLiteral("N");
    case Shape::CompareContact:
        return q(el.symbol);
    default:
        return {};
    }
}

QPen pen(bool lit, double zoom) {
    QPen p(lit ? LadderView::kHighlight : QColor(Qt::black));
    p.setWidthF(std::max(1.0, (lit ? 2.0 : 1.0) * zoom));
    return p;
}

}  // namespace

LadderView::LadderView(Simulator& sim, QWidget* parent) : QAbstractScrollArea(parent), sim_(sim) {
    setObjectName("ladderView");
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    setZoom(1.0);
}

// --- the ladder and its layout ---------------------------------------------------------------

void LadderView::setLadder(ladder::Program program, const std::vector<int>& keptFileLines) {
    program_ = std::move(program);
    headerLines_.clear();
    for (const ladder::Block& b : program_.blocks) {
        for (const ladder::Network& n : b.networks) {
            int line = -1;
            const auto it = std::lower_bound(keptFileLines.begin(), keptFileLines.end(), n.fileLine);
            if (n.fileLine > 0 && it != keptFileLines.end() && *it == n.fileLine)
                line = static_cast<int>(it - keptFileLines.begin());
            headerLines_.push_back(line >= 0 ? line : n.firstLine);
        }
    }
    selected_ = {};
    ranSinceLoad_ = false;
    relayout();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    FreshAllShow();
    viewport()->update();
}

void LadderView::symbolsChanged() {
    relayout();
    viewport()->update();
}

QString LadderView::displayOperand(const std::string& operand) const {
    if (operand.empty() || sim_.symbols.empty()) return q(operand);
    // withSymbols reads a whole line: the operand goes behind a mnemonic of one letter.
    const std::string shown = withSymbols("X " + operand, sim_.symbols);
    return q(shown.substr(2));
}

void LadderView::setZoom(double zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    // The network at the view's top stays there.
    NetworkRef top;
    if (!layouts_.empty()) {
        const auto [from, to] = visibleRange(verticalScrollBar()->value(), verticalScrollBar()->value() + 1);
        if (from < to) top = layouts_[from].ref;
    }
    const bool changed = zoom != zoom_ || font_.pixelSize() <= 0;
    zoom_ = zoom;
    QFont base = font();
    base.setPixelSize(std::max(6, px(kFontPixels)));
    font_ = base;
    boldFont_ = base;
    boldFont_.setBold(true);
    monoFont_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    monoFont_.setPixelSize(std::max(6, px(kFontPixels)));
    relayout();
    if (top.valid()) scrollToNetwork(top);
    viewport()->update();
    if (changed) emit zoomChanged(zoom_);
}

void LadderView::zoomIn() { setZoom(std::round((zoom_ + 0.25) * 4) / 4); }
void LadderView::zoomOut() { setZoom(std::round((zoom_ - 0.25) * 4) / 4); }

void LadderView::relayout() {
    for (auto& cache : textCache_) cache.clear();
    layouts_.clear();
    int y = px(kMargin);
    int width = 0;
    std::size_t k = 0;
    for (std::size_t b = 0; b < program_.blocks.size(); ++b) {
        const ladder::Block& block = program_.blocks[b];
        for (std::size_t i = 0; i < block.networks.size(); ++i, ++k) {
            NetworkLayout nl;
            nl.ref = {static_cast<int>(b), static_cast<int>(i)};
            nl.headerLine = k < headerLines_.size() ? headerLines_[k] : -1;
            if (i == 0) {
                nl.blockHeading = q(block.title);
                for (const std::string& c : block.comment) nl.blockComment.push_back(q(c));
            }
            layoutNetwork(nl, block.networks[i], y);
            y += nl.height + px(kNetworkGap);
            width = std::max(width, nl.colX.empty() ? 0 : nl.colX.back());
            QFontMetrics fm(font_);
            width = std::max(width, px(kRailX) + fm.horizontalAdvance(nl.heading) + px(kMargin));
            layouts_.push_back(std::move(nl));
        }
    }
    contentHeight_ = y;
    contentWidth_ = width + px(kMargin);
    updateScrollBars();
    FreshAllShow();
}

void LadderView::layoutNetwork(NetworkLayout& nl, const ladder::Network& n, int top) {
    const QFontMetrics fm(font_);
    const QFontMetrics bold(boldFont_);
    const QFontMetrics mono(monoFont_);
    nl.top = top;
    nl.headingTop = top;
    if (!nl.blockHeading.isEmpty())
        nl.headingTop += px(kHeadingHeight) + px(kCommentHeight) * static_cast<int>(nl.blockComment.size()) + px(6);
    nl.heading = QStringLiteral("网络 %1").arg(n.number);
    if (!n.title.empty()) nl.heading += QStringLiteral("    ") + q(n.title);
    for (const std::string& c : n.comment) nl.comment.push_back(q(c));
    int y = nl.headingTop + px(kHeadingHeight) + px(kCommentHeight) * static_cast<int>(nl.comment.size());
    nl.gridTop = y;
    if (!n.drawable) {
        nl.reason = q(n.reason);
        int w = bold.horizontalAdvance(QStringLiteral("该网络无法用梯形图显示")) +
                (nl.reason.isEmpty() ? 0 : fm.horizontalAdvance(QStringLiteral("（%1）").arg(nl.reason)) + px(8));
        for (const std::string& s : n.stl) {
            nl.stl.push_back(q(s));
            w = std::max(w, mono.horizontalAdvance(nl.stl.back()));
        }
        nl.height = y - top + px(kHeadingHeight) + px(kCommentHeight) * static_cast<int>(nl.stl.size()) + px(12);
        nl.colX = {px(kRailX), px(kRailX) + w + px(24)};
        return;
    }
    const int valueRoom = fm.horizontalAdvance(QString::fromLatin1(kValueRoom));
    // A box's own operand (a timer's T37) stands above it.
    for (const ladder::Element& el : n.elements)
        if (el.shape == ladder::Shape::Box && el.row == 0 && !el.operand.empty()) {
            nl.gridTop += px(kTextHeight);
            y = nl.gridTop;
            break;
        }
    std::vector<int> widths(static_cast<std::size_t>(std::max(n.cols, 0)), px(kCellWidth));
    nl.elements.resize(n.elements.size());
    for (std::size_t i = 0; i < n.elements.size(); ++i) {
        const ladder::Element& el = n.elements[i];
        ElementLayout& lay = nl.elements[i];
        lay.operand = displayOperand(el.operand);
        lay.operand2 = el.shape == ladder::Shape::CompareContact ? displayOperand(el.operand2) : q(el.operand2);
        lay.symbol = q(el.symbol);
        int need = 0;
        if (el.shape == ladder::Shape::Box) {
            int inName = 0, outName = 0;
            lay.leftZone = px(kStub) + px(4);
            lay.rightZone = px(kStub) + px(4);
            for (const ladder::Pin& pin : el.inputs) {
                lay.inNames.push_back(q(pin.name));
                lay.inOperands.push_back(displayOperand(pin.operand));
                inName = std::max(inName, fm.horizontalAdvance(lay.inNames.back()));
                int w = fm.horizontalAdvance(lay.inOperands.back());
                if (pin.operandIndex >= 0 && pin.operandIndex < 3) w = std::max(w, valueRoom);
                lay.leftZone = std::max(lay.leftZone, w + px(kStub) + px(6));
            }
            for (const ladder::Pin& pin : el.outputs) {
                lay.outNames.push_back(q(pin.name));
                lay.outOperands.push_back(displayOperand(pin.operand));
                outName = std::max(outName, fm.horizontalAdvance(lay.outNames.back()));
                int w = fm.horizontalAdvance(lay.outOperands.back());
                if (pin.operandIndex >= 0 && pin.operandIndex < 3) w = std::max(w, valueRoom);
                lay.rightZone = std::max(lay.rightZone, w + px(kStub) + px(6));
            }
            inName = std::max(inName, fm.horizontalAdvance(QStringLiteral("EN")));
            outName = std::max(outName, fm.horizontalAdvance(QStringLiteral("ENO")));
            lay.bodyWidth = std::max({bold.horizontalAdvance(lay.symbol) + px(12), inName + outName + px(16), px(64)});
            need = std::max(lay.leftZone + lay.bodyWidth + lay.rightZone,
                            fm.horizontalAdvance(lay.operand) + valueRoom + px(10));
        } else if (el.shape != ladder::Shape::Wire) {
            need = std::max({fm.horizontalAdvance(lay.operand), fm.horizontalAdvance(lay.operand2),
                             fm.horizontalAdvance(lay.symbol) + px(40)}) +
                   px(10);
        }
        if (el.width == 1 && el.col >= 0 && el.col < n.cols)
            widths[static_cast<std::size_t>(el.col)] = std::max(widths[static_cast<std::size_t>(el.col)], need);
    }
    nl.colX.resize(widths.size() + 1);
    int x = px(kRailX);
    for (std::size_t c = 0; c < widths.size(); ++c) {
        nl.colX[c] = x;
        x += widths[c];
    }
    nl.colX[widths.size()] = x;
    nl.rows = std::max(n.rows, 1);
    for (const ladder::Element& el : n.elements) nl.rows = std::max(nl.rows, el.row + std::max(el.height, 1));
    nl.height = y - top + px(kCellHeight) * nl.rows + px(4);
}

void LadderView::updateScrollBars() {
    const QSize vp = viewport()->size();
    verticalScrollBar()->setRange(0, std::max(0, contentHeight_ - vp.height()));
    verticalScrollBar()->setPageStep(vp.height());
    verticalScrollBar()->setSingleStep(px(kCellHeight) / 2);
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth_ - vp.width()));
    horizontalScrollBar()->setPageStep(vp.width());
    horizontalScrollBar()->setSingleStep(px(kCellWidth) / 2);
}

void LadderView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void LadderView::scrollContentsBy(int, int) { viewport()->update(); }

// --- networks -------------------------------------------------------------------------------

const ladder::Network* LadderView::networkAt(NetworkRef ref) const {
    if (ref.block < 0 || ref.block >= static_cast<int>(program_.blocks.size())) return nullptr;
    const auto& nets = program_.blocks[static_cast<std::size_t>(ref.block)].networks;
    if (ref.network < 0 || ref.network >= static_cast<int>(nets.size())) return nullptr;
    return &nets[static_cast<std::size_t>(ref.network)];
}

const LadderView::NetworkLayout* LadderView::layoutOf(NetworkRef ref) const {
    for (const NetworkLayout& nl : layouts_)
        if (nl.ref == ref) return &nl;
    return nullptr;
}

std::pair<std::size_t, std::size_t> LadderView::visibleRange(int y0, int y1) const {
    const auto first = std::partition_point(layouts_.begin(), layouts_.end(),
                                            [y0](const NetworkLayout& nl) { return nl.top + nl.height <= y0; });
    const auto last = std::partition_point(first, layouts_.end(), [y1](const NetworkLayout& nl) { return nl.top < y1; });
    return {static_cast<std::size_t>(first - layouts_.begin()), static_cast<std::size_t>(last - layouts_.begin())};
}

LadderView::NetworkRef LadderView::networkOfLine(int codeLine) const {
    NetworkRef found;
    if (codeLine < 0) return found;
    for (const NetworkLayout& nl : layouts_) {
        if (nl.headerLine < 0) continue;
        if (nl.headerLine > codeLine) break;
        found = nl.ref;
    }
    // A line at or past the next block's first network belongs to no network of this one.
    if (found.valid()) {
        const NetworkLayout* next = layoutOf({found.block + 1, 0});
        if (next && next->headerLine >= 0 && codeLine >= next->headerLine) return {};
    }
    return found;
}

int LadderView::headerLine(NetworkRef ref) const {
    const NetworkLayout* nl = layoutOf(ref);
    return nl ? nl->headerLine : -1;
}

void LadderView::selectNetwork(NetworkRef ref) {
    if (!networkAt(ref)) return;
    selected_ = ref;
    const QRect r = networkRect(ref);
    const int top = verticalScrollBar()->value();
    const int h = viewport()->height();
    if (r.top() < top || r.top() + std::min(r.height(), h) > top + h) scrollToNetwork(ref);
    viewport()->update();
}

void LadderView::showCodeLine(int codeLine) {
    const NetworkRef ref = networkOfLine(codeLine);
    if (ref.valid() && ref != selected_) selectNetwork(ref);
}

QRect LadderView::networkRect(NetworkRef ref) const {
    const NetworkLayout* nl = layoutOf(ref);
    if (!nl) return {};
    return QRect(0, nl->top - px(4), std::max(contentWidth_, viewport()->width()), nl->height + px(8));
}

void LadderView::scrollToNetwork(NetworkRef ref) {
    const QRect r = networkRect(ref);
    if (r.isValid()) verticalScrollBar()->setValue(r.top());
}

// --- live status ---------------------------------------------------------------------------

// The lines keep what they recorded after STOP (which sets the pass counter back to 0), so
// the status stays in view until another program is loaded.
bool LadderView::statusShown() const {
    if (sim_.interpreter.scanCounter > 0) ranSinceLoad_ = true;
    return sim_.program.loaded() && ranSinceLoad_;
}

LadderView::ShownState LadderView::stateOf(const ladder::Element& el, bool statusOn) const {
    ShownState s;
    if (!statusOn || el.line < 0 || el.shape == ladder::Shape::Wire) return s;
    const LineStatus st = lineStatus(sim_.program, el.line);
    if (!st.shown) return s;
    using ladder::Shape;
    switch (el.shape) {
    case Shape::Contact:
        // A bit contact conducts when its bit was on as the line read it.
        s.lit = st.value[0] != 0;
        break;
    case Shape::ClosedContact:
        s.lit = st.value[0] == 0;
        break;
    case Shape::CompareContact:
        s.lit = relationHolds(el.symbol, st.value[0], st.value[1]);
        break;
    case Shape::NotContact:
    case Shape::RisingContact:
    case Shape::FallingContact:
        // These pass on what they make of the logic result.
        s.lit = st.flowAfter;
        break;
    case Shape::Coil:
        s.lit = st.flowBefore;
        break;
    case Shape::Box:
        // An SCR box is active while its S bit is (its line records the bit it read); a label
        // is never powered.
        s.lit = el.symbol == "SCR" ? st.value[0] != 0 : el.symbol == "LBL" ? false : st.flowBefore;
        s.eno = st.enoShown;
        s.value = st.value;
        s.kind = st.kind;
        break;
    case Shape::Wire:
        break;
    }
    return s;
}

LadderView::ElementState LadderView::elementState(NetworkRef ref, int element) const {
    ElementState out;
    const ladder::Network* n = networkAt(ref);
    if (!n || element < 0 || element >= static_cast<int>(n->elements.size())) return out;
    const ladder::Element& el = n->elements[static_cast<std::size_t>(element)];
    const ShownState s = stateOf(el, statusShown());
    out.lit = s.lit;
    out.enoLit = s.eno;
    if (el.shape == ladder::Shape::Box && statusShown())
        for (std::size_t k = 0; k < 3; ++k)
            if (auto text = statusValueText(s.kind[k], s.value[k])) out.values[k] = q(*text).trimmed();
    return out;
}

QString LadderView::operandText(NetworkRef ref, int element) const {
    const NetworkLayout* nl = layoutOf(ref);
    if (!nl || element < 0 || element >= static_cast<int>(nl->elements.size())) return {};
    return nl->elements[static_cast<std::size_t>(element)].operand;
}

void LadderView::collectVisible(std::vector<ShownState>& out) const {
    out.clear();
    const bool statusOn = statusShown();
    for (std::size_t i = shownRange_.first; i < shownRange_.second && i < layouts_.size(); ++i) {
        const ladder::Network* n = networkAt(layouts_[i].ref);
        if (!n || !n->drawable) continue;
        for (const ladder::Element& el : n->elements) {
            if (el.line < 0) continue;
            out.push_back(stateOf(el, statusOn));
            if (el.shape != ladder::Shape::Box || !statusOn) continue;
            // Pins that show an operand of another line.
            for (const auto* pins : {&el.inputs, &el.outputs})
                for (const ladder::Pin& pin : *pins)
                    if (pin.line >= 0 && pin.line != el.line) {
                        const LineStatus st = lineStatus(sim_.program, pin.line);
                        ShownState extra;
                        extra.lit = st.shown;
                        extra.value = st.value;
                        extra.kind = st.kind;
                        out.push_back(extra);
                    }
        }
    }
}

void LadderView::FreshAllShow() { shownKnown_ = false; }

void LadderView::FreshShow() {
    if (!isVisible()) return;
    const int y = verticalScrollBar()->value();
    const auto range = visibleRange(y, y + viewport()->height());
    const bool statusOn = statusShown();
    if (shownKnown_ && range == shownRange_ && statusOn == shownStatusOn_) {
        collectVisible(scratch_);
        if (scratch_ == shown_) return;
        shown_.swap(scratch_);
    } else {
        shownRange_ = range;
        shownStatusOn_ = statusOn;
        collectVisible(shown_);
        shownKnown_ = true;
    }
    // What the repaint will show is what the next refresh compares with.
    ++repaints_;
    viewport()->update();
}

// --- drawing --------------------------------------------------------------------------------

void LadderView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), Qt::white);
    const int dx = horizontalScrollBar()->value();
    const int dy = verticalScrollBar()->value();
    const bool statusOn = statusShown();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    if (layouts_.empty()) {
        p.setFont(font_);
        p.setPen(Qt::darkGray);
        p.drawText(viewport()->rect().adjusted(px(kMargin), px(kMargin), 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   sim_.program.loaded() ? QStringLiteral("程序没有可显示的网络") : QStringLiteral("未载入程序"));
    }
    const auto range = visibleRange(dy, dy + viewport()->height());
    p.translate(-dx, -dy);
    for (std::size_t i = range.first; i < range.second; ++i) {
        const NetworkLayout& nl = layouts_[i];
        if (const ladder::Network* n = networkAt(nl.ref)) drawNetwork(p, nl, *n, statusOn);
    }
    // What was drawn is what the next refresh compares with.
    shownRange_ = range;
    shownStatusOn_ = statusOn;
    collectVisible(shown_);
    shownKnown_ = true;
}

void LadderView::drawNetwork(QPainter& p, const NetworkLayout& nl, const ladder::Network& n, bool statusOn) const {
    const int left = px(kMargin) / 2;
    if (nl.ref == selected_) {
        const QRect r = networkRect(nl.ref);
        p.fillRect(r, QColor(228, 238, 255));
    }
    if (!nl.blockHeading.isEmpty()) {
        // The block's title bar: the main program, a subroutine or an interrupt routine.
        const int w = std::max(contentWidth_, viewport()->width());
        p.fillRect(QRect(0, nl.top, w, px(kHeadingHeight)), QColor(220, 226, 236));
        p.setPen(Qt::black);
        p.setFont(boldFont_);
        drawCached(p, QRect(left, nl.top, 4000, px(kHeadingHeight)), Qt::AlignLeft | Qt::AlignVCenter, nl.blockHeading);
        p.setFont(font_);
        p.setPen(QColor(70, 70, 70));
        int by = nl.top + px(kHeadingHeight);
        for (const QString& c : nl.blockComment) {
            drawCached(p, QRect(left + px(8), by, 4000, px(kCommentHeight)), Qt::AlignLeft | Qt::AlignVCenter, c);
            by += px(kCommentHeight);
        }
    }
    // Heading and comment.
    p.setPen(Qt::black);
    p.setFont(boldFont_);
    drawCached(p, QRect(left, nl.headingTop, 4000, px(kHeadingHeight)), Qt::AlignLeft | Qt::AlignVCenter, nl.heading);
    p.setFont(font_);
    p.setPen(QColor(70, 70, 70));
    int y = nl.headingTop + px(kHeadingHeight);
    for (const QString& c : nl.comment) {
        drawCached(p, QRect(left + px(8), y, 4000, px(kCommentHeight)), Qt::AlignLeft | Qt::AlignVCenter, c);
        y += px(kCommentHeight);
    }
    if (!n.drawable) {
        const int x0 = nl.colX[0];
        const int x1 = nl.colX[1];
        const QRect box(x0, nl.gridTop, x1 - x0, nl.top + nl.height - nl.gridTop - px(4));
        p.setPen(QPen(QColor(120, 120, 120), 1));
        p.setBrush(QColor(250, 250, 240));
        p.drawRect(box);
        p.setBrush(Qt::NoBrush);
        p.setFont(boldFont_);
        p.setPen(QColor(160, 0, 0));
        const QString caption = QStringLiteral("该网络无法用梯形图显示");
        drawCached(p, QRect(x0 + px(8), nl.gridTop, x1 - x0, px(kHeadingHeight)), Qt::AlignLeft | Qt::AlignVCenter, caption);
        if (!nl.reason.isEmpty()) {
            // Why, for the student who wrote it in STL.
            p.setFont(font_);
            p.setPen(QColor(110, 110, 110));
            const int cx = x0 + px(16) + QFontMetrics(boldFont_).horizontalAdvance(caption);
            drawCached(p, QRect(cx, nl.gridTop, x1 - cx, px(kHeadingHeight)), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("（%1）").arg(nl.reason));
        }
        p.setFont(monoFont_);
        p.setPen(Qt::black);
        int ly = nl.gridTop + px(kHeadingHeight);
        for (const QString& s : nl.stl) {
            drawCached(p, QRect(x0 + px(12), ly, x1 - x0, px(kCommentHeight)), Qt::AlignLeft | Qt::AlignVCenter, s);
            ly += px(kCommentHeight);
        }
        return;
    }
    // The left power rail, the height of the grid.
    p.setPen(pen(false, zoom_ * 1.5));
    const int gridBottom = nl.gridTop + px(kCellHeight) * nl.rows;
    p.drawLine(nl.colX[0], nl.gridTop, nl.colX[0], gridBottom);
    const auto colX = [&nl](int c) {
        const int last = static_cast<int>(nl.colX.size()) - 1;
        return nl.colX[static_cast<std::size_t>(std::clamp(c, 0, last))];
    };
    p.setPen(pen(false, zoom_));
    for (const ladder::Link& l : n.links) {
        const int x = colX(l.col);
        p.drawLine(x, nl.gridTop + px(kCellHeight) * l.fromRow + px(kWireOffset), x,
                   nl.gridTop + px(kCellHeight) * l.toRow + px(kWireOffset));
    }
    for (std::size_t i = 0; i < n.elements.size(); ++i) drawElement(p, nl, n.elements[i], nl.elements[i], statusOn);
}

void LadderView::drawElement(QPainter& p, const NetworkLayout& nl, const ladder::Element& el, const ElementLayout& lay,
                             bool statusOn) const {
    using ladder::Shape;
    const int last = static_cast<int>(nl.colX.size()) - 1;
    const int x0 = nl.colX[static_cast<std::size_t>(std::clamp(el.col, 0, last))];
    const int x1 = nl.colX[static_cast<std::size_t>(std::clamp(el.col + std::max(el.width, 1), 0, last))];
    const int y0 = nl.gridTop + px(kCellHeight) * el.row;
    const int wy = y0 + px(kWireOffset);
    const int cx = (x0 + x1) / 2;
    const ShownState s = stateOf(el, statusOn);
    const QPen plain = pen(false, zoom_);
    const QPen lit = pen(s.lit, zoom_);
    const int th = px(kTextHeight);
    const auto textAbove = [&](const QString& t) {
        p.setPen(Qt::black);
        drawCached(p, QRect(x0, wy - px(9) - th, x1 - x0, th), Qt::AlignHCenter | Qt::AlignBottom, t);
    };
    const auto textBelow = [&](const QString& t) {
        p.setPen(Qt::black);
        drawCached(p, QRect(x0, wy + px(9), x1 - x0, th), Qt::AlignHCenter | Qt::AlignTop, t);
    };
    p.setFont(font_);
    if (el.shape == Shape::Wire) {
        p.setPen(plain);
        p.drawLine(x0, wy, x1, wy);
        return;
    }
    if (isContact(el.shape)) {
        const QString inside = contactInside(el);
        const int half = std::max(px(7), (p.fontMetrics().horizontalAdvance(inside) + px(8)) / 2);
        p.setPen(plain);
        p.drawLine(x0, wy, cx - half, wy);
        p.drawLine(cx + half, wy, x1, wy);
        if (s.lit) p.fillRect(QRect(cx - half, wy - px(8), 2 * half, px(16)), QColor(200, 215, 255));
        p.setPen(lit);
        p.drawLine(cx - half, wy - px(9), cx - half, wy + px(9));
        p.drawLine(cx + half, wy - px(9), cx + half, wy + px(9));
        if (el.shape == Shape::ClosedContact) {
            p.drawLine(cx + half - px(3), wy - px(8), cx - half + px(3), wy + px(8));
            if (el.immediate) drawCached(p, QRect(cx - half, wy - px(8), 2 * half, px(16)), Qt::AlignCenter, QStringLiteral("I"));
        } else if (!inside.isEmpty()) {
            drawCached(p, QRect(cx - half, wy - px(8), 2 * half, px(16)), Qt::AlignCenter, inside);
        }
        if (el.shape != Shape::NotContact && el.shape != Shape::RisingContact && el.shape != Shape::FallingContact)
            textAbove(lay.operand);
        if (el.shape == Shape::CompareContact) textBelow(lay.operand2);
        return;
    }
    if (el.shape == Shape::Coil) {
        const QString inside = lay.symbol;
        const int half = std::max(px(12), (p.fontMetrics().horizontalAdvance(inside) + px(22)) / 2);
        p.setPen(plain);
        p.drawLine(x0, wy, cx - half, wy);
        p.setPen(lit);
        // Two arcs of a circle of radius r: "(" and ")".
        const int r = px(12);
        p.drawArc(QRect(cx - half, wy - r, 2 * r, 2 * r), 125 * 16, 110 * 16);
        p.drawArc(QRect(cx + half - 2 * r, wy - r, 2 * r, 2 * r), -55 * 16, 110 * 16);
        if (!inside.isEmpty()) drawCached(p, QRect(cx - half, wy - px(8), 2 * half, px(16)), Qt::AlignCenter, inside);
        textAbove(lay.operand);
        if (!lay.operand2.isEmpty()) textBelow(lay.operand2);
        return;
    }
    // A box: EN and ENO on its first row, its inputs and outputs on the rows below.
    const int bodyLeft = x0 + lay.leftZone;
    const int bodyRight = bodyLeft + lay.bodyWidth;
    const int rows = std::max(el.height, 1);
    const int pins = static_cast<int>(std::max(el.inputs.size(), el.outputs.size()));
    const int pitch = pins > 0 && rows - 1 < pins ? px(kCellHeight) * rows / (pins + 1) : px(kCellHeight);
    const QRect body(bodyLeft, y0 + px(4), lay.bodyWidth, px(kCellHeight) * rows - px(8));
    p.setPen(plain);
    // SCR hangs on the rail without a pin name; LBL alone has no power connection.
    if (el.symbol != "LBL") p.drawLine(x0, wy, bodyLeft, wy);
    if (s.lit) p.fillRect(body, QColor(235, 240, 255));
    p.setPen(lit);
    p.drawRect(body);
    p.setFont(boldFont_);
    drawCached(p, QRect(bodyLeft, y0 + px(4), lay.bodyWidth, th + px(2)), Qt::AlignHCenter | Qt::AlignTop, lay.symbol);
    p.setFont(font_);
    p.setPen(Qt::black);
    if (!el.powerInput.empty())
        drawCached(p, QRect(bodyLeft + px(4), wy - th / 2 + px(3), lay.bodyWidth, th), Qt::AlignLeft | Qt::AlignVCenter,
                   q(el.powerInput));
    const auto valueText = [&](int index, int line = -1) -> QString {
        if (!statusOn || index < 0 || index > 2) return {};
        const auto k = static_cast<std::size_t>(index);
        if (line >= 0 && line != el.line) {
            // An operand of another line (the move before an operation exported as two).
            const LineStatus other = lineStatus(sim_.program, line);
            if (!other.shown) return {};
            if (auto text = statusValueText(other.kind[k], other.value[k])) return QStringLiteral("=") + q(*text).trimmed();
            return {};
        }
        if (auto text = statusValueText(s.kind[k], s.value[k])) return QStringLiteral("=") + q(*text).trimmed();
        return {};
    };
    // A constant needs no value beside it.
    const auto valueOf = [&](const ladder::Pin& pin) {
        const char c = pin.operand.empty() ? '\0' : pin.operand.front();
        const bool constant = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '\'' || c == '"';
        return constant ? QString() : valueText(pin.operandIndex, pin.line);
    };
    if (el.hasEno) {
        drawCached(p, QRect(bodyLeft, wy - th / 2 + px(3), lay.bodyWidth - px(4), th), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("ENO"));
        p.setPen(pen(s.eno, zoom_));
        p.drawLine(bodyRight, wy, el.enoUsed ? x1 : bodyRight + px(kStub), wy);
    }
    if (!lay.operand.isEmpty()) {
        // The box's own operand above it, with its value when no pin shows that.
        const bool pinShowsIt = std::any_of(el.inputs.begin(), el.inputs.end(),
                                            [](const ladder::Pin& pin) { return pin.operandIndex == 0; }) ||
                                std::any_of(el.outputs.begin(), el.outputs.end(),
                                            [](const ladder::Pin& pin) { return pin.operandIndex == 0; });
        const QString v = pinShowsIt ? QString() : valueText(0);
        const int w1 = p.fontMetrics().horizontalAdvance(lay.operand);
        const int w2 = p.fontMetrics().horizontalAdvance(v);
        const int tx = (bodyLeft + bodyRight) / 2 - (w1 + w2) / 2;
        const QRect above(tx, y0 + px(3) - th, w1 + w2 + px(2), th);
        p.setPen(Qt::black);
        drawCached(p, above, Qt::AlignLeft | Qt::AlignBottom, lay.operand);
        if (!v.isEmpty()) {
            p.setPen(kHighlight);
            drawCached(p, above.adjusted(w1, 0, 0, 0), Qt::AlignLeft | Qt::AlignBottom, v);
        }
    }
    // A pin sits on its row inside the box; one without a row (0) on the k-th row below EN.
    const auto pinY = [&](const ladder::Pin& pin, int k) {
        return pin.row > 0 ? wy + px(kCellHeight) * pin.row : wy + pitch * (k + 1);
    };
    for (std::size_t k = 0; k < el.inputs.size(); ++k) {
        const int py = pinY(el.inputs[k], static_cast<int>(k));
        p.setPen(plain);
        // A power input (a counter's R) is wired from the left; an operand input has a stub.
        const bool powered = el.inputs[k].power;
        p.drawLine(powered ? x0 : bodyLeft - px(kStub), py, bodyLeft, py);
        p.setPen(Qt::black);
        drawCached(p, QRect(bodyLeft + px(4), py - th / 2, lay.bodyWidth, th), Qt::AlignLeft | Qt::AlignVCenter, lay.inNames[k]);
        const QRect zone(x0 + px(2), py - th - px(1), lay.leftZone - px(kStub) - px(4), th);
        drawCached(p, zone, Qt::AlignRight | Qt::AlignBottom, lay.inOperands[k]);
        if (const QString v = valueOf(el.inputs[k]); !v.isEmpty()) {
            p.setPen(kHighlight);
            drawCached(p, zone.translated(0, th + px(2)), Qt::AlignRight | Qt::AlignTop, v);
        }
    }
    for (std::size_t k = 0; k < el.outputs.size(); ++k) {
        const int py = pinY(el.outputs[k], static_cast<int>(k));
        p.setPen(plain);
        p.drawLine(bodyRight, py, bodyRight + px(kStub), py);
        p.setPen(Qt::black);
        drawCached(p, QRect(bodyLeft, py - th / 2, lay.bodyWidth - px(4), th), Qt::AlignRight | Qt::AlignVCenter,
                   lay.outNames[k]);
        const QRect zone(bodyRight + px(kStub) + px(3), py - th - px(1), lay.rightZone - px(kStub) - px(4), th);
        drawCached(p, zone, Qt::AlignLeft | Qt::AlignBottom, lay.outOperands[k]);
        if (const QString v = valueOf(el.outputs[k]); !v.isEmpty()) {
            p.setPen(kHighlight);
            drawCached(p, zone.translated(0, th + px(2)), Qt::AlignLeft | Qt::AlignTop, v);
        }
    }
}

// Texts are laid out once and kept (QStaticText), per font: a repaint of a full screen of
// networks costs a fraction of laying every text out again.
void LadderView::drawCached(QPainter& p, const QRect& r, int flags, const QString& t) const {
    if (t.isEmpty()) return;
    const QFont& f = p.font();
    auto& cache = textCache_[f.bold() ? 1 : f.family() == monoFont_.family() ? 2 : 0];
    // Values change while the program runs: the cache stays bounded.
    if (cache.size() > 20000) cache.clear();
    auto it = cache.find(t);
    if (it == cache.end()) {
        QStaticText st(t);
        st.setTextFormat(Qt::PlainText);
        st.prepare(QTransform(), f);
        it = cache.insert(t, st);
    }
    const QSizeF size = it->size();
    double x = r.left();
    if (flags & Qt::AlignHCenter) x = r.left() + (r.width() - size.width()) / 2;
    else if (flags & Qt::AlignRight) x = r.left() + r.width() - size.width();
    double y = r.top();
    if (flags & Qt::AlignVCenter) y = r.top() + (r.height() - size.height()) / 2;
    else if (flags & Qt::AlignBottom) y = r.top() + r.height() - size.height();
    p.drawStaticText(QPointF(x, y), *it);
}

// --- input ----------------------------------------------------------------------------------

void LadderView::wheelEvent(QWheelEvent* e) {
    if (e->modifiers() & Qt::ControlModifier) {
        if (e->angleDelta().y() > 0) zoomIn();
        else if (e->angleDelta().y() < 0) zoomOut();
        e->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(e);
}

void LadderView::mousePressEvent(QMouseEvent* e) {
    const int y = e->pos().y() + verticalScrollBar()->value();
    const auto [from, to] = visibleRange(y, y + 1);
    if (from < to) {
        const NetworkLayout& nl = layouts_[from];
        selected_ = nl.ref;
        viewport()->update();
        if (!nl.reason.isEmpty()) QToolTip::showText(e->globalPosition().toPoint(), nl.reason, this);
        emit networkChosen(nl.headerLine);
    }
    QAbstractScrollArea::mousePressEvent(e);
}

void LadderView::keyPressEvent(QKeyEvent* e) {
    if (e->modifiers() & Qt::ControlModifier) {
        if (e->key() == Qt::Key_Plus || e->key() == Qt::Key_Equal) return zoomIn();
        if (e->key() == Qt::Key_Minus) return zoomOut();
        if (e->key() == Qt::Key_0) return setZoom(1.0);
    }
    if ((e->key() == Qt::Key_Down || e->key() == Qt::Key_Up) && !layouts_.empty()) {
        std::size_t i = 0;
        for (; i < layouts_.size() && layouts_[i].ref != selected_; ++i) {
        }
        if (i == layouts_.size()) i = 0;
        else if (e->key() == Qt::Key_Down && i + 1 < layouts_.size()) ++i;
        else if (e->key() == Qt::Key_Up && i > 0) --i;
        selectNetwork(layouts_[i].ref);
        emit networkChosen(layouts_[i].headerLine);
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void LadderView::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("放大"), this, &LadderView::zoomIn);
    menu.addAction(QStringLiteral("缩小"), this, &LadderView::zoomOut);
    menu.addAction(QStringLiteral("原始大小"), this, [this] { setZoom(1.0); });
    menu.exec(e->globalPos());
}

}  // namespace korvane
