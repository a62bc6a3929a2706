#include "hardware/analog_settings.h"

#include <cmath>

#include "core/fault.h"

namespace korvane {

namespace {

constexpr const char* kNoInput = "没有输入";
constexpr const char* kNoOutput = "没有输出";

const char* voltageText(int code, int typeCode) {
    switch (code) {
    case 0: return "0V~10V单极性";
    case 1: return "0V~5V单极性";
    case 2: return "0V~1V单极性";
    case 3: return "0V~500mV单极性";
    case 4: return "0V~100mV单极性";
    case 5: return "0V~50mV单极性";
    case 6: return "-10V~10V双极性";
    case 7: return "-5V~5V双极性";
    case 8: return "-1V~1V双极性";
    case 9: return "-500mV~500mV双极性";
    case 10: return typeCode == 70 ? "-250mV~250mV双极性" : "-2.5V~2.5V双极性";
    case 11: return "-100mV~100mV双极性";
    case 12: return "-50mV~50mV双极性";
    case 13: return "-25mV~25mV双极性";
    case 14: return "0~20mA电流";
    default: return "";
    }
}

std::vector<RangeEntry> voltageList(std::initializer_list<int> codes, int typeCode) {
    std::vector<RangeEntry> list;
    for (int c : codes) list.push_back({c, voltageText(c, typeCode)});
    return list;
}

std::vector<RangeEntry> analogOutputList() { return {{6, "-10V~10V输出双极性"}, {14, "0mA~20mA电流"}}; }

std::vector<RangeEntry> thermocoupleList() {
    static const char* const names[] = {"J型热电偶", "K型热电偶", "T型热电偶", "E型热电偶",
                                        "R型热电偶", "S型热电偶", "N型热电偶", "-80mV_80mV热电偶"};
    std::vector<RangeEntry> list;
    for (int i = 0; i < 8; ++i) list.push_back({201 + i, names[i]});
    return list;
}

int findCode(const std::vector<RangeEntry>& list, int code) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].code == code) return static_cast<int>(i);
    return -1;
}

bool isCode(int typeCode, std::initializer_list<int> codes) {
    for (int c : codes)
        if (c == typeCode) return true;
    return false;
}

std::int16_t switchValue(bool checked) { return checked ? std::int16_t{-1} : std::int16_t{0}; }

}  // namespace

const std::vector<RangeEntry>& resistanceThermometerList() {
    static const std::vector<RangeEntry> list = [] {
        static const char* const sensors[] = {"Pt100,", "Pt200,", "Pt500,", "Pt1000,"};
        static const char* const coefficients[] = {"0.003850", "0.003920", "0.00385055", "0.003916", "0.003902"};
        std::vector<RangeEntry> l;
        for (int a = 0; a < 5; ++a)
            for (int s = 1; s <= 4; ++s)
                l.push_back({100 + 4 * a + s, std::string(sensors[s - 1]) + coefficients[a]});
        return l;
    }();
    return list;
}

std::vector<RangeEntry> inputRangeList(int typeCode) {
    switch (typeCode) {
    case 50:
    case 51: return voltageList({0, 1, 7, 10, 14}, typeCode);
    case 52:
    case 53: return resistanceThermometerList();
    case 54:
    case 55: return thermocoupleList();
    case 70: return voltageList({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, typeCode);
    default: return {{-1, kNoInput}};
    }
}

std::vector<RangeEntry> outputRangeList(int typeCode) {
    if (isCode(typeCode, {61, 62, 70})) return analogOutputList();
    return {{-1, kNoOutput}};
}

SwitchGroup switchGroupOf(int typeCode) {
    if (typeCode == 52 || typeCode == 53) return SwitchGroup::ResistanceThermometer;
    if (typeCode == 54 || typeCode == 55) return SwitchGroup::Thermocouple;
    return SwitchGroup::None;
}

AnalogSettingsForm AnalogSettingsForm::open(int moduleIndex, const CatalogueEntry& slot) {
    AnalogSettingsForm f;
    f.moduleIndex = moduleIndex;
    f.typeCode = slot.id;
    f.caption = slot.name + "设置";
    f.inputList = inputRangeList(f.typeCode);
    f.outputList = outputRangeList(f.typeCode);
    const bool voltageInputs = isCode(f.typeCode, {50, 51, 70});
    const bool hasOutputs = isCode(f.typeCode, {61, 62, 70});
    int in = findCode(f.inputList, slot.inputRange);
    if (in < 0) in = voltageInputs ? static_cast<int>(f.inputList.size()) - 1 : 0;
    int out = findCode(f.outputList, slot.outputRange);
    if (out < 0) out = hasOutputs ? 1 : 0;
    f.inputSelected = in;
    f.outputSelected = out;
    f.group = switchGroupOf(f.typeCode);
    if (f.group == SwitchGroup::ResistanceThermometer) {
        f.groupTitle = "热电阻设置，选中为1";
        f.switches = {{"SW6，开路故障极限方向，0正极限3276.7,1负极限-3276.7", slot.switchA != 0},
                      {"SW7，测量单位，0摄氏度，1华氏度", slot.switchC != 0},
                      {"SW8，接线方式，0三线制，1两线制或四线制", slot.switchE != 0}};
    } else if (f.group == SwitchGroup::Thermocouple) {
        f.groupTitle = "热电偶设置，选中为1";
        f.switches = {{"SW5，开路故障极限方向，0正极限3276.7,1负极限-3276.7", slot.switchA != 0},
                      {"SW6，断线检测，0使能断线检测，1禁止断线检测", slot.switchB != 0},
                      {"SW7，测量单位，0摄氏度，1华氏度", slot.switchC != 0},
                      {"SW8，冷端补偿，0使能冷端补偿，1禁止冷端补偿", slot.switchD != 0}};
    }
    return f;
}

void AnalogSettingsForm::close(CatalogueEntry& slot) const {
    auto codeAt = [](const std::vector<RangeEntry>& list, int index) {
        if (index < 0 || index >= static_cast<int>(list.size())) return list.empty() ? -1 : list.front().code;
        return list[static_cast<std::size_t>(index)].code;
    };
    slot.inputRange = codeAt(inputList, inputSelected);
    slot.outputRange = codeAt(outputList, outputSelected);
    auto box = [this](std::size_t i) { return i < switches.size() && switches[i].checked; };
    slot.switchA = slot.switchB = slot.switchC = slot.switchD = slot.switchE = 0;
    if (group == SwitchGroup::ResistanceThermometer) {
        slot.switchA = switchValue(box(0));
        slot.switchC = switchValue(box(1));
        slot.switchE = switchValue(box(2));
    } else if (group == SwitchGroup::Thermocouple) {
        slot.switchA = switchValue(box(0));
        slot.switchB = switchValue(box(1));
        slot.switchC = switchValue(box(2));
        slot.switchD = switchValue(box(3));
    }
}

std::optional<std::string> signalClassOf(int inputRange) {
    if (inputRange < 6) return std::string("单极性电压");
    if (inputRange <= 13) return std::string("双极性电压");
    if (inputRange == 14) return std::string("单极性0-20mA电流");
    if (inputRange >= 100 && inputRange <= 199) return std::string("双极性热电阻");
    if (inputRange >= 200) return std::string("双极性热电偶");
    return std::nullopt;
}

std::int32_t milliampsToRaw(double milliamps) {
    if (std::isnan(milliamps)) return 6400;
    const double raw = roundEven((milliamps - 4.0) * 25600.0 / 16.0 + 6400.0);
    if (!(raw > 6400.0)) return 6400;
    if (raw > 32000.0) return 32000;
    return static_cast<std::int32_t>(raw);
}

double rawToMilliamps(double word) {
    double raw = word;
    if (std::isnan(raw) || raw < 6400.0) raw = 6400.0;
    if (raw > 65535.0) raw = 65535.0;
    return (raw - 6400.0) * 16.0 / 25600.0 + 4.0;
}

}  // namespace korvane
