#pragma once
// A small Value Change Dump reader for the tests: reads the header, the variables, the times
// and the values, and says what is wrong with a file (a time not after the one before, an
// identifier never declared, a value that does not fit its variable, a section left open).
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::test {

struct VcdVar {
    std::string type;  // wire, reg, real
    int width = 0;
    std::string id;
    std::string reference;
};

struct VcdChange {
    std::int64_t time = 0;
    std::string id;
    std::string value;  // "0", "1", "x"; a vector's bits without "b"; a real's number
};

struct VcdFile {
    std::string date, version, timescale, comment;
    std::vector<std::string> scopes;
    std::vector<VcdVar> vars;
    std::vector<VcdChange> changes;
    std::vector<std::int64_t> times;
    std::string error;  // empty when the file is sound

    const VcdVar* byReference(const std::string& ref) const {
        for (const auto& v : vars)
            if (v.reference == ref) return &v;
        return nullptr;
    }
    // A variable's changes as (time, value), vectors as unsigned numbers (x as -1).
    std::vector<std::pair<std::int64_t, std::int64_t>> history(const std::string& ref) const {
        std::vector<std::pair<std::int64_t, std::int64_t>> out;
        const VcdVar* v = byReference(ref);
        if (!v) return out;
        for (const auto& c : changes) {
            if (c.id != v->id) continue;
            std::int64_t n = 0;
            if (c.value.find_first_of("xXzZ") != std::string::npos) n = -1;
            else if (v->type == "real") n = static_cast<std::int64_t>(std::stod(c.value));
            else
                for (char ch : c.value) n = n * 2 + (ch - '0');
            out.emplace_back(c.time, n);
        }
        return out;
    }
    // The first time at or after `from` where the variable changes to `value`; -1 if never.
    std::int64_t firstChangeTo(const std::string& ref, std::int64_t value, std::int64_t from = 0) const {
        for (const auto& [t, v] : history(ref))
            if (t >= from && v == value) return t;
        return -1;
    }
};

inline VcdFile readVcd(const std::string& text) {
    VcdFile f;
    std::istringstream in(text);
    std::string tok;
    std::map<std::string, const VcdVar*> ids;
    auto fail = [&f](const std::string& why) {
        if (f.error.empty()) f.error = why;
    };
    // The words up to "$end".
    auto section = [&](std::vector<std::string>& words) {
        std::string w;
        while (in >> w) {
            if (w == "$end") return true;
            words.push_back(w);
        }
        return false;
    };
    auto joined = [](const std::vector<std::string>& words) {
        std::string s;
        for (const auto& w : words) s += (s.empty() ? "" : " ") + w;
        return s;
    };
    bool definitions = true, inDump = false;
    std::int64_t now = -1;
    bool haveTime = false;
    int depth = 0;
    auto checkValue = [&](const std::string& id, const std::string& value, char kind) {
        auto it = ids.find(id);
        if (it == ids.end()) return fail("identifier '" + id + "' is not declared");
        if (!haveTime) return fail("a value before the first time");
        const VcdVar& v = *it->second;
        if (kind == 's' && v.width != 1) return fail("a scalar value for the vector " + v.reference);
        if (kind == 'b') {
            if (v.type == "real") return fail("a vector value for the real " + v.reference);
            if (value.empty() || static_cast<int>(value.size()) > v.width)
                return fail("value '" + value + "' does not fit " + v.reference);
            for (char c : value)
                if (std::string("01xXzZ").find(c) == std::string::npos) return fail("bad bit in '" + value + "'");
        }
        if (kind == 'r') {
            if (v.type != "real") return fail("a real value for " + v.reference);
            std::size_t used = 0;
            try {
                (void)std::stod(value, &used);
            } catch (...) {
                used = 0;
            }
            if (used != value.size()) return fail("bad real '" + value + "'");
        }
        f.changes.push_back({now, id, value});
    };
    while (in >> tok) {
        if (definitions) {
            std::vector<std::string> words;
            if (tok == "$date" || tok == "$version" || tok == "$comment" || tok == "$timescale") {
                if (!section(words)) fail(tok + " not closed");
                (tok == "$date" ? f.date : tok == "$version" ? f.version : tok == "$comment" ? f.comment : f.timescale) =
                    joined(words);
            } else if (tok == "$scope") {
                if (!section(words) || words.size() != 2) fail("bad $scope");
                else f.scopes.push_back(words[1]);
                ++depth;
            } else if (tok == "$upscope") {
                if (!section(words) || !words.empty() || --depth < 0) fail("bad $upscope");
            } else if (tok == "$var") {
                if (!section(words) || words.size() < 4) {
                    fail("bad $var");
                    continue;
                }
                if (depth <= 0) fail("a $var outside a scope");
                VcdVar v{words[0], std::stoi(words[1]), words[2], words[3]};
                if (v.width < 1 || v.width > 64) fail("bad width of " + v.reference);
                for (char c : v.id)
                    if (c < 33 || c > 126) fail("identifier of " + v.reference + " not printable");
                for (char c : v.reference)
                    if (c < 33 || c > 126) fail("reference " + v.reference + " not printable");
                if (ids.count(v.id)) fail("identifier '" + v.id + "' declared twice");
                f.vars.push_back(v);
                ids.clear();
                for (const auto& var : f.vars) ids[var.id] = &var;
            } else if (tok == "$enddefinitions") {
                if (!section(words)) fail("$enddefinitions not closed");
                if (depth != 0) fail("a scope left open");
                definitions = false;
            } else {
                fail("unexpected '" + tok + "' in the header");
            }
            continue;
        }
        if (tok[0] == '#') {
            std::int64_t t = -1;
            try {
                t = std::stoll(tok.substr(1));
            } catch (...) {
                fail("bad time '" + tok + "'");
            }
            if (haveTime && t <= now) fail("time " + tok + " is not after #" + std::to_string(now));
            now = t;
            haveTime = true;
            f.times.push_back(t);
        } else if (tok == "$dumpvars" || tok == "$dumpall" || tok == "$dumpon" || tok == "$dumpoff") {
            if (inDump) fail("nested " + tok);
            inDump = true;
        } else if (tok == "$end") {
            if (!inDump) fail("$end without a section");
            inDump = false;
        } else if (tok == "$comment") {
            std::vector<std::string> words;
            if (!section(words)) fail("$comment not closed");
        } else if (tok[0] == 'b' || tok[0] == 'B' || tok[0] == 'r' || tok[0] == 'R') {
            std::string id;
            if (!(in >> id)) fail("a value without identifier");
            else checkValue(id, tok.substr(1), static_cast<char>(std::tolower(static_cast<unsigned char>(tok[0]))));
        } else if (std::string("01xXzZ").find(tok[0]) != std::string::npos) {
            checkValue(tok.substr(1), tok.substr(0, 1), 's');
        } else {
            fail("unexpected '" + tok + "'");
        }
    }
    if (definitions) fail("no $enddefinitions");
    if (inDump) fail("$dumpvars not closed");
    return f;
}

}  // namespace korvane::test
