#pragma once
// Folders for the files a unit test writes. ctest runs every test as a process of its own,
// several at once, so two tests that write a file of the same name must not share a folder:
// each test gets one of its own under its group's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path testTmpDir(std::string_view group) {
    auto dir = std::filesystem::path(KORVANE_TEST_TMP) / group;
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests
        dir /= name;
    }
    std::filesystem::create_directories(dir);
    return dir;
}
