#pragma once
// Scripts of the headless runner: one event per line, "#" starts a comment.
//   <ms> set <ADDR> <VALUE>      applied before the first tick at or after <ms>
//   <ms> expect <ADDR> <VALUE>   checked after the tick at or after <ms> has completed;
//                                VALUE may be a range LOW..HIGH
//   <ms> mode <MODE>             a run-mode command: run, first, single, slow, pause, stop,
//                                count:N
//   <A>..<B> always <COND>       COND holds after every pass whose end time lies in [A, B]
//   <A>..<B> never <COND>        COND holds after no such pass (script_conditions.h)
//   expect <BIT> rises <L>..<H>  the first rising (falling) edge of the bit after the line
//   expect <BIT> falls <L>..<H>  before is seen in a pass whose time lies in [L, H]
// Every value and condition is parsed when the script is read: a bad one refuses the script.
//
// "After the line before" for an edge line: the line before it in the file (comments and blank
// lines aside) gives the time the watch starts: its time for a set, expect or mode line, A for
// an interval line; after an edge line, the pass in which that edge was seen (an edge of the
// same bit in that pass is not taken twice) or, when it was not seen, after its window. Before
// the first line it is 0. An edge line may also give its own start time:
// "<ms> expect <BIT> rises <L>..<H>". An edge is seen in the pass after which the bit first
// reads its new value; before the first pass the bit reads as it was when the run started.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/address.h"
#include "sim/script_conditions.h"

namespace korvane {

struct ModeCommand {
    enum class Kind { Run, First, Single, Slow, Pause, Stop, Count } kind = Kind::Run;
    std::int32_t count = 0;
};
std::optional<ModeCommand> parseModeCommand(std::string_view text);

struct ScriptEvent {
    enum class Kind { Set, Expect, Mode } kind = Kind::Set;
    std::int64_t ms = 0;
    PlcAddress address;
    std::string value;
    ModeCommand mode;
    int line = 0;      // line number in the script, from 1
    std::string text;  // the line's words, without its comment
};

struct IntervalCheck {
    std::int64_t from = 0, to = 0;
    bool always = true;  // false: never
    Condition condition;
    int line = 0;
    std::string text;
};

struct EdgeCheck {
    PlcAddress address;
    bool rising = true;
    std::int64_t low = 0, high = 0;  // the window in ms
    // Where the watch starts: at a time, or (afterEdge >= 0) after the edge of an earlier edge
    // line, an index into RunScript::edges.
    std::int64_t from = 0;
    int afterEdge = -1;
    int line = 0;
    std::string text;
};

struct RunScript {
    std::vector<ScriptEvent> events;  // in time order; equal times keep their file order
    std::vector<IntervalCheck> intervals;  // in file order
    std::vector<EdgeCheck> edges;          // in file order
};

// Parses a script; on a malformed line returns nullopt and sets error to a message naming
// the line.
std::optional<RunScript> parseRunScript(std::string_view text, std::string& error);

// Whether a value read at an address matches the expected text: numbers compare by value
// (reals within single precision), "LOW..HIGH" accepts any number in that closed range,
// anything else compares as text.
bool valueMatches(const PlcAddress& a, const std::string& got, const std::string& expected);

// Whether text is a value valueMatches can ever find at the address: a number (0 or 1 for a
// bit), a range LOW..HIGH of numbers, or for a real inf, -inf or nan as the runner prints them.
// error says why not.
bool expectedValueValid(const PlcAddress& a, const std::string& value, std::string& error);

}  // namespace korvane
