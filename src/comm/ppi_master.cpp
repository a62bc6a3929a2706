#include "comm/ppi_master.h"

#include <algorithm>

#include "comm/ppi_slave.h"
#include "comm/slave_image.h"

namespace korvane {

namespace {

constexpr std::uint8_t kSd1 = 0x10;
constexpr std::uint8_t kSd2 = 0x68;
constexpr std::uint8_t kEnd = 0x16;
constexpr std::uint8_t kAck = 0xE5;
constexpr int kMaxReadData = PpiSlave::kMaxReadCount;  // the longest read answer a length byte frames
constexpr int kMaxPointer = 32767;                      // the queue keeps the pointer as a 16-bit integer

const char* const kNetrWarning = "警告：PORT0口未配置成PPI模式，而程序中有NETR指令，指令将不被执行";
const char* const kNetwWarning = "警告：PORT0口未配置成PPI模式，而程序中有NETW指令，指令将不被执行";

std::uint8_t fcs(const Bytes& t, std::size_t from, std::size_t to) {
    unsigned s = 0;
    for (std::size_t k = from; k <= to; ++k) s += t[k];
    return static_cast<std::uint8_t>(s);
}

std::uint8_t u8(int v) { return static_cast<std::uint8_t>(v & 0xFF); }

// The length of the first telegram in t, once t holds all of it: the acknowledgement is one
// byte, an SD1 frame six, an SD2 frame its length byte plus six. Anything else is taken whole.
std::size_t firstTelegramLength(std::span<const std::uint8_t> t) {
    if (t.empty()) return 0;
    if (t[0] == kAck) return 1;
    if (t[0] == kSd1) return std::min<std::size_t>(6, t.size());
    if (t[0] == kSd2 && t.size() >= 4) return std::min<std::size_t>(static_cast<std::size_t>(t[1]) + 6, t.size());
    return t.size();
}

}  // namespace

PpiRemoteArea ppiRemoteArea(int p) {
    if (p < 16) return {0x81, 0, p * 8};
    if (p < 32) return {0x82, 0, (p - 16) * 8};
    if (p < 64) return {0x83, 0, (p - 32) * 8};
    return {0x84, 1, (p - 64) * 8};
}

PpiMaster::PpiMaster(SerialChannel& channel, Timer& worker, Timer& timeout, MasterContext ctx)
    : channel_(channel), worker_(worker), timeout_(timeout), ctx_(std::move(ctx)) {
    pending_.reserve(kMaxReply + 64);
}

void PpiMaster::setStatus(int table, std::uint8_t bits) {
    PlcMemory& mem = ctx_.mem;
    if (table < 0 || table + 8 > area::CellCount) return;
    mem.setBit(table + 7, (bits & kStatusDone) != 0);
    mem.setBit(table + 6, (bits & kStatusActive) != 0);
    mem.setBit(table + 5, (bits & kStatusError) != 0);
}

void PpiMaster::queue(const CodeLine& line, LineRunStatus& status, bool power, Kind kind) {
    status.StatusValue[0] = line.number(0);
    status.StatusKind[0] = 5;
    if (!power) return;
    if (!ctx_.protocolIs(MasterProtocol::PPI)) {
        ctx_.log.plain(kind == Kind::Read ? kNetrWarning : kNetwWarning);
        return;
    }
    if (count_ >= kQueueSize) return;
    const int tbl = line.key(0);
    const PlcMemory& mem = ctx_.mem;
    Request r;
    r.state = State::Queued;
    r.table = tbl;
    r.kind = kind;
    r.remote = mem.byteAt(tbl + 8);
    const std::uint32_t pointer = mem.dwordPattern(tbl + 16);
    r.length = mem.byteAt(tbl + 48);
    // A pointer the queue cannot hold, or a length no telegram can frame, ends the request
    // at once with the error bit instead of sending something else.
    const int maxLength = kind == Kind::Read ? kMaxReadData : kMaxData;
    if (pointer > static_cast<std::uint32_t>(kMaxPointer) || r.length > maxLength) {
        setStatus(tbl, kStatusDone | kStatusError);
        return;
    }
    r.pointer = static_cast<int>(pointer);
    queue_[count_++] = r;
    setStatus(tbl, kStatusActive);
}

Bytes PpiMaster::readTelegram(const Request& r) const {
    const PpiRemoteArea a = ppiRemoteArea(r.pointer);
    Bytes t = {kSd2, 0x1B, 0x1B, kSd2, u8(r.remote), address_, 0x6C, 0x32, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E,
               0x00, 0x00, 0x04, 0x01, 0x12, 0x0A, 0x10, 0x02, 0x00, u8(r.length), 0x00, a.dbNumber, a.areaCode,
               u8(a.bitAddress >> 16), u8(a.bitAddress >> 8), u8(a.bitAddress)};
    t.push_back(fcs(t, 4, 30));
    t.push_back(kEnd);
    return t;
}

Bytes PpiMaster::writeTelegram(const Request& r) const {
    const PpiRemoteArea a = ppiRemoteArea(r.pointer);
    const int n = r.length;
    Bytes t = {kSd2, u8(n + 31), u8(n + 31), kSd2, u8(r.remote), address_, 0x6C, 0x32, 0x01, 0x00, 0x00, 0x00, 0x00,
               0x00, 0x0E, 0x00, u8(n + 4), 0x05, 0x01, 0x12, 0x0A, 0x10, 0x02, 0x00, u8(n), 0x00, a.dbNumber,
               a.areaCode, u8(a.bitAddress >> 16), u8(a.bitAddress >> 8), u8(a.bitAddress), 0x00, 0x04,
               u8((n * 8) >> 8), u8(n * 8)};
    for (int k = 0; k < n; ++k) t.push_back(ctx_.mem.byteAt(r.table + 8 * (7 + k)));
    t.push_back(fcs(t, 4, static_cast<std::size_t>(n) + 34));
    t.push_back(kEnd);
    return t;
}

Bytes PpiMaster::pollTelegram(int remote) const {
    Bytes t = {kSd1, u8(remote), address_, 0x5C};
    t.push_back(fcs(t, 1, 3));
    t.push_back(kEnd);
    return t;
}

void PpiMaster::restartTimeout() {
    timeout_.setEnabled(false);
    timeout_.setEnabled(true);
}

void PpiMaster::work() {
    try {
        if (!channel_.isOpen()) {
            pending_.clear();
            if (count_ > 0) fail();
            else timeout_.setEnabled(false);
            return;
        }
        const std::int64_t now = ctx_.nowMs();
        if (channel_.bytesWaiting() > 0) {
            channel_.readAll(pending_);
            lastArrivalMs_ = now;
            if (!PpiSlave::telegramComplete(pending_) && pending_.size() < kMaxReply) return;
        } else if (!pending_.empty() && !lineSilent(channel_, lastArrivalMs_, now)) {
            return;
        }
        if (!pending_.empty()) {
            const std::size_t n = firstTelegramLength(pending_);
            Bytes reply(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
            pending_.clear();  // what follows the first telegram in the same read is dropped
            const std::size_t before = count_;
            handleReply(reply);
            if (count_ != before) return;  // the head ended; the next one goes out on a later tick
        }
        if (count_ > 0 && queue_[0].state == State::Queued) send(queue_[0]);
    } catch (const PlcFault&) {
        // A table whose data reach past the image cannot be sent: the request ends in error.
        if (count_ > 0 && queue_[0].state == State::Queued) fail();
    }
}

void PpiMaster::handleReply(std::span<const std::uint8_t> reply) {
    if (count_ == 0) return;
    Request& h = queue_[0];
    if (h.state == State::RequestSent) {
        if (reply.size() == 1 && reply[0] == kAck) {
            restartTimeout();
            const Bytes poll = pollTelegram(h.remote);
            channel_.write(poll);
            h.state = State::PollSent;
        } else {
            fail();
        }
    } else if (h.state == State::PollSent) {
        const std::size_t len = reply.size();
        if (len >= 10 && reply[0] == kSd2 && reply[3] == kSd2 && reply[1] == len - 6 && reply[2] == len - 6 &&
            reply[4] == address_ && reply[5] == h.remote && reply[len - 1] == kEnd)
            complete(reply);
    }
}

void PpiMaster::send(Request& r) {
    const Bytes t = r.kind == Kind::Read ? readTelegram(r) : writeTelegram(r);
    channel_.write(t);
    r.state = State::RequestSent;
    restartTimeout();
}

void PpiMaster::complete(std::span<const std::uint8_t> reply) {
    const Request h = queue_[0];
    timeout_.setEnabled(false);
    removeHead();
    setStatus(h.table, kStatusDone);
    if (h.kind == Kind::Read) {
        // The data bytes stand from byte 25 up to the checksum; a shorter answer fills what it carries.
        const std::size_t dataEnd = reply.size() - 2;
        SlaveImage image(ctx_.mem);
        for (int k = 0; k < h.length && 25 + static_cast<std::size_t>(k) < dataEnd; ++k) {
            const int key = h.table + 8 * (7 + k);
            if (key + 8 > area::CellCount) break;
            image.setByte(key, reply[25 + static_cast<std::size_t>(k)]);
        }
    }
}

void PpiMaster::fail() {
    const Request h = queue_[0];
    timeout_.setEnabled(false);
    removeHead();
    setStatus(h.table, kStatusDone | kStatusError);
}

void PpiMaster::removeHead() {
    if (count_ == 0) return;
    for (std::size_t k = 1; k < count_; ++k) queue_[k - 1] = queue_[k];
    queue_[--count_] = Request{};
}

void PpiMaster::timedOut() {
    timeout_.setEnabled(false);
    if (count_ == 0) return;
    const State s = queue_[0].state;
    if (s != State::RequestSent && s != State::PollSent) return;
    fail();
}

void PpiMaster::reset(bool enteringRun) {
    queue_.fill(Request{});
    count_ = 0;
    pending_.clear();
    timeout_.setEnabled(false);
    worker_.setEnabled(enteringRun);
}

}  // namespace korvane
