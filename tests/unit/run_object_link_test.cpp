// korvane-run's object-link options: the optional port, the address (loopback unless told),
// and their refusals; where the runner listens is logged.
#include <gtest/gtest.h>

#include <algorithm>

#include "posix/run_object_link.h"

using namespace korvane;

namespace {

struct OptionCase {
    std::vector<std::string> args;  // the option first
    int result;                     // 1 taken, -1 refused, 0 not ours
    std::size_t lastIndex;          // where i stands afterwards
    int port;
    const char* address;
};
class RunObjectLinkOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(RunObjectLinkOptions, Parse) {
    const OptionCase& c = GetParam();
    ObjectLinkRunOptions o;
    std::string error;
    std::size_t i = 0;
    EXPECT_EQ(parseObjectLinkOption(c.args, i, o, error), c.result);
    EXPECT_EQ(i, c.lastIndex);
    if (c.result == 1) {
        EXPECT_EQ(o.port, c.port);
        EXPECT_EQ(o.address, c.address);
    }
    EXPECT_EQ(error.empty(), c.result != -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunObjectLinkOptions,
    ::testing::Values(OptionCase{{"--object-link"}, 1, 0, 9215, "127.0.0.1"},
                      OptionCase{{"--object-link", "prog.awl"}, 1, 0, 9215, "127.0.0.1"},
                      OptionCase{{"--object-link", "9300"}, 1, 1, 9300, "127.0.0.1"},
                      OptionCase{{"--object-link", "0"}, 1, 1, 0, "127.0.0.1"},
                      OptionCase{{"--object-link", "70000"}, -1, 0, 0, ""},
                      OptionCase{{"--object-link", "--log"}, 1, 0, 9215, "127.0.0.1"},
                      OptionCase{{"--link-address", "0.0.0.0"}, 1, 1, 9215, "0.0.0.0"},
                      OptionCase{{"--link-address", "127.0.0.1"}, 1, 1, 9215, "127.0.0.1"},
                      OptionCase{{"--link-address", "localhost"}, -1, 0, 0, ""},
                      OptionCase{{"--link-address"}, -1, 0, 0, ""},
                      OptionCase{{"--scans", "5"}, 0, 0, 0, ""}));

TEST(RunObjectLink, APortInUseIsReportedWithTheListenFailureText) {
    MemoryLogSink sink;
    AutoPrompt prompt;
    VirtualScheduler clock;
    Simulator a(clock, &sink, &prompt), b(clock, &sink, &prompt);
    ObjectLinkRunner first, second;
    std::string error;
    ASSERT_TRUE(first.start(a, {true, 0, "127.0.0.1"}, error)) << error;
    ASSERT_NE(first.port(), 0);
    EXPECT_FALSE(second.start(b, {true, first.port(), "127.0.0.1"}, error));
    EXPECT_EQ(error.rfind(kMsgObjectListenFailed, 0), 0u);
    ASSERT_TRUE(a.link);
}

TEST(RunObjectLink, TheRunnerListensOnLoopbackByDefaultAndLogsTheAddressAndPort) {
    MemoryLogSink sink;
    AutoPrompt prompt;
    VirtualScheduler clock;
    Simulator sim(clock, &sink, &prompt);
    ObjectLinkRunOptions o;
    o.enabled = true;
    o.port = 0;
    ObjectLinkRunner runner;
    std::string error;
    ASSERT_TRUE(runner.start(sim, o, error)) << error;
    ASSERT_NE(runner.port(), 0);
    const std::string where = "在 127.0.0.1:" + std::to_string(runner.port()) + " 上监听仿真对象连接。";
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), where), sink.lines.end()) << where;
}

}  // namespace
