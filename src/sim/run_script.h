#pragma once
// Scripts of the headless runner: one event per line, "#" starts a comment.
//   <ms> set <ADDR> <VALUE>      applied before the first tick at or after <ms>
//   <ms> expect <ADDR> <VALUE>   checked after the tick at or after <ms> has completed;
//                                VALUE may be a range LOW..HIGH
//   <ms> mode <MODE>             a run-mode command: run, first, single, slow, pause, stop,
//                                count:N
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/address.h"

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
    int line = 0;  // line number in the script, from 1
};

struct RunScript {
    std::vector<ScriptEvent> events;  // in time order; equal times keep their file order
};

// Parses a script; on a malformed line returns nullopt and sets error to a message naming
// the line.
std::optional<RunScript> parseRunScript(std::string_view text, std::string& error);

// Whether a value read at an address matches the expected text: numbers compare by value
// (reals within single precision), "LOW..HIGH" accepts any number in that closed range,
// anything else compares as text.
bool valueMatches(const PlcAddress& a, const std::string& got, const std::string& expected);

}  // namespace korvane
