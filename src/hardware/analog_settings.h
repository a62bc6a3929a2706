#pragma once
// Analog module settings (the model behind FormAConfig): the signal ranges offered per
// module type, the DIP switches of resistance-thermometer and thermocouple modules, what
// opening and closing the dialog show and store, the signal class the analog panel shows,
// and the 4 to 20 mA conversions used with a simulation object.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hardware/catalogue.h"

namespace korvane {

struct RangeEntry {
    std::int32_t code = 0;
    std::string text;
    bool operator==(const RangeEntry&) const = default;
};

// The input list ("输入类型") and output list ("输出类型") of a module type, in list order.
// Types without analog channels get the single "none" entry (code -1).
std::vector<RangeEntry> inputRangeList(int typeCode);
std::vector<RangeEntry> outputRangeList(int typeCode);

// The resistance-thermometer entries: code 100 + 4a + s for coefficient a = 0..4 and
// sensor s = 1..4 (Pt100, Pt200, Pt500, Pt1000), grouped by coefficient.
const std::vector<RangeEntry>& resistanceThermometerList();

enum class SwitchGroup { None, ResistanceThermometer, Thermocouple };
SwitchGroup switchGroupOf(int typeCode);

struct SwitchBox {
    std::string caption;
    bool checked = false;
};

// The dialog's state between opening and closing.
struct AnalogSettingsForm {
    int moduleIndex = 0;  // ModuleIndex: 0 for M1 ... 6 for M7
    int typeCode = 0;
    std::string caption;  // the module name followed by "设置"
    std::vector<RangeEntry> inputList;
    std::vector<RangeEntry> outputList;
    int inputSelected = 0;   // list index
    int outputSelected = 0;  // list index
    SwitchGroup group = SwitchGroup::None;
    std::string groupTitle;         // "热电阻设置，选中为1" / "热电偶设置，选中为1" / ""
    std::vector<SwitchBox> switches;  // RTD: SW6, SW7, SW8; thermocouple: SW5 to SW8

    // Dialog load for the slot's record.
    static AnalogSettingsForm open(int moduleIndex, const CatalogueEntry& slot);
    // The "关闭" button: stores the selected codes and the switches into the record.
    // Closing the dialog any other way simply drops the form.
    void close(CatalogueEntry& slot) const;
};

// The signal class of an input range code as the analog panel shows it; nullopt for the
// codes 15 to 99, which leave the panel's label as it was.
std::optional<std::string> signalClassOf(int inputRange);

// A 4 to 20 mA value from the object to the raw analog input word: rounded, limited to
// 6400 ... 32000 (a value that is not a number gives 6400).
std::int32_t milliampsToRaw(double milliamps);
// An analog output word (read as 0 ... 65535, raised to 6400 when below) to mA.
double rawToMilliamps(double word);

}  // namespace korvane
