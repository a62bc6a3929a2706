#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/scheduler.h"

using namespace korvane;

namespace {

// Records "name@time" for every firing.
struct Recorder {
    VirtualScheduler sched;
    std::vector<std::string> events;
    std::unique_ptr<Timer> make(const std::string& name, int ms) {
        return sched.createTimer(name, ms, [this, name] { events.push_back(name + "@" + std::to_string(sched.nowMs())); });
    }
};

TEST(VirtualScheduler, TimersAreCreatedDisabledAndFireOnTheirPeriod) {
    Recorder r;
    auto a = r.make("a", 30);
    r.sched.advanceTo(100);
    EXPECT_TRUE(r.events.empty());
    EXPECT_FALSE(a->enabled());
    a->setEnabled(true);  // at 100
    r.sched.advanceTo(200);
    EXPECT_EQ(r.events, (std::vector<std::string>{"a@130", "a@160", "a@190"}));
    EXPECT_EQ(r.sched.nowMs(), 200);
}

TEST(VirtualScheduler, EqualDueTimesFireInCreationOrder) {
    Recorder r;
    auto late = r.make("b", 20);
    auto early = r.make("a", 10);
    auto third = r.make("c", 20);
    third->setEnabled(true);
    early->setEnabled(true);
    late->setEnabled(true);
    r.sched.advanceTo(40);
    EXPECT_EQ(r.events, (std::vector<std::string>{"a@10", "b@20", "a@20", "c@20", "a@30", "b@40", "a@40", "c@40"}));
}

TEST(VirtualScheduler, ReTimingRestartsThePeriodFromNow) {
    Recorder r;
    auto a = r.make("a", 100);
    a->setEnabled(true);
    r.sched.advanceTo(150);
    a->setInterval(30);  // from 150
    r.sched.advanceTo(220);
    EXPECT_EQ(r.events, (std::vector<std::string>{"a@100", "a@180", "a@210"}));
    EXPECT_EQ(a->interval(), 30);
    // Enabling a running timer does not restart it.
    a->setEnabled(true);
    r.sched.advanceTo(240);
    EXPECT_EQ(r.events.back(), "a@240");
}

TEST(VirtualScheduler, DisablingAnotherTimerAtTheSameInstantCancelsItsFiring) {
    VirtualScheduler s;
    std::vector<std::string> ev;
    std::unique_ptr<Timer> b;
    auto a = s.createTimer("a", 10, [&] {
        ev.push_back("a");
        b->setEnabled(false);
    });
    b = s.createTimer("b", 10, [&] { ev.push_back("b"); });
    a->setEnabled(true);
    b->setEnabled(true);
    s.advanceTo(50);
    EXPECT_EQ(ev, (std::vector<std::string>(5, "a")));
}

TEST(VirtualScheduler, CallbacksMayDisableReTimeAndReEnableThemselves) {
    VirtualScheduler s;
    std::vector<std::int64_t> times;
    std::unique_ptr<Timer> t;
    t = s.createTimer("self", 10, [&] {
        times.push_back(s.nowMs());
        if (times.size() == 2) t->setInterval(25);  // next at 20 + 25
        if (times.size() == 4) t->setEnabled(false);
    });
    t->setEnabled(true);
    s.advanceTo(1000);
    EXPECT_EQ(times, (std::vector<std::int64_t>{10, 20, 45, 70}));
    t->setEnabled(true);  // from 1000
    s.advanceTo(1030);
    EXPECT_EQ(times.back(), 1025);
}

TEST(VirtualScheduler, ATimerEnabledInACallbackStartsFromThatInstant) {
    Recorder r;
    auto b = r.make("b", 15);
    auto a = r.sched.createTimer("a", 10, [&] {
        r.events.push_back("a@" + std::to_string(r.sched.nowMs()));
        b->setEnabled(true);
    });
    a->setEnabled(true);
    r.sched.advanceTo(35);
    EXPECT_EQ(r.events, (std::vector<std::string>{"a@10", "a@20", "b@25", "a@30"}));
}

TEST(VirtualScheduler, TimersCreatedAndDestroyedInCallbacks) {
    VirtualScheduler s;
    std::vector<std::string> ev;
    std::unique_ptr<Timer> child;
    std::unique_ptr<Timer> parent;
    parent = s.createTimer("p", 10, [&] {
        ev.push_back("p@" + std::to_string(s.nowMs()));
        if (!child) {
            child = s.createTimer("c", 5, [&] {
                ev.push_back("c@" + std::to_string(s.nowMs()));
                child.reset();  // destroys the timer whose callback is running
            });
            child->setEnabled(true);
        }
    });
    parent->setEnabled(true);
    s.advanceTo(20);
    EXPECT_EQ(ev, (std::vector<std::string>{"p@10", "c@15", "p@20"}));
    EXPECT_EQ(s.timerCount(), 2u);  // the parent and the child created at 20
    parent.reset();
    child.reset();
    EXPECT_EQ(s.timerCount(), 0u);
    s.advanceTo(100);
    EXPECT_EQ(ev.size(), 3u);
}

TEST(VirtualScheduler, ZeroIntervalNeverFires) {
    Recorder r;
    auto a = r.make("a", 0);
    a->setEnabled(true);
    r.sched.advanceTo(1000);
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.sched.nextDue(), -1);
    EXPECT_FALSE(r.sched.step());
}

TEST(VirtualScheduler, RunUntilStopsAtTheFiringThatSatisfiesThePredicate) {
    VirtualScheduler s;
    int count = 0;
    auto a = s.createTimer("a", 7, [&] { ++count; });
    a->setEnabled(true);
    EXPECT_TRUE(s.runUntil([&] { return count == 3; }, 1000));
    EXPECT_EQ(s.nowMs(), 21);
    EXPECT_FALSE(s.runUntil([&] { return count == 100; }, 30));
    EXPECT_EQ(s.nowMs(), 51);
    EXPECT_EQ(count, 7);
    EXPECT_TRUE(s.step());
    EXPECT_EQ(s.nowMs(), 56);
}

TEST(VirtualScheduler, TimeNeverGoesBackAndNestedAdvanceIsIgnored) {
    VirtualScheduler s;
    std::vector<std::int64_t> times;
    auto a = s.createTimer("a", 10, [&] {
        times.push_back(s.nowMs());
        s.advanceTo(s.nowMs() + 1000);  // ignored inside a callback
    });
    a->setEnabled(true);
    s.advanceTo(30);
    s.advanceTo(5);
    EXPECT_EQ(s.nowMs(), 30);
    EXPECT_EQ(times, (std::vector<std::int64_t>{10, 20, 30}));
}

TEST(VirtualScheduler, TimersOutlivingTheSchedulerStaySafe) {
    std::unique_ptr<Timer> t;
    {
        VirtualScheduler s;
        t = s.createTimer("a", 10, [] {});
        t->setEnabled(true);
    }
    t->setInterval(20);
    t->setEnabled(false);
    EXPECT_EQ(t->interval(), 20);
    t.reset();
}

// The scan cycle's three timers over one simulated hour: each fires exactly its count.
struct PeriodCase {
    int interval;
    std::int64_t span;
};

class PeriodTicks : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(PeriodTicks, FireExactlySpanOverIntervalTimes) {
    const auto& c = GetParam();
    VirtualScheduler s;
    std::int64_t n = 0;
    std::int64_t last = 0;
    bool regular = true;
    auto t = s.createTimer("t", c.interval, [&] {
        ++n;
        regular = regular && s.nowMs() - last == c.interval;
        last = s.nowMs();
    });
    t->setEnabled(true);
    s.advanceTo(c.span);
    EXPECT_EQ(n, c.span / c.interval);
    EXPECT_TRUE(regular);
}

INSTANTIATE_TEST_SUITE_P(Intervals, PeriodTicks,
                         ::testing::Values(PeriodCase{10, 3'600'000}, PeriodCase{80, 3'600'000},
                                           PeriodCase{500, 3'600'000}, PeriodCase{30, 1000}, PeriodCase{3000, 10'000},
                                           PeriodCase{7, 100}));

TEST(VirtualScheduler, ThreeTimersTogetherKeepTheirCounts) {
    VirtualScheduler s;
    int scan = 0, base = 0, clock = 0;
    auto a = s.createTimer("TimerScan", 10, [&] { ++scan; });
    auto b = s.createTimer("TimerForTimer", 80, [&] { ++base; });
    auto c = s.createTimer("TimerSM05", 500, [&] { ++clock; });
    a->setEnabled(true);
    b->setEnabled(true);
    c->setEnabled(true);
    s.advanceBy(3'600'000);
    EXPECT_EQ(scan, 360'000);
    EXPECT_EQ(base, 45'000);
    EXPECT_EQ(clock, 7'200);
    EXPECT_EQ(s.firings(), 412'200u);
}

}  // namespace

namespace {

// Pacing by the wall clock that fell behind: overdue timers fire once at the late time, in
// creation order, and go on from there; timers not yet due are left alone.
TEST(VirtualScheduler, CoalescingFiresEachOverdueTimerOnceLate) {
    Recorder r;
    auto fast = r.make("fast", 1);
    auto scan = r.make("scan", 10);
    auto slow = r.make("slow", 100);
    auto off = r.make("off", 1);
    fast->setEnabled(true);
    scan->setEnabled(true);
    slow->setEnabled(true);
    r.sched.advanceTo(2);  // fast@1, fast@2
    r.sched.coalesceTo(25);
    EXPECT_EQ(r.sched.nextDue(), 25);
    r.sched.advanceTo(26);
    EXPECT_EQ(r.events, (std::vector<std::string>{"fast@1", "fast@2", "fast@25", "scan@25", "fast@26"}));
    EXPECT_EQ(scan->enabled(), true);
    r.events.clear();
    r.sched.advanceTo(35);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "scan@35"), 1);  // the period goes on from 25
    r.sched.coalesceTo(20);  // a time already past changes nothing
    EXPECT_EQ(r.sched.nextDue(), 36);
    EXPECT_FALSE(off->enabled());
    r.events.clear();
    r.sched.advanceTo(99);
    EXPECT_TRUE(std::none_of(r.events.begin(), r.events.end(), [](const std::string& e) { return e.rfind("slow", 0) == 0; }));
    r.sched.advanceTo(100);
    EXPECT_EQ(r.events.back(), "slow@100");
}

// A real-time run on a busy machine wakes a little late again and again: a timer less than a
// period late keeps its beat, so that no period is lost (the program passes, which count
// scan ticks, keep up with the wall clock).
TEST(VirtualScheduler, ATimerLessThanAPeriodLateKeepsItsBeat) {
    Recorder r;
    auto scan = r.make("scan", 10);
    scan->setEnabled(true);
    for (std::int64_t wake = r.sched.nextDue() + 3; wake < 1000; wake = r.sched.nextDue() + 3) {  // 3 ms late
        r.sched.coalesceTo(wake);
        r.sched.advanceTo(wake);
    }
    EXPECT_EQ(r.events.size(), 99u);
    EXPECT_EQ(r.events.back(), "scan@993");
    EXPECT_EQ(r.sched.nextDue(), 1000);
}

}  // namespace
