#include "sim/script_conditions.h"

#include <cctype>

#include "sim/run_script.h"

namespace korvane {

namespace {

bool isBit(const PlcAddress& a) {
    return a.kind == PlcAddress::Kind::Bit || a.kind == PlcAddress::Kind::TimerBit ||
           a.kind == PlcAddress::Kind::CounterBit;
}

std::string trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

// A recursive descent over the text: or := and ('|' and)*; and := unary ('&' unary)*;
// unary := '!' unary | '(' or ')' | operand.
class ConditionParser {
public:
    explicit ConditionParser(std::string_view text) : text_(text) {}

    std::optional<Condition::Node> parse(std::string& error) {
        auto node = parseOr();
        skipBlanks();
        if (node && pos_ < text_.size()) fail("'" + std::string(1, text_[pos_]) + "' where '&', '|' or the end belongs");
        if (!error_.empty()) {
            error = error_;
            return std::nullopt;
        }
        return node;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
    int depth_ = 0;

    void fail(const std::string& why) {
        if (error_.empty()) error_ = why;
    }
    void skipBlanks() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool take(char c) {
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    std::optional<Condition::Node> parseOr() { return parseList('|', Condition::Node::Kind::Or); }
    std::optional<Condition::Node> parseAnd() { return parseList('&', Condition::Node::Kind::And); }

    std::optional<Condition::Node> parseList(char op, Condition::Node::Kind kind) {
        auto first = op == '|' ? parseAnd() : parseUnary();
        if (!first) return std::nullopt;
        Condition::Node list;
        list.kind = kind;
        list.operands.push_back(std::move(*first));
        while (take(op)) {
            auto next = op == '|' ? parseAnd() : parseUnary();
            if (!next) return std::nullopt;
            list.operands.push_back(std::move(*next));
        }
        if (list.operands.size() == 1) return std::move(list.operands.front());
        return list;
    }

    std::optional<Condition::Node> parseUnary() {
        // A nesting bound keeps a hostile line from exhausting the stack.
        if (++depth_ > 64) {
            fail("the condition nests too deeply");
            return std::nullopt;
        }
        std::optional<Condition::Node> node;
        if (take('!')) {
            auto inner = parseUnary();
            if (inner) {
                node.emplace();
                node->kind = Condition::Node::Kind::Not;
                node->operands.push_back(std::move(*inner));
            }
        } else if (take('(')) {
            node = parseOr();
            if (node && !take(')')) {
                fail("a ')' is missing");
                node.reset();
            }
        } else {
            node = parseOperand();
        }
        --depth_;
        return node;
    }

    std::optional<Condition::Node> parseOperand() {
        skipBlanks();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && std::string_view("&|!()").find(text_[pos_]) == std::string_view::npos) ++pos_;
        const std::string operand = trimmed(text_.substr(start, pos_ - start));
        if (operand.empty()) {
            fail(pos_ < text_.size() ? "an address is missing before '" + std::string(1, text_[pos_]) + "'"
                                     : std::string("an address is missing at the end"));
            return std::nullopt;
        }
        const auto eq = operand.find('=');
        const std::string addressText = trimmed(std::string_view(operand).substr(0, eq));
        auto a = parseAddress(addressText);
        if (!a) {
            fail("unknown address '" + addressText + "'");
            return std::nullopt;
        }
        Condition::Node node;
        node.address = *a;
        if (eq == std::string::npos) {
            if (!isBit(*a)) {
                fail(addressText + " is not a bit: give it a value, as in " + addressText + "=0");
                return std::nullopt;
            }
            return node;
        }
        node.value = trimmed(std::string_view(operand).substr(eq + 1));
        std::string why;
        if (!expectedValueValid(*a, node.value, why)) {
            fail(why);
            return std::nullopt;
        }
        return node;
    }
};

bool holds(const Condition::Node& n, const PlcMemory& mem) {
    switch (n.kind) {
    case Condition::Node::Kind::Value:
        if (n.value.empty()) return mem.bit(n.address.key);
        return valueMatches(n.address, readAddress(mem, n.address), n.value);
    case Condition::Node::Kind::Not: return !holds(n.operands.front(), mem);
    case Condition::Node::Kind::And:
        for (const auto& o : n.operands)
            if (!holds(o, mem)) return false;
        return true;
    case Condition::Node::Kind::Or:
        for (const auto& o : n.operands)
            if (holds(o, mem)) return true;
        return false;
    }
    return false;
}

}  // namespace

std::optional<Condition> Condition::parse(std::string_view text, std::string& error) {
    auto root = ConditionParser(text).parse(error);
    if (!root) return std::nullopt;
    Condition c;
    c.root_ = std::move(*root);
    return c;
}

bool Condition::holds(const PlcMemory& mem) const { return korvane::holds(root_, mem); }

}  // namespace korvane
