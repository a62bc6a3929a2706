#include "qt/qt_scheduler.h"

#include <QTimer>

namespace korvane {

namespace {

class QtTimer : public Timer {
public:
    QtTimer(std::string name, int intervalMs, std::function<void()> callback)
        : name_(std::move(name)), interval_(intervalMs), callback_(std::move(callback)), timer_(new QTimer) {
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, [this] {
            inCallback_ = true;
            bool destroyed = false;
            destroyedFlag_ = &destroyed;
            callback_();
            if (destroyed) return;  // the callback destroyed this timer
            destroyedFlag_ = nullptr;
            inCallback_ = false;
        });
    }
    ~QtTimer() override {
        timer_->stop();
        if (destroyedFlag_) *destroyedFlag_ = true;
        // A timer destroyed from its own callback is deleted once the callback has returned.
        if (inCallback_) timer_->deleteLater();
        else delete timer_;
    }

    void setInterval(int ms) override {
        interval_ = ms;
        if (enabled_) restart();
    }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override {
        if (on == enabled_) return;
        enabled_ = on;
        if (on) restart();
        else timer_->stop();
    }
    bool enabled() const override { return enabled_; }
    const std::string& name() const override { return name_; }

private:
    void restart() {
        timer_->stop();
        if (interval_ > 0) timer_->start(interval_);
    }

    std::string name_;
    int interval_;
    bool enabled_ = false;
    bool inCallback_ = false;
    bool* destroyedFlag_ = nullptr;
    std::function<void()> callback_;
    QTimer* timer_;
};

}  // namespace

QtScheduler::QtScheduler() { clock_.start(); }

std::unique_ptr<Timer> QtScheduler::createTimer(std::string name, int intervalMs, std::function<void()> callback) {
    return std::make_unique<QtTimer>(std::move(name), intervalMs, std::move(callback));
}

}  // namespace korvane
