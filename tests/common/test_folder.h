// A folder of the running test's own under the system's temporary folder,
// named by the test and a random number: two runs of a suite on one machine
// must not clear each other's files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

inline std::filesystem::path TestFolder(const std::string& prefix) {
    return std::filesystem::temp_directory_path() /
           (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
            std::to_string(std::random_device{}()));
}
