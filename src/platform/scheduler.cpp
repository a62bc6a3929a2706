#include "platform/scheduler.h"

#include <algorithm>

namespace korvane {

class VirtualScheduler::VirtualTimer final : public Timer {
public:
    VirtualTimer(VirtualScheduler* owner, std::string name, int intervalMs, std::function<void()> callback)
        : owner_(owner),
          name_(std::move(name)),
          interval_(intervalMs),
          // Held apart from the timer so that a callback may destroy its own timer.
          callback_(std::make_shared<std::function<void()>>(std::move(callback))) {}

    ~VirtualTimer() override {
        if (owner_) owner_->unregister(this);
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
    }
    bool enabled() const override { return enabled_; }
    const std::string& name() const override { return name_; }

    bool armed() const { return enabled_ && interval_ > 0; }

private:
    friend class VirtualScheduler;
    void restart() {
        due_ = (owner_ ? owner_->now_ : 0) + interval_;
        lateFrom_ = -1;
    }

    VirtualScheduler* owner_;
    std::string name_;
    int interval_;
    bool enabled_ = false;
    std::int64_t due_ = 0;
    std::int64_t lateFrom_ = -1;  // coalesced: the due time it had, else -1
    std::shared_ptr<std::function<void()>> callback_;
};

VirtualScheduler::~VirtualScheduler() {
    for (VirtualTimer* t : timers_) t->owner_ = nullptr;
}

std::unique_ptr<Timer> VirtualScheduler::createTimer(std::string name, int intervalMs, std::function<void()> callback) {
    auto t = std::make_unique<VirtualTimer>(this, std::move(name), intervalMs, std::move(callback));
    timers_.push_back(t.get());
    return t;
}

void VirtualScheduler::unregister(VirtualTimer* t) {
    auto it = std::find(timers_.begin(), timers_.end(), t);
    if (it != timers_.end()) timers_.erase(it);
}

// The armed timer with the earliest due time not after limit; ties go to the earlier timer.
VirtualScheduler::VirtualTimer* VirtualScheduler::nextTimer(std::int64_t limit) const {
    VirtualTimer* best = nullptr;
    for (VirtualTimer* t : timers_) {
        if (!t->armed() || t->due_ > limit) continue;
        if (!best || t->due_ < best->due_) best = t;
    }
    return best;
}

void VirtualScheduler::fire(VirtualTimer& t) {
    now_ = std::max(now_, t.due_);
    // The next period; the callback may change it. A timer that fires late keeps its beat
    // when less than a period late, and starts a new one from now otherwise.
    t.due_ = now_ + t.interval_;
    if (t.lateFrom_ >= 0 && t.lateFrom_ + t.interval_ > now_) t.due_ = t.lateFrom_ + t.interval_;
    t.lateFrom_ = -1;
    ++firings_;
    // A copy of the handle keeps the callback alive should it destroy its own timer.
    const std::shared_ptr<std::function<void()>> cb = t.callback_;
    if (*cb) (*cb)();
}

void VirtualScheduler::advanceTo(std::int64_t ms) {
    if (running_) return;  // a callback cannot advance time
    running_ = true;
    while (VirtualTimer* t = nextTimer(ms)) fire(*t);
    now_ = std::max(now_, ms);
    running_ = false;
}

bool VirtualScheduler::runUntil(const std::function<bool()>& done, std::int64_t maxMs) {
    if (running_) return false;
    if (done()) return true;
    const std::int64_t limit = now_ + maxMs;
    running_ = true;
    bool met = false;
    while (VirtualTimer* t = nextTimer(limit)) {
        fire(*t);
        if (done()) {
            met = true;
            break;
        }
    }
    if (!met) now_ = std::max(now_, limit);
    running_ = false;
    return met;
}

bool VirtualScheduler::step() {
    if (running_) return false;
    VirtualTimer* t = nextTimer(INT64_MAX);
    if (!t) return false;
    running_ = true;
    fire(*t);
    running_ = false;
    return true;
}

std::int64_t VirtualScheduler::nextDue() const {
    const VirtualTimer* t = nextTimer(INT64_MAX);
    return t ? t->due_ : -1;
}

std::int64_t VirtualScheduler::nextDueAwake() const {
    std::int64_t due = -1;
    for (const VirtualTimer* t : timers_)
        if (t->armed() && (due < 0 || t->due_ < due) && !t->quiet()) due = t->due_;
    return due;
}

void VirtualScheduler::coalesceTo(std::int64_t ms) {
    if (running_) return;
    for (VirtualTimer* t : timers_)
        if (t->armed() && t->due_ < ms) {
            if (t->lateFrom_ < 0) t->lateFrom_ = t->due_;
            t->due_ = ms;
        }
}

}  // namespace korvane
