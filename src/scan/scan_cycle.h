#pragma once
// The scan cycle: a 10 ms timer (TimerScan) drives the simulated CPU. Every tick takes the
// inputs, writes the forced values, runs interrupts and a program pass when the run mode and
// the task period say so, writes the forced values again and hands the outputs on; every
// tenth tick refreshes the views. TimerForTimer gives the timer base, TimerSM05 toggles SM0.5
// every 500 ms and SM0.4 every 60th time (30 s off, 30 s on).
//
// Scan times (SMW22 the last, SMW24 the shortest, SMW26 the longest since RUN entry, in ms):
// a scan lasts from the start of one program pass to the start of the next, on the clock the
// cycle runs on (simulated or real), so with a task period of 50 ms a scan takes 50 ms. They
// are written before each pass, which thus sees the scan that has just ended; the first pass
// after RUN entry sees 0 in all three. A pause between two passes counts into their scan; a
// scan above 32767 ms counts as 32767.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/interpreter.h"
#include "core/plc_memory.h"
#include "platform/prompt.h"
#include "platform/scheduler.h"

namespace korvane {

// Run modes; the run flag is separate (RunMode::runFlag).
enum class Mode : std::int16_t {
    Stop = 0,
    Continuous = 1,
    OnePerSecond = 2,
    SinglePass = 3,
    Pause = 4,
    FirstScan = 5,
    Counted = 6,
};

struct RunMode {
    std::int16_t runFlag = 0;  // 0 STOP, -1 RUN
    Mode mode = Mode::Stop;
    std::int32_t passesLeft = 0;
    std::int32_t tickCounter = 0;
    std::int32_t taskPeriod = 50;  // ms, 10 to 3000 in steps of 10
    std::int32_t timeBase = 80;    // ms, 30 to 1000 in steps of 5
    bool warned = false;           // the slow-mode warning has been shown
    bool forced = false;           // a forced value was written in the last tick
};

// The parts the scan cycle calls that belong to other subsystems. Each default does nothing.
class ScanParticipants {
public:
    virtual ~ScanParticipants() = default;
    // The status table's one-time writes; true when a write was requested (and done).
    virtual bool pendingWrites() { return false; }
    // Inputs from the panels or the object link into the image.
    virtual void inputPhase() {}
    // The status table's force step; true when it wrote any row.
    virtual bool forceStep() { return false; }
    // Free-port line settings, once per task-period tick in RUN.
    virtual void freeportPostProcess() {}
    // The interrupt routines that fall due.
    virtual void runInterrupts() {}
    // Outputs to the panels and the object link.
    virtual void outputPhase() {}
    // Every tenth tick: panels, visible views, lamps. fullRebuild when the scan count is 2.
    virtual void refreshViews(bool forced, bool fullRebuild) {
        (void)forced;
        (void)fullRebuild;
    }
    // The master-port protocols are reset on RUN and STOP entry.
    virtual void resetMasters(bool enteringRun) { (void)enteringRun; }
    // The mode, the run flag or the scan counter changed (toolbar, switch picture, lamps).
    virtual void runStateChanged() {}
    virtual void scanCountShown(std::int32_t count) { (void)count; }
    // The code box's text length (the "no code loaded" question asks when below 2).
    virtual std::size_t codeTextLength() const { return 2; }
};

class ScanCycle {
public:
    static constexpr int kTickMs = 10;
    static constexpr int kSm05Ms = 500;

    ScanCycle(Scheduler& scheduler, Interpreter& cpu, Prompt& prompt, ScanParticipants& parts, const Log& log);

    // --- commands ----------------------------------------------------------------------
    void requestMode(Mode m);           // a run-mode command through the mode change
    void continuousRun() { requestMode(Mode::Continuous); }
    void firstScan() { requestMode(Mode::FirstScan); }
    void onePerSecond() { requestMode(Mode::OnePerSecond); }
    void singlePass() { requestMode(Mode::SinglePass); }
    void pauseButton() { requestMode(Mode::Pause); }
    void pauseMenu();                    // sets pause without the mode change, unless stopped
    void stop() { requestMode(Mode::Stop); }
    // The counted-passes command: asks for the count; a cancelled or non-numeric answer
    // ignores the command.
    void countedPasses();
    void countedPasses(std::int32_t n);  // as if n had been typed
    void modeSwitch() { requestMode(state_.runFlag ? Mode::Stop : Mode::Continuous); }
    void warmRestart() { cpu_.mem().ClearImage(); }
    // The real-CPU mode: every timer counts in its own resolution, STOP to RUN keeps the
    // memory, STOP switches the outputs off (RealCpuTimers, timers_counters.h). Off: the
    // single time base and the cleared memory of every RUN entry.
    void setRealCpu(bool on);
    bool realCpu() const { return cpu_.realTimers.on; }
    // "上电复位": what a power-up with a kept backup does. The retentive ranges stay, the rest is
    // cleared (powerUpClear), and the next RUN entry has SM0.3 on in its first pass; in RUN
    // the CPU goes through STOP and comes back in RUN.
    void powerUp();
    void clearCount();
    void setTaskPeriod(int ms);
    void setTimeBase(int ms);

    // --- the tick ----------------------------------------------------------------------
    void tick();
    void timerBase();
    void toggleSm05();

    const RunMode& state() const { return state_; }
    RunMode& state() { return state_; }
    bool running() const { return state_.runFlag != 0; }
    Scheduler& scheduler() { return scheduler_; }
    // The number of program passes run by the scan cycle since it was created.
    std::uint64_t passes() const { return passes_; }
    // Called after every program pass the cycle runs, and around every tick with the
    // scheduler's time (the headless runner's trace, scripted inputs and checks).
    std::function<void()> afterPass;
    std::function<void(std::int64_t)> beforeTick;
    std::function<void(std::int64_t)> afterTick;

    void enterRun();
    void enterStop();

private:
    void pass();
    void writeScanTimes();
    // The STOP instruction: the STOP command, with a log line of its own.
    void stopByProgram();
    void interrupts() { parts_.runInterrupts(); }

    Scheduler& scheduler_;
    Interpreter& cpu_;
    Prompt& prompt_;
    ScanParticipants& parts_;
    const Log& log_;
    RunMode state_;
    std::unique_ptr<Timer> timerScan_;
    std::unique_ptr<Timer> timerForTimer_;
    std::unique_ptr<Timer> timerSm05_;
    std::uint64_t passes_ = 0;
    int sm05Toggles_ = 0;            // since RUN entry: every 60th toggles SM0.4
    std::int64_t lastPassMs_ = -1;   // when the last pass since RUN entry started
    int lastScanMs_ = 0, shortestScanMs_ = 0, longestScanMs_ = 0;
    bool scanMeasured_ = false;      // a scan has ended since RUN entry
    bool powerUpPending_ = false;    // the next RUN entry follows a power-up
};

}  // namespace korvane
