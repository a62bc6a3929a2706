#include "platform/serial_channel.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "platform/log_sink.h"
#include "platform/scheduler.h"

namespace korvane {

namespace {

constexpr std::array<int, 19> kBauds = {110,   300,   600,   1200,   2400,   4800,   9600,
                                        14400, 19200, 28800, 38400,  56000,  57600,  115200,
                                        128000, 230400, 256000, 460800, 921600};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool parseInt(std::string_view s, int& out) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return false;
    out = v;
    return true;
}

}  // namespace

bool isSupportedBaud(int baud) { return std::find(kBauds.begin(), kBauds.end(), baud) != kBauds.end(); }

bool SerialSettings::apply(std::string_view text) {
    SerialSettings next = *this;
    std::array<std::string_view, 4> fields{};
    std::size_t n = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        if (n == fields.size()) return false;  // more than four fields
        fields[n++] = trim(text.substr(0, comma));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (!fields[0].empty()) {
        int rate = 0;
        if (!parseInt(fields[0], rate) || !isSupportedBaud(rate)) return false;
        next.baud = rate;
    }
    if (!fields[1].empty()) {
        if (fields[1].size() != 1) return false;
        char p = fields[1][0];
        if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 'a' + 'A');
        if (p != 'N' && p != 'E' && p != 'O' && p != 'M' && p != 'S') return false;
        next.parity = p;
    }
    if (!fields[2].empty()) {
        int bits = 0;
        if (!parseInt(fields[2], bits) || bits < 5 || bits > 8) return false;
        next.dataBits = bits;
    }
    if (!fields[3].empty()) {
        if (fields[3] == "1") next.stopTenths = 10;
        else if (fields[3] == "1.5") next.stopTenths = 15;
        else if (fields[3] == "2") next.stopTenths = 20;
        else return false;
    }
    *this = next;
    return true;
}

std::string SerialSettings::text() const {
    std::string s = std::to_string(baud);
    s += ',';
    s += parity;
    s += ',';
    s += std::to_string(dataBits);
    s += ',';
    s += stopTenths == 15 ? "1.5" : stopTenths == 20 ? "2" : "1";
    return s;
}

double SerialSettings::bitsPerCharacter() const {
    return 1.0 + dataBits + (parity == 'N' ? 0.0 : 1.0) + stopTenths / 10.0;
}

double SerialSettings::characterMicros() const { return bitsPerCharacter() * 1e6 / baud; }

double SerialSettings::silentIntervalMicros() const {
    return baud > 19200 ? 1750.0 : 3.5 * characterMicros();
}

SerialSettings parseSettingsOr(std::string_view text, SerialSettings fallback) {
    SerialSettings s = fallback;
    return s.apply(text) ? s : fallback;
}

bool SerialChannel::setPortNumber(int com) {
    if (com < kMinPort || com > kMaxPort || isOpen()) return false;
    port_ = com;
    return true;
}

bool SerialChannel::setSettings(std::string_view text) {
    if (!settings_.apply(text)) return false;
    if (isOpen()) settingsChanged();
    return true;
}

SerialLineKeeper::SerialLineKeeper(Scheduler& scheduler, const Log& log)
    : log_(log), timer_(scheduler.createTimer("SerialLineKeeper", kRetryMs, [this] { retry(); })) {}

SerialLineKeeper::~SerialLineKeeper() {
    for (SerialChannel* c : channels_) c->onLost = nullptr;
}

void SerialLineKeeper::keep(SerialChannel& channel) {
    channels_.push_back(&channel);
    channel.onLost = [this, &channel] {
        say(" 串口COM" + std::to_string(channel.portNumber()) + "断开（" + channel.errorText() + "），每秒重试打开");
        timer_->setEnabled(true);
    };
}

void SerialLineKeeper::say(const std::string& msg) const {
    log_.stamped(msg);
    if (onNotice) onNotice(log_.timeOfDay() + msg);
}

void SerialLineKeeper::retry() {
    bool waiting = false;
    for (SerialChannel* c : channels_) {
        if (!c->lost()) continue;
        if (c->reopen())
            say(" 串口COM" + std::to_string(c->portNumber()) + "已重新打开（" + c->deviceName() + "）");
        else
            waiting = true;
    }
    if (!waiting) timer_->setEnabled(false);
}

}  // namespace korvane
