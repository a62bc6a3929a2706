#include "hardware/catalogue.h"

namespace korvane {

namespace {

CatalogueEntry cpu(const char* name, int index, int di, int dout, int vBytes, int maxModules, int pots, int ports) {
    CatalogueEntry e;
    e.name = name;
    e.id = index;
    e.digitalInputs = di;
    e.digitalOutputs = dout;
    e.vMemoryBytes = vBytes;
    e.maxModules = maxModules;
    e.potentiometers = pots;
    e.ports = static_cast<std::int16_t>(ports);
    return e;
}

CatalogueEntry module(const char* name, int type, int di, int dout, int ai, int ao) {
    CatalogueEntry e;
    e.name = name;
    e.id = type;
    e.digitalInputs = di;
    e.digitalOutputs = dout;
    e.analogInputs = ai;
    e.analogOutputs = ao;
    return e;
}

}  // namespace

const std::array<CatalogueEntry, kCpuCount>& cpuCatalogue() {
    // Even indexes have DC outputs, odd ones relay outputs.
    static const std::array<CatalogueEntry, kCpuCount> list{
        cpu("CPU 221 DC/DC/DC,6DI/4DO", 0, 6, 4, 2048, 0, 1, 1),
        cpu("CPU 221 AC_DC_RELEY,6DI/4DO", 1, 6, 4, 2048, 0, 1, 1),
        cpu("CPU 222 DC/DC/DC,8DI/6DO", 2, 8, 6, 2048, 2, 1, 1),
        cpu("CPU 222 AC_DC_RELEY,8DI/6DO", 3, 8, 6, 2048, 2, 1, 1),
        cpu("CPU 224 DC/DC/DC,14DI/10DO", 4, 14, 10, 8192, 7, 2, 1),
        cpu("CPU 224 AC_DC_RELEY,14DI/10DO", 5, 14, 10, 8192, 7, 2, 1),
        cpu("CPU 224双口 DC/DC/DC,14DI/10DO", 6, 14, 10, 10240, 7, 2, 2),
        cpu("CPU 224双口 AC_DC_RELEY,14DI/10DO", 7, 14, 10, 10240, 7, 2, 2),
        cpu("CPU 226双口DC/DC/DC,24DI/16DO", 8, 24, 16, 10240, 7, 2, 2),
        cpu("CPU 226双口 AC_DC_RELEY,24DI/16DO", 9, 24, 16, 10240, 7, 2, 2),
    };
    return list;
}

const std::array<CatalogueEntry, kModuleCount>& moduleCatalogue() {
    static const std::array<CatalogueEntry, kModuleCount> list{
        module("No Any Module", 0, 0, 0, 0, 0),   module("EM221 8DI DC", 20, 8, 0, 0, 0),
        module("EM221 8DI AC", 21, 8, 0, 0, 0),   module("EM221 16DI DC", 22, 16, 0, 0, 0),
        module("EM222 4DO DC", 30, 0, 4, 0, 0),   module("EM222 4DO REL", 31, 0, 4, 0, 0),
        module("EM222 8DO DC", 32, 0, 8, 0, 0),   module("EM222 8DO AC", 33, 0, 8, 0, 0),
        module("EM222 8DO REL", 34, 0, 8, 0, 0),  module("EM223 4DioDC", 40, 4, 4, 0, 0),
        module("EM223 8DioDC", 42, 8, 8, 0, 0),   module("EM223 8DioREL", 43, 8, 8, 0, 0),
        module("EM223 16DioDC", 44, 16, 16, 0, 0), module("EM223 16DioREL", 45, 16, 16, 0, 0),
        module("EM232 4AI", 50, 0, 0, 4, 0),      module("EM232 8AI", 51, 0, 0, 8, 0),
        module("EM232 2Pt100", 52, 0, 0, 2, 0),   module("EM232 4Pt100", 53, 0, 0, 4, 0),
        module("EM232 4RTC", 54, 0, 0, 4, 0),     module("EM232 8RTC", 55, 0, 0, 8, 0),
        module("EM232 2AO", 61, 0, 0, 0, 2),      module("EM232 4AO", 62, 0, 0, 0, 4),
        module("EM235 4AI/1AO", 70, 0, 0, 4, 1),
    };
    return list;
}

int moduleIndexOfType(int typeCode) {
    const auto& list = moduleCatalogue();
    for (int i = 0; i < kModuleCount; ++i)
        if (list[i].id == typeCode) return i;
    return -1;
}

}  // namespace korvane
