#pragma once
// The USS master library of the master port, served by built-in handlers: USS_INIT (library
// code 103) enables the master and names the active drives, USS_CTRL (104) hands over one
// drive's commands and receives its state. TimerUSSSend polls the drives in turn with one
// 14-byte telegram each (STX 02, LGE 0C, ADR, six PKW bytes 00, control word, setpoint,
// BCC); TimerUSSRec bounds the wait for each answer.
//
// An answer whose bytes arrive over several ticks is put together again until its length
// byte says it is complete; bytes still incomplete once the line has been silent for 3.5
// character times are dropped.
#include <array>
#include <cstdint>
#include <string>

#include "comm/master_context.h"
#include "core/code_table.h"

namespace korvane {

class Interpreter;

struct UssDrive {
    bool active = false;
    int controlLine = 0;  // the USS_CTRL line that last served this drive with power flow
    bool replyAwaited = false;
    bool called = false;
    bool run = false, off2 = false, off3 = false, fAck = false, dir = false;
    std::array<std::uint8_t, 2> setpoint{};
    std::array<std::uint8_t, 2> controlWord{};  // high byte first
};

// The control word of USS_CTRL's five command bits.
std::uint16_t ussControlWord(bool run, bool off2, bool off3, bool fAck, bool dir);

class UssMaster {
public:
    static constexpr int kDrives = 32;
    static constexpr std::size_t kTelegramLength = 14;
    static constexpr std::size_t kMaxAnswer = 258;  // STX, LGE, and LGE bytes

    // rec is TimerUSSRec; the owner calls poll() on every TimerUSSSend tick.
    UssMaster(SerialChannel& channel, Timer& rec, MasterContext ctx);

    // The interpreter whose code table holds the USS_CTRL lines and that pulses Resp_R.
    void bind(Interpreter* cpu) { cpu_ = cpu; }

    // The library handlers: USS_INIT for a CALL taken with the logic result on, USS_CTRL for
    // every execution of its CALL (power is the logic result).
    void USS_INIT(const CodeLine& line);
    void USS_CTRL(const CodeLine& line, int lineIndex, bool power);
    // One TimerUSSSend tick.
    void poll();
    // The TimerUSSRec tick.
    void timedOut();
    // RUN and STOP entry.
    void reset();
    // The master port was closed: no answer is awaited any more.
    void portClosed();

    bool enabled() const { return enabled_; }
    int currentDrive() const { return current_; }
    const UssDrive& drive(int n) const { return drives_[static_cast<std::size_t>(n)]; }
    // The telegram for drive n as it stands.
    Bytes telegram(int n) const;
    // The port dialog's displays "USS速率" and "USS通信参数".
    const std::string& speedText() const { return speedText_; }
    const std::string& settingsText() const { return settingsText_; }

private:
    void advance();
    void handleBuffer(std::span<const std::uint8_t> r);
    void writeAnswer(const UssDrive& d, std::span<const std::uint8_t> r);
    void writeError(const UssDrive& d, int code);
    const CodeLine* controlLine(const UssDrive& d) const;

    SerialChannel& channel_;
    Timer& rec_;
    MasterContext ctx_;
    Interpreter* cpu_ = nullptr;
    bool enabled_ = false;
    int current_ = 0;
    std::array<UssDrive, kDrives> drives_{};
    Bytes pending_;
    std::int64_t lastArrivalMs_ = 0;
    std::string speedText_;
    std::string settingsText_;
};

}  // namespace korvane
