// Arbitrary bytes as an STL program, converted to ladder diagrams and rendered as text, with
// the reader's line map and with none. Nothing may crash or hang, and every element and link
// lies inside its network's grid, on a code-table line that exists.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/code_table.h"
#include "loader/ladder_graph.h"
#include "loader/stl_reader.h"
#include "loader/text_encoding.h"

namespace {

void checkGrid(const korvane::ladder::Program& p, std::size_t lines) {
    using namespace korvane::ladder;
    for (const Block& b : p.blocks) {
        for (const Network& n : b.networks) {
            if (!n.drawable && (!n.elements.empty() || n.reason.empty())) __builtin_trap();
            for (const Element& e : n.elements) {
                if (e.row < 0 || e.col < 0 || e.width < 1 || e.height < 1) __builtin_trap();
                if (e.row + e.height > n.rows || e.col + e.width > n.cols) __builtin_trap();
                if (e.line >= static_cast<int>(lines)) __builtin_trap();
                for (const Pin& pin : e.inputs)
                    if (pin.row < 1 || pin.row >= e.height) __builtin_trap();
            }
            for (const Link& l : n.links)
                if (l.col < 1 || l.col > n.cols || l.fromRow < 0 || l.fromRow >= l.toRow || l.toRow >= n.rows)
                    __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    Program prog;
    StlReader reader;
    Log log;
    reader.loadText(bytes, prog, log);
    const std::string text = toUtf8(bytes);
    const ladder::Program withLines = ladder::convertToLadder(text, reader.fileLines);
    checkGrid(withLines, reader.fileLines.size());
    (void)ladder::renderLadderText(withLines);
    const ladder::Program without = ladder::convertToLadder(text, {});
    checkGrid(without, 0);
    (void)ladder::renderLadderText(without);
    return 0;
}
