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
    case Op::FOR:
        return "WWW";
    case Op::GERR:
    case Op::BCDI:
    case Op::IBCD:
    case Op::SWAP:
        return "W";
    case Op::DLED:
    case Op::TODR:
    case Op::TODW:
    case Op::TODRX:
    case Op::TODWX:
        return "B";
    case Op::LDI:
    case Op::LDNI:
    case Op::AI:
    case Op::ANI:
    case Op::OI:
    case Op::ONI:
    case Op::AssignI:
        return "b";
    case Op::SI:
    case Op::RI:
        return "bB";
    case Op::BIR:
    case Op::BIW:
        return "BB";
    case Op::DECO:
        return "BW";
    case Op::ENCO:
        return "WB";
    case Op::ATH:
    case Op::HTA:
        return "BBB";
    case Op::ITA:
        return "WBB";
    case Op::DTA:
        return "DBB";
    case Op::RTA:
        return "RBB";
    case Op::ITS:
        return "WsB";
    case Op::DTS:
        return "DsB";
    case Op::RTS:
        return "RsB";
    case Op::STI:
        return "sBW";
    case Op::STD:
        return "sBD";
    case Op::STR:
        return "sBR";
    case Op::SLEN:
        return "sB";
    case Op::SCPY:
    case Op::SCAT:
    case Op::LDS_EQ:
    case Op::LDS_NE:
    case Op::AS_EQ:
    case Op::AS_NE:
    case Op::OS_EQ:
    case Op::OS_NE:
        return "ss";
    case Op::SSCPY:
        return "sBBs";
    case Op::SFND:
    case Op::CFND:
        return "ssB";
    case Op::ATT:
    case Op::FIFO:
    case Op::LIFO:
        return "WW";
    case Op::FND_EQ:
    case Op::FND_NE:
    case Op::FND_LT:
    case Op::FND_GT:
        return "WWW";
    case Op::CEVNT:
        return "k";
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

bool stringConstantAllowed(Op op, int k) {
    switch (op) {
    case Op::STI:
    case Op::STD:
    case Op::STR:
    case Op::SLEN:
    case Op::SCPY:
    case Op::SCAT:
    case Op::SSCPY:
    case Op::LDS_EQ:
    case Op::LDS_NE:
    case Op::AS_EQ:
    case Op::AS_NE:
    case Op::OS_EQ:
    case Op::OS_NE:
        return k == 0;
    case Op::SFND:
    case Op::CFND:
        return k == 0 || k == 1;
    default:
        return false;
    }
}


bool isUnsimulatedS7Instruction(std::string_view m) {
    if (const Op op = opcodeOf(m); op != Op::Unknown) return !isSimulated(op);
    // The high-speed counters, pulse outputs, interval timers and port addresses.
    static constexpr std::string_view kNames[] = {"HDEF", "HSC", "PLS", "BITIM", "CITIM", "GPA", "SPA"};
    return std::find(std::begin(kNames), std::end(kNames), m) != std::end(kNames);
}

}  // namespace korvane
