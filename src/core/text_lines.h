#pragma once
// Lines of text kept in one block: a program's 10,000 lines cost one allocation, not one
// each, and a line reads as a view into the block. Copies share the block until one of them
// changes (the reader's lines and the program's source texts are the same text).
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class TextLines {
public:
    TextLines() = default;
    // Lines made elsewhere (tests, tools): copied into the block.
    TextLines(const std::vector<std::string>& lines) {  // NOLINT(google-explicit-constructor)
        for (const std::string& l : lines) push_back(l);
    }
    TextLines(std::initializer_list<std::string_view> lines) {
        for (std::string_view l : lines) push_back(l);
    }

    std::size_t size() const { return d_ ? d_->ends.size() : 0; }
    bool empty() const { return size() == 0; }
    // The bytes of all lines together.
    std::size_t textSize() const { return d_ ? d_->text.size() : 0; }
    void clear() { d_.reset(); }
    void reserve(std::size_t lines, std::size_t bytes) {
        Block& b = own();
        b.ends.reserve(lines);
        b.text.reserve(bytes);
    }
    void push_back(std::string_view t) {
        Block& b = own();
        b.text.append(t);
        b.ends.push_back(static_cast<std::uint32_t>(b.text.size()));
    }
    // A line built in pieces: append them, then end the line.
    void append(std::string_view piece) { own().text.append(piece); }
    void endLine() {
        Block& b = own();
        b.ends.push_back(static_cast<std::uint32_t>(b.text.size()));
    }

    std::string_view operator[](std::size_t i) const {
        const std::uint32_t begin = i == 0 ? 0 : d_->ends[i - 1];
        return std::string_view(d_->text).substr(begin, d_->ends[i] - begin);
    }
    std::vector<std::string> toStrings() const {
        std::vector<std::string> out;
        out.reserve(size());
        for (std::size_t i = 0; i < size(); ++i) out.emplace_back((*this)[i]);
        return out;
    }

    bool operator==(const TextLines& o) const {
        if (d_ == o.d_) return true;
        if (size() != o.size()) return false;
        return size() == 0 || (d_->ends == o.d_->ends && d_->text == o.d_->text);
    }
    friend bool operator==(const TextLines& a, const std::vector<std::string>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < b.size(); ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

private:
    struct Block {
        std::string text;
        std::vector<std::uint32_t> ends;  // where each line's text ends in text
    };
    // The block to change: a shared one is copied first.
    [[gnu::always_inline]] Block& own() {
        if (d_ && d_.use_count() == 1) [[likely]]
            return *d_;
        return ownNew();
    }
    Block& ownNew() {
        d_ = d_ ? std::make_shared<Block>(*d_) : std::make_shared<Block>();
        return *d_;
    }
    std::shared_ptr<Block> d_;
};

}  // namespace korvane
