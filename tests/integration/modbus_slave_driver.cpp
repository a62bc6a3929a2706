// A Modbus RTU slave on a real (or pseudo) terminal for integration tests:
//   modbus_slave_driver DEVICE ADDRESS SECONDS
// VW0..VW6 hold 1111, 2222, 3333, 4444 and Q0.0, Q0.2 are on. Serves for SECONDS, then
// prints "VW20=<value> Q1.0=<0|1>" and exits 0 (2 when the device cannot be opened).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "comm/modbus_slave.h"
#include "platform/posix_serial.h"

int main(int argc, char** argv) {
    using namespace korvane;
    if (argc < 4) {
        std::fprintf(stderr, "usage: modbus_slave_driver DEVICE ADDRESS SECONDS\n");
        return 2;
    }
    PosixSerialPort port;
    port.setDevicePath(argv[1]);
    port.setSettings("9600,E,8,1");
    if (!port.open()) {
        std::fprintf(stderr, "modbus_slave_driver: %s\n", port.errorText().c_str());
        return 2;
    }
    PlcMemory mem;
    for (int k = 0; k < 4; ++k) mem.tobit(1111 * (k + 1), area::V + 16 * k, 16);
    mem.setBit(area::Q, true);
    mem.setBit(area::Q + 2, true);
    ModbusSlave slave(port, mem);
    slave.setAddress(static_cast<std::uint8_t>(std::atoi(argv[2])));
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::milliseconds(static_cast<long>(std::atof(argv[3]) * 1000));
    while (std::chrono::steady_clock::now() < until) {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        port.pollOnce();
        slave.poll(now.count());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("VW20=%d Q1.0=%d\n", static_cast<int>(mem.GetWordValue(area::V + 8 * 20)), mem.bit(area::Q + 8) ? 1 : 0);
    return 0;
}
