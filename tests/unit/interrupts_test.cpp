// Interrupt control instructions and the interrupt dispatcher: timed interrupts, input
// edges, timer events, and the end of an interrupt routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "flow_test_rig.h"

using namespace flowtest;

namespace {

// Main program: in the first pass attach INT0 to the event and enable interrupts.
// INT0 and INT1 each run the probe once.
Source attachingProgram(int event, bool enable = true) {
    Source main{{"LD", {SM(0, 1)}}, {"ATCH", {k(0), k(event)}}};
    if (enable) main.push_back({"ENI"});
    Source src = ob(main);
    append(src, intr(0, {{"NETR"}}));
    append(src, intr(1, {{"NETR"}}));
    return src;
}

// Which interrupt routine each probe hit ran in, and at which tick.
struct Runs {
    std::vector<int> routine;
    std::vector<std::uint32_t> ticks;
};

void record(Rig& r, Runs& runs) {
    const int int1 = r.lineOf("INTERRUPT_BLOCK", 1);
    r.probe.hook = [&runs, int1](Interpreter& cpu, int) {
        runs.routine.push_back(cpu.iPC > int1 ? 1 : 0);
        runs.ticks.push_back(cpu.tick);
    };
}

// The scan as the scan cycle drives it: a pass on every fifth tick (50 ms).
void scan(Rig& r, int ticks) {
    for (int i = 0; i < ticks; ++i) {
        const bool periodTick = (r.cpu.tick + 1) % 5 == 0;
        r.tick(periodTick);
    }
}

struct TimedCase {
    int event;
    int periodByte;  // SMB34 or SMB35
    int ms;
    std::uint32_t firstTick;
    std::uint32_t spacing;
};

class TimedInterrupts : public ::testing::TestWithParam<TimedCase> {};

TEST_P(TimedInterrupts, RunWheneverThePeriodHasElapsed) {
    const TimedCase& c = GetParam();
    Rig r;
    r.load(attachingProgram(c.event));
    r.mem.writeValue(c.ms, c.periodByte, 8);
    Runs runs;
    record(r, runs);
    r.cpu.tick = 4;
    scan(r, 101);  // the first pass, at tick 5, attaches the routine
    ASSERT_FALSE(runs.ticks.empty());
    EXPECT_EQ(runs.ticks.front(), c.firstTick);
    for (std::size_t i = 1; i < runs.ticks.size(); ++i) EXPECT_EQ(runs.ticks[i] - runs.ticks[i - 1], c.spacing) << i;
    EXPECT_EQ(runs.ticks.size(), (105 - c.firstTick) / c.spacing + 1);
    EXPECT_EQ(r.prog.events[static_cast<std::size_t>(c.event)].LastTick, static_cast<std::int32_t>(runs.ticks.back()));
    // Interrupt routines are not passes.
    EXPECT_EQ(r.cpu.scanCounter, 21);
}

INSTANTIATE_TEST_SUITE_P(Periods, TimedInterrupts,
                         ::testing::Values(TimedCase{10, area::SMB34, 100, 15, 10}, TimedCase{10, area::SMB34, 0, 6, 1},
                                           TimedCase{10, area::SMB34, 25, 8, 3}, TimedCase{11, area::SMB35, 100, 15, 10},
                                           TimedCase{11, area::SMB35, 255, 31, 26}));

TEST(TimedInterrupt, AnAtchRunOnEveryPassKeepsTheTiming) {
    Source main{{"LD", {SM(0, 0)}}, {"ATCH", {k(0), k(10)}}, {"ENI"}};
    Source src = ob(main);
    append(src, intr(0, {{"NETR"}}));
    append(src, intr(1, {{"NETR"}}));
    Rig r;
    r.load(src);
    r.mem.writeValue(100, area::SMB34, 8);
    Runs runs;
    record(r, runs);
    scan(r, 100);
    // Attached at the first pass (tick 5), then every 100 ms although ATCH runs each pass.
    EXPECT_EQ(runs.ticks, (std::vector<std::uint32_t>{15, 25, 35, 45, 55, 65, 75, 85, 95}));
}

TEST(InterruptControl, AtchDtchEniDisiWithTheirStatus) {
    Rig r;
    r.load(ob({{"LD", {I(0, 0)}}, {"ATCH", {k(3), k(10)}}, {"ENI"}, {"LD", {I(0, 1)}}, {"DTCH", {k(10)}}, {"DISI"}}));
    r.cpu.tick = 77;
    r.pass();  // nothing has power flow
    const CodeLine& atch = r.prog.CodeTable[4];
    EXPECT_EQ(r.prog.events[10].Routine, -1);
    EXPECT_EQ(r.prog.runStatusOf(atch).StatusValue[0], 3);
    EXPECT_EQ(r.prog.runStatusOf(atch).StatusValue[1], 10);
    EXPECT_EQ(r.prog.runStatusOf(atch).StatusKind[0], 5);
    EXPECT_EQ(r.prog.runStatusOf(atch).StatusKind[1], 5);
    EXPECT_EQ(r.cpu.interruptsEnabled, 0);

    r.set(Ibit(0, 0), true);
    r.pass();
    EXPECT_EQ(r.prog.events[10].Routine, 3);
    EXPECT_EQ(r.prog.events[10].LastTick, 77);
    EXPECT_EQ(r.cpu.interruptsEnabled, kOn);
    EXPECT_TRUE(r.on(area::SM4_4));

    r.set(Ibit(0, 1), true);
    r.pass();
    EXPECT_EQ(r.prog.events[10].Routine, -1);
    EXPECT_EQ(r.prog.runStatusOf(r.prog.CodeTable[7]).StatusValue[0], 10);
    EXPECT_EQ(r.cpu.interruptsEnabled, 0);
    EXPECT_FALSE(r.on(area::SM4_4));
    EXPECT_TRUE(r.sink.lines.empty());
}

TEST(InterruptControl, EventNumberOutsideTheTableIsARunTimeError) {
    for (const char* m : {"ATCH", "DTCH"}) {
        Rig r;
        Line line{m, {k(0), k(34)}};
        if (std::string(m) == "DTCH") line.ops = {k(34)};
        r.load(ob({{"LD", {SM(0, 0)}}, line, {"=", {Q(0, 0)}}}));
        r.pass();
        ASSERT_EQ(r.sink.lines.size(), 1u) << m;
        EXPECT_EQ(r.sink.lines[0], std::string("12:00:00 运行代码错误:iPC=4,astrCode=") + m);
        EXPECT_FALSE(r.on(Qbit(0, 0)));
    }
}

// --- input events ---------------------------------------------------------------------------

class InputEvents : public ::testing::TestWithParam<int> {};

TEST_P(InputEvents, RunOncePerEdge) {
    const int input = GetParam();
    Rig r;
    r.load(attachingProgram(10));
    r.prog.events[static_cast<std::size_t>(2 * input)].Routine = 0;      // rising edge: INT0
    r.prog.events[static_cast<std::size_t>(2 * input + 1)].Routine = 1;  // falling edge: INT1
    r.cpu.interruptsEnabled = kOn;
    Runs runs;
    record(r, runs);
    const std::vector<bool> levels{false, true, true, true, false, false, true, true};
    for (bool level : levels) {
        r.set(Ibit(0, input), level);
        r.tick();
    }
    EXPECT_EQ(runs.routine, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(runs.ticks, (std::vector<std::uint32_t>{2, 5, 7}));
}

INSTANTIATE_TEST_SUITE_P(I0, InputEvents, ::testing::Values(0, 1, 2, 3));

TEST(InputEvent, EdgeSeenBeforeTheRoutineWasAttachedDoesNotFireLater) {
    Rig r;
    r.load(attachingProgram(0));
    r.cpu.interruptsEnabled = kOn;
    Runs runs;
    record(r, runs);
    r.tick();
    r.set(Ibit(0, 0), true);
    r.tick();
    r.tick();
    r.prog.events[0].Routine = 0;
    r.tick();
    EXPECT_TRUE(runs.ticks.empty());
    r.set(Ibit(0, 0), false);
    r.tick();
    r.set(Ibit(0, 0), true);
    r.tick();
    EXPECT_EQ(runs.ticks, (std::vector<std::uint32_t>{6}));
}

TEST(InputEvent, InputAlreadyOnAtRunEntryRaisesNoEvent) {
    Rig r;
    r.load(attachingProgram(0));
    r.prog.events[0].Routine = 0;
    r.cpu.interruptsEnabled = kOn;
    Runs runs;
    record(r, runs);
    r.tick();  // remembered: off
    r.set(Ibit(0, 0), true);
    resetInterrupts(r.edges);
    r.tick();
    EXPECT_TRUE(runs.ticks.empty());
    r.set(Ibit(0, 0), false);
    r.tick();
    r.set(Ibit(0, 0), true);
    r.tick();
    EXPECT_EQ(runs.ticks.size(), 1u);
}

// --- timer events ---------------------------------------------------------------------------

struct TimerCase {
    int event;
    int timer;
};

class TimerEvents : public ::testing::TestWithParam<TimerCase> {};

TEST_P(TimerEvents, RunOnceEachTimeTheTimerReachesItsPreset) {
    const TimerCase& c = GetParam();
    Rig r;
    r.load(attachingProgram(c.event));
    r.prog.events[static_cast<std::size_t>(c.event)].Routine = 0;
    r.cpu.interruptsEnabled = kOn;
    Runs runs;
    record(r, runs);
    TimerCounterRecord& t = r.mem.timer(c.timer);
    r.tick();
    r.tick();  // an idle timer (current 0, preset 0) raises nothing
    EXPECT_TRUE(runs.ticks.empty());
    t.Preset = 3;
    // The timer counts 0, 1, 2, 3, stays at 3 for a few ticks, is reset and counts again.
    for (int current : {0, 1, 2, 3, 3, 3, 3, 4, 0, 1, 2, 3, 3}) {
        t.Current = current;
        r.tick();
    }
    EXPECT_EQ(runs.ticks, (std::vector<std::uint32_t>{6, 14}));
}

INSTANTIATE_TEST_SUITE_P(T32AndT96, TimerEvents, ::testing::Values(TimerCase{21, 32}, TimerCase{22, 96}));

// --- dispatcher rules -----------------------------------------------------------------------

TEST(Dispatcher, RoutineNumberAbove100EndsTheDispatcherForThatTick) {
    Rig r;
    r.load(attachingProgram(10));
    r.cpu.interruptsEnabled = kOn;
    r.prog.events[10].Routine = 101;  // due on every tick: SMB34 is 0
    r.prog.events[11].Routine = 0;    // and so is event 11, of lower priority
    Runs runs;
    record(r, runs);
    r.tick();
    r.tick();
    EXPECT_TRUE(runs.ticks.empty());
    EXPECT_EQ(r.cpu.interruptQueue.size(), 2) << "event 11 of both ticks waits";
    r.prog.events[10].Routine = -1;
    r.tick();
    EXPECT_EQ(runs.ticks, (std::vector<std::uint32_t>{3, 3, 3}));
    EXPECT_EQ(r.cpu.interruptQueue.size(), 0);
}

TEST(Dispatcher, RoutineTheProgramDoesNotDeclareIsNotRun) {
    Rig r;
    r.load(attachingProgram(10));
    r.cpu.interruptsEnabled = kOn;
    r.prog.events[10].Routine = 7;               // no INT7 in the table
    r.prog.events[11].Routine = 8;
    r.prog.interrupts[8].EntryLine = 2;          // left over from another program
    Runs runs;
    record(r, runs);
    r.tick();
    EXPECT_TRUE(runs.ticks.empty());
    EXPECT_EQ(r.cpu.interruptQueue.size(), 0) << "the occurrences are taken, not kept";
    EXPECT_TRUE(r.sink.lines.empty());
}

TEST(InterruptRoutine, EndsAtATakenCretiWithoutCountingAPass) {
    for (bool taken : {true, false}) {
        Rig r;
        Source src = ob({});
        append(src, intr(0, {{"LD", {taken ? SM(0, 0) : I(0, 1)}}, {"CRETI"}, {"LD", {SM(0, 0)}}, {"=", {Q(0, 0)}}}));
        r.load(src);
        r.prog.events[10].Routine = 0;
        r.cpu.interruptsEnabled = kOn;
        r.tick();
        EXPECT_EQ(r.on(Qbit(0, 0)), !taken);
        EXPECT_EQ(r.cpu.scanCounter, 0);
        const CodeLine& end = r.prog.CodeTable[static_cast<std::size_t>(r.lineOf("END_INTERRUPT_BLOCK"))];
        EXPECT_EQ(end.HasStatus, 0);
        if (taken) {
            EXPECT_FALSE(lineStatus(r.prog, r.prog.CodeTable[static_cast<std::size_t>(r.lineOf("CRETI"))]).flowAfter);
        }
    }
}

// --- the interrupt queue --------------------------------------------------------------------

// A program with interrupt routine n attached to each event n given, each running the probe;
// the main program does nothing. The probe records the routine (so the event) and SMB2.
struct QueueRig : Rig {
    std::vector<int> events;  // in the order their routines ran
    std::vector<int> smb2;
    std::vector<bool> overflowSeen;  // SM4.0 to SM4.2, any of them, inside the routine

    explicit QueueRig(const std::vector<int>& attached) {
        Source src = ob({});
        for (int ev : attached) append(src, intr(ev, {{"NETR"}}));
        load(src);
        for (int ev : attached) prog.events[static_cast<std::size_t>(ev)].Routine = ev;
        mem.writeValue(255, area::SMB34, 8);  // a timed interrupt only when a test asks for it
        probe.hook = [this](Interpreter& c, int) {
            int routine = -1;
            for (int i = c.iPC; i >= 0 && routine < 0; --i)
                if (prog.CodeTable[static_cast<std::size_t>(i)].op == Op::INTERRUPT_BLOCK)
                    routine = static_cast<int>(prog.CodeTable[static_cast<std::size_t>(i)].number(0));
            events.push_back(routine);
            smb2.push_back(mem.byteAt(area::SM + 16));
            overflowSeen.push_back(on(area::SM4_0) || on(area::SM4_1) || on(area::SM4_2));
        };
    }
};

TEST(InterruptQueue, WhileDisabledEventsQueueAndAfterEniRunHighestPriorityFirst) {
    QueueRig r({0, 1, 6, 8, 9, 10, 22, 25});
    r.tick();  // the baseline of the inputs
    // In the order they occur; the character events carry their character.
    const std::vector<std::pair<int, std::uint8_t>> occurred{
        {22, 0}, {1, 0}, {6, 0}, {25, 'x'}, {10, 0}, {0, 0}, {9, 0}, {8, 'a'}, {1, 0}, {8, 'b'}};
    for (const auto& [ev, ch] : occurred) EXPECT_TRUE(raiseInterrupt(r.cpu, ev, ch)) << ev;
    EXPECT_FALSE(raiseInterrupt(r.cpu, 2)) << "an event without a routine is ignored";
    r.tick();
    EXPECT_TRUE(r.events.empty()) << "interrupts are disabled";
    EXPECT_FALSE(r.on(area::SM4_4));
    r.cpu.interruptsEnabled = kOn;
    r.tick();
    // Communication (port 0 before port 1; 9 and 8 share a rank: in arrival order), then I/O
    // (rising edges before falling ones), then timed.
    EXPECT_EQ(r.events, (std::vector<int>{9, 8, 8, 25, 0, 6, 1, 1, 10, 22}));
    EXPECT_EQ(r.smb2[1], 'a');
    EXPECT_EQ(r.smb2[2], 'b');
    EXPECT_EQ(r.smb2[3], 'x');
    EXPECT_EQ(r.cpu.interruptQueue.size(), 0);
    EXPECT_TRUE(r.on(area::SM4_4));
}

struct OverflowCase {
    int event;
    InterruptQueueDepths depths;
    int depth;  // of the event's queue
    int bit;
};

class QueueOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(QueueOverflow, AFullQueueLosesTheEventAndSetsItsBitUntilEmptied) {
    const OverflowCase& c = GetParam();
    QueueRig r({c.event});
    r.cpu.interruptQueue.setDepths(c.depths);
    r.tick();
    for (int i = 0; i < c.depth; ++i) ASSERT_TRUE(raiseInterrupt(r.cpu, c.event)) << i;
    EXPECT_FALSE(r.on(c.bit));
    EXPECT_FALSE(raiseInterrupt(r.cpu, c.event));
    EXPECT_FALSE(raiseInterrupt(r.cpu, c.event));
    for (int b : {area::SM4_0, area::SM4_1, area::SM4_2}) EXPECT_EQ(r.on(b), b == c.bit) << b;
    r.tick();
    EXPECT_TRUE(r.on(c.bit)) << "still full while interrupts are disabled";
    r.cpu.interruptsEnabled = kOn;
    r.tick();
    EXPECT_EQ(r.events.size(), static_cast<std::size_t>(c.depth));
    EXPECT_EQ(r.overflowSeen, std::vector<bool>(static_cast<std::size_t>(c.depth), true)) << "seen in the routines";
    EXPECT_FALSE(r.on(c.bit)) << "the emptied queue's bit goes off";
}

INSTANTIATE_TEST_SUITE_P(Groups, QueueOverflow,
                         ::testing::Values(OverflowCase{8, {4, 16, 8}, 4, area::SM4_0},
                                           OverflowCase{26, {8, 16, 8}, 8, area::SM4_0},
                                           OverflowCase{5, {4, 16, 8}, 16, area::SM4_1},
                                           OverflowCase{10, {8, 16, 8}, 8, area::SM4_2},
                                           OverflowCase{21, {4, 16, 8}, 8, area::SM4_2}),
                         [](const ::testing::TestParamInfo<OverflowCase>& i) {
                             return "Event" + std::to_string(i.param.event) + "Depth" + std::to_string(i.param.depth);
                         });

TEST(InterruptQueue, TimedInterruptsKeepOccurringWhileDisabledAndRunAfterEni) {
    // DISI for 350 ms with a 100 ms timed interrupt: three occurrences run one after another.
    QueueRig r({10});
    r.mem.writeValue(100, area::SMB34, 8);
    r.cpu.interruptsEnabled = kOn;
    for (int i = 0; i < 10; ++i) r.tick();  // tick 10: the first run
    r.cpu.interruptsEnabled = 0;
    for (int i = 0; i < 35; ++i) r.tick();  // ticks 11 to 45: due at 20, 30 and 40
    EXPECT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.cpu.interruptQueue.size(), 3);
    r.cpu.interruptsEnabled = kOn;
    r.tick();
    EXPECT_EQ(r.events.size(), 4u);
    for (int i = 0; i < 4; ++i) r.tick();  // tick 50: the period goes on from the last one
    EXPECT_EQ(r.events.size(), 5u);
}

// INT1 attached to the rising edge of I0.0 while interrupts are disabled; three edges queue;
// DTCH 0, CEVNT 0, ENI: INT1 does not run. Without CEVNT the three still run after ENI. INT0
// on the falling edge shows that CEVNT leaves other events alone.
TEST(Cevnt, RemovesEveryQueuedOccurrenceOfItsEventOnly) {
    for (bool withCevnt : {true, false}) {
        Source main{{"LD", {SM(0, 1)}}, {"ATCH", {k(1), k(0)}}, {"ATCH", {k(0), k(1)}},
                    {"Network", {k(2)}}, {"LD", {Mb(0, 0)}}, {"DTCH", {k(0)}}};
        if (withCevnt) main.push_back({"CEVNT", {k(0)}});
        main.push_back({"ENI"});
        Source src = ob(main);
        append(src, intr(0, {{"NETR"}}));
        append(src, intr(1, {{"NETR"}}));
        Rig r;
        r.load(src);
        Runs runs;
        record(r, runs);
        r.tick(true);  // attaches
        for (int i = 0; i < 3; ++i) {
            r.set(Ibit(0, 0), true);
            r.tick();
            r.set(Ibit(0, 0), false);
            r.tick();
        }
        EXPECT_EQ(r.cpu.interruptQueue.size(), 6);
        r.set(Mbit(0, 0), true);
        r.tick(true);  // DTCH 0, CEVNT 0, ENI
        EXPECT_TRUE(runs.routine.empty());
        EXPECT_TRUE(r.on(area::SM4_4));
        r.tick();
        const auto count = [&](int routine) { return std::count(runs.routine.begin(), runs.routine.end(), routine); };
        EXPECT_EQ(count(1), withCevnt ? 0 : 3) << withCevnt;
        EXPECT_EQ(count(0), 3) << withCevnt;
        if (withCevnt) {
            const CodeLine& cevnt = r.prog.CodeTable[static_cast<std::size_t>(r.lineOf("CEVNT"))];
            EXPECT_EQ(r.prog.runStatusOf(cevnt).StatusValue[0], 0);
            EXPECT_EQ(r.prog.runStatusOf(cevnt).StatusKind[0], 5);
        }
    }
}


}  // namespace
