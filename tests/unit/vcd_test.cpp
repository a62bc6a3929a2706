// Signals over time: the value change dump writer, the window's recorder, and korvane-run's
// --vcd, each read back by the tests' own VCD reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/wait.h>

#include "../vcd_reader.h"
#include "sim/signal_trace.h"
#include "sim/vcd_writer.h"
#include "test_tmp.h"

using namespace korvane;
using korvane::test::readVcd;

namespace {

std::vector<TraceSignal> signals(const char* list) {
    std::string error;
    auto s = parseTraceSignals(list, error);
    EXPECT_TRUE(s) << error;
    return s ? *s : std::vector<TraceSignal>{};
}

TEST(SignalTrace, ParsesListsAndRefusesBadOrRepeatedNames) {
    struct Case {
        const char* list;
        const char* error;  // "" when accepted
    } cases[] = {{"I0.0, q0.0 ,T37,t37:b,VW0:s,VD4:r,AC1,C5", ""},
                 {"I0.0,X9", "unknown address 'X9'"},
                 {"T37,Q0.0,t 37", "'T37' is named twice"},
                 {" , ", "no address given"},
                 {"VW0:r", "unknown address 'VW0:r'"}};
    for (const auto& c : cases) {
        std::string error;
        auto s = parseTraceSignals(c.list, error);
        EXPECT_EQ(s.has_value(), *c.error == 0) << c.list;
        if (*c.error) {
            EXPECT_EQ(error, c.error) << c.list;
        }
    }
    auto s = signals("I0.0, q0.0 ,T37,t37:b,VW0:s,VD4:r,AC1,C5");
    ASSERT_EQ(s.size(), 8u);
    const int widths[] = {1, 1, 16, 1, 16, 32, 32, 16};
    const char* names[] = {"I0.0", "Q0.0", "T37", "T37:b", "VW0:s", "VD4:r", "AC1", "C5"};
    for (std::size_t i = 0; i < s.size(); ++i) {
        EXPECT_EQ(s[i].width(), widths[i]) << names[i];
        EXPECT_EQ(s[i].name, names[i]);
    }
}

TEST(SignalTrace, SamplesAndShowsValuesByFormat) {
    PlcMemory mem;
    auto s = signals("Q0.1,T37,T37:b,VW0,VW0:s,VW0:x,VD4:r,C3");
    mem.setBit(area::Q + 1, true);
    mem.timers()[37].Current = 250;
    mem.setBit(area::T + 37, true);
    ASSERT_TRUE(writeAddress(mem, *parseAddress("VW0"), "65535"));
    ASSERT_TRUE(writeAddress(mem, *parseAddress("VD4:r"), "1.5"));
    mem.counters()[3].Current = -2;
    const std::uint32_t want[] = {1, 250, 1, 0xFFFF, 0xFFFF, 0xFFFF, 0x3FC00000, 0xFFFE};
    const char* text[] = {"1", "250", "1", "65535", "-1", "16#FFFF", "1.5", "-2"};
    for (std::size_t i = 0; i < s.size(); ++i) {
        EXPECT_EQ(sampleSignal(mem, s[i]), want[i]) << s[i].name;
        EXPECT_EQ(signalText(s[i], want[i]), text[i]) << s[i].name;
    }
    EXPECT_EQ(signalNumber(s[4], 0xFFFF), -1.0);
    EXPECT_EQ(signalNumber(s[6], 0x3FC00000), 1.5);
}

TEST(VcdWriter, IdentifiersArePrintableAndDistinct) {
    std::set<std::string> seen;
    for (std::size_t n = 0; n < 20000; ++n) {
        const std::string id = vcdIdentifier(n);
        for (char c : id) ASSERT_TRUE(c >= 33 && c <= 126) << n;
        ASSERT_TRUE(seen.insert(id).second) << "identifier " << id << " repeated at " << n;
    }
    EXPECT_EQ(vcdIdentifier(0), "!");
    EXPECT_EQ(vcdIdentifier(93), "~");
    EXPECT_EQ(vcdIdentifier(94).size(), 2u);
}

// A dump with a bit, a timer value, a signed word, a real and a timer bit: the header
// declares each once with its width, values follow only where they changed.
TEST(VcdWriter, WritesHeaderDumpvarsAndOnlyChanges) {
    auto s = signals("I0.0,T37,VW0:s,VD4:r,T37:b");
    std::ostringstream out;
    VcdWriter w(out, s, "2026-01-05 08:00:00 UTC", "korvane-run 9.9.9");
    const std::vector<std::vector<std::uint32_t>> samples = {
        {0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {1, 5, 0xFFFE, 0x3FC00000, 0}, {0, 10, 0xFFFE, 0x3FC00000, 1}};
    const std::int64_t times[] = {0, 50, 100, 150, 200};
    for (std::size_t k = 0; k < samples.size(); ++k) w.sample(times[k], samples[k]);
    w.finish(260);
    const auto f = readVcd(out.str());
    ASSERT_EQ(f.error, "") << out.str();
    EXPECT_EQ(f.timescale, "1 ms");
    EXPECT_EQ(f.version, "korvane-run 9.9.9");
    EXPECT_EQ(f.scopes, std::vector<std::string>{"korvane"});
    ASSERT_EQ(f.vars.size(), 5u);
    struct Want {
        const char* ref;
        const char* type;
        int width;
    } want[] = {{"I0_0", "wire", 1}, {"T37", "reg", 16}, {"VW0_s", "reg", 16}, {"VD4_r", "real", 32}, {"T37_b", "wire", 1}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(f.vars[i].reference, want[i].ref);
        EXPECT_EQ(f.vars[i].type, want[i].type) << want[i].ref;
        EXPECT_EQ(f.vars[i].width, want[i].width) << want[i].ref;
    }
    EXPECT_NE(f.comment.find("VW0_s VW0:s"), std::string::npos) << f.comment;
    // #100 brought nothing new: no time is written for it; the end time is.
    EXPECT_EQ(f.times, (std::vector<std::int64_t>{0, 50, 150, 200, 260}));
    EXPECT_EQ(f.changes.size(), 5u + 1 + 3 + 3);
    using H = std::vector<std::pair<std::int64_t, std::int64_t>>;
    EXPECT_EQ(f.history("I0_0"), (H{{0, 0}, {50, 1}, {200, 0}}));
    EXPECT_EQ(f.history("T37"), (H{{0, 0}, {150, 5}, {200, 10}}));
    EXPECT_EQ(f.history("VW0_s"), (H{{0, 0}, {150, 0xFFFE}}));
    EXPECT_EQ(f.history("VD4_r"), (H{{0, 0}, {150, 1}}));
    EXPECT_EQ(f.history("T37_b"), (H{{0, 0}, {200, 1}}));
}

// The window's recorder keeps the last 600 s and a bounded number of changes, however long
// the run: a bit toggling in every 10 ms pass for 700 s.
TEST(SignalRecorder, KeepsTheLastSpanBoundedAndExportsIt) {
    SignalRecorder rec;
    EXPECT_EQ(rec.add("Q0.0"), SignalRecorder::Add::Added);
    EXPECT_EQ(rec.add("q0.0"), SignalRecorder::Add::AlreadyThere);
    EXPECT_EQ(rec.add("X1"), SignalRecorder::Add::NotAnAddress);
    EXPECT_EQ(rec.add("VW0"), SignalRecorder::Add::Added);
    for (int i = 2; i < 16; ++i) EXPECT_EQ(rec.add("M" + std::to_string(i) + ".0"), SignalRecorder::Add::Added);
    EXPECT_EQ(rec.add("M20.0"), SignalRecorder::Add::Full);
    PlcMemory mem;
    const std::int64_t end = 700'000;
    for (std::int64_t t = 10; t <= end; t += 10) {
        mem.setBit(area::Q, (t / 10) % 2 == 1);
        if (t % 1000 == 0) writeAddress(mem, *parseAddress("VW0"), std::to_string(t / 1000));
        rec.sample(t, mem);
    }
    EXPECT_EQ(rec.lastMs(), end);
    EXPECT_EQ(rec.firstMs(), end - SignalRecorder::kKeepMs);
    // Kept: the change that gives the value at the span's start, and every one after it.
    EXPECT_EQ(rec.changes(0).size(), 60'001u);
    EXPECT_LE(rec.changes(0).size(), SignalRecorder::kMaxChanges);
    EXPECT_EQ(rec.changes(0).front().ms, rec.firstMs());
    EXPECT_EQ(rec.changes(1).size(), 601u);
    EXPECT_EQ(rec.changes(1).front().ms, rec.firstMs());
    EXPECT_EQ(rec.valueAt(1, rec.firstMs()), 100u);  // VW0 counts seconds
    EXPECT_EQ(rec.valueAt(0, 699'990), 1u);
    EXPECT_EQ(rec.valueAt(0, 700'000), 0u);

    std::ostringstream out;
    writeRecorderVcd(out, rec, "today", "korvane 9.9.9");
    const auto f = readVcd(out.str());
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.vars.size(), 16u);
    const auto vw = f.history("VW0");
    ASSERT_FALSE(vw.empty());
    EXPECT_EQ(vw.front(), (std::pair<std::int64_t, std::int64_t>{100'000, 100}));
    EXPECT_EQ(vw.back(), (std::pair<std::int64_t, std::int64_t>{700'000, 700}));
    EXPECT_EQ(f.times.front(), 100'000);
    EXPECT_EQ(f.times.back(), 700'000);
}

#ifdef KORVANE_RUN
int runRunner(const std::string& args, const std::filesystem::path& dir, std::string& err) {
    const auto errFile = dir / "stderr.txt";
    const std::string cmd = std::string("\"") + KORVANE_RUN + "\" " + args + " >/dev/null 2>\"" + errFile.string() + "\"";
    const int status = std::system(cmd.c_str());
    std::ifstream in(errFile);
    err.assign(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// korvane-run on the timer case of the golden tests: the dump holds the known edges at the
// passes the scripted checks name (T37 reaches 10 and Q0.0 comes on at 1050 ms, the TOF
// output falls at 2450 ms, the retentive timer's output comes on at 5450 ms and goes off
// at 7050 ms).
TEST(VcdRun, DumpOfTheTimerCaseHoldsItsEdges) {
    const auto dir = testTmpDir("vcd");
    const std::string caseDir = KORVANE_SOURCE_DIR "/tests/golden/timers_script";
    const auto vcdPath = dir / "timers.vcd";
    std::string err;
    ASSERT_EQ(runRunner(caseDir + "/program.awl --timebase 100 --ms 7100 --script " + caseDir +
                            "/script --vcd " + vcdPath.string() + " --vcd-signals I0.0,Q0.0,Q0.1,Q0.2,T37,T1,T37:b",
                        dir, err),
              0)
        << err;
    std::ifstream in(vcdPath);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto f = readVcd(text);
    ASSERT_EQ(f.error, "") << text.substr(0, 2000);
    EXPECT_NE(f.version.find("korvane-run "), std::string::npos);
    ASSERT_EQ(f.vars.size(), 7u);
    EXPECT_EQ(f.byReference("T37")->width, 16);
    EXPECT_EQ(f.byReference("T37_b")->width, 1);
    EXPECT_EQ(f.times.front(), 0);
    EXPECT_EQ(f.times.back(), 7100);
    EXPECT_EQ(f.firstChangeTo("I0_0", 1), 50);  // the first pass takes the input
    EXPECT_EQ(f.firstChangeTo("Q0_0", 1), 1050);
    EXPECT_EQ(f.firstChangeTo("T37_b", 1), 1050);
    EXPECT_EQ(f.firstChangeTo("T37", 10), 1050);
    EXPECT_EQ(f.firstChangeTo("Q0_1", 0, 100), 2450);
    EXPECT_EQ(f.firstChangeTo("Q0_2", 1), 5450);
    // The reset at 7000 ms comes after the coil in the same pass: the value is 0 after that
    // pass, the output goes off in the next.
    EXPECT_EQ(f.firstChangeTo("T1", 0, 6000), 7000);
    EXPECT_EQ(f.firstChangeTo("Q0_2", 0, 6000), 7050);
    // Changes only: the timer value changes once per time-base event, 70 in 7 s at most
    // (it runs on past its preset), not once per pass.
    EXPECT_LE(f.history("T37").size(), 72u);
    EXPECT_GE(f.history("T37").size(), 60u);
}

TEST(VcdRun, RefusesBadSignalsAndUnwritableFilesAtStart) {
    const auto dir = testTmpDir("vcd");
    const std::string program = KORVANE_SOURCE_DIR "/examples/traffic_light.awl";
    struct Case {
        std::string args;
        const char* message;
    } cases[] = {{"--vcd " + (dir / "a.vcd").string() + " --vcd-signals I0.0,QX0", "--vcd-signals: unknown address 'QX0'"},
                 {"--vcd " + (dir / "b.vcd").string(), "--vcd and --vcd-signals go together"},
                 {"--vcd-signals Q0.0", "--vcd and --vcd-signals go together"},
                 {"--vcd " + (dir / "no/such/folder/c.vcd").string() + " --vcd-signals Q0.0", "cannot write"}};
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(runRunner(program + " --ms 100 " + c.args, dir, err), 2) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << "\n" << err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "a.vcd"));
}
#endif

}  // namespace
