#pragma once
// The module rack: the CPU in record 0 and expansion slots M1 to M7 in records 1 to 7, the
// two choice handlers with their refusals, and the I/O allocation computed from the records.
// Slots are filled from M1 upward without gaps; the configuration never changes while the
// simulated CPU runs. Views and the object link subscribe to changes.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "hardware/catalogue.h"
#include "platform/prompt.h"

namespace korvane {

inline constexpr const char* kMsgCpuWhileRunning = "PLC运行中，不能改变CPU模块！";
inline constexpr const char* kMsgModuleWhileRunning = "PLC运行中，不能改变IO模块！";
inline constexpr const char* kMsgEarlierSlotEmpty = "前面的位置没有模块，不能在这里增加模块";
inline constexpr const char* kMsgNoSuchSlot = "该CPU没有这个扩展位置，不能在这里增加模块";
inline constexpr const char* kMsgRackCapacity =
    "I/O地址超出范围（数字量输入、输出各最多128点，模拟量输入、输出各最多32通道），不能使用该配置";

// The owner of one analog input channel: slot 1 to 7 and the channel's index within the
// module (0 based), or -1 and -1 for a channel that no module provides.
struct AnalogChannelOwner {
    std::int32_t slot = -1;
    std::int32_t index = -1;
    bool operator==(const AnalogChannelOwner&) const = default;
};

// What a choice handler did.
enum class RackChange {
    Applied,                // the rack changed, was re-allocated and subscribers were told
    Unchanged,              // the choice equals what is configured
    RefusedRunning,         // the CPU runs: message shown, the list should snap back
    RefusedEarlierSlotEmpty,// a module behind an empty slot: message shown
    RefusedNoSlot,          // the slot is beyond the CPU's expansion slots (list disabled)
    RefusedCapacity,        // more I/O than the image has: message shown
    RefusedInvalid,         // a list position outside the catalogue
};

class HardwareConfig {
public:
    static constexpr int kSlotCount = 7;
    static constexpr int kRecordCount = 8;
    static constexpr int kMaxDigitalBits = 128;    // I0.0 to I15.7, Q0.0 to Q15.7
    static constexpr int kMaxAnalogChannels = 32;  // AIW0 to AIW62, AQW0 to AQW62
    static constexpr int kOwnerTableSize = 64;

    // The start-up rack: CPU 226 with DC outputs, every slot empty, allocated.
    explicit HardwareConfig(Prompt* prompt = nullptr, std::function<bool()> running = {});

    void setPrompt(Prompt* prompt) { prompt_ = prompt; }
    void setRunningQuery(std::function<bool()> running) { running_ = std::move(running); }

    // --- the choice handlers ---------------------------------------------------------
    // The CPU list's choice (cpuIndex = list position = catalogue index). After a refusal
    // the list shows cpuIndex() again.
    RackChange chooseCpu(int cpuIndex);
    // Module list of slot n (0 = M1 ... 6 = M7), moduleIndex = list position (catalogue
    // index, 0 = "No Any Module" empties the slot and closes the gap). After a refusal the
    // list shows moduleIndex(slot) again.
    RackChange chooseModule(int slot, int moduleIndex);
    // The same by module type code; a code that no module has empties the slot.
    RackChange chooseModuleType(int slot, int typeCode);

    // The configuration file's record: CPU position then the positions of M1 to M7, applied
    // through the choice handlers in that order. The capacity limits are checked on the
    // final rack only; when it exceeds them the rack is restored and the message shown.
    // A module the handlers refuse is left out with their message (a module behind an empty
    // slot); one in a slot the CPU does not have shows kMsgNoSuchSlot, once.
    // Subscribers are told once at the end, whatever happened. False when refused for
    // capacity or when a module of the record was left out.
    bool applyPositions(const std::array<int, kRecordCount>& positions);
    // The current list positions (what the file stores).
    std::array<int, kRecordCount> positions() const;

    // --- reading the rack -----------------------------------------------------------
    const CatalogueEntry& record(int i) const { return records_.at(static_cast<std::size_t>(i)); }
    const CatalogueEntry& cpu() const { return records_[0]; }
    const CatalogueEntry& module(int slot) const { return records_.at(static_cast<std::size_t>(slot) + 1); }
    // FormAConfig's close stores the analog settings here.
    CatalogueEntry& moduleRecord(int slot) { return records_.at(static_cast<std::size_t>(slot) + 1); }
    const std::array<CatalogueEntry, kRecordCount>& records() const { return records_; }
    int cpuIndex() const { return records_[0].id; }
    int moduleIndex(int slot) const;
    // Whether slot n's list is enabled (n below the CPU's max modules).
    bool slotUsable(int slot) const { return slot >= 0 && slot < records_[0].maxModules; }
    int vMemoryBytes() const { return records_[0].vMemoryBytes; }

    // Channel table: entries 0 to 31 follow the allocation, 32 to 63 are always "none".
    const std::array<AnalogChannelOwner, kOwnerTableSize>& AnalogInputOwner() const { return owner_; }
    AnalogChannelOwner analogInputOwner(int channel) const;

    // Which slot (0 = CPU, 1 to 7) owns an input bit, an output bit or an analog output
    // channel; -1 for a spare bit or an unallocated channel.
    int inputOwner(int bitNumber) const;
    int outputOwner(int bitNumber) const;
    int analogOutputOwner(int channel) const;

    // Recomputes every allocation field and the channel table.
    void allocate() { allocate(records_, owner_); }

    // Totals a rack would use: input bits, output bits, analog input and output channels.
    struct Usage {
        int inputBits = 0, outputBits = 0, analogInputs = 0, analogOutputs = 0;
        bool fits() const {
            return inputBits <= kMaxDigitalBits && outputBits <= kMaxDigitalBits &&
                   analogInputs <= kMaxAnalogChannels && analogOutputs <= kMaxAnalogChannels;
        }
    };
    static Usage usage(const std::array<CatalogueEntry, kRecordCount>& records);

    // --- change notification ---------------------------------------------------------
    using Subscription = int;
    Subscription subscribe(std::function<void()> onChange);
    void unsubscribe(Subscription id);
    // Tells every subscriber that the rack may have changed (the load command does so
    // whether or not a file was chosen).
    void notify() const;

private:
    static void allocate(std::array<CatalogueEntry, kRecordCount>& records,
                         std::array<AnalogChannelOwner, kOwnerTableSize>& owner);
    bool running() const { return running_ && running_(); }
    void inform(const char* message) const {
        if (prompt_) prompt_->inform(message);
    }
    // Installs a new rack: capacity check (unless loading), allocation, notification.
    RackChange commit(std::array<CatalogueEntry, kRecordCount>& candidate);

    std::array<CatalogueEntry, kRecordCount> records_{};
    std::array<AnalogChannelOwner, kOwnerTableSize> owner_{};
    Prompt* prompt_ = nullptr;
    std::function<bool()> running_;
    bool loading_ = false;
    std::vector<std::pair<Subscription, std::function<void()>>> subscribers_;
    Subscription nextSubscription_ = 1;
};

}  // namespace korvane
