#include "core/opcodes.h"

#include <algorithm>
#include <array>
#include <iterator>
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

namespace korvane {

namespace {

// The compare contacts take two operands of their type.
constexpr std::string_view compareSignature(Op op) {
    switch (compareType(op)) {
    case CompareType::Byte:
        return "BB";
    case CompareType::Word:
        return "WW";
    case CompareType::DWord:
        return "DD";
    case CompareType::Real:
        return "RR";
    }
    return "*";
}

constexpr std::string_view signatureOf(Op op) {
    if (isCompare(op)) return compareSignature(op);
    switch (op) {
    case Op::LSCR:
    case Op::SCRT:
    case Op::LD:
    case Op::LDN:
    case Op::Assign:
    case Op::A:
    case Op::AN:
    case Op::O:
    case Op::ON:
        return "b";
    case Op::ATCH:
        return "rk";
    case Op::DTCH:
    case Op::JMP:
    case Op::LBL:
    case Op::LDS:
        return "k";
    case Op::NOP:
        return "?k";
    case Op::FILL:
        return "WWB";
    case Op::S:
    case Op::R:
        return "bB";
    case Op::EU:
    case Op::ED:
        return "e";
    case Op::TON:
    case Op::TOF:
    case Op::TONR:
        return "tW";
    case Op::CTU:
    case Op::CTD:
    case Op::CTUD:
        return "cW";
    case Op::MOVB:
    case Op::ANDB:
    case Op::ORB:
    case Op::XORB:
    case Op::SLB:
    case Op::SRB:
    case Op::RLB:
    case Op::RRB:
    case Op::SEG:
        return "BB";
    case Op::MOVW:
    case Op::ANDW:
    case Op::ORW:
    case Op::XORW:
    case Op::AddI:
    case Op::SubI:
    case Op::MulI:
    case Op::DivI:
        return "WW";
    case Op::MOVD:
    case Op::ANDD:
    case Op::ORD:
    case Op::XORD:
    case Op::AddD:
    case Op::SubD:
    case Op::MulD:
    case Op::DivD:
        return "DD";
    case Op::MOVR:
    case Op::AddR:
    case Op::SubR:
    case Op::MulR:
    case Op::DivR:
    case Op::SQRT:
    case Op::SIN:
    case Op::COS:
    case Op::TAN:
    case Op::LN:
    case Op::EXP:
        return "RR";
    case Op::BMB:
        return "BBB";
    case Op::BMW:
        return "WWB";
    case Op::BMD:
        return "DDB";
    case Op::INVB:
    case Op::INCB:
    case Op::DECB:
        return "B";
    case Op::INVW:
    case Op::INCW:
    case Op::DECW:
        return "W";
    case Op::INVD:
    case Op::INCD:
    case Op::DECD:
        return "D";
    case Op::SLW:
    case Op::SRW:
    case Op::RLW:
    case Op::RRW:
        return "WB";
    case Op::SLD:
    case Op::SRD:
    case Op::RLD:
    case Op::RRD:
        return "DB";
    case Op::SHRB:
        return "bbB";
    case Op::MUL:
    case Op::DIV:
    case Op::ITD:
        return "WD";
    case Op::BTI:
        return "BW";
    case Op::ITB:
        return "WB";
    case Op::DTI:
        return "DW";
    case Op::DTR:
        return "DR";
    case Op::ROUND:
    case Op::TRUNC:
        return "RD";
    case Op::PID:
        return "pk";
    case Op::NETR:
    case Op::NETW:
    case Op::XMT:
    case Op::RCV:
        return "Bk";
    case Op::CALL:
        return "r*";
    case Op::Network:
    case Op::ORGANIZATION_BLOCK:
    case Op::END_ORGANIZATION_BLOCK:
    case Op::SUBROUTINE_BLOCK:
    case Op::END_SUBROUTINE_BLOCK:
    case Op::INTERRUPT_BLOCK:
    case Op::END_INTERRUPT_BLOCK:
    case Op::Unknown:
        return "*";
    default:
        return "";
    }
}

constexpr std::array<std::string_view, kOpCount> kSignatures = [] {
    std::array<std::string_view, kOpCount> t{};
    for (std::size_t i = 0; i < kOpCount; ++i) t[i] = signatureOf(static_cast<Op>(i));
    return t;
}();

}  // namespace

std::string_view operandSignature(Op op) { return kSignatures[static_cast<std::size_t>(op)]; }

bool isUnsimulatedS7Instruction(std::string_view m) {
    static constexpr std::string_view kNames[] = {
        "FOR",  "NEXT",  "END",   "STOP", "WDR",  "GERR", "DLED", "LDI",   "LDNI",  "AI",   "ANI",
        "OI",   "ONI",   "=I",    "SI",   "RI",   "BIR",  "BIW",  "BCDI",  "IBCD",  "DECO", "ENCO",
        "SWAP", "ATH",   "HTA",   "ITA",  "DTA",  "RTA",  "ITS",  "DTS",   "RTS",   "STI",  "STD",
        "STR",  "SLEN",  "SCPY",  "SSCPY", "SCAT", "SFND", "CFND", "LDS=", "LDS<>", "AS=",  "AS<>",
        "OS=",  "OS<>",  "ATT",   "FIFO", "LIFO", "FND=", "FND<>", "FND<", "FND>",  "TODR", "TODW",
        "TODRX", "TODWX", "CEVNT", "HDEF", "HSC",  "PLS",  "BITIM", "CITIM", "GPA", "SPA"};
    return std::find(std::begin(kNames), std::end(kNames), m) != std::end(kNames);
}

}  // namespace korvane
