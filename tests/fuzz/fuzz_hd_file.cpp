// Hardware configuration files from arbitrary bytes: parsing never crashes, an accepted
// record holds list positions only, and applying it keeps the rack's rules (no gaps, no
// module beyond the CPU's slots, allocation inside the image).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hardware/hardware_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto record = parseHardwareRecord(text);
    if (!record) return 0;
    if ((*record)[0] < 0 || (*record)[0] >= kCpuCount) __builtin_trap();
    for (int i = 1; i < 8; ++i)
        if ((*record)[i] < 0 || (*record)[i] >= kModuleCount) __builtin_trap();
    AutoPrompt prompt;
    HardwareConfig hw(&prompt);
    // Start from a full rack so that loading must also remove and shrink.
    hw.chooseCpu(4);
    for (int s = 0; s < 7; ++s) hw.chooseModule(s, 12);
    hw.applyPositions(*record);
    bool empty = false;
    for (int s = 0; s < 7; ++s) {
        const CatalogueEntry& m = hw.module(s);
        if (m.id != 0 && (empty || !hw.slotUsable(s))) __builtin_trap();
        if (m.id == 0) empty = true;
    }
    const auto u = HardwareConfig::usage(hw.records());
    if (!u.fits()) __builtin_trap();
    for (const CatalogueEntry& r : hw.records())
        if (r.inputLast > 127 || r.outputLast > 127 || r.analogInputLast > 31 || r.analogOutputLast > 31)
            __builtin_trap();
    if (parseHardwareRecord(formatHardwareRecord(hw.positions())) != hw.positions()) __builtin_trap();
    return 0;
}
