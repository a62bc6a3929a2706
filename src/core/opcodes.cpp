#include "core/opcodes.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace korvane {

Op opcodeOf(std::string_view mnemonic) {
    static const std::unordered_map<std::string_view, Op> table = [] {
        std::unordered_map<std::string_view, Op> t;
        for (std::size_t i = 0; i < kOpCount; ++i) {
            auto op = static_cast<Op>(i);
            if (op != Op::Unknown) t.emplace(kOpInfo[i].mnemonic, op);
        }
        return t;
    }();
    auto it = table.find(mnemonic);
    return it == table.end() ? Op::Unknown : it->second;
}

}  // namespace korvane
