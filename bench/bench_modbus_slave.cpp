// The cost of serving one Modbus request: the tick's poll reads the request from the
// channel, scans it, serves it from the memory image and writes the response.
#include <benchmark/benchmark.h>

#include "comm/modbus_crc.h"
#include "comm/modbus_slave.h"

using namespace korvane;

namespace {

// A channel that holds one request whenever it is read and drops what is written.
class RepeatChannel final : public SerialChannel {
public:
    explicit RepeatChannel(Bytes request) : request_(std::move(request)) {}
    bool open() override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    std::size_t bytesWaiting() const override { return request_.size(); }
    std::size_t readAll(Bytes& out) override {
        out.insert(out.end(), request_.begin(), request_.end());
        return request_.size();
    }
    void write(std::span<const std::uint8_t> bytes) override { written += bytes.size(); }
    std::size_t written = 0;

private:
    Bytes request_;
};

Bytes request(std::initializer_list<std::uint8_t> b) {
    Bytes r(b);
    appendModbusCrc(r);
    return r;
}

void servePoll(benchmark::State& state, Bytes req) {
    RepeatChannel ch(std::move(req));
    PlcMemory mem;
    ModbusSlave slave(ch, mem);
    slave.setAddress(1);
    std::int64_t now = 0;
    for (auto _ : state) slave.poll(++now);
    benchmark::DoNotOptimize(ch.written);
    if (slave.served() != static_cast<std::uint64_t>(state.iterations())) state.SkipWithError("request not served");
}

void BM_ReadTenHoldingRegisters(benchmark::State& s) { servePoll(s, request({1, 3, 0, 0, 0, 10})); }
void BM_ReadHundredTwentyFiveRegisters(benchmark::State& s) { servePoll(s, request({1, 3, 0, 0, 0, 125})); }
void BM_ReadSixtyFourCoils(benchmark::State& s) { servePoll(s, request({1, 1, 0, 0, 0, 64})); }
void BM_WriteSingleRegister(benchmark::State& s) { servePoll(s, request({1, 6, 0, 5, 0x12, 0x34})); }
void BM_WriteTenRegisters(benchmark::State& s) {
    servePoll(s, request({1, 16, 0, 0, 0, 10, 20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
}
BENCHMARK(BM_ReadTenHoldingRegisters);
BENCHMARK(BM_ReadHundredTwentyFiveRegisters);
BENCHMARK(BM_ReadSixtyFourCoils);
BENCHMARK(BM_WriteSingleRegister);
BENCHMARK(BM_WriteTenRegisters);

}  // namespace
