#pragma once
// The Modbus RTU master library of the master port, served by built-in handlers: MBUS_CTRL
// (library code 101) sets the line and enables the master, MBUS_MSG (102) sends one request
// to a slave. Addresses follow the five-digit convention: 1 to 9999 coils, 10001 to 19999
// discrete inputs, 30001 to 39999 input registers, 40001 to 49999 holding registers.
// Function codes 1 to 6, 15 and 16 are produced. The response is taken when the receive
// threshold (the expected length) is reached; TimerMODBUS ends a request that gets none.
//
// MBUS_MSG Error codes: 0 no error, 1 CRC error in the response, 3 no response within the
// timeout, 6 a request while another is outstanding, 7 a response that does not match.
#include <cstdint>
#include <string>

#include "comm/master_context.h"
#include "core/code_table.h"

namespace korvane {

// A request as MBUS_MSG frames it: the frame (CRC included) and the response length it
// expects; function 0 when the address, count and direction do not make a request.
struct ModbusRequest {
    int function = 0;
    int start = 0;
    Bytes frame;
    std::size_t expectedLength = 0;
};
// dataPtr is the key of the first data byte; data bytes are read from mem for writes.
ModbusRequest buildModbusRequest(const PlcMemory& mem, int slave, bool write, long addr, int count, int dataPtr);

class ModbusMaster {
public:
    static constexpr int kDefaultTimeoutMs = 1000;  // until MBUS_CTRL sets a valid one

    ModbusMaster(SerialChannel& channel, Timer& timeout, MasterContext ctx);

    // The library handlers, called for a CALL taken with the logic result on.
    void MBUS_CTRL(const CodeLine& line);
    void MBUS_MSG(const CodeLine& line);
    // The channel's receive event (the threshold was reached).
    void received();
    // The TimerMODBUS tick.
    void timedOut();
    // STOP entry: the master is disabled and an outstanding request forgotten.
    void reset();

    bool enabled() const { return enabled_; }
    bool busy() const { return busy_; }
    // The port dialog's displays "MOD速率", "MOD超时", "MOD通信参数".
    const std::string& speedText() const { return speedText_; }
    const std::string& timeoutText() const { return timeoutText_; }
    const std::string& settingsText() const { return settingsText_; }

private:
    void endRequest();
    void setDone(int key);
    void setError(int key, int code);

    SerialChannel& channel_;
    Timer& timeout_;
    MasterContext ctx_;
    bool enabled_ = false;
    bool busy_ = false;
    ModbusRequest request_;
    bool write_ = false;
    int count_ = 0;
    int dataPtr_ = 0;  // key of the first data byte
    int doneKey_ = -1;
    int errorKey_ = -1;
    Bytes rx_;
    std::string speedText_;
    std::string timeoutText_;
    std::string settingsText_;
};

}  // namespace korvane
