// The ladder as ASCII art (korvane-run --lad). Every grid row is three text lines: the
// operand above a contact or coil, the wire line with the symbols, and the line below (a
// compare's second operand, the bit count of S and R). A column is as wide as its widest
// element; a vertical link is drawn in the one-character gap left of its column.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "loader/ladder_graph.h"

namespace korvane::ladder {

namespace {

// One code point of UTF-8 text and its width on a terminal (CJK: 2).
struct Glyph {
    char32_t cp = U' ';
    int width = 1;
};

std::vector<Glyph> glyphs(std::string_view s) {
    std::vector<Glyph> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + n > s.size()) n = s.size() - i;
        std::uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1Fu) : n == 3 ? (c & 0x0Fu) : (c & 0x07u);
        for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        out.push_back(Glyph{static_cast<char32_t>(cp), wide ? 2 : 1});
        i += n;
    }
    return out;
}

int textWidth(std::string_view s) {
    int w = 0;
    for (const Glyph& g : glyphs(s)) w += g.width;
    return w;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Character cells; the right half of a wide character holds 0.
class Canvas {
public:
    Canvas(int lines, int width)
        : cells_(static_cast<std::size_t>(lines), std::u32string(static_cast<std::size_t>(width), U' ')) {}

    void put(int line, int x, std::string_view text) {
        if (line < 0 || static_cast<std::size_t>(line) >= cells_.size()) return;
        auto& row = cells_[static_cast<std::size_t>(line)];
        for (const Glyph& g : glyphs(text)) {
            if (x < 0 || static_cast<std::size_t>(x + g.width) > row.size()) return;
            row[static_cast<std::size_t>(x)] = g.cp;
            if (g.width == 2) row[static_cast<std::size_t>(x + 1)] = 0;
            x += g.width;
        }
    }
    void fill(int line, int x, int n, char c) {
        for (int k = 0; k < n; ++k) put(line, x + k, std::string(1, c));
    }
    char32_t at(int line, int x) const {
        if (line < 0 || static_cast<std::size_t>(line) >= cells_.size()) return 0;
        const auto& row = cells_[static_cast<std::size_t>(line)];
        return x < 0 || static_cast<std::size_t>(x) >= row.size() ? 0 : row[static_cast<std::size_t>(x)];
    }
    // The lines without trailing blanks; lines holding nothing but vertical lines (the
    // rail, links, the sides of a box) are dropped.
    void appendTo(std::string& out) const {
        for (const auto& row : cells_) {
            if (row.find_first_not_of(U"| ") == std::u32string::npos) continue;
            std::size_t end = row.find_last_not_of(U' ');
            for (std::size_t i = 0; i <= end; ++i)
                if (row[i] != 0) appendUtf8(out, row[i]);
            out += '\n';
        }
    }

private:
    std::vector<std::u32string> cells_;
};

std::string coilText(const Element& e) { return "(" + (e.symbol.empty() ? std::string(" ") : e.symbol) + ")"; }

std::string contactText(const Element& e) {
    switch (e.shape) {
    case Shape::Contact: return e.immediate ? "|I|" : "| |";
    case Shape::ClosedContact: return e.immediate ? "|/I|" : "|/|";
    case Shape::CompareContact: return "|" + e.symbol + "|";
    case Shape::NotContact: return "|NOT|";
    case Shape::RisingContact: return "|P|";
    case Shape::FallingContact: return "|N|";
    default: return {};
    }
}

struct BoxGeometry {
    int left = 0;   // the input operands and their wire
    int inner = 0;  // the box with its borders
    int right = 0;  // the output wire and operands
    int width() const { return left + inner + right; }
};

BoxGeometry boxGeometry(const Element& e) {
    BoxGeometry g;
    int leftName = textWidth(e.powerInput);
    int rightName = e.hasEno ? 3 : 0;
    for (const Pin& p : e.inputs) {
        g.left = std::max(g.left, textWidth(p.operand) + 1);
        leftName = std::max(leftName, textWidth(p.name));
    }
    for (const Pin& p : e.outputs) {
        g.right = std::max(g.right, textWidth(p.operand) + 1);
        rightName = std::max(rightName, textWidth(p.name));
    }
    g.left = std::max(g.left, 2);
    g.right = std::max(g.right, 2);
    const int title = textWidth(e.powerInput) + (e.hasEno ? 3 : 0) + textWidth(e.symbol) + 2;
    g.inner = 2 + std::max({leftName + 1 + rightName, title, textWidth(e.operand) + 4});
    return g;
}

int contentWidth(const Element& e) {
    switch (e.shape) {
    case Shape::Wire: return 1;
    case Shape::Box: return boxGeometry(e).width();
    case Shape::Coil: return std::max({8, textWidth(e.operand) + 2, textWidth(e.operand2) + 2, textWidth(coilText(e)) + 3});
    default:
        return std::max({8, textWidth(e.operand) + 2, textWidth(e.operand2) + 2, textWidth(contactText(e)) + 4});
    }
}

// Text centred in a field of width w starting at x.
void centred(Canvas& c, int line, int x, int w, const std::string& text) {
    const int t = textWidth(text);
    c.put(line, x + std::max(0, (w - t) / 2), text);
}

void renderNetwork(const Network& net, std::string& out) {
    out += "Network " + std::to_string(net.number);
    if (!net.title.empty()) out += "  " + net.title;
    out += '\n';
    for (const std::string& c : net.comment) out += "  " + c + '\n';
    if (!net.drawable) {
        out += "该网络无法用梯形图显示";
        if (!net.reason.empty()) out += "（" + net.reason + "）";
        out += '\n';
        for (const std::string& s : net.stl) out += "    " + s + '\n';
        out += '\n';
        return;
    }
    if (net.rows == 0) {
        out += '\n';
        return;
    }
    std::vector<int> colWidth(static_cast<std::size_t>(net.cols), 3);
    for (const Element& e : net.elements)
        if (e.width == 1 && e.col < net.cols)
            colWidth[static_cast<std::size_t>(e.col)] = std::max(colWidth[static_cast<std::size_t>(e.col)], contentWidth(e));
    std::vector<int> x(static_cast<std::size_t>(net.cols) + 1, 0);
    for (int c = 0; c < net.cols; ++c)
        x[static_cast<std::size_t>(c) + 1] = x[static_cast<std::size_t>(c)] + 1 + colWidth[static_cast<std::size_t>(c)];
    auto xs = [&](int c) { return x[static_cast<std::size_t>(std::clamp(c, 0, net.cols))]; };
    Canvas canvas(net.rows * 3, xs(net.cols) + 1);
    auto top = [](int row) { return row * 3; };
    auto mid = [](int row) { return row * 3 + 1; };
    auto bottom = [](int row) { return row * 3 + 2; };

    for (const Element& e : net.elements) {
        const int x0 = xs(e.col);
        const int w = xs(e.col + e.width) - x0;  // gap included
        switch (e.shape) {
        case Shape::Wire: canvas.fill(mid(e.row), x0, w, '-'); break;
        case Shape::Coil: {
            const std::string sym = coilText(e);
            const int sw = textWidth(sym);
            const int at = x0 + 1 + std::max(1, (w - 1 - sw) / 2);
            canvas.fill(mid(e.row), x0, at - x0, '-');
            canvas.put(mid(e.row), at, sym);
            centred(canvas, top(e.row), x0 + 1, w - 1, e.operand);
            centred(canvas, bottom(e.row), x0 + 1, w - 1, e.operand2);
            break;
        }
        case Shape::Box: {
            const BoxGeometry g = boxGeometry(e);
            const int bl = x0 + 1 + g.left;  // the box's left border
            const int br = bl + g.inner - 1;  // its right border
            const int last = e.row + e.height - 1;
            // Borders.
            canvas.put(top(e.row), bl, "+");
            canvas.fill(top(e.row), bl + 1, g.inner - 2, '-');
            canvas.put(top(e.row), br, "+");
            if (!e.operand.empty()) centred(canvas, top(e.row), bl + 1, g.inner - 2, e.operand);
            for (int r = e.row; r <= last; ++r) {
                for (int line : {mid(r), bottom(r)}) {
                    canvas.put(line, bl, "|");
                    canvas.put(line, br, "|");
                }
                if (r > e.row) {
                    canvas.put(top(r), bl, "|");
                    canvas.put(top(r), br, "|");
                }
            }
            canvas.put(bottom(last), bl, "+");
            canvas.fill(bottom(last), bl + 1, g.inner - 2, '-');
            canvas.put(bottom(last), br, "+");
            // EN, title, ENO.
            const int r0 = mid(e.row);
            if (e.symbol != "LBL") canvas.fill(r0, x0, bl - x0, '-');
            canvas.put(r0, bl + 1, e.powerInput);
            if (e.hasEno) {
                canvas.put(r0, br - 3, "ENO");
                if (e.enoUsed) canvas.fill(r0, br + 1, x0 + w - br - 1, '-');
            }
            {
                const int from = bl + 1 + textWidth(e.powerInput);
                const int to = br - (e.hasEno ? 3 : 0);
                centred(canvas, r0, from, to - from, e.symbol);
            }
            for (const Pin& p : e.inputs) {
                const int line = mid(e.row + p.row);
                if (p.power) {
                    canvas.fill(line, x0, bl - x0, '-');
                } else {
                    const std::string op = p.operand + "-";
                    canvas.put(line, bl - textWidth(op), op);
                }
                canvas.put(line, bl + 1, p.name);
            }
            for (const Pin& p : e.outputs) {
                const int line = mid(e.row + p.row);
                canvas.put(line, br - textWidth(p.name), p.name);
                canvas.put(line, br + 1, "-" + p.operand);
            }
            break;
        }
        default: {
            const std::string sym = contactText(e);
            const int sw = textWidth(sym);
            const int at = x0 + 1 + (w - 1 - sw) / 2;
            canvas.fill(mid(e.row), x0, w, '-');
            canvas.put(mid(e.row), at, sym);
            centred(canvas, top(e.row), x0 + 1, w - 1, e.operand);
            centred(canvas, bottom(e.row), x0 + 1, w - 1, e.operand2);
            break;
        }
        }
    }
    for (const Link& l : net.links) {
        const int lx = xs(l.col);
        for (int line = mid(l.fromRow); line <= mid(l.toRow); ++line) {
            const bool ends = line == mid(l.fromRow) || line == mid(l.toRow);
            const bool wireLine = line % 3 == 1;
            // A wire through the link's column, or one ending at it, joins it.
            const bool joined = canvas.at(line, lx) == U'-' || canvas.at(line, lx - 1) == U'-';
            if (ends || (wireLine && joined)) canvas.put(line, lx, "+");
            else if (canvas.at(line, lx) != U'+') canvas.put(line, lx, "|");
        }
    }
    for (int line = 0; line < net.rows * 3; ++line) canvas.put(line, 0, "|");
    canvas.appendTo(out);
    out += '\n';
}

}  // namespace

std::string renderLadderText(const Program& program) {
    std::string out;
    for (const Block& b : program.blocks) {
        out += "=== " + b.title + " ===\n";
        for (const std::string& c : b.comment) out += c + '\n';
        out += '\n';
        for (const Network& n : b.networks) renderNetwork(n, out);
    }
    return out;
}

}  // namespace korvane::ladder
