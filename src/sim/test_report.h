#pragma once
// Reports of scripted runs for other programs: JUnit XML (one testsuite per program, one
// testcase per check line) and TAP version 13.
#include <string>
#include <vector>

#include "sim/script_player.h"

namespace korvane {

struct SuiteReport {
    std::string name;  // the program file as given
    std::vector<CheckResult> results;
    std::string loadError;  // not empty: the program did not load, and nothing was checked
    std::size_t findings = 0;  // the program check's findings
};

std::string junitXml(const std::vector<SuiteReport>& suites);

// With more than one suite, each test's name starts with its program.
std::string tapText(const std::vector<SuiteReport>& suites);

}  // namespace korvane
