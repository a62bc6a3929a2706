#include "sim/test_report.h"

namespace korvane {

namespace {

// Text for an XML attribute; control characters XML 1.0 cannot hold become blanks.
std::string xmlText(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') out += ' ';
            else out += c;
        }
    }
    return out;
}

// One line of TAP: no line breaks, and a '#' would start a directive.
std::string tapLine(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n' || c == '\r') out += ' ';
        else if (c == '#') out += "\\#";
        else out += c;
    }
    return out;
}

// A YAML block with the message, in double quotes.
std::string tapMessage(const std::string& s) {
    std::string m;
    for (char c : s) {
        if (c == '"' || c == '\\') m += '\\';
        m += c == '\n' || c == '\r' ? ' ' : c;
    }
    return "  ---\n  message: \"" + m + "\"\n  ...\n";
}

}  // namespace

std::string junitXml(const std::vector<SuiteReport>& suites) {
    std::size_t tests = 0, failures = 0, errors = 0;
    std::string body;
    for (const auto& s : suites) {
        const std::string name = xmlText(s.name);
        std::size_t failed = 0;
        for (const auto& r : s.results) failed += r.passed ? 0 : 1;
        const std::size_t count = s.loadError.empty() ? s.results.size() : 1;
        const std::size_t error = s.loadError.empty() ? 0 : 1;
        tests += count;
        failures += failed;
        errors += error;
        body += "  <testsuite name=\"" + name + "\" tests=\"" + std::to_string(count) + "\" failures=\"" +
                std::to_string(failed) + "\" errors=\"" + std::to_string(error) + "\">\n";
        body += "    <properties><property name=\"findings\" value=\"" + std::to_string(s.findings) +
                "\"/></properties>\n";
        if (!s.loadError.empty()) {
            body += "    <testcase name=\"load\" classname=\"" + name + "\">\n      <error message=\"" +
                    xmlText(s.loadError) + "\"/>\n    </testcase>\n";
        }
        for (const auto& r : s.results) {
            body += "    <testcase name=\"" + xmlText(r.name) + "\" classname=\"" + name + "\"";
            if (r.passed) body += "/>\n";
            else body += ">\n      <failure message=\"" + xmlText(r.failure) + "\"/>\n    </testcase>\n";
        }
        body += "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" + std::to_string(tests) +
           "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) + "\">\n" + body +
           "</testsuites>\n";
}

std::string tapText(const std::vector<SuiteReport>& suites) {
    std::string lines;
    std::size_t n = 0;
    const bool named = suites.size() > 1;
    for (const auto& s : suites) {
        const std::string prefix = named ? s.name + " " : std::string();
        if (!s.loadError.empty()) {
            lines += "not ok " + std::to_string(++n) + " - " + tapLine(prefix + "load") + "\n";
            lines += tapMessage(s.loadError);
            continue;
        }
        for (const auto& r : s.results) {
            lines += (r.passed ? "ok " : "not ok ") + std::to_string(++n) + " - " + tapLine(prefix + r.name) + "\n";
            if (!r.passed) lines += tapMessage(r.failure);
        }
    }
    return "TAP version 13\n1.." + std::to_string(n) + "\n" + lines;
}

}  // namespace korvane
