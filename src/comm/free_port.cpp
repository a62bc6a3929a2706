#include "comm/free_port.h"

#include <algorithm>
#include <cctype>

namespace korvane {

namespace {

constexpr int kBaudCodes[8] = {38400, 19200, 9600, 4800, 2400, 1200, 115200, 57600};

// Interrupt events of port 0 and port 1.
constexpr int kCharacterEvent[2] = {8, 25};
constexpr int kSentEvent[2] = {9, 26};
constexpr int kMessageEvent[2] = {23, 24};

// The port operand: 1 names port 1, anything else port 0.
int portOf(const CodeLine& line) { return line.operandCount() >= 2 && line.number(1) == 1 ? 1 : 0; }

const char* const kXmtWarning = "警告：PORT0口未配置成自由口模式，而程序中有XMT指令，指令将不被执行";
const char* const kRcvWarning = "警告：PORT0口未配置成自由口模式，而程序中有RCV指令，指令将不被执行";

}  // namespace

Smb30Settings decodeSmb30(std::uint8_t smb30) {
    Smb30Settings s{};
    s.baud = kBaudCodes[(smb30 >> 2) & 7];
    s.dataBits = (smb30 & 0x20) ? 7 : 8;
    switch (smb30 >> 6) {
    case 1: s.parity = 'e'; break;
    case 3: s.parity = 'o'; break;
    default: s.parity = 'n'; break;
    }
    return s;
}

FreePort::FreePort(SerialChannel& channel, MasterContext ctx) : channel_(channel), ctx_(std::move(ctx)) {
    channel_.onSendDrained = [this] { sendDrained(); };
    pending_.reserve(kMaxMessage + 64);
}

void FreePort::XMT(const CodeLine& line, LineRunStatus& status, bool power) {
    status.StatusValue[0] = line.number(0);
    status.StatusKind[0] = 5;
    if (!power) return;
    if (!ctx_.protocolIs(MasterProtocol::FreePort)) {
        ctx_.log.plain(kXmtWarning);
        return;
    }
    if (!channel_.isOpen()) return;
    const int tbl = line.key(0);
    PlcMemory& mem = ctx_.mem;
    const int n = mem.byteAt(tbl);
    if (n == 0) return;
    Bytes out;
    out.reserve(static_cast<std::size_t>(n));
    for (int k = 1; k <= n; ++k) out.push_back(mem.byteAt(tbl + 8 * k));
    channel_.write(out);
    mem.setBit(freeport::SM4_5, false);
    channel_.setSendThreshold(1);
    xmtPort_ = portOf(line);
    sending_ = true;
}

void FreePort::sendDrained() {
    channel_.setSendThreshold(0);
    ctx_.mem.setBit(freeport::SM4_5, true);
    if (sending_) raise(kSentEvent[xmtPort_]);
    sending_ = false;
}

void FreePort::charactersRead(const Bytes& bytes, std::size_t from) const {
    for (std::size_t k = from; k < bytes.size(); ++k) raise(kCharacterEvent[rcvPort_], bytes[k]);
}

void FreePort::RCV(const CodeLine& line, LineRunStatus& status, bool power) {
    if (receiveBuffer_ >= 0) status.StatusValue[0] = receiveBuffer_;
    status.StatusKind[0] = 5;
    if (!power) return;
    if (!ctx_.protocolIs(MasterProtocol::FreePort)) {
        ctx_.log.plain(kRcvWarning);
        return;
    }
    PlcMemory& mem = ctx_.mem;
    if (channel_.isOpen() && mem.bit(freeport::SM87_7)) {
        const int tbl = line.key(0);
        mem.writeValue(0, tbl, 8);  // faults (to the interpreter) before anything changes
        receiveBuffer_ = tbl;
        status.StatusValue[0] = tbl;
        rcvPort_ = portOf(line);
        Bytes discard;
        channel_.readAll(discard);
        charactersRead(discard, 0);
        pending_.clear();
        mem.writeValue(0, freeport::SMB86, 8);  // SM86.7 = 0: armed
    } else {
        mem.setBit(freeport::SM86_7, true);
    }
}

void FreePort::poll() {
    if (!ctx_.config.master().communication || !ctx_.protocolIs(MasterProtocol::FreePort) || !ctx_.isRunning()) return;
    PlcMemory& mem = ctx_.mem;
    if (!channel_.isOpen()) {
        mem.setBit(freeport::SM86_7, true);
        pending_.clear();
        return;
    }
    if (mem.bit(freeport::SM86_7)) {
        Bytes discard;
        channel_.readAll(discard);
        charactersRead(discard, 0);
        pending_.clear();
        return;
    }
    const std::int64_t now = ctx_.nowMs();
    if (channel_.bytesWaiting() > 0) {
        const std::size_t before = pending_.size();
        channel_.readAll(pending_);
        charactersRead(pending_, before);
        lastArrivalMs_ = now;
        if (pending_.size() >= mem.byteAt(freeport::SMB94) || pending_.size() >= kMaxMessage) takeMessage();
        return;
    }
    if (!pending_.empty() && lineSilent(channel_, lastArrivalMs_, now)) takeMessage();
}

void FreePort::takeMessage() {
    PlcMemory& mem = ctx_.mem;
    mem.setBit(freeport::SM86_7, true);
    mem.setBit(freeport::SM86_2, true);
    std::size_t count = pending_.size();
    const std::size_t limit = mem.byteAt(freeport::SMB94);
    if (count >= limit) {
        count = limit;
        mem.setBit(freeport::SM86_1, true);
    }
    if (receiveBuffer_ >= 0) {
        // A buffer reaching past the image keeps the bytes that fit.
        mem.tobit(static_cast<double>(count), receiveBuffer_, 8);
        for (std::size_t k = 0; k < count; ++k) {
            const int key = receiveBuffer_ + 8 * static_cast<int>(k + 1);
            if (key + 8 > area::CellCount) break;
            mem.tobit(pending_[k], key, 8);
        }
    }
    pending_.clear();
    raise(kMessageEvent[rcvPort_]);
}

void FreePort::AfterSMB30Handle() {
    const Smb30Settings want = decodeSmb30(ctx_.mem.byteAt(freeport::SMB30));
    const std::string baud = std::to_string(want.baud);
    if (speedText_ != baud) {
        speedText_ = baud;
        channel_.setSettings(baud + ",,,");
        settingsText_ = channel_.settings();
    }
    const SerialSettings& cur = channel_.lineSettings();
    if (std::tolower(static_cast<unsigned char>(cur.parity)) != want.parity) {
        channel_.setSettings(std::string(",") + want.parity + ",,");
        settingsText_ = channel_.settings();
    }
    if (cur.dataBits != want.dataBits || cur.stopTenths != 10) {
        channel_.setSettings(std::string(",,") + (want.dataBits == 7 ? "7,1" : "8,1"));
        settingsText_ = channel_.settings();
    }
}

void FreePort::reset() {
    channel_.setSendThreshold(0);
    pending_.clear();
    sending_ = false;
}

}  // namespace korvane
