#pragma once
// The timer seam: periodic timers with millisecond intervals that can be enabled, disabled
// and re-timed while running. Every callback runs to completion on the engine's one thread;
// callbacks never interrupt each other.
//
// VirtualScheduler advances simulated time deterministically and is what the tests and the
// headless runner use; the GUI maps the same timers onto its toolkit's timers.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

class Timer {
public:
    virtual ~Timer() = default;
    // A new interval; a running timer is restarted from now with it. An interval of 0 or
    // less never fires.
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    // Enabling a stopped timer starts its period from now; enabling a running one changes
    // nothing. Disabling cancels a pending firing.
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;
    virtual const std::string& name() const = 0;

    // A timer that polls a line, and whose firings change nothing while quiet() holds (no
    // byte waiting, no message begun). A real-time front end that wakes for what arrives on
    // the lines may let it sleep through such firings: it fires once, late, when the front
    // end next wakes. A timer without it is never put off.
    void setQuietWhen(std::function<bool()> quiet) { quiet_ = std::move(quiet); }
    bool quiet() const { return quiet_ && quiet_(); }

private:
    std::function<bool()> quiet_;
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // A timer, created disabled. Destroying it unregisters it.
    virtual std::unique_ptr<Timer> createTimer(std::string name, int intervalMs, std::function<void()> callback) = 0;
    // Milliseconds since the scheduler started.
    virtual std::int64_t nowMs() const = 0;
};

// Simulated time. A timer enabled at time t with interval p fires at t + p, t + 2p, ...;
// firings that fall due at the same instant run in the order the timers were created.
// Callbacks may enable, disable, re-time, create and destroy timers (themselves included);
// whatever they change takes effect before the next firing is chosen.
class VirtualScheduler : public Scheduler {
public:
    VirtualScheduler() = default;
    VirtualScheduler(const VirtualScheduler&) = delete;
    VirtualScheduler& operator=(const VirtualScheduler&) = delete;
    ~VirtualScheduler() override;

    std::unique_ptr<Timer> createTimer(std::string name, int intervalMs, std::function<void()> callback) override;
    std::int64_t nowMs() const override { return now_; }

    // Runs every firing due up to and including time ms, then sets the clock to ms. A time
    // in the past changes nothing.
    void advanceTo(std::int64_t ms);
    void advanceBy(std::int64_t ms) { advanceTo(now_ + ms); }
    // Runs firings one at a time until done() holds (checked before the first firing and
    // after each one) or until maxMs of simulated time have passed. True when done() held;
    // the clock then stands at the firing after which it held.
    bool runUntil(const std::function<bool()>& done, std::int64_t maxMs);
    // Runs the next firing, whenever it falls due; false when no timer is running.
    bool step();
    // The due time of the next firing, or -1 when no timer is running.
    std::int64_t nextDue() const;
    // The same for the timers that are not quiet() now.
    std::int64_t nextDueAwake() const;
    // Pacing by the wall clock that fell behind: every timer overdue at ms is due at ms,
    // so that it fires once, late, instead of once for each period missed (as a toolkit's
    // timers do when their thread was busy). Less than a period late, it keeps its beat (the
    // next firing is a period after the one it missed); later, its period starts anew from
    // the late firing. Timers due later keep their times.
    void coalesceTo(std::int64_t ms);

    // Firings since the scheduler was created.
    std::uint64_t firings() const { return firings_; }
    std::size_t timerCount() const { return timers_.size(); }

private:
    class VirtualTimer;
    friend class VirtualTimer;

    VirtualTimer* nextTimer(std::int64_t limit) const;
    void fire(VirtualTimer& t);
    void unregister(VirtualTimer* t);

    std::vector<VirtualTimer*> timers_;  // in creation order
    std::int64_t now_ = 0;
    std::uint64_t firings_ = 0;
    bool running_ = false;  // inside advanceTo / runUntil / step
};

}  // namespace korvane
