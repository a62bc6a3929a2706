// The limit an interpreter of this design can reach: a bare switch-dispatch loop over a
// compact line array (opcode and an integer key or value per operand, decoded beforehand)
// that records the same per-line status as the engine: the logic result on entry and on
// exit, the logic result with the top three stack bits, and the first operand's value.
// The bit-logic variant runs the program of bench_bit_logic on the same bit-cell image; the
// mixed variant runs word moves, compares, word logic and arithmetic on a byte image.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

enum class LOp : std::uint8_t { Network, LD, A, O, AN, ON, Assign, MovW, CmpGeW, AndW, AddI, SubI, IncW, End };

struct LLine {
    LOp op;
    std::int32_t a;
    std::int32_t b;
};

struct LStatus {
    std::uint8_t flags;  // flow before, flow after, logic result and three stack bits
    std::int32_t value;
};

struct Machine {
    std::vector<std::int16_t> cells = std::vector<std::int16_t>(20000, 0);
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(4096, 0);
    std::array<std::int16_t, 32> stack{};
    int top = 0;
    std::int16_t lr = 0;
};

std::uint16_t word(const Machine& m, int at) {
    return static_cast<std::uint16_t>((m.bytes[static_cast<std::size_t>(at)] << 8) | m.bytes[static_cast<std::size_t>(at) + 1]);
}
void setWord(Machine& m, int at, std::uint16_t v) {
    m.bytes[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v >> 8);
    m.bytes[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>(v);
}

void runPass(Machine& m, const std::vector<LLine>& code, std::vector<LStatus>& status) {
    std::int16_t* c = m.cells.data();
    for (std::size_t pc = 0; pc < code.size(); ++pc) {
        const LLine& l = code[pc];
        const std::int16_t before = m.lr;
        std::int32_t value = 0;
        switch (l.op) {
        case LOp::Network:
            m.stack.fill(0);
            m.top = 0;
            m.lr = -1;
            break;
        case LOp::LD:
            value = c[l.a];
            if (m.top < 32) m.stack[static_cast<std::size_t>(m.top++)] = m.lr;
            m.lr = c[l.a];
            break;
        case LOp::A:
            value = c[l.a];
            m.lr = static_cast<std::int16_t>(m.lr & c[l.a]);
            break;
        case LOp::O:
            value = c[l.a];
            m.lr = static_cast<std::int16_t>(m.lr | c[l.a]);
            break;
        case LOp::AN:
            value = c[l.a];
            m.lr = static_cast<std::int16_t>(m.lr & ~c[l.a]);
            break;
        case LOp::ON:
            value = c[l.a];
            m.lr = static_cast<std::int16_t>(m.lr | ~c[l.a]);
            break;
        case LOp::Assign:
            c[l.a] = m.lr;
            value = m.lr;
            break;
        case LOp::MovW:
            if (m.lr) setWord(m, l.b, word(m, l.a));
            value = word(m, l.a);
            break;
        case LOp::CmpGeW:
            value = static_cast<std::int16_t>(word(m, l.a));
            m.lr = static_cast<std::int16_t>(m.lr & (value >= l.b ? -1 : 0));
            break;
        case LOp::AndW:
            if (m.lr) setWord(m, l.b, static_cast<std::uint16_t>(word(m, l.b) & l.a));
            value = word(m, l.b);
            break;
        case LOp::AddI:
            if (m.lr) setWord(m, l.b, static_cast<std::uint16_t>(static_cast<std::int16_t>(word(m, l.b)) + l.a));
            value = word(m, l.b);
            break;
        case LOp::SubI:
            if (m.lr) setWord(m, l.b, static_cast<std::uint16_t>(static_cast<std::int16_t>(word(m, l.b)) - l.a));
            value = word(m, l.b);
            break;
        case LOp::IncW:
            if (m.lr) setWord(m, l.a, static_cast<std::uint16_t>(word(m, l.a) + 1));
            value = word(m, l.a);
            break;
        case LOp::End:
            break;
        }
        status[pc] = {static_cast<std::uint8_t>((before & 1) | (m.lr & 1) << 1 | (m.stack[0] & 1) << 2 |
                                                (m.stack[1] & 1) << 3 | (m.stack[2] & 1) << 4),
                      value};
    }
}

// The bit-logic program of bench_bit_logic, on the same cell keys.
std::vector<LLine> bitLogic(int lines) {
    std::vector<LLine> code;
    code.push_back({LOp::Network, 0, 0});
    const LOp pattern[] = {LOp::Network, LOp::LD, LOp::A, LOp::O, LOp::AN, LOp::Assign, LOp::LD, LOp::ON, LOp::A, LOp::Assign};
    for (int i = 1; i < lines - 1; ++i) {
        const LOp op = pattern[(i - 1) % 10];
        const int key = op == LOp::Assign ? 128 + (i % 128) : (i % 3 == 0) ? (i % 128) : 256 + (i % 256);
        code.push_back({op, key, 0});
    }
    code.push_back({LOp::End, 0, 0});
    return code;
}

// Word boxes and compares in networks of ten lines.
std::vector<LLine> mixed(int lines) {
    std::vector<LLine> code;
    for (int n = 0; static_cast<int>(code.size()) < lines; ++n) {
        const int b = 24 * (n % 40);
        const LLine block[] = {{LOp::Network, 0, 0}, {LOp::LD, 8832, 0},        {LOp::MovW, b, b + 2},
                               {LOp::CmpGeW, b + 2, -32768}, {LOp::AndW, 0x0FF0, b}, {LOp::IncW, b + 16, 0},
                               {LOp::AddI, 7, b + 18},      {LOp::SubI, 7, b + 18}, {LOp::MovW, b + 4, b + 8},
                               {LOp::AddI, 100, b + 20}};
        for (const LLine& l : block)
            if (static_cast<int>(code.size()) < lines) code.push_back(l);
    }
    return code;
}

void runLimit(benchmark::State& state, const std::vector<LLine>& code) {
    Machine m;
    m.cells[8832] = -1;  // SM0.0
    for (int k = 0; k < 128; k += 3) m.cells[static_cast<std::size_t>(k)] = -1;
    std::vector<LStatus> status(code.size());
    for (auto _ : state) {
        runPass(m, code, status);
        benchmark::DoNotOptimize(status.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(code.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void BM_DispatchLimitBitLogic(benchmark::State& state) { runLimit(state, bitLogic(1000)); }
void BM_DispatchLimitMixed(benchmark::State& state) { runLimit(state, mixed(1000)); }
BENCHMARK(BM_DispatchLimitBitLogic);
BENCHMARK(BM_DispatchLimitMixed);

}  // namespace
