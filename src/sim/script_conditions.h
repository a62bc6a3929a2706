#pragma once
// Conditions of the runner's interval checks: addresses joined by '&' (and), '|' (or) and '!'
// (not), with parentheses; '&' binds tighter than '|'. Each address stands alone for a bit
// ("Q0.0": the bit is 1) or carries a value ("VW0=16#FF", "T37=10..20", "Q0.1=0") that is
// compared as an expect line compares it.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plc_memory.h"
#include "sim/address.h"

namespace korvane {

class Condition {
public:
    // Parses a condition; nullopt with a reason in error when it is not one.
    static std::optional<Condition> parse(std::string_view text, std::string& error);
    bool holds(const PlcMemory& mem) const;

    struct Node {
        enum class Kind { Value, Not, And, Or } kind = Kind::Value;
        PlcAddress address;
        std::string value;  // empty: a bare bit, which holds when it is 1
        std::vector<Node> operands;
    };

private:
    Node root_;
};

}  // namespace korvane
