#pragma once
// "时序图": up to 16 addresses plotted over the last 10 to 600 seconds as a logic analyzer
// shows them, one lane per signal: bits as high/low steps, numbers as a held line on a value
// axis scaled to what is in view. The recorder (sim/signal_trace.h) is fed after every
// program pass by the main window; the chart is redrawn on the window's view refresh.
//
// "暂停" freezes the picture only: recording goes on, and while paused the scroll bar under
// the chart moves through the kept 600 s. Zoom: the mouse wheel or "放大"/"缩小" halve or
// double the span shown (1 to 600 s); "时间窗" picks a span. The mouse over the traces shows
// a cursor line whose time and values the labels show. "导出VCD" writes what is kept as a
// Value Change Dump.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

#include <functional>
#include <optional>

#include "sim/signal_trace.h"
#include "sim/simulator.h"

namespace korvane {

class TimingView;

// The chart: the lane labels on the left, the traces and the time axis on the right.
class TimingChart : public QWidget {
    Q_OBJECT
public:
    explicit TimingChart(TimingView& view);
    QSize minimumSizeHint() const override { return {420, 160}; }
    // The lane a point in the widget falls in; -1 outside the lanes.
    int laneAt(QPoint p) const;
    // The time under the mouse (the cursor line, whose values the labels then show); nullopt
    // when the mouse is not over the traces.
    std::optional<std::int64_t> cursorMs() const;
    static constexpr int kLabelWidth = 150;
    static constexpr int kBitLane = 30;
    static constexpr int kWordLane = 56;
    static constexpr int kAxisHeight = 24;

protected:
    void paintEvent(QPaintEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    // The shown span: [start, end], traces drawn up to now.
    struct Frame {
        std::int64_t now, start, end;
        int plotLeft, plotRight;
    };
    Frame frame() const;

    TimingView& view_;
    std::optional<int> cursorX_;
};

class TimingView : public QWidget {
    Q_OBJECT
public:
    // saveFile: the export dialog ("" when cancelled), given a suggested file name.
    TimingView(Simulator& sim, std::function<QString(const QString& suggested)> saveFile, QWidget* parent = nullptr);

    SignalRecorder& recorder() { return recorder_; }
    const SignalRecorder& recorder() const { return recorder_; }

    // The main window's per-pass call: samples the chosen addresses at the scheduler's time.
    void samplePass();
    // The view refresh: redraws unless paused.
    void FreshShow();

    // Adds an address (the status table's syntax, as in the runner: I0.0, VW0, T37, T37:b);
    // false with a message under the buttons when it cannot be added.
    bool addSignal(const QString& text);
    void removeSelected();
    int selectedLane() const { return selected_; }
    void selectLane(int i);

    // The span shown, in ms (1 s to 600 s).
    std::int64_t spanMs() const { return spanMs_; }
    void setSpanMs(std::int64_t ms);
    void zoomIn() { setSpanMs(spanMs_ / 2); }
    void zoomOut() { setSpanMs(spanMs_ * 2); }

    void setPaused(bool on);
    bool paused() const { return paused_; }
    // The time at the chart's right edge.
    std::int64_t endMs() const;
    // "导出VCD": asks for a file and writes; false when cancelled or not written.
    bool exportVcd();
    bool exportVcdTo(const QString& path);

    QString message() const { return message_->text(); }
    TimingChart* chart() const { return chart_; }

private:
    void updateScrollBar();
    void showMessage(const QString& text);

    Simulator& sim_;
    std::function<QString(const QString&)> saveFile_;
    SignalRecorder recorder_;
    TimingChart* chart_ = nullptr;
    QLineEdit* address_ = nullptr;
    QComboBox* span_ = nullptr;
    QLabel* spanLabel_ = nullptr;
    QPushButton* pause_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QLabel* message_ = nullptr;
    std::int64_t spanMs_ = 10'000;
    bool paused_ = false;
    std::int64_t pausedEnd_ = 0;  // the right edge while paused
    int selected_ = -1;

    friend class TimingChart;
};

}  // namespace korvane
