#include "loader/symbol_table.h"

#include "loader/operand_syntax.h"
#include "loader/stl_text.h"
#include "loader/text_encoding.h"
#include "platform/file_read.h"

namespace korvane {

namespace {

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        out.push_back(stl::trim(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start)));
        if (tab == std::string_view::npos) return out;
        start = tab + 1;
    }
}

// An address a symbol may stand for: a bit, byte, word, double word, timer, counter or
// accumulator.
bool isAddress(std::string_view text) {
    switch (parseOperand(text).form) {
    case OperandForm::Bit:
    case OperandForm::Byte:
    case OperandForm::Word:
    case OperandForm::DWord:
    case OperandForm::Timer:
    case OperandForm::Counter:
    case OperandForm::Accumulator:
        return true;
    default:
        return false;
    }
}

// A header row ("Symbol Address Comment", "符号 地址 注释") or a row without any text.
bool isHeaderOrEmpty(const std::vector<std::string_view>& f) {
    bool any = false;
    for (std::string_view s : f) {
        if (s.empty()) continue;
        any = true;
        if (s == "Symbol" || s == "符号" || s == "Address" || s == "地址") return true;
    }
    return !any;
}

}  // namespace

bool SymbolTable::loadText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const std::string text = toUtf8(bytes);
    std::vector<Entry> entries;
    std::vector<int> skipped;
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string_view line(text.data() + pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = nl + 1;
        ++lineNo;
        const std::vector<std::string_view> f = fields(line);
        std::size_t a = 0;
        while (a < f.size() && !isAddress(f[a])) ++a;
        std::size_t s = a;
        while (s > 0 && f[s - 1].empty()) --s;
        if (a == f.size() || s == 0) {
            if (!isHeaderOrEmpty(f)) skipped.push_back(lineNo);
            continue;
        }
        Entry e{std::string(f[s - 1]), std::string(f[a]), {}};
        // A quoted symbol ("Start") names the same as its bare form.
        if (e.symbol.size() >= 2 && e.symbol.front() == '"' && e.symbol.back() == '"')
            e.symbol = e.symbol.substr(1, e.symbol.size() - 2);
        for (std::size_t c = a + 1; c < f.size(); ++c) {
            if (f[c].empty()) continue;
            if (!e.comment.empty()) e.comment += ' ';
            e.comment += f[c];
        }
        entries.push_back(std::move(e));
    }
    if (entries.empty()) return false;
    clear();
    entries_ = std::move(entries);
    skipped_ = std::move(skipped);
    // A symbol named twice takes its last address; an address named twice keeps its first
    // symbol for display.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        bySymbol_[entries_[i].symbol] = i;
        byAddress_.emplace(entries_[i].address, i);
    }
    return true;
}

bool SymbolTable::loadFile(const std::string& path) {
    std::string bytes;
    if (path.empty() || !readFileUpTo(path, kMaxFileBytes, bytes)) return false;
    if (!loadText(bytes)) return false;
    path_ = path;
    return true;
}

void SymbolTable::clear() {
    entries_.clear();
    bySymbol_.clear();
    byAddress_.clear();
    skipped_.clear();
    path_.clear();
}

const std::string* SymbolTable::addressOf(std::string_view symbol) const {
    auto it = bySymbol_.find(std::string(symbol));
    return it == bySymbol_.end() ? nullptr : &entries_[it->second].address;
}

const std::string* SymbolTable::symbolOf(std::string_view address) const {
    auto it = byAddress_.find(std::string(address));
    return it == byAddress_.end() ? nullptr : &entries_[it->second].symbol;
}

std::string withSymbols(std::string_view line, const SymbolTable& symbols) {
    if (symbols.empty()) return std::string(line);
    std::size_t p = 0;
    while (p < line.size() && !stl::isBlank(line[p])) ++p;
    if (p == line.size()) return std::string(line);
    std::string out(line.substr(0, p));
    bool changed = false;
    std::size_t from = p;
    while (from <= line.size()) {
        std::size_t to = line.find(',', from);
        if (to == std::string_view::npos) to = line.size();
        const std::string_view field = line.substr(from, to - from);
        // Keep the blanks around the operand as written.
        const std::string_view t = stl::trim(field);
        const std::size_t lead = t.empty() ? field.size() : static_cast<std::size_t>(t.data() - field.data());
        out += field.substr(0, lead);
        std::string_view name = t;
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        if (const std::string* a = symbols.addressOf(name); a && !name.empty()) {
            out += std::string(name) + ":" + *a;
            changed = true;
        } else if (const std::string* s = symbols.symbolOf(t); s && !t.empty()) {
            out += *s + ":" + std::string(t);
            changed = true;
        } else {
            out += t;
        }
        out += field.substr(lead + t.size());
        if (to == line.size()) break;
        out += ',';
        from = to + 1;
    }
    return changed ? out : std::string(line);
}

}  // namespace korvane
