// The ladder conversion's grid: where each element lands, which links join the rows, the
// pins of the boxes and the code-table line of every instruction element. The text rendering
// is checked by the --lad golden cases; these catch layout faults the text could hide.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/code_table.h"
#include "loader/ladder_graph.h"
#include "loader/stl_reader.h"

namespace korvane::ladder {
namespace {

// The program text around one main-program network, converted with the reader's line map.
struct Converted {
    Program program;
    std::vector<std::string> keptLines;
};

Converted convert(const std::string& body) {
    const std::string text = "ORGANIZATION_BLOCK MAIN:OB1\nTITLE=t\nBEGIN\nNetwork 1 // n\n// c\n" + body +
                             "END_ORGANIZATION_BLOCK\n";
    StlReader reader;
    korvane::Program code;
    Log log;
    EXPECT_TRUE(reader.loadText(text, code, log));
    return {convertToLadder(text, reader.fileLines), reader.lines.toStrings()};
}

const char* shapeName(Shape s) {
    switch (s) {
    case Shape::Wire: return "-";
    case Shape::Contact: return "NO";
    case Shape::ClosedContact: return "NC";
    case Shape::CompareContact: return "CMP";
    case Shape::NotContact: return "NOT";
    case Shape::RisingContact: return "P";
    case Shape::FallingContact: return "N";
    case Shape::Coil: return "COIL";
    case Shape::Box: return "BOX";
    }
    return "?";
}

// "NO I0.0@0,0" per element, "w3" for wires wider than a cell, "|c:from-to" per link.
std::string describe(const Network& n) {
    std::string s;
    for (const Element& e : n.elements) {
        s += shapeName(e.shape);
        if (!e.symbol.empty()) s += "(" + e.symbol + ")";
        if (!e.operand.empty()) s += " " + e.operand;
        s += "@" + std::to_string(e.row) + "," + std::to_string(e.col);
        if (e.width > 1) s += "w" + std::to_string(e.width);
        if (e.height > 1) s += "h" + std::to_string(e.height);
        s += " ";
    }
    for (const Link& l : n.links) s += "|" + std::to_string(l.col) + ":" + std::to_string(l.fromRow) + "-" + std::to_string(l.toRow) + " ";
    return s;
}

struct LayoutCase {
    const char* name;
    const char* stl;
    const char* grid;
    int rows;
    int cols;
};

TEST(LadderGraph, NetworksLandOnTheGridAsMicroWinDrawsThem) {
    const LayoutCase cases[] = {
        {"seal-in: the hold contact under the start button, joined before the stop button",
         "LD I0.0\nO Q0.0\nAN I0.1\n= Q0.0\n", "NO I0.0@0,0 NO Q0.0@1,0 NC I0.1@0,1 COIL Q0.0@0,2 |1:0-1 ", 2, 3},
        {"logic stack: three branches off one fork after the first contact",
         "LD I0.0\nLPS\nA I0.1\n= Q0.0\nLRD\nA I0.2\n= Q0.1\nLPP\nAN I0.3\n= Q0.2\n",
         "NO I0.0@0,0 NO I0.1@0,1 COIL Q0.0@0,2 NO I0.2@1,1 COIL Q0.1@1,2 NC I0.3@2,1 COIL Q0.2@2,2 |1:0-2 ", 3, 3},
        {"ALD of two parallels, OLD of a series: the short branch gets a wire to the join",
         "LD I0.0\nO I0.1\nLD I0.2\nO I0.3\nALD\nLD I1.0\nA I1.1\nOLD\n= Q0.0\n",
         "NO I0.0@0,0 NO I0.1@1,0 NO I0.2@0,1 NO I0.3@1,1 NO I1.0@2,0 NO I1.1@2,1 COIL Q0.0@0,2 |1:0-1 |2:0-2 ",
         3, 3},
        {"a shorter parallel branch is filled with a wire",
         "LD I0.0\nA I0.1\nA I0.2\nO I0.3\n= Q0.0\n",
         "NO I0.0@0,0 NO I0.1@0,1 NO I0.2@0,2 NO I0.3@1,0 -@1,1w2 COIL Q0.0@0,3 |3:0-1 ", 2, 4},
        {"outputs at one logic stack under each other; a contact after an output branches off",
         "LD I0.0\n= Q0.0\nS Q0.1, 2\nA I0.1\n= Q0.2\n",
         "NO I0.0@0,0 COIL Q0.0@0,1 COIL(S) Q0.1@1,1 NO I0.1@2,1 COIL Q0.2@2,2 |1:0-2 ", 3, 3},
        {"ENO chain: the coil after AENO follows the box on its EN row",
         "LD I0.0\nMOVW VW0, VW2\nAENO\n= Q0.1\n", "NO I0.0@0,0 BOX(MOV_W)@0,1h2 COIL Q0.1@0,2 ", 2, 3},
        {"a counter's R circuit comes from the rail under the CU circuit",
         "LD I0.0\nO I0.4\nLD I0.1\nCTU C2, +5\n",
         "NO I0.0@0,0 NO I0.4@1,0 NO I0.1@2,0 BOX(CTU) C2@0,1h4 |1:0-1 ", 4, 2},
        {"a rung of its own for each LD that starts again",
         "LD M0.0\nA Q0.0\n= M0.1\nLD M0.0\nA Q0.1\n= M0.2\n",
         "NO M0.0@0,0 NO Q0.0@0,1 COIL M0.1@0,2 NO M0.0@1,0 NO Q0.1@1,1 COIL M0.2@1,2 ", 2, 3},
        {"edges, NOT and a compare in series", "LD I0.0\nEU\nNOT\nAW>= VW0, 5\n= Q0.0\n",
         "NO I0.0@0,0 P@0,1 NOT@0,2 CMP(>=I) VW0@0,3 COIL Q0.0@0,4 ", 1, 5},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Converted conv = convert(c.stl);
        ASSERT_EQ(conv.program.blocks.size(), 1u);
        ASSERT_EQ(conv.program.blocks[0].networks.size(), 1u);
        const Network& n = conv.program.blocks[0].networks[0];
        ASSERT_TRUE(n.drawable) << n.reason;
        EXPECT_EQ(describe(n), c.grid);
        EXPECT_EQ(n.rows, c.rows);
        EXPECT_EQ(n.cols, c.cols);
        // Every instruction element points at its own kept line.
        for (const Element& e : n.elements) {
            if (e.shape == Shape::Wire) {
                EXPECT_EQ(e.line, -1);
                continue;
            }
            ASSERT_GE(e.line, 0);
            ASSERT_LT(static_cast<std::size_t>(e.line), conv.keptLines.size());
            const std::string& kept = conv.keptLines[static_cast<std::size_t>(e.line)];
            if (!e.operand.empty()) {
                EXPECT_NE(kept.find(e.operand), std::string::npos) << kept;
            }
        }
    }
}

TEST(LadderGraph, BoxPinsFollowTheInstruction) {
    // CTUD: CU on the EN row, CD and R as power pins with their circuits, PV an operand.
    {
        const Converted conv = convert("LD I0.0\nLD I0.1\nLD I0.2\nCTUD C1, 10\n");
        const Network& n = conv.program.blocks[0].networks[0];
        ASSERT_TRUE(n.drawable) << n.reason;
        const Element& box = n.elements.back();
        ASSERT_EQ(box.shape, Shape::Box);
        EXPECT_EQ(box.powerInput, "CU");
        EXPECT_FALSE(box.hasEno);
        ASSERT_EQ(box.inputs.size(), 3u);
        EXPECT_TRUE(box.inputs[0].power);
        EXPECT_EQ(box.inputs[0].name, "CD");
        EXPECT_EQ(box.inputs[0].row, 1);
        EXPECT_EQ(box.inputs[1].name, "R");
        EXPECT_EQ(box.inputs[1].row, 2);
        EXPECT_EQ(box.inputs[2].name, "PV");
        EXPECT_EQ(box.inputs[2].operand, "10");
        EXPECT_EQ(box.inputs[2].operandIndex, 1);
        // The CD and R contacts sit on their pins' rows.
        EXPECT_EQ(n.elements[1].operand, "I0.1");
        EXPECT_EQ(n.elements[1].row, 1);
        EXPECT_EQ(n.elements[2].operand, "I0.2");
        EXPECT_EQ(n.elements[2].row, 2);
    }
    // MOVW IN1, OUT + +I IN2, OUT is one ADD_I; IN1's value comes from the move's line.
    {
        const Converted conv = convert("LD I0.0\nMOVW VW0, VW4\n+I VW2, VW4\n");
        const Network& n = conv.program.blocks[0].networks[0];
        ASSERT_TRUE(n.drawable) << n.reason;
        ASSERT_EQ(n.elements.size(), 2u);
        const Element& box = n.elements[1];
        EXPECT_EQ(box.symbol, "ADD_I");
        EXPECT_EQ(conv.keptLines[static_cast<std::size_t>(box.line)], "+I VW2, VW4");
        ASSERT_EQ(box.inputs.size(), 2u);
        EXPECT_EQ(box.inputs[0].name, "IN1");
        EXPECT_EQ(box.inputs[0].operand, "VW0");
        EXPECT_EQ(box.inputs[0].operandIndex, 0);
        EXPECT_EQ(conv.keptLines[static_cast<std::size_t>(box.inputs[0].line)], "MOVW VW0, VW4");
        EXPECT_EQ(box.inputs[1].operand, "VW2");
        EXPECT_EQ(box.inputs[1].operandIndex, 0);
        EXPECT_EQ(box.inputs[1].line, -1);
        ASSERT_EQ(box.outputs.size(), 1u);
        EXPECT_EQ(box.outputs[0].operand, "VW4");
        EXPECT_EQ(box.outputs[0].operandIndex, 1);
    }
}

TEST(LadderGraph, NetworksWithoutLadderFormKeepTheirStl) {
    const struct {
        const char* stl;
        const char* reason;  // the start of the reason
    } cases[] = {
        {"LD I0.0\n= Q0.0\nO I0.1\n= Q0.1\n", "O："},         // OR into a circuit that already drives an output
        {"LD I0.0\n", "LD："},                                // a circuit without output
        {"LD I0.0\nLPS\n= Q0.0\n", "LPS："},                  // no LPP
        {"LD I0.0\nLPP\n= Q0.0\n", "LPP："},                  // no LPS
        {"= Q0.0\n", "=："},                                  // no logic
        {"LD I0.0\nFOO VW0\n", "FOO："},                      // unknown
        {"LD I0.0\nALD\n= Q0.0\n", "ALD："},                  // one level only
        {"LD I0.0\nLPS\nLD I0.1\nCTU C0, 1\nLPP\n= Q0.0\n", "计数器"},  // R circuit crossed by the fork
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stl);
        const Converted conv = convert(c.stl);
        const Network& n = conv.program.blocks[0].networks[0];
        EXPECT_FALSE(n.drawable);
        EXPECT_EQ(n.reason.rfind(c.reason, 0), 0u) << n.reason;
        EXPECT_TRUE(n.elements.empty());
        EXPECT_FALSE(n.stl.empty());
        EXPECT_EQ(n.title, "n");
        ASSERT_EQ(n.comment.size(), 1u);
        EXPECT_EQ(n.comment[0], "c");
    }
}

TEST(LadderGraph, BlocksNetworksAndCallParameters) {
    const std::string text =
        "ORGANIZATION_BLOCK MAIN:OB1\nTITLE=main\nBEGIN\nNetwork 1 // call\nLD SM0.0\n"
        "CALL SBR0, I0.0, VW10, VW30\nNetwork 2\nLD SM0.0\n= Q0.0\nEND_ORGANIZATION_BLOCK\n"
        "SUBROUTINE_BLOCK ADDER:SBR0\nTITLE=sub\nVAR_INPUT\nGO:BOOL;\nN:INT;\nEND_VAR\nVAR_OUTPUT\nRES:WORD;\nEND_VAR\n"
        "VAR\nTMP:DINT;\nEND_VAR\nBEGIN\nNetwork 1\nLD L0.0\nMOVW LW1, LW3\nEND_SUBROUTINE_BLOCK\n";
    StlReader reader;
    korvane::Program code;
    Log log;
    ASSERT_TRUE(reader.loadText(text, code, log));
    const Program p = convertToLadder(text, reader.fileLines);
    ASSERT_EQ(p.blocks.size(), 2u);
    EXPECT_EQ(p.blocks[0].title, "MAIN (OB1)");
    EXPECT_EQ(p.blocks[1].title, "ADDER (SBR0)");
    ASSERT_EQ(p.blocks[0].networks.size(), 2u);
    EXPECT_EQ(p.blocks[0].networks[1].number, 2);
    EXPECT_EQ(p.blocks[0].networks[1].fileLine, 7);
    const Element& call = p.blocks[0].networks[0].elements.back();
    EXPECT_EQ(call.symbol, "ADDER");
    ASSERT_EQ(call.inputs.size(), 2u);
    EXPECT_EQ(call.inputs[0].name, "GO");
    EXPECT_EQ(call.inputs[1].name, "N");
    EXPECT_EQ(call.inputs[1].operandIndex, 2);
    ASSERT_EQ(call.outputs.size(), 1u);
    EXPECT_EQ(call.outputs[0].name, "RES");
    EXPECT_EQ(call.outputs[0].operand, "VW30");
    // The subroutine's network lines are its own code-table lines.
    const Network& sub = p.blocks[1].networks[0];
    ASSERT_GE(sub.firstLine, 0);
    EXPECT_EQ(reader.lines[static_cast<std::size_t>(sub.firstLine)], "LD L0.0");
    EXPECT_EQ(reader.lines[static_cast<std::size_t>(sub.lastLine)], "MOVW LW1, LW3");
}

}  // namespace
}  // namespace korvane::ladder
