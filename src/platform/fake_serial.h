#pragma once
// An in-memory serial line with two ends, driven by the scheduler: what one end writes
// arrives at the other. Delivery is at once, or byte by byte at the sending end's character
// time (start, data, parity and stop bits at its baud rate), so protocol timing can be
// tested deterministically on the virtual scheduler. Faults can be injected into the bytes an
// end sends: drop one, corrupt one, or hold the line silent before one.
//
// Events (receive, send drained) are raised from the line's 1 ms timer, never from inside
// write() or readAll().
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/scheduler.h"
#include "platform/serial_channel.h"

namespace korvane {

class FakeSerialLine;
struct FakeLineCore;

struct LineFault {
    enum class Kind : std::uint8_t { Drop, Corrupt, Delay };
    Kind kind = Kind::Drop;
    std::uint64_t byteIndex = 0;  // counted over every byte the end has sent
    std::uint8_t xorMask = 0xFF;  // Corrupt: the byte is XORed with it
    int delayMicros = 0;          // Delay: the line stays silent this long before the byte
};

class FakeSerialPort final : public SerialChannel {
public:
    FakeSerialPort(const FakeSerialPort&) = delete;
    FakeSerialPort& operator=(const FakeSerialPort&) = delete;
    ~FakeSerialPort() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    std::size_t bytesWaiting() const override { return rx_.size(); }
    std::size_t readAll(Bytes& out) override;
    void write(std::span<const std::uint8_t> bytes) override;

    // Which COM numbers exist; all do by default. A port that does not exist cannot open.
    std::function<bool(int com)> portExists;
    // Another program holds the port: open fails.
    bool inUse = false;
    // Deliver the bytes this end sends one at a time at its character time.
    void setByteTiming(bool on) { byteTiming_ = on; }
    void injectFault(const LineFault& f) { faults_.push_back(f); }
    // Every byte this end has written (before faults), for inspection.
    const Bytes& sent() const { return sent_; }
    std::uint64_t writes() const { return writes_; }
    // True while bytes this end sent are still on the line.
    bool sending() const { return !queue_.empty(); }
    // Convenience for tests: the bytes waiting, read out.
    Bytes take();

private:
    friend struct FakeLineCore;
    friend std::pair<std::unique_ptr<FakeSerialPort>, std::unique_ptr<FakeSerialPort>> makeFakeSerialPair(Scheduler&);
    explicit FakeSerialPort(std::shared_ptr<FakeLineCore> core) : core_(std::move(core)) {}

    struct InFlight {
        std::int64_t dueMicros;
        std::uint8_t byte;
    };
    void deliverDue(std::int64_t nowMicros);
    void receive(std::uint8_t b) {
        if (open_) {
            rx_.push_back(b);
            received_ = true;
        }
    }
    FakeSerialPort* peer() const;

    std::shared_ptr<FakeLineCore> core_;
    bool open_ = false;
    bool byteTiming_ = false;
    Bytes rx_;
    Bytes sent_;
    std::deque<InFlight> queue_;
    std::vector<LineFault> faults_;
    std::uint64_t sentCount_ = 0;
    std::uint64_t writes_ = 0;
    std::int64_t lineFreeMicros_ = 0;  // when the last queued byte has left the line
    bool received_ = false;            // bytes arrived since the last event
    bool drainPending_ = false;        // the queue emptied since the last event
};

// Two connected ends that may be owned apart (one by a channel set, one by a test); the
// line lives as long as either end.
std::pair<std::unique_ptr<FakeSerialPort>, std::unique_ptr<FakeSerialPort>> makeFakeSerialPair(Scheduler& scheduler);

// Both ends held together.
class FakeSerialLine {
public:
    explicit FakeSerialLine(Scheduler& scheduler) : ends_(makeFakeSerialPair(scheduler)) {}
    FakeSerialPort& a() { return *ends_.first; }
    FakeSerialPort& b() { return *ends_.second; }

private:
    std::pair<std::unique_ptr<FakeSerialPort>, std::unique_ptr<FakeSerialPort>> ends_;
};

}  // namespace korvane
