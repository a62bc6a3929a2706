#pragma once
// The program check: after every load, a pass over the built code table and the program
// lines that finds what will not run as on the CPU — instructions the simulator does not
// know, operands that name nothing or lie outside their area, calls and interrupt routines
// that do not exist, labels, sequence segments and loops that do not match, timers used as
// the wrong kind — and reports each with its line number in the file. Findings never stop a
// load.
#include <string>
#include <vector>

#include "core/code_table.h"

namespace korvane {

enum class FindingKind : unsigned char {
    UnknownInstruction,      // not an S7-200 instruction
    UnsimulatedInstruction,  // an S7-200 instruction the simulator does not execute
    MissingOperand,
    UnreadableOperand,
    UnknownSymbol,
    UnknownLocal,
    OutsideArea,
    BitNumber,
    EdgeLimit,
    WrongType,
    StringTooLong,
    UndefinedSubroutine,
    UndefinedInterrupt,
    EventNeverRaised,
    DuplicateLabel,
    JumpWithoutLabel,
    ScrWithoutEnd,
    TimerKind,
    ForWithoutNext,
    NextWithoutFor,
    LoopTooDeep,  // FOR/NEXT nested deeper than eight loops
};

struct Finding {
    int fileLine = 0;  // in the file, from 1
    int line = 0;      // in the code table
    std::string text;  // the program line
    FindingKind kind = FindingKind::UnknownInstruction;
    std::string detail;  // the operand, name or number concerned
    // A warning: the program runs as written here, but would not on the CPU (a TON on a
    // TONR number counts in the one time base unless the real-CPU timing is on).
    bool warning = false;

    bool operator==(const Finding&) const = default;
};

// lines and fileLines are the reader's kept lines and their file line numbers (a missing
// number counts as the line index + 1). Findings come in line order. With realCpu (the
// timers count in the resolution of their number) a timer used as the wrong kind is an
// error, else a warning.
std::vector<Finding> CheckProgram(const Program& prog, const TextLines& lines,
                                  const std::vector<int>& fileLines, bool realCpu = false);

// The finding's message: Chinese for the window, English for the command line.
std::string findingMessage(const Finding& f);
std::string findingMessageEnglish(const Finding& f);
void appendFindingMessageEnglish(std::string& out, const Finding& f);

// The log lines: " 程序检查：第12行 LDI I0.0：不支持的指令" (after the time of day), and the
// summary " 程序检查：发现3处问题" or " 程序检查：没有发现问题".
std::string findingLogText(const Finding& f);
std::string checkSummaryText(std::size_t count);
// The command line's form, to follow "FILE:": "12: LDI I0.0: instruction not simulated".
std::string findingEnglishLine(const Finding& f);
// The same appended to out.
void appendFindingEnglishLine(std::string& out, const Finding& f);

}  // namespace korvane
