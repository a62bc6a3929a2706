// Subroutine calls with parameters, returns, library hand-over, nesting, and jumps.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "flow_test_rig.h"

using namespace flowtest;

namespace {

std::vector<int> bytesAt(const PlcMemory& mem, int key, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(mem.byteAt(key + 8 * i));
    return out;
}

void fillBytes(PlcMemory& mem, int key, int n, int value) {
    for (int i = 0; i < n; ++i) mem.writeValue(value, key + 8 * i, 8);
}

// --- input parameters ---------------------------------------------------------------------

struct InputCase {
    const char* name;
    int type;
    Operand actual;
    std::vector<int> local;  // LB0 upward inside the subroutine; L starts as 0x5A bytes
};

class CallInputs : public ::testing::TestWithParam<InputCase> {};

TEST_P(CallInputs, CopyTheActualIntoLocalMemoryByTypeAndKind) {
    const InputCase& c = GetParam();
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0), c.actual}}});
    append(src, sbr(0, {.in = {c.type}}, {{"NETR"}}));
    r.load(src);
    r.set(Ibit(0, 0), true);
    r.mem.writeValue(0x3C, Vkey(10), 8);
    r.mem.writeValue(0x7E, Vkey(11), 8);
    r.mem.writeValue(0x12, Vkey(12), 8);
    r.mem.writeValue(0x34, Vkey(13), 8);
    r.mem.timer(5).Current = 1234;
    r.mem.counter(3).Current = -3;
    fillBytes(r.mem, Lkey(0), 4, 0x5A);
    std::vector<int> seen;
    r.probe.hook = [&](Interpreter& cpu, int) { seen = bytesAt(cpu.mem(), Lkey(0), static_cast<int>(c.local.size())); };
    r.pass();
    EXPECT_EQ(r.probe.hits, 1);
    EXPECT_EQ(seen, c.local);
    EXPECT_TRUE(r.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Types, CallInputs,
    ::testing::Values(InputCase{"BoolFromInput", ptype::Bool, I(0, 0), {0x5B}},
                      InputCase{"ByteConstant", ptype::Byte, k(200), {200}},
                      InputCase{"ByteFromByte", ptype::Byte, VB(10), {0x3C}},
                      InputCase{"ByteFromWordIsNotPassed", ptype::Byte, VW(10), {0x5A}},
                      InputCase{"WordFromWord", ptype::Word, VW(10), {0x3C, 0x7E}},
                      InputCase{"IntNegativeConstant", ptype::Int, k(-2), {0xFF, 0xFE}},
                      InputCase{"WordFromTimer", ptype::Word, T(5), {0x04, 0xD2}},
                      InputCase{"IntFromCounter", ptype::Int, C(3), {0xFF, 0xFD}},
                      InputCase{"WordFromByteIsNotPassed", ptype::Word, VB(10), {0x5A, 0x5A}},
                      InputCase{"DintFromDword", ptype::DInt, VD(10), {0x3C, 0x7E, 0x12, 0x34}},
                      InputCase{"DwordNegativeConstant", ptype::DWord, k(-1), {0xFF, 0xFF, 0xFF, 0xFF}},
                      InputCase{"DwordFromWordIsNotPassed", ptype::DWord, VW(10), {0x5A, 0x5A, 0x5A, 0x5A}},
                      InputCase{"RealFromDword", ptype::Real, VD(10), {0x3C, 0x7E, 0x12, 0x34}},
                      InputCase{"RealConstant", ptype::Real, k(1.5), {0x3F, 0xC0, 0x00, 0x00}},
                      InputCase{"StringIsNotPassed", ptype::String, VD(10), {0x5A, 0x5A}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Call, BoolAndIntInputsLandAtTheirLocalAddresses) {
    // CALL SBR0, I0.0, VW10 with IN1:BOOL and IN2:INT: L0.0 and LW1.
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0), I(0, 0), VW(10)}}});
    append(src, sbr(0, {.in = {ptype::Bool, ptype::Int}, .temp = {ptype::Word}}, {{"NETR"}}));
    r.load(src);
    EXPECT_EQ(r.prog.subroutines[0].ParamKey[3], Lkey(3));  // the temporary follows LW1
    r.set(Ibit(0, 0), true);
    r.mem.writeValue(-300, Vkey(10), 16);
    bool l00 = false;
    double lw1 = 0;
    r.probe.hook = [&](Interpreter& cpu, int) {
        l00 = cpu.mem().bit(Lbit(0, 0));
        lw1 = cpu.mem().GetIntValue(Lkey(1));
    };
    r.pass();
    EXPECT_TRUE(l00);
    EXPECT_EQ(lw1, -300);
}

// --- outputs and the caller's L area ------------------------------------------------------

struct OutputCase {
    const char* name;
    int type;
    Operand actual;
    int checkKey;            // where the actual's bytes lie
    std::vector<int> bytes;  // expected there after the call (0x10 bytes before)
};

class CallOutputs : public ::testing::TestWithParam<OutputCase> {};

TEST_P(CallOutputs, AreCopiedBackOnlyToActualsOfTheirWidth) {
    const OutputCase& c = GetParam();
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0), c.actual}}});
    append(src, sbr(0, {.out = {c.type}}, {{"NETR"}}));
    r.load(src);
    fillBytes(r.mem, c.checkKey, static_cast<int>(c.bytes.size()), 0x10);
    r.mem.timer(5).Current = 77;
    r.probe.hook = [&](Interpreter& cpu, int) {
        cpu.mem().writeValue(static_cast<double>(0xC1C2C3C4u), Lkey(0), 32);
    };
    r.pass();
    EXPECT_EQ(bytesAt(r.mem, c.checkKey, static_cast<int>(c.bytes.size())), c.bytes);
    EXPECT_EQ(r.mem.timer(5).Current, 77);
}

INSTANTIATE_TEST_SUITE_P(
    Types, CallOutputs,
    ::testing::Values(OutputCase{"WordToWord", ptype::Word, VW(20), Vkey(20), {0xC1, 0xC2, 0x10}},
                      OutputCase{"WordToTimerIsNotWritten", ptype::Word, T(5), area::T, {0x10, 0x10}},
                      OutputCase{"BoolToBit", ptype::Bool, bitAt(Qbit(1, 0)), Qbit(1, 0), {0x11}},
                      OutputCase{"ByteToByte", ptype::Byte, VB(20), Vkey(20), {0xC1, 0x10}},
                      OutputCase{"ByteToConstantIsNotWritten", ptype::Byte, k(Ibit(1, 0)), Ibit(1, 0), {0x10}},
                      OutputCase{"DintToDword", ptype::DInt, VD(20), Vkey(20), {0xC1, 0xC2, 0xC3, 0xC4}},
                      OutputCase{"RealToDword", ptype::Real, VD(20), Vkey(20), {0xC1, 0xC2, 0xC3, 0xC4}},
                      OutputCase{"DwordToWordIsNotWritten", ptype::DWord, VW(20), Vkey(20), {0x10, 0x10}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Call, InOutParameterGoesInAndComesBack) {
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0), VW(4), VW(30)}}});
    append(src, sbr(0, {.in = {ptype::Int}, .inOut = {ptype::Int}}, {{"NETR"}}));
    r.load(src);
    r.mem.writeValue(7, Vkey(4), 16);
    r.mem.writeValue(100, Vkey(30), 16);
    double inside = 0;
    r.probe.hook = [&](Interpreter& cpu, int) {
        inside = cpu.mem().GetIntValue(Lkey(2));
        cpu.mem().writeValue(inside + 1, Lkey(2), 16);
        cpu.mem().writeValue(99, Lkey(0), 16);  // inputs are not copied back
    };
    r.pass();
    EXPECT_EQ(inside, 100);
    EXPECT_EQ(r.mem.GetIntValue(Vkey(30)), 101);
    EXPECT_EQ(r.mem.GetIntValue(Vkey(4)), 7);
}

TEST(Call, CallerLocalMemoryIsRestoredAfterTheCall) {
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0), k(5)}}, {"NETR"}});
    append(src, sbr(0, {.in = {ptype::Byte}}, {{"NETR"}}));
    r.load(src);
    for (int i = 0; i < 64; ++i) r.mem.writeValue((i * 37) & 0xFF, Lkey(i), 8);
    const std::vector<int> before = bytesAt(r.mem, Lkey(0), 64);
    std::vector<int> inside;
    r.probe.hook = [&](Interpreter& cpu, int hit) {
        if (hit == 1) {
            inside = bytesAt(cpu.mem(), Lkey(0), 2);
            fillBytes(cpu.mem(), Lkey(0), 64, 0xEE);
        }
    };
    r.pass();
    ASSERT_EQ(r.probe.hits, 2);
    // The callee starts with whatever L holds, its parameter in place.
    EXPECT_EQ(inside, (std::vector<int>{5, before[1]}));
    EXPECT_EQ(bytesAt(r.mem, Lkey(0), 64), before);
}

TEST(Call, NestedCallPassesTheCallersOwnLocalsBothWays) {
    // SBR1 keeps LB0 = 0x11, LB1 = 0x22 and calls SBR2 with IN1 := LB1, IN2 := LB0 and
    // OUT1 := LW2 (its own temporary). The inputs must not see each other's copies, and the
    // output must survive the restore of SBR1's locals.
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(1)}}});
    append(src, sbr(1, {.temp = {ptype::Byte, ptype::Byte, ptype::Word}},
                    {{"NETR"}, {"LD", {SM(0, 0)}}, {"CALL", {k(2), LB(1), LB(0), LW(2)}}, {"NETR"}}));
    append(src, sbr(2, {.in = {ptype::Byte, ptype::Byte}, .out = {ptype::Word}}, {{"NETR"}}));
    r.load(src);
    std::vector<int> callee, after;
    r.probe.hook = [&](Interpreter& cpu, int hit) {
        PlcMemory& m = cpu.mem();
        if (hit == 1) {
            m.writeValue(0x11, Lkey(0), 8);
            m.writeValue(0x22, Lkey(1), 8);
        } else if (hit == 2) {
            callee = bytesAt(m, Lkey(0), 2);
            m.writeValue(0x4321, Lkey(2), 16);
        } else {
            after = bytesAt(m, Lkey(0), 4);
        }
    };
    r.pass();
    ASSERT_EQ(r.probe.hits, 3);
    EXPECT_EQ(callee, (std::vector<int>{0x22, 0x11}));
    EXPECT_EQ(after, (std::vector<int>{0x11, 0x22, 0x43, 0x21}));
}

// --- returns ------------------------------------------------------------------------------

class Returns : public ::testing::TestWithParam<const char*> {};

TEST_P(Returns, RestoreTheLogicStackAndLeaveTheLogicResultOn) {
    Rig r;
    // Before the call: entries [0] = on, [1] = off, top 2.
    Source src = ob({{"LD", {I(0, 1)}}, {"LDN", {I(0, 1)}}, {"LPS"}, {"LPP"}, {"CALL", {k(0)}}, {"NETR"}});
    const std::string ret = GetParam();
    // The subroutine leaves three entries and its logic result off.
    Source body{{"NETR"}, {"Network", {k(2)}}, {"LD", {I(0, 1)}}, {"LD", {I(0, 1)}}, {"LD", {I(0, 1)}}};
    if (ret == "CRET") body.insert(body.end(), {{"NOT"}, {"CRET"}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 5)}}});
    append(src, sbr(0, {}, body));
    r.load(src);
    // Entries [0] = on (old logic result of the first LD), [1] = off, top 2.
    int innerTop = -1;
    std::int16_t innerResult = 0;
    std::array<std::int16_t, 3> entries{};
    int outerTop = -1;
    r.probe.hook = [&](Interpreter& cpu, int hit) {
        if (hit == 1) {
            innerTop = cpu.top;
            innerResult = cpu.logicResult;
        } else {
            outerTop = cpu.top;
            entries = {cpu.stack[0], cpu.stack[1], cpu.logicResult};
        }
    };
    r.pass();
    ASSERT_EQ(r.probe.hits, 2);
    EXPECT_EQ(innerTop, 0);
    EXPECT_EQ(innerResult, kOn);
    EXPECT_EQ(outerTop, 2);
    EXPECT_EQ(entries, (std::array<std::int16_t, 3>{kOn, kOff, kOn}));
    const CodeLine& call = r.prog.CodeTable[static_cast<std::size_t>(r.lineOf("CALL"))];
    EXPECT_TRUE(lineStatus(r.prog, call).flowAfter);
    EXPECT_EQ(call.HasStatus, 0);
    EXPECT_FALSE(r.on(Qbit(0, 5)));  // the lines after a taken CRET do not run
}

INSTANTIATE_TEST_SUITE_P(Kinds, Returns, ::testing::Values("END_SUBROUTINE_BLOCK", "CRET"));

TEST(Return, CretWithoutPowerFlowDoesNotReturn) {
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 1)}}});
    append(src, sbr(0, {}, {{"Network", {k(1)}}, {"LD", {I(0, 3)}}, {"CRET"}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 2)}}}));
    r.load(src);
    r.pass();
    EXPECT_TRUE(r.on(Qbit(0, 2)));
    EXPECT_TRUE(r.on(Qbit(0, 1)));
    r.set(Ibit(0, 3), true);
    r.mem.setCell(Qbit(0, 2), kOff);
    r.pass();
    EXPECT_FALSE(r.on(Qbit(0, 2)));
    EXPECT_TRUE(r.on(Qbit(0, 1)));
}

TEST(Return, OutsideAnyCallContinuesWithTheNextLine) {
    // A main program without END_ORGANIZATION_BLOCK runs into a subroutine block.
    Rig r;
    Source src{{"ORGANIZATION_BLOCK"}, {"Network", {k(1)}}, {"LD", {I(0, 1)}}, {"END_SUBROUTINE_BLOCK"},
               {"=", {Q(0, 0)}}};
    r.load(src);
    r.pass();
    EXPECT_TRUE(r.on(Qbit(0, 0)));
    EXPECT_EQ(r.cpu.scanCounter, 1);
}

// --- call targets -------------------------------------------------------------------------

class CallTargetsThatDoNothing : public ::testing::TestWithParam<int> {};

TEST_P(CallTargetsThatDoNothing, ContinueWithTheNextLine) {
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(GetParam())}}, {"=", {Q(0, 0)}}});
    append(src, sbr(0, {}, {{"NETR"}}));
    r.load(src);
    r.prog.subroutines[9].EntryLine = 2;  // left over from another program: not a block line
    r.pass();
    EXPECT_EQ(r.probe.hits, 0);
    EXPECT_TRUE(r.on(Qbit(0, 0)));
    EXPECT_TRUE(r.sink.lines.empty());
    EXPECT_EQ(r.cpu.scanCounter, 1);
}

// 70 is neither a user subroutine nor a library code; 5 is not in the program.
INSTANTIATE_TEST_SUITE_P(Numbers, CallTargetsThatDoNothing, ::testing::Values(70, 5, 9, 63, 64, 100, 107, 500));

TEST(Call, NumberOutsideTheTablesIsARunTimeError) {
    for (double n : {501.0, -1.0}) {
        Rig r;
        r.load(ob({{"LD", {SM(0, 0)}}, {"CALL", {k(n)}}, {"=", {Q(0, 0)}}}));
        r.pass();
        ASSERT_EQ(r.sink.lines.size(), 1u) << n;
        EXPECT_EQ(r.sink.lines[0], "12:00:00 运行代码错误:iPC=4,astrCode=CALL");
        EXPECT_FALSE(r.on(Qbit(0, 0)));
        EXPECT_EQ(r.cpu.scanCounter, 0);
    }
}

struct LibraryCase {
    int code;
    bool powerFlow;
    bool handedOver;
};

class LibraryCalls : public ::testing::TestWithParam<LibraryCase> {};

TEST_P(LibraryCalls, AreHandedToTheLibraryRoutines) {
    const LibraryCase& c = GetParam();
    Rig r;
    r.load(ob({{"LD", {c.powerFlow ? SM(0, 0) : I(0, 1)}}, {"CALL", {k(c.code), VB(0)}}, {"NETR"}}));
    r.pass();
    ASSERT_EQ(r.library.calls.size(), c.handedOver ? 1u : 0u);
    if (c.handedOver) {
        EXPECT_EQ(r.library.calls[0].code, c.code);
        EXPECT_EQ(r.library.calls[0].logicResult, c.powerFlow ? kOn : kOff);
    }
    EXPECT_EQ(r.probe.hits, 1);
    // Without library routines (no communication layer) the call does nothing.
    r.cpu.libraries = nullptr;
    r.pass();
    EXPECT_EQ(r.probe.hits, 2);
    EXPECT_TRUE(r.sink.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Codes, LibraryCalls,
                         ::testing::Values(LibraryCase{101, true, true}, LibraryCase{102, true, true},
                                           LibraryCase{103, true, true}, LibraryCase{104, true, true},
                                           LibraryCase{105, true, true}, LibraryCase{106, true, true},
                                           LibraryCase{101, false, false}, LibraryCase{103, false, false},
                                           LibraryCase{104, false, true}, LibraryCase{106, false, false}));

TEST(Call, NestingDeeperThanSixteenReturnsThroughTheLastSavedLevel) {
    // SBR0 calls SBR1 ... SBR16 calls SBR17: 18 nested calls, of which the 17th and 18th are
    // not saved. After its call each subroutine sets M(n / 8).(n % 8). The return of SBR17
    // uses the last saved level, that of the 16th call (CALL SBR15 in SBR14), so SBR15 and
    // SBR16 never finish.
    constexpr int kSubs = 18;
    Rig r;
    Source src = ob({{"LD", {SM(0, 0)}}, {"CALL", {k(0)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 0)}}});
    for (int n = 0; n < kSubs; ++n) {
        Source body{{"Network", {k(1)}}};
        if (n + 1 < kSubs) body.push_back({"CALL", {k(n + 1)}});
        body.push_back({"LD", {SM(0, 0)}});
        body.push_back({"=", {Mb(n / 8, n % 8)}});
        append(src, sbr(n, {}, body));
    }
    r.load(src);
    r.pass();
    EXPECT_TRUE(r.sink.lines.empty());
    EXPECT_TRUE(r.on(Qbit(0, 0)));
    for (int n = 0; n < kSubs; ++n) EXPECT_EQ(r.on(Mbit(n / 8, n % 8)), n != 15 && n != 16) << "SBR" << n;
    EXPECT_EQ(r.cpu.returnDepth, 0);
    EXPECT_EQ(r.cpu.saveDepth, 0);
}

// --- jumps --------------------------------------------------------------------------------

struct JumpCase {
    const char* name;
    Operand condition;
    int label;
    bool skipped;  // the line between JMP and LBL 3 did not run
};

class Jumps : public ::testing::TestWithParam<JumpCase> {};

TEST_P(Jumps, GoToTheLabelLineOnlyWhenTakenAndDefined) {
    const JumpCase& c = GetParam();
    Rig r;
    r.load(ob({{"LD", {c.condition}}, {"JMP", {k(c.label)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 0)}},
               {"LBL", {k(3)}}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 1)}}}));
    r.pass();
    EXPECT_EQ(r.on(Qbit(0, 0)), !c.skipped);
    EXPECT_TRUE(r.on(Qbit(0, 1)));
    EXPECT_TRUE(r.sink.lines.empty());
    const int lbl = r.lineOf("LBL");
    const CodeLine& target = r.prog.CodeTable[static_cast<std::size_t>(lbl)];
    if (c.skipped) {
        EXPECT_EQ(r.prog.runStatusOf(target).StatusValue[0], lbl);
        EXPECT_EQ(r.prog.runStatusOf(target).StatusKind[0], 5);
        EXPECT_TRUE(lineStatus(r.prog, target).flowAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Jumps,
                         ::testing::Values(JumpCase{"Taken", SM(0, 0), 3, true},
                                           JumpCase{"NotTaken", I(0, 1), 3, false},
                                           JumpCase{"UndefinedLabel", SM(0, 0), 4, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Jump, LabelOutsideTheTableIsARunTimeErrorOnlyWhenTaken) {
    Rig r;
    r.load(ob({{"LD", {SM(0, 0)}}, {"JMP", {k(256)}}, {"=", {Q(0, 0)}}}));
    r.pass();
    ASSERT_EQ(r.sink.lines.size(), 1u);
    EXPECT_EQ(r.sink.lines[0], "12:00:00 运行代码错误:iPC=4,astrCode=JMP");
    EXPECT_FALSE(r.on(Qbit(0, 0)));
    r.sink.lines.clear();
    r.prog.CodeTable[3].setOperand(0, I(0, 1).number);
    r.pass();
    EXPECT_TRUE(r.sink.lines.empty());
}

}  // namespace
