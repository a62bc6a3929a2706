#include "ui/bit_byte_panel.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <utility>

namespace korvane {

namespace {
int viewSlot(PanelView v) { return v == PanelView::Byte ? 0 : v == PanelView::Word ? 1 : 2; }

void setTextIfChanged(QLineEdit* e, const QString& t) {
    if (e->text() != t) e->setText(t);
}
}  // namespace

// --- BitBox --------------------------------------------------------------------------------

void BitBox::mousePressEvent(QMouseEvent* e) {
    if (locked) return;
    if (momentaryMode) {
        emit pressedWith(e->button());
        return;
    }
    QCheckBox::mousePressEvent(e);
}

void BitBox::mouseReleaseEvent(QMouseEvent* e) {
    if (locked) return;
    if (momentaryMode) {
        emit releasedWith(e->button());
        return;
    }
    QCheckBox::mouseReleaseEvent(e);
}

void BitBox::mouseMoveEvent(QMouseEvent* e) {
    if (locked || momentaryMode) return;
    QCheckBox::mouseMoveEvent(e);
}

void BitBox::keyPressEvent(QKeyEvent* e) {
    if (locked || momentaryMode) return;
    QCheckBox::keyPressEvent(e);
}

void BitBox::keyReleaseEvent(QKeyEvent* e) {
    if (locked || momentaryMode) return;
    QCheckBox::keyReleaseEvent(e);
}

// --- BitBytePanel --------------------------------------------------------------------------

BitBytePanel::BitBytePanel(PanelKind kind, PlcMemory& mem, const Log& log, int vMemoryBytes, QWidget* parent)
    : QWidget(parent), model_(kind, vMemoryBytes), mem_(mem), log_(log) {
    setWindowTitle(QString::fromStdString(model_.caption()));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(3);

    topRow_ = new QWidget(this);
    auto* top = new QHBoxLayout(topRow_);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(3);
    cmbDataType = new QComboBox(topRow_);
    cmbDataType->setObjectName("cmbDataType");
    for (int t = 0; t < datatype::Count; ++t) cmbDataType->addItem(QString::fromLatin1(dataTypeName(t)), t);
    top->addWidget(cmbDataType);
    if (kind == PanelKind::V) {
        cmbPage = new QComboBox(topRow_);
        cmbPage->setObjectName("cmbPage");
        top->addWidget(cmbPage);
        top->addWidget(new QLabel(QStringLiteral("x100+"), topRow_));
    }
    cmbAddress = new QComboBox(topRow_);
    cmbAddress->setObjectName("cmbAddress");
    top->addWidget(cmbAddress);
    cmbFormat = new QComboBox(topRow_);
    cmbFormat->setObjectName("cmbFormat");
    for (int f = 0; f < kFormatCount; ++f) cmbFormat->addItem(QString::fromUtf8(formatListName(f)), formatCodeAt(f));
    top->addWidget(cmbFormat);
    top->addStretch();
    outer->addWidget(topRow_);

    views = new QStackedWidget(this);
    // Bit view: six groups of eight, bit 7 leftmost.
    auto* bitView = new QWidget(views);
    auto* bg = new QGridLayout(bitView);
    bg->setContentsMargins(0, 0, 0, 0);
    bg->setSpacing(3);
    for (int g = 0; g < 6; ++g) {
        auto* box = new QGroupBox(bitView);
        auto* h = new QHBoxLayout(box);
        h->setSpacing(2);
        h->setContentsMargins(4, 0, 4, 0);
        for (int col = 0; col < 8; ++col) {
            const int d = 8 * g + (7 - col);
            auto* cb = new BitBox(QString::number(d % 8), box);
            cb->setObjectName(QStringLiteral("bit%1").arg(d));
            bitBoxes[static_cast<std::size_t>(d)] = cb;
            h->addWidget(cb);
        }
        bitGroups[static_cast<std::size_t>(g)] = box;
        bg->addWidget(box, g, 0);
    }
    views->addWidget(bitView);
    // Value views.
    const int counts[3] = {16, 8, 4};
    for (int v = 0; v < 3; ++v) {
        auto* w = new QWidget(views);
        auto* vg = new QVBoxLayout(w);
        vg->setContentsMargins(0, 0, 0, 0);
        for (int g = 0; g < 2; ++g) {
            auto* box = new QGroupBox(w);
            auto* grid = new QGridLayout(box);
            grid->setContentsMargins(4, 2, 4, 2);
            grid->setSpacing(3);
            const int per = counts[v] / 2;
            for (int k = 0; k < per; ++k) {
                auto* e = new QLineEdit(box);
                e->setObjectName(QStringLiteral("value%1").arg(g * per + k));
                e->setReadOnly(kind != PanelKind::Input);
                QFont f = e->font();
                f.setFamily(QStringLiteral("monospace"));
                f.setStyleHint(QFont::Monospace);
                e->setFont(f);
                valueBoxes[static_cast<std::size_t>(v)].push_back(e);
                // Binary texts are long: 4 byte boxes, 2 word boxes, 1 double word box a row.
                const int columns = v == 0 ? 4 : v == 1 ? 2 : 1;
                e->setMinimumWidth(QFontMetrics(f).horizontalAdvance(QLatin1Char('0')) * (v == 0 ? 9 : v == 1 ? 18 : 36) + 8);
                grid->addWidget(e, k / columns, k % columns);
            }
            valueGroups[static_cast<std::size_t>(v)][static_cast<std::size_t>(g)] = box;
            vg->addWidget(box);
        }
        vg->addStretch();
        views->addWidget(w);
    }
    outer->addWidget(views);
    outer->addStretch();

    if (cmbPage) fillPageList();
    fillAddressList();
    recaption();

    connect(cmbDataType, &QComboBox::activated, this, &BitBytePanel::onDataType);
    connect(cmbAddress, &QComboBox::activated, this, &BitBytePanel::onAddress);
    connect(cmbFormat, &QComboBox::activated, this, &BitBytePanel::onFormat);
    if (cmbPage) connect(cmbPage, &QComboBox::activated, this, &BitBytePanel::onPage);
}

const std::vector<QLineEdit*>& BitBytePanel::shownValueBoxes() const {
    static const std::vector<QLineEdit*> none;
    const PanelView v = model_.view();
    return v == PanelView::Bit ? none : valueBoxes[static_cast<std::size_t>(viewSlot(v))];
}

QGroupBox* BitBytePanel::shownGroup(int i) const {
    const PanelView v = model_.view();
    if (v == PanelView::Bit) return i >= 0 && i < 6 ? bitGroups[static_cast<std::size_t>(i)] : nullptr;
    return i >= 0 && i < 2 ? valueGroups[static_cast<std::size_t>(viewSlot(v))][static_cast<std::size_t>(i)] : nullptr;
}

void BitBytePanel::fillAddressList() {
    const QSignalBlocker block(cmbAddress);
    cmbAddress->clear();
    for (const auto& a : model_.addressList()) cmbAddress->addItem(QString::fromStdString(a));
    cmbAddress->setCurrentIndex(model_.addressIndex());
}

void BitBytePanel::fillPageList() {
    const QSignalBlocker block(cmbPage);
    cmbPage->clear();
    for (const auto& a : model_.pageList()) cmbPage->addItem(QString::fromStdString(a));
    cmbPage->setCurrentIndex(model_.pageIndex());
}

void BitBytePanel::recaption() {
    // The lists show the model's selection, however it was made.
    for (auto [list, index] : {std::pair{cmbDataType, model_.dataType()}, std::pair{cmbAddress, model_.addressIndex()},
                               std::pair{cmbPage, model_.pageIndex()}, std::pair{cmbFormat, model_.formatIndex()}})
        if (list && list->currentIndex() != index) {
            const QSignalBlocker block(list);
            list->setCurrentIndex(index);
        }
    const PanelView v = model_.view();
    views->setCurrentIndex(v == PanelView::Bit ? 0 : 1 + viewSlot(v));
    for (int g = 0; g < model_.groupCount(); ++g)
        if (QGroupBox* box = shownGroup(g)) box->setTitle(QString::fromStdString(model_.groupCaption(g)));
}

void BitBytePanel::onDataType(int index) {
    const BitBytePanelModel before = model_;
    try {
        model_.chooseDataType(index);
        if (cmbPage) fillPageList();
        fillAddressList();
        recaption();
    } catch (...) {
        model_ = before;
        log_.stamped(" 数据显示方式错误");
    }
}

void BitBytePanel::onAddress(int index) {
    model_.chooseAddress(index);
    recaption();
}

void BitBytePanel::onPage(int index) {
    model_.choosePage(index);
    fillAddressList();
    recaption();
}

void BitBytePanel::onFormat(int index) {
    model_.chooseFormat(index);
    recaption();
}

void BitBytePanel::setVMemoryBytes(int bytes) {
    const int type = model_.dataType();
    model_.setVMemoryBytes(bytes);
    if (model_.kind() == PanelKind::V && model_.dataType() == type) {
        fillPageList();
        fillAddressList();
        recaption();
    }
}

void BitBytePanel::render() {
    try {
        if (model_.view() == PanelView::Bit) {
            for (int d = 0; d < 48; ++d) {
                BitBox* b = bitBoxes[static_cast<std::size_t>(d)];
                const bool on = model_.bitOn(mem_, d);
                if (b->isChecked() != on) b->setChecked(on);
                b->setEnabled(model_.boxInImage(d));
            }
        } else {
            const auto& boxes = shownValueBoxes();
            for (int d = 0; d < static_cast<int>(boxes.size()); ++d)
                setTextIfChanged(boxes[static_cast<std::size_t>(d)], QString::fromStdString(model_.boxText(mem_, d)));
        }
    } catch (const PlcFault&) {
        // The boxes not yet rendered keep their text; the next refresh tries again.
        return;
    }
    model_.markRendered();
}

void BitBytePanel::FreshShow() { render(); }

// --- FrmDI ---------------------------------------------------------------------------------

FrmDI::FrmDI(PlcMemory& mem, const Log& log, int vMemoryBytes, std::function<bool()> momentary,
             std::function<bool()> fromObject, std::function<std::span<const ObjectDigitalPoint>()> objectInputs,
             QWidget* parent)
    : BitBytePanel(PanelKind::Input, mem, log, vMemoryBytes, parent),
      momentary_(std::move(momentary)),
      fromObject_(std::move(fromObject)),
      objectInputs_(std::move(objectInputs)) {
    auto* labels = new QWidget(this);
    auto* row = new QHBoxLayout(labels);
    row->setContentsMargins(0, 0, 0, 0);
    lbMode = new QLabel(QString::fromUtf8(inputModeLabel(false)), labels);
    lbMode->setObjectName("lbMode");
    lbSource = new QLabel(QString::fromUtf8(inputSourceLabel(false)), labels);
    lbSource->setObjectName("lbSource");
    row->addWidget(lbMode);
    row->addWidget(lbSource);
    row->addStretch();
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, labels);
    for (int d = 0; d < 48; ++d) {
        BitBox* b = bitBoxes[static_cast<std::size_t>(d)];
        connect(b, &QCheckBox::clicked, this, [this, d] { onBitClicked(d); });
        connect(b, &BitBox::pressedWith, this, [this, d](Qt::MouseButton btn) { onBitPressed(d, btn, true); });
        connect(b, &BitBox::releasedWith, this, [this, d](Qt::MouseButton btn) { onBitPressed(d, btn, false); });
    }
    texts_.reserve(16);
}

void FrmDI::applyEditability(bool fromObject) {
    if (fromObject && editable_) {
        lbSource->setText(QString::fromUtf8(inputSourceLabel(true)));
        editable_ = false;
    } else if (!fromObject && !editable_) {
        lbSource->setText(QString::fromUtf8(inputSourceLabel(false)));
        editable_ = true;
    } else {
        return;
    }
    for (BitBox* b : bitBoxes) b->locked = !editable_;
    for (auto& list : valueBoxes)
        for (QLineEdit* e : list) e->setReadOnly(!editable_);
}

void FrmDI::FreshShow() {
    const bool momentary = momentary_ && momentary_();
    const QString mode = QString::fromUtf8(inputModeLabel(momentary));
    if (lbMode->text() != mode) lbMode->setText(mode);
    for (BitBox* b : bitBoxes) b->momentaryMode = momentary;
    const bool fromObject = fromObject_ && fromObject_();
    applyEditability(fromObject);
    if (fromObject || model_.selectionChanged()) render();
}

void FrmDI::renderNow() { render(); }

void FrmDI::FreshInData() {
    if (fromObject_ && fromObject_()) {
        if (objectInputs_) BitBytePanelModel::writeObjectInputs(mem_, objectInputs_());
        return;
    }
    if (model_.view() == PanelView::Bit) {
        for (int d = 0; d < 48; ++d) checked_[static_cast<std::size_t>(d)] = bitBoxes[static_cast<std::size_t>(d)]->isChecked();
        model_.writeBackBits(mem_, checked_);
    } else {
        const auto& boxes = shownValueBoxes();
        texts_.resize(boxes.size());
        for (std::size_t d = 0; d < boxes.size(); ++d) {
            texts_[d] = boxes[d]->text().toStdString();
        }
        model_.writeBackValues(mem_, texts_);
    }
}

std::optional<bool> FrmDI::inputTerminal(int key) const {
    if (fromObject_ && fromObject_()) return std::nullopt;
    if (const std::optional<int> d = model_.bitBoxOf(key)) return bitBoxes[static_cast<std::size_t>(*d)]->isChecked();
    return std::nullopt;
}

void FrmDI::onBitClicked(int d) {
    if (fromObject_ && fromObject_()) return;
    BitBox* b = bitBoxes[static_cast<std::size_t>(d)];
    if (model_.addressIndex() < 0) model_.chooseAddress(0);
    // The box has toggled; the bit follows it. A failed write puts the box back.
    if (!model_.setInputBit(mem_, d, b->isChecked(), log_)) b->setChecked(!b->isChecked());
}

void FrmDI::onBitPressed(int d, Qt::MouseButton btn, bool pressed) {
    if (fromObject_ && fromObject_()) return;
    if (btn != Qt::LeftButton) return;
    if (model_.setInputBit(mem_, d, pressed, log_)) bitBoxes[static_cast<std::size_t>(d)]->setChecked(pressed);
}

}  // namespace korvane
