#pragma once
// Pictures the front panel draws itself: lamp rows with their bit-number captions, the
// SF/RUN/STOP lamps, the RUN/STOP switch, the port symbols, the logo and the toolbar icons.
#include <QColor>
#include <QIcon>
#include <QWidget>

#include <array>
#include <cstdint>

namespace korvane {

inline const QColor kLampOn{255, 0, 0};
inline const QColor kLampOff{255, 255, 255};

// A row of up to 24 round lamps under a caption of bit numbers ("0 1 2 ... 7 0 1 ...").
// Only the first count() lamps are visible. Repaints only when a lamp changes.
class LampRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPitch = 9;  // pixels per lamp (135 twips)
    explicit LampRow(int capacity, QWidget* parent = nullptr);
    void setCount(int n);
    int count() const { return count_; }
    int capacity() const { return capacity_; }
    void setLamp(int k, bool on);
    bool lamp(int k) const { return k >= 0 && k < count_ && on_[static_cast<std::size_t>(k)]; }
    QColor lampColor(int k) const { return lamp(k) ? kLampOn : kLampOff; }
    // Where lamp k is drawn, in the row's own coordinates.
    static QRect lampRect(int k) { return {k * kPitch + 1, 11, kPitch - 2, kPitch - 2}; }
    QString captionText() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int capacity_;
    int count_ = 0;
    std::array<bool, 32> on_{};
};

// The three CPU status lamps, top to bottom "SF", "RUN", "STOP".
class StatusLamps : public QWidget {
    Q_OBJECT
public:
    explicit StatusLamps(QWidget* parent = nullptr);
    void setColors(QColor sf, QColor run, QColor stop);
    QColor sf() const { return sf_; }
    QColor run() const { return run_; }
    QColor stop() const { return stop_; }
    QSize sizeHint() const override { return {58, 54}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor sf_{255, 255, 255}, run_{255, 255, 255}, stop_{255, 0, 0};
};

// The RUN/STOP mode switch; a click asks for the other position.
class RunSwitch : public QWidget {
    Q_OBJECT
public:
    explicit RunSwitch(QWidget* parent = nullptr);
    void setRunning(bool on);
    bool running() const { return running_; }
    QSize sizeHint() const override { return {40, 54}; }

signals:
    void toggled();

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool running_ = false;
};

// A port connector symbol (nine-pin D shell) with its name below.
class PortSymbol : public QWidget {
    Q_OBJECT
public:
    explicit PortSymbol(const QString& name, QWidget* parent = nullptr);
    QString name() const { return name_; }
    QSize sizeHint() const override { return {44, 34}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString name_;
};

// The product logo.
class Logo : public QWidget {
    Q_OBJECT
public:
    explicit Logo(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {110, 70}; }

protected:
    void paintEvent(QPaintEvent*) override;
};

// A toolbar icon for a toolbar key of the main window ("btRun", "btLoadProg", ...) or of the
// status table ("btReadContinue", "btAddLast", ...), drawn at 24 x 24.
QIcon toolIcon(const QString& key);

}  // namespace korvane
