#include "comm/uss_master.h"

#include <algorithm>

#include "comm/slave_image.h"
#include "core/interpreter.h"

namespace korvane {

namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr int kBauds[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
const char* const kInitWarning = "警告：PORT0口未配置成USS模式，而程序中有USS_INIT指令，指令将不被执行";
const char* const kCtrlWarning = "警告：PORT0口未配置成USS模式，而程序中有USS_CTRL指令，指令将不被执行";

// USS_CTRL operands.
enum : int { kRun = 1, kOff2, kOff3, kFAck, kDir, kDrive, kType, kSpeedSp, kRespR, kError, kStatus, kSpeed, kRunEn, kDDir, kInhibit, kFault };

std::uint8_t bcc(std::span<const std::uint8_t> t) {
    std::uint8_t x = 0;
    for (std::uint8_t b : t) x = static_cast<std::uint8_t>(x ^ b);
    return x;
}

int driveNumber(double v) {
    const double r = roundEven(v);
    return r >= 0 && r < UssMaster::kDrives ? static_cast<int>(r) : -1;
}

}  // namespace

std::uint16_t ussControlWord(bool run, bool off2, bool off3, bool fAck, bool dir) {
    unsigned w = 0x0478;  // bits 3 to 6 and 10
    if (run) w |= 1u << 0;
    if (!off2) w |= 1u << 1;
    if (!off3) w |= 1u << 2;
    if (fAck) w |= 1u << 7;
    if (dir) w |= 1u << 11;
    return static_cast<std::uint16_t>(w);
}

UssMaster::UssMaster(SerialChannel& channel, Timer& rec, MasterContext ctx)
    : channel_(channel), rec_(rec), ctx_(std::move(ctx)) {
    pending_.reserve(kMaxAnswer + 64);
}

void UssMaster::USS_INIT(const CodeLine& line) {
    if (!ctx_.protocolIs(MasterProtocol::USS)) {
        enabled_ = false;
        ctx_.log.plain(kInitWarning);
        return;
    }
    enabled_ = line.number(1) == 1;
    current_ = 0;
    drives_.fill(UssDrive{});
    rec_.setEnabled(false);
    pending_.clear();
    const double baud = line.number(2);
    if (std::find(std::begin(kBauds), std::end(kBauds), baud) != std::end(kBauds)) {
        const std::string text = std::to_string(static_cast<int>(baud));
        channel_.setSettings(text + ",e,8,1");
        if (speedText_ != text) {
            speedText_ = text;
            settingsText_ = channel_.settings();
        }
    }
    const double active = roundEven(line.number(3));
    if (active >= 0 && active <= 4294967295.0) {
        const auto mask = static_cast<std::uint32_t>(active);
        for (int n = 0; n < kDrives; ++n) drives_[static_cast<std::size_t>(n)].active = (mask >> n) & 1u;
    }
}

void UssMaster::USS_CTRL(const CodeLine& line, int lineIndex, bool power) {
    PlcMemory& mem = ctx_.mem;
    const int n = driveNumber(GetCodeParamVal(mem, line, kDrive));
    if (!power) {
        if (n >= 0) drives_[static_cast<std::size_t>(n)].called = false;
        return;
    }
    if (!ctx_.protocolIs(MasterProtocol::USS)) {
        ctx_.log.plain(kCtrlWarning);
        return;
    }
    if (n < 0) return;
    const int sp = line.key(kSpeedSp);
    const std::uint8_t sp2 = mem.byteAt(sp + 16);
    const std::uint8_t sp3 = mem.byteAt(sp + 24);
    UssDrive& d = drives_[static_cast<std::size_t>(n)];
    d.run = mem.bit(line.key(kRun));
    d.off2 = mem.bit(line.key(kOff2));
    d.off3 = mem.bit(line.key(kOff3));
    d.fAck = mem.bit(line.key(kFAck));
    d.dir = mem.bit(line.key(kDir));
    d.controlLine = lineIndex;
    d.called = true;
    d.setpoint = {sp2, sp3};
    const std::uint16_t w = ussControlWord(d.run, d.off2, d.off3, d.fAck, d.dir);
    d.controlWord = {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)};
}

Bytes UssMaster::telegram(int n) const {
    const UssDrive& d = drives_[static_cast<std::size_t>(n)];
    Bytes t = {kStx, 0x0C, static_cast<std::uint8_t>(n), 0, 0, 0, 0, 0, 0,
               d.controlWord[0], d.controlWord[1], d.setpoint[0], d.setpoint[1]};
    t.push_back(bcc(t));
    return t;
}

void UssMaster::advance() {
    for (int k = 1; k <= kDrives; ++k) {
        const int n = (current_ + k) % kDrives;
        const UssDrive& d = drives_[static_cast<std::size_t>(n)];
        if (d.active && d.called) {
            current_ = n;
            return;
        }
    }
}

void UssMaster::poll() {
    try {
        const std::int64_t now = ctx_.nowMs();
        if (channel_.bytesWaiting() > 0) {
            channel_.readAll(pending_);
            lastArrivalMs_ = now;
            const bool started = pending_[0] == kStx;
            const std::size_t want = pending_.size() >= 2 ? static_cast<std::size_t>(pending_[1]) + 2 : kMaxAnswer;
            if (!started || pending_.size() >= want || pending_.size() >= kMaxAnswer) {
                // The answer is complete (what follows it in the same read is dropped), or
                // the bytes cannot become one.
                const std::size_t n = started ? std::min(want, pending_.size()) : pending_.size();
                const Bytes r(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
                pending_.clear();
                handleBuffer(r);
            }
        } else if (!pending_.empty() && lineSilent(channel_, lastArrivalMs_, now)) {
            pending_.clear();  // an answer that stopped short never completes
        }

        if (!ctx_.protocolIs(MasterProtocol::USS) || !enabled_ || !ctx_.isRunning()) return;
        UssDrive& d = drives_[static_cast<std::size_t>(current_)];
        if (!d.active || !d.called) {
            d.replyAwaited = false;
            advance();
            return;
        }
        if (d.replyAwaited) return;
        if (!channel_.isOpen()) return;
        channel_.write(telegram(current_));
        d.replyAwaited = true;
        rec_.setEnabled(false);
        rec_.setEnabled(true);
    } catch (const PlcFault&) {
        // An operand of the drive's USS_CTRL line outside the image: nothing more is written.
    }
}

void UssMaster::handleBuffer(std::span<const std::uint8_t> r) {
    const std::size_t len = r.size();
    const bool anyActive = std::any_of(drives_.begin(), drives_.end(), [](const UssDrive& d) { return d.active; });
    if (!anyActive || !ctx_.protocolIs(MasterProtocol::USS) || !channel_.isOpen() || !enabled_ || len < 8 ||
        !ctx_.isRunning())
        return;
    UssDrive& d = drives_[static_cast<std::size_t>(current_)];
    if (r[0] != kStx || !d.replyAwaited || r[1] != len - 2 || r[2] != current_ || r[len - 1] != bcc(r.first(len - 1)))
        return;
    d.replyAwaited = false;
    rec_.setEnabled(false);
    writeAnswer(d, r);
    advance();
}

const CodeLine* UssMaster::controlLine(const UssDrive& d) const {
    if (!cpu_) return nullptr;
    const Program& prog = cpu_->prog();
    if (d.controlLine < 1 || d.controlLine > prog.lastIndex()) return nullptr;
    const CodeLine& line = prog.CodeTable[static_cast<std::size_t>(d.controlLine)];
    return line.op == Op::CALL ? &line : nullptr;
}

void UssMaster::writeAnswer(const UssDrive& d, std::span<const std::uint8_t> r) {
    const CodeLine* line = controlLine(d);
    if (!line) return;
    const std::size_t L = r.size();
    PlcMemory& mem = ctx_.mem;
    SlaveImage image(mem);
    image.setByte(line->key(kError), 0);
    const int status = line->key(kStatus);
    image.setByte(status, r[L - 5]);
    image.setByte(status + 8, r[L - 4]);
    const int speed = line->key(kSpeed);
    image.setByte(speed + 16, r[L - 3]);
    image.setByte(speed + 24, r[L - 2]);
    image.setBit(line->key(kRunEn), (r[L - 4] >> 2) & 1);
    image.setBit(line->key(kDDir), (r[L - 5] >> 6) & 1);
    image.setBit(line->key(kFault), (r[L - 4] >> 3) & 1);
    cpu_->postedBit = line->key(kRespR);
}

void UssMaster::writeError(const UssDrive& d, int code) {
    const CodeLine* line = controlLine(d);
    if (!line) return;
    SlaveImage(ctx_.mem).setByte(line->key(kError), static_cast<std::uint8_t>(code));
}

void UssMaster::timedOut() {
    rec_.setEnabled(false);
    UssDrive& d = drives_[static_cast<std::size_t>(current_)];
    d.replyAwaited = false;
    try {
        writeError(d, 1);
    } catch (const PlcFault&) {
    }
    advance();
}

void UssMaster::reset() {
    enabled_ = false;
    current_ = 0;
    drives_.fill(UssDrive{});
    rec_.setEnabled(false);
    pending_.clear();
    if (cpu_) cpu_->postedBit = -1;
}

void UssMaster::portClosed() {
    for (UssDrive& d : drives_) d.replyAwaited = false;
    pending_.clear();
}

}  // namespace korvane
