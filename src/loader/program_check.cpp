#include "loader/program_check.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "core/opcodes.h"
#include "core/timers_counters.h"
#include "loader/stl_text.h"

namespace korvane {

namespace {

// The operand texts of a program line, split as the builder splits them.
std::vector<std::string_view> operandTexts(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t p = 0;
    while (p < line.size() && !stl::isBlank(line[p])) ++p;
    if (p == line.size()) return out;
    const std::string_view rest = stl::trim(line.substr(p + 1));
    std::size_t from = 0;
    for (;;) {
        const std::size_t to = stl::operandEnd(rest, from);
        out.push_back(stl::trim(rest.substr(from, to - from)));
        if (to == rest.size()) return out;
        from = to + 1;
    }
}

// The line with each run of blanks as one blank ("LDI    I0.0" reads "LDI I0.0").
std::string oneBlank(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    bool blank = false;
    for (char c : stl::trim(line)) {
        if (stl::isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

int asInt(double v) { return std::isfinite(v) && std::fabs(v) < 1e9 ? static_cast<int>(std::lround(v)) : -1; }

// Events the simulator raises: the input edges of I0.0 to I0.3, the free port's (a character
// received 8 / 25, a transmission complete 9 / 26, a message received 23 / 24), the two timed
// interrupts and T32 / T96 reaching their preset.
bool eventRaised(int ev) { return (ev >= 0 && ev <= 11) || (ev >= 21 && ev <= 26); }


FindingKind kindOfProblem(OperandProblem p, Op op) {
    switch (p) {
    case OperandProblem::Missing:
        return FindingKind::MissingOperand;
    case OperandProblem::Unreadable:
        return FindingKind::UnreadableOperand;
    case OperandProblem::UnknownSymbol:
        return FindingKind::UnknownSymbol;
    case OperandProblem::UnknownLocal:
        return FindingKind::UnknownLocal;
    case OperandProblem::OutsideArea:
        return (op == Op::EU || op == Op::ED) ? FindingKind::EdgeLimit : FindingKind::OutsideArea;
    case OperandProblem::BitNumber:
        return FindingKind::BitNumber;
    case OperandProblem::WrongType:
        return FindingKind::WrongType;
    case OperandProblem::StringTooLong:
        return FindingKind::StringTooLong;
    }
    return FindingKind::UnreadableOperand;
}

constexpr std::string_view kLibraryNames[] = {"MBUS_CTRL", "MBUS_MSG", "USS_INIT", "USS_CTRL", "MBUS_INIT", "MBUS_SLAVE"};

bool isLineOf(const Program& prog, int line, Op op) {
    return line > 0 && line <= prog.lastIndex() && prog.CodeTable[static_cast<std::size_t>(line)].op == op;
}

// A CALL target (a subroutine number, or the library code its name gave) that this program
// defines.
bool subroutineDefined(const Program& prog, int target) {
    if (target >= 0 && target < 64) return isLineOf(prog, prog.subroutines[static_cast<std::size_t>(target)].EntryLine,
                                                     Op::SUBROUTINE_BLOCK);
    if (target >= 101 && target <= 106) {
        for (const BlockInfo& b : prog.blocks)
            if (b.kind == BlockKind::Subroutine && b.number >= 0 && b.number < 501 &&
                prog.subroutines[static_cast<std::size_t>(b.number)].Name == kLibraryNames[target - 101])
                return true;
    }
    return false;
}

bool interruptDefined(const Program& prog, int r) {
    return r >= 0 && r <= 100 && isLineOf(prog, prog.interrupts[static_cast<std::size_t>(r)].EntryLine, Op::INTERRUPT_BLOCK);
}

}  // namespace

std::vector<Finding> CheckProgram(const Program& prog, const TextLines& lines,
                                  const std::vector<int>& fileLines, bool realCpu) {
    std::vector<Finding> out;
    if (!prog.loaded()) return out;
    // Room for the notes and about one finding in eight lines besides, so that a program
    // with many findings does not copy them over while they are collected.
    out.reserve(prog.operandNotes.size() + prog.CodeTable.size() / 8 + 16);
    const int last = prog.lastIndex();
    auto add = [&](int i, FindingKind k, std::string detail) {
        Finding f;
        f.line = i;
        f.fileLine = static_cast<std::size_t>(i) < fileLines.size() ? fileLines[static_cast<std::size_t>(i)] : i + 1;
        f.text = oneBlank(static_cast<std::size_t>(i) < lines.size() ? lines[static_cast<std::size_t>(i)]
                                                                     : prog.sourceText(i));
        f.kind = k;
        f.detail = std::move(detail);
        out.push_back(std::move(f));
    };

    // Lines whose operands the builder already reported: their targets are not looked at
    // again.
    std::vector<bool> noted(static_cast<std::size_t>(last) + 1, false);
    for (const OperandNote& n : prog.operandNotes) {
        if (n.line < 0 || n.line > last) continue;
        noted[static_cast<std::size_t>(n.line)] = true;
        add(n.line, kindOfProblem(n.problem, prog.CodeTable[static_cast<std::size_t>(n.line)].op), n.text);
    }

    // Per block: labels seen, and an open sequence segment.
    std::vector<std::vector<bool>> labelSeen(prog.labels.size(), std::vector<bool>(256, false));
    int openScr = -1;
    int openScrBlock = -1;
    auto closeBlockScr = [&](int block) {
        if (openScr >= 0 && openScrBlock == block) add(openScr, FindingKind::ScrWithoutEnd, {});
        if (openScrBlock == block) openScr = -1, openScrBlock = -1;
    };

    for (int i = 0; i <= last; ++i) {
        const CodeLine& line = prog.CodeTable[static_cast<std::size_t>(i)];
        if (i > 0 && line.Block != prog.CodeTable[static_cast<std::size_t>(i - 1)].Block)
            closeBlockScr(prog.CodeTable[static_cast<std::size_t>(i - 1)].Block);
        const bool ok = !noted[static_cast<std::size_t>(i)];
        const auto block = static_cast<std::size_t>(line.Block);
        if (line.op != Op::Unknown && !isSimulated(line.op)) add(i, FindingKind::UnsimulatedInstruction, line.mnemonic());
        switch (line.op) {
        case Op::Unknown:
            add(i, isUnsimulatedS7Instruction(line.mnemonic()) ? FindingKind::UnsimulatedInstruction
                                                              : FindingKind::UnknownInstruction,
                line.mnemonic());
            break;
        case Op::CALL: {
            const int target = asInt(line.number(0));
            if (ok && (target == library::MBUS_INIT || target == library::MBUS_SLAVE)) {
                // The Modbus slave library is not simulated: the slave port answers by itself.
                add(i, FindingKind::UnsimulatedInstruction, std::string(kLibraryNames[target - 101]));
            } else if (ok && !subroutineDefined(prog, target)) {
                const auto ops = operandTexts(prog.sourceText(i));
                add(i, FindingKind::UndefinedSubroutine, ops.empty() ? std::string() : std::string(ops[0]));
            }
            break;
        }
        case Op::ATCH: {
            if (!ok) break;
            const auto ops = operandTexts(prog.sourceText(i));
            if (!interruptDefined(prog, asInt(line.number(0))))
                add(i, FindingKind::UndefinedInterrupt, ops.empty() ? std::string() : std::string(ops[0]));
            const int ev = asInt(line.number(1));
            if (line.operandCount() >= 2 && !eventRaised(ev)) add(i, FindingKind::EventNeverRaised, std::to_string(ev));
            break;
        }
        case Op::LBL: {
            const int n = asInt(line.number(0));
            if (!ok || n < 0 || n > 255 || block >= labelSeen.size()) break;
            if (labelSeen[block][static_cast<std::size_t>(n)]) add(i, FindingKind::DuplicateLabel, std::to_string(n));
            labelSeen[block][static_cast<std::size_t>(n)] = true;
            break;
        }
        case Op::JMP: {
            const int n = asInt(line.number(0));
            if (!ok || n < 0 || n > 255) break;
            if (block >= prog.labels.size() || prog.labels[block][static_cast<std::size_t>(n)] == 0)
                add(i, FindingKind::JumpWithoutLabel, std::to_string(n));
            break;
        }
        case Op::LSCR:
            if (openScr >= 0) add(openScr, FindingKind::ScrWithoutEnd, {});
            openScr = i;
            openScrBlock = line.Block;
            break;
        case Op::SCRE:
            openScr = -1;
            openScrBlock = -1;
            break;
        case Op::FOR:
            if (line.LoopPartner == 0) add(i, FindingKind::ForWithoutNext, {});
            if (line.LoopPartner < 0) add(i, FindingKind::LoopTooDeep, {});
            break;
        case Op::NEXT:
            if (line.LoopPartner == 0) add(i, FindingKind::NextWithoutFor, {});
            break;
        case Op::TON:
        case Op::TOF:
        case Op::TONR: {
            if (!ok || line.kindOf(0) != kind::Timer) break;
            const int t = asInt(line.number(0)) - area::T;
            if ((line.op == Op::TONR) != isTonrTimer(t)) {
                add(i, FindingKind::TimerKind, "T" + std::to_string(t));
                out.back().warning = !realCpu;
            }
            break;
        }
        default:
            break;
        }
    }
    closeBlockScr(prog.CodeTable[static_cast<std::size_t>(last)].Block);

    // In line order, findings of one line in the order found: the keys are sorted (the line
    // and the place found), then the findings moved once into that order.
    std::vector<std::pair<int, std::uint32_t>> order(out.size());
    for (std::size_t k = 0; k < out.size(); ++k) order[k] = {out[k].line, static_cast<std::uint32_t>(k)};
    if (!std::is_sorted(order.begin(), order.end())) {
        // The builder's notes and the findings of the pass over the lines come each in line
        // order: two runs are merged, anything else sorted.
        const auto second = std::is_sorted_until(order.begin(), order.end());
        if (std::is_sorted(second, order.end()))
            std::inplace_merge(order.begin(), second, order.end());
        else
            std::sort(order.begin(), order.end());
        // Place k takes the finding from order[k].second: cycle by cycle, in place.
        for (std::size_t k = 0; k < out.size(); ++k) {
            if (order[k].second == k) continue;
            Finding held = std::move(out[k]);
            std::size_t at = k;
            while (order[at].second != k) {
                const std::size_t from = order[at].second;
                out[at] = std::move(out[from]);
                order[at].second = static_cast<std::uint32_t>(at);
                at = from;
            }
            out[at] = std::move(held);
            order[at].second = static_cast<std::uint32_t>(at);
        }
    }
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string findingMessage(const Finding& f) {
    const std::string& d = f.detail;
    switch (f.kind) {
    case FindingKind::UnknownInstruction:
        return "不可识别的指令";
    case FindingKind::UnsimulatedInstruction:
        return "不支持的指令";
    case FindingKind::MissingOperand:
        return "缺少操作数";
    case FindingKind::UnreadableOperand:
        return "无法识别的操作数 " + d;
    case FindingKind::UnknownSymbol:
        return "符号未定义 " + d;
    case FindingKind::UnknownLocal:
        return d + " 不是本程序块的局部变量";
    case FindingKind::OutsideArea:
        return "地址超出范围 " + d;
    case FindingKind::BitNumber:
        return "位号大于7 " + d;
    case FindingKind::EdgeLimit:
        return "沿指令超过128个";
    case FindingKind::WrongType:
        return "操作数类型不符 " + d;
    case FindingKind::StringTooLong:
        return "字符串常数超过126个字节";
    case FindingKind::UndefinedSubroutine:
        return "子程序不存在 " + d;
    case FindingKind::UndefinedInterrupt:
        return "中断程序不存在 " + d;
    case FindingKind::EventNeverRaised:
        return "仿真时不会发生中断事件 " + d;
    case FindingKind::DuplicateLabel:
        return "本程序块中标号 " + d + " 重复";
    case FindingKind::JumpWithoutLabel:
        return "本程序块中没有标号 " + d;
    case FindingKind::ScrWithoutEnd:
        return "LSCR没有对应的SCRE";
    case FindingKind::TimerKind:
        return isTonrTimer(std::atoi(d.c_str() + 1)) ? d + " 是TONR定时器，不能用于TON/TOF"
                                                       : d + " 是TON/TOF定时器，不能用于TONR";
    case FindingKind::ForWithoutNext:
        return "FOR没有对应的NEXT";
    case FindingKind::NextWithoutFor:
        return "NEXT没有对应的FOR";
    case FindingKind::LoopTooDeep:
        return "FOR/NEXT循环嵌套超过8层";
    }
    return {};
}

std::string findingMessageEnglish(const Finding& f) {
    std::string out;
    appendFindingMessageEnglish(out, f);
    return out;
}

void appendFindingMessageEnglish(std::string& out, const Finding& f) {
    const std::string& d = f.detail;
    // The message around the detail: before it, and after it.
    auto put = [&](std::string_view before, std::string_view after = {}) {
        out += before;
        out += d;
        out += after;
    };
    switch (f.kind) {
    case FindingKind::UnknownInstruction:
        out += "unknown instruction";
        return;
    case FindingKind::UnsimulatedInstruction:
        out += "instruction not simulated";
        return;
    case FindingKind::MissingOperand:
        out += "missing operand";
        return;
    case FindingKind::UnreadableOperand:
        return put("unreadable operand ");
    case FindingKind::UnknownSymbol:
        return put("unknown symbol ");
    case FindingKind::UnknownLocal:
        return put("", " is not a local variable of this block");
    case FindingKind::OutsideArea:
        return put("address outside its area ");
    case FindingKind::BitNumber:
        return put("bit number above 7 ");
    case FindingKind::EdgeLimit:
        out += "more than 128 edge instructions";
        return;
    case FindingKind::WrongType:
        return put("operand of the wrong type ");
    case FindingKind::StringTooLong:
        out += "constant string longer than 126 bytes";
        return;
    case FindingKind::UndefinedSubroutine:
        return put("no such subroutine ");
    case FindingKind::UndefinedInterrupt:
        return put("no such interrupt routine ");
    case FindingKind::EventNeverRaised:
        return put("interrupt event ", " is never raised in the simulator");
    case FindingKind::DuplicateLabel:
        return put("label ", " defined twice in this block");
    case FindingKind::JumpWithoutLabel:
        return put("no LBL ", " in this block");
    case FindingKind::ScrWithoutEnd:
        out += "LSCR without SCRE";
        return;
    case FindingKind::TimerKind:
        return put("", isTonrTimer(std::atoi(d.c_str() + 1)) ? " is a TONR timer, not TON/TOF"
                                                              : " is a TON/TOF timer, not TONR");
    case FindingKind::ForWithoutNext:
        out += "FOR without NEXT";
        return;
    case FindingKind::NextWithoutFor:
        out += "NEXT without FOR";
        return;
    case FindingKind::LoopTooDeep:
        out += "FOR/NEXT loops nested deeper than 8";
        return;
    }
}

std::string findingLogText(const Finding& f) {
    return " 程序检查：第" + std::to_string(f.fileLine) + "行 " + f.text + "：" + (f.warning ? "警告，" : "") +
           findingMessage(f);
}

std::string checkSummaryText(std::size_t count) {
    return count == 0 ? std::string(" 程序检查：没有发现问题") : " 程序检查：发现" + std::to_string(count) + "处问题";
}

std::string findingEnglishLine(const Finding& f) {
    std::string out;
    appendFindingEnglishLine(out, f);
    return out;
}

void appendFindingEnglishLine(std::string& out, const Finding& f) {
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, f.fileLine).ptr;
    out.append(number, end);
    out += ": ";
    out += f.text;
    out += ": ";
    if (f.warning) out += "warning: ";
    appendFindingMessageEnglish(out, f);
}

}  // namespace korvane
