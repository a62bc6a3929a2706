#pragma once
// The PPI slave of the slave port. A request telegram (SD2 with the S7 header) for the own
// station is acknowledged with the short acknowledgement E5, served at once (reads prepare
// the answer, writes change the image), and the answer is sent when the master polls with
// an SD1 frame within the reply window (TimerPPISlaveSecReac). Serves byte, word and double
// word reads and writes of I, Q, M and V, single M bit writes, and a user-data telegram that
// sets or clears one output bit. Answers only while the CPU runs.
//
// Every TimerPPISlaveRec tick polls the channel. A telegram whose bytes arrive over several
// ticks is put together again: its first byte and length byte say when it is complete; bytes
// that stay incomplete once the line has been silent for 3.5 character times are handled as
// they are.
#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "comm/slave_image.h"
#include "core/plc_memory.h"
#include "platform/log_sink.h"
#include "platform/scheduler.h"
#include "platform/serial_channel.h"

namespace korvane {

class PpiSlave {
public:
    enum class State : std::uint8_t { Idle, AwaitingPoll };
    static constexpr std::uint8_t kAck = 0xE5;
    static constexpr int kMaxReadCount = 234;  // the longest read answer a length byte frames
    static constexpr std::size_t kMaxTelegram = 300;

    // replyWindow is TimerPPISlaveSecReac: enabled on every acknowledgement, its tick
    // (replyWindowElapsed) ends the wait for the poll. running tells whether the CPU runs.
    PpiSlave(SerialChannel& channel, PlcMemory& mem, Timer& replyWindow, const Log& log,
             std::function<bool()> running);

    void setAddress(int a) { address_ = static_cast<std::uint8_t>(a); }
    int address() const { return address_; }

    // One TimerPPISlaveRec tick at time nowMs.
    void poll(std::int64_t nowMs);
    // The TimerPPISlaveSecReac tick: the reply window has elapsed.
    void replyWindowElapsed();
    // The port was opened, closed or switched.
    void setIdle();

    // One received telegram, as a whole: the SD1 poll, an SD2 request, or anything else.
    void handleTelegram(std::span<const std::uint8_t> t);
    // True when the bytes form a complete telegram (or cannot become one).
    static bool telegramComplete(std::span<const std::uint8_t> t);

    State state() const { return state_; }
    std::span<const std::uint8_t> preparedAnswer() const { return {prepared_.data(), preparedLength_}; }
    std::size_t pendingBytes() const { return pending_.size(); }

    // The answer templates' fixed bytes.
    void CommOutDataInit();
    void CommWriteInit();
    void SetOutQInit();

private:
    void answerPoll(std::span<const std::uint8_t> t);
    void acknowledge(std::span<const std::uint8_t> t);
    void decodeRequest();
    void readRequest(int start, int count);
    void writeRequest(int start, int count);
    void userDataRequest();
    std::uint8_t r(std::size_t k) const {
        if (k >= request_.size()) fault(FaultCode::IndexOutOfRange);
        return request_[k];
    }
    void prepare(std::span<const std::uint8_t> bytes);

    SerialChannel& channel_;
    SlaveImage image_;
    Timer& replyWindow_;
    const Log& log_;
    std::function<bool()> running_;
    std::uint8_t address_ = 2;
    State state_ = State::Idle;

    Bytes request_;  // the stored request
    std::array<std::uint8_t, kMaxReadCount + 27> prepared_{};
    std::size_t preparedLength_ = 0;
    std::array<std::uint8_t, kMaxReadCount + 27> readAnswer_{};
    std::array<std::uint8_t, 24> writeAnswer_{};
    std::array<std::uint8_t, 38> userAnswer_{};

    Bytes rx_;
    Bytes pending_;
    std::int64_t lastArrivalMs_ = 0;
};

}  // namespace korvane
