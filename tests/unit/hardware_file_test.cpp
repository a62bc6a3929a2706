#include <gtest/gtest.h>

#include "test_tmp.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "hardware/hardware_file.h"

using namespace korvane;

namespace {

struct Fixture {
    MemoryLogSink sink;
    Log log{&sink};
    AutoPrompt prompt;
    bool running = false;
    int notified = 0;
    HardwareConfig hw{&prompt, [this] { return running; }};
    std::filesystem::path dir = testTmpDir("hardware_file");
    Fixture() {
        std::filesystem::create_directories(dir);
        hw.subscribe([this] { ++notified; });
    }
    std::string write(const std::string& name, const std::string& content) {
        const auto p = dir / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

TEST(HardwareFile, SavingTheStartUpRackWritesCpu226AndNoModules) {
    Fixture f;
    const auto path = (f.dir / "start.hd").string();
    ASSERT_TRUE(saveHardwareFile(path, f.hw, f.log));
    EXPECT_EQ(Fixture::read(path), "8 0 0 0 0 0 0 0\r\n");
    EXPECT_EQ(f.sink.lines, std::vector<std::string>{"保存硬件配置文件：" + path});
}

TEST(HardwareFile, RoundTripRestoresTheRack) {
    Fixture f;
    f.hw.chooseCpu(4);
    f.hw.chooseModule(0, 10);
    f.hw.chooseModule(1, 22);
    f.hw.chooseModule(2, 16);
    const auto path = (f.dir / "round.hd").string();
    ASSERT_TRUE(saveHardwareFile(path, f.hw, f.log));
    EXPECT_EQ(Fixture::read(path), "4 10 22 16 0 0 0 0\r\n");
    Fixture g;
    ASSERT_TRUE(loadHardwareFile(path, g.hw, g.log, &g.prompt));
    EXPECT_EQ(g.hw.positions(), f.hw.positions());
    EXPECT_EQ(g.hw.module(2).analogInputFirst, 4);
    EXPECT_EQ(g.sink.lines, std::vector<std::string>{"载入硬件配置文件：" + path});
    EXPECT_TRUE(g.prompt.informed.empty());
    EXPECT_EQ(g.notified, 1);
}

struct ParseCase {
    const char* name;
    const char* text;
    bool ok;
    HardwareRecord record;
};

class HardwareRecordParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(HardwareRecordParse, TakesTheLastCompleteRecord) {
    const auto& c = GetParam();
    const auto r = parseHardwareRecord(c.text);
    ASSERT_EQ(r.has_value(), c.ok);
    if (c.ok) {
        EXPECT_EQ(*r, c.record);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HardwareRecordParse,
    ::testing::Values(ParseCase{"one_line", "4 10 0 0 0 0 0 0\r\n", true, {4, 10, 0, 0, 0, 0, 0, 0}},
                      ParseCase{"two_lines", "4 10 0 0 0 0 0 0\n2 1 2 0 0 0 0 0\n", true, {2, 1, 2, 0, 0, 0, 0, 0}},
                      ParseCase{"commas_and_breaks", "5,3,\r\n4 ,0\t0\n0\n0,0", true, {5, 3, 4, 0, 0, 0, 0, 0}},
                      ParseCase{"partial_tail", "4 10 0 0 0 0 0 0 9 9", true, {4, 10, 0, 0, 0, 0, 0, 0}},
                      ParseCase{"seven_values", "4 10 0 0 0 0 0", false, {}},
                      ParseCase{"empty", "", false, {}},
                      ParseCase{"cpu_out_of_list", "10 0 0 0 0 0 0 0", false, {}},
                      ParseCase{"module_out_of_list", "4 23 0 0 0 0 0 0", false, {}},
                      ParseCase{"negative", "4 -1 0 0 0 0 0 0", false, {}},
                      ParseCase{"not_a_number", "4 x 0 0 0 0 0 0", false, {}},
                      ParseCase{"fraction", "4 1.5 0 0 0 0 0 0", false, {}},
                      ParseCase{"bad_earlier_record", "4 99 0 0 0 0 0 0\n4 0 0 0 0 0 0 0", false, {}}),
    [](const auto& p) { return std::string(p.param.name); });

struct BadFile {
    const char* name;
    std::string content;
};
class MalformedHardwareFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(MalformedHardwareFile, IsRefusedWithItsMessageAndLeavesTheRack) {
    Fixture f;
    f.hw.chooseCpu(4);
    f.hw.chooseModule(0, 3);
    const auto before = f.hw.positions();
    f.notified = 0;
    const auto path = f.write(GetParam().name, GetParam().content);
    EXPECT_FALSE(loadHardwareFile(path, f.hw, f.log, &f.prompt));
    EXPECT_EQ(f.prompt.informed, std::vector<std::string>{kMsgHardwareFileBad});
    EXPECT_EQ(f.hw.positions(), before);
    EXPECT_TRUE(f.sink.lines.empty());
    EXPECT_EQ(f.notified, 1);  // the object link still rebuilds its lists
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedHardwareFile,
                         ::testing::Values(BadFile{"short.hd", "4 10 0\n"}, BadFile{"words.hd", "CPU 224\n"},
                                           BadFile{"range.hd", "12 0 0 0 0 0 0 0\n"},
                                           BadFile{"binary.hd", "\x01\x02\xff\xfe"},
                                           // a good record, then more than any rack file holds
                                           BadFile{"huge.hd", "4 1 2 0 0 0 0 0\n" + std::string(70000, ' ')}),
                         [](const auto& p) {
                             std::string n = p.param.name;
                             return n.substr(0, n.find('.'));
                         });

TEST(HardwareFileLoad, MissingFileIsRefusedAndEmptyNameReadsNothing) {
    Fixture f;
    EXPECT_FALSE(loadHardwareFile((f.dir / "missing.hd").string(), f.hw, f.log, &f.prompt));
    EXPECT_EQ(f.prompt.informed, std::vector<std::string>{kMsgHardwareFileBad});
    f.prompt.informed.clear();
    EXPECT_FALSE(loadHardwareFile("", f.hw, f.log, &f.prompt));
    EXPECT_TRUE(f.prompt.informed.empty());
    EXPECT_EQ(f.notified, 2);
}

TEST(HardwareFileLoad, WhileRunningEveryDifferingChoiceIsRefused) {
    Fixture f;
    f.running = true;
    const auto path = f.write("run.hd", "4 1 2 0 0 0 0 0\n");
    loadHardwareFile(path, f.hw, f.log, &f.prompt);
    EXPECT_EQ(f.prompt.informed, (std::vector<std::string>{kMsgCpuWhileRunning, kMsgModuleWhileRunning,
                                                           kMsgModuleWhileRunning}));
    EXPECT_EQ(f.hw.positions(), (HardwareRecord{8, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(HardwareFileLoad, CapacityIsJudgedOnTheFinalRack) {
    Fixture f;
    f.hw.chooseCpu(4);
    for (int s = 0; s < 7; ++s) ASSERT_EQ(f.hw.chooseModule(s, 3), RackChange::Applied);
    // CPU 226 with 8-input modules fits, though CPU 226 with the present 16-input modules
    // would not.
    const auto path = f.write("fits.hd", "8 1 1 1 1 1 1 1\n");
    EXPECT_TRUE(loadHardwareFile(path, f.hw, f.log, &f.prompt));
    EXPECT_EQ(f.hw.positions(), (HardwareRecord{8, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(f.prompt.informed.empty());
    const auto before = f.hw.positions();
    const auto tooMany = f.write("toomany.hd", "8 3 3 3 3 3 3 3\n");
    EXPECT_FALSE(loadHardwareFile(tooMany, f.hw, f.log, &f.prompt));
    EXPECT_EQ(f.prompt.informed, std::vector<std::string>{kMsgRackCapacity});
    EXPECT_EQ(f.hw.positions(), before);
}

// A module the rack rules leave out makes the load incomplete (false), with the message
// that says why, once; the rest of the record is applied.
struct PartialRack {
    std::string name, content;
    HardwareRecord applied;
    std::vector<std::string> informed;
    bool complete;
};
void PrintTo(const PartialRack& c, std::ostream* os) { *os << c.name; }

class PartialRackFile : public ::testing::TestWithParam<PartialRack> {};

TEST_P(PartialRackFile, LeftOutModulesAreToldAndMakeTheLoadFail) {
    Fixture f;
    const PartialRack& c = GetParam();
    EXPECT_EQ(loadHardwareFile(f.write(c.name + ".hd", c.content), f.hw, f.log, &f.prompt), c.complete);
    EXPECT_EQ(f.prompt.informed, c.informed);
    EXPECT_EQ(f.hw.positions(), c.applied);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PartialRackFile,
    ::testing::Values(PartialRack{"gap", "4 0 3 0 0 0 0 0\n", {4, 0, 0, 0, 0, 0, 0, 0}, {kMsgEarlierSlotEmpty}, false},
                      PartialRack{"cpu221", "0 1 1 0 0 0 0 0\n", {0, 0, 0, 0, 0, 0, 0, 0}, {kMsgNoSuchSlot}, false},
                      PartialRack{"cpu222", "2 1 2 3 0 0 0 0\n", {2, 1, 2, 0, 0, 0, 0, 0}, {kMsgNoSuchSlot}, false},
                      PartialRack{"whole", "2 1 2 0 0 0 0 0\n", {2, 1, 2, 0, 0, 0, 0, 0}, {}, true}),
    [](const auto& p) { return p.param.name; });

}  // namespace
