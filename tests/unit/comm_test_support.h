#pragma once
// Helpers for the serial protocol tests: a slave on one end of a fake line, polled by a 1 ms
// timer on the virtual scheduler, and a master on the other end.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "comm/modbus_crc.h"
#include "platform/fake_serial.h"
#include "platform/scheduler.h"

namespace korvane::testing {

inline Bytes withCrc(std::initializer_list<int> bytes) {
    Bytes b;
    for (int v : bytes) b.push_back(static_cast<std::uint8_t>(v));
    appendModbusCrc(b);
    return b;
}

inline std::string hex(const Bytes& b) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t v : b) {
        if (!s.empty()) s += ' ';
        s += d[v >> 4];
        s += d[v & 15];
    }
    return s;
}

}  // namespace korvane::testing
