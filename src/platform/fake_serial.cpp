#include "platform/fake_serial.h"

#include <algorithm>
#include <cmath>

namespace korvane {

struct FakeLineCore {
    Scheduler& scheduler;
    FakeSerialPort* ends[2] = {nullptr, nullptr};
    std::unique_ptr<Timer> timer;

    explicit FakeLineCore(Scheduler& s) : scheduler(s) {}
    std::int64_t nowMicros() const { return scheduler.nowMs() * 1000; }
    void wake() { timer->setEnabled(true); }
    void tick() {
        const std::int64_t now = nowMicros();
        for (FakeSerialPort* end : ends)
            if (end) end->deliverDue(now);
        bool busy = false;
        for (FakeSerialPort* end : ends) {
            if (!end) continue;
            if (end->received_) {
                end->received_ = false;
                end->raiseReceive();
            }
            if (end->drainPending_) {
                end->drainPending_ = false;
                end->raiseDrained();
            }
        }
        for (FakeSerialPort* end : ends)
            if (end) busy = busy || end->sending() || end->received_ || end->drainPending_;
        if (!busy) timer->setEnabled(false);
    }
};

std::pair<std::unique_ptr<FakeSerialPort>, std::unique_ptr<FakeSerialPort>> makeFakeSerialPair(Scheduler& scheduler) {
    auto core = std::make_shared<FakeLineCore>(scheduler);
    FakeLineCore* c = core.get();
    core->timer = scheduler.createTimer("FakeSerialLine", 1, [c] { c->tick(); });
    std::unique_ptr<FakeSerialPort> a(new FakeSerialPort(core));
    std::unique_ptr<FakeSerialPort> b(new FakeSerialPort(core));
    core->ends[0] = a.get();
    core->ends[1] = b.get();
    return {std::move(a), std::move(b)};
}

FakeSerialPort* FakeSerialPort::peer() const { return core_->ends[0] == this ? core_->ends[1] : core_->ends[0]; }

FakeSerialPort::~FakeSerialPort() {
    for (FakeSerialPort*& end : core_->ends)
        if (end == this) end = nullptr;
}

bool FakeSerialPort::open() {
    if (open_) return true;
    if (portExists && !portExists(portNumber())) {
        setError("no such port");
        return false;
    }
    if (inUse) {
        setError("port in use");
        return false;
    }
    open_ = true;
    setError("");
    return true;
}

void FakeSerialPort::close() {
    open_ = false;
    rx_.clear();
    queue_.clear();
    received_ = false;
    drainPending_ = false;
}

std::size_t FakeSerialPort::readAll(Bytes& out) {
    const std::size_t n = rx_.size();
    out.insert(out.end(), rx_.begin(), rx_.end());
    rx_.clear();
    return n;
}

Bytes FakeSerialPort::take() {
    Bytes out;
    readAll(out);
    return out;
}

void FakeSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!open_ || bytes.empty()) return;
    ++writes_;
    sent_.insert(sent_.end(), bytes.begin(), bytes.end());
    const std::int64_t now = core_->nowMicros();
    const double charUs = settings_.characterMicros();
    double t = static_cast<double>(std::max(now, lineFreeMicros_));
    for (std::uint8_t b : bytes) {
        const std::uint64_t index = sentCount_++;
        bool drop = false;
        for (const LineFault& f : faults_) {
            if (f.byteIndex != index) continue;
            if (f.kind == LineFault::Kind::Drop) drop = true;
            else if (f.kind == LineFault::Kind::Corrupt) b = static_cast<std::uint8_t>(b ^ f.xorMask);
            else t += f.delayMicros;
        }
        if (byteTiming_) t += charUs;
        if (!drop) queue_.push_back({static_cast<std::int64_t>(std::ceil(t)), b});
    }
    lineFreeMicros_ = static_cast<std::int64_t>(std::ceil(t));
    deliverDue(now);  // what is due already (immediate delivery) arrives at once
    if (queue_.empty()) drainPending_ = true;
    core_->wake();
}

void FakeSerialPort::deliverDue(std::int64_t nowMicros) {
    bool delivered = false;
    while (!queue_.empty() && queue_.front().dueMicros <= nowMicros) {
        if (FakeSerialPort* p = peer()) p->receive(queue_.front().byte);
        queue_.pop_front();
        delivered = true;
    }
    if (delivered && queue_.empty()) drainPending_ = true;
}

}  // namespace korvane
