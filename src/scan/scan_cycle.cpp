#include "scan/scan_cycle.h"

#include <algorithm>
#include <optional>

#include "core/fault.h"
#include "core/timers_counters.h"
#include "loader/stl_text.h"

namespace korvane {

ScanCycle::ScanCycle(Scheduler& scheduler, Interpreter& cpu, Prompt& prompt, ScanParticipants& parts, const Log& log)
    : scheduler_(scheduler), cpu_(cpu), prompt_(prompt), parts_(parts), log_(log) {
    timerScan_ = scheduler.createTimer("TimerScan", kTickMs, [this] { tick(); });
    timerForTimer_ = scheduler.createTimer("TimerForTimer", state_.timeBase, [this] { timerBase(); });
    timerSm05_ = scheduler.createTimer("TimerSM05", kSm05Ms, [this] { toggleSm05(); });
    timerScan_->setEnabled(true);
}

void ScanCycle::writeScanTimes() {
    const std::int64_t now = scheduler_.nowMs();
    if (lastPassMs_ >= 0) {
        const int ms = static_cast<int>(std::clamp<std::int64_t>(now - lastPassMs_, 0, 32767));
        shortestScanMs_ = scanMeasured_ ? std::min(shortestScanMs_, ms) : ms;
        longestScanMs_ = std::max(longestScanMs_, ms);
        lastScanMs_ = ms;
        scanMeasured_ = true;
    }
    lastPassMs_ = now;
    PlcMemory& mem = cpu_.mem();
    mem.tobit(lastScanMs_, area::SM + 8 * 22, 16);
    mem.tobit(shortestScanMs_, area::SM + 8 * 24, 16);
    mem.tobit(longestScanMs_, area::SM + 8 * 26, 16);
}

void ScanCycle::pass() {
    writeScanTimes();
    if (cpu_.realTimers.on) startPassTimers(cpu_.mem(), cpu_.realTimers, scheduler_.nowMs());
    cpu_.RunExec(0);
    ++passes_;
    if (afterPass) afterPass();
}

namespace {

// A fault inside one step of the tick is that step's own: the tick goes on with the next.
template <typename F>
void step(F&& f) {
    try {
        f();
    } catch (const PlcFault&) {
    }
}

}  // namespace

void ScanCycle::tick() {
    if (beforeTick) beforeTick(scheduler_.nowMs());
    RunMode& s = state_;
    s.tickCounter = s.tickCounter == INT32_MAX ? 0 : s.tickCounter + 1;
    cpu_.tick = static_cast<std::uint32_t>(s.tickCounter);
    const bool periodTick = (static_cast<std::int64_t>(s.tickCounter) * kTickMs) % s.taskPeriod == 0;

    step([&] { parts_.pendingWrites(); });
    step([&] { parts_.inputPhase(); });
    step([&] { parts_.forceStep(); });

    const std::uint64_t passesBefore = passes_;
    if (s.runFlag && cpu_.realTimers.on)
        step([&] { advanceMillisecondTimers(cpu_.mem(), cpu_.realTimers, scheduler_.nowMs()); });
    if (s.runFlag) {
        if (periodTick) step([&] { parts_.freeportPostProcess(); });
        switch (s.mode) {
        case Mode::Continuous:
            step([&] { interrupts(); });
            if (periodTick) step([&] { pass(); });
            break;
        case Mode::OnePerSecond:
            if (s.tickCounter % 100 == 0) {
                step([&] { interrupts(); });
                if (periodTick) step([&] { pass(); });
            }
            break;
        case Mode::SinglePass:
            if (periodTick) {
                step([&] { interrupts(); });
                step([&] { pass(); });
                s.mode = Mode::Pause;
                parts_.runStateChanged();
            }
            break;
        case Mode::Pause:
        case Mode::Stop:
            break;
        case Mode::FirstScan:
            step([&] { interrupts(); });
            step([&] { pass(); });
            s.mode = Mode::Pause;
            break;
        case Mode::Counted:
            if (s.passesLeft < 1) {
                s.mode = Mode::Pause;
                parts_.runStateChanged();
            } else {
                step([&] { interrupts(); });
                if (periodTick) {
                    step([&] { pass(); });
                    --s.passesLeft;
                }
            }
            break;
        }
    }

    // A STOP instruction takes effect once a pass has completed the scan it was executed in.
    if (cpu_.stopRequested && passes_ != passesBefore) stopByProgram();

    s.forced = false;
    step([&] { s.forced = parts_.forceStep(); });
    step([&] { parts_.outputPhase(); });
    if (s.tickCounter % 10 == 0) step([&] { parts_.refreshViews(s.forced, cpu_.scanCounter == 2); });
    if (afterTick) afterTick(scheduler_.nowMs());
}

void ScanCycle::stopByProgram() {
    cpu_.stopRequested = false;
    log_.stamped(" 执行STOP指令，CPU停止");
    requestMode(Mode::Stop);
}

void ScanCycle::timerBase() { advanceTimers(cpu_.mem(), log_); }

void ScanCycle::toggleSm05() {
    std::int16_t* c = cpu_.mem().cells();
    c[area::SM0_5] = c[area::SM0_5] ? kOff : kOn;
    if (++sm05Toggles_ == 60) {
        sm05Toggles_ = 0;
        c[area::SM0_4] = c[area::SM0_4] ? kOff : kOn;
    }
}

void ScanCycle::requestMode(Mode m) {
    RunMode& s = state_;
    if (m != Mode::Stop && m != Mode::Continuous && !s.warned) {
        prompt_.inform("如果不是全速运行，则可能所有通信都不正常");
        s.warned = true;
    }
    s.mode = m;
    if (parts_.codeTextLength() < 2 && m != Mode::Stop) {
        if (!prompt_.ask("没有装载代码，是否继续运行")) {
            // A cancel goes through the full STOP entry, so no RUN timer keeps running.
            s.mode = Mode::Stop;
            if (s.runFlag) enterStop();
            s.runFlag = 0;
            parts_.runStateChanged();
            return;
        }
    }
    switch (m) {
    case Mode::Continuous:
    case Mode::OnePerSecond:
    case Mode::SinglePass:
        if (!s.runFlag) enterRun();
        s.runFlag = -1;
        break;
    case Mode::Pause:
        if (!s.runFlag) {
            prompt_.inform("已经是停止状态，不能置于暂停");
            s.mode = Mode::Stop;
        }
        break;
    case Mode::FirstScan:
    case Mode::Counted:
        if (s.runFlag) enterStop();
        enterRun();
        s.runFlag = -1;
        break;
    case Mode::Stop:
        if (s.runFlag) enterStop();
        s.runFlag = 0;
        break;
    }
    parts_.runStateChanged();
}

void ScanCycle::pauseMenu() {
    if (state_.mode != Mode::Stop) state_.mode = Mode::Pause;
}

namespace {

// The count dialog's answer read as a 32-bit integer: a number as an operand constant is
// written (sign, fraction, exponent, blanks around it), rounded to nearest with ties to even.
// Other text and a number outside 32 bits give nothing.
std::optional<std::int32_t> countAnswer(const std::string& text) {
    const std::optional<double> v = stl::numericValue(text);
    if (!v) return std::nullopt;
    const double r = roundEven(*v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<std::int32_t>(r);
}

}  // namespace

void ScanCycle::countedPasses() {
    auto answer = prompt_.input("输入指定运行次数", "输入指定运行次数1-65535", "1");
    if (!answer) return;
    const std::optional<std::int32_t> n = countAnswer(*answer);
    if (!n) return;
    countedPasses(*n);
}

void ScanCycle::countedPasses(std::int32_t n) {
    if (n < 0 || n > 65535) n = 1;
    state_.passesLeft = n;
    requestMode(Mode::Counted);
}

void ScanCycle::clearCount() {
    if (cpu_.scanCounter > 1) cpu_.scanCounter = 1;
    parts_.scanCountShown(cpu_.scanCounter);
}

void ScanCycle::setTaskPeriod(int ms) {
    if (ms <= 0) return;  // no period: the period test would divide by zero
    timerScan_->setEnabled(false);
    timerScan_->setEnabled(true);
    state_.taskPeriod = ms;
}

void ScanCycle::setTimeBase(int ms) {
    state_.timeBase = ms;
    timerForTimer_->setInterval(ms);
}

void ScanCycle::enterRun() {
    RunMode& s = state_;
    timerSm05_->setEnabled(true);
    sm05Toggles_ = 0;
    lastPassMs_ = -1;
    lastScanMs_ = shortestScanMs_ = longestScanMs_ = 0;
    scanMeasured_ = false;
    timerForTimer_->setInterval(s.timeBase);
    // With the CPU's timers each timer counts in its own resolution instead.
    timerForTimer_->setEnabled(!cpu_.realTimers.on);
    cpu_.realTimers.restart(scheduler_.nowMs());
    cpu_.scr = ScrState{};
    parts_.resetMasters(true);
    cpu_.scanCounter = 0;
    parts_.scanCountShown(0);
    PlcMemory& mem = cpu_.mem();
    std::int16_t* c = mem.cells();
    if (cpu_.realTimers.on) {
        // As the CPU does: STOP to RUN keeps the memory; SM0.1 comes with the first pass,
        // SM0.3 only after a power-up, and interrupts wait for ENI.
        c[area::FirstScanDone] = kOff;
        c[area::SM0_3] = powerUpPending_ ? kOn : kOff;
        cpu_.interruptsEnabled = 0;
    } else {
        mem.clearForRun();
        c[area::SM0_3] = kOn;
    }
    powerUpPending_ = false;
    c[area::SM + 8 * 86 + 7] = kOn;
    cpu_.resetForRun();
    s.runFlag = -1;
    c[area::SM + 8 * 4 + 5] = kOn;
    c[area::SM4_4] = cpu_.interruptsEnabled ? kOn : kOff;
    parts_.runStateChanged();
}

void ScanCycle::enterStop() {
    RunMode& s = state_;
    s.runFlag = 0;
    if (cpu_.realTimers.on) {
        // The CPU's default output table: every digital output off in STOP.
        std::int16_t* c = cpu_.mem().cells();
        std::fill(c + area::Q, c + area::QEnd, kOff);
        parts_.outputPhase();
    }
    cpu_.scanCounter = 0;
    parts_.scanCountShown(0);
    timerSm05_->setEnabled(false);
    timerForTimer_->setEnabled(false);
    parts_.resetMasters(false);
    parts_.runStateChanged();
}

void ScanCycle::setRealCpu(bool on) {
    if (cpu_.realTimers.on == on) return;
    cpu_.realTimers.on = on;
    cpu_.realTimers.restart(scheduler_.nowMs());
    if (state_.runFlag) timerForTimer_->setEnabled(!on);
}

void ScanCycle::powerUp() {
    const bool wasRunning = state_.runFlag != 0;
    if (wasRunning) enterStop();
    powerUpClear(cpu_.mem());
    cpu_.resetForRun();
    cpu_.interruptsEnabled = 0;
    powerUpPending_ = true;
    if (wasRunning) enterRun();
    parts_.outputPhase();
}

}  // namespace korvane
