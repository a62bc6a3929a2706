#pragma once
// The ladder (LAD) form of an STL program: each network rebuilt from its STL lines as a
// grid of contacts, coils and boxes the way MicroWIN lays it out. The conversion is plain
// C++ so that the window's ladder view and `korvane-run --lad` draw the same graph.
//
// Grid: a network has `rows` x `cols` cells. Power enters from the left rail at the left
// edge of column 0. An element sits in the cell (row, col) and covers `width` columns and
// `height` rows (a box is one column wide and as tall as its pins need). A Wire element is
// a horizontal line through its cells. A Link is a vertical line on the left edge of column
// `col` joining rows `fromRow`..`toRow` (col == cols: the right edge of the last column).
// Cells that hold nothing are empty.
#include <string>
#include <string_view>
#include <vector>

namespace korvane::ladder {

enum class Shape {
    Wire,               // a horizontal line
    Contact,            // | |  (LD, A, O) ; immediate: |I|
    ClosedContact,      // |/|  (LDN, AN, ON) ; immediate: |/I|
    CompareContact,     // a compare contact: `symbol` is the relation and type ("==I", "<R", "<>B")
    NotContact,         // |NOT|
    RisingContact,      // |P|  (EU)
    FallingContact,     // |N|  (ED)
    Coil,               // ( )  (=); `symbol` names special coils: "S", "R", "I", "SI", "RI",
                        // "JMP", "SCRT", "SCRE", "RET", "CRET", "END", "STOP", "WDR", "NEXT", ...
    Box,                // a box with EN and ENO: `symbol` is its title ("TON", "MOV_W", "SBR_0")
};

// A box input or output: its pin name and operand as MicroWIN shows them.
struct Pin {
    std::string name;     // "IN", "PT", "OUT", "IN1", a subroutine parameter name, ...
    std::string operand;  // the operand text as written (with its symbol when it has one)
    // The operand's position in the instruction's line (0-based), so a view can show its
    // current value from that line's status (LineStatus::value holds the first three);
    // -1 when the pin has no operand of the line (a box's power input other than EN).
    int operandIndex = -1;
    // The pin's row inside its box: 0 is the EN/ENO row, inputs and outputs follow one per
    // row; a power input (`power`) may sit lower so that its circuit fits under the one
    // feeding EN.
    int row = 0;
    // A power-flow input drawn with its own circuit from the left rail (a counter's R, CD, LD);
    // such a pin has no operand.
    bool power = false;
    // The code-table line the operand belongs to when it is not the box's `line`: the IN1 of
    // a box exported as a move and an operation (MOVW VW0, VW4 + +I VW2, VW4 is one ADD_I).
    int line = -1;
};

struct Element {
    Shape shape = Shape::Wire;
    int row = 0;
    int col = 0;
    int width = 1;
    int height = 1;
    std::string symbol;    // see Shape
    std::string operand;   // a contact's or coil's operand (a compare's first one)
    std::string operand2;  // a compare contact's second operand; the bit count of S and R
    bool immediate = false;  // LDI, =I, SI, ... (the I in the symbol)
    // The code-table line of the instruction (the index of its kept program line), whose
    // recorded status (lineStatus) a view shows; -1 for wires.
    int line = -1;
    std::vector<Pin> inputs;   // a box's inputs below EN, in order
    std::vector<Pin> outputs;  // a box's outputs below ENO, in order
    bool enoUsed = false;      // something is connected to the box's ENO
    // The box's first power input as MicroWIN names it: "EN", "IN" (timers), "CU" (CTU,
    // CTUD), "CD" (CTD); empty for SCR, which hangs on the rail without a pin name, and
    // for LBL, the one box with no power connection at all.
    std::string powerInput = "EN";
    bool hasEno = true;        // false for timers, counters, SCR and LBL, which have no ENO
};

struct Link {
    int col = 0;
    int fromRow = 0;
    int toRow = 0;
};

struct Network {
    int number = 0;            // "Network 3" -> 3
    std::string title;         // the text after "//" on the network line
    std::vector<std::string> comment;  // the comment lines that follow the network line
    int fileLine = 0;          // the network line's line number in the file (from 1)
    int firstLine = -1;        // code-table range of the network's instruction lines
    int lastLine = -1;
    // False when the network has no ladder form: a view shows `stl` in a box captioned
    // "该网络无法用梯形图显示".
    bool drawable = true;
    std::string reason;        // why not drawable, for the text rendering and tool tips
    std::vector<std::string> stl;  // the network's STL lines as written
    int rows = 0;
    int cols = 0;
    std::vector<Element> elements;
    std::vector<Link> links;
};

// A program block: the main program, a subroutine or an interrupt routine.
struct Block {
    std::string title;  // "MAIN (OB1)", "SBR_0 (SBR0)", "INT_0 (INT0)" as the header names it
    // The block's TITLE text and the "//" lines between its header and BEGIN.
    std::vector<std::string> comment;
    int fileLine = 0;
    std::vector<Network> networks;
};

struct Program {
    std::vector<Block> blocks;
};

// Converts a program from its text (UTF-8, as the program file reads after decoding) and
// the reader's map of kept lines to file lines (StlReader::fileLines), which gives each
// instruction its code-table line.
Program convertToLadder(std::string_view programText, const std::vector<int>& keptFileLines);

// The ladder as ASCII art: one network after another, for `korvane-run --lad` and tests.
std::string renderLadderText(const Program& program);

}  // namespace korvane::ladder
