#pragma once
// A symbol table: names for addresses, as STEP 7-MicroWIN's symbol table gives them when its
// rows are copied or saved as text. Each line holds tab-separated fields "symbol, address,
// comment" (leading empty fields, as a copied grid may give, are skipped). A program that
// names its operands by symbol ("Start_PB" or Start_PB) is resolved through it when built.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

class SymbolTable {
public:
    // A symbol file longer than this is refused.
    static constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;

    struct Entry {
        std::string symbol;
        std::string address;
        std::string comment;
    };

    // Replaces the table with the lines of text (UTF-8 or GBK). Lines without an address
    // field (a header row, an empty line) are skipped; those that are neither header nor
    // empty are counted in skippedLines (1-based line numbers). False when no line gave an
    // entry, and the table is then left as it was.
    bool loadText(std::string_view text);
    // The same from a file; false when it cannot be read, is too long or holds no entry.
    bool loadFile(const std::string& path);
    void clear();

    // The address of a symbol (exact, case-sensitive); null when unknown.
    const std::string* addressOf(std::string_view symbol) const;
    // The symbol of an address text ("I0.0", "VW100"); null when none names it.
    const std::string* symbolOf(std::string_view address) const;

    const std::vector<Entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    const std::vector<int>& skippedLines() const { return skipped_; }
    const std::string& path() const { return path_; }

private:
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> bySymbol_;
    std::unordered_map<std::string, std::size_t> byAddress_;
    std::vector<int> skipped_;
    std::string path_;
};

// A program line as the status views show it with a symbol table: every operand that is a
// symbol, or an address a symbol names, reads "symbol:address" ("LD Start_PB:I0.0"); the
// rest of the line is kept as written. The line unchanged when no operand has a symbol.
std::string withSymbols(std::string_view line, const SymbolTable& symbols);

}  // namespace korvane
