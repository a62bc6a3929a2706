#include "hardware/hardware_config.h"

#include <algorithm>

namespace korvane {

namespace {

int roundUp(int x, int to) { return (x + to - 1) / to * to; }

CatalogueEntry emptySlot() { return moduleCatalogue()[0]; }

}  // namespace

HardwareConfig::HardwareConfig(Prompt* prompt, std::function<bool()> running)
    : prompt_(prompt), running_(std::move(running)) {
    records_[0] = cpuCatalogue()[kDefaultCpu];
    for (int i = 1; i < kRecordCount; ++i) records_[i] = emptySlot();
    allocate();
}

int HardwareConfig::moduleIndex(int slot) const {
    const int index = moduleIndexOfType(module(slot).id);
    return index < 0 ? 0 : index;
}

std::array<int, HardwareConfig::kRecordCount> HardwareConfig::positions() const {
    std::array<int, kRecordCount> p{};
    p[0] = cpuIndex();
    for (int s = 0; s < kSlotCount; ++s) p[s + 1] = moduleIndex(s);
    return p;
}

AnalogChannelOwner HardwareConfig::analogInputOwner(int channel) const {
    if (channel < 0 || channel >= kOwnerTableSize) return {};
    return owner_[channel];
}

int HardwareConfig::inputOwner(int bitNumber) const {
    for (int i = 0; i < kRecordCount; ++i) {
        const CatalogueEntry& r = records_[i];
        if (bitNumber >= r.inputFirst && bitNumber < r.inputFirst + r.digitalInputs) return i;
    }
    return -1;
}

int HardwareConfig::outputOwner(int bitNumber) const {
    for (int i = 0; i < kRecordCount; ++i) {
        const CatalogueEntry& r = records_[i];
        if (bitNumber >= r.outputFirst && bitNumber < r.outputFirst + r.digitalOutputs) return i;
    }
    return -1;
}

int HardwareConfig::analogOutputOwner(int channel) const {
    for (int i = 1; i < kRecordCount; ++i) {
        const CatalogueEntry& r = records_[i];
        if (channel >= r.analogOutputFirst && channel < r.analogOutputFirst + r.analogOutputs) return i;
    }
    return -1;
}

HardwareConfig::Usage HardwareConfig::usage(const std::array<CatalogueEntry, kRecordCount>& records) {
    Usage u;
    for (int i = 0; i < kRecordCount; ++i) {
        u.inputBits += roundUp(std::max(0, records[i].digitalInputs), 8);
        u.outputBits += roundUp(std::max(0, records[i].digitalOutputs), 8);
        if (i == 0) continue;  // the CPU has no analog channels
        u.analogInputs += roundUp(std::max(0, records[i].analogInputs), 4);
        u.analogOutputs += roundUp(std::max(0, records[i].analogOutputs), 2);
    }
    return u;
}

void HardwareConfig::allocate(std::array<CatalogueEntry, kRecordCount>& records,
                              std::array<AnalogChannelOwner, kOwnerTableSize>& owner) {
    owner.fill(AnalogChannelOwner{});
    int nextIn = 0, nextOut = 0, nextAi = 0, nextAo = 0;
    for (int i = 0; i < kRecordCount; ++i) {
        CatalogueEntry& r = records[i];
        r.inputFirst = nextIn;
        r.inputLast = nextIn + roundUp(r.digitalInputs, 8) - 1;
        nextIn = r.inputLast + 1;
        r.outputFirst = nextOut;
        r.outputLast = nextOut + roundUp(r.digitalOutputs, 8) - 1;
        nextOut = r.outputLast + 1;
        if (i == 0) {
            r.analogInputFirst = r.analogInputLast = 0;
            r.analogOutputFirst = r.analogOutputLast = 0;
            continue;
        }
        r.analogInputFirst = nextAi;
        r.analogInputLast = nextAi + roundUp(r.analogInputs, 4) - 1;
        nextAi = r.analogInputLast + 1;
        for (int c = r.analogInputFirst; c <= r.analogInputLast; ++c) {
            // Channels beyond the 32 the image holds are never owned (such a rack is refused
            // before it is installed; the bound keeps the table safe while a file loads).
            if (c < 0 || c >= kMaxAnalogChannels) continue;
            if (c - r.analogInputFirst < r.analogInputs) owner[c] = AnalogChannelOwner{i, c - r.analogInputFirst};
        }
        r.analogOutputFirst = nextAo;
        r.analogOutputLast = nextAo + roundUp(r.analogOutputs, 2) - 1;
        nextAo = r.analogOutputLast + 1;
    }
}

RackChange HardwareConfig::commit(std::array<CatalogueEntry, kRecordCount>& candidate) {
    if (!loading_ && !usage(candidate).fits()) {
        inform(kMsgRackCapacity);
        return RackChange::RefusedCapacity;
    }
    records_ = candidate;
    allocate();
    if (!loading_) notify();
    return RackChange::Applied;
}

RackChange HardwareConfig::chooseCpu(int cpuIndex) {
    if (cpuIndex < 0 || cpuIndex >= kCpuCount) return RackChange::RefusedInvalid;
    if (running() && cpuIndex != records_[0].id) {
        inform(kMsgCpuWhileRunning);
        return RackChange::RefusedRunning;
    }
    if (cpuIndex == records_[0].id) return RackChange::Unchanged;
    auto candidate = records_;
    candidate[0] = cpuCatalogue()[cpuIndex];
    // The slots beyond the new CPU's expansion capacity are emptied.
    for (int s = kSlotCount - 1; s >= candidate[0].maxModules; --s) candidate[s + 1] = emptySlot();
    return commit(candidate);
}

RackChange HardwareConfig::chooseModule(int slot, int moduleIndex) {
    if (slot < 0 || slot >= kSlotCount || moduleIndex < 0 || moduleIndex >= kModuleCount)
        return RackChange::RefusedInvalid;
    return chooseModuleType(slot, moduleCatalogue()[moduleIndex].id);
}

RackChange HardwareConfig::chooseModuleType(int slot, int typeCode) {
    if (slot < 0 || slot >= kSlotCount) return RackChange::RefusedInvalid;
    const int index = moduleIndexOfType(typeCode);
    const int t = index < 0 ? 0 : typeCode;  // an unknown type code empties the slot
    const int record = slot + 1;
    if (running() && t != records_[record].id) {
        inform(kMsgModuleWhileRunning);
        return RackChange::RefusedRunning;
    }
    if (t == records_[record].id) return RackChange::Unchanged;
    if (!slotUsable(slot)) return RackChange::RefusedNoSlot;
    for (int j = 1; j < record; ++j) {
        if (records_[j].id == 0) {
            inform(kMsgEarlierSlotEmpty);
            return RackChange::RefusedEarlierSlotEmpty;
        }
    }
    auto candidate = records_;
    if (t == 0) {
        // Removal closes the gap: the modules behind move up one slot, settings included.
        for (int j = record; j < kSlotCount; ++j) candidate[j] = candidate[j + 1];
        candidate[kSlotCount] = emptySlot();
    } else {
        candidate[record] = moduleCatalogue()[index];
    }
    return commit(candidate);
}

bool HardwareConfig::applyPositions(const std::array<int, kRecordCount>& positions) {
    const auto before = records_;
    loading_ = true;
    chooseCpu(positions[0]);
    bool complete = true, noSlotTold = false;
    for (int s = 0; s < kSlotCount; ++s) {
        switch (chooseModule(s, positions[s + 1])) {
        case RackChange::Applied:
        case RackChange::Unchanged: break;
        case RackChange::RefusedNoSlot:
            // The slots past the CPU's last are all refused alike: one message.
            if (!noSlotTold) inform(kMsgNoSuchSlot);
            noSlotTold = true;
            complete = false;
            break;
        default: complete = false; break;
        }
    }
    loading_ = false;
    bool fits = usage(records_).fits();
    if (!fits) {
        records_ = before;
        inform(kMsgRackCapacity);
    }
    allocate();
    notify();
    return fits && complete;
}

HardwareConfig::Subscription HardwareConfig::subscribe(std::function<void()> onChange) {
    const Subscription id = nextSubscription_++;
    subscribers_.emplace_back(id, std::move(onChange));
    return id;
}

void HardwareConfig::unsubscribe(Subscription id) {
    std::erase_if(subscribers_, [id](const auto& s) { return s.first == id; });
}

void HardwareConfig::notify() const {
    // A copy, so that a subscriber may subscribe or unsubscribe while being told.
    const auto subscribers = subscribers_;
    for (const auto& s : subscribers)
        if (s.second) s.second();
}

}  // namespace korvane
