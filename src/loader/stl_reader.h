#pragma once
// The STL program file reader (the ".awl" export): keeps the program lines from the
// ORGANIZATION_BLOCK line on, drops comment, title and blank lines, strips trailing comments,
// normalises declarations, numbers the edge instructions and appends block-end operands,
// and records the subroutine and interrupt routine names from the block headers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/code_table.h"
#include "core/text_lines.h"
#include "loader/code_builder.h"
#include "platform/log_sink.h"

namespace korvane {

// Why the last load kept no program.
enum class ProgramFileProblem {
    None,          // a program was read
    CannotOpen,    // missing, no permission, or reading failed
    Folder,        // a folder was given
    TooLarge,      // longer than kMaxProgramBytes
    NotText,       // a binary file (see textToUtf8)
    TooManyLines,  // more than kMaxProgramLines program lines
    Invalid,       // a routine number past its table
    NoProgram,     // fewer than 3 lines from ORGANIZATION_BLOCK on
};

class StlReader {
public:
    // A program file longer than this is refused as unreadable.
    static constexpr std::size_t kMaxProgramBytes = std::size_t{64} << 20;
    // Line indexes are 16-bit.
    static constexpr int kMaxProgramLines = 32767;

    // Reads strFileName in two passes. On success the line list and prog.CodeTable (one empty
    // row per line) are replaced and true is returned. A file with fewer than 3 counted lines
    // is ignored (false, nothing changed, no message). A read error logs " 源程序非法" and
    // keeps what was stored before it (false); so does a file longer than kMaxProgramBytes.
    bool loadcode(const std::string& strFileName, Program& prog, const Log& log);

    // The same on text already in memory (bytes as read from a file, any encoding).
    bool loadText(std::string_view fileBytes, Program& prog, const Log& log);

    // Why the last loadcode or loadText kept no program; None after a successful one.
    ProgramFileProblem problem() const { return problem_; }

    // The program line list (UTF-8); index 0 is the ORGANIZATION_BLOCK line.
    TextLines lines;
    // For each kept line, its line number in the file (1-based, as an editor shows it).
    std::vector<int> fileLines;
    // The declared name of each declaration line ("IN1" of "IN1:BOOL; // comment"), in line
    // order.
    std::vector<DeclaredName> declarationNames;
    // The next edge-flag number to give out; 0 before every load and unload.
    std::int16_t edgeCounter = 0;
    // Called after each stored line with (index, last index): "代码载入进度：" progress.
    std::function<void(int, int)> onProgress;
    // When set, a load that keeps a program leaves here the program's text as it was decoded
    // (UTF-8, without a byte-order mark), for a caller that needs it again (the ladder): the
    // file is neither read (a pipe can be read only once) nor decoded a second time.
    std::string* keepText = nullptr;

private:
    ProgramFileProblem problem_ = ProgramFileProblem::None;
};

// What is wrong, for the window's message box: "不是文本文件，不能作为程序载入" and the like,
// followed by the path. Empty for None and NoProgram (a file without a program is ignored
// without a message).
std::string programFileProblemMessage(ProgramFileProblem problem, const std::string& path);

}  // namespace korvane
