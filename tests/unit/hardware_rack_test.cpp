#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardware/catalogue.h"
#include "hardware/hardware_config.h"

using namespace korvane;

namespace {

struct Rack {
    AutoPrompt prompt;
    bool running = false;
    int notified = 0;
    HardwareConfig hw{&prompt, [this] { return running; }};
    Rack() {
        hw.subscribe([this] { ++notified; });
    }
    void modules(std::initializer_list<int> indexes) {
        int slot = 0;
        for (int m : indexes) ASSERT_EQ(hw.chooseModule(slot++, m), RackChange::Applied) << m;
    }
};

constexpr int k8DioDC = 10, kEm235 = 22, k2Pt100 = 16, k16DI = 3, k8DI = 1, k8AI = 15, k4AO = 21, k2AO = 20;

TEST(Catalogue, HasTheListedEntriesInListOrder) {
    const auto& cpus = cpuCatalogue();
    const auto& mods = moduleCatalogue();
    EXPECT_EQ(cpus[8].name, "CPU 226双口DC/DC/DC,24DI/16DO");
    EXPECT_EQ(cpus[3].name, "CPU 222 AC_DC_RELEY,8DI/6DO");
    EXPECT_NE(cpus[2].name, cpus[3].name);
    for (int i = 0; i < kCpuCount; ++i) {
        EXPECT_EQ(cpus[i].id, i);
        EXPECT_EQ(cpus[i].analogInputs + cpus[i].analogOutputs, 0);
    }
    EXPECT_EQ(cpus[0].maxModules, 0);
    EXPECT_EQ(cpus[3].maxModules, 2);
    EXPECT_EQ(cpus[6].ports, 2);
    EXPECT_EQ(mods[0].name, "No Any Module");
    EXPECT_EQ(mods[22].name, "EM235 4AI/1AO");
    EXPECT_EQ(moduleIndexOfType(70), 22);
    EXPECT_EQ(moduleIndexOfType(41), -1);
    EXPECT_EQ(moduleIndexOfType(0), 0);
}

TEST(RackStartUp, IsCpu226WithEmptySlots) {
    Rack r;
    EXPECT_EQ(r.hw.cpuIndex(), kDefaultCpu);
    for (int s = 0; s < 7; ++s) EXPECT_EQ(r.hw.moduleIndex(s), 0);
    EXPECT_EQ(r.hw.cpu().inputLast, 23);
    EXPECT_EQ(r.hw.cpu().outputLast, 15);
    EXPECT_EQ(r.notified, 0);
}

TEST(RackAllocation, TheWrittenExample) {
    Rack r;
    ASSERT_EQ(r.hw.chooseCpu(4), RackChange::Applied);
    r.modules({k8DioDC, kEm235, k2Pt100});
    const auto& cpu = r.hw.cpu();
    EXPECT_EQ(cpu.inputFirst, 0);
    EXPECT_EQ(cpu.inputLast, 15);
    EXPECT_EQ(cpu.outputLast, 15);
    const auto& m1 = r.hw.module(0);
    EXPECT_EQ(m1.inputFirst, 16);  // I2.0
    EXPECT_EQ(m1.inputLast, 23);
    EXPECT_EQ(m1.outputFirst, 16);  // Q2.0
    EXPECT_EQ(m1.analogInputLast, m1.analogInputFirst - 1);
    const auto& m2 = r.hw.module(1);
    EXPECT_EQ(m2.inputLast, m2.inputFirst - 1);
    EXPECT_EQ(m2.analogInputFirst, 0);  // AIW0 to AIW6
    EXPECT_EQ(m2.analogInputLast, 3);
    EXPECT_EQ(m2.analogOutputFirst, 0);  // AQW0, channel 1 reserved
    EXPECT_EQ(m2.analogOutputLast, 1);
    const auto& m3 = r.hw.module(2);
    EXPECT_EQ(m3.analogInputFirst, 4);  // AIW8, AIW10, channels 6 and 7 reserved
    EXPECT_EQ(m3.analogInputLast, 7);
    std::vector<AnalogChannelOwner> expected{{2, 0}, {2, 1}, {2, 2}, {2, 3}, {3, 0}, {3, 1}, {-1, -1}, {-1, -1}};
    for (int c = 0; c < 8; ++c) EXPECT_EQ(r.hw.analogInputOwner(c), expected[c]) << c;
    for (int c = 8; c < 64; ++c) EXPECT_EQ(r.hw.analogInputOwner(c), AnalogChannelOwner{}) << c;
    // I1.6 and I1.7 exist but carry no input point.
    EXPECT_EQ(r.hw.inputOwner(13), 0);
    EXPECT_EQ(r.hw.inputOwner(14), -1);
    EXPECT_EQ(r.hw.inputOwner(16), 1);
    EXPECT_EQ(r.hw.analogOutputOwner(0), 2);
    EXPECT_EQ(r.hw.analogOutputOwner(1), -1);
}

TEST(RackAllocation, OneChannelOutputModuleReservesTwoChannels) {
    Rack r;
    r.modules({kEm235, k2AO});
    EXPECT_EQ(r.hw.module(1).analogOutputFirst, 2);  // AQW4
    EXPECT_EQ(r.hw.module(1).analogOutputLast, 3);
}

struct CpuSlots {
    int cpu;
    int usable;
};
class CpuChoice : public ::testing::TestWithParam<CpuSlots> {};

TEST_P(CpuChoice, EmptiesAndDisablesTheSlotsBeyondItsCapacity) {
    Rack r;
    r.modules({k8DI, k8DI, k8DI, k8DI});
    ASSERT_EQ(r.hw.chooseCpu(GetParam().cpu), RackChange::Applied);
    for (int s = 0; s < 7; ++s) {
        EXPECT_EQ(r.hw.slotUsable(s), s < GetParam().usable) << s;
        EXPECT_EQ(r.hw.moduleIndex(s), s < std::min(4, GetParam().usable) ? k8DI : 0) << s;
    }
    if (GetParam().usable < 7) {
        EXPECT_EQ(r.hw.chooseModule(GetParam().usable, k8DI), RackChange::RefusedNoSlot);
    }
}
INSTANTIATE_TEST_SUITE_P(Models, CpuChoice,
                         ::testing::Values(CpuSlots{0, 0}, CpuSlots{1, 0}, CpuSlots{2, 2}, CpuSlots{3, 2},
                                           CpuSlots{4, 7}, CpuSlots{9, 7}));

TEST(ModuleChoice, RemovingClosesTheGapAndKeepsSettings) {
    Rack r;
    r.hw.chooseCpu(4);
    r.modules({k8DioDC, k16DI, kEm235});
    r.hw.moduleRecord(2).inputRange = 6;
    r.notified = 0;
    ASSERT_EQ(r.hw.chooseModule(0, 0), RackChange::Applied);
    EXPECT_EQ(r.hw.moduleIndex(0), k16DI);
    EXPECT_EQ(r.hw.moduleIndex(1), kEm235);
    EXPECT_EQ(r.hw.moduleIndex(2), 0);
    EXPECT_EQ(r.hw.module(1).inputRange, 6);
    EXPECT_EQ(r.hw.module(0).inputFirst, 16);  // right after the CPU's last byte
    EXPECT_EQ(r.hw.analogInputOwner(0), (AnalogChannelOwner{2, 0}));
    EXPECT_EQ(r.notified, 1);
}

TEST(ModuleChoice, SameModuleChangesNothing) {
    Rack r;
    r.modules({kEm235});
    r.hw.moduleRecord(0).inputRange = 7;
    r.notified = 0;
    EXPECT_EQ(r.hw.chooseModule(0, kEm235), RackChange::Unchanged);
    EXPECT_EQ(r.hw.module(0).inputRange, 7);
    EXPECT_EQ(r.notified, 0);
    // A new placement of the same module after removal starts with zero settings.
    r.hw.chooseModule(0, 0);
    r.hw.chooseModule(0, kEm235);
    EXPECT_EQ(r.hw.module(0).inputRange, 0);
}

TEST(ModuleChoice, BehindAnEmptySlotIsRefused) {
    Rack r;
    r.modules({k8DI});
    EXPECT_EQ(r.hw.chooseModule(2, k8DI), RackChange::RefusedEarlierSlotEmpty);
    EXPECT_EQ(r.prompt.informed, std::vector<std::string>{kMsgEarlierSlotEmpty});
    EXPECT_EQ(r.hw.moduleIndex(2), 0);
}

TEST(ModuleChoice, UnknownTypeCodeEmptiesTheSlotWithoutAGap) {
    Rack r;
    r.modules({k8DI, k16DI});
    EXPECT_EQ(r.hw.chooseModuleType(0, 41), RackChange::Applied);
    EXPECT_EQ(r.hw.moduleIndex(0), k16DI);
    EXPECT_EQ(r.hw.moduleIndex(1), 0);
}

TEST(RackWhileRunning, RefusesEveryChangeWithItsMessage) {
    Rack r;
    r.modules({k8DI});
    r.running = true;
    r.notified = 0;
    EXPECT_EQ(r.hw.chooseCpu(4), RackChange::RefusedRunning);
    EXPECT_EQ(r.hw.chooseModule(0, k16DI), RackChange::RefusedRunning);
    EXPECT_EQ(r.hw.chooseModule(0, 0), RackChange::RefusedRunning);
    EXPECT_EQ(r.hw.chooseCpu(8), RackChange::Unchanged);
    EXPECT_EQ(r.hw.chooseModule(1, 0), RackChange::Unchanged);
    EXPECT_EQ(r.prompt.informed,
              (std::vector<std::string>{kMsgCpuWhileRunning, kMsgModuleWhileRunning, kMsgModuleWhileRunning}));
    EXPECT_EQ(r.hw.cpuIndex(), 8);
    EXPECT_EQ(r.hw.moduleIndex(0), k8DI);
    EXPECT_EQ(r.notified, 0);
}

TEST(RackCapacity, MoreThan128InputBitsIsRefusedAndLeavesTheRack) {
    Rack r;
    ASSERT_EQ(r.hw.chooseCpu(4), RackChange::Applied);
    r.modules({k16DI, k16DI, k16DI, k16DI, k16DI, k16DI, k16DI});  // 16 + 112 = 128 bits
    EXPECT_EQ(r.hw.module(6).inputLast, 127);
    const auto before = r.hw.positions();
    r.notified = 0;
    EXPECT_EQ(r.hw.chooseCpu(8), RackChange::RefusedCapacity);  // 24 + 112 bits
    EXPECT_EQ(r.prompt.informed, std::vector<std::string>{kMsgRackCapacity});
    EXPECT_EQ(r.hw.positions(), before);
    EXPECT_EQ(r.notified, 0);
}

TEST(RackCapacity, MoreThan32AnalogInputChannelsIsRefused) {
    Rack r;
    r.modules({k8AI, k8AI, k8AI, k8AI});
    EXPECT_EQ(r.hw.chooseModule(4, k8AI), RackChange::RefusedCapacity);
    EXPECT_EQ(r.hw.moduleIndex(4), 0);
    EXPECT_EQ(r.hw.analogInputOwner(31), (AnalogChannelOwner{4, 7}));
    // Outputs: seven 4AO modules need 28 channels, which fits.
    Rack o;
    o.modules({k4AO, k4AO, k4AO, k4AO, k4AO, k4AO, k4AO});
    EXPECT_EQ(o.hw.module(6).analogOutputLast, 27);
}

TEST(RackNotification, UnsubscribedCallbacksAreNotCalled) {
    Rack r;
    int second = 0;
    const auto id = r.hw.subscribe([&] { ++second; });
    r.modules({k8DI});
    r.hw.unsubscribe(id);
    r.hw.chooseModule(1, k8DI);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(r.notified, 2);
}

}  // namespace
