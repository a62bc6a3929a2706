#pragma once
// Lines of text kept in one block: a program's 10,000 lines cost one allocation, not one
// each, and a line reads as a view into the block.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
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

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    // The bytes of all lines together.
    std::size_t textSize() const { return text_.size(); }
    void clear() {
        text_.clear();
        ends_.clear();
    }
    void reserve(std::size_t lines, std::size_t bytes) {
        ends_.reserve(lines);
        text_.reserve(bytes);
    }
    void push_back(std::string_view t) {
        text_.append(t);
        endLine();
    }
    // A line built in pieces: append them, then end the line.
    void append(std::string_view piece) { text_.append(piece); }
    void endLine() { ends_.push_back(static_cast<std::uint32_t>(text_.size())); }

    std::string_view operator[](std::size_t i) const {
        const std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }
    std::string_view back() const { return (*this)[size() - 1]; }
    std::vector<std::string> toStrings() const {
        std::vector<std::string> out;
        out.reserve(size());
        for (std::size_t i = 0; i < size(); ++i) out.emplace_back((*this)[i]);
        return out;
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;
        const_iterator() = default;
        const_iterator(const TextLines* lines, std::size_t i) : lines_(lines), i_(i) {}
        std::string_view operator*() const { return (*lines_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++i_;
            return before;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const TextLines* lines_ = nullptr;
        std::size_t i_ = 0;
    };
    using iterator = const_iterator;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    bool operator==(const TextLines& o) const { return ends_ == o.ends_ && text_ == o.text_; }
    friend bool operator==(const TextLines& a, const std::vector<std::string>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < b.size(); ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

private:
    std::string text_;
    std::vector<std::uint32_t> ends_;  // where each line's text ends in text_
};

}  // namespace korvane
