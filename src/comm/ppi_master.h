#pragma once
// The PPI master of the master port: NETR and NETW queue requests (at most nine); the worker
// on TimerPPI sends the head request as an SD2 telegram, waits for the short acknowledgement
// E5, polls for the answer with an SD1 frame (function 5C) and reports in the network
// table's status byte: bit 7 done, bit 6 active, bit 5 error. TimerPPITimerOut bounds each
// step. One request is on the line at a time.
//
// Network table at TBL: status, remote station, pointer to the remote data (double word,
// the value of an address-of operand), data length, then the data.
//
// An answer whose bytes arrive over several ticks is put together again: its first byte and
// length byte say when it is complete; bytes still incomplete once the line has been silent
// for 3.5 character times are taken as they are.
#include <array>
#include <cstdint>

#include "comm/master_context.h"
#include "core/code_table.h"

namespace korvane {

class PpiMaster {
public:
    static constexpr std::size_t kQueueSize = 9;
    static constexpr int kMaxData = 224;  // the longest write a length byte frames
    static constexpr std::size_t kMaxReply = 300;
    static constexpr std::uint8_t kStatusDone = 0x80, kStatusActive = 0x40, kStatusError = 0x20;

    enum class State : std::int16_t { Free = 0, Queued = 1, RequestSent = 2, PollSent = 3 };
    enum class Kind : std::uint8_t { Read = 1, Write = 2 };
    struct Request {
        State state = State::Free;
        int table = 0;       // key of TBL
        int remote = 0;      // remote station
        int pointer = 0;     // remote data pointer
        int length = 0;      // data length in bytes
        Kind kind = Kind::Read;
    };

    // worker is TimerPPI, timeout TimerPPITimerOut.
    PpiMaster(SerialChannel& channel, Timer& worker, Timer& timeout, MasterContext ctx);

    void setAddress(int a) { address_ = static_cast<std::uint8_t>(a); }
    int address() const { return address_; }

    // NETR / NETW TBL, PORT; power is the logic result.
    void NETR(const CodeLine& line, LineRunStatus& status, bool power) { queue(line, status, power, Kind::Read); }
    void NETW(const CodeLine& line, LineRunStatus& status, bool power) { queue(line, status, power, Kind::Write); }

    // One TimerPPI tick.
    void work();
    // The TimerPPITimerOut tick.
    void timedOut();
    // RUN entry (the worker runs) and STOP entry (it stops); the queue is emptied either way.
    void reset(bool enteringRun);

    std::size_t queued() const { return count_; }
    const Request& head() const { return queue_[0]; }

    // The telegrams, built for a request with the own address.
    Bytes readTelegram(const Request& r) const;
    Bytes writeTelegram(const Request& r) const;
    Bytes pollTelegram(int remote) const;

private:
    void queue(const CodeLine& line, LineRunStatus& status, bool power, Kind kind);
    void send(Request& r);
    void handleReply(std::span<const std::uint8_t> reply);
    void complete(std::span<const std::uint8_t> reply);
    void fail();
    void removeHead();
    void setStatus(int table, std::uint8_t bits);
    void restartTimeout();

    SerialChannel& channel_;
    Timer& worker_;
    Timer& timeout_;
    MasterContext ctx_;
    std::uint8_t address_ = 1;
    std::array<Request, kQueueSize> queue_{};
    std::size_t count_ = 0;
    Bytes pending_;
    std::int64_t lastArrivalMs_ = 0;
};

// Area code, DB number byte and bit address of a remote pointer.
struct PpiRemoteArea {
    std::uint8_t areaCode;
    std::uint8_t dbNumber;
    int bitAddress;
};
PpiRemoteArea ppiRemoteArea(int pointer);

}  // namespace korvane
