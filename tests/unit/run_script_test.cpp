#include <gtest/gtest.h>

#include "sim/run_script.h"

using namespace korvane;

namespace {

TEST(RunScript, ParsesEventsAndKeepsFileOrderForEqualTimes) {
    std::string error;
    auto s = parseRunScript("# header\n100 set I0.0 1\n  50 expect Q0.0 0   # trailing comment\n\r\n100 mode count:3\n"
                            "100 expect VD0:r 0.5..1.5\n",
                            error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->events.size(), 4u);
    EXPECT_EQ(s->events[0].ms, 50);
    EXPECT_EQ(s->events[0].kind, ScriptEvent::Kind::Expect);
    EXPECT_EQ(s->events[1].kind, ScriptEvent::Kind::Set);
    EXPECT_EQ(s->events[1].line, 2);
    EXPECT_EQ(s->events[2].kind, ScriptEvent::Kind::Mode);
    EXPECT_EQ(s->events[2].mode.kind, ModeCommand::Kind::Count);
    EXPECT_EQ(s->events[2].mode.count, 3);
    EXPECT_EQ(s->events[3].value, "0.5..1.5");
}

// '#' starts a comment at the start of a line or after a blank or tab; inside a word it
// belongs to the value (16#FF, 2#101).
TEST(RunScript, HashInsideAWordIsPartOfTheValue) {
    std::string error;
    auto s = parseRunScript("0 set VW0 16#FF\n0 expect QB0 2#101 # five\n#0 set VW2 1\n0 expect VW0 255\t#255\n",
                            error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->events.size(), 3u);
    EXPECT_EQ(s->events[0].value, "16#FF");
    EXPECT_EQ(s->events[1].value, "2#101");
    EXPECT_EQ(s->events[2].value, "255");
    EXPECT_EQ(s->events[2].line, 4);
    EXPECT_FALSE(parseRunScript("0 set VB4 16#1F#", error));
    EXPECT_EQ(error, "line 1: '16#1F#' is not a value for VB4");
    EXPECT_FALSE(parseRunScript("0 set VW0 1#x 2", error));
    EXPECT_EQ(error, "line 1: set needs an address and a value");
}

TEST(RunScript, RefusesMalformedLinesNamingTheLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {{"x set I0.0 1", "line 1: a time in ms must start the line"},
                 {"10", "line 1: a command"},
                 {"\n10 set I0.0", "line 2: set needs an address and a value"},
                 {"10 set X9 1", "line 1: unknown address 'X9'"},
                 {"10 mode fast", "line 1: unknown mode 'fast'"},
                 {"10 mode count:x", "line 1: unknown mode"},
                 {"10 poke Q0.0 1", "line 1: unknown command 'poke'"},
                 {"-5 set I0.0 1", "line 1: a time in ms"},
                 {"99999999999999999999 set I0.0 1", "line 1: a time in ms"},
                 // Values are tried when the script is read, not when the line is reached.
                 {"0 set I0.0 1\n900 set Q0.0 2", "line 2: '2' is not a value for Q0.0"},
                 {"10 set VB0 256", "line 1: '256' is not a value for VB0"},
                 {"10 set VW0 1.5", "line 1: '1.5' is not a value for VW0"},
                 {"10 expect VW0 abc", "line 1: 'abc' is not a value for VW0"},
                 {"10 expect Q0.0 2", "line 1: '2' is not a value for Q0.0"},
                 {"10 expect VW0 1..x", "line 1: '1..x' is not a value for VW0"},
                 {"0..10 always VW0", "line 1: VW0 is not a bit"},
                 {"0..10 never Q0.0 &", "line 1: an address is missing at the end"},
                 {"0..10 never Q0.0 | | Q0.1", "line 1: an address is missing before '|'"},
                 {"0..10 never (Q0.0", "line 1: a ')' is missing"},
                 {"0..10 never Q0.0) ", "line 1: ')' where"},
                 {"0..10 never Q0.0=5", "line 1: '5' is not a value for Q0.0"},
                 {"0..10 never X1", "line 1: unknown address 'X1'"},
                 {"10..5 never Q0.0", "line 1: the interval '10..5'"},
                 {"0..5 sometimes Q0.0", "line 1: an interval check reads"},
                 {"expect VW0 rises 0..10", "line 1: VW0 is not a bit"},
                 {"expect Q0.0 climbs 0..10", "line 1: an edge check reads"},
                 {"expect Q0.0 rises 10..0", "line 1: the window '10..0'"},
                 {"expect Q0.0 rises 10", "line 1: the window '10'"}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseRunScript(c.text, error)) << c.text;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.text << " -> " << error;
    }
}

TEST(RunScript, ValuesMatchByNumberByRangeOrAsText) {
    auto word = *parseAddress("VW0");
    auto real = *parseAddress("VD0:r");
    struct Case {
        const PlcAddress* a;
        const char* got;
        const char* expected;
        bool match;
    } cases[] = {{&word, "255", "16#FF", true},      {&word, "255", "255", true},   {&word, "255", "254", false},
                 {&word, "5", "2#101", true},        {&real, "0.1", "0.1", true},   {&real, "0.1000001", "0.1", true},
                 {&real, "0.1001", "0.1", false},    {&real, "0.5", "0..1", true},  {&real, "1.5", "0..1", false},
                 {&word, "19186", "19000..19400", true}, {&word, "7", "x..9", false}, {&word, "16#0F", "16#0F", true}};
    for (const auto& c : cases)
        EXPECT_EQ(valueMatches(*c.a, c.got, c.expected), c.match) << c.got << " vs " << c.expected;
}

// Where an edge line's watch starts: the line before it in the file, whatever its time.
TEST(RunScript, EdgeLinesWatchFromTheLineBefore) {
    std::string error;
    auto s = parseRunScript("expect Q0.0 rises 0..100\n900 set I0.0 1\n# note\n\nexpect Q0.0 falls 900..1000\n"
                            "expect Q0.1 rises 0..2000\n300..400 never Q0.0\nexpect Q0.1 falls 0..9\n"
                            "50 expect Q0.1 rises 60..70\n",
                            error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->edges.size(), 5u);
    const std::pair<std::int64_t, int> from[] = {{0, -1}, {900, -1}, {900, 1}, {300, -1}, {50, -1}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(s->edges[i].from, from[i].first) << i;
        EXPECT_EQ(s->edges[i].afterEdge, from[i].second) << i;
    }
    EXPECT_EQ(s->edges[1].line, 5);
    EXPECT_FALSE(s->edges[1].rising);
}

TEST(RunScript, ConditionsBindAndBeforeOrAndCompareValues) {
    PlcMemory mem;
    mem.setBit(parseAddress("Q0.2")->key, true);
    writeAddress(mem, *parseAddress("VW0"), "255");
    struct Case {
        const char* text;
        bool holds;
    } cases[] = {{"Q0.2", true},
                 {"!Q0.2", false},
                 {"Q0.0 | Q0.1 & Q0.2", false},  // Q0.0 | (Q0.1 & Q0.2)
                 {"(Q0.0 | Q0.1) & Q0.2", false},
                 {"Q0.2 | Q0.1 & Q0.0", true},
                 {"!(Q0.0 | Q0.1) & Q0.2", true},
                 {"!!Q0.2 & Q0.0=0 & Q0.2=1", true},
                 {"VW0=16#FF & VW0 = 200..300", true},
                 {"VW0=254", false},
                 {"VW0:s=255 & VB1=255 & VB0=0", true}};
    for (const auto& c : cases) {
        std::string error;
        auto cond = Condition::parse(c.text, error);
        ASSERT_TRUE(cond) << c.text << ": " << error;
        EXPECT_EQ(cond->holds(mem), c.holds) << c.text;
    }
}

}  // namespace
