#pragma once
// The front panel: the run controls (scan period, time base, scan counter), the CPU frame
// with its lamps, RUN/STOP switch, status lamps, ports and analog potentiometers (SMB28, and
// SMB29 on a CPU with two, 0 to 255), and the seven module slots with
// their lists, names, lamps and "配置" buttons, laid out left to right, then the logo.
// The widget shows the rack; the main window applies the choices.
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <array>

#include "core/plc_memory.h"
#include "hardware/hardware_config.h"
#include "ui/painted.h"

namespace korvane {

class RackView : public QWidget {
    Q_OBJECT
public:
    struct Slot {
        QGroupBox* frame = nullptr;
        QComboBox* list = nullptr;
        QLabel* name = nullptr;
        LampRow* inputs = nullptr;
        LampRow* outputs = nullptr;
        QPushButton* config = nullptr;
    };

    static constexpr int kHeight = 148;  // room for a slot with its list, name, both lamp rows and "配置"
    explicit RackView(const HardwareConfig& hw, QWidget* parent = nullptr);

    // Lists show the configured rack; frames, lamps, names, buttons and ports follow it.
    void syncFromConfig();
    // Recolours every configured lamp from the image (repaints only changed lamps).
    void refreshLamps(const PlcMemory& mem);
    void setRunning(bool running);  // the switch picture
    void setStatusLamps(bool running, bool forced);
    void setScanCount(std::int32_t n);
    // The real-CPU mode: every timer counts in its own resolution, so the time base is
    // disabled and its tip says why; off, it is enabled with its own tip again.
    void setRealCpu(bool on);
    static constexpr const char* kTimeBaseRealCpuTip =
        "真实CPU时序已开启：每个定时器按其编号的分辨率(1 ms、10 ms、100 ms)计时，时基不起作用";

    QComboBox* cmbCPU = nullptr;
    QComboBox* cmbScanPeriod = nullptr;
    QComboBox* cmbTimeBase = nullptr;
    QLabel* lbScanCount = nullptr;
    QPushButton* btClearCount = nullptr;
    RunSwitch* runSwitch = nullptr;
    StatusLamps* statusLamps = nullptr;
    LampRow* cpuInputs = nullptr;
    LampRow* cpuOutputs = nullptr;
    PortSymbol* port0 = nullptr;
    PortSymbol* port1 = nullptr;
    QSpinBox* pot0 = nullptr;
    QSpinBox* pot1 = nullptr;
    QGroupBox* cpuFrame = nullptr;
    std::array<Slot, HardwareConfig::kSlotCount> moduleSlots;

    LampRow* inputRow(int slot) const { return slot == 0 ? cpuInputs : moduleSlots[static_cast<std::size_t>(slot - 1)].inputs; }
    LampRow* outputRow(int slot) const { return slot == 0 ? cpuOutputs : moduleSlots[static_cast<std::size_t>(slot - 1)].outputs; }

signals:
    void cpuChosen(int index);
    void moduleChosen(int slot, int index);
    void configureClicked(int slot);
    void switchClicked();
    void scanPeriodChosen(int ms);
    void timeBaseChosen(int ms);
    void clearCountClicked();
    void potentiometerChanged(int n, int value);  // n = 0 (SMB28) or 1 (SMB29)

private:
    void drawSlot(int slot);
    const HardwareConfig& hw_;
    QString timeBaseTip_;  // the time base's tip outside the real-CPU mode
};

}  // namespace korvane
