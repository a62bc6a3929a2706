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
    auto s = parseRunScript("0 set VW0 16#FF\n0 expect QB0 2#101 # five\n#0 set VW2 1\n0 expect VW0 255\t#255\n"
                            "0 set VB4 16#1F#\n",
                            error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->events.size(), 4u);
    EXPECT_EQ(s->events[0].value, "16#FF");
    EXPECT_EQ(s->events[1].value, "2#101");
    EXPECT_EQ(s->events[2].value, "255");
    EXPECT_EQ(s->events[2].line, 4);
    EXPECT_EQ(s->events[3].value, "16#1F#");
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
                 {"99999999999999999999 set I0.0 1", "line 1: a time in ms"}};
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

}  // namespace
