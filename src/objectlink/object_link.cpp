#include "objectlink/object_link.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace korvane {

namespace {

constexpr std::uint8_t kDescriptionHeader[4] = {0x01, 0x01, 0x01, 0x02};
constexpr std::uint8_t kDataHeader[4] = {0x01, 0x01, 0x01, 0x03};
constexpr std::uint8_t kPolicyHeader[4] = {0x3C, 0x70, 0x6F, 0x6C};  // "<pol"

constexpr std::array<int, 4> kTableSize = {ObjectLink::kMaxDI, ObjectLink::kMaxAI, ObjectLink::kMaxDO,
                                           ObjectLink::kMaxAO};

// A byte of the single-byte code page as UTF-8 (the code page's first 256 code points).
void appendLatin1(std::string& out, std::uint8_t b) {
    if (b < 0x80) {
        out += static_cast<char>(b);
    } else {
        out += static_cast<char>(0xC0 | (b >> 6));
        out += static_cast<char>(0x80 | (b & 0x3F));
    }
}

}  // namespace

ObjectLink::ObjectLink(ObjectServer& server, PlcMemory& memory, HardwareConfig& rack, const Log& log, Prompt* prompt,
                       Scheduler* scheduler)
    : server_(server), mem_(memory), rack_(rack), log_(log), prompt_(prompt), scheduler_(scheduler) {
    server_.onConnectionRequest = [this] { connectionRequest(); };
    server_.onDataArrival = [this] { dataArrival(); };
    server_.onPeerClosed = [this] { peerClosed(); };
    server_.onError = [this](int n, const std::string& text) { socketError(n, text); };
    // A rack change or a loaded .hd file moves the points to where the I/O now is.
    subscription_ = rack_.subscribe([this] {
        AssignPoints();
        if (onRebuild) onRebuild();
    });
    AssignPoints();
    if (scheduler_)
        partialTimer_ = scheduler_->createTimer("ObjectLinkPartial", static_cast<int>(kPartialTimeoutMs), [this] {
            const std::int64_t now = scheduler_->nowMs();
            poll(now);
            // A timer that fired early waits for the rest of the time.
            if (partial_)
                partialTimer_->setInterval(static_cast<int>(std::max<std::int64_t>(1, partialSince_ + kPartialTimeoutMs - now)));
        });
}

ObjectLink::~ObjectLink() {
    rack_.unsubscribe(subscription_);
    server_.onConnectionRequest = nullptr;
    server_.onDataArrival = nullptr;
    server_.onPeerClosed = nullptr;
    server_.onError = nullptr;
}

ObjectLink::Start ObjectLink::start(std::uint16_t port, const std::string& address, bool secondInstance) {
    if (secondInstance) return Start::SecondInstance;
    if (server_.listen(address, port)) {
        log_.plain(listeningLine(address, server_.port()));
        return Start::Listening;
    }
    if (prompt_) prompt_->inform(kMsgObjectListenFailed);
    return Start::Failed;
}

std::string ObjectLink::listeningLine(const std::string& address, std::uint16_t port) {
    std::string host = address.empty() ? "0.0.0.0" : address;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "在 " + host + ":" + std::to_string(port) + " 上监听仿真对象连接。";
}

std::span<ObjectPoint> ObjectLink::points(PointKind k) {
    switch (k) {
    case PointKind::DI: return di_;
    case PointKind::AI: return ai_;
    case PointKind::DO: return do_;
    case PointKind::AO: return ao_;
    }
    return {};
}

std::span<const ObjectPoint> ObjectLink::points(PointKind k) const {
    return const_cast<ObjectLink*>(this)->points(k);
}

// --- server events -------------------------------------------------------------------------

void ObjectLink::connectionRequest() {
    if (server_.connected()) {
        log_.plain(kLogObjectRefused);
        server_.refusePending();
        return;
    }
    server_.acceptPending();
    log_.plain(kLogObjectAccepted);
    counts_.fill(0);
    buffer_.clear();
    namesPending_ = 0;
    clearPartial();
    slowReaderLogged_ = false;
    ++epoch_;
}

void ObjectLink::dataArrival() {
    arrival_.clear();
    server_.readAll(arrival_);
    feed(arrival_, scheduler_ ? scheduler_->nowMs() : 0);
}

void ObjectLink::peerClosed() {
    log_.plain(kLogObjectClosed);
    status(kStatusObjectClosed);
    setFromObject(false);
    server_.closeConnection();
    connectionEnded();
}

void ObjectLink::socketError(int number, const std::string& description) {
    log_.plain("错误[" + std::to_string(number) + "]" + description + "关闭通信");
    if (server_.connected()) server_.closeConnection();
    setFromObject(false);
    connectionEnded();
}

void ObjectLink::Disconnect() {
    server_.closeConnection();
    setFromObject(false);
    connectionEnded();
    if (onValues) onValues();
}

void ObjectLink::connectionEnded() {
    // A data message cut off by the end of the connection is the short message of old.
    if (buffer_.size() >= kHeaderBytes && headerOf(buffer_.data()) == Header::Data) log_.plain(kLogObjectShortData);
    buffer_.clear();
    namesPending_ = 0;
    clearPartial();
    ++epoch_;
}

void ObjectLink::setFromObject(bool on) {
    if (fromObject_ == on) return;
    fromObject_ = on;
    if (onInputsFromObject) onInputsFromObject(on);
}

// --- reassembly ----------------------------------------------------------------------------

ObjectLink::Header ObjectLink::headerOf(const std::uint8_t* p) {
    if (std::memcmp(p, kDescriptionHeader, 4) == 0) return Header::Description;
    if (std::memcmp(p, kDataHeader, 4) == 0) return Header::Data;
    if (std::memcmp(p, kPolicyHeader, 4) == 0) return Header::Policy;
    return Header::None;
}

bool ObjectLink::headerPrefix(std::span<const std::uint8_t> b) {
    for (const std::uint8_t* h : {kDescriptionHeader, kDataHeader, kPolicyHeader})
        if (std::equal(b.begin(), b.end(), h)) return true;
    return false;
}

void ObjectLink::feed(std::span<const std::uint8_t> bytes, std::int64_t nowMs) {
    if (bytes.empty()) return;
    poll(nowMs);
    // Names left incomplete at the end of the last arrival were padding when this arrival
    // begins a new message.
    if (namesPending_ > 0 && bytes.size() >= kHeaderBytes && headerOf(bytes.data()) != Header::None) {
        buffer_.clear();
        namesPending_ = 0;
        clearPartial();
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    const std::uint64_t epoch = epoch_;
    const std::size_t consumed = process();
    if (epoch_ == epoch) notePartial(consumed, nowMs);
}

void ObjectLink::notePartial(std::size_t consumed, std::int64_t nowMs) {
    if (buffer_.empty() && namesPending_ == 0) {
        clearPartial();
        return;
    }
    // What is left began in this arrival unless it is the rest of what waited before.
    if (partial_ && consumed == 0) return;
    partial_ = true;
    partialSince_ = nowMs;
    if (partialTimer_) {
        partialTimer_->setInterval(static_cast<int>(kPartialTimeoutMs));
        partialTimer_->setEnabled(true);
    }
}

void ObjectLink::clearPartial() {
    partial_ = false;
    if (partialTimer_) partialTimer_->setEnabled(false);
}

void ObjectLink::poll(std::int64_t nowMs) {
    if (!partial_ || nowMs - partialSince_ < kPartialTimeoutMs) return;
    if (buffer_.size() >= kHeaderBytes && headerOf(buffer_.data()) == Header::Data) log_.plain(kLogObjectShortData);
    buffer_.clear();
    namesPending_ = 0;
    clearPartial();
}

std::size_t ObjectLink::process() {
    // A handler that ends the connection (a view's disconnect, a failing write) empties the
    // buffer: the loop stops there.
    const std::uint64_t epoch = epoch_;
    auto ended = [&] { return epoch_ != epoch; };
    std::size_t at = 0;
    auto left = [&] { return buffer_.size() - at; };
    const std::uint8_t* base = buffer_.data();
    for (;;) {
        if (namesPending_ > 0) {
            // The names of the description just handled, unless a new message begins here.
            if (left() >= kHeaderBytes && headerOf(base + at) != Header::None) {
                namesPending_ = 0;
            } else if (left() < kHeaderBytes && left() > 0 &&
                       headerPrefix(std::span<const std::uint8_t>(base + at, left()))) {
                break;
            } else if (left() >= namesPending_) {
                readNames(base + at);
                at += namesPending_;
                namesPending_ = 0;
                if (onRebuild) onRebuild();
                if (ended()) return at;
                continue;
            } else {
                break;
            }
        }
        if (left() == 0) break;
        if (left() < kHeaderBytes) {
            if (!headerPrefix(std::span<const std::uint8_t>(base + at, left()))) at = buffer_.size();
            break;
        }
        const Header h = headerOf(base + at);
        if (h == Header::Description) {
            if (left() < kDescriptionBytes) break;
            description(base + at);
            const std::size_t names = kNameBytes * static_cast<std::size_t>(counts_[0] + counts_[1] + counts_[2] + counts_[3]);
            at += kDescriptionBytes;
            if (names > 0 && left() >= names && !(left() >= kHeaderBytes && headerOf(base + at) != Header::None)) {
                readNames(base + at);
                at += names;
            } else {
                namesPending_ = names;
            }
            AssignPoints();
            if (onRebuild) onRebuild();
            if (ended()) return at;
        } else if (h == Header::Data) {
            if (left() < kDataBytes) break;
            data(base + at);
            if (ended()) return at;
            at += kDataBytes;
        } else if (h == Header::Policy) {
            const auto* end = std::find(base + at, base + buffer_.size(), std::uint8_t{0});
            if (end == base + buffer_.size()) {
                if (left() > kPolicyRequestLimit) at = buffer_.size();
                break;
            }
            const Bytes answer = policyAnswer();
            server_.write(answer);
            if (ended()) return at;
            at = static_cast<std::size_t>(end - base) + 1;
        } else {
            // Not a message: dropped with the rest of what has arrived.
            at = buffer_.size();
            namesPending_ = 0;
            break;
        }
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
    return at;
}

// --- messages ------------------------------------------------------------------------------

std::uint32_t ObjectLink::number(const std::uint8_t* p) const {
    if (leastSignificantFirst(kind_))
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    return std::uint32_t{p[3]} | std::uint32_t{p[2]} << 8 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[0]} << 24;
}

float ObjectLink::real(const std::uint8_t* p) const { return std::bit_cast<float>(number(p)); }

void ObjectLink::putReal(std::uint8_t* p, float f) const {
    const auto u = std::bit_cast<std::uint32_t>(f);
    for (int i = 0; i < 4; ++i) {
        const auto b = static_cast<std::uint8_t>(u >> (8 * i));
        p[leastSignificantFirst(kind_) ? i : 3 - i] = b;
    }
}

void ObjectLink::description(const std::uint8_t* p) {
    kind_ = static_cast<std::int32_t>(std::uint32_t{p[7]} | std::uint32_t{p[6]} << 8 | std::uint32_t{p[5]} << 16 |
                                      std::uint32_t{p[4]} << 24);
    setFromObject(true);
    // Bytes 8 to 23: DI, DO, AI, AO. Counts beyond the tables are cut to the table sizes,
    // negative ones to 0.
    constexpr PointKind order[4] = {PointKind::DI, PointKind::DO, PointKind::AI, PointKind::AO};
    for (int i = 0; i < 4; ++i) {
        const auto n = static_cast<std::int32_t>(number(p + 8 + 4 * i));
        const auto k = static_cast<std::size_t>(order[i]);
        counts_[k] = std::clamp(n, 0, kTableSize[k]);
    }
    for (PointKind k : order)
        for (ObjectPoint& pt : points(k)) pt.name.clear();
}

void ObjectLink::readNames(const std::uint8_t* p) {
    // Names come DI, DO, AI, AO, eight bytes each; a name ends before the first byte below 11.
    for (PointKind k : {PointKind::DI, PointKind::DO, PointKind::AI, PointKind::AO}) {
        auto table = points(k);
        for (int n = 0; n < count(k); ++n) {
            std::string& name = table[static_cast<std::size_t>(n)].name;
            name.clear();
            for (std::size_t c = 0; c < kNameBytes && p[c] >= 11; ++c) appendLatin1(name, p[c]);
            p += kNameBytes;
        }
    }
}

void ObjectLink::data(const std::uint8_t* p) {
    ++dataMessages_;
    for (int j = 0; j < 8; ++j)
        for (int b = 0; b < 8; ++b) di_[static_cast<std::size_t>(8 * j + b)].value = (p[4 + j] >> b) & 1;
    for (std::size_t k = 0; k < ai_.size(); ++k) {
        double v = real(p + 12 + 4 * k);
        if (!(v >= kMinMilliamps)) v = kMinMilliamps;  // also NaN
        if (v > kMaxMilliamps) v = kMaxMilliamps;
        ai_[k].value = ai_[k].slot >= 1 && ai_[k].slot <= 7 ? v : 0.0;
    }
    std::array<std::uint8_t, kDataBytes> answer{};
    std::memcpy(answer.data(), kDataHeader, 4);
    for (int j = 0; j < 8; ++j) {
        std::uint8_t byte = 0;
        for (int b = 0; b < 8; ++b)
            if (do_[static_cast<std::size_t>(8 * j + b)].value > 0) byte = static_cast<std::uint8_t>(byte | (1u << b));
        answer[static_cast<std::size_t>(4 + j)] = byte;
    }
    for (std::size_t k = 0; k < ao_.size(); ++k) putReal(answer.data() + 12 + 4 * k, static_cast<float>(ao_[k].value));
    if (server_.connected()) {
        server_.write(answer);
        if (!slowReaderLogged_ && server_.droppedMessages() > 0) {
            slowReaderLogged_ = true;
            log_.plain(kLogObjectSlowReader);
        }
    }
    if (onValues) onValues();
}

std::string ObjectLink::policyText() {
    return "<?xml version=\"1.0\"?>\r\n"
           "<!DOCTYPE cross-domain-policy SYSTEM \"http://www.adobe.com/xml/dtds/cross-domain-policy.dtd\">\r\n"
           "<cross-domain-policy>\r\n"
           "<allow-access-from domain=\"*\" to-ports=\"9215\" />\r\n"
           "</cross-domain-policy>\r\n";
}

Bytes ObjectLink::policyAnswer() {
    // The text and four zero bytes. (Made whole, then filled: GCC 12 takes an insert of the
    // zeros for a copy past the end.)
    const std::string text = policyText();
    Bytes out(text.size() + 4, 0);
    std::copy(text.begin(), text.end(), out.begin());
    return out;
}

// --- assignment and transfers --------------------------------------------------------------

void ObjectLink::AssignPoints() {
    for (PointKind k : {PointKind::DI, PointKind::AI, PointKind::DO, PointKind::AO})
        for (ObjectPoint& p : points(k)) p.slot = p.indexInSlot = p.address = -1;
    auto walk = [this](PointKind k, auto countOf, auto firstOf, int addressScale) {
        auto table = points(k);
        int n = 0;
        for (int s = 0; s < HardwareConfig::kRecordCount && n < count(k); ++s) {
            const CatalogueEntry& r = rack_.record(s);
            for (int i = 0; i < countOf(r) && n < count(k); ++i, ++n) {
                ObjectPoint& p = table[static_cast<std::size_t>(n)];
                p.slot = static_cast<std::int16_t>(s);
                p.indexInSlot = static_cast<std::int16_t>(i);
                p.address = static_cast<std::int16_t>(addressScale * (firstOf(r) + i));
            }
        }
    };
    walk(PointKind::DI, [](const CatalogueEntry& r) { return r.digitalInputs; },
         [](const CatalogueEntry& r) { return r.inputFirst; }, 1);
    walk(PointKind::DO, [](const CatalogueEntry& r) { return r.digitalOutputs; },
         [](const CatalogueEntry& r) { return r.outputFirst; }, 1);
    walk(PointKind::AI, [](const CatalogueEntry& r) { return r.analogInputs; },
         [](const CatalogueEntry& r) { return r.analogInputFirst; }, 2);
    walk(PointKind::AO, [](const CatalogueEntry& r) { return r.analogOutputs; },
         [](const CatalogueEntry& r) { return r.analogOutputFirst; }, 2);
}

void ObjectLink::inputTransfer() {
    if (!fromObject_) return;
    std::int16_t* cells = mem_.cells();
    for (const ObjectPoint& p : di_)
        if (p.address >= area::I && p.address < area::Q) cells[p.address] = p.value > 0 ? kOn : kOff;
    for (const ObjectPoint& p : ai_) {
        if (p.address < 0 || p.address > 62) continue;
        const double raw = std::clamp(std::nearbyint((p.value - 4.0) * 1600.0 + 6400.0), 6400.0, 32000.0);
        mem_.tobit(raw, area::AIW + 8 * p.address, 16);
    }
}

std::optional<bool> ObjectLink::inputTerminal(int key) const {
    if (!fromObject_) return std::nullopt;
    for (const ObjectPoint& p : di_)
        if (p.address == key) return p.value > 0;
    return std::nullopt;
}

void ObjectLink::outputTransfer() {
    if (!fromObject_) return;
    const std::int16_t* cells = mem_.cells();
    for (ObjectPoint& p : do_)
        if (p.address >= 0 && p.address < area::M - area::Q) p.value = cells[area::Q + p.address] ? 1.0 : 0.0;
    for (ObjectPoint& p : ao_) {
        if (p.address < 0 || p.address > 62) continue;
        // The word read unsigned, as written: 16#9C40 is 25 mA, 16#FFFF 40.96 mA; below 6400
        // it counts as 4 mA.
        const double raw = std::max(mem_.GetWordValue(area::AQW + 8 * p.address), 6400.0);
        p.value = (raw - 6400.0) / 1600.0 + 4.0;
    }
}

}  // namespace korvane
