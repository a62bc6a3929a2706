#pragma once
// The state the PID instruction keeps per loop between passes: the power flow of its last
// execution, working copies of the loop table, the last terms and the tick of the last
// computation. Eight loops (0 to 7); the states start zero and are never reset.
#include <cstdint>

namespace korvane {

inline constexpr int kPidLoops = 8;

struct PidLoopState {
    bool enabledBefore = false;  // power flow of the previous execution
    float PV = 0, PVprev = 0, SP = 0, M = 0, Kc = 0, Ts = 0, Ti = 0, Td = 0, MX = 0;
    float MP = 0, MI = 0, MD = 0;  // terms of the last computation
    bool started = false;          // off until the first computation
    std::uint32_t lastTick = 0;    // scan tick of the last computation
};

}  // namespace korvane
