#include "comm/ppi_slave.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr std::uint8_t kSd1 = 0x10;
constexpr std::uint8_t kSd2 = 0x68;
constexpr std::uint8_t kEnd = 0x16;

constexpr std::uint8_t kReadTemplate[25] = {0x68, 0x16, 0x16, 0x68, 0x00, 0x02, 0x08, 0x32, 0x03,
                                            0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x05, 0x00,
                                            0x00, 0x04, 0x01, 0xFF, 0x04, 0x00, 0x08};
constexpr std::uint8_t kWriteTemplate[22] = {0x68, 0x12, 0x12, 0x68, 0x00, 0x02, 0x08, 0x32, 0x03, 0x00, 0x00,
                                             0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x05, 0x01, 0xFF};
constexpr std::uint8_t kUserTemplate[36] = {0x68, 0x20, 0x20, 0x68, 0x00, 0x02, 0x08, 0x32, 0x07,
                                            0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x07, 0x00,
                                            0x01, 0x12, 0x08, 0x12, 0x88, 0x0E, 0x01, 0x00, 0x00,
                                            0x00, 0x00, 0xFF, 0x09, 0x00, 0x03, 0x00, 0x01, 0xFF};

std::uint8_t sum(std::span<const std::uint8_t> t, std::size_t from, std::size_t to) {
    unsigned s = 0;
    for (std::size_t k = from; k <= to; ++k) s += t[k];
    return static_cast<std::uint8_t>(s);
}

// The served areas by area code: base, last bit a read serves, last bit a write may reach.
struct PpiArea {
    int base;
    int last;
};
bool areaOf(std::uint8_t code, PpiArea& out) {
    switch (code) {
    case 0x81: out = {area::I, area::Q - 1}; return true;
    case 0x82: out = {area::Q, area::M - 1}; return true;
    case 0x83: out = {area::M, area::V - 1}; return true;
    case 0x84: out = {area::V, area::Edge - 1}; return true;
    default: return false;
    }
}

}  // namespace

PpiSlave::PpiSlave(SerialChannel& channel, PlcMemory& mem, Timer& replyWindow, const Log& log,
                   std::function<bool()> running)
    : channel_(channel), image_(mem), replyWindow_(replyWindow), log_(log), running_(std::move(running)) {
    rx_.reserve(kMaxTelegram);
    pending_.reserve(kMaxTelegram);
    request_.reserve(kMaxTelegram);
}

void PpiSlave::setIdle() {
    state_ = State::Idle;
    pending_.clear();
}

void PpiSlave::replyWindowElapsed() {
    replyWindow_.setEnabled(false);
    state_ = State::Idle;
}

bool PpiSlave::telegramComplete(std::span<const std::uint8_t> t) {
    if (t.empty()) return false;
    if (t.size() >= kMaxTelegram) return true;
    if (t[0] == kSd1) return t.size() >= 6;
    if (t[0] == kSd2) return t.size() >= 4 && t.size() >= static_cast<std::size_t>(t[1]) + 6;
    return true;
}

void PpiSlave::poll(std::int64_t nowMs) {
    if (!channel_.isOpen()) {
        pending_.clear();
        return;
    }
    if (!running_ || !running_()) {
        rx_.clear();
        channel_.readAll(rx_);
        setIdle();
        return;
    }
    if (channel_.bytesWaiting() == 0) {
        // An incomplete telegram after 3.5 silent character times: handled as it is.
        if (!pending_.empty() &&
            static_cast<double>(nowMs - lastArrivalMs_) * 1000.0 >= channel_.lineSettings().silentIntervalMicros()) {
            rx_.swap(pending_);
            pending_.clear();
            handleTelegram(rx_);
        }
        return;
    }
    lastArrivalMs_ = nowMs;
    channel_.readAll(pending_);
    if (telegramComplete(pending_)) {
        rx_.swap(pending_);
        pending_.clear();
        handleTelegram(rx_);
    }
}

void PpiSlave::handleTelegram(std::span<const std::uint8_t> t) {
    const std::size_t len = t.size();
    if (len < 33 && len != 6) {
        state_ = State::Idle;
        replyWindow_.setEnabled(false);
        return;
    }
    if (len == 6) {
        answerPoll(t);
        return;
    }
    // SD2: 68 LE LE 68 DA SA FC ... FCS 16; the length byte is not compared with the size.
    if (t[0] != kSd2 || t[3] != kSd2 || t[1] != t[2] || t[4] != address_ || t[len - 1] != kEnd) return;
    if (sum(t, 4, len - 3) != t[len - 2]) return;
    acknowledge(t);
}

void PpiSlave::answerPoll(std::span<const std::uint8_t> t) {
    if (state_ == State::AwaitingPoll) {
        if (t[0] == kSd1 && t[1] == request_[4] && t[2] == request_[5] && t[5] == kEnd)
            channel_.write(preparedAnswer());
    } else if (t[0] == kSd1 && t[1] == address_ && t[5] == kEnd) {
        std::array<std::uint8_t, 6> reply = {kSd1, t[2], address_, 0x00, 0, kEnd};
        reply[4] = sum(reply, 1, 3);
        channel_.write(reply);
    }
    state_ = State::Idle;
    replyWindow_.setEnabled(false);
}

void PpiSlave::acknowledge(std::span<const std::uint8_t> t) {
    const std::uint8_t ack = kAck;
    channel_.write(std::span<const std::uint8_t>(&ack, 1));
    state_ = State::AwaitingPoll;
    replyWindow_.setEnabled(true);
    request_.assign(t.begin(), t.end());
    prepare(std::span<const std::uint8_t>(&ack, 1));
    try {
        decodeRequest();
    } catch (const PlcFault&) {
        prepare(std::span<const std::uint8_t>(&ack, 1));  // the request is not answered
        log_.stamped(" PPI数据包非法");
    }
}

void PpiSlave::prepare(std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), prepared_.begin());
    preparedLength_ = bytes.size();
}

void PpiSlave::decodeRequest() {
    int b = r(29) * 256 + r(30);  // the low 16 bits of the bit address
    if (b > 30000) b = 0;
    PpiArea a{};
    int start = 0;
    if (areaOf(r(27), a)) {
        start = a.base + b;
        if (start > a.last) start = 0;
    }
    const int count = r(24);
    if (r(1) == 27) readRequest(start, count);
    else if (r(8) == 7) userDataRequest();
    else writeRequest(start, count);
}

void PpiSlave::CommOutDataInit() { std::copy(std::begin(kReadTemplate), std::end(kReadTemplate), readAnswer_.begin()); }
void PpiSlave::CommWriteInit() { std::copy(std::begin(kWriteTemplate), std::end(kWriteTemplate), writeAnswer_.begin()); }
void PpiSlave::SetOutQInit() { std::copy(std::begin(kUserTemplate), std::end(kUserTemplate), userAnswer_.begin()); }

void PpiSlave::readRequest(int start, int count) {
    if (count > kMaxReadCount) fault(FaultCode::IndexOutOfRange);
    CommOutDataInit();
    auto& t = readAnswer_;
    t[1] = t[2] = static_cast<std::uint8_t>(count + 21);
    t[4] = r(5);
    t[5] = address_;
    t[16] = static_cast<std::uint8_t>(count + 4);
    t[23] = static_cast<std::uint8_t>(count * 8 / 256);
    t[24] = static_cast<std::uint8_t>(count * 8 % 256);
    PpiArea a{};
    const bool served = areaOf(r(27), a);
    for (int k = 0; k < count; ++k) {
        const int key = start + 8 * k;
        t[25 + k] = served && key > a.last ? 0 : image_.byteAt(key);
    }
    const auto n = static_cast<std::size_t>(count);
    t[n + 25] = sum(t, 4, n + 24);
    t[n + 26] = kEnd;
    prepare(std::span<const std::uint8_t>(t.data(), n + 27));
}

void PpiSlave::writeRequest(int start, int count) {
    CommWriteInit();
    auto& w = writeAnswer_;
    w[4] = r(5);
    w[5] = address_;
    w[22] = sum(w, 4, 21);
    w[23] = kEnd;
    if (r(17) == 5) {
        const std::uint8_t size = r(22);
        PpiArea a{};
        const bool served = areaOf(r(27), a);
        if (size == 1) {
            if (count == 1 && r(27) == 0x83 && r(32) == 3) image_.setBit(start, r(35) == 1);
        } else if (size == 2 || size == 4 || size == 6) {
            const int bytes = count * (size == 2 ? 1 : size == 4 ? 2 : 4);
            // The data must all be there before anything is written.
            if (bytes > 0) (void)r(static_cast<std::size_t>(35 + bytes - 1));
            for (int k = 0; served && k < bytes; ++k) {
                const int key = start + 8 * k;
                if (key + 7 <= a.last) image_.setByte(key, request_[static_cast<std::size_t>(35 + k)]);
            }
        }
    }
    prepare(w);
}

void PpiSlave::userDataRequest() {
    if (r(41) != 0x82) return;  // the poll gets the bare acknowledgement
    const int bitAddress = r(43) * 256 + r(44);
    if (bitAddress <= 127) {
        const std::uint8_t v = request_[request_.size() - 3];
        if (v == 1) image_.setBit(area::Q + bitAddress, true);
        else if (v == 0) image_.setBit(area::Q + bitAddress, false);
    }
    SetOutQInit();
    auto& u = userAnswer_;
    u[4] = r(5);
    u[5] = address_;
    u[36] = sum(u, 4, 35);
    u[37] = kEnd;
    prepare(u);
}

}  // namespace korvane
