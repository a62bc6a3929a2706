#pragma once
// Free-port mode of the master port: XMT sends a buffer, RCV arms the receiver for one
// message, SMB30 sets the line (baud, parity, data bits; one stop bit), and the special
// memory reports the state: SM4.5 transmitter idle, SM87.7 receive enable, SMB94 the longest
// message, SM86.7 receiver not armed, SM86.2 message taken, SM86.1 message cut to SMB94.
//
// A message is the bytes that arrive after RCV until the line has been silent for 3.5
// character times at the channel's speed, or until SMB94 characters have arrived; bytes that
// come in over several receive polls belong to the same message.
//
// Interrupt events: every character read off the line (8, or 25 when the last arming RCV
// named port 1), a transmission of XMT complete (9, or 26 for an XMT naming port 1) and a
// message taken (23, or 24 for port 1). The port operand chooses only the event numbers:
// both instructions use the master port.
#include <cstdint>
#include <functional>
#include <string>

#include "comm/master_context.h"
#include "core/code_table.h"

namespace korvane {

namespace freeport {
inline constexpr int SM4_5 = area::SM + 8 * 4 + 5;
inline constexpr int SMB30 = area::SM + 8 * 30;
inline constexpr int SMB86 = area::SM + 8 * 86;
inline constexpr int SM86_1 = SMB86 + 1;
inline constexpr int SM86_2 = SMB86 + 2;
inline constexpr int SM86_7 = SMB86 + 7;
inline constexpr int SM87_7 = area::SM + 8 * 87 + 7;
inline constexpr int SMB94 = area::SM + 8 * 94;
}  // namespace freeport

// The line settings an SMB30 value selects.
struct Smb30Settings {
    int baud;
    char parity;  // 'n', 'e' or 'o'
    int dataBits;
};
Smb30Settings decodeSmb30(std::uint8_t smb30);

class FreePort {
public:
    static constexpr std::size_t kMaxMessage = 255;  // the count byte's range

    FreePort(SerialChannel& channel, MasterContext ctx);

    // XMT TBL, PORT and RCV TBL, PORT; power is the logic result, status the line's record.
    void XMT(const CodeLine& line, LineRunStatus& status, bool power);
    void RCV(const CodeLine& line, LineRunStatus& status, bool power);
    // Applies SMB30 to the channel; once per program scan in RUN, before the pass.
    void AfterSMB30Handle();
    // One TimerFreeCom tick: the receive poll.
    void poll();
    // The channel's send event: the transmit queue has drained.
    void sendDrained();
    // RUN and STOP entry, opening and closing the port: the transmitter is idle (send
    // threshold 0) and a message being received is forgotten.
    void reset();

    // The port dialog's displays: the speed and the settings text ("帧间隔" stays empty).
    const std::string& speedText() const { return speedText_; }
    // Where the interrupt events go (the event number, and the character for 8 and 25).
    std::function<void(int event, std::uint8_t character)> onInterruptEvent;

    const std::string& settingsText() const { return settingsText_; }
    int receiveBuffer() const { return receiveBuffer_; }
    std::size_t pendingBytes() const { return pending_.size(); }

private:
    void takeMessage();
    void raise(int event, std::uint8_t character = 0) const {
        if (onInterruptEvent) onInterruptEvent(event, character);
    }
    // Each character read off the line raises the receive-character event.
    void charactersRead(const Bytes& bytes, std::size_t from) const;

    SerialChannel& channel_;
    MasterContext ctx_;
    int receiveBuffer_ = -1;  // key of the buffer the last arming RCV named
    Bytes pending_;           // the message received so far
    std::int64_t lastArrivalMs_ = 0;
    int xmtPort_ = 0;         // the port the last XMT named (0 or 1)
    int rcvPort_ = 0;         // the port the last arming RCV named
    bool sending_ = false;    // an XMT's transmission is under way
    std::string speedText_;
    std::string settingsText_;
};

}  // namespace korvane
