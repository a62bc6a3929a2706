#include "platform/fake_serial.h"

#include <algorithm>
#include <cmath>

namespace korvane {

FakeSerialLine::FakeSerialLine(Scheduler& scheduler)
    : scheduler_(scheduler), a_(new FakeSerialPort(*this)), b_(new FakeSerialPort(*this)) {
    a_->peer_ = b_.get();
    b_->peer_ = a_.get();
    timer_ = scheduler_.createTimer("FakeSerialLine", 1, [this] { tick(); });
}

void FakeSerialLine::tick() {
    const std::int64_t now = nowMicros();
    for (FakeSerialPort* end : {a_.get(), b_.get()}) end->deliverDue(now);
    for (FakeSerialPort* end : {a_.get(), b_.get()}) {
        if (end->received_) {
            end->received_ = false;
            end->raiseReceive();
        }
        if (end->drainPending_) {
            end->drainPending_ = false;
            end->raiseDrained();
        }
    }
    const bool busy = a_->sending() || b_->sending() || a_->received_ || b_->received_ || a_->drainPending_ ||
                      b_->drainPending_;
    if (!busy) timer_->setEnabled(false);
}

FakeSerialPort::~FakeSerialPort() = default;

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
    const std::int64_t now = line_.nowMicros();
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
    line_.wake();
}

void FakeSerialPort::deliverDue(std::int64_t nowMicros) {
    bool delivered = false;
    while (!queue_.empty() && queue_.front().dueMicros <= nowMicros) {
        peer_->receive(queue_.front().byte);
        queue_.pop_front();
        delivered = true;
    }
    if (delivered && queue_.empty()) drainPending_ = true;
}

}  // namespace korvane
