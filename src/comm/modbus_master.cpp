#include "comm/modbus_master.h"

#include <algorithm>

#include "comm/modbus_crc.h"
#include "comm/slave_image.h"

namespace korvane {

namespace {

const char* const kProtocolWarning = "警告：PORT0口未配置成MODBUS模式，而程序中有MODBUS指令，指令将不被执行";
constexpr int kBauds[] = {1200, 2400, 4800, 9600, 19200};
constexpr char kParityLetters[] = {'n', 'o', 'e'};
// The largest quantities whose byte count fits its byte.
constexpr int kMaxBits = 2040;
constexpr int kMaxRegisters = 127;

std::uint8_t u8(long v) { return static_cast<std::uint8_t>(v & 0xFF); }

long rounded(double v) {
    const double r = roundEven(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return -1;
    return static_cast<long>(r);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

ModbusRequest buildModbusRequest(const PlcMemory& mem, int slave, bool write, long addr, int count, int dataPtr) {
    ModbusRequest r;
    auto header = [&](int fc, long start) {
        r.function = fc;
        r.start = static_cast<int>(start);
        r.frame = {u8(slave), u8(fc), u8(start >> 8), u8(start)};
    };
    auto quantity = [&] {
        r.frame.push_back(u8(count >> 8));
        r.frame.push_back(u8(count));
    };
    if (!write) {
        int fc = 0;
        long start = 0;
        if (addr >= 1 && addr <= 9999) fc = 1, start = addr - 1;
        else if (addr >= 10001 && addr <= 19999) fc = 2, start = addr - 10001;
        else if (addr >= 30001 && addr <= 39999) fc = 4, start = addr - 30001;
        else if (addr >= 40001 && addr <= 49999) fc = 3, start = addr - 40001;
        const bool bits = fc == 1 || fc == 2;
        if (fc == 0 || count < 0 || count > (bits ? kMaxBits : kMaxRegisters)) return {};
        header(fc, start);
        quantity();
        r.expectedLength = bits ? 5 + static_cast<std::size_t>((count + 7) / 8) : 5 + 2 * static_cast<std::size_t>(count);
    } else if (addr >= 40001 && addr <= 49999 && count >= 1 && count <= kMaxRegisters) {
        if (count == 1) {
            header(6, addr - 40001);
            r.frame.push_back(mem.byteAt(dataPtr));
            r.frame.push_back(mem.byteAt(dataPtr + 8));
        } else {
            header(16, addr - 40001);
            quantity();
            r.frame.push_back(u8(2 * count));
            for (int k = 0; k < 2 * count; ++k) r.frame.push_back(mem.byteAt(dataPtr + 8 * k));
        }
        r.expectedLength = 8;
    } else if (addr >= 1 && addr <= 9999 && count >= 1 && count <= kMaxBits) {
        if (count == 1) {
            header(5, addr - 1);
            const bool on = (mem.byteAt(dataPtr) & 1) != 0;
            r.frame.push_back(on ? 0xFF : 0x00);
            r.frame.push_back(0x00);
        } else {
            header(15, addr - 1);
            quantity();
            const int n = (count + 7) / 8;
            r.frame.push_back(u8(n));
            for (int k = 0; k < n; ++k) r.frame.push_back(mem.byteAt(dataPtr + 8 * k));
        }
        r.expectedLength = 8;
    } else {
        return {};
    }
    appendModbusCrc(r.frame);
    return r;
}

ModbusMaster::ModbusMaster(SerialChannel& channel, Timer& timeout, MasterContext ctx)
    : channel_(channel), timeout_(timeout), ctx_(std::move(ctx)) {
    channel_.onReceive = [this] { received(); };
    rx_.reserve(300);
}

void ModbusMaster::setDone(int key) {
    if (PlcMemory::inImage(key)) ctx_.mem.setBit(key, true);
}

void ModbusMaster::setError(int key, int code) {
    if (key >= 0 && key + 8 <= area::CellCount) SlaveImage(ctx_.mem).setByte(key, static_cast<std::uint8_t>(code));
}

void ModbusMaster::MBUS_CTRL(const CodeLine& line) {
    PlcMemory& mem = ctx_.mem;
    const bool protocolOk = ctx_.protocolIs(MasterProtocol::ModbusRtu);
    if (!protocolOk) {
        enabled_ = false;
        ctx_.log.plain(kProtocolWarning);
    }
    const bool mode = mem.bit(line.key(1));
    // A port that is not set to Modbus keeps the master disabled.
    enabled_ = mode && protocolOk;
    if (!mode) return;
    const int doneKey = line.key(5);
    const int errorKey = line.key(6);

    const long baud = rounded(GetCodeParamVal(mem, line, 2));
    if (std::find(std::begin(kBauds), std::end(kBauds), baud) == std::end(kBauds)) {
        ctx_.log.plain("非法的modbus速率");
        mem.writeValue(2, errorKey, 8);
        enabled_ = false;
    } else {
        if (channel_.lineSettings().baud != baud) channel_.setSettings(std::to_string(baud) + ",,,");
        speedText_ = std::to_string(baud);
    }

    const long parity = rounded(GetCodeParamVal(mem, line, 3));
    if (parity >= 0 && parity <= 2) {
        const char want = kParityLetters[parity];
        if (lower(channel_.lineSettings().parity) != want) channel_.setSettings(std::string(",") + want + ",,");
    } else {
        ctx_.log.plain("非法的modbus校验类型");
        mem.writeValue(1, errorKey, 8);
        enabled_ = false;
    }

    const long timeout = rounded(GetCodeParamVal(mem, line, 4));
    if (timeout < 1 || timeout > 32767) {
        ctx_.log.plain("非法的modbus超时");
    } else {
        // Re-timing a running timer restarts it: a program that calls MBUS_CTRL on every scan
        // would then never see its request time out. Only a new value re-times it.
        if (timeout_.interval() != timeout) timeout_.setInterval(static_cast<int>(timeout));
        timeoutText_ = std::to_string(timeout);
    }

    mem.setBit(doneKey, true);
    if (enabled_) {
        settingsText_ = channel_.settings();
        mem.writeValue(0, errorKey, 8);
    }
}

void ModbusMaster::MBUS_MSG(const CodeLine& line) {
    PlcMemory& mem = ctx_.mem;
    if (!mem.bit(line.key(1)) || !channel_.isOpen() || !enabled_) return;
    if (busy_) {
        setError(errorKey_, 6);
        return;
    }
    const long slave = rounded(GetCodeParamVal(mem, line, 2));
    const bool write = GetCodeParamVal(mem, line, 3) != 0;
    const long addr = rounded(GetCodeParamVal(mem, line, 4));
    const long count = rounded(GetCodeParamVal(mem, line, 5));
    const int dataPtr = keyOf(8.0 * roundEven(GetCodeParamVal(mem, line, 6)));
    const int doneKey = line.key(7);
    const int errorKey = line.key(8);
    mem.writeValue(0, errorKey, 8);
    doneKey_ = doneKey;
    errorKey_ = errorKey;
    count_ = static_cast<int>(std::clamp<long>(count, -1, 65535));
    dataPtr_ = dataPtr;
    write_ = write;

    ModbusRequest r = buildModbusRequest(mem, static_cast<int>(slave), write, addr, count_, dataPtr);
    if (r.function == 0) return;
    request_ = std::move(r);
    // Bytes still waiting belong to no request sent yet (a late or repeated answer to an
    // earlier one): they would spoil the response to this one.
    rx_.clear();
    channel_.readAll(rx_);
    channel_.setReceiveThreshold(static_cast<int>(request_.expectedLength));
    channel_.write(request_.frame);
    busy_ = true;
    if (timeout_.interval() <= 0) timeout_.setInterval(kDefaultTimeoutMs);
    timeout_.setEnabled(false);
    timeout_.setEnabled(true);
}

void ModbusMaster::endRequest() {
    timeout_.setEnabled(false);
    busy_ = false;
    channel_.setReceiveThreshold(0);
}

void ModbusMaster::received() {
    if (!busy_) return;
    if (channel_.bytesWaiting() < request_.expectedLength) return;  // not yet the whole response
    rx_.clear();
    channel_.readAll(rx_);
    endRequest();
    setDone(doneKey_);
    if (!modbusCrcOk(rx_)) {
        setError(errorKey_, 1);
        return;
    }
    const Bytes& q = request_.frame;
    const bool matches = rx_.size() >= 2 && rx_[0] == q[0] && rx_[1] == q[1];
    if (write_) {
        const std::size_t echoed = request_.function == 5 || request_.function == 6 ? 8 : 6;
        const bool echo = matches && rx_.size() >= echoed && std::equal(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(echoed), rx_.begin());
        setError(errorKey_, echo ? 0 : 7);
        return;
    }
    if (!matches || rx_.size() < request_.expectedLength) {
        setError(errorKey_, 7);
        return;
    }
    setError(errorKey_, 0);
    SlaveImage image(ctx_.mem);
    auto put = [&](int k, std::uint8_t v) {
        const int key = dataPtr_ + 8 * k;
        if (key >= 0 && key + 8 <= area::CellCount) image.setByte(key, v);
    };
    if (request_.function == 1 || request_.function == 2) {
        const int whole = count_ / 8;
        for (int k = 0; k < whole; ++k) put(k, rx_[3 + static_cast<std::size_t>(k)]);
        const int rest = count_ % 8;
        const std::uint8_t last = rx_[3 + static_cast<std::size_t>(whole)];
        for (int j = 0; j < rest; ++j) {
            const int key = dataPtr_ + 8 * whole + j;
            if (PlcMemory::inImage(key)) image.setBit(key, (last >> j) & 1);
        }
    } else {
        for (int k = 0; k < 2 * count_; ++k) put(k, rx_[3 + static_cast<std::size_t>(k)]);
    }
}

void ModbusMaster::timedOut() {
    if (busy_) {
        busy_ = false;
        setDone(doneKey_);
        channel_.setReceiveThreshold(0);
        setError(errorKey_, 3);
    }
    timeout_.setEnabled(false);
    rx_.clear();
    channel_.readAll(rx_);
}

void ModbusMaster::reset() {
    enabled_ = false;
    busy_ = false;
    timeout_.setEnabled(false);
    channel_.setReceiveThreshold(0);
}

}  // namespace korvane
