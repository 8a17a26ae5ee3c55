// A path in the tests' temporary folder that belongs to this test process: CTest runs test processes
// side by side, and under a fixed name one would overwrite the file another is reading.
#pragma once

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace VxMetaTest {

inline std::string processTempPath(const std::string& name) {
    return ::testing::TempDir() + std::to_string(::getpid()) + "_" + name;
}

} // namespace VxMetaTest
