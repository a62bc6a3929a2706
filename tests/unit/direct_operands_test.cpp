// The boxes and compares take their common operand forms (a constant, or a byte, word or
// double word named directly) a shorter way than the others. Reached through pointers the
// same memory goes the general way: both ways must leave the same memory, result bits and
// line status, on the edge values of every width.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "family_harness.h"

namespace korvane::familytest {
namespace {

enum class Shape {
    InOut,    // IN, OUT: IN a constant or memory A, OUT memory B
    OutN,     // OUT, N: OUT memory B, N a constant
    Out,      // OUT: memory B
    Compare,  // IN1, IN2: IN1 memory A, IN2 a constant or memory B
};

struct Form {
    const char* mnemonic;
    int width;
    Shape shape;
    int inWidth = 0;  // IN's width when it differs from OUT's (ITD)
};

constexpr int kA = 10, kB = 20, kPtrA = 100, kPtrB = 104;

int memoryKind(int width, bool pointer) {
    if (width == 8) return pointer ? kind::IndirectByte : kind::Byte;
    if (width == 16) return pointer ? kind::IndirectWord : kind::Word;
    return pointer ? kind::IndirectDWord : kind::DWord;
}

Operand at(int byte, int width, bool pointer) {
    return pointer ? Operand{static_cast<double>(area::V + 8 * (byte == kA ? kPtrA : kPtrB)), memoryKind(width, true)}
                   : Operand{static_cast<double>(area::V + 8 * byte), memoryKind(width, false)};
}

struct Outcome {
    double a = 0, b = 0;
    std::string flags;
    std::vector<double> values;
    std::vector<int> kinds;
    int flowBits = 0;
    bool completed = false;
    std::vector<std::string> log;
    bool operator==(const Outcome&) const = default;
};

// One pass of the form with A and B preset (constant, when the form takes one, in place of
// memory A or B), the memory reached directly or through pointers.
Outcome runForm(const Form& f, double a, double b, const double* constant, bool pointer, bool power) {
    Cpu t;
    std::vector<Operand> ops;
    const int inWidth = f.inWidth ? f.inWidth : f.width;
    switch (f.shape) {
    case Shape::InOut:
        ops = {constant ? K(*constant) : at(kA, inWidth, pointer), at(kB, f.width, pointer)};
        break;
    case Shape::OutN:
        ops = {at(kB, f.width, pointer), K(constant ? *constant : 3)};
        break;
    case Shape::Out:
        ops = {at(kB, f.width, pointer)};
        break;
    case Shape::Compare:
        ops = {at(kA, f.width, pointer), constant ? K(*constant) : at(kB, f.width, pointer)};
        break;
    }
    t.load({{f.mnemonic, ops}}, power);
    EXPECT_TRUE(t.mem.tobit(area::V / 8 + kA, area::V + 8 * kPtrA, 32));
    EXPECT_TRUE(t.mem.tobit(area::V / 8 + kB, area::V + 8 * kPtrB, 32));
    EXPECT_TRUE(t.mem.tobit(a, area::V + 8 * kA, inWidth));
    EXPECT_TRUE(t.mem.tobit(b, area::V + 8 * kB, f.width));
    t.presetFlags("0100");
    const std::int32_t passes = t.cpu.scanCounter;
    t.run();
    Outcome o;
    o.completed = t.completed(passes);
    o.log = t.sink.lines;
    o.a = t.mem.GetDWordValue(area::V + 8 * kA);
    o.b = t.mem.GetDWordValue(area::V + 8 * kB);
    o.flags = t.flags();
    const CodeLine& line = t.line();
    for (int k = 0; k < 3; ++k) {
        o.values.push_back(t.prog.runStatusOf(line).StatusValue[static_cast<std::size_t>(k)]);
        o.kinds.push_back(t.prog.runStatusOf(line).StatusKind[static_cast<std::size_t>(k)]);
    }
    o.flowBits = t.prog.runStatusOf(line).flowBits;
    return o;
}

TEST(DirectOperands, SameResultsAsThroughPointers) {
    const std::vector<Form> forms = {
        {"+I", 16, Shape::InOut},  {"-I", 16, Shape::InOut},   {"*I", 16, Shape::InOut},
        {"/I", 16, Shape::InOut},  {"+D", 32, Shape::InOut},   {"-D", 32, Shape::InOut},
        {"*D", 32, Shape::InOut},  {"/D", 32, Shape::InOut},   {"ANDB", 8, Shape::InOut},
        {"ORW", 16, Shape::InOut}, {"XORD", 32, Shape::InOut}, {"ANDD", 32, Shape::InOut},
        {"MOVB", 8, Shape::InOut}, {"MOVW", 16, Shape::InOut}, {"MOVD", 32, Shape::InOut},
        {"SLW", 16, Shape::OutN},  {"SRD", 32, Shape::OutN},   {"SLB", 8, Shape::OutN},
        {"INCB", 8, Shape::Out},   {"DECW", 16, Shape::Out},   {"INCW", 16, Shape::Out},
        {"DECD", 32, Shape::Out},  {"INCD", 32, Shape::Out},   {"LDB<", 8, Shape::Compare},
        {"AW>=", 16, Shape::Compare}, {"OD<>", 32, Shape::Compare}, {"LDW=", 16, Shape::Compare},
        {"BTI", 16, Shape::InOut, 8}, {"ITB", 8, Shape::InOut, 16}, {"DTI", 16, Shape::InOut, 32},
    };
    // Memory values as bit patterns, and constants as a program writes them.
    const std::vector<double> values = {0, 1, 3, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000,
                                        0xFFFFFFFF};
    const std::vector<double> constants = {0, 1, -1, 2, -3, 7, 255, 300, 32767, -32768, 65535, 16,
                                           2147483647.0, -2147483648.0, 4294967295.0, 1.5, -0.0, 1e10};
    for (const Form& f : forms) {
        auto topOf = [](int width) { return width == 32 ? 4294967296.0 : width == 16 ? 65536.0 : 256.0; };
        const double top = topOf(f.width);
        const double inTop = topOf(f.inWidth ? f.inWidth : f.width);
        for (const bool power : {true, false}) {
            for (const double a : values) {
                if (a >= inTop) continue;
                for (const double b : values) {
                    if (b >= top) continue;
                    const std::string where = std::string(f.mnemonic) + " a=" + std::to_string(a) +
                                              " b=" + std::to_string(b) + (power ? "" : " off");
                    if (f.shape != Shape::OutN) {
                        EXPECT_EQ(runForm(f, a, b, nullptr, false, power), runForm(f, a, b, nullptr, true, power))
                            << where;
                    }
                    if (f.shape == Shape::Out) continue;
                    for (const double k : constants) {
                        if (f.shape == Shape::OutN && !(k >= -1 && k <= 40)) continue;
                        EXPECT_EQ(runForm(f, a, b, &k, false, power), runForm(f, a, b, &k, true, power))
                            << where << " k=" << k;
                    }
                }
            }
        }
    }
}

// A move whose OUT overlaps IN, below or above it: the same memory and status as through
// pointers (IN shows what the move left in its cells).
TEST(DirectOperands, OverlappingMovesSameAsThroughPointers) {
    auto run = [](const char* mnemonic, int width, int outByte, bool pointer, bool power) {
        Cpu t;
        const int knd = memoryKind(width, pointer);
        const Operand in{static_cast<double>(area::V + 8 * (pointer ? kPtrA : kA)), knd};
        const Operand out{static_cast<double>(area::V + 8 * (pointer ? kPtrB : outByte)), knd};
        t.load({{mnemonic, {in, out}}}, power);
        EXPECT_TRUE(t.mem.tobit(area::V / 8 + kA, area::V + 8 * kPtrA, 32));
        EXPECT_TRUE(t.mem.tobit(area::V / 8 + outByte, area::V + 8 * kPtrB, 32));
        for (int b = 4; b < 18; ++b) EXPECT_TRUE(t.mem.tobit(0x11 * (b % 15) + 3, area::V + 8 * b, 8));
        t.run();
        std::string s;
        for (int b = 4; b < 18; ++b) s += std::to_string(t.mem.GetByteValue(area::V + 8 * b)) + " ";
        for (int k = 0; k < 2; ++k)
            s += std::to_string(t.prog.runStatusOf(t.line()).StatusValue[static_cast<std::size_t>(k)]) + ":" +
                 std::to_string(t.prog.runStatusOf(t.line()).StatusKind[static_cast<std::size_t>(k)]) + " ";
        return s + std::to_string(t.prog.runStatusOf(t.line()).flowBits);
    };
    for (const auto& [mnemonic, width] : {std::pair{"MOVW", 16}, std::pair{"MOVD", 32}, std::pair{"MOVR", 32}}) {
        for (const int outByte : {kA - 3, kA - 2, kA - 1, kA, kA + 1, kA + 3}) {
            for (const bool power : {true, false}) {
                EXPECT_EQ(run(mnemonic, width, outByte, false, power), run(mnemonic, width, outByte, true, power))
                    << mnemonic << " OUT at byte " << outByte << (power ? "" : " off");
            }
        }
    }
}

// An outcome as text, the status values as their bits (a NaN never equals itself).
std::string text(const Outcome& o) {
    std::string s = std::to_string(o.a) + " " + std::to_string(o.b) + " " + o.flags + " flow " +
                    std::to_string(o.flowBits) + (o.completed ? " completed" : " ended");
    for (std::size_t k = 0; k < o.values.size(); ++k)
        s += " " + std::to_string(std::bit_cast<std::uint64_t>(o.values[k])) + ":" + std::to_string(o.kinds[k]);
    for (const std::string& l : o.log) s += "\n" + l;
    return s;
}

// The real boxes, the real compares and the conversions to and from reals, on the singles'
// edges: zeros of both signs, halves, the largest single, an infinity, a NaN, a denormal;
// constants beyond the single range fault. Faults end the pass at the same line with the same log both ways.
TEST(DirectOperands, RealsSameAsThroughPointers) {
    const std::vector<Form> forms = {
        {"+R", 32, Shape::InOut},   {"-R", 32, Shape::InOut},   {"*R", 32, Shape::InOut},
        {"/R", 32, Shape::InOut},   {"SQRT", 32, Shape::InOut}, {"LN", 32, Shape::InOut},
        {"EXP", 32, Shape::InOut},  {"DTR", 32, Shape::InOut},  {"ROUND", 32, Shape::InOut},
        {"TRUNC", 32, Shape::InOut}, {"ITD", 32, Shape::InOut, 16}, {"LDR=", 32, Shape::Compare},
        {"AR<", 32, Shape::Compare}, {"OR>=", 32, Shape::Compare}, {"MOVR", 32, Shape::InOut},
    };
    // Singles as bit patterns: 0, -0, 1, -2.5, 2.5, -0.5, the largest single, infinity, NaN,
    // the smallest denormal, 3e9, -1; and 16-bit patterns for ITD.
    const std::vector<double> values = {0,          0x80000000, 0x3F800000, 0xC0200000, 0x40200000,
                                        0xBF000000, 0x7F7FFFFF, 0x7F800000, 0x7FC00000, 1,
                                        0x4F32D05E, 0xBF800000, 0x7FFF,     0x8000,     0xFFFF};
    const std::vector<double> constants = {0.25, 2.0, -0.0, 0, 2.5, -3.5, 1e39, -1e39, 2147483648.0, 1e-45, 7, 0.1, 1.1};
    for (const Form& f : forms) {
        for (const bool power : {true, false}) {
            for (const double a : values) {
                for (const double b : values) {
                    const std::string where = std::string(f.mnemonic) + " a=" + std::to_string(a) +
                                              " b=" + std::to_string(b) + (power ? "" : " off");
                    if (f.inWidth == 0 || a < 65536.0) {
                        EXPECT_EQ(text(runForm(f, a, b, nullptr, false, power)), text(runForm(f, a, b, nullptr, true, power)))
                            << where;
                    }
                    if (f.inWidth != 0) continue;
                    for (const double k : constants) {
                        EXPECT_EQ(text(runForm(f, a, b, &k, false, power)), text(runForm(f, a, b, &k, true, power)))
                            << where << " k=" << k;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace korvane::familytest
