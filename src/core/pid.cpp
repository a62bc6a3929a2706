// PID: the positional PID loop on a 36-byte loop table of reals in the memory image.
#include <cmath>

#include "core/interpreter.h"
#include "core/pid.h"

namespace korvane {

namespace {

// Byte offsets of the loop table fields.
constexpr int kPV = 0, kSP = 4, kM = 8, kKc = 12, kTs = 16, kTi = 20, kTd = 24, kMX = 28, kPVprev = 32;

// The loop table at a bit key. Every access stands by itself: a field outside the image,
// or one that holds no finite number, is not read and its working copy keeps its value.
class LoopTable {
public:
    LoopTable(PlcMemory& mem, double base) : mem_(mem), base_(base) {}

    bool read(int offset, float& out) const {
        int key = 0;
        if (!fieldKey(offset, key)) return false;
        const double v = mem_.GetRealValue(key);
        if (!std::isfinite(v)) return false;
        out = static_cast<float>(v);
        return true;
    }
    void write(int offset, float v) {
        int key = 0;
        if (fieldKey(offset, key)) mem_.writeValue2(v, key, 40);
    }

private:
    bool fieldKey(int offset, int& key) const {
        const double k = roundEven(base_) + 8.0 * offset;
        if (!(k >= 0 && k + 31 <= area::LastCell)) return false;
        key = static_cast<int>(k);
        return true;
    }
    PlcMemory& mem_;
    double base_;
};

// Single-precision arithmetic that notes any intermediate that is not a finite number (a
// division by zero, an overflow): the step that computed it is then skipped.
class Step {
public:
    float operator()(float x) {
        if (!std::isfinite(x)) ok_ = false;
        return x;
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = true;
};

void compute(PidLoopState& s, LoopTable& tbl, std::uint32_t tick) {
    tbl.read(kTs, s.Ts);
    // The sample time in scan ticks of 10 ms; Ts = 0 computes on every execution.
    const std::uint32_t elapsed = tick - s.lastTick;
    if (std::floor(100.0f * s.Ts) > static_cast<float>(elapsed)) return;
    s.lastTick = tick;

    tbl.read(kPV, s.PV);
    tbl.read(kSP, s.SP);
    tbl.read(kM, s.M);
    tbl.read(kKc, s.Kc);
    tbl.read(kTi, s.Ti);
    tbl.read(kTd, s.Td);
    tbl.read(kMX, s.MX);
    if (!s.started) {
        s.PVprev = s.PV;
        s.started = true;
    } else {
        tbl.read(kPVprev, s.PVprev);
    }
    // Transfer to automatic: the set point follows the process and the bias takes over the
    // output, so that the output does not jump.
    if (!s.enabledBefore) {
        s.SP = s.PV;
        s.PVprev = s.PV;
        s.MX = s.M;
        tbl.write(kSP, s.SP);
    }
    {
        Step f;
        const float mp = f(s.Kc * f(s.SP - s.PV));
        if (f.ok()) s.MP = mp;
    }
    const float k = s.Kc == 0.0f ? 1.0f : s.Kc;
    {
        Step f;
        const float mi = f(f(f(f(k * s.Ts) / f(60.0f * s.Ti)) * f(s.SP - s.PV)) + s.MX);
        if (f.ok()) {
            s.MI = mi;
            s.MX = mi;
        }
    }
    {
        Step f;
        const float md = f(f(f(f(k * 60.0f) * s.Td) / s.Ts) * f(s.PVprev - s.PV));
        if (f.ok()) s.MD = md;
    }
    {
        Step f;
        const float m = f(f(s.MP + s.MI) + s.MD);
        if (f.ok()) s.M = m;
    }
    // Output limits, with the bias held where the output just reaches the limit.
    if (s.M > 1.0f) {
        s.M = 1.0f;
        Step f;
        const float mx = f(f(1.0f - s.MP) - s.MD);
        if (f.ok()) s.MX = mx;
    } else if (s.M < 0.0f) {
        s.M = 0.0f;
        Step f;
        const float mx = f(-s.MP - s.MD);
        if (f.ok()) s.MX = mx;
    }
    if (s.MX > 1.0f) s.MX = 1.0f;
    if (s.MX < 0.0f) s.MX = 0.0f;
    s.PVprev = s.PV;
    tbl.write(kM, s.M);
    tbl.write(kMX, s.MX);
    tbl.write(kPVprev, s.PVprev);
}

}  // namespace

void execPid(Interpreter& cpu, CodeLine& line) {
    const double loop = roundEven(line.number(1));
    if (!(loop >= 0 && loop < kPidLoops)) fault(FaultCode::IndexOutOfRange);
    PidLoopState& s = cpu.pidLoops[static_cast<std::size_t>(loop)];
    LoopTable tbl(cpu.mem(), line.number(0));
    const bool on = cpu.logicResult == kOn;
    if (on) compute(s, tbl, cpu.tick);
    s.enabledBefore = on;
    // The status view shows the loop's output M and the loop number.
    float m = s.M;
    tbl.read(kM, m);
    cpu.status().StatusValue[0] = m;
    cpu.status().StatusKind[0] = 7;
    cpu.status().StatusValue[1] = loop;
    cpu.status().StatusKind[1] = 1;
}

}  // namespace korvane
