// Data-block lines from arbitrary bytes: the analysis and the V-memory writes must neither
// crash nor touch anything outside the memory image, and the view text must build.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loader/data_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size() && lines.size() < DataBlock::kMaxLines) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    DataBlock db;
    db.setLines(std::move(lines));
    db.AnalyseDB();
    Log log;  // no sink: tobit's complaints go nowhere
    PlcMemory mem(&log);
    db.writeEntries(mem);
    for (const DbEntry& e : db.entries())
        if (e.Width != 0 && e.Width != 8 && e.Width != 16 && e.Width != 32) __builtin_trap();
    (void)db.buildViewText();
    try {
        (void)BinToLong(text.substr(0, 64));
    } catch (const PlcFault&) {
    }
    return 0;
}
