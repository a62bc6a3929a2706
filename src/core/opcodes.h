#pragma once
// One opcode per mnemonic, resolved once when the code table is built. The enum order is
// the dispatch order: every opcode before ScrSkipFirst runs even while a CSCRE has been
// taken in an active SCR segment; every opcode from ScrSkipFirst on is skipped then.
#include <array>
#include <cstdint>
#include <string_view>

namespace korvane {

enum class Family : std::uint8_t {
    Block,         // block, declaration, network, ENO, NOP, empty and unknown lines
    BitLogic,      // LD ... ED, S, R
    TimerCounter,  // TON ... CTUD
    Flow,          // subroutines, interrupts, sequence control, jumps
    Move,          // MOVB ... FILL
    Compare,       // the 72 compare contacts
    WordLogic,     // INVB ... DECD, shifts, rotates, SHRB
    Arithmetic,    // integer and real arithmetic, functions, conversions
    Pid,           // PID
    PpiMaster,     // NETR, NETW
    FreePort,      // XMT, RCV
    Call,          // CALL
    Control,       // FOR ... NEXT, END, STOP, WDR, GERR, DLED
    Immediate,     // LDI ... BIW: the I/O terminals at the moment of execution
    Conversion,    // BCDI ... RTA
    String,        // ITS ... CFND and the string compare contacts
    Table,         // ATT, FIFO, LIFO, FND=, FND<>, FND<, FND>
    Clock,         // TODR, TODW, TODRX, TODWX
};

// X(enumerator, mnemonic, family)
#define KORVANE_OPCODES_ALWAYS(X)                                              \
    X(Network, "Network", Block)                /* resets the logic stack */   \
    X(LSCR, "LSCR", Flow)                       /* opens an SCR segment */     \
    X(SCRE, "SCRE", Flow)                       /* closes it */                \
    X(ORGANIZATION_BLOCK, "ORGANIZATION_BLOCK", Block) /* SM0.1 on line 0 */   \
    X(BEGIN, "BEGIN", Block)                                                   \
    X(END_ORGANIZATION_BLOCK, "END_ORGANIZATION_BLOCK", Block) /* ends pass */ \
    X(SUBROUTINE_BLOCK, "SUBROUTINE_BLOCK", Block)                             \
    X(VAR_INPUT, "VAR_INPUT", Block)                                           \
    X(END_VAR, "END_VAR", Block)                                               \
    X(VAR_IN_OUT, "VAR_IN_OUT", Block)                                         \
    X(VAR_OUTPUT, "VAR_OUTPUT", Block)                                         \
    X(DeclBool, ":BOOL;", Block)                                               \
    X(DeclByte, ":BYTE;", Block)                                               \
    X(DeclWord, ":WORD;", Block)                                               \
    X(DeclInt, ":INT;", Block)                                                 \
    X(DeclDword, ":DWORD;", Block)                                             \
    X(DeclDint, ":DINT;", Block)                                               \
    X(DeclReal, ":REAL;", Block)                                               \
    X(DeclString, ":STRING;", Block)                                           \
    X(END_SUBROUTINE_BLOCK, "END_SUBROUTINE_BLOCK", Flow) /* return */         \
    X(CRET, "CRET", Flow)                       /* conditional return */       \
    X(VAR, "VAR", Block)                                                       \
    X(ATCH, "ATCH", Flow)                       /* attach event */             \
    X(DTCH, "DTCH", Flow)                       /* detach event */             \
    X(INTERRUPT_BLOCK, "INTERRUPT_BLOCK", Block)                               \
    X(ENI, "ENI", Flow)                                                        \
    X(DISI, "DISI", Flow)                                                      \
    X(CRETI, "CRETI", Flow)                     /* conditional interrupt return */ \
    X(END_INTERRUPT_BLOCK, "END_INTERRUPT_BLOCK", Flow)

#define KORVANE_OPCODES_SKIPPABLE(X)                                           \
    X(SCRT, "SCRT", Flow)                                                      \
    X(CSCRE, "CSCRE", Flow)                                                    \
    X(JMP, "JMP", Flow)                                                        \
    X(LBL, "LBL", Block)                                                       \
    X(NOP, "NOP", Block)                                                       \
    X(FILL, "FILL", Move)                                                      \
    X(LD, "LD", BitLogic)                                                      \
    X(LDN, "LDN", BitLogic)                                                    \
    X(Assign, "=", BitLogic)                                                   \
    X(A, "A", BitLogic)                                                        \
    X(AN, "AN", BitLogic)                                                      \
    X(O, "O", BitLogic)                                                        \
    X(ON, "ON", BitLogic)                                                      \
    X(LPS, "LPS", BitLogic)                                                    \
    X(LPP, "LPP", BitLogic)                                                    \
    X(LRD, "LRD", BitLogic)                                                    \
    X(LDS, "LDS", BitLogic)                                                    \
    X(S, "S", BitLogic)                                                        \
    X(R, "R", BitLogic)                                                        \
    X(NOT, "NOT", BitLogic)                                                    \
    X(ALD, "ALD", BitLogic)                                                    \
    X(OLD, "OLD", BitLogic)                                                    \
    X(EU, "EU", BitLogic)                                                      \
    X(ED, "ED", BitLogic)                                                      \
    X(TON, "TON", TimerCounter)                                                \
    X(TOF, "TOF", TimerCounter)                                                \
    X(TONR, "TONR", TimerCounter)                                              \
    X(CTU, "CTU", TimerCounter)                                                \
    X(CTD, "CTD", TimerCounter)                                                \
    X(CTUD, "CTUD", TimerCounter)                                              \
    X(MOVB, "MOVB", Move)                                                      \
    X(MOVW, "MOVW", Move)                                                      \
    X(MOVD, "MOVD", Move)                                                      \
    X(MOVR, "MOVR", Move)                                                      \
    X(BMB, "BMB", Move)                                                        \
    X(BMW, "BMW", Move)                                                        \
    X(BMD, "BMD", Move)                                                        \
    KORVANE_COMPARE_OPCODES(X)                                                 \
    X(INVB, "INVB", WordLogic) X(INVW, "INVW", WordLogic) X(INVD, "INVD", WordLogic) \
    X(ANDB, "ANDB", WordLogic) X(ANDW, "ANDW", WordLogic) X(ANDD, "ANDD", WordLogic) \
    X(ORB, "ORB", WordLogic) X(ORW, "ORW", WordLogic) X(ORD, "ORD", WordLogic)       \
    X(XORB, "XORB", WordLogic) X(XORW, "XORW", WordLogic) X(XORD, "XORD", WordLogic) \
    X(SLB, "SLB", WordLogic) X(SLW, "SLW", WordLogic) X(SLD, "SLD", WordLogic)       \
    X(SRB, "SRB", WordLogic) X(SRW, "SRW", WordLogic) X(SRD, "SRD", WordLogic)       \
    X(RLB, "RLB", WordLogic) X(RLW, "RLW", WordLogic) X(RLD, "RLD", WordLogic)       \
    X(RRB, "RRB", WordLogic) X(RRW, "RRW", WordLogic) X(RRD, "RRD", WordLogic)       \
    X(SHRB, "SHRB", WordLogic)                                                 \
    X(INCB, "INCB", WordLogic) X(INCW, "INCW", WordLogic) X(INCD, "INCD", WordLogic) \
    X(DECB, "DECB", WordLogic) X(DECW, "DECW", WordLogic) X(DECD, "DECD", WordLogic) \
    X(AddI, "+I", Arithmetic) X(AddD, "+D", Arithmetic) X(AddR, "+R", Arithmetic)    \
    X(SubI, "-I", Arithmetic) X(SubD, "-D", Arithmetic) X(SubR, "-R", Arithmetic)    \
    X(MUL, "MUL", Arithmetic) X(MulD, "*D", Arithmetic) X(MulI, "*I", Arithmetic)    \
    X(MulR, "*R", Arithmetic) X(DIV, "DIV", Arithmetic) X(DivI, "/I", Arithmetic)    \
    X(DivD, "/D", Arithmetic) X(DivR, "/R", Arithmetic)                        \
    X(SQRT, "SQRT", Arithmetic) X(SIN, "SIN", Arithmetic) X(COS, "COS", Arithmetic)  \
    X(TAN, "TAN", Arithmetic) X(LN, "LN", Arithmetic) X(EXP, "EXP", Arithmetic)      \
    X(BTI, "BTI", Arithmetic) X(ITB, "ITB", Arithmetic) X(ITD, "ITD", Arithmetic)    \
    X(DTI, "DTI", Arithmetic) X(DTR, "DTR", Arithmetic) X(ROUND, "ROUND", Arithmetic) \
    X(TRUNC, "TRUNC", Arithmetic) X(SEG, "SEG", Arithmetic)                    \
    X(PID, "PID", Pid)                                                         \
    X(NETR, "NETR", PpiMaster) X(NETW, "NETW", PpiMaster)                      \
    X(XMT, "XMT", FreePort) X(RCV, "RCV", FreePort)                            \
    X(ENO, "ENO", Block) X(AENO, "AENO", Block)                                \
    X(CALL, "CALL", Call)                                                      \
    X(FOR, "FOR", Control) X(NEXT, "NEXT", Control) X(END, "END", Control)     \
    X(MEND, "MEND", Control) X(STOP, "STOP", Control) X(WDR, "WDR", Control)   \
    X(GERR, "GERR", Control) X(DLED, "DLED", Control)                          \
    X(LDI, "LDI", Immediate) X(LDNI, "LDNI", Immediate) X(AI, "AI", Immediate) \
    X(ANI, "ANI", Immediate) X(OI, "OI", Immediate) X(ONI, "ONI", Immediate)   \
    X(AssignI, "=I", Immediate) X(SI, "SI", Immediate) X(RI, "RI", Immediate)  \
    X(BIR, "BIR", Immediate) X(BIW, "BIW", Immediate)                          \
    X(BCDI, "BCDI", Conversion) X(IBCD, "IBCD", Conversion)                    \
    X(DECO, "DECO", Conversion) X(ENCO, "ENCO", Conversion)                    \
    X(SWAP, "SWAP", Conversion) X(ATH, "ATH", Conversion) X(HTA, "HTA", Conversion) \
    X(ITA, "ITA", Conversion) X(DTA, "DTA", Conversion) X(RTA, "RTA", Conversion) \
    X(ITS, "ITS", String) X(DTS, "DTS", String) X(RTS, "RTS", String)          \
    X(STI, "STI", String) X(STD, "STD", String) X(STR, "STR", String)          \
    X(SLEN, "SLEN", String) X(SCPY, "SCPY", String) X(SSCPY, "SSCPY", String)  \
    X(SCAT, "SCAT", String) X(SFND, "SFND", String) X(CFND, "CFND", String)    \
    X(LDS_EQ, "LDS=", String) X(LDS_NE, "LDS<>", String)                       \
    X(AS_EQ, "AS=", String) X(AS_NE, "AS<>", String)                           \
    X(OS_EQ, "OS=", String) X(OS_NE, "OS<>", String)                           \
    X(ATT, "ATT", Table) X(FIFO, "FIFO", Table) X(LIFO, "LIFO", Table)         \
    X(FND_EQ, "FND=", Table) X(FND_NE, "FND<>", Table)                         \
    X(FND_LT, "FND<", Table) X(FND_GT, "FND>", Table)                          \
    X(TODR, "TODR", Clock) X(TODW, "TODW", Clock)                              \
    X(TODRX, "TODRX", Clock) X(TODWX, "TODWX", Clock)                          \
    X(CEVNT, "CEVNT", Flow)                     /* clears queued events */     \
    X(Empty, "", Block)                         /* no operation */             \
    X(Unknown, "?", Block)                      /* logged on every execution */

// The 72 compare contacts: form (LD, A, O) x type (B, W, D, R) x relation
// (=, <>, >, >=, <, <=), in exactly this nesting, so that compareForm/Type/Relation below
// can take an opcode apart arithmetically.
#define KORVANE_COMPARE_REL(X, F, T)                                          \
    X(F##T##_EQ, #F #T "=", Compare) X(F##T##_NE, #F #T "<>", Compare)        \
    X(F##T##_GT, #F #T ">", Compare) X(F##T##_GE, #F #T ">=", Compare)        \
    X(F##T##_LT, #F #T "<", Compare) X(F##T##_LE, #F #T "<=", Compare)
#define KORVANE_COMPARE_TYPE(X, F)                                            \
    KORVANE_COMPARE_REL(X, F, B) KORVANE_COMPARE_REL(X, F, W)                 \
    KORVANE_COMPARE_REL(X, F, D) KORVANE_COMPARE_REL(X, F, R)
#define KORVANE_COMPARE_OPCODES(X)                                            \
    KORVANE_COMPARE_TYPE(X, LD) KORVANE_COMPARE_TYPE(X, A) KORVANE_COMPARE_TYPE(X, O)

enum class Op : std::uint16_t {
#define KORVANE_ENUM(e, n, f) e,
    KORVANE_OPCODES_ALWAYS(KORVANE_ENUM)
    KORVANE_OPCODES_SKIPPABLE(KORVANE_ENUM)
#undef KORVANE_ENUM
    Count
};

inline constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::Count);
inline constexpr Op ScrSkipFirst = Op::SCRT;
inline constexpr Op CompareFirst = Op::LDB_EQ;
inline constexpr Op CompareLast = Op::OR_LE;
static_assert(static_cast<int>(CompareLast) - static_cast<int>(CompareFirst) + 1 == 72);

struct OpInfo {
    std::string_view mnemonic;
    Family family;
};

inline constexpr std::array<OpInfo, kOpCount> kOpInfo{{
#define KORVANE_INFO(e, n, f) OpInfo{n, Family::f},
    KORVANE_OPCODES_ALWAYS(KORVANE_INFO)
    KORVANE_OPCODES_SKIPPABLE(KORVANE_INFO)
#undef KORVANE_INFO
}};
static_assert(kOpInfo.size() == kOpCount);

constexpr const OpInfo& info(Op op) { return kOpInfo[static_cast<std::size_t>(op)]; }
constexpr bool runsUnderScrSkip(Op op) { return op < ScrSkipFirst; }

// The compare contacts, taken apart.
enum class CompareForm : std::uint8_t { Load, And, Or };
enum class CompareType : std::uint8_t { Byte, Word, DWord, Real };
enum class Relation : std::uint8_t { Eq, Ne, Gt, Ge, Lt, Le };
constexpr bool isCompare(Op op) { return op >= CompareFirst && op <= CompareLast; }

// The contacts: they compute the logic result, and run whatever it is.
constexpr bool isContact(Op op) {
    switch (op) {
    case Op::LD:
    case Op::LDN:
    case Op::A:
    case Op::AN:
    case Op::O:
    case Op::ON:
    case Op::LSCR:
    case Op::LDS_EQ:
    case Op::LDS_NE:
    case Op::AS_EQ:
    case Op::AS_NE:
    case Op::OS_EQ:
    case Op::OS_NE:
    case Op::LDI:
    case Op::LDNI:
    case Op::AI:
    case Op::ANI:
    case Op::OI:
    case Op::ONI:
        return true;
    default:
        return op >= CompareFirst && op <= CompareLast;
    }
}
constexpr int compareIndex(Op op) { return static_cast<int>(op) - static_cast<int>(CompareFirst); }
constexpr CompareForm compareForm(Op op) { return static_cast<CompareForm>(compareIndex(op) / 24); }
constexpr CompareType compareType(Op op) { return static_cast<CompareType>(compareIndex(op) / 6 % 4); }
constexpr Relation compareRelation(Op op) { return static_cast<Relation>(compareIndex(op) % 6); }

// The opcode of a mnemonic (case-sensitive, exact); Op::Empty for "", Op::Unknown when none.
Op opcodeOf(std::string_view mnemonic);

// Whether the interpreter executes the opcode: every opcode but Unknown. (An opcode it did
// not execute yet would be built, reported by the program check as not supported, and
// logged and skipped when run, like an unknown mnemonic.)
constexpr bool isSimulated(Op op) { return op != Op::Unknown; }

// The operands an instruction takes, one character each, in STL order:
//   b  a bit (I, Q, M, V, SM, S, L bit, or the bit of T n / C n)
//   B  a byte value, W a word (INT or WORD), D a double word (DINT or DWORD), R a real: an
//      address, a constant, a pointer *VD/*LD/*AC, an accumulator or T n / C n for words
//   t  a timer number T n, c a counter number C n
//   k  a constant number (label, event, stack depth, loop, port)
//   r  a routine: SBR n, INT n or a routine's name
//   e  the edge number the reader appends to EU and ED
//   p  a PID loop table: a V byte address, 36 bytes
//   s  a string: a V or L byte address or a pointer *VD/*LD/*AC to its length byte, or, in
//      the positions stringConstantAllowed names, a constant string in double quotes
// After '?' the operands are optional; '*' takes any further operands unchecked. An empty
// signature takes no operand.
std::string_view operandSignature(Op op);
// Whether string operand k of op may be a constant string: the strings an instruction only
// reads (IN, IN1, and IN2 of SFND and CFND), never one it writes nor IN2 of a compare.
bool stringConstantAllowed(Op op, int k);
// The byte width of signature character c (B 1, W 2, D and R 4); 0 for the others.
constexpr int signatureBytes(char c) { return c == 'B' ? 1 : c == 'W' ? 2 : (c == 'D' || c == 'R') ? 4 : 0; }

// Instructions of the S7-200 that this simulator does not execute: a program line with one
// is loaded, reported by the program check, and skipped when run. Covers mnemonics without
// an opcode (HDEF, HSC, PLS ...) and opcodes that are not simulated yet.
bool isUnsimulatedS7Instruction(std::string_view mnemonic);

}  // namespace korvane
