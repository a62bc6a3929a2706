#pragma once
// The simulation object link: a TCP server (port 9215) that accepts one plant model at a
// time. The object describes itself once (its kind, how many digital and analog points of
// each direction it has, their names); from then on it drives the digital and analog inputs
// and every data message it sends is answered with the current outputs. A Flash client's
// cross-domain policy request is answered with the policy text.
//
// TCP keeps no message boundaries, so the received bytes are reassembled into messages: a
// description is complete at 24 bytes (plus the names when they follow), a data message at
// 76 bytes, a policy request at its terminating zero byte. Several messages in one arrival
// are handled in order; bytes after a complete message that do not begin a known header are
// dropped, so peers that pad their messages keep working. A message not completed within
// 200 ms of the scheduler's time is dropped (a data message with the short-data line), so a
// fragment cannot take the start of the next message for its rest.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/plc_memory.h"
#include "hardware/hardware_config.h"
#include "platform/log_sink.h"
#include "platform/object_server.h"
#include "platform/prompt.h"
#include "platform/scheduler.h"

namespace korvane {

inline constexpr const char* kMsgObjectListenFailed =
    "通信失败，是否有其他版本的Korvane软件在运行？请退出其他版本Korvane程序";
inline constexpr const char* kLogObjectRefused = "已经有仿真连接，无法重复建立连接。";
inline constexpr const char* kLogObjectAccepted = "有仿真对象连接请求，建立连接。";
inline constexpr const char* kLogObjectClosed = "仿真对象已经断开!";
inline constexpr const char* kStatusObjectClosed = "仿真对象已经断开，AI、DI手动";
inline constexpr const char* kLogObjectShortData = "发送来的数据长度不对";
inline constexpr const char* kLogSecondInstance = "此实例不能与对象连接";
// Once per connection, when answers a peer did not read in time were dropped.
inline constexpr const char* kLogObjectSlowReader = "仿真对象没有及时读取应答，较早的应答已丢弃。";

// One point of the object. Unassigned points have slot, index in slot and address -1.
struct ObjectPoint {
    std::string name;        // at most 8 characters; empty when not given
    double value = 0;        // digital: 0 or 1; analog: the current in mA
    std::int16_t slot = -1;  // 0 the CPU, 1 to 7 an expansion slot
    std::int16_t indexInSlot = -1;
    // DI: image bit of the input; DO: output bit from Q0.0; AI/AO: n of AIWn / AQWn.
    std::int16_t address = -1;
    bool assigned() const { return indexInSlot >= 0; }
};

enum class PointKind : std::uint8_t { DI, AI, DO, AO };

class ObjectLink {
public:
    static constexpr std::uint16_t kDefaultPort = 9215;
    static constexpr int kMaxDI = 64, kMaxDO = 64, kMaxAI = 16, kMaxAO = 16;
    static constexpr std::size_t kHeaderBytes = 4;
    static constexpr std::size_t kDescriptionBytes = 24;
    static constexpr std::size_t kDataBytes = 76;
    static constexpr std::size_t kNameBytes = 8;
    // A policy request longer than this without its terminating zero is dropped.
    static constexpr std::size_t kPolicyRequestLimit = 1024;
    static constexpr double kMinMilliamps = 4.0;
    static constexpr double kMaxMilliamps = 20.4793758;
    // A message still incomplete this long after its first bytes arrived is dropped.
    static constexpr std::int64_t kPartialTimeoutMs = 200;

    // The scheduler gives the time of each arrival and drops incomplete messages; without
    // one, arrivals carry no time and nothing incomplete is dropped.
    ObjectLink(ObjectServer& server, PlcMemory& memory, HardwareConfig& rack, const Log& log, Prompt* prompt,
               Scheduler* scheduler = nullptr);
    ~ObjectLink();
    ObjectLink(const ObjectLink&) = delete;
    ObjectLink& operator=(const ObjectLink&) = delete;

    enum class Start { Listening, SecondInstance, Failed };
    // Opens the listening socket, unless another instance of the program runs (then nothing
    // listens; the main window logs the line of that rule), and logs where it listens
    // (listeningLine). When the port cannot be taken the message box kMsgObjectListenFailed
    // is shown and the simulator runs on without it.
    Start start(std::uint16_t port = kDefaultPort, const std::string& address = {}, bool secondInstance = false);
    ObjectServer& server() { return server_; }
    // "在 0.0.0.0:9215 上监听仿真对象连接。" ("" is every interface).
    static std::string listeningLine(const std::string& address, std::uint16_t port);

    // --- server events (wired to the server by the constructor) -------------------------
    void connectionRequest();
    void dataArrival();
    void peerClosed();
    void socketError(int number, const std::string& description);
    // One arrival of bytes on the connection at the scheduler's time nowMs: reassembled and
    // handled in order, after an incomplete message older than kPartialTimeoutMs is dropped.
    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowMs);
    // Drops an incomplete message older than kPartialTimeoutMs at nowMs (the link's timer
    // calls it).
    void poll(std::int64_t nowMs);

    // --- operations --------------------------------------------------------------------
    // Assigns the declared points to the rack's I/O, in slot order.
    void AssignPoints();
    // The user's disconnect: closes the connection and gives the inputs back to the panels.
    void Disconnect();
    // The scan's input and output phases; both do nothing while no object drives the inputs.
    void inputTransfer();
    void outputTransfer();
    // The input terminal of the I bit at key while the object drives the inputs and one of
    // its points is that input; nothing otherwise.
    std::optional<bool> inputTerminal(int key) const;

    // --- state -------------------------------------------------------------------------
    bool inputsFromObject() const { return fromObject_; }
    bool connected() const { return server_.connected(); }
    std::int32_t objectKind() const { return kind_; }
    // Kind 2 and kinds above 65535 send least significant byte first.
    static bool leastSignificantFirst(std::int32_t kind) { return kind == 2 || kind > 65535; }
    // The declared counts, cut to the table sizes.
    int count(PointKind k) const { return counts_[static_cast<std::size_t>(k)]; }
    std::span<ObjectPoint> points(PointKind k);
    std::span<const ObjectPoint> points(PointKind k) const;
    ObjectPoint& point(PointKind k, int i) { return points(k)[static_cast<std::size_t>(i)]; }
    std::uint64_t dataMessages() const { return dataMessages_; }
    // Bytes received but not yet making up a whole message.
    std::size_t bufferedBytes() const { return buffer_.size(); }

    // The policy answer: the text with CR LF line ends, then four zero bytes.
    static std::string policyText();
    static Bytes policyAnswer();

    // --- what the front end shows ------------------------------------------------------
    // The object I/O view's rebuild (FreshAllShow): after a description and a reassignment.
    std::function<void()> onRebuild;
    // Its value refresh (FreshShow): after each data message and a disconnect.
    std::function<void()> onValues;
    // Status-bar panel 2.
    std::function<void(const std::string&)> onStatusText;
    // The inputs-from-object flag changed: the panels stop or resume writing inputs.
    std::function<void(bool)> onInputsFromObject;

private:
    enum class Header { None, Description, Data, Policy };
    static Header headerOf(const std::uint8_t* p);
    static bool headerPrefix(std::span<const std::uint8_t> bytes);
    // Handles the whole messages in the buffer; returns how many bytes it took off.
    std::size_t process();
    void notePartial(std::size_t consumed, std::int64_t nowMs);
    void clearPartial();
    void description(const std::uint8_t* p);
    void readNames(const std::uint8_t* p);
    void data(const std::uint8_t* p);
    void setFromObject(bool on);
    void connectionEnded();
    std::uint32_t number(const std::uint8_t* p) const;
    float real(const std::uint8_t* p) const;
    void putReal(std::uint8_t* p, float f) const;
    void status(const std::string& text) {
        if (onStatusText) onStatusText(text);
    }

    ObjectServer& server_;
    PlcMemory& mem_;
    HardwareConfig& rack_;
    const Log& log_;
    Prompt* prompt_;
    Scheduler* scheduler_;
    HardwareConfig::Subscription subscription_ = 0;

    bool fromObject_ = false;
    std::int32_t kind_ = 0;
    std::array<int, 4> counts_{};  // by PointKind
    std::array<ObjectPoint, kMaxDI> di_{};
    std::array<ObjectPoint, kMaxAI> ai_{};
    std::array<ObjectPoint, kMaxDO> do_{};
    std::array<ObjectPoint, kMaxAO> ao_{};

    Bytes buffer_;
    Bytes arrival_;
    std::size_t namesPending_ = 0;  // bytes of names that may still follow a description
    std::uint64_t dataMessages_ = 0;
    std::uint64_t epoch_ = 0;  // counts connection starts and ends
    bool partial_ = false;          // the buffer holds an incomplete message ...
    std::int64_t partialSince_ = 0;  // ... whose first bytes came at this time
    std::unique_ptr<Timer> partialTimer_;
    bool slowReaderLogged_ = false;
};

}  // namespace korvane
