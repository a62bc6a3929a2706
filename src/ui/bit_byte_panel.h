#pragma once
// The bit and byte panels: a window of the I, Q, M or V area in one of four views (48 bit
// boxes, 16 byte boxes, 8 word boxes, 4 double-word boxes) with the data-type, address
// (page and offset for V) and format lists. FrmDI, the input panel, lets the operator set
// the inputs as latching switches or momentary push buttons and writes them back every tick.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "core/plc_memory.h"
#include "platform/log_sink.h"
#include "sim/panel_models.h"

namespace korvane {

// A bit box that can work as a momentary push button: in that mode a press and a release
// are reported instead of toggling; while locked it ignores the operator.
class BitBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
    bool momentaryMode = false;
    bool locked = false;

signals:
    void pressedWith(Qt::MouseButton button);
    void releasedWith(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
};

class BitBytePanel : public QWidget {
    Q_OBJECT
public:
    BitBytePanel(PanelKind kind, PlcMemory& mem, const Log& log, int vMemoryBytes, QWidget* parent = nullptr);

    BitBytePanelModel& model() { return model_; }
    const BitBytePanelModel& model() const { return model_; }

    // Refresh (every tenth tick): renders every box; the input panel only when due.
    virtual void FreshShow();
    void setVMemoryBytes(int bytes);

    // Controls, for the window and the tests.
    QComboBox* cmbDataType = nullptr;
    QComboBox* cmbPage = nullptr;  // V panel only
    QComboBox* cmbAddress = nullptr;
    QComboBox* cmbFormat = nullptr;
    QStackedWidget* views = nullptr;
    std::array<QGroupBox*, 6> bitGroups{};
    std::array<BitBox*, 48> bitBoxes{};
    // Value boxes per view: byte 16, word 8, double word 4.
    std::array<std::vector<QLineEdit*>, 3> valueBoxes;
    std::array<std::array<QGroupBox*, 2>, 3> valueGroups{};

    // The boxes of the shown view.
    const std::vector<QLineEdit*>& shownValueBoxes() const;
    QGroupBox* shownGroup(int i) const;

protected:
    // Renders every box of the shown view from the image.
    void render();
    void recaption();
    void onDataType(int index);
    void onAddress(int index);
    void onPage(int index);
    void onFormat(int index);
    void fillAddressList();
    void fillPageList();

    BitBytePanelModel model_;
    PlcMemory& mem_;
    const Log& log_;
    QWidget* topRow_ = nullptr;
};

class FrmDI : public BitBytePanel {
    Q_OBJECT
public:
    // momentary: the window's input mode; fromObject: inputs come from the object;
    // objectInputs: its 64 digital input points.
    FrmDI(PlcMemory& mem, const Log& log, int vMemoryBytes, std::function<bool()> momentary,
          std::function<bool()> fromObject, std::function<std::span<const ObjectDigitalPoint>()> objectInputs,
          QWidget* parent = nullptr);

    void FreshShow() override;
    // Renders now as if an object drove the inputs (after the status table wrote values).
    void renderNow();
    // Every tick, before the pass.
    void FreshInData();
    // The switch of the input at key as it stands now, for the immediate reads; nothing when
    // no switch shows it or the object drives the inputs.
    std::optional<bool> inputTerminal(int key) const;

    QLabel* lbMode = nullptr;
    QLabel* lbSource = nullptr;

private:
    void applyEditability(bool fromObject);
    void onBitClicked(int d);
    void onBitPressed(int d, Qt::MouseButton b, bool pressed);

    std::function<bool()> momentary_;
    std::function<bool()> fromObject_;
    std::function<std::span<const ObjectDigitalPoint>()> objectInputs_;
    bool editable_ = true;
    std::array<bool, 48> checked_{};
    std::vector<std::string> texts_;
};

}  // namespace korvane
