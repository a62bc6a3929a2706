// Status tables from arbitrary bytes, as a table file (first byte even) or as pasted text
// (odd): loading never crashes, reading, rendering, writing and forcing stay inside the
// memory image, and a loaded table saved and loaded again gives the same rows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/status_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    if (size == 0) return 0;
    const bool paste = data[0] & 1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    StatusTable table;
    AutoPrompt prompt;
    bool loaded;
    if (paste) loaded = table.pasteSymbolTable(std::string(text), &prompt);
    else loaded = table.loadTableText(text);

    Log log;  // no sink
    PlcMemory mem(&log);
    table.toggleContinuous();
    table.FreshShow(mem);
    // Every row gets a new value taken from its own symbol text, written once and forced.
    for (std::size_t i = 0; i < table.size(); ++i) {
        table.enterNewValue(i, table.row(i).symbol);
        table.force(i);
    }
    table.pendingWriteStep(mem);
    table.forceStep(mem);
    table.FreshShow(mem);
    for (const StatusRow& r : table.rows()) {
        if (!r.valid) continue;
        if (r.key() < 0 || r.key() > area::LastCell) __builtin_trap();
        if (r.kind != rowkind::TimerCounter && r.key() + r.width() - 1 > area::LastCell) __builtin_trap();
    }

    if (!paste && loaded) {
        StatusTable again;
        if (!again.loadTableText(table.tableFileText())) __builtin_trap();
        if (again.size() != table.size()) __builtin_trap();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const StatusRow& a = table.row(i);
            const StatusRow& b = again.row(i);
            if (a.address != b.address || a.symbol != b.symbol || a.comment != b.comment || a.format != b.format ||
                a.forced != b.forced || a.valid != b.valid || a.newValue != b.newValue)
                __builtin_trap();
        }
    }
    return 0;
}
