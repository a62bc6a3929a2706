#pragma once
// The serial-port seam: one channel per protocol role, each with its own COM number,
// settings and open state. It offers exactly what the protocols need and maps one to one onto
// QSerialPort (port name, baud/parity/data/stop, open, bytesAvailable, readAll, write, the
// bytesWritten and readyRead signals).
//
// Events are never raised from inside write() or readAll(): a channel raises them from its
// own poll (the fake's line timer, the POSIX channel's pollOnce, the toolkit's event loop),
// so a protocol handler is never re-entered.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

using Bytes = std::vector<std::uint8_t>;

// Baud rate, parity letter, data bits, stop bits: the four fields of a settings text.
struct SerialSettings {
    int baud = 9600;
    char parity = 'N';  // N, E, O, M or S
    int dataBits = 8;   // 5 to 8
    int stopTenths = 10;  // 10, 15 or 20 (1, 1.5 or 2 stop bits)

    bool operator==(const SerialSettings&) const = default;

    // "9600,E,8,1": four comma-separated fields; an empty field keeps its value. Parity
    // letters in either case. False, and the settings unchanged, when a field is refused.
    bool apply(std::string_view text);
    std::string text() const;
    // Bits on the line per character: start, data, parity, stop.
    double bitsPerCharacter() const;
    // Microseconds one character occupies the line.
    double characterMicros() const;
    // The 3.5-character silent interval that ends a frame on a Modbus serial line, in
    // microseconds; above 19200 baud the fixed 1750 us of the serial-line rules.
    double silentIntervalMicros() const;
};

SerialSettings parseSettingsOr(std::string_view text, SerialSettings fallback);
bool isSupportedBaud(int baud);

class SerialChannel {
public:
    static constexpr int kMinPort = 1;
    static constexpr int kMaxPort = 32;

    virtual ~SerialChannel() = default;

    // --- configuration (kept by the base) ----------------------------------------------
    // Refused (false) outside 1 to 32 and while open.
    bool setPortNumber(int com);
    int portNumber() const { return port_; }
    // Refused (false) when a field is invalid; applied to the open line at once.
    bool setSettings(std::string_view text);
    std::string settings() const { return settings_.text(); }
    const SerialSettings& lineSettings() const { return settings_; }
    // Input is always handed over as bytes; the mode is kept for the callers that set it.
    void setBinaryInput(bool on) { binaryInput_ = on; }
    bool binaryInput() const { return binaryInput_; }

    // --- the line ------------------------------------------------------------------------
    // False when the port does not exist or is in use; errorText() says why.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Received bytes not yet read.
    virtual std::size_t bytesWaiting() const = 0;
    // Appends all waiting bytes to out and removes them from the channel; returns how many.
    virtual std::size_t readAll(Bytes& out) = 0;
    // Queues bytes for sending and returns at once; ignored while closed.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    const std::string& errorText() const { return error_; }

    // --- a line that went away ----------------------------------------------------------
    // An open line whose device went away (a USB adapter unplugged, the other end of a
    // pseudo-terminal closed) is lost: its descriptor is closed, but the channel still counts
    // as open, as a port whose cable was pulled (what is written is dropped, nothing
    // arrives), until reopen() finds the device again or close() ends it. errorText() says
    // why it was lost.
    bool lost() const { return lost_; }
    // Opens the device of a lost line again; true when the line is back (or was never lost).
    virtual bool reopen() { return !lost_; }
    // Raised once when the line is lost, from the channel's poll.
    std::function<void()> onLost;
    // The device the channel opens, for messages.
    virtual std::string deviceName() const { return "COM" + std::to_string(port_); }

    // --- events --------------------------------------------------------------------------
    // Receive event: raised when bytes have arrived and at least threshold bytes wait;
    // threshold 0 disables it.
    void setReceiveThreshold(int n) { receiveThreshold_ = n; }
    int receiveThreshold() const { return receiveThreshold_; }
    // Send event: with threshold 1 raised once the transmit queue has drained after a
    // write; 0 disables it.
    void setSendThreshold(int n) { sendThreshold_ = n; }
    int sendThreshold() const { return sendThreshold_; }
    std::function<void()> onReceive;
    std::function<void()> onSendDrained;

protected:
    // The line settings changed while open.
    virtual void settingsChanged() {}
    void setError(std::string text) { error_ = std::move(text); }
    // The device went away: the derived channel has closed its descriptor.
    void lineLost(std::string why) {
        setError(std::move(why));
        lost_ = true;
        if (onLost) onLost();
    }
    void clearLost() { lost_ = false; }
    void raiseReceive() {
        if (receiveThreshold_ > 0 && bytesWaiting() >= static_cast<std::size_t>(receiveThreshold_) && onReceive)
            onReceive();
    }
    void raiseDrained() {
        if (sendThreshold_ > 0 && onSendDrained) onSendDrained();
    }

    SerialSettings settings_{};

private:
    int port_ = 1;
    bool binaryInput_ = false;
    int receiveThreshold_ = 0;
    int sendThreshold_ = 0;
    bool lost_ = false;
    std::string error_;
};

class Log;
class Scheduler;
class Timer;

// Keeps lines open: a lost line is logged, and its device is tried again once a second (in
// scheduler time) until it opens, which is logged too.
class SerialLineKeeper {
public:
    static constexpr int kRetryMs = 1000;

    SerialLineKeeper(Scheduler& scheduler, const Log& log);
    SerialLineKeeper(const SerialLineKeeper&) = delete;
    SerialLineKeeper& operator=(const SerialLineKeeper&) = delete;
    ~SerialLineKeeper();

    // Watches the channel (it takes the channel's onLost); the channel must outlive the keeper.
    void keep(SerialChannel& channel);

    // Also told each line the keeper logs (a line lost, a line open again), time-stamped as
    // in the log: a front end that shows no log still says these.
    std::function<void(const std::string&)> onNotice;

private:
    void retry();
    void say(const std::string& msg) const;

    const Log& log_;
    std::unique_ptr<Timer> timer_;
    std::vector<SerialChannel*> channels_;
};

}  // namespace korvane
