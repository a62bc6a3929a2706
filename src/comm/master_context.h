#pragma once
// What the master-port protocols share: the memory image, the log, the port configuration
// (which protocol the master port is set to, whether it is open, the own station address),
// the clock and the CPU's run state.
#include <cstdint>
#include <functional>

#include "comm/port_config.h"
#include "core/plc_memory.h"
#include "platform/log_sink.h"
#include "platform/scheduler.h"
#include "platform/serial_channel.h"

namespace korvane {

struct MasterContext {
    PlcMemory& mem;
    const Log& log;
    const PortConfig& config;
    Scheduler& scheduler;
    std::function<bool()> running;

    bool isRunning() const { return running && running(); }
    bool protocolIs(MasterProtocol p) const { return config.master().protocol == p; }
    std::int64_t nowMs() const { return scheduler.nowMs(); }
};

// True once the line has been silent for 3.5 character times since lastArrivalMs: bytes
// received before then that do not yet form a whole message never will.
inline bool lineSilent(const SerialChannel& ch, std::int64_t lastArrivalMs, std::int64_t nowMs) {
    return static_cast<double>(nowMs - lastArrivalMs) * 1000.0 >= ch.lineSettings().silentIntervalMicros();
}

}  // namespace korvane
