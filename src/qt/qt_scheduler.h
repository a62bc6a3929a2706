#pragma once
// The timer seam on Qt: every Timer is a QTimer with Qt::PreciseTimer, delivered on the
// thread of the event loop that owns it.
#include <QElapsedTimer>

#include "platform/scheduler.h"

namespace korvane {

class QtScheduler : public Scheduler {
public:
    QtScheduler();
    std::unique_ptr<Timer> createTimer(std::string name, int intervalMs, std::function<void()> callback) override;
    std::int64_t nowMs() const override { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
};

}  // namespace korvane
