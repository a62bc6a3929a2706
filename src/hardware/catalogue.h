#pragma once
// The fixed list of CPU models and expansion modules that can be put into the rack. Built
// once, read-only afterwards. A choice list position is a catalogue index; the hardware
// configuration file stores these positions.
#include <array>
#include <cstdint>
#include <string>

namespace korvane {

// One CPU or module. The rack (HardwareConfig) holds copies of these records with the
// allocation and analog settings fields filled in; fields that do not apply hold 0.
struct CatalogueEntry {
    std::string name;
    std::int32_t id = 0;  // CPU: catalogue index 0 to 9; module: type code, 0 = no module
    std::int32_t digitalInputs = 0;
    std::int32_t digitalOutputs = 0;
    std::int32_t analogInputs = 0;
    std::int32_t analogOutputs = 0;
    std::int32_t vMemoryBytes = 0;    // CPU only
    std::int32_t maxModules = 0;      // CPU only: usable expansion slots, 0 to 7
    std::int32_t potentiometers = 0;  // CPU only: 1 or 2
    std::int16_t ports = 0;           // CPU only: 1 or 2

    // I/O allocation (bit numbers; analog channel numbers, channel c is AIW(2c) / AQW(2c)).
    // A slot with no points of a kind has last = first - 1.
    std::int32_t inputFirst = 0, inputLast = -1;
    std::int32_t outputFirst = 0, outputLast = -1;
    std::int32_t analogInputFirst = 0, analogInputLast = -1;
    std::int32_t analogOutputFirst = 0, analogOutputLast = -1;

    // Analog module settings (FormAConfig); all zero when a module is placed in a slot.
    std::int32_t inputRange = 0;
    std::int32_t outputRange = 0;
    std::int16_t switchA = 0;  // resistance thermometer SW6; thermocouple SW5 (0 or -1)
    std::int16_t switchB = 0;  // thermocouple SW6
    std::int16_t switchC = 0;  // both kinds SW7
    std::int16_t switchD = 0;  // thermocouple SW8
    std::int16_t switchE = 0;  // resistance thermometer SW8
};

inline constexpr int kCpuCount = 10;
inline constexpr int kModuleCount = 23;
inline constexpr int kDefaultCpu = 8;  // "CPU 226双口DC/DC/DC,24DI/16DO", selected at start-up

const std::array<CatalogueEntry, kCpuCount>& cpuCatalogue();
const std::array<CatalogueEntry, kModuleCount>& moduleCatalogue();

// The catalogue index of the module with this type code; -1 when no module has it.
int moduleIndexOfType(int typeCode);

}  // namespace korvane
