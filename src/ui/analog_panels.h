#pragma once
// The analog panel (eight AIW and eight AQW words, the first channel's module and signal
// class, typed inputs in manual mode) and the timer/counter panel (three S bytes, four
// timers and four counters; display only). FormAConfig, the analog module settings dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <array>
#include <functional>

#include "core/plc_memory.h"
#include "hardware/analog_settings.h"
#include "hardware/hardware_config.h"
#include "sim/panel_models.h"

namespace korvane {

class AnalogPanel : public QWidget {
    Q_OBJECT
public:
    AnalogPanel(PlcMemory& mem, const HardwareConfig& hw, std::function<bool()> fromObject, QWidget* parent = nullptr);

    void InitData();
    void FreshShow();
    void FreshInData();
    void FreshOutData() {}  // the object link takes the AQW words itself once connected
    // Renders the input boxes now (after the status table wrote values).
    void renderNow();
    void chooseAiw(int n);
    void chooseAqw(int m);

    AnalogPanelModel& model() { return model_; }
    QComboBox* cmbAIW = nullptr;
    QComboBox* cmbAQW = nullptr;
    QGroupBox* inputGroup = nullptr;
    QGroupBox* outputGroup = nullptr;
    std::array<QLineEdit*, 8> inputs{};
    std::array<QLineEdit*, 8> outputs{};
    QLabel* lbModule = nullptr;
    QLabel* lbClass = nullptr;
    QLabel* lbSource = nullptr;

private:
    void fillInputs();
    AnalogPanelModel model_;
    PlcMemory& mem_;
    const HardwareConfig& hw_;
    std::function<bool()> fromObject_;
    bool editable_ = true;
    std::array<std::string, 8> texts_;
};

class TimerCounterPanel : public QWidget {
    Q_OBJECT
public:
    TimerCounterPanel(PlcMemory& mem, const Log& log, QWidget* parent = nullptr);
    void FreshShow();
    void chooseS(int n);
    void chooseTimer(int t);
    void chooseCounter(int c);
    // The real-CPU mode: a row under the timers' values gives each one's resolution.
    void setRealCpu(bool on);
    bool realCpu() const { return realCpu_; }

    TimerCounterPanelModel& model() { return model_; }
    QComboBox* cmbS = nullptr;
    QComboBox* cmbT = nullptr;
    QComboBox* cmbC = nullptr;
    std::array<QGroupBox*, 3> sGroups{};
    std::array<QCheckBox*, 24> sBoxes{};
    QGroupBox* timerGroup = nullptr;
    QGroupBox* counterGroup = nullptr;
    std::array<QLineEdit*, 4> timerPre{}, timerPv{}, counterPre{}, counterPv{};
    QLabel* timerResolutionCaption = nullptr;
    std::array<QLabel*, 4> timerResolution{};  // "1 ms", "10 ms", "100 ms"; shown in the real-CPU mode

private:
    void showResolutions();
    TimerCounterPanelModel model_;
    bool realCpu_ = false;
    PlcMemory& mem_;
    const Log& log_;
};

// The analog module settings dialog of slot ModuleIndex.
class FormAConfig : public QDialog {
    Q_OBJECT
public:
    FormAConfig(HardwareConfig& hw, int moduleIndex, QWidget* parent = nullptr);
    int ModuleIndex() const { return form_.moduleIndex; }
    QComboBox* cmbInput = nullptr;
    QComboBox* cmbOutput = nullptr;
    QGroupBox* switchGroup = nullptr;
    std::vector<QCheckBox*> switches;
    QPushButton* btClose = nullptr;
    // The "关闭" button: stores the settings and closes.
    void closeAndStore();

private:
    HardwareConfig& hw_;
    AnalogSettingsForm form_;
};

}  // namespace korvane
